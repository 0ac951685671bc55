// The data module's language service: the language file, its numbered messages, the
// translation of windows and the choice of the language at start-up.

#include <QComboBox>
#include <QMetaObject>
#include <QWidget>

#include <string_view>
#include <unordered_map>

#include "AppWindows.h"
#include "LanguageId.h"
#include "MessageNumbers.h"
#include "Properties.h"
#include "ResourceFiles.h"
#include "StreamKeys.h"
#include "SysCaller.h"
#include "ZEPHStrUtils.h"
#include "dm.h"
#include "rtl/IniFiles.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra {

std::string LanguageName;
std::string LanguageFileName;

namespace {

// The language chosen when neither the saved one nor the user's own is at hand.
constexpr std::string_view kFallbackLanguageFile = "ENG.lib";

// The class name without its namespace: the window section's name is that, upper-cased.
std::string PlainClassName(const QObject* object) {
    std::string_view name = object->metaObject()->className();
    const std::size_t colon = name.rfind(':');
    if (colon != std::string_view::npos) name.remove_prefix(colon + 1);
    return std::string(name);
}

void FillMainList(QWidget* mainWindow, const char* name, const std::string& text) {
    if (auto* list = mainWindow->findChild<QComboBox*>(QString::fromLatin1(name)))
        SetListItemsText(list, QString::fromStdString(text));
}

}  // namespace

void Tdm::LoadLanguageFile(const std::string& fileName) {
    QComboBox* list = windows_ ? windows_->LanguageList() : nullptr;
    if (!list || list->count() == 0) throw Exception("No languaje file present");
    int index = list->findText(QString::fromStdString(fileName), Qt::MatchFixedString);
    // The list's entry is the file's real name (names match without regard to case), and a
    // name that is not offered loads the first entry, so the list and the language agree.
    if (index < 0) index = 0;
    list->setCurrentIndex(index);
    const std::string chosen = list->itemText(index).toStdString();
    vemra::LanguageFileName = chosen;
    const std::string path = JoinPath(AppData, chosen);
    std::string fault = LoadUsableMessageTable(path);
    if (!fault.empty()) {
        // A damaged or unreadable language file is written again from the resource library,
        // as a missing one is; one that is not shipped stays as it is, and the program goes
        // on with the English texts of its start-up.
        try {
            if (ExtractResourceFiles()) fault = LoadUsableMessageTable(path);
        } catch (const std::exception& e) {
            fault += std::string("; extracting it again failed: ") + e.what();
        }
        if (!fault.empty()) {
            try {
                WriteLogLine("UPD", "LANGUAGE FILE: " + path + " " + fault);
            } catch (const std::exception&) {
                // the log is a record only: the language load goes on
            }
        }
    }
    LanguageFault = fault.empty() ? std::string() : "The language file " + path + " " + fault + ".";
    vemra::LanguageName = GetMessageText(msg::LanguageName);

    TStringList days;
    days.SetCommaText(GetMessageText(msg::WeekdayNames));
    if (days.Count() >= 7) {  // Monday first in the file, Sunday first in the record
        StampFormat.ShortDayNames[0] = days[6];
        for (int i = 0; i < 6; ++i) StampFormat.ShortDayNames[static_cast<std::size_t>(i) + 1] = days[i];
    }

    if (!windows_) return;
    if (QWidget* main = windows_->MainWindow()) TranslateForm(main);
    if (QWidget* options = windows_->OptionsWindow()) TranslateForm(options);
    if (QWidget* properties = windows_->VisiblePropertiesWindow()) TranslateForm(properties);
    windows_->FillOptionsTexts();
    if (QWidget* main = windows_->MainWindow()) {
        FillMainList(main, "cbDateDesambi", GetMessageText(msg::DateOrderList));
        FillMainList(main, "cbDesambi", GetMessageText(msg::DecimalChoiceList));
        FillMainList(main, "cbFormat", GetMessageText(msg::OutputFormatList));
    }
    windows_->ShowConverterState();
}

void Tdm::LoadMessageTable(const std::string& path) {
    languageIni_->SetFileName(path);
    languageIni_->Reload();
    messages_.Clear();
    TStringList lines;
    languageIni_->ReadSectionValues("Messages", lines);
    // A name's value is that of its first line; letter case does not tell names apart.
    std::unordered_map<std::string, std::string> firstValue;
    for (int i = 0; i < lines.Count(); ++i) {
        const std::size_t eq = lines[i].find('=');
        if (eq == std::string::npos) continue;
        firstValue.try_emplace(LowerCase(std::string_view(lines[i]).substr(0, eq)), lines.ValueFromIndex(i));
    }
    for (int i = 0; i < lines.Count(); ++i) {
        const auto found = firstValue.find(LowerCase(lines.Names(i)));
        messages_.Add(found == firstValue.end() ? std::string() : DecodeLineMarks(found->second));
    }
    EmptyCellText = UpperCase(GetMessageText(msg::EmptyCell));
}

