#pragma once
// A started converter for the application's tests: an installation laid out in a temporary home
// the way the run command does, a fresh data module and the main window created on it.

#include <gtest/gtest.h>

#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QString>
#include <QTimer>

#include <sys/stat.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "CurrencyConverter.h"
#include "InstallationLayout.h"
#include "VMRConverterForm.h"
#include "VMRMessageForm.h"
#include "dm.h"
#include "platform/Registry.h"
#include "support/TestUtils.h"

namespace vemra::test {

class ConverterHome {
public:
    // Points HOME, the XDG folders and the registry at a fresh temporary home (named after
    // folder) and answers the start-up's dialogs; lays the installation out from shippedDir
    // unless it is empty. A fixture may set StartupDialogs itself afterwards: it is restored.
    explicit ConverterHome(const std::string& shippedDir, std::string_view folder = "vemra-clip") : home(folder) {
        env.Set("HOME", home.path());
        env.Set("XDG_DATA_HOME", home / "data");
        env.Set("XDG_CONFIG_HOME", home / "config");
        env.Set("VEMRA_REGISTRY_DIR", home / "registry");
        // A start pins the machine hive it chose; each home begins with the store's own rule.
        TRegistry::PinMachineHive("");
        ::mkdir((home / "run").c_str(), 0700);
        env.Set("XDG_RUNTIME_DIR", home / "run");
        env.Set("LC_ALL", std::nullopt);
        env.Set("LC_MESSAGES", "en_US.UTF-8");
        saved_ = StartupDialogs;
        StartupDialogs.Ask = [](const std::string&) { return true; };
        StartupDialogs.Show = [this](const std::string& text) { shown = text; };
        if (!shippedDir.empty()) LayOut(shippedDir);
    }
    ~ConverterHome() {
        Stop();
        TRegistry::PinMachineHive("");
        StartupDialogs = saved_;
    }
    ConverterHome(const ConverterHome&) = delete;
    ConverterHome& operator=(const ConverterHome&) = delete;

    // Lays the installation out from shippedDir as the run command does; false with layoutError.
    bool LayOut(const std::string& shippedDir) {
        std::string error;
        laidOut = LayOutInstallation(shippedDir, "", UserInstallationLayout(), error);
        layoutError = error;
        return laidOut;
    }
    // Creates the data module and the main window; the start-up's result. beforeWindow sees the
    // fresh data module before the window is created on it.
    int Start(const std::function<void(Tdm&)>& beforeWindow = {}) {
        window.reset();
        module = std::make_unique<Tdm>();
        dm = module.get();
        if (beforeWindow) beforeWindow(*module);
        window = std::make_unique<TVMRConverter>();
        return InitResult;
    }
    // Starts the converter switched on and watching the clipboard, as the clipboard tests want.
    void StartWatchingClipboard() {
        ASSERT_TRUE(laidOut) << layoutError;
        ASSERT_EQ(Start(), 0) << shown;
        CurrencyConverter->SetSwitchedOn(true);
        window->SetClipboardWatch(true);
    }
    // Frees the main window, then the data module; a fixture calls it before undoing its fakes.
    void Stop() {
        window.reset();
        module.reset();
        dm = nullptr;
    }

    TempFolder home;
    ScopedEnv env;
    bool laidOut = false;
    std::string layoutError;
    std::string shown;
    std::unique_ptr<Tdm> module;
    std::unique_ptr<TVMRConverter> window;

private:
    TStartupDialogs saved_;
};

// Reads every message box of the program into texts as soon as it shows and answers it: Yes
// where *answerYes holds and the box asks, No otherwise.
class MessageBoxWatch {
public:
    void Start(std::vector<std::string>& texts, const bool* answerYes = nullptr) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [&texts, answerYes] {
            if (MsgBox == nullptr || !MsgBox->isVisible()) return;
            texts.push_back(MsgBox->lbMsg->text().toStdString());
            if (answerYes != nullptr && *answerYes && MsgBox->btOk->isVisible())
                MsgBox->btOk->click();
            else
                MsgBox->btKo->click();
        });
        timer_.start();
    }
    void Stop() { timer_.stop(); }

private:
    QTimer timer_;
};

// Lays the program out from shippedDir with the lay-out tool, as the run command does; program
// is the laid-out program's path.
inline void LayOutWithTool(const QString& tool, const QString& shippedDir, const QString& programFile, QString& program) {
    QProcess layOut;
    layOut.start(tool, {shippedDir, programFile});
    ASSERT_TRUE(layOut.waitForFinished(30000));
    ASSERT_EQ(layOut.exitCode(), 0) << layOut.readAllStandardError().toStdString();
    program = QString::fromLocal8Bit(layOut.readAllStandardOutput()).trimmed();
    ASSERT_FALSE(program.isEmpty());
}

}  // namespace vemra::test
