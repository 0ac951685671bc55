// The main window's clipboard side offscreen, on a started converter at the shipped rates:
// which copies convert (Ctrl held, plain text first, the tables of HTML), the balloon test
// and layout, the paste-back text and keys, and copies that are too large or not text.

#include <gtest/gtest.h>

#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ClipboardHtml.h"
#include "ColorHint.h"
#include "ConverterTestSupport.h"
#include "DmTestSupport.h"
#include "PlugginMan.h"
#include "WindowSystem.h"
#include "rtl/StringList.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra::test {
namespace {

using Key = TRecordingWindowSystem::KeyEvent;

class ClipboardConvertTest : public testing::Test {
protected:
    ClipboardConvertTest() : home(VEMRA_SHIPPED_DIR) {
        App();
        SetWindowSystem(&keys);
        keys.ctrlDown = true;
    }
    ~ClipboardConvertTest() override {
        home.Stop();  // the window goes while its fake desktop is still in place
        SetWindowSystem(nullptr);
    }
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(home.StartWatchingClipboard());
        w = home.window.get();
    }

    // Puts the data on the clipboard as another program does; the watch reacts to it.
    static void Copy(QMimeData* data) { QGuiApplication::clipboard()->setMimeData(data); }
    static void CopyText(const std::string& text) {
        auto* data = new QMimeData();
        data->setText(QString::fromStdString(text));
        Copy(data);
    }
    static void CopyHtml(const std::string& html) {
        auto* data = new QMimeData();
        data->setHtml(QString::fromStdString(html));
        Copy(data);
    }
    std::vector<std::string> Cells() const { return Strings(w->MEINN()); }
    bool BalloonShown() const { return w->ColorHint->isVisible() && w->WindowMode == 1; }

    ConverterHome home;
    TRecordingWindowSystem keys;
    TVMRConverter* w = nullptr;
};

TEST_F(ClipboardConvertTest, TabTableCopiedWithCtrlShowsTheBalloonAtTheMouse) {
    CopyText("10\t20\r\n30\t40\r\n");
    EXPECT_EQ(Cells(), (std::vector<std::string>{"10", "20", "30", "40"}));
    ASSERT_TRUE(BalloonShown());
    EXPECT_EQ(CurrencyConverter->Table.RowCount, 2);
    EXPECT_EQ(w->ColorHint->Layout.HiddenRows, 0);
    EXPECT_TRUE(w->ColorHint->Active);
    EXPECT_EQ(w->ColorHint->geometry(), w->BalloonRect);
    EXPECT_TRUE(CurrencyConverter->SwitchedOn());
    // The program's copy of the pictures (from its static library) is there.
    EXPECT_FALSE(TColorHint::PastePicture().isNull());
    // Copies while the balloon shows are read but not converted.
    CopyText("1\t2\t3\r\n");
    EXPECT_EQ(Cells(), (std::vector<std::string>{"10", "20", "30", "40"}));
}

// What Open shows after copies converted while the window was hidden, and a copy while it
// shows: the memos hold the run's lists as their own text would be set from them.
TEST_F(ClipboardConvertTest, OpenShowsTheMemosOfTheLastHiddenRunAndAShownRunFillsThemAtOnce) {
    const auto memoText = [](const TStringList& lines) {
        QPlainTextEdit memo;
        memo.setPlainText(QString::fromStdString(lines.Text()));
        return memo.toPlainText();
    };
    for (const char* copy : {"10\t20\r\n30\t40\r\n", "1,5\t2\r\n3\t4\r\n5\t6\r\n"}) {
        CopyText(copy);
        ASSERT_TRUE(BalloonShown());
        w->ColorHint->Dismiss(false);
        w->WindowMode = 0;
    }
    EXPECT_EQ(Cells(), (std::vector<std::string>{"1,5", "2", "3", "4", "5", "6"}));
    w->WindowShow(nullptr);
    ASSERT_TRUE(w->isVisible());
    EXPECT_EQ(w->MEINNMemo->toPlainText(), memoText(w->MEINN()));
    EXPECT_EQ(w->MEOUTMemo->toPlainText(), memoText(w->MEOUT()));
    EXPECT_FALSE(w->MEOUTMemo->toPlainText().isEmpty());

    CopyText("7\t8\r\n");
    EXPECT_EQ(Cells(), (std::vector<std::string>{"7", "8"}));
    EXPECT_EQ(w->MEINNMemo->toPlainText(), memoText(w->MEINN()));
    EXPECT_EQ(w->MEOUTMemo->toPlainText(), memoText(w->MEOUT()));
    w->BtCloseClick(nullptr);
}

