#pragma once
// What our own rate-source libraries share: ASCII text helpers, the "name=value" lines vemra
// hands over, whole-file reads and day numbers (days since 1899-12-30). Header-only, so each
// library stays one self-contained module; nothing here is exported.

#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

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

// False when the file cannot be opened or read.
inline bool ReadWholeFile(const char* path, std::string& bytes) {
    std::ifstream in(path != nullptr ? path : "", std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
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
