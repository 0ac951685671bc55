// The conversion-warnings list, the table-conversion progress window, the viewer, the splash
// and the rate-source list items.

#include <QBuffer>
#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QStyleOptionViewItem>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "FormVMRViewer.h"
#include "HTMLConverterPlugInn.h"
#include "MessageNumbers.h"
#include "PluginItemDelegate.h"
#include "SmallWindowsTestSupport.h"
#include "StreamKeys.h"
#include "StreamedIniFile.h"
#include "VMRCalcProgressForm.h"
#include "VMRSplashForm.h"
#include "VMRWarningsForm.h"
#include "rtl/SysUtils.h"
#include "support/TestUtils.h"
#include "vmrconsts.h"

namespace vemra::test {
namespace {

std::vector<std::string> Items(const QListWidget& list) {
    std::vector<std::string> items;
    for (int i = 0; i < list.count(); ++i) items.push_back(list.item(i)->text().toStdString());
    return items;
}

void RunPendingDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// ---- conversion warnings ----

TEST(ConvertWarningTest, EachLineOfTheTextBecomesOneItem) {
    SmallWindowsApp();
    std::unique_ptr<TVMRConvertWarning> window(TVMRMsg::Create<TVMRConvertWarning>());
    window->SetMessageText(QStringLiteral("first\r\nsecond\nthird\rfourth\r\n"));
    EXPECT_EQ(Items(*window->lbwarns), (std::vector<std::string>{"first", "second", "third", "fourth"}));
    window->SetMessageText(QStringLiteral("only"));
    EXPECT_EQ(Items(*window->lbwarns), (std::vector<std::string>{"only"})) << "the items are replaced";
    EXPECT_TRUE(window->lbMsg->isHidden());
    EXPECT_EQ(window->size(), QSize(425, 224));
}

TEST(ConvertWarningTest, ShowsModallyWithTheSingleButton) {
    SmallWindowsApp();
    bool okHidden = false, koShown = false;
    std::vector<std::string> items;
    WhenModal<TVMRConvertWarning>([](TVMRConvertWarning&) { return true; }, [&](TVMRConvertWarning& window) {
        okHidden = window.btOk->isHidden();
        koShown = window.btKo->isVisible();
        items = Items(*window.lbwarns);
        window.btKo->click();
    });
    auto* window = TVMRMsg::Create<TVMRConvertWarning>();
    QPointer<TVMRConvertWarning> guard(window);
    EXPECT_TRUE(window->Execute(QStringLiteral("a\r\nb"), false));
    EXPECT_TRUE(okHidden);
    EXPECT_TRUE(koShown);
    EXPECT_EQ(items, (std::vector<std::string>{"a", "b"}));
    RunPendingDeletes();
    EXPECT_TRUE(guard.isNull()) << "the box frees itself when it closes";
}

// ---- table-conversion progress ----

TEST(CalcProgressTest, PlacedByTheScreenWidth) {
    EXPECT_EQ(CalcProgressPlace(1024, QSize(426, 86)), QPoint(470, 278));
    EXPECT_EQ(CalcProgressPlace(1280, QSize(426, 86)), QPoint(598, 278));
    // Rounded toward zero, also below zero.
    EXPECT_EQ(CalcProgressPlace(0, QSize(343, 643)), QPoint(0, 0));
    EXPECT_EQ(CalcProgressPlace(0, QSize(345, 645)), QPoint(-1, -1));
}

TEST(CalcProgressTest, OpensFormatsItsProgressAndCloses) {
    SmallWindowsApp();
    FakeMessages messages({{msg::ProgressText, "Please wait"}});
    TCalcProgressHost host;
    ASSERT_FALSE(host.CalcProgressOpen());
    host.ShowCalcProgress("");
    ASSERT_TRUE(host.CalcProgressOpen());
    host.SetCalcProgressRange("%d of %d cells", 500);
    host.RevealCalcProgress();
    host.SetProgress(60);
    EXPECT_EQ(VMRCalcProgress, nullptr) << "a run that ends at once builds no window";
    EXPECT_TRUE(host.CalcProgressOpen());
    // The conversion blocks the event loop for a while: the next step builds and shows the
    // window, with what the run set before.
    std::this_thread::sleep_for(std::chrono::milliseconds(CalcProgressRevealDelayMs));
    host.SetProgress(120);
    TVMRCalcProgress* window = VMRCalcProgress;
    ASSERT_NE(window, nullptr);
    QPointer<TVMRCalcProgress> guard(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->Shown);
    EXPECT_EQ(window->lbKeep->text(), QStringLiteral("Please wait")) << "message 121 for an empty text";
    EXPECT_EQ(window->size(), QSize(426, 86));
    EXPECT_EQ(window->lbPro->text(), QStringLiteral("120 of 500 cells"));
    EXPECT_EQ(window->PBar->maximum(), 500);
    EXPECT_EQ(window->PBar->value(), 120);
    host.SetCalcProgressRange("%d of %d rows", 40);
    EXPECT_EQ(window->lbPro->text(), QStringLiteral("120 of 40 rows")) << "a new pattern shows at once";

    host.CloseCalcProgress();
    EXPECT_FALSE(host.CalcProgressOpen());
    RunPendingDeletes();
    EXPECT_TRUE(guard.isNull());
    host.SetProgress(5);  // nothing open: nothing happens
}

TEST(CalcProgressTest, ARunRevealedLateOrClosedEarly) {
    SmallWindowsApp();
    TCalcProgressHost host;
    // Closed before its time: no window, and nothing shows for later steps.
    host.ShowCalcProgress("Keep Ctrl held");
    host.RevealCalcProgress();
    host.CloseCalcProgress();
    EXPECT_FALSE(host.CalcProgressOpen());
    std::this_thread::sleep_for(std::chrono::milliseconds(CalcProgressRevealDelayMs));
    host.SetProgress(3);
    EXPECT_EQ(VMRCalcProgress, nullptr);

    // Revealed only after the delay (the steps came first): the reveal shows it at once,
    // placed by the screen's width, with the step reached.
    host.ShowCalcProgress("Keep Ctrl held");
    host.SetCalcProgressRange("%d of %d", 10);
    host.SetProgress(4);
    std::this_thread::sleep_for(std::chrono::milliseconds(CalcProgressRevealDelayMs));
    host.SetProgress(7);
    EXPECT_EQ(VMRCalcProgress, nullptr) << "not revealed yet";
    host.RevealCalcProgress();
    ASSERT_NE(VMRCalcProgress, nullptr);
    EXPECT_TRUE(VMRCalcProgress->isVisible());
    EXPECT_EQ(VMRCalcProgress->lbKeep->text(), QStringLiteral("Keep Ctrl held"));
    EXPECT_EQ(VMRCalcProgress->lbPro->text(), QStringLiteral("7 of 10"));
    const int screenWidth = QGuiApplication::primaryScreen()->geometry().width();
    EXPECT_EQ(VMRCalcProgress->pos(), CalcProgressPlace(screenWidth, QSize(426, 86)));
    host.CloseCalcProgress();
    RunPendingDeletes();
}

TEST(CalcProgressTest, AGivenTextAndABadPatternShowAsTheyStand) {
    SmallWindowsApp();
    ShowCalcProgress(QStringLiteral("Keep Ctrl held"));
    ASSERT_NE(VMRCalcProgress, nullptr);
    EXPECT_EQ(VMRCalcProgress->lbKeep->text(), QStringLiteral("Keep Ctrl held"));
    VMRCalcProgress->ProgressFormat = "%s of %s";
    TCalcProgressHost().RevealCalcProgress();
    std::this_thread::sleep_for(std::chrono::milliseconds(CalcProgressRevealDelayMs));
    SetProgress(3);
    EXPECT_EQ(VMRCalcProgress->lbPro->text(), QStringLiteral("%s of %s"));
    TCalcProgressHost().CloseCalcProgress();
    RunPendingDeletes();
}

// ---- viewer ----

class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        SmallWindowsApp();
        savedKeys_ = StreamKeyProc;
        StreamKeyProc = StreamKey;
    }
    void TearDown() override {
        if (VMRViewer != nullptr) VMRViewer->close();
        RunPendingDeletes();
        StreamKeyProc = savedKeys_;
    }
    // A day rate file as the program stores it: enciphered, its DATE not matching its name.
    std::string WriteRateFile(const std::string& name, const std::string& date) {
        const std::string path = folder / name;
        TStreamedIniFile file(kDayRateKeyIndex, path);
        file.WriteString("VMR", "DATE", date);
        file.WriteString("DATA", "USD", "1.0945");
        file.UpdateFile();
        return path;
    }

