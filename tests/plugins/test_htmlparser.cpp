#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "html/HTMLParser.h"
#include "support/TestUtils.h"

namespace vemra {
namespace {

using Strings = std::vector<std::string>;

std::string Escaped(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

// One line per tree: elements as name{children}, "/" for Closed, [lines|...] for Params;
// texts quoted; comments, declarations and CDATA in their own brackets.
std::string Dump(const THierarchyNode& parent) {
    std::string out;
    for (const THierarchyNode* child : parent.Children()) {
        if (!out.empty()) out += ' ';
        const TTagNode* tag = TTagNode::FromNode(child);
        switch (child->Kind) {
            case tkElement: {
                out += child->TagName.View();
                if (tag != nullptr && tag->Closed) out += '/';
                const TStringList& params = child->Params();
                if (params.Count() > 0) {
                    out += '[';
                    for (int k = 0; k < params.Count(); ++k) out += (k ? "|" : "") + params[k];
                    out += ']';
                }
                if (child->ChildCount() > 0) out += '{' + Dump(*child) + '}';
                break;
            }
            case tkText:
                EXPECT_EQ(child->TagName, "PCDATA");
                out += '"' + Escaped(child->Text) + '"';
                break;
            case tkComment:
                out += "<!--" + child->Text.str() + "-->";
                break;
            case tkDeclaration:
                out += '<' + child->TagName.str() + ' ' + child->Text.str() + '>';
                break;
            case tkCData:
                EXPECT_EQ(child->TagName, "CDATA");
                out += "<![" + child->Text.str() + "]>";
                break;
            default:
                out += "<" + child->TagName.str() + child->Text.str() + ">";
        }
    }
    return out;
}

struct Recorder {
    explicit Recorder(THTMLParser& parser) {
        parser.OnHTMLTag = [this](THTMLParser*, TTagNode* node) { events.push_back(node->TagName.str()); };
        parser.OnSyntaxWarning = [this](THTMLParser*, const std::string& text) { warnings.push_back(text); };
    }
    Strings events;
    Strings warnings;
};

struct ParseCase {
    std::string input;
    std::string tree;
    Strings events;
    Strings warnings;
};

// The sample with its tags in square brackets, so that a test's name never reads as a dump.
void PrintTo(const ParseCase& c, std::ostream* os) {
    std::string shown = c.input;
    std::replace(shown.begin(), shown.end(), '<', '[');
    std::replace(shown.begin(), shown.end(), '>', ']');
    *os << test::Quoted(shown);
}

class ParseSamples : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseSamples, GiveTheirTreeEventsAndWarnings) {
    const ParseCase& c = GetParam();
    THTMLParser parser;
    Recorder rec(parser);
    parser.ParseHTML(c.input);
    EXPECT_EQ(Dump(*parser.Root()), c.tree);
    EXPECT_EQ(rec.events, c.events);
    EXPECT_EQ(rec.warnings, c.warnings);
    EXPECT_FALSE(parser.Parsing());

