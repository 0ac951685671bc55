// What the whole-program probes (startup_probe, programs_probe) read of the programs they
// watch: a window's class on the X server and a field of a /proc file.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <strings.h>
#include <sys/types.h>

#include <fstream>
#include <string>

namespace vemra::bench {

// True when the window's class or instance name is the wanted one (ASCII case ignored).
inline bool HasClass(Display* display, Window window, const char* wanted) {
    XClassHint hint{};
    if (XGetClassHint(display, window, &hint) == 0) return false;
    const bool match = (hint.res_class && strcasecmp(hint.res_class, wanted) == 0) ||
                       (hint.res_name && strcasecmp(hint.res_name, wanted) == 0);
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    return match;
}

// One "Name:   123 kB" field of a /proc file of the process; -1 when absent.
inline long ProcField(pid_t pid, const char* file, const char* field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
    return -1;
}

// Windows may vanish while a probe looks at them.
inline int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace vemra::bench
