#include "SysWinCore.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <climits>

#include "platform/FileVersion.h"
#include "platform/Registry.h"
#include "platform/SpecialFolders.h"
#include "rtl/SysUtils.h"

namespace vemra {
namespace {

std::uint16_t ArchitectureOf(std::string_view machine) {
    if (machine == "x86_64" || machine == "amd64") return PROCESSOR_ARCHITECTURE_AMD64;
    if (machine == "aarch64" || machine == "arm64") return PROCESSOR_ARCHITECTURE_ARM64;
    if (machine == "ia64") return PROCESSOR_ARCHITECTURE_IA64;
    if (machine.size() == 4 && machine[0] == 'i' && machine.substr(2) == "86" && machine[1] >= '3' &&
        machine[1] <= '6')
        return PROCESSOR_ARCHITECTURE_INTEL;
    return PROCESSOR_ARCHITECTURE_UNKNOWN;
}

std::string FolderOfKind(int kind) {
    return platform::SpecialFolderPath(kind).value_or(std::string());
}

}  // namespace

std::uint32_t RegistryView = IsWindows64() ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
std::string TempDir = FolderOfKind(12);
std::string WindowsDir = FolderOfKind(10);

std::string RunningProgramFolder() {
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    return ExtractFileDir(std::string(self, static_cast<std::size_t>(n)));
}

std::string FileBaseName(std::string_view path) {
    std::string name = ExtractFileName(path);
    return name.substr(0, name.size() - ExtractFileExt(name).size());
}

std::string GetFileVersionText(const std::string& path) {
    return platform::ReadFileVersionRecord(path);
}

bool GetNativeSystemInfoSafe(TSystemInfo& info) {
    utsname u{};
    info.wProcessorArchitecture =
        uname(&u) == 0 ? ArchitectureOf(u.machine) : PROCESSOR_ARCHITECTURE_UNKNOWN;
    return true;
}

bool IsWindows64() {
    TSystemInfo info;
    GetNativeSystemInfoSafe(info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
           info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64 ||
           info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

}  // namespace vemra
