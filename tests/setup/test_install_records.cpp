// Two installations on one machine: root's for all users and a normal user's own. Each is
// installed, started and removed through its own record, whatever happened to the other; the
// programs run as separate processes, the normal user's under another user id.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <filesystem>
#include <string>

#include "rtl/SysUtils.h"
#include "support/TestUtils.h"

namespace vemra::test {
namespace {

constexpr uid_t kNobody = 65534;

class InstallRecords : public testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "another user's installation needs root to start it";
        if (QProcess::execute(QStringLiteral("setpriv"), {QStringLiteral("--reuid=65534"), QStringLiteral("true")}) != 0)
            GTEST_SKIP() << "setpriv cannot start a program as another user here";
        // The other user must reach the installer and its own home.
        ASSERT_EQ(::chmod(tmp.path().c_str(), 0755), 0);
        installer = tmp / "vemrasetup";
        std::filesystem::copy_file(VEMRA_SETUP_PROGRAM, installer);
        ASSERT_TRUE(ForceDirectories(machine));
        ASSERT_TRUE(ForceDirectories(user + "/run"));
        ASSERT_TRUE(ForceDirectories(user + "/tmp"));
        for (const auto& entry : std::filesystem::recursive_directory_iterator(user))
            ASSERT_EQ(::chown(entry.path().c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(::chown(user.c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(::chmod((user + "/run").c_str(), 0700), 0);
    }

    // The environment of a person with this home; the machine-wide folders lie under the test's.
    QProcessEnvironment Environment(const std::string& home) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const auto set = [&env](const char* name, const std::string& value) {
            env.insert(QString::fromLatin1(name), QString::fromStdString(value));
        };
        set("HOME", home);
        set("XDG_CONFIG_HOME", home + "/config");
        set("XDG_DATA_HOME", home + "/data");
        set("XDG_RUNTIME_DIR", home + "/run");
        set("TMPDIR", home + "/tmp");
        set("VEMRA_SYSTEM_ROOT", machine);
        set("QT_QPA_PLATFORM", "offscreen");
        env.remove(QStringLiteral("VEMRA_REGISTRY_DIR"));
        env.remove(QStringLiteral("LC_ALL"));
        return env;
    }
    // Starts program with arguments as root (asRoot) or as the normal user, in that one's home.
    void Begin(QProcess& process, bool asRoot, const std::string& program, QStringList arguments) const {
        const std::string home = asRoot ? rootHome : user;
        if (asRoot) {
            ::mkdir(home.c_str(), 0700);
            ::mkdir((home + "/run").c_str(), 0700);
            ::mkdir((home + "/tmp").c_str(), 0700);
        }
        process.setProcessEnvironment(Environment(home));
        process.setWorkingDirectory(QString::fromStdString(home));
        process.setProcessChannelMode(QProcess::MergedChannels);
        if (asRoot) {
            process.start(QString::fromStdString(program), arguments);
        } else {
            arguments.prepend(QString::fromStdString(program));
            arguments.prepend(QStringLiteral("--"));
            for (const char* option : {"--clear-groups", "--regid=65534", "--reuid=65534"})
                arguments.prepend(QString::fromLatin1(option));
            process.start(QStringLiteral("setpriv"), arguments);
        }
    }
    int Run(bool asRoot, const std::string& program, const QStringList& arguments) {
        QProcess process;
        Begin(process, asRoot, program, arguments);
        EXPECT_TRUE(process.waitForFinished(60000)) << program;
        output = process.readAll().toStdString();
        return process.exitCode();
    }
    int Install(bool asRoot) {
        return Run(asRoot, installer, {QStringLiteral("/INSTALL"),
                                       QString::fromStdString("/DATA=" + (asRoot ? std::string() : user + "/Plug"))});
    }
    std::string MachineHive() const { return machine + "/etc/vemra/machine.reg"; }
    std::string UserRecord() const { return user + "/config/vemra/machine.reg"; }
    std::string UserProgram() const { return user + "/.local/opt/Vemra/vemra"; }
    std::string MachineProgram() const { return machine + "/opt/Vemra/vemra"; }

    TempFolder tmp{"vemra-records"};
    std::string machine = tmp / "machine";
    std::string rootHome = tmp / "root";
    std::string user = tmp / "user";
    std::string installer;
    std::string output;
};

TEST_F(InstallRecords, AUsersOwnInstallationBesideAMachineWideOneWhoseHomeIsGone) {
    ASSERT_EQ(Install(true), 0) << output;
    ASSERT_NE(ReadText(MachineHive()).find("\"AppFolder\"=\"" + machine + "/opt/Vemra\""), std::string::npos);
    std::filesystem::remove_all(rootHome);
    const std::string machineRecord = ReadText(MachineHive());

    ASSERT_EQ(Install(false), 0) << output;
    ASSERT_TRUE(FileExists(UserProgram()));
    EXPECT_NE(ReadText(UserRecord()).find("\"AppFolder\"=\"" + user + "/.local/opt/Vemra\""), std::string::npos);
    EXPECT_EQ(ReadText(UserRecord()).find(machine), std::string::npos) << "the user's record took root's values";
    EXPECT_EQ(ReadText(MachineHive()), machineRecord);

    // The user's converter starts on its own record: its first start is marked in the
    // user's settings.
    QProcess converter;
    Begin(converter, false, UserProgram(), {});
    ASSERT_TRUE(converter.waitForStarted(5000));
    const std::string settings = user + "/config/vemra/user.reg";
    for (int i = 0; i < 200 && ReadText(settings).find("\"SettingsInstallDate\"") == std::string::npos; ++i)
        QThread::msleep(100);
    EXPECT_NE(ReadText(settings).find("\"SettingsInstallDate\""), std::string::npos) << converter.readAll().toStdString();
    converter.terminate();
    EXPECT_TRUE(converter.waitForFinished(10000));
    EXPECT_EQ(ReadText(MachineHive()), machineRecord);
}

TEST_F(InstallRecords, EachUninstallRemovesItsOwnInstallationAlone) {
    ASSERT_EQ(Install(true), 0) << output;
    ASSERT_EQ(Install(false), 0) << output;
    const std::string machineRecord = ReadText(MachineHive());

    // The user's own installation goes; the machine-wide one stays, and is the user's record
    // again afterwards.
    ASSERT_EQ(Run(false, user + "/.local/opt/Vemra/vmrupdater", {QStringLiteral("/UNINSTALL")}), 0) << output;
    EXPECT_FALSE(FileExists(UserProgram()));
    EXPECT_EQ(ReadText(UserRecord()).find("[HKEY_LOCAL_MACHINE\\Software\\Vemra]"), std::string::npos);
    EXPECT_EQ(ReadText(MachineHive()), machineRecord);
    EXPECT_TRUE(FileExists(MachineProgram()));

    // And the reverse: removing the machine-wide installation leaves the user's alone, also
    // when the user starts its updater (which cannot remove it).
    ASSERT_EQ(Install(false), 0) << output;
    const std::string userRecord = ReadText(UserRecord());
    EXPECT_NE(Run(false, machine + "/opt/Vemra/vmrupdater", {QStringLiteral("/UNINSTALL")}), 0) << output;
    EXPECT_EQ(ReadText(UserRecord()), userRecord);
    EXPECT_TRUE(FileExists(UserProgram()));
    EXPECT_EQ(ReadText(MachineHive()), machineRecord);
    ASSERT_EQ(Run(true, machine + "/opt/Vemra/vmrupdater", {QStringLiteral("/UNINSTALL")}), 0) << output;
    EXPECT_FALSE(FileExists(MachineProgram()));
    EXPECT_EQ(ReadText(MachineHive()).find("[HKEY_LOCAL_MACHINE\\Software\\Vemra]"), std::string::npos);
    EXPECT_EQ(ReadText(UserRecord()), userRecord);
    EXPECT_TRUE(FileExists(UserProgram()));
}

}  // namespace
}  // namespace vemra::test