    // Without handlers the parser links children only when their element closes.
    THTMLParser quiet;
    quiet.ParseHTML(c.input);
    EXPECT_EQ(Dump(*quiet.Root()), c.tree);
}

INSTANTIATE_TEST_SUITE_P(
    Closing, ParseSamples,
    ::testing::Values(
        ParseCase{"<ul><li>a<li>b</ul>\n", "ul{li{\"a\"} li{\"b\"}}", {"li", "ul"}, {}},
        ParseCase{"<p>x<table>\n", "p{\"x\"} table", {}, {}},
        ParseCase{"<p>x<ul>\n", "p{\"x\"} ul", {}, {}},
        ParseCase{"<p>x<h6>\n", "p{\"x\"} h6", {}, {}},
        ParseCase{"<p>x<span>\n", "p{\"x\" span}", {}, {}},
        ParseCase{"<P>x<p>y<br>\n", "P{\"x\"} p{\"y\" br/}", {"br"}, {}},
        ParseCase{"<tr><td>1<td>2\n", "tr{td{\"1\"} td}", {}, {}},
        ParseCase{"<td>1<tr>\n", "td{\"1\" tr}", {}, {}},
        ParseCase{"<TD>1<td>2</Td>\n", "TD{\"1\"} td{\"2\"}", {"td"}, {}},
        ParseCase{"<div><div>x</div></div>\n", "div{div{\"x\"}}", {"div", "div"}, {}},
        ParseCase{"<div><b><i>x</div>\n", "div{b{i{\"x\"}}}", {"i", "b", "div"}, {}},
        ParseCase{"<b>x</b>", "b{\"x\"}", {"b"}, {}},  // the last character closes a tag
        ParseCase{"<b><i>open\n", "b{i}", {}, {}}));

INSTANTIATE_TEST_SUITE_P(
    EmptyElements, ParseSamples,
    ::testing::Values(
        ParseCase{"<br>x<i>\n", "br/ \"x\" i", {"br"}, {}},
        ParseCase{"<BR/>x<i>\n", "BR/ \"x\" i", {"BR"}, {}},
        ParseCase{"<x/>y<i>\n", "x/ \"y\" i", {"x"}, {}},
        ParseCase{"<img src=\"a.png\" alt='b c'>\n", "img/[src=a.png|alt=b c]", {"img"}, {}},
        ParseCase{"<a href=x/>\n", "a/[href=x]", {"a"}, {}},
        ParseCase{"<p>a<hr>b\n", "p{\"a\"} hr/", {"hr"}, {}}));

INSTANTIATE_TEST_SUITE_P(
    Warnings, ParseSamples,
    ::testing::Values(
        ParseCase{"</b>x\n", "", {}, {"End tag found without matching start tag: b [Row:1,Col:4]"}},
        ParseCase{"<td>1</td >\n", "td{\"1\"}", {},
                  {"End tag found without matching start tag: td  [Row:1,Col:11]"}},
        // The stray ">" stays in the text.
        ParseCase{"a > b<i>\n", "\"a > b\" i", {}, {"Unexpected \">\" encountered [Row:1,Col:3]"}},
        ParseCase{"<a <b>\n", "a[<b]", {}, {"Unexpected \"<\" encountered [Row:1,Col:4]"}},
        ParseCase{"a>b\r\n>c>\n", "", {},
                  {"Unexpected \">\" encountered [Row:1,Col:2]", "Unexpected \">\" encountered [Row:2,Col:1]",
                   "Unexpected \">\" encountered [Row:2,Col:3]"}},
        // A row holds 257 columns.
        ParseCase{std::string(300, 'x') + ">\n", "", {}, {"Unexpected \">\" encountered [Row:2,Col:44]"}},
        ParseCase{std::string(256, 'x') + ">\n", "", {}, {"Unexpected \">\" encountered [Row:1,Col:257]"}},
        ParseCase{"<!DOCTYPE x -- a > b -- >\n", "<!DOCTYPE x -- a > b -->", {},
                  {"Unexpected \">\" encountered [Row:1,Col:18]"}}));

INSTANTIATE_TEST_SUITE_P(
    OtherNodes, ParseSamples,
    ::testing::Values(
        ParseCase{"<!-- x -->\n", "<!--x-->", {}, {}},
        ParseCase{"<!-- a > b -->\n", "<!--a > b-->", {}, {}},
        ParseCase{"<!---->\n", "<!---->", {}, {}},
        ParseCase{"<!DOCTYPE html>\n", "<!DOCTYPE html>", {}, {}},
        ParseCase{"<![CDATA[abc]]>\n", "<![abc]>", {}, {}},
        ParseCase{"<![CDATA[a<b>c]]>\n", "<![a<b>c]>", {}, {}},
        ParseCase{"<?xml version=1?>\n", "<!xml version=1?>", {}, {}},
        ParseCase{"<!>\n", "<>", {}, {}},
        ParseCase{"<!DOCTYPE html [ <!ENTITY a \"b\"> ]>\n", "<!DOCTYPE html [ <!ENTITY a \"b\"> ]>", {}, {}},
        ParseCase{"<!DOCTYPE <b>x</b>\n", "\"DOCTYPE \" b{\"x\"}", {"b"}, {}},
        ParseCase{"<b>\n</b>\n", "b{\"\\n\"}", {"b"}, {}},
        ParseCase{"<b> \r\n\t</b>\n", "b{\" \\r\\n\t\"}", {"b"}, {}},
        ParseCase{"<b>&amp;x</b>\n", "b{\"&amp;x\"}", {"b"}, {}},
        ParseCase{"text only\n", "", {}, {}},
        ParseCase{"", "", {}, {}}));

TEST(ParseHTML, AttributeLinesMatchParseTagAttributes) {
    const char* insides[] = {
        "td class=\"a b\" nowrap", "x a = b", "a href='x \"y\"'", "a\nb c", "a=\n \"b\" c", "  td  ",
        "\"td\" x", "td\tx\ry", "a b='' c=\"\"", "'unclosed x y", "a =b= c", "td x\n=y",
    };
    for (const char* inside : insides) {
        SCOPED_TRACE(inside);
        TStringList expected;
        std::string name;
        ParseTagAttributes(inside, expected, name);
        THTMLParser parser;
        parser.ParseHTML(std::string("<") + inside + ">");
        ASSERT_EQ(parser.Root()->ChildCount(), 1);
        const THierarchyNode* node = parser.Root()->GetChild(0);
        EXPECT_EQ(node->TagName, name);
        const TStringList& lines = node->Params();
        ASSERT_EQ(lines.Count(), expected.Count());
        for (int k = 0; k < lines.Count(); ++k) EXPECT_EQ(lines[k], expected[k]);
    }
}

TEST(ParseHTML, ParseTagAttributesSplitsNamesAndLines) {
    struct Case {
        std::string inside;
        std::string name;
        Strings lines;
    } cases[] = {
        {"td class=\"a b\" nowrap", "td", {"class=a b", "nowrap"}},
        {"x a = b", "x", {"a", "=b"}},
        {"a href='x \"y\"'", "a", {"href=x \"y\""}},
        {"<a b>", "a", {"b"}},
        {"a\nb c", "ab", {"c"}},
        {"a=\n  \"b\"", "a=b", {}},
        {"  td  ", "td", {}},
        {"<", "<", {}},
        {"", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.inside);
        TStringList list;
        std::string name = "old";
        ParseTagAttributes(c.inside, list, name);
        EXPECT_EQ(name, c.name);
        Strings lines(static_cast<std::size_t>(list.Count()));
        for (int k = 0; k < list.Count(); ++k) lines[static_cast<std::size_t>(k)] = list[k];
        EXPECT_EQ(lines, c.lines);
    }
}

TEST(ParseHTML, TagListsMatchWholeNames) {
    struct Case {
        std::string_view name;
        bool optional, block, empty;
    } cases[] = {
        {"p", true, true, false},      {"td", true, false, false}, {"TD", true, false, false},
        {"head", true, false, false},  {"h6", false, true, false}, {"address", false, true, false},
        {"isindex", false, true, true}, {"hr", false, true, true}, {"meta", false, false, true},
        {"t", false, false, false},    {"", false, false, false},  {"span", false, false, false},
        {"p|dt", true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name));
        EXPECT_EQ(THTMLParser::IsOptionalEndTag(c.name), c.optional);
        EXPECT_EQ(THTMLParser::IsBlockTag(c.name), c.block);
        EXPECT_EQ(THTMLParser::IsEmptyTag(c.name), c.empty);
    }
}

TEST(ParseHTML, StackKeepsLowerCaseNamesAndFindsThemAtAnyDepth) {
    TStack stack;
    TTagNode a;
    TTagNode b;
    EXPECT_EQ(stack.Peek(), "");
    EXPECT_EQ(stack.Pop(), "");
    EXPECT_EQ(stack.TopNode(), nullptr);
    stack.Push("TD", &a);
    stack.Push("b", &b);
    stack.Push("td", &b);
    EXPECT_EQ(stack.Count(), 3);
    EXPECT_EQ(stack.Strings(0), "td");
    EXPECT_TRUE(stack.Contains("Td"));
    EXPECT_TRUE(stack.Contains("B"));
    EXPECT_FALSE(stack.Contains("i"));
    EXPECT_EQ(stack.Pop(), "td");
    EXPECT_TRUE(stack.Contains("td"));
    EXPECT_EQ(stack.Pop(), "b");
    EXPECT_FALSE(stack.Contains("b"));
    EXPECT_EQ(stack.Peek(), "td");
    EXPECT_EQ(stack.TopNode(), &a);
}

TEST(ParseHTML, ReparsingReplacesTheTreeAndClearTreeEmptiesIt) {
    THTMLParser parser;
    parser.ParseHTML("<a>x</a><b>\n");
    EXPECT_EQ(Dump(*parser.Root()), "a{\"x\"} b");
    parser.ParseHTML("<c>\n");
    EXPECT_EQ(Dump(*parser.Root()), "c");
    parser.ClearTree();
    EXPECT_EQ(parser.Root()->ChildCount(), 0);
}

TEST(ParseHTML, HandlersCannotRestartOrClearARunningParse) {
    THTMLParser parser;
    int calls = 0;
    parser.OnHTMLTag = [&](THTMLParser* sender, TTagNode*) {
        ++calls;
        EXPECT_TRUE(sender->Parsing());
        sender->ParseHTML("<other>");
        sender->ClearTree();
    };
    parser.ParseHTML("<a><b></b></a><br>\n");
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(Dump(*parser.Root()), "a{b} br/");
}

TEST(ParseHTML, AThrowingHandlerEndsTheParseCleanly) {
    THTMLParser parser;
    parser.OnSyntaxWarning = [](THTMLParser*, const std::string&) { throw std::runtime_error("stop"); };
    EXPECT_THROW(parser.ParseHTML("<a>x</b><c>"), std::runtime_error);
    EXPECT_FALSE(parser.Parsing());
    EXPECT_EQ(Dump(*parser.Root()), "a{\"x\"}");
    parser.OnSyntaxWarning = nullptr;
    parser.ParseHTML("<d>\n");
    EXPECT_EQ(Dump(*parser.Root()), "d");
}

TEST(ParseHTML, NodesOutliveTheirParserAndCanBeFreedOnAnotherThread) {
    TTagNode* kept = nullptr;
    {
        THTMLParser parser;
        parser.ParseHTML("<b class=x>kept</b><i>\n");
        kept = GetChild(parser.Root(), 0);
        parser.Root()->RemoveChild(kept);
        auto* other = new THTMLParser();
        other->ParseHTML(std::string(10000, 'x') + "<td>a<td>b" + "<p>");
        std::thread([other] { delete other; }).join();
    }
    EXPECT_EQ(GetNodeText(kept), "kept");
    EXPECT_EQ(kept->Params()[0], "class=x");
    delete kept;
}

// ---- size and hostile input ----

std::string Repeat(std::string_view piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t k = 0; k < times; ++k) out += piece;
    return out;
}

