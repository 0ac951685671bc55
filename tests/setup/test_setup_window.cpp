// The installer's window in this process (offscreen): its start state, the folder boxes, the
// previous installation, unattended and attended installations, their messages and faults.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "DirectoryEdit.h"
#include "SetupTestSupport.h"
#include "platform/GlobalAtoms.h"
#include "platform/Registry.h"
#include "rtl/DateUtils.h"
#include "rtl/SysUtils.h"
#include "ui_FrmInstall.h"

namespace vemra::test {
namespace {

const char* const kRunning = "Please manually quit Vemra before setup and try again.";
const char* const kUpdate = "About to update vemra with current settings, proceed?";
const char* const kInvalid = "Error: invalid folder";
const char* const kFailed = "Error while installing application";
const char* const kSuccess = "Application has been succsessfully installed\r\nPlease start application from desktop icon.";

std::string S(const QString& s) { return s.toStdString(); }

std::unique_ptr<TRegistry> MachineKey(const std::string& key) {
    auto reg = std::make_unique<TRegistry>(KEY_READ);
    reg->SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(reg->OpenKeyReadOnly(key)) << key;
    return reg;
}

// Writes a previous installation's key.
void WritePrevious(const std::string& appFolder, const std::string& appData, const std::string& pubData,
                   bool allUser, TDateTime date, bool dateAsInteger = false) {
    TRegistry reg(KEY_ALL_ACCESS);
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(setup::kInstallKey, true));
    reg.WriteString("AppFolder", appFolder);
    reg.WriteString("AppData", appData);
    reg.WriteString("PubData", pubData);
    reg.WriteBool("AllUser", allUser);
    if (dateAsInteger)
        reg.WriteInteger("InstallDate", static_cast<int>(date));
    else
        reg.WriteDateTime("InstallDate", date);
}

class InstallerWindow : public testing::Test {
protected:
    SetupHome home;
};

TEST_F(InstallerWindow, StartsWithItsComponentsAtTheirSizesAndTexts) {
    TFrmInstall& w = home.Start({});
    EXPECT_TRUE(home.messages.empty());
    EXPECT_EQ(w.size(), QSize(462, 278));
    EXPECT_TRUE(w.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(S(w.windowTitle()), "vemra setup");
    EXPECT_EQ(S(w.ui->lbFolder->text()), "Installation folder:");
    EXPECT_EQ(S(w.ui->Label1->text()), "Installation type:");
    EXPECT_EQ(S(w.ui->lbPlugins->text()), "Pluggins folder:");
    EXPECT_EQ(S(w.ui->chTerms->text()), "I have read && agree the terms && conditions");
    EXPECT_EQ(S(w.ui->BtInstall->text()), "&Install");
    EXPECT_EQ(S(w.ui->BtTerms->text()), "&Terms && conditions");
    EXPECT_EQ(S(w.ui->BtClose->text()), "&Close");
    EXPECT_EQ(S(w.ui->InsFolder->dialogTitle()), "Please select folder to install");
    EXPECT_TRUE(w.ui->InsFolder->edit()->isReadOnly());
    ASSERT_EQ(w.ui->cbUser->count(), 2);
    EXPECT_EQ(S(w.ui->cbUser->itemText(0)), "All users");
    EXPECT_EQ(S(w.ui->cbUser->itemText(1)), "Current user");
    // A user who cannot write the machine's folders gets the type that can be installed.
    EXPECT_EQ(w.ui->cbUser->currentIndex(), 1);
    EXPECT_FALSE(w.ui->BtInstall->isEnabled());
    EXPECT_FALSE(w.ui->BtInstall->isFlat()) << "Install and Close look like buttons";
    EXPECT_FALSE(w.ui->BtClose->isFlat());
    EXPECT_FALSE(w.ui->fpb->isVisible());
    EXPECT_EQ(w.ui->fpb->geometry(), w.ui->InsFolder->geometry());
    EXPECT_EQ(S(w.ui->InsFolder->text()), home.home / ".local/opt/Vemra");
    EXPECT_EQ(S(w.ui->VplFolder->text()), home.home / "Documents/Vemra");
}

// No text of the window is cut and no control lies on another (the skin picture is under all).
TEST_F(InstallerWindow, NoTextIsCutAndNoControlOverlapsAnother) {
    TFrmInstall& w = home.Start({});
    w.show();
    QApplication::processEvents();
    auto shown = [](QString text) {
        return text.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove('&').replace('\x01', '&');
    };
    for (QLabel* label : w.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty()) continue;
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width())
            << S(label->objectName());
    }
    for (QPushButton* button : w.findChildren<QPushButton*>()) {
        if (!button->isVisible() || button->text().isEmpty()) continue;
        EXPECT_LE(button->fontMetrics().horizontalAdvance(shown(button->text())) + 8, button->width())
            << S(button->objectName());
    }
    const QString terms = shown(w.ui->chTerms->text());
    EXPECT_LE(w.ui->chTerms->fontMetrics().horizontalAdvance(terms) + 20, w.ui->chTerms->width());
    for (QComboBox* list : {w.ui->cbUser})
        for (int i = 0; i < list->count(); ++i)
            EXPECT_LE(list->fontMetrics().horizontalAdvance(list->itemText(i)) + 30, list->width())
                << S(list->itemText(i));
    const QList<QWidget*> controls = w.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (int i = 0; i < controls.size(); ++i)
        for (int j = i + 1; j < controls.size(); ++j) {
            QWidget* a = controls[i];
            QWidget* b = controls[j];
            if (!a->isVisible() || !b->isVisible() || a == w.ui->Mask || b == w.ui->Mask) continue;
            EXPECT_FALSE(a->geometry().intersects(b->geometry())) << S(a->objectName()) << " / " << S(b->objectName());
        }
}

