#pragma once
// The single-instance decision between the programs of one user: an exclusive lock on a file
// in the per-user runtime folder, held while the object lives. Taking it is one atomic step,
// so of any number of programs started at once exactly one holds it; the system lets it go
// when its holder dies, so a crash leaves nothing to clean up.

#include <string>
#include <string_view>

namespace vemra::platform {

class TInstanceLock {
public:
    enum class TResult { Taken, HeldByAnother, Failed };

    TInstanceLock() = default;
    ~TInstanceLock() { Release(); }
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;

    // Tries the lock of that name without waiting; problem, when given, says why it Failed
    // (no private runtime folder, a lock file that cannot be opened).
    TResult Take(std::string_view name, std::string* problem = nullptr);
    void Release();
    bool Held() const { return fd_ >= 0; }

    // The lock file of a name: "<runtime folder>/<name>.lock"; "" without a runtime folder.
    static std::string FileName(std::string_view name);

private:
    int fd_ = -1;
};

}  // namespace vemra::platform
