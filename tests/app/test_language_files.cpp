// The shipped language files: every numbered message that the program uses exists in both
// languages and takes exactly the arguments its caller passes; both files have the same
// messages and the same window sections.
#include <algorithm>
#include <cstdio>
#include <deque>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "MessageNumbers.h"
#include "StreamedIniFile.h"
#include "ZEPHStrUtils.h"
#include "rtl/Format.h"
#include "rtl/StringList.h"
#include "rtl/SysUtils.h"

namespace vemra::test {
namespace {

const std::vector<std::string> kLanguages = {"ENG", "ESP"};

std::string LanguagePath(const std::string& language) {
    return std::string(VEMRA_RESOURCES_DIR) + "/lang/" + language + ".ini";
}

// The message table as the data module builds it: one entry per line of "Messages" in file
// order; an entry's value is that of the first line with the same name (letter case
// ignored), with its line marks decoded.
std::vector<std::string> ReadMessageTable(const TMemIniFile& ini) {
    TStringList lines;
    ini.ReadSectionValues("Messages", lines);
    auto nameOf = [](const std::string& line) {
        const std::size_t eq = line.find('=');
        return eq == std::string::npos ? std::string() : line.substr(0, eq);
    };
    std::vector<std::string> table;
    for (const TStringList::Item& line : lines) {
        const std::string name = nameOf(line.str);
        std::string value;
        for (const TStringList::Item& other : lines) {
            if (!SameText(nameOf(other.str), name)) continue;
            const std::size_t eq = other.str.find('=');
            if (eq != std::string::npos) value = other.str.substr(eq + 1);
            break;
        }
        table.push_back(DecodeLineMarks(value));
    }
    return table;
}

struct LanguageData {
    std::string language;
    std::unique_ptr<TStreamedIniFile> ini;
    std::vector<std::string> messages;
};

const LanguageData& Load(const std::string& language) {
    static std::deque<LanguageData> loaded;  // references to loaded entries stay valid
    for (const LanguageData& d : loaded)
        if (d.language == language) return d;
    LanguageData d{language, std::make_unique<TStreamedIniFile>(0, LanguagePath(language)), {}};
    d.ini->Reload();
    d.messages = ReadMessageTable(*d.ini);
    loaded.push_back(std::move(d));
    return loaded.back();
}

// Distinctive argument values: each must show in the formatted text.
const FormatArg S1("qzS1"), S2("qzS2"), S3("qzS3");
const FormatArg D1(7301), D2(7302), D3(7303);

struct MessageUse {
    int number;
    const char* role;               // the test's name
    std::vector<FormatArg> args;    // what the caller passes to Format; none = shown as it is
    int listEntries = 0;            // list texts: the number of entries ("||" lines, or commas for 111)
};

// Every numbered message and what its caller passes.
const std::vector<MessageUse> kUses = {
    {msg::LanguageName, "LanguageName", {}},                     // data module: names ENG.vcn, version query
    {msg::VersionLabel, "VersionLabel", {S1}},                   // splash, options window: program version
    {msg::ExportDone, "ExportDone", {}},                         // options window: export of definitions
    {msg::FavoritesButton, "NoFavorites", {}},                   // main window: favourites button, none there
    {msg::GroupOwnRate, "GroupOwnRate", {D1, S1, S2}},           // main window lbNumDiv: count, source code, date
    {msg::GroupLinked, "GroupLinked", {D1, S1, S2}},
    {msg::GroupFavorites, "GroupFavorites", {D1, S1, S2}},
    {msg::AnotherInstance, "AnotherInstance", {}},               // start-up question
    {msg::StartupFailed9, "StartupFailed9", {}},                 // start-up result 9
    {msg::ExportFailed, "ExportFailed", {}},                     // options window
    {msg::FavoriteSameSymbol, "FavoriteSameSymbol", {}},         // options window currency list
    {msg::ConverterOn, "ConverterOnTip", {S1, S2, S3}},          // tray tip: provider + " ", day, date
    {msg::ConverterOff, "ConverterOffTip", {S1, S2, S3}},
    {msg::EmptyCell, "EmptyCell", {}},                           // conversion run placeholder
    {msg::DeleteCaption, "DeleteCaption", {}},                   // options window currency buttons
    {msg::SaveCaption, "SaveCaption", {}},                       // also the properties editor of the rate sources page
    {msg::EditCaption, "EditCaption", {}},
    {msg::OkCaption, "OkCaption", {}},                           // message box single button
    {msg::CancelCaption, "CancelCaption", {}},
    {msg::DeleteCurrency, "DeleteRefused", {S1, D1}},            // options window: code, linked count
    {msg::InvalidFactor, "InvalidFactor", {}},                   // options window checks
    {msg::SymbolMissing, "SymbolMissing", {}},
    {msg::NameTooShort, "NameTooShort", {}},
    {msg::CodeLength, "CodeLength", {}},
    {msg::CurrencyCodeCheck, "CodeExists", {S1}},                // options window: code
    {msg::RateFileAgeDays, "RateFileAgeDays", {D1}},             // properties window: age in days
    {msg::RateFileToday, "RateFileToday", {}},
    {msg::RateFileTomorrow, "RateFileTomorrow", {}},
    {msg::UpdateRunning, "UpdateRunning", {}},                   // status panel during an update
    {msg::RatesNotLoaded, "RatesNotLoaded", {}},                 // start-up 5, update, properties window
    {msg::NoCurrencies, "NoCurrencies", {}},                     // start-up result 4
    {msg::StartupFailed2, "StartupFailed2", {}},                 // start-up result 2
    {msg::ImportResult, "ImportResult", {S1, D1, D2}},           // definitions import: file, replaced, added
    {msg::CurrencyCount, "CurrencyCount", {D1, S1, S2}},         // options window: count, source code, ""
    {msg::OptionsButton54, "OptionsPageButton", {}},             // main window options button
    {msg::OptionsButton55, "ConverterPageButton", {}},
    {msg::RateAgeHint, "RateAgeHint", {}},                       // main window: 56 then one of 57-60
    {msg::RateAgeFresh, "RateAgeFresh", {}},
    {msg::RateAgeOneDay, "RateAgeOneDay", {}},
    {msg::RateAgeOld, "RateAgeOld", {}},
    {msg::RateAgeFixed, "RateAgeFixed", {}},
    {msg::ExtractMonthQuestion, "ExtractMonthQuestion", {}},     // properties window
    {msg::RateFileDateUnreadable, "RateFileDateUnreadable", {}}, // properties and options windows
    {msg::DeleteCurrencyLinked, "DeleteQuestion", {}},           // options window
    {msg::HistoryUpdated, "HistoryUpdated", {}},                 // rate sources page
    {msg::HistoryFailed, "HistoryFailed", {}},                   // also the plug-in manager at start
    {msg::NotificationTitle, "NotificationTitle", {}},           // default popup title
    {msg::LabelingList, "LabelingList", {}, 4},                  // options window lists
    {msg::SourcePropertyList, "SourcePropertyList", {}, 7},
    {msg::CurrencyFilterList, "CurrencyFilterList", {}, 5},
    {msg::DecimalChoiceList, "DecimalChoiceList", {}, 4},        // main window lists
    {msg::DateOrderList, "DateOrderList", {}, 5},
    {msg::OutputFormatList, "OutputFormatList", {}, 4},
    {msg::OnDemandDayFetched, "OnDemandDayFetched", {S1}},       // on-demand window: file name
    {msg::OnDemandDayFailed, "RateFileMissing", {S1}},           // on-demand window, date rows of a table
    {msg::OnDemandSummary, "OnDemandSummary", {D1, D2}},         // fetched, failed
    {msg::SourceMissing, "SourceMissing", {S1}},                 // table's source code; library path
    {msg::RateFileValueCount, "RateFileValueCount", {D1}},       // properties window: lines
    {msg::CurrentRatesDate, "CurrentRatesDate", {S1}},           // properties window: date text
    {msg::HistoryExtraction, "NothingToExtract", {}},            // properties window
    {msg::WarnProviderCode, "WarnProviderCode", {S1}},           // conversion warnings: code
    {msg::WarnUnknownCurrency, "WarnUnknownCurrency", {S1}},
    {msg::WarnNoRate, "WarnNoRate", {S1}},
    {msg::OnDemandFetching, "OnDemandFetching", {}},             // followed by the file name
    {msg::StateOn, "StateOn", {}},                               // options window state panel
    {msg::StateOff, "StateOff", {}},
    {msg::BadDateMethodList, "BadDateMethodList", {}, 2},        // options window lists
    {msg::CrossTableList, "CrossTableList", {}, 5},
    {msg::TableSourceNoFile, "TableSourceNoFile", {S1}},         // conversion warning: file name
    {msg::WarningCount, "WarningCount", {D1}},                   // balloon: number of warnings
    {msg::HotKeyFailed, "HotKeyFailed", {}},                     // options window
    {msg::HistoryDownloadQuestion, "HistoryDownloadQuestion", {}},  // properties window
    {msg::WeekdayNames, "WeekdayNames", {}, 7},                  // data module, options window
    {msg::DayLag, "DayLag", {D1}},                               // rate sources page: days
    {msg::HistoryCoversMonth, "HistoryCoversMonth", {}},         // properties window
    {msg::NewVersion, "NewVersion", {S1}},                       // version check: the version
    {msg::RatesApplied, "RatesApplied", {}},                     // notification title
    {msg::ClipMethodBase + 0, "ClipMethodListener", {}},         // options window: method 0-2
    {msg::ClipMethodBase + 1, "ClipMethodViewer", {}},
    {msg::ClipMethodBase + 2, "ClipMethodViewerRejoin", {}},
    {msg::SplitProgress, "SplitProgress", {D1, D2}},             // progress window: position, count
    {msg::RecognitionProgress, "RecognitionProgress", {D1, D2}},
    {msg::ProgressText, "ProgressText", {}},
    {msg::HistoryDaily, "HistoryDaily", {}},                     // rate sources page
    {msg::HistoryNone, "HistoryNone", {}},
    {msg::InputLineCount, "InputLineCount", {D1}},               // main window: line count
    {msg::LibraryRefused, "LibraryRefused", {S1}},               // start-up, update: the library file
    {msg::PackageUntrusted, "PackageUntrusted", {}},             // package installation
    {msg::PackageRefused, "PackageRefused", {}},
    {msg::PackageSetAside, "PackageSetAside", {S1}},             // where the package went
};

std::string ArgText(const FormatArg& a) {
    return a.kind() == FormatArg::Kind::String ? std::string(a.s()) : std::to_string(a.i());
}

int CountEntries(const MessageUse& use, const std::string& text) {
    TStringList items;
    if (use.number == msg::WeekdayNames)
        items.SetCommaText(text);
    else
        items.SetText(text);
    int nonEmpty = 0;
    for (const TStringList::Item& item : items) nonEmpty += Trim(item.str).empty() ? 0 : 1;
    return nonEmpty == items.Count() ? items.Count() : -1;
}

struct Case {
    std::string language;
    MessageUse use;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.language << " message " << c.use.number << " " << c.use.role; }

class NumberedMessage : public ::testing::TestWithParam<Case> {};

TEST_P(NumberedMessage, ExistsAndTakesItsCallersArguments) {
    const Case& c = GetParam();
    const std::vector<std::string>& messages = Load(c.language).messages;
    ASSERT_LT(c.use.number, static_cast<int>(messages.size()));
    const std::string& text = messages[c.use.number];
    ASSERT_FALSE(Trim(text).empty());

    std::string formatted;
    ASSERT_NO_THROW(formatted = FormatV(text, c.use.args, FormatSettings)) << text;
    for (const FormatArg& a : c.use.args)
        EXPECT_NE(formatted.find(ArgText(a)), std::string::npos) << "unused argument " << ArgText(a) << " in: " << text;
    // One specifier per argument: a spare one could consume nothing but would not show.
    const std::size_t percent = std::count(text.begin(), text.end(), '%');
    EXPECT_EQ(percent, c.use.args.size()) << text;

    if (c.use.listEntries > 0) {
        EXPECT_EQ(CountEntries(c.use, text), c.use.listEntries) << text;
    }
}

std::vector<Case> AllCases() {
    std::vector<Case> cases;
    for (const std::string& language : kLanguages)
        for (const MessageUse& use : kUses) cases.push_back({language, use});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(LanguageFiles, NumberedMessage, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<Case>& p) {
                             char number[8];
                             std::snprintf(number, sizeof number, "%03d", p.param.use.number);
                             return p.param.language + "_Message" + number + "_" + p.param.use.role;
                         });

class LanguageFile : public ::testing::TestWithParam<std::string> {};

TEST_P(LanguageFile, MessageZeroIsTheLanguageCode) {
    EXPECT_EQ(Load(GetParam()).messages.at(msg::LanguageName), GetParam());
}

// Texts that the program joins to others keep the blank at their joint.
TEST_P(LanguageFile, JoinedTextsKeepTheirBlanks) {
    const std::vector<std::string>& m = Load(GetParam()).messages;
    EXPECT_TRUE(m.at(msg::RateAgeHint).ends_with(" ")) << m.at(msg::RateAgeHint);
    EXPECT_TRUE(m.at(msg::OnDemandFetching).ends_with(" ")) << m.at(msg::OnDemandFetching);
    EXPECT_TRUE(m.at(msg::DayLag).starts_with(" ")) << m.at(msg::DayLag);
}

// The placeholder must never be mistaken for a cell's own text, nor hold a line break.
TEST_P(LanguageFile, EmptyCellPlaceholderIsOneUnusualWord) {
    const std::string placeholder = UpperCase(Load(GetParam()).messages.at(msg::EmptyCell));
    EXPECT_EQ(placeholder.find_first_of(" \t\r\n"), std::string::npos) << placeholder;
    EXPECT_EQ(placeholder.front(), '[');
}

// The tray tips must fit the 63 characters of the icon's tip with a short provider name.
TEST_P(LanguageFile, TrayTipsLeaveRoomForTheProvider) {
    const std::vector<std::string>& m = Load(GetParam()).messages;
    for (int n : {msg::ConverterOn, msg::ConverterOff}) {
        const std::string tip = Format(m.at(n), "European Central Bank ", "Mon", "2024.01.15");
        EXPECT_LT(tip.size(), 64u) << tip;
    }
}

// A button whose caption the program later sets from a message reads that message from the
// start, so it does not change its word after one edit and cancel.
TEST_P(LanguageFile, CaptionsTheProgramReplacesStartAsTheirMessage) {
    const LanguageData& d = Load(GetParam());
    for (const auto& [button, number] : {std::pair{"btDivEdit", msg::EditCaption}, std::pair{"btEditVal", msg::EditCaption},
                                         std::pair{"btDivDel", msg::DeleteCaption}})
        EXPECT_EQ(d.ini->ReadString("TVMRCONFIG", std::string(button) + ":Caption", "?"), d.messages.at(number))
            << button;
}

INSTANTIATE_TEST_SUITE_P(LanguageFiles, LanguageFile, ::testing::ValuesIn(kLanguages),
                         [](const ::testing::TestParamInfo<std::string>& p) { return p.param; });

std::vector<std::string> Names(const TStringList& list) {
    std::vector<std::string> names;
    for (const TStringList::Item& item : list) names.push_back(UpperCase(item.str));
    return names;
}

TEST(LanguageFiles, BothLanguagesHaveTheSameMessagesAndWindowTexts) {
    const LanguageData& eng = Load("ENG");
    const LanguageData& esp = Load("ESP");
    EXPECT_EQ(eng.messages.size(), esp.messages.size());
    for (std::size_t i = 0; i < std::min(eng.messages.size(), esp.messages.size()); ++i)
        EXPECT_EQ(eng.messages[i].empty(), esp.messages[i].empty()) << "message " << i;

    TStringList engSections, espSections;
    eng.ini->ReadSections(engSections);
    esp.ini->ReadSections(espSections);
    ASSERT_EQ(Names(engSections), Names(espSections));
    for (const TStringList::Item& section : engSections) {
        TStringList engKeys, espKeys;
        eng.ini->ReadSection(section.str, engKeys);
        esp.ini->ReadSection(section.str, espKeys);
        EXPECT_EQ(Names(engKeys), Names(espKeys)) << section.str;
    }
}

TEST(LanguageFiles, MessageKeysAreUniqueSoEveryLineKeepsItsOwnText) {
    for (const std::string& language : kLanguages) {
        TStringList keys;
        Load(language).ini->ReadSection("Messages", keys);
        std::vector<std::string> names = Names(keys);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end()) << language;
    }
}

TEST(LanguageFiles, EveryTranslatedWindowHasItsSection) {
    for (const std::string& language : kLanguages)
        for (const char* window : {"TVMRMSG", "TVMRPROGRESS", "TVMRONDEMAND", "TVMRDOWNLOAD", "TVMRCONVERTWARNING",
                                   "TVMRCALCPROGRESS", "TVMRVIEWER", "TVMRSPLASH", "TVMRINFO"})
            EXPECT_TRUE(Load(language).ini->SectionExists(window)) << language << " " << window;
}

// The window lines are Name:Property=Value; a line without ":" would be skipped silently.
TEST(LanguageFiles, WindowLinesNameAnObjectAndAProperty) {
    for (const std::string& language : kLanguages) {
        const TStreamedIniFile& ini = *Load(language).ini;
        TStringList sections;
        ini.ReadSections(sections);
        for (const TStringList::Item& section : sections) {
            if (SameText(section.str, "Messages")) continue;
            TStringList lines;
            ini.ReadSectionValues(section.str, lines);
            for (const TStringList::Item& line : lines) {
                const std::size_t colon = line.str.find(':');
                const std::size_t eq = line.str.find('=');
                EXPECT_TRUE(colon != std::string::npos && eq != std::string::npos && colon > 0 && colon + 1 < eq)
                    << language << " [" << section.str << "] " << line.str;
            }
        }
    }
}

// A byte sequence that is not UTF-8 would reach the windows as replacement characters.
bool IsUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || (extra == 1 && c < 0xC2)) return false;  // a stray continuation byte or an overlong pair
        if (extra > 0 && i + extra >= text.size()) return false;    // cut short at the end
        for (int k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return true;
}

