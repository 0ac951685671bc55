#include "CurrencyFiles.h"

#include <array>
#include <memory>

#include "CurrencyConverter.h"
#include "IniSection.h"
#include "MessageFormat.h"
#include "MessageNumbers.h"
#include "SysStrings.h"
#include "ZEPHStrUtils.h"
#include "rtl/Format.h"
#include "rtl/IniFiles.h"
#include "rtl/NumParse.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra {

namespace {

constexpr const char* TypeMarker = "@";
constexpr auto DefaultConfigName = ScrambleLiteral("Currencies.vmg");
constexpr auto DefaultNamesName = ScrambleLiteral("Default.vcn");

// Reads the file into the object; an unreadable file reads as empty, as a profile read does.
void ReadIni(TMemIniFile& ini) {
    try {
        ini.Reload();
    } catch (const EInOutError&) {
        ini.Clear();
    }
}

bool WriteIni(TMemIniFile& ini, std::string* error = nullptr) {
    if (ini.FileName().empty()) return false;
    try {
        ini.UpdateFile();
        return true;
    } catch (const EInOutError& e) {
        if (error != nullptr) *error = e.Message();
        return false;
    }
}

// The configuration file the user setting names (the list's own when no host tells).
std::string ConfigSettingPath(const TCurrencyChangeList& list) {
    std::string path = HostOf(list).CurrencyConfigFileName();
    return path.empty() ? list.ConfigFileName : path;
}

// Copies the configuration file to today's definition file.
void WriteDefinitionCopy(const std::string& configFileName) {
    if (!FileExists(configFileName)) return;
    try {
        WriteFileAtomic(DefinitionCopyName(configFileName), ReadFileBytes(configFileName));
    } catch (const EInOutError&) {
        // The copy is a courtesy for undoing; the change itself goes ahead.
    }
}

// Cuts the value at the first five ";"; the last field takes the rest.
std::array<std::string_view, 6> SplitConfigFields(std::string_view value) {
    std::array<std::string_view, 6> fields;
    for (std::size_t i = 0; i + 1 < fields.size(); ++i) {
        const std::size_t cut = value.find(';');
        fields[i] = value.substr(0, cut);
        value = cut == std::string_view::npos ? std::string_view() : value.substr(cut + 1);
    }
    fields.back() = value;
    return fields;
}

std::unique_ptr<TCurrencyRec> MakeCurrency(const std::string& code, std::string_view value, std::string_view name) {
    const std::array<std::string_view, 6> f = SplitConfigFields(value);
    auto rec = std::make_unique<TCurrencyRec>();
    rec->Code = code;
    rec->DisplayCode = f[0].substr(0, 3);
    rec->Symbol = f[1];
    rec->SymbolSide = f[2].empty() ? 'L' : f[2][0];
    int decimals = 0;
    rec->Decimals = static_cast<std::uint8_t>(TryStrToInt(f[3], decimals) ? decimals : 2);
    rec->RefCode = f[4].substr(0, 3);
    double factor = 0;
    if (!f[5].empty() && TryStrToFloat(f[5], factor, MdyFormat)) {
        rec->Factor = factor;
        rec->FactorText = f[5];
    }
    rec->Name = name;
    return rec;
}

void AddConfiguredCurrencies(TCurrencyChangeList& list, const TMemIniFile& config, const TMemIniFile& names) {
    const TIniSectionIndex values(config, "CONFIG");
    const TIniSectionIndex namesIndex(names, "CONFIG");
    for (int i = 0; i < values.Count(); ++i) {
        const std::string& code = values.Name(i);
        if (code.size() != 3 || values.Value(i).empty()) continue;
        std::string_view name;
        if (!namesIndex.Find(code, name) || name.empty()) continue;
        list.AddCurrency(code, MakeCurrency(code, values.Value(i), name));
    }
}

std::string ConfigLine(const TCurrencyRec& rec) {
    std::string line = rec.DisplayCode + ";" + rec.Symbol + ";" + rec.SymbolSide + ";" + IntToStr(rec.Decimals);
    if (!rec.RefCode.empty())
        line += Format(";%s;%s", rec.RefCode, FloatToStrF(rec.Factor, TFloatFormat::ffGeneral, 7, 0, MdyFormat));
    return line;
}

void RefreshFavorites(TCurrencyChangeList& list) {
    if (TCurrencyConverter* converter = list.Converter()) converter->SetFavorites(converter->Favorites().CommaText());
}

std::string FavoritesText(const TCurrencyChangeList& list) {
    const TCurrencyConverter* converter = list.Converter();
    return converter != nullptr ? converter->Favorites().CommaText() : std::string();
}

void MergeSection(const TMemIniFile& imported, TMemIniFile& config, const std::string& section, int& replaced,
                  int& added) {
    TStringList keys;
    imported.ReadSection(section, keys);
    for (const TStringList::Item& item : keys) {
        const std::string& key = item.str;
        if (config.ValueExists(section, key))
            ++replaced;
        else
            ++added;
        const std::string value = imported.ReadString(section, key, TypeMarker);
        if (value != TypeMarker) config.WriteString(section, key, value);
    }
}

}  // namespace

