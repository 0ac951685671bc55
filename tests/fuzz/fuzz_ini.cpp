// Any bytes as an INI text, plain and enciphered: the plain reader, the reads and writes of
// its values, and the enciphered file reader (deciphering a file, then re-reading what it
// stored). The stored text must read back to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "StreamedIniFile.h"
#include "rtl/IniFiles.h"
#include "rtl/StringList.h"
#include "rtl/SysUtils.h"

#include "FuzzFolder.h"

namespace {

using namespace vemra;

constexpr int kKeyIndex = 3;

void Require(bool condition) {
    if (!condition) std::abort();
}

void UseKey() {
    StreamKeyProc = [](int index, std::string& key) { key = index == kKeyIndex ? "fuzz-key" : ""; };
}

void Exercise(TMemIniFile& ini) {
    TStringList sections;
    ini.ReadSections(sections);
    for (int i = 0; i < sections.Count() && i < 8; ++i) {
        TStringList names;
        TStringList lines;
        ini.ReadSection(sections[i], names);
        ini.ReadSectionValues(sections[i], lines);
        for (int k = 0; k < names.Count() && k < 8; ++k) {
            Require(ini.ValueExists(sections[i], names[k]));
            ini.ReadString(sections[i], names[k], "");
            ini.ReadInteger(sections[i], names[k], 0);
            ini.ReadBool(sections[i], names[k], false);
            ini.ReadFloat(sections[i], names[k], 0.0);
        }
    }
    const std::string section = sections.Count() > 0 ? sections[0] : std::string("S");
    ini.WriteString(section, "Fuzz", "value");
    Require(ini.ReadString(section, "fuzz", "") == "value");
    ini.DeleteKey(section, "Fuzz");
    if (sections.Count() > 1) ini.EraseSection(sections[1]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::ScratchFolder folder("ini", [](const std::string&) { UseKey(); });
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    TMemIniFile plain;
    plain.SetText(text);
    const std::string rendered = plain.RenderText();
    TMemIniFile again;
    again.SetText(rendered);
    Require(again.RenderText() == rendered);
    Exercise(plain);

    // The bytes as an enciphered file: deciphered, read, stored enciphered again, read back.
    const std::string file = folder.Path() + "/fuzz.ini";
    WriteFileAtomic(file, text);
    TStreamedIniFile streamed(kKeyIndex, file);
    streamed.Reload();
    const std::string deciphered = streamed.RenderText();
    streamed.UpdateFile();
    TStreamedIniFile reread(kKeyIndex, file);
    reread.Reload();
    Require(reread.RenderText() == deciphered);
    if (std::unique_ptr<TStreamedIniFile> opened = OpenStreamedIni(kKeyIndex, file)) Exercise(*opened);
    return 0;
}
