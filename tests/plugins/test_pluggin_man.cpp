// TPlugginMan: the plug-in store (plain master, enciphered working copy), the source list and
// its selection, definitions written back, package installation, "UserLast.dat" and a
// source's last rate file and last update.

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeRateUpdateHost.h"
#include "PlugginMan.h"
#include "PluginTestSupport.h"
#include "StreamedIniFile.h"

namespace vemra::test {
namespace {

class PlugginManTest : public ::testing::Test {
protected:
    PlugginManTest() { man.SetHost(&host); }

    void WriteMaster(const std::string& text) { ReplaceText(env.Pub(PluginStoreName()), text); }
    std::string WorkingCopy() const { return env.App(PluginStoreName()); }
    // The working copy as it is on disk.
    std::unique_ptr<TStreamedIniFile> StoredWorkingCopy() const {
        auto store = std::make_unique<TStreamedIniFile>(PluginStoreKeyIndex, WorkingCopy());
        store->Reload();
        return store;
    }
    std::string DataFolder(const std::string& code) const { return PubData + "/" + code; }

    PluginTestEnv env;
    FakeRateUpdateHost host;
    TPlugginMan man;
};

TEST_F(PlugginManTest, SourcesAreTheSectionsOfAtMostThreeCharacters) {
    WriteMaster("[ECB]\nPublisher=European Central Bank\nSettings=1111100:1111100:D:1:960:1\n"
                "[BCA]\nPublisher=Banco Central\n[CONFIG]\nPublisher=Not a source\n");
    man.LoadPlugins();
    EXPECT_EQ(Strings(man.Plugins()), (std::vector<std::string>{"ECB - European Central Bank", "BCA - Banco Central"}));
    EXPECT_EQ(man.GetPlugin(1)->Code, "BCA");
    EXPECT_EQ(man.GetPlugin(2), nullptr);
    EXPECT_EQ(man.GetPlugin(-1), nullptr);
    EXPECT_EQ(man.IndexOfPlugin("BCA"), 1);
    EXPECT_EQ(man.IndexOfPlugin("bca"), -1);
    EXPECT_EQ(man.CurrentPlugin()->Code, "ECB");
    EXPECT_EQ(man.CurrentPlugin()->PublicationMinute, 960);

    // The working copy is made from the master, enciphered.
    ASSERT_TRUE(FileExists(WorkingCopy()));
    EXPECT_EQ(ReadText(WorkingCopy()).find("[ECB]"), std::string::npos);
    EXPECT_EQ(StoredWorkingCopy()->ReadString("BCA", "Publisher", ""), "Banco Central");
}

TEST_F(PlugginManTest, TheWorkingCopyIsReadPlainOrEnciphered) {
    WriteMaster("[ECB]\nPublisher=Master\nSettings=1111100:1111100:D:1:960:1\n");
    man.LoadPlugins();
    EXPECT_EQ(man.Store->KeyIndex, PluginStoreKeyIndex);

    // The enciphered copy is read from now on, not the master.
    WriteMaster("[ECB]\nPublisher=Changed master\nSettings=1111100:1111100:D:1:960:1\n");
    TPlugginMan again;
    again.LoadPlugins();
    EXPECT_EQ(again.Plugins()[0], "ECB - Master");

    // A plain working copy (its ECB section has Settings) stays plain.
    ReplaceText(WorkingCopy(), "[ECB]\nPublisher=Plain copy\nSettings=1111100:1111100:D:1:960:1\n");
    TPlugginMan plain;
    plain.LoadPlugins();
    EXPECT_EQ(plain.Plugins()[0], "ECB - Plain copy");
    EXPECT_EQ(plain.Store->KeyIndex, 0);
}

TEST_F(PlugginManTest, WithoutSourcesLoadingFailsAndSelectsEcb) {
    PluginTestEnv::MakeUserKey();
    WriteMaster("[CONFIG]\nX=1\n");
    man.SelectedCode = "CBR";
    try {
        man.LoadPlugins();
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "No plugins found");
    }
    EXPECT_EQ(man.SelectedIndex, -1);
    EXPECT_EQ(man.CurrentPlugin(), nullptr);
    EXPECT_EQ(man.SelectedCode, "ECB");
    EXPECT_EQ(PluginTestEnv::UserValue("SelectedPlugin"), "ECB");
}

TEST_F(PlugginManTest, AMissingMasterLeavesNoEmptyWorkingCopyBehind) {
    EXPECT_THROW(man.LoadPlugins(), Exception);
    EXPECT_FALSE(FileExists(WorkingCopy()));
    WriteMaster("[ECB]\nPublisher=European Central Bank\n");
    TPlugginMan later;
    later.LoadPlugins();
    EXPECT_EQ(later.Plugins().Count(), 1);
}

TEST_F(PlugginManTest, TheSelectedCodeChoosesTheCurrentSource) {
    WriteMaster("[ECB]\nPublisher=E\n[CBR]\nPublisher=C\n");
    const struct {
        std::string code;
        int index;
    } cases[] = {{"CBR", 1}, {"ECB", 0}, {"XYZ", 0}, {"cbr", 0}};
    for (const auto& c : cases) {
        TPlugginMan m;
        m.SelectedCode = c.code;
        m.LoadPlugins();
        EXPECT_EQ(m.SelectedIndex, c.index) << c.code;
        EXPECT_EQ(m.SelectedCode, c.code);
    }
}

TEST_F(PlugginManTest, AnEmptySelectionBecomesEcbAndIsSavedWhenTheUserKeyExists) {
    WriteMaster("[CBR]\nPublisher=C\n");
    man.LoadPlugins();
    EXPECT_EQ(man.SelectedCode, "ECB");
    EXPECT_EQ(PluginTestEnv::UserValue("SelectedPlugin"), "<none>");  // the key is not made

    PluginTestEnv::MakeUserKey();
    TPlugginMan other;
    other.LoadPlugins();
    EXPECT_EQ(PluginTestEnv::UserValue("SelectedPlugin"), "ECB");
    other.SelectedCode = "CBR";
    other.SaveSelectedPlugin();
    EXPECT_EQ(PluginTestEnv::UserValue("SelectedPlugin"), "CBR");
}

TEST_F(PlugginManTest, WaitingPackagesAreHandedToTheDataModule) {
    WriteMaster("[ECB]\nPublisher=E\n");
    ReplaceText(env.Pub("ecb.v2.vpl"), "x");
    ReplaceText(env.Pub("CBR.VPL"), "x");
    ReplaceText(env.Pub("notes.txt"), "x");
    man.LoadPlugins();
    std::sort(host.PendingPackages.begin(), host.PendingPackages.end());
    EXPECT_EQ(host.PendingPackages, (std::vector<std::string>{PubData + "|CBR.VPL", PubData + "|ecb.v2.vpl"}));
}

TEST_F(PlugginManTest, PackagesInstalledWhileLoadingBecomeSources) {
    WriteMaster("[CBR]\nPublisher=C\n");
    ReplaceText(env.Pub("ECB.vpl"), "x");
    host.OnInstall = [this](TStringList&, const std::string&) {
        std::filesystem::copy_file(kEcbLibrary, AppData + "/ECB.so");
        EXPECT_TRUE(man.InstallPlugin("ECB", AppData + "/ECB.so"));
    };
    man.LoadPlugins();
    EXPECT_EQ(Strings(man.Plugins()), (std::vector<std::string>{"CBR - C", "ECB - European Central Bank"}));
    EXPECT_EQ(man.SelectedIndex, 1);  // nothing was selected: ECB
}

TEST_F(PlugginManTest, HistoryBoundsAreRecomputedWhenMissingAndSaved) {
    std::filesystem::copy_file(kTestLibrary, AppData + "/TST.so");
    ReplaceText(DataFolder("TST") + "/hist.txt", "40179-45291");
    ReplaceText(DataFolder("BAD") + "/hist.txt", "FAIL");
    std::filesystem::copy_file(kTestLibrary, AppData + "/BAD.so");
    WriteMaster("[TST]\nPublisher=T\nHistoryFile=hist.txt\nHistoryBounds=0-0\n"
                "[OK]\nPublisher=O\nHistoryFile=hist.txt\nHistoryBounds=1-2\n"
                "[BAD]\nPublisher=B\nHistoryFile=hist.txt\n");
    man.SelectedCode = "OK";
    man.LoadPlugins();
    EXPECT_EQ(man.GetPlugin(0)->GetPluginValue(pvHistoryBounds), "40179-45291");
    EXPECT_FALSE(man.GetPlugin(0)->Modified);
    EXPECT_EQ(StoredWorkingCopy()->ReadString("TST", "HistoryBounds", ""), "40179-45291");
    EXPECT_EQ(man.GetPlugin(2)->GetPluginValue(pvHistoryBounds), "0-0");
    EXPECT_EQ(host.MessageNumbers, std::vector<int>{71});
    EXPECT_EQ(man.Plugins().Count(), 3);
    EXPECT_EQ(man.SelectedIndex, 1);
    EXPECT_EQ(man.GetPlugin(1)->LibraryHandle(), nullptr);  // its bounds were there: not bound
}

TEST_F(PlugginManTest, OnlyMarkedLinesAreWrittenBack) {
    WriteMaster("[ECB]\nPublisher=E\nLogic=1XNY\nEnabled=1\n");
    man.LoadPlugins();
    THTMLConverterPlugInn& source = *man.CurrentPlugin();
    source.Definition.SetString(0, "Publisher=Changed without a mark");
    source.Definition.Delete(2);
    source.SetPluginValue("Logic", "1YNX");
    source.SetPluginValue("CheckList", "USD,JPY");
    man.SaveCurrentPluginDefinition();
    EXPECT_FALSE(source.Modified);
    EXPECT_EQ(DefinitionMark(source.Definition, 1), 0);
    auto stored = StoredWorkingCopy();
    EXPECT_EQ(stored->ReadString("ECB", "Publisher", ""), "E");
    EXPECT_EQ(stored->ReadString("ECB", "Logic", ""), "1YNX");
    EXPECT_EQ(stored->ReadString("ECB", "CheckList", ""), "USD,JPY");
    EXPECT_EQ(stored->ReadString("ECB", "Enabled", ""), "1");  // removed lines stay in the store

    // Nothing modified: nothing written.
    std::filesystem::remove(WorkingCopy());
    man.SaveCurrentPluginDefinition();
    EXPECT_FALSE(FileExists(WorkingCopy()));

    std::unique_ptr<TStringList> read = man.ReadPluginDefinition("ECB");
    EXPECT_EQ(Strings(*read), (std::vector<std::string>{"Publisher=E", "Logic=1YNX", "Enabled=1", "CheckList=USD,JPY"}));
    EXPECT_EQ(DefinitionMark(*read, 3), 0);
    EXPECT_EQ(man.ReadPluginDefinition("XYZ")->Count(), 0);
}

TEST_F(PlugginManTest, InstallPluginPutsTheLibrarysDefinitionIntoTheStore) {
    WriteMaster("[CBR]\nPublisher=C\n[ECB]\nPublisher=Old\nLastUpdate=2024.01.10 16:05:00\nHistoryFile=hist.zip\n");
    man.LoadPlugins();
    std::filesystem::copy_file(kEcbLibrary, AppData + "/ECB.so");
    ASSERT_TRUE(man.InstallPlugin("ECB", AppData + "/ECB.so"));

    // The store's section now holds the library's lines, with the source's own values.
    TPlugginMan reread;
    reread.LoadPlugins();  // the store was saved: the last update moved
    THTMLConverterPlugInn& ecb = *reread.GetPlugin(reread.IndexOfPlugin("ECB"));
    EXPECT_EQ(ecb.GetPluginValue(pvPublisher), "European Central Bank");
    EXPECT_EQ(ecb.GetPluginValue(pvDataItems), "Cube 2 N");
    EXPECT_EQ(ecb.GetPluginValue(pvHistoryFile), "hist.zip");
    EXPECT_EQ(ecb.GetPluginValue(pvVersion), VEMRA_VERSION_TEXT);
    EXPECT_EQ(ecb.GetPluginValue(pvEnabled), "1");
    EXPECT_EQ(ecb.PublicationMinute, 960);
    EXPECT_EQ(ecb.ZoneHours, 1);
    EXPECT_EQ(ecb.GetPluginValue(pvLastUpdate), "2024.01.10 16:05:00");
}

TEST_F(PlugginManTest, InstallPluginFailsForLibrariesWithoutADefinition) {
    WriteMaster("[CBR]\nPublisher=C\n");
    man.LoadPlugins();
    EXPECT_FALSE(man.InstallPlugin("NOP", kBareLibrary));
    EXPECT_FALSE(man.InstallPlugin("XYZ", env.File("missing.so")));
    {
        ScopedEnv throwing("VEMRA_TESTLIB_INSTALL_THROW", "1");
        EXPECT_FALSE(man.InstallPlugin("TST", kTestLibrary));
    }
    {
        ScopedEnv empty("VEMRA_TESTLIB_INSTALL", "");
        EXPECT_FALSE(man.InstallPlugin("TST", kTestLibrary));
    }
    TStringList sections;
    man.ReadPluginSections(sections);
    EXPECT_EQ(Strings(sections), std::vector<std::string>{"CBR"});
}

TEST_F(PlugginManTest, TheMasterStoreHoldsTheRealSourcesAsTheirLibrariesDefineThem) {
    std::filesystem::copy_file(kMasterStore, env.Pub(PluginStoreName()));
    man.LoadPlugins();
    EXPECT_EQ(Strings(man.Plugins()),
              (std::vector<std::string>{"ECB - European Central Bank", "CBR - Central Bank of the Russian Federation"}));
    EXPECT_TRUE(host.MessageNumbers.empty());  // the ECB's history file is named but not fetched yet
    for (const auto& [code, library] : {std::pair{"ECB", kEcbLibrary}, std::pair{"CBR", kCbrLibrary}}) {
        void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr);
        const auto install = reinterpret_cast<const char* (*)()>(::dlsym(handle, "SubscriptionInstall"));
        TStringList own;
        own.SetText(install());
        ::dlclose(handle);
        EXPECT_EQ(Strings(man.GetPlugin(man.IndexOfPlugin(code))->Definition), Strings(own)) << code;
    }
}

