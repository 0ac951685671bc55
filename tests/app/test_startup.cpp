// The converter's start-up on an installation laid out in a temporary home: its result
// codes and messages, the single-instance question, the first start at the shipped rates,
// the user settings' defaults and save groups, and the day order of the user's date format.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QSystemTrayIcon>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include <algorithm>
#include <ctime>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "ConverterTestSupport.h"
#include "CurrencyConverter.h"
#include "CurrencyFiles.h"
#include "DmTestSupport.h"
#include "InstallationLayout.h"
#include "MessageFormat.h"
#include "MessageNumbers.h"
#include "OnOffSwitch.h"
#include "PlugginMan.h"
#include "RegistryEx.h"
#include "ResourceFiles.h"
#include "StreamKeys.h"
#include "StreamedIniFile.h"
#include "SysCaller.h"
#include "VMRConfigForm.h"
#include "VMRConverterForm.h"
#include "dm.h"
#include "platform/GlobalAtoms.h"
#include "platform/InstanceLock.h"
#include "platform/RegistryCache.h"
#include "rtl/SysUtils.h"
#include "support/TestUtils.h"
#include "ui_VMRConfigForm.h"
#include "vmrconsts.h"

namespace vemra::test {
namespace {

const std::string kShippedDir = VEMRA_SHIPPED_DIR;

class StartupTest : public ::testing::Test, protected ConverterHome {
protected:
    StartupTest() : ConverterHome("", "vemra-startup") {
        App();
        StartupDialogs.Ask = [this](const std::string& text) {
            questions.push_back(text);
            return answer;
        };
        StartupDialogs.Show = [this](const std::string& text) { messages.push_back(text); };
    }
    void LayOut() { ASSERT_TRUE(ConverterHome::LayOut(kShippedDir)) << layoutError; }
    std::string Data(const std::string& name) const { return JoinPath(UserInstallationLayout().PubData, name); }
    std::string UserData(const std::string& name) const { return JoinPath(UserInstallationLayout().AppData, name); }

    std::string LibraryFile() const {
        const std::string saved = AppData;
        AppData = UserInstallationLayout().AppData;
        const std::string file = ResourceLibraryFileName();
        AppData = saved;
        return file;
    }
    // The message of a numbered text in the loaded language.
    static std::string Message(int number) { return dm->GetMessageText(number); }

    static void WriteUserValue(const std::string& name, const std::string& value) {
        TRegistryEx registry(true);
        ASSERT_TRUE(registry.OpenKey("Software\\Vemra", true));
        registry.WriteString(name, value);
    }
    static void WriteUserValue(const std::string& name, int value) {
        TRegistryEx registry(true);
        ASSERT_TRUE(registry.OpenKey("Software\\Vemra", true));
        registry.WriteInteger(name, value);
    }
    static std::vector<std::string> UserValueNames() {
        TRegistryEx registry(false);
        TStringList names;
        if (registry.OpenKey("Software\\Vemra", false)) registry.GetValueNames(names);
        std::vector<std::string> out = Strings(names);
        std::sort(out.begin(), out.end());
        return out;
    }