std::string DefaultCurrencyConfigFileName() { return JoinPath(PubData, UnscrambleLiteral(DefaultConfigName)); }

std::string DefaultCurrencyNamesFileName() { return JoinPath(PubData, UnscrambleLiteral(DefaultNamesName)); }

std::string CurrencyNameFileName(const std::string& languageName) {
    const std::string file = JoinPath(PubData, languageName + ".vcn");
    return FileExists(file) ? file : DefaultCurrencyNamesFileName();
}

// The copy goes beside the configuration file: the process's current folder (often the home
// folder or "/") is no place a user would look for it, and may not be writable.
std::string DefinitionCopyName(const std::string& configFileName) {
    return configFileName + " - copy - " + DateToShortStamp(Date()) + ".vcd";
}

bool LoadCurrencyNames(TCurrencyChangeList& list, const std::string& fileName) {
    list.Clear();
    TMemIniFile config(fileName);
    ReadIni(config);
    TMemIniFile names(CurrencyNameFileName(HostOf(list).LanguageName()));
    ReadIni(names);
    bool result = false;
    if (config.ReadString("VMG", "TYPE", "") != "CONFIG") {
        HostOf(list).WriteLogLine("VMR", "LOAD_DATA: " + fileName + ". Invalid type.");
    } else {
        list.ConfigFileName = fileName;
        AddConfiguredCurrencies(list, config, names);
        result = true;
    }
    RefreshFavorites(list);
    list.Modified = false;
    return result;
}

bool SaveCurrencyConfig(TCurrencyChangeList& list, const std::string& fileName) {
    TMemIniFile config(fileName.empty() ? list.ConfigFileName : fileName);
    ReadIni(config);
    config.WriteString("VMG", "FAVORITES", FavoritesText(list));
    bool written = true;
    if (!list.Empty()) {
        TMemIniFile names(CurrencyNameFileName(HostOf(list).LanguageName()));
        ReadIni(names);
        config.WriteString("VMG", "TYPE", "CONFIG");
        for (int i = 0; i < list.Count(); ++i) {
            const TCurrencyRec& rec = *list.GetCurrency(i);
            config.WriteString("CONFIG", rec.Code, ConfigLine(rec));
            names.WriteString("CONFIG", rec.Code, rec.Name);
        }
        written = WriteIni(names);
    }
    written = WriteIni(config) && written;
    if (written) list.Modified = false;
    return written;
}

bool RemoveCurrencyFromConfig(TCurrencyChangeList& list, const std::string& code) {
    const std::string path = ConfigSettingPath(list);
    WriteDefinitionCopy(path);
    TMemIniFile config(path);
    ReadIni(config);
    if (!config.ValueExists("CONFIG", code)) return true;
    // Every line of the code goes, so that no repeat of it comes back on the next load.
    while (config.ValueExists("CONFIG", code)) config.DeleteKey("CONFIG", code);
    return WriteIni(config);
}

bool ImportCurrencyDefinitions(TCurrencyChangeList& list, const std::string& fileName, std::string& message,
                               int& replaced, int& added) {
    replaced = 0;
    added = 0;
    const std::string path = ConfigSettingPath(list);
    WriteDefinitionCopy(path);
    TMemIniFile config(path);
    ReadIni(config);
    TMemIniFile imported(fileName);
    ReadIni(imported);
    const std::string type = config.ReadString("VMG", "TYPE", "");
    bool result = false;
    if (imported.ReadString("VMG", "TYPE", TypeMarker) != type) {
        message = "Invalid file";
    } else {
        MergeSection(imported, config, type, replaced, added);
        std::string error;
        if (!WriteIni(config, &error)) {
            message = error;
        } else {
            message = DecodeLineMarks(
                FormatMessageText(HostOf(list), msg::ImportResult, ExtractFileName(fileName), replaced, added));
            list.ResolveReferenceRates();
            result = true;
        }
    }
    list.Modified = true;
    return result;
}

}  // namespace vemra
