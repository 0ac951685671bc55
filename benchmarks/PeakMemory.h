#pragma once
// Peak memory of a piece of work: the growth of the peak resident set while it runs once in a
// forked child, so that what earlier runs left behind or the allocator keeps counts for nothing.

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

namespace vemra::bench {

// A field of /proc/self/status in kB ("VmRSS:", "VmHWM:"); 0 when missing.
inline std::size_t StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string name(field);
    while (std::getline(status, line))
        if (line.rfind(name, 0) == 0) return std::strtoull(line.c_str() + name.size(), nullptr, 10);
    return 0;
}

// Runs prepare, then work, in a child; the growth of its peak resident set during work.
inline std::size_t PeakBytes(const std::function<void()>& prepare, const std::function<void()>& work) {
    int fds[2];
    if (pipe(fds) != 0) return 0;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        prepare();
        malloc_trim(0);
        { std::ofstream("/proc/self/clear_refs") << "5"; }  // resets the peak to the current size
        const std::size_t before = StatusKb("VmRSS:");
        work();
        const std::size_t peak = StatusKb("VmHWM:");
        const std::size_t bytes = (peak > before ? peak - before : 0) * 1024;
        if (write(fds[1], &bytes, sizeof bytes) != sizeof bytes) _exit(1);
        _exit(0);
    }
    close(fds[1]);
    std::size_t bytes = 0;
    if (read(fds[0], &bytes, sizeof bytes) != sizeof bytes) bytes = 0;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return bytes;
}

inline std::size_t PeakBytes(const std::function<void()>& work) { return PeakBytes([] {}, work); }

}  // namespace vemra::bench