    bool answer = false;
    std::vector<std::string> questions;
    std::vector<std::string> messages;
};

TEST_F(StartupTest, WithoutAnInstallationTheStartEndsWithCode6AndItsMessage) {
    EXPECT_EQ(Start(), 6);
    EXPECT_EQ(messages, std::vector<std::string>{"Error: No installation found"});
    EXPECT_EQ(window->TrayRecordSize, 0u);
    EXPECT_TRUE(window->isHidden());
}

TEST_F(StartupTest, ARecordWhoseFoldersAreGoneIsNamedAndNothingIsMadeAgain) {
    LayOut();
    const std::string appData = UserInstallationLayout().AppData;
    std::filesystem::remove_all(appData);
    EXPECT_EQ(Start(), 6);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Error: No installation found\r\n\r\nThe installation record in " +
                               TRegistry::HivePathForRead(HKEY_LOCAL_MACHINE) + " names folders that do not exist: " +
                               appData + ". Install Vemra again.");
    EXPECT_FALSE(DirectoryExists(appData));
}

TEST_F(StartupTest, AFreshInstallationStartsAtTheShippedRatesAndSavesEverySetting) {
    LayOut();
    ASSERT_EQ(Start(), 0);
    EXPECT_EQ(messages, std::vector<std::string>{});
    EXPECT_EQ(questions, std::vector<std::string>{});
    EXPECT_EQ(window->TrayRecordSize, 88u);
    EXPECT_TRUE(window->isHidden());
    EXPECT_EQ(LanguageName, "ENG");
    // Both windows took their texts from the language file.
    EXPECT_EQ(window->btConvert->text(), "Convert");
    EXPECT_EQ(window->mniEnd->text(), "Exit");
    EXPECT_EQ(VMRConfig->ui->btPag0->text(), "Preferences");
    const TCurrencyChangeList& list = CurrencyConverter->Currencies();
    EXPECT_GT(list.Count(), 0);
    EXPECT_EQ(list.RateFileName, Data("ECB/2025.11.28-ECB.vmr"));
    EXPECT_EQ(CurrencyConverter->SourceCode(), "EUR");
    EXPECT_EQ(CurrencyConverter->TargetCode(), "USD");
    EXPECT_TRUE(window->OutputMemoReady());
    // The first start made the user's key and saved every group into it.
    const std::vector<std::string> names = UserValueNames();
    for (const char* name : {"IsoFrom", "Format", "HintColor1", "LoadOnInit", "PConverter.Left", "SettingsInstallDate"})
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    // The single-instance marker is held while the program runs and gone after it.
    EXPECT_NE(platform::GlobalFindAtom("JustOneVemraApp"), 0);
    window.reset();
    EXPECT_EQ(platform::GlobalFindAtom("JustOneVemraApp"), 0);
}

TEST_F(StartupTest, ASourceWithoutADayRateFileStillStartsAtTheShippedRates) {
    LayOut();
    WriteUserValue("SelectedPlugin", "CBR");
    ASSERT_EQ(Start(), 0) << (messages.empty() ? "" : messages[0]);
    EXPECT_EQ(PlugginMan->CurrentPlugin()->Code, "CBR");
    EXPECT_EQ(CurrencyConverter->Currencies().RateFileName, Data("ECB/2025.11.28-ECB.vmr"));
    EXPECT_EQ(CurrencyConverter->Currencies().ProviderCode, "ECB");
    EXPECT_EQ(messages, std::vector<std::string>{});
}

TEST_F(StartupTest, AnEmptyLanguageListEndsWithCode1) {
    LayOut();
    std::remove(LibraryFile().c_str());
    EXPECT_EQ(Start(), 1);
    EXPECT_EQ(messages, std::vector<std::string>{"Error: languaje file not found"});
}

// A resource library that others can change is refused, and the start says so once: in
// English when no language file could be read without it, else in the language.
TEST_F(StartupTest, ARefusedResourceLibraryWithoutLanguageFilesIsNamedWithCode1) {
    LayOut();
    ::chmod(LibraryFile().c_str(), 0666);
    EXPECT_EQ(Start(), 1);
    EXPECT_EQ(messages, std::vector<std::string>{"Error: languaje file not found\r\n\r\nThe library " + LibraryFile() +
                                                 " was not loaded because other users can change it or its folder."});
}

TEST_F(StartupTest, ARefusedResourceLibraryIsToldOnceInTheLanguage) {
    LayOut();
    ASSERT_EQ(Start(), 0);
    window.reset();
    ::chmod(LibraryFile().c_str(), 0666);
    std::remove(UserData("vemra-skin.png").c_str());  // the start tries to extract the data files too
    ASSERT_EQ(Start(), 0);
    ASSERT_FALSE(Message(msg::LibraryRefused).empty());
    EXPECT_EQ(messages, std::vector<std::string>{Format(Message(msg::LibraryRefused), LibraryFile())});
    EXPECT_FALSE(FileExists(UserData("vemra-skin.png")));
}

TEST_F(StartupTest, NoCurrenciesEndWithCode4AndMessage44NamingTheFile) {
    LayOut();
    WriteUserValue("VMRConfigFile", home / "missing.vmg");
    EXPECT_EQ(Start(), 4);
    ASSERT_FALSE(Message(msg::NoCurrencies).empty());
    EXPECT_EQ(messages, std::vector<std::string>{Message(msg::NoCurrencies) + "\r\n\r\n" + (home / "missing.vmg")});
}

TEST_F(StartupTest, AFaultWhileCreatingEndsWithCode9AndMessage15) {
    LayOut();
    // No rate source at all: the plug-in manager's start raises.
    std::remove(Data("ECB.vpl").c_str());
    std::remove(Data("CBR.vpl").c_str());
    std::remove(JoinPath(UserInstallationLayout().PubData, PluginStoreName()).c_str());
    EXPECT_EQ(Start(), 9);
    ASSERT_FALSE(Message(msg::StartupFailed9).empty());
    // The fault follows the message.
    EXPECT_EQ(messages, std::vector<std::string>{Message(msg::StartupFailed9) + "\r\n\r\nNo plugins found"});
}

TEST_F(StartupTest, ASecondInstanceAsksAndEndsSilentlyOnNo) {
    LayOut();
    const std::uint16_t other = platform::GlobalAddAtom("JustOneVemraApp");  // the running one
    answer = false;
    EXPECT_EQ(Start(), 3);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], Message(msg::AnotherInstance));
    EXPECT_EQ(messages, std::vector<std::string>{});
    // The running converter keeps its marker.
    EXPECT_EQ(platform::GlobalFindAtom("JustOneVemraApp"), other);
    platform::GlobalDeleteAtom(other);
}

TEST_F(StartupTest, ASecondInstanceAnsweredYesRunsBesideTheFirst) {
    LayOut();
    const std::uint16_t other = platform::GlobalAddAtom("JustOneVemraApp");
    answer = true;
    EXPECT_EQ(Start(), 0);
    EXPECT_EQ(questions.size(), 1u);
    window.reset();
    EXPECT_EQ(platform::GlobalFindAtom("JustOneVemraApp"), other);
    platform::GlobalDeleteAtom(other);
}

// A converter started at the same moment holds the lock before its marker is written: the
// lock alone makes the start ask, and once it is let go the next start takes it.
TEST_F(StartupTest, TheLockOfAnotherConverterMakesTheStartAskBeforeItsMarkerExists) {
    LayOut();
    platform::TInstanceLock other;
    ASSERT_EQ(other.Take("JustOneVemraApp"), platform::TInstanceLock::TResult::Taken);
    answer = false;
    EXPECT_EQ(Start(), 3);
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_EQ(platform::GlobalFindAtom("JustOneVemraApp"), 0);
    other.Release();

    questions.clear();
    ASSERT_EQ(Start(), 0);
    EXPECT_EQ(questions, std::vector<std::string>{});
    EXPECT_EQ(other.Take("JustOneVemraApp"), platform::TInstanceLock::TResult::HeldByAnother);
    window.reset();
    EXPECT_EQ(platform::GlobalFindAtom("JustOneVemraApp"), 0);
    EXPECT_EQ(other.Take("JustOneVemraApp"), platform::TInstanceLock::TResult::Taken);
}

