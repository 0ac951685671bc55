#include "SetupCore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "SysCaller.h"
#include "SysStrings.h"
#include "platform/GlobalAtoms.h"
#include "rtl/SysUtils.h"

namespace vemra::setup {
namespace {

inline constexpr auto kMainProgram = ScrambleLiteral("vemra");
inline constexpr auto kUpdaterProgram = ScrambleLiteral("vmrupdater");
inline constexpr auto kFetchProgram = ScrambleLiteral("vmrfetch");
inline constexpr auto kProductAddress = ScrambleLiteral("https://vemra.example.org");
inline constexpr std::size_t kMaxDataFolder = 256;

std::string Vemra(int kind) { return JoinPath(GetSpecialFolder(kind), "Vemra"); }

}  // namespace

std::string MainProgramName() { return UnscrambleLiteral(kMainProgram); }
std::string UpdaterProgramName() { return UnscrambleLiteral(kUpdaterProgram); }
std::string FetchProgramName() { return UnscrambleLiteral(kFetchProgram); }
std::string ProductAddress() { return UnscrambleLiteral(kProductAddress); }

TInstallFolders FoldersForType(int type) {
    const bool all = type == kAllUsers;
    TInstallFolders f;
    f.PubData = Vemra(all ? 6 : 9);
    f.AppMenu = Vemra(all ? 7 : 3);
    f.DesktopBase = Vemra(all ? 5 : 1);
    f.StartupBase = Vemra(all ? 8 : 4);
    return f;
}

std::string DefaultProgramFolder() { return Vemra(0); }
std::string LocalAppDataFolder() { return Vemra(2); }

bool CheckFoldersWritable(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        if (folder.empty() || !ForceDirectories(folder)) return false;
        const std::string probe = JoinPath(folder, "test.tmp");
        std::FILE* file = std::fopen(probe.c_str(), "wb");
        if (file == nullptr) return false;
        std::fclose(file);
        DeleteFile(probe);
    }
    return true;
}

std::string FolderWithVemra(std::string_view text) {
    std::string folder(text);
    if (UpperCase(folder).find("VEMRA") == std::string::npos) folder += "/Vemra";
    const std::size_t twice = folder.find("//");
    if (twice != std::string::npos) folder.erase(twice, 1);
    return folder;
}

bool ParseDataParameter(std::string_view parameter, std::string& folder) {
    if (parameter.size() < 6 || UpperCase(parameter.substr(0, 6)) != "/DATA=") return false;
    std::string value(parameter.substr(6, kMaxDataFolder));
    if (value.size() > 1 && value.back() == '/') value.pop_back();
    folder = value;
    return true;
}

bool IsInstallParameter(std::string_view parameter) { return UpperCase(parameter) == "/INSTALL"; }

std::vector<std::string> InstanceAtomNames(std::string_view name) {
    return {"JustOne" + std::string(name) + ".exeApp", "JustOne" + std::string(name) + "App"};
}

bool AppIsRunning(std::string_view name, const std::function<void()>& askToQuit,
                  const std::function<void()>& wait, int& passes) {
    const std::vector<std::string> atoms = InstanceAtomNames(name);
    bool running = false;
    passes = 0;
    for (int pass = 0; pass < kQuitPasses; ++pass) {
        ++passes;
        running = false;
        for (const std::string& atom : atoms) running = running || platform::GlobalFindAtom(atom) != 0;
        if (!running) break;
        askToQuit();
        wait();
    }
    return running;
}

bool RestrictToOwner(const std::string& folder) {
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0) return false;
    if ((st.st_mode & 022) == 0) return true;
    return chmod(folder.c_str(), st.st_mode & 07755) == 0;
}

}  // namespace vemra::setup
