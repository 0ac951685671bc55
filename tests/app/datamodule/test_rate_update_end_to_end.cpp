// One rate update from end to end through the data module with the real rate-source
// libraries: the schedule finds the due day, the page comes from an HTTP server on 127.0.0.1,
// the library pre-cleans, dates and reads it, "Data.vmr" is written, filed read-only under the
// day's name and loaded into the converter; the update log tells each outcome.

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "UpdaterTestSupport.h"

namespace vemra::test {
namespace {

bool IsReadOnly(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
}

class RateUpdateTest : public ::testing::Test, protected UpdaterFixture {
protected:
    RateUpdateTest() { InetOpenSession(); }
};

TEST_F(RateUpdateTest, TheDueDayIsFetchedReadFiledAndLoaded) {
    Serve("eurofxref-daily.xml");
    Install("ECB", kEcbLibrary, EcbUrl(), "2024.01.16 16:05:00");
    LoadEarlierDay("ECB", EncodeDate(2024, 1, 16));
    man.UpdateAllPlugins();

    EXPECT_EQ(dm.Downloads, std::vector<TDateTime>{EncodeDateTime(2024, 1, 17, 18, 0, 0, 0)});
    EXPECT_EQ(dm.Codes, std::vector<std::uint8_t>{9});
    ASSERT_EQ(server.Requests().size(), 1u);
    const std::string dated = EcbFolder() + "/2024.01.17-ECB.vmr";
    EXPECT_EQ(dm.DatedRateFile, dated);
    EXPECT_EQ(dm.DownloadedPageFile, EcbFolder() + "/Data.txt");
    EXPECT_TRUE(FileExists(EcbFolder() + "/Data.txt"));
    EXPECT_EQ(ReadText(EcbFolder() + "/Data.vmr").find("[VMR]"), std::string::npos);  // enciphered
    ASSERT_TRUE(FileExists(dated));
    EXPECT_TRUE(IsReadOnly(dated));

    // Nothing missing, so no warning; the selected source's newer day reloads the converter.
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(LogTexts(), std::vector<std::string>{"ECB : UPDATED : " + dated});
    EXPECT_EQ(conv.Currencies().ProviderCode, "ECB");
    EXPECT_EQ(conv.Currencies().DateText, "2024.01.17");
    EXPECT_EQ(conv.Currencies().RateDate, EncodeDateTime(2024, 1, 17, 16, 0, 0, 0));
    EXPECT_DOUBLE_EQ(RateOf("EUR"), 1.0);
    EXPECT_DOUBLE_EQ(RateOf("USD"), 1.0877f);
    EXPECT_DOUBLE_EQ(RateOf("JPY"), 160.99f);
    EXPECT_DOUBLE_EQ(RateOf("AUD"), 1.6521f);
    EXPECT_EQ(windows.listsRefilled, 1);
    EXPECT_NE(windows.trayTip.find("2024.01.17"), std::string::npos);
    const std::vector<std::string> popups = Popups();
    ASSERT_EQ(popups.size(), 1u);
    EXPECT_NE(popups[0].find("2024.01.17-ECB.vmr"), std::string::npos);

    // Recorded: the last update, the last rate file, the definition in the store.
    THTMLConverterPlugInn& ecb = *man.CurrentPlugin();
    EXPECT_EQ(ecb.GetPluginValue(pvLastUpdate), "2024.01.17 18:00:00");
    EXPECT_EQ(man.LastRateFile(ecb), dated);
    EXPECT_FALSE(ecb.Modified);
    EXPECT_GE(windows.sourcePageRefreshed, 1);

    // A second run finds the day there and downloads nothing.
    man.UpdateAllPlugins();
    EXPECT_EQ(dm.Downloads.size(), 1u);
    EXPECT_EQ(server.Requests().size(), 1u);

    // Nor does a fresh start later that evening.
    env.SetNow(EncodeDateTime(2024, 1, 17, 22, 0, 0, 0));
    TPlugginMan restarted;
    RecordingDm dm2;
    StreamKeyProc = TestStreamKeys;
    PlugginMan = &restarted;
    restarted.SetHost(&dm2);
    restarted.LoadPlugins();
    restarted.UpdateAllPlugins();
    EXPECT_TRUE(dm2.Downloads.empty());
    EXPECT_EQ(restarted.LastRateFile(*restarted.CurrentPlugin()), dated);
    PlugginMan = &man;
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
    EXPECT_EQ(LogTexts(), std::vector<std::string>{"ECB : VALUE/S MISSING"});

    // The day is tried again on the next run.
    man.UpdateAllPlugins();
    EXPECT_EQ(dm.Codes, (std::vector<std::uint8_t>{7, 7}));
}

TEST_F(RateUpdateTest, FailuresGiveTheirResultCodesAndLogLines) {
    server.Route("/nodate.xml", HttpResponse{.body = ReadText(FixturePath("eurofxref-daily-nodate.xml"))});
    server.Route("/error.html", HttpResponse{.status = 503, .body = "<html><body>Service unavailable</body></html>"});
    std::string ahead = ReadText(FixturePath("eurofxref-daily.xml"));
    ahead.replace(ahead.find("2024-01-17"), 10, "2099-12-31");
    server.Route("/ahead.xml", HttpResponse{.body = ahead});
    server.Route("/moved.xml", HttpResponse{.status = 302, .headers = {{"Location", "file:///etc/hostname"}}});
    server.Route("/huge.xml", HttpResponse{.framing = BodyFraming::Chunked, .generatedBytes = kPageLimits.MaxBytes + 1});
    const struct {
        std::string url;
        std::uint8_t code;
        std::vector<std::string> log;
    } cases[] = {
        {server.Url("/nodate.xml"), 2, {"ECB : ERROR PARSING DATE"}},
        {server.Url("/ahead.xml"), 2, {"ECB : ERROR PARSING DATE"}},  // would stand as the last update until 2099
        {server.Url("/error.html"), 6, {"ECB : ERROR PARSING HTML"}},  // the pre-clean rejects what is no rate page
        {"http://127.0.0.1:" + std::to_string(HttpTestServer::ClosedPort()) + "/daily.xml", 4, {"ECB : NO INTERNET"}},
        {server.Url("/moved.xml"), 4, {"ECB : REDIRECT REFUSED"}},  // the server answered, elsewhere
        {server.Url("/huge.xml"), 4, {"ECB : TOO LARGE"}},  // no length to refuse it by: cut at the bound
        {"", 3, {}},
    };
    Install("ECB", kEcbLibrary, EcbUrl(), "2024.01.16 16:05:00");
    for (const auto& c : cases) {
        dm.Codes.clear();
        std::filesystem::remove(Tdm::UpdateLogPath());
        man.CurrentPlugin()->SetPluginValue("DataUrl", c.url);
        man.UpdateAllPlugins();
        EXPECT_EQ(dm.Codes, std::vector<std::uint8_t>{c.code}) << c.url;
        EXPECT_EQ(LogTexts(), c.log) << c.url;
        EXPECT_FALSE(FileExists(EcbFolder() + "/2024.01.17-ECB.vmr"));
        EXPECT_EQ(man.CurrentPlugin()->GetPluginValue(pvLastUpdate), "2024.01.16 16:05:00");
    }
    EXPECT_TRUE(Boxes.empty());
    // Without its library the source cannot be read at all: logged and told.
    std::filesystem::remove(AppData + "/ECB.so");
    std::filesystem::remove(Tdm::UpdateLogPath());
    dm.Codes.clear();
    man.UpdateAllPlugins();
    EXPECT_EQ(dm.Codes, std::vector<std::uint8_t>{1});
    EXPECT_EQ(LogTexts(), std::vector<std::string>{"ERROR LOADING: " + AppData + "/ECB.so"});
    EXPECT_EQ(Boxes, std::vector<std::string>{"Missing: " + AppData + "/ECB.so"});
    // A library that others can change is there, but refused: said so, naming it.
    std::filesystem::copy_file(kEcbLibrary, AppData + "/ECB.so");
    ::chmod((AppData + "/ECB.so").c_str(), 0666);
    std::filesystem::remove(Tdm::UpdateLogPath());
    dm.Codes.clear();
    Boxes.clear();
    man.UpdateAllPlugins();
    EXPECT_EQ(dm.Codes, std::vector<std::uint8_t>{1});
    EXPECT_EQ(LogTexts(), std::vector<std::string>{"LIBRARY REFUSED, OTHERS CAN CHANGE IT: " + AppData + "/ECB.so"});
    EXPECT_EQ(Boxes, std::vector<std::string>{"Refused: " + AppData + "/ECB.so"});
}

TEST_F(RateUpdateTest, AStoredDayIsNotReadAgain) {
    Serve("eurofxref-daily.xml");
    Install("ECB", kEcbLibrary, EcbUrl(), "2024.01.16 16:05:00");
    // The schedule looks at the 18th in GMT; the page still holds the 17th, which is here.
    env.SetNow(EncodeDateTime(2024, 1, 18, 18, 0, 0, 0));
    WriteDayFile(EcbFolder(), "ECB", EncodeDate(2024, 1, 17));
    man.UpdateAllPlugins();
    EXPECT_EQ(dm.Codes, std::vector<std::uint8_t>{8});
    EXPECT_TRUE(LogTexts().empty());
    EXPECT_TRUE(Popups().empty());
}

// ---- the Russian bank: an address per day, a page rewritten by the pre-clean ----

TEST_F(RateUpdateTest, TheRussianBanksPageIsReadThroughItsOwnLibrary) {
    server.Route("/scripts/XML_daily.asp", HttpResponse{.body = ReadText(FixturePath("cbr-daily.xml"))});
    Install("CBR", kCbrLibrary, server.Url("/scripts/XML_daily.asp?date_req=%s"), "2024.01.16 00:05:00");
    LoadEarlierDay("CBR", EncodeDate(2024, 1, 16));
    man.UpdateAllPlugins();
    EXPECT_EQ(dm.Codes, std::vector<std::uint8_t>{9});
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].target, "/scripts/XML_daily.asp?date_req=17/01/2024");
    EXPECT_NE(ReadText(PubData + "/CBR/Data.txt").find("CharCode=AUD"), std::string::npos);