// A start beside a running converter leaves the waiting packages to the converter that runs: it
// holds the plug-in store in memory and would write its own copy over what they add.
TEST_F(StartupTest, AStartBesideARunningConverterLeavesWaitingPackagesToIt) {
    LayOut();
    const std::string store = JoinPath(UserInstallationLayout().PubData, PluginStoreName());
    const std::string storeBefore = FileExists(store) ? ReadText(store) : std::string();
    platform::TInstanceLock other;
    ASSERT_EQ(other.Take("JustOneVemraApp"), platform::TInstanceLock::TResult::Taken);
    answer = false;
    EXPECT_EQ(Start(), 3) << (messages.empty() ? "" : messages[0]);
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_TRUE(FileExists(Data("ECB.vpl")));
    EXPECT_TRUE(FileExists(Data("CBR.vpl")));
    EXPECT_EQ(FileExists(store) ? ReadText(store) : std::string(), storeBefore);
    other.Release();

    questions.clear();
    ASSERT_EQ(Start(), 0) << (messages.empty() ? "" : messages[0]);
    EXPECT_EQ(questions, std::vector<std::string>{});
    EXPECT_FALSE(FileExists(Data("ECB.vpl")));
    EXPECT_FALSE(FileExists(Data("CBR.vpl")));
}

// The runtime folder holds the single-instance marker and the command socket: without a
// private one the start stops and says why, so two converters never run unknowingly.
TEST_F(StartupTest, ARuntimeFolderOfAnotherUserEndsTheStartWithCode7AndSaysWhy) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make another user's folder";
    LayOut();
    const std::string folder = home / "run/vemra";
    ::mkdir(folder.c_str(), 0777);
    ::chmod(folder.c_str(), 0777);
    ASSERT_EQ(::chown(folder.c_str(), 54321, 54321), 0);
    EXPECT_EQ(Start(), 7);
    EXPECT_EQ(messages, std::vector<std::string>{"Error: Vemra cannot tell whether it is already running. The folder " +
                                                 folder + " belongs to another user (user id 54321)."});
    EXPECT_EQ(window->TrayRecordSize, 0u);
    EXPECT_EQ(FileMode(folder), 0777u);
}

TEST_F(StartupTest, AnOwnRuntimeFolderOpenToOthersIsMadePrivateAndHoldsTheMarker) {
    LayOut();
    const std::string folder = home / "run/vemra";
    ::mkdir(folder.c_str(), 0755);
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(Start(), 0);
    EXPECT_EQ(FileMode(folder), 0700u);
    EXPECT_NE(platform::GlobalFindAtom("JustOneVemraApp"), 0);
}

TEST_F(StartupTest, TemporaryFilesThatAKillLeftAreRemovedAtStartOnceStale) {
    LayOut();
    std::vector<std::string> left = {Data("ECB/.Data.txt.Ab12Cd"), Data(".Data.txt.x1Y2z3"),
                                     UserData(".settings.ini.Qw12Er"), home / "data/Vemra/.UserLast.dat.Zx98Yt"};
    for (const std::string& file : left) WriteText(file, "half written");
    WriteText(Data("ECB/Data.txt"), "a page");
    // Just written: another process may still be at work on them.
    EXPECT_EQ(Start(), 0);
    for (const std::string& file : left) EXPECT_TRUE(FileExists(file)) << file;
    window.reset();
    // The settings hive's own writes replace its fixed temporary file; this one comes after.
    left.push_back(home / "registry/user.reg.tmp");
    WriteText(left.back(), "half a hive");
    const int saved = StaleTempSeconds;
    StaleTempSeconds = 0;  // as if they had lain there for ten minutes
    EXPECT_EQ(Start(), 0);
    StaleTempSeconds = saved;
    for (const std::string& file : left) EXPECT_FALSE(FileExists(file)) << file;
    EXPECT_EQ(ReadText(Data("ECB/Data.txt")), "a page");
}

TEST_F(StartupTest, AnEmptyRegistryGivesTheDefaultSettings) {
    LayOut();
    ASSERT_EQ(Start(), 0);
    Ui::TVMRConfig& config = *VMRConfig->ui;
    EXPECT_EQ(window->RGFormatIndex(), 1);
    EXPECT_EQ(window->cbFormatIndex(), 2);
    EXPECT_EQ(window->EdFormatLeftText(), " ( ");
    EXPECT_EQ(window->EdFormatRightText(), " )");
    EXPECT_EQ(window->cbDesambiIndex(), 0);
    EXPECT_EQ(window->cbDateDesambiIndex(), 0);
    EXPECT_EQ(config.cbClipTech->currentIndex(), 2);
    EXPECT_EQ(config.cbHKF->currentIndex(), 11);
    EXPECT_EQ(config.cbHKF->currentText(), "F12");
    EXPECT_FALSE(config.btHotKeyOn->Checked());
    EXPECT_TRUE(config.btAudio->Checked());
    EXPECT_TRUE(config.btInitiallyOn->Checked());
    EXPECT_TRUE(CurrencyConverter->SwitchedOn());
    EXPECT_FALSE(config.ofDetailLog->Checked());
    EXPECT_FALSE(config.btRunTour->Checked());
    EXPECT_EQ(TVMRConfig::PanelColor(config.pnHintColor1), 0xAFEBFE);
    EXPECT_EQ(TVMRConfig::PanelColor(config.pnATCColorDate), 0x800080);
    EXPECT_EQ(CurrencyConverter->Table.DefaultSourceCode, "EUR");
    EXPECT_EQ(CurrencyConverter->Table.DefaultTargetCode, "USD");
    EXPECT_EQ(window->CurrencyConfigFileName(), DefaultCurrencyConfigFileName());
}

