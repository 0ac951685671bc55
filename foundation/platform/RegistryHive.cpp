#include "RegistryHive.h"

#include <algorithm>

#include "rtl/SysUtils.h"

namespace vemra {

namespace {

constexpr unsigned kRegSz = 1;
constexpr unsigned kRegExpandSz = 2;
constexpr unsigned kRegBinary = 3;
constexpr unsigned kRegDword = 4;
constexpr char kHex[] = "0123456789abcdef";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool StartsWithFolded(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && FoldRegName(s.substr(0, prefix.size())) == prefix;
}

// One to eight hex digits.
bool ParseHexNumber(std::string_view s, std::uint32_t& out) {
    if (s.empty() || s.size() > 8) return false;
    out = 0;
    for (char c : s) {
        const int d = HexDigit(c);
        if (d < 0) return false;
        out = (out << 4) | static_cast<std::uint32_t>(d);
    }
    return true;
}

// "01,02 ,ff" -> bytes; a trailing comma is tolerated (regedit leaves one before a line break).
bool ParseHexBytes(std::string_view s, std::string& out) {
    out.clear();
    s = TrimBlanks(s);
    while (!s.empty()) {
        const std::size_t comma = s.find(',');
        const std::string_view token = TrimBlanks(s.substr(0, comma));
        std::uint32_t byte = 0;
        if (token.size() > 2 || !ParseHexNumber(token, byte)) return false;
        out.push_back(static_cast<char>(byte));
        if (comma == std::string_view::npos) break;
        s = TrimBlanks(s.substr(comma + 1));
    }
    return true;
}

bool IsHexContinuation(std::string_view line) {
    return std::all_of(line.begin(), line.end(), [](char c) {
        return HexDigit(c) >= 0 || c == ',' || c == '\\' || IsBlank(c);
    });
}

class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}
    bool Next(std::string_view& line) {
        if (!Peek(line)) return false;
        pos_ = next_;
        return true;
    }
    // The next line, trimmed, without consuming it.
    bool Peek(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        const std::size_t end = std::min(text_.find('\n', pos_), text_.size());
        line = TrimBlanks(text_.substr(pos_, end - pos_));
        next_ = end + 1;
        return true;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t next_ = 0;
};

// A quoted name or string starting at s[i]; "\x" stands for x.
bool ParseQuoted(std::string_view s, std::size_t& i, std::string& out) {
    if (i >= s.size() || s[i] != '"') return false;
    for (++i; i < s.size(); ++i) {
        if (s[i] == '"') {
            ++i;
            return true;
        }
        if (s[i] == '\\' && ++i == s.size()) return false;
        out.push_back(s[i]);
    }
    return false;
}

// The hex data of a value, with regedit's "\" line continuations joined.
bool ReadHexData(std::string_view first, LineReader& lines, std::string& bytes) {
    std::string joined(first);
    std::string_view next;
    while (!joined.empty() && joined.back() == '\\') {
        joined.pop_back();
        if (!lines.Peek(next) || !IsHexContinuation(next)) return false;
        lines.Next(next);
        joined.append(next);
    }
    return ParseHexBytes(joined, bytes);
}

void StripClosingNul(std::string& bytes) {
    if (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
}

void SetFromHex(unsigned code, std::string bytes, TRegHiveValue& out) {
    out.typeCode = code;
    if (code == kRegSz || code == kRegExpandSz) {
        StripClosingNul(bytes);
        out.kind = code == kRegSz ? TRegValueKind::String : TRegValueKind::ExpandString;
    } else if (code == kRegBinary) {
        out.kind = TRegValueKind::Binary;
    } else if (code == kRegDword && bytes.size() == 4) {
        out.kind = TRegValueKind::Integer;
        for (int i = 3; i >= 0; --i)
            out.integer = (out.integer << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
        bytes.clear();
    } else {
        out.kind = TRegValueKind::Other;
    }
    out.bytes = std::move(bytes);
}

// data: the text after "=".
bool ParseValueData(std::string_view data, LineReader& lines, TRegHiveValue& out) {
    if (!data.empty() && data.front() == '"') {
        std::size_t i = 0;
        out.kind = TRegValueKind::String;
        return ParseQuoted(data, i, out.bytes) && TrimBlanks(data.substr(i)).empty();
    }
    if (StartsWithFolded(data, "dword:")) {
        out.kind = TRegValueKind::Integer;
        return ParseHexNumber(TrimBlanks(data.substr(6)), out.integer);
    }
    unsigned code = kRegBinary;
    if (StartsWithFolded(data, "hex:")) {
        data.remove_prefix(4);
    } else if (StartsWithFolded(data, "hex(")) {
        const std::size_t close = data.find("):");
        std::uint32_t n = 0;
        if (close == std::string_view::npos || !ParseHexNumber(data.substr(4, close - 4), n)) return false;
        code = n;
        data.remove_prefix(close + 2);
    } else {
        return false;
    }
    std::string bytes;
    if (!ReadHexData(data, lines, bytes)) return false;
    SetFromHex(code, std::move(bytes), out);
    return true;
}

bool ParseValueLine(std::string_view line, LineReader& lines, TRegHiveValue& out) {
    std::size_t i = 0;
    if (line.front() == '@') {
        i = 1;
    } else if (!ParseQuoted(line, i, out.name)) {
        return false;
    }
    const std::string_view rest = TrimBlanks(line.substr(i));
    if (rest.empty() || rest.front() != '=') return false;
    return ParseValueData(TrimBlanks(rest.substr(1)), lines, out);
}

enum class KeyLine { Key, OtherRoot, Damaged };

// A root's name, folded; "-" before it is regedit's "delete this key".
bool IsRootName(std::string_view folded) {
    if (folded.starts_with('-')) folded.remove_prefix(1);
    for (std::string_view root : {"hkey_current_user", "hkey_local_machine", "hkey_classes_root", "hkey_users",
                                  "hkey_current_config", "hkey_performance_data", "hkey_dyn_data"})
        if (folded == root) return true;
    return false;
}

// "[HKEY_CURRENT_USER\Software\Vemra]" -> "Software\Vemra" when the root matches. A missing
// "]" costs nothing (the line still names its key); a line that names no root at all ("["
// alone) is damaged and leaves the values after it where they were.
KeyLine ParseKeyLine(std::string_view line, std::string_view rootName, std::string& path) {
    std::string_view inner = line.substr(1);
    if (const std::size_t close = inner.rfind(']'); close != std::string_view::npos) inner = inner.substr(0, close);
    const std::size_t slash = inner.find('\\');
    const std::string root = FoldRegName(inner.substr(0, slash));
    if (root != FoldRegName(rootName)) return IsRootName(root) ? KeyLine::OtherRoot : KeyLine::Damaged;
    path = slash == std::string_view::npos ? std::string() : NormalizeKeyPath(inner.substr(slash + 1));
    return KeyLine::Key;
}

bool IsSignature(std::string_view line) {
    if (line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
    return FoldRegName(TrimBlanks(line)) == "regedit4";
}

std::string Escaped(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    return out + '"';
}

std::string HexBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (i > 0) out.push_back(',');
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 15]);
    }
    return out;
}

