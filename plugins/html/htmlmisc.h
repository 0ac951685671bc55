#pragma once
// Entity decoding for texts taken from HTML pages. The replacements are characters in their
// UTF-8 encoding: the named ones are all Latin-1.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vemra {

struct TEntityPair {
    std::string_view Name;
    std::uint8_t Code;  // Latin-1 code of the replacement
};

// Searched from the first pair.
inline constexpr std::array<TEntityPair, 37> EntityTable{{
    {"lt", 0x3C},     {"gt", 0x3E},     {"nbsp", 0x20},   {"amp", 0x26},    {"quot", 0x22},
    {"tilde", 0x7E},  {"iexcl", 0xA1},  {"cent", 0xA2},   {"pound", 0xA3},  {"curren", 0xA4},
    {"yen", 0xA5},    {"brvbar", 0xA6}, {"sect", 0xA7},   {"uml", 0xA8},    {"copy", 0xA9},
    {"ordf", 0xAA},   {"laquo", 0xAB},  {"not", 0xAC},    {"shy", 0xAD},    {"reg", 0xAE},
    {"macr", 0xAF},   {"deg", 0xB0},    {"plusmn", 0xB1}, {"sup2", 0xB2},   {"sup3", 0xB3},
    {"acute", 0xB4},  {"micro", 0xB5},  {"para", 0xB6},   {"middot", 0xB7}, {"cedil", 0xB8},
    {"sup1", 0xB9},   {"ordm", 0xBA},   {"raquo", 0xBB},  {"frac14", 0xBC}, {"frac12", 0xBD},
    {"frac34", 0xBE}, {"times", 0xD7},
}};

// One entity's replacement; name is written without "&" and ";". "#65", "#x41" and "#$41"
// give "A", "#8364" gives the euro sign (a positive number is the character's code, in
// UTF-8; a surrogate or a number beyond U+10FFFF gives U+FFFD); an unknown name gives "&"
// and the name; a number that is not positive, or not a number, gives the name itself.
std::string DecodeEntity(std::string_view name);

// The text with its entities replaced. A name ends at ";" (dropped) or at a blank, "%",
// "&", "+", "<" or ">" (kept). An "&" whose name runs into any other character or into the
// end of the text starts no entity and stays as it is, with the characters after it.
std::string DecodeEntities(std::string_view text);

}  // namespace vemra
