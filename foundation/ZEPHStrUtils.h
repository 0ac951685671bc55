#pragma once
// Word splitting at a set of delimiter bytes, and a few small text helpers.
//
// A word is a maximal run of bytes that are not delimiters; words are numbered from 1.
// Positions are 1-based byte positions and work for texts of any length.

#include <bitset>
#include <cstddef>
#include <string>
#include <string_view>

namespace vemra {

// A set of 8-bit characters, indexed by the byte's unsigned value.
using TCharSet = std::bitset<256>;

// The set holding each byte of chars.
TCharSet MakeCharSet(std::string_view chars);

// What a cutter created with an empty set splits at: blank , - . : ;
TCharSet DefaultWordDelims();

class TStringCutter {
public:
    explicit TStringCutter(const TCharSet& delimiters = {});

    int Count() const;               // WordCount(Text, Delimiters)
    std::string Word(int n) const;   // ExtractWord(Text, n, Delimiters)

    TCharSet Delimiters;
    std::string Text;  // callers assign it directly
};

int WordCount(std::string_view text, const TCharSet& delims);
// Position of the first byte of word n; 0 when n < 1, the text is empty or there is no word n.
std::size_t WordPosition(std::string_view text, int n, const TCharSet& delims);
std::string ExtractWord(std::string_view text, int n, const TCharSet& delims);  // "" when there is no word n

int CountChar(char c, std::string_view text);
// Appends the path delimiter when add is set and the text does not already end with one; an empty text stays empty.
std::string AddBackslash(std::string_view text, bool add);
// "||" becomes CR LF, then every "_" a blank (the line marks of translated texts).
std::string DecodeLineMarks(std::string_view text);

}  // namespace vemra
