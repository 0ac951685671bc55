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
// so a damaged file loses only its damaged lines: a damaged key line ("[" alone, a header
// without "]") leaves the values after it with the key they followed or that it names;
// the values under a header of another root (HKEY_LOCAL_MACHINE, ...) are not ours and skipped.
// Key paths are bounded as on Windows (kMaxKeyDepth names of kMaxKeyNameChars characters);
// a key line beyond them is skipped with its values. Keys form a tree, so reading and
// writing stay linear in the file's size however deep a key is.

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

inline constexpr std::size_t kMaxKeyDepth = 512;      // names below the root
inline constexpr std::size_t kMaxKeyNameChars = 255;  // characters (not bytes) of one name

class TRegHive;
std::string FormatHive(const TRegHive& hive, std::string_view rootName);

class TRegHiveKey {
public:
    TRegHiveKey(std::string name, std::size_t parent) : name_(std::move(name)), parent_(parent) {}
    const std::string& Name() const { return name_; }  // the last part of the path; "" for the root
    const std::vector<TRegHiveValue>& Values() const { return values_; }
    const TRegHiveValue* Find(std::string_view name) const;  // case-insensitive
    void Set(TRegHiveValue value);  // replaces a value of the same name, keeping its spelling
    bool Erase(std::string_view name);

private:
    friend class TRegHive;
    friend std::string FormatHive(const TRegHive& hive, std::string_view rootName);
    std::string name_;
    std::size_t parent_;  // position of the parent key; the root's is its own
    bool erased_ = false;
    std::vector<TRegHiveValue> values_;
    std::unordered_map<std::string, std::size_t> index_;  // folded name -> position
    std::vector<std::size_t> children_;                   // positions, in the order first met
    std::unordered_map<std::string, std::size_t> childIndex_;  // folded name -> position
};

// Keys are kept in the order first met; the root (path "") always exists.
class TRegHive {
public:
    TRegHive();
    TRegHiveKey* Find(std::string_view path);  // path as NormalizeKeyPath gives it
    const TRegHiveKey* Find(std::string_view path) const;
    // Makes the key and its parents; nullptr when the path is beyond the key bounds.
    TRegHiveKey* Ensure(std::string_view path);
    bool Erase(std::string_view path);  // the key and its subkeys; never the root
    std::vector<std::string> SubkeyNames(std::string_view path) const;

private:
    friend std::string FormatHive(const TRegHive& hive, std::string_view rootName);
    std::string PathOf(std::size_t position) const;
    std::size_t FindPosition(std::string_view path) const;  // npos when missing
    std::vector<TRegHiveKey> keys_;
};

// Within kMaxKeyDepth names of at most kMaxKeyNameChars characters (path as normalised).
bool KeyPathWithinBounds(std::string_view path);

// "\Software\\Vemra\" -> "Software\Vemra": empty parts dropped.
std::string NormalizeKeyPath(std::string_view path);
// ASCII-only lower case, the key used for case-insensitive lookups.
std::string FoldRegName(std::string_view name);

// What reading a hive's text found.
struct THiveReadReport {
    // False when the text has content but neither the REGEDIT4 signature nor one key or value
    // could be read from it: not a hive at all, to be kept aside rather than replaced.
    bool readable = true;
};

// rootName is the root's full name ("HKEY_CURRENT_USER"); keys of other roots are skipped.
TRegHive ParseHive(std::string_view text, std::string_view rootName, THiveReadReport* report = nullptr);
// Keys without values are written only where no subkey implies them.
std::string FormatHive(const TRegHive& hive, std::string_view rootName);

}  // namespace vemra
