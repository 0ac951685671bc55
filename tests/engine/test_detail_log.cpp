// The detail log's report, byte for byte.
#include <gtest/gtest.h>

#include "DetailLog.h"
#include "EngineTestSupport.h"

namespace vemra::test {
namespace {

const std::string S(50, '*');

class DetailLogTest : public EngineTest {
protected:
    DetailLogTest() {
        savedVersion_ = ProgramVersion;
        ProgramVersion = "1.2.3.4";
        SetClock([] { return EncodeDateTime(2024, 1, 16, 10, 0, 0, 0); });
        LoadFixtures();
        Start("USD", "EUR");
    }
    ~DetailLogTest() override {
        ProgramVersion = savedVersion_;
        ResetClock();
    }
    // A run starts with the pair it will return to.
    void Start(const std::string& from, const std::string& to) {
        conv.SetFromCurrency(from);
        conv.SetToCurrency(to);
        conv.Table.SavedSourceCode = from;
        conv.Table.SavedTargetCode = to;
    }
    std::string Header() const {
        return S + "\r\n* Vemra Conversion Report\r\n* Version: 1.2.3.4\r\n* Date: 2024.01.16 10:00:00\r\n";
    }
    std::string State(const std::string& when, const std::string& line) const {
        return S + "\r\n* " + when + " Conversion State:\r\n* Plugin: ECB / European Central Bank\r\n* File: " +
               rateFile + "\r\n* Base currency is: EUR\r\n" + line + "\r\n" + S + "\r\n";
    }
    std::string End() const { return "* End of Conversion Report\r\n" + S + "\r\n"; }
    std::string Report() const { return ReadText(DetailLogFileName()); }

private:
    std::string savedVersion_;
};

TEST_F(DetailLogTest, ARunThatEndsInItsOwnStateIsCorrect) {
    DetailLogCommand(conv, "/O");
    DetailLogCommand(conv, "first line");
    DetailLogCommand(conv, "*");
    DetailLogCommand(conv, "**");
    DetailLogCommand(conv, "second");
    DetailLogCommand(conv, "/C");
    EXPECT_EQ(DetailLogFileName(), folder.File("ConversionReport.log"));
    EXPECT_EQ(Report(), Header() + State("Pre", "* 100 USD = 91.36 EUR") + S + "\r\n" +  // "**" joins the header
                            "first line\r\n" + S + "\r\nsecond\r\n" +
                            State("Post", "* 100 USD = 91.36 EUR ( CORRECT )") + End());
    EXPECT_EQ(conv.LogBody().Count(), 0);
}

TEST_F(DetailLogTest, ARunThatLeavesAnotherPairIsAnError) {
    DetailLogCommand(conv, "/O");
    DetailLogCommand(conv, "  converting  \r\n");
    conv.SetToCurrency("JPY");
    DetailLogCommand(conv, "/C");
    EXPECT_EQ(Report(), Header() + State("Pre", "* 100 USD = 91.36 EUR") + "converting\r\n" +
                            State("Post", "* 100 USD = 14,640.05 EUR ( ERROR )") + End());
}

TEST_F(DetailLogTest, NoPathShowsNotANumber) {
    // A fresh converter's check amount is 0, which a failed conversion also gives.
    TCurrencyConverter fresh;
    fresh.SetHost(&host);
    fresh.SetRateSources(&host);
    ASSERT_TRUE(LoadCurrencyNames(fresh.Currencies(), configFile));
    ASSERT_TRUE(LoadRateFile(fresh.Currencies(), rateFile));
    fresh.SetFromCurrency("XYZ");  // no rate
    fresh.SetToCurrency("USD");
    fresh.Table.SavedSourceCode = "XYZ";
    fresh.Table.SavedTargetCode = "USD";
    DetailLogCommand(fresh, "/O");
    DetailLogCommand(fresh, "/C");
    EXPECT_EQ(Report(), Header() + State("Pre", "* 100 XYZ = (Not a number!) USD") + "\r\n" +
                            State("Post", "* 100 XYZ = (Not a number!) USD ( CORRECT )") + End());

    // After a run that converted, the kept amount no longer matches a failure.
    DetailLogCommand(conv, "/O");
    conv.SetFromCurrency("XYZ");
    DetailLogCommand(conv, "/C");
    EXPECT_EQ(Report(), Header() + State("Pre", "* 100 USD = 91.36 EUR") + "\r\n" +
                            State("Post", "* 100 USD = (Not a number!) EUR ( ERROR )") + End());
}

TEST_F(DetailLogTest, CloseWithoutOpenAndAFailedWrite) {
    DetailLogCommand(conv, "**");
    DetailLogCommand(conv, "/C");
    EXPECT_EQ(Report(), S + "\r\n\r\n" + State("Post", "* 100 USD = 91.36 EUR ( ERROR )") + End());

    PubData = folder.File("no/such/folder");
    DetailLogCommand(conv, "/O");
    EXPECT_THROW(DetailLogCommand(conv, "/C"), EInOutError);
}

}  // namespace
}  // namespace vemra::test
