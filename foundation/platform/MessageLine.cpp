#include "MessageLine.h"

#include <limits>

namespace vemra::platform {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The value of a run of digits that is all of text; false when empty, not digits, or above max.
bool ReadDigits(std::string_view text, std::uint64_t max, std::uint64_t& value) {
    if (text.empty()) return false;
    std::uint64_t v = 0;
    for (char c : text) {
        if (!IsDigit(c)) return false;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (v > (max - digit) / 10) return false;
        v = v * 10 + digit;
    }
    value = v;
    return true;
}

}  // namespace

bool ParseMessageLine(std::string_view line, std::uint32_t& wParam, std::int64_t& lParam) {
    if (line.ends_with('\n')) line.remove_suffix(1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return false;
    std::uint64_t w = 0;
    if (!ReadDigits(line.substr(0, blank), std::numeric_limits<std::uint32_t>::max(), w)) return false;
    std::string_view rest = line.substr(blank + 1);
    const bool negative = rest.starts_with('-');
    if (negative) rest.remove_prefix(1);
    // The magnitude of the lowest value is one more than the highest.
    const std::uint64_t max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    std::uint64_t l = 0;
    if (!ReadDigits(rest, max, l)) return false;
    wParam = static_cast<std::uint32_t>(w);
    lParam = negative ? static_cast<std::int64_t>(0 - l) : static_cast<std::int64_t>(l);
    return true;
}

}  // namespace vemra::platform