// ---- UserLast, the last rate file and the last update ----

TEST_F(PlugginManTest, UserLastLivesInTheUsersDataFolder) {
    EXPECT_EQ(UserDataDir, env.File("data") + "/Vemra");
    EXPECT_TRUE(DirectoryExists(UserDataDir));
    THTMLConverterPlugInn ecb(Lines({}), "ECB");
    man.SetUserLastValue(ecb, "Last", "/x/2024.01.05-ECB.vmr");
    EXPECT_EQ(ReadText(UserDataDir + "/UserLast.dat"), "LastECB=/x/2024.01.05-ECB.vmr\r\n");

    ReplaceText(UserDataDir + "/UserLast.dat", "lastecb=/y/file.vmr\r\n");
    TPlugginMan other;
    EXPECT_EQ(other.GetUserLastValue(ecb, "Last"), "/y/file.vmr");
    other.SetUserLastValue(ecb, "Last", "");
    EXPECT_EQ(ReadText(UserDataDir + "/UserLast.dat"), "");
}

struct UnreadableCase {
    const char* name;
    void (*make)(const std::string& file);  // leaves the file there and unreadable
    const char* reason;
    bool needsBindingPermissions;
};
void PrintTo(const UnreadableCase& c, std::ostream* os) { *os << c.name; }

