#include "platform/FileTrust.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

namespace vemra::platform {
namespace {

// Whether another user has gid as primary group: such a user is no listed member, yet writes
// what the group may. Users that cannot all be listed count as such a user.
bool PrimaryGroupOfAnother(gid_t gid) {
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* entry = nullptr;
    bool shared = false;
    // The listing's position is the process's own: one listing at a time.
    static std::mutex listing;
    const std::lock_guard lock(listing);
    ::setpwent();
    for (;;) {
        const int error = ::getpwent_r(&pw, buf.data(), buf.size(), &entry);
        if (error != 0 || entry == nullptr) {
            shared = error != ENOENT;
            break;
        }
        if (entry->pw_gid == gid && entry->pw_uid != getuid()) {
            shared = true;
            break;
        }
    }
    ::endpwent();
    return shared;
}

// The user's private group: the primary group named as the user, with no listed members and
// no other user's primary group.
bool IsOwnPrivateGroup(gid_t gid) {
    if (gid != getgid()) return false;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> pwBuf(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd pw{};
    passwd* user = nullptr;
    if (getpwuid_r(getuid(), &pw, pwBuf.data(), pwBuf.size(), &user) != 0 || user == nullptr) return false;
    size = sysconf(_SC_GETGR_R_SIZE_MAX);
    std::vector<char> grBuf(size > 0 ? static_cast<std::size_t>(size) : 16384);
    group gr{};
    group* found = nullptr;
    if (getgrgid_r(gid, &gr, grBuf.data(), grBuf.size(), &found) != 0 || found == nullptr) return false;
    const bool noMembers = found->gr_mem == nullptr || found->gr_mem[0] == nullptr;
    return noMembers && std::strcmp(found->gr_name, user->pw_name) == 0 && !PrimaryGroupOfAnother(gid);
}

bool OthersCanWrite(const struct stat& st) {
    if (st.st_uid != getuid() && st.st_uid != 0) return true;
    if ((st.st_mode & S_IWOTH) != 0) return true;
    return (st.st_mode & S_IWGRP) != 0 && !IsOwnPrivateGroup(st.st_gid);
}

}  // namespace

bool WritableByOthers(const std::string& path) {
    struct stat file {};
    if (path.empty() || stat(path.c_str(), &file) != 0) return true;
    if (OthersCanWrite(file)) return true;
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const std::size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : folder.substr(0, slash);
    struct stat dir {};
    if (stat(folder.c_str(), &dir) != 0) return true;
    // A sticky folder keeps others from replacing a file they do not own.
    if ((dir.st_mode & S_ISVTX) != 0 && (dir.st_uid == getuid() || dir.st_uid == 0)) return false;
    return OthersCanWrite(dir);
}

}  // namespace vemra::platform
