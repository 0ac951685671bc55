// The clipboard conversion on a real X server with a tray host: xclip copies as another
// program, xdotool holds Ctrl and clicks; the converter runs in this process on an
// installation laid out as the run command does, at the shipped rates. The paste target is
// a program of ours with a focused text field.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScreen>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "ColorHint.h"
#include "ConverterTestSupport.h"
#include "WindowSystem.h"
#include "rtl/StringList.h"

namespace vemra::test {
namespace {

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
void Spin(int ms) {
    WaitUntil([] { return false; }, ms);
}
int Shell(const std::string& command) { return std::system(command.c_str()); }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class ClipboardX11 : public testing::Test {
protected:
    ClipboardX11() : home(VEMRA_SHIPPED_DIR) {}
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(home.StartWatchingClipboard());
        w = home.window.get();
        Shell("xdotool keyup ctrl");
        Shell("xdotool mousemove 400 300");
        Spin(50);
    }
    void TearDown() override {
        Shell("xdotool keyup ctrl");
        if (target.state() != QProcess::NotRunning) {
            target.kill();
            target.waitForFinished(2000);
        }
    }
    // Copies as another program: xclip stays the clipboard's owner in the background.
    void CopyText(const std::string& text, const char* type = "text/plain") {
        const std::string file = home.home / "copy.txt";
        std::ofstream(file, std::ios::binary) << text;
        ASSERT_EQ(Shell(std::string("xclip -selection clipboard -t ") + type + " -i " + file), 0);
    }
    bool BalloonShown() { return w->ColorHint->isVisible() && w->WindowMode == 1; }

    ConverterHome home;
    TVMRConverter* w = nullptr;
    QProcess target;
};

TEST_F(ClipboardX11, TabTableCopiedWithCtrlShowsTheBalloonAtTheMouseUntilCtrlIsReleased) {
    Shell("xdotool keydown ctrl");
    CopyText("10\t20\n30\t40\n");
    ASSERT_TRUE(WaitUntil([&] { return BalloonShown(); }));
    EXPECT_EQ(Strings(w->MEINN()), (std::vector<std::string>{"10", "20", "30", "40"}));
    // left = x - 35, top = y + 5, inflated by 2
    EXPECT_EQ(w->ColorHint->geometry().topLeft(), QPoint(400 - 35 - 2, 300 + 5 - 2));
    EXPECT_EQ(w->ColorHint->geometry(), w->BalloonRect);
    // Held Ctrl keeps it; released, it goes within the timer's 100 ms after its first 1500.
    Spin(1700);
    EXPECT_TRUE(w->ColorHint->isVisible());
    Shell("xdotool keyup ctrl");
    EXPECT_TRUE(WaitUntil([&] { return !w->ColorHint->isVisible(); }, 1000));
    EXPECT_EQ(w->WindowMode, 0);
    // The dismissal leaves the copied text where it was.
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "10\t20\n30\t40\n");
}

// In a bottom corner the balloon does not fit below the pointer: it shows above it.
TEST_F(ClipboardX11, InTheBottomCornersTheBalloonShowsAboveThePointer) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const QPoint pointer : {QPoint(screen.left() + 2, screen.bottom() - 2), screen.bottomRight() - QPoint(2, 2)}) {
        SCOPED_TRACE(std::to_string(pointer.x()) + "," + std::to_string(pointer.y()));
        Shell("xdotool mousemove " + std::to_string(pointer.x()) + " " + std::to_string(pointer.y()));
        Shell("xdotool keydown ctrl");
        CopyText("10\t20\n30\t40\n");
        ASSERT_TRUE(WaitUntil([&] { return BalloonShown(); }));
        const QRect balloon = w->ColorHint->geometry();
        EXPECT_LT(balloon.bottom(), pointer.y()) << "the balloon covers the pointer";
        EXPECT_TRUE(screen.contains(balloon));
        Shell("xdotool keyup ctrl");
        ASSERT_TRUE(WaitUntil([&] { return !w->ColorHint->isVisible(); }, 3000));
    }
}

TEST_F(ClipboardX11, TheSameCopyWithoutCtrlDoesNothing) {
    CopyText("10\t20\n30\t40\n");
    Spin(500);
    EXPECT_FALSE(w->ColorHint->isVisible());
    EXPECT_TRUE(w->MEINN().Empty());
}

TEST_F(ClipboardX11, ASelectionWithCtrlHeldIsNoCopy) {
    Shell("xdotool keydown ctrl");
    const std::string file = home.home / "selected.txt";
    std::ofstream(file) << "10\t20\n30\t40\n";
    ASSERT_EQ(Shell("xclip -selection primary -i " + file), 0);
    Spin(500);
    EXPECT_FALSE(w->ColorHint->isVisible());
    EXPECT_TRUE(w->MEINN().Empty());
}