class UnreadableUserLastTest : public PlugginManTest, public ::testing::WithParamInterface<UnreadableCase> {};

// Replaced by the few values of one run, the file would lose every other source's record: it
// is named with the system's reason and left as it is, the run's values held in memory.
TEST_P(UnreadableUserLastTest, IsNamedAndLeftAsItIs) {
    if (GetParam().needsBindingPermissions && !PermissionsBind()) GTEST_SKIP() << "permissions do not bind as root";
    const std::string file = UserDataDir + "/UserLast.dat";
    GetParam().make(file);
    TPlugginMan other;
    EXPECT_EQ(other.UserLastFault, "Vemra could not read " + file + " (" + GetParam().reason +
                                       "). It starts at each rate source's newest day rate file, and leaves the file "
                                       "as it is until it can be read.");
    THTMLConverterPlugInn ecb(Lines({}), "ECB");
    other.SetUserLastValue(ecb, "Last", "/x/2024.01.05-ECB.vmr");
    EXPECT_EQ(other.GetUserLastValue(ecb, "Last"), "/x/2024.01.05-ECB.vmr");
    std::error_code error;
    EXPECT_EQ(std::filesystem::is_symlink(file, error), std::string(GetParam().name) == "InputOutputError");
    ::chmod(file.c_str(), 0600);
    if (std::string(GetParam().name) != "InputOutputError") {
        EXPECT_EQ(ReadText(file), "LastCBR=/y/kept.vmr\r\n");
    }
    EXPECT_TRUE(man.UserLastFault.empty());  // read before the damage
}

