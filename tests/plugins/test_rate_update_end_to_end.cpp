// One rate update from end to end with the real rate-source libraries: the schedule finds the
// due day, the page comes from an HTTP server on 127.0.0.1, the library pre-cleans, dates and
// reads it, "Data.vmr" is written, filed under the day's name and loaded into the converter.
// Also the ECB's history zip and the Russian bank's daily page.

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CurrencyConverter.h"
#include "CurrencyFiles.h"
#include "FakeRateUpdateHost.h"
#include "support/HttpTestServer.h"
#include "NetUtils.h"
#include "PlugginMan.h"
#include "PluginTestSupport.h"
#include "RateFile.h"
#include "StreamedIniFile.h"
#include "SysCaller.h"

namespace vemra::test {
namespace {

// The data module's side of the engine: the language and the tray tip's messages.
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

// The data module's download attempt and its processing of the outcome, as the application
// does them: fetch "Data.txt", pre-clean, date and read it; for code 9 file "Data.vmr" under
// the day's name, note the last update and the last rate file, and load it.
class DataModuleStandIn : public FakeRateUpdateHost {
public:
    DataModuleStandIn(TPlugginMan& manager, TCurrencyConverter& converter) : manager_(manager), converter_(converter) {}

    std::uint8_t DownloadRates(TDateTime date) override {
        Downloads.push_back(date);
        THTMLConverterPlugInn& source = *manager_.CurrentPlugin();
        DatedRateFile.clear();
        pageDate_ = 0;
        if (!source.LoadPluginLibrary()) {
            Codes.push_back(1);
            return 1;
        }
        std::uint8_t code = 3;
        const std::string address = Trim(source.ComposeQueryUrl(1, date));
        if (!address.empty()) code = DownloadRatePage(source, address);
        if (code == 0) {
            DatedRateFile = source.GetPluginDataFileName(pageDate_);
            if (pageDate_ <= 0) {
                code = 2;
            } else if (FileExists(DatedRateFile)) {
                code = 8;
            } else {
                code = static_cast<std::uint8_t>(source.ExtractPageRates(pageDate_));
            }
        }
        source.UnloadPluginLibrary();
        Codes.push_back(code);
        return code;
    }

    void ProcessRateUpdate(std::uint8_t code, bool isSelected, bool quiet) override {
        FakeRateUpdateHost::ProcessRateUpdate(code, isSelected, quiet);
        THTMLConverterPlugInn& source = *manager_.CurrentPlugin();
        if (code == 9) {
            const std::string fresh = source.GetPluginValue(pvDataFolder) + "/Data.vmr";
            if (CopyFileTo(fresh, DatedRateFile, false)) ::chmod(DatedRateFile.c_str(), 0444);
            std::int32_t missing = 0;
            source.FindMissingCheckItems(DatedRateFile, missing, MissingCodes);
            TRateFileHeader header;
            ReadRateFileHeader(DatedRateFile, header);
            source.SetLastUpdate(DateOf(header.Date) + TimeOf(Now()));
            manager_.SetLastRateFile(source, DatedRateFile);
            if (isSelected) Loaded = LoadRateFile(converter_.Currencies(), DatedRateFile);
        }
        manager_.SaveCurrentPluginDefinition();
    }

    std::vector<std::uint8_t> Codes;
    std::string MissingCodes;
    bool Loaded = false;

private:
    std::uint8_t DownloadRatePage(THTMLConverterPlugInn& source, const std::string& address) {
        const std::string page = source.GetPluginValue(pvDataFolder) + "/Data.txt";
        try {
            if (!InetDownloadToFile(address, page)) return 4;
            if (!source.PreCleanPluginText(page)) return 6;
            source.LoadHtmlPage(page);
            pageDate_ = source.GetPageDate();
            if (pageDate_ == 0) return 2;
        } catch (...) {
        }
        return 0;
    }

    TPlugginMan& manager_;
    TCurrencyConverter& converter_;
    TDateTime pageDate_ = 0;
};

class RateUpdateTest : public ::testing::Test {
protected:
    RateUpdateTest() : dm(man, conv) {
        InetOpenSession();
        man.SetHost(&dm);
        conv.SetHost(&engineHost);
        conv.SetRateSources(&man.RateSourceHost());
        std::filesystem::copy_file(FixturePath("currencies.vmg"), env.Pub("currencies.vmg"));
        std::filesystem::copy_file(FixturePath("ENG.vcn"), env.Pub("ENG.vcn"));
        EXPECT_TRUE(LoadCurrencyNames(conv.Currencies(), env.Pub("currencies.vmg")));
    }
    ~RateUpdateTest() override { InetCloseSession(); }

