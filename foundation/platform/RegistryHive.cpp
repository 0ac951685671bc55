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

// "[HKEY_CURRENT_USER\Software\Vemra]" -> "Software\Vemra" when the root matches.
bool ParseKeyLine(std::string_view line, std::string_view rootName, std::string& path) {
    if (line.size() < 2 || line.back() != ']') return false;
    const std::string_view inner = line.substr(1, line.size() - 2);
    const std::size_t slash = inner.find('\\');
    if (FoldRegName(inner.substr(0, slash)) != FoldRegName(rootName)) return false;
    path = slash == std::string_view::npos ? std::string() : NormalizeKeyPath(inner.substr(slash + 1));
    return true;
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

std::string NormalizeKeyPath(std::string_view path) {
    std::string out;
    while (!path.empty()) {
        const std::size_t slash = path.find('\\');
        const std::string_view part = path.substr(0, slash);
        if (!part.empty()) {
            if (!out.empty()) out.push_back('\\');
            out.append(part);
        }
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return out;
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

TRegHive::TRegHive() {
    keys_.emplace_back(std::string());
    index_.emplace(std::string(), 0);
}

TRegHiveKey* TRegHive::Find(std::string_view path) {
    const auto it = index_.find(FoldRegName(path));
    return it == index_.end() ? nullptr : &keys_[it->second];
}

const TRegHiveKey* TRegHive::Find(std::string_view path) const {
    const auto it = index_.find(FoldRegName(path));
    return it == index_.end() ? nullptr : &keys_[it->second];
}

TRegHiveKey& TRegHive::Ensure(std::string_view path) {
    for (std::size_t end = path.find('\\');; end = path.find('\\', end + 1)) {
        const std::string_view prefix = path.substr(0, end);
        std::string folded = FoldRegName(prefix);
        if (index_.find(folded) == index_.end()) {
            index_.emplace(std::move(folded), keys_.size());
            keys_.emplace_back(std::string(prefix));
        }
        if (end == std::string_view::npos) break;
    }
    return *Find(path);
}

bool TRegHive::Erase(std::string_view path) {
    if (path.empty() || Find(path) == nullptr) return false;
    const std::string folded = FoldRegName(path);
    std::erase_if(keys_, [&](const TRegHiveKey& key) {
        const std::string k = FoldRegName(key.Path());
        return k.size() >= folded.size() && k.compare(0, folded.size(), folded) == 0 &&
               (k.size() == folded.size() || k[folded.size()] == '\\');
    });
    Reindex();
    return true;
}

void TRegHive::Reindex() {
    index_.clear();
    for (std::size_t i = 0; i < keys_.size(); ++i) index_.emplace(FoldRegName(keys_[i].Path()), i);
}

std::vector<std::string> TRegHive::SubkeyNames(std::string_view path) const {
    const std::string prefix = path.empty() ? std::string() : FoldRegName(path) + '\\';
    std::vector<std::string> names;
    for (const TRegHiveKey& key : keys_) {
        const std::string& p = key.Path();
        if (p.size() <= prefix.size() || FoldRegName(p.substr(0, prefix.size())) != prefix) continue;
        if (p.find('\\', prefix.size()) == std::string::npos) names.push_back(p.substr(prefix.size()));
    }
    return names;
}

// ---- text form ----

TRegHive ParseHive(std::string_view text, std::string_view rootName) {
    TRegHive hive;
    TRegHiveKey* current = nullptr;  // the key the value lines belong to
    std::string path;
    LineReader lines(text);
    std::string_view line;
    while (lines.Next(line)) {
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            current = ParseKeyLine(line, rootName, path) ? &hive.Ensure(path) : nullptr;
        } else if (current != nullptr && (line.front() == '"' || line.front() == '@')) {
            TRegHiveValue value;
            if (ParseValueLine(line, lines, value)) current->Set(std::move(value));
        }
    }
    return hive;
}

std::string FormatHive(const TRegHive& hive, std::string_view rootName) {
    std::string out = "REGEDIT4\n";
    for (const TRegHiveKey& key : hive.Keys()) {
        if (key.Path().empty() && key.Values().empty()) continue;
        out.append("\n[").append(rootName);
        if (!key.Path().empty()) out.append("\\").append(key.Path());
        out.append("]\n");
        for (const TRegHiveValue& v : key.Values())
            out.append(v.name.empty() ? std::string("@") : Escaped(v.name)).append("=").append(FormatData(v)).append("\n");
    }
    return out.append("\n");
}

}  // namespace vemra