    const std::string dated = PubData + "/CBR/2024.01.17-CBR.vmr";
    std::unique_ptr<TStreamedIniFile> file = OpenStreamedIni(5, dated);
    TStringList lines;
    file->ReadSectionValues("DATA", lines);
    EXPECT_EQ(Strings(lines), (std::vector<std::string>{"AUD=58.5853", "USD=88.3844", "EUR=96.2077", "JPY=0.604187"}));
    EXPECT_EQ(file->ReadString("VMR", "BASE", ""), "RUB");
    // Roubles per unit, read inverse: units per rouble.
    EXPECT_DOUBLE_EQ(RateOf("RUB"), 1.0);
    EXPECT_DOUBLE_EQ(RateOf("USD"), 1.0 / 88.3844f);
    EXPECT_DOUBLE_EQ(RateOf("JPY"), 1.0 / 0.604187f);
    // Its check list names CNY, which the page lacks: a warning, and the alert in the log.
    EXPECT_EQ(Boxes, std::vector<std::string>{"Warning: 1 missing in 2024.01.17-CBR.vmr.\r\n"
                                              "Check log for more information."});
    EXPECT_EQ(LogTexts(), std::vector<std::string>{"CBR : UPDATED : " + dated + " \xC2\xA1" "ALERT! CNY MISSING"});
}

