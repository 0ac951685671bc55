#include "SysUtils.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

namespace vemra {

namespace {

unsigned char FoldUpper(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 32) : u;
}

int Sign(int v) { return (v > 0) - (v < 0); }

template <class Fold>
int CompareBytes(std::string_view a, std::string_view b, Fold fold) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int d = int(fold(a[i])) - int(fold(b[i]));
        if (d != 0) return Sign(d);
    }
    return Sign(int(a.size() > b.size()) - int(a.size() < b.size()));
}

std::size_t FindText(std::string_view s, std::string_view sub, std::size_t from) {
    if (sub.empty() || s.size() < sub.size()) return std::string_view::npos;
    for (std::size_t i = from; i + sub.size() <= s.size(); ++i)
        if (CompareText(s.substr(i, sub.size()), sub) == 0) return i;
    return std::string_view::npos;
}

std::string ErrnoText(int err) { return std::strerror(err); }

[[noreturn]] void ThrowCreateError(const std::string& path, int err) {
    throw EInOutError("Cannot create file \"" + path + "\". " + ErrnoText(err));
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The temporary file that replaces path: its descriptor, or -1 with errno set.
int CreateTemp(const std::string& path, const std::string& folder, const std::string& fixed, std::string& temp) {
    if (!fixed.empty()) {
        temp = fixed;
        ::unlink(temp.c_str());  // a leftover of a crash; O_EXCL then refuses anything planted
        return ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    }
    std::string name = ".";  // appended piecewise: GCC 12 warns falsely on "." + std::string
    name += ExtractFileName(path);
    name += ".XXXXXX";
    temp = JoinPath(folder, name);
    return ::mkostemp(temp.data(), O_CLOEXEC);
}

mode_t FinalMode(const std::string& path, const TAtomicWriteOptions& options) {
    if (options.Mode) return static_cast<mode_t>(*options.Mode);
    struct stat old {};
    return ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : NewFileMode();
}

}  // namespace

// ---- strings ----

std::string Trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && IsBlankOrControl(s[b])) ++b;
    while (e > b && IsBlankOrControl(s[e - 1])) --e;
    return std::string(s.substr(b, e - b));
}

std::string TrimLeft(std::string_view s) {
    std::size_t b = 0;
    while (b < s.size() && IsBlankOrControl(s[b])) ++b;
    return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s) {
    std::size_t e = s.size();
    while (e > 0 && IsBlankOrControl(s[e - 1])) --e;
    return std::string(s.substr(0, e));
}

char UpCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::string UpperCase(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = UpCase(c);
    return r;
}

std::string LowerCase(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return r;
}

int CompareText(std::string_view a, std::string_view b) { return CompareBytes(a, b, FoldUpper); }

int CompareStr(std::string_view a, std::string_view b) {
    return CompareBytes(a, b, [](char c) { return static_cast<unsigned char>(c); });
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareText(a, b) == 0;
}

bool StartsText(std::string_view prefix, std::string_view s) {
    return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}

std::size_t Pos(std::string_view sub, std::string_view s, std::size_t from) {
    if (sub.empty()) return 0;
    const std::size_t start = from < 1 ? 0 : from - 1;
    if (start >= s.size()) return 0;
    const std::size_t i = s.find(sub, start);
    return i == std::string_view::npos ? 0 : i + 1;
}

std::string Copy(std::string_view s, std::ptrdiff_t index1, std::ptrdiff_t count) {
    const std::ptrdiff_t len = static_cast<std::ptrdiff_t>(s.size());
    if (index1 < 1) index1 = 1;
    if (count <= 0 || index1 > len) return {};
    count = std::min(count, len - index1 + 1);
    return std::string(s.substr(static_cast<std::size_t>(index1 - 1), static_cast<std::size_t>(count)));
}

std::string StringReplace(std::string_view s, std::string_view from, std::string_view to, unsigned flags) {
    if (from.empty()) return std::string(s);
    const bool all = (flags & rfReplaceAll) != 0;
    const bool ignoreCase = (flags & rfIgnoreCase) != 0;
    std::string out;
    std::size_t at = 0;
    while (at <= s.size()) {
        const std::size_t hit = ignoreCase ? FindText(s, from, at) : s.find(from, at);
        if (hit == std::string_view::npos) break;
        out.append(s.substr(at, hit - at)).append(to);
        at = hit + from.size();
        if (!all) break;
    }
    out.append(s.substr(std::min(at, s.size())));
    return out;
}

std::string IntToStr(std::int64_t v) { return std::to_string(v); }

std::string IntToHex(std::uint64_t v, int digits) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string r;
    do {
        r.insert(r.begin(), hex[v & 15]);
        v >>= 4;
    } while (v != 0);
    if (digits > 0 && r.size() < static_cast<std::size_t>(digits))
        r.insert(0, static_cast<std::size_t>(digits) - r.size(), '0');
    return r;
}