TEST_F(InstallerWindow, TermsBoxEnablesInstallAndTheTypeChoosesTheFolders) {
    ForceDirectories(home.home / "machine");
    TFrmInstall& w = home.Start({});
    EXPECT_EQ(w.ui->cbUser->currentIndex(), 0) << "the machine's folders can be written";
    EXPECT_EQ(S(w.ui->VplFolder->text()), home.home / "machine/var/lib/Vemra");
    w.ui->chTerms->click();
    EXPECT_TRUE(w.ui->BtInstall->isEnabled());
    w.ui->chTerms->click();
    EXPECT_FALSE(w.ui->BtInstall->isEnabled());
    w.ui->cbUser->setCurrentIndex(1);
    EXPECT_EQ(S(w.ui->VplFolder->text()), home.home / "Documents/Vemra");
    EXPECT_EQ(w.Folders.AppMenu, home.home / "data/applications/Vemra");
    EXPECT_EQ(w.Folders.StartupBase, home.home / "config/autostart/Vemra");
}

// The desktop's tools, standing in for xdg-mime and xdg-open: the opener records what it was
// asked to open; either may be missing.
struct DesktopCase {
    const char* name;
    const char* rtfHandler;  // xdg-mime's answer for RTF; nullptr: no xdg-mime at all
    int openerExit;          // -1: no xdg-open at all
    bool opened;             // else the installer shows the text itself
};
void PrintTo(const DesktopCase& c, std::ostream* os) { *os << c.name; }

class TermsOnTheDesktop : public testing::TestWithParam<DesktopCase> {
protected:
    SetupHome home;
};