// ---- what runs while a page waits ----

class WaitingPageTest : public RateUpdateTest {
protected:
    // ECB selected with its earlier day loaded, then CBR, each with a newer day to fetch.
    void InstallBoth() {
        server.Route("/scripts/XML_daily.asp", HttpResponse{.body = ReadText(FixturePath("cbr-daily.xml"))});
        Install("ECB", kEcbLibrary, EcbUrl(), "2024.01.16 16:05:00");
        man.SelectedCode = "CBR";
        Install("CBR", kCbrLibrary, server.Url("/scripts/XML_daily.asp?date_req=%s"), "2024.01.16 00:05:00");
        cbrEarlier = WriteDayFile(PubData + "/CBR", "CBR", EncodeDate(2024, 1, 16), "USD=90\r\n");
        Choose("ECB");
        LoadEarlierDay("ECB", EncodeDate(2024, 1, 16));
    }
    // What choosing a source in the options window does to the manager and the converter.
    void Choose(const std::string& code, const std::string& rates = {}) {
        man.SelectedIndex = man.IndexOfPlugin(code);
        man.SelectedCode = code;
        if (!rates.empty()) {
            EXPECT_TRUE(LoadRateFile(conv.Currencies(), rates));
        }
    }
    const std::string ecbDated = PubData + "/ECB/2024.01.17-ECB.vmr";
    const std::string cbrDated = PubData + "/CBR/2024.01.17-CBR.vmr";
    const std::string cbrAlert = std::string(" \xC2\xA1") + "ALERT! CNY MISSING";
    std::string cbrEarlier;
};

