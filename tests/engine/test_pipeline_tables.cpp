// TAB tables: header currencies in ATC-In and ATC-Out, cross tables with every cross-table
// value, header warnings, cells past the last full row, and converting the same table
// again after the window's commands.
#include <gtest/gtest.h>

#include "PipelineTestSupport.h"

namespace vemra::test {
namespace {

using Strings = std::vector<std::string>;

// Everything a conversion leaves for the window and the balloon.
struct RunOutcome {
    Strings output;
    Strings results;
    Strings warnings;
    std::vector<int> classes;
    std::vector<std::int32_t> widths;
    int cells = 0;
    int unconverted = 0;
    std::string source;
    std::string target;

    bool operator==(const RunOutcome&) const = default;
};

void PrintTo(const RunOutcome& o, std::ostream* os) {
    *os << "cells " << o.cells << ", unconverted " << o.unconverted << ", pair " << o.source << ">" << o.target;
    for (const std::string& line : o.output) *os << "\n  " << line;
}

class TableTest : public PipelineTest {
protected:
    RunOutcome Outcome() {
        return {Out(),           Results(),           Warnings(),         Classes(), conv.Table.ColumnWidths,
                run.CellCount, run.UnconvertedCount, conv.SourceCode(), conv.TargetCode()};
    }
    RunOutcome Fresh(const Strings& table) {
        ConvertTable(table);
        return Outcome();
    }
    void SwapPair() {
        const std::string source = conv.SourceCode();
        conv.SetFromCurrency(conv.TargetCode());
        conv.SetToCurrency(source);
    }
};

TEST_F(TableTest, SingleCellIsNoTable) {
    ConvertTable({"5"});
    EXPECT_EQ(conv.Table.Flags, 0);
    EXPECT_EQ(Out(), Strings{"5 USD ( 2.50 EUR )"});
    EXPECT_EQ(conv.ConversionModeName(), "");
}

TEST_F(TableTest, HeaderRowCurrenciesMustBeAtLeastAsManyAsOtherTexts) {
    ConvertTable({"DATE\tUSD\tEUR", "x\t1\t2"});
    EXPECT_EQ(conv.Table.Flags, tfHeaderCurrencies);
    EXPECT_EQ(Classes()[1], ccCurrency);
    EXPECT_EQ(ObjectToInt(conv.Table.ColumnHeaders.Objects(2)), 2);
    ConvertTable({"A\tB\tUSD", "x\t1\t2"});
    EXPECT_EQ(conv.Table.Flags, 0);
    EXPECT_EQ(ObjectToInt(conv.Table.ColumnHeaders.Objects(0)), 0);
}

TEST_F(TableTest, HeaderCurrenciesAreTheSourceInAtcIn) {
    SetPair("JPY", "EUR");
    ConvertTable({"\tUSD\tGBP", "a\t10\t20", "b\t1,5\tq"});
    EXPECT_EQ(conv.Table.AtcMode, atcIn);
    EXPECT_EQ(conv.ConversionModeName(), "ATC-In");
    EXPECT_EQ(Results(), (Strings{"EMPTY\tUSD\tGBP", "a\t10 USD ( 5 EUR )\t20 GBP ( 40 EUR )",
                                  "b\t1.50 USD ( 0.75 EUR )\tq"}));
    EXPECT_EQ(run.UnconvertedCount, 3);  // a, b and q
    EXPECT_EQ(CellLog(1), "0001 = \"USD\" is incoming Currency");
    // The pair the run began with, and the widths of the columns for the balloon.
    EXPECT_EQ(conv.SourceCode(), "JPY");
    EXPECT_EQ(conv.Table.ColumnWidths, (std::vector<std::int32_t>{6 * 5 + 7, 6 * 21 + 7, 6 * 17 + 7, 0}));
    // A copy: the cell is packed, and gtest would bind a misaligned reference to the field.
    EXPECT_EQ(int{conv.Table.Cells[4].Width}, 6 * 16 + 7);
}

TEST_F(TableTest, HeaderCurrenciesAreTheTargetInAtcOut) {
    SetPair("JPY", "EUR");
    ConvertTable({"\tUSD\tGBP", "a\t10\t20"});
    conv.Table.AtcMode = atcOut;
    run.ConvertCells();
    EXPECT_EQ(conv.ConversionModeName(), "ATC-Out");
    EXPECT_EQ(Results(), (Strings{"EMPTY\tUSD\tGBP", "a\t10 JPY ( 0.20 USD )\t20 JPY ( 0.10 GBP )"}));
    EXPECT_EQ(CellLog(2), "0002 = \"GBP\" is outgoing Currency");
    EXPECT_EQ(conv.TargetCode(), "EUR");
}

TEST_F(TableTest, FirstColumnCurrencies) {
    SetPair("JPY", "EUR");
    ConvertTable({"x\ty", "USD\t10", "GBP\t20", "QQQ\t30"});
    EXPECT_EQ(conv.Table.Flags, tfColumnCurrencies);
    EXPECT_EQ(Out(), (Strings{"x", "y", "USD", "10 USD ( 5 EUR )", "GBP", "20 GBP ( 40 EUR )", "QQQ", "30"}));
    EXPECT_EQ(Warnings(), Strings{"Unknown currency QQQ"});
    EXPECT_EQ(run.UnconvertedCount, 3);  // x, y and QQQ; QQQ's amount has no usable currency
}

TEST_F(TableTest, UnknownAndRatelessHeaderCodesLeaveTheirColumnsAsText) {
    ConvertTable({"\tUSD\tQQQ\tXYZ", "a\t1\t2\t3"});
    EXPECT_EQ(conv.Table.Flags, tfHeaderCurrencies);
    EXPECT_EQ(Warnings(), (Strings{"Unknown currency QQQ", "No rate for XYZ"}));
    EXPECT_EQ(Out(), (Strings{"EMPTY", "USD", "QQQ", "XYZ", "a", "1 USD ( 0.50 EUR )", "2", "3"}));
    EXPECT_EQ(Classes(), (std::vector<int>{ccText, ccCurrency, ccText, ccCurrency, ccText, ccNumericAmbiguous,
                                           ccText, ccText}));
    EXPECT_EQ(run.UnconvertedCount, 2);  // the texts QQQ and a
    EXPECT_EQ(CellLog(6), "0006 = \"2\" Invalid currency = \"2\"");
}

struct CrossCase {
    int value;
    Strings inner;  // cells (1,1), (1,2), (2,1), (2,2)
};

void PrintTo(const CrossCase& c, std::ostream* os) { *os << "value choice " << c.value; }

class CrossTableTest : public TableTest, public ::testing::WithParamInterface<CrossCase> {};

TEST_P(CrossTableTest, FromColumnCurrencyIntoRowCurrency) {
    ui.CrossTabSel = GetParam().value;
    ConvertTable({"\tUSD\tEUR", "GBP\t1\tx", "JPY\t2\t3"});
    EXPECT_TRUE(conv.IsCrossTable());
    EXPECT_EQ(conv.ConversionModeName(), "CrossTab");
    const Strings out = Out();
    EXPECT_EQ((Strings{out[4], out[5], out[7], out[8]}), GetParam().inner);
    EXPECT_EQ((Strings{out[1], out[2], out[3], out[6]}), (Strings{"USD", "EUR", "GBP", "JPY"}));
    EXPECT_EQ(run.UnconvertedCount, 1);  // x
    EXPECT_EQ(conv.SourceCode(), "USD");
    EXPECT_EQ(conv.TargetCode(), "EUR");
}

INSTANTIATE_TEST_SUITE_P(
    Values, CrossTableTest,
    ::testing::Values(CrossCase{0, {"1 USD ( 0.25 GBP )", "x", "2 USD ( 100 JPY )", "3 EUR ( 300 JPY )"}},
                      CrossCase{1, {"1 USD ( 0.25 GBP )", "x", "1 USD ( 50 JPY )", "1 EUR ( 100 JPY )"}},
                      CrossCase{2, {"10 USD ( 2.50 GBP )", "x", "10 USD ( 500 JPY )", "10 EUR ( 1,000 JPY )"}},
                      CrossCase{3, {"100 USD ( 25 GBP )", "x", "100 USD ( 5,000 JPY )", "100 EUR ( 10,000 JPY )"}},
                      CrossCase{4,
                                {"1,000 USD ( 250 GBP )", "x", "1,000 USD ( 50,000 JPY )", "1,000 EUR ( 100,000 JPY )"}}));

TEST_F(TableTest, CrossTableCellWithoutUsableHeaders) {
    ConvertTable({"\tUSD\tXYZ", "GBP\t1\t2", "JPY\t3\t4"});
    EXPECT_TRUE(conv.IsCrossTable());
    EXPECT_EQ(Out()[5], "2");  // XYZ has no rate
    EXPECT_EQ(run.UnconvertedCount, 0);
}

TEST_F(TableTest, CellsPastTheLastFullRowConvertWithTheSelectedPair) {
    SetPair("JPY", "EUR");
    ConvertTable({"\tUSD\tGBP", "a\t10\t20", "30\t40"});
    EXPECT_EQ(conv.Table.RowCount, 2);
    EXPECT_EQ(Results(), (Strings{"EMPTY\tUSD\tGBP", "a\t10 USD ( 5 EUR )\t20 GBP ( 40 EUR )",
                                  "30 JPY ( 0.30 EUR )\t40 JPY ( 0.40 EUR )"}));
    EXPECT_EQ(run.UnconvertedCount, 1);
}

TEST_F(TableTest, RaggedRowsTakeTheirPositionNotTheirLine) {
    SetPair("JPY", "EUR");
    ConvertTable({"\tUSD\tGBP", "a\t10", "b\t20\t30"});
    // Cells keep the line they came from in the result lines, but convert by position.
    EXPECT_EQ(Results(), (Strings{"EMPTY\tUSD\tGBP", "a\t10 USD ( 5 EUR )",
                                  "b\t20 JPY ( 0.20 EUR )\t30 JPY ( 0.30 EUR )"}));
}

// ---- converting the same table again ----

TEST_F(TableTest, ConvertingAgainAfterAPairSwapEqualsAFreshRun) {
    const Strings table = {"\tUSD\tQQQ", "a\t10\t20", "b\t1,5\tc"};
    SetPair("JPY", "GBP");
    ConvertTable(table);
    conv.Table.AtcMode = atcOut;
    run.ConvertCells();
    SwapPair();
    conv.Table.AtcMode = atcIn;
    run.ConvertCells();
    const RunOutcome again = Outcome();
    EXPECT_EQ(again.source, "GBP");
    EXPECT_EQ(again, Fresh(table));
}

TEST_F(TableTest, ConvertingAgainAfterAnAtcSwitchEqualsAFreshRun) {
    const Strings table = {"\tUSD\tGBP\tXYZ", "a\t10\t20\t30", "b\t1,5\tx\t2"};
    SetPair("JPY", "EUR");
    const RunOutcome first = Fresh(table);
    conv.Table.AtcMode = atcOut;
    run.ConvertCells();
    EXPECT_NE(Outcome(), first);
    conv.Table.AtcMode = atcIn;
    run.ConvertCells();
    EXPECT_EQ(Outcome(), first);
}

TEST_F(TableTest, ConvertingAgainWithAnotherOutputForm) {
    const Strings table = {"\tUSD\tGBP", "a\t10\t20"};
    SetPair("JPY", "EUR");
    ConvertTable(table);
    ui.Order = 2;
    ui.LabelStyle = 3;
    run.ConvertCells();
    EXPECT_EQ(Results()[1], "a\t5 \t40");
    // The run's own start choices stay for the window to return to.
    EXPECT_EQ(conv.Table.OutputOrder, 0);
    EXPECT_EQ(conv.Table.LabelStyle, 0);
    EXPECT_EQ(Outcome(), Fresh(table));
}

}  // namespace
}  // namespace vemra::test
