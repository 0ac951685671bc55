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

#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "vemra_ratesource.h"

namespace {

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

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

std::string_view TrimView(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

// The value of the line "name=value" among lines; empty when there is none.
std::string LineValue(const char* lines, std::string_view name) {
    std::string_view rest = lines != nullptr ? lines : "";
    while (!rest.empty()) {
        const std::size_t end = rest.find_first_of("\r\n");
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const std::size_t eq = line.find('=');
        if (eq != std::string_view::npos && SameName(TrimView(line.substr(0, eq)), name)) {
            return std::string(TrimView(line.substr(eq + 1)));
        }
    }
    return {};
}

bool IsCurrencyCode(std::string_view s) {
    if (s.size() != 3) return false;
    for (const char c : s) {
        if (c < 'A' || c > 'Z') return false;
    }
    return true;
}

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

long DaysFromCivil(int y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDayNumber(long day, int& y, int& m, int& d) {
    const long z = day + DaysFromCivil(1899, 12, 30) + 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
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
    {
        std::ifstream in(pageFile != nullptr ? pageFile : "", std::ios::binary);
        page.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (page.find("<ValCurs") == std::string::npos) {
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
