#include "IniSection.h"

#include <algorithm>

#include "rtl/SysUtils.h"

namespace vemra {

namespace {

const TMemIniFile::Section* FirstSection(const TMemIniFile& ini, std::string_view name) {
    for (const TMemIniFile::Section& section : ini.Sections())
        if (SameText(section.name, name)) return &section;
    return nullptr;
}

}  // namespace

TIniSectionIndex::TIniSectionIndex(const TMemIniFile& ini, std::string_view section) {
    const TMemIniFile::Section* found = FirstSection(ini, section);
    if (found == nullptr) return;
    const TStringList::ItemRange lines = found->lines.Items();
    entries_.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i].str;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || eq == 0) continue;
        entries_.push_back({UpperCase(line.substr(0, eq)), line.substr(eq + 1), i});
    }
    // Upper-cased names compare byte by byte as they would without case. Files are mostly
    // written in order already.
    auto less = [](const Entry& a, const Entry& b) {
        const int c = a.name.compare(b.name);
        return c != 0 ? c < 0 : a.line < b.line;
    };
    if (!std::is_sorted(entries_.begin(), entries_.end(), less)) std::sort(entries_.begin(), entries_.end(), less);
    entries_.erase(std::unique(entries_.begin(), entries_.end(),
                               [](const Entry& a, const Entry& b) { return a.name == b.name; }),
                   entries_.end());
}

bool TIniSectionIndex::Find(std::string_view name, std::string_view& value) const {
    const std::string key = UpperCase(name);
    auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                               [](const Entry& entry, const std::string& k) { return entry.name < k; });
    if (it == entries_.end() || it->name != key) return false;
    value = it->value;
    return true;
}

}  // namespace vemra
