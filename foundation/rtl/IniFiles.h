#pragma once
// TMemIniFile: an INI file held whole in memory. Sections keep their order, and a section's
// lines keep theirs; section and value names match without regard to (ASCII) case. A second
// section of the same name is a second entry; lookups find the first.
// The base never touches a file by itself unless constructed with a file name and asked to.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "FormatSettings.h"
#include "StringList.h"

namespace vemra {

class TMemIniFile {
public:
    explicit TMemIniFile(std::string fileName = {});
    virtual ~TMemIniFile() = default;
    TMemIniFile(const TMemIniFile&) = delete;
    TMemIniFile& operator=(const TMemIniFile&) = delete;

    const std::string& FileName() const { return fileName_; }

    std::string ReadString(std::string_view section, std::string_view ident, std::string_view def) const;
    void WriteString(std::string_view section, std::string_view ident, std::string_view value);
    // Integer syntax of StrToInt (decimal, or hex after "$", "x", "0x"); default on any failure.
    int ReadInteger(std::string_view section, std::string_view ident, int def) const;
    void WriteInteger(std::string_view section, std::string_view ident, int value);
    // "0" is false, any other integer true; non-integers give the default.
    bool ReadBool(std::string_view section, std::string_view ident, bool def) const;
    void WriteBool(std::string_view section, std::string_view ident, bool value);  // "1"/"0"
    // Floats with the given record's decimal separator (default: the user's locale).
    double ReadFloat(std::string_view section, std::string_view ident, double def,
                     const TFormatSettings& fs = FormatSettings) const;
    void WriteFloat(std::string_view section, std::string_view ident, double value,
                    const TFormatSettings& fs = FormatSettings);

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view ident) const;
    void ReadSections(TStringList& out) const;                       // names in order
    void ReadSection(std::string_view section, TStringList& out) const;        // value names
    void ReadSectionValues(std::string_view section, TStringList& out) const;  // whole lines
    void EraseSection(std::string_view section);  // the first section of that name
    void DeleteKey(std::string_view section, std::string_view ident);
    void Clear();

    // Contents as lines: SetStrings applies the reading rules (CR LF/LF/CR already split;
    // trimming, comments, sections, name = value); GetStrings renders "[name]", the lines,
    // then one empty line per section.
    void SetStrings(const TStringList& lines);
    void GetStrings(TStringList& lines) const;
    void SetText(std::string_view text);  // split lines, then SetStrings
    std::string RenderText() const;        // GetStrings joined with CR LF after every line

    // Reads FileName (when it exists) and writes it back (atomic replace).
    virtual void Reload();
    virtual void UpdateFile();

    struct Section {
        std::string name;
        TStringList lines;  // unsorted "name=value" lines or bare lines
    };
    const std::vector<Section>& Sections() const { return sections_; }

protected:
    void SetFileNameInternal(std::string name) { fileName_ = std::move(name); }

private:
    const Section* FindSection(std::string_view name) const;
    Section* FindSection(std::string_view name);
    Section& AddOrFindSection(std::string_view name);

    std::string fileName_;
    std::vector<Section> sections_;
};

}  // namespace vemra