TEST_F(ClipboardX11, HtmlOnlyCopyConvertsTheCellsOfItsTable) {
    Shell("xdotool keydown ctrl");
    CopyText("<meta charset=\"utf-8\"><table><tr><td>1</td><td>2</td></tr><tr><td>3</td><td>4</td></tr>"
             "<tr><td>5</td><td>6</td></tr></table>",
             "text/html");
    ASSERT_TRUE(WaitUntil([&] { return BalloonShown(); }));
    EXPECT_EQ(Strings(w->MEINN()), (std::vector<std::string>{"1", "2", "3", "4", "5", "6"}));
    EXPECT_EQ(CurrencyConverter->Table.RowCount, 3);
}

// What a browser puts on the X11 clipboard for a selected table: LF line ends, a header row
// of th cells with attributes, cells whose text spans lines.
TEST_F(ClipboardX11, ABrowsersTableWithAHeaderRowKeepsItsGrid) {
    Shell("xdotool keydown ctrl");
    CopyText(
        "<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\">\n"
        "<table class=\"wikitable\">\n<tbody>\n<tr>\n<th scope=\"col\">Amount</th>\n<TH>Total</TH>\n</tr>\n"
        "<tr>\n<td>10</td>\n<td>\n  1\n000\n</td>\n</tr>\n<tr>\n<td>20</td>\n<td>2000</td>\n</tr>\n"
        "<tr>\n<td>30</td>\n<td>3000</td>\n</tr>\n</tbody>\n</table>",
        "text/html");
    ASSERT_TRUE(WaitUntil([&] { return BalloonShown(); }));
    EXPECT_EQ(Strings(w->MEINN()),
              (std::vector<std::string>{"Amount", "Total", "10", "1000", "20", "2000", "30", "3000"}));
    EXPECT_EQ(CurrencyConverter->Table.RowCount, 4);
    EXPECT_EQ(CurrencyConverter->Table.ColumnCount, 2);
}

TEST_F(ClipboardX11, TenMegabytesFromAnotherProgramAreRefusedAndTheNextCopyConverts) {
    std::string big;
    while (big.size() < (10u << 20)) big += "1234,56\t";
    Shell("xdotool keydown ctrl");
    CopyText(big);
    Spin(1500);  // the transfer in parts, then the refusal
    EXPECT_FALSE(w->ColorHint->isVisible());
    EXPECT_TRUE(w->MEINN().Empty());
    CopyText("10\t20\n30\t40\n");
    EXPECT_TRUE(WaitUntil([&] { return BalloonShown(); }));
}

TEST_F(ClipboardX11, ThePasteZonePastesTheConvertedTextIntoTheOtherProgram) {
    const std::string out = home.home / "pasted.txt";
    target.start(QString::fromUtf8(VEMRA_PASTE_TARGET), {QString::fromStdString(out)});
    ASSERT_TRUE(target.waitForStarted(5000));
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(QString::fromStdString(out + ".ready")); }));

    Shell("xdotool keydown ctrl");
    CopyText("10\t20\n30\t40\n");
    ASSERT_TRUE(WaitUntil([&] { return BalloonShown(); }));
    // What the engine gave for these cells at the shipped rates, as the paste-back writes it.
    TStringList results;
    results.Assign(w->ResultLines());
    ASSERT_EQ(results.Count(), 2);
    const std::string expected =
        BuildPasteText(results.Text(), dm->EmptyCellText, CurrencyConverter->Table.LineEndPadding,
                       CurrencyConverter->Table.LeadingBlankLines, true);
    EXPECT_NE(expected, "10\t20\n30\t40\n");
    // The copied lines ended with a line break, so does what replaces them.
    EXPECT_EQ(expected.back(), '\n');

    const QRect balloon = w->ColorHint->geometry();
    const QPoint paste = balloon.topLeft() + QPoint(balloon.width() - 7, 8);
    ASSERT_EQ(w->ColorHint->HitZone(paste.x() - balloon.left(), paste.y() - balloon.top()), hzPaste);
    Shell("xdotool mousemove " + std::to_string(paste.x()) + " " + std::to_string(paste.y()) + " click 1");
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(out) == expected; })) << "pasted: " << ReadFile(out);
    EXPECT_FALSE(w->ColorHint->isVisible());
    // The result stays on the clipboard, marked as the program's own.
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), expected);
    EXPECT_EQ(w->ReadClipboardText("text/plain"), "");
    Shell("xdotool keyup ctrl");
}

}  // namespace
}  // namespace vemra::test