INSTANTIATE_TEST_SUITE_P(Files, UnreadableUserLastTest,
                         ::testing::Values(UnreadableCase{"InputOutputError",  // for root as well
                                                          [](const std::string& f) {
                                                              std::filesystem::remove(f);
                                                              ASSERT_EQ(::symlink("/proc/self/mem", f.c_str()), 0);
                                                          },
                                                          "Input/output error", false},
                                           UnreadableCase{"NoPermission",
                                                          [](const std::string& f) {
                                                              ReplaceText(f, "LastCBR=/y/kept.vmr\r\n");
                                                              ASSERT_EQ(::chmod(f.c_str(), 0), 0);
                                                          },
                                                          "Permission denied", true}),
                         [](const ::testing::TestParamInfo<UnreadableCase>& param) {
                             return std::string(param.param.name);
                         });

TEST_F(PlugginManTest, TheLastRateFileFallsBackToTheNewestAndRecordsIt) {
    THTMLConverterPlugInn ecb(Lines({"Settings=1111100:1111100:D:1:960:1"}), "ECB");
    WriteDayFile(DataFolder("ECB"), "ECB", EncodeDate(2024, 1, 12));
    const std::string newest = WriteDayFile(DataFolder("ECB"), "ECB", EncodeDate(2024, 1, 16));
    man.SetUserLastValue(ecb, "Last", DataFolder("ECB") + "/2023.01.01-ECB.vmr");  // gone

    EXPECT_EQ(man.LastRateFile(ecb), newest);
    EXPECT_EQ(man.GetUserLastValue(ecb, "Last"), newest);
    EXPECT_EQ(ReadText(UserDataDir + "/UserLast.dat"), "LastECB=" + newest + "\r\n");
    EXPECT_EQ(ecb.GetPluginValue(pvLastUpdate), "2024.01.16 18:00:00");  // its day, the time now

    // A recorded file that exists is taken as it is; LastUpdate is kept once set.
    const std::string older = DataFolder("ECB") + "/2024.01.12-ECB.vmr";
    man.SetLastRateFile(ecb, older);
    EXPECT_EQ(man.LastRateFile(ecb), older);
    std::filesystem::remove(older);
    EXPECT_EQ(man.LastRateFile(ecb), newest);
    EXPECT_EQ(ecb.GetPluginValue(pvLastUpdate), "2024.01.16 18:00:00");
}

