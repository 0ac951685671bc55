#include "SysCaller.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <optional>
#include <utility>

#include "platform/DesktopEntry.h"
#include "platform/FileCopy.h"
#include "platform/ShellOpen.h"
#include "platform/SpecialFolders.h"
#include "rtl/NumParse.h"
#include "rtl/SysUtils.h"

namespace vemra {
namespace {

struct ShellError {
    int code;
    const char* text;
};

constexpr ShellError kShellErrors[] = {
    {0, "The operating system is out of memory or resources."},
    {2, "The specified file was not found."},
    {3, "The specified path was not found."},
    {5, "The operating system denied access to the specified file."},
    {8, "There was not enough memory to complete the operation."},
    {11, "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image)."},
    {26, "A sharing violation occurred."},
    {27, "The filename association is incomplete or invalid."},
    {28, "The DDE transaction could not be completed because the request timed out."},
    {29, "The DDE transaction failed."},
    {30, "The DDE transaction could not be completed because other DDE transactions were being processed."},
    {31, "There is no application associated with the given filename extension."},
    {32, "The specified dynamic-link library was not found."},
};

void MakeFolderOf(const std::string& fileName) {
    std::string folder = ExtractFileDir(fileName);
    if (!folder.empty() && !ForceDirectories(folder)) throw EInOutError("Unable to create directory " + folder);
}

// The folder part of a mask; a bare name lists the current folder.
std::string FolderOfMask(const std::string& mask) {
    std::string folder = ExtractFileDir(mask);
    if (!folder.empty()) return folder;
    return std::string(!mask.empty() && mask.front() == '/' ? "/" : ".");
}

class DirHandle {
public:
    explicit DirHandle(const std::string& path) : dir_(opendir(path.c_str())) {}
    ~DirHandle() { if (dir_) closedir(dir_); }
    DirHandle(const DirHandle&) = delete;
    DirHandle& operator=(const DirHandle&) = delete;
    DIR* get() const { return dir_; }

private:
    DIR* dir_;
};

}  // namespace

int ShellOpen(const std::string& fileOrAddress, const std::string& parameters) {
    int result = platform::OpenWithDesktop(fileOrAddress, parameters);
    RaiseShellError(result);
    return result;
}

void RaiseShellError(int code) {
    for (const ShellError& e : kShellErrors)
        if (e.code == code) throw Exception(e.text);
}

std::string GetSystemDir(int kind) {
    switch (kind) {
        case 0: return GetSpecialFolder(10);
        case 1: return GetSpecialFolder(11);
        case 2: return GetSpecialFolder(12);
        default: return {};
    }
}

bool GetSpecialFolder(int kind, std::string& folder) {
    std::optional<std::string> path = platform::SpecialFolderPath(kind);
    if (!path) return false;
    folder = std::move(*path);
    return true;
}

std::string GetSpecialFolder(int kind) {
    std::string folder;
    GetSpecialFolder(kind, folder);
    return folder;
}

bool CopyFileTo(const std::string& source, const std::string& destination, bool failIfExists) {
    return platform::CopyFileContents(source, destination, failIfExists);
}

void SaveResourceToFile(const std::string& resourceName, const std::string& fileName, HMODULE module) {
    std::string_view bytes;
    if (!platform::FindModuleResource(module, resourceName, bytes))
        throw Exception("Resource " + resourceName + " not found");
    MakeFolderOf(fileName);
    // Replaced in one step, so that a program reading the file meanwhile (another start laying
    // out the same files) finds the old file or the new one; with a new file's mode, as a file
    // is often extracted again because it could not be read.
    TAtomicWriteOptions options;
    options.Mode = NewFileMode();
    WriteFileAtomic(fileName, bytes, options);
}

void CreateShortcut(const std::string& baseName, const std::string& target, const std::string& arguments) {
    MakeFolderOf(baseName);
    std::string path = baseName + platform::kShortcutExtension;
    WriteFileAtomic(path, platform::RenderDesktopEntry(ExtractFileName(baseName), target, arguments));
    // Desktops start only launchers that are marked executable.
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) chmod(path.c_str(), (st.st_mode & 07777) | ((st.st_mode & 0444) >> 2));
}

std::unique_ptr<TStringList> ListFiles(const std::string& mask) {
    auto list = std::make_unique<TStringList>();
    std::string pattern = ExtractFileName(mask);
    DirHandle dir(FolderOfMask(mask));
    if (!dir.get()) return list;
    while (dirent* entry = readdir(dir.get())) {
        const char* name = entry->d_name;
        if (name[0] == '.') continue;
        if (fnmatch(pattern.c_str(), name, FNM_NOESCAPE | FNM_CASEFOLD) == 0) list->Add(name);
    }
    return list;
}

std::uint32_t VersionToInt(std::string_view text) {
    std::string rest = std::string(text) + ".";
    std::uint32_t result = 0;
    for (int i = 0; i < 4; ++i) {
        std::size_t dot = rest.find('.');
        int value = 0;
        if (dot == std::string::npos || !TryStrToInt(std::string_view(rest).substr(0, dot), value)) break;
        result |= (static_cast<std::uint32_t>(value) & 0xFFu) << (8 * (3 - i));
        rest = rest.substr(dot + 1, 20);
    }
    return result;
}

}  // namespace vemra
