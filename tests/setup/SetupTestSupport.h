#pragma once
// A temporary home for the installer's tests: HOME, the XDG folders, the registry store, the
// runtime folder and the machine-wide folders all inside it, so that nothing outside is
// written, also when the tests run as root. The installer window runs in this process with
// its message boxes recorded.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QThread>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FrmInstall.h"
#include "SetupCore.h"
#include "SysWinCore.h"
#include "platform/Registry.h"
#include "support/TestUtils.h"
#include "vmrconsts.h"

namespace vemra::test {

inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) return false;
        // No pause: a close watch of another program's files is what the installer does too.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class SetupHome {
public:
    // machineWritable: the machine-wide folders exist and can be written (an installation by
    // root); otherwise they fall back to the user's, as for a normal user.
    explicit SetupHome(bool machineWritable = false) {
        env.Set("HOME", home.path());
        env.Set("XDG_DATA_HOME", home / "data");
        env.Set("XDG_CONFIG_HOME", home / "config");
        env.Set("VEMRA_REGISTRY_DIR", home / "registry");
        TRegistry::PinMachineHive("");  // the installer pins the hive it writes
        ::mkdir((home / "run").c_str(), 0700);
        ::mkdir((home / "tmp").c_str(), 0700);
        env.Set("XDG_RUNTIME_DIR", home / "run");
        env.Set("TMPDIR", home / "tmp");
        if (machineWritable) ::mkdir((home / "machine").c_str(), 0755);
        env.Set("VEMRA_SYSTEM_ROOT", home / "machine");
        env.Set("LC_ALL", std::nullopt);
        env.Set("LC_MESSAGES", "en_US.UTF-8");
        savedShow_ = TFrmInstall::ShowMessage;
        savedWait_ = TFrmInstall::WaitForQuit;
        TFrmInstall::ShowMessage = [this](const QString& text, bool askYesNo) {
            messages.push_back(text.toStdString());
            asked.push_back(askYesNo);
            return answer;
        };
        savedGlobals_ = {AppFolder, PubData, AppData, TempDir};
        TempDir = home / "tmp";
    }
    ~SetupHome() {
        window.reset();
        TRegistry::PinMachineHive("");
        TFrmInstall::ShowMessage = savedShow_;
        TFrmInstall::WaitForQuit = savedWait_;
        AppFolder = savedGlobals_[0];
        PubData = savedGlobals_[1];
        AppData = savedGlobals_[2];
        TempDir = savedGlobals_[3];
    }
    // Creates the window with the command line; with waitForEnd, runs events until the window
    // has closed (an unattended or confirmed run) or the time is up.
    TFrmInstall& Start(const QStringList& arguments, bool waitForEnd = false) {
        window = std::make_unique<TFrmInstall>(arguments);
        if (!window->Ended()) window->show();
        if (waitForEnd) WaitUntil([this] { return !window->isVisible(); }, 30000);
        QCoreApplication::processEvents();
        return *window;
    }
    // An unattended installation with the plug-ins folder given; true when it installed.
    bool InstallUnattended(const std::string& plugins) {
        Start({QStringLiteral("/INSTALL"), QString::fromStdString("/DATA=" + plugins)}, true);
        return window->Installed();
    }

    TempFolder home{"installer-home"};
    ScopedEnv env;
    std::vector<std::string> messages;
    std::vector<bool> asked;
    bool answer = true;
    std::unique_ptr<TFrmInstall> window;

private:
    std::function<bool(const QString&, bool)> savedShow_;
    std::function<void()> savedWait_;
    std::vector<std::string> savedGlobals_;
};

}  // namespace vemra::test
