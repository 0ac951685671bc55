#pragma once
// What the data module's tests share: an offscreen application, a data module with its
// folders in a temporary folder, language files written as the program stores them, and a
// fake of the converter's windows.

#include <QApplication>
#include <QComboBox>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AppWindows.h"
#include "dm.h"
#include "support/HttpTestServer.h"
#include "support/TestUtils.h"

namespace vemra::test {

// Makes the one QApplication of the test program (offscreen) on first use.
QApplication& App();

// Runs pending events (and deferred deletes) until the condition holds or the time is up.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 3000);

// Serves response at path, but only once action has run on the window thread while the
// request waits (the download's event loop runs it): what a user, a timer or a command does
// in the middle of a download. Returns how many times the action ran (0 or 1) so far.
std::function<int()> AnswerAfter(HttpTestServer& server, const std::string& path, HttpResponse response,
                                 std::function<void()> action);

struct FakeAppWindows : IAppWindows {
    FakeAppWindows();
    ~FakeAppWindows() override;
    QWidget* MainWindow() override { return main.get(); }
    QWidget* OptionsWindow() override { return options.get(); }
    QWidget* VisiblePropertiesWindow() override { return properties; }
    bool AudioOn() override { return audio; }
    QComboBox* LanguageList() override { return cbLang; }
    void FillOptionsTexts() override { ++optionsTexts; }
    void ShowConverterState() override { ++stateShown; }
    void RunTour() override { ++tours; }
    void SetTrayTip(const std::string& tip) override { trayTip = tip; }
    bool DetailLogEnabled() override { return detailLog; }
    std::string CurrencyConfigFileName() override { return configFile; }
    // ---- the update run ----
    TCurrencyConverter* RateConverter() override { return converter; }
    int MainWindowMode() override { return windowMode; }
    void AttachHintHandler(bool attached) override { hintAttached = attached; }
    void SaveUserSettings(int mask) override { savedSettings.push_back(mask); }
    void RefillCurrencyLists() override { ++listsRefilled; }
    void RefreshPropertiesWindow() override { ++propertiesRefreshed; }
    void RefreshRateSourcePage() override { ++sourcePageRefreshed; }

    std::unique_ptr<QWidget> main;
    std::unique_ptr<QWidget> options;
    QWidget* properties = nullptr;
    QComboBox* cbLang = nullptr;  // inside options
    bool audio = false;
    bool detailLog = false;
    std::string configFile;
    std::string trayTip;
    int optionsTexts = 0;
    int stateShown = 0;
    int tours = 0;
    // The update run's side: main has cbSubs and lbMessage, options pnNewUpdate with btNewUpdate.
    TCurrencyConverter* converter = nullptr;
    int windowMode = 0;
    bool hintAttached = true;
    std::vector<int> savedSettings;
    int listsRefilled = 0;
    int propertiesRefreshed = 0;
    int sourcePageRefreshed = 0;
};

// A data module whose AppData and PubData are a fresh temporary folder; it is dm while it lives.
class DmFixture {
public:
    DmFixture();
    ~DmFixture();
    // Writes AppData/<name> enciphered with the language files' key.
    void WriteLanguageFile(const std::string& name, const std::string& iniText);
    Tdm& Dm() { return *dm_; }

    TempFolder folder{"vemra-dm"};
    FakeAppWindows windows;

private:
    std::string savedAppData_, savedPubData_, savedLanguageFile_, savedLanguageName_;
    std::unique_ptr<Tdm> dm_;
};

}  // namespace vemra::test
