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

constexpr const char* kFields[] = {"NumCode", "CharCode", "Nominal", "Name", "Value", "VunitRate"};

// "60,9526" as a number; false for anything else. Locale-independent, as the program that
// loads the library may have set any locale.
bool ReadDecimal(std::string value, double& out) {
    for (char& c : value) {
        if (c == ',') c = '.';
    }
    const char* end = value.data() + value.size();
    const auto [ptr, ec] = std::from_chars(value.data(), end, out, std::chars_format::fixed);
    return ec == std::errc() && ptr == end && out > 0;
}

std::string Replace(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
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
    CivilFromDayNumber(std::strtol(dayNumber != nullptr ? dayNumber : "0", nullptr, 10), y, m, d);
    char date[16];
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
    for (const char* field : kFields) {
        page = Replace(page, std::string("<") + field + ">", std::string(field) + "=");
        page = Replace(page, std::string("</") + field + ">", "\r\n");
    }
    std::ofstream out(pageFile, std::ios::binary | std::ios::trunc);
    out << page;
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
    char rate[64];
    const auto [end, ec] = std::to_chars(rate, rate + sizeof rate, value / nominal, std::chars_format::general, 10);
    if (ec != std::errc()) {
        *status = VEMRA_STATUS_MISSING;
        return "";
    }
    answer = code + "=" + std::string(rate, end);
    *status = VEMRA_STATUS_OK;
    return answer.c_str();
}

}  // extern "C"
