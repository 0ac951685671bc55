#include "FrmInstall.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegion>
#include <QScreen>
#include <QSignalBlocker>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>
#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "ArchiveExtract.h"
#include "CommandChannel.h"
#include "DirectoryEdit.h"
#include "MsgBase.h"
#include "SysCaller.h"
#include "SysWinCore.h"
#include "platform/Registry.h"
#include "rtl/DateUtils.h"
#include "rtl/SysUtils.h"
#include "ui_FrmInstall.h"
#include "vmrconsts.h"

// The window's pictures live in this static library.
static void InitInstallerPictures() { Q_INIT_RESOURCE(FrmInstall); }

namespace vemra {
namespace {

const QString kConverterWindowClass = QStringLiteral("TVMRConverter");
constexpr unsigned kQuitCommand = 99;
constexpr unsigned kInstallCommand = 1;

const char* const kMsgRunning = "Please manually quit Vemra before setup and try again.";
const char* const kMsgUpdate = "About to update vemra with current settings, proceed?";
const char* const kMsgInvalidFolder = "Error: invalid folder";
const char* const kMsgFailed = "Error while installing application";
const char* const kMsgSuccess = "Application has been succsessfully installed\r\nPlease start application from desktop icon.";

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// The bytes of one of the installer's embedded resources (LIC, RAR, DAT, VER).
QByteArray EmbeddedData(const char* name) {
    QFile file(QStringLiteral(":/vemrasetup/data/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error(std::string("Resource ") + name + " not found");
    return file.readAll();
}

void WriteEmbedded(const char* name, const std::string& fileName) {
    const QByteArray bytes = EmbeddedData(name);
    ForceDirectories(ExtractFileDir(fileName));
    WriteFileAtomic(fileName, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void MakeExecutable(const std::string& path) {
    if (chmod(path.c_str(), 0755) != 0) throw std::runtime_error("cannot make " + path + " executable");
}

// A private temporary folder that goes with everything in it, however the installation ends.
class PrivateTempFolder {
public:
    PrivateTempFolder() : path_(setup::MakePrivateFolder(GetSystemDir(2), "vemrasetup")) {
        if (path_.empty()) throw std::runtime_error("cannot make a private temporary folder");
    }
    ~PrivateTempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    PrivateTempFolder(const PrivateTempFolder&) = delete;
    PrivateTempFolder& operator=(const PrivateTempFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Whether the desktop names a program for RTF documents: xdg-open without one hands the file
// to whatever it finds (often nothing visible happens), so the installer shows the text itself.
bool DesktopOpensRtf() {
    for (const char* type : {"application/rtf", "text/rtf"}) {
        QProcess query;
        query.start(QStringLiteral("xdg-mime"),
                    {QStringLiteral("query"), QStringLiteral("default"), QLatin1String(type)});
        if (!query.waitForStarted(2000)) return false;
        if (!query.waitForFinished(2000)) {
            query.kill();
            query.waitForFinished(500);
            continue;
        }
        if (query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0 &&
            !query.readAllStandardOutput().trimmed().isEmpty())
            return true;
    }
    return false;
}

}  // namespace

std::function<bool(const QString&, bool)> TFrmInstall::ShowMessage = [](const QString& text, bool askYesNo) {
    auto* box = new TFrmMsgBase();
    MsgBox = box;
    return box->Execute(text, askYesNo);
};

std::function<void()> TFrmInstall::WaitForQuit = [] { QThread::msleep(setup::kQuitPassMs); };

TFrmInstall::TFrmInstall(const QStringList& arguments, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFrmInstall>()) {
    InitInstallerPictures();
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    ui->lbFolder->setBuddy(ui->InsFolder->edit());
    ui->fpb->setRange(0, 100);
    connect(ui->cbUser, &QComboBox::currentIndexChanged, this, [this] { cbUserChange(); });
    connect(ui->InsFolder, &TDirectoryEdit::textChanged, this, [this] { InsFolderChange(ui->InsFolder); });
    connect(ui->VplFolder, &TDirectoryEdit::textChanged, this, [this] { InsFolderChange(ui->VplFolder); });
    connect(ui->chTerms, &QCheckBox::clicked, this, [this] { chTermsClick(); });
    connect(ui->BtTerms, &QPushButton::clicked, this, [this] { BtTermsClick(); });
    connect(ui->BtInstall, &QPushButton::clicked, this, [this] { BtInstallClick(); });
    connect(ui->BtClose, &QPushButton::clicked, this, &QWidget::close);
    FormCreate(arguments);
}

TFrmInstall::~TFrmInstall() {
    if (!termsFolder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(termsFolder_, ignored);
    }
}

void TFrmInstall::FormCreate(const QStringList& arguments) {
    const QSize size = ui->Mask->pixmap().isNull() ? QSize(462, 278) : ui->Mask->pixmap().size();
    setFixedSize(size);
    ui->Mask->setGeometry(0, 0, size.width(), size.height());
    QPainterPath rounded;
    rounded.addRoundedRect(QRectF(0, 0, size.width(), size.height()), 9, 9);
    setMask(QRegion(rounded.toFillPolygon().toPolygon()));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) move(screen->geometry().center() - rect().center());
    ui->InsFolder->setText(Q(setup::DefaultProgramFolder()));

    unattended_ = false;
    // The installer reads the record it is going to write: the machine-wide one where it may
    // write that, else the user's own. A user's installation never reads or changes the
    // machine-wide record, nor root's the user's.
    TRegistry::PinMachineHive("");  // so that the store's own rule answers, not an earlier pin
    TRegistry::PinMachineHive(TRegistry::HivePathForWrite(HKEY_LOCAL_MACHINE));
    ReadInstallSettings();
    // A normal user cannot install for all users: its folders would be the user's own anyway.
    {
        const QSignalBlocker blocker(ui->cbUser);
        ui->cbUser->setCurrentIndex(setup::CanInstallForAllUsers() ? setup::kAllUsers : setup::kCurrentUser);
    }
    cbUserChange();

    const bool install = !arguments.isEmpty() && setup::IsInstallParameter(S(arguments.value(0)));
    // An update is asked about before a running converter is closed, so that declining it
    // leaves the converter running.
    const bool offerUpdate = !install && ReadPreviousInstall();
    if (!offerUpdate && !CloseRunningConverter()) {
        ended_ = true;
        return;
    }
    if (install) {
        std::string folder;
        if (arguments.size() > 1 && setup::ParseDataParameter(S(arguments.value(1)), folder)) {
            // Nothing after "/DATA=" keeps the plug-ins folder of the installation type; a
            // relative folder is recorded as the absolute one it names from here, since the
            // converter starts from other folders.
            folder = folder.empty() ? S(ui->VplFolder->text()) : setup::AbsoluteFolder(folder);
            if (ForceDirectories(folder)) {
                unattended_ = true;
                const QSignalBlocker blocker(ui->VplFolder);
                ui->VplFolder->setText(Q(folder));
            }
        }
        if (unattended_) {
            ui->chTerms->setChecked(true);
            PostInstall();
        }
        return;
    }
    if (offerUpdate && ShowMessage(QString::fromLatin1(kMsgUpdate), true)) {
        if (!CloseRunningConverter()) {
            ended_ = true;
            return;
        }
        // The shortcuts follow the recorded installation type; the plug-ins folder stays the
        // recorded one.
        const std::string plugins = S(ui->VplFolder->text());
        Folders = setup::FoldersForType(ui->cbUser->currentIndex());
        Folders.PubData = plugins;
        PostInstall();
    } else {
        cbUserChange();
    }
}

void TFrmInstall::PostInstall() {
    QMetaObject::invokeMethod(this, [this] { Command(kInstallCommand); }, Qt::QueuedConnection);
}

bool TFrmInstall::AppIsRunning(const std::string& name) {
    return setup::AppIsRunning(
        name, [] { ui::PostCommand(kConverterWindowClass, kQuitCommand, 0, 500); }, WaitForQuit, quitPasses_);
}

bool TFrmInstall::CloseRunningConverter() {
    if (!AppIsRunning(setup::kConverterName)) return true;
    ShowMessage(QString::fromLatin1(kMsgRunning), false);
    return false;
}

bool TFrmInstall::ReadPreviousInstall() {
    TRegistry reg(KEY_READ | RegistryView);
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKeyReadOnly(setup::kInstallKey)) return false;
    TDateTime installDate = 0;
    try {
        if (reg.ValueExists("AppFolder")) {
            std::string folder = reg.ReadString("AppFolder");
            if (reg.ValueExists("AppData") && folder == reg.ReadString("AppData")) folder = setup::DefaultProgramFolder();
            const QSignalBlocker blocker(ui->InsFolder);
            ui->InsFolder->setText(Q(folder));
        }
        if (reg.ValueExists("PubData")) {
            const QSignalBlocker blocker(ui->VplFolder);
            ui->VplFolder->setText(Q(reg.ReadString("PubData")));
        }
        if (reg.ValueExists("AllUser")) {
            const QSignalBlocker blocker(ui->cbUser);
            ui->cbUser->setCurrentIndex(reg.ReadBool("AllUser") ? setup::kAllUsers : setup::kCurrentUser);
        }
        if (reg.ValueExists("InstallDate")) {
            try {
                installDate = reg.ReadInteger("InstallDate");
            } catch (const std::exception&) {
                installDate = reg.ReadDateTime("InstallDate");
            }
        }
    } catch (const std::exception&) {
        return false;
    }
    Folders.PubData = S(ui->VplFolder->text());
    return CheckFoldersWritable() && installDate > 0;
}

bool TFrmInstall::CheckFoldersWritable() {
    return setup::CheckFoldersWritable({S(ui->InsFolder->text()), S(ui->VplFolder->text()), Folders.AppMenu});
}

void TFrmInstall::cbUserChange() {
    Folders = setup::FoldersForType(ui->cbUser->currentIndex());
    const QSignalBlocker blocker(ui->VplFolder);
    ui->VplFolder->setText(Q(Folders.PubData));
}

void TFrmInstall::InsFolderChange(TDirectoryEdit* edit) {
    const QString folder = Q(setup::FolderWithVemra(S(edit->text())));
    if (folder == edit->text()) return;
    const QSignalBlocker blocker(edit);
    edit->setText(folder);
}

void TFrmInstall::chTermsClick() { ui->BtInstall->setEnabled(ui->chTerms->isChecked()); }

void TFrmInstall::BtTermsClick() {
    try {
        // A folder of our own: a fixed name in the shared temporary folder could be a link
        // that another user planted there.
        if (termsFolder_.empty()) termsFolder_ = setup::MakePrivateFolder(GetSystemDir(2), "vemrasetup-terms");
        if (!termsFolder_.empty() && DesktopOpensRtf()) {
            const std::string file = JoinPath(termsFolder_, setup::kLicenseFile);
            WriteEmbedded("LIC", file);
            ShellOpen(file);
            return;
        }
    } catch (const std::exception&) {
        // No program opened it: the text is shown below.
    }
    try {
        ShowTermsWindow();
    } catch (const std::exception& error) {
        ShowMessage(QString::fromStdString(error.what()), false);
    }
}

void TFrmInstall::ShowTermsWindow() {
    if (termsWindow_ == nullptr) {
        termsWindow_ = new QDialog(this);
        termsWindow_->setObjectName(QStringLiteral("TermsWindow"));
        termsWindow_->setWindowTitle(QStringLiteral("Terms & conditions"));
        auto* text = new QPlainTextEdit(termsWindow_);
        text->setObjectName(QStringLiteral("TermsText"));
        text->setReadOnly(true);
        const QByteArray rtf = EmbeddedData("LIC");
        text->setPlainText(
            Q(setup::RtfToPlainText(std::string_view(rtf.constData(), static_cast<std::size_t>(rtf.size())))));
        auto* close = new QPushButton(QStringLiteral("&Close"), termsWindow_);
        close->setObjectName(QStringLiteral("btTermsClose"));
        connect(close, &QPushButton::clicked, termsWindow_, &QDialog::close);
        auto* layout = new QVBoxLayout(termsWindow_);
        layout->addWidget(text);
        layout->addWidget(close, 0, Qt::AlignRight);
        termsWindow_->resize(480, 360);
    }
    termsWindow_->show();
    termsWindow_->raise();
    termsWindow_->activateWindow();
}

void TFrmInstall::Command(unsigned wParam) {
    if (wParam != kInstallCommand) return;
    ui->chTerms->setChecked(true);
    ui->chTerms->hide();
    chTermsClick();
    ui->BtInstall->click();
    close();
}

void TFrmInstall::SetFolderBoxesVisible(bool visible) {
    ui->InsFolder->setVisible(visible);
    ui->lbPlugins->setVisible(visible);
    ui->VplFolder->setVisible(visible);
    ui->fpb->setVisible(!visible);
}

void TFrmInstall::Progress(std::uint64_t done, std::uint64_t total) {
    if (total == 0) return;
    ui->fpb->setValue(static_cast<int>(std::lround(static_cast<double>(done) / static_cast<double>(total) * 100.0)));
    ui->fpb->repaint();
    QThread::msleep(5);
}

void TFrmInstall::BtInstallClick() {
    // A converter running by now (a declined update left it so, or the user started it since)
    // is closed before its files are replaced; one that stays leaves the window up to retry.
    if (!unattended_ && !CloseRunningConverter()) return;
    PubData = S(ui->VplFolder->text());
    Folders.PubData = PubData;
    if (!CheckFoldersWritable()) {
        ShowMessage(QString::fromLatin1(kMsgInvalidFolder), false);
        return;
    }
    bool ok = false;
    try {
        Install();
        WriteInstallKey();
        ok = true;
    } catch (const std::exception&) {
        ok = false;
    }
    if (ok) {
        try {
            WriteUninstallEntry();
        } catch (const std::exception&) {
            // The installation works without it; only the system's list of programs misses it.
        }
        installed_ = true;
        if (!unattended_) ShowMessage(QString::fromLatin1(kMsgSuccess), false);
        close();
        return;
    }
    ShowMessage(QString::fromLatin1(kMsgFailed), false);
    ui->lbFolder->setText(QStringLiteral("&Installation folder:"));
    SetFolderBoxesVisible(true);
    ui->cbUser->setEnabled(true);
}

void TFrmInstall::Install() {
    ui->lbFolder->setText(QStringLiteral("Installation progress:"));
    SetFolderBoxesVisible(false);
    // The folders of the type are taken: a change now would not reach this installation.
    ui->cbUser->setEnabled(false);
    repaint();

    AppFolder = S(ui->InsFolder->text());
    WriteEmbedded("LIC", JoinPath(AppFolder, setup::kLicenseFile));
    TExtractLimits limits;
    limits.Progress = [this](std::uint64_t done, std::uint64_t total) { Progress(done, total); };
    TStringList names;
    // The archives go to a folder of our own: fixed names in the shared temporary folder could
    // be taken by another user first, and two installations at once would collide.
    const PrivateTempFolder temp;
    const std::string programs = JoinPath(temp.path(), "Install.zip");
    WriteEmbedded("RAR", programs);
    const bool programsOk = ExtractArchiveFiles(programs, AppFolder, names, limits);
    DeleteFile(programs);
    if (!programsOk) throw std::runtime_error("the programs could not be unpacked");
    MakeExecutable(JoinPath(AppFolder, setup::MainProgramName()));
    MakeExecutable(JoinPath(AppFolder, setup::UpdaterProgramName()));
    MakeExecutable(JoinPath(AppFolder, setup::FetchProgramName()));
    ui->fpb->setValue(0);

    AppData = setup::LocalAppDataFolder();
    if (!ForceDirectories(AppData)) throw std::runtime_error("cannot make " + AppData);
    const std::string dataArchive = JoinPath(temp.path(), "data.zip");
    WriteEmbedded("DAT", dataArchive);
    const bool dataOk = ExtractArchiveFiles(dataArchive, AppData, names, limits);
    DeleteFile(dataArchive);
    if (!dataOk) throw std::runtime_error("the data could not be unpacked");

    // The packages and the master plug-in store belong in the plug-ins folder.
    auto moved = ListFiles(JoinPath(AppData, "*.vpl"));
    moved->Add("plugins.dat");
    for (const auto& item : *moved) {
        const std::string from = JoinPath(AppData, item.str);
        if (!FileExists(from)) continue;
        if (CopyFileTo(from, JoinPath(PubData, item.str), false)) DeleteFile(from);
    }
    // Packages found there are loaded by every converter of the installation.
    setup::RestrictToOwner(PubData);
    setup::RestrictToOwner(AppFolder);

    const std::string mainProgram = JoinPath(AppFolder, setup::MainProgramName());
    CreateShortcut(Folders.DesktopBase, mainProgram, "");
    CreateShortcut(Folders.StartupBase, mainProgram, "");
    CreateShortcut(JoinPath(Folders.AppMenu, "Vemra"), mainProgram, "");
    CreateShortcut(JoinPath(Folders.AppMenu, "Uninstall"), JoinPath(AppFolder, setup::UpdaterProgramName()),
                   setup::kUninstallArgument);
    ui->BtInstall->setEnabled(false);
    ui->chTerms->setEnabled(false);
}

void TFrmInstall::WriteInstallKey() {
    const std::string mainProgram = JoinPath(AppFolder, setup::MainProgramName());
    const std::string updater = JoinPath(AppFolder, setup::UpdaterProgramName());
    const std::string ext = ".desktop";
    TRegistry reg(KEY_ALL_ACCESS | RegistryView);
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    // The record reaches the file whole or not at all: a converter starting meanwhile, or a
    // kill, never meets one with some values of the new installation and some of the old.
    TRegistryBatch batch(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKey(setup::kInstallKey, true)) throw std::runtime_error("cannot open the install key");
    reg.WriteString("", setup::kProductName);
    reg.WriteString("Vmr-Vemra", mainProgram);
    reg.WriteString("Vmr-VemraVer", GetFileVersionText(mainProgram));
    reg.WriteString("Vmr-Updater", updater);
    reg.WriteString("Vmr-UpdaterVer", GetFileVersionText(updater));
    reg.WriteString("InstallFrom", S(QCoreApplication::applicationFilePath()));
    reg.WriteString("AppFolder", AppFolder);
    reg.WriteString("PubData", PubData);
    reg.WriteString("AppData", AppData);
    reg.WriteString("AppMenu", Folders.AppMenu);
    reg.WriteString("DesktopIcon", Folders.DesktopBase + ext);
    reg.WriteString("StartupIcon", Folders.StartupBase + ext);
    reg.WriteString("UninstallLnk", JoinPath(Folders.AppMenu, "Uninstall") + ext);
    // "All users" that fell back to the user's own folders is an installation for the user.
    reg.WriteBool("AllUser", ui->cbUser->currentIndex() == setup::kAllUsers && GetSpecialFolder(6) != GetSpecialFolder(9));
    reg.WriteBool("ProgramaticInstall", unattended_);
    reg.WriteDateTime("InstallDate", Now());
    reg.CloseKey();
    if (!batch.Commit()) throw std::runtime_error("cannot store the install key");
}

void TFrmInstall::WriteUninstallEntry() {
    const std::string mainProgram = JoinPath(AppFolder, setup::MainProgramName());
    TRegistry reg(KEY_ALL_ACCESS | RegistryView);
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    TRegistryBatch batch(HKEY_LOCAL_MACHINE);
    // Our store starts without the system's uninstall list, so the installer makes it.
    if (!reg.OpenKey(std::string(setup::kUninstallKey) + "\\" + setup::kUninstallSubkey, true)) return;
    const std::string address = setup::ProductAddress();
    reg.WriteString("DisplayName", setup::kProductName);
    reg.WriteString("GetInstallData", "\"" + JoinPath(AppFolder, setup::UpdaterProgramName()) + "\" " +
                                          setup::kUninstallArgument);
    reg.WriteString("InstallLocation", AppFolder);
    reg.WriteString("DisplayIcon", mainProgram);
    reg.WriteString("DisplayVersion", GetFileVersionText(mainProgram));
    reg.WriteString("Publisher", setup::kPublisher);
    reg.WriteString("URLInfoAbout", address);
    reg.WriteString("URLUpdateInfo", address);
    reg.WriteString("HelpLink", address);
    reg.WriteInteger("NoModify", 1);
    reg.WriteInteger("NoRepair", 1);
    reg.CloseKey();
    batch.Commit();  // its failure is not told: the installation works without the entry
}

void TFrmInstall::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && windowHandle() != nullptr) windowHandle()->startSystemMove();
    QWidget::mousePressEvent(event);
}

}  // namespace vemra
