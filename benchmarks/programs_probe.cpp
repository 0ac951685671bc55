// One round of the whole-program benchmark (programs.sh) for one program, observed from the
// outside on the current X display:
//   programs_probe <class> <update log|-> <cells,cells,...> <program> [arguments...]
// Starts the program and reports, on one line of stdout:
//   embed_ms rss_start_kb rss_update_kb balloon_ms...
// embed_ms: from exec to its tray icon embedded in the tray host (its window of WM_CLASS
// class leaves the root for the tray); rss_start_kb: resident memory 2.5 s after that;
// rss_update_kb: resident memory 1 s after the update log named gains an "UPDATED" line (for
// "-", at the same time after start as the converter's update takes at most: 1 s after start
// + 6.5 s); then for every cell count: the milliseconds from the clipboard's owner change
// (xclip taking a TAB table of that many cells while Ctrl is held down through XTest) to the
// first paint of the window that shows for it: the first time pixels inside that window
// differ from what the screen showed before the copy. Ctrl is released and the window gone
// before the next copy; a first copy of 100 cells is not counted. -1 for a figure that did not
// come.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ProbeSupport.h"

namespace {

using vemra::bench::HasClass;
using vemra::bench::IgnoreErrors;
using vemra::bench::ProcField;

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The copied table: n cells, 10 a row, each a different amount with a decimal comma.
std::string Table(int cells, int serial) {
    const int columns = cells >= 10 ? 10 : cells;
    std::string text;
    for (int i = 0; i < cells; ++i) {
        text += std::to_string(100 + i + serial) + ",25";
        text += ((i + 1) % columns == 0 || i + 1 == cells) ? "\n" : "\t";
    }
    return text;
}

class Observer {
public:
    explicit Observer(Display* display) : display_(display), root_(DefaultRootWindow(display)) {
        XSelectInput(display_, root_, SubstructureNotifyMask);
        int eventBase = 0, errorBase = 0;
        XFixesQueryExtension(display_, &eventBase, &errorBase);
        fixesEvent_ = eventBase + XFixesSelectionNotify;
        clipboard_ = XInternAtom(display_, "CLIPBOARD", False);
        XFixesSelectSelectionInput(display_, root_, clipboard_, XFixesSetSelectionOwnerNotifyMask);
        ctrl_ = XKeysymToKeycode(display_, XK_Control_L);
        XSync(display_, False);
    }

    // Waits for the program's tray window to be reparented into the tray; ms since start.
    double WaitForEmbed(const char* wantedClass, Clock::time_point start, int timeoutMs) {
        while (MsSince(start) < timeoutMs) {
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type == ReparentNotify && event.xreparent.parent != root_ &&
                    HasClass(display_, event.xreparent.window, wantedClass))
                    return MsSince(start);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return -1;
    }

    void Ctrl(bool down) {
        XTestFakeKeyEvent(display_, ctrl_, down ? True : False, CurrentTime);
        XSync(display_, False);
    }