TEST_F(ClipboardConvertTest, WithoutCtrlOrWithTheConverterOffNothingConverts) {
    keys.ctrlDown = false;
    CopyText("10\t20\r\n30\t40\r\n");
    EXPECT_TRUE(Cells().empty());
    EXPECT_FALSE(w->ColorHint->isVisible());
    keys.ctrlDown = true;
    CurrencyConverter->SetSwitchedOn(false);
    CopyText("10\t20\r\n30\t40\r\n");
    EXPECT_TRUE(Cells().empty());
    w->SetClipboardWatch(false);
    CurrencyConverter->SetSwitchedOn(true);
    CopyText("10\t20\r\n30\t40\r\n");
    EXPECT_TRUE(Cells().empty());
}

std::string HtmlTable(const std::vector<std::vector<std::string>>& rows) {
    std::string html = "<table>";
    for (const auto& row : rows) {
        html += "<tr>";
        for (const std::string& cell : row) html += "<td>" + cell + "</td>";
        html += "</tr>";
    }
    return html + "</table>";
}

TEST_F(ClipboardConvertTest, HtmlOnlyCopyConvertsItsLastTablesCells) {
    CopyHtml("<p>x</p>" + HtmlTable({{"9"}}) + HtmlTable({{"1", "2"}, {"3", "4"}, {"5", "6"}}));
    EXPECT_EQ(Cells(), (std::vector<std::string>{"1", "2", "3", "4", "5", "6"}));
    EXPECT_EQ(CurrencyConverter->Table.RowCount, 3);
    EXPECT_EQ(CurrencyConverter->Table.ColumnCount, 2);
    EXPECT_TRUE(BalloonShown());
}

TEST_F(ClipboardConvertTest, FiveCellsInTwoRowsGetAnEmptyFirstCell) {
    CopyHtml("<table><tr><td>1</td><td>2</td></tr><tr><td>3</td><td>4</td><td>5</td></tr></table>");
    EXPECT_EQ(CurrencyConverter->Table.RowCount, 2);
    EXPECT_EQ(CurrencyConverter->Table.ColumnCount, 3);
    const std::vector<std::string> cells = Cells();
    ASSERT_EQ(cells.size(), 6u);
    EXPECT_EQ(cells[1], "1");
    EXPECT_EQ(cells[5], "5");
}

TEST_F(ClipboardConvertTest, HtmlWithoutATableConvertsNothing) {
    CopyHtml("<p>100 EUR</p>");
    EXPECT_TRUE(Cells().empty());
    EXPECT_FALSE(w->ColorHint->isVisible());
}

TEST_F(ClipboardConvertTest, PlainTextWinsOverTheHtmlOfTheSameCopy) {
    auto* data = new QMimeData();
    data->setText("7\t8\r\n");
    data->setHtml(QString::fromStdString(HtmlTable({{"1", "2"}, {"3", "4"}})));
    Copy(data);
    EXPECT_EQ(Cells(), (std::vector<std::string>{"7", "8"}));
}

TEST_F(ClipboardConvertTest, OneCellShowsNoBalloonAndClearsTheMemos) {
    CopyText("100");
    EXPECT_FALSE(w->ColorHint->isVisible());
    EXPECT_EQ(w->WindowMode, 0);
    EXPECT_TRUE(w->MEINN().Empty());
    EXPECT_TRUE(w->MEOUT().Empty());
    EXPECT_TRUE(w->MeClip().Empty());
    EXPECT_TRUE(CurrencyConverter->SwitchedOn());
}

