// Starts a program on the current X display and reports, on one line, the milliseconds from
// exec to the moment its tray icon is embedded in the tray host (its window of the given
// WM_CLASS leaves the root for the tray) and, a while later, its resident memory, the
// anonymous part of it and its proportional share (kB).
//   startup_probe <class> <settle ms> <program> [arguments...]
// Exit code 0 with "ms rss_kb anon_kb pss_kb" on stdout; 1 when the icon did not come in 10 s.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "ProbeSupport.h"

using vemra::bench::HasClass;
using vemra::bench::IgnoreErrors;
using vemra::bench::ProcField;

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <class> <settle ms> <program> [arguments...]\n", argv[0]);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return 2;
  XSetErrorHandler(&IgnoreErrors);
  const Window root = DefaultRootWindow(display);
  XSelectInput(display, root, SubstructureNotifyMask);
  XSync(display, False);

  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    execv(argv[3], argv + 3);
    _exit(127);
  }
  double embeddedMs = -1;
  const auto deadline = start + std::chrono::seconds(10);
  while (embeddedMs < 0 && std::chrono::steady_clock::now() < deadline) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == ReparentNotify && event.xreparent.parent != root &&
          HasClass(display, event.xreparent.window, argv[1])) {
        embeddedMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        break;
      }
    }
    if (embeddedMs < 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  long rss = -1, anon = -1, pss = -1;
  if (embeddedMs >= 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(argv[2])));
    rss = ProcField(child, "status", "VmRSS");
    anon = ProcField(child, "status", "RssAnon");
    pss = ProcField(child, "smaps_rollup", "Pss");
  }
  kill(child, SIGTERM);
  int status = 0;
  waitpid(child, &status, 0);
  XCloseDisplay(display);
  if (embeddedMs < 0) return 1;
  std::printf("%.1f %ld %ld %ld\n", embeddedMs, rss, anon, pss);
  return 0;
}
