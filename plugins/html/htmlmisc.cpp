#include "htmlmisc.h"

#include <cstddef>

#include "rtl/NumParse.h"
#include "rtl/SysUtils.h"

namespace vemra {
namespace {

bool IsNameChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '#' || c < 32;
}

bool EndsNameKept(char c) { return c == ' ' || c == '%' || c == '&' || c == '+' || c == '<' || c == '>'; }

const TEntityPair* FindEntity(std::string_view name) {
    for (const TEntityPair& pair : EntityTable)
        if (SameText(pair.Name, name)) return &pair;
    return nullptr;
}

void AppendEntity(std::string& out, std::string_view name) {
    if (name.empty()) return;
    if (name[0] == '#') {
        int value = 0;
        if (TryStrToInt(name.substr(1), value) && value > 0)
            AppendUtf8(out, static_cast<unsigned>(value));
        else
            out += name;
        return;
    }
    if (const TEntityPair* pair = FindEntity(name)) {
        AppendUtf8(out, pair->Code);
        return;
    }
    out += '&';
    out += name;
}

}  // namespace

std::string DecodeEntity(std::string_view name) {
    std::string out;
    AppendEntity(out, name);
    return out;
}

std::string DecodeEntities(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        if (text[i] != '&') {
            std::size_t amp = text.find('&', i);
            if (amp == std::string_view::npos) amp = n;
            out.append(text.substr(i, amp - i));
            i = amp;
            continue;
        }
        std::size_t j = i + 1;
        while (j < n && IsNameChar(static_cast<unsigned char>(text[j]))) ++j;
        if (j < n && text[j] == ';') {
            AppendEntity(out, text.substr(i + 1, j - i - 1));
            i = j + 1;
        } else if (j < n && EndsNameKept(text[j])) {
            AppendEntity(out, text.substr(i + 1, j - i - 1));
            i = j;
        } else {
            out += '&';  // no entity: the name characters follow as plain text
            ++i;
        }
    }
    return out;
}

}  // namespace vemra
