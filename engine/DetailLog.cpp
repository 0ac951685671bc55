#include "DetailLog.h"

#include "CurrencyConverter.h"
#include "SysStrings.h"
#include "rtl/Format.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra {

namespace {

constexpr const char* ReportTitle = "Conversion Report";
constexpr auto ReportFileName = ScrambleLiteral("ConversionReport.log");

std::string Separator() { return std::string(50, '*'); }

void OpenReport(TCurrencyConverter& converter) {
    converter.LogHeader().Clear();
    converter.ClearLogBody();
    converter.LogReport().Clear();
    TStringList& header = converter.LogHeader();
    header.Add(Separator());
    header.Add(std::string("* Vemra ") + ReportTitle);
    header.Add("* Version: " + ProgramVersion);
    header.Add("* Date: " + FormatDateTimeStamp(Now()));
    LogConverterState(converter, header, false);
}

void CloseReport(TCurrencyConverter& converter) {
    TStringList& report = converter.LogReport();
    report.Assign(converter.LogHeader());
    report.Add(Trim(converter.LogBodyText()));
    converter.ClearLogBody();
    LogConverterState(converter, report, true);
    report.Add(std::string("* End of ") + ReportTitle);
    report.Add(Separator());
    report.SaveToFile(DetailLogFileName());
}

}  // namespace

std::string DetailLogFileName() { return JoinPath(PubData, UnscrambleLiteral(ReportFileName)); }

void DetailLogCommand(TCurrencyConverter& converter, std::string_view command) {
    if (command == "/O")
        OpenReport(converter);
    else if (command == "/C")
        CloseReport(converter);
    else if (command == "*")
        converter.AddLogLine(Separator());
    else if (command == "**")
        converter.LogHeader().Add(Separator());
    else
        converter.AddLogLine(command);
}

TStringList& TCurrencyConverter::LogBody() {
    if (!packedLog_.Empty()) packedLog_.MoveTo(logBody_);
    return logBody_;
}

void TCurrencyConverter::ClearLogBody() {
    logBody_.Clear();
    packedLog_.Clear();
}

std::string TCurrencyConverter::LogBodyText() const {
    std::string text = logBody_.Text();
    packedLog_.AppendText(text);
    return text;
}

void LogConverterState(TCurrencyConverter& converter, TStringList& lines, bool post) {
    IRateSourceHost& source = converter.RateSources();
    lines.Add(Separator());
    lines.Add(post ? "* Post Conversion State:" : "* Pre Conversion State:");
    lines.Add(Format("* Plugin: %s / %s", source.SelectedCode(), source.SelectedPublisher()));
    lines.Add(Format("* File: %s", source.LastRateFile()));
    lines.Add("* Base currency is: " + converter.Currencies().BaseCode);
    double amount = 0;
    std::string amountText = "(Not a number!)";
    if (converter.ConvertAmount(100, amount)) {
        amountText = Format("%8.2n", amount);
        if (!post) converter.SelfCheckAmount = amount;
    }
    std::string line = Format("* 100 %s = %s %s", converter.Table.SavedSourceCode, Trim(amountText),
                              converter.Table.SavedTargetCode);
    if (post) line += amount == converter.SelfCheckAmount ? " ( CORRECT )" : " ( ERROR )";
    lines.Add(line);
    lines.Add(Separator());
}

}  // namespace vemra
