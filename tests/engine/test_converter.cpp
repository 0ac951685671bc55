// The converter's pair, rate paths, conversions, rate ages and amount formatting.
#include <gtest/gtest.h>

#include <ctime>

#include "EngineTestSupport.h"
#include "TimeUtils.h"

namespace vemra::test {
namespace {

const double Usd = static_cast<double>(1.0946f);
const double Jpy = static_cast<double>(160.25f);
const double Dem = 1.95583;
const double Frf = 6.55957;

class ConverterTest : public EngineTest {
protected:
    void SetPair(const std::string& from, const std::string& to) {
        conv.SetFromCurrency(from);
        conv.SetToCurrency(to);
    }
};

struct PathCase {
    std::string from;
    std::string to;
    int kind;
    bool converts;
    double result;  // of 100
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << c.from << " to " << c.to; }

class RatePathTest : public ConverterTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(RatePathTest, KindAndFormula) {
    LoadFixtures();
    const PathCase& c = GetParam();
    SetPair(c.from, c.to);
    EXPECT_EQ(conv.PathKind(), c.kind);
    double result = -1;
    EXPECT_EQ(conv.ConvertAmount(100, result), c.converts);
    EXPECT_DOUBLE_EQ(result, c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RatePathTest,
    ::testing::Values(
        PathCase{"QQQ", "USD", 0, true, 0},  // no path, but a target: 0
        PathCase{"USD", "QQQ", 0, false, 0},  // no target: fails
        PathCase{"USD", "usd", 1, true, 100},
        PathCase{"DEM", "EUR", 2, true, 100 / Dem},
        PathCase{"EUR", "DEM", 3, true, 100 * Dem},
        PathCase{"DEM", "FRF", 4, true, 100 / Dem * Frf},
        PathCase{"DEM", "USD", 5, true, 100 / Dem * Usd},
        PathCase{"USD", "DEM", 6, true, 100 / Usd * Dem},
        PathCase{"USD", "EUR", 7, true, 100 / Usd},
        PathCase{"EUR", "USD", 8, true, 100 * Usd},
        PathCase{"USD", "JPY", 9, true, 100 / Usd * Jpy},
        // Tied to a currency that is not the base: through the reference's own rate.
        PathCase{"ITL", "USD", 5, true, 100 / 990.0 / Dem * Usd},
        PathCase{"USD", "ITL", 6, true, 100 / Usd * Dem * 990},
        // A rate of 0 divides: a fault; multiplies: 0.
        PathCase{"XYZ", "USD", 9, false, 0},
        PathCase{"USD", "XYZ", 9, true, 0},
        // AAA's own rate stayed 0 (its reference came later in code order); the path still converts.
        PathCase{"AAA", "USD", 5, true, 100 / 10.0 / Dem * Usd}));

TEST_F(ConverterTest, TiedThroughAnotherReferenceAgreesWithTheResolvedRates) {
    LoadFixtures();
    SetPair("ITL", "JPY");
    ASSERT_EQ(conv.PathKind(), rpSourceRef);
    double tied = 0;
    ASSERT_TRUE(conv.ConvertAmount(1000, tied));
    EXPECT_NEAR(tied, 1000 / Rec("ITL").Rate * Jpy, 1e-9);
}

TEST_F(ConverterTest, TiedCurrenciesConvertAlikeWhateverTheFilesBase) {
    LoadFixtures();
    double fromEuroFile = 0, fromDollarFile = 0, toEuroFile = 0, toDollarFile = 0;
    SetPair("DEM", "JPY");
    ASSERT_TRUE(conv.ConvertAmount(100, fromEuroFile));
    SetPair("JPY", "DEM");
    ASSERT_TRUE(conv.ConvertAmount(100, toEuroFile));
    // The same day's rates against the dollar.
    const std::string dollar = folder.File("2024.01.15-USB.vmr");
    WriteText(dollar, "[VMR]\r\nTYPE=DATA\r\nDATE=2024.01.15\r\nBASE=USD\r\n[DATA]\r\nEUR=1/1.0946\r\n"
                      "JPY=146.4005\r\n");  // 160.25 / 1.0946
    ASSERT_TRUE(LoadRateFile(List(), dollar));
    SetPair("DEM", "JPY");
    ASSERT_EQ(conv.PathKind(), rpSourceRef);
    ASSERT_TRUE(conv.ConvertAmount(100, fromDollarFile));
    SetPair("JPY", "DEM");
    ASSERT_EQ(conv.PathKind(), rpTargetRef);
    ASSERT_TRUE(conv.ConvertAmount(100, toDollarFile));
    EXPECT_NEAR(fromDollarFile / fromEuroFile, 1.0, 1e-6);
    EXPECT_NEAR(toDollarFile / toEuroFile, 1.0, 1e-6);
    EXPECT_NEAR(fromDollarFile, 100 / Dem * Jpy, 0.01);  // not 100 / Dem * 146.4
}

TEST_F(ConverterTest, AnExplicitKindUsesTheCurrentPairsRecords) {
    LoadFixtures();
    SetPair("USD", "JPY");
    double result = 0;
    ASSERT_TRUE(conv.ConvertAmount(10, result, rpToBase));
    EXPECT_DOUBLE_EQ(result, 10 / Usd);
    EXPECT_FALSE(conv.ConvertAmount(10, result, 10));
    EXPECT_EQ(result, 0.0);
    // GetRate takes the kind of its own pair but the records of the current one.
    EXPECT_DOUBLE_EQ(conv.GetRate(Pos("USD"), Pos("EUR")), 1 / Usd);
    EXPECT_DOUBLE_EQ(conv.GetRate(Pos("EUR"), Pos("JPY")), Jpy);
    EXPECT_DOUBLE_EQ(conv.GetRate(Pos("GBP"), Pos("EUR")), 1 / Usd);
    SetPair("XYZ", "JPY");
    EXPECT_EQ(conv.GetRate(Pos("XYZ"), Pos("JPY")), 1.0);  // the conversion fails
}

TEST_F(ConverterTest, AnInvalidTargetFailsEveryKind) {
    LoadFixtures();
    SetPair("USD", "EUR");
    conv.SetToIndex(500);
    EXPECT_EQ(conv.PathKind(), rpNone);
    double result = -1;
    EXPECT_FALSE(conv.ConvertAmount(5, result, rpSame));
    EXPECT_EQ(result, 0.0);
}

TEST_F(ConverterTest, SidesCarryPatternDecimalsAndPower) {
    EXPECT_EQ(conv.SourceIndex(), 0);  // a new converter starts at 0, not at none
    EXPECT_EQ(conv.TargetIndex(), 0);
    LoadFixtures();
    SetPair("usd", "JPY");
    EXPECT_EQ(conv.SourceCode(), "usd");
    EXPECT_EQ(conv.SourcePattern(), "$%.*n");
    EXPECT_EQ(conv.TargetPattern(), "%.*n¥");
    EXPECT_EQ(conv.SourceDecimals(), 2);
    EXPECT_EQ(conv.SourcePower(), 100);
    EXPECT_EQ(conv.TargetDecimals(), 0);
    EXPECT_EQ(conv.TargetPower(), 1);
    EXPECT_EQ(conv.PairLabel(), "usd > JPY");
    SetPair("DEM", "ITL");
    EXPECT_EQ(conv.SourceRefIndex(), Pos("EUR"));
    EXPECT_EQ(conv.TargetRefIndex(), Pos("DEM"));

    // An unknown code leaves the side without a currency and keeps its code.
    conv.SetFromCurrency("QQQ");
    EXPECT_EQ(conv.SourceIndex(), NoCurrency);
    EXPECT_EQ(conv.SourceCode(), "DEM");
    EXPECT_EQ(conv.SourcePattern(), "%.*n");
    EXPECT_EQ(conv.SourceDecimals(), 2);
    EXPECT_EQ(conv.SourcePower(), 100);
    EXPECT_EQ(conv.SourceRefIndex(), NoCurrency);
    EXPECT_EQ(conv.PathKind(), rpNone);
    EXPECT_EQ(conv.IndicatorColor(), AgeColorUnknown);
}

TEST_F(ConverterTest, SmallHelpers) {
    EXPECT_EQ(TCurrencyConverter::IntPower(2, 10), 1024.0L);
    EXPECT_EQ(TCurrencyConverter::IntPower(2, -2), 0.25L);
    EXPECT_EQ(TCurrencyConverter::IntPower(7.5, 0), 1.0L);
    EXPECT_EQ(TCurrencyConverter::IntPower(10, 3), 1000.0L);
    TStringList list;
    list.AddObject("a", IntToObject(42));
    EXPECT_EQ(TCurrencyConverter::ListItemObject(list, 0), 42);
    EXPECT_EQ(TCurrencyConverter::ListItemObject(list, 1), 0);
    EXPECT_EQ(TCurrencyConverter::ListItemObject(list, -1), 0);
    LoadFixtures();
    conv.UserCurrencies().FillCurrencyNameList(0);
    EXPECT_EQ(conv.UserCurrency(0), List().GetCurrency(Pos("EUR")));
    EXPECT_EQ(conv.UserCurrency(99), nullptr);
}

TEST_F(ConverterTest, LoadsTheSourcesFileOfADay) {
    LoadFixtures();
    EXPECT_TRUE(conv.LoadRateFileForDate(EncodeDate(2024, 1, 15)));
    EXPECT_EQ(conv.Table.HistoryFilesLoaded, 1);
    EXPECT_FALSE(conv.LoadRateFileForDate(EncodeDate(2024, 1, 14)));
    EXPECT_EQ(conv.Table.HistoryFilesLoaded, 1);
}

// ---- rate ages ----

class ScopedZone {
public:
    explicit ScopedZone(const char* rule) : tz_("TZ", rule) {
        ::tzset();
        ReloadTimeZoneInfo();
    }
    ~ScopedZone() {
        tz_.Restore();
        ::tzset();
        ReloadTimeZoneInfo();
        ResetClock();
    }

private:
    ScopedEnv tz_;
};

struct AgeCase {
    int hours;
    int minutes;
    int age;
    std::uint32_t color;
};

void PrintTo(const AgeCase& c, std::ostream* os) { *os << c.hours << " h " << c.minutes << " min after"; }

class RateAgeTest : public ConverterTest, public ::testing::WithParamInterface<AgeCase> {};

// The source publishes at 16:00 in GMT+1 (15:00 GMT); the user lives at GMT-5 in winter.
TEST_P(RateAgeTest, ByHoursSincePublication) {
    ScopedZone zone("EST5EDT,M3.2.0,M11.1.0");
    host.PublicationMinute = 960;
    host.ZoneHours = 1;
    LoadFixtures();
    const TDateTime publishedLocal = EncodeDateTime(2024, 1, 15, 10, 0, 0, 0);  // 15:00 GMT
    const TDateTime now = publishedLocal + GetParam().hours * OneHour + GetParam().minutes * OneMinute;
    SetClock([now] { return now; });
    EXPECT_EQ(conv.RateAge(List(), Pos("USD")), GetParam().age);
    EXPECT_EQ(conv.RateAge(List(), Pos("DEM")), 0);  // tied: fixed
    SetPair("EUR", "USD");
    EXPECT_EQ(conv.PairRateAge(Pos("EUR"), Pos("USD")), GetParam().age);
    EXPECT_EQ(conv.IndicatorColor(), GetParam().color);
}

INSTANTIATE_TEST_SUITE_P(Hours, RateAgeTest,
                         ::testing::Values(AgeCase{0, 0, 1, AgeColorCurrent}, AgeCase{23, 59, 1, AgeColorCurrent},
                                           AgeCase{24, 0, 1, AgeColorCurrent}, AgeCase{24, 1, 2, AgeColorOld},
                                           AgeCase{36, 0, 2, AgeColorOld}, AgeCase{47, 59, 2, AgeColorOld},
                                           AgeCase{48, 0, 3, AgeColorUnknown}, AgeCase{-5, 0, 1, AgeColorCurrent}));

TEST_F(ConverterTest, PairAgeFollowsThePathKind) {
    ScopedZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    LoadFixtures();
    SetClock([] { return EncodeDateTime(2024, 1, 16, 12, 0, 0, 0); });  // 35 hours after 00:00 GMT+0
    const int usd = Pos("USD"), jpy = Pos("JPY"), eur = Pos("EUR"), dem = Pos("DEM");
    EXPECT_EQ(conv.RateAge(List(), usd), 2);
    SetPair("DEM", "EUR");
    EXPECT_EQ(conv.PairRateAge(dem, eur), 0);
    EXPECT_EQ(conv.IndicatorColor(), AgeColorFixed);
    SetPair("USD", "JPY");
    EXPECT_EQ(conv.PairRateAge(usd, jpy), 2);
    SetClock([] { return EncodeDateTime(2024, 1, 15, 12, 0, 0, 0); });
    EXPECT_EQ(conv.PairRateAge(usd, jpy), 1);
    List().RateDate = 0;  // a file without a date
    EXPECT_EQ(conv.PairRateAge(usd, jpy), 3);
    EXPECT_EQ(conv.RateAge(List(), dem), 3);
    SetPair("QQQ", "USD");
    EXPECT_EQ(conv.PairRateAge(NoCurrency, usd), 3);
}

// ---- amounts ----

struct AmountCase {
    bool commaLocale;
    double value;
    int maxDecimals;
    std::string format;
    std::string text;
};

void PrintTo(const AmountCase& c, std::ostream* os) {
    *os << Quoted(c.text) << " in a " << (c.commaLocale ? "comma" : "point") << " locale";
}

class FormatAmountTest : public ConverterTest, public ::testing::WithParamInterface<AmountCase> {};

TEST_P(FormatAmountTest, ShowsTheDecimalsOfTheGeneralForm) {
    const AmountCase& c = GetParam();
    FormatSettings = c.commaLocale ? CommaLocale() : PointLocale();
    EXPECT_EQ(TCurrencyConverter::FormatAmount(c.value, c.maxDecimals, c.format), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, FormatAmountTest,
    ::testing::Values(AmountCase{false, 1234.5, 2, "", "1,234.5"}, AmountCase{false, 2, 2, "", "2"},
                      AmountCase{false, 1.23456789, 4, "", "1.2346"},
                      AmountCase{false, 1.23456789, 0, "", "1.234568"},
                      AmountCase{false, 1234567.891, 6, "", "1,234,568"},
                      AmountCase{false, 1.0856, 6, "1 EUR = %s $", "1 EUR = 1.0856 $"},
                      AmountCase{true, 1234.5, 2, "", "1.234,5"}, AmountCase{true, 0.126, 2, "", "0,13"},
                      AmountCase{true, 1.0856, 6, "1 EUR = %s $", "1 EUR = 1,0856 $"},
                      // A symbol from a hand-edited currency file is text, never a format.
                      AmountCase{false, 1.0856, 6, "1 EUR = %s %", "1 EUR = 1.0856 %"},
                      AmountCase{false, 1.0856, 6, "1 EUR = %s %d%s", "1 EUR = 1.0856 %d%s"}));

// Capping the decimals rounds the value once, never the 7-digit form a second time.
TEST_F(ConverterTest, FormatAmountRoundsOnceAtTheTighterLimit) {
    const struct {
        double value;
        int maxDecimals;
        const char* text;
    } cases[] = {
        {1.0049996, 2, "1.00"},      {9028.2747, 2, "9,028.27"},  {-9028.2747, 2, "-9,028.27"},
        {0.0012499996, 4, "0.0012"},   {2.675, 2, "2.68"},          {0.125, 2, "0.13"},
        {999.99949, 3, "999.999"},   {12345678.9, 2, "1.234568E7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(TCurrencyConverter::FormatAmount(c.value, c.maxDecimals, ""), c.text);
    }
}

}  // namespace
}  // namespace vemra::test
