#include "SetupCore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

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

std::string AbsoluteFolder(std::string_view folder) {
    if (folder.empty()) return {};
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(folder), error);
    if (error) return {};
    std::string result = absolute.lexically_normal().string();
    while (result.size() > 1 && result.back() == '/') result.pop_back();
    return result;
}

bool CanInstallForAllUsers() {
    const TInstallFolders all = FoldersForType(kAllUsers);
    const TInstallFolders user = FoldersForType(kCurrentUser);
    return all.PubData != user.PubData && all.AppMenu != user.AppMenu && all.DesktopBase != user.DesktopBase &&
           all.StartupBase != user.StartupBase;
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

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Groups whose text is not part of the document.
bool IsHiddenDestination(std::string_view word) {
    for (std::string_view hidden : {"fonttbl", "colortbl", "stylesheet", "info", "pict", "header", "footer", "object",
                                    "listtable", "listoverridetable", "generator"})
        if (word == hidden) return true;
    return false;
}

}  // namespace

std::string RtfToPlainText(std::string_view rtf) {
    std::string out;
    // Per open group: whether its text is hidden.
    std::vector<bool> hidden{false};
    int skipAfterUnicode = 0;  // the fallback characters after \uN still to drop
    bool groupStart = false;   // the next control word is the first of its group
    std::size_t i = 0;
    auto emit = [&](const std::string& text) {
        if (hidden.back()) return;
        if (skipAfterUnicode > 0) {
            --skipAfterUnicode;
            return;
        }
        out += text;
    };
    while (i < rtf.size()) {
        const char c = rtf[i];
        if (c == '{') {
            hidden.push_back(hidden.back());
            groupStart = true;
            ++i;
            continue;
        }
        if (c == '}') {
            if (hidden.size() > 1) hidden.pop_back();
            groupStart = false;
            ++i;
            continue;
        }
        if (c == '\\') {
            if (i + 1 >= rtf.size()) break;  // a document cut after its backslash
            const char next = rtf[i + 1];
            const bool first = groupStart;
            groupStart = false;
            if (!IsLetter(next)) {
                i += 2;
                if (next == '*' && first) {
                    hidden.back() = true;
                } else if (next == '\\' || next == '{' || next == '}') {
                    emit(std::string(1, next));
                } else if (next == '~') {
                    emit("\xC2\xA0");
                } else if (next == '\'' && i + 1 < rtf.size() && HexDigit(rtf[i]) >= 0 && HexDigit(rtf[i + 1]) >= 0) {
                    std::string ch;
                    AppendUtf8(ch, static_cast<std::uint32_t>(HexDigit(rtf[i]) * 16 + HexDigit(rtf[i + 1])));
                    emit(ch);
                    i += 2;
                } else if (next == '\n' || next == '\r') {
                    emit("\n");
                }
                continue;
            }
            std::size_t end = i + 1;
            while (end < rtf.size() && IsLetter(rtf[end])) ++end;
            const std::string_view word = rtf.substr(i + 1, end - i - 1);
            bool negative = false;
            long number = 0;
            bool hasNumber = false;
            if (end < rtf.size() && rtf[end] == '-') {
                negative = true;
                ++end;
            }
            while (end < rtf.size() && rtf[end] >= '0' && rtf[end] <= '9') {
                if (number < 1000000) number = number * 10 + (rtf[end] - '0');
                hasNumber = true;
                ++end;
            }
            if (negative) number = -number;
            if (end < rtf.size() && rtf[end] == ' ') ++end;  // the delimiter belongs to the word
            i = end;
            if (first && IsHiddenDestination(word)) {
                hidden.back() = true;
            } else if (word == "par" || word == "line" || word == "sect" || word == "page") {
                emit("\n");
            } else if (word == "tab") {
                emit("\t");
            } else if (word == "u" && hasNumber) {
                std::string ch;
                AppendUtf8(ch, static_cast<std::uint32_t>(number < 0 ? number + 65536 : number) & 0x1FFFFF);
                emit(ch);
                skipAfterUnicode = 1;
            }
            continue;
        }
        groupStart = false;
        ++i;
        if (c == '\r' || c == '\n') continue;  // line ends in the source are not text
        emit(std::string(1, c));
    }
    return out;
}

std::string MakePrivateFolder(const std::string& parent, std::string_view prefix) {
    if (parent.empty()) return {};
    std::string pattern = JoinPath(parent, std::string(prefix) + "-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) return {};
    return pattern;
}

bool RestrictToOwner(const std::string& folder) {
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0) return false;
    if ((st.st_mode & 022) == 0) return true;
    return chmod(folder.c_str(), st.st_mode & 07755) == 0;
}

}  // namespace vemra::setup
