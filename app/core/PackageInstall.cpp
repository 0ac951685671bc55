#include "PackageInstall.h"

#include <unistd.h>

#include <cstdio>

#include "PlugginMan.h"
#include "RefusalTexts.h"
#include "SysCaller.h"
#include "platform/FileTrust.h"
#include "platform/KeepAside.h"
#include "rtl/DateUtils.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra {
namespace {

constexpr std::string_view kLibrarySuffix = ".so";
constexpr std::string_view kPackageExt = ".vpl";

std::string DatedPackageFileName(const std::string& folder, const std::string& packageName) {
    return JoinPath(folder, packageName + "-" + FormatDateStamp(Date()) + std::string(kPackageExt));
}

// Moves a refused package to its name in PubData/Refused, or "-2", "-3", ... before the
// extension when a copy refused earlier today has it: that copy stays. "" when it stays put.
std::string MoveToFreeRefusedName(const std::string& packagePath, const std::string& packageName) {
    const std::string name = RefusedPackageFileName(packageName);
    if (!ForceDirectories(ExtractFileDir(name))) return {};
    return RenameToFreeName(packagePath, [&name](int n) {
        return n == 1 ? name : ChangeFileExt(name, "-" + std::to_string(n) + std::string(kPackageExt));
    });
}

// Takes a refused package out of the waiting ones, so that it is told once, and says why. One
// that cannot be moved stays, and the next start tells it again.
void RefusePackage(const TPackageInstallHost& host, const std::string& packagePath, const std::string& packageName,
                   TPackageRefusal why) {
    std::string movedTo = MoveToFreeRefusedName(packagePath, packageName);
    host.ShowMessage("Error installing: " + packagePath + "\r\n" + PackageRefusedText(host.Messages, why, movedTo));
}

// Moves the unpacked library into AppData and registers the source. A failed registration
// leaves AppData as it found it; refused then names the library when others can change it.
bool MoveAndRegister(TPlugginMan& manager, const std::string& code, const std::string& folder, std::string& refused) {
    const std::string library = JoinPath(AppData, code + std::string(kLibrarySuffix));
    const std::string unpacked = JoinPath(folder, code + std::string(kLibrarySuffix));
    // The library this package replaces waits beside it until the source is registered.
    const std::string previous = library + ".previous";
    bool replaced = false;
    bool brought = false;
    if (FileExists(unpacked)) {
        DeleteFile(previous);
        replaced = FileExists(library) && std::rename(library.c_str(), previous.c_str()) == 0;
        brought = CopyFileTo(unpacked, library, false);
        if (brought) {
            DeleteFile(unpacked);
        } else if (replaced) {
            std::rename(previous.c_str(), library.c_str());
            replaced = false;
        }
    }
    // A library left from an earlier installation still registers the source.
    const bool installed = manager.InstallPlugin(code, library);
    if (!installed && FileExists(library) && platform::WritableByOthers(library)) refused = library;
    if (!installed && brought) {
        DeleteFile(library);
        if (replaced) std::rename(previous.c_str(), library.c_str());
    } else if (replaced) {
        DeleteFile(previous);
    }
    return installed;
}

}  // namespace

std::string PackageName(const std::string& packagePath) {
    return UpperCase(ChangeFileExt(ExtractFileName(packagePath), ""));
}

std::string PackageCode(const std::string& packageName) {
    const std::size_t dot = packageName.find('.');
    return dot == std::string::npos ? packageName : packageName.substr(0, dot);
}

std::string InstalledPackagesFolder() { return JoinPath(PubData, "Installed"); }

std::string InstalledPackageFileName(const std::string& packageName) {
    return DatedPackageFileName(InstalledPackagesFolder(), packageName);
}

std::string RefusedPackageFileName(const std::string& packageName) {
    return DatedPackageFileName(JoinPath(PubData, "Refused"), packageName);
}

bool InstallPluginPackage(TPlugginMan& manager, const TPackageInstallHost& host, const std::string& packagePath,
                          const std::string& packageName, const std::string& code, const std::string& folder) {
    // A package that another user could have placed would bring its library into every
    // converter of the installation.
    if (platform::WritableByOthers(packagePath)) {
        if (FileExists(packagePath)) {
            RefusePackage(host, packagePath, packageName, TPackageRefusal::Untrusted);
            return false;
        }
        host.ShowMessage("Error installing: " + packagePath);
        return false;
    }
    const bool hadFolder = DirectoryExists(folder);
    bool refused = false;
    if (!host.ExtractArchive(packagePath, folder, &refused)) {
        if (!hadFolder) ::rmdir(folder.c_str());  // made for the extraction; only when empty
        if (refused) {
            RefusePackage(host, packagePath, packageName, TPackageRefusal::Unpacked);
        } else {
            host.ShowMessage("Error installing: " + packagePath);
        }
        return false;
    }
    std::string refusedLibrary;
    if (!MoveAndRegister(manager, code, folder, refusedLibrary)) {
        // The package itself is sound: it waits for a start after the folder is mended.
        std::string text = "Error installing: " + packagePath;
        if (!refusedLibrary.empty()) text += "\r\n" + LibraryRefusedText(host.Messages, refusedLibrary);
        host.ShowMessage(text);
        return false;
    }
    const std::string filed = InstalledPackageFileName(packageName);
    if (CopyFileTo(packagePath, filed, false)) DeleteFile(packagePath);
    return true;
}

void InstallPendingPackages(TPlugginMan& manager, const TPackageInstallHost& host, TStringList& files,
                            const std::string& folder) {
    ForceDirectories(InstalledPackagesFolder());
    while (!files.Empty()) {
        const std::string packagePath = JoinPath(folder, files[0]);
        const std::string name = PackageName(packagePath);
        const std::string code = PackageCode(name);
        InstallPluginPackage(manager, host, packagePath, name, code, JoinPath(PubData, code));
        files.Delete(0);
    }
}

}  // namespace vemra