    // The source installed from its library, as a package brings it, with its page on the
    // test server and its last update on the given day.
    void Install(const std::string& code, const std::string& library, const std::string& dataUrl,
                 const std::string& lastUpdate) {
        ReplaceText(env.Pub(PluginStoreName()), "[" + code + "]\nPublisher=placeholder\n");
        std::filesystem::create_directories(PubData + "/" + code);
        std::filesystem::copy_file(library, PubData + "/" + code + "/" + code + ".so");  // extracted
        std::filesystem::rename(PubData + "/" + code + "/" + code + ".so", AppData + "/" + code + ".so");
        man.LoadPlugins();
        ASSERT_TRUE(man.InstallPlugin(code, AppData + "/" + code + ".so"));
        man.LoadPlugins();
        THTMLConverterPlugInn& source = *man.CurrentPlugin();
        ASSERT_EQ(source.Code, code);
        source.SetPluginValue("DataUrl", dataUrl);
        source.SetPluginValue("LastUpdate", lastUpdate);
        man.SaveCurrentPluginDefinition();
    }
    void Serve(const std::string& fixture) {
        server.Route("/stats/eurofxref/eurofxref-daily.xml", HttpResponse{.body = ReadText(FixturePath(fixture))});
    }
    std::string EcbUrl() const { return server.Url("/stats/eurofxref/eurofxref-daily.xml"); }
    std::string EcbFolder() const { return PubData + "/ECB"; }
    double RateOf(const std::string& code) {
        int i = 0;
        return conv.Currencies().Find(code, i) ? conv.Currencies().GetCurrency(i)->Rate : -1;
    }