TEST_F(StartupTest, StoredSettingsReachTheControlsAndTheTourStaysOff) {
    LayOut();
    WriteUserValue("ShowTour", 1);
    WriteUserValue("Format", 0);
    WriteUserValue("FormatLeft", "[");
    WriteUserValue("ClipMethod", 0);
    WriteUserValue("Desambiguation", 2);
    WriteUserValue("DesambiguationDate", 3);
    WriteUserValue("HintColor2", 0x123456);
    WriteUserValue("IsoFrom", "GBP");
    WriteUserValue("PConverter.Left", 0);
    WriteUserValue("PConverter.Top", 300);
    ASSERT_EQ(Start(), 0);
    EXPECT_FALSE(VMRConfig->ui->btRunTour->Checked());
    EXPECT_EQ(window->RGFormatIndex(), 0);
    EXPECT_EQ(window->EdFormatLeftText(), "[");
    EXPECT_EQ(VMRConfig->ui->cbClipTech->currentIndex(), 0);
    EXPECT_EQ(window->cbDesambiIndex(), 2);
    EXPECT_EQ(window->cbDateDesambiIndex(), 3);
    // Read settings are no change of the format page: nothing to save at the window's close.
    EXPECT_EQ(window->nbPages->property("Tag").toInt(), 0);
    EXPECT_EQ(TVMRConfig::PanelColor(VMRConfig->ui->pnHintColor2), 0x123456);
    EXPECT_EQ(CurrencyConverter->SourceCode(), "GBP");
    EXPECT_NE(window->y(), 300);  // a left of 0 leaves the design position
}

TEST_F(StartupTest, AnUnreadableSettingsFileStartsWithTheDefaultsAndSaysSoOnce) {
    LayOut();
    ASSERT_EQ(Start(), 0);
    window.reset();
    const std::string hive = TRegistry::HivePathForRead(HKEY_CURRENT_USER);
    ASSERT_TRUE(FileExists(hive));
    // Unreadable for root as well: a folder in its place.
    ASSERT_EQ(std::rename(hive.c_str(), (hive + ".kept").c_str()), 0);
    ASSERT_EQ(::mkdir(hive.c_str(), 0700), 0);
    messages.clear();
    ASSERT_EQ(Start(), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(hive), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("default settings"), std::string::npos) << messages[0];
    EXPECT_EQ(CurrencyConverter->SourceCode(), "EUR");
    // The saves that cannot replace it stay quiet: the user was told.
    std::vector<std::string> boxes;
    MessageBoxWatch watch;
    watch.Start(boxes);
    window->btIntCh->click();
    window.reset();
    watch.Stop();
    EXPECT_EQ(boxes, std::vector<std::string>{});
    EXPECT_TRUE(DirectoryExists(hive));
}

// ---- damaged files and clear messages ----

std::string BuiltInNoCurrencies() {
    return "No currencies could be loaded. Please check the currency configuration file.";
}

std::vector<std::string> LinesWith(const std::string& text, const std::string& part) {
    std::vector<std::string> found;
    for (const std::string& line : SplitLines(text))
        if (line.find(part) != std::string::npos) found.push_back(line);
    return found;
}

TEST_F(StartupTest, MessagesWhoseFormatDoesNotFitTheirArgumentsAreShownAsTheyStandAndLoggedOnce) {
    LayOut();
    ASSERT_EQ(Start(), 0);
    window.reset();
    // A translation edited by hand: a stray specifier in the tray tip (20) and a wrong one
    // in the line count (124).
    {
        TStreamedIniFile language(kLanguageKeyIndex, UserData("ENG.lib"));
        language.Reload();
        ASSERT_FALSE(language.ReadString("Messages", "m020", "").empty());
        language.WriteString("Messages", "m020", "Vemra ON %d %q");
        language.WriteString("Messages", "m124", "Lines: %s %s");
        language.UpdateFile();
    }
    ForgetMessageFaultsForTesting();
    ASSERT_EQ(Start(), 0) << (messages.empty() ? "" : messages[0]);
    window->ShowConverterState(true);
    EXPECT_EQ(window->TrayIcon->toolTip().toStdString(), "Vemra ON %d %q");
    window->MEINN().SetText("1\n2\n3");
    window->MEINNChange();
    EXPECT_EQ(window->lbNumLines->text().toStdString(), "Lines: %s %s");
    window->MEINN().SetText("1\n2\n3\n4");
    window->MEINNChange();
    const std::string log = ReadText(Tdm::UpdateLogPath());
    EXPECT_EQ(LinesWith(log, "message 20 ").size(), 1u) << log;
    EXPECT_EQ(LinesWith(log, "message 124 ").size(), 1u) << log;
}

struct DamageCase {
    const char* name;
    void (*damage)(const std::string& file);
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << "language file " << c.name; }

class DamagedLanguageFileTest : public StartupTest, public ::testing::WithParamInterface<DamageCase> {};