TEST_F(ClipboardConvertTest, SixtyRowsAreCutToTheScreenThatHoldsThePointer) {
    std::string text;
    for (int i = 1; i <= 60; ++i) text += std::to_string(i) + "\t" + std::to_string(i * 2) + "\r\n";
    w->MeClip().SetText(text);
    w->RunConversion(true);
    w->ShowResultHint(500, 300);
    ASSERT_TRUE(BalloonShown());
    const THintLayout& layout = w->ColorHint->Layout;
    const QRect screen = QGuiApplication::screenAt(QPoint(500, 300))->availableGeometry();
    ASSERT_LT(screen.height(), 16 + 60 * 14);  // the offscreen screen is too short for them
    EXPECT_GT(layout.HiddenRows, 0);
    EXPECT_TRUE(screen.contains(w->BalloonRect));
    // Cut no more than needed: one row more would not fit.
    EXPECT_GT(w->BalloonRect.height() + 14, screen.height());
}

TEST_F(ClipboardConvertTest, PasteBackEndsWithALineBreakOnlyWhenTheCopyDid) {
    for (const bool withBreak : {true, false}) {
        SCOPED_TRACE(withBreak ? "copy ends with a line break" : "copy ends in a cell");
        CopyText(withBreak ? "10\t20\r\n30\t40\r\n" : "10\t20\r\n30\t40");
        ASSERT_TRUE(BalloonShown());
        w->BtPasteClick(w->btPaste);
        const std::string pasted = QGuiApplication::clipboard()->text().toStdString();
        ASSERT_FALSE(pasted.empty());
        EXPECT_EQ(pasted.back() == '\n', withBreak) << pasted;
        EXPECT_EQ(std::count(pasted.begin(), pasted.end(), '\n'), withBreak ? 2 : 1) << pasted;
        w->ColorHint->Dismiss(true);
    }
    // Typed into the window: the same for the window's copy button.
    w->MEINNMemo->setPlainText("10\n20\n");
    w->BtConvertClick(w->btConvert);
    w->BtPasteClick(w->btPaste);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString().back(), '\n');
}

TEST_F(ClipboardConvertTest, ReleasingCtrlDismissesTheBalloonAndLeavesTheClipboard) {
    CopyText("10\t20\r\n30\t40\r\n");
    ASSERT_TRUE(BalloonShown());
    w->HintTimerTick();  // Ctrl still held: stays, the timer now ticks every 100 ms
    EXPECT_TRUE(w->ColorHint->isVisible());
    EXPECT_EQ(w->ColorHint->HintTimer->interval(), 100);
    keys.ctrlDown = false;
    w->HintTimerTick();
    EXPECT_FALSE(w->ColorHint->isVisible());
    EXPECT_EQ(w->WindowMode, 0);
    EXPECT_FALSE(CurrencyConverter->Table.AsTable);
    // The user's copy is still there.
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "10\t20\r\n30\t40\r\n");
}

// The balloon's timer brings the form back to the converter's rates: a day rate file that has
// become unreadable since is told, and the rest of the form still follows.
TEST_F(ClipboardConvertTest, ADayRateFileThatCannotBeReadWhenTheBalloonGoesIsToldAndTheFormFollows) {
    CopyText("10\t20\r\n30\t40\r\n");
    ASSERT_TRUE(BalloonShown());
    // Reading it fails with an input/output error, for root as well.
    const std::string unreadable = home.home / "2025.11.29-ECB.vmr";
    ASSERT_EQ(::symlink("/proc/self/mem", unreadable.c_str()), 0);
    CurrencyConverter->Table.RateFileName = unreadable;
    const std::string loaded = CurrencyConverter->Currencies().RateFileName;
    std::vector<std::string> boxes;
    MessageBoxWatch watch;
    watch.Start(boxes);
    keys.ctrlDown = false;
    w->HintTimerTick();
    watch.Stop();
    EXPECT_FALSE(w->ColorHint->isVisible());
    EXPECT_EQ(w->WindowMode, 0);
    EXPECT_FALSE(CurrencyConverter->Table.AsTable);
    EXPECT_EQ(CurrencyConverter->Currencies().RateFileName, loaded);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find(unreadable), std::string::npos) << boxes[0];
    EXPECT_NE(boxes[0].find("Input/output error"), std::string::npos) << boxes[0];
}

