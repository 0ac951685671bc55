#pragma once
// TRegHive: one registry root in memory, and its REGEDIT4 text form.
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Vemra]
//   @="default value"
//   "Name"="text with \" and \\ escaped"
//   "Count"=dword:0000002a
//   "Stamp"=hex:00,00,00,00,00,40,e6,40
//
// Strings holding a line break or a NUL byte are written as hex(1):... (the string's bytes
// and a closing 00) so that every value stays on one line. Values of other registry types
// found in a file (hex(N):...) are kept and written back unchanged. Reading skips what it
// cannot understand (a damaged line, a key under another root, a value outside any key),
// so a damaged file loses only its damaged lines.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vemra {

enum class TRegValueKind { String, ExpandString, Integer, Binary, Other };

struct TRegHiveValue {
    std::string name;  // "" is the key's default value
    TRegValueKind kind = TRegValueKind::String;
    std::uint32_t integer = 0;  // Integer
    std::string bytes;          // String, ExpandString (the text), Binary, Other (raw data)
    unsigned typeCode = 0;      // Other: the registry type number of hex(N)
};

class TRegHiveKey {
public:
    explicit TRegHiveKey(std::string path) : path_(std::move(path)) {}
    const std::string& Path() const { return path_; }
    const std::vector<TRegHiveValue>& Values() const { return values_; }
    const TRegHiveValue* Find(std::string_view name) const;  // case-insensitive
    void Set(TRegHiveValue value);  // replaces a value of the same name, keeping its spelling
    bool Erase(std::string_view name);

private:
    std::string path_;
    std::vector<TRegHiveValue> values_;
    std::unordered_map<std::string, std::size_t> index_;  // folded name -> position
};

// Keys are kept in the order first met; the root (path "") always exists.
class TRegHive {
public:
    TRegHive();
    TRegHiveKey* Find(std::string_view path);  // path as NormalizeKeyPath gives it
    const TRegHiveKey* Find(std::string_view path) const;
    TRegHiveKey& Ensure(std::string_view path);  // makes the key and its parents
    bool Erase(std::string_view path);           // the key and its subkeys; never the root
    std::vector<std::string> SubkeyNames(std::string_view path) const;
    const std::vector<TRegHiveKey>& Keys() const { return keys_; }

private:
    void Reindex();
    std::vector<TRegHiveKey> keys_;
    std::unordered_map<std::string, std::size_t> index_;  // folded path -> position
};

// "\Software\\Vemra\" -> "Software\Vemra": empty parts dropped.
std::string NormalizeKeyPath(std::string_view path);
// ASCII-only lower case, the key used for case-insensitive lookups.
std::string FoldRegName(std::string_view name);

// rootName is the root's full name ("HKEY_CURRENT_USER"); keys of other roots are skipped.
TRegHive ParseHive(std::string_view text, std::string_view rootName);
std::string FormatHive(const TRegHive& hive, std::string_view rootName);

}  // namespace vemra
