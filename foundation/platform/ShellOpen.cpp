#include "platform/ShellOpen.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string_view>
#include <thread>
#include <vector>

#include "rtl/SysUtils.h"

extern char** environ;

namespace vemra::platform {
namespace {

// How failures map onto the shell's codes:
//   target is a path that does not exist           2  file not found
//   ... whose folder does not exist either         3  path not found
//   target exists but cannot be read               5  access denied
//   xdg-open cannot be started (missing, not executable)  31  no associated application
//   the system has no memory or processes left     0 / 8
//   xdg-open exit 1 (it refused the arguments)    27  association incomplete or invalid
//   xdg-open exit 2 (a file did not exist)         2
//   xdg-open exit 3 (no tool to open it), 4 (the opening failed), other / killed  31
// xdg-open normally hands the target to the desktop and returns at once; when it is still
// running after kOpenerWait it is taken to have started an application in the foreground.
constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kAccessDenied = 5;
constexpr int kOutOfResources = 0;
constexpr int kOutOfMemory = 8;
constexpr int kAssocIncomplete = 27;
constexpr int kNoAssociation = 31;
constexpr auto kOpenerWait = std::chrono::seconds(2);

// "scheme:..." (RFC 3986: a letter, then letters, digits, '+', '-', '.'), at least two
// characters so that nothing looking like a drive letter counts.
bool IsAddress(std::string_view s) {
    std::size_t colon = s.find(':');
    if (colon == std::string_view::npos || colon < 2) return false;
    auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (!alpha(s[0])) return false;
    for (std::size_t i = 1; i < colon; ++i) {
        char c = s[i];
        if (!alpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

int CheckPath(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) return access(path.c_str(), R_OK) == 0 ? kShellSuccess : kAccessDenied;
    if (errno == EACCES) return kAccessDenied;
    if (errno == ENOTDIR) return kPathNotFound;
    std::string dir = ExtractFileDir(path);
    return dir.empty() || DirectoryExists(dir) ? kFileNotFound : kPathNotFound;
}

int SpawnErrorCode(int err) {
    if (err == ENOMEM) return kOutOfMemory;
    if (err == EAGAIN) return kOutOfResources;
    return kNoAssociation;
}

int ExitStatusCode(int status) {
    if (!WIFEXITED(status)) return kNoAssociation;
    switch (WEXITSTATUS(status)) {
        case 0: return kShellSuccess;
        case 1: return kAssocIncomplete;
        case 2: return kFileNotFound;
        default: return kNoAssociation;
    }
}

// The opener starts with default signal handling and nothing blocked, whatever the
// program has set up for itself.
struct SpawnAttributes {
    posix_spawnattr_t attr{};
    SpawnAttributes() {
        posix_spawnattr_init(&attr);
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (int sig : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&defaults, sig);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attr); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
};

int WaitForOpener(pid_t pid) {
    auto deadline = std::chrono::steady_clock::now() + kOpenerWait;
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return ExitStatusCode(status);
        if (r < 0 && errno != EINTR) return kShellSuccess;  // reaped elsewhere: nothing to report
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Still running: collect it whenever it ends, so it leaves no zombie behind.
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    }).detach();
    return kShellSuccess;
}

}  // namespace

int OpenWithDesktop(const std::string& target, const std::string& parameters) {
    std::string arg = target;
    if (!IsAddress(target)) {
        int check = CheckPath(target);
        if (check != kShellSuccess) return check;
        if (arg.front() == '-') arg = "./" + arg;  // never read as an option
    }
    std::vector<char*> argv;
    std::string program = "xdg-open";
    argv.push_back(program.data());
    argv.push_back(arg.data());
    std::string params = parameters;
    if (!params.empty()) argv.push_back(params.data());
    argv.push_back(nullptr);

    SpawnAttributes attrs;
    pid_t pid = 0;
    int err = posix_spawnp(&pid, program.c_str(), nullptr, &attrs.attr, argv.data(), environ);
    if (err != 0) return SpawnErrorCode(err);
    return WaitForOpener(pid);
}

}  // namespace vemra::platform
