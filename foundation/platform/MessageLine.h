#pragma once
// The line that carries one window message between our programs: wParam, one blank and
// lParam, both decimal, then the line end. Nothing else is a message.

#include <cstdint>
#include <string_view>

namespace vemra::platform {

// Reads one line: wParam as unsigned 32-bit digits, lParam as signed 64-bit digits (a "-"
// first), a LF (or CR LF) at the end or none. False, with both left as they were, for
// anything else: another separator, a sign on wParam, blanks or other bytes around the
// numbers, a number out of range.
bool ParseMessageLine(std::string_view line, std::uint32_t& wParam, std::int64_t& lParam);

}  // namespace vemra::platform
