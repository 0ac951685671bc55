// A conversion run as a whole: the split of plain and table input into cells, the split
// progress, a first cell naming a rate source, and the dump of the input in the detail log.
#include <gtest/gtest.h>

#include <algorithm>

#include "PipelineTestSupport.h"

namespace vemra::test {
namespace {

using Strings = std::vector<std::string>;

class SplitTest : public PipelineTest {
protected:
    std::vector<int> Rows() const {
        std::vector<int> out;
        for (const CellInfo& cell : conv.Table.Cells) out.push_back(cell.Row);
        return out;
    }
};

TEST_F(SplitTest, TableCellsFollowTabsAndLines) {
    ConvertTable({"a\tb", "\tc"});
    EXPECT_EQ(LinesOf(ui.Input), (Strings{"a", "b", "EMPTY", "c"}));
    EXPECT_EQ(Rows(), (std::vector<int>{1, 1, 2, 2}));
    EXPECT_EQ(conv.Table.ColumnCount, 2);
    EXPECT_EQ(conv.Table.RowCount, 2);
    EXPECT_EQ(Results(), (Strings{"a\tb", "EMPTY\tc"}));
    // The empty cell is no unconverted cell; the two texts are.
    EXPECT_EQ(run.CellCount, 4);
    EXPECT_EQ(run.UnconvertedCount, 3);
}

TEST_F(SplitTest, TabsInsideAndAtTheEndOfALine) {
    ConvertTable({"a\t\tb\t\t", "x\t \ty"});
    // Two TABs give an empty cell between them; TABs at the end go with the line end.
    EXPECT_EQ(LinesOf(ui.Input), (Strings{"a", "EMPTY", "b", "x", "EMPTY", "y"}));
}

TEST_F(SplitTest, LeadingBlankLinesAreKeptAndLaterBlankLinesAreRows) {
    ConvertTable({"", "  ", "a\tb", "   ", "c\td"});
    EXPECT_EQ(conv.Table.LeadingBlankLines, "\r\n  ");
    EXPECT_EQ(LinesOf(ui.Clip), (Strings{"a\tb", "", "c\td"}));
    EXPECT_EQ(LinesOf(ui.Input), (Strings{"a", "b", "EMPTY", "c", "d"}));
    EXPECT_EQ(Rows(), (std::vector<int>{1, 1, 2, 3, 3}));
}

TEST_F(SplitTest, NothingButBlankLines) {
    ConvertTable({"", " ", "\t"});
    EXPECT_EQ(conv.Table.LeadingBlankLines, "\r\n \r\n\t");
    EXPECT_TRUE(conv.Table.Cells.empty());
    EXPECT_EQ(run.CellCount, 0);
    EXPECT_TRUE(ui.Output.Empty());
}

struct PaddingCase {
    Strings lines;
    std::string padding;
};

void PrintTo(const PaddingCase& c, std::ostream* os) {
    for (std::size_t i = 0; i < c.lines.size(); ++i) *os << (i > 0 ? " " : "") << Quoted(c.lines[i]);
}

class LineEndPaddingTest : public SplitTest, public ::testing::WithParamInterface<PaddingCase> {};

TEST_P(LineEndPaddingTest, LastDifferingRunOfTrailingBlanks) {
    ConvertTable(GetParam().lines);
    EXPECT_EQ(conv.Table.LineEndPadding, GetParam().padding);
    for (const std::string& line : LinesOf(ui.Clip)) EXPECT_EQ(line, TrimRight(line));
}

INSTANTIATE_TEST_SUITE_P(Runs, LineEndPaddingTest,
                         ::testing::Values(PaddingCase{{"1  ", "2  "}, "  "},
                                           PaddingCase{{"1 ", "2  ", "3 "}, " "},
                                           PaddingCase{{"1  ", "2"}, ""},
                                           PaddingCase{{"1\t2\t \t", "3\t4"}, ""},
                                           PaddingCase{{"1\t2\t \t", "3\t4 \t"}, " \t"}));

TEST_F(SplitTest, PlainRunIsOneCellPerLine) {
    ConvertPlain({"1", "a", "2"});
    EXPECT_EQ(Rows(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(conv.Table.ColumnCount, 1);
    EXPECT_EQ(conv.Table.RowCount, 3);
    EXPECT_EQ(LinesOf(ui.Clip), (Strings{"1", "a", "2"}));
    EXPECT_EQ(Results().size(), 3U);
    EXPECT_EQ(run.CellCount, 3);
    EXPECT_EQ(ui.InputChanges, 1);
}

TEST_F(SplitTest, NoInputOrNoOutputMemoConvertsNothing) {
    ConvertPlain({});
    EXPECT_EQ(run.CellCount, 0);
    run.CellCount = 7;
    ui.MemoReady = false;
    ConvertPlain({"1"});
    EXPECT_EQ(run.CellCount, 0);
    EXPECT_TRUE(ui.Output.Empty());
}

TEST_F(SplitTest, SplitProgressOpensOnlyAfterHalfASecond) {
    Strings lines(4, "a\tb");
    std::int64_t tick = 0;
    run.TickCount = [&] { return tick; };
    tick = 0;
    ConvertTable(lines);  // the clock stands still: 0 ms
    EXPECT_EQ(ui.ProgressOpens, 0);

    int calls = 0;
    run.TickCount = [&] { return 200 * calls++; };  // start 0, then 200, 400, 600, ...
    ConvertTable(lines);
    EXPECT_EQ(ui.ProgressOpens, 1);
    EXPECT_EQ(ui.ProgressText, "Please wait");
    EXPECT_EQ(ui.ProgressPattern, "Splitting %d of %d");
    EXPECT_EQ(ui.ProgressMax, 4);
    EXPECT_TRUE(ui.ProgressShown);
    // The recognition of 8 cells closes it again.
    EXPECT_FALSE(ui.ProgressOpen);
}

TEST_F(SplitTest, RecognitionProgressAbove300Cells) {
    ConvertTable(Strings(30, "1\t2\t3\t4\t5\t6\t7\t8\t9\t10"));
    EXPECT_EQ(ui.ProgressOpens, 0);

    ConvertTable(Strings(43, "1\t2\t3\t4\t5\t6\t7"));
    EXPECT_EQ(ui.ProgressOpens, 1);
    EXPECT_EQ(ui.ProgressPattern, "Converting %d of %d");
    EXPECT_EQ(ui.ProgressMax, 301);
    EXPECT_EQ(ui.ProgressPosition, 300);
    EXPECT_FALSE(ui.ProgressOpen);  // closed when the cells are written
}

// ---- the first cell ----

class ProviderCellTest : public SplitTest {
protected:
    void SetUp() override {
        SplitTest::SetUp();
        ui.Sources[1].lastFile = WriteRates(EncodeDate(2024, 1, 31), {{"USD", "4"}, {"GBP", "0.25"}}, "FED");
        SetPair("JPY", "EUR");
    }
};

TEST_F(ProviderCellTest, FirstCellNamesARateSourceInAnyCase) {
    ConvertTable({" fed \tUSD\tGBP", "x\t10\t10"});
    EXPECT_NE(conv.Table.Flags & tfProviderCell, 0);
    EXPECT_EQ(conv.Table.Cells[0].Class, ccPlugin);
    EXPECT_EQ(conv.Table.ProviderCode, "FED");
    EXPECT_EQ(conv.Table.ShownProviderCode, "FED");
    EXPECT_EQ(conv.Table.ProviderIndex, 1);
    EXPECT_EQ(ui.Selected, 1);
    // The source's last day rate file is loaded: 1 EUR = 4 USD = 0.25 GBP.
    EXPECT_EQ(Out(), (Strings{" fed ", "USD", "GBP", "x", "10 USD ( 2.50 EUR )", "10 GBP ( 40 EUR )"}));
    EXPECT_EQ(conv.Table.ColumnHeaders[0], "EMPTY");
    EXPECT_EQ(ObjectToInt(conv.Table.ColumnHeaders.Objects(0)), -1);
    EXPECT_EQ(ObjectToInt(conv.Table.RowHeaders.Objects(0)), -1);
    // The run's start state, for the window to return to.
    EXPECT_EQ(conv.Table.RateSourceIndex, 0);
    EXPECT_EQ(conv.Table.RateFileName, todayFile);
    EXPECT_EQ(conv.Table.SavedSourceCode, "JPY");
    EXPECT_EQ(conv.Table.SavedTargetCode, "EUR");
}

TEST_F(ProviderCellTest, WithoutARateSourceTheRunUsesTheSelectedOne) {
    ConvertTable({"x\tUSD", "y\t10"});
    EXPECT_EQ(conv.Table.Flags & tfProviderCell, 0);
    EXPECT_EQ(conv.Table.ProviderCode, "ECB");
    EXPECT_EQ(conv.Table.ShownProviderCode, "ECB");
    EXPECT_EQ(conv.Table.ProviderIndex, 0);
}

TEST_F(ProviderCellTest, MissingLastRateFileWarnsAndKeepsTheRates) {
    ui.Sources[1].lastFile = folder.File("2024.01.30-FED.vmr");
    ConvertTable({"FED\tUSD", "x\t10"});
    EXPECT_EQ(Warnings(), (Strings{"Missing 2024.01.30-FED.vmr"}));
    EXPECT_EQ(Out().back(), "10 USD ( 5 EUR )");  // today's ECB rates
}

TEST_F(ProviderCellTest, SourceTheManagerCannotProvideEndsTheRun) {
    ui.Stale["OLD"] = 7;
    try {
        ConvertTable({"old\tUSD", "x\t10"});
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Rate source OLD not available");
    }
    EXPECT_EQ(LinesOf(ui.Input), (Strings{"old", "USD", "x", "10"}));
    EXPECT_TRUE(ui.Output.Empty());
}

TEST_F(ProviderCellTest, UnexplainedThreeLetterFirstCellWarnsOnceInTheConversion) {
    WriteRates(EncodeDate(2024, 1, 5), {{"USD", "2"}});
    const Strings table = {"QQQ\tUSD", "2024-01-05\t10", "2024-01-05\t20"};
    ConvertTable(table);
    EXPECT_NE(conv.Table.Flags & tfDateColumn, 0);
    EXPECT_TRUE(conv.Table.FirstCellUnexplained);
    EXPECT_EQ(Warnings(), (Strings{"Unknown currency QQQ", "First cell QQQ unexplained"}));
    run.ConvertCells();  // converting again adds it no second time
    EXPECT_EQ(Warnings(), (Strings{"Unknown currency QQQ", "First cell QQQ unexplained"}));

    ConvertTable({"QQQW\tUSD", "2024-01-05\t10", "2024-01-05\t20"});
    EXPECT_TRUE(conv.Table.FirstCellUnexplained);
    EXPECT_EQ(Warnings(), Strings{});
}

TEST_F(ProviderCellTest, PlainRunNamingARateSourceConvertsNoAmount) {
    ConvertPlain({"ECB", "10", "20"});
    EXPECT_NE(conv.Table.Flags & tfProviderCell, 0);
    EXPECT_EQ(Out(), (Strings{"ECB", "10", "20"}));
    EXPECT_EQ(run.UnconvertedCount, 1);  // the code itself; the amounts have no header currency
    EXPECT_EQ(CellLog(1), "0001 = \"10\" Invalid currency = \"10\"");
}

// ---- detail log ----

TEST_F(SplitTest, InputDumpInTheDetailLog) {
    ConvertTable({"x\tUSD", "\t1,5"});
    const Strings body = LinesOf(conv.LogBody());
    ASSERT_GE(body.size(), 7U);
    EXPECT_EQ(body[0], "* String to convert:");
    EXPECT_EQ(body[1], "x\tUSD\r\n\t1,5\r\n");
    EXPECT_EQ(body[2], "* Converter array:");
    EXPECT_EQ(body[3], "0000 : \"x\" as Text");
    EXPECT_EQ(body[4], "0001 : \"USD\" as Currency");
    EXPECT_EQ(body[5], "0002 : \"EMPTY\" as Text");
    EXPECT_EQ(body[6], "0003 : \"1,5\" as Numeric (int)");
    EXPECT_EQ(body[8], "* Starting conversion of 4 elements");
    // The input dump's separators go to the header.
    const Strings header = LinesOf(conv.LogHeader());
    EXPECT_EQ(std::count(header.begin(), header.end(), std::string(50, '*')), 6);
}

TEST(CellClassNameTest, NamesOfTheClasses) {
    EXPECT_EQ(CellClassName(ccText), "Text");
    EXPECT_EQ(CellClassName(ccNumericInt), "Numeric (int)");
    EXPECT_EQ(CellClassName(ccNumericEnUs), "Numeric (en/us)");
    EXPECT_EQ(CellClassName(ccNumericAmbiguous), "Numeric (ambigous)");
    EXPECT_EQ(CellClassName(ccDate), "Date");
    EXPECT_EQ(CellClassName(ccCurrency), "Currency");
    EXPECT_EQ(CellClassName(ccPlugin), "Plugin");
    EXPECT_EQ(CellClassName(7), "");
}

}  // namespace
}  // namespace vemra::test
