// The progress family: the on-demand rate download and the file download list.

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "MessageNumbers.h"
#include "NetUtils.h"
#include "SmallWindowsTestSupport.h"
#include "VMRDownloadForm.h"
#include "VMRMessageForm.h"
#include "VMROnDemandForm.h"
#include "dm.h"
#include "support/HttpTestServer.h"
#include "rtl/SysUtils.h"
#include "support/TestUtils.h"

namespace vemra::test {
namespace {

const std::map<int, std::string> kOnDemandTexts = {
    {msg::OnDemandDayFetched, "%s fetched"},
    {msg::OnDemandDayFailed, "%s failed"},
    {msg::OnDemandSummary, "%d fetched, %d failed"},
    {msg::OnDemandFetching, "Fetching "},
};

// Days 45293.. are 2024-01.02..; the fake names each day's file by its number.
class FakeRates : public IOnDemandRates {
public:
    std::string DayRateFileName(TDateTime day) override {
        return "/pub/ECB/day" + std::to_string(static_cast<int>(day)) + ".vmr";
    }
    std::uint8_t DownloadRates(TDateTime day) override {
        attempts.push_back(static_cast<int>(day));
        if (onAttempt) onAttempt(static_cast<int>(day));
        return static_cast<int>(day) == failingDay ? 4 : 9;
    }
    void ProcessRateUpdate(std::uint8_t code, bool isSelected, bool quiet) override {
        processed.push_back({code, isSelected, quiet});
    }

