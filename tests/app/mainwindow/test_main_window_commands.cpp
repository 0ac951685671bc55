// The main window driven from outside and by its own controls, on a started converter at the
// shipped rates (offscreen): the command table, the tray tip and menu, the hot key on a fake
// desktop, the end of the session, the drag margins, the keyboard shortcuts and the buttons.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSessionManager>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ColorHint.h"
#include "ConverterTestSupport.h"
#include "CurrencyConverter.h"
#include "DmTestSupport.h"
#include "HotKey.h"
#include "InstallationLayout.h"
#include "MessageNumbers.h"
#include "OnOffSwitch.h"
#include "RegistryEx.h"
#include "VMRConfigForm.h"
#include "VMRConverterForm.h"
#include "WindowSystem.h"
#include "dm.h"
#include "platform/GlobalAtoms.h"
#include "rtl/Format.h"
#include "support/TestUtils.h"
#include "ui_VMRConfigForm.h"

namespace vemra::test {
namespace {

std::uint32_t Point(int x, int y) { return static_cast<std::uint32_t>(x) | (static_cast<std::uint32_t>(y) << 16); }

// Closes the message box that the code under test opens, and keeps its text.
class MessageBoxCloser {
public:
    MessageBoxCloser() {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* box = QApplication::activeModalWidget();
            if (box == nullptr) return;
            for (QLabel* label : box->findChildren<QLabel*>())
                if (!label->text().isEmpty()) texts.push_back(label->text().toStdString());
            box->close();
        });
        timer_.start();
    }
    std::vector<std::string> texts;

private:
    QTimer timer_;
};

class MainWindowCommandsTest : public ::testing::Test, protected ConverterHome {
protected:
    MainWindowCommandsTest() : ConverterHome("", "vemra-main") {
        App();
        StartupDialogs.Show = [this](const std::string& text) { shown.push_back(text); };
        SetWindowSystem(&desktop);
        SetHotKeys(&hotKeys);
    }
    ~MainWindowCommandsTest() override {
        Stop();
        SetHotKeys(nullptr);
        SetWindowSystem(nullptr);
    }

    void SetUp() override {
        ASSERT_TRUE(LayOut(VEMRA_SHIPPED_DIR)) << layoutError;
        ASSERT_EQ(Start(), 0) << (shown.empty() ? "" : shown.front());
    }

    TCurrencyConverter& Conv() { return *CurrencyConverter; }
    std::string Pair() { return Conv().SourceCode() + ">" + Conv().TargetCode(); }
    // What MEOUT shows once the (hidden) window is shown.
    std::string Output() {
        window->FillStaleMemos();
        return window->MEOUTMemo->toPlainText().toStdString();
    }
    void Convert(const char* text) {
        window->MEINNMemo->setPlainText(QString::fromUtf8(text));
        window->BtConvertClick(window->btConvert);
    }
    static std::string Message(int number) { return dm->GetMessageText(number); }
    // The user chooses an entry of a list (as a click in its drop-down does).
    static void UserPicks(QComboBox* list, int index) {
        list->setCurrentIndex(index);
        emit list->activated(index);
    }

    TRecordingWindowSystem desktop;
    TRecordingHotKeys hotKeys;
    std::vector<std::string> shown;  // the start-up's messages, all of them
};

// ---- the command table ----

TEST_F(MainWindowCommandsTest, Command3SwapsThePairConvertsAgainAndShowsTheBalloonAtItsPoint) {
    Convert("10\n20\n30");
    const std::string before = Pair();
    const std::string output = Output();
    window->WMVmrCommand(3, Point(50, 60));
    EXPECT_EQ(Pair(), before.substr(4) + ">" + before.substr(0, 3));
    EXPECT_NE(Output(), output);
    EXPECT_EQ(window->WindowMode, 1);
    EXPECT_TRUE(window->ColorHint->isVisible());
    EXPECT_EQ(window->ColorHint->Anchor, QPoint(50, 60));
}

TEST_F(MainWindowCommandsTest, Command6FirstSwitchesToDigitsOnlyThenRestoresTheSavedFormat) {
    window->SetRGFormatIndex(1);
    window->cbFormat->setCurrentIndex(2);
    Convert("10\n20\n30");
    Conv().Table.AsTable = true;  // as a clipboard conversion leaves it while its balloon is up
    window->WMVmrCommand(6, Point(10, 10));
    EXPECT_EQ(window->RGFormatIndex(), 2);
    EXPECT_EQ(window->cbFormat->currentIndex(), 3);
    const std::string digits = Output();
    window->WMVmrCommand(6, Point(10, 10));
    EXPECT_EQ(window->RGFormatIndex(), 1);
    EXPECT_EQ(window->cbFormat->currentIndex(), 2);
    EXPECT_NE(Output(), digits);
}

