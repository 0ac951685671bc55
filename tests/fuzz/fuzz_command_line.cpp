// Any bytes as a window-message line from another program. A line that is accepted must be
// two decimal numbers with one blank between them and nothing else (a line end at most), and
// the numbers written back must read as the same numbers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/MessageLine.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

bool Digit(char c) { return c >= '0' && c <= '9'; }

// The shape of an accepted line, checked apart from the parser: digits, a blank, an optional
// minus, digits, then "\n", "\r\n" or nothing.
bool WellFormed(std::string_view line) {
    if (line.ends_with('\n')) line.remove_suffix(1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    std::size_t i = 0;
    const std::size_t first = i;
    while (i < line.size() && Digit(line[i])) ++i;
    if (i == first || i == line.size() || line[i] != ' ') return false;
    ++i;
    if (i < line.size() && line[i] == '-') ++i;
    const std::size_t second = i;
    while (i < line.size() && Digit(line[i])) ++i;
    return i > second && i == line.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    std::uint32_t wParam = 1;
    std::int64_t lParam = 2;
    if (!vemra::platform::ParseMessageLine(line, wParam, lParam)) {
        Require(wParam == 1 && lParam == 2);
        return 0;
    }
    Require(WellFormed(line));
    const std::string written = std::to_string(wParam) + ' ' + std::to_string(lParam) + '\n';
    std::uint32_t w = 0;
    std::int64_t l = 0;
    Require(vemra::platform::ParseMessageLine(written, w, l) && w == wParam && l == lParam);
    return 0;
}
