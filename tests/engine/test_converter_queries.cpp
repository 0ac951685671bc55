// Favourites, currencies written in cell text, warnings, date separators, table queries.
#include <gtest/gtest.h>

#include <array>

#include "EngineTestSupport.h"

namespace vemra::test {
namespace {

class QueriesTest : public EngineTest {
protected:
    QueriesTest() {
        LoadFixtures();
        conv.SetFromCurrency("GBP");
        conv.SetToCurrency("JPY");
    }
    std::vector<std::string> Texts(const TStringList& list) {
        std::vector<std::string> texts;
        for (const auto& item : list) texts.push_back(item.str);
        return texts;
    }
};

TEST_F(QueriesTest, FavouritesKeepTheirSymbolsAndPositionsSideBySide) {
    conv.SetFavorites("USD,EUR,QQQ");
    EXPECT_EQ(Texts(conv.Favorites()), (std::vector<std::string>{"USD", "EUR", "QQQ"}));
    EXPECT_EQ(Texts(conv.FavoriteSymbols()), (std::vector<std::string>{"$", "€", ""}));
    EXPECT_EQ(ObjectToInt(conv.FavoriteSymbols().Objects(1)), Pos("EUR"));
    EXPECT_EQ(ObjectToInt(conv.Favorites().Objects(2)), -1);

    conv.AddFavorite("XAU");
    EXPECT_EQ(conv.FavoriteSymbols()[3], "OZ");  // upper case
    EXPECT_EQ(ObjectToInt(conv.Favorites().Objects(3)), Pos("XAU"));
    conv.AddFavorite("XAU");  // already there
    EXPECT_EQ(conv.Favorites().Count(), 4);

    conv.RemoveFavorite("usd");
    EXPECT_EQ(Texts(conv.Favorites()), (std::vector<std::string>{"EUR", "QQQ", "XAU"}));
    EXPECT_EQ(Texts(conv.FavoriteSymbols()), (std::vector<std::string>{"€", "", "OZ"}));
    conv.RemoveFavorite("CHF");
    EXPECT_EQ(conv.Favorites().Count(), 3);

    conv.SetFavorites("");  // no favourites: no symbols either
    EXPECT_EQ(conv.FavoriteSymbols().Count(), 0);
}

struct CellCase {
    std::string text;
    std::uint8_t flags;
    std::uint8_t atcMode;
    std::string textAfter;
    std::string source;
    std::string target;
    bool pairChanged;
};

void PrintTo(const CellCase& c, std::ostream* os) {
    *os << Quoted(c.text);
    if (c.flags != 0) *os << " flags " << int(c.flags) << " mode " << int(c.atcMode);
}

class CellCurrencyTest : public QueriesTest, public ::testing::WithParamInterface<CellCase> {};

TEST_P(CellCurrencyTest, TakesTheCurrencyWhenANumberRemains) {
    const CellCase& c = GetParam();
    conv.SetFavorites("USD,EUR");
    Rec("GBP").Symbol = "EUR£";  // a symbol that holds another currency's display code
    conv.AddFavorite("GBP");
    conv.Table.Flags = c.flags;
    conv.Table.AtcMode = c.atcMode;
    std::string text = c.text;
    conv.ExtractCurrencyFromText(text);
    EXPECT_EQ(text, c.textAfter);
    EXPECT_EQ(conv.SourceCode(), c.source);
    EXPECT_EQ(conv.TargetCode(), c.target);
    EXPECT_EQ(conv.Table.PairChanged, c.pairChanged);
}

INSTANTIATE_TEST_SUITE_P(
    Cells, CellCurrencyTest,
    ::testing::Values(
        CellCase{"$ 12,5", 0, 0, "12,5", "USD", "JPY", true},
        CellCase{"12,5 EUR", 0, 0, "12,5", "EUR", "JPY", true},
        CellCase{"12,5 eur", 0, 0, "12,5", "EUR", "JPY", true},
        CellCase{"$10", 0, 0, "10", "USD", "JPY", true},
        CellCase{"12 EUR£", 0, 0, "12", "GBP", "JPY", false},  // the favourite's symbol wins
        CellCase{"12,5", 0, 0, "12,5", "GBP", "JPY", false},
        CellCase{"ABC", 0, 0, "ABC", "GBP", "JPY", false},
        CellCase{"USD 5 EUR", 0, 0, "USD 5 EUR", "GBP", "JPY", false},  // no number left
        CellCase{"7 usd", tfHeaderCurrencies, atcIn, "7", "USD", "JPY", true},
        CellCase{"7 usd", tfHeaderCurrencies, atcOut, "7", "GBP", "USD", true},
        CellCase{"7 usd", tfDateColumn, atcNone, "7", "GBP", "JPY", true}));

// A run's cells are searched through an index of the display codes: it takes the currency
// the search of the whole list takes, also where codes overlap or one is listed twice.
TEST_P(CellCurrencyTest, TheRunsCodeIndexTakesTheSameCurrency) {
    const CellCase& c = GetParam();
    conv.SetFavorites("USD,EUR");
    Rec("GBP").Symbol = "EUR£";
    conv.AddFavorite("GBP");
    conv.Table.Flags = c.flags;
    conv.Table.AtcMode = c.atcMode;
    std::string text = c.text;
    conv.BeginCellSearch();
    conv.ExtractCurrencyFromText(text);
    conv.EndCellSearch();
    EXPECT_EQ(text, c.textAfter);
    EXPECT_EQ(conv.SourceCode(), c.source);
    EXPECT_EQ(conv.TargetCode(), c.target);
}

TEST_F(QueriesTest, TheRunsCodeIndexAgreesWithTheListWhereCodesOverlap) {
    Rec("DEM").DisplayCode = "UR";   // inside "EUR"
    Rec("FRF").DisplayCode = "DEM";  // DEM's old code now names the franc
    Rec("ITL").DisplayCode = "";     // found nowhere
    for (const char* cell : {"12 EUR", "12 eur", "UR 7", "3 DEM", "DEM", "9 ITL", "1 UR EUR", "5,5 gbp", "GBP", "7 ABC",
                             "7 AB", "8 xau", "2 USX"}) {
        std::string listed = cell;
        conv.SetFromCurrency("GBP");
        conv.ExtractCurrencyFromText(listed);
        const std::string listedSource = conv.SourceCode();
        std::string indexed = cell;
        conv.SetFromCurrency("GBP");
        conv.BeginCellSearch();
        conv.ExtractCurrencyFromText(indexed);
        conv.EndCellSearch();
        EXPECT_EQ(indexed, listed) << cell;
        EXPECT_EQ(conv.SourceCode(), listedSource) << cell;
    }
}

TEST_F(QueriesTest, WarningsMergeByKeyUnlessTheyHaveNone) {
    conv.AddWarning("row 3", 3);
    conv.AddWarning("row 3 again", 3.7);
    conv.AddWarning("no row", -1);
    conv.AddWarning("no row", -1);
    conv.AddWarning("a date", 45306);
    EXPECT_EQ(Texts(conv.Warnings()), (std::vector<std::string>{"row 3", "no row", "no row", "a date"}));
    EXPECT_EQ(ObjectToInt(conv.Warnings().Objects(3)), 45306);
    EXPECT_EQ(conv.WarningCountText(), "4 warnings");
}

TEST_F(QueriesTest, DateSeparatorsFollowTheText) {
    const std::array<TFormatSettings, 3> saved = {MdyFormat, DmyFormat, YmdFormat};
    TCurrencyConverter::SetDateSeparators('/');
    EXPECT_EQ(MdyFormat.ShortDateFormat, "mm/dd/yy");
    EXPECT_EQ(DmyFormat.ShortDateFormat, "dd/mm/yy");
    EXPECT_EQ(YmdFormat.DateSeparator, '/');
    TCurrencyConverter::SetDateSeparators('.');
    EXPECT_EQ(MdyFormat.ShortDateFormat, "mm.dd.yy");
    EXPECT_EQ(YmdFormat.ShortDateFormat, "yy.mm.dd");
    MdyFormat = saved[0];
    DmyFormat = saved[1];
    YmdFormat = saved[2];
}

TEST_F(QueriesTest, TableQueriesReadTheFlags) {
    struct FlagCase {
        std::uint8_t flags;
        std::uint8_t atc;
        bool cross, dates, plain, columnRates;
        std::string mode;
    };
    const std::vector<FlagCase> cases = {
        {0, 0, false, false, true, false, ""},
        {tfProviderCell, atcIn, false, false, false, false, "ATC-In"},
        {tfDateColumn, atcOut, false, true, false, true, "ATC-Out"},
        {tfHeaderCurrencies, atcIn, false, false, false, true, "ATC-In"},
        {tfColumnCurrencies, atcNone, false, false, false, false, ""},
        {tfHeaderCurrencies | tfColumnCurrencies, atcIn, true, false, false, true, "CrossTab"},
    };
    for (const FlagCase& c : cases) {
        conv.Table.Flags = c.flags;
        conv.Table.AtcMode = c.atc;
        EXPECT_EQ(conv.IsCrossTable(), c.cross) << int(c.flags);
        EXPECT_EQ(conv.HasDateColumn(), c.dates) << int(c.flags);
        EXPECT_EQ(conv.IsPlainText(), c.plain) << int(c.flags);
        EXPECT_EQ(conv.HasColumnRates(), c.columnRates) << int(c.flags);
        EXPECT_EQ(conv.ConversionModeName(), c.mode) << int(c.flags);
    }
}

TEST_F(QueriesTest, MaxIndexTakesTheFirstLargest) {
    EXPECT_EQ(TCurrencyConverter::MaxIndex(std::vector<int>{4, 9, 9, 1}), 1);
    EXPECT_EQ(TCurrencyConverter::MaxIndex(std::vector<int>{1, 2, 3}), 2);
    EXPECT_EQ(TCurrencyConverter::MaxIndex(std::vector<int>{7}), 0);
    EXPECT_EQ(TCurrencyConverter::MaxIndex(std::vector<int>{}), 0);
    EXPECT_EQ(TCurrencyConverter::ArrayElement(std::vector<int>{4, 9}, 1), 9);
    EXPECT_EQ(TCurrencyConverter::ArrayElement(std::vector<int>{4, 9}, 2), 0);
}

TEST_F(QueriesTest, ResetClearsTheTableStateOfTheLastRun) {
    conv.Table.Flags = tfHeaderCurrencies;
    conv.Table.AtcMode = atcOut;
    conv.Table.OneColumn = true;
    conv.Table.ProviderCode = "ECB";
    conv.Table.LeadingBlankLines = "\r\n";
    conv.Table.LineEndPadding = "  ";
    conv.Table.Cells.resize(4);
    conv.Table.DateInfo.resize(2);
    conv.Table.ColumnWidths = {1, 2};
    conv.Table.ColumnHeaders.Add("USD");
    conv.Table.RowHeaders.Add("2024-01-05");
    conv.Table.SavedSourceCode = "USD";
    conv.AddWarning("w", -1);
    conv.OutputLines().Add("out");
    conv.ResetConverter();
    EXPECT_TRUE(conv.IsPlainText());
    EXPECT_EQ(conv.Table.AtcMode, atcNone);
    EXPECT_FALSE(conv.Table.OneColumn);
    EXPECT_EQ(conv.Table.ProviderCode, "");
    EXPECT_EQ(conv.Table.LeadingBlankLines, "");
    EXPECT_EQ(conv.Table.LineEndPadding, "");
    EXPECT_TRUE(conv.Table.Cells.empty());
    EXPECT_TRUE(conv.Table.DateInfo.empty());
    EXPECT_TRUE(conv.Table.ColumnWidths.empty());
    EXPECT_EQ(conv.Table.ColumnHeaders.Count(), 0);
    EXPECT_EQ(conv.Table.RowHeaders.Count(), 0);
    EXPECT_EQ(conv.Warnings().Count(), 0);
    EXPECT_EQ(conv.OutputLines().Count(), 0);
    EXPECT_EQ(conv.Table.SavedSourceCode, "USD");  // the run's start values stay
}

}  // namespace
}  // namespace vemra::test
