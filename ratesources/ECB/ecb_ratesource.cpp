// Rate-source library of the European Central Bank's euro reference rates.
//
// The daily page is the ECB's XML: <Cube> holds <Cube time="yyyy-mm-dd">, which holds one
// <Cube currency="USD" rate="1.0921"/> per currency; the base is EUR. The history is the
// ECB's zip of all past days, one CSV inside: a header line "Date,USD,JPY,...," and one line
// per day "2024-01-05,1.0921,158.24,...," (newest first), "N/A" where a currency had no rate.
// The history functions take the zip or the CSV unpacked from it, and read it as a stream.

#include <archive.h>
#include <archive_entry.h>
#include <dlfcn.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
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
    "HistoryUrlExt=ZIP\r\n"
    "HistoryFile=eurofxref-hist.csv\r\n"
    "HistoryType=H\r\n"
    "CheckList=USD,JPY,GBP,CHF\r\n"
    "Enabled=1\r\n";

// Largest history text the library reads (the ECB's is a few MB), and its longest line.
constexpr std::uint64_t kMaxHistoryBytes = 64u * 1024u * 1024u;
constexpr std::size_t kMaxHistoryLine = 64u * 1024u;

// "yyyy-mm-dd" into its numbers.
bool ReadIsoDate(std::string_view s, int& y, int& m, int& d) {
    if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
    for (const std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u}) {
        if (s[i] < '0' || s[i] > '9') return false;
    }
    y = (s[0] - '0') * 1000 + (s[1] - '0') * 100 + (s[2] - '0') * 10 + (s[3] - '0');
    m = (s[5] - '0') * 10 + (s[6] - '0');
    d = (s[8] - '0') * 10 + (s[9] - '0');
    if (m < 1 || m > 12 || d < 1 || d > 31) return false;
    int cy = 0;
    int cm = 0;
    int cd = 0;
    CivilFromDayNumber(DayNumber(y, m, d), cy, cm, cd);
    return cd == d;  // no 31 April
}

bool IsRate(std::string_view s) {
    double rate = 0;
    return ReadPointDecimal(s, rate);
}

// ---- the history text, streamed out of the zip or the plain CSV ----

// The archive library is loaded by the first history read, not with this library: the
// daily update, which the converter runs far more often, never unpacks anything. It stays
// loaded once it is.
struct ArchiveApi {
    decltype(&::archive_read_new) read_new = nullptr;
    decltype(&::archive_read_free) read_free = nullptr;
    decltype(&::archive_read_support_format_zip) read_support_format_zip = nullptr;
    decltype(&::archive_read_support_format_raw) read_support_format_raw = nullptr;
    decltype(&::archive_read_open_filename) read_open_filename = nullptr;
    decltype(&::archive_read_next_header) read_next_header = nullptr;
    decltype(&::archive_format) format = nullptr;
    decltype(&::archive_entry_filetype) entry_filetype = nullptr;
    decltype(&::archive_entry_pathname) entry_pathname = nullptr;
    decltype(&::archive_read_data) read_data = nullptr;
};

template <class F> void Bind(void* handle, F& function, const char* name) {
    function = reinterpret_cast<F>(dlsym(handle, name));
}

