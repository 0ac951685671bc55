#pragma once
// A folder for the files a fuzz target writes on every input, removed at exit. In memory
// where the machine has /dev/shm, so the atomic replaces' flushes cost nothing.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace vemra::fuzz {

inline std::string MakeFolder(const char* name) {
    const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string path = std::string(base) + "/vemra-fuzz-" + name + "-XXXXXX";
    if (::mkdtemp(path.data()) == nullptr) std::abort();
    return path;
}

inline void RemoveFolder(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

}  // namespace vemra::fuzz
