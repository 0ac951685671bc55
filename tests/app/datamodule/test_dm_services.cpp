// The data module's update log, message boxes, notification popups and small services.

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <ostream>

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <sys/stat.h>

#include "DmTestSupport.h"
#include "VMRInfoForm.h"
#include "VMRMessageForm.h"
#include "rtl/DateUtils.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra {
namespace {

using test::DmFixture;

TDateTime At(int y, int mo, int d, int h, int mi, int s) { return EncodeDate(y, mo, d) + EncodeTime(h, mi, s, 0); }

// ---- update log ----

class UpdateLogTest : public ::testing::Test, protected DmFixture {
protected:
    std::string Log() { return test::ReadText(Tdm::UpdateLogPath()); }
};

TEST_F(UpdateLogTest, OnlyTheUpdateTagIsWrittenAndLinesAreAppended) {
    Dm().WriteLogLineAt("VMR", "LOAD_DATA: dropped", At(2024, 1, 2, 9, 5, 7));
    EXPECT_FALSE(FileExists(Tdm::UpdateLogPath()));
    Dm().WriteLogLineAt("UPD", "first", At(2024, 1, 2, 9, 5, 7));
    Dm().WriteLogLineAt("UPD", "second", At(2024, 12, 31, 23, 59, 58));
    EXPECT_EQ(Log(), "2024.01.02 09:05:07 - first\r\n2024.12.31 23:59:58 - second\r\n");
    EXPECT_EQ(ExtractFilePath(Tdm::UpdateLogPath()), IncludeTrailingPathDelimiter(PubData));
}

TEST_F(UpdateLogTest, UpdateCheckLineHasTheCheckFormat) {
    Dm().LogUpdateCheck("ECB", -3, At(2024, 1, 2, 9, 5, 7), At(2024, 1, 2, 16, 0, 0), false);
    Dm().LogUpdateCheck("FED", 1, At(2024, 1, 3, 0, 0, 0), At(2024, 1, 2, 22, 30, 0), true);
    const std::vector<std::string> lines = SplitLines(Log());
    ASSERT_GE(lines.size(), 2u);
    ASSERT_EQ(lines[0].size() > 22, true);
    EXPECT_EQ(lines[0].substr(19, 3), " - ");
    EXPECT_EQ(lines[0].substr(22),
              "ECB : CHECK 2024.01.02 09:05:07 (LOCAL UT) > 2024.01.02 16:00:00 (SUB. UT-3 TIMEZONE) -> NO");
    EXPECT_EQ(lines[1].substr(22),
              "FED : CHECK 2024.01.03 00:00:00 (LOCAL UT) > 2024.01.02 22:30:00 (SUB. UT+1 TIMEZONE) -> YES");
}

TEST_F(UpdateLogTest, CurrentTimeStampsTheLine) {
    const TDateTime before = Now();
    Dm().WriteLogLine("UPD", "now");
    const std::string log = Log();
    ASSERT_GE(log.size(), 19u);
    const TDateTime stamped = ParseDateTimeStamp(log.substr(0, 19));
    EXPECT_NEAR(stamped, before, 5.0 / 86400);
}

TEST_F(UpdateLogTest, UnwritableLogRaisesAnInputOutputFault) {
    PubData = folder / "missing-folder";
    EXPECT_THROW(Dm().WriteLogLine("UPD", "x"), EInOutError);
}

// ---- message boxes ----

class MessageBoxTest : public ::testing::Test, protected DmFixture {
protected:
    void SetUp() override {
        std::string text = "[Messages]\n";
        for (int i = 0; i <= 26; ++i) text += "k" + std::to_string(i) + "=" + (i == 26 ? "Fine" : "x") + "\n";
        WriteLanguageFile("T.lib", text);
        Dm().LoadMessageTable(folder / "T.lib");
    }
    // Runs the action inside the modal loop of the box now open, once it is shown.
    static void WhenBoxShown(std::function<void()> action) {
        QTimer::singleShot(0, [action] {
            ASSERT_TRUE(test::WaitFor([] { return MsgBox && MsgBox->isVisible(); }));
            action();
        });
    }
};

TEST_F(MessageBoxTest, PlainMessageHasOneRightButtonCaptionedByMessage26) {
    QString caption;
    bool okVisible = true;
    WhenBoxShown([&] {
        caption = MsgBox->btKo->text();
        okVisible = MsgBox->btOk->isVisible();
        MsgBox->btKo->click();
    });
    Dm().ShowMessageText("hello");
    EXPECT_EQ(caption, "Fine");
    EXPECT_FALSE(okVisible);
    EXPECT_EQ(MsgBox, nullptr);
}

TEST_F(MessageBoxTest, SecondBoxClosesTheFirstWhichReturnsItsDefaultAnswer) {
    std::vector<std::string> order;
    QString secondText;
    WhenBoxShown([&] {
        WhenBoxShown([&] {
            secondText = MsgBox->lbMsg->text();
            MsgBox->btKo->click();
        });
        Dm().ShowMessageText("second");
        order.push_back("second returned");
    });
    Dm().ShowMessageText("first");
    order.push_back("first returned");
    EXPECT_EQ(secondText, "second");
    EXPECT_EQ(order, (std::vector<std::string>{"second returned", "first returned"}));
    EXPECT_EQ(MsgBox, nullptr);
}

TEST_F(MessageBoxTest, QuestionClosedByANewerBoxAnswersByCloseWithNo) {
    for (const bool closeWithNo : {true, false}) {
        WhenBoxShown([&] {
            WhenBoxShown([] { MsgBox->btKo->click(); });
            Dm().ShowMessageNumber(26);
        });
        EXPECT_EQ(Dm().AskMessageText("sure?", closeWithNo), !closeWithNo) << "closeWithNo " << closeWithNo;
    }
}

TEST_F(MessageBoxTest, QuestionAnswersYesAndNo) {
    WhenBoxShown([] { MsgBox->btOk->click(); });
    EXPECT_TRUE(Dm().AskMessageText("yes?", false));
    WhenBoxShown([] { MsgBox->btKo->click(); });
    EXPECT_FALSE(Dm().AskMessageText("no?", false));
}

// ---- notification popups ----

class NotificationTest : public ::testing::Test, protected DmFixture {
protected:
    void SetUp() override {
        WriteLanguageFile("T.lib", [] {
            std::string text = "[Messages]\n";
            for (int i = 0; i <= 73; ++i) text += "k" + std::to_string(i) + "=" + (i == 73 ? "Vemra_news" : "x") + "\n";
            return text;
        }());
        Dm().LoadMessageTable(folder / "T.lib");
    }
    void TearDown() override {
        for (TVMRInfo* popup : std::vector<TVMRInfo*>(TVMRInfo::OpenPopups())) popup->close();
        test::WaitFor([] { return TVMRInfo::OpenPopups().empty(); });
    }
    static QSize Screen() { return QGuiApplication::primaryScreen()->geometry().size(); }
};

TEST_F(NotificationTest, PopupsStackDownTheRightEdgeAndWrapAtTheBottom) {
    const int slotCount = (Screen().height() - 48) / 124;
    ASSERT_GE(slotCount, 3);
    for (int i = 0; i <= slotCount; ++i) Dm().ShowNotification("*", "n" + std::to_string(i));
    const auto& popups = TVMRInfo::OpenPopups();
    ASSERT_EQ(static_cast<int>(popups.size()), slotCount + 1);
    EXPECT_EQ(popups[0]->y(), 48);
    EXPECT_EQ(popups[1]->y(), 172);
    EXPECT_EQ(popups[2]->y(), 296);
    EXPECT_EQ(popups[static_cast<std::size_t>(slotCount)]->y(), 48);
    for (TVMRInfo* popup : popups) {
        EXPECT_EQ(popup->x(), Screen().width() - (248 + 32));
        EXPECT_EQ(popup->size(), QSize(248, 124));
        EXPECT_TRUE(popup->isVisible());
    }
}

struct PositionCase {
    const char* name;
    int openCount;
    QSize screen;
    QPoint expected;
};

void PrintTo(const PositionCase& c, std::ostream* os) { *os << c.name; }

class PopupPositionTest : public ::testing::TestWithParam<PositionCase> {};

TEST_P(PopupPositionTest, Places) {
    EXPECT_EQ(TVMRInfo::PopupPosition(GetParam().openCount, GetParam().screen, QSize(248, 124)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Screens, PopupPositionTest,
    ::testing::Values(PositionCase{"FirstAt48", 1, QSize(1024, 768), QPoint(744, 48)},
                      PositionCase{"ThirdAt296", 3, QSize(1024, 768), QPoint(744, 296)},
                      PositionCase{"LastSlotOf768", 5, QSize(1024, 768), QPoint(744, 544)},
                      PositionCase{"WrapsAfterFiveSlots", 6, QSize(1024, 768), QPoint(744, 48)},
                      PositionCase{"ScreenLowerThanAPopupHasOneSlot", 2, QSize(640, 100), QPoint(360, 48)}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(NotificationTest, DefaultTitleIsMessage73WithTheDesignColours) {
    Dm().ShowNotification("*", "Rates updated");
    TVMRInfo* popup = TVMRInfo::OpenPopups().back();
    EXPECT_EQ(popup->lbTitle->text(), "Vemra news");
    EXPECT_TRUE(popup->lbTitle->isVisible());
    EXPECT_EQ(popup->lbMsg->text(), "Rates updated");
    EXPECT_EQ(popup->Gradient->BeginColor, 0xFF8000);
    EXPECT_EQ(popup->Gradient->EndColor, 0x804000);
    EXPECT_EQ(popup->lbTitle->geometry().right(), 156 + 80 - 1);  // right edge kept
}

TEST_F(NotificationTest, OwnTitleUsesAquaAndAnEmptyTitleIsHidden) {
    Dm().ShowNotification("ECB", "new rates");
    TVMRInfo* popup = TVMRInfo::OpenPopups().back();
    EXPECT_EQ(popup->lbTitle->text(), "ECB");
    EXPECT_EQ(popup->Gradient->BeginColor, 0xFFFF00);
    EXPECT_EQ(popup->Gradient->EndColor, 0x804000);
    Dm().ShowNotification("", "untitled");
    EXPECT_FALSE(TVMRInfo::OpenPopups().back()->lbTitle->isVisible());
}

TEST_F(NotificationTest, PopupClosesWhenItsTimerFiresAndLeavesTheList) {
    Dm().ShowNotification("*", "short");
    TVMRInfo* popup = TVMRInfo::OpenPopups().back();
    EXPECT_TRUE(popup->InfoTimer->isActive());
    EXPECT_EQ(popup->InfoTimer->interval(), 5000);
    EXPECT_TRUE(popup->InfoTimer->isSingleShot());
    popup->InfoTimer->start(1);
    EXPECT_TRUE(test::WaitFor([] { return TVMRInfo::OpenPopups().empty(); }));
}

// ---- sounds ----

class DmHostTest : public ::testing::Test, protected DmFixture {};

TEST_F(DmHostTest, EventSoundWithoutASoundServerIsQuiet) {
    Dm().PlayEventSound("Notify");
    Dm().PlayEventSound("Notify");  // stops the first, plays again
    Dm().PlayEventSound("NoSuchSound");
    // The sound library came in with the first sound.
    void* loaded = dlopen("libcanberra.so.0", RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(loaded, nullptr);
    if (loaded != nullptr) dlclose(loaded);
}

// ---- web addresses, tour, host answers ----

TEST(WebAddressTest, SuffixFollowsEachBaseAddress) {
    const std::string site = Tdm::WebsiteUrl("");
    const std::string service = Tdm::ServiceUrl("");
    EXPECT_EQ(site.rfind("https://", 0), 0u);
    EXPECT_EQ(service.rfind("https://", 0), 0u);
    EXPECT_NE(site, service);
    EXPECT_EQ(Tdm::WebsiteUrl("/atc.php"), site + "/atc.php");
    EXPECT_EQ(Tdm::ServiceUrl("/version.txt"), service + "/version.txt");
}

TEST_F(DmHostTest, TourTimerStopsItselfAndRunsTheTour) {
    EXPECT_EQ(Dm().Tour->interval(), 3000);
    EXPECT_FALSE(Dm().Tour->isActive());
    Dm().Tour->start(1);
    EXPECT_TRUE(test::WaitFor([&] { return windows.tours == 1; }));
    EXPECT_FALSE(Dm().Tour->isActive());
}

TEST_F(DmHostTest, HostQuestionsGoToTheWindowsAndDownloadsWithoutASourceFail) {
    windows.detailLog = true;
    windows.configFile = "vmrconfig.ini";
    EXPECT_TRUE(Dm().DetailLogEnabled());
    EXPECT_EQ(Dm().CurrencyConfigFileName(), "vmrconfig.ini");
    Dm().SetTrayTip("Vemra on");
    EXPECT_EQ(windows.trayTip, "Vemra on");
    EXPECT_EQ(Dm().DownloadRates(At(2024, 1, 2, 0, 0, 0)), 1);  // no rate source: nothing to load
    Dm().SetAppWindows(nullptr);
    EXPECT_FALSE(Dm().DetailLogEnabled());
    EXPECT_EQ(Dm().CurrencyConfigFileName(), "");
}

}  // namespace
}  // namespace vemra
