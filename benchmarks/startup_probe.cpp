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

namespace {

bool HasClass(Display* display, Window window, const char* wanted) {
  XClassHint hint{};
  if (XGetClassHint(display, window, &hint) == 0) return false;
  const bool match = (hint.res_class && std::strcmp(hint.res_class, wanted) == 0) ||
                     (hint.res_name && std::strcmp(hint.res_name, wanted) == 0);
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return match;
}

// One "Name:   123 kB" field of a /proc file of the process; -1 when absent.
long ProcField(pid_t pid, const char* file, const char* field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(in, line))
    if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
  return -1;
}

int IgnoreErrors(Display*, XErrorEvent*) { return 0; }  // windows may vanish while we look

}  // namespace

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