// A shipped language file that cannot be read is written again from the resource library.
TEST_P(DamagedLanguageFileTest, IsExtractedAgainAndTheStartGoesOn) {
    LayOut();
    ASSERT_EQ(Start(), 0);  // the first start's own extraction is behind
    window.reset();
    GetParam().damage(UserData("ENG.lib"));
    ASSERT_EQ(Start(), 0) << (messages.empty() ? "" : messages[0]);
    EXPECT_EQ(messages, std::vector<std::string>{});
    EXPECT_EQ(LanguageName, "ENG");
    EXPECT_EQ(window->btConvert->text(), "Convert");
}

INSTANTIATE_TEST_SUITE_P(
    Damages, DamagedLanguageFileTest,
    ::testing::Values(DamageCase{"Garbage", [](const std::string& f) { WriteText(f, std::string(4000, '\x5a')); }},
                      DamageCase{"TruncatedToHalf",
                                 [](const std::string& f) {
                                     const std::string t = ReadText(f);
                                     WriteText(f, t.substr(0, t.size() / 2));
                                 }},
                      DamageCase{"TruncatedToItsSalt",
                                 [](const std::string& f) { WriteText(f, ReadText(f).substr(0, 8)); }},
                      DamageCase{"Empty", [](const std::string& f) { WriteText(f, ""); }},
                      // Whole to its last section, but without the language's name.
                      DamageCase{"NoLanguageName",
                                 [](const std::string& f) {
                                     TStreamedIniFile language(kLanguageKeyIndex, f);
                                     language.Reload();
                                     ASSERT_TRUE(language.SectionExists("TVMRPROPERTIES"));
                                     language.WriteString("Messages", "m000", "");
                                     language.UpdateFile();
                                 }},
                      // Reading it fails with an input/output error, for root as well.
                      DamageCase{"Unreadable",
                                 [](const std::string& f) {
                                     std::remove(f.c_str());
                                     ASSERT_EQ(::symlink("/proc/self/mem", f.c_str()), 0);
                                 }}),
    [](const ::testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });

TEST_F(StartupTest, ALanguageFileThatCannotBeMendedIsNamed) {
    LayOut();
    ASSERT_EQ(Start(), 0);
    window.reset();
    std::remove(UserData("ENG.lib").c_str());
    ASSERT_EQ(::mkdir(UserData("ENG.lib").c_str(), 0700), 0);  // no copy can replace it
    // Without a language the currency names of no language can be found: the start ends,
    // saying both.
    EXPECT_EQ(Start(), 4);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[0].find(UserData("ENG.lib")), std::string::npos) << messages[0];
    EXPECT_EQ(messages[1].rfind(BuiltInNoCurrencies(), 0), 0u) << messages[1];
}

TEST_F(StartupTest, AFailedStartWithoutLanguageTextsStillSaysWhy) {
    LayOut();
    ASSERT_EQ(Start(), 0);
    const std::string library = LibraryFile();
    window.reset();
    // A library without the language data: the fault comes before any language is loaded.
    std::remove(library.c_str());
    ASSERT_TRUE(CopyFileTo(UserData("ECB.so"), library, false));
    EXPECT_EQ(Start(), 9);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("Vemra could not start: ", 0), 0u) << messages[0];
    EXPECT_NE(messages[0].find("not found"), std::string::npos) << messages[0];
}

// Replaced by the few values of one run, the file would lose every other source's record.
TEST_F(StartupTest, AnUnreadableLastStateFileIsNamedOnceAndLeftAsItIs) {
    LayOut();
    ASSERT_EQ(Start(), 0);
    const std::string userLast = JoinPath(UserDataDir, "UserLast.dat");
    window.reset();
    // Reading it fails with an input/output error, for root as well.
    std::remove(userLast.c_str());
    ASSERT_EQ(::symlink("/proc/self/mem", userLast.c_str()), 0);
    ASSERT_EQ(Start(), 0) << (messages.empty() ? "" : messages[0]);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(userLast + " (Input/output error)"), std::string::npos) << messages[0];
    EXPECT_EQ(CurrencyConverter->Currencies().RateFileName, Data("ECB/2025.11.28-ECB.vmr"));
    // A conversion and the end of the run with its saves: no other word, the file untouched.
    std::vector<std::string> boxes;
    MessageBoxWatch watch;
    watch.Start(boxes);
    window->MEINNMemo->setPlainText("10");
    window->BtConvertClick(window->btConvert);
    EXPECT_FALSE(window->MEOUT().Empty());
    window.reset();
    watch.Stop();
    EXPECT_EQ(boxes, std::vector<std::string>{});
    EXPECT_TRUE(std::filesystem::is_symlink(userLast));
}

TEST_F(StartupTest, ADamagedWorkingPluginStoreIsMadeAgainFromTheMasterCopy) {
    LayOut();
    ASSERT_EQ(Start(), 0);
    window.reset();
    const std::string store = UserData(PluginStoreName());
    ASSERT_TRUE(FileExists(store));
    // Damaged twice: each damaged copy is kept, under a name of its own that the message tells.
    const auto asideCopies = [&store] {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(ExtractFileDir(store)))
            if (entry.path().string().starts_with(store + ".damaged-")) names.push_back(entry.path().string());
        return names;
    };
    const std::vector<std::string> damaged = {std::string(3000, '\x13'), "[ECB]\n"};
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        window.reset();
        const std::vector<std::string> before = asideCopies();
        WriteText(store, damaged[i]);
        messages.clear();
        ASSERT_EQ(Start(), 0) << (messages.empty() ? "" : messages[0]);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].find(store), std::string::npos) << messages[0];
        EXPECT_GE(PlugginMan->IndexOfPlugin("ECB"), 0);
        std::vector<std::string> names = asideCopies();
        ASSERT_EQ(names.size(), i + 1);
        std::erase_if(names, [&before](const std::string& n) { return std::ranges::count(before, n) > 0; });
        ASSERT_EQ(names.size(), 1u);
        EXPECT_NE(messages[0].find(names[0]), std::string::npos) << messages[0];
        EXPECT_EQ(ReadText(names[0]), damaged[i]);
    }
}

