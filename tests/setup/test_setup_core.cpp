// The installer's rules without its window: folder names, the "/DATA=" parameter, the folder
// set of each installation type, the folder checks, the licence text and the wait for a
// running converter.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "SetupCore.h"
#include "platform/GlobalAtoms.h"
#include "rtl/SysUtils.h"
#include "support/TestUtils.h"

namespace vemra::test {
namespace {

struct FolderCase {
    const char* name;
    const char* typed;
    const char* kept;
};

void PrintTo(const FolderCase& c, std::ostream* os) { *os << Quoted(c.typed) << " becomes " << Quoted(c.kept); }

class FolderBoxRule : public testing::TestWithParam<FolderCase> {};

TEST_P(FolderBoxRule, KeepsOrAppendsVemra) {
    EXPECT_EQ(setup::FolderWithVemra(GetParam().typed), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, FolderBoxRule,
    testing::Values(FolderCase{"WithoutVemraGetsItAppended", "/srv/Apps", "/srv/Apps/Vemra"},
                    FolderCase{"WithVemraStays", "/srv/Apps/Vemra", "/srv/Apps/Vemra"},
                    FolderCase{"VemraInAnyCaseAnywhereStays", "/srv/my-vemra-2/x", "/srv/my-vemra-2/x"},
                    FolderCase{"TheRootGetsVemra", "/", "/Vemra"},
                    FolderCase{"FirstDoubleSlashIsMadeOne", "/srv//Vemra", "/srv/Vemra"}),
    [](const testing::TestParamInfo<FolderCase>& info) { return std::string(info.param.name); });

struct DataCase {
    const char* name;
    std::string parameter;
    bool accepted;
    std::string folder;
};

void PrintTo(const DataCase& c, std::ostream* os) {
    *os << Quoted(c.parameter) << (c.accepted ? " gives " + Quoted(c.folder) : std::string(" is refused"));
}

class DataParameter : public testing::TestWithParam<DataCase> {};

TEST_P(DataParameter, GivesThePlugInsFolder) {
    std::string folder = "untouched";
    EXPECT_EQ(setup::ParseDataParameter(GetParam().parameter, folder), GetParam().accepted);
    EXPECT_EQ(folder, GetParam().folder);
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, DataParameter,
    testing::Values(DataCase{"UpperCase", "/DATA=/srv/Plug", true, "/srv/Plug"},
                    DataCase{"LowerCaseWithTrailingSlash", "/data=/srv/Plug/", true, "/srv/Plug"},
                    DataCase{"OnlyOneTrailingSlashGoes", "/Data=/srv/Plug//", true, "/srv/Plug/"},
                    DataCase{"EmptyFolderMeansTheDefault", "/DATA=", true, ""},
                    DataCase{"OtherPrefixIsRefused", "/DAT=/srv", false, "untouched"},
                    DataCase{"AtMost256Characters", "/DATA=/" + std::string(300, 'p'), true, "/" + std::string(255, 'p')}),
    [](const testing::TestParamInfo<DataCase>& info) { return std::string(info.param.name); });

TEST(InstallParameter, IsComparedInUpperCase) {
    EXPECT_TRUE(setup::IsInstallParameter("/install"));
    EXPECT_TRUE(setup::IsInstallParameter("/INSTALL"));
    EXPECT_FALSE(setup::IsInstallParameter("/INSTALLX"));
    EXPECT_FALSE(setup::IsInstallParameter("INSTALL"));
}

class SetupFolders : public testing::Test {
protected:
    SetupFolders() {
        env.Set("HOME", home.path());
        env.Set("XDG_DATA_HOME", home / "data");
        env.Set("XDG_CONFIG_HOME", home / "config");
        env.Set("XDG_RUNTIME_DIR", home / "run");
    }
    TempFolder home{"vemra-setup-core"};
    ScopedEnv env;
};

TEST_F(SetupFolders, AllUsersFallsBackToTheUsersFoldersOnAMachineItCannotWrite) {
    env.Set("VEMRA_SYSTEM_ROOT", home / "machine");
    const setup::TInstallFolders all = setup::FoldersForType(setup::kAllUsers);
    const setup::TInstallFolders user = setup::FoldersForType(setup::kCurrentUser);
    EXPECT_EQ(user.PubData, home / "Documents/Vemra");
    EXPECT_EQ(user.AppMenu, home / "data/applications/Vemra");
    EXPECT_EQ(user.DesktopBase, home / "Desktop/Vemra");
    EXPECT_EQ(user.StartupBase, home / "config/autostart/Vemra");
    EXPECT_EQ(all.PubData, user.PubData);
    EXPECT_EQ(all.AppMenu, user.AppMenu);
    EXPECT_EQ(all.DesktopBase, user.DesktopBase);
    EXPECT_EQ(all.StartupBase, user.StartupBase);
    EXPECT_EQ(setup::DefaultProgramFolder(), home / ".local/opt/Vemra");
    EXPECT_EQ(setup::LocalAppDataFolder(), home / "data/Vemra");
}

TEST_F(SetupFolders, AllUsersGetsTheMachineFoldersWhereTheyCanBeWritten) {
    ForceDirectories(home / "machine");
    env.Set("VEMRA_SYSTEM_ROOT", home / "machine");
    const setup::TInstallFolders all = setup::FoldersForType(setup::kAllUsers);
    EXPECT_EQ(all.PubData, home / "machine/var/lib/Vemra");
    EXPECT_EQ(all.AppMenu, home / "machine/usr/local/share/applications/Vemra");
    EXPECT_EQ(all.DesktopBase, home / "machine/usr/local/share/applications/Vemra");
    EXPECT_EQ(all.StartupBase, home / "machine/etc/xdg/autostart/Vemra");
    EXPECT_EQ(setup::DefaultProgramFolder(), home / "machine/opt/Vemra");
}

TEST_F(SetupFolders, WritableCheckMakesTheFoldersAndLeavesNoProbe) {
    EXPECT_TRUE(setup::CheckFoldersWritable({home / "a/b", home / "c"}));
    EXPECT_EQ(FolderEntries(home / "a/b"), std::vector<std::string>{});
    WriteText(home / "file", "x");
    EXPECT_FALSE(setup::CheckFoldersWritable({home / "c", home / "file/sub"}));
    EXPECT_FALSE(setup::CheckFoldersWritable({""}));
}

TEST_F(SetupFolders, WritableCheckFailsForAnExistingFolderWhereNoFileCanBeMade) {
    if (!PermissionsBind()) GTEST_SKIP() << "permissions do not bind this process";
    ForceDirectories(home / "locked");
    ASSERT_EQ(::chmod((home / "locked").c_str(), 0555), 0);
    EXPECT_FALSE(setup::CheckFoldersWritable({home / "c", home / "locked"}));
    EXPECT_FALSE(setup::CheckFoldersWritable({home / "locked/sub"})) << "nor can a folder be made in it";
    ::chmod((home / "locked").c_str(), 0755);
    EXPECT_TRUE(setup::CheckFoldersWritable({home / "locked"}));
}

TEST_F(SetupFolders, APrivateFolderIsTheUsersAloneAndFreshEachTime) {
    const std::string first = setup::MakePrivateFolder(home.path(), "vemrasetup");
    const std::string second = setup::MakePrivateFolder(home.path(), "vemrasetup");
    ASSERT_FALSE(first.empty());
    EXPECT_NE(first, second);
    EXPECT_EQ(ExtractFileDir(first), home.path());
    EXPECT_EQ(FileMode(first) & 0777, 0700u);
    EXPECT_EQ(setup::MakePrivateFolder(home / "missing", "vemrasetup"), "");
}

TEST_F(SetupFolders, ARelativeFolderIsTakenFromTheCurrentFolder) {
    const std::string here = std::filesystem::current_path().string();
    EXPECT_EQ(setup::AbsoluteFolder("plug"), here + "/plug");
    EXPECT_EQ(setup::AbsoluteFolder("./a/../plug/"), here + "/plug");
    EXPECT_EQ(setup::AbsoluteFolder("/srv/Plug"), "/srv/Plug");
    EXPECT_EQ(setup::AbsoluteFolder("/srv/x/../Plug"), "/srv/Plug");
    EXPECT_EQ(setup::AbsoluteFolder(""), "");
}

struct RtfCase {
    const char* name;
    std::string rtf;
    std::string text;
};

void PrintTo(const RtfCase& c, std::ostream* os) { *os << Quoted(c.rtf) << " reads " << Quoted(c.text); }

class RtfText : public testing::TestWithParam<RtfCase> {};

TEST_P(RtfText, KeepsTheWordsAndLineBreaksOnly) { EXPECT_EQ(setup::RtfToPlainText(GetParam().rtf), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(
    Documents, RtfText,
    testing::Values(
        RtfCase{"ParagraphsAndFormatting",
                "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\n\\f0\\fs20 {\\b Title}\\par\n\\par\nBody text.\\par\n}",
                "Title\n\nBody text.\n"},
        RtfCase{"EscapedCharacters", "{\\rtf1 a\\{b\\}c\\\\d\\tab e\\line f}", "a{b}c\\d\te\nf"},
        RtfCase{"LatinAndUnicode", "{\\rtf1 caf\\'e9 \\u8364?5}",
                "caf\xC3\xA9 \xE2\x82\xAC"
                "5"},
        RtfCase{"HiddenGroups",
                "{\\rtf1{\\colortbl;\\red0\\green0\\blue0;}{\\*\\generator Writer;}{\\info{\\title T}}Shown}", "Shown"},
        RtfCase{"UnbalancedAndCut", "{\\rtf1 open {group} close}} tail\\", "open group close tail"}),
    [](const testing::TestParamInfo<RtfCase>& info) { return std::string(info.param.name); });

TEST(RtfText, TheShippedLicenceReadsAsText) {
    const std::string text = setup::RtfToPlainText(ReadText(VEMRA_LICENSE_RTF));
    EXPECT_EQ(text.rfind("Vemra Currency Converter - terms and conditions\n\n", 0), 0u) << text;
    EXPECT_NE(text.find("Installing Vemra means that you have read and agree to these terms.\n"), std::string::npos);
    EXPECT_EQ(text.find('\\'), std::string::npos) << text;
    EXPECT_EQ(text.find('{'), std::string::npos) << text;
}

class QuitPasses : public SetupFolders {
protected:
    QuitPasses() { ::mkdir((home / "run").c_str(), 0700); }
    int asks = 0;
    int waits = 0;
    int passes = 0;
};

TEST_F(QuitPasses, NoConverterMeansOnePass) {
    EXPECT_FALSE(setup::AppIsRunning("Vemra", [&] { ++asks; }, [&] { ++waits; }, passes));
    EXPECT_EQ(passes, 1);
    EXPECT_EQ(asks, 0);
}

TEST_F(QuitPasses, AConverterQuittingAtTheFirstRequestTakesOneMorePass) {
    const auto atom = platform::GlobalAddAtom("JustOneVemraApp");
    ASSERT_NE(atom, 0);
    EXPECT_FALSE(setup::AppIsRunning("Vemra", [&] { ++asks; platform::GlobalDeleteAtom(atom); }, [&] { ++waits; }, passes));
    EXPECT_EQ(passes, 2);
    EXPECT_EQ(asks, 1);
}

TEST_F(QuitPasses, AConverterThatNeverQuitsIsStillRunningAfter51Passes) {
    const auto atom = platform::GlobalAddAtom("JustOneVemra.exeApp");
    ASSERT_NE(atom, 0);
    EXPECT_TRUE(setup::AppIsRunning("Vemra", [&] { ++asks; }, [&] { ++waits; }, passes));
    EXPECT_EQ(passes, 51);
    EXPECT_EQ(asks, 51);
    EXPECT_EQ(waits, 51);
    platform::GlobalDeleteAtom(atom);
}

}  // namespace
}  // namespace vemra::test
