#pragma once
// Byte-string helpers of the HTML units: ASCII case folding and trimming of the bytes up to
// the blank, as the parser's rules compare and trim.

#include <cstddef>
#include <string>
#include <string_view>

namespace vemra::html {

inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

inline void LowerInto(std::string_view s, std::string& out) {
    out.resize(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) out[i] = LowerAscii(s[i]);
}

inline bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

// Tag names are short: a plain loop beats a call to memcmp.
inline bool SameBytes(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

inline bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

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