TEST_P(TermsOnTheDesktop, AreOpenedByTheDesktopOrShownByTheInstaller) {
    const std::string bin = home.home / "bin";
    ForceDirectories(bin);
    if (GetParam().rtfHandler != nullptr) {
        WriteText(bin + "/xdg-mime", std::string("#!/bin/sh\necho '") + GetParam().rtfHandler + "'\n");
        ::chmod((bin + "/xdg-mime").c_str(), 0755);
    }
    if (GetParam().openerExit >= 0) {
        WriteText(bin + "/xdg-open", "#!/bin/sh\necho \"$1\" > \"" + home.home / "opened" + "\"\nexit " +
                                         std::to_string(GetParam().openerExit) + "\n");
        ::chmod((bin + "/xdg-open").c_str(), 0755);
    }
    // Only the stand-ins: the machine's own desktop tools are not asked.
    home.env.Set("PATH", bin);
    TFrmInstall& w = home.Start({});
    w.ui->BtTerms->click();
    auto* own = w.findChild<QDialog*>(QStringLiteral("TermsWindow"));
    EXPECT_TRUE(home.messages.empty()) << home.messages.front();
    if (GetParam().opened) {
        ASSERT_TRUE(WaitUntil([&] { return !ReadText(home.home / "opened").empty(); }, 5000));
        std::string file = ReadText(home.home / "opened");
        file.pop_back();
        // A folder of the installer's own in the temporary folder, not a fixed name there.
        EXPECT_EQ(ExtractFileName(file), "license.rtf");
        EXPECT_EQ(ExtractFileDir(ExtractFileDir(file)), home.home / "tmp");
        EXPECT_EQ(FileMode(ExtractFileDir(file)) & 0777, 0700u);
        EXPECT_EQ(ReadText(file).rfind("{\\rtf1", 0), 0u);
        EXPECT_TRUE(own == nullptr || !own->isVisible());
        home.window.reset();
        EXPECT_FALSE(DirectoryExists(ExtractFileDir(file))) << "removed when the installer ends";
    } else {
        ASSERT_NE(own, nullptr);
        EXPECT_TRUE(own->isVisible());
        EXPECT_EQ(S(own->windowTitle()), "Terms & conditions");
        auto* text = own->findChild<QPlainTextEdit*>(QStringLiteral("TermsText"));
        ASSERT_NE(text, nullptr);
        EXPECT_TRUE(text->isReadOnly());
        EXPECT_EQ(S(text->toPlainText()).rfind("Vemra Currency Converter - terms and conditions\n", 0), 0u)
            << S(text->toPlainText());
        EXPECT_EQ(S(text->toPlainText()).find("\\par"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(, TermsOnTheDesktop,
                         testing::Values(DesktopCase{"AProgramForRtfOpensThem", "writer.desktop", 0, true},
                                         DesktopCase{"NoProgramForRtf", "", 0, false},
                                         DesktopCase{"NoDesktopToolsAtAll", nullptr, -1, false},
                                         DesktopCase{"TheOpenerFails", "writer.desktop", 4, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(InstallerWindow, AProgramFolderWithoutVemraGetsItAppended) {
    TFrmInstall& w = home.Start({});
    w.ui->InsFolder->setText(QString::fromStdString(home.home / "Apps"));
    EXPECT_EQ(S(w.ui->InsFolder->text()), home.home / "Apps/Vemra");
    w.ui->VplFolder->setText(QString::fromStdString(home.home / "Plug"));
    EXPECT_EQ(S(w.ui->VplFolder->text()), home.home / "Plug/Vemra");
    w.ui->InsFolder->setText(QString::fromStdString(home.home / "Apps/Vemra"));
    EXPECT_EQ(S(w.ui->InsFolder->text()), home.home / "Apps/Vemra");
}

TEST_F(InstallerWindow, TheFolderDialogOpensAtTheBoxsFolderReadyToChooseIt) {
    ForceDirectories(home.home / "Apps/Vemra");
    TFrmInstall& w = home.Start({});
    struct Seen {
        std::string folder;
        bool chooseEnabled = false;
    };
    const auto browse = [](TDirectoryEdit* box) {
        Seen seen;
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (dialog == nullptr) {
                ADD_FAILURE() << "no folder dialog";
                if (modal != nullptr) modal->close();
                return;
            }
            // The listing is read in the background: the button follows once it is.
            WaitUntil(
                [&] { return dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->isEnabled(); },
                3000);
            seen.folder = S(dialog->directory().absolutePath());
            seen.chooseEnabled = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->isEnabled();
            if (seen.chooseEnabled)
                dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
            else
                dialog->close();
        });
        box->button()->click();
        return seen;
    };
    {
        const QSignalBlocker blocker(w.ui->InsFolder);
        w.ui->InsFolder->setText(QString::fromStdString(home.home / "Apps/Vemra"));
    }
    Seen seen = browse(w.ui->InsFolder);
    EXPECT_EQ(seen.folder, home.home / "Apps/Vemra");
    EXPECT_TRUE(seen.chooseEnabled);
    EXPECT_EQ(S(w.ui->InsFolder->text()), home.home / "Apps/Vemra") << "Choose keeps the folder";
    // A folder not made yet: its nearest existing parent.
    seen = browse(w.ui->VplFolder);
    EXPECT_EQ(seen.folder, home.home.path());
    EXPECT_TRUE(seen.chooseEnabled);
}

TEST_F(InstallerWindow, UnattendedInstallationWritesEverythingOfTheInstallation) {
    const std::string plugins = home.home / "Plug";
    const TDateTime before = Now();
    // Lower case is accepted; the trailing slash goes.
    home.Start({QStringLiteral("/install"), QString::fromStdString("/data=" + plugins + "/")}, true);
    ASSERT_TRUE(home.window->Installed());
    EXPECT_TRUE(home.window->Unattended());
    EXPECT_TRUE(home.messages.empty()) << home.messages.front();

    const std::string app = home.home / ".local/opt/Vemra";
    const std::string data = home.home / "data/Vemra";
    const std::string menu = home.home / "data/applications/Vemra";
    for (const char* program : {"vemra", "vmrupdater", "vmrfetch"}) {
        EXPECT_EQ(FileMode(JoinPath(app, program)) & 0777, 0755u) << program;
    }
    EXPECT_TRUE(FileExists(JoinPath(app, "license.rtf")));
    EXPECT_EQ(FolderEntries(plugins), (std::vector<std::string>{"CBR.vpl", "ECB.vpl", "plugins.dat"}));
    EXPECT_EQ(FolderEntries(data), std::vector<std::string>{"Resources.so"});
    EXPECT_EQ(FolderEntries(home.home / "tmp"), std::vector<std::string>{}) << "the archives are deleted";
    // Packages are loaded by every converter: their folder is the owner's alone.
    EXPECT_EQ(FileMode(plugins) & 022, 0u);

    auto regKey = MachineKey(setup::kInstallKey);
    TRegistry& reg = *regKey;
    struct Value {
        const char* name;
        std::string text;
    };
    const std::vector<Value> strings = {
        {"", "Vemra Currency Converter"},
        {"Vmr-Vemra", JoinPath(app, "vemra")},
        {"Vmr-VemraVer", VEMRA_VERSION_TEXT},
        {"Vmr-Updater", JoinPath(app, "vmrupdater")},
        {"Vmr-UpdaterVer", VEMRA_VERSION_TEXT},
        {"InstallFrom", S(QCoreApplication::applicationFilePath())},
        {"AppFolder", app},
        {"PubData", plugins},
        {"AppData", data},
        {"AppMenu", menu},
        {"DesktopIcon", home.home / "Desktop/Vemra.desktop"},
        {"StartupIcon", home.home / "config/autostart/Vemra.desktop"},
        {"UninstallLnk", menu + "/Uninstall.desktop"},
    };
    for (const Value& v : strings) {
        EXPECT_EQ(reg.GetDataType(v.name), TRegDataType::rdString) << v.name;
        EXPECT_EQ(reg.ReadString(v.name), v.text) << v.name;
    }
    EXPECT_EQ(reg.GetDataType("AllUser"), TRegDataType::rdInteger);
    EXPECT_FALSE(reg.ReadBool("AllUser")) << "all users fell back to the user's folders";
    EXPECT_EQ(reg.GetDataType("ProgramaticInstall"), TRegDataType::rdInteger);
    EXPECT_TRUE(reg.ReadBool("ProgramaticInstall"));
    EXPECT_EQ(reg.GetDataType("InstallDate"), TRegDataType::rdBinary);
    EXPECT_GE(reg.ReadDateTime("InstallDate"), before);
    EXPECT_LE(reg.ReadDateTime("InstallDate"), Now());

    auto entryKey = MachineKey(std::string(setup::kUninstallKey) + "\\Vemra");
    TRegistry& entry = *entryKey;
    EXPECT_EQ(entry.ReadString("DisplayName"), "Vemra Currency Converter");
    EXPECT_EQ(entry.ReadString("GetInstallData"), "\"" + JoinPath(app, "vmrupdater") + "\" /UNINSTALL");
    EXPECT_EQ(entry.ReadString("InstallLocation"), app);
    EXPECT_EQ(entry.ReadString("DisplayIcon"), JoinPath(app, "vemra"));
    EXPECT_EQ(entry.ReadString("DisplayVersion"), VEMRA_VERSION_TEXT);
    EXPECT_EQ(entry.ReadString("Publisher"), "BREMOLT Software");
    for (const char* address : {"URLInfoAbout", "URLUpdateInfo", "HelpLink"})
        EXPECT_EQ(entry.ReadString(address), "https://vemra.example.org") << address;
    EXPECT_EQ(entry.ReadInteger("NoModify"), 1);
    EXPECT_EQ(entry.ReadInteger("NoRepair"), 1);

    const std::string exec = "Exec=\"" + JoinPath(app, "vemra") + "\"\n";
    for (const std::string& shortcut : {home.home / "Desktop/Vemra.desktop", home.home / "config/autostart/Vemra.desktop",
                                        menu + "/Vemra.desktop"})
        EXPECT_NE(ReadText(shortcut).find(exec), std::string::npos) << shortcut << ReadText(shortcut);
    EXPECT_NE(ReadText(menu + "/Uninstall.desktop").find("Exec=\"" + JoinPath(app, "vmrupdater") + "\" /UNINSTALL\n"),
              std::string::npos)
        << ReadText(menu + "/Uninstall.desktop");
}

int machineReplaces = 0;
void CountMachineReplace(const std::string& temp) {
    if (ExtractFileName(temp).starts_with("machine.reg")) ++machineReplaces;
}

// The record is written whole, first or over an earlier one: a converter starting meanwhile,
// or a kill, meets the old record or the new one. The uninstall entry has a write of its own.
TEST_F(InstallerWindow, TheInstallRecordReachesTheHiveInOneReplace) {
    for (int run = 1; run <= 2; ++run) {
        machineReplaces = 0;
        TRegistry::SetReplaceHook(CountMachineReplace);
        const bool installed = home.InstallUnattended(home.home / "Plug");
        TRegistry::SetReplaceHook(nullptr);
        ASSERT_TRUE(installed) << run;
        EXPECT_EQ(machineReplaces, run == 1 ? 2 : 1) << run;  // an uninstall entry as it was costs none
        home.window.reset();
    }
}

TEST_F(InstallerWindow, ARelativePlugInsFolderIsRecordedAsTheFolderItNamesFromHere) {
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(home.home.path());
    const bool installed = home.InstallUnattended("plug/./sub/");
    std::filesystem::current_path(before);
    ASSERT_TRUE(installed) << (home.messages.empty() ? "" : home.messages.front());
    EXPECT_TRUE(FileExists(home.home / "plug/sub/ECB.vpl"));
    EXPECT_EQ(MachineKey(setup::kInstallKey)->ReadString("PubData"), home.home / "plug/sub");
}

TEST_F(InstallerWindow, NamesTakenInTheSharedTemporaryFolderDoNotStopTheInstallation) {
    // Another user's files under the names of the installer's archives, which it cannot replace.
    for (const char* name : {"Install.zip", "data.zip", "license.rtf"})
        ForceDirectories(home.home / (std::string("tmp/") + name));
    ASSERT_TRUE(home.InstallUnattended(home.home / "Plug")) << (home.messages.empty() ? "" : home.messages.front());
    EXPECT_EQ(FolderEntries(home.home / "tmp"), (std::vector<std::string>{"Install.zip", "data.zip", "license.rtf"}));
}

TEST_F(InstallerWindow, APlugInsFolderOthersCouldWriteIsTheOwnersAloneAfterTheInstallation) {
    ForceDirectories(home.home / "Plug");
    ASSERT_EQ(::chmod((home.home / "Plug").c_str(), 0777), 0);
    ASSERT_TRUE(home.InstallUnattended(home.home / "Plug"));
    EXPECT_EQ(FileMode(home.home / "Plug") & 0777, 0755u);
}

TEST_F(InstallerWindow, InstallationForAllUsersOnAWritableMachineUsesTheMachineFolders) {
    const std::string machine = home.home / "machine";
    ForceDirectories(machine);
    home.Start({QStringLiteral("/INSTALL"), QStringLiteral("/DATA=")}, true);
    ASSERT_TRUE(home.window->Installed()) << (home.messages.empty() ? "" : home.messages.front());
    const std::string plugins = machine + "/var/lib/Vemra";
    EXPECT_TRUE(FileExists(plugins + "/ECB.vpl")) << "nothing after /DATA= keeps the type's plug-ins folder";
    EXPECT_EQ(FileMode(plugins) & 022, 0u);
    EXPECT_EQ(FileMode(machine + "/opt/Vemra") & 022, 0u);
    EXPECT_TRUE(FileExists(machine + "/opt/Vemra/vemra"));
    EXPECT_TRUE(FileExists(machine + "/usr/local/share/applications/Vemra.desktop"));
    EXPECT_TRUE(FileExists(machine + "/usr/local/share/applications/Vemra/Uninstall.desktop"));
    EXPECT_TRUE(FileExists(machine + "/etc/xdg/autostart/Vemra.desktop"));
    EXPECT_TRUE(MachineKey(setup::kInstallKey)->ReadBool("AllUser"));
}

TEST_F(InstallerWindow, InstallAloneLeavesTheWindowUpWithoutAskingAboutThePreviousInstallation) {
    WritePrevious(home.home / "old/Vemra", home.home / "data/Vemra", home.home / "oldplug/Vemra", false, Now());
    TFrmInstall& w = home.Start({QStringLiteral("/INSTALL")});
    QCoreApplication::processEvents();
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.Unattended());
    EXPECT_FALSE(w.Installed());
    EXPECT_TRUE(home.messages.empty());
}

TEST_F(InstallerWindow, APreviousInstallationIsOfferedAsAnUpdateOnlyWithAnInstallDate) {
    const std::string old = home.home / "old/Vemra";
    const std::string oldPlug = home.home / "oldplug/Vemra";
    WritePrevious(old, home.home / "data/Vemra", oldPlug, false, 0);
    home.Start({});
    EXPECT_TRUE(home.messages.empty()) << "an install date of 0 is no installation";
    EXPECT_EQ(S(home.window->ui->InsFolder->text()), old);
    home.window.reset();

    WritePrevious(old, home.home / "data/Vemra", oldPlug, false, Now());
    home.answer = false;
    TFrmInstall& w = home.Start({});
    ASSERT_EQ(home.messages, std::vector<std::string>{kUpdate});
    EXPECT_TRUE(home.asked.front());
    // Declined: the folders follow the selected type again, the program folder stays.
    EXPECT_EQ(w.ui->cbUser->currentIndex(), 1);
    EXPECT_EQ(S(w.ui->VplFolder->text()), home.home / "Documents/Vemra");
    EXPECT_EQ(S(w.ui->InsFolder->text()), old);
    EXPECT_FALSE(w.Installed());
}

TEST_F(InstallerWindow, AnIntegerInstallDateCountsToo) {
    WritePrevious(home.home / "old/Vemra", home.home / "data/Vemra", home.home / "oldplug/Vemra", true, 45000, true);
    home.answer = false;
    home.Start({});
    EXPECT_EQ(home.messages, std::vector<std::string>{kUpdate});
}

TEST_F(InstallerWindow, AProgramFolderEqualToTheDataFolderIsReplacedByTheDefault) {
    WritePrevious(home.home / "data/Vemra", home.home / "data/Vemra", home.home / "oldplug/Vemra", false, 0);
    TFrmInstall& w = home.Start({});
    EXPECT_EQ(S(w.ui->InsFolder->text()), home.home / ".local/opt/Vemra");
}

TEST_F(InstallerWindow, AConfirmedUpdateInstallsIntoTheRecordedFoldersWithTheRecordedTypesShortcuts) {
    ForceDirectories(home.home / "machine");
    const std::string old = home.home / "old/Vemra";
    const std::string oldPlug = home.home / "oldplug/Vemra";
    WritePrevious(old, home.home / "data/Vemra", oldPlug, false, Now());
    home.Start({}, true);
    ASSERT_TRUE(home.window->Installed());
    EXPECT_EQ(home.messages, (std::vector<std::string>{kUpdate, kSuccess}));
    EXPECT_TRUE(FileExists(old + "/vemra"));
    EXPECT_TRUE(FileExists(oldPlug + "/ECB.vpl"));
    auto regKey = MachineKey(setup::kInstallKey);
    TRegistry& reg = *regKey;
    EXPECT_FALSE(reg.ReadBool("AllUser"));
    EXPECT_EQ(reg.ReadString("AppMenu"), home.home / "data/applications/Vemra");
    EXPECT_EQ(reg.ReadString("StartupIcon"), home.home / "config/autostart/Vemra.desktop");
    EXPECT_FALSE(reg.ReadBool("ProgramaticInstall"));
}

// A converter stands for the running one by its instance mark; asked to quit, it quits unless
// told to stay. The messages shown by then are kept.
class RunningConverter {
public:
    explicit RunningConverter(const SetupHome& home) : home_(home) {
        ::mkdir((home.home / "run").c_str(), 0700);
        atom_ = platform::GlobalAddAtom("JustOneVemraApp");
        TFrmInstall::WaitForQuit = [this] {
            if (quitAsked.empty()) messagesAtQuit = home_.messages;
            quitAsked.push_back(true);
            if (!stays && atom_ != 0) platform::GlobalDeleteAtom(std::exchange(atom_, 0));
        };
    }
    ~RunningConverter() {
        if (atom_ != 0) platform::GlobalDeleteAtom(atom_);
    }
    bool Running() const { return atom_ != 0 && platform::GlobalFindAtom("JustOneVemraApp") != 0; }
    bool stays = false;
    std::vector<bool> quitAsked;
    std::vector<std::string> messagesAtQuit;

private:
    const SetupHome& home_;
    std::uint16_t atom_ = 0;
};

TEST_F(InstallerWindow, ADeclinedUpdateLeavesTheRunningConverterRunningUntilTheInstallation) {
    WritePrevious(home.home / "old/Vemra", home.home / "data/Vemra", home.home / "oldplug/Vemra", false, Now());
    RunningConverter converter(home);
    home.answer = false;
    TFrmInstall& w = home.Start({});
    EXPECT_EQ(home.messages, std::vector<std::string>{kUpdate});
    EXPECT_TRUE(converter.quitAsked.empty());
    EXPECT_TRUE(converter.Running());
    EXPECT_FALSE(w.Ended());
    EXPECT_TRUE(w.isVisible());

    // Installing after all closes it first; one that does not quit leaves the window up.
    converter.stays = true;
    w.ui->chTerms->click();
    w.ui->BtInstall->click();
    EXPECT_EQ(home.messages, (std::vector<std::string>{kUpdate, kRunning}));
    EXPECT_FALSE(w.Installed());
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(FileExists(home.home / "old/Vemra/vemra"));
    converter.stays = false;
    w.ui->BtInstall->click();
    EXPECT_FALSE(converter.Running());
    EXPECT_TRUE(w.Installed());
    EXPECT_EQ(home.messages, (std::vector<std::string>{kUpdate, kRunning, kSuccess}));
}

TEST_F(InstallerWindow, AConfirmedUpdateClosesTheRunningConverterAfterTheQuestion) {
    WritePrevious(home.home / "old/Vemra", home.home / "data/Vemra", home.home / "oldplug/Vemra", false, Now());
    RunningConverter converter(home);
    home.Start({}, true);
    EXPECT_EQ(converter.messagesAtQuit, std::vector<std::string>{kUpdate});
    EXPECT_FALSE(converter.Running());
    EXPECT_TRUE(home.window->Installed());
    EXPECT_EQ(home.messages, (std::vector<std::string>{kUpdate, kSuccess}));
}

TEST_F(InstallerWindow, AttendedInstallationShowsTheProgressAndTheSuccessMessage) {
    TFrmInstall& w = home.Start({});
    w.ui->cbUser->setCurrentIndex(1);
    w.ui->chTerms->click();
    int highest = 0;
    bool boxesHidden = false;
    QObject::connect(w.ui->fpb, &QProgressBar::valueChanged, [&](int v) {
        highest = std::max(highest, v);
        boxesHidden = w.ui->fpb->isVisible() && !w.ui->VplFolder->isVisible() &&
                      S(w.ui->lbFolder->text()) == "Installation progress:";
    });
    bool typeLocked = false;
    QObject::connect(w.ui->fpb, &QProgressBar::valueChanged, [&] { typeLocked = !w.ui->cbUser->isEnabled(); });
    w.ui->BtInstall->click();
    EXPECT_TRUE(w.Installed());
    EXPECT_EQ(home.messages, std::vector<std::string>{kSuccess});
    EXPECT_EQ(highest, 100);
    EXPECT_TRUE(boxesHidden);
    EXPECT_TRUE(typeLocked) << "the installation type cannot change during the installation";
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(MachineKey(setup::kInstallKey)->ReadBool("AllUser"));
}

TEST_F(InstallerWindow, AFolderThatCannotBeWrittenGivesInvalidFolderAndChangesNothing) {
    WriteText(home.home / "afile", "x");
    TFrmInstall& w = home.Start({});
    {
        const QSignalBlocker blocker(w.ui->VplFolder);
        w.ui->VplFolder->setText(QString::fromStdString(home.home / "afile/Vemra"));
    }
    w.ui->chTerms->click();
    w.ui->BtInstall->click();
    EXPECT_EQ(home.messages, std::vector<std::string>{kInvalid});
    EXPECT_FALSE(w.Installed());
    EXPECT_TRUE(w.ui->VplFolder->isVisible());
    EXPECT_TRUE(w.ui->BtInstall->isEnabled());
    EXPECT_FALSE(FileExists(home.home / ".local/opt/Vemra/vemra"));
}

TEST_F(InstallerWindow, AFailedInstallationShowsTheFolderBoxesAgain) {
    // A folder where the program file belongs makes its unpacking fail.
    ForceDirectories(home.home / ".local/opt/Vemra/vemra");
    TFrmInstall& w = home.Start({});
    w.ui->chTerms->click();
    w.ui->BtInstall->click();
    EXPECT_EQ(home.messages, std::vector<std::string>{kFailed});
    EXPECT_FALSE(w.Installed());
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.ui->InsFolder->isVisible());
    EXPECT_TRUE(w.ui->lbPlugins->isVisible());
    EXPECT_TRUE(w.ui->VplFolder->isVisible());
    EXPECT_FALSE(w.ui->fpb->isVisible());
    EXPECT_TRUE(w.ui->cbUser->isEnabled());
    EXPECT_EQ(S(w.ui->lbFolder->text()), "&Installation folder:");
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(reg.OpenKeyReadOnly(setup::kInstallKey));
}

TEST_F(InstallerWindow, AConverterThatNeverQuitsEndsTheSetupAfter51Passes) {
    ::mkdir((home.home / "run").c_str(), 0700);
    const auto atom = platform::GlobalAddAtom("JustOneVemraApp");
    ASSERT_NE(atom, 0);
    int waits = 0;
    TFrmInstall::WaitForQuit = [&] { ++waits; };
    TFrmInstall& w = home.Start({QStringLiteral("/INSTALL"), QString::fromStdString("/DATA=" + home.home / "Plug")});
    platform::GlobalDeleteAtom(atom);
    EXPECT_TRUE(w.Ended());
    EXPECT_EQ(w.QuitPasses(), 51);
    EXPECT_EQ(waits, 51);
    EXPECT_EQ(home.messages, std::vector<std::string>{kRunning});
    EXPECT_FALSE(w.Installed());
    EXPECT_FALSE(DirectoryExists(home.home / "Plug"));
}

TEST_F(InstallerWindow, ASecondUnattendedInstallationClosesTheRunningConverterFirst) {
    ASSERT_TRUE(home.InstallUnattended(home.home / "Plug"));
    home.window.reset();
    QProcess converter;
    converter.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    converter.setProcessEnvironment(env);
    converter.start(QString::fromStdString(home.home / ".local/opt/Vemra/vemra"), {});
    ASSERT_TRUE(converter.waitForStarted(5000));
    // Looked for without pause while the converter makes it: a look must never remove a new mark.
    ASSERT_TRUE(WaitUntil([] { return platform::GlobalFindAtom("JustOneVemraApp") != 0; }, 20000))
        << "the installed converter did not start: " << testing::PrintToString(FolderEntries(home.home / "run", true));
    // Its start-up goes on after the mark: let it reach the message loop.
    WaitUntil([] { return false; }, 2000);
    ASSERT_NE(platform::GlobalFindAtom("JustOneVemraApp"), 0) << "the converter ended its start";
    ASSERT_TRUE(home.InstallUnattended(home.home / "Plug")) << (home.messages.empty() ? "" : home.messages.front());
    EXPECT_GE(home.window->QuitPasses(), 2);
    EXPECT_TRUE(converter.state() == QProcess::NotRunning || converter.waitForFinished(10000));
    EXPECT_EQ(converter.exitStatus(), QProcess::NormalExit);
    EXPECT_TRUE(home.messages.empty());
}

// The rest of its scope runs with the real and effective user and group 65534, as a normal
// user's installer does; root comes back at its end (the saved user stays root).
class AsNormalUser {
public:
    AsNormalUser() : groups_(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0))) {
        groups_.resize(
            static_cast<std::size_t>(std::max(::getgroups(static_cast<int>(groups_.size()), groups_.data()), 0)));
        ok_ = ::setgroups(0, nullptr) == 0 && ::setresgid(kNobody, kNobody, 0) == 0 &&
              ::setresuid(kNobody, kNobody, 0) == 0;
    }
    ~AsNormalUser() {
        static_cast<void>(::setresuid(0, 0, 0));
        static_cast<void>(::setresgid(0, 0, 0));
        static_cast<void>(::setgroups(groups_.size(), groups_.data()));
    }
    AsNormalUser(const AsNormalUser&) = delete;
    AsNormalUser& operator=(const AsNormalUser&) = delete;
    bool Ok() const { return ok_; }
    static constexpr uid_t kNobody = 65534;

private:
    std::vector<gid_t> groups_;
    bool ok_ = false;
};

// A normal user's first installer run beside root's installation for all users: the user's
// own record, which does not exist yet, is the one read, so the machine-wide installation is
// neither offered as an update nor are its folders proposed.
TEST(InstallerOfANormalUser, ReadsItsOwnRecordAloneBesideAMachineWideOne) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to record an installation for all users";
    SetupHome home(true);
    home.env.Unset("VEMRA_REGISTRY_DIR");
    const std::string machine = home.home / "machine";
    for (const char* folder : {"/opt/Vemra", "/var/lib/Vemra"}) ASSERT_TRUE(ForceDirectories(machine + folder));
    TRegistry::PinMachineHive(TRegistry::SystemMachineHive());
    WritePrevious(machine + "/opt/Vemra", home.home / "data/Vemra", machine + "/var/lib/Vemra", true, Now());
    TRegistry::PinMachineHive("");
    const std::string record = ReadText(TRegistry::SystemMachineHive());
    ASSERT_NE(record.find(machine + "/opt/Vemra"), std::string::npos);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home.home.path())) {
        if (!entry.path().string().starts_with(machine)) {
            ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
        }
    }
    ASSERT_EQ(::chown(home.home.path().c_str(), 65534, 65534), 0);
    {
        const AsNormalUser user;
        ASSERT_TRUE(user.Ok());
        TFrmInstall& w = home.Start({});
        EXPECT_EQ(home.messages, std::vector<std::string>{});
        EXPECT_EQ(S(w.ui->InsFolder->text()), home.home / ".local/opt/Vemra");
        EXPECT_EQ(S(w.ui->VplFolder->text()), home.home / "Documents/Vemra");
        EXPECT_EQ(w.ui->cbUser->currentIndex(), setup::kCurrentUser);
        EXPECT_EQ(TRegistry::HivePathForRead(HKEY_LOCAL_MACHINE), TRegistry::UserMachineHive());
        home.window.reset();
    }
    EXPECT_EQ(ReadText(TRegistry::SystemMachineHive()), record);
}

}  // namespace
}  // namespace vemra::test
