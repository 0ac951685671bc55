// Rate-source library of the Central Bank of the Russian Federation's official rates.
//
// The daily page is the bank's XML for a requested day:
//   <ValCurs Date="05.01.2024" name="Foreign Currency Market">
//     <Valute ID="R01010"><NumCode>036</NumCode><CharCode>AUD</CharCode><Nominal>1</Nominal>
//       <Name>...</Name><Value>60,9526</Value><VunitRate>60,9526</VunitRate></Valute> ...
// Value is the price in roubles of Nominal units, with a decimal comma. The pre-clean turns
// each field element into a "Field=value" line of its Valute's text, so that one node holds
// one currency; the rate line is the price of one unit (day rate files of this source hold
// roubles per unit, read inverse).

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "ratesource_text.h"
#include "vemra_ratesource.h"

namespace {

using namespace vemra::ratesource;

constexpr const char* kDefinition =
    "Publisher=Central Bank of the Russian Federation\r\n"
    "PluginDll=CBR.so\r\n"
    "DataSite=https://www.cbr.ru\r\n"
    "DataUrlHuman=https://www.cbr.ru/eng/currency_base/daily/\r\n"
    "DataUrl=https://www.cbr.ru/scripts/XML_daily.asp?date_req=%s\r\n"
    "DataItems=Valute 0 N\r\n"
    "ItemWalk=1\r\n"
    "DateItem=ValCurs:0\r\n"
    "Settings=0111110:0111110:D:1:0:3\r\n"
    "BaseDiv=RUB\r\n"
    "BaseFactor=1\r\n"
    "Logic=1YNX\r\n"
    "HistoryType=D\r\n"
    "CheckList=USD,EUR,CNY\r\n"
    "Enabled=1\r\n";

constexpr long kLastDay = 2958465;  // 9999-12-31

constexpr std::string_view kFields[] = {"NumCode", "CharCode", "Nominal", "Name", "Value", "VunitRate"};

// "60,9526" as a number; false for anything else. Locale-independent, as the program that
// loads the library may have set any locale.
bool ReadDecimal(std::string value, double& out) {
    for (char& c : value) {
        if (c == ',') c = '.';
    }
    const char* end = value.data() + value.size();
    const auto [ptr, ec] = std::from_chars(value.data(), end, out, std::chars_format::fixed);
    return ec == std::errc() && ptr == end && std::isfinite(out) && out > 0;
}

std::string Replace(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    for (std::size_t at = 0;;) {
        const std::size_t found = text.find(from, at);
        out.append(text.substr(at, found == std::string_view::npos ? std::string_view::npos : found - at));
        if (found == std::string_view::npos) return out;
        out.append(to);
        at = found + from.size();
    }
}

// The field element's name when "<Field>" (closing false) or "</Field>" (closing true) starts
// the text; empty otherwise.
std::string_view FieldTagAt(std::string_view text, bool& closing) {
    closing = text.size() > 1 && text[1] == '/';
    const std::string_view name = text.substr(closing ? 2 : 1);
    for (const std::string_view field : kFields) {
        if (name.size() > field.size() && name.substr(0, field.size()) == field && name[field.size()] == '>') {
            return field;
        }
    }
    return {};
}

// Each "<Field>" becomes "Field=" and each "</Field>" a line break, in one pass over the page.
std::string CleanRatePage(std::string_view page) {
    std::string out;
    out.reserve(page.size());
    std::size_t at = 0;
    while (true) {
        const std::size_t open = page.find('<', at);
        out.append(page.substr(at, open == std::string_view::npos ? std::string_view::npos : open - at));
        if (open == std::string_view::npos) return out;
        bool closing = false;
        const std::string_view field = FieldTagAt(page.substr(open), closing);
        if (field.empty()) {
            out += '<';
            at = open + 1;
        } else {
            if (closing) {
                out += "\r\n";
            } else {
                out.append(field);
                out += '=';
            }
            at = open + field.size() + (closing ? 3 : 2);
        }
    }
}

}  // namespace

extern "C" {

VEMRA_RATESOURCE_EXPORT const char* SubscriptionInstall(void) { return kDefinition; }

VEMRA_RATESOURCE_EXPORT const char* SubscriptionComposeQuery(const char* addressTemplate, const char* dayNumber,
                                                             int32_t*) {
    static std::string answer;
    int y = 0;
    int m = 0;
    int d = 0;
    const long day = std::strtol(dayNumber != nullptr ? dayNumber : "0", nullptr, 10);
    if (day < 0 || day > kLastDay) return "";  // no date the bank could serve
    CivilFromDayNumber(day, y, m, d);
    char date[32];
    std::snprintf(date, sizeof date, "%02d/%02d/%04d", d, m, y);
    answer = Replace(addressTemplate != nullptr ? addressTemplate : "", "%s", date);
    return answer.c_str();
}

VEMRA_RATESOURCE_EXPORT void SubscriptionPreClean(const char* pageFile, void*, int32_t* status) {
    std::string page;
    if (!ReadWholeFile(pageFile, page) || page.find("<ValCurs") == std::string::npos) {
        *status = VEMRA_STATUS_MISSING;
        return;
    }
    page = CleanRatePage(page);
    std::ofstream out(pageFile, std::ios::binary | std::ios::trunc);
    out.write(page.data(), static_cast<std::streamsize>(page.size()));
    out.close();
    *status = out.good() ? VEMRA_STATUS_OK : VEMRA_STATUS_MISSING;
}

VEMRA_RATESOURCE_EXPORT const char* SubscriptionGetDate(const char*, const char* attributeText, int32_t* status) {
    static std::string answer;
    const std::string date = LineValue(attributeText, "Date");  // dd.mm.yyyy
    if (date.size() != 10 || date[2] != '.' || date[5] != '.') return "";
    answer = date.substr(6, 4) + "/" + date.substr(3, 2) + "/" + date.substr(0, 2);
    *status = VEMRA_STATUS_OK;
    return answer.c_str();
}

VEMRA_RATESOURCE_EXPORT const char* SubscriptionParseItem(const char* nodeText, const char*, int32_t* status) {
    static std::string answer;
    const std::string code = LineValue(nodeText, "CharCode");
    double nominal = 0;
    double value = 0;
    if (!IsCurrencyCode(code) || !ReadDecimal(LineValue(nodeText, "Nominal"), nominal) ||
        !ReadDecimal(LineValue(nodeText, "Value"), value)) {
        *status = VEMRA_STATUS_MISSING;
        return "";
    }
    // The rate as written must still read as a rate: not zero, nor past single precision.
    char rate[64];
    const auto [end, ec] = std::to_chars(rate, rate + sizeof rate, value / nominal, std::chars_format::general, 10);
    double written = 0;
    if (ec != std::errc() || std::from_chars(rate, end, written).ec != std::errc() || !IsUsableRate(written)) {
        *status = VEMRA_STATUS_MISSING;
        return "";
    }
    answer = code + "=" + std::string(rate, end);
    *status = VEMRA_STATUS_OK;
    return answer.c_str();
}

}  // extern "C"
