// Tables with a date column: the separator and day order the recognition picks, one day
// rate file per row date, the search back for the first row, both bad-date methods, and
// converting again after the date order changed.
#include <gtest/gtest.h>

#include "PipelineTestSupport.h"
#include "TableRecognition.h"

namespace vemra::test {
namespace {

using Strings = std::vector<std::string>;

TDateTime Day(int y, int m, int d) { return EncodeDate(y, m, d); }

class DateColumnTest : public PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        SetPair("JPY", "EUR");
    }
    std::string RateName(TDateTime date) { return ExtractFileName(DatedRateFileName("ECB", folder.Path(), date)); }
    std::vector<bool> Found() const {
        std::vector<bool> out;
        for (const DateRowInfo& info : conv.Table.DateInfo) out.push_back(info.Found);
        return out;
    }
};

TEST_F(DateColumnTest, DashedYearFirstDates) {
    ui.DateSeparator = '/';
    ConvertTable({"DATE\tx", "2024-01-05\t1", "2024-01-06\t2"});
    EXPECT_EQ(conv.Table.DateSeparator, '-');
    EXPECT_EQ(conv.Table.DateOrder, 4);
    EXPECT_EQ(conv.Table.DateFormat, &YmdFormat);
    EXPECT_EQ(conv.Table.Flags, tfDateColumn);
    EXPECT_FALSE(run.SingleRateDay);
    EXPECT_EQ(Classes()[2], ccDate);
    // A copy: the cell is packed, and gtest would bind a misaligned reference to the field.
    EXPECT_EQ(int{conv.Table.Cells[2].Value}, static_cast<int>(Day(2024, 1, 5)));
    const DateRowInfo& row = conv.Table.DateInfo[1];
    EXPECT_EQ(row.Dashes, 2);
    EXPECT_TRUE(row.Ymd);
    EXPECT_FALSE(row.Dmy || row.Mdy);
}

// Three dashes or one are no date's dashes: only the row with two slashes counts.
TEST_F(DateColumnTest, ASeparatorCountsForARowOnlyWhenItOccursExactlyTwice) {
    ui.DateSeparator = '.';
    ConvertTable({"x\ty", "1-2-3-4\t1", "5-6-7-8\t2", "9-1\t3", "05/06/2024\t4"});
    EXPECT_EQ(conv.Table.DateSeparator, '/');
    EXPECT_EQ(conv.Table.DateInfo[1].Dashes, 3);
    EXPECT_EQ(conv.Table.DateInfo[3].Dashes, 1);
    EXPECT_EQ(conv.Table.DateInfo[4].Slashes, 2);
}

struct SeparatorCase {
    char locale;
    char chosen;
};

void PrintTo(const SeparatorCase& c, std::ostream* os) { *os << "locale '" << c.locale << "'"; }

class SeparatorTieTest : public DateColumnTest, public ::testing::WithParamInterface<SeparatorCase> {};

TEST_P(SeparatorTieTest, LocaleSeparatorWinsATie) {
    ui.DateSeparator = GetParam().locale;
    ConvertTable({"x\ty", "13-01-2024\t1", "14/01/2024\t2"});
    EXPECT_EQ(conv.Table.DateSeparator, GetParam().chosen);
    EXPECT_EQ(DmyFormat.DateSeparator, GetParam().chosen);
    EXPECT_EQ(MdyFormat.ShortDateFormat, std::string("mm") + GetParam().chosen + "dd" + GetParam().chosen + "yy");
}

INSTANTIATE_TEST_SUITE_P(Locales, SeparatorTieTest,
                         ::testing::Values(SeparatorCase{'/', '/'}, SeparatorCase{'.', '-'}, SeparatorCase{'-', '-'}));

struct OrderCase {
    int choice;            // cbDateDesambi
    std::string pattern;   // the locale's
    std::uint8_t order;
};

void PrintTo(const OrderCase& c, std::ostream* os) { *os << "choice " << c.choice << " locale " << c.pattern; }

