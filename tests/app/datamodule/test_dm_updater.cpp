// The data module's update timer: the run's conditions, the version check, the busy state,
// and what a result code leads to (log line, day rate file, reload or notice, warning).

#include <sys/stat.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "UpdaterTestSupport.h"

namespace vemra::test {
namespace {

constexpr const char* kVersionPath = "/version.php";

class UpdaterTest : public ::testing::Test, protected UpdaterFixture {
protected:
    int VersionRequests() const {
        int count = 0;
        for (const HttpRequest& request : server.Requests())
            if (request.target.rfind(kVersionPath, 0) == 0) ++count;
        return count;
    }
    void PublishVersion(const std::string& body) { server.Route(kVersionPath, HttpResponse{.body = body}); }
    QComboBox* Subs() { return windows.main->findChild<QComboBox*>(QStringLiteral("cbSubs")); }
    QLabel* StatusPanel() { return windows.main->findChild<QLabel*>(QStringLiteral("lbMessage")); }
};

// ---- the update run ----

TEST_F(UpdaterTest, TheTimerStartsOffAndEveryRunRearmsItWithFiveToSixMinutes) {
    EXPECT_FALSE(dm.Updater->isActive());
    EXPECT_EQ(dm.Updater->interval(), Tdm::kUpdaterDesignInterval);
    dm.StartUpdater();
    EXPECT_TRUE(dm.Updater->isActive());
    EXPECT_EQ(dm.Updater->interval(), 5000);
    for (int run = 0; run < 20; ++run) {
        dm.UpdaterTimer(nullptr);
        EXPECT_TRUE(dm.Updater->isActive());
        EXPECT_GE(dm.Updater->interval(), 300000);
        EXPECT_LE(dm.Updater->interval(), 359000);
        EXPECT_EQ(dm.Updater->interval() % 1000, 0);
    }
}

TEST_F(UpdaterTest, NoConnectionSkipsTheRunAndKeepsTheTimerArmed) {
    PublishVersion("[VEMRA]\r\nVERSION=99.0.0.0\r\n");
    Serve("eurofxref-daily.xml");
    Install("ECB", kEcbLibrary, EcbUrl(), "2024.01.16 16:05:00");
    connected = false;
    dm.StartUpdater();
    dm.UpdaterTimer(dm.Updater);
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_TRUE(dm.Codes.empty());
    EXPECT_TRUE(dm.Updater->isActive());
    EXPECT_EQ(dm.Updater->interval(), 5000);
    EXPECT_TRUE(windows.savedSettings.empty());  // the busy state was never entered
    EXPECT_EQ(dm.LastVersionCheck, 0);

    // Once online, the same run fetches the day.
    connected = true;
    dm.UpdaterTimer(dm.Updater);
    EXPECT_EQ(dm.Codes, std::vector<std::uint8_t>{9});
    EXPECT_EQ(VersionRequests(), 1);
}

TEST_F(UpdaterTest, ANilSenderNeverChecksTheVersion) {
    PublishVersion("[VEMRA]\r\nVERSION=99.0.0.0\r\n");
    env.SetNow(EncodeDateTime(2024, 3, 1, 12, 0, 0, 0));  // the last check is far in the past
    dm.UpdaterTimer(nullptr);
    dm.UpdaterTimer(nullptr);
    EXPECT_EQ(VersionRequests(), 0);
    EXPECT_EQ(dm.LastVersionCheck, 0);
    EXPECT_TRUE(windows.options->findChild<QWidget*>(QStringLiteral("pnNewUpdate"))->isHidden());
}

TEST_F(UpdaterTest, TwoRunsWithinADayCheckTheVersionOnce) {
    ProgramVersion = "9.3.1.9";
    man.SelectedCode = "ECB";
    PublishVersion("[VEMRA]\r\nVERSION=9.3.1.10\r\n");
    const TDateTime first = EncodeDateTime(2024, 1, 17, 9, 0, 0, 0);
    env.SetNow(first);
    dm.UpdaterTimer(dm.Updater);
    EXPECT_EQ(VersionRequests(), 1);
    EXPECT_EQ(dm.LastVersionCheck, first);
    EXPECT_TRUE(dm.VersionCheckedToday);
    // The newer version is offered on the options window.
    auto* panel = windows.options->findChild<QWidget*>(QStringLiteral("pnNewUpdate"));
    EXPECT_FALSE(panel->isHidden());
    EXPECT_EQ(windows.options->findChild<QPushButton*>(QStringLiteral("btNewUpdate"))->text(),
              QStringLiteral("Version 9.3.1.10 available"));
    // The query names the selected source and the language.
    const std::string target = server.Requests().at(0).target;
    EXPECT_NE(target.find("ECB"), std::string::npos) << target;
    EXPECT_NE(target.find("ENG"), std::string::npos) << target;

    // Not a calendar day: 23 h 59 min later is still within the day, 24 h later is not.
    env.SetNow(first + 1.0 - OneMinute);
    dm.UpdaterTimer(dm.Updater);
    EXPECT_EQ(VersionRequests(), 1);
    env.SetNow(first + 1.0);
    dm.UpdaterTimer(dm.Updater);
    EXPECT_EQ(VersionRequests(), 2);
}

TEST_F(UpdaterTest, AFailedVersionCheckWaitsADayToo) {
    Tdm::SetServiceBaseForTests("http://127.0.0.1:" + std::to_string(HttpTestServer::ClosedPort()));
    dm.UpdaterTimer(dm.Updater);
    EXPECT_EQ(dm.LastVersionCheck, Now());
    EXPECT_TRUE(dm.VersionCheckedToday);
    EXPECT_TRUE(dm.Updater->isActive());
    EXPECT_TRUE(windows.options->findChild<QWidget*>(QStringLiteral("pnNewUpdate"))->isHidden());
}

TEST_F(UpdaterTest, VersionsCompareByTheirNumbersNotAsText) {
    const struct {
        const char* running;
        const char* body;
        bool newer;
        const char* published;
    } cases[] = {
        {"9.3.1.9", "[VEMRA]\r\nVERSION=9.3.1.10\r\n", true, "9.3.1.10"},
        {"9.3.1.10", "[VEMRA]\r\nVERSION=9.3.1.9\r\n", false, "9.3.1.9"},
        {"9.3.1.9", "[VEMRA]\r\nVERSION=9.3.1.9\r\n", false, "9.3.1.9"},
        {"9.3.1.9", "[VEMRA]\r\nVERSION=10.0.0.0\r\n", true, "10.0.0.0"},
        {"9.3.1.9", "[VEMRA]\r\nVERSION=new\r\n", false, "new"},  // malformed: 0, never newer
        {"9.3.1.9", "[OTHER]\r\nVERSION=10.0.0.0\r\n", false, ""},
        {"9.3.1.9", "", false, ""},
    };
    for (const auto& c : cases) {
        ProgramVersion = c.running;
        PublishVersion(c.body);
        std::string version = "stale";
        EXPECT_EQ(dm.CheckNewVersion(version), c.newer) << c.running << " / " << c.body;
        EXPECT_EQ(version, c.published) << c.body;
    }
}

TEST_F(UpdaterTest, TheBusyStateSwitchesTheConverterOffAndBack) {
    conv.SetSwitchedOn(true);
    auto* button = new QPushButton(windows.main.get());
    button->setCursor(Qt::PointingHandCursor);
    QWidget propertiesWindow;
    auto* update = new QPushButton(&propertiesWindow);
    update->setObjectName(QStringLiteral("btUpd"));
    auto* updateAll = new QAction(&propertiesWindow);
    updateAll->setObjectName(QStringLiteral("btUpdAll"));
    windows.properties = &propertiesWindow;
    dm.StartUpdater();

    dm.SetBusyState(true);
    EXPECT_FALSE(conv.SwitchedOn());
    EXPECT_TRUE(dm.IsBusy());
    EXPECT_EQ(Subs()->property("Tag").toInt(), 1);
    EXPECT_TRUE(Subs()->isHidden());
    EXPECT_EQ(StatusPanel()->text(), QStringLiteral("Updating rates"));
    EXPECT_FALSE(windows.hintAttached);
    EXPECT_EQ(windows.main->cursor().shape(), Qt::WaitCursor);
    EXPECT_EQ(button->cursor().shape(), Qt::WaitCursor);
    EXPECT_EQ(update->cursor().shape(), Qt::WaitCursor);
    EXPECT_FALSE(update->isEnabled());
    EXPECT_FALSE(updateAll->isEnabled());
    EXPECT_FALSE(dm.Updater->isActive());
    EXPECT_NE(InetSession(), nullptr);
    // A second run does not start while one is going on.
    PublishVersion("[VEMRA]\r\nVERSION=99.0.0.0\r\n");
    dm.UpdaterTimer(dm.Updater);
    EXPECT_EQ(VersionRequests(), 0);
    EXPECT_FALSE(dm.Updater->isActive());

    dm.SetBusyState(false);
    EXPECT_TRUE(conv.SwitchedOn());
    EXPECT_FALSE(dm.IsBusy());
    EXPECT_EQ(Subs()->property("Tag").toInt(), 0);
    EXPECT_TRUE(StatusPanel()->text().isEmpty());
    EXPECT_TRUE(windows.hintAttached);
    EXPECT_EQ(windows.savedSettings, std::vector<int>{0});
    EXPECT_EQ(windows.main->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(button->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(update->testAttribute(Qt::WA_SetCursor));
    EXPECT_TRUE(update->isEnabled());
    EXPECT_TRUE(updateAll->isEnabled());
    EXPECT_TRUE(dm.Updater->isActive());
    EXPECT_GE(dm.Updater->interval(), 300000);
    EXPECT_EQ(InetSession(), nullptr);

    // A converter that was off stays off.
    conv.SetSwitchedOn(false);
    dm.SetBusyState(true);
    dm.SetBusyState(false);
    EXPECT_FALSE(conv.SwitchedOn());
    windows.properties = nullptr;
}

// ---- what a result code leads to ----

class ProcessRateUpdateTest : public UpdaterTest {
protected:
    void SetUp() override {
        Install("ECB", kEcbLibrary, EcbUrl(), "2024.01.16 16:05:00");
        std::filesystem::remove(Tdm::UpdateLogPath());
    }
    // "Data.vmr" of the source as a download leaves it, and the day's name for it.
    void Downloaded(const std::string& code, TDateTime day, const std::string& data) {
        ReplaceText(EcbFolder() + "/Data.vmr", "[VMR]\r\nPROVIDER=Test\r\nCODE=" + code + "\r\nDATE=" +
                                                   FormatDateStamp(day) +
                                                   "\r\nBASE=EUR\r\nFACTOR=1\r\nLOGIC=1XNY\r\nTYPE=DATA\r\n\r\n[DATA]\r\n" +
                                                   data);
        dm.DatedRateFile = DatedRateFileName("ECB", EcbFolder(), day);
    }
    static constexpr const char* kAllChecked = "USD=1.1\r\nJPY=160\r\nGBP=0.86\r\nCHF=0.94\r\n";
};

TEST_F(ProcessRateUpdateTest, FailureCodesLogTheirLineAndTheOthersNothing) {
    const struct {
        std::uint8_t code;
        std::vector<std::string> log;
    } cases[] = {
        {0, {}},
        {2, {"ECB : ERROR PARSING DATE"}},
        {3, {}},
        {4, {"ECB : NO INTERNET"}},
        {5, {}},
        {6, {"ECB : ERROR PARSING HTML"}},
        {7, {"ECB : VALUE/S MISSING"}},
        {8, {}},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(Tdm::UpdateLogPath());
        const int refreshed = windows.sourcePageRefreshed;
        dm.ProcessRateUpdate(c.code, true, false);
        EXPECT_EQ(LogTexts(), c.log) << int(c.code);
        EXPECT_EQ(windows.sourcePageRefreshed, refreshed + 1) << int(c.code);
    }
    EXPECT_TRUE(Boxes.empty());
    EXPECT_TRUE(Popups().empty());

    // Code 4 says what the download met; one given up because the program quits says nothing.
    const std::pair<const char*, std::vector<std::string>> failures[] = {
        {"Could not connect to server", {"ECB : NO INTERNET"}},
        {"redirect refused: Protocol \"file\" not supported", {"ECB : REDIRECT REFUSED"}},
        {"too large", {"ECB : TOO LARGE"}},
        {"cancelled", {}},
    };
    for (const auto& [failure, log] : failures) {
        std::filesystem::remove(Tdm::UpdateLogPath());
        dm.DownloadFailure = failure;
        dm.ProcessRateUpdate(4, true, false);
        EXPECT_EQ(LogTexts(), log) << failure;
    }
    dm.DownloadFailure.clear();

    // Code 1 tells the user unless quiet.
    std::filesystem::remove(Tdm::UpdateLogPath());
    dm.ProcessRateUpdate(1, true, true);
    EXPECT_EQ(LogTexts(), std::vector<std::string>{"ERROR LOADING: " + AppData + "/ECB.so"});
    EXPECT_TRUE(Boxes.empty());
    dm.ProcessRateUpdate(1, true, false);
    EXPECT_EQ(Boxes, std::vector<std::string>{"Missing: " + AppData + "/ECB.so"});
}

TEST_F(ProcessRateUpdateTest, ANewDayIsFiledReadOnlyAndRecorded) {
    Downloaded("ECB", EncodeDate(2024, 1, 17), kAllChecked);
    dm.ProcessRateUpdate(9, false, false);
    const std::string dated = EcbFolder() + "/2024.01.17-ECB.vmr";
    ASSERT_TRUE(FileExists(dated));
    struct stat st {};
    ASSERT_EQ(::stat(dated.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    EXPECT_EQ(ReadText(dated), ReadText(EcbFolder() + "/Data.vmr"));
    THTMLConverterPlugInn& ecb = *man.CurrentPlugin();
    EXPECT_EQ(ecb.GetPluginValue(pvLastUpdate), "2024.01.17 18:00:00");  // the file's day, now's time
    EXPECT_EQ(man.LastRateFile(ecb), dated);
    EXPECT_FALSE(ecb.Modified);  // written back to the store
}

TEST_F(ProcessRateUpdateTest, ANewDayWithoutCodeIsRecordedTooButAFileThatIsNotThereIsNot) {
    Downloaded("", EncodeDate(2024, 1, 17), kAllChecked);
    dm.ProcessRateUpdate(9, false, true);
    const std::string dated = EcbFolder() + "/2024.01.17-ECB.vmr";
    ASSERT_TRUE(FileExists(dated));
    THTMLConverterPlugInn& ecb = *man.CurrentPlugin();
    EXPECT_EQ(ecb.GetPluginValue(pvLastUpdate), "2024.01.17 18:00:00");
    EXPECT_EQ(man.LastRateFile(ecb), dated);

    // No "Data.vmr" to file: the day is not there, and nothing points at it.
    std::filesystem::remove(EcbFolder() + "/Data.vmr");
    dm.DatedRateFile = DatedRateFileName("ECB", EcbFolder(), EncodeDate(2024, 1, 18));
    dm.ProcessRateUpdate(9, false, true);
    EXPECT_EQ(ecb.GetPluginValue(pvLastUpdate), "2024.01.17 18:00:00");
    EXPECT_EQ(man.LastRateFile(ecb), dated);
}

TEST_F(ProcessRateUpdateTest, ADayFileAlreadyThereIsNeverReplaced) {
    // The schedule reports a day whose file is here with code 9; "Data.vmr" is an older download.
    const std::string kept = WriteDayFile(EcbFolder(), "ECB", EncodeDate(2024, 1, 17), "USD=9.9\r\n");
    Downloaded("ECB", EncodeDate(2024, 1, 15), kAllChecked);
    dm.DatedRateFile = kept;
    dm.ProcessRateUpdate(9, true, false);
    EXPECT_NE(ReadText(kept).find("USD=9.9"), std::string::npos);
    EXPECT_NE(ReadText(kept).find("DATE=2024.01.17"), std::string::npos);
}

TEST_F(ProcessRateUpdateTest, MissingCheckListCodesWarnEvenWhenQuiet) {
    for (const bool quiet : {true, false}) {
        std::filesystem::remove(Tdm::UpdateLogPath());
        std::filesystem::remove(EcbFolder() + "/2024.01.17-ECB.vmr");
        Boxes.clear();
        for (TVMRInfo* popup : std::vector<TVMRInfo*>(TVMRInfo::OpenPopups())) delete popup;
        Downloaded("ECB", EncodeDate(2024, 1, 17), "USD=1.1\r\nJPY=160\r\n");
        dm.ProcessRateUpdate(9, false, quiet);
        EXPECT_EQ(Boxes, std::vector<std::string>{"Warning: 2 missing in 2024.01.17-ECB.vmr.\r\n"
                                                  "Check log for more information."})
            << "quiet " << quiet;
        EXPECT_EQ(LogTexts(), std::vector<std::string>{"ECB : NOTIFIED : " + EcbFolder() + "/2024.01.17-ECB.vmr" +
                                                       " \xC2\xA1" "ALERT! GBP,CHF MISSING"})
            << "quiet " << quiet;
        EXPECT_TRUE(FileExists(EcbFolder() + "/2024.01.17-ECB.vmr"));  // the file is kept
        EXPECT_EQ(Popups().size(), quiet ? 0u : 1u);
    }
}

TEST_F(ProcessRateUpdateTest, AReloadThatFailsIsToldOnlyWhenQuiet) {
    for (const bool quiet : {false, true}) {
        LoadEarlierDay("ECB", EncodeDate(2024, 1, 16));
        std::filesystem::remove(EcbFolder() + "/2024.01.17-ECB.vmr");
        Boxes.clear();
        // No base currency known: the load fails.
        ReplaceText(EcbFolder() + "/Data.vmr",
                    "[VMR]\r\nPROVIDER=Test\r\nCODE=ECB\r\nDATE=2024.01.17\r\nBASE=QQQ\r\nFACTOR=1\r\nLOGIC=1XNY\r\n"
                    "TYPE=DATA\r\n\r\n[DATA]\r\nUSD=1.1\r\nJPY=160\r\nGBP=0.86\r\nCHF=0.94\r\n");
        dm.DatedRateFile = EcbFolder() + "/2024.01.17-ECB.vmr";
        dm.ProcessRateUpdate(9, true, quiet);
        const bool told = std::find(Boxes.begin(), Boxes.end(), "Rates not loaded") != Boxes.end();
        EXPECT_EQ(told, quiet) << "quiet " << quiet;
        EXPECT_EQ(windows.listsRefilled, 0);
    }
}

// The four conditions of a reload after code 9, one broken at a time.
struct ReloadCase {
    const char* name;
    bool selected;
    const char* loadedCode;   // the source of the day loaded in the converter
    int loadedDay;            // its day in January 2024
    const char* newCode;      // CODE of the new file
    int windowMode;
    bool reload;
};

void PrintTo(const ReloadCase& c, std::ostream* os) { *os << c.name; }

class ReloadDecisionTest : public ProcessRateUpdateTest, public ::testing::WithParamInterface<ReloadCase> {};

TEST_P(ReloadDecisionTest, ReloadsOnlyWhenAllFourConditionsHold) {
    const ReloadCase& c = GetParam();
    std::filesystem::create_directories(env.File("loaded"));
    const std::string loadedFile =
        WriteDayFile(env.File("loaded"), c.loadedCode, EncodeDate(2024, 1, c.loadedDay), "USD=1.5\r\n");
    ASSERT_TRUE(LoadRateFile(conv.Currencies(), loadedFile));
    const double loadedUsd = RateOf("USD");
    windows.trayTip.clear();
    windows.windowMode = c.windowMode;
    Downloaded(c.newCode, EncodeDate(2024, 1, 17), kAllChecked);
    dm.ProcessRateUpdate(9, c.selected, false);

    const std::string dated = EcbFolder() + "/2024.01.17-ECB.vmr";
    EXPECT_EQ(LogTexts(), std::vector<std::string>{"ECB : " + std::string(c.reload ? "UPDATED : " : "NOTIFIED : ") + dated});
    EXPECT_EQ(conv.Currencies().DateText, c.reload ? "2024.01.17" : FormatDateStamp(EncodeDate(2024, 1, c.loadedDay)));
    EXPECT_DOUBLE_EQ(RateOf("USD"), c.reload ? 1.1f : loadedUsd);
    EXPECT_EQ(windows.trayTip.empty(), !c.reload);
    EXPECT_EQ(windows.listsRefilled, c.reload ? 1 : 0);
    EXPECT_EQ(windows.propertiesRefreshed, c.reload ? 1 : 0);
    // Told either way (not quiet).
    const std::vector<std::string> popups = Popups();
    ASSERT_EQ(popups.size(), 1u);
    EXPECT_NE(popups[0].find("2024.01.17-ECB.vmr"), std::string::npos);
    EXPECT_NE(popups[0].find("European Central Bank"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Code9, ReloadDecisionTest,
    ::testing::Values(ReloadCase{"AllHold", true, "ECB", 16, "ECB", 0, true},
                      ReloadCase{"AnotherSourceIsSelected", false, "ECB", 16, "ECB", 0, false},
                      ReloadCase{"TheConverterHoldsAnotherSource", true, "CBR", 16, "ECB", 0, false},
                      ReloadCase{"TheFileNamesAnotherSource", true, "CBR", 16, "CBR", 0, false},
                      ReloadCase{"TheLoadedDayIsNotEarlier", true, "ECB", 17, "ECB", 0, false},
                      ReloadCase{"TheBalloonIsShowing", true, "ECB", 16, "ECB", 1, false},
                      ReloadCase{"TheMainWindowIsShowing", true, "ECB", 16, "ECB", 2, false}),
    [](const ::testing::TestParamInfo<ReloadCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace vemra::test
