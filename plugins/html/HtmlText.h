#pragma once
// Byte-string helpers of the HTML units that work on views and reused buffers, so that the
// scan allocates nothing per tag: ASCII case folding and trimming of the bytes up to the blank.

#include <cstddef>
#include <string>
#include <string_view>

#include "rtl/SysUtils.h"

namespace vemra::html {

inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

inline void LowerInto(std::string_view s, std::string& out) {
    out.resize(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) out[i] = LowerAscii(s[i]);
}

// The white space that separates the words of a tag.
inline bool IsTagSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

inline std::string_view TrimView(std::string_view s) {
    while (!s.empty() && IsBlankOrControl(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlankOrControl(s.back())) s.remove_suffix(1);
    return s;
}

inline std::string_view TrimRightView(std::string_view s) {
    while (!s.empty() && IsBlankOrControl(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace vemra::html