class AmbiguousDayOrderTest : public DateColumnTest, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(AmbiguousDayOrderTest, OrderOfDatesThatReadBothWays) {
    ui.DateDesambi = GetParam().choice;
    ui.DatePattern = GetParam().pattern;
    ConvertTable({"x\ty", "05/06/2024\t1", "07/08/2024\t2"});
    EXPECT_EQ(conv.Table.DateOrder, GetParam().order);
    EXPECT_NE(conv.Table.Flags & tfDateColumn, 0);
    const int expectedDay = GetParam().order == 2 ? static_cast<int>(Day(2024, 6, 5))
                            : GetParam().order == 3 ? static_cast<int>(Day(2024, 5, 6))
                                                    : 0;
    // A copy: the cell is packed, and gtest would bind a misaligned reference to the field.
    EXPECT_EQ(int{conv.Table.Cells[2].Value}, expectedDay);
    EXPECT_EQ(conv.Table.Cells[2].Class, expectedDay != 0 ? ccDate : ccText);
}

INSTANTIATE_TEST_SUITE_P(Choices, AmbiguousDayOrderTest,
                         ::testing::Values(OrderCase{0, "mdy", 3}, OrderCase{0, "dmy", 2}, OrderCase{0, "ymd", 2},
                                           OrderCase{1, "mdy", 3}, OrderCase{1, "xyz", 1}, OrderCase{2, "mdy", 2},
                                           OrderCase{3, "dmy", 3}, OrderCase{4, "dmy", 4}));

TEST_F(DateColumnTest, DatesAgainstCurrenciesInTheFirstColumn) {
    ConvertTable({"X\t1", "USD\t2", "2024-01-05\t3"});
    EXPECT_EQ(conv.Table.Flags & (tfDateColumn | tfColumnCurrencies), tfDateColumn);
    // A currency code of a marked date column is no currency cell any more.
    EXPECT_EQ(Classes()[2], ccText);
    ConvertTable({"USD\t1", "GBP\t2", "2024-01-05\t3"});
    EXPECT_EQ(conv.Table.Flags & (tfDateColumn | tfColumnCurrencies), tfColumnCurrencies);
}

// ---- one day rate file per row ----

struct DayOrderCase {
    std::string first;
    std::string second;
    std::uint8_t order;
};

void PrintTo(const DayOrderCase& c, std::ostream* os) { *os << Quoted(c.first) << " and " << Quoted(c.second); }

class RowRatesTest : public DateColumnTest, public ::testing::WithParamInterface<DayOrderCase> {};

TEST_P(RowRatesTest, EachRowConvertsAtTheRatesOfItsDay) {
    WriteRates(Day(2024, 1, 13), {{"USD", "4"}, {"GBP", "0.25"}});
    WriteRates(Day(2024, 1, 25), {{"USD", "5"}, {"GBP", "0.125"}});
    ConvertTable({"DATE\tUSD\tGBP", GetParam().first + "\t10\t10", GetParam().second + "\t10\t10"});
    EXPECT_EQ(conv.Table.DateOrder, GetParam().order);
    EXPECT_EQ(Out(), (Strings{"DATE", "USD", "GBP", GetParam().first, "10 USD ( 2.50 EUR )", "10 GBP ( 40 EUR )",
                              GetParam().second, "10 USD ( 2 EUR )", "10 GBP ( 80 EUR )"}));
    EXPECT_EQ(conv.Table.HistoryFilesLoaded, 2);
    EXPECT_EQ(Found(), (std::vector<bool>{false, true, true}));
    EXPECT_EQ(Warnings(), Strings{});
    EXPECT_EQ(run.UnconvertedCount, 1);  // DATE
    // The last row's rates stay loaded; the pair is the one the run began with.
    EXPECT_EQ(ExtractFileName(List().RateFileName), RateName(Day(2024, 1, 25)));
    EXPECT_EQ(conv.SourceCode(), "JPY");
}