    double CopyToBalloon(int cells, int serial, const std::string& file) {
        XWarpPointer(display_, None, root_, 0, 0, 0, 0, 320, 260);
        Ctrl(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        Drain();
        const int width = DisplayWidth(display_, DefaultScreen(display_));
        const int height = DisplayHeight(display_, DefaultScreen(display_));
        XImage* before = XGetImage(display_, root_, 0, 0, width, height, AllPlanes, ZPixmap);
        { std::ofstream(file, std::ios::binary) << Table(cells, serial); }
        const pid_t xclip = fork();
        if (xclip == 0) {
            const int null = open("/dev/null", O_RDWR);
            dup2(null, 1);
            dup2(null, 2);
            execlp("xclip", "xclip", "-quiet", "-selection", "clipboard", "-i", file.c_str(),
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        xclips_.push_back(xclip);
        double result = -1;
        Clock::time_point changed{};
        bool owned = false;
        Window shown = 0;
        XWindowAttributes at{};
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (Clock::now() < deadline && result < 0) {
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                if (!owned && event.type == fixesEvent_) {
                    changed = Clock::now();
                    owned = true;
                } else if (owned && !shown && event.type == MapNotify) {
                    shown = event.xmap.window;
                    XGetWindowAttributes(display_, shown, &at);
                }
            }
            if (shown && Painted(before, at))
                result = MsSince(changed);
            else
                std::this_thread::sleep_for(std::chrono::microseconds(150));
        }
        XDestroyImage(before);
        Ctrl(false);
        // The window goes once Ctrl is up; the next copy waits for that.
        const auto gone = Clock::now() + std::chrono::seconds(3);
        bool unmapped = shown == 0;
        while (!unmapped && Clock::now() < gone) {
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type == UnmapNotify && event.xunmap.window == shown) unmapped = true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        Reap(false);
        return result;
    }

    void Reap(bool all) {
        for (auto it = xclips_.begin(); it != xclips_.end();) {
            if (all) kill(*it, SIGTERM);
            if (waitpid(*it, nullptr, all ? 0 : WNOHANG) == *it)
                it = xclips_.erase(it);
            else
                ++it;
        }
    }

private:
    void Drain() {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
        }
    }

    // A row and a column through the window's middle, against the screen before the copy.
    bool Painted(XImage* before, const XWindowAttributes& at) {
        const int width = DisplayWidth(display_, DefaultScreen(display_));
        const int height = DisplayHeight(display_, DefaultScreen(display_));
        const int x0 = std::max(0, at.x), y0 = std::max(0, at.y);
        const int x1 = std::min(width, at.x + at.width), y1 = std::min(height, at.y + at.height);
        if (x1 <= x0 || y1 <= y0) return false;
        const int midY = (y0 + y1) / 2, midX = (x0 + x1) / 2;
        XImage* row = XGetImage(display_, root_, x0, midY, x1 - x0, 1, AllPlanes, ZPixmap);
        XImage* column = XGetImage(display_, root_, midX, y0, 1, y1 - y0, AllPlanes, ZPixmap);
        bool differs = false;
        if (row)
            for (int x = 0; x < x1 - x0 && !differs; ++x)
                differs = XGetPixel(row, x, 0) != XGetPixel(before, x0 + x, midY);
        if (column)
            for (int y = 0; y < y1 - y0 && !differs; ++y)
                differs = XGetPixel(column, 0, y) != XGetPixel(before, midX, y0 + y);
        if (row) XDestroyImage(row);
        if (column) XDestroyImage(column);
        return differs;
    }

    Display* display_;
    Window root_;
    int fixesEvent_ = 0;
    Atom clipboard_ = 0;
    KeyCode ctrl_ = 0;
    std::vector<pid_t> xclips_;
};

bool FileHas(const std::string& path, const std::string& text) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str().find(text) != std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s <class> <update log|-> <cells,...> <program> [arguments...]\n", argv[0]);
        return 2;
    }
    const char* wantedClass = argv[1];
    const std::string updateLog = argv[2];
    std::vector<int> sizes;
    {
        std::stringstream list(argv[3]);
        std::string item;
        while (std::getline(list, item, ',')) sizes.push_back(std::atoi(item.c_str()));
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return 2;
    XSetErrorHandler(&IgnoreErrors);
    Observer observer(display);
    observer.Ctrl(false);

    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execv(argv[4], argv + 4);
        _exit(127);
    }
    const double embedMs = observer.WaitForEmbed(wantedClass, start, 15000);
    long rssStart = -1, rssUpdate = -1;
    std::vector<double> balloons(sizes.size(), -1);
    if (embedMs >= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        rssStart = ProcField(child, "status", "VmRSS");
        if (updateLog == "-") {
            while (MsSince(start) < 7500) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            rssUpdate = ProcField(child, "status", "VmRSS");
        } else {
            const auto deadline = Clock::now() + std::chrono::seconds(60);
            while (Clock::now() < deadline && !FileHas(updateLog, "UPDATED"))
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (FileHas(updateLog, "UPDATED")) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1000));
                rssUpdate = ProcField(child, "status", "VmRSS");
            }
        }
        const char* home = std::getenv("HOME");
        const std::string file = std::string(home ? home : ".") + "/programs-copy-" + std::to_string(getpid()) + ".txt";
        int serial = 0;
        observer.CopyToBalloon(100, ++serial, file);  // warms the program's clipboard reading up; not counted
        for (std::size_t i = 0; i < sizes.size(); ++i) balloons[i] = observer.CopyToBalloon(sizes[i], ++serial, file);
        std::remove(file.c_str());
    }
    observer.Reap(true);
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    XCloseDisplay(display);
    std::printf("%.1f %ld %ld", embedMs, rssStart, rssUpdate);
    for (const double ms : balloons) std::printf(" %.2f", ms);
    std::printf("\n");
    return embedMs >= 0 ? 0 : 1;
}