TEST_F(StartupTest, ADamagedCurrencyNamesFileIsNamed) {
    LayOut();
    ASSERT_EQ(Start(), 0);
    window.reset();
    WriteText(Data("ENG.vcn"), "[CONFIG]\ngarbage\n");
    EXPECT_EQ(Start(), 4);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(Data("ENG.vcn")), std::string::npos) << messages[0];
}

// A damaged only day rate file must not stop the start: no update could ever mend it.
TEST_F(StartupTest, ADamagedOnlyDayRateFileIsSetAsideAndTheStartGoesOnWithoutRates) {
    LayOut();
    ASSERT_EQ(Start(), 0);  // installs the shipped source with its day rate file
    window.reset();
    const std::string rates = Data("ECB/2025.11.28-ECB.vmr");
    ASSERT_TRUE(FileExists(rates));
    // Damaged twice: each damaged copy is kept, under the name the message tells.
    const std::vector<std::string> damaged = {"[VMR]\r\nTYPE=DATA\r\nDATE=202\r\n[DATA]\r\nUSD=1.1\r\n",
                                              "[VMR]\r\nTYPE=DATA\r\nDATE=\r\n"};
    std::vector<std::string> asides;
    for (const std::string& text : damaged) {
        window.reset();
        ::chmod(rates.c_str(), 0644);
        WriteText(rates, text);
        messages.clear();
        ASSERT_EQ(Start(), 0) << (messages.empty() ? "" : messages[0]);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].find(rates), std::string::npos) << messages[0];
        EXPECT_FALSE(FileExists(rates));  // the update finds the day missing and fetches it
        EXPECT_TRUE(CurrencyConverter->Currencies().RateFileName.empty());
        EXPECT_GT(CurrencyConverter->Currencies().Count(), 0);
        asides.clear();
        for (const auto& entry : std::filesystem::directory_iterator(ExtractFileDir(rates)))
            if (entry.path().string().starts_with(rates + ".damaged-")) asides.push_back(entry.path().string());
        ASSERT_FALSE(asides.empty());
        std::sort(asides.begin(), asides.end());
    }
    ASSERT_EQ(asides.size(), 2u);
    std::vector<std::string> kept = {ReadText(asides[0]), ReadText(asides[1])};
    std::sort(kept.begin(), kept.end());
    std::vector<std::string> expected = damaged;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(kept, expected);
}

TEST_F(StartupTest, ADamagedLastDayRateFileStartsAtTheOlderOne) {
    LayOut();
    const std::string older = Data("ECB/2025.11.28-ECB.vmr");
    const std::string newer = Data("ECB/2025.12.01-ECB.vmr");
    ASSERT_EQ(Start(), 0);
    // Plain, dated as its name: read as it stands, and its factor raises.
    WriteText(newer,
              "[VMR]\r\nTYPE=DATA\r\nPROVIDER=ECB\r\nCODE=ECB\r\nDATE=2025.12.01\r\nBASE=EUR\r\n"
              "FACTOR=x\r\n[DATA]\r\nUSD=1.1\r\n");
    PlugginMan->SetLastRateFile(*PlugginMan->CurrentPlugin(), newer);
    window.reset();
    ASSERT_EQ(Start(), 0) << (messages.empty() ? "" : messages[0]);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(newer), std::string::npos) << messages[0];
    EXPECT_EQ(CurrencyConverter->Currencies().RateFileName, older);
}

// The run command's layout step: the first run lays the installation out, the second keeps
// it (the user's data stays) and refreshes only the program.
TEST_F(StartupTest, TheLayoutToolLaysOutOnceAndThenOnlyRefreshesTheProgram) {
    const std::string program = home / "build/vemra";
    WriteText(program, "first build");
    const std::string command = std::string(VEMRA_LAY_OUT) + " " + kShippedDir + " " + program + " > " + (home / "out.txt");
    ASSERT_EQ(std::system(command.c_str()), 0);
    const TInstallationLayout layout = UserInstallationLayout();
    const std::string installed = JoinPath(layout.AppFolder, "vemra");
    EXPECT_EQ(ReadText(home / "out.txt"), installed + "\n");
    EXPECT_EQ(ReadText(installed), "first build");
    EXPECT_TRUE(FileExists(Data("ECB.vpl")));
    EXPECT_TRUE(InstallationExists());

    // The program ran: its package was installed; a later run must not bring it back.
    std::remove(Data("ECB.vpl").c_str());
    ::sleep(1);  // a newer build by the file clock
    WriteText(program, "second build");
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadText(installed), "second build");
    EXPECT_FALSE(FileExists(Data("ECB.vpl")));
}

struct MaskCase {
    const char* name;
    int mask;
    std::vector<std::string> values;  // besides the six positions
};