    PluginTestEnv env;
    HttpTestServer server;
    EngineHostStandIn engineHost;
    TCurrencyConverter conv;
    TPlugginMan man;
    DataModuleStandIn dm;
};

TEST_F(RateUpdateTest, TheDueDayIsFetchedReadFiledAndLoaded) {
    Serve("eurofxref-daily.xml");
    Install("ECB", kEcbLibrary, EcbUrl(), "2024.01.16 16:05:00");
    man.UpdateAllPlugins();

    EXPECT_EQ(dm.Downloads, std::vector<TDateTime>{EncodeDateTime(2024, 1, 17, 18, 0, 0, 0)});
    EXPECT_EQ(dm.Codes, std::vector<std::uint8_t>{9});
    ASSERT_EQ(server.Requests().size(), 1u);
    const std::string dated = EcbFolder() + "/2024.01.17-ECB.vmr";
    EXPECT_EQ(dm.DatedRateFile, dated);
    EXPECT_TRUE(FileExists(EcbFolder() + "/Data.txt"));
    EXPECT_EQ(ReadText(EcbFolder() + "/Data.vmr").find("[VMR]"), std::string::npos);  // enciphered
    ASSERT_TRUE(FileExists(dated));
    EXPECT_EQ(dm.MissingCodes, "");

    // The file loaded into the converter with the page's rates.
    EXPECT_TRUE(dm.Loaded);
    EXPECT_EQ(conv.Currencies().ProviderCode, "ECB");
    EXPECT_EQ(conv.Currencies().DateText, "2024.01.17");
    EXPECT_EQ(conv.Currencies().RateDate, EncodeDateTime(2024, 1, 17, 16, 0, 0, 0));
    EXPECT_DOUBLE_EQ(RateOf("EUR"), 1.0);
    EXPECT_DOUBLE_EQ(RateOf("USD"), 1.0877f);
    EXPECT_DOUBLE_EQ(RateOf("JPY"), 160.99f);
    EXPECT_DOUBLE_EQ(RateOf("AUD"), 1.6521f);
    EXPECT_TRUE(engineHost.Messages.empty());

    // Recorded: the last update, the last rate file, the definition in the store.
    THTMLConverterPlugInn& ecb = *man.CurrentPlugin();
    EXPECT_EQ(ecb.GetPluginValue(pvLastUpdate), "2024.01.17 18:00:00");
    EXPECT_EQ(man.LastRateFile(ecb), dated);
    EXPECT_FALSE(ecb.Modified);

    // A second run finds the day there and downloads nothing.
    man.UpdateAllPlugins();
    EXPECT_EQ(dm.Downloads.size(), 1u);
    EXPECT_EQ(server.Requests().size(), 1u);

    // Nor does a fresh start later that evening.
    env.SetNow(EncodeDateTime(2024, 1, 17, 22, 0, 0, 0));
    TPlugginMan restarted;
    DataModuleStandIn dm2(restarted, conv);
    restarted.SetHost(&dm2);
    restarted.LoadPlugins();
    restarted.UpdateAllPlugins();
    EXPECT_TRUE(dm2.Downloads.empty());
    EXPECT_EQ(restarted.LastRateFile(*restarted.CurrentPlugin()), dated);
}

TEST_F(RateUpdateTest, APageWithMissingItemsGivesSeven) {
    Serve("eurofxref-daily-missing.xml");
    Install("ECB", kEcbLibrary, EcbUrl(), "2024.01.16 16:05:00");
    man.UpdateAllPlugins();
    EXPECT_EQ(dm.Codes, std::vector<std::uint8_t>{7});
    EXPECT_EQ(man.CurrentPlugin()->MissingCount, 2);
    std::int32_t count = 0;
    std::string list;
    man.CurrentPlugin()->FindMissingCheckItems(EcbFolder() + "/Data.vmr", count, list);
    EXPECT_EQ(list, "GBP,CHF");
    EXPECT_FALSE(FileExists(EcbFolder() + "/2024.01.17-ECB.vmr"));  // only code 9 is filed

    // The day is tried again on the next run.
    man.UpdateAllPlugins();
    EXPECT_EQ(dm.Codes, (std::vector<std::uint8_t>{7, 7}));
}

TEST_F(RateUpdateTest, FailuresGiveTheirResultCodes) {
    server.Route("/nodate.xml", HttpResponse{.body = ReadText(FixturePath("eurofxref-daily-nodate.xml"))});
    server.Route("/error.html", HttpResponse{.status = 503, .body = "<html><body>Service unavailable</body></html>"});
    std::string ahead = ReadText(FixturePath("eurofxref-daily.xml"));
    ahead.replace(ahead.find("2024-01-17"), 10, "2099-12-31");
    server.Route("/ahead.xml", HttpResponse{.body = ahead});
    const struct {
        std::string url;
        std::uint8_t code;
    } cases[] = {
        {server.Url("/nodate.xml"), 2},
        {server.Url("/ahead.xml"), 2},  // would stand as the last update until 2099
        {server.Url("/error.html"), 6},  // the pre-clean rejects what is no rate page
        {"http://127.0.0.1:" + std::to_string(HttpTestServer::ClosedPort()) + "/daily.xml", 4},
        {"", 3},
    };
    Install("ECB", kEcbLibrary, EcbUrl(), "2024.01.16 16:05:00");
    for (const auto& c : cases) {
        dm.Codes.clear();
        man.CurrentPlugin()->SetPluginValue("DataUrl", c.url);
        man.UpdateAllPlugins();
        EXPECT_EQ(dm.Codes, std::vector<std::uint8_t>{c.code}) << c.url;
        EXPECT_FALSE(FileExists(EcbFolder() + "/2024.01.17-ECB.vmr"));
        EXPECT_EQ(man.CurrentPlugin()->GetPluginValue(pvLastUpdate), "2024.01.16 16:05:00");
    }
    // Without its library the source cannot be read at all.
    std::filesystem::remove(AppData + "/ECB.so");
    dm.Codes.clear();
    man.UpdateAllPlugins();
    EXPECT_EQ(dm.Codes, std::vector<std::uint8_t>{1});
}

TEST_F(RateUpdateTest, AStoredDayIsNotReadAgain) {
    Serve("eurofxref-daily.xml");
    Install("ECB", kEcbLibrary, EcbUrl(), "2024.01.16 16:05:00");
    // The schedule looks at the 18th in GMT; the page still holds the 17th, which is here.
    env.SetNow(EncodeDateTime(2024, 1, 18, 18, 0, 0, 0));
    WriteDayFile(EcbFolder(), "ECB", EncodeDate(2024, 1, 17));
    man.UpdateAllPlugins();
    EXPECT_EQ(dm.Codes, std::vector<std::uint8_t>{8});
}

// ---- the Russian bank: an address per day, a page rewritten by the pre-clean ----

TEST_F(RateUpdateTest, TheRussianBanksPageIsReadThroughItsOwnLibrary) {
    server.Route("/scripts/XML_daily.asp", HttpResponse{.body = ReadText(FixturePath("cbr-daily.xml"))});
    Install("CBR", kCbrLibrary, server.Url("/scripts/XML_daily.asp?date_req=%s"), "2024.01.16 00:05:00");
    man.UpdateAllPlugins();
    EXPECT_EQ(dm.Codes, std::vector<std::uint8_t>{9});
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].target, "/scripts/XML_daily.asp?date_req=17/01/2024");
    EXPECT_NE(ReadText(PubData + "/CBR/Data.txt").find("CharCode=AUD"), std::string::npos);

    std::unique_ptr<TStreamedIniFile> file = OpenStreamedIni(5, PubData + "/CBR/2024.01.17-CBR.vmr");
    TStringList lines;
    file->ReadSectionValues("DATA", lines);
    EXPECT_EQ(Strings(lines), (std::vector<std::string>{"AUD=58.5853", "USD=88.3844", "EUR=96.2077", "JPY=0.604187"}));
    EXPECT_EQ(file->ReadString("VMR", "BASE", ""), "RUB");
    // Roubles per unit, read inverse: units per rouble.
    EXPECT_TRUE(dm.Loaded);
    EXPECT_DOUBLE_EQ(RateOf("RUB"), 1.0);
    EXPECT_DOUBLE_EQ(RateOf("USD"), 1.0 / 88.3844f);
    EXPECT_DOUBLE_EQ(RateOf("JPY"), 1.0 / 0.604187f);
    EXPECT_EQ(dm.MissingCodes, "CNY");
}

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
