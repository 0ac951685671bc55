#pragma once
// A folder for the files a fuzz target writes on every input, removed at exit. In memory
// where the machine has /dev/shm, so the atomic replaces' flushes cost nothing. Made again,
// with its files, when something else on the machine removed it meanwhile.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>

namespace vemra::fuzz {

class ScratchFolder {
public:
    ScratchFolder(const char* name, std::function<void(const std::string& path)> fill) : fill_(std::move(fill)) {
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        path_ = std::string(base) + "/vemra-fuzz-" + name + "-XXXXXX";
        if (::mkdtemp(path_.data()) == nullptr) std::abort();
        fill_(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder, there with its files.
    const std::string& Path() {
        if (::access(path_.c_str(), F_OK) != 0) {
            if (::mkdir(path_.c_str(), 0700) != 0) std::abort();
            fill_(path_);
        }
        return path_;
    }

private:
    std::string path_;
    std::function<void(const std::string& path)> fill_;
};

}  // namespace vemra::fuzz