void PrintTo(const MaskCase& c, std::ostream* os) {
    *os << c.name << " (mask " << c.mask << ", " << c.values.size() << " values besides the positions)";
}

class SaveSettingsTest : public StartupTest, public ::testing::WithParamInterface<MaskCase> {};

TEST_P(SaveSettingsTest, WritesOnlyTheGroupsOfTheMaskAndThePositions) {
    LayOut();
    ASSERT_EQ(Start(), 0);
    {
        TRegistryEx registry(true);
        ASSERT_TRUE(registry.OpenKey("Software", false));
        ASSERT_TRUE(registry.DeleteKey("Vemra"));
        ASSERT_TRUE(registry.OpenKey("Software\\Vemra", true));
    }
    window->SaveSettings(GetParam().mask);
    std::vector<std::string> expected = GetParam().values;
    for (const char* position : {"PConverter.Left", "PConverter.Top", "PConfig.Left", "PConfig.Top",
                                 "PProperties.Left", "PProperties.Top"})
        expected.push_back(position);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(UserValueNames(), expected);
    // Nothing is made when the key is gone: the next start takes the defaults.
    {
        TRegistryEx registry(true);
        ASSERT_TRUE(registry.OpenKey("Software", false));
        ASSERT_TRUE(registry.DeleteKey("Vemra"));
    }
    window->SaveSettings(255);
    EXPECT_EQ(UserValueNames(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Masks, SaveSettingsTest,
    ::testing::Values(
        MaskCase{"PositionsOnly", 0, {}},
        MaskCase{"FormatOptions", 1,
                 {"Desambiguation", "DesambiguationDate", "FormatLeft", "FormatRight", "FormatNames", "Format"}},
        MaskCase{"Switches", 2, {"Detaillog", "LoadOnInit", "InitiallyOn", "ShowTour", "AudioEvents"}},
        MaskCase{"ConversionsPage", 4,
                 {"HintColor1", "HintColor2", "HintColorText", "HintColorCurrency", "HintColorDate",
                  "HintColorPlugin", "ATCBadDateMethod", "CrossTableGet", "ClipMethod", "HotKeyOn",
                  "HotKeyCtrl", "HotKeyAlt", "HotKeyFunction"}},
        MaskCase{"CurrenciesAndLanguage", 8,
                 {"VMRConfigFile", "Favorites", "DefaultFrom", "DefaultTo", "IsoFrom", "IsoTo", "VMRLanguaje"}}),
    [](const ::testing::TestParamInfo<MaskCase>& info) { return std::string(info.param.name); });

int settingsReplaces = 0;
void CountSettingsReplace(const std::string& temp) {
    if (ExtractFileName(temp).starts_with("user.reg")) ++settingsReplaces;
}

struct ReplaceCount {
    ReplaceCount() {
        settingsReplaces = 0;
        TRegistry::SetReplaceHook(CountSettingsReplace);
    }
    ~ReplaceCount() { TRegistry::SetReplaceHook(nullptr); }
};

// A kill during a save leaves the old settings or the new ones, never a pair of which one
// half was written: each save, however many values it changes, replaces the file once.
TEST_F(StartupTest, EachSaveReplacesTheSettingsFileOnceWithAllItsValues) {
    LayOut();
    ASSERT_EQ(Start(), 0);
    const std::string hive = TRegistry::HivePathForWrite(HKEY_CURRENT_USER);
    const ReplaceCount count;
    window->btIntCh->click();  // the swap saves the pair
    EXPECT_EQ(settingsReplaces, 1);
    std::string text = ReadText(hive);
    EXPECT_NE(text.find("\"IsoFrom\"=\"USD\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"IsoTo\"=\"EUR\""), std::string::npos) << text;

    Ui::TVMRConfig& config = *VMRConfig->ui;
    config.cbClipTech->setCurrentIndex(0);
    config.btAudio->SetChecked(false);
    window->cbFormat->setCurrentIndex(0);
    CurrencyConverter->SetFavorites("JPY,CHF");
    window->SaveSettings(255);
    EXPECT_EQ(settingsReplaces, 2);
    text = ReadText(hive);
    for (const char* line : {"\"ClipMethod\"=dword:00000000", "\"AudioEvents\"=dword:00000000",
                             "\"FormatNames\"=dword:00000000", "\"Favorites\"=\"JPY,CHF\""})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin:\n" << text;
    window->SaveSettings(255);  // nothing changed
    EXPECT_EQ(settingsReplaces, 2);
}

std::map<std::string, int> hiveReadsAtStart;
void CountHiveReadAtStart(const std::string& path) { ++hiveReadsAtStart[path]; }

// A start opens the settings and the install record many times: each file is read once, and
// what another program changed since the last run is what the start sees.
TEST_F(StartupTest, AStartReadsEachRegistryFileOnceAndSeesAnotherProgramsChange) {
    LayOut();
    ASSERT_EQ(Start(), 0);
    ASSERT_EQ(Start(), 0);  // stores the rate source the first start chose
    Stop();
    const std::string settings = TRegistry::HivePathForRead(HKEY_CURRENT_USER);
    const std::string record = TRegistry::HivePathForRead(HKEY_LOCAL_MACHINE);
    std::string text = ReadText(settings);
    const std::string pair = "\"IsoFrom\"=\"EUR\"";
    const std::size_t at = text.find(pair);
    ASSERT_NE(at, std::string::npos) << text;
    WriteText(settings, text.replace(at, pair.size(), "\"IsoFrom\"=\"GBP\""));
    for (const std::string& file : {settings, record}) {
        // Changed an hour ago by the file clock, as a start after another program's change sees it.
        timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 3600, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    }
    hiveReadsAtStart.clear();
    SetHiveReadHook(CountHiveReadAtStart);
    const int result = Start();
    SetHiveReadHook(nullptr);
    ASSERT_EQ(result, 0) << (messages.empty() ? "" : messages[0]);
    EXPECT_EQ(CurrencyConverter->SourceCode(), "GBP");
    EXPECT_EQ(hiveReadsAtStart, (std::map<std::string, int>{{settings, 1}, {record, 1}}));
}

// Starts the converter on one of a user's two installations: the record of that one is the
// machine hive's, as the chooser would pin it.
class TwoInstallationsTest : public StartupTest {
protected:
    void SetUp() override {
        LayOut();
        own_ = ReadText(MachineHive());
        TInstallationLayout all = UserInstallationLayout();
        all.AppFolder = home / "all/program";
        all.PubData = home / "all/data";
        all.AppData = home / "all/user";  // the files of the user who installed it
        std::string error;
        ASSERT_TRUE(LayOutInstallation(kShippedDir, "", all, error)) << error;
        all_ = ReadText(MachineHive());
        ASSERT_NE(own_, all_);
    }
    static std::string MachineHive() { return TRegistry::HivePathForWrite(HKEY_LOCAL_MACHINE); }
    // One start of a sequence: on the user's own installation or the one for all users, and
    // whether it must be a first start.
    struct Step {
        bool own;
        bool firstStart;
    };
    // The start's result, with the favourites and the install date of the last first start.
    void StartOn(bool own, std::string& favorites, TDateTime& firstStartOf) {
        Stop();
        WriteText(MachineHive(), own ? own_ : all_);
        ASSERT_EQ(Start(), 0) << (messages.empty() ? "" : messages[0]);
        favorites = CurrencyConverter->Favorites().CommaText();
        TRegistryEx registry(false);
        ASSERT_TRUE(registry.OpenKey("Software\\Vemra", false));
        firstStartOf = registry.ReadDateTime("SettingsInstallDate");
    }
    std::string own_, all_;
};

TEST_F(TwoInstallationsTest, EachHasOneFirstStartAndNeitherTakesTheUsersFavourites) {
    std::string favorites;
    TDateTime firstStartOf = 0;
    StartOn(true, favorites, firstStartOf);
    EXPECT_EQ(favorites, "USD,EUR,GBP,JPY,CHF");  // the defaults of a first start
    EXPECT_EQ(firstStartOf, InstallDate);
    CurrencyConverter->SetFavorites("JPY,CHF");
    window->SaveSettings(8);

    const std::vector<Step> steps = {{true, false}, {false, true}, {false, false}, {true, false}};
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const TDateTime before = firstStartOf;
        StartOn(steps[i].own, favorites, firstStartOf);
        EXPECT_EQ(favorites, "JPY,CHF") << "start " << i + 2;
        EXPECT_EQ(firstStartOf != before, steps[i].firstStart) << "start " << i + 2;
        if (steps[i].firstStart) {
            EXPECT_EQ(firstStartOf, InstallDate) << "start " << i + 2;
        }
    }
}

// Settings of an earlier version record only the installation whose first start came last.
// That installation, started again, is known from then on: the first start of the other one
// does not make it new again.
TEST_F(TwoInstallationsTest, AnInstallationKnownFromEarlierSettingsStaysKnown) {
    std::string favorites;
    TDateTime firstStartOf = 0;
    StartOn(true, favorites, firstStartOf);
    Stop();
    {
        TRegistry user;
        ASSERT_TRUE(user.OpenKey("Software\\Vemra", false));
        ASSERT_TRUE(user.DeleteKey("Installations"));  // as an earlier version left them
    }
    const std::vector<Step> steps = {{true, false}, {false, true}, {true, false}, {false, false}};
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const TDateTime before = firstStartOf;
        StartOn(steps[i].own, favorites, firstStartOf);
        EXPECT_EQ(firstStartOf != before, steps[i].firstStart) << "start " << i + 2;
    }
}

