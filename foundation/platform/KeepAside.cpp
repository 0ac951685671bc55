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

std::string KeepAside(const std::string& path) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm utc {};
    ::gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    const std::string base = path + ".damaged-" + stamp;
    for (int n = 1; n < 100; ++n) {
        // Refused in the rename itself, so that a copy another start set aside meanwhile under
        // the same name stays.
        const std::string aside = n == 1 ? base : base + "-" + std::to_string(n);
        if (RenameNoReplace(path, aside)) return aside;
        if (errno != EEXIST) return {};
    }
    return {};
}

}  // namespace vemra