const ArchiveApi* LoadArchiveApi() {
    static const ArchiveApi api = [] {
        ArchiveApi found;
        void* handle = dlopen("libarchive.so.13", RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return found;
        Bind(handle, found.read_new, "archive_read_new");
        Bind(handle, found.read_free, "archive_read_free");
        Bind(handle, found.read_support_format_zip, "archive_read_support_format_zip");
        Bind(handle, found.read_support_format_raw, "archive_read_support_format_raw");
        Bind(handle, found.read_open_filename, "archive_read_open_filename");
        Bind(handle, found.read_next_header, "archive_read_next_header");
        Bind(handle, found.format, "archive_format");
        Bind(handle, found.entry_filetype, "archive_entry_filetype");
        Bind(handle, found.entry_pathname, "archive_entry_pathname");
        Bind(handle, found.read_data, "archive_read_data");
        if (found.read_new && found.read_free && found.read_support_format_zip && found.read_support_format_raw &&
            found.read_open_filename && found.read_next_header && found.format && found.entry_filetype &&
            found.entry_pathname && found.read_data)
            return found;
        dlclose(handle);
        return ArchiveApi();
    }();
    return api.read_new != nullptr ? &api : nullptr;
}

struct ArchiveCloser {
    void operator()(archive* a) const { LoadArchiveApi()->read_free(a); }
};

bool EndsWithCsv(const char* name) {
    const std::string_view n = name != nullptr ? name : "";
    return n.size() >= 4 && SameName(n.substr(n.size() - 4), ".csv");
}

// Hands each line of the history text (without its line break) to visit. False when the file
// is neither a zip holding a ".csv" entry nor plain text, cannot be read to its end, or passes
// the bounds; what visit was handed before then is to be dropped.
bool ForEachHistoryLine(const char* path, const std::function<void(std::string_view)>& visit) {
    const ArchiveApi* api = LoadArchiveApi();
    if (api == nullptr) return false;  // without the archive library no history can be read
    std::unique_ptr<archive, ArchiveCloser> a(api->read_new());
    if (!a || api->read_support_format_zip(a.get()) != ARCHIVE_OK ||
        api->read_support_format_raw(a.get()) != ARCHIVE_OK ||
        api->read_open_filename(a.get(), path != nullptr ? path : "", 64 * 1024) != ARCHIVE_OK) {
        return false;
    }
    archive_entry* entry = nullptr;
    while (true) {
        const int rc = api->read_next_header(a.get(), &entry);
        if (rc == ARCHIVE_EOF) return false;
        if (rc < ARCHIVE_WARN) return false;
        if (api->format(a.get()) == ARCHIVE_FORMAT_RAW) break;
        if (api->entry_filetype(entry) == AE_IFREG && EndsWithCsv(api->entry_pathname(entry))) break;
    }
    std::string line;
    std::uint64_t total = 0;
    char block[64 * 1024];
    while (true) {
        const la_ssize_t got = api->read_data(a.get(), block, sizeof block);
        if (got < 0) return false;
        if (got == 0) break;
        total += static_cast<std::uint64_t>(got);
        if (total > kMaxHistoryBytes) return false;
        std::string_view rest(block, static_cast<std::size_t>(got));
        for (std::size_t eol = rest.find('\n'); eol != std::string_view::npos; eol = rest.find('\n')) {
            if (line.size() + eol > kMaxHistoryLine) return false;
            line.append(rest.substr(0, eol));
            if (!line.empty() && line.back() == '\r') line.pop_back();
            visit(line);
            line.clear();
            rest.remove_prefix(eol + 1);
        }
        line.append(rest);
        if (line.size() > kMaxHistoryLine) return false;
    }
    if (!line.empty()) visit(line);
    return true;
}

// The cell at column (0 = the date) of a CSV line; false past the last.
bool CsvCell(std::string_view line, std::size_t column, std::string_view& cell) {
    std::size_t from = 0;
    for (std::size_t c = 0; c < column; ++c) {
        const std::size_t comma = line.find(',', from);
        if (comma == std::string_view::npos) return false;
        from = comma + 1;
    }
    const std::size_t comma = line.find(',', from);
    cell = TrimView(line.substr(from, comma == std::string_view::npos ? std::string_view::npos : comma - from));
    return true;
}

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

// Reads the history: the header's column names, then each dated line with its day.
// False unless the header names "Date" first and at least one line is dated.
bool ReadHistory(const char* path, std::vector<std::string>& codes,
                 const std::function<void(long day, int year, int month, std::string_view line)>& visit) {
    bool header = true;
    bool broken = false;
    bool dated = false;
    const bool read = ForEachHistoryLine(path, [&](std::string_view line) {
        if (broken) return;
        if (header) {
            header = false;
            codes = SplitCsv(line);
            broken = !SameName(codes[0], "Date");
            return;
        }
        std::string_view cell;
        int y = 0;
        int m = 0;
        int d = 0;
        if (!CsvCell(line, 0, cell) || !ReadIsoDate(cell, y, m, d)) return;
        dated = true;
        visit(DayNumber(y, m, d), y, m, line);
    });
    return read && !broken && dated;
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

std::string DayFileText(const std::vector<std::string>& codes, std::string_view line, std::string_view headerTemplate,
                        const char* stamp) {
    std::string text = HeaderFor(headerTemplate, stamp);
    const std::vector<std::string> values = SplitCsv(line);
    for (std::size_t c = 1; c < values.size() && c < codes.size(); ++c) {
        if (!IsCurrencyCode(codes[c]) || !IsRate(values[c])) continue;
        text += codes[c] + "=" + values[c] + "\r\n";
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
    std::vector<std::string> codes;
    long first = 0;
    long last = 0;
    bool any = false;
    const bool ok = ReadHistory(historyFile, codes, [&](long day, int, int, std::string_view) {
        if (!any || day < first) first = day;
        if (!any || day > last) last = day;
        any = true;
    });
    if (!ok) return 0;
    *firstDay = static_cast<double>(first);
    *lastDay = static_cast<double>(last);
    return 1;
}

VEMRA_RATESOURCE_EXPORT int32_t HistoryDataGet(const char* code, const char* dataFolder, const char* historyFile,
                                               const char* headerTemplate, double date) {
    // Far outside any calendar a day number cannot even be turned into a month.
    if (code == nullptr || dataFolder == nullptr || !std::isfinite(date) || std::fabs(date) > 1e7) return 0;
    int year = 0;
    int month = 0;
    int dayOfMonth = 0;
    CivilFromDayNumber(static_cast<long>(date), year, month, dayOfMonth);
    // Only the month's lines are kept; nothing is written unless the whole history read well.
    std::vector<std::string> codes;
    std::vector<std::pair<long, std::string>> days;
    const bool ok = ReadHistory(historyFile, codes, [&](long day, int y, int m, std::string_view line) {
        if (y == year && m == month) days.emplace_back(day, line);
    });
    if (!ok) return 0;
    const std::string_view header = headerTemplate != nullptr ? headerTemplate : "";
    for (const auto& [day, line] : days) {
        int y = 0;
        int m = 0;
        int d = 0;
        CivilFromDayNumber(day, y, m, d);
        char stamp[16];
        std::snprintf(stamp, sizeof stamp, "%04d.%02d.%02d", y, m, d);
        const std::string fileName = std::string(dataFolder) + "/" + stamp + "-" + code + ".vmr";
        if (!WriteDayFile(fileName, DayFileText(codes, line, header, stamp))) return 0;
    }
    return days.empty() ? 0 : 1;
}

}  // extern "C"
