#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZEPHStrUtils.h"

namespace vemra {
namespace {

std::vector<std::string> AllWords(std::string_view text, const TCharSet& delims) {
    std::vector<std::string> words;
    for (int n = 1; n <= WordCount(text, delims); ++n) words.push_back(ExtractWord(text, n, delims));
    return words;
}

TEST(StringCutter, EmptySetMeansTheDefaultDelimiters) {
    const TStringCutter cutter{TCharSet{}};
    EXPECT_EQ(cutter.Delimiters, MakeCharSet(" ,-.:;"));
    EXPECT_EQ(cutter.Delimiters.count(), 6u);
    EXPECT_EQ(cutter.Text, "");
    EXPECT_EQ(cutter.Count(), 0);
    EXPECT_EQ(cutter.Word(1), "");

    const TStringCutter bars(MakeCharSet("|"));
    EXPECT_EQ(bars.Delimiters, MakeCharSet("|"));
}

TEST(StringCutter, CutsTheDefinitionItems) {
    TStringCutter cutter{TCharSet{}};
    cutter.Text = "1,5-EUR: USD;";
    EXPECT_EQ(cutter.Count(), 4);
    EXPECT_EQ(cutter.Word(1), "1");
    EXPECT_EQ(cutter.Word(3), "EUR");
    EXPECT_EQ(cutter.Word(4), "USD");
    EXPECT_EQ(cutter.Word(5), "");
    EXPECT_EQ(cutter.Word(0), "");

    cutter.Text = "tr,1,40";  // reassigning the text re-cuts
    EXPECT_EQ(cutter.Count(), 3);
    EXPECT_EQ(cutter.Word(3), "40");
}

TEST(WordFunctions, WordsPositionsAndCounts) {
    const TCharSet delims = DefaultWordDelims();
    struct Case {
        std::string text;
        std::vector<std::string> words;
        std::vector<std::size_t> positions;
    };
    const Case cases[] = {
        {"", {}, {}},
        {",;. -:", {}, {}},
        {";", {}, {}},
        {"a", {"a"}, {1}},
        {"td 4 N", {"td", "4", "N"}, {1, 4, 6}},  // a one-character word at the very end
        {"  lead trail  ", {"lead", "trail"}, {3, 8}},
        {"x,,y", {"x", "y"}, {1, 4}},
        {"word", {"word"}, {1}},
        {"\xc3\xa9t\xc3\xa9 caf\xc3\xa9", {"\xc3\xa9t\xc3\xa9", "caf\xc3\xa9"}, {1, 7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(WordCount(c.text, delims), static_cast<int>(c.words.size()));
        EXPECT_EQ(AllWords(c.text, delims), c.words);
        for (std::size_t k = 0; k < c.positions.size(); ++k)
            EXPECT_EQ(WordPosition(c.text, static_cast<int>(k) + 1, delims), c.positions[k]);
        const int past = static_cast<int>(c.words.size()) + 1;
        EXPECT_EQ(WordPosition(c.text, past, delims), 0u);
        EXPECT_EQ(ExtractWord(c.text, past, delims), "");
    }
}

TEST(WordFunctions, NonPositiveWordNumbersGiveNothing) {
    const TCharSet delims = DefaultWordDelims();
    for (int n : {0, -1, -300}) {
        EXPECT_EQ(WordPosition("a b", n, delims), 0u);
        EXPECT_EQ(ExtractWord("a b", n, delims), "");
    }
}

TEST(WordFunctions, LongTextsHaveNoPositionLimit) {
    // 300 words over more than 255 characters: positions and word numbers keep counting.
    std::string text;
    for (int i = 1; i <= 300; ++i) text += "w" + std::to_string(i) + "|";
    const TCharSet bar = MakeCharSet("|");
    EXPECT_EQ(WordCount(text, bar), 300);
    EXPECT_EQ(ExtractWord(text, 300, bar), "w300");
    EXPECT_EQ(WordPosition(text, 257, bar), text.find("w257|") + 1);
    EXPECT_EQ(ExtractWord(text, 301, bar), "");
}

TEST(WordFunctions, DownloadLinesCutAtBars) {
    const TCharSet bar = MakeCharSet("|");
    const std::string line = "name||size|http://host/f.rar|/tmp/f.rar";
    EXPECT_EQ(WordCount(line, bar), 4);  // empty words do not count
    EXPECT_EQ(ExtractWord(line, 3, bar), "http://host/f.rar");
    EXPECT_EQ(ExtractWord(line, 4, bar), "/tmp/f.rar");
}

TEST(TextHelpers, CountChar) {
    EXPECT_EQ(CountChar('.', "1.234.567"), 2);
    EXPECT_EQ(CountChar('.', ""), 0);
    EXPECT_EQ(CountChar(',', "1.234"), 0);
}

TEST(TextHelpers, AddBackslash) {
    EXPECT_EQ(AddBackslash("/srv/data", true), "/srv/data/");
    EXPECT_EQ(AddBackslash("/srv/data/", true), "/srv/data/");
    EXPECT_EQ(AddBackslash("/srv/data", false), "/srv/data");
    EXPECT_EQ(AddBackslash("", true), "");
}

TEST(TextHelpers, DecodeLineMarks) {
    EXPECT_EQ(DecodeLineMarks("a||b_c"), "a\r\nb c");
    EXPECT_EQ(DecodeLineMarks("|||_"), "\r\n| ");
    EXPECT_EQ(DecodeLineMarks("plain"), "plain");
}

}  // namespace
}  // namespace vemra
