#pragma once
// What the data module's services need of the converter's main, options and properties
// windows. The converter program implements it and sets it on dm (SetAppWindows); while
// none is set the services behave as with every switch off and no window open.

#include <string>

class QComboBox;
class QWidget;

namespace vemra {

class TCurrencyConverter;

class IAppWindows {
public:
    virtual ~IAppWindows() = default;

    // The main window (class TVMRConverter); nullptr before it exists.
    virtual QWidget* MainWindow() = 0;
    // The options window (TVMRConfig); nullptr before it exists.
    virtual QWidget* OptionsWindow() = 0;
    // The rate source properties window (TVMRProperties) when one exists and is visible.
    virtual QWidget* VisiblePropertiesWindow() = 0;

    // The options window's sound switch btAudio.
    virtual bool AudioOn() = 0;
    // The options window's language list cbLang.
    virtual QComboBox* LanguageList() = 0;
    // The options window fills its own texts from the numbered messages.
    virtual void FillOptionsTexts() = 0;
    // The main window shows the converter's on/off state again (state texts, tray tip).
    virtual void ShowConverterState() = 0;
    // The main window's tour command (opens the tour page).
    virtual void RunTour() = 0;
    // The notification-area icon's tip.
    virtual void SetTrayTip(const std::string& tip) = 0;

    // User settings "DetailLog" and "VMRConfigFile".
    virtual bool DetailLogEnabled() = 0;
    virtual std::string CurrencyConfigFileName() = 0;

    // ---- what the update run needs (the defaults answer as with no main window) ----
    // The converter whose day rate file an update may reload; nullptr: none.
    virtual TCurrencyConverter* RateConverter() { return nullptr; }
    // The main window's WindowMode: 0 hidden, 1 balloon showing, 2 window showing.
    virtual int MainWindowMode() { return 0; }
    // The application's hint handler: the main window's DisplayHint (true) or none (false).
    virtual void AttachHintHandler(bool) {}
    // Saves the user settings of the groups in mask (0: only the values saved every time).
    virtual void SaveUserSettings(int) {}
    // The main window's currency lists filled again, the selected pair kept.
    virtual void RefillCurrencyLists() {}
    // The rate source properties window while it exists, shown or hidden; nullptr when none.
    virtual QWidget* ExistingPropertiesWindow() { return VisiblePropertiesWindow(); }
    // The properties window, when there is one, shows again the date its calendar shows.
    virtual void RefreshPropertiesWindow() {}
    // The options window's rate-source page shows the current source again (cbPropertiesChange).
    virtual void RefreshRateSourcePage() {}
    // ---- end of what the update run needs ----
};

}  // namespace vemra
