// The output text of converted cells in every output order and label style, the
// counters, the result lines and the cells' detail-log lines.
#include <gtest/gtest.h>

#include "CellOutput.h"
#include "PipelineTestSupport.h"

namespace vemra::test {
namespace {

using Strings = std::vector<std::string>;

struct FormatCase {
    int order;
    int labelStyle;
    std::string from;
    std::string to;
    std::string input;
    std::string output;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << Quoted(c.output); }

class OutputFormTest : public PipelineTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(OutputFormTest, OrderAndLabels) {
    const FormatCase& c = GetParam();
    ui.Order = c.order;
    ui.LabelStyle = c.labelStyle;
    SetPair(c.from, c.to);
    ConvertPlain({c.input});
    EXPECT_EQ(Out(), Strings{c.output});
    EXPECT_EQ(run.UnconvertedCount, 0);
    EXPECT_EQ(conv.Table.OutputOrder, c.order);
    EXPECT_EQ(conv.Table.LabelStyle, c.labelStyle);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, OutputFormTest,
    ::testing::Values(FormatCase{0, 0, "USD", "EUR", "12,5", "12.50 USD ( 6.25 EUR )"},
                      FormatCase{1, 0, "USD", "EUR", "12,5", "6.25 EUR ( 12.50 USD )"},
                      FormatCase{2, 0, "USD", "EUR", "12,5", "6.25 EUR"},
                      FormatCase{0, 1, "USD", "EUR", "12,5", "12.50 US Dollar ( 6.25 Euro )"},
                      FormatCase{0, 2, "USD", "EUR", "12,5", "$12.50 ( \xE2\x82\xAC" "6.25 )"},
                      FormatCase{0, 3, "USD", "EUR", "12,5", "12.50  ( 6.25  )"},
                      FormatCase{1, 3, "USD", "EUR", "12,5", "6.25  ( 12.50  )"},
                      FormatCase{2, 3, "USD", "EUR", "12,5", "6.25 "},
                      FormatCase{0, 0, "USD", "EUR", "100", "100 USD ( 50 EUR )"},
                      FormatCase{2, 2, "USD", "JPY", "12,5", "625\xC2\xA5"},
                      FormatCase{0, 0, "EUR", "USD", "1234567", "1,234,567 EUR ( 2,469,134 USD )"}));

TEST_F(PipelineTest, OwnLeftAndRightTexts) {
    ui.Left = " = ";
    ui.Right = "!";
    ConvertPlain({"4"});
    EXPECT_EQ(Out(), Strings{"4 USD = 2 EUR!"});
}

TEST_F(PipelineTest, UnknownTargetLeavesTheCellUnconverted) {
    SetPair("USD", "QQQ");
    ConvertPlain({"4"});
    EXPECT_EQ(Out(), Strings{"4 USD ( 0  )"});
    EXPECT_EQ(run.UnconvertedCount, 1);
}

TEST_F(PipelineTest, CountersOfAPlainRun) {
    ConvertPlain({"1", "2", "3", "4", "5", "6", "a", "b", "c", "d"});
    EXPECT_EQ(run.CellCount, 10);
    EXPECT_EQ(run.UnconvertedCount, 4);
    EXPECT_EQ(Results().size(), 10U);
    EXPECT_TRUE(conv.Table.ColumnWidths.size() == 2 && conv.Table.ColumnWidths[0] == 0);  // plain runs measure nothing
}

TEST_F(PipelineTest, EmptyLinesOfAPlainRun) {
    ConvertPlain({"", "5", ""});
    EXPECT_EQ(Out(), (Strings{"", "5 USD ( 2.50 EUR )", ""}));
    EXPECT_EQ(run.UnconvertedCount, 2);
    // An empty row before the last is written as the placeholder; the last as it is.
    EXPECT_EQ(Results(), (Strings{"EMPTY", "5 USD ( 2.50 EUR )", ""}));
    EXPECT_EQ(CellLog(0), "0000 = \"\" as Text");
}

TEST_F(PipelineTest, CurrencyInTheTextBecomesTheSourceOfAPlainRun) {
    ConvertPlain({"12,5 GBP", "3", "x"});
    EXPECT_EQ(Out(), (Strings{"12.50 GBP ( 25 EUR )", "3 GBP ( 6 EUR )", "x"}));
    EXPECT_TRUE(conv.Table.PairChanged);
    EXPECT_EQ(conv.SourceCode(), "USD");  // restored after the run
    EXPECT_EQ(conv.TargetCode(), "EUR");
}

TEST_F(PipelineTest, DetailLogLineOfAConvertedCell) {
    ConvertPlain({"12,5", "x"});
    EXPECT_EQ(CellLog(0),
              "0000 = \"12,5\" incoming Ratio USD = ( 0.5 or [1/2] ) * outgoing Ratio EUR = ( 1 ) = (0.5) => 12.5 USD "
              "= 6.25 EUR. RESULT => \"12.50 USD ( 6.25 EUR )\"");
    EXPECT_EQ(CellLog(1), "0001 = \"x\" as Text");
    SetPair("GBP", "JPY");
    ConvertPlain({"3"});
    EXPECT_EQ(CellLog(0),
              "0000 = \"3\" incoming Ratio GBP = ( 2 or [1/0.5] ) * outgoing Ratio JPY = ( 100 or [1/0.01] ) = "
              "(200) => 3 GBP = 600 JPY. RESULT => \"3 GBP ( 600 JPY )\"");
}

// The lines of converted cells are written when the log is read: in the number format of
// their run, each with its own pair, also when runs without a new report add to the log.
TEST_F(PipelineTest, DetailLogLinesReadLaterKeepTheirRunsNumberFormatAndPair) {
    const std::string usdLine =
        "0000 = \"12,5\" incoming Ratio USD = ( 0.5 or [1/2] ) * outgoing Ratio EUR = ( 1 ) = (0.5) => 12.5 USD "
        "= 6.25 EUR. RESULT => \"12.50 USD ( 6.25 EUR )\"";
    ConvertPlain({"12,5"});
    const TFormatSettings saved = FormatSettings;
    FormatSettings.DecimalSeparator = ',';
    FormatSettings.ThousandSeparator = '.';
    const std::string read = CellLog(0);
    FormatSettings = saved;
    EXPECT_EQ(read, usdLine);

    SetPair("GBP", "JPY");
    run.ConvertCells();  // converts the same cells again into the same report
    const TStringList& body = conv.LogBody();
    EXPECT_GE(body.IndexOf(usdLine), 0);
    EXPECT_EQ(CellLog(0),
              "0000 = \"12,5\" incoming Ratio GBP = ( 2 or [1/0.5] ) * outgoing Ratio JPY = ( 100 or [1/0.01] ) = "
              "(200) => 12.5 GBP = 2,500 JPY. RESULT => \"12.50 GBP ( 2,500 JPY )\"");
}

TEST(JoinCellsTest, JoinedByTabAndTrimmed) {
    TStringList cells;
    EXPECT_EQ(JoinCells(cells), "");
    cells.Add(" a");
    EXPECT_EQ(JoinCells(cells), "a");
    cells.Add("");
    cells.Add("b ");
    EXPECT_EQ(JoinCells(cells), "a\t\tb");
    TStringList blanks;
    blanks.Add("");
    blanks.Add("");
    EXPECT_EQ(JoinCells(blanks), "");
}

}  // namespace
}  // namespace vemra::test