// A balloon command converts again from the event loop: a file the conversion cannot write
// (the record of the table's rate source's last file) is told, and the command ends.
TEST_F(ClipboardConvertTest, ABalloonCommandThatCannotWriteAFileTellsIt) {
    CopyText("ECB\tUSD\r\nx\t10\r\n");
    ASSERT_TRUE(BalloonShown());
    ASSERT_NE(CurrencyConverter->Table.Flags & tfProviderCell, 0);
    // A folder with a file in it, where UserLast.dat was: nothing can replace it.
    const std::string userLast = JoinPath(UserDataDir, "UserLast.dat");
    std::remove(userLast.c_str());
    WriteText(userLast + "/kept", "");
    PlugginMan->UserLast.SetValue("LastECB", home.home / "gone.vmr");
    std::vector<std::string> boxes;
    MessageBoxWatch watch;
    watch.Start(boxes);
    w->WMVmrCommand(3, 0x00C80064);
    watch.Stop();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find(userLast), std::string::npos) << boxes[0];
}

TEST_F(ClipboardConvertTest, PasteBackPutsTheMarkedResultAndPressesCtrlV) {
    CopyText("10\t20\r\n30\t40\r\n");
    ASSERT_TRUE(BalloonShown());
    const std::string expected =
        BuildPasteText(w->ResultLines().Text(), dm->EmptyCellText, CurrencyConverter->Table.LineEndPadding,
                       CurrencyConverter->Table.LeadingBlankLines, true);
    keys.ctrlDown = false;
    keys.keys.clear();
    w->BtPasteClick(nullptr);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    EXPECT_EQ(data->text().toStdString(), expected);
    EXPECT_EQ(data->data(TVMRConverter::OwnClipboardFormat).toULongLong(), OwnClipboardHandle);
    EXPECT_NE(OwnClipboardHandle, 0u);
    EXPECT_EQ(keys.keys, (std::vector<Key>{{VK_CONTROL, true}, {'V', true}, {'V', false}, {VK_CONTROL, false}}));
    EXPECT_FALSE(w->IgnoreClipboard);
    // Two rows, each with two converted amounts.
    TStringList lines;
    lines.SetText(expected);
    ASSERT_EQ(lines.Count(), 2);
    EXPECT_EQ(std::count(lines[0].begin(), lines[0].end(), '\t'), 1);
}

TEST_F(ClipboardConvertTest, PasteKeysWhileTheUserHoldsCtrlPressItAgain) {
    keys.ctrlDown = true;
    w->SendPasteKeys();
    EXPECT_EQ(keys.keys, (std::vector<Key>{{'V', true}, {'V', false}, {VK_CONTROL, false}, {VK_CONTROL, true}}));
}

TEST_F(ClipboardConvertTest, TheProgramsOwnCopyIsNotConvertedAgain) {
    CopyText("10\t20\r\n30\t40\r\n");
    ASSERT_TRUE(BalloonShown());
    w->ColorHint->Dismiss(true);
    w->MEINN().Clear();
    w->BtPasteClick(w);  // with a sender: no keys
    EXPECT_TRUE(keys.keys.empty());
    EXPECT_EQ(w->ReadClipboardText("text/plain"), "");
    w->ClipboardChanged();
    EXPECT_TRUE(Cells().empty());
    EXPECT_FALSE(w->ColorHint->isVisible());
    // With the window shown, the late notice of the own copy leaves its memos alone.
    w->MEINN().Add("10");
    w->WindowMode = 2;
    w->ClipboardChanged();
    EXPECT_EQ(Cells(), std::vector<std::string>{"10"});
    w->WindowMode = 0;
}

