#include "platform/FileCopy.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "rtl/SysUtils.h"

namespace vemra::platform {
namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { if (fd_ >= 0) close(fd_); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool Close() {
        int fd = fd_;
        fd_ = -1;
        return close(fd) == 0;
    }

private:
    int fd_;
};

bool CopyData(int from, int to) {
    std::vector<char> buf(64 * 1024);
    for (;;) {
        ssize_t n = read(from, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (!WriteAllToFd(to, std::string_view(buf.data(), static_cast<std::size_t>(n)))) return false;
    }
}

bool IsReadOnly(const struct stat& st) {
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// Moves the finished temporary file into place; with noReplace an existing destination
// (even one that appeared meanwhile) makes it fail.
bool Publish(const std::string& temp, const std::string& destination, bool noReplace) {
    if (!noReplace) return rename(temp.c_str(), destination.c_str()) == 0;
    if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // The file system cannot rename without replacing: a hard link fails the same way.
    if (link(temp.c_str(), destination.c_str()) != 0) return false;
    unlink(temp.c_str());
    return true;
}

bool WriteCopy(int source, const struct stat& st, int tempFd) {
    Fd out(tempFd);
    if (!CopyData(source, out.get())) return false;
    fchmod(out.get(), st.st_mode & 07777);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    futimens(out.get(), times);
    if (fsync(out.get()) != 0) return false;
    return out.Close();
}

}  // namespace

bool CopyFileContents(const std::string& source, const std::string& destination, bool failIfExists) {
    Fd in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (in.get() < 0 || fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    struct stat dst {};
    if (stat(destination.c_str(), &dst) == 0 && (failIfExists || IsReadOnly(dst) || S_ISDIR(dst.st_mode)))
        return false;

    std::string folder = ExtractFileDir(destination);
    std::string temp = (folder.empty() ? std::string(".") : folder) + "/." + ExtractFileName(destination) + ".XXXXXX";
    int tempFd = mkostemp(temp.data(), O_CLOEXEC);
    if (tempFd < 0) return false;
    if (!WriteCopy(in.get(), st, tempFd) || !Publish(temp, destination, failIfExists)) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace vemra::platform
