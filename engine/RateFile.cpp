#include "RateFile.h"

#include <cmath>
#include <memory>

#include "CurrencyConverter.h"
#include "IniSection.h"
#include "MessageFormat.h"
#include "MessageNumbers.h"
#include "StreamedIniFile.h"
#include "rtl/Format.h"
#include "rtl/NumParse.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra {

namespace {

constexpr std::size_t TipLimit = 64;  // the tip must be shorter

void LogVmr(IEngineHost& host, const std::string& text) { host.WriteLogLine("VMR", text); }

// Drops the last character, a whole UTF-8 sequence, so the text stays valid.
void DropLastChar(std::string& text) {
    while (!text.empty()) {
        const auto byte = static_cast<unsigned char>(text.back());
        text.pop_back();
        if ((byte & 0xC0) != 0x80) break;
    }
}

std::string CutToTipLimit(std::string tip) {
    while (tip.size() >= TipLimit) DropLastChar(tip);
    return tip;
}

bool ConverterIsOn(const TCurrencyChangeList& list) {
    return list.Converter() != nullptr && list.Converter()->SwitchedOn();
}

bool ConvertingTable(const TCurrencyChangeList& list) {
    return list.Converter() != nullptr && list.Converter()->Table.AsTable;
}

// The day of "yyyy.mm.dd[ hh:nn:ss]"; EConvertError when it holds no date.
TDateTime RateDay(const std::string& dateText) {
    const TDateTime day = DateOf(ParseDateTimeStamp(dateText));
    if (day <= 0) throw EConvertError(Format("'%s' is not a valid date", dateText));
    return day;
}

// The rate date, and the provider in a tip of the day shortened until the tip fits.
void SetRateDateAndTip(TCurrencyChangeList& list) {
    IEngineHost& host = HostOf(list);
    if (list.DateText.empty()) {
        host.SetTrayTip("Date error");
        list.RateDate = 0;
        return;
    }
    list.RateDate = RateDay(list.DateText) + RateSourcesOf(list).SelectedPublicationMinute() * OneMinute;
    const std::string day = LanguageDayName(list.RateDate);
    const int number = ConverterIsOn(list) ? msg::ConverterOn : msg::ConverterOff;
    const std::string message = host.GetMessageText(number);
    list.Provider += " ";
    std::string tip;
    do {
        tip = FillMessage(&host, number, message, list.Provider, day, list.DateText);
        if (list.Provider.empty()) {
            tip = CutToTipLimit(tip);
            break;
        }
        DropLastChar(list.Provider);
    } while (tip.size() >= TipLimit);
    host.SetTrayTip(tip);
}

float ParseFactor(const std::string& text) {
    float factor = 0;
    if (!TryStrToFloat(text, factor, '.')) throw Exception("Invalid factor");
    return factor;
}

enum class RateValue { Empty, Bad, Fault, Ok };

// One DATA value: an optional "1/" and a single-precision number, times the factor,
// inverted for inverse files.
RateValue ParseRateValue(std::string_view raw, float factor, bool inverse, double& rate) {
    std::string text = Trim(raw);
    if (text.empty()) return RateValue::Empty;
    const bool reciprocal = text.starts_with("1/");
    if (reciprocal) text.erase(0, 2);
    float x = 0;
    if (!TryStrToFloat(text, x, '.') || x == 0) return RateValue::Bad;
    if (reciprocal) x = 1.0f / x;
    const double product = static_cast<double>(x) * static_cast<double>(factor);
    if (inverse && product == 0) return RateValue::Fault;
    rate = inverse ? 1.0 / product : product;
    return std::isfinite(rate) ? RateValue::Ok : RateValue::Fault;
}

int ReadRates(TCurrencyChangeList& list, const TIniSectionIndex& data, float factor, bool inverse) {
    int errors = 0;
    for (int k = 0; k < data.Count(); ++k) {
        int index = 0;
        if (!list.Find(data.Name(k), index)) continue;
        double rate = 0;
        const RateValue read = ParseRateValue(data.Value(k), factor, inverse, rate);
        if (read == RateValue::Bad) ++errors;
        if (read == RateValue::Ok) list.GetCurrency(index)->Rate = rate;
    }
    return errors;
}

void RecordLastRateFile(const TCurrencyChangeList& list, const std::string& fileName) {
    if (ConvertingTable(list)) return;
    LogVmr(HostOf(list), "LOAD_DATA: " + fileName);
    RateSourcesOf(list).SetLastRateFile(fileName);
    RateSourcesOf(list).SaveCurrentPluginDefinition();
}

// A file of type DATA; errors counts the unreadable values.
bool LoadRates(TCurrencyChangeList& list, const TStreamedIniFile& ini, const std::string& fileName, int& errors) {
    RecordLastRateFile(list, fileName);
    list.RateFileName = fileName;
    const TIniSectionIndex data(ini, "DATA");
    if (data.Count() == 0) return false;
    list.Provider = ini.ReadString("VMR", "PROVIDER", "");
    list.ProviderCode = ini.ReadString("VMR", "CODE", "");
    list.DateText = ini.ReadString("VMR", "DATE", "");
    list.BaseCode = ini.ReadString("VMR", "BASE", "");
    const std::string factorText = ini.ReadString("VMR", "FACTOR", "1");
    const bool inverse = list.ProviderCode == "BCA" || list.ProviderCode == "CBR" ||
                         ini.ReadString("VMR", "LOGIC", "1XNY") == "1YNX";
    SetRateDateAndTip(list);
    list.Factor = ParseFactor(factorText);
    for (int i = 0; i < list.Count(); ++i) list.GetCurrency(i)->Rate = 0;
    int base = 0;
    if (list.BaseCode.empty() || !list.Find(list.BaseCode, base)) {
        list.BaseIndex = NoCurrency;
        HostOf(list).ShowMessageText(
            Format("Base currency not found on %s, please check this file", ExtractFileName(fileName)));
        return false;
    }
    list.GetCurrency(base)->Rate = 1.0;
    list.BaseIndex = base;
    errors = ReadRates(list, data, list.Factor, inverse);
    return true;
}

}  // namespace