    TempFolder folder{"vemra-viewer"};
    TStreamKeyProc savedKeys_;
};

TEST_F(ViewerTest, ShowsTheDecodedLinesUnderTheFileName) {
    const std::string path = WriteRateFile("2024.01.02-ECB.vmr", "2024.01.03");
    ASSERT_EQ(ReadText(path).find("USD"), std::string::npos) << "the fixture is enciphered";
    ShowTextFile(path);
    ASSERT_NE(VMRViewer, nullptr);
    EXPECT_TRUE(VMRViewer->isVisible());
    EXPECT_FALSE(VMRViewer->isModal());
    EXPECT_EQ(VMRViewer->windowTitle(), QStringLiteral("2024.01.02-ECB.vmr"));
    const QStringList lines = VMRViewer->VMRStrings->toPlainText().split(QLatin1Char('\n'));
    EXPECT_EQ(lines.mid(0, 2), (QStringList{QStringLiteral("[VMR]"), QStringLiteral("DATE=2024.01.03")}));
    EXPECT_TRUE(lines.contains(QStringLiteral("USD=1.0945")));
    EXPECT_TRUE(VMRViewer->VMRStrings->isReadOnly());
}

TEST_F(ViewerTest, OneViewerShowsTheLastFileAndClosingFreesIt) {
    ShowTextFile(WriteRateFile("2024.01.02-ECB.vmr", "x"));
    TVMRViewer* first = VMRViewer;
    QPointer<TVMRViewer> guard(first);
    ShowTextFile(WriteRateFile("2024.01.05-ECB.vmr", "y"));
    EXPECT_EQ(VMRViewer, first);
    EXPECT_EQ(VMRViewer->windowTitle(), QStringLiteral("2024.01.05-ECB.vmr"));
    EXPECT_FALSE(VMRViewer->VMRStrings->toPlainText().contains(QStringLiteral("DATE=x"))) << "cleared first";
    VMRViewer->close();
    EXPECT_EQ(VMRViewer, nullptr);
    RunPendingDeletes();
    EXPECT_TRUE(guard.isNull());
}

