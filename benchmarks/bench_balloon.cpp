// The time from a clipboard change to the result balloon on the screen, on a real X server
// (run it through balloon.sh, which starts Xvfb): xclip copies a TAB table of n cells as
// another program does while xdotool holds Ctrl, and last a plain text of 650,000 one-cell
// lines, the most a copy under the 2 MiB bound holds; the clock starts when the clipboard's
// change notice reaches the program and stops at the balloon's first paint. A single cell
// shows no balloon by design: its time ends when the conversion has decided that.
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QEvent>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "ColorHint.h"
#include "ConverterTestSupport.h"

namespace {

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

struct PaintClock : QObject {
    qint64 paintedAt = -1;
    QElapsedTimer* clock = nullptr;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && paintedAt < 0) paintedAt = clock->nsecsElapsed();
        return false;
    }
};

std::string Table(int cells, int run) {
    const int columns = cells >= 10 ? 10 : cells;
    std::string text;
    for (int i = 0; i < cells; ++i) {
        text += std::to_string(100 + i + run) + ",25";  // every copy differs
        text += ((i + 1) % columns == 0 || i + 1 == cells) ? "\n" : "\t";
    }
    return text;
}

// One short amount a line: the most lines a plain-text copy under the 2 MiB bound holds.
std::string Lines(int lines, int run) {
    std::string text;
    text.reserve(static_cast<std::size_t>(lines) * 3);
    for (int i = 0; i < lines; ++i) text.append(std::to_string(10 + (i + run) % 90)).append("\n");
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    using namespace vemra;
    test::ConverterHome home(VEMRA_SHIPPED_DIR);
    if (!home.laidOut || home.Start() != 0) {
        std::fprintf(stderr, "the converter did not start: %s %s\n", home.layoutError.c_str(), home.shown.c_str());
        return 1;
    }
    TVMRConverter* w = home.window.get();
    CurrencyConverter->SetSwitchedOn(true);
    QElapsedTimer clock;
    clock.start();
    qint64 changedAt = -1;
    // The clock's slot runs before the converter's: it connects first.
    w->SetClipboardWatch(false);
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, [&] {
        if (changedAt < 0) changedAt = clock.nsecsElapsed();
    });
    w->SetClipboardWatch(true);
    PaintClock paint;
    paint.clock = &clock;
    w->ColorHint->installEventFilter(&paint);
    std::system("xdotool keydown ctrl");
    // balloon.sh --shot <png>: a picture of the screen with the balloon of a small table.
    if (const char* shot = std::getenv("VEMRA_BALLOON_SHOT")) {
        std::system("xdotool mousemove 300 200");
        std::ofstream(home.home / "copy.txt", std::ios::binary)
            << "Date\tEUR\tUSD\n28/11/2025\t100,00\t250,50\n27/11/2025\t1.234,56\t17,25\n26/11/2025\t12\t0,5\n";
        std::system(("xclip -selection clipboard -i " + (home.home / "copy.txt")).c_str());
        WaitUntil([&] { return paint.paintedAt >= 0; }, 5000);
        WaitUntil([] { return false; }, 300);
        std::system(("import -window root " + std::string(shot)).c_str());
        std::system("xdotool keyup ctrl");
        return 0;
    }
    const int repetitions = argc > 1 ? std::atoi(argv[1]) : 15;
    const std::string file = home.home / "copy.txt";
    std::printf(" cells  median_ms  min_ms  max_ms  (clipboard notice -> balloon painted, %d runs)\n", repetitions);
    struct Shape {
        int cells;
        bool lines;  // one cell a line, else a TAB table of ten columns
        int runs;
    };
    // The 650,000 lines take seconds a run: a few runs tell their time well enough.
    for (const Shape shape : {Shape{1, false, repetitions}, Shape{1000, false, repetitions},
                              Shape{10000, false, repetitions}, Shape{650000, true, std::min(repetitions, 3)}}) {
        const int cells = shape.cells;
        std::vector<double> times;
        for (int r = 0; r < shape.runs + 1; ++r) {  // the first run warms up
            std::ofstream(file, std::ios::binary) << (shape.lines ? Lines(cells, r) : Table(cells, r));
            changedAt = -1;
            paint.paintedAt = -1;
            w->MEINN().Clear();
            std::system(("xclip -selection clipboard -i " + file).c_str());
            bool done;
            if (cells == 1)
                done = WaitUntil([&] { return changedAt >= 0 && w->WindowMode == 0 && w->MEINN().Empty() && w->MEOUT().Empty(); }, 10000);
            else
                done = WaitUntil([&] { return paint.paintedAt >= 0; }, 20000);
            if (!done) {
                std::fprintf(stderr, "no result for %d cells\n", cells);
                return 1;
            }
            const qint64 end = cells == 1 ? clock.nsecsElapsed() : paint.paintedAt;
            if (r > 0) times.push_back(static_cast<double>(end - changedAt) / 1e6);
            if (w->ColorHint->isVisible()) w->ColorHint->Dismiss(false);
            WaitUntil([] { return false; }, 30);
        }
        std::sort(times.begin(), times.end());
        std::printf("%6d%s  %9.2f  %6.2f  %6.2f\n", cells, shape.lines ? " lines" : "", times[times.size() / 2],
                    times.front(), times.back());
    }
    std::system("xdotool keyup ctrl");
    return 0;
}
