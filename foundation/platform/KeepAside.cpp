#include "KeepAside.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>

namespace vemra {

std::string KeepAside(const std::string& path) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm utc {};
    ::gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    const std::string base = path + ".damaged-" + stamp;
    for (int n = 1; n < 100; ++n) {
        const std::string aside = n == 1 ? base : base + "-" + std::to_string(n);
        struct stat st {};
        if (::lstat(aside.c_str(), &st) == 0) continue;
        return std::rename(path.c_str(), aside.c_str()) == 0 ? aside : std::string();
    }
    return {};
}

}  // namespace vemra
