#pragma once
// SysWinCore: file version text, the processor architecture, the registry view flag and
// the two folder globals that everything reads.

#include <cstdint>
#include <string>
#include <string_view>

namespace vemra {

inline constexpr std::uint16_t PROCESSOR_ARCHITECTURE_INTEL = 0;
inline constexpr std::uint16_t PROCESSOR_ARCHITECTURE_IA64 = 6;
inline constexpr std::uint16_t PROCESSOR_ARCHITECTURE_AMD64 = 9;
inline constexpr std::uint16_t PROCESSOR_ARCHITECTURE_ARM64 = 12;
inline constexpr std::uint16_t PROCESSOR_ARCHITECTURE_UNKNOWN = 0xFFFF;

struct TSystemInfo {
    std::uint16_t wProcessorArchitecture = PROCESSOR_ARCHITECTURE_UNKNOWN;
};

// Registry view flag added to every opening of the machine-wide install key:
// KEY_WOW64_64KEY on a 64-bit machine, else KEY_WOW64_32KEY.
extern std::uint32_t RegistryView;
// The user's temporary folder without a trailing '/' (special folder 12).
extern std::string TempDir;
// The system's shared data folder that stands for the Windows folder (special folder 10).
extern std::string WindowsDir;

// The file name without folder and extension.
std::string FileBaseName(std::string_view path);
// The folder of the running program file; "" when it cannot be told.
std::string RunningProgramFolder();
// "a.b.c.d" from the file's version record; "" when it has none or cannot be read.
std::string GetFileVersionText(const std::string& path);
// The machine's processor architecture (from the kernel, not from how this program was
// built); always true, the native information being always available.
bool GetNativeSystemInfoSafe(TSystemInfo& info);
// True on a 64-bit machine: AMD64, ARM64 or IA64.
bool IsWindows64();

}  // namespace vemra
