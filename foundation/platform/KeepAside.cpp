#include "KeepAside.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace vemra {

bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system that cannot refuse in the rename itself: looked at first.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
}

std::string RenameToFreeName(const std::string& from, const std::function<std::string(int n)>& nameFor) {
    for (int n = 1; n < 100; ++n) {
        // Refused in the rename itself, so that a file that took the name meanwhile stays.
        const std::string to = nameFor(n);
        if (RenameNoReplace(from, to)) return to;
        if (errno != EEXIST) return {};
    }
    return {};
}

std::string KeepAside(const std::string& path) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm utc {};
    ::gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    const std::string base = path + ".damaged-" + stamp;
    return RenameToFreeName(path, [&base](int n) { return n == 1 ? base : base + "-" + std::to_string(n); });
}

}  // namespace vemra
