#include "SysStrings.h"

#include <algorithm>

namespace vemra {

std::string UnscrambleLiteral(std::span<const std::uint8_t> stored) {
    std::string text(std::min(stored.size(), MaxLiteralLength), '\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>(static_cast<std::uint8_t>(SubstitutionTable[stored[i]] + 32));
    return text;
}

}  // namespace vemra