bool LoadRateFile(TCurrencyChangeList& list, const std::string& fileName) {
    IEngineHost& host = HostOf(list);
    if (list.Empty()) {
        LogVmr(host, "LOAD_DATA_CANCELED: " + fileName + ". " + list.ConfigFileName + " has no items.");
        return false;
    }
    LogVmr(host, "LOAD_DATA: " + fileName);
    int errors = 0;
    bool result = false;
    {
        const std::unique_ptr<TStreamedIniFile> ini = OpenStreamedIni(RateFileKeyIndex, fileName);
        if (ini->ReadString("VMR", "TYPE", "") != "DATA")
            LogVmr(host, "LOAD_DATA: " + fileName + ". Invalid type.");
        else
            result = LoadRates(list, *ini, fileName, errors);
    }
    if (errors > 0)
        host.ShowMessageText(
            Format("%d errors found on %s, please check this file", errors, ExtractFileName(fileName)));
    list.ResolveReferenceRates();
    return result;
}

void ReadRateFileHeader(const std::string& fileName, TRateFileHeader& header) {
    const std::unique_ptr<TStreamedIniFile> ini = OpenStreamedIni(RateFileKeyIndex, fileName);
    if (ini->ReadString("VMR", "TYPE", "") != "DATA") return;
    header = TRateFileHeader();
    header.Provider = ini->ReadString("VMR", "PROVIDER", "");
    header.ProviderCode = ini->ReadString("VMR", "CODE", "");
    header.DateText = ini->ReadString("VMR", "DATE", "");
    header.Date = ParseDateTimeStamp(header.DateText);
}

}  // namespace vemra