TEST_F(PlugginManTest, WithoutAnyFileTheLastRateFileIsEmpty) {
    THTMLConverterPlugInn ecb(Lines({}), "ECB");
    EXPECT_EQ(man.LastRateFile(ecb), "");
    EXPECT_EQ(ecb.GetPluginValue(pvLastUpdate), "1899.12.30 18:00:00");
    EXPECT_FALSE(FileExists(UserDataDir + "/UserLast.dat"));  // "" was already the value
}

struct NewestCase {
    TDateTime today;
    std::vector<TDateTime> files;
    std::string expected;  // the stamp of the newest file, "" for none
};

void PrintTo(const NewestCase& c, std::ostream* os) {
    *os << "of " << c.files.size() << " files " << (c.expected.empty() ? "none" : c.expected);
}

class NewestFileTest : public PlugginManTest, public ::testing::WithParamInterface<NewestCase> {};

TEST_P(NewestFileTest, SearchesBackMonthByMonth) {
    env.SetNow(GetParam().today + 0.5);
    THTMLConverterPlugInn ecb(Lines({}), "ECB");
    for (const TDateTime day : GetParam().files) WriteDayFile(DataFolder("ECB"), "ECB", day);
    ReplaceText(DataFolder("ECB") + "/2030.01.01-CBR.txt", "not a rate file");
    const std::string expected =
        GetParam().expected.empty() ? std::string() : DataFolder("ECB") + "/" + GetParam().expected + "-ECB.vmr";
    EXPECT_EQ(ecb.NewestHistoryFile(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    NewestHistoryFile, NewestFileTest,
    ::testing::Values(
        NewestCase{EncodeDate(2024, 1, 10), {EncodeDate(2023, 12, 4), EncodeDate(2023, 12, 29), EncodeDate(2023, 11, 30)},
                   "2023.12.29"},
        NewestCase{EncodeDate(2024, 1, 10), {EncodeDate(2024, 1, 9), EncodeDate(2024, 1, 2)}, "2024.01.09"},
        // a file dated later in this month (the last that sorts) is taken as well
        NewestCase{EncodeDate(2024, 1, 10), {EncodeDate(2024, 1, 25)}, "2024.01.25"},
        NewestCase{EncodeDate(2024, 1, 10), {EncodeDate(2014, 2, 3)}, "2014.02.03"},  // ten years back, the last month
        NewestCase{EncodeDate(2024, 1, 10), {EncodeDate(2014, 1, 3)}, ""},            // further back than that
        NewestCase{EncodeDate(2024, 1, 10), {}, ""}));

TEST_F(PlugginManTest, TheLastUpdateNeverMovesBack) {
    THTMLConverterPlugInn ecb(Lines({"LastUpdate=2024.03.01 16:00:00"}), "ECB");
    const struct {
        TDateTime value;
        std::string expected;
        bool modified;
    } cases[] = {
        {EncodeDateTime(2024, 2, 28, 23, 0, 0, 0), "2024.03.01 16:00:00", false},
        {EncodeDateTime(2024, 3, 1, 16, 0, 0, 0), "2024.03.01 16:00:00", false},
        {EncodeDateTime(2024, 3, 1, 16, 0, 1, 0), "2024.03.01 16:00:01", true},
        {EncodeDateTime(2024, 3, 1, 9, 0, 0, 0), "2024.03.01 16:00:01", true},
    };
    for (const auto& c : cases) {
        ecb.SetLastUpdate(c.value);
        EXPECT_EQ(ecb.GetPluginValue(pvLastUpdate), c.expected);
        EXPECT_EQ(ecb.Modified, c.modified);
    }
    THTMLConverterPlugInn bare(Lines({"LastUpdate=2024.03.01"}), "ECB");
    bare.SetLastUpdate(EncodeDate(2024, 3, 1));  // "2024.03.01 00:00:00" sorts after the bare stamp
    EXPECT_EQ(bare.GetPluginValue(pvLastUpdate), "2024.03.01 00:00:00");
}

TEST_F(PlugginManTest, TheLastUpdateWithoutATimeIsAtThePublicationMinute) {
    THTMLConverterPlugInn ecb(Lines({"LastUpdate=2024.03.01", "Settings=1111100:1111100:D:1:960:1"}), "ECB");
    EXPECT_EQ(ecb.GetLastUpdate(), EncodeDateTime(2024, 3, 1, 16, 0, 0, 0));
    EXPECT_EQ(ecb.LastPublicationTime(), EncodeDateTime(2024, 3, 1, 16, 0, 0, 0));
    ecb.SetPluginValue("LastUpdate", "2024.03.01 10:20:30");
    EXPECT_EQ(ecb.GetLastUpdate(), EncodeDateTime(2024, 3, 1, 10, 20, 30, 0));
    EXPECT_EQ(ecb.LastPublicationTime(), EncodeDateTime(2024, 3, 1, 16, 0, 0, 0));
    EXPECT_DOUBLE_EQ(ecb.TodayPublicationTime(), EncodeDate(2024, 1, 17) + 16 / 24.0 + 1 / 24.0);

    // Empty: the newest file's day, noted in the definition without a mark.
    THTMLConverterPlugInn empty(Lines({"Settings=1111100:1111100:D:1:960:1"}), "ECB");
    WriteDayFile(DataFolder("ECB"), "ECB", EncodeDate(2024, 1, 16));
    EXPECT_EQ(empty.GetLastUpdate(), EncodeDateTime(2024, 1, 16, 16, 0, 0, 0));
    EXPECT_EQ(empty.GetPluginValue(pvLastUpdate), "2024.01.16");
    EXPECT_EQ(DefinitionMark(empty.Definition, 1), 0);
    EXPECT_FALSE(empty.Modified);
}

// ---- the engine's view of the selected source ----

TEST_F(PlugginManTest, TheEngineSeesTheCurrentSource) {
    IRateSourceHost& selected = man.RateSourceHost();
    EXPECT_EQ(selected.SelectedCode(), "");
    EXPECT_EQ(selected.LastRateFile(), "");
    selected.SetLastRateFile("/nowhere");
    selected.SaveCurrentPluginDefinition();

    WriteMaster("[ECB]\nPublisher=European Central Bank\nSettings=1111100:1111100:D:1:960:1\n");
    man.LoadPlugins();
    EXPECT_EQ(selected.SelectedCode(), "ECB");
    EXPECT_EQ(selected.SelectedPublisher(), "European Central Bank");
    EXPECT_EQ(selected.SelectedPublicationMinute(), 960);
    EXPECT_EQ(selected.SelectedZoneHours(), 1);
    EXPECT_EQ(selected.SelectedRateFileName(EncodeDate(2024, 1, 5)), DataFolder("ECB") + "/2024.01.05-ECB.vmr");
    const std::string file = WriteDayFile(DataFolder("ECB"), "ECB", EncodeDate(2024, 1, 5));
    selected.SetLastRateFile(file);
    EXPECT_EQ(selected.LastRateFile(), file);
    man.CurrentPlugin()->SetPluginValue("Logic", "1XNY");
    selected.SaveCurrentPluginDefinition();
    EXPECT_EQ(StoredWorkingCopy()->ReadString("ECB", "Logic", ""), "1XNY");
}

}  // namespace
}  // namespace vemra::test
