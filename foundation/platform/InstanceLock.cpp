#include "InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "GlobalAtoms.h"

namespace vemra::platform {

std::string TInstanceLock::FileName(std::string_view name) {
    const std::string folder = RuntimeFolder();
    return folder.empty() ? std::string() : folder + "/" + std::string(name) + ".lock";
}

TInstanceLock::TResult TInstanceLock::Take(std::string_view name, std::string* problem) {
    if (Held()) return TResult::Taken;
    std::string why;
    if (RuntimeFolder(&why).empty()) {
        if (problem != nullptr) *problem = why;
        return TResult::Failed;
    }
    const std::string path = FileName(name);
    // Close-on-exec: a helper program started by the holder must not keep the lock after it.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (problem != nullptr) *problem = "The lock file " + path + " cannot be opened: " + std::strerror(errno) + ".";
        return TResult::Failed;
    }
    int result = ::flock(fd, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR) result = ::flock(fd, LOCK_EX | LOCK_NB);
    if (result == 0) {
        fd_ = fd;
        return TResult::Taken;
    }
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) return TResult::HeldByAnother;
    if (problem != nullptr) *problem = "The lock file " + path + " cannot be locked: " + std::strerror(error) + ".";
    return TResult::Failed;
}

void TInstanceLock::Release() {
    if (fd_ < 0) return;
    // The file stays: were it removed, a start that had just opened it would lock the old
    // file while the next start locks a new one.
    ::close(fd_);
    fd_ = -1;
}

}  // namespace vemra::platform
