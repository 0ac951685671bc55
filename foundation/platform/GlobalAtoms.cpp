#include "GlobalAtoms.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

namespace vemra::platform {

namespace {

constexpr std::uint16_t FirstAtom = 0xC000;

// A private folder of the user: made with mode 0700 when missing, narrowed to 0700 when it
// is the user's but open to others. A link, a file, or a folder of another user is refused
// (problem says why); so is one whose mode cannot be narrowed.
bool SafeFolder(const std::string& path, std::string* problem = nullptr) {
    auto refuse = [&](const std::string& why) {
        if (problem != nullptr) *problem = "The folder " + path + " " + why;
        return false;
    };
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::open(path.c_str(), flags);
    if (fd < 0 && errno == ENOENT) {
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            return refuse("cannot be created: " + std::string(std::strerror(errno)) + ".");
        fd = ::open(path.c_str(), flags);
    }
    if (fd < 0) {
        if (errno == ELOOP || errno == ENOTDIR) return refuse("is a link or a file, not a folder.");
        return refuse("cannot be opened: " + std::string(std::strerror(errno)) + ".");
    }
    struct stat st {};
    bool safe = ::fstat(fd, &st) == 0;
    if (!safe) {
        refuse("cannot be read: " + std::string(std::strerror(errno)) + ".");
    } else if (st.st_uid != ::geteuid()) {
        // Not ours to repair: whoever made it could read or plant what we keep there.
        safe = refuse("belongs to another user (user id " + std::to_string(st.st_uid) + ").");
    } else if ((st.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0) {
        // Changed through the open folder, so it is this folder whatever happens to the name.
        safe =
            refuse("is open to other users and its mode cannot be changed: " + std::string(std::strerror(errno)) + ".");
    }
    ::close(fd);
    return safe;
}

// The start time of a process in clock ticks since boot, so that a reused process number
// is not mistaken for the atom's owner. 0 when the process does not exist.
unsigned long long ProcessStartTime(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) return 0;
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream rest(stat.substr(close + 2));
    std::string field;
    // Fields after the command name start at 3 (state); the start time is field 22.
    for (int i = 3; i < 22 && rest >> field;) ++i;
    unsigned long long start = 0;
    rest >> start;
    return start;
}

std::string AtomFolder() {
    const std::string runtime = RuntimeFolder();
    if (runtime.empty()) return {};
    const std::string folder = runtime + "/atoms";
    return SafeFolder(folder) ? folder : std::string();
}

// Atom names become file names: ASCII letters lower-cased, anything unusual escaped.
std::string FileNameOf(std::string_view name) {
    std::string out;
    for (unsigned char c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_') {
            out += static_cast<char>(c);
        } else if (c >= 'A' && c <= 'Z') {
            out += static_cast<char>(c - 'A' + 'a');
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

struct AtomRecord {
    std::uint16_t number = 0;
    long pid = 0;
    unsigned long long start = 0;
};

bool ReadRecord(const std::string& path, AtomRecord& record, bool* opened = nullptr) {
    std::ifstream in(path);
    if (opened != nullptr) *opened = in.is_open();
    unsigned number = 0;
    if (!(in >> number >> record.pid >> record.start)) return false;
    if (number < FirstAtom || number > 0xFFFF) return false;
    record.number = static_cast<std::uint16_t>(number);
    return true;
}

bool OwnerAlive(const AtomRecord& record) {
    if (record.pid <= 0) return false;
    if (::kill(static_cast<pid_t>(record.pid), 0) != 0 && errno != EPERM) return false;
    return ProcessStartTime(record.pid) == record.start;
}

// A live atom's record; a dead owner's file is removed on the way.
bool LiveRecord(const std::string& path, AtomRecord& record) {
    // Planted by another user while the folder was open to others: no atom of ours.
    struct stat owner {};
    if (::lstat(path.c_str(), &owner) == 0 && (owner.st_uid != ::geteuid() || !S_ISREG(owner.st_mode))) {
        ::unlink(path.c_str());
        return false;
    }
    bool opened = false;
    if (!ReadRecord(path, record, &opened)) {
        // Absent when looked at: a file linked into place since then is another's new atom.
        if (!opened) return false;
        struct stat st {};
        // A file still being written by its adder is not garbage yet.
        if (::stat(path.c_str(), &st) == 0 && st.st_size == 0) return false;
        ::unlink(path.c_str());
        return false;
    }
    if (OwnerAlive(record)) return true;
    ::unlink(path.c_str());
    return false;
}

template <typename F>
void ForEachAtomFile(const std::string& folder, F&& f) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || name.find(".tmp") != std::string::npos) continue;
        if (!f(folder + "/" + name)) break;
    }
    ::closedir(dir);
}

}  // namespace

std::string RuntimeFolder(std::string* problem) {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    std::string folder;
    if (xdg != nullptr && xdg[0] == '/') {
        folder = std::string(xdg) + "/vemra";
    } else {
        folder = "/tmp/vemra-" + std::to_string(::geteuid());
    }
    return SafeFolder(folder, problem) ? folder : std::string();
}

std::string AtomFolderProblem() {
    std::string problem;
    const std::string runtime = RuntimeFolder(&problem);
    if (runtime.empty()) return problem;
    SafeFolder(runtime + "/atoms", &problem);
    return problem;
}

std::uint16_t GlobalFindAtom(std::string_view name) {
    const std::string folder = AtomFolder();
    if (folder.empty() || name.empty()) return 0;
    AtomRecord record;
    return LiveRecord(folder + "/" + FileNameOf(name), record) ? record.number : 0;
}

std::uint16_t GlobalAddAtom(std::string_view name) {
    const std::string folder = AtomFolder();
    if (folder.empty() || name.empty()) return 0;
    const std::string path = folder + "/" + FileNameOf(name);
    for (int attempt = 0; attempt < 8; ++attempt) {
        AtomRecord record;
        if (LiveRecord(path, record)) return record.number;
        std::set<std::uint16_t> used;
        ForEachAtomFile(folder, [&](const std::string& file) {
            AtomRecord other;
            if (LiveRecord(file, other)) used.insert(other.number);
            return true;
        });
        std::uint16_t number = FirstAtom;
        while (used.count(number) != 0 && number < 0xFFFF) ++number;
        if (used.count(number) != 0) return 0;
        // Written beside the target and linked into place, so the name appears complete
        // and a concurrent adder of the same name loses cleanly.
        const std::string temp = path + "." + std::to_string(::getpid()) + ".tmp";
        {
            std::ofstream out(temp, std::ios::trunc);
            out << number << ' ' << ::getpid() << ' ' << ProcessStartTime(::getpid()) << '\n';
            if (!out.flush()) {
                ::unlink(temp.c_str());
                return 0;
            }
        }
        const bool linked = ::link(temp.c_str(), path.c_str()) == 0;
        ::unlink(temp.c_str());
        if (linked) return number;
        if (errno != EEXIST) return 0;
    }
    return 0;
}

void GlobalDeleteAtom(std::uint16_t atom) {
    if (atom < FirstAtom) return;
    const std::string folder = AtomFolder();
    if (folder.empty()) return;
    ForEachAtomFile(folder, [&](const std::string& file) {
        AtomRecord record;
        if (ReadRecord(file, record) && record.number == atom) {
            ::unlink(file.c_str());
            return false;
        }
        return true;
    });
}

}  // namespace vemra::platform