// The run fetches ECB's page for ECB although the user chose CBR meanwhile; ECB's day is
// filed and told, CBR's new day then loads over the rates of the user's choice, which stays.
TEST_F(WaitingPageTest, TheRunKeepsItsSourceAndTheUserKeepsTheChoiceMadeMeanwhile) {
    InstallBoth();
    const auto ran = AnswerAfter(server, "/stats/eurofxref/eurofxref-daily.xml",
                                 HttpResponse{.body = ReadText(FixturePath("eurofxref-daily.xml"))},
                                 [this] { Choose("CBR", cbrEarlier); });
    dm.UpdaterTimer(nullptr);

    EXPECT_EQ(ran(), 1);
    EXPECT_EQ(dm.Codes, (std::vector<std::uint8_t>{9, 9}));
    EXPECT_EQ(LogTexts(), (std::vector<std::string>{"ECB : NOTIFIED : " + ecbDated, "CBR : UPDATED : " + cbrDated + cbrAlert}));
    ASSERT_TRUE(FileExists(ecbDated));
    THTMLConverterPlugInn& ecb = *man.GetPlugin(man.IndexOfPlugin("ECB"));
    EXPECT_EQ(man.LastRateFile(ecb), ecbDated);
    EXPECT_EQ(ecb.GetPluginValue(pvLastUpdate), "2024.01.17 18:00:00");
    EXPECT_FALSE(ecb.Modified);  // its definition went to the store, not CBR's
    EXPECT_EQ(man.CurrentPlugin()->Code, "CBR");
    EXPECT_EQ(man.SelectedCode, "CBR");
    EXPECT_EQ(conv.Currencies().RateFileName, cbrDated);
}

// A past day the user applies while the page waits stays loaded; the new day is filed and told.
TEST_F(WaitingPageTest, APastDayAppliedMeanwhileStaysLoaded) {
    InstallBoth();
    const std::string past = WriteDayFile(EcbFolder(), "ECB", EncodeDate(2024, 1, 10), "USD=1.1\r\n");
    AnswerAfter(server, "/stats/eurofxref/eurofxref-daily.xml",
                HttpResponse{.body = ReadText(FixturePath("eurofxref-daily.xml"))}, [&] {
                    ASSERT_TRUE(LoadRateFile(conv.Currencies(), past));
                    TDownloadOperation::KeepChosenRates();
                });
    dm.UpdaterTimer(nullptr);
    EXPECT_EQ(LogTexts().at(0), "ECB : NOTIFIED : " + ecbDated);
    EXPECT_EQ(conv.Currencies().RateFileName, past);
    EXPECT_TRUE(FileExists(ecbDated));
}

// A window that opens the library of the source being fetched and unloads it again (the
// options window's address entries) leaves it bound for the download.
TEST_F(WaitingPageTest, TheLibraryOfTheSourceBeingFetchedStaysLoaded) {
    InstallBoth();
    THTMLConverterPlugInn& ecb = *man.CurrentPlugin();
    AnswerAfter(server, "/stats/eurofxref/eurofxref-daily.xml",
                HttpResponse{.body = ReadText(FixturePath("eurofxref-daily.xml"))}, [&] {
                    ASSERT_TRUE(ecb.LoadPluginLibrary());
                    ecb.ComposeQueryUrl(0, Date());
                    ecb.UnloadPluginLibrary();
                    EXPECT_NE(ecb.LibraryHandle(), nullptr);
                });
    dm.UpdaterTimer(nullptr);
    EXPECT_EQ(dm.Codes.at(0), 9);
    EXPECT_EQ(LogTexts().at(0), "ECB : UPDATED : " + ecbDated);
    EXPECT_EQ(ecb.LibraryHandle(), nullptr);  // unloaded once the attempt ended
}

}  // namespace
}  // namespace vemra::test
