#pragma once
// Helpers the tests share: a temporary folder that cleans up after itself, environment
// variables set for one test, and plain file reads and writes for fixtures.

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vemra::test {

// A fresh folder "<prefix>-XXXXXX" in the temporary folder ($TMPDIR, else /tmp), removed with
// everything in it, also what a test left without permissions. Throws std::runtime_error
// when it cannot be made.
class TempFolder {
public:
    explicit TempFolder(std::string_view prefix = "vemra-test");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
    std::string path_;
};

// Sets (a value) or unsets (nullopt) environment variables and, when it goes or on Restore,
// puts back what each one was before it was first named here.
class ScopedEnv {
public:
    ScopedEnv() = default;
    ScopedEnv(const std::string& name, const std::optional<std::string>& value) { Set(name, value); }
    ~ScopedEnv() { Restore(); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    void Set(const std::string& name, const std::optional<std::string>& value);
    void Unset(const std::string& name) { Set(name, std::nullopt); }
    // Remembers the variable as it is, for a test that changes it directly.
    void Preserve(const std::string& name);
    void Restore();

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// A text as a parametrised test's name shows it: in double quotes, control characters as
// \t, \r, \n or \xNN, cut after 40 characters with "..." and followed by its length.
std::string Quoted(std::string_view text);

// The file's bytes; "" when it cannot be read.
std::string ReadText(const std::string& path);
// Writes the bytes, making missing parent folders; throws std::runtime_error on failure.
void WriteText(const std::string& path, std::string_view bytes);
// The permission bits (07777) of a file; 0 when it does not exist.
mode_t FileMode(const std::string& path);
// The names in a folder, sorted; with recursive, every path below it relative to it.
std::vector<std::string> FolderEntries(const std::string& folder, bool recursive = false);

// False when file permissions do not bind this process (root with its capabilities): a
// file without permission bits can still be opened. Tests of unreadable or unwritable files
// skip then; scripts/test.sh runs them again without the capabilities.
bool PermissionsBind();

// The strings of a TStringList, in order (a template, so that the helpers need no library).
template <class List>
std::vector<std::string> Strings(const List& list) {
    std::vector<std::string> out;
    for (const auto& item : list) out.push_back(item.str);
    return out;
}

}  // namespace vemra::test
