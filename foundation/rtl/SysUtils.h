#pragma once
// The small run-time library that the rest of the system leans on: exceptions, byte-string
// helpers (ASCII case folding), and file and path helpers. Strings hold UTF-8 bytes; every
// position and length here counts bytes.

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vemra {

// Base of every exception the system raises with a text of its own.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

class EConvertError : public Exception { using Exception::Exception; };  // bad number/date text
class EInOutError : public Exception { using Exception::Exception; };    // a file could not be read/written
class ERegistryException : public Exception { using Exception::Exception; };

inline constexpr char PathDelim = '/';
inline constexpr std::string_view LineBreak = "\r\n";  // what text rendering writes

// ---- strings ----
// A blank or a control character: every byte up to ' ', the bytes Trim drops. The one
// such test of the program; a text that ends at a NUL says so where it reads.
inline bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }
std::string Trim(std::string_view s);        // drops bytes <= ' ' at both ends
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
std::string UpperCase(std::string_view s);   // ASCII letters only
std::string LowerCase(std::string_view s);
char UpCase(char c);
int CompareText(std::string_view a, std::string_view b);  // ASCII case-insensitive, <0/0/>0
int CompareStr(std::string_view a, std::string_view b);   // byte-wise, <0/0/>0
bool SameText(std::string_view a, std::string_view b);
bool StartsText(std::string_view prefix, std::string_view s);  // case-insensitive
// 1-based helpers for code that follows position-based algorithms.
std::size_t Pos(std::string_view sub, std::string_view s, std::size_t from = 1);  // 0 = not found
std::string Copy(std::string_view s, std::ptrdiff_t index1, std::ptrdiff_t count);
enum ReplaceFlags : unsigned { rfReplaceAll = 1, rfIgnoreCase = 2 };
std::string StringReplace(std::string_view s, std::string_view from, std::string_view to, unsigned flags);
std::string IntToStr(std::int64_t v);
std::string IntToHex(std::uint64_t v, int digits);
std::string StringOfChar(char c, std::size_t count);
// Splits at CR LF, LF or CR; a final line break adds no empty line.
std::vector<std::string> SplitLines(std::string_view text);
// Appends the character of that code in UTF-8; surrogates and codes beyond U+10FFFF, which
// are no characters, give the replacement character U+FFFD.
void AppendUtf8(std::string& out, std::uint32_t code);

// ---- files and paths ----
bool FileExists(const std::string& path);        // a regular file (or a link to one)
bool DirectoryExists(const std::string& path);
bool ForceDirectories(const std::string& path);  // makes every missing parent; true when it exists after
bool DeleteFile(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);
std::string ExtractFileName(std::string_view path);   // after the last '/'
std::string ExtractFilePath(std::string_view path);   // up to and including the last '/'
std::string ExtractFileDir(std::string_view path);    // ExtractFilePath without the trailing '/'
std::string ExtractFileExt(std::string_view path);    // ".ext" of the name, or ""
std::string ChangeFileExt(std::string_view path, std::string_view ext);
std::string IncludeTrailingPathDelimiter(std::string_view path);
std::string ExcludeTrailingPathDelimiter(std::string_view path);
std::string JoinPath(std::string_view folder, std::string_view name);  // folder + '/' + name

// Whole-file reads and writes. ReadFileBytes throws EInOutError when the file cannot be read.
std::string ReadFileBytes(const std::string& path);
// Writes through a temporary file in the same folder, flushed, then renamed over the target,
// so a crash or a full disk leaves either the old file or the new one, never half of one.
// Keeps the target's permission bits when it exists. Throws EInOutError on failure (the old
// file then stays as it was).
void WriteFileAtomic(const std::string& path, std::string_view bytes);

// ---- additions: the same replacement for the foundation's own stores ----

struct TAtomicWriteOptions {
    // The permission bits the file ends with; unset: the old file's, or NewFileMode() when
    // there was none.
    std::optional<unsigned> Mode{};
    // A fixed temporary path in place of a fresh unique one; a file left there is replaced.
    // Only for a caller that holds a lock of its own around the write.
    std::string TempPath{};
    // Runs with the temporary file's path once it is written, flushed and closed, just before
    // it replaces the target. An exception from it removes the temporary file and propagates.
    std::function<void(const std::string& tempPath)> BeforeRename{};
};
void WriteFileAtomic(const std::string& path, std::string_view bytes, const TAtomicWriteOptions& options);
// The permission bits a file created now gets: 0666 less the process umask.
unsigned NewFileMode();
// Writes every byte to the descriptor, across short writes and signals; false (errno set)
// when a write fails.
bool WriteAllToFd(int fd, std::string_view bytes);

// The temporary files that a replace-by-rename writer leaves when it is killed before its
// rename: ".<name>.XXXXXX" beside the file (WriteFileAtomic, file copies, downloads), and a
// writer's fixed TempPath. Only regular files, and only stale ones: unchanged for
// maxAgeSeconds by their change time (which no writer can set back), so a writer still at
// work in another process keeps its file. The folder's count of files removed; the path's
// true when it was removed.
int RemoveStaleTempFiles(const std::string& folder, int maxAgeSeconds);
bool RemoveStaleTempFile(const std::string& path, int maxAgeSeconds);
// A name of the ".<name>.XXXXXX" form (six ASCII letters or digits at the end).
bool IsReplaceTempName(std::string_view name);

}  // namespace vemra