    struct Processed {
        std::uint8_t code;
        bool isSelected;
        bool quiet;
    };
    int failingDay = -1;
    std::function<void(int)> onAttempt;
    std::vector<int> attempts;
    std::vector<Processed> processed;
};

TStringList Lines(std::initializer_list<std::string> lines) {
    TStringList list;
    for (const auto& line : lines) list.Add(line);
    return list;
}

std::vector<std::string> ItemTexts(const QTreeWidget& list) {
    std::vector<std::string> texts;
    for (int i = 0; i < list.topLevelItemCount(); ++i) texts.push_back(list.topLevelItem(i)->text(0).toStdString());
    return texts;
}

bool WorkDone(TVMRProgress& window) { return window.Tag == 1 && !window.Working; }

class OnDemandTest : public ::testing::Test {
protected:
    void SetUp() override { SmallWindowsApp(); }
    FakeMessages messages{kOnDemandTexts};
    FakeRates rates;
};

TEST_F(OnDemandTest, ThreeDaysWithTheSecondFailingListNewestFirstAndSumUp) {
    rates.failingDay = 45294;
    std::vector<std::string> items;
    std::string label;
    bool cancelShown = true;
    int gauge = -1;
    WhenModal<TVMROnDemand>(WorkDone, [&](TVMROnDemand& window) {
        items = ItemTexts(*window.lvItems);
        label = window.lbFile->text().toStdString();
        cancelShown = window.btKo->isVisible();
        gauge = window.FBar->value();
        EXPECT_EQ(window.lvItems->columnWidth(0), 333);
        EXPECT_TRUE(window.isVisible()) << "the window waits for its Close button";
        window.btOk->click();
    });
    RunOnDemandDownload(Lines({"45293", "45294", "45295"}), rates);

    EXPECT_EQ(items, (std::vector<std::string>{"day45295.vmr fetched", "day45294.vmr failed", "day45293.vmr fetched"}));
    EXPECT_EQ(label, "2 fetched, 1 failed");
    EXPECT_FALSE(cancelShown);
    EXPECT_EQ(gauge, 3);
    EXPECT_EQ(rates.attempts, (std::vector<int>{45293, 45294, 45295}));
    ASSERT_EQ(rates.processed.size(), 2u) << "only the written files are processed";
    for (const auto& p : rates.processed) {
        EXPECT_EQ(p.code, 9);
        EXPECT_TRUE(p.isSelected);
        EXPECT_TRUE(p.quiet);
    }
    EXPECT_EQ(InetSession(), nullptr) << "the session is closed after the run";
}

TEST_F(OnDemandTest, CancelKeepsTheDaysDoneAndEmptiesTheFileLabel) {
    // The user presses Cancel while the second day downloads.
    rates.onAttempt = [](int day) {
        if (day != 45294) return;
        if (auto* window = qobject_cast<TVMROnDemand*>(QApplication::activeModalWidget())) window->btKo->click();
    };
    std::vector<std::string> items;
    std::string label = "unchanged";
    bool stillOpen = false;
    WhenModal<TVMROnDemand>(WorkDone, [&](TVMROnDemand& window) {
        items = ItemTexts(*window.lvItems);
        label = window.lbFile->text().toStdString();
        stillOpen = window.isVisible();
        window.btOk->click();
    });
    RunOnDemandDownload(Lines({"45293", "45294", "45295"}), rates);

    EXPECT_TRUE(stillOpen) << "Cancel only stops the work";
    EXPECT_EQ(rates.attempts, (std::vector<int>{45293, 45294}));
    EXPECT_EQ(items, (std::vector<std::string>{"day45294.vmr fetched", "day45293.vmr fetched"}));
    EXPECT_EQ(label, "");
}

TEST_F(OnDemandTest, CloseDuringTheWorkWaitsForItsEnd) {
    rates.onAttempt = [](int day) {
        if (day != 45293) return;
        if (auto* window = qobject_cast<TVMROnDemand*>(QApplication::activeModalWidget())) window->btOk->click();
    };
    RunOnDemandDownload(Lines({"45293", "45294"}), rates);
    EXPECT_EQ(rates.attempts, (std::vector<int>{45293, 45294}));
}

TEST(SmallWindowsLanguageTest, TextsAndCaptionsComeFromTheLoadedLanguageFile) {
    DmFixture fixture;
    std::string text = "[Messages]\n";
    for (int i = 0; i <= msg::OnDemandFetching; ++i) {
        const std::map<int, std::string> texts = {{msg::OnDemandDayFetched, "Got %s"},
                                                  {msg::OnDemandDayFailed, "Missing %s"},
                                                  {msg::OnDemandSummary, "%d got, %d missing"},
                                                  {msg::OnDemandFetching, "Getting_"}};
        const auto found = texts.find(i);
        text += "m" + std::to_string(i) + "=" + (found != texts.end() ? found->second : "") + "\n";
    }
    text += "[TVMRONDEMAND]\nbtKo:Caption=Stop\nbtOk:Caption=Done\n";
    fixture.WriteLanguageFile("T.lib", text);
    fixture.Dm().LoadMessageTable(fixture.folder / "T.lib");

    FakeRates rates;
    rates.failingDay = 45293;
    std::string fetching;
    rates.onAttempt = [&](int) {
        if (auto* window = qobject_cast<TVMROnDemand*>(QApplication::activeModalWidget()))
            fetching = window->lbFile->text().toStdString();
    };
    std::vector<std::string> items;
    std::string label, close, cancel;
    WhenModal<TVMROnDemand>(WorkDone, [&](TVMROnDemand& window) {
        items = ItemTexts(*window.lvItems);
        label = window.lbFile->text().toStdString();
        close = window.btOk->text().toStdString();
        cancel = window.btKo->text().toStdString();
        window.btOk->click();
    });
    RunOnDemandDownload(Lines({"45293", "45294"}), rates);
    EXPECT_EQ(fetching, "Getting day45294.vmr");
    EXPECT_EQ(items, (std::vector<std::string>{"Got day45294.vmr", "Missing day45293.vmr"}));
    EXPECT_EQ(label, "1 got, 1 missing");
    EXPECT_EQ(close, "Done");
    EXPECT_EQ(cancel, "Stop");
}

// ---- the download list ----

class DownloadListTest : public ::testing::Test {
protected:
    void SetUp() override { SmallWindowsApp(); }

    static std::string Body(std::size_t size) {
        std::string body(size, 'x');
        for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<char>('a' + i % 26);
        return body;
    }
    std::string Line(const std::string& path, const std::string& target) const {
        return "ECB|RAR|History File|" + server.Url(path) + "|" + target;
    }