std::string Tdm::LoadUsableMessageTable(const std::string& path) {
    try {
        LoadMessageTable(path);
    } catch (const std::exception& e) {
        messages_.Clear();
        EmptyCellText.clear();
        return std::string("cannot be read: ") + e.what();
    }
    if (GetMessageText(msg::LanguageName).empty()) return "is damaged: it has no language name";
    // A shipped file ends with the windows' sections, the properties window's last: a file
    // cut short (a truncated copy, a full disk) lacks them while its messages still read.
    for (const char* section : {"TVMRCONVERTER", "TVMRCONFIG", "TVMRPROPERTIES"})
        if (!languageIni_->SectionExists(section)) return std::string("is damaged: it has no section ") + section;
    return {};
}

std::unique_ptr<TStringList> Tdm::ReadLanguageSection(const std::string& section) {
    auto lines = std::make_unique<TStringList>();
    languageIni_->ReadSectionValues(section, *lines);
    return lines;
}

void Tdm::TranslateForm(QWidget* window) {
    if (!window) return;
    const auto lines = ReadLanguageSection(UpperCase(PlainClassName(window)));
    ApplyPropertyLines(window, *lines);
}

std::string Tdm::GetMessageText(int number) {
    if (number < 0 || number >= messages_.Count()) return {};
    return messages_[number];
}

void Tdm::ShowMessageNumber(int number) { ShowMessageText(GetMessageText(number)); }

bool Tdm::MatchLanguageId(std::uint16_t languageId, const std::string& key) {
    const std::string k = UpperCase(Trim(key));
    const std::string id = IntToHex(languageId, 4);
    if (k.compare(0, 2, "XX") == 0) return k.size() >= 4 && k.compare(2, 2, id, 2, 2) == 0;
    return k == id;
}

std::string Tdm::PickIndexedLanguage(TStringList& lines, std::uint16_t languageId, int& index) {
    std::string result;
    index = -1;
    for (int i = 0; i < lines.Count(); ++i) {
        const std::string value = lines.ValueFromIndex(i);
        const std::string key = value.substr(0, 4);
        const std::string file = (value.size() > 5 ? value.substr(5) : std::string()) + ".lib";
        lines.SetString(i, file);
        if (MatchLanguageId(languageId, key)) {  // a later match wins
            result = file;
            index = i;
        }
    }
    return result;
}

namespace {

// The resource library's language index into lines (as file names), and the file of the
// user's own language among them; empty, with index -1, when none matches or there is no index.
std::string PickUserLanguage(HMODULE library, TStringList& lines, int& index) {
    std::string_view bytes;
    if (platform::FindModuleResource(library, kLanguageIndexResource, bytes)) lines.SetText(bytes);
    return Tdm::PickIndexedLanguage(lines, UserDefaultLangID(), index);
}

}  // namespace

std::string Tdm::SelectLanguage() {
    struct LibraryGuard {
        Tdm* module;
        ~LibraryGuard() { module->FreeResourceLibrary(); }
    } guard{this};
    HMODULE library = LoadResourceLibrary();

    LanguageData.Clear();
    if (library) {
        std::string_view bytes;
        const std::string name = LanguageDataResourceName();
        if (!platform::FindModuleResource(library, name, bytes)) throw Exception("Resource " + name + " not found");
        TMemoryStream source{std::string(bytes)};
        TMemoryStream plain;
        std::string key;
        StreamKey(kLanguageKeyIndex, key);
        if (!DecipherStream(source, plain, key)) throw Exception("Resource " + name + " cannot be read");
        LanguageData.SetText(plain.Bytes());
    }

    TStringList list;
    int index = -1;
    std::string result;
    if (!vemra::LanguageFileName.empty()) {
        const std::string mask = JoinPath(AppData, "*.lib");
        auto files = ListFiles(mask);
        if (files->Empty()) {
            ExtractResourceFiles();
            files = ListFiles(mask);
        }
        list.Assign(*files);
        // The folder's order changes from disk to disk: the list shows the files by name.
        list.Sort();
        if (!list.Empty()) {
            index = list.IndexOf(vemra::LanguageFileName);
            // A saved language whose file is gone: the user's own language, else English.
            // (The extraction above releases the library: it is loaded again here.)
            HMODULE indexLibrary = index < 0 ? LoadResourceLibrary() : nullptr;
            if (indexLibrary) {
                TStringList indexLines;
                int unused = -1;
                const std::string own = PickUserLanguage(indexLibrary, indexLines, unused);
                if (!own.empty()) index = list.IndexOf(own);
            }
            if (index < 0) index = list.IndexOf(kFallbackLanguageFile);
            if (index < 0) index = 0;
            result = list[index];
        }
    } else if (library) {
        result = PickUserLanguage(library, list, index);
    }

    if (QComboBox* languages = windows_ ? windows_->LanguageList() : nullptr) {
        languages->clear();
        for (const auto& item : list) languages->addItem(QString::fromStdString(item.str));
        languages->setCurrentIndex(index);  // -1: none chosen (a combo picks its first item itself)
    }
    return result;
}

}  // namespace vemra
