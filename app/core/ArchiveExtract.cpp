#include "ArchiveExtract.h"

#include <archive.h>
#include <archive_entry.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "rtl/SysUtils.h"

namespace vemra {
namespace {

// The archive library is loaded by the first extraction, not at start: the converter unpacks
// a package or a history download rarely, and the library brings its compression libraries
// with it. It stays loaded once it is.
struct ArchiveApi {
    decltype(&::archive_read_new) read_new = nullptr;
    decltype(&::archive_read_free) read_free = nullptr;
    decltype(&::archive_read_data) read_data = nullptr;
    decltype(&::archive_filter_bytes) filter_bytes = nullptr;
    decltype(&::archive_read_support_format_zip) read_support_format_zip = nullptr;
    decltype(&::archive_read_support_format_rar) read_support_format_rar = nullptr;
    decltype(&::archive_read_support_format_rar5) read_support_format_rar5 = nullptr;
    decltype(&::archive_read_support_format_7zip) read_support_format_7zip = nullptr;
    decltype(&::archive_read_support_format_tar) read_support_format_tar = nullptr;
    decltype(&::archive_read_support_filter_all) read_support_filter_all = nullptr;
    decltype(&::archive_read_open_filename) read_open_filename = nullptr;
    decltype(&::archive_read_next_header) read_next_header = nullptr;
    decltype(&::archive_entry_pathname) entry_pathname = nullptr;
    decltype(&::archive_entry_hardlink) entry_hardlink = nullptr;
    decltype(&::archive_entry_symlink) entry_symlink = nullptr;
    decltype(&::archive_entry_filetype) entry_filetype = nullptr;
    decltype(&::archive_entry_size_is_set) entry_size_is_set = nullptr;
    decltype(&::archive_entry_size) entry_size = nullptr;
};

template <class F> void Bind(void* handle, F& function, const char* name) {
    function = reinterpret_cast<F>(dlsym(handle, name));
}

const ArchiveApi* LoadArchiveApi() {
    static const ArchiveApi api = [] {
        ArchiveApi found;
        void* handle = dlopen("libarchive.so.13", RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return found;
        Bind(handle, found.read_new, "archive_read_new");
        Bind(handle, found.read_free, "archive_read_free");
        Bind(handle, found.read_data, "archive_read_data");
        Bind(handle, found.filter_bytes, "archive_filter_bytes");
        Bind(handle, found.read_support_format_zip, "archive_read_support_format_zip");
        Bind(handle, found.read_support_format_rar, "archive_read_support_format_rar");
        Bind(handle, found.read_support_format_rar5, "archive_read_support_format_rar5");
        Bind(handle, found.read_support_format_7zip, "archive_read_support_format_7zip");
        Bind(handle, found.read_support_format_tar, "archive_read_support_format_tar");
        Bind(handle, found.read_support_filter_all, "archive_read_support_filter_all");
        Bind(handle, found.read_open_filename, "archive_read_open_filename");
        Bind(handle, found.read_next_header, "archive_read_next_header");
        Bind(handle, found.entry_pathname, "archive_entry_pathname");
        Bind(handle, found.entry_hardlink, "archive_entry_hardlink");
        Bind(handle, found.entry_symlink, "archive_entry_symlink");
        Bind(handle, found.entry_filetype, "archive_entry_filetype");
        Bind(handle, found.entry_size_is_set, "archive_entry_size_is_set");
        Bind(handle, found.entry_size, "archive_entry_size");
        if (found.read_new && found.read_free && found.read_data && found.filter_bytes &&
            found.read_support_format_zip && found.read_support_format_rar && found.read_support_format_rar5 &&
            found.read_support_format_7zip && found.read_support_format_tar && found.read_support_filter_all &&
            found.read_open_filename && found.read_next_header && found.entry_pathname && found.entry_hardlink &&
            found.entry_symlink && found.entry_filetype && found.entry_size_is_set && found.entry_size)
            return found;
        dlclose(handle);
        return ArchiveApi();
    }();
    return api.read_new != nullptr ? &api : nullptr;
}

// Only reached once ExtractArchiveFiles has found the library.
const ArchiveApi& Api() { return *LoadArchiveApi(); }

class Reader {
public:
    Reader() : a_(Api().read_new()) {}
    ~Reader() {
        if (a_ != nullptr) Api().read_free(a_);
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    archive* get() const { return a_; }

private:
    archive* a_;
};

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return close(fd) == 0;
    }

private:
    int fd_;
};

// The staging folder goes with everything in it unless the extraction kept it.
class StagingFolder {
public:
    explicit StagingFolder(const std::string& parent) {
        std::string pattern = IncludeTrailingPathDelimiter(parent) + ".vemra-unpack-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~StagingFolder() {
        if (path_.empty()) return;
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A member's path made relative and plain ("a/./b//c" -> "a/b/c"); false for a path that is
// absolute or climbs with "..". An empty result names the folder itself.
bool RelativeMemberPath(std::string_view path, std::string& relative) {
    relative.clear();
    if (path.empty() || path.front() == '/') return false;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view part = path.substr(start, end - start);
        if (part == "..") return false;
        if (!part.empty() && part != ".") {
            if (!relative.empty()) relative += '/';
            relative += part;
        }
        start = end + 1;
    }
    return true;
}

// Makes the folders of a relative path under root, refusing to pass through anything that
// is not a real folder (a link planted there earlier would lead outside root). Each folder it
// makes is added to made (when given), parents first, so that a caller can take them away.
bool MakeFoldersUnder(const std::string& root, std::string_view relative, std::vector<std::string>* made = nullptr) {
    std::string path = root;
    std::size_t start = 0;
    while (start < relative.size()) {
        std::size_t end = relative.find('/', start);
        if (end == std::string_view::npos) end = relative.size();
        path += '/';
        path += relative.substr(start, end - start);
        struct stat st {};
        if (lstat(path.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) return false;
        } else if (errno != ENOENT) {
            return false;
        } else if (mkdir(path.c_str(), 0777) == 0) {
            if (made != nullptr) made->push_back(path);
        } else if (errno != EEXIST) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

std::string ParentOf(const std::string& relative) {
    const std::size_t slash = relative.rfind('/');
    return slash == std::string::npos ? std::string() : relative.substr(0, slash);
}

// False, noting that the archive itself was refused.
bool Refuse(const TExtractLimits& limits) {
    if (limits.Refused != nullptr) *limits.Refused = true;
    return false;
}

// Copies the member's data into a new file; false on a read error, when the member holds more
// than its header declares (declared < 0: no size given), or when the bytes written by the
// whole extraction would pass the bound. Both are counted before a byte goes to disk: a
// compressed member's data is not bounded by the size its header claims.
bool WriteMember(archive* a, const std::string& path, std::int64_t declared, std::uint64_t& written,
                 const TExtractLimits& limits, std::uint64_t archiveSize) {
    const std::uint64_t maxBytes = limits.MaxBytes;
    Fd out(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (out.get() < 0) return false;
    std::vector<char> buffer(64 * 1024);
    std::uint64_t member = 0;
    for (;;) {
        const la_ssize_t n = Api().read_data(a, buffer.data(), buffer.size());
        if (n < 0) return false;
        if (n == 0) break;
        member += static_cast<std::uint64_t>(n);
        if (declared >= 0 && member > static_cast<std::uint64_t>(declared)) return Refuse(limits);
        written += static_cast<std::uint64_t>(n);
        if (written > maxBytes) return Refuse(limits);
        if (!WriteAllToFd(out.get(), std::string_view(buffer.data(), static_cast<std::size_t>(n)))) return false;
        if (limits.Progress) limits.Progress(static_cast<std::uint64_t>(Api().filter_bytes(a, -1)), archiveSize);
    }
    return out.Close();
}

struct Unpacked {
    std::vector<std::string> files;    // relative paths, first appearance order
    std::vector<std::string> folders;  // relative paths of folder members
};

bool UnpackInto(const std::string& archivePath, const std::string& staging, const TExtractLimits& limits,
                Unpacked& unpacked) {
    Reader reader;
    archive* a = reader.get();
    if (a == nullptr) return false;
    Api().read_support_format_zip(a);
    Api().read_support_format_rar(a);
    Api().read_support_format_rar5(a);
    Api().read_support_format_7zip(a);
    Api().read_support_format_tar(a);
    Api().read_support_filter_all(a);
    if (Api().read_open_filename(a, archivePath.c_str(), 64 * 1024) != ARCHIVE_OK) return false;
    struct stat archiveStat {};
    const std::uint64_t archiveSize =
        stat(archivePath.c_str(), &archiveStat) == 0 ? static_cast<std::uint64_t>(archiveStat.st_size) : 0;

    std::set<std::string> seen;
    std::uint64_t written = 0;
    int members = 0;
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = Api().read_next_header(a, &entry);
        if (status == ARCHIVE_EOF) break;
        if (status < ARCHIVE_WARN) return false;
        if (++members > limits.MaxMembers) return Refuse(limits);
        const char* name = Api().entry_pathname(entry);
        std::string relative;
        if (name == nullptr) return false;
        if (!RelativeMemberPath(name, relative)) return Refuse(limits);
        // A hard link is refused whatever its header says of its type or size (a tar hard link
        // that declares data reads as a regular file).
        if (Api().entry_hardlink(entry) != nullptr || Api().entry_symlink(entry) != nullptr) return Refuse(limits);
        const mode_t type = Api().entry_filetype(entry);
        if (type == AE_IFDIR) {
            if (relative.empty()) continue;
            if (!MakeFoldersUnder(staging, relative)) return false;
            unpacked.folders.push_back(relative);
            continue;
        }
        if (type != AE_IFREG || relative.empty()) return Refuse(limits);
        // A declared size already past the bound ends it before any byte is written.
        const std::int64_t declared = Api().entry_size_is_set(entry) ? Api().entry_size(entry) : -1;
        if (declared < -1 || (declared >= 0 && static_cast<std::uint64_t>(declared) > limits.MaxBytes - written))
            return Refuse(limits);
        if (!MakeFoldersUnder(staging, ParentOf(relative))) return false;
        if (!WriteMember(a, staging + "/" + relative, declared, written, limits, archiveSize)) return false;
        if (seen.insert(relative).second) unpacked.files.push_back(relative);
    }
    return true;
}

// Moves the unpacked members from staging into folder as one step: a file that is replaced is
// first moved aside (into the aside folder, beside staging on the same file system), and any
// failure puts every moved file back, returns the replaced ones and removes the folders it
// made, so the folder is left exactly as it was.
class Placement {
public:
    Placement(std::string folder, std::string aside) : folder_(std::move(folder)), aside_(std::move(aside)) {}
    ~Placement() {
        if (!committed_) RollBack();
    }
    Placement(const Placement&) = delete;
    Placement& operator=(const Placement&) = delete;

    bool MakeFolders(std::string_view relative) { return MakeFoldersUnder(folder_, relative, &madeFolders_); }

    bool PlaceFile(const std::string& from, const std::string& relative) {
        if (!MakeFolders(ParentOf(relative))) return false;
        const std::string target = folder_ + "/" + relative;
        Moved moved{from, target, {}};
        struct stat st {};
        if (lstat(target.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) return false;
            moved.aside = aside_ + "/" + std::to_string(placed_.size());
            if (rename(target.c_str(), moved.aside.c_str()) != 0) return false;
        } else if (errno != ENOENT) {
            return false;
        }
        if (rename(from.c_str(), target.c_str()) != 0) {
            if (!moved.aside.empty()) rename(moved.aside.c_str(), target.c_str());
            return false;
        }
        placed_.push_back(std::move(moved));
        return true;
    }

    void Commit() { committed_ = true; }

private:
    struct Moved {
        std::string from, target, aside;  // aside: where the replaced file waits ("" for none)
    };

    void RollBack() {
        for (auto it = placed_.rbegin(); it != placed_.rend(); ++it) {
            if (rename(it->target.c_str(), it->from.c_str()) != 0) unlink(it->target.c_str());
            if (!it->aside.empty()) rename(it->aside.c_str(), it->target.c_str());
        }
        for (auto it = madeFolders_.rbegin(); it != madeFolders_.rend(); ++it) rmdir(it->c_str());
    }

    std::string folder_;
    std::string aside_;
    std::vector<Moved> placed_;
    std::vector<std::string> madeFolders_;
    bool committed_ = false;
};

bool MoveIntoPlace(const std::string& staging, const std::string& aside, const std::string& folder,
                   const Unpacked& unpacked) {
    Placement placement(folder, aside);
    for (const std::string& relative : unpacked.folders) {
        if (!placement.MakeFolders(relative)) return false;
    }
    for (const std::string& relative : unpacked.files) {
        if (!placement.PlaceFile(staging + "/" + relative, relative)) return false;
    }
    placement.Commit();
    return true;
}

}  // namespace

bool ExtractArchiveFiles(const std::string& archive, const std::string& folder, TStringList& names,
                         const TExtractLimits& limits) {
    names.Clear();
    if (limits.Refused != nullptr) *limits.Refused = false;
    if (LoadArchiveApi() == nullptr) return false;  // no archive library: nothing can be unpacked
    const std::string root = ExcludeTrailingPathDelimiter(folder);
    if (root.empty() || !ForceDirectories(root)) return false;
    Unpacked unpacked;
    {
        StagingFolder staging(root);
        if (staging.path().empty()) return false;
        if (!UnpackInto(archive, staging.path(), limits, unpacked)) return false;
        StagingFolder aside(root);
        if (aside.path().empty()) return false;
        if (!MoveIntoPlace(staging.path(), aside.path(), root, unpacked)) return false;
    }
    for (const std::string& relative : unpacked.files) names.Add(root + "/" + relative);
    return true;
}

bool ExtractArchiveByExtension(const std::string& archive, const std::string& folder, TStringList& names,
                               bool* refused) {
    ForceDirectories(folder);
    names.Clear();
    const std::string ext = UpperCase(Copy(ExtractFileExt(archive), 2, 255));
    if (ext != "ZIP" && ext != "RAR" && ext != "VPL") return false;
    try {
        TExtractLimits limits;
        limits.Refused = refused;
        return ExtractArchiveFiles(archive, folder, names, limits);
    } catch (...) {
        names.Clear();
        return false;
    }
}

}  // namespace vemra