INSTANTIATE_TEST_SUITE_P(Orders, RowRatesTest,
                         ::testing::Values(DayOrderCase{"13-01-2024", "25-01-2024", 2},
                                           DayOrderCase{"01-13-2024", "01-25-2024", 3},
                                           DayOrderCase{"2024-01-13", "2024-01-25", 4},
                                           DayOrderCase{"13/01/2024", "25/01/2024", 2},
                                           DayOrderCase{"2024.01.13", "2024.01.25", 4}));

TEST_F(DateColumnTest, DateCellLogsItsFile) {
    WriteRates(Day(2024, 1, 13), {{"USD", "4"}});
    ConvertTable({"DATE\tUSD", "2024-01-13\t10"});
    EXPECT_EQ(CellLog(2), "0002 = \"2024-01-13\" ATC Date column = 2024-01-13 / File to load: " +
                              DatedRateFileName("ECB", folder.Path(), Day(2024, 1, 13)));
}

TEST_F(DateColumnTest, RowsOfTheSameDateLoadTheirFileOnce) {
    WriteRates(Day(2024, 1, 13), {{"USD", "4"}});
    ConvertTable({"DATE\tUSD", "2024-01-13\t10", "2024-01-13\t20"});
    EXPECT_EQ(conv.Table.HistoryFilesLoaded, 1);
    EXPECT_EQ(Found(), (std::vector<bool>{false, true, true}));
    EXPECT_EQ(Out()[5], "20 USD ( 5 EUR )");
}

