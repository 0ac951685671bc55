#include "Uninstall.h"

#include <unistd.h>

#include <exception>

#include "SetupCore.h"
#include "SysCaller.h"
#include "SysWinCore.h"
#include "platform/Registry.h"
#include "rtl/SysUtils.h"

namespace vemra::updater {
namespace {

struct TRecorded {
    std::string AppFolder, PubData, AppData, AppMenu, DesktopIcon, StartupIcon, UninstallLnk;
};

std::string Value(const TRegistry& reg, const char* name) {
    return reg.GetDataType(name) == TRegDataType::rdString ? reg.ReadString(name) : std::string();
}

// A recorded folder is used only when it is an absolute path below the root, so that a damaged
// key never points the removal at the root or at the working folder.
std::string Folder(const TRegistry& reg, const char* name) {
    std::string folder = ExcludeTrailingPathDelimiter(Value(reg, name));
    return folder.size() > 1 && folder.front() == '/' ? folder : std::string();
}

void RemoveFile(const std::string& path, TUninstallResult& result) {
    if (!path.empty() && FileExists(path) && DeleteFile(path)) result.Removed.push_back(path);
}

void RemoveMatching(const std::string& folder, const char* mask, TUninstallResult& result) {
    if (folder.empty()) return;
    const auto names = ListFiles(JoinPath(folder, mask));
    for (const auto& item : *names) RemoveFile(JoinPath(folder, item.str), result);
}

// Only an empty folder goes: whatever else is in it is not ours to remove.
void RemoveFolderIfEmpty(const std::string& folder, TUninstallResult& result) {
    if (!folder.empty() && DirectoryExists(folder) && ::rmdir(folder.c_str()) == 0) result.Removed.push_back(folder);
}

}  // namespace

TUninstallResult Uninstall(const std::function<void()>& askToQuit, const std::function<void()>& wait) {
    TUninstallResult result;
    int passes = 0;
    if (setup::AppIsRunning(setup::kConverterName, askToQuit, wait, passes)) {
        result.Error = "Vemra is still running; quit it and try again.";
        return result;
    }
    TRecorded rec;
    try {
        TRegistry reg(KEY_READ | RegistryView);
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly(setup::kInstallKey)) {
            result.Error = "No installation of Vemra was found.";
            return result;
        }
        rec = {Folder(reg, "AppFolder"),  Folder(reg, "PubData"),     Folder(reg, "AppData"),     Folder(reg, "AppMenu"),
               Value(reg, "DesktopIcon"), Value(reg, "StartupIcon"), Value(reg, "UninstallLnk")};
    } catch (const std::exception& error) {
        result.Error = error.what();
        return result;
    }

    // The program folder holds only what the installer put there.
    for (const std::string& name : {setup::MainProgramName(), setup::UpdaterProgramName(),
                                    setup::FetchProgramName(), std::string(setup::kLicenseFile)})
        if (!rec.AppFolder.empty()) RemoveFile(JoinPath(rec.AppFolder, name), result);
    RemoveFolderIfEmpty(rec.AppFolder, result);
    // The resource library and the plug-in libraries that the converter installed from packages.
    RemoveMatching(rec.AppData, "*.so", result);
    // What the converter unpacks from the resource library at each start: language files, skin.
    RemoveMatching(rec.AppData, "*.lib", result);
    RemoveFile(JoinPath(rec.AppData, "vemra-skin.png"), result);
    // Packages still waiting, the filed ones and the master store; rate files stay.
    RemoveMatching(rec.PubData, "*.vpl", result);
    if (!rec.PubData.empty()) {
        RemoveFile(JoinPath(rec.PubData, "plugins.dat"), result);
        RemoveMatching(JoinPath(rec.PubData, "Installed"), "*.vpl", result);
        RemoveFolderIfEmpty(JoinPath(rec.PubData, "Installed"), result);
    }
    // Only shortcut files named by an absolute path: a damaged value never takes anything else
    // with it, nor a file that it names from the working folder.
    for (const std::string* shortcut : {&rec.DesktopIcon, &rec.StartupIcon, &rec.UninstallLnk})
        if (shortcut->size() > 1 && shortcut->front() == '/' && ExtractFileExt(*shortcut) == ".desktop")
            RemoveFile(*shortcut, result);
    if (!rec.AppMenu.empty()) RemoveFile(JoinPath(rec.AppMenu, "Vemra") + ".desktop", result);
    RemoveFolderIfEmpty(rec.AppMenu, result);
    RemoveFolderIfEmpty(rec.AppData, result);
    RemoveFolderIfEmpty(rec.PubData, result);

    try {
        TRegistry reg(KEY_ALL_ACCESS | RegistryView);
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        TRegistryBatch batch(HKEY_LOCAL_MACHINE);  // both keys go in one write of the record
        reg.DeleteKey(std::string("\\") + setup::kUninstallKey + "\\" + setup::kUninstallSubkey);
        if (!reg.DeleteKey(std::string("\\") + setup::kInstallKey) || !batch.Commit()) {
            result.Error = "The install settings could not be removed.";
            return result;
        }
    } catch (const std::exception& error) {
        result.Error = error.what();
        return result;
    }
    result.Ok = true;
    return result;
}

}  // namespace vemra::updater
