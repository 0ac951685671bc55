#pragma once
// What our own rate-source libraries share: ASCII text helpers, the "name=value" lines vemra
// hands over, whole-file reads and day numbers (days since 1899-12-30). Header-only, so each
// library stays one self-contained module; nothing here is exported.

#include <charconv>
#include <cfloat>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

namespace vemra::ratesource {

// Equal without regard to ASCII letter case.
inline bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if ((x >= 'A' && x <= 'Z' ? x + 32 : x) != (y >= 'A' && y <= 'Z' ? y + 32 : y)) return false;
    }
    return true;
}

// Without blanks and control characters at both ends.
inline std::string_view TrimView(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

// The trimmed value of the first line "name=value" among lines (name compared without case);
// empty when there is none.
inline std::string LineValue(const char* lines, std::string_view name) {
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

// Three capital letters.
inline bool IsCurrencyCode(std::string_view s) {
    if (s.size() != 3) return false;
    for (const char c : s) {
        if (c < 'A' || c > 'Z') return false;
    }
    return true;
}

// Largest rate page the libraries read; real pages are a few kilobytes.
constexpr std::size_t kMaxPageBytes = 16u * 1024u * 1024u;

// False when the file cannot be opened or read, or holds more than limit bytes (its size is
// looked at before anything is read).
inline bool ReadWholeFile(const char* path, std::string& bytes, std::size_t limit = kMaxPageBytes) {
    std::ifstream in(path != nullptr ? path : "", std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<unsigned long long>(size) > limit) return false;
    in.seekg(0);
    bytes.assign(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), size);
    return in.gcount() == size;
}

// A rate the day rate file reader takes as one: single precision holds it as a positive normal
// number, so it reads neither as zero nor as infinity.
inline bool IsUsableRate(double rate) { return std::isfinite(rate) && rate >= FLT_MIN && rate <= FLT_MAX; }

// Digits with at most one decimal point ("1.0877", "0.5"), read as a usable rate.
inline bool ReadPointDecimal(std::string_view s, double& rate) {
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
    if (!digit) return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), rate, std::chars_format::fixed);
    return ec == std::errc() && end == s.data() + s.size() && IsUsableRate(rate);
}

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
inline long DaysFromCivil(int y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

inline long DayNumber(int y, int m, int d) { return DaysFromCivil(y, m, d) - DaysFromCivil(1899, 12, 30); }

inline void CivilFromDayNumber(long day, int& y, int& m, int& d) {
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

}  // namespace vemra::ratesource