TEST_F(MainWindowCommandsTest, Command9FlipsTheHeaderModeAndKeepsAnyOtherModeButShowsTheBalloonAgain) {
    Convert("10\n20\n30");
    struct Case {
        std::uint8_t before, after;
    };
    for (const Case c : {Case{atcNone, atcNone}, Case{atcIn, atcOut}, Case{atcOut, atcIn}}) {
        Conv().Table.AtcMode = c.before;
        window->ColorHint->hide();
        window->WMVmrCommand(9, Point(30, 40));
        EXPECT_EQ(Conv().Table.AtcMode, c.after) << int(c.before);
        EXPECT_TRUE(window->ColorHint->isVisible()) << int(c.before);
    }
}

TEST_F(MainWindowCommandsTest, Commands1And2ShowTheWindowAnd1ReleasesCtrlOnlyWhenTheConverterIsOn) {
    Conv().SetSwitchedOn(false);
    window->WMVmrCommand(1, 1);
    EXPECT_EQ(window->WindowMode, 0);
    EXPECT_TRUE(desktop.keys.empty());

    Conv().SetSwitchedOn(true);
    window->WMVmrCommand(1, 1);
    EXPECT_EQ(desktop.keys, (std::vector<TRecordingWindowSystem::KeyEvent>{{VK_CONTROL, false}}));
    EXPECT_EQ(window->WindowMode, 2);
    EXPECT_TRUE(window->isVisible());

    window->BtCloseClick(nullptr);
    desktop.foregroundCalls.clear();
    window->WMVmrCommand(2, 0);
    EXPECT_EQ(window->WindowMode, 2);
    EXPECT_EQ(desktop.foregroundCalls, std::vector<QWidget*>{window.get()});
}

TEST_F(MainWindowCommandsTest, Command99RemovesTheTrayIconAndClosesTheWindow) {
    window->WindowShow(nullptr);
    window->WMVmrCommand(99, 0);
    EXPECT_EQ(window->TrayRecordSize, 0u);
    EXPECT_FALSE(window->TrayIcon->isVisible());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowCommandsTest, Command101DeletesTheUserSettingsSoTheEndSavesNothing) {
    {
        TRegistryEx registry(false);
        ASSERT_TRUE(registry.OpenKey("Software\\Vemra", false));
    }
    window->WMVmrCommand(101, 0);
    EXPECT_EQ(window->TrayRecordSize, 0u);
    window.reset();
    TRegistryEx registry(false);
    EXPECT_FALSE(registry.OpenKey("Software\\Vemra", false));
}

