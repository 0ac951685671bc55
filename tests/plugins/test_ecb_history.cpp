// The ECB's history zip from end to end with the real rate-source library: its bounds and the
// month's day rate files. (One rate update from end to end runs against the data module in the
// application's tests.)

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CurrencyConverter.h"
#include "CurrencyFiles.h"
#include "HTMLConverterPlugInn.h"
#include "PluginTestSupport.h"
#include "RateFile.h"
#include "SysCaller.h"

namespace vemra::test {
namespace {

// The engine's questions to the data module: the tray tip's messages.
class EngineHostStandIn : public IEngineHost {
public:
    void ShowMessageText(const std::string& text) override { Messages.push_back(text); }
    void WriteLogLine(const std::string&, const std::string&) override {}
    std::string GetMessageText(int number) override { return number == 20 || number == 21 ? "%s%s %s" : ""; }
    void SetTrayTip(const std::string&) override {}
    std::string LanguageName() override { return "ENG"; }
    std::string CurrencyConfigFileName() override { return {}; }
    std::vector<std::string> Messages;
};

// ---- the ECB's history ----

class EcbHistoryTest : public ::testing::Test {
protected:
    EcbHistoryTest() : source(Lines({"Publisher=European Central Bank", "BaseDiv=EUR", "BaseFactor=1", "Logic=1XNY"}),
                              "ECB") {
        std::filesystem::create_directories(PubData + "/ECB");
        std::filesystem::copy_file(kEcbLibrary, AppData + "/ECB.so");
    }
    std::string UseHistory(const std::string& fixture) {
        std::filesystem::copy_file(FixturePath(fixture), PubData + "/ECB/" + fixture,
                                   std::filesystem::copy_options::overwrite_existing);
        source.SetHistoryFile(fixture);
        return source.GetHistoryFilePath();
    }

    PluginTestEnv env;
    THTMLConverterPlugInn source;
};

TEST_F(EcbHistoryTest, TheZipGivesItsBounds) {
    for (const std::string zip : {"eurofxref-hist.zip", "eurofxref-hist-stored.zip"}) {
        EXPECT_TRUE(source.UpdateHistoryBounds(UseHistory(zip))) << zip;
        EXPECT_EQ(source.GetPluginValue(pvHistoryBounds), "36164-45308");  // 1999-01-04 to 2024-01-17
        EXPECT_EQ(source.HistoryBound(false), EncodeDate(1999, 1, 4));
        EXPECT_EQ(source.HistoryBound(true), EncodeDate(2024, 1, 17));
    }
    EXPECT_FALSE(source.UpdateHistoryBounds(UseHistory("eurofxref-hist-broken.zip")));
    EXPECT_EQ(source.GetPluginValue(pvHistoryBounds), "0-0");
    EXPECT_FALSE(source.UpdateHistoryBounds(PubData + "/ECB/none.zip"));
}

TEST_F(EcbHistoryTest, TheMonthsDayRateFilesAreWrittenPlain) {
    UseHistory("eurofxref-hist.zip");
    const std::string kept = WriteDayFile(PubData + "/ECB", "ECB", EncodeDate(2024, 1, 16), "USD=9.9\r\n");
    ASSERT_TRUE(source.GetHistoryRates(EncodeDateTime(2024, 1, 20, 12, 0, 0, 0)));
    std::unique_ptr<TStringList> files = ListFiles(PubData + "/ECB/*.vmr");
    files->Sort();
    EXPECT_EQ(Strings(*files), (std::vector<std::string>{"2024.01.15-ECB.vmr", "2024.01.16-ECB.vmr", "2024.01.17-ECB.vmr"}));
    EXPECT_EQ(ReadText(PubData + "/ECB/2024.01.17-ECB.vmr"),
              "[VMR]\r\nPROVIDER=European Central Bank\r\nCODE=ECB\r\nDATE=2024.01.17\r\nBASE=EUR\r\nFACTOR=1\r\n"
              "LOGIC=1XNY\r\nTYPE=DATA\r\n\r\n[DATA]\r\nUSD=1.0877\r\nJPY=160.99\r\nBGN=1.9558\r\nCZK=24.723\r\n"
              "GBP=0.85788\r\nCHF=0.9393\r\n");
    EXPECT_NE(ReadText(kept).find("USD=9.9"), std::string::npos);  // a day already here is left as it was

    // They load as day rate files.
    TCurrencyConverter conv;
    std::filesystem::copy_file(FixturePath("currencies.vmg"), env.Pub("currencies.vmg"));
    std::filesystem::copy_file(FixturePath("ENG.vcn"), env.Pub("ENG.vcn"));
    EngineHostStandIn host;
    conv.SetHost(&host);
    ASSERT_TRUE(LoadCurrencyNames(conv.Currencies(), env.Pub("currencies.vmg")));
    ASSERT_TRUE(LoadRateFile(conv.Currencies(), PubData + "/ECB/2024.01.15-ECB.vmr"));
    int usd = 0;
    ASSERT_TRUE(conv.Currencies().Find("USD", usd));
    EXPECT_DOUBLE_EQ(conv.Currencies().GetCurrency(usd)->Rate, 1.0945f);

    EXPECT_TRUE(source.GetHistoryRates(EncodeDate(1999, 1, 31)));
    EXPECT_FALSE(source.GetHistoryRates(EncodeDate(2023, 11, 1)));  // no day of that month
    EXPECT_EQ(ListFiles(PubData + "/ECB/2023.*.vmr")->Count(), 0);
}

}  // namespace
}  // namespace vemra::test
