// Rate-source library of the European Central Bank's euro reference rates.
//
// The daily page is the ECB's XML: <Cube> holds <Cube time="yyyy-mm-dd">, which holds one
// <Cube currency="USD" rate="1.0921"/> per currency; the base is EUR. The history is the
// ECB's zip of all past days, one CSV inside: a header line "Date,USD,JPY,...," and one line
// per day "2024-01-05,1.0921,158.24,...," (newest first), "N/A" where a currency had no rate.

#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "ratesource_text.h"
#include "vemra_ratesource.h"

namespace {

using namespace vemra::ratesource;

constexpr const char* kDefinition =
    "Publisher=European Central Bank\r\n"
    "PluginDll=ECB.so\r\n"
    "DataSite=https://www.ecb.europa.eu\r\n"
    "DataUrlHuman=https://www.ecb.europa.eu/stats/policy_and_exchange_rates/"
    "euro_reference_exchange_rates/html/index.en.html\r\n"
    "DataUrl=https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml\r\n"
    "DataItems=Cube 2 N\r\n"
    "ItemWalk=1\r\n"
    "DateItem=Cube:1\r\n"
    "Settings=1111100:1111100:D:1:960:1\r\n"
    "BaseDiv=EUR\r\n"
    "BaseFactor=1\r\n"
    "Logic=1XNY\r\n"
    "HistoryUrl=https://www.ecb.europa.eu/stats/eurofxref/eurofxref-hist.zip\r\n"
    "HistoryUrlExt=zip\r\n"
    "CheckList=USD,JPY,GBP,CHF\r\n"
    "Enabled=1\r\n";

// Largest history text the library inflates (the ECB's is a few MB).
constexpr std::uint32_t kMaxHistoryBytes = 256u * 1024u * 1024u;

bool IsRate(std::string_view s) {
    bool digit = false;
    bool point = false;
    for (const char c : s) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digit;
}

// "yyyy-mm-dd" into its numbers.
bool ReadIsoDate(std::string_view s, int& y, int& m, int& d) {
    if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
    for (const std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u}) {
        if (s[i] < '0' || s[i] > '9') return false;
    }
    y = (s[0] - '0') * 1000 + (s[1] - '0') * 100 + (s[2] - '0') * 10 + (s[3] - '0');
    m = (s[5] - '0') * 10 + (s[6] - '0');
    d = (s[8] - '0') * 10 + (s[9] - '0');
    return m >= 1 && m <= 12 && d >= 1 && d <= 31;
}

// ---- the history zip ----

std::uint32_t Le16(const std::string& b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8;
}

std::uint32_t Le32(const std::string& b, std::size_t at) { return Le16(b, at) | Le16(b, at + 2) << 16; }

bool Inflate(const std::string& zip, std::size_t at, std::uint32_t packed, std::uint32_t size, std::string& out) {
    out.assign(size, '\0');
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zip.data() + at));
    z.avail_in = packed;
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = size;
    const int rc = inflate(&z, Z_FINISH);
    const bool ok = rc == Z_STREAM_END && z.total_out == size;
    inflateEnd(&z);
    return ok;
}

// The data of the zip's first entry whose name ends with ".csv", stored or deflated.
bool ReadCsvFromZip(const std::string& zip, std::string& csv) {
    if (zip.size() < 22) return false;
    std::size_t eocd = zip.size() - 22;
    const std::size_t lowest = zip.size() > 22 + 65535 ? zip.size() - 22 - 65535 : 0;
    while (Le32(zip, eocd) != 0x06054b50u) {
        if (eocd == lowest) return false;
        --eocd;
    }
    const std::uint32_t entries = Le16(zip, eocd + 10);
    std::size_t at = Le32(zip, eocd + 16);
    for (std::uint32_t e = 0; e < entries; ++e) {
        if (at + 46 > zip.size() || Le32(zip, at) != 0x02014b50u) return false;
        const std::uint32_t method = Le16(zip, at + 10);
        const std::uint32_t crc = Le32(zip, at + 16);
        const std::uint32_t packed = Le32(zip, at + 20);
        const std::uint32_t size = Le32(zip, at + 24);
        const std::size_t nameLength = Le16(zip, at + 28);
        const std::size_t next = at + 46 + nameLength + Le16(zip, at + 30) + Le16(zip, at + 32);
        const std::size_t local = Le32(zip, at + 42);
        if (at + 46 + nameLength > zip.size()) return false;
        const std::string name = zip.substr(at + 46, nameLength);
        at = next;
        if (name.size() < 4 || !SameName(std::string_view(name).substr(name.size() - 4), ".csv")) continue;
        if (local + 30 > zip.size() || Le32(zip, local) != 0x04034b50u || size > kMaxHistoryBytes) return false;
        const std::size_t data = local + 30 + Le16(zip, local + 26) + Le16(zip, local + 28);
        if (data > zip.size() || packed > zip.size() - data) return false;
        if (method == 0) {
            if (packed != size) return false;
            csv = zip.substr(data, size);
        } else if (method != 8 || !Inflate(zip, data, packed, size, csv)) {
            return false;
        }
        return crc32(0L, reinterpret_cast<const Bytef*>(csv.data()), static_cast<uInt>(csv.size())) == crc;
    }
    return false;
}

// ---- the history CSV ----

struct HistoryDay {
    long day = 0;
    int year = 0;
    int month = 0;
    std::vector<std::string> values;  // by column, column 0 being the date
};

