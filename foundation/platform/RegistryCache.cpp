#include "RegistryCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <list>
#include <mutex>

namespace vemra {
namespace {

// A program uses the user's hive and one or two machine hives.
constexpr std::size_t kMaxEntries = 4;

struct Entry {
    std::string key;  // path and root name
    int fd = -1;      // the file as read or written, held so that its inode number stays its own
    struct stat st {};
    TCachedHive content;
};

std::mutex g_mutex;
std::list<Entry> g_entries;  // most recently used first
THiveReadHook g_readHook = nullptr;

std::string KeyOf(const std::string& path, std::string_view rootName) { return path + '\n' + std::string(rootName); }

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size && SameTime(a.st_mtim, b.st_mtim) &&
           SameTime(a.st_ctim, b.st_ctim);
}

// Changed within the last second before now (or later): its times cannot tell a next change.
bool ChangedJustNow(const struct stat& st, const timespec& now) { return st.st_mtim.tv_sec + 1 >= now.tv_sec; }

void Drop(std::list<Entry>::iterator it) {
    if (it->fd >= 0) ::close(it->fd);
    g_entries.erase(it);
}

std::list<Entry>::iterator Find(const std::string& key) {
    for (auto it = g_entries.begin(); it != g_entries.end(); ++it)
        if (it->key == key) return it;
    return g_entries.end();
}

void Keep(std::string key, int fd, const struct stat& st, const TCachedHive& content) {
    if (auto old = Find(key); old != g_entries.end()) Drop(old);
    g_entries.push_front(Entry{std::move(key), fd, st, content});
    while (g_entries.size() > kMaxEntries) Drop(std::prev(g_entries.end()));
}

// The whole file behind fd; false on a read error.
bool ReadAll(int fd, std::string& text) {
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.append(buf, static_cast<std::size_t>(n));
    }
}

}  // namespace

std::optional<TCachedHive> ReadHiveFile(const std::string& path, std::string_view rootName, bool fresh) {
    const std::string key = KeyOf(path, rootName);
    const std::lock_guard lock(g_mutex);
    auto cached = Find(key);
    struct stat now {};
    if (::stat(path.c_str(), &now) != 0) {
        const int error = errno;
        if (cached != g_entries.end()) Drop(cached);
        errno = error;
        if (error == ENOENT) return TCachedHive{};
        return std::nullopt;
    }
    if (!fresh && cached != g_entries.end() && SameFile(cached->st, now)) {
        g_entries.splice(g_entries.begin(), g_entries, cached);
        return cached->content;
    }
    timespec clock {};
    ::clock_gettime(CLOCK_REALTIME, &clock);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return TCachedHive{};
        return std::nullopt;
    }
    struct stat st {};
    std::string text;
    if (::fstat(fd, &st) != 0 || !ReadAll(fd, text)) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return std::nullopt;
    }
    if (g_readHook != nullptr) g_readHook(path);
    THiveReadReport report;
    TCachedHive content{ParseHive(text, rootName, &report), report.readable};
    if (ChangedJustNow(st, clock)) {
        ::close(fd);
        if (auto stale = Find(key); stale != g_entries.end()) Drop(stale);
    } else {
        Keep(key, fd, st, content);
    }
    return content;
}

void RememberWrittenHive(const std::string& path, std::string_view rootName, const TRegHive& hive) {
    const std::string key = KeyOf(path, rootName);
    const std::lock_guard lock(g_mutex);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0) ::close(fd);
        if (auto old = Find(key); old != g_entries.end()) Drop(old);
        return;
    }
    Keep(key, fd, st, TCachedHive{hive, true});
}

void SetHiveReadHook(THiveReadHook hook) {
    const std::lock_guard lock(g_mutex);
    g_readHook = hook;
}

}  // namespace vemra
