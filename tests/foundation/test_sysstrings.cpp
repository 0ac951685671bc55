// Hidden literals: the substitution table, the scrambled form made by the compiler, and the
// text given back at run time.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "SysStrings.h"

namespace vemra {
namespace {

constexpr auto kAddress = ScrambleLiteral("https://example.org/vemra/%s?lang=%s");
constexpr auto kEmpty = ScrambleLiteral("");
// Spelled backwards below, so the plain text appears in this program only if the literal leaks.
constexpr auto kProbe = ScrambleLiteral("vemra-hidden-literal-probe.txt");
// Kept as data in the image (an optimiser may otherwise build the string from immediates),
// so finding it shows that the search over the image works.
[[gnu::used]] const char kProbeBackwards[] = "txt.eborp-laretil-neddih-armev";

TEST(SubstitutionTable, EveryStoredByteGivesADifferentCharacter) {
    std::set<int> chars;
    for (const std::uint16_t entry : SubstitutionTable) chars.insert((entry + 32) & 0xFF);
    EXPECT_EQ(chars.size(), 256u);
}

TEST(HiddenLiteral, TextComesBackUnchanged) {
    EXPECT_EQ(UnscrambleLiteral(kAddress), "https://example.org/vemra/%s?lang=%s");
    EXPECT_EQ(UnscrambleLiteral(kEmpty), "");
    static_assert(kAddress.size() == 36);
}

TEST(HiddenLiteral, EveryByteValueRoundTrips) {
    std::vector<std::uint8_t> stored;
    std::string all;
    for (int c = 0; c < 256; ++c) {
        all.push_back(static_cast<char>(c));
        stored.push_back(ScrambleChar(static_cast<char>(c)));
    }
    // UTF-8 and control bytes included; only the first 255 are taken.
    EXPECT_EQ(UnscrambleLiteral(stored), all.substr(0, 255));
}

TEST(HiddenLiteral, UnscramblingFollowsTheTable) {
    const std::array<std::uint8_t, 3> stored = {0, 1, 255};
    std::string expected;
    for (const std::uint8_t b : stored) expected.push_back(static_cast<char>((SubstitutionTable[b] + 32) & 0xFF));
    EXPECT_EQ(UnscrambleLiteral(stored), expected);
}

TEST(HiddenLiteral, ThePlainTextIsNotInTheProgram) {
    std::ifstream self("/proc/self/exe", std::ios::binary);
    ASSERT_TRUE(self.good());
    const std::string image((std::istreambuf_iterator<char>(self)), std::istreambuf_iterator<char>());
    const std::string backwards = kProbeBackwards;
    const std::string plain(backwards.rbegin(), backwards.rend());
    EXPECT_NE(image.find(backwards), std::string::npos);  // the search itself works
    EXPECT_EQ(image.find(plain), std::string::npos);
    EXPECT_EQ(UnscrambleLiteral(kProbe), plain);
    EXPECT_NE(std::string(kProbe.begin(), kProbe.end()), plain);
}

}  // namespace
}  // namespace vemra