std::vector<std::string> SplitCsv(std::string_view line) {
    std::vector<std::string> cells;
    std::size_t from = 0;
    while (true) {
        const std::size_t comma = line.find(',', from);
        cells.emplace_back(TrimView(line.substr(from, comma == std::string_view::npos ? std::string_view::npos : comma - from)));
        if (comma == std::string_view::npos) break;
        from = comma + 1;
    }
    return cells;
}

struct History {
    std::vector<std::string> codes;  // by column
    std::vector<HistoryDay> days;
};

bool ReadHistory(const char* path, History& history) {
    std::string zip;
    std::string csv;
    if (!ReadWholeFile(path, zip) || !ReadCsvFromZip(zip, csv)) return false;
    std::istringstream lines(csv);
    std::string line;
    if (!std::getline(lines, line)) return false;
    history.codes = SplitCsv(line);
    if (history.codes.empty() || !SameName(history.codes[0], "Date")) return false;
    while (std::getline(lines, line)) {
        HistoryDay day;
        day.values = SplitCsv(line);
        int d = 0;
        if (!ReadIsoDate(day.values[0], day.year, day.month, d)) continue;
        day.day = DayNumber(day.year, day.month, d);
        history.days.push_back(std::move(day));
    }
    return !history.days.empty();
}

// The header template with the day's stamp in its "DATE=%s" line.
std::string HeaderFor(std::string_view headerTemplate, const char* stamp) {
    std::string header(headerTemplate);
    const std::size_t at = header.find("DATE=%s");
    if (at != std::string::npos) header.replace(at, 7, std::string("DATE=") + stamp);
    return header;
}

bool WriteDayFile(const std::string& fileName, const std::string& text) {
    if (std::FILE* existing = std::fopen(fileName.c_str(), "rb")) {
        std::fclose(existing);  // a day already here is kept as it is
        return true;
    }
    std::FILE* out = std::fopen(fileName.c_str(), "wb");
    if (out == nullptr) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    return std::fclose(out) == 0 && ok;
}

std::string DayFileText(const History& history, const HistoryDay& day, std::string_view headerTemplate,
                        const char* stamp) {
    std::string text = HeaderFor(headerTemplate, stamp);
    for (std::size_t c = 1; c < day.values.size() && c < history.codes.size(); ++c) {
        const std::string& value = day.values[c];
        if (!IsCurrencyCode(history.codes[c]) || !IsRate(value)) continue;
        text += history.codes[c] + "=" + value + "\r\n";
    }
    return text;
}

}  // namespace

extern "C" {

VEMRA_RATESOURCE_EXPORT const char* SubscriptionInstall(void) { return kDefinition; }

VEMRA_RATESOURCE_EXPORT void SubscriptionPreClean(const char* pageFile, void*, int32_t* status) {
    // Anything but the reference-rate document (an error page, say) is rejected.
    std::string page;
    const bool ok = ReadWholeFile(pageFile, page) && page.find("<Cube") != std::string::npos;
    *status = ok ? VEMRA_STATUS_OK : VEMRA_STATUS_MISSING;
}

VEMRA_RATESOURCE_EXPORT const char* SubscriptionGetDate(const char*, const char* attributeText, int32_t* status) {
    static std::string answer;
    const std::string time = LineValue(attributeText, "time");
    int y = 0;
    int m = 0;
    int d = 0;
    if (!ReadIsoDate(time, y, m, d)) return "";
    char text[16];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d", y, m, d);
    answer = text;
    *status = VEMRA_STATUS_OK;
    return answer.c_str();
}

VEMRA_RATESOURCE_EXPORT const char* SubscriptionParseItem(const char*, const char* attributeText, int32_t* status) {
    static std::string answer;
    const std::string currency = LineValue(attributeText, "currency");
    const std::string rate = LineValue(attributeText, "rate");
    if (!IsCurrencyCode(currency) || !IsRate(rate)) {
        *status = VEMRA_STATUS_MISSING;
        return "";
    }
    answer = currency + "=" + rate;
    *status = VEMRA_STATUS_OK;
    return answer.c_str();
}

VEMRA_RATESOURCE_EXPORT int32_t HistoryDataSet(const char* historyFile, double* firstDay, double* lastDay) {
    History history;
    if (!ReadHistory(historyFile, history)) return 0;
    long first = history.days.front().day;
    long last = first;
    for (const HistoryDay& day : history.days) {
        if (day.day < first) first = day.day;
        if (day.day > last) last = day.day;
    }
    *firstDay = static_cast<double>(first);
    *lastDay = static_cast<double>(last);
    return 1;
}

VEMRA_RATESOURCE_EXPORT int32_t HistoryDataGet(const char* code, const char* dataFolder, const char* historyFile,
                                               const char* headerTemplate, double date) {
    History history;
    if (!std::isfinite(date) || !ReadHistory(historyFile, history)) return 0;
    int year = 0;
    int month = 0;
    int dayOfMonth = 0;
    CivilFromDayNumber(static_cast<long>(date), year, month, dayOfMonth);
    bool any = false;
    for (const HistoryDay& day : history.days) {
        if (day.year != year || day.month != month) continue;
        int y = 0;
        int m = 0;
        int d = 0;
        CivilFromDayNumber(day.day, y, m, d);
        char stamp[16];
        std::snprintf(stamp, sizeof stamp, "%04d.%02d.%02d", y, m, d);
        const std::string fileName = std::string(dataFolder) + "/" + stamp + "-" + code + ".vmr";
        if (!WriteDayFile(fileName, DayFileText(history, day, headerTemplate, stamp))) return 0;
        any = true;
    }
    return any ? 1 : 0;
}

}  // extern "C"
