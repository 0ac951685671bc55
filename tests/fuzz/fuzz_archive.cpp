// Any bytes as an archive from outside: a downloaded history archive unpacked into a folder,
// then the same bytes as a plug-in package waiting in PubData. Nothing may land outside the
// folder, no link is made, the bounds hold, a failure leaves the folder as it was, and a
// package that does not install leaves no library behind and is either waiting or set aside.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "ArchiveExtract.h"
#include "FuzzFolder.h"
#include "PackageInstall.h"
#include "PlugginMan.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace {

using namespace vemra;

constexpr std::uint64_t kMaxBytes = 1u << 20;
constexpr int kMaxMembers = 64;

void Require(bool condition) {
    if (!condition) std::abort();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    Require(out != nullptr);
    Require(std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size());
    Require(std::fclose(out) == 0);
}

void Fill(const std::string& root) {
    for (const char* sub : {"/home", "/pub", "/app", "/history"})
        if (::mkdir((root + sub).c_str(), 0700) != 0) std::abort();
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string());
    return names;
}

// Every entry under folder is a real file or folder, and the files hold at most kMaxBytes.
void RequireOnlyFilesAndFolders(const std::string& folder) {
    std::uint64_t bytes = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
        const auto status = entry.symlink_status(error);
        Require(std::filesystem::is_regular_file(status) || std::filesystem::is_directory(status));
        if (std::filesystem::is_regular_file(status)) bytes += entry.file_size(error);
    }
    Require(bytes <= kMaxBytes);
}

void Empty(const std::string& folder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        std::filesystem::remove_all(entry.path(), error);
}

TExtractLimits Limits(bool* refused) {
    TExtractLimits limits;
    limits.MaxBytes = kMaxBytes;
    limits.MaxMembers = kMaxMembers;
    limits.Refused = refused;
    return limits;
}

void History(const std::string& root, const std::string& bytes) {
    const std::string archive = root + "/history.zip";
    const std::string folder = root + "/history";
    WriteBytes(archive, bytes);
    TStringList names;
    bool refused = false;
    if (ExtractArchiveFiles(archive, folder, names, Limits(&refused))) {
        Require(!refused);
        for (int i = 0; i < names.Count(); ++i) {
            Require(names[i].rfind(folder + "/", 0) == 0 && names[i].find("/../") == std::string::npos);
            struct stat st {};
            Require(::lstat(names[i].c_str(), &st) == 0 && S_ISREG(st.st_mode));
        }
        RequireOnlyFilesAndFolders(folder);
    } else {
        Require(names.Count() == 0 && Entries(folder).empty());  // all or nothing
    }
    Require(Entries(root).size() == 5);  // home, pub, app, history and the archive: nothing beside
    Empty(folder);
}

void Package(const std::string& root, const std::string& bytes) {
    PubData = root + "/pub";
    AppData = root + "/app";
    const std::string package = PubData + "/FZZ.vpl";
    WriteBytes(package, bytes);
    TPackageInstallHost host;
    host.ExtractArchive = [](const std::string& archive, const std::string& folder, bool* refused) {
        TStringList names;
        if (!ExtractArchiveFiles(archive, folder, names, Limits(refused))) return false;
        // Whatever library the input brought is never loaded: the fuzzer runs no code it made.
        std::remove((folder + "/FZZ.so").c_str());
        return true;
    };
    int shown = 0;
    host.ShowMessage = [&shown](const std::string& text) {
        Require(text.rfind("Error installing: ", 0) == 0);
        ++shown;
    };
    TPlugginMan manager;
    Require(!InstallPluginPackage(manager, host, package, "FZZ", "FZZ", PubData + "/FZZ"));
    Require(shown == 1);
    Require(!FileExists(AppData + "/FZZ.so") && !FileExists(AppData + "/FZZ.so.previous"));
    // Waiting for the next start, or set aside.
    Require(FileExists(package) != FileExists(RefusedPackageFileName("FZZ")));
    if (DirectoryExists(PubData + "/FZZ")) RequireOnlyFilesAndFolders(PubData + "/FZZ");
    Empty(PubData);
    Empty(AppData);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::ScratchFolder folder("archive", [](const std::string& root) {
        Fill(root);
        // The plug-in manager keeps the user's files under the home: a scratch one.
        ::setenv("HOME", (root + "/home").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (root + "/home/data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root + "/home/config").c_str(), 1);
        ::setenv("VEMRA_REGISTRY_DIR", (root + "/home/registry").c_str(), 1);
        ::setenv("VEMRA_SYSTEM_ROOT", (root + "/home/machine").c_str(), 1);
    });
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string& root = folder.Path();
    History(root, bytes);
    Package(root, bytes);
    return 0;
}
