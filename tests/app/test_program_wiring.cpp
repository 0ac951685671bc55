// The converter program as a whole, offscreen: what its start-up switches on, and how the
// main window answers the data module's update run (busy state, reload, refreshes).

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include <memory>
#include <string>

#include "ConverterTestSupport.h"
#include "DmTestSupport.h"
#include "MessageNumbers.h"
#include "PlugginMan.h"
#include "QtCalendar.h"
#include "VMRConfigForm.h"
#include "VMRPropertiesForm.h"
#include "ui_VMRConfigForm.h"

namespace vemra::test {
namespace {

class ProgramWiringTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        home.env.Set("VEMRA_FIRST_UPDATE_MS", std::nullopt);
        ASSERT_TRUE(home.laidOut) << home.layoutError;
        ASSERT_EQ(home.Start(), 0) << home.shown;
        w = home.window.get();
        dm->ConnectionTest = [] { return false; };  // a run that fires here stays offline
    }
    ConverterHome home{VEMRA_SHIPPED_DIR};
    TVMRConverter* w = nullptr;
};

TEST_F(ProgramWiringTest, StartUpArmsTheUpdateTimerWithItsFirstInterval) {
    ASSERT_NE(dm->Updater, nullptr);
    EXPECT_TRUE(dm->Updater->isActive());
    EXPECT_EQ(dm->Updater->interval(), Tdm::kUpdaterDesignInterval);
    EXPECT_EQ(dm->AppWindows(), static_cast<IAppWindows*>(w));
}

TEST(ProgramWiringFailedStart, AFailedStartLeavesTheUpdateTimerOff) {
    App();
    TempFolder empty{"vemra-noinstall"};
    ScopedEnv env;
    env.Set("HOME", empty.path());
    env.Set("XDG_DATA_HOME", empty / "data");
    env.Set("XDG_CONFIG_HOME", empty / "config");
    env.Set("VEMRA_REGISTRY_DIR", empty / "registry");
    const TStartupDialogs saved = StartupDialogs;
    StartupDialogs.Show = [](const std::string&) {};
    {
        Tdm module;
        dm = &module;
        TVMRConverter window;
        EXPECT_EQ(InitResult, 6);
        EXPECT_FALSE(module.Updater->isActive());
        dm = nullptr;
    }
    StartupDialogs = saved;
}

TEST_F(ProgramWiringTest, TheMainWindowAnswersWhatTheUpdateRunAsks) {
    IAppWindows& windows = *w;
    EXPECT_EQ(windows.RateConverter(), CurrencyConverter);
    EXPECT_EQ(windows.MainWindowMode(), 0);
    w->WMVmrCommand(2, 0);
    EXPECT_EQ(windows.MainWindowMode(), 2);
    EXPECT_EQ(windows.OptionsWindow(), static_cast<QWidget*>(VMRConfig));
    EXPECT_EQ(windows.LanguageList(), VMRConfig->ui->cbLang);

    // The currency lists come back with the selected pair.
    const QString from = w->CBINN->currentText();
    const QString to = w->CBOUT->currentText();
    ASSERT_FALSE(from.isEmpty());
    w->CBINN->clear();
    w->CBOUT->clear();
    windows.RefillCurrencyLists();
    EXPECT_EQ(w->CBINN->currentText(), from);
    EXPECT_EQ(w->CBOUT->currentText(), to);

    // The rate-source page shows the current source's value again.
    VMRConfig->ui->cbUpdProperties->setCurrentRow(0);
    const QString value = VMRConfig->ui->EUpdValue->text();
    VMRConfig->ui->EUpdValue->setText(QStringLiteral("stale"));
    windows.RefreshRateSourcePage();
    EXPECT_EQ(VMRConfig->ui->EUpdValue->text(), value);
}

TEST_F(ProgramWiringTest, ThePropertiesWindowIsVisibleOnlyWhileShownAndExistsUntilClosed) {
    IAppWindows& windows = *w;
    EXPECT_EQ(windows.VisiblePropertiesWindow(), nullptr);
    windows.RefreshPropertiesWindow();  // none open: nothing to do
    TVMRProperties* properties = OpenPropertiesWindow(VMRConfig);
    ASSERT_NE(properties, nullptr);
    EXPECT_EQ(windows.VisiblePropertiesWindow(), static_cast<QWidget*>(properties));
    const TDateTime shown = properties->Cal->Date();
    windows.RefreshPropertiesWindow();
    EXPECT_EQ(properties->Cal->Date(), shown);
    properties->hide();
    EXPECT_EQ(windows.VisiblePropertiesWindow(), nullptr);
    // Hidden, it still exists: an update run holds its update actions back all the same.
    EXPECT_EQ(windows.ExistingPropertiesWindow(), static_cast<QWidget*>(properties));
    auto* update = properties->findChild<QWidget*>(QStringLiteral("btUpd"));
    ASSERT_NE(update, nullptr);
    dm->SetBusyState(true);
    EXPECT_FALSE(update->isEnabled());
    dm->SetBusyState(false);
    EXPECT_TRUE(update->isEnabled());
    properties->close();
}

TEST_F(ProgramWiringTest, TheBusyStateSwitchesTheConverterAndTheHintsOffAndBack) {
    ASSERT_TRUE(CurrencyConverter->SwitchedOn());
    dm->SetBusyState(true);
    EXPECT_FALSE(CurrencyConverter->SwitchedOn());
    EXPECT_EQ(w->lbMessage->text().toStdString(), dm->GetMessageText(msg::UpdateRunning));
    w->DisplayHint(QStringLiteral("a control's hint"));  // the update's message stays
    EXPECT_EQ(w->lbMessage->text().toStdString(), dm->GetMessageText(msg::UpdateRunning));
    EXPECT_FALSE(dm->Updater->isActive());

    dm->SetBusyState(false);
    EXPECT_TRUE(CurrencyConverter->SwitchedOn());
    EXPECT_TRUE(w->lbMessage->text().isEmpty());
    w->DisplayHint(QStringLiteral("a control's hint|more"));
    EXPECT_EQ(w->lbMessage->text(), QStringLiteral("a control's hint"));
    EXPECT_TRUE(dm->Updater->isActive());
    EXPECT_GE(dm->Updater->interval(), 300000);
}

}  // namespace
}  // namespace vemra::test
