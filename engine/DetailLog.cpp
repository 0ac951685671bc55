#include "DetailLog.h"

#include <cstring>

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
    logPairs_.clear();
    ++logPairsGeneration_;
}

int TCurrencyConverter::AddLogPair(std::string ratios, std::string pairRate, std::string sourceCode,
                                   std::string targetCode) {
    logPairs_.push_back(
        {std::move(ratios), std::move(pairRate), std::move(sourceCode), std::move(targetCode), FormatSettings});
    return static_cast<int>(logPairs_.size()) - 1;
}

// A rate line's record: the pair's number, the amount and the result as they are in memory,
// the head's length, the head, then the output.
void TCurrencyConverter::AddRateLogLine(std::string_view head, int pair, double amount, double result,
                                        std::string_view output) {
    const auto put = [this](const auto& value) {
        logRecord_.append(reinterpret_cast<const char*>(&value), sizeof value);
    };
    logRecord_.clear();
    put(static_cast<std::int32_t>(pair));
    put(amount);
    put(result);
    put(static_cast<std::uint32_t>(head.size()));
    logRecord_.append(head).append(output);
    packedLog_.AddRecord(logRecord_);
}

void TCurrencyConverter::RenderRateLogLine(std::string_view record, std::string& line) const {
    std::size_t at = 0;
    const auto take = [&](auto& value) {
        std::memcpy(&value, record.data() + at, sizeof value);
        at += sizeof value;
    };
    std::int32_t pair = 0;
    double amount = 0;
    double result = 0;
    std::uint32_t headSize = 0;
    take(pair);
    take(amount);
    take(result);
    take(headSize);
    const std::string_view head = record.substr(at, headSize);
    const std::string_view output = record.substr(at + headSize);
    line.append(head);
    if (pair < 0 || static_cast<std::size_t>(pair) >= logPairs_.size()) return;  // cannot be: cleared together
    const LogPair& p = logPairs_[static_cast<std::size_t>(pair)];
    line.append(p.ratios).append(" = (").append(p.pairRate).append(") => ");
    line.append(FormatAmount(amount, 3, "", p.format)).append(" ").append(p.sourceCode).append(" = ");
    line.append(FormatAmount(result, 3, "", p.format)).append(" ").append(p.targetCode);
    line.append(". RESULT => \"").append(output).append("\"");
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
