// The update timer in the running converter on a real X server with a tray host: a converter
// started in this process on a laid-out installation, its rate source pointed at a page on
// 127.0.0.1, fetches the due day's rates on the timer's first run and converts with them.

#include <gtest/gtest.h>

#include <QApplication>
#include <QSystemTrayIcon>
#include <QTimer>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "CurrencyConverter.h"
#include "InstallationLayout.h"
#include "PlugginMan.h"
#include "TimeUtils.h"
#include "VMRConverterForm.h"
#include "dm.h"
#include "rtl/SysUtils.h"
#include "support/HttpTestServer.h"
#include "support/TestUtils.h"
#include "vmrconsts.h"

namespace vemra::test {
namespace {

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The main window as the data module's update run reaches it: everything the window answers
// itself, and the update run's questions answered from its converter and state.
class UpdateRunWindows final : public IAppWindows {
public:
    explicit UpdateRunWindows(TVMRConverter& window) : window_(window) {}
    QWidget* MainWindow() override { return &window_; }
    QWidget* OptionsWindow() override { return window_.OptionsWindow(); }
    QWidget* VisiblePropertiesWindow() override { return window_.VisiblePropertiesWindow(); }
    bool AudioOn() override { return false; }
    QComboBox* LanguageList() override { return window_.LanguageList(); }
    void FillOptionsTexts() override { window_.FillOptionsTexts(); }
    void ShowConverterState() override { window_.ShowConverterState(); }
    void RunTour() override {}
    void SetTrayTip(const std::string& tip) override { window_.SetTrayTip(tip); }
    bool DetailLogEnabled() override { return window_.DetailLogEnabled(); }
    std::string CurrencyConfigFileName() override { return window_.CurrencyConfigFileName(); }
    TCurrencyConverter* RateConverter() override { return CurrencyConverter; }
    int MainWindowMode() override { return window_.WindowMode; }
    void SaveUserSettings(int mask) override { window_.SaveSettings(mask); }
    void RefillCurrencyLists() override {
        window_.FillCurrencyCombos(CurrencyConverter->SourceCode(), CurrencyConverter->TargetCode());
    }

private:
    TVMRConverter& window_;
};

class UpdaterX11Test : public ::testing::Test {
protected:
    void SetUp() override {
        env.Set("HOME", home.path());
        env.Set("XDG_DATA_HOME", home / "data");
        env.Set("XDG_CONFIG_HOME", home / "config");
        env.Set("VEMRA_REGISTRY_DIR", home / "registry");
        ::mkdir((home / "run").c_str(), 0700);
        env.Set("XDG_RUNTIME_DIR", home / "run");
        env.Set("LC_ALL", std::nullopt);
        env.Set("LC_MESSAGES", "en_US.UTF-8");
        // The first run a second after start instead of five.
        env.Set("VEMRA_FIRST_UPDATE_MS", "1000");
        saved_ = StartupDialogs;
        StartupDialogs.Ask = [](const std::string&) { return true; };
        StartupDialogs.Show = [](const std::string&) {};
        std::string error;
        ASSERT_TRUE(LayOutInstallation(VEMRA_SHIPPED_DIR, "", UserInstallationLayout(), error)) << error;
        module = std::make_unique<Tdm>();
        dm = module.get();
        Tdm::SetServiceBaseForTests(server.Url(""));  // the version check stays local too
        module->ConnectionTest = [] { return true; };
        window = std::make_unique<TVMRConverter>();
        ASSERT_EQ(InitResult, 0);
        windows = std::make_unique<UpdateRunWindows>(*window);
        module->SetAppWindows(windows.get());
    }
    void TearDown() override {
        if (module) module->SetAppWindows(window.get());
        window.reset();
        windows.reset();
        module.reset();
        dm = nullptr;
        Tdm::SetServiceBaseForTests("");
        StartupDialogs = saved_;
    }