std::string StringOfChar(char c, std::size_t count) { return std::string(count, c); }

void AppendUtf8(std::string& out, std::uint32_t code) {
    if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) code = 0xFFFD;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

// ---- files and paths ----

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& path) {
    if (path.empty()) return false;
    const std::string dir = ExcludeTrailingPathDelimiter(path);
    if (DirectoryExists(dir)) return true;
    // Every prefix ending before a '/' is a parent to make first.
    for (std::size_t i = 1; i <= dir.size(); ++i) {
        if (i < dir.size() && dir[i] != PathDelim) continue;
        const std::string part = dir.substr(0, i);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    return DirectoryExists(dir);
}

bool DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool RenameFile(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

std::string ExtractFileName(std::string_view path) {
    const std::size_t i = path.rfind(PathDelim);
    return std::string(i == std::string_view::npos ? path : path.substr(i + 1));
}

std::string ExtractFilePath(std::string_view path) {
    const std::size_t i = path.rfind(PathDelim);
    return i == std::string_view::npos ? std::string() : std::string(path.substr(0, i + 1));
}

std::string ExtractFileDir(std::string_view path) {
    const std::size_t i = path.rfind(PathDelim);
    if (i == std::string_view::npos) return {};
    return std::string(path.substr(0, i == 0 ? 1 : i));  // the root stays "/"
}

std::string ExtractFileExt(std::string_view path) {
    const std::size_t i = path.rfind('.');
    const std::size_t slash = path.rfind(PathDelim);
    if (i == std::string_view::npos || (slash != std::string_view::npos && i < slash)) return {};
    return std::string(path.substr(i));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
    const std::size_t extLen = ExtractFileExt(path).size();
    return std::string(path.substr(0, path.size() - extLen)).append(ext);
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
    std::string r(path);
    if (r.empty() || r.back() != PathDelim) r += PathDelim;
    return r;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path) {
    if (path.size() > 1 && path.back() == PathDelim) path.remove_suffix(1);
    return std::string(path);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    return IncludeTrailingPathDelimiter(folder).append(name);
}

std::string ReadFileBytes(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) throw EInOutError("Cannot open file \"" + path + "\". " + ErrnoText(errno));
    std::string data;
    char buf[65536];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    const bool failed = std::ferror(f) != 0;
    const int err = errno;
    std::fclose(f);
    if (failed) throw EInOutError("Cannot read file \"" + path + "\". " + ErrnoText(err));
    return data;
}

void WriteFileAtomic(const std::string& path, std::string_view bytes) { WriteFileAtomic(path, bytes, {}); }

void WriteFileAtomic(const std::string& path, std::string_view bytes, const TAtomicWriteOptions& options) {
    const std::string folder = ExtractFileDir(path).empty() ? std::string(".") : ExtractFileDir(path);
    std::string temp;
    const int fd = CreateTemp(path, folder, options.TempPath, temp);
    if (fd < 0) ThrowCreateError(path, errno);
    // A file system without permission bits must not cost the user the file itself.
    static_cast<void>(::fchmod(fd, FinalMode(path, options)));
    bool ok = WriteAllToFd(fd, bytes) && ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && options.BeforeRename) {
        try {
            options.BeforeRename(temp);
        } catch (...) {
            ::unlink(temp.c_str());
            throw;
        }
    }
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        ThrowCreateError(path, err);
    }
    SyncFolder(folder);
}

bool IsReplaceTempName(std::string_view name) {
    constexpr std::size_t kRandom = 6;  // what mkstemp puts in place of "XXXXXX"
    if (name.size() < 2 + 1 + kRandom || name[0] != '.' || name[name.size() - kRandom - 1] != '.') return false;
    return std::all_of(name.end() - kRandom, name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

bool RemoveStaleTempFile(const std::string& path, int maxAgeSeconds) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (st.st_ctime > std::time(nullptr) - maxAgeSeconds) return false;
    return ::unlink(path.c_str()) == 0;
}

int RemoveStaleTempFiles(const std::string& folder, int maxAgeSeconds) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return 0;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir))
        if (IsReplaceTempName(entry->d_name)) names.emplace_back(entry->d_name);
    ::closedir(dir);
    int removed = 0;
    for (const std::string& name : names)
        if (RemoveStaleTempFile(JoinPath(folder, name), maxAgeSeconds)) ++removed;
    return removed;
}

// Read from the process status: umask() itself would have to change the mask for a moment,
// racing with other threads that create files.
unsigned NewFileMode() {
    mode_t mask = 022;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            mask = static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
            break;
        }
    }
    return 0666 & ~mask;
}

bool WriteAllToFd(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace vemra