TEST(LanguageFiles, ShippedTextsAreUtf8WithoutByteOrderMark) {
    for (const char* file : {"lang/ENG.ini", "lang/ESP.ini", "data/Currencies.vmg", "data/ENG.vcn", "data/ESP.vcn"}) {
        const std::string text = ReadFileBytes(std::string(VEMRA_RESOURCES_DIR) + "/" + file);
        EXPECT_FALSE(text.starts_with("\xEF\xBB\xBF")) << file;
        EXPECT_TRUE(IsUtf8(text)) << file;
    }
    EXPECT_FALSE(IsUtf8("Espa\xF1ol"));  // the same word saved as Latin-1
    EXPECT_TRUE(IsUtf8("Espa\xC3\xB1ol"));
}

// The numbering rule itself, on a small file: repeated names repeat the first value,
// comments and blank lines take no number, line marks are decoded.
TEST(LanguageFiles, MessageTableNumbering) {
    TMemIniFile ini;
    ini.SetText("[Messages]\na=x\n; note\n\nb=y\nA=z\nc=Line_one||Line_two\n");
    EXPECT_EQ(ReadMessageTable(ini), (std::vector<std::string>{"x", "y", "x", "Line one\r\nLine two"}));
}

}  // namespace
}  // namespace vemra::test