int CountNodes(const THierarchyNode* root) {
    TTagNodeList list;
    FindAllTags(root, "*", &list);
    return list.TagListCount();
}

TEST(ParseHTMLDepth, AMillionNestedElementsParseWalkAndFree) {
    constexpr int kDepth = 1'000'000;
    THTMLParser parser;
    int events = 0;
    parser.OnHTMLTag = [&](THTMLParser*, TTagNode*) { ++events; };
    parser.ParseHTML(Repeat("<div>", kDepth) + "deep<br>" + Repeat("</div>", kDepth) + "\n");
    EXPECT_EQ(events, kDepth + 1);
    EXPECT_EQ(GetNodeText(parser.Root()), "deep");
    TTagNodeList list;
    FindAllTags(parser.Root(), "div", &list);
    EXPECT_EQ(list.TagListCount(), kDepth);
    list.ClearTagList();

    parser.ParseHTML(Repeat("<b>", kDepth) + "x\n");  // left open
    EXPECT_EQ(CountNodes(parser.Root()), kDepth);

    THTMLParser quiet;
    quiet.ParseHTML(Repeat("<div>", kDepth) + "deep<br>" + Repeat("</div>", kDepth / 2) + "\n");
    EXPECT_EQ(GetNodeText(quiet.Root()), "deep");
    EXPECT_EQ(CountNodes(quiet.Root()), kDepth + 2);
}

