#include <gtest/gtest.h>

#include <set>
#include <string>

#include "html/htmlmisc.h"

namespace vemra {
namespace {

TEST(DecodeEntity, NamesNumbersAndMisses) {
    struct Case {
        std::string name;
        std::string expected;
    } cases[] = {
        {"", ""},
        {"#65", "A"},
        {"#x41", "A"},
        {"#X41", "A"},
        {"#$41", "A"},
        {"#0x41", "A"},
        {"#233", "\xC3\xA9"},           // Latin-1 e acute, in UTF-8
        {"#xE9", "\xC3\xA9"},
        {"#255", "\xC3\xBF"},
        {"#256", "\xC4\x80"},           // above Latin-1: the character of that code
        {"#321", "\xC5\x81"},
        {"#8364", "\xE2\x82\xAC"},      // euro sign
        {"#x20AC", "\xE2\x82\xAC"},
        {"#xFFFF", "\xEF\xBF\xBF"},
        {"#x1F600", "\xF0\x9F\x98\x80"},
        {"#x10FFFF", "\xF4\x8F\xBF\xBF"},
        {"#xD800", "\xEF\xBF\xBD"},     // a surrogate is no character: U+FFFD
        {"#xDFFF", "\xEF\xBF\xBD"},
        {"#x110000", "\xEF\xBF\xBD"},   // beyond the last code point
        {"#2147483647", "\xEF\xBF\xBD"},
        {"#2147483648", "#2147483648"},  // no integer
        {"#0", "#0"},
        {"#-5", "#-5"},
        {"#abc", "#abc"},
        {"#", "#"},
        {"AMP", "&"},
        {"Nbsp", " "},
        {"lt", "<"},
        {"quot", "\""},
        {"tilde", "~"},
        {"times", "\xC3\x97"},
        {"cedil", "\xC2\xB8"},
        {"euro", "&euro"},
        {"ltx", "&ltx"},
        {"verylongname", "&verylongname"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DecodeEntity(c.name), c.expected);
    }
}

TEST(DecodeEntities, ReplacesEntitiesAndKeepsPlainText) {
    struct Case {
        std::string text;
        std::string expected;
    } cases[] = {
        {"1&nbsp;234&euro;", "1 234&euro"},
        {"&amp x", "& x"},
        {"a & b", "a  b"},  // the empty name gives nothing
        {"&lt;b&gt;", "<b>"},
        {"&#65;&#x41;", "AA"},
        {"5 &#8364; = &#x20AC;5 &#233;t&#xE9;", "5 \xE2\x82\xAC = \xE2\x82\xAC" "5 \xC3\xA9t\xC3\xA9"},
        {"&copy; 2024", "\xC2\xA9 2024"},
        {"&nbsp+1", " +1"},
        {"5&percnt%", "5&percnt%"},
        {"&lt<", "<<"},
        {"&amp&amp;", "&&"},
        {"&#-5;", "&#-5;"},  // "-" is no name character: no entity
        {"AT&T", "AT&T"},    // the text ends inside the name
        {"a&b.c", "a&b.c"},
        {"x&", "x&"},
        {"&&", "&"},
        {"&nb\rsp;", "&nb\rsp"},
        {"caf\xC3\xA9 &eacute;", "caf\xC3\xA9 &eacute"},
        {"", ""},
        {"no entities", "no entities"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(DecodeEntities(c.text), c.expected);
    }
}

TEST(DecodeEntities, LongRunsOfAmpersandsAndNamesStayLinear) {
    std::string text;
    for (int k = 0; k < 200000; ++k) text += "&a&amp;";
    text += std::string(1'000'000, 'b');
    const std::string out = DecodeEntities("x" + text);
    EXPECT_EQ(out.size(), 1 + 200000 * 3 + 1'000'000u);
}

TEST(EntityTable, OrderAndNames) {
    ASSERT_EQ(EntityTable.size(), 37u);
    const char* first[] = {"lt", "gt", "nbsp", "amp", "quot", "tilde"};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(EntityTable[k].Name, first[k]);
    for (std::size_t k = 6; k + 1 < EntityTable.size(); ++k) EXPECT_EQ(EntityTable[k].Code, 0xA1 + (k - 6));
    EXPECT_EQ(EntityTable.back().Name, "times");
    EXPECT_EQ(EntityTable.back().Code, 0xD7);
    std::set<std::string_view> names;
    for (const TEntityPair& pair : EntityTable) {
        EXPECT_TRUE(names.insert(pair.Name).second) << pair.Name;
        for (char c : pair.Name) EXPECT_TRUE((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) << pair.Name;
    }
}

}  // namespace
}  // namespace vemra