    TempFolder home{"vemra-x11updater"};
    ScopedEnv env;
    HttpTestServer server;
    std::unique_ptr<Tdm> module;
    std::unique_ptr<TVMRConverter> window;
    std::unique_ptr<UpdateRunWindows> windows;

private:
    TStartupDialogs saved_;
};

TEST_F(UpdaterX11Test, TheTimerFetchesTheDaysRatesWithinAMinuteAndTheConverterUsesThem) {
    ASSERT_NE(PlugginMan, nullptr);
    ASSERT_EQ(CurrencyConverter->Currencies().ProviderCode, "ECB");
    const int ecb = PlugginMan->IndexOfPlugin("ECB");
    ASSERT_GE(ecb, 0);
    ASSERT_EQ(PlugginMan->SelectedIndex, ecb);
    THTMLConverterPlugInn& source = *PlugginMan->GetPlugin(ecb);

    // The newest day the source has published by now, as the schedule sees it.
    TDateTime due = 0;
    std::string dayFile;
    for (int d = 0; d < 10 && due == 0; ++d) {
        const TDateTime day = LocalToGMT(Now() - d);
        bool exists = false;
        if (PlugginMan->IsUpdateDue(day, dayFile, exists)) due = DateOf(day);
    }
    ASSERT_GT(due, 0);
    ASSERT_LT(ParseDateTimeStamp(CurrencyConverter->Currencies().DateText), due) << "the shipped day is not older";
    if (FileExists(dayFile)) {
        ::chmod(dayFile.c_str(), 0644);
        std::filesystem::remove(dayFile);
    }

    // The store's address of the source on the test server, its last update the day before.
    const std::string dueStamp = FormatDateStamp(due);
    std::string page = ReadText(std::string(VEMRA_FIXTURES_DIR) + "/plugins/eurofxref-daily.xml");
    const std::string isoDay = dueStamp.substr(0, 4) + "-" + dueStamp.substr(5, 2) + "-" + dueStamp.substr(8, 2);
    page.replace(page.find("2024-01-17"), 10, isoDay);
    server.Route("/daily.xml", HttpResponse{.body = page});
    source.SetPluginValue("DataUrl", server.Url("/daily.xml"));
    source.SetPluginValue("LastUpdate", FormatDateTimeStamp(due - 1));
    PlugginMan->SaveCurrentPluginDefinition();
    // Every other source asks a port where nothing listens: no request leaves the machine.
    for (int i = 0; i < PlugginMan->Plugins().Count(); ++i) {
        if (i == ecb) continue;
        PlugginMan->GetPlugin(i)->SetPluginValue(
            "DataUrl", "http://127.0.0.1:" + std::to_string(HttpTestServer::ClosedPort()) + "/rates");
    }

    // What the start-up does once it succeeded.
    module->StartUpdater();
    ASSERT_TRUE(WaitUntil([&] { return CurrencyConverter->Currencies().DateText == dueStamp; }, 60000))
        << "no new rates within a minute; loaded: " << CurrencyConverter->Currencies().DateText;
    EXPECT_EQ(PlugginMan->LastRateFile(source), dayFile);
    EXPECT_TRUE(FileExists(dayFile));
    EXPECT_FALSE(module->IsBusy());
    EXPECT_TRUE(module->Updater->isActive());
    EXPECT_GE(module->Updater->interval(), 300000);
    EXPECT_NE(ReadText(Tdm::UpdateLogPath()).find("ECB : UPDATED : " + dayFile), std::string::npos);

    // It converts with the page's rates, and the tray tip names the new day.
    CurrencyConverter->SetFromCurrency("EUR");
    CurrencyConverter->SetToCurrency("USD");
    CurrencyConverter->UpdatePair();
    double result = 0;
    ASSERT_TRUE(CurrencyConverter->ConvertAmount(100, result));
    EXPECT_NEAR(result, 108.77, 0.001);
    ASSERT_NE(window->TrayIcon, nullptr);
    EXPECT_TRUE(window->TrayIcon->toolTip().contains(QString::fromStdString(dueStamp)))
        << window->TrayIcon->toolTip().toStdString();
}

}  // namespace
}  // namespace vemra::test
