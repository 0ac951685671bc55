// The updater on an installation the installer made in a temporary home: "/UNINSTALL" takes
// the installation away and keeps the user's data; any other start changes nothing.
#include <gtest/gtest.h>

#include <QProcess>
#include <algorithm>
#include <string>
#include <vector>

#include "platform/GlobalAtoms.h"
#include "platform/Registry.h"
#include "rtl/SysUtils.h"
#include "setup/SetupTestSupport.h"

namespace vemra::test {
namespace {

class Uninstaller : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.InstallUnattended(home.home / "Plug"));
        home.window.reset();
        // What the converter and the user made meanwhile.
        WriteText(home.home / "Plug/ECB/2025.12.01-ECB.vmr", "rates");
        WriteText(home.home / "Plug/Currencies.vmg", "currencies");
        WriteText(home.home / "Plug/update.log", "log");
        WriteText(home.home / "Plug/Installed/ECB-2025.12.01.vpl", "filed package");
        WriteText(home.home / "data/Vemra/ECB.so", "installed library");
        WriteText(home.home / "data/Vemra/ENG.lib", "language");
        WriteText(home.home / "data/Vemra/plugins.dat", "the user's sources");
        TRegistry user(KEY_ALL_ACCESS);
        ASSERT_TRUE(user.OpenKey("Software\\Vemra", true));
        user.WriteString("Language", "ENG");
    }
    int RunUpdater(const QStringList& arguments, std::string* output = nullptr) {
        QProcess updater;
        updater.setProcessChannelMode(QProcess::MergedChannels);
        // Started from the home, where a relative recorded path would lead.
        updater.setWorkingDirectory(QString::fromStdString(home.home.path()));
        updater.start(QString::fromStdString(home.home / ".local/opt/Vemra/vmrupdater"), arguments);
        EXPECT_TRUE(updater.waitForFinished(20000));
        if (output != nullptr) *output = updater.readAll().toStdString();
        return updater.exitCode();
    }
    std::vector<std::string> Files() {
        std::vector<std::string> files;
        for (const std::string& entry : FolderEntries(home.home.path(), true)) {
            if (entry.rfind("run", 0) == 0 || entry.rfind("tmp", 0) == 0 || entry.rfind("registry", 0) == 0) continue;
            if (FileExists(home.home / entry)) files.push_back(entry);
        }
        return files;
    }
    static bool MachineKeyExists(const std::string& key) {
        TRegistry reg(KEY_READ);
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        return reg.OpenKeyReadOnly(key);
    }

    SetupHome home;
};

TEST_F(Uninstaller, RemovesTheInstallationAndKeepsTheUsersData) {
    std::string output;
    EXPECT_EQ(RunUpdater({QStringLiteral("/UNINSTALL")}, &output), 0) << output;
    EXPECT_EQ(Files(), (std::vector<std::string>{"Plug/Currencies.vmg", "Plug/ECB/2025.12.01-ECB.vmr",
                                                 "Plug/update.log", "data/Vemra/plugins.dat"}));
    EXPECT_FALSE(DirectoryExists(home.home / ".local/opt/Vemra"));
    EXPECT_FALSE(DirectoryExists(home.home / "data/applications/Vemra"));
    EXPECT_FALSE(MachineKeyExists(setup::kInstallKey));
    EXPECT_FALSE(MachineKeyExists(std::string(setup::kUninstallKey) + "\\Vemra"));
    TRegistry user(KEY_READ);
    ASSERT_TRUE(user.OpenKeyReadOnly("Software\\Vemra"));
    EXPECT_EQ(user.ReadString("Language"), "ENG");
}

TEST_F(Uninstaller, DamagedRecordedPathsTakeNothingWithThem) {
    // What such values would name from the updater's working folder, the home.
    WriteText(home.home / "rel/Vemra/vemra", "someone's program");
    WriteText(home.home / "rel/Plug/ECB.vpl", "someone's package");
    WriteText(home.home / ".bashrc", "the user's shell");
    WriteText(home.home / "~/.bashrc", "a file named so");
    WriteText(home.home / "rel/Uninstall.desktop", "someone's shortcut");
    {
        TRegistry reg(KEY_ALL_ACCESS);
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKey(setup::kInstallKey, false));
        reg.WriteString("AppFolder", "rel/Vemra");
        reg.WriteString("PubData", "rel/Plug/");
        reg.WriteString("AppData", "/");
        reg.WriteString("AppMenu", "rel");
        reg.WriteString("DesktopIcon", "~/.bashrc");
        reg.WriteString("StartupIcon", home.home / ".bashrc");
        reg.WriteString("UninstallLnk", "rel/Uninstall.desktop");
    }
    std::string output;
    EXPECT_EQ(RunUpdater({QStringLiteral("/UNINSTALL")}, &output), 0) << output;
    EXPECT_EQ(ReadText(home.home / "rel/Vemra/vemra"), "someone's program");
    EXPECT_EQ(ReadText(home.home / "rel/Plug/ECB.vpl"), "someone's package");
    EXPECT_EQ(ReadText(home.home / ".bashrc"), "the user's shell");
    EXPECT_EQ(ReadText(home.home / "~/.bashrc"), "a file named so");
    EXPECT_EQ(ReadText(home.home / "rel/Uninstall.desktop"), "someone's shortcut");
    EXPECT_FALSE(MachineKeyExists(setup::kInstallKey));
}

TEST_F(Uninstaller, AnyOtherStartDoesNothingAndSaysSo) {
    const std::vector<std::string> before = Files();
    for (const QStringList& arguments : {QStringList{}, QStringList{QStringLiteral("/UPDATE")},
                                         QStringList{QStringLiteral("/UNINSTALL"), QStringLiteral("x")}}) {
        std::string output;
        EXPECT_EQ(RunUpdater(arguments, &output), 0);
        EXPECT_NE(output.find("nothing to do"), std::string::npos) << output;
    }
    EXPECT_EQ(Files(), before);
    EXPECT_TRUE(MachineKeyExists(setup::kInstallKey));
}

TEST_F(Uninstaller, AConverterThatDoesNotQuitKeepsEverything) {
    const auto atom = platform::GlobalAddAtom("JustOneVemraApp");
    ASSERT_NE(atom, 0);
    const std::vector<std::string> before = Files();
    std::string output;
    EXPECT_EQ(RunUpdater({QStringLiteral("/uninstall")}, &output), 1);
    platform::GlobalDeleteAtom(atom);
    EXPECT_NE(output.find("still running"), std::string::npos) << output;
    EXPECT_EQ(Files(), before);
    EXPECT_TRUE(MachineKeyExists(setup::kInstallKey));
}

}  // namespace
}  // namespace vemra::test