std::string HexWithType(unsigned code, std::string_view bytes) {
    std::string type;
    do {
        type.insert(type.begin(), kHex[code & 15]);
        code >>= 4;
    } while (code != 0);
    return "hex(" + type + "):" + HexBytes(bytes);
}

bool NeedsHexForm(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string FormatData(const TRegHiveValue& v) {
    switch (v.kind) {
        case TRegValueKind::String:
            return NeedsHexForm(v.bytes) ? HexWithType(kRegSz, v.bytes + '\0') : Escaped(v.bytes);
        case TRegValueKind::ExpandString:
            return HexWithType(kRegExpandSz, v.bytes + '\0');
        case TRegValueKind::Integer: {
            std::string digits(8, '0');
            std::uint32_t n = v.integer;
            for (std::size_t i = 8; i-- > 0; n >>= 4) digits[i] = kHex[n & 15];
            return "dword:" + digits;
        }
        case TRegValueKind::Binary:
            return "hex:" + HexBytes(v.bytes);
        case TRegValueKind::Other:
            break;
    }
    return HexWithType(v.typeCode, v.bytes);
}

}  // namespace

std::string FoldRegName(std::string_view name) { return LowerCase(name); }

namespace {

// Calls part(name) for each non-empty name of the path; stops when it returns false.
template <class Part>
bool ForEachPart(std::string_view path, Part&& part) {
    while (!path.empty()) {
        const std::size_t slash = path.find('\\');
        const std::string_view name = path.substr(0, slash);
        if (!name.empty() && !part(name)) return false;
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return true;
}

std::size_t CharCount(std::string_view s) {
    return static_cast<std::size_t>(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

}  // namespace

std::string NormalizeKeyPath(std::string_view path) {
    std::string out;
    ForEachPart(path, [&](std::string_view name) {
        if (!out.empty()) out.push_back('\\');
        out.append(name);
        return true;
    });
    return out;
}

bool KeyPathWithinBounds(std::string_view path) {
    std::size_t depth = 0;
    return ForEachPart(path, [&](std::string_view name) {
        return ++depth <= kMaxKeyDepth && CharCount(name) <= kMaxKeyNameChars;
    });
}

// ---- TRegHiveKey ----

const TRegHiveValue* TRegHiveKey::Find(std::string_view name) const {
    const auto it = index_.find(FoldRegName(name));
    return it == index_.end() ? nullptr : &values_[it->second];
}

void TRegHiveKey::Set(TRegHiveValue value) {
    std::string folded = FoldRegName(value.name);
    const auto it = index_.find(folded);
    if (it != index_.end()) {
        value.name = values_[it->second].name;
        values_[it->second] = std::move(value);
        return;
    }
    index_.emplace(std::move(folded), values_.size());
    values_.push_back(std::move(value));
}

bool TRegHiveKey::Erase(std::string_view name) {
    const auto it = index_.find(FoldRegName(name));
    if (it == index_.end()) return false;
    values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(it->second));
    index_.clear();
    for (std::size_t i = 0; i < values_.size(); ++i) index_.emplace(FoldRegName(values_[i].name), i);
    return true;
}

// ---- TRegHive ----

TRegHive::TRegHive() { keys_.emplace_back(std::string(), 0); }

std::size_t TRegHive::FindPosition(std::string_view path) const {
    std::size_t at = 0;
    const bool found = ForEachPart(path, [&](std::string_view name) {
        const auto& children = keys_[at].childIndex_;
        const auto it = children.find(FoldRegName(name));
        if (it == children.end()) return false;
        at = it->second;
        return true;
    });
    return found ? at : std::string_view::npos;
}

TRegHiveKey* TRegHive::Find(std::string_view path) {
    const std::size_t at = FindPosition(path);
    return at == std::string_view::npos ? nullptr : &keys_[at];
}

const TRegHiveKey* TRegHive::Find(std::string_view path) const {
    const std::size_t at = FindPosition(path);
    return at == std::string_view::npos ? nullptr : &keys_[at];
}

TRegHiveKey* TRegHive::Ensure(std::string_view path) {
    if (!KeyPathWithinBounds(path)) return nullptr;
    std::size_t at = 0;
    ForEachPart(path, [&](std::string_view name) {
        std::string folded = FoldRegName(name);
        const auto it = keys_[at].childIndex_.find(folded);
        if (it != keys_[at].childIndex_.end()) {
            at = it->second;
            return true;
        }
        const std::size_t made = keys_.size();
        keys_.emplace_back(std::string(name), at);  // may move keys_: index it afresh below
        keys_[at].childIndex_.emplace(std::move(folded), made);
        keys_[at].children_.push_back(made);
        at = made;
        return true;
    });
    return &keys_[at];
}

bool TRegHive::Erase(std::string_view path) {
    const std::size_t at = FindPosition(path);
    if (at == std::string_view::npos || at == 0) return false;
    TRegHiveKey& parent = keys_[keys_[at].parent_];
    parent.childIndex_.erase(FoldRegName(keys_[at].name_));
    std::erase(parent.children_, at);
    std::vector<std::size_t> pending{at};
    while (!pending.empty()) {
        TRegHiveKey& key = keys_[pending.back()];
        pending.pop_back();
        key.erased_ = true;
        key.values_.clear();
        key.index_.clear();
        pending.insert(pending.end(), key.children_.begin(), key.children_.end());
        key.children_.clear();
        key.childIndex_.clear();
    }
    return true;
}

std::string TRegHive::PathOf(std::size_t position) const {
    std::vector<const std::string*> names;
    for (std::size_t at = position; at != 0; at = keys_[at].parent_) names.push_back(&keys_[at].name_);
    std::string out;
    for (std::size_t i = names.size(); i-- > 0;) {
        out.append(*names[i]);
        if (i > 0) out.push_back('\\');
    }
    return out;
}

std::vector<std::string> TRegHive::SubkeyNames(std::string_view path) const {
    std::vector<std::string> names;
    const std::size_t at = FindPosition(path);
    if (at == std::string_view::npos) return names;
    for (std::size_t child : keys_[at].children_) names.push_back(keys_[child].name_);
    return names;
}

// ---- text form ----

TRegHive ParseHive(std::string_view text, std::string_view rootName, THiveReadReport* report) {
    TRegHive hive;
    TRegHiveKey* current = nullptr;  // the key the value lines belong to
    bool signature = false;
    bool understood = false;  // a key or value line was read
    bool content = false;
    std::string path;
    LineReader lines(text);
    std::string_view line;
    while (lines.Next(line)) {
        if (line.empty()) continue;
        if (!content && IsSignature(line)) signature = true;
        content = true;
        if (line.front() == ';') continue;
        if (line.front() == '[') {
            switch (ParseKeyLine(line, rootName, path)) {
                case KeyLine::Key:
                    current = hive.Ensure(path);  // nullptr beyond the bounds: its values go too
                    understood = understood || current != nullptr;
                    break;
                case KeyLine::OtherRoot: current = nullptr; break;
                case KeyLine::Damaged: break;
            }
        } else if (current != nullptr && (line.front() == '"' || line.front() == '@')) {
            TRegHiveValue value;
            if (ParseValueLine(line, lines, value)) {
                current->Set(std::move(value));
                understood = true;
            }
        }
    }
    if (report != nullptr) report->readable = !content || signature || understood;
    return hive;
}

std::string FormatHive(const TRegHive& hive, std::string_view rootName) {
    std::string out = "REGEDIT4\n";
    for (std::size_t i = 0; i < hive.keys_.size(); ++i) {
        const TRegHiveKey& key = hive.keys_[i];
        // A key's subkeys bring it back when read: writing it as well would repeat its path.
        if (key.erased_ || (key.values_.empty() && (i == 0 || !key.children_.empty()))) continue;
        out.append("\n[").append(rootName);
        if (i != 0) out.append("\\").append(hive.PathOf(i));
        out.append("]\n");
        for (const TRegHiveValue& v : key.values_)
            out.append(v.name.empty() ? std::string("@") : Escaped(v.name)).append("=").append(FormatData(v)).append("\n");
    }
    return out.append("\n");
}

}  // namespace vemra
