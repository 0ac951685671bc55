#include "IniFiles.h"

#include <utility>

#include "Format.h"
#include "NumParse.h"
#include "SysUtils.h"

namespace vemra {

namespace {

// A trimmed line inside a section: name and value are trimmed around the first '='.
std::string NormalisedLine(std::string line) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) return line;
    return Trim(std::string_view(line).substr(0, eq)) + "=" + Trim(std::string_view(line).substr(eq + 1));
}

bool IsSectionHeader(std::string_view line) {
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

std::string_view Text(const std::string& s) { return s; }
std::string_view Text(const TStringList::Item& item) { return item.str; }

template <class Lines>
void ParseLines(const Lines& lines, std::vector<TMemIniFile::Section>& sections) {
    sections.clear();
    TMemIniFile::Section* current = nullptr;
    for (const auto& raw : lines) {
        std::string line = Trim(Text(raw));
        if (line.empty() || line.front() == ';') continue;
        if (IsSectionHeader(line)) {
            sections.push_back({Trim(std::string_view(line).substr(1, line.size() - 2)), {}});
            current = &sections.back();
        } else if (current != nullptr) {
            current->lines.Add(NormalisedLine(std::move(line)));
        }
    }
}

}  // namespace

TMemIniFile::TMemIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

const TMemIniFile::Section* TMemIniFile::FindSection(std::string_view name) const {
    for (const Section& s : sections_)
        if (SameText(s.name, name)) return &s;
    return nullptr;
}

TMemIniFile::Section* TMemIniFile::FindSection(std::string_view name) {
    return const_cast<Section*>(std::as_const(*this).FindSection(name));
}

TMemIniFile::Section& TMemIniFile::AddOrFindSection(std::string_view name) {
    if (Section* s = FindSection(name)) return *s;
    sections_.push_back({std::string(name), {}});
    return sections_.back();
}

std::string TMemIniFile::ReadString(std::string_view section, std::string_view ident, std::string_view def) const {
    const Section* s = FindSection(section);
    const int i = s != nullptr ? s->lines.IndexOfName(ident) : -1;
    return i < 0 ? std::string(def) : s->lines.ValueFromIndex(i);
}

void TMemIniFile::WriteString(std::string_view section, std::string_view ident, std::string_view value) {
    TStringList& lines = AddOrFindSection(section).lines;
    std::string line = std::string(ident).append("=").append(value);
    const int i = lines.IndexOfName(ident);
    if (i >= 0)
        lines.SetString(i, std::move(line));
    else
        lines.Add(std::move(line));
}

int TMemIniFile::ReadInteger(std::string_view section, std::string_view ident, int def) const {
    return StrToIntDef(ReadString(section, ident, ""), def);
}

void TMemIniFile::WriteInteger(std::string_view section, std::string_view ident, int value) {
    WriteString(section, ident, IntToStr(value));
}

bool TMemIniFile::ReadBool(std::string_view section, std::string_view ident, bool def) const {
    int v = 0;
    return TryStrToInt(ReadString(section, ident, ""), v) ? v != 0 : def;
}

void TMemIniFile::WriteBool(std::string_view section, std::string_view ident, bool value) {
    WriteString(section, ident, value ? "1" : "0");
}

double TMemIniFile::ReadFloat(std::string_view section, std::string_view ident, double def,
                              const TFormatSettings& fs) const {
    double v = 0;
    return TryStrToFloat(ReadString(section, ident, ""), v, fs) ? v : def;
}

void TMemIniFile::WriteFloat(std::string_view section, std::string_view ident, double value,
                             const TFormatSettings& fs) {
    WriteString(section, ident, FloatToStr(value, fs));
}

bool TMemIniFile::SectionExists(std::string_view section) const { return FindSection(section) != nullptr; }

bool TMemIniFile::ValueExists(std::string_view section, std::string_view ident) const {
    const Section* s = FindSection(section);
    return s != nullptr && s->lines.IndexOfName(ident) >= 0;
}

void TMemIniFile::ReadSections(TStringList& out) const {
    out.Clear();
    for (const Section& s : sections_) out.Add(s.name);
}

// Only lines of the form name=value have a value name; bare lines are skipped.
void TMemIniFile::ReadSection(std::string_view section, TStringList& out) const {
    out.Clear();
    const Section* s = FindSection(section);
    if (s == nullptr) return;
    for (const TStringList::Item& line : s->lines) {
        const std::size_t eq = line.str.find('=');
        if (eq != std::string::npos) out.Add(line.str.substr(0, eq));
    }
}

void TMemIniFile::ReadSectionValues(std::string_view section, TStringList& out) const {
    out.Clear();
    if (const Section* s = FindSection(section)) out.AddStrings(s->lines);
}

void TMemIniFile::EraseSection(std::string_view section) {
    if (const Section* s = FindSection(section)) sections_.erase(sections_.begin() + (s - sections_.data()));
}

void TMemIniFile::DeleteKey(std::string_view section, std::string_view ident) {
    Section* s = FindSection(section);
    const int i = s != nullptr ? s->lines.IndexOfName(ident) : -1;
    if (i >= 0) s->lines.Delete(i);
}

void TMemIniFile::Clear() { sections_.clear(); }

void TMemIniFile::SetStrings(const TStringList& lines) { ParseLines(lines, sections_); }

void TMemIniFile::GetStrings(TStringList& lines) const {
    lines.Clear();
    for (const Section& s : sections_) {
        lines.Add("[" + s.name + "]");
        lines.AddStrings(s.lines);
        lines.Add("");
    }
}

void TMemIniFile::SetText(std::string_view text) { ParseLines(SplitLines(text), sections_); }

std::string TMemIniFile::RenderText() const {
    std::string r;
    for (const Section& s : sections_) {
        r.append("[").append(s.name).append("]").append(LineBreak);
        for (const TStringList::Item& line : s.lines) r.append(line.str).append(LineBreak);
        r.append(LineBreak);
    }
    return r;
}

void TMemIniFile::Reload() {
    if (!FileExists(fileName_)) return;
    SetText(ReadFileBytes(fileName_));
}

void TMemIniFile::UpdateFile() {
    if (fileName_.empty()) return;
    WriteFileAtomic(fileName_, RenderText());
}

}  // namespace vemra
