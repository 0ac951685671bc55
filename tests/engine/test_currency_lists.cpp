// Currency records, the keyed list and its filtered views.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"

namespace vemra::test {
namespace {

class CurrencyListTest : public EngineTest {};

TEST_F(CurrencyListTest, KeyedListIsSortedIgnoresDuplicatesAndSearchesBothWays) {
    TCurrencyChangeList& list = List();
    auto make = [](const char* code) {
        auto rec = std::make_unique<TCurrencyRec>();
        rec->Code = code;
        return rec;
    };
    list.AddCurrency("USD", make("USD"));
    list.AddCurrency("EURO", make("EUR"));  // the key is cut to three characters
    const int again = list.AddCurrency("usd", make("usd"));
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list[0], "EUR");
    EXPECT_EQ(again, 1);
    EXPECT_EQ(list.GetCurrency(1)->Code, "USD");  // the first record stays
    EXPECT_TRUE(list.Modified);

    EXPECT_EQ(list.IndexOfCode("USD"), 1);
    EXPECT_EQ(list.IndexOfCode("usd"), -1);
    EXPECT_EQ(list.IndexOfCode("USDX"), 1);
    int found = -1;
    EXPECT_TRUE(list.Find("usd", found));
    EXPECT_EQ(found, 1);
    EXPECT_EQ(list.GetCurrency(2), nullptr);
    EXPECT_EQ(list.GetCurrency(-1), nullptr);
    EXPECT_EQ(list.ItemRate(7), 0.0);
}

TEST_F(CurrencyListTest, ReferenceRatesResolveInOnePassInCodeOrder) {
    LoadFixtures();  // the rate file load resolves the links
    EXPECT_DOUBLE_EQ(Rec("DEM").Rate, 1.95583);
    EXPECT_EQ(Rec("DEM").RefIndex, Pos("EUR"));
    EXPECT_DOUBLE_EQ(Rec("FRF").Rate, 6.55957);
    // ITL is tied to DEM, which comes earlier and is resolved by then.
    EXPECT_DOUBLE_EQ(Rec("ITL").Rate, 1.95583 * 990);
    // AAA is tied to DEM too, but comes first: DEM had no rate yet.
    EXPECT_EQ(Rec("AAA").Rate, 0.0);
    EXPECT_EQ(Rec("AAA").RefIndex, Pos("DEM"));
    // XEU is tied to ZZZ, which is not a currency: it keeps its own rate from the file.
    EXPECT_EQ(Rec("XEU").RefIndex, NoCurrency);
    EXPECT_DOUBLE_EQ(Rec("XEU").Rate, 1.5);
    EXPECT_EQ(Rec("USD").RefIndex, NoCurrency);
}

TEST_F(CurrencyListTest, ResolvingAnEmptyListSaysSo) {
    List().ResolveReferenceRates();
    EXPECT_EQ(host.Messages, std::vector<std::string>{"No currencies on file"});
}

struct ViewCase {
    std::uint8_t mode;
    int style;
    std::string favorites;
    std::vector<std::string> texts;
};

void PrintTo(const ViewCase& c, std::ostream* os) {
    *os << "mode " << int(c.mode) << " style " << c.style;
    if (!c.favorites.empty()) *os << " favourites " << c.favorites;
}

class CurrencyViewTest : public EngineTest, public ::testing::WithParamInterface<ViewCase> {};

TEST_P(CurrencyViewTest, FillsByFilterModeAndTextStyle) {
    LoadFixtures();
    conv.SetFavorites(GetParam().favorites);
    TCurrencyUserList& view = conv.UserCurrencies();
    view.FilterMode = GetParam().mode;
    view.FillCurrencyNameList(GetParam().style);
    std::vector<std::string> texts;
    for (int i = 0; i < view.Count(); ++i) {
        texts.push_back(view[i]);
        // Every entry points at its currency in the owner.
        EXPECT_EQ(view.GetCurrency(i), List().GetCurrency(ObjectToInt(view.Objects(i))));
    }
    EXPECT_EQ(texts, GetParam().texts);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, CurrencyViewTest,
    ::testing::Values(
        // Own rates, in the owner's order; rate-less XYZ and XAU are left out.
        ViewCase{0, 3, "", {"EUR", "GBP", "JPY", "USD"}},
        ViewCase{0, 0, "", {"EUR - Euro", "GBP - Pound Sterling", "JPY - Japanese Yen", "USD - US Dollar"}},
        ViewCase{0, 1, "", {"Euro - EUR", "Pound Sterling - GBP", "Japanese Yen - JPY", "US Dollar - USD"}},
        ViewCase{0, 2, "", {"Euro", "Pound Sterling", "Japanese Yen", "US Dollar"}},
        // Tied currencies with rates (AAA has none, BAD a factor of 0), then their references
        // (EUR, DEM; ZZZ is no currency), the whole view in text order.
        ViewCase{1, 3, "", {"DEM", "DEM", "EUR", "FRF", "ITL", "XEU"}},
        ViewCase{2, 3, "USD,DEM,XYZ", {"DEM", "USD"}},
        ViewCase{2, 3, "", {}},
        ViewCase{7, 3, "USD", {}}));

TEST_F(CurrencyListTest, ClearingAViewLeavesTheOwnersRecords) {
    LoadFixtures();
    TCurrencyUserList& view = conv.UserCurrencies();
    view.FillCurrencyNameList(0);
    ASSERT_GT(view.Count(), 0);
    TCurrencyRec* first = view.GetCurrency(0);
    view.Clear();
    EXPECT_EQ(view.Count(), 0);
    EXPECT_EQ(view.BaseIndex, -1);
    EXPECT_EQ(List().GetCurrency(Pos("EUR")), first);
    EXPECT_EQ(first->Name, "Euro");
}

}  // namespace
}  // namespace vemra::test