TEST_F(DateColumnTest, FirstRowSearchesBackLaterRowsTryTheirOwnDay) {
    WriteRates(Day(2024, 1, 7), {{"USD", "4"}});
    WriteRates(Day(2024, 1, 5), {{"USD", "8"}});
    ConvertTable({"DATE\tUSD", "2024-01-10\t10", "2024-01-06\t10"});
    EXPECT_EQ(Out()[3], "10 USD ( 2.50 EUR )");  // the file of three days earlier
    EXPECT_EQ(Out()[5], "10 USD ( 2.50 EUR )");  // its own day is missing: the rates in memory
    EXPECT_EQ(Warnings(), (Strings{"No rates on " + RateName(Day(2024, 1, 10)), "No rates on " + RateName(Day(2024, 1, 6))}));
    EXPECT_EQ(Found(), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(conv.Table.LastRowDate, Day(2024, 1, 7));
    EXPECT_EQ(conv.Table.HistoryFilesLoaded, 1);
    EXPECT_EQ(CellLog(2), "0002 = \"2024-01-10\" ATC Date column = 2024-01-10 / File to load: " +
                              DatedRateFileName("ECB", folder.Path(), Day(2024, 1, 10)) +
                              " (not found) \r\n0002  -> Current values from: " +
                              DatedRateFileName("ECB", folder.Path(), Day(2024, 1, 7)));
}

TEST_F(DateColumnTest, RowFoundBySearchingBackConvertsAllItsCells) {
    WriteRates(Day(2024, 1, 7), {{"USD", "4"}, {"GBP", "0.25"}});
    ui.BadDateMethod = 1;
    ConvertTable({"DATE\tUSD\tGBP", "2024-01-10\t10\t10", "2024-01-10\t20\t20", "2024-01-11\t30\t30"});
    EXPECT_EQ(Out(), (Strings{"DATE", "USD", "GBP", "2024-01-10", "10 USD ( 2.50 EUR )", "10 GBP ( 40 EUR )",
                              "2024-01-10", "20 USD ( 5 EUR )", "20 GBP ( 80 EUR )", "2024-01-11", "30", "30"}));
    EXPECT_EQ(Found(), (std::vector<bool>{false, true, true, false}));
    EXPECT_EQ(conv.Table.HistoryFilesLoaded, 1);
}

TEST_F(DateColumnTest, SearchBackReachesThirtyDays) {
    WriteRates(Day(2023, 12, 1), {{"USD", "4"}});
    ConvertTable({"DATE\tUSD", "2023-12-31\t10"});
    EXPECT_EQ(Out()[3], "10 USD ( 2.50 EUR )");
    ASSERT_TRUE(LoadRateFile(List(), todayFile));
    ConvertTable({"DATE\tUSD", "2024-01-01\t10"});
    EXPECT_EQ(Out()[3], "10 USD ( 5 EUR )");  // nothing within 30 days: the rates in memory
    EXPECT_EQ(Warnings(), Strings{"No rates on " + RateName(Day(2024, 1, 1))});
    EXPECT_EQ(Found(), (std::vector<bool>{false, false}));
}

TEST_F(DateColumnTest, BadDateMethods) {
    WriteRates(Day(2024, 1, 13), {{"USD", "4"}});
    const Strings table = {"DATE\tUSD", "2024-01-13\t1,5", "2024-01-14\t1,5"};
    ui.BadDateMethod = 0;
    ConvertTable(table);
    EXPECT_EQ(Out()[5], "1.50 USD ( 0.38 EUR )");
    ui.BadDateMethod = 1;
    ConvertTable(table);
    EXPECT_EQ(Out()[3], "1.50 USD ( 0.38 EUR )");
    // The missing day's cells are written as text, in their normal form, and not counted.
    EXPECT_EQ((Strings{Out()[4], Out()[5]}), (Strings{"2024-01-14", "1,5"}));
    EXPECT_EQ(Classes()[4], ccText);
    EXPECT_EQ(Classes()[5], ccText);
    EXPECT_EQ(run.UnconvertedCount, 1);  // DATE
}

TEST_F(DateColumnTest, DateColumnWithoutHeaderCurrenciesConvertsNoAmount) {
    WriteRates(Day(2024, 1, 13), {{"USD", "4"}});
    ConvertTable({"DATE\tx", "2024-01-13\t10"});
    EXPECT_EQ(Out()[3], "10");
    EXPECT_EQ(run.UnconvertedCount, 2);  // DATE and x
}

TEST_F(DateColumnTest, CellsPastTheLastFullRowReadNoDate) {
    WriteRates(Day(2024, 1, 13), {{"USD", "4"}, {"JPY", "25"}});
    ConvertTable({"DATE\tUSD", "2024-01-13\t10", "2024-01-14"});
    EXPECT_EQ(Out(), (Strings{"DATE", "USD", "2024-01-13", "10 USD ( 2.50 EUR )", "2024-01-14"}));
    EXPECT_EQ(conv.Table.HistoryFilesLoaded, 1);
    ConvertTable({"DATE\tUSD", "2024-01-13\t10", "7"});
    EXPECT_EQ(Out().back(), "7 JPY ( 0.28 EUR )");  // the selected pair at the last row's rates: 1 EUR = 25 JPY
}

// ---- converting again ----

class DateReconvertTest : public DateColumnTest {
protected:
    void WriteAll() {
        WriteRates(Day(2024, 6, 5), {{"USD", "4"}});
        WriteRates(Day(2024, 8, 7), {{"USD", "5"}});
        WriteRates(Day(2024, 5, 6), {{"USD", "8"}});
        WriteRates(Day(2024, 7, 8), {{"USD", "10"}});
    }
    Strings Amounts() { return {Out()[3], Out()[5]}; }
};

TEST_F(DateReconvertTest, ChangingTheDayOrderMarksAndConvertsAgain) {
    WriteAll();
    ui.DatePattern = "dmy";
    ConvertTable({"DATE\tUSD", "05-06-2024\t10", "07-08-2024\t10"});
    EXPECT_EQ(Amounts(), (Strings{"10 USD ( 2.50 EUR )", "10 USD ( 2 EUR )"}));
    conv.AddWarning("keyed", 3);
    conv.AddWarning("unkeyed", -1);
    conv.Table.DateOrder = 3;
    conv.Table.DateFormat = DateFormatRecord(3);
    run.MarkDateColumn();
    EXPECT_EQ(Warnings(), Strings{"unkeyed"});
    run.ConvertCells();
    EXPECT_EQ(Amounts(), (Strings{"10 USD ( 1.25 EUR )", "10 USD ( 1 EUR )"}));
    const Strings again = Out();
    ui.DateDesambi = 3;
    ConvertTable({"DATE\tUSD", "05-06-2024\t10", "07-08-2024\t10"});
    EXPECT_EQ(Out(), again);
}

TEST_F(DateReconvertTest, PairSwapOfADatedTableEqualsAFreshRun) {
    // The first row finds no file within 30 days and converts at the rates the run began
    // with; the second row's day is missing and stays text.
    WriteRates(Day(2024, 3, 10), {{"USD", "4"}, {"GBP", "0.25"}, {"JPY", "40"}});
    const Strings table = {"DATE\tUSD\tGBP", "2024-01-02\t1,5\t2", "2024-03-10\t3\t4", "2024-03-11\t5\t6"};
    ui.BadDateMethod = 0;
    SetPair("GBP", "JPY");
    ConvertTable(table);
    const Strings firstRun = Out();
    SetPair("JPY", "GBP");
    run.ConvertCells();
    const Strings swapped = Out();
    const int unconverted = run.UnconvertedCount;
    const Strings warnings = Warnings();
    EXPECT_EQ(firstRun[4], "1.50 USD ( 75 JPY )");
    EXPECT_EQ(firstRun[7], "3 USD ( 30 JPY )");
    // A fresh run starts from the source's current file, as the window leaves it.
    ASSERT_TRUE(LoadRateFile(List(), todayFile));
    SetPair("JPY", "GBP");
    ConvertTable(table);
    EXPECT_EQ(swapped, Out());
    EXPECT_EQ(unconverted, run.UnconvertedCount);
    EXPECT_EQ(warnings, Warnings());
    EXPECT_EQ(swapped[4], "1.50 USD ( 0.38 GBP )");  // today's rates: 1.5 / 2 * 0.5

    ui.BadDateMethod = 1;
    ASSERT_TRUE(LoadRateFile(List(), todayFile));
    ConvertTable(table);
    const Strings fresh = Out();
    SetPair("GBP", "JPY");
    run.ConvertCells();
    SetPair("JPY", "GBP");
    run.ConvertCells();
    EXPECT_EQ(Out(), fresh);
    EXPECT_EQ((Strings{fresh[9], fresh[10], fresh[11]}), (Strings{"2024-03-11", "5", "6"}));
}

// ---- helpers ----

TEST(DatePatternOfTest, LettersOnlyOncePerRun) {
    EXPECT_EQ(DatePatternOf("dd/MM/yyyy"), "dmy");
    EXPECT_EQ(DatePatternOf("M/d/yy"), "mdy");
    EXPECT_EQ(DatePatternOf("yyyy-MM-dd"), "ymd");
    EXPECT_EQ(DatePatternOf("d. MMMM yyyy"), "dmy");
    EXPECT_EQ(DatePatternOf("ddd dd.MM."), "dm");
}

TEST(ReadsAsDateTest, WholeTextInTheRecordsOrder) {
    TFormatSettings dmy = DmyFormat;
    TCurrencyConverter::SetDateSeparator(dmy, '-');
    TDateTime date = 0;
    EXPECT_TRUE(ReadsAsDate("13-01-2024", dmy, date));
    EXPECT_EQ(date, EncodeDate(2024, 1, 13));
    EXPECT_TRUE(ReadsAsDate("13-01-24", dmy, date));
    EXPECT_EQ(YearOf(date) % 100, 24);
    EXPECT_TRUE(ReadsAsDate("13-01", dmy, date));
    EXPECT_EQ(YearOf(date), YearOf(Now()));
    for (const char* bad : {"13-01-", "-13-01", "13--01", "13-01-2024-1", "32-01-2024", "13/01/2024", "13-01-2024 ", "x"})
        EXPECT_FALSE(ReadsAsDate(bad, dmy, date)) << bad;
}

}  // namespace
}  // namespace vemra::test
