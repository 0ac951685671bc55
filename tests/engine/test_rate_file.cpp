// Day rate files: values, factors, inverse files, the header, errors and the tray tip.
#include <gtest/gtest.h>

#include <memory>

#include "EngineTestSupport.h"
#include "StreamedIniFile.h"

namespace vemra::test {
namespace {

constexpr const char* TestFileName = "2024.01.15-TST.vmr";

std::string RateText(const std::string& header, const std::string& data, const std::string& type = "DATA") {
    return "[VMR]\r\nTYPE=" + type + "\r\nDATE=2024.01.15\r\n" + header + "\r\n[DATA]\r\n" + data + "\r\n";
}

class RateFileTest : public EngineTest {
protected:
    RateFileTest() { EXPECT_TRUE(LoadCurrencyNames(List(), configFile)); }
    std::string Write(const std::string& text) {
        const std::string file = folder.File(TestFileName);
        WriteText(file, text);
        return file;
    }
    void ExpectFixtureRates() {
        EXPECT_EQ(Rec("USD").Rate, static_cast<double>(1.0946f));
        EXPECT_EQ(Rec("EUR").Rate, 1.0);
        EXPECT_DOUBLE_EQ(Rec("DEM").Rate, 1.95583);
    }
};

struct ValueCase {
    const char* what;
    std::string header;
    std::string data;
    std::string code;
    double rate;
};

void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.what; }

class RateValueTest : public RateFileTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(RateValueTest, GivesTheRate) {
    const ValueCase& c = GetParam();
    ASSERT_TRUE(LoadRateFile(List(), Write(RateText(c.header, c.data)))) << c.what;
    EXPECT_EQ(Rec(c.code).Rate, c.rate) << c.what;
    EXPECT_TRUE(host.Messages.empty()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Values, RateValueTest,
    ::testing::Values(
        ValueCase{"values are single precision", "BASE=EUR", "USD=1.0946", "USD", static_cast<double>(1.0946f)},
        ValueCase{"a reciprocal is taken in single precision", "BASE=USD\r\nFACTOR=1\r\nLOGIC=1XNY", "EUR=1/7.4",
                  "EUR", static_cast<double>(1.0f / 7.4f)},
        ValueCase{"the code CBR forces inverse values", "CODE=CBR\r\nBASE=EUR\r\nLOGIC=1XNY", "USD=90", "USD",
                  1.0 / 90.0},
        ValueCase{"the code BCA forces inverse values", "CODE=BCA\r\nBASE=EUR", "USD=4", "USD", 0.25},
        ValueCase{"the factor multiplies", "BASE=EUR\r\nFACTOR=100", "JPY=1.5", "JPY", 150.0},
        ValueCase{"inverse with a factor", "BASE=EUR\r\nFACTOR=100\r\nLOGIC=1YNX", "JPY=1.5", "JPY", 1.0 / 150.0},
        ValueCase{"another logic text counts as 1XNY", "BASE=EUR\r\nLOGIC=1ynx", "JPY=1.5", "JPY", 1.5},
        ValueCase{"the base has rate 1", "BASE=eur", "USD=1.5", "EUR", 1.0},
        ValueCase{"a line for the base replaces its 1", "BASE=EUR", "EUR=2", "EUR", 2.0},
        ValueCase{"keys differing in case count once, the first line wins", "BASE=EUR", "usd=1.5\r\nUSD=1.25", "USD",
                  1.5},
        ValueCase{"an inverse file's factor of 0 gives no rate", "BASE=EUR\r\nFACTOR=0\r\nLOGIC=1YNX", "USD=2", "USD",
                  0.0}));

TEST_F(RateFileTest, FixtureLoadsWithItsHeaderFacts) {
    host.PublicationMinute = 960;
    ASSERT_TRUE(LoadRateFile(List(), rateFile));
    ExpectFixtureRates();
    EXPECT_EQ(List().RateFileName, rateFile);
    EXPECT_EQ(List().Provider, "European Central Bank");
    EXPECT_EQ(List().ProviderCode, "ECB");
    EXPECT_EQ(List().BaseCode, "EUR");
    EXPECT_EQ(List().BaseIndex, Pos("EUR"));
    EXPECT_EQ(List().DateText, "2024.01.15");
    EXPECT_EQ(List().Factor, 1.0f);
    EXPECT_DOUBLE_EQ(List().RateDate, EncodeDateTime(2024, 1, 15, 16, 0, 0, 0));
    EXPECT_EQ(Rec("XYZ").Rate, 0.0);
    EXPECT_TRUE(host.Messages.empty());
}

TEST_F(RateFileTest, OutsideATableTheFileBecomesTheSourcesLastFile) {
    ASSERT_TRUE(LoadRateFile(List(), rateFile));
    using Line = std::pair<std::string, std::string>;
    EXPECT_EQ(host.LogLines, (std::vector<Line>{{"VMR", "LOAD_DATA: " + rateFile}, {"VMR", "LOAD_DATA: " + rateFile}}));
    EXPECT_EQ(host.SetLastRateFileCalls, std::vector<std::string>{rateFile});
    EXPECT_EQ(host.SaveDefinitionCalls, 1);

    host.LogLines.clear();
    conv.Table.AsTable = true;
    ASSERT_TRUE(LoadRateFile(List(), rateFile));
    EXPECT_EQ(host.LogLines, (std::vector<Line>{{"VMR", "LOAD_DATA: " + rateFile}}));
    EXPECT_EQ(host.SetLastRateFileCalls.size(), 1u);
    EXPECT_EQ(host.SaveDefinitionCalls, 1);
}

TEST_F(RateFileTest, BadAndZeroValuesAreCountedAndSkipped) {
    const std::string file = Write(RateText("BASE=EUR", "XAU=abc\r\nXYZ=0\r\nGBP=\r\nUSD=1.5\r\nJPY=1/0\r\nQQQ=zz"));
    EXPECT_TRUE(LoadRateFile(List(), file));
    EXPECT_EQ(host.Messages, std::vector<std::string>{"3 errors found on 2024.01.15-TST.vmr, please check this file"});
    EXPECT_EQ(Rec("XAU").Rate, 0.0);
    EXPECT_EQ(Rec("XYZ").Rate, 0.0);
    EXPECT_EQ(Rec("GBP").Rate, 0.0);
    EXPECT_EQ(Rec("JPY").Rate, 0.0);
    EXPECT_EQ(Rec("USD").Rate, 1.5);
}

TEST_F(RateFileTest, UnknownOrEmptyBaseClearsEveryRate) {
    for (const std::string base : {"CHF", ""}) {
        ASSERT_TRUE(LoadRateFile(List(), rateFile));
        host.Messages.clear();
        EXPECT_FALSE(LoadRateFile(List(), Write(RateText("BASE=" + base, "USD=1.5"))));
        EXPECT_EQ(host.Messages,
                  std::vector<std::string>{"Base currency not found on 2024.01.15-TST.vmr, please check this file"});
        EXPECT_EQ(List().BaseIndex, NoCurrency);
        for (int i = 0; i < List().Count(); ++i) EXPECT_EQ(List().ItemRate(i), 0.0) << List()[i];
    }
}

TEST_F(RateFileTest, InvalidTypeOrNoDataKeepsThePreviousRates) {
    ASSERT_TRUE(LoadRateFile(List(), rateFile));
    host.Messages.clear();
    host.LogLines.clear();
    const std::string file = Write(RateText("BASE=EUR", "USD=9", "RATES"));
    EXPECT_FALSE(LoadRateFile(List(), file));
    ExpectFixtureRates();
    EXPECT_EQ(host.LogLines.back().second, "LOAD_DATA: " + file + ". Invalid type.");
    EXPECT_EQ(List().RateFileName, rateFile);

    EXPECT_FALSE(LoadRateFile(List(), Write(RateText("BASE=USD", ""))));
    ExpectFixtureRates();
    EXPECT_EQ(List().RateFileName, file);  // recorded before the empty section was seen
    EXPECT_EQ(List().BaseIndex, Pos("EUR"));
    EXPECT_TRUE(host.Messages.empty());
}

TEST_F(RateFileTest, BadDateOrFactorRaiseAndKeepTheRates) {
    ASSERT_TRUE(LoadRateFile(List(), rateFile));
    const std::string badDate = Write("[VMR]\r\nTYPE=DATA\r\nPROVIDER=Odd\r\nDATE=someday\r\n[DATA]\r\nUSD=9\r\n");
    EXPECT_THROW(LoadRateFile(List(), badDate), EConvertError);
    ExpectFixtureRates();
    EXPECT_EQ(List().Provider, "Odd");
    try {
        LoadRateFile(List(), Write(RateText("BASE=EUR\r\nFACTOR=abc", "USD=9")));
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Invalid factor");
    }
    ExpectFixtureRates();
}

TEST_F(RateFileTest, AnEmptyListLoadsNothing) {
    TCurrencyConverter empty;
    empty.SetHost(&host);
    empty.Currencies().ConfigFileName = "cfg.vmg";
    EXPECT_FALSE(LoadRateFile(empty.Currencies(), rateFile));
    ASSERT_EQ(host.LogLines.size(), 1u);
    EXPECT_EQ(host.LogLines[0].second, "LOAD_DATA_CANCELED: " + rateFile + ". cfg.vmg has no items.");
    EXPECT_TRUE(host.Messages.empty());
}

TEST_F(RateFileTest, TrayTipNamesProviderDayAndDate) {
    ASSERT_TRUE(LoadRateFile(List(), rateFile));
    conv.SetSwitchedOn(true);
    ASSERT_TRUE(LoadRateFile(List(), rateFile));
    EXPECT_EQ(host.Tips, (std::vector<std::string>{"Vemra OFF - European Central Bank Mon 2024.01.15",
                                                   "Vemra ON - European Central Bank Mon 2024.01.15"}));
    EXPECT_EQ(List().Provider, "European Central Bank");

    ASSERT_TRUE(LoadRateFile(List(), Write("[VMR]\r\nTYPE=DATA\r\nBASE=EUR\r\n[DATA]\r\nUSD=2\r\n")));
    EXPECT_EQ(host.Tips.back(), "Date error");
    EXPECT_EQ(List().RateDate, 0.0);
}

TEST_F(RateFileTest, LongProviderIsShortenedUntilTheTipFits) {
    const std::string provider(60, 'P');
    ASSERT_TRUE(LoadRateFile(List(), Write(RateText("PROVIDER=" + provider + "\r\nBASE=EUR", "USD=2"))));
    EXPECT_EQ(host.Tips.back(), "Vemra OFF - " + provider.substr(0, 37) + "Mon 2024.01.15");
    EXPECT_EQ(host.Tips.back().size(), 63u);
    EXPECT_EQ(List().Provider, provider.substr(0, 36));

    // Characters, not bytes, are dropped, so the tip stays valid UTF-8.
    std::string accents;
    for (int i = 0; i < 30; ++i) accents += "é";
    ASSERT_TRUE(LoadRateFile(List(), Write(RateText("PROVIDER=" + accents + "\r\nBASE=EUR", "USD=2"))));
    EXPECT_EQ(host.Tips.back(), "Vemra OFF - " + accents.substr(0, 36) + "Mon 2024.01.15");
    EXPECT_EQ(List().Provider, accents.substr(0, 34));

    // A message too long by itself is cut rather than looping for ever.
    host.MessageTexts[21] = std::string(70, 'x') + "%s%s %s";
    ASSERT_TRUE(LoadRateFile(List(), rateFile));
    EXPECT_EQ(host.Tips.back(), std::string(63, 'x'));
    EXPECT_EQ(List().Provider, "");
}

TEST_F(RateFileTest, EncipheredFileLoadsTheSameRatesAsThePlainOne) {
    struct KeyGuard {
        ~KeyGuard() { StreamKeyProc = nullptr; }
    } guard;
    StreamKeyProc = [](int index, std::string& key) { key = index == RateFileKeyIndex ? "day-rate-key" : ""; };
    const std::string folderEnc = folder.File("enc");
    ASSERT_TRUE(ForceDirectories(folderEnc));
    const std::string enciphered = folderEnc + "/2024.01.15-ECB.vmr";
    {
        TStreamedIniFile ini(RateFileKeyIndex, enciphered);
        ini.SetText(ReadText(rateFile));
        ini.UpdateFile();
    }
    const std::string stored = ReadText(enciphered);
    EXPECT_EQ(stored.find("DATA"), std::string::npos);

    ASSERT_TRUE(LoadRateFile(List(), rateFile));
    std::vector<double> plainRates;
    for (int i = 0; i < List().Count(); ++i) plainRates.push_back(List().ItemRate(i));
    const std::string plainProvider = List().Provider;
    for (int i = 0; i < List().Count(); ++i) List().GetCurrency(i)->Rate = -1;

    ASSERT_TRUE(LoadRateFile(List(), enciphered));
    for (int i = 0; i < List().Count(); ++i) EXPECT_EQ(List().ItemRate(i), plainRates[static_cast<std::size_t>(i)]);
    EXPECT_EQ(List().Provider, plainProvider);
    EXPECT_EQ(List().BaseIndex, Pos("EUR"));
}

TEST_F(RateFileTest, HeaderOfAValidFileIsReadWithItsTime) {
    TRateFileHeader header{"keep", "keep", "keep", 1.0};
    ReadRateFileHeader(Write(RateText("PROVIDER=Bank\r\nCODE=BNK", "USD=1", "OTHER")), header);
    EXPECT_EQ(header.Provider, "keep");
    EXPECT_EQ(header.Date, 1.0);

    ReadRateFileHeader(Write("[VMR]\r\nTYPE=DATA\r\nPROVIDER=Bank\r\nCODE=BNK\r\nDATE=2024.01.15 13:45:10\r\n"),
                       header);
    EXPECT_EQ(header.Provider, "Bank");
    EXPECT_EQ(header.ProviderCode, "BNK");
    EXPECT_EQ(header.DateText, "2024.01.15 13:45:10");
    EXPECT_DOUBLE_EQ(header.Date, EncodeDateTime(2024, 1, 15, 13, 45, 10, 0));
}

}  // namespace
}  // namespace vemra::test