// A viewer shown while a modal window is open belongs to that window, also one that was open
// before; a modal window would otherwise block it.
TEST_F(ViewerTest, AViewerShownOverAModalWindowBelongsToIt) {
    ShowTextFile(WriteRateFile("2024.01.02-ECB.vmr", "x"));
    ASSERT_EQ(VMRViewer->parentWidget(), nullptr);
    QWidget modal;
    modal.setWindowModality(Qt::ApplicationModal);
    modal.show();
    ASSERT_EQ(QApplication::activeModalWidget(), &modal);
    ShowTextFile(WriteRateFile("2024.01.05-ECB.vmr", "y"));
    EXPECT_EQ(VMRViewer->parentWidget(), &modal);
    EXPECT_TRUE(VMRViewer->isWindow());
    EXPECT_TRUE(VMRViewer->isVisible());
    VMRViewer->close();
    RunPendingDeletes();
}

// ---- splash ----

TEST(SplashTest, ClosesByItselfUnlessKeptOpen) {
    SmallWindowsApp();
    FakeMessages messages({{msg::VersionLabel, "Version %s"}});
    const std::string savedVersion = ProgramVersion;
    ProgramVersion = "1.2.3.4";
    std::string label;
    QSize size;
    bool timerRuns = true;
    WhenModal<TVMRSplash>([](TVMRSplash&) { return true; }, [&](TVMRSplash& splash) {
        label = splash.lbInfoVer->text().toStdString();
        size = splash.size();
        timerRuns = splash.InfoTimer->isActive();
        // A click on the picture closes it.
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(50, 50), QPointF(50, 50), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(50, 50), QPointF(50, 50), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(splash.Mask, &press);
        QCoreApplication::sendEvent(splash.Mask, &release);
    });
    ShowSplash(true);
    EXPECT_EQ(label, "Version 1.2.3.4");
    EXPECT_EQ(size, QSize(422, 244));
    EXPECT_FALSE(timerRuns) << "kept open: no timer";

    bool started = false;
    int interval = 0;
    WhenModal<TVMRSplash>([](TVMRSplash&) { return true; }, [&](TVMRSplash& splash) {
        started = splash.InfoTimer->isActive();
        interval = splash.InfoTimer->interval();
    });
    ShowSplash(false);  // returns once InfoTimer closed it
    EXPECT_TRUE(started);
    EXPECT_EQ(interval, 2000);
    ProgramVersion = savedVersion;
}

// ---- rate-source list items ----

class PluginItemTest : public ::testing::Test {
protected:
    // Publishes at 16:00 in zone +1; last update 2 January 2024.
    static std::unique_ptr<THTMLConverterPlugInn> Source(bool enabled) {
        TStringList definition;
        definition.Add("Publisher=Test bank");
        definition.Add("Settings=1111100:1111100:D:1:960:1");
        definition.Add("LastUpdate=2024.01.02");
        definition.Add(std::string("Enabled=") + (enabled ? "1" : "0"));
        return std::make_unique<THTMLConverterPlugInn>(definition, "TST");
    }
    const TDateTime published = EncodeDate(2024, 1, 2) + 16 * OneHour;
};

