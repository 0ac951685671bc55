// The table-conversion progress window on a real X server: the conversion keeps the event
// loop busy, yet the window must be on the screen and follow the progress.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QProgressBar>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "VMRCalcProgressForm.h"
#include "support/TestUtils.h"

namespace vemra::test {
namespace {

// The screen as another program sees it.
QImage Screen(const TempFolder& folder) {
    const std::string file = folder / "screen.png";
    if (std::system(("import -window root " + file).c_str()) != 0) return {};
    return QImage(QString::fromStdString(file));
}

TEST(CalcProgressX11, ShowsWhileTheConversionBlocksTheEventLoop) {
    TempFolder folder{"vemra-calc-x11"};
    int timerRuns = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++timerRuns; });
    timer.start(0);

    TCalcProgressHost host;
    host.ShowCalcProgress("Keep Ctrl held");
    host.SetCalcProgressRange("%d of %d", 10);
    host.RevealCalcProgress();
    // A conversion long enough to show the window: it steps through the cells and ends on a
    // full gauge, whose bar colour spans the gauge.
    QElapsedTimer run;
    run.start();
    // The window is built while the loop runs, which a slow (sanitized, loaded) build can make
    // take longer than the run itself: the loop goes on until the gauge is full, within bounds.
    const qint64 length = CalcProgressRevealDelayMs + 10 * CalcProgressRepaintMs;
    const auto full = [] { return VMRCalcProgress != nullptr && VMRCalcProgress->PBar->value() == 10; };
    while (run.elapsed() < length + 3 * CalcProgressRepaintMs || (!full() && run.elapsed() < 10000))
        host.SetProgress(static_cast<int>(std::min<qint64>(10, run.elapsed() * 10 / length)));
    ASSERT_TRUE(VMRCalcProgress->isVisible());
    ASSERT_EQ(VMRCalcProgress->PBar->value(), 10);
    const QImage screen = Screen(folder);
    ASSERT_FALSE(screen.isNull());

    const QPoint origin = VMRCalcProgress->pos();
    const QRect gauge = VMRCalcProgress->PBar->geometry().translated(origin);
    // Outside the window the Xvfb root is black; the window's background is a light gradient.
    EXPECT_EQ(screen.pixelColor(origin + QPoint(-5, 40)), QColor(Qt::black));
    EXPECT_GT(screen.pixelColor(origin + QPoint(200, 4)).lightness(), 200);
    EXPECT_NE(screen.pixelColor(gauge.center()), screen.pixelColor(origin + QPoint(200, 4)));
    EXPECT_EQ(timerRuns, 0) << "no timer runs in the middle of the conversion";
    host.CloseCalcProgress();
}

}  // namespace
}  // namespace vemra::test
