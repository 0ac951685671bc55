#pragma once
// What the rate-source library fuzzers share: a private scratch folder, input files written
// into it, and checks of the answers the contract promises.

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

#include "ratesource_text.h"
#include "vemra_ratesource.h"

namespace vemra::fuzz {

inline void Require(bool condition) {
    if (!condition) std::abort();
}

// A scratch folder of this process, made on first use (in memory where there is a tmpfs) and
// removed at exit.
class ScratchFolder {
public:
    ScratchFolder() {
        std::error_code error;
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm", error) ? "/dev/shm" : std::filesystem::temp_directory_path();
        path_ = (base / "vemra-fuzz-XXXXXX").string();
        Require(::mkdtemp(path_.data()) != nullptr);
    }
    ~ScratchFolder() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

inline const std::string& Scratch() {
    static const ScratchFolder folder;
    return folder.Path();
}

inline std::string WriteInput(const std::string& name, std::string_view bytes) {
    const std::string path = Scratch() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    Require(out.good());
    return path;
}

inline std::string ReadBack(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Zero-terminated, as the host hands texts over.
inline std::string Text(std::string_view bytes) {
    std::string text(bytes);
    text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
    return text;
}

// Status 1 of GetDate: "yyyy/mm/dd".
inline void CheckDate(const char* answer, std::int32_t status) {
    Require(status == VEMRA_STATUS_OK || status == 0);
    if (status != VEMRA_STATUS_OK) return;
    const std::string_view date = answer;
    Require(date.size() == 10 && date[4] == '/' && date[7] == '/');
}

// Status 1 of ParseItem: "CODE=value", the value a rate the day rate file reader takes.
inline void CheckItem(const char* answer, std::int32_t status) {
    Require(status == VEMRA_STATUS_OK || status == VEMRA_STATUS_MISSING);
    if (status != VEMRA_STATUS_OK) return;
    const std::string_view line = answer;
    Require(line.size() > 4 && ratesource::IsCurrencyCode(line.substr(0, 3)) && line[3] == '=');
    double rate = 0;
    const std::string_view value = line.substr(4);
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), rate);
    Require(ec == std::errc() && end == value.data() + value.size() && ratesource::IsUsableRate(rate));
}

}  // namespace vemra::fuzz