struct AgeCase {
    const char* name;
    bool enabled;
    double hoursAfter;  // after the publication seen from UT with a bias of 0 (one hour earlier)
    int bias;
    TColor color;
};
void PrintTo(const AgeCase& c, std::ostream* os) { *os << c.name; }

class PluginMarkTest : public PluginItemTest, public ::testing::WithParamInterface<AgeCase> {};

TEST_P(PluginMarkTest, ColourFollowsTheAge) {
    auto source = Source(GetParam().enabled);
    const TDateTime utcNow = published - OneHour + GetParam().hoursAfter * OneHour;
    EXPECT_EQ(PluginMarkColor(*source, utcNow, GetParam().bias), GetParam().color);
}

INSTANTIATE_TEST_SUITE_P(
    Ages, PluginMarkTest,
    ::testing::Values(AgeCase{"FreshIsGreen", true, 23.5, 0, clGreen}, AgeCase{"OneDayIsOrange", true, 24.1, 0, 0x0080FF},
                      AgeCase{"UnderTwoDaysIsOrange", true, 47.5, 0, 0x0080FF},
                      AgeCase{"TwoDaysIsRed", true, 48.1, 0, clRed},
                      AgeCase{"BiasMovesThePublication", true, 23.5, -60, 0x0080FF},
                      AgeCase{"DisabledIsSilver", false, 1, 0, clSilver}),
    [](const ::testing::TestParamInfo<AgeCase>& p) { return std::string(p.param.name); });

TEST_F(PluginItemTest, DrawsPictureDotAndText) {
    SmallWindowsApp();
    auto source = Source(false);  // silver dot, whatever the clock says
    QImage picture(16, 14, QImage::Format_RGB32);
    picture.fill(Qt::white);  // the bottom-left colour: transparent
    for (int x = 4; x < 12; ++x)
        for (int y = 3; y < 11; ++y) picture.setPixel(x, y, qRgb(0, 0, 255));
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&bytes, "BMP"));
    source->ProviderBitmap.FileName = "TST.bmp";
    source->ProviderBitmap.Data = bytes.data().toStdString();

    QImage canvas(200, 16, QImage::Format_RGB32);
    canvas.fill(Qt::red);
    {
        QPainter painter(&canvas);
        DrawPluginItem(painter, QRect(0, 0, 200, 16), QStringLiteral("TST - Test bank"), source.get(),
                       QColor(Qt::yellow), 16);
    }
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(255, 255, 0)) << "filled with the list's colour";
    EXPECT_EQ(canvas.pixel(2 + 8, 1 + 7), qRgb(0, 0, 255)) << "the picture at (left + 2, top + 1)";
    EXPECT_EQ(canvas.pixel(2 + 1, 1 + 1), qRgb(255, 255, 0)) << "its transparent colour shows the list";
    // The dot spans (19 + 2, 2) to (19 + 16 - 2, 14).
    EXPECT_EQ(canvas.pixel(19 + 8, 8), qRgb(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(canvas.pixel(19 + 1, 8), qRgb(255, 255, 0));
    // The text starts at 19 + 18 = 37 in black.
    bool black = false, beforeText = false;
    for (int x = 37; x < 200; ++x)
        for (int y = 2; y < 16; ++y) black = black || canvas.pixel(x, y) == qRgb(0, 0, 0);
    for (int x = 0; x < 37; ++x)
        for (int y = 0; y < 16; ++y) beforeText = beforeText || canvas.pixel(x, y) == qRgb(0, 0, 0);
    EXPECT_TRUE(black);
    EXPECT_FALSE(beforeText);
}

TEST_F(PluginItemTest, AComboBoxDrawsItsClosedFaceAndItsEntriesTheSameWay) {
    SmallWindowsApp();
    auto source = Source(false);
    QComboBox combo;
    combo.resize(220, 22);
    InstallPluginItemDrawing(&combo);
    combo.addItem(QStringLiteral("TST - Test bank"));
    combo.setItemData(0, QVariant::fromValue(reinterpret_cast<quintptr>(source.get())), PluginItemRole);
    const QImage face = combo.grab().toImage();
    bool silver = false;
    for (int x = 0; x < face.width(); ++x)
        for (int y = 0; y < face.height(); ++y) silver = silver || face.pixel(x, y) == qRgb(0xC0, 0xC0, 0xC0);
    EXPECT_TRUE(silver) << "the closed face shows the source's dot";
    EXPECT_EQ(combo.itemDelegate()->sizeHint(QStyleOptionViewItem(), combo.model()->index(0, 0)).height(), 16);
}

}  // namespace
}  // namespace vemra::test
