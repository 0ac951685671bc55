#include "InstallationLayout.h"

#include <cstdlib>
#include <filesystem>

#include "PlugginMan.h"
#include "ResourceFiles.h"
#include "platform/Registry.h"
#include "rtl/DateUtils.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra {

namespace {

inline constexpr const char* kInstallKey = "Software\\Vemra";
inline constexpr const char* kProgramName = "vemra";
// The shipped files (the build's names) and the packages that wait for the first start.
inline constexpr const char* kShippedLibrary = "Resources.so";
inline constexpr const char* kShippedStore = "plugins.dat";
inline constexpr const char* kShippedPackages[] = {"ECB.vpl", "CBR.vpl"};

std::string EnvFolder(const char* name, const char* underHome) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value == '/') return value;
    const char* home = std::getenv("HOME");
    return JoinPath(home != nullptr ? home : "/tmp", underHome);
}

bool Copy(const std::string& from, const std::string& to, std::string& error) {
    std::error_code code;
    std::filesystem::create_directories(std::filesystem::path(to).parent_path(), code);
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, code);
    if (code) error = "cannot copy " + from + " to " + to + ": " + code.message();
    return !code;
}

}  // namespace

TInstallationLayout UserInstallationLayout() {
    const std::string data = JoinPath(EnvFolder("XDG_DATA_HOME", ".local/share"), "vemra");
    TInstallationLayout layout;
    layout.AppFolder = JoinPath(data, "program");
    layout.PubData = JoinPath(data, "data");
    layout.AppData = JoinPath(data, "user");
    layout.AppMenu = JoinPath(EnvFolder("XDG_DATA_HOME", ".local/share"), "applications");
    layout.StartupIcon = JoinPath(JoinPath(EnvFolder("XDG_CONFIG_HOME", ".config"), "autostart"), kProgramName);
    return layout;
}

bool InstallationExists() {
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKeyReadOnly(kInstallKey) || reg.GetDataType("AppFolder") != TRegDataType::rdString) return false;
    return FileExists(JoinPath(reg.ReadString("AppFolder"), kProgramName));
}

bool LayOutInstallation(const std::string& shippedDir, const std::string& programFile,
                        const TInstallationLayout& layout, std::string& error) {
    for (const std::string* folder : {&layout.AppFolder, &layout.PubData, &layout.AppData}) {
        if (!ForceDirectories(*folder)) {
            error = "cannot make " + *folder;
            return false;
        }
    }
    if (!programFile.empty() && !Copy(programFile, JoinPath(layout.AppFolder, kProgramName), error)) return false;
    // The names the program looks for depend on the folders it will be told.
    const std::string savedAppData = AppData;
    AppData = layout.AppData;
    const std::string library = ResourceLibraryFileName();
    AppData = savedAppData;
    if (!Copy(JoinPath(shippedDir, kShippedLibrary), library, error)) return false;
    if (!Copy(JoinPath(shippedDir, kShippedStore), JoinPath(layout.PubData, PluginStoreName()), error)) return false;
    for (const char* package : kShippedPackages) {
        if (!Copy(JoinPath(shippedDir, package), JoinPath(layout.PubData, package), error)) return false;
    }
    try {
        TRegistry reg(KEY_ALL_ACCESS);
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        TRegistryBatch batch(HKEY_LOCAL_MACHINE);  // the record is written whole or not at all
        if (!reg.OpenKey(kInstallKey, true)) {
            error = "cannot write the install key";
            return false;
        }
        reg.WriteString("AppFolder", layout.AppFolder);
        reg.WriteString("PubData", layout.PubData);
        reg.WriteString("AppData", layout.AppData);
        reg.WriteString("AppMenu", layout.AppMenu);
        reg.WriteDateTime("InstallDate", Now());
        reg.WriteString("DesktopIcon", "");
        reg.WriteString("StartupIcon", layout.StartupIcon);
        reg.WriteBool("AllUser", false);
        reg.CloseKey();
        if (!batch.Commit()) {
            error = "cannot write the install key";
            return false;
        }
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    return true;
}

}  // namespace vemra