// ---- bad input ----

TEST_F(ClipboardConvertTest, TextBeyondTheBoundIsRefusedWithANotice) {
    std::string big;
    big.reserve(10u << 20);
    while (big.size() < (10u << 20)) big += "1234,56\t";
    CopyText(big);
    EXPECT_TRUE(Cells().empty());
    EXPECT_FALSE(w->ColorHint->isVisible());
    // The next ordinary copy converts as usual.
    CopyText("10\t20\r\n30\t40\r\n");
    EXPECT_TRUE(BalloonShown());
}

// Cells that are never closed nest in the tree, each holding the rest of the table: every
// cell still converts as its own row, and a copy of 800,000 of them (7 MB) is read and then
// refused, its text being beyond the conversion's bound.
TEST_F(ClipboardConvertTest, UnclosedCellsConvertRowByRowAndAHugeCopyIsRefused) {
    std::string html = "<meta charset=\"utf-8\"><table>";
    for (int i = 1; i <= 300; ++i) html += "<tr><td>" + std::to_string(i);
    CopyHtml(html);
    const std::vector<std::string> cells = Cells();
    ASSERT_EQ(cells.size(), 300u);
    EXPECT_EQ(cells[0], "1");
    EXPECT_EQ(cells[299], "300");
    EXPECT_EQ(CurrencyConverter->Table.RowCount, 300);
    w->ColorHint->Dismiss(true);

    html = "<meta charset=\"utf-8\"><table>";
    for (int i = 0; i < 800000; ++i) html += "<tr><td>1";
    CopyHtml(html);
    EXPECT_FALSE(w->ColorHint->isVisible());
    CopyText("10\t20\r\n30\t40\r\n");
    EXPECT_TRUE(BalloonShown());
}

TEST_F(ClipboardConvertTest, InvalidUtf8AndNulBytesConvertWhatIsReadable) {
    auto* data = new QMimeData();
    data->setData("text/plain", QByteArray("10\xff\xfe\t20\r\n30\t40\r\n\0garbage", 25));
    Copy(data);
    const std::vector<std::string> cells = Cells();
    ASSERT_EQ(cells.size(), 4u);
    EXPECT_EQ(cells[1], "20");
    EXPECT_EQ(cells[3], "40");  // the text ends at the NUL
}

TEST_F(ClipboardConvertTest, BinaryDataIsNoText) {
    auto* data = new QMimeData();
    QByteArray bytes(4096, '\0');
    for (int i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    data->setData("application/octet-stream", bytes);
    data->setData("image/png", bytes);
    Copy(data);
    EXPECT_TRUE(Cells().empty());
    EXPECT_FALSE(w->ColorHint->isVisible());
}

TEST_F(ClipboardConvertTest, HtmlTableOf100000CellsConvertsAndStaysBounded) {
    std::string html = "<table>";
    for (int r = 0; r < 10000; ++r) {
        html += "<tr>";
        for (int c = 0; c < 10; ++c) html += "<td>" + std::to_string(r * 10 + c) + ",5</td>";
        html += "</tr>";
    }
    html += "</table>";
    CopyHtml(html);
    EXPECT_EQ(w->MEINN().Count(), 100000);
    EXPECT_EQ(CurrencyConverter->Table.RowCount, 10000);
    ASSERT_TRUE(BalloonShown());
    EXPECT_GT(w->ColorHint->Layout.HiddenRows, 9900);
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(w->BalloonRect))
        << w->BalloonRect.x() << "," << w->BalloonRect.y() << " " << w->BalloonRect.width() << "x"
        << w->BalloonRect.height() << " cursor " << QCursor::pos().x() << "," << QCursor::pos().y();
}

}  // namespace
}  // namespace vemra::test
