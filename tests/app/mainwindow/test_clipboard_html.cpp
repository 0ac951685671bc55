// Reading copied HTML: the fragment markers, bare rows, header cells, unclosed cells, and the
// cells of the last table as TAB/CR LF text.

#include <gtest/gtest.h>

#include "ClipboardHtml.h"
#include "html/HTMLParser.h"

using namespace vemra;

namespace {

std::string Clip(const std::string& fragment) {
    return "Version:0.9\r\nStartHTML:0\r\n<html><body><!--StartFragment-->" + fragment +
           "<!--EndFragment--></body></html>";
}

TEST(ExtractHtmlFragment, WrapsBareRowsIntoATableAndLeavesTheMarkupAsItIs) {
    EXPECT_EQ(ExtractHtmlFragment(Clip("<tr><td>1</td></tr>")),
              "<html><body><table><tr><td>1</td></tr></table></body></html>");
    EXPECT_EQ(ExtractHtmlFragment(Clip("<table><tr><td>1</td></tr></table>")),
              "<html><body><table><tr><td>1</td></tr></table></body></html>");
    EXPECT_EQ(ExtractHtmlFragment(Clip("<p>x</p>")), "<html><body><p>x</p></body></html>");
    EXPECT_EQ(ExtractHtmlFragment(Clip("<table><TH class=a>h</TH></table>")),
              "<html><body><table><TH class=a>h</TH></table></body></html>");
}

TEST(ExtractHtmlFragment, MissingMarkerGivesNothing) {
    EXPECT_EQ(ExtractHtmlFragment("<html><body><table><tr><td>1</td></tr></table>"), "");
    EXPECT_EQ(ExtractHtmlFragment("<!--StartFragment--><td>1</td>"), "");
    EXPECT_EQ(ExtractHtmlFragment("<!--EndFragment--> <!--StartFragment-->"), "");
}

struct TableCase {
    const char* name;
    std::string fragment;
    THtmlTableResult result;
    std::string text;
};

void PrintTo(const TableCase& c, std::ostream* os) { *os << c.name; }

class HtmlTableToTextTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(HtmlTableToTextTest, GivesCellsAsTabbedRows) {
    THTMLParser parser;
    std::string text = "stale";
    EXPECT_EQ(HtmlTableToText(parser, PresentAsHtmlFormat(GetParam().fragment), text), GetParam().result);
    EXPECT_EQ(text, GetParam().text);
    EXPECT_EQ(parser.Root()->ChildCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, HtmlTableToTextTest,
    ::testing::Values(
        TableCase{"ThreeRowsOfTwo",
                  "<table><tr><td>c1</td><td>c2</td></tr><tr><td>c3</td><td>c4</td></tr>"
                  "<tr><td>c5</td><td>c6</td></tr></table>",
                  THtmlTableResult::Table, "c1\tc2\r\nc3\tc4\r\nc5\tc6\r\n"},
        TableCase{"FiveCellsInTwoRowsGetAnEmptyFirstCell",
                  "<table><tr><td>EUR</td><td>USD</td></tr><tr><td>x</td><td>1</td><td>2</td></tr></table>",
                  THtmlTableResult::Table, "\tEUR\tUSD\r\nx\t1\t2\r\n"},
        TableCase{"CellTextsTrimmedDecodedAndJoinedAcrossLines",
                  "<table><tr><td> 1&amp;2\r\n3 </td><td>&#233;</td></tr></table>", THtmlTableResult::Table,
                  "1&23\t\xC3\xA9\r\n"},
        TableCase{"LastTableWins", "<table><tr><td>a</td></tr></table><table><tr><td>b</td></tr></table>",
                  THtmlTableResult::Table, "b\r\n"},
        TableCase{"NoTable", "<p>12 EUR</p>", THtmlTableResult::NoTable, ""},
        TableCase{"TableWithoutCells", "<table><tr></tr></table>", THtmlTableResult::NoTable, ""},
        // As a browser puts a table on the X11 clipboard: LF line ends, a header row of th.
        TableCase{"BrowserTableWithAHeaderRow",
                  "<meta charset=\"utf-8\">\n<table class=\"rates\">\n<thead>\n<tr>\n<th>Currency</th>\n"
                  "<th style=\"text-align: right\">Rate</th>\n</tr>\n</thead>\n<tbody>\n<tr>\n<td>USD</td>\n"
                  "<td>1.0843</td>\n</tr>\n<tr>\n<td>JPY</td>\n<td>161.25</td>\n</tr>\n</tbody>\n</table>",
                  THtmlTableResult::Table, "Currency\tRate\r\nUSD\t1.0843\r\nJPY\t161.25\r\n"},
        TableCase{"HeaderCellsInAnyCaseWithOrWithoutAttributes",
                  "<TABLE><TR><TH>a</TH><Th CLASS=x>b</tH></TR><TR><TD>1</TD><td>2</td></TR></TABLE>",
                  THtmlTableResult::Table, "a\tb\r\n1\t2\r\n"},
        TableCase{"LineBreaksAndTabsInsideACellKeepItOneCell",
                  "<table><tr><td>Euro\n\tarea</td><td>\n  1,5\n</td></tr><tr><td>a\rb</td><td>c\r\nd</td></tr>"
                  "<tr><td>x&#10;y</td><td>z</td></tr></table>",
                  THtmlTableResult::Table, "Euro area\t1,5\r\nab\tcd\r\nxy\tz\r\n"},
        // Unclosed cells nest in the tree (each holds the next row): each keeps its own text.
        TableCase{"UnclosedCellsEachKeepTheirOwnText", "<meta charset=\"utf-8\"><table><tr><td>1<tr><td>2<tr><td>3",
                  THtmlTableResult::Table, "1\r\n2\r\n3\r\n"},
        TableCase{"UnclosedHeaderAndDataCellsInOneRow", "<table><tr><th>Name<td>1<td>2<tr><th>Other<td>3<td>4",
                  THtmlTableResult::Table, "Name\t1\t2\r\nOther\t3\t4\r\n"},
        TableCase{"TextAroundMarkupInACellKeepsItsOrder",
                  "<table><tr><td>1<b>2</b>3</td><td>a<i>b<u>c</u>d</i>e</td></tr></table>", THtmlTableResult::Table,
                  "123\tabcde\r\n"},
        // A table inside a cell is the last table; the outer cell's text after it is not read.
        TableCase{"TableInsideACellIsTheLastTable",
                  "<table><tr><td>a<table><tr><td>b</td><td>c</td></tr></table>d</td></tr></table>",
                  THtmlTableResult::Table, "b\tc\r\n"},
        TableCase{"EmptyTableAfterATableLeavesNoTable", "<table><tr><td>a</td></tr></table><table/><td>b</td>",
                  THtmlTableResult::NoTable, ""},
        TableCase{"OneCellMissingFromRowsOfOneIsAnEmptyFirstRow",
                  "<table><tr><td>a</td></tr><tr><td>b</td></tr><tr></tr></table>", THtmlTableResult::Table,
                  "\r\na\r\nb\r\n"},
        TableCase{"FewerCellsThanRowsIsAbandoned", "<table><tr><td>a</td></tr><tr></tr><tr></tr></table>",
                  THtmlTableResult::Abandoned, ""}),
    [](const ::testing::TestParamInfo<TableCase>& info) { return std::string(info.param.name); });

TEST(SanitizeUtf8, ReplacesIllFormedSequencesOnly) {
    EXPECT_EQ(SanitizeUtf8("a\xC3\xA9z"), "a\xC3\xA9z");
    EXPECT_EQ(SanitizeUtf8("a\xFFz"), "a\xEF\xBF\xBDz");
    EXPECT_EQ(SanitizeUtf8("\xC3"), "\xEF\xBF\xBD");
    EXPECT_EQ(SanitizeUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // a surrogate
    EXPECT_EQ(SanitizeUtf8("\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80");
}

}  // namespace