TEST(ParseHTMLDepth, UnmatchedEndTagsUnderADeepStackStayCheap) {
    constexpr int kDepth = 200'000;
    THTMLParser parser;
    int warnings = 0;
    parser.OnSyntaxWarning = [&](THTMLParser*, const std::string&) { ++warnings; };
    parser.ParseHTML(Repeat("<div>", kDepth) + Repeat("</span>", kDepth) + Repeat("</DIV>", kDepth) + "\n");
    EXPECT_EQ(warnings, kDepth);
    EXPECT_EQ(CountNodes(parser.Root()), kDepth);
}

TEST(ParseHTMLHostile, PathologicalInputsFinishWithABoundedTree) {
    const std::string inputs[] = {
        Repeat("<", 100000),
        Repeat(">", 100000),
        Repeat("</", 100000),
        Repeat("<a", 100000),
        Repeat("<>", 100000),
        Repeat("</>", 100000),
        Repeat("<!", 100000),
        Repeat("<!-", 100000),
        Repeat("<?", 100000),
        Repeat("&<-[]!?/>", 50000),
        "<!--" + Repeat("-- >", 50000),
        "<![CDATA[" + Repeat("] >", 50000),
        "<!DOCTYPE" + Repeat(" --", 50000),
        "<a " + Repeat("\"'=", 100000) + ">",
        "<" + std::string(1'000'000, 'n') + ">x</" + std::string(1'000'000, 'N') + ">",
        Repeat(std::string("<a\0b>\0", 6), 50000),
    };
    for (const std::string& input : inputs) {
        SCOPED_TRACE(Escaped(input.substr(0, 20)));
        THTMLParser parser;
        Recorder rec(parser);
        parser.ParseHTML(input);
        EXPECT_LE(CountNodes(parser.Root()), static_cast<int>(input.size()));
        EXPECT_LE(rec.warnings.size(), input.size());
        GetNodeText(parser.Root());
        THTMLParser quiet;
        quiet.ParseHTML(input);
        EXPECT_EQ(CountNodes(quiet.Root()), CountNodes(parser.Root()));
    }
}

TEST(ParseHTMLHostile, ManyDistinctTagNamesAndRandomBytes) {
    std::string names;
    for (int k = 0; k < 100000; ++k) names += "<t" + std::to_string(k) + " a=" + std::to_string(k) + ">";
    THTMLParser parser;
    parser.ParseHTML(names + "</t0>");
    EXPECT_EQ(CountNodes(parser.Root()), 100000);

    std::mt19937 random(42);
    const char alphabet[] = "<>/!?-[]\"'= \n\r\tabAB&;#";
    for (int round = 0; round < 50; ++round) {
        std::string input(20000, ' ');
        for (char& c : input)
            c = round % 2 ? static_cast<char>(random()) : alphabet[random() % (sizeof alphabet - 1)];
        Recorder rec(parser);
        parser.ParseHTML(input);
        TTagNodeList list;
        FindAllTags(parser.Root(), "*", &list);
        for (int k = 0; k < list.TagListCount(); ++k) list.TagListItem(k)->Params();
        EXPECT_LE(list.TagListCount(), static_cast<int>(input.size()));
    }
}

}  // namespace
}  // namespace vemra