    HttpTestServer server;
    TempFolder folder{"vemra-download"};
};

TEST_F(DownloadListTest, FetchesEveryFileAndClosesByItself) {
    const std::string known = Body(5000), unknown = Body(3000);
    server.Route("/known.zip", HttpResponse{.body = known});
    server.Route("/unknown.zip", HttpResponse{.body = unknown, .framing = BodyFraming::CloseDelimited});
    WriteText(folder / "known.zip", "the old copy");

    const int fetched =
        RunDownloadList(Lines({Line("/known.zip", folder / "known.zip"), Line("/unknown.zip", folder / "unknown.zip")}), false);

    EXPECT_EQ(fetched, 2);
    EXPECT_EQ(ReadText(folder / "known.zip"), known);
    EXPECT_EQ(ReadText(folder / "unknown.zip"), unknown);
    EXPECT_EQ(FolderEntries(folder.path()), (std::vector<std::string>{"known.zip", "unknown.zip"}));
}

// History files have a larger bound than rate pages; a session opened before the download
// is left open for whoever opened it.
TEST_F(DownloadListTest, AHistoryLargerThanAPageArrivesAndAHeldSessionStaysOpen) {
    server.Route("/history.csv", HttpResponse{.generatedBytes = 20u << 20});
    ASSERT_TRUE(InetOpenSession());
    const TInetSessionRec* held = InetSession();
    EXPECT_EQ(RunDownloadList(Lines({Line("/history.csv", folder / "history.csv")}), false), 1);
    EXPECT_EQ(std::filesystem::file_size(folder / "history.csv"), 20u << 20);
    EXPECT_EQ(InetSession(), held);
    InetCloseSession();
}

TEST_F(DownloadListTest, CountingFilesTheGaugeCountsThem) {
    server.Route("/a", HttpResponse{.body = "A"});
    server.Route("/b", HttpResponse{.body = "B"});
    int maximum = -1;
    WhenModal<TVMRDownload>(WorkDone, [&](TVMRDownload& window) { maximum = window.FBar->maximum(); });
    EXPECT_EQ(RunDownloadList(Lines({Line("/a", folder / "a"), Line("/b", folder / "b")}), true), 2);
    EXPECT_EQ(maximum, 2);
}

struct ProgressCase {
    const char* name;
    int total;
    int done;
    int maximum;
};
void PrintTo(const ProgressCase& c, std::ostream* os) { *os << c.name; }

class DownloadProgressTest : public ::testing::TestWithParam<ProgressCase> {
protected:
    void SetUp() override { SmallWindowsApp(); }
};

TEST_P(DownloadProgressTest, GaugeFollowsTheCallback) {
    std::unique_ptr<TVMRDownload> window(TVMRMsg::Create<TVMRDownload>());
    window->DownloadProgress(GetParam().total, GetParam().done);
    EXPECT_EQ(window->FBar->maximum(), GetParam().maximum);
    EXPECT_EQ(window->FBar->value(), GetParam().done);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, DownloadProgressTest,
    ::testing::Values(ProgressCase{"UnknownSizeFirstBlock", 0, 1, 20}, ProgressCase{"UnknownSizeBlock19", 0, 19, 20},
                      ProgressCase{"UnknownSizeBlock20", 0, 20, 40}, ProgressCase{"UnknownSizeBlock45", -1, 45, 60},
                      ProgressCase{"KnownSize", 5000, 1024, 5000}, ProgressCase{"KnownSizeDone", 5000, 5000, 5000}),
    [](const ::testing::TestParamInfo<ProgressCase>& p) { return std::string(p.param.name); });

TEST_F(DownloadListTest, ByteProgressReachesTheGauge) {
    server.Route("/big", HttpResponse{.body = Body(10000)});
    // The gauge's range after the download tells what the callback last reported.
    int maximum = -1;
    WhenModal<TVMRDownload>(WorkDone, [&](TVMRDownload& window) { maximum = window.FBar->maximum(); });
    EXPECT_EQ(RunDownloadList(Lines({Line("/big", folder / "big")}), false), 1);
    EXPECT_EQ(maximum, 10000);
}

TEST_F(DownloadListTest, LinesWithFewerThanFiveWordsGiveEmptyAddressesOrFiles) {
    server.Route("/a", HttpResponse{.body = "A"});
    std::vector<std::string> addresses, files;
    WhenModal<TVMRDownload>(WorkDone, [&](TVMRDownload& window) {
        for (const auto& item : window.Addresses.Items()) addresses.push_back(item.str);
        for (const auto& item : window.Files.Items()) files.push_back(item.str);
    });
    const int fetched = RunDownloadList(Lines({"ECB|RAR|History", "ECB|RAR||History|" + server.Url("/a")}), true);
    EXPECT_EQ(fetched, 0);
    EXPECT_EQ(addresses, (std::vector<std::string>{"", server.Url("/a")}));
    EXPECT_EQ(files, (std::vector<std::string>{"", ""}));
}

TEST_F(DownloadListTest, AFailedDownloadKeepsTheOldFile) {
    WriteText(folder / "history.zip", "the old copy");
    const std::string line = "ECB|RAR|History File|http://127.0.0.1:" + std::to_string(HttpTestServer::ClosedPort()) +
                             "/h.zip|" + (folder / "history.zip");
    EXPECT_EQ(RunDownloadList(Lines({line}), false), 0);
    EXPECT_EQ(ReadText(folder / "history.zip"), "the old copy");
    EXPECT_EQ(FolderEntries(folder.path()), (std::vector<std::string>{"history.zip"}));
}

TEST_F(DownloadListTest, WithNoLinesTheWindowWaitsForTheUser) {
    bool timerStarted = true;
    bool open = false;
    WhenModal<TVMRDownload>(WorkDone, [&](TVMRDownload& window) {
        timerStarted = window.Tim->isActive();
        open = window.isVisible();
        window.btOk->click();
    });
    EXPECT_EQ(RunDownloadList(TStringList(), false), 0);
    EXPECT_FALSE(timerStarted);
    EXPECT_TRUE(open);
}

TEST_F(DownloadListTest, CancelStopsBeforeTheNextFile) {
    server.Route("/a", HttpResponse{.body = "A", .delay = std::chrono::milliseconds(50)});
    server.Route("/b", HttpResponse{.body = "B"});
    // Cancel is pressed while the first file comes in (its progress lets events run).
    bool pressed = false;
    WhenModal<TVMRDownload>([](TVMRDownload& window) { return window.Working; },
                            [&](TVMRDownload& window) {
                                window.btKo->click();
                                pressed = true;
                            });
    const int fetched = RunDownloadList(Lines({Line("/a", folder / "a"), Line("/b", folder / "b")}), false);
    ASSERT_TRUE(pressed);
    EXPECT_EQ(fetched, 1);
    EXPECT_FALSE(FileExists(folder / "b"));
}

// ---- one download operation at a time ----

// The real data module beside the downloads of the two windows, with a hand that closes its
// message boxes and records their texts.
class DownloadOperationTest : public DownloadListTest {
protected:
    void SetUp() override {
        DownloadListTest::SetUp();
        // The table is read by position: every number up to 125, most of them empty.
        std::string table = "[Messages]\r\nM0=ENG\r\n";
        for (int number = 1; number <= msg::DownloadRunning; ++number)
            table += "M" + std::to_string(number) + "=" + (number == msg::DownloadRunning ? "A download runs" : "") + "\r\n";
        fixture.WriteLanguageFile("ENG.lib", table);
        fixture.Dm().LoadMessageTable(fixture.folder / "ENG.lib");
        fixture.Dm().ConnectionTest = [] { return true; };
        boxCloser.setInterval(5);
        QObject::connect(&boxCloser, &QTimer::timeout, [this] {
            if (MsgBox == nullptr || !MsgBox->isVisible()) return;
            boxes.push_back(MsgBox->lbMsg->text().toStdString());
            MsgBox->btKo->click();
        });
        boxCloser.start();
    }
    std::string Log() const { return FileExists(Tdm::UpdateLogPath()) ? ReadText(Tdm::UpdateLogPath()) : ""; }
    // The update timer fires while the download waits; its run is to follow the end.
    void TimerFires() {
        fixture.Dm().UpdaterTimer(fixture.Dm().Updater);
        EXPECT_TRUE(fixture.Dm().UpdateWaiting());
        EXPECT_FALSE(fixture.Dm().Updater->isActive());
        EXPECT_TRUE(fixture.Dm().IsBusy());
    }
    void ExpectTheRunFollows() {
        EXPECT_FALSE(fixture.Dm().UpdateWaiting());
        EXPECT_TRUE(fixture.Dm().Updater->isActive());
        EXPECT_EQ(fixture.Dm().Updater->interval(), Tdm::kUpdaterDesignInterval);
        EXPECT_NE(Log().find("UPDATE WAITS FOR THE RUNNING DOWNLOAD"), std::string::npos) << Log();
        EXPECT_EQ(Log().find("NO INTERNET"), std::string::npos) << Log();
        EXPECT_FALSE(fixture.Dm().IsBusy());
        EXPECT_EQ(InetSession(), nullptr) << "the download's own session is closed at its end";
    }
    DmFixture fixture;
    QTimer boxCloser;
    std::vector<std::string> boxes;
};

// The timer's update run neither takes nor closes the session of a history download that
// waits for its server: the history arrives, and the run follows once it has.
TEST_F(DownloadOperationTest, TheUpdateTimerWaitsForAHistoryDownload) {
    const auto ran = AnswerAfter(server, "/history.csv", HttpResponse{.body = "history"}, [this] { TimerFires(); });
    fixture.Dm().ScheduleUpdater();
    EXPECT_EQ(RunDownloadList(Lines({Line("/history.csv", folder / "history.csv")}), false), 1);
    EXPECT_EQ(ran(), 1);
    EXPECT_EQ(ReadText(folder / "history.csv"), "history");
    ExpectTheRunFollows();
    EXPECT_TRUE(boxes.empty());
}

// The same for the days of a month that the on-demand window fetches.
TEST_F(DownloadOperationTest, TheUpdateTimerWaitsForAnOnDemandDownload) {
    FakeMessages messages{kOnDemandTexts};
    FakeRates rates;
    bool fetched = false;
    rates.onAttempt = [&](int) { fetched = InetDownloadToFile(server.Url("/day.xml"), folder / "day.xml"); };
    const auto ran = AnswerAfter(server, "/day.xml", HttpResponse{.body = "day"}, [this] { TimerFires(); });
    WhenModal<TVMROnDemand>(WorkDone, [](TVMROnDemand& window) { window.btOk->click(); });
    fixture.Dm().ScheduleUpdater();
    RunOnDemandDownload(Lines({"45293"}), rates);
    EXPECT_EQ(ran(), 1);
    EXPECT_TRUE(fetched);
    ExpectTheRunFollows();
}

// While one operation runs, a history or on-demand download and an update run that the user
// asks for are refused with message 125, and change nothing of the running one.
TEST_F(DownloadOperationTest, DownloadsAskedForWhileOneRunsAreRefusedAndTold) {
    FakeRates rates;
    fixture.Dm().SetBusyState(true);  // an update run
    const TInetSessionRec* session = InetSession();
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(RunDownloadList(Lines({Line("/history.csv", folder / "history.csv")}), false), 0);
    RunOnDemandDownload(Lines({"45293"}), rates);
    EXPECT_EQ(InetSession(), session);
    fixture.Dm().SetBusyState(false);
    EXPECT_EQ(InetSession(), nullptr);

    server.Route("/other.csv", HttpResponse{.body = "other"});
    AnswerAfter(server, "/history.csv", HttpResponse{.body = "history"}, [&] {
        fixture.Dm().UpdaterTimer(nullptr);  // "Update all"
        RunOnDemandDownload(Lines({"45293"}), rates);
        EXPECT_EQ(RunDownloadList(Lines({Line("/other.csv", folder / "other.csv")}), false), 0);
    });
    EXPECT_EQ(RunDownloadList(Lines({Line("/history.csv", folder / "history.csv")}), false), 1);
    EXPECT_TRUE(rates.attempts.empty());
    EXPECT_FALSE(FileExists(folder / "other.csv"));
    EXPECT_FALSE(fixture.Dm().UpdateWaiting());
    EXPECT_EQ(boxes, std::vector<std::string>(5, "A download runs"));
}

}  // namespace
}  // namespace vemra::test
