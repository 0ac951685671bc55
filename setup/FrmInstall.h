#pragma once
// TFrmInstall: the installer's one window. It asks for the program folder, the plug-ins
// folder and the installation type, shows the licence terms, and installs: the programs into
// the program folder, the packages and the resource library into the local application data
// (packages moved on to the plug-ins folder), the shortcuts, the install key and the
// uninstall entry. A running converter is asked to quit first.

#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "SetupCore.h"

class QDialog;

namespace Ui {
class TFrmInstall;
}

namespace vemra {

class TFrmInstall : public QWidget {
    Q_OBJECT
public:
    // arguments: the command line without the program (parameter 1 first).
    explicit TFrmInstall(const QStringList& arguments, QWidget* parent = nullptr);
    ~TFrmInstall() override;

    // Shows a message box (Yes/No when askYesNo); true for OK or Yes. Tests replace it.
    static std::function<bool(const QString& text, bool askYesNo)> ShowMessage;
    // Waits between two quit requests to a running converter. Tests replace it.
    static std::function<void()> WaitForQuit;

    // Whether the start found a converter that would not quit (the program ends then).
    bool Ended() const { return ended_; }
    // Whether an installation succeeded.
    bool Installed() const { return installed_; }
    // Passes the last AppIsRunning made.
    int QuitPasses() const { return quitPasses_; }
    bool Unattended() const { return unattended_; }

    bool AppIsRunning(const std::string& name);
    bool ReadPreviousInstall();
    // Asks a running converter to quit; false, after the message, when it is still running.
    bool CloseRunningConverter();
    bool CheckFoldersWritable();
    void cbUserChange();
    void InsFolderChange(class TDirectoryEdit* edit);
    void chTermsClick();
    void BtTermsClick();
    void BtInstallClick();
    // The window message WM_USER + 73 to itself: 1 starts the installation.
    void Command(unsigned wParam);

    std::unique_ptr<Ui::TFrmInstall> ui;
    // The folders of the selected type (plug-ins folder shown in VplFolder).
    setup::TInstallFolders Folders;

protected:
    void mousePressEvent(class QMouseEvent* event) override;

private:
    void FormCreate(const QStringList& arguments);
    void PostInstall();
    void Install();
    void WriteInstallKey();
    void WriteUninstallEntry();
    void SetFolderBoxesVisible(bool visible);
    // The licence's text in a read-only window of the installer's own.
    void ShowTermsWindow();
    void Progress(std::uint64_t done, std::uint64_t total);

    bool unattended_ = false;
    bool ended_ = false;
    bool installed_ = false;
    int quitPasses_ = 0;
    // The private folder the licence is written to for the desktop's viewer; removed at the end.
    std::string termsFolder_;
    QDialog* termsWindow_ = nullptr;
};

}  // namespace vemra
