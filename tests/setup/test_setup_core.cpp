// The installer's rules without its window: folder names, the "/DATA=" parameter, the folder
// set of each installation type and the wait for a running converter.
#include <gtest/gtest.h>

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
