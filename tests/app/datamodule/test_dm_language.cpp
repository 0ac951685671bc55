// The language service of the data module: the message table, the language choice, the
// loading of a language into the windows, and the stream keys.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <ostream>

#include <QLabel>
#include <QPushButton>

#include "CurrencyConverter.h"
#include "DmTestSupport.h"
#include "LanguageId.h"
#include "MessageFormat.h"
#include "MessageNumbers.h"
#include "ResourceFiles.h"
#include "StreamKeys.h"
#include "VMRMessageForm.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra {
namespace {

using test::DmFixture;

// ---- stream keys ----

TEST(StreamKeyTest, KnownIndexesHaveDistinctSixCharacterKeysOthersNone) {
    std::string k1, k3, k5;
    StreamKey(1, k1);
    StreamKey(3, k3);
    StreamKey(5, k5);
    EXPECT_EQ(k1.size(), 6u);
    EXPECT_EQ(k3.size(), 6u);
    EXPECT_EQ(k5.size(), 6u);
    EXPECT_NE(k1, k3);
    EXPECT_NE(k3, k5);
    EXPECT_NE(k1, k5);
    for (int index : {-1, 0, 2, 4, 6, 99}) {
        std::string key = "stale";
        StreamKey(index, key);
        EXPECT_EQ(key, "") << "index " << index;
    }
}

// ---- the user's language identifier ----

struct LocaleCase {
    const char* name;
    const char* locale;
    std::uint16_t id;
};

void PrintTo(const LocaleCase& c, std::ostream* os) { *os << c.name; }

class LanguageIdFromLocaleTest : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(LanguageIdFromLocaleTest, MapsLanguageAndCountry) {
    EXPECT_EQ(LanguageIdFromLocale(GetParam().locale), GetParam().id);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, LanguageIdFromLocaleTest,
    ::testing::Values(LocaleCase{"SpanishSpain", "es_ES.UTF-8", 0x0C0A},
                      LocaleCase{"SpanishArgentina", "es_AR.UTF-8", 0x2C0A},
                      LocaleCase{"SpanishMexico", "es_MX", 0x080A},
                      LocaleCase{"EnglishUnitedStates", "en_US.UTF-8", 0x0409},
                      LocaleCase{"EnglishBritainWithModifier", "en_GB@euro", 0x0809},
                      LocaleCase{"GermanWithoutCountry", "de", 0x0407},
                      LocaleCase{"PortugueseBrazil", "pt_BR.utf8", 0x0416},
                      LocaleCase{"UnknownCountryGivesDefault", "fr_XY", 0x040C},
                      LocaleCase{"CLocaleIsEnglish", "C", 0x0409},
                      LocaleCase{"PosixWithCodesetIsEnglish", "POSIX.UTF-8", 0x0409},
                      LocaleCase{"UnknownLanguageIsNeutral", "xq_ZZ", 0x0000}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(UserDefaultLangIdTest, LcAllThenLcMessagesThenLang) {
    test::ScopedEnv env;
    env.Unset("LC_ALL");
    env.Unset("LC_MESSAGES");
    env.Set("LANG", "es_ES.UTF-8");
    EXPECT_EQ(UserDefaultLangID(), 0x0C0A);
    env.Set("LC_MESSAGES", "en_GB.UTF-8");
    EXPECT_EQ(UserDefaultLangID(), 0x0809);
    env.Set("LC_ALL", "de_AT.UTF-8");
    EXPECT_EQ(UserDefaultLangID(), 0x0C07);
    env.Set("LC_ALL", "");  // empty counts as not set
    EXPECT_EQ(UserDefaultLangID(), 0x0809);
}

// ---- matching index keys ----

struct MatchCase {
    const char* name;
    const char* key;
    std::uint16_t id;
    bool matches;
};

void PrintTo(const MatchCase& c, std::ostream* os) { *os << c.name; }

class MatchLanguageIdTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(MatchLanguageIdTest, Matches) {
    EXPECT_EQ(Tdm::MatchLanguageId(GetParam().id, GetParam().key), GetParam().matches);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, MatchLanguageIdTest,
    ::testing::Values(MatchCase{"AnySubLanguageMatchesTraditionalSpanish", "XX0A", 0x040A, true},
                      MatchCase{"AnySubLanguageMatchesModernSpanish", "XX0A", 0x0C0A, true},
                      MatchCase{"AnySubLanguageRejectsEnglish", "XX0A", 0x0409, false},
                      MatchCase{"ExactKeyMatchesItsIdentifier", "0C0A", 0x0C0A, true},
                      MatchCase{"ExactKeyRejectsOtherSubLanguage", "0C0A", 0x040A, false},
                      MatchCase{"LowerCaseWithBlanksIsTrimmedAndFolded", "  xx0a ", 0x0C0A, true},
                      MatchCase{"LowerCaseExactKey", "0c0a", 0x0C0A, true},
                      MatchCase{"ShortAnyKeyMatchesNothing", "XX0", 0x040A, false},
                      MatchCase{"EmptyKeyMatchesNothing", "", 0x0000, false}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(PickIndexedLanguageTest, LinesBecomeFileNamesAndTheLaterMatchWins) {
    TStringList lines;
    lines.SetText("e1=XX09 ENG\r\ne2=XX0A ESP\r\ne3=0C0A|ESPM\r\ne4=0409 USA\r\n");
    int index = 99;
    EXPECT_EQ(Tdm::PickIndexedLanguage(lines, 0x0C0A, index), "ESPM.lib");
    EXPECT_EQ(index, 2);
    EXPECT_EQ(test::Strings(lines), (std::vector<std::string>{"ENG.lib", "ESP.lib", "ESPM.lib", "USA.lib"}));
}

TEST(PickIndexedLanguageTest, NoMatchGivesNothing) {
    TStringList lines;
    lines.SetText("e1=XX09 ENG\r\n");
    int index = 5;
    EXPECT_EQ(Tdm::PickIndexedLanguage(lines, 0x0407, index), "");
    EXPECT_EQ(index, -1);
    EXPECT_EQ(lines[0], "ENG.lib");
}

// ---- the message table ----

class MessageTableTest : public ::testing::Test, protected DmFixture {};

TEST_F(MessageTableTest, RepeatedNamesTakeTheFirstValueAndEveryLineTakesANumber) {
    WriteLanguageFile("T.lib",
                      "[Messages]\n"
                      "a=x\n"
                      "; a comment takes no number\n"
                      "\n"
                      "b=y\n"
                      "A=z\n"
                      "no equals sign\n"
                      "c=Line_one||Line_two\n");
    Dm().LoadMessageTable(folder / "T.lib");
    EXPECT_EQ(test::Strings(Dm().MessageTable()),
              (std::vector<std::string>{"x", "y", "x", "", "Line one\r\nLine two"}));
    EXPECT_EQ(Dm().GetMessageText(4), "Line one\r\nLine two");
    EXPECT_EQ(Dm().GetMessageText(5), "");
    EXPECT_EQ(Dm().GetMessageText(-1), "");
}

TEST_F(MessageTableTest, FileIsStoredEncipheredAndEmptyCellTextIsMessage22UpperCased) {
    std::string text = "[Messages]\n";
    for (int i = 0; i < 23; ++i) text += "m" + std::to_string(i) + "=" + (i == 22 ? "[empty_cell]" : "t") + "\n";
    WriteLanguageFile("T.lib", text);
    EXPECT_EQ(test::ReadText(folder / "T.lib").find("Messages"), std::string::npos);
    Dm().LoadMessageTable(folder / "T.lib");
    EXPECT_EQ(Dm().EmptyCellText, "[EMPTY CELL]");
}

TEST_F(MessageTableTest, MissingFileKeepsThePreviousLanguage) {
    WriteLanguageFile("T.lib", "[Messages]\nm0=ENG\n");
    Dm().LoadMessageTable(folder / "T.lib");
    Dm().LoadMessageTable(folder / "Gone.lib");
    EXPECT_EQ(Dm().GetMessageText(0), "ENG");
}

TEST_F(MessageTableTest, ReadLanguageSectionGivesTheNameValueLines) {
    WriteLanguageFile("T.lib", "[Messages]\nm0=ENG\n[TVMRMSG]\nbtOk:Caption=Yes\nbtKo:Caption=No\n");
    Dm().LoadMessageTable(folder / "T.lib");
    EXPECT_EQ(test::Strings(*Dm().ReadLanguageSection("TVMRMSG")),
              (std::vector<std::string>{"btOk:Caption=Yes", "btKo:Caption=No"}));
    EXPECT_TRUE(Dm().ReadLanguageSection("NOSUCH")->Empty());
}

// ---- loading a language ----

class LoadLanguageTest : public ::testing::Test, protected DmFixture {
protected:
    // A language file's messages with the given day names (message 111).
    static std::string Messages(const std::string& weekdays) {
        std::string messages = "[Messages]\n";
        for (int i = 0; i < 112; ++i) {
            std::string value = "msg" + std::to_string(i);
            if (i == 0) value = "ESP";
            if (i == 84) value = "d0||d1||d2";
            if (i == 85) value = "o0||o1";
            if (i == 86) value = "f0||f1||f2||f3";
            if (i == 111) value = weekdays;
            messages += "k" + std::to_string(i) + "=" + value + "\n";
        }
        return messages;
    }
    void SetUp() override {
        savedStamp_ = StampFormat;
        WriteLanguageFile("ESP.lib", Messages("lu,ma,mi,ju,vi,sa,do") + "[QWIDGET]\nSELF:windowTitle=Translated\n");
        WriteLanguageFile("ENG.lib", "[Messages]\nm0=ENG\n");
        windows.cbLang->addItems({"ENG.lib", "ESP.lib"});
        auto* format = windows.main->findChild<QComboBox*>("cbFormat");
        format->addItems({"a", "b", "c", "d"});
        format->setCurrentIndex(2);
    }
    void TearDown() override { StampFormat = savedStamp_; }
    TFormatSettings savedStamp_;
};

TEST_F(LoadLanguageTest, LoadsTheFileIntoMessagesWindowsListsAndDayNames) {
    Dm().LoadLanguageFile("esp.lib");
    EXPECT_EQ(windows.cbLang->currentIndex(), 1);
    EXPECT_EQ(LanguageFileName, "ESP.lib");  // the file's own name
    EXPECT_EQ(LanguageName, "ESP");
    EXPECT_EQ(Dm().LanguageName(), "ESP");
    EXPECT_EQ(StampFormat.ShortDayNames[0], "do");
    EXPECT_EQ(StampFormat.ShortDayNames[1], "lu");
    EXPECT_EQ(StampFormat.ShortDayNames[6], "sa");
    EXPECT_EQ(windows.main->windowTitle(), "Translated");
    EXPECT_EQ(windows.options->windowTitle(), "Translated");
    EXPECT_EQ(windows.optionsTexts, 1);
    EXPECT_EQ(windows.stateShown, 1);
    auto items = [&](const char* name) {
        QStringList out;
        auto* list = windows.main->findChild<QComboBox*>(name);
        for (int i = 0; i < list->count(); ++i) out << list->itemText(i);
        return out;
    };
    EXPECT_EQ(items("cbDesambi"), (QStringList{"d0", "d1", "d2"}));
    EXPECT_EQ(items("cbDateDesambi"), (QStringList{"o0", "o1"}));
    EXPECT_EQ(items("cbFormat"), (QStringList{"f0", "f1", "f2", "f3"}));
    EXPECT_EQ(windows.main->findChild<QComboBox*>("cbFormat")->currentIndex(), 2);
}

TEST_F(LoadLanguageTest, DayNamesThatAreNotSevenLeaveTheDayNamesAsTheyWere) {
    const auto before = StampFormat.ShortDayNames;
    WriteLanguageFile("ESP.lib", Messages("lu,ma,mi,ju,vi,sa"));
    Dm().LoadLanguageFile("ESP.lib");
    EXPECT_EQ(LanguageName, "ESP") << "the rest of the file is loaded";
    EXPECT_EQ(StampFormat.ShortDayNames, before);
}

TEST_F(LoadLanguageTest, VisiblePropertiesWindowIsTranslatedToo) {
    QWidget properties;
    windows.properties = &properties;
    Dm().LoadLanguageFile("ESP.lib");
    EXPECT_EQ(properties.windowTitle(), "Translated");
}

TEST_F(LoadLanguageTest, NameNotInTheListLoadsTheFirstEntry) {
    Dm().LoadLanguageFile("FRA.lib");
    EXPECT_EQ(windows.cbLang->currentIndex(), 0);
    EXPECT_EQ(LanguageFileName, "ENG.lib");
    EXPECT_EQ(LanguageName, "ENG");
}

TEST_F(LoadLanguageTest, EmptyListOrNoWindowsRaiseNoLanguageFilePresent) {
    windows.cbLang->clear();
    try {
        Dm().LoadLanguageFile("ESP.lib");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "No languaje file present");
    }
    Dm().SetAppWindows(nullptr);
    EXPECT_THROW(Dm().LoadLanguageFile("ESP.lib"), Exception);
}

// ---- translating windows ----

TEST_F(LoadLanguageTest, MessageBoxIsTranslatedByItsClassSectionAndTakesMessage26) {
    std::string text = "[Messages]\nm0=ESP\n";
    for (int i = 1; i <= 26; ++i) text += "k" + std::to_string(i) + "=" + (i == 26 ? "Vale" : "x") + "\n";
    WriteLanguageFile("ESP.lib", text + "[TVMRMSG]\nbtOk:Caption=Si\nbtKo:Caption=No_ahora\nSELF:Caption=Vemra_msg\n");
    Dm().LoadLanguageFile("ESP.lib");
    auto* box = TVMRMsg::Create<TVMRMsg>();
    EXPECT_EQ(box->btOk->text(), "Si");
    EXPECT_EQ(box->btKo->text(), "No ahora");
    EXPECT_EQ(box->windowTitle(), "Vemra msg");
    QString caption;
    box->GetOkCaption(caption);
    EXPECT_EQ(caption, "Vale");
    delete box;
}

// ---- choosing the language at start-up ----

class SelectLanguageTest : public ::testing::Test, protected DmFixture {};

TEST_F(SelectLanguageTest, FilesAreListedByNameAndAGoneSavedLanguageFallsBackToEnglish) {
    // Written out of order, so that the folder's order is not the names' order.
    for (const char* name : {"ESP.lib", "ENG.lib", "DEU.lib", "zzz.lib", "CAT.lib"})
        WriteLanguageFile(name, "[Messages]\nm0=X\n");
    LanguageFileName = "FRA.lib";
    EXPECT_EQ(Dm().SelectLanguage(), "ENG.lib");
    QStringList items;
    for (int i = 0; i < windows.cbLang->count(); ++i) items << windows.cbLang->itemText(i);
    EXPECT_EQ(items, (QStringList{"CAT.lib", "DEU.lib", "ENG.lib", "ESP.lib", "zzz.lib"}));
    EXPECT_EQ(windows.cbLang->currentText(), "ENG.lib");
}

TEST_F(SelectLanguageTest, WithoutEnglishAGoneSavedLanguageTakesTheFirstByName) {
    WriteLanguageFile("ESP.lib", "[Messages]\nm0=ESP\n");
    WriteLanguageFile("CAT.lib", "[Messages]\nm0=CAT\n");
    LanguageFileName = "FRA.lib";
    EXPECT_EQ(Dm().SelectLanguage(), "CAT.lib");
    EXPECT_EQ(windows.cbLang->currentIndex(), 0);
}

TEST_F(SelectLanguageTest, SavedLanguageIsChosenAndSelected) {
    WriteLanguageFile("ENG.lib", "[Messages]\nm0=ENG\n");
    WriteLanguageFile("ESP.lib", "[Messages]\nm0=ESP\n");
    LanguageFileName = "esp.LIB";
    EXPECT_EQ(Dm().SelectLanguage(), "ESP.lib");
    EXPECT_EQ(windows.cbLang->count(), 2);
    EXPECT_EQ(windows.cbLang->currentText(), "ESP.lib");
}

TEST_F(SelectLanguageTest, NoLanguageFileAndNoLibraryLeaveTheListEmpty) {
    LanguageFileName = "ENG.lib";
    windows.cbLang->addItem("stale");
    EXPECT_EQ(Dm().SelectLanguage(), "");
    EXPECT_EQ(windows.cbLang->count(), 0);
    LanguageFileName.clear();
    EXPECT_EQ(Dm().SelectLanguage(), "");
    EXPECT_EQ(windows.cbLang->count(), 0);
}

// ---- messages that do not fit their arguments ----

class MessageFitTest : public ::testing::Test, protected DmFixture {
protected:
    void SetUp() override {
        ForgetMessageFaultsForTesting();
        std::string text = "[Messages]\nm0=ENG\n";
        for (int i = 1; i <= msg::InputLineCount; ++i) {
            std::string value = "t";
            if (i == msg::WarningCount) value = "Warnings: %s %d %";  // found by fuzzing the loader
            if (i == msg::ImportResult) value = "%d imported";
            text += "m" + std::to_string(i) + "=" + value + "\n";
        }
        WriteLanguageFile("T.lib", text);
        Dm().LoadMessageTable(folder / "T.lib");
    }
    static std::size_t LogLinesWith(const std::string& part) {
        if (!FileExists(Tdm::UpdateLogPath())) return 0;
        std::size_t count = 0;
        for (const std::string& line : SplitLines(test::ReadText(Tdm::UpdateLogPath())))
            if (line.find(part) != std::string::npos) ++count;
        return count;
    }
};

TEST_F(MessageFitTest, AMessageThatDoesNotFitIsUsedAsItStandsAndLoggedOnce) {
    TCurrencyConverter converter;
    converter.SetHost(&Dm());
    EXPECT_EQ(converter.WarningCountText(), "Warnings: %s %d %");
    EXPECT_EQ(converter.WarningCountText(), "Warnings: %s %d %");
    EXPECT_EQ(FormatMessageText(Dm(), msg::ImportResult, "a.vcd", 1, 2), "%d imported");
    EXPECT_EQ(LogLinesWith("message 108 "), 1u);
    EXPECT_EQ(LogLinesWith("message 48 "), 1u);
    // A message that fits is filled; an update log that cannot be written changes nothing.
    EXPECT_EQ(FillMessage(&Dm(), 900, "%d of %s", 3, "x"), "3 of x");
    ASSERT_EQ(std::remove(Tdm::UpdateLogPath().c_str()), 0);
    ASSERT_EQ(::mkdir(Tdm::UpdateLogPath().c_str(), 0700), 0);
    EXPECT_EQ(FillMessage(&Dm(), 901, "%q", 1), "%q");
}

// The shipped resource library in AppData, as an installation has it.
class ShippedLanguageTest : public ::testing::Test, protected DmFixture {
protected:
    void SetUp() override {
        test::WriteText(ResourceLibraryFileName(), test::ReadText(VEMRA_RESOURCE_LIBRARY));
        env_.Unset("LC_ALL");
        env_.Unset("LC_MESSAGES");
    }
    QStringList Items() {
        QStringList out;
        for (int i = 0; i < windows.cbLang->count(); ++i) out << windows.cbLang->itemText(i);
        return out;
    }
    test::ScopedEnv env_;
};

TEST_F(ShippedLanguageTest, IndexPicksTheUsersLanguageAndReadsTheLanguageData) {
    env_.Set("LANG", "es_AR.UTF-8");
    EXPECT_EQ(Dm().SelectLanguage(), "ESP.lib");
    EXPECT_EQ(Items(), (QStringList{"ENG.lib", "ESP.lib"}));
    EXPECT_EQ(windows.cbLang->currentIndex(), 1);
    EXPECT_EQ(Dm().LanguageData.Values("ENG.lib"), "English");
    EXPECT_EQ(ResourceLibraryHandle(), nullptr);  // freed after the choice
}

TEST_F(ShippedLanguageTest, UnlistedUserLanguageChoosesNothing) {
    env_.Set("LANG", "de_DE.UTF-8");
    EXPECT_EQ(Dm().SelectLanguage(), "");
    EXPECT_EQ(Items(), (QStringList{"ENG.lib", "ESP.lib"}));
    EXPECT_EQ(windows.cbLang->currentIndex(), -1);
}

TEST_F(ShippedLanguageTest, AGoneSavedLanguageFallsBackToTheUsersOwnLanguage) {
    struct Case {
        const char* lang;
        const char* chosen;
    };
    // Spanish for a Spanish user, English for an English one and for a language not shipped.
    for (const Case& c :
         {Case{"es_ES.UTF-8", "ESP.lib"}, Case{"en_US.UTF-8", "ENG.lib"}, Case{"de_DE.UTF-8", "ENG.lib"}}) {
        SCOPED_TRACE(c.lang);
        env_.Set("LANG", c.lang);
        LanguageFileName = "FRA.lib";
        EXPECT_EQ(Dm().SelectLanguage(), c.chosen);
        EXPECT_EQ(windows.cbLang->currentText().toStdString(), c.chosen);
    }
}

TEST_F(ShippedLanguageTest, SavedLanguageWithoutFilesExtractsThemAndLoads) {
    LanguageFileName = "ESP.lib";
    EXPECT_EQ(Dm().SelectLanguage(), "ESP.lib");
    EXPECT_TRUE(FileExists(folder / "ENG.lib"));
    Dm().LoadLanguageFile(LanguageFileName);
    EXPECT_EQ(LanguageName, "ESP");
    EXPECT_FALSE(Dm().GetMessageText(msg::OkCaption).empty());
}

}  // namespace
}  // namespace vemra
