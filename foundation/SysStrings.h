#pragma once
// Hidden literals: texts the program keeps out of the plain strings of its binaries (file
// names, web addresses, format strings). Write one as
//
//     inline constexpr auto kUpdateLogName = ScrambleLiteral("update.log");
//     ... UnscrambleLiteral(kUpdateLogName) ...
//
// ScrambleLiteral runs in the compiler only, so the text itself never reaches the binary:
// what is stored is, per character, the index of its entry in the substitution table.
// UnscrambleLiteral turns each stored byte b into the character (Table[b] + 32) mod 256.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace vemra {

using TSubstitutionTable = std::array<std::uint16_t, 256>;

namespace sysstrings_detail {

// A fixed shuffle of 0..255 in the low byte of each entry; the high byte is filler.
consteval TSubstitutionTable BuildTable() {
    TSubstitutionTable t{};
    for (std::size_t i = 0; i < t.size(); ++i) t[i] = static_cast<std::uint16_t>(i);
    std::uint32_t x = 0x9E3779B9u;
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    for (std::size_t i = t.size() - 1; i > 0; --i) {
        const std::size_t j = next() % (i + 1);
        const std::uint16_t swap = t[i];
        t[i] = t[j];
        t[j] = swap;
    }
    for (std::uint16_t& e : t) e = static_cast<std::uint16_t>(e | ((next() & 0xFF) << 8));
    return t;
}

consteval std::array<std::uint8_t, 256> Invert(const TSubstitutionTable& t) {
    std::array<std::uint8_t, 256> inv{};
    for (std::size_t b = 0; b < t.size(); ++b) inv[t[b] & 0xFF] = static_cast<std::uint8_t>(b);
    return inv;
}

}  // namespace sysstrings_detail

// Built by the compiler (constant initialisation), so it is ready before any other unit's
// initialisation asks for a literal.
inline constexpr TSubstitutionTable SubstitutionTable = sysstrings_detail::BuildTable();

inline constexpr std::size_t MaxLiteralLength = 255;

// The stored byte that UnscrambleLiteral turns into c.
constexpr std::uint8_t ScrambleChar(char c) {
    constexpr std::array<std::uint8_t, 256> inverse = sysstrings_detail::Invert(SubstitutionTable);
    return inverse[static_cast<std::uint8_t>(static_cast<std::uint8_t>(c) - 32)];
}

template <std::size_t N>
consteval std::array<std::uint8_t, N - 1> ScrambleLiteral(const char (&text)[N]) {
    static_assert(N - 1 <= MaxLiteralLength, "a hidden literal holds at most 255 bytes");
    std::array<std::uint8_t, N - 1> stored{};
    for (std::size_t i = 0; i + 1 < N; ++i) stored[i] = ScrambleChar(text[i]);
    return stored;
}

// The text of stored bytes; at most the first 255 are read.
std::string UnscrambleLiteral(std::span<const std::uint8_t> stored);

}  // namespace vemra
