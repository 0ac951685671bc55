#include "platform/SpecialFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string_view>
#include <vector>

namespace vemra::platform {
namespace {

std::string EnvValue(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// A machine-wide folder can be written when its nearest existing folder can; nothing above
// the system root counts, so a missing root stands for a machine the user cannot write.
bool MachineFolderWritableUnder(const std::string& root, const std::string& folder) {
    std::string probe = folder;
    for (;;) {
        if (access(probe.c_str(), F_OK) == 0) return access(probe.c_str(), W_OK) == 0;
        if (probe.size() <= root.size() + 1) return false;
        const std::size_t slash = probe.rfind('/');
        if (slash == std::string::npos || slash < root.size()) return false;
        probe = slash == 0 ? std::string("/") : probe.substr(0, slash);
    }
}

std::string HomeFolder() {
    std::string home = EnvValue("HOME");
    if (!home.empty()) return WithoutTrailingSlash(home);
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd pw{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir)
        return WithoutTrailingSlash(found->pw_dir);
    return {};
}

// "" when there is no home folder to put the relative part under.
std::string UnderHome(std::string_view relative) {
    std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/" + std::string(relative);
}

// The XDG base folders must be absolute; anything else is ignored.
std::string XdgBase(const char* envName, std::string_view homeRelative) {
    std::string v = EnvValue(envName);
    if (!v.empty() && v.front() == '/') return WithoutTrailingSlash(v);
    return UnderHome(homeRelative);
}

// A user-dirs.dirs value: "$HOME/Desktop" or "/abs/path", double-quoted, backslash escapes.
std::string Unquote(std::string_view v) {
    if (v.empty() || v.front() != '"') return std::string(v);
    std::string out;
    for (std::size_t i = 1; i < v.size() && v[i] != '"'; ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) ++i;
        out += v[i];
    }
    return out;
}

std::string ExpandHome(const std::string& value) {
    for (std::string_view var : {std::string_view("$HOME"), std::string_view("${HOME}")}) {
        if (value.compare(0, var.size(), var) == 0 &&
            (value.size() == var.size() || value[var.size()] == '/')) {
            std::string home = HomeFolder();
            if (home.empty()) return {};
            return home + value.substr(var.size());
        }
    }
    return value;
}

std::string XdgUserDir(std::string_view key, std::string_view fallback) {
    std::ifstream in(XdgConfigHome() + "/user-dirs.dirs");
    std::string found;
    for (std::string line; std::getline(in, line);) {
        std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        std::size_t eq = line.find('=', start);
        if (eq == std::string::npos || std::string_view(line).substr(start, eq - start) != key) continue;
        std::string value = ExpandHome(Unquote(std::string_view(line).substr(eq + 1)));
        if (!value.empty() && value.front() == '/') found = value;  // the last assignment wins
    }
    return found.empty() ? UnderHome(fallback) : WithoutTrailingSlash(found);
}

// The machine-wide folder (under the system root) when it can be written, else the user's.
std::string MachineOrUser(std::string_view machinePath, int userKind) {
    const std::string root = SystemRoot();
    const std::string folder = root + std::string(machinePath);
    if (MachineFolderWritableUnder(root, folder)) return folder;
    return SpecialFolderPath(userKind).value_or(std::string());
}

std::string ProgramFiles() {
    const std::string root = SystemRoot();
    if (MachineFolderWritableUnder(root, root + "/opt")) return root + "/opt";
    return UnderHome(".local/opt");
}

std::string TemporaryFolder() {
    std::string t = EnvValue("TMPDIR");
    return WithoutTrailingSlash(t.empty() ? std::string("/tmp") : t);
}

}  // namespace

std::string SystemRoot() {
    std::string root = EnvValue("VEMRA_SYSTEM_ROOT");
    if (root.empty() || root.front() != '/') return {};
    root = WithoutTrailingSlash(root);
    return root == "/" ? std::string() : root;
}

bool MachineFolderWritable(const std::string& folder) { return MachineFolderWritableUnder(SystemRoot(), folder); }

std::string XdgConfigHome() { return XdgBase("XDG_CONFIG_HOME", ".config"); }

std::optional<std::string> SpecialFolderPath(int kind) {
    switch (kind) {
        case 0: return ProgramFiles();
        case 1: return XdgUserDir("XDG_DESKTOP_DIR", "Desktop");
        case 2: return XdgBase("XDG_DATA_HOME", ".local/share");
        case 3: {
            std::string data = XdgBase("XDG_DATA_HOME", ".local/share");
            return data.empty() ? data : data + "/applications";
        }
        case 4: {
            std::string config = XdgConfigHome();
            return config.empty() ? config : config + "/autostart";
        }
        case 5: return MachineOrUser("/usr/local/share/applications", 1);
        case 6: return MachineOrUser("/var/lib", 9);
        case 7: return MachineOrUser("/usr/local/share/applications", 3);
        case 8: return MachineOrUser("/etc/xdg/autostart", 4);
        case 9: return XdgUserDir("XDG_DOCUMENTS_DIR", "Documents");
        case 10: return std::string("/usr/share");
        case 11: return std::string("/usr/lib");
        case 12: return TemporaryFolder();
        default: return std::nullopt;
    }
}

}  // namespace vemra::platform
