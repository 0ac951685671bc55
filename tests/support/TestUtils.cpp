#include "support/TestUtils.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace vemra::test {
namespace {

namespace fs = std::filesystem;

// Tests take permissions away to provoke errors; removal needs them back.
void RestoreOwnerPermissions(const fs::path& folder) {
    std::error_code ec;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_directory(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
}

}  // namespace

TempFolder::TempFolder(std::string_view prefix) {
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a folder like " + pattern);
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
    if (!ec) return;
    RestoreOwnerPermissions(path_);
    fs::remove_all(path_, ec);
}

void ScopedEnv::Set(const std::string& name, const std::optional<std::string>& value) {
    Preserve(name);
    if (value) ::setenv(name.c_str(), value->c_str(), 1);
    else ::unsetenv(name.c_str());
}

void ScopedEnv::Preserve(const std::string& name) {
    if (std::any_of(saved_.begin(), saved_.end(), [&](const auto& s) { return s.first == name; })) return;
    const char* old = ::getenv(name.c_str());
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
}

void ScopedEnv::Restore() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        if (it->second) ::setenv(it->first.c_str(), it->second->c_str(), 1);
        else ::unsetenv(it->first.c_str());
    }
    saved_.clear();
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteText(const std::string& path, std::string_view bytes) {
    const fs::path parent = fs::path(path).parent_path();
    std::error_code ec;
    if (!parent.empty()) fs::create_directories(parent, ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}

mode_t FileMode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

std::vector<std::string> FolderEntries(const std::string& folder, bool recursive) {
    std::vector<std::string> names;
    if (recursive) {
        for (const auto& e : fs::recursive_directory_iterator(folder))
            names.push_back(e.path().lexically_relative(folder).string());
    } else {
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool PermissionsBind() {
    static const bool bind = [] {
        const TempFolder folder("vemra-permissions");
        const std::string probe = folder / "probe";
        WriteText(probe, "x");
        ::chmod(probe.c_str(), 0);
        const int reading = ::open(probe.c_str(), O_RDONLY | O_CLOEXEC);
        const int writing = ::open(probe.c_str(), O_WRONLY | O_CLOEXEC);
        if (reading >= 0) ::close(reading);
        if (writing >= 0) ::close(writing);
        return reading < 0 && writing < 0;
    }();
    return bind;
}

std::string Quoted(std::string_view text) {
    constexpr std::size_t Shown = 40;
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size() && i < Shown; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\t') out += "\\t";
        else if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c < 0x20 || c == 0x7F) {
            static constexpr char Hex[] = "0123456789ABCDEF";
            out += "\\x";
            out += Hex[c >> 4];
            out += Hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
    if (text.size() > Shown) out.insert(out.size() - 1, "...").append(" of " + std::to_string(text.size()) + " bytes");
    return out;
}

}  // namespace vemra::test