struct PatternCase {
    const char* name;
    const char* format;
    char separator;
    const char* pattern;
};

void PrintTo(const PatternCase& c, std::ostream* os) {
    *os << Quoted(c.format) << " with '" << c.separator << "' gives " << Quoted(c.pattern);
}

class ShortDatePatternTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(ShortDatePatternTest, GivesTheDayOrder) {
    EXPECT_EQ(BuildShortDatePattern(GetParam().format, GetParam().separator), GetParam().pattern);
}

INSTANTIATE_TEST_SUITE_P(
    LocaleFormats, ShortDatePatternTest,
    ::testing::Values(PatternCase{"DayMonthFourDigitYearWithSlashes", "dd/MM/yyyy", '/', "dmy"},
                      PatternCase{"YearMonthDayWithHyphens", "yyyy-mm-dd", '-', "ymd"},
                      PatternCase{"MonthDayTwoDigitYear", "M/d/yy", '/', "mdy"},
                      PatternCase{"DotsBehindTheSlashPlaceholder", "dd/mm/yyyy", '.', "dmy"},
                      PatternCase{"DottedGerman", "dd.MM.yyyy", '.', "dmy"},
                      PatternCase{"SeparatedRepeatsStayAsTheyAre", "d/m/d", '/', "dmd"}),
    [](const ::testing::TestParamInfo<PatternCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vemra::test
