#pragma once
// One section of an in-memory INI file as the loaders read it: each name upper-cased, the
// value of its first line (names compared without case), sorted by name. Looking a name up
// is a binary search, so a loader does not rescan the section for every key. The values
// point into the INI object, which must outlive the index.

#include <string>
#include <string_view>
#include <vector>

#include "rtl/IniFiles.h"

namespace vemra {

class TIniSectionIndex {
public:
    TIniSectionIndex(const TMemIniFile& ini, std::string_view section);

    int Count() const { return static_cast<int>(entries_.size()); }
    const std::string& Name(int i) const { return entries_[static_cast<std::size_t>(i)].name; }
    std::string_view Value(int i) const { return entries_[static_cast<std::size_t>(i)].value; }
    // The value of the first line of that name; false when the section has none.
    bool Find(std::string_view name, std::string_view& value) const;

private:
    struct Entry {
        std::string name;  // upper case
        std::string_view value;
        std::size_t line;  // position in the section, so the first line of a name comes first
    };
    std::vector<Entry> entries_;
};

}  // namespace vemra