TEST_F(MainWindowCommandsTest, Command303EndsTheLoopAtOnceWithoutRemovingTheTrayIcon) {
    QTimer::singleShot(0, [this] { window->WMVmrCommand(303, 0); });
    QTimer fallback;
    fallback.setSingleShot(true);
    QObject::connect(&fallback, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    fallback.start(5000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(window->TrayRecordSize, 88u);
}

TEST_F(MainWindowCommandsTest, UnknownCommandsChangeNothing) {
    Convert("10\n20\n30");
    const std::string pair = Pair();
    const std::string output = Output();
    for (int command : {0, 7, 8, 11, 13, 15, 98, 100, 102, 302, 304, -1}) {
        window->WMVmrCommand(command, Point(5, 5));
        EXPECT_EQ(window->WindowMode, 0) << command;
        EXPECT_FALSE(window->isVisible()) << command;
        EXPECT_EQ(window->TrayRecordSize, 88u) << command;
    }
    EXPECT_EQ(Pair(), pair);
    EXPECT_EQ(Output(), output);
    EXPECT_FALSE(window->ColorHint->isVisible());
}

// ---- tray icon, tip and menu ----

TEST_F(MainWindowCommandsTest, TheTipShortensALongProviderNameUntilItFitsIn63Bytes) {
    TCurrencyChangeList& rates = Conv().Currencies();
    const std::string dateText = rates.DateText;
    const std::string start = "European Central Bank reference rates for the whole euro area ";
    std::string cyrillic;
    for (int i = 0; i < 40; ++i) cyrillic += "Б";  // 80 bytes
    struct Case {
        const char* name;
        std::string provider;
    };
    for (const Case& c : {Case{"latin", start + std::string(80 - start.size(), 'x')}, Case{"cyrillic", cyrillic}}) {
        const std::string& provider = c.provider;
        rates.Provider = provider;
        for (bool on : {true, false}) {
            window->ShowConverterState(on);
            const std::string tip = window->TrayIcon->toolTip().toStdString();
            EXPECT_LE(tip.size(), 63u) << c.name;
            EXPECT_EQ(QString::fromStdString(tip).toStdString(), tip) << c.name << ": a whole character was cut";
            const std::string head = on ? "Vemra ON - " : "Vemra OFF - ";
            EXPECT_EQ(tip.rfind(head + provider.substr(0, 6), 0), 0u) << tip;
            EXPECT_EQ(tip.substr(tip.size() - dateText.size()), dateText) << tip;
        }
    }
    rates.Provider = "ECB";
    window->ShowConverterState(true);
    EXPECT_EQ(window->TrayIcon->toolTip().toStdString().rfind("Vemra ON - ECB ", 0), 0u);
}

TEST_F(MainWindowCommandsTest, TheStateShowsInTheMenuTheOptionsPanelAndTheTrayPicture) {
    window->mniStateClick(nullptr);
    const bool on = Conv().SwitchedOn();
    EXPECT_EQ(window->mniState->isChecked(), on);
    EXPECT_EQ(VMRConfig->ui->btInitiallyOn->Checked(), on);
    EXPECT_EQ(VMRConfig->ui->pnHotKeyState->text().toStdString(), Message(on ? msg::StateMenu102 : msg::StateMenu103));
    EXPECT_FALSE(TVMRConverter::TrayPicture(on).isNull());
    EXPECT_NE(TVMRConverter::TrayPicture(true).pixmap(16).toImage(), TVMRConverter::TrayPicture(false).pixmap(16).toImage());
    EXPECT_EQ(window->TrayIcon->icon().pixmap(16).toImage(), TVMRConverter::TrayPicture(on).pixmap(16).toImage());
    window->mniStateClick(nullptr);
    EXPECT_EQ(Conv().SwitchedOn(), !on);
    EXPECT_EQ(window->mniState->isChecked(), !on);
}

TEST_F(MainWindowCommandsTest, TheMenuDisablesTheItemsWhoseWindowIsAlreadyOpen) {
    window->NIMMenuPopup();
    EXPECT_TRUE(window->mniConfig->isEnabled());
    EXPECT_TRUE(window->mniOpen->isEnabled());
    VMRConfig->show();
    window->WindowShow(nullptr);
    window->NIMMenuPopup();
    EXPECT_FALSE(window->mniConfig->isEnabled());
    EXPECT_FALSE(window->mniOpen->isEnabled());
    EXPECT_TRUE(window->mniAbout->isEnabled());
    VMRConfig->hide();
    window->BtCloseClick(nullptr);
    window->NIMMenuPopup();
    EXPECT_TRUE(window->mniConfig->isEnabled());
    EXPECT_TRUE(window->mniOpen->isEnabled());
}

TEST_F(MainWindowCommandsTest, TrayClicksShowTheWindowOrLeaveItOnOtherMessages) {
    window->WMTrayIcon(512);
    EXPECT_EQ(window->WindowMode, 0);
    window->WMTrayIcon(513);
    EXPECT_EQ(window->WindowMode, 2);
    EXPECT_TRUE(window->isVisible());
}

// ---- hot key, power, end of session ----

TEST_F(MainWindowCommandsTest, TheHotKeyTogglesTheConverterAndATakenKeyIsReported) {
    const Ui::TVMRConfig& c = *VMRConfig->ui;
    c.btHotKeyOn->SetChecked(true);
    c.chHKCtrl->setChecked(true);
    c.chHKAlt->setChecked(false);
    c.cbHKF->setCurrentIndex(11);
    window->RegisterAppHotKey();
    ASSERT_GT(window->HotKeyAtom, 0);
    EXPECT_EQ(platform::GlobalFindAtom("VMRHotkey"), window->HotKeyAtom);
    const bool on = Conv().SwitchedOn();
    ASSERT_TRUE(hotKeys.Press(MOD_CONTROL, VK_F1 + 11));
    EXPECT_EQ(Conv().SwitchedOn(), !on);
    ASSERT_TRUE(hotKeys.Press(MOD_CONTROL, VK_F1 + 11));
    EXPECT_EQ(Conv().SwitchedOn(), on);
    window->WMHotKey(window->HotKeyAtom + 1);  // another identifier
    EXPECT_EQ(Conv().SwitchedOn(), on);

    hotKeys.taken.insert({MOD_CONTROL | MOD_ALT, VK_F1 + 11});
    c.chHKAlt->setChecked(true);
    MessageBoxCloser closer;
    window->RegisterAppHotKey();
    EXPECT_EQ(closer.texts, std::vector<std::string>{Message(msg::HotKeyFailed)});
    EXPECT_TRUE(hotKeys.registered.empty());
    EXPECT_GT(window->HotKeyAtom, 0);  // released at the end like a registered one
    window->UnregisterAppHotKey();
    EXPECT_EQ(platform::GlobalFindAtom("VMRHotkey"), 0);
}

TEST_F(MainWindowCommandsTest, SleepStopsTheUpdaterAndResumeRestartsItAt15Seconds) {
    QTimer* updater = dm->Updater;
    ASSERT_NE(updater, nullptr);
    updater->start(300000);
    window->WMPowerBroadcast(4);
    EXPECT_FALSE(updater->isActive());
    window->WMPowerBroadcast(10);
    EXPECT_FALSE(updater->isActive());
    window->WMPowerBroadcast(7);
    EXPECT_TRUE(updater->isActive());
    EXPECT_EQ(updater->interval(), 15000);
}

TEST_F(MainWindowCommandsTest, ACancelledEndOfSessionDoesNothingAndAnEndingOneCloses) {
    EXPECT_TRUE(window->WMQueryEndSession());
    window->WMEndSession(false);
    EXPECT_EQ(window->TrayRecordSize, 88u);
    window->WMEndSession(true);
    EXPECT_EQ(window->TrayRecordSize, 0u);
}

TEST_F(MainWindowCommandsTest, TheLogoutQueryKeepsTheProgramAndTheSessionsEndCloses) {
    // The session manager's query (commit data): answered only, so a cancelled logout
    // leaves the converter running.
    auto* manager = qApp->findChild<QSessionManager*>();
    ASSERT_NE(manager, nullptr);
    emit qApp->commitDataRequest(*manager);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->TrayRecordSize, 88u);
    EXPECT_TRUE(window->TrayIcon->isVisible());
    // The session's end reaches the program as the application's quit (inside the running
    // loop, as the session manager's "die" comes): the program ends.
    QTimer::singleShot(0, [] {
        QEvent quit(QEvent::Quit);
        QCoreApplication::sendEvent(qApp, &quit);
    });
    QTimer fallback;
    fallback.setSingleShot(true);
    QObject::connect(&fallback, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    fallback.start(5000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(window->TrayRecordSize, 0u);
    EXPECT_FALSE(window->TrayIcon->isVisible());
}

TEST_F(MainWindowCommandsTest, ThePointsOfTheOuterStripDragTheWindowWhileTheLeftButtonIsDown) {
    struct Case {
        int x, y;
        bool drags;
    };
    const Case cases[] = {{10, 100, true},  {570, 10, false}, {300, 150, false}, {20, 20, false},
                          {560, 282, false}, {300, 283, true}, {561, 100, true},  {300, 19, true},
                          {10, 10, true},    {570, 20, true},  {581, 297, true}};
    desktop.leftButtonDown = true;
    for (const Case& c : cases) EXPECT_EQ(window->WMNCHitTest(c.x, c.y), c.drags) << c.x << "," << c.y;
    desktop.leftButtonDown = false;
    EXPECT_FALSE(window->WMNCHitTest(10, 100));
}

// ---- the controls ----

TEST_F(MainWindowCommandsTest, CtrlTStepsTheOutputOrderAndConvertsAfterEachStep) {
    window->WindowShow(nullptr);
    window->SetRGFormatIndex(1);
    Convert("10");
    std::vector<std::string> outputs{Output()};
    for (int expected : {2, 0, 1}) {
        QTest::keyRelease(window->MEINNMemo, Qt::Key_T, Qt::ControlModifier);
        EXPECT_EQ(window->RGFormatIndex(), expected);
        outputs.push_back(Output());
    }
    EXPECT_NE(outputs[1], outputs[0]);
    EXPECT_NE(outputs[2], outputs[1]);
    EXPECT_EQ(outputs[3], outputs[0]);
    EXPECT_EQ(window->nbPages->property("Tag").toInt(), 1);  // the format changed
}

TEST_F(MainWindowCommandsTest, CtrlLStepsTheLabellingAndCtrlFTogglesTheFavourites) {
    window->WindowShow(nullptr);
    window->cbFormat->setCurrentIndex(2);
    QTest::keyRelease(window->MEINNMemo, Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(window->cbFormat->currentIndex(), 3);
    QTest::keyRelease(window->MEINNMemo, Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(window->cbFormat->currentIndex(), 0);

    desktop.ctrlDown = true;  // Ctrl is held while the F goes up
    QTest::keyRelease(window->MEINNMemo, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(Conv().UserCurrencies().FilterMode, 2);
    EXPECT_EQ(window->CBINN->count(), Conv().Favorites().Count());
    QTest::keyRelease(window->MEINNMemo, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(Conv().UserCurrencies().FilterMode, 0);
}

TEST_F(MainWindowCommandsTest, ASettingsFileThatCannotBeWrittenIsToldOnceAndTheEndStillComes) {
    const std::string hive = TRegistry::HivePathForWrite(HKEY_CURRENT_USER);
    const std::string before = ReadText(hive);
    ASSERT_NE(before.find("\"IsoFrom\"=\"EUR\""), std::string::npos) << before;
    // A store that can no longer be written, also for root: a folder in place of its lock file.
    std::remove((hive + ".lock").c_str());
    ASSERT_EQ(::mkdir((hive + ".lock").c_str(), 0700), 0);
    std::vector<std::string> boxes;
    MessageBoxWatch watch;
    watch.Start(boxes);
    // The swap button and a combo change both save the pair; neither may end the program.
    window->btIntCh->click();
    window->CBINN->setCurrentIndex(window->CBINN->findText(QStringLiteral("GBP"), Qt::MatchContains));
    window->ComboMoneyChange(window->CBINN);
    // So does choosing another rate source, which stores the choice.
    QComboBox* sources = VMRConfig->ui->cbSubscriptions;
    ASSERT_GT(sources->count(), 1);
    sources->setCurrentIndex(sources->currentIndex() == 0 ? 1 : 0);
    VMRConfig->cbSubscriptionsChange(sources);
    window->WMVmrCommand(99, 0);
    EXPECT_EQ(window->TrayRecordSize, 0u);
    window.reset();  // the end's save fails too, without a box that would hold the end up
    watch.Stop();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find(hive), std::string::npos) << boxes[0];
    EXPECT_NE(boxes[0].find("Is a directory"), std::string::npos) << boxes[0];
    EXPECT_EQ(ReadText(hive), before);
}

TEST_F(MainWindowCommandsTest, EscapeHidesAndCtrlRightConverts) {
    window->WindowShow(nullptr);
    window->MEINNMemo->setPlainText(QStringLiteral("10"));
    QTest::keyRelease(window->MEINNMemo, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_FALSE(Output().empty());
    QTest::keyRelease(window->MEINNMemo, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(window->RGFormatIndex(), 1);  // only Ctrl alone makes a shortcut
    QTest::keyClick(window->MEINNMemo, Qt::Key_Escape);
    EXPECT_EQ(window->WindowMode, 0);
    EXPECT_FALSE(window->isVisible());
}

// The press of an Esc that closes an open list goes to the list; the release that follows
// comes to the window and alone does not hide it.
TEST_F(MainWindowCommandsTest, EscInAnOpenListLeavesTheWindowShown) {
    window->WindowShow(nullptr);
    window->CBINN->showPopup();
    QWidget* list = window->CBINN->view();
    ASSERT_TRUE(list->isVisible());
    QTest::keyPress(list, Qt::Key_Escape);
    EXPECT_FALSE(list->isVisible());
    QTest::keyRelease(window->CBINN, Qt::Key_Escape);
    EXPECT_EQ(window->WindowMode, 2);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowCommandsTest, TheSwapButtonSwapsAndWithCtrlTakesTheDefaultPair) {
    window->FillCurrencyCombos("GBP", "JPY");
    window->btIntCh->click();
    EXPECT_EQ(Pair(), "JPY>GBP");
    EXPECT_EQ(window->CBINN->currentText(), window->CBINN->itemText(window->CBINN->property("Tag").toInt()));
    desktop.ctrlDown = true;
    window->btIntCh->click();
    EXPECT_EQ(Pair(), Conv().Table.DefaultSourceCode + ">" + Conv().Table.DefaultTargetCode);
}

TEST_F(MainWindowCommandsTest, APairTheListLacksFallsBackToTheFirstEntry) {
    window->FillCurrencyCombos("QQQ", "ZZZ");
    EXPECT_EQ(window->CBINN->currentIndex(), 0);
    EXPECT_EQ(window->CBOUT->currentIndex(), 0);
    const std::string first = Conv().UserCurrencies().GetCurrency(0)->Code;
    EXPECT_EQ(Pair(), first + ">" + first);
}

TEST_F(MainWindowCommandsTest, TheFavouritesButtonStepsTheListFilterWithoutCtrl) {
    for (int expected : {1, 2, 0}) {
        window->btFavorites->click();
        EXPECT_EQ(Conv().UserCurrencies().FilterMode, expected);
        EXPECT_EQ(window->CBINN->count(), Conv().UserCurrencies().Count());
    }
    Conv().SetFavorites("");
    MessageBoxCloser closer;
    window->btFavorites->click();
    window->btFavorites->click();  // from 1 without favourites: the notice, then all
    EXPECT_EQ(Conv().UserCurrencies().FilterMode, 0);
    EXPECT_EQ(closer.texts, std::vector<std::string>{Message(msg::FavoritesButton)});
}

TEST_F(MainWindowCommandsTest, TheFormatButtonsAndCtrlOnTheOptionsButton) {
    window->cbDesambi->setCurrentIndex(2);
    window->cbDateDesambi->setCurrentIndex(3);
    window->EdFormatLeft->setText(QStringLiteral("["));
    window->EdFormatRight->setText(QStringLiteral("]"));
    window->btGoNoText->click();
    EXPECT_EQ(window->cbFormat->currentIndex(), 3);
    EXPECT_EQ(window->RGFormatIndex(), 2);

    desktop.ctrlDown = true;  // back to the default form; the default button sees Ctrl too
    window->btConfig->click();
    EXPECT_EQ(window->cbFormat->currentIndex(), 2);
    EXPECT_EQ(window->RGFormatIndex(), 1);
    EXPECT_EQ(window->cbDesambi->currentIndex(), 2);
    EXPECT_EQ(window->EdFormatLeft->text(), QStringLiteral("["));
    window->btConfig->click();
    EXPECT_EQ(window->RGFormatIndex(), 2);
    EXPECT_EQ(window->nbPages->currentIndex(), 0);

    desktop.ctrlDown = false;
    window->btGoDefault->click();
    EXPECT_EQ(window->cbDesambi->currentIndex(), 0);
    EXPECT_EQ(window->cbDateDesambi->currentIndex(), 0);
    EXPECT_EQ(window->EdFormatLeft->text(), QStringLiteral(" ( "));
    EXPECT_EQ(window->EdFormatRight->text(), QStringLiteral(" ) "));
    EXPECT_EQ(window->RGFormatIndex(), 1);
}

TEST_F(MainWindowCommandsTest, TheOptionsButtonSwitchesThePagesAndItsCaption) {
    window->btConfig->click();
    EXPECT_EQ(window->nbPages->currentIndex(), 1);
    EXPECT_EQ(window->btConfig->text().toStdString(), Message(msg::OptionsButton55));
    window->btConfig->click();
    EXPECT_EQ(window->nbPages->currentIndex(), 0);
    EXPECT_EQ(window->btConfig->text().toStdString(), Message(msg::OptionsButton54));
}

TEST_F(MainWindowCommandsTest, FormatChangesConvertOnlyOutsideABalloonsTable) {
    Convert("10");
    const std::string symbols = Output();
    Conv().Table.AsTable = true;  // a clipboard conversion's balloon is up
    UserPicks(window->cbFormat, 0);
    EXPECT_EQ(Output(), symbols);
    Conv().Table.AsTable = false;
    UserPicks(window->cbFormat, 3);
    EXPECT_NE(Output(), symbols);
}

TEST_F(MainWindowCommandsTest, OnlyTheUsersFormatChangesRunTheFormatHandler) {
    Convert("10");
    ASSERT_EQ(window->nbPages->property("Tag").toInt(), 0);
    int conversions = 0;
    QObject::connect(window->MEOUTMemo, &QPlainTextEdit::textChanged, [&] { ++conversions; });
    window->BtConvertClick(window->btConvert);
    const int perConversion = conversions;
    ASSERT_GT(perConversion, 0);

    // Set by the program: nothing converts and the format page stays unchanged.
    conversions = 0;
    window->cbFormat->setCurrentIndex(0);
    window->cbDesambi->setCurrentIndex(2);
    window->cbDateDesambi->setCurrentIndex(3);
    window->EdFormatLeft->setText(QStringLiteral("<"));
    window->EdFormatRight->setText(QStringLiteral(">"));
    EXPECT_EQ(conversions, 0);
    EXPECT_EQ(window->nbPages->property("Tag").toInt(), 0);

    // The default button sets five controls and converts once.
    window->btGoDefault->click();
    EXPECT_EQ(conversions, perConversion);
    conversions = 0;
    window->btGoNoText->click();
    EXPECT_EQ(conversions, perConversion);

    // Changed by the user: each change converts and marks the format page.
    window->nbPages->setProperty("Tag", 0);
    struct UserChange {
        const char* name;
        std::function<void()> act;
    };
    const UserChange changes[] = {
        {"labelling", [this] { UserPicks(window->cbFormat, 1); }},
        {"decimal separator", [this] { UserPicks(window->cbDesambi, 2); }},
        {"date order", [this] { UserPicks(window->cbDateDesambi, 2); }},
        {"left bracket", [this] { QTest::keyClicks(window->EdFormatLeft, "["); }},
        {"right bracket", [this] { QTest::keyClicks(window->EdFormatRight, "]"); }},
        {"output order", [this] { window->RGFormatGroup->button(0)->click(); }},
    };
    for (const UserChange& change : changes) {
        conversions = 0;
        window->nbPages->setProperty("Tag", 0);
        change.act();
        EXPECT_EQ(conversions, perConversion) << change.name;
        EXPECT_EQ(window->nbPages->property("Tag").toInt(), 1) << change.name;
    }
}

TEST_F(MainWindowCommandsTest, KeysTypedAfterTheTraysOpenReachTheInputMemo) {
    auto activate = [](QWidget* widget) {
        for (int i = 0; i < 100 && !widget->isActiveWindow(); ++i) {
            widget->activateWindow();
            QTest::qWait(20);
        }
        return widget->isActiveWindow();
    };
    QWidget other;  // another program's window, in front meanwhile
    for (const bool focusMovedBefore : {false, true}) {
        SCOPED_TRACE(focusMovedBefore ? "back after the user left a button focused" : "first open");
        if (focusMovedBefore) {
            window->btClear->setFocus();
            other.show();
            ASSERT_TRUE(activate(&other));
        }
        window->WindowShow(window->mniOpen);
        ASSERT_TRUE(activate(window.get()));
        window->MEINNMemo->clear();
        for (const char key : {'1', '2', '3'}) QTest::keyClick(window->windowHandle(), key);
        QTest::keyClick(window->windowHandle(), Qt::Key_Space);
        EXPECT_EQ(window->MEINNMemo->toPlainText(), QStringLiteral("123 "));
        EXPECT_FALSE(VMRConfig->isVisible());  // the space pressed no button
    }
}

TEST_F(MainWindowCommandsTest, TheLineCountTheClearButtonAndTheStatusLine) {
    window->MEINNMemo->setPlainText(QStringLiteral("1\n2\n3"));
    EXPECT_FALSE(window->lbNumLines->isHidden());
    EXPECT_EQ(window->lbNumLines->text().toStdString(), Format(Message(msg::InputLineCount), 3));
    window->BtConvertClick(nullptr);
    EXPECT_FALSE(Output().empty());
    window->btClear->click();
    EXPECT_TRUE(window->lbNumLines->isHidden());
    EXPECT_TRUE(window->MEINNMemo->toPlainText().isEmpty());
    EXPECT_TRUE(Output().empty());
    EXPECT_EQ(window->MEINN().Count(), 0);

    window->DisplayHint(QStringLiteral("Short hint|The long explanation"));
    EXPECT_EQ(window->lbMessage->text(), QStringLiteral("Short hint"));
}

// A copy converted for the balloon leaves the hidden window's memos to fill when it shows;
// converting again from the window (the swap button) takes that copy, not an older input.
TEST_F(MainWindowCommandsTest, AHiddenWindowShowsTheLastCopysLinesWhenItShowsAndConvertsThemAgain) {
    Convert("10");
    ASSERT_FALSE(window->isVisible());
    window->MeClip().SetText("20\n30");
    window->RunConversion(true);
    // The memos show the lists' lines; their line breaks are the memo's own.
    const QString input = QString::fromStdString(window->MEINN().Text()).remove(QLatin1Char('\r'));
    const QString output = QString::fromStdString(window->MEOUT().Text()).remove(QLatin1Char('\r'));
    ASSERT_EQ(window->MEINN().Count(), 2);

    window->btIntCh->click();
    EXPECT_EQ(window->MEINN().Count(), 2) << window->MEINN().Text();
    window->btIntCh->click();
    window->show();
    EXPECT_EQ(window->MEINNMemo->toPlainText(), input);
    EXPECT_EQ(window->MEOUTMemo->toPlainText(), output);
    window->hide();
}

TEST_F(MainWindowCommandsTest, TheRateIndicatorHintNamesTheAgeOfThePairsRates) {
    window->ShowRateIndicator();
    const std::string hint = window->btInfo->toolTip().toStdString();
    const std::uint32_t color = Conv().RateAgeColor(Conv().SourceIndex(), Conv().TargetIndex());
    const int age = color == AgeColorCurrent ? 57 : color == AgeColorOld ? 58 : color == AgeColorUnknown ? 59 : 60;
    EXPECT_NE(hint.find(Message(age)), std::string::npos) << hint;
    EXPECT_EQ(window->pnIndicator->property("IndicatorColor").toUInt(), color);
}

// ---- the look on the skin ----

double RelativeLuminance(const QColor& color) {
    auto channel = [](int value) {
        const double v = value / 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(color.red()) + 0.7152 * channel(color.green()) + 0.0722 * channel(color.blue());
}
double Contrast(const QColor& a, const QColor& b) {
    const double la = RelativeLuminance(a);
    const double lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Every text drawn straight on the skin, in both languages: its colour against the skin's
// pixels under it (the worst of them) reads at 4.5:1 at least; it is not cut off and lies on no
// other control of its page.
TEST_F(MainWindowCommandsTest, TextsOnTheSkinReadAndFitInBothLanguages) {
    const QImage skin = window->Mask->grab().toImage();
    ASSERT_EQ(skin.size(), window->Mask->size());
    for (const char* language : {"ENG", "ESP"}) {
        SCOPED_TRACE(language);
        const int index = VMRConfig->ui->cbLang->findText(QString::fromLatin1(language), Qt::MatchContains);
        ASSERT_GE(index, 0);
        dm->LoadLanguageFile(VMRConfig->ui->cbLang->itemText(index).toStdString());
        ASSERT_EQ(LanguageName, language);
        window->FillCurrencyCombos(Conv().SourceCode(), Conv().TargetCode());
        window->MEINNMemo->setPlainText(QStringLiteral("1\n2\n3"));
        window->DisplayHint(QString::fromStdString(Message(msg::RateAgeHint56)));
        window->WindowShow(nullptr);
        for (QWidget* page : {window->pgConverter, window->pgFormat}) {
            window->nbPages->setCurrentWidget(page);
            QCoreApplication::processEvents();
            std::vector<QWidget*> texts = {window->lbMessage};
            for (QWidget* child : page->findChildren<QWidget*>())
                if (qobject_cast<QLabel*>(child) || qobject_cast<QRadioButton*>(child) ||
                    qobject_cast<QGroupBox*>(child))
                    if (child->isVisible()) texts.push_back(child);
            for (QWidget* widget : texts) {
                const std::string name = widget->objectName().toStdString();
                widget->ensurePolished();
                const QColor text = widget->palette().color(widget->foregroundRole());
                const QRect area = QRect(widget->mapTo(window.get(), QPoint(0, 0)), widget->size()) & skin.rect();
                double worst = 100;
                for (int y = area.top(); y <= area.bottom(); ++y)
                    for (int x = area.left(); x <= area.right(); ++x)
                        worst = std::min(worst, Contrast(text, skin.pixelColor(x, y)));
                EXPECT_GE(worst, 4.5) << name << " " << text.name().toStdString();
            }
            // Labels hold their text; controls of the page do not overlap (the group box holds its radios).
            for (QLabel* label : page->findChildren<QLabel*>()) {
                if (!label->isVisible() || label->text().isEmpty()) continue;
                EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width())
                    << label->objectName().toStdString() << ": " << label->text().toStdString();
            }
            const QList<QWidget*> controls = page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
            for (int i = 0; i < controls.size(); ++i)
                for (int j = i + 1; j < controls.size(); ++j) {
                    QWidget* a = controls[i];
                    QWidget* b = controls[j];
                    if (!a->isVisible() || !b->isVisible()) continue;
                    EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                        << a->objectName().toStdString() << " / " << b->objectName().toStdString();
                }
        }
        window->nbPages->setCurrentIndex(0);
    }
}

// The currency lists in both languages: the open list is wide enough for its longest name, and
// a name too long for the closed list is shown cut with an ellipsis (drawn exactly as a plain
// list of the same look showing the elided name), not clipped mid-letter.
TEST_F(MainWindowCommandsTest, CurrencyListsShowLongNamesWholeOrWithAnEllipsis) {
    for (const char* language : {"ENG", "ESP"}) {
        SCOPED_TRACE(language);
        const int index = VMRConfig->ui->cbLang->findText(QString::fromLatin1(language), Qt::MatchContains);
        ASSERT_GE(index, 0);
        dm->LoadLanguageFile(VMRConfig->ui->cbLang->itemText(index).toStdString());
        window->FillCurrencyCombos(Conv().SourceCode(), Conv().TargetCode());
        window->WindowShow(nullptr);
        QCoreApplication::processEvents();
        for (QComboBox* combo : {window->CBINN, window->CBOUT}) {
            SCOPED_TRACE(combo->objectName().toStdString());
            ASSERT_GT(combo->count(), 0);
            QFont bold = combo->font();
            bold.setBold(true);
            const QFontMetrics metrics(bold);
            int longest = 0;
            int longestRow = 0;
            for (int i = 0; i < combo->count(); ++i) {
                const int width = metrics.horizontalAdvance(combo->itemText(i));
                if (width > longest) longest = width, longestRow = i;
            }
            combo->showPopup();
            QCoreApplication::processEvents();
            EXPECT_GE(combo->view()->viewport()->width(), longest + 2) << combo->itemText(longestRow).toStdString();
            combo->hidePopup();

            const int kept = combo->currentIndex();
            combo->setCurrentIndex(longestRow);
            QStyleOptionComboBox option;
            option.initFrom(combo);
            const QRect field =
                combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
            const QString text = combo->itemText(longestRow);
            const QString shown = combo->fontMetrics().elidedText(text, Qt::ElideRight, field.width() - 2);
            if (language == std::string("ESP")) EXPECT_NE(shown, text) << "the Spanish names need the ellipsis here";
            QComboBox reference(combo->parentWidget());
            reference.setGeometry(combo->geometry());
            reference.setStyleSheet(combo->styleSheet());
            reference.addItem(shown);
            reference.setFocusPolicy(Qt::NoFocus);
            combo->clearFocus();
            EXPECT_EQ(combo->grab().toImage(), reference.grab().toImage()) << shown.toStdString();
            combo->setCurrentIndex(kept);
        }
    }
}

// The invisible button over the left picture has a hint: its tooltip is drawn like any other,
// not with the button's transparent look.
TEST_F(MainWindowCommandsTest, TheLeftButtonsTooltipIsReadable) {
    window->WindowShow(nullptr);
    ASSERT_FALSE(window->btGoCnv->toolTip().isEmpty());
    QToolTip::showText(window->btGoCnv->mapToGlobal(QPoint(20, 20)), window->btGoCnv->toolTip(), window->btGoCnv);
    QWidget* tip = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->inherits("QTipLabel") && top->isVisible()) tip = top;
    ASSERT_NE(tip, nullptr);
    const QImage image = tip->grab().toImage();
    const QColor background = image.pixelColor(image.width() / 2, 1);
    EXPECT_EQ(background.alpha(), 255);
    EXPECT_GE(Contrast(tip->palette().color(QPalette::ToolTipText), background), 4.5)
        << background.name().toStdString();
    QToolTip::hideText();
}

}  // namespace
}  // namespace vemra::test
