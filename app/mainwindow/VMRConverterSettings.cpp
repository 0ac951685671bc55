// The user's settings under HKEY_CURRENT_USER "Software\Vemra": read once into the
// controls at start, written back from them by groups (the mask bits).

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>

#include "CurrencyConverter.h"
#include "CurrencyFiles.h"
#include "OnOffSwitch.h"
#include "PlugginMan.h"
#include "RegistryEx.h"
#include "VMRConfigForm.h"
#include "VMRConverterForm.h"
#include "dm.h"
#include "rtl/SysUtils.h"
#include "ui_VMRConfigForm.h"
#include "vmrconsts.h"

namespace vemra {

std::int32_t PropertiesLeft = 0;
std::int32_t PropertiesTop = 0;

namespace {

inline constexpr const char* kSettingsKey = "Software\\Vemra";

// A combo's index from the settings, kept inside the combo's entries.
void SetIndex(QComboBox* combo, int index) {
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : (combo->count() > 0 ? 0 : -1));
}

}  // namespace

void TVMRConverter::LoadSettings(std::string& isoFrom, std::string& isoTo) {
    TRegistryEx registry(false);
    // Without the key every read gives its default.
    registry.OpenKey(kSettingsKey, false);
    Ui::TVMRConfig& config = *VMRConfig->ui;

    VMRConfig->SettingsLoading = 1;
    config.btLoadOnInit->SetChecked(registry.ReadBoolDef("LoadOnInit", true));
    config.btInitiallyOn->SetChecked(registry.ReadBoolDef("InitiallyOn", true));
    config.ofDetailLog->SetChecked(registry.ReadBoolDef("DetailLog", false));
    registry.ReadBoolDef("ShowTour", true);  // read, but the tour is never run at start
    config.btRunTour->SetChecked(false);
    SetIndex(cbDesambi, registry.ReadIntegerDef("Desambiguation", 0));
    SetIndex(cbDateDesambi, registry.ReadIntegerDef("DesambiguationDate", 0));
    config.btAudio->SetChecked(registry.ReadBoolDef("AudioEvents", true));
    TVMRConfig::SetPanelColor(config.pnHintColor1, registry.ReadIntegerDef("HintColor1", 0xAFEBFE));
    TVMRConfig::SetPanelColor(config.pnHintColor2, registry.ReadIntegerDef("HintColor2", 0xD7F5FF));
    TVMRConfig::SetPanelColor(config.pnATCColorPlugin, registry.ReadIntegerDef("HintColorPlugin", 0x4080FF));
    TVMRConfig::SetPanelColor(config.pnHintColorText, registry.ReadIntegerDef("HintColorText", 0x800000));
    TVMRConfig::SetPanelColor(config.pnATCColorCurrency, registry.ReadIntegerDef("HintColorCurrency", 0x008080));
    TVMRConfig::SetPanelColor(config.pnATCColorDate, registry.ReadIntegerDef("HintColorDate", 0x800080));
    SetIndex(config.cbBadDateMethod, registry.ReadIntegerDef("ATCBadDateMethod", 0));
    SetIndex(config.cbCrossTabSel, registry.ReadIntegerDef("CrossTableGet", 0));
    SetIndex(config.cbClipTech, registry.ReadIntegerDef("ClipMethod", 2));
    config.btHotKeyOn->SetChecked(registry.ReadBoolDef("HotKeyOn", false));
    config.chHKCtrl->setChecked(registry.ReadBoolDef("HotKeyCtrl", false));
    config.chHKAlt->setChecked(registry.ReadBoolDef("HotKeyAlt", false));
    SetIndex(config.cbHKF, registry.ReadIntegerDef("HotKeyFunction", 11));
    VMRConfig->SettingsLoading = 0;

    Tag = 1;
    EdFormatLeft->setText(QString::fromStdString(registry.ReadStringDef("FormatLeft", " ( ")));
    EdFormatRight->setText(QString::fromStdString(registry.ReadStringDef("FormatRight", " )")));
    const int format = registry.ReadIntegerDef("Format", 1);
    SetRGFormatIndex(format >= 0 && format <= 2 ? format : 1);
    SetIndex(cbFormat, registry.ReadIntegerDef("FormatNames", 2));
    Tag = 0;

    CurrencyConverter->SetSwitchedOn(config.btInitiallyOn->Checked());

    TConverterTable& table = CurrencyConverter->Table;
    table.DefaultSourceCode = registry.ReadStringDef("DefaultFrom", "EUR");
    table.DefaultTargetCode = registry.ReadStringDef("DefaultTo", "USD");
    if (PlugginMan != nullptr) PlugginMan->SelectedCode = registry.ReadStringDef("SelectedPlugin", "");
    isoFrom = registry.ReadStringDef("IsoFrom", table.DefaultSourceCode);
    isoTo = registry.ReadStringDef("IsoTo", table.DefaultTargetCode);
    configFileName_ = registry.ReadStringDef("VMRConfigFile", DefaultCurrencyConfigFileName());
    LanguageFileName = registry.ReadStringDef("VMRLanguaje", "");
    CurrencyConverter->SetFavorites(registry.ReadStringDef("Favorites", ""));
    VMRConfig->move(registry.ReadIntegerDef("PConfig.Left", VMRConfig->x()),
                    registry.ReadIntegerDef("PConfig.Top", VMRConfig->y()));
    PropertiesLeft = registry.ReadIntegerDef("PProperties.Left", 0);
    PropertiesTop = registry.ReadIntegerDef("PProperties.Top", 0);
    const int left = registry.ReadIntegerDef("PConverter.Left", 0);
    const int top = registry.ReadIntegerDef("PConverter.Top", 0);
    if (left > 0) move(left, top);
    registry.CloseKey();

    if (config.btLoadOnInit->Checked() && !StartupIcon.empty() &&
        !FileExists(StartupIcon) && !FileExists(StartupIcon + ".desktop"))
        VMRConfig->SetLoadOnStartup(true);
}

void TVMRConverter::SaveSettings(int mask) {
    TRegistryEx registry(true);
    // The key is made once per installation; without it nothing is written.
    if (!registry.OpenKey(kSettingsKey, false)) return;
    Ui::TVMRConfig& config = *VMRConfig->ui;

    if (mask & 8) {
        registry.WriteString("VMRConfigFile", CurrencyConverter->Currencies().ConfigFileName.empty()
                                                  ? configFileName_
                                                  : CurrencyConverter->Currencies().ConfigFileName);
        registry.WriteString("Favorites", CurrencyConverter->Favorites().CommaText());
        registry.WriteString("DefaultFrom", CurrencyConverter->Table.DefaultSourceCode);
        registry.WriteString("DefaultTo", CurrencyConverter->Table.DefaultTargetCode);
        registry.WriteString("IsoFrom", CurrencyConverter->SourceCode());
        registry.WriteString("IsoTo", CurrencyConverter->TargetCode());
        registry.WriteString("VMRLanguaje", LanguageFileName);
    }
    if (mask & 1) {
        registry.WriteInteger("Desambiguation", cbDesambi->currentIndex());
        registry.WriteInteger("DesambiguationDate", cbDateDesambi->currentIndex());
        registry.WriteString("FormatLeft", EdFormatLeft->text().toStdString());
        registry.WriteString("FormatRight", EdFormatRight->text().toStdString());
        registry.WriteInteger("FormatNames", cbFormat->currentIndex());
        registry.WriteInteger("Format", RGFormatIndex());
    }
    if (mask & 4) {
        registry.WriteInteger("HintColor1", TVMRConfig::PanelColor(config.pnHintColor1));
        registry.WriteInteger("HintColor2", TVMRConfig::PanelColor(config.pnHintColor2));
        registry.WriteInteger("HintColorText", TVMRConfig::PanelColor(config.pnHintColorText));
        registry.WriteInteger("HintColorCurrency", TVMRConfig::PanelColor(config.pnATCColorCurrency));
        registry.WriteInteger("HintColorDate", TVMRConfig::PanelColor(config.pnATCColorDate));
        registry.WriteInteger("HintColorPlugin", TVMRConfig::PanelColor(config.pnATCColorPlugin));
        registry.WriteInteger("ATCBadDateMethod", config.cbBadDateMethod->currentIndex());
        registry.WriteInteger("CrossTableGet", config.cbCrossTabSel->currentIndex());
        registry.WriteInteger("ClipMethod", config.cbClipTech->currentIndex());
        registry.WriteBool("HotKeyOn", config.btHotKeyOn->Checked());
        registry.WriteBool("HotKeyCtrl", config.chHKCtrl->isChecked());
        registry.WriteBool("HotKeyAlt", config.chHKAlt->isChecked());
        registry.WriteInteger("HotKeyFunction", config.cbHKF->currentIndex());
    }
    if (mask & 2) {
        registry.WriteBool("Detaillog", DetailLogEnabled());
        registry.WriteBool("LoadOnInit", config.btLoadOnInit->Checked());
        registry.WriteBool("InitiallyOn", config.btInitiallyOn->Checked());
        registry.WriteBool("ShowTour", config.btRunTour->Checked());
        registry.WriteBool("AudioEvents", config.btAudio->Checked());
    }
    registry.WriteInteger("PConverter.Left", x());
    registry.WriteInteger("PConverter.Top", y());
    registry.WriteInteger("PConfig.Left", VMRConfig->x());
    registry.WriteInteger("PConfig.Top", VMRConfig->y());
    registry.WriteInteger("PProperties.Left", PropertiesLeft);
    registry.WriteInteger("PProperties.Top", PropertiesTop);
    registry.CloseKey();
}

void TVMRConverter::ClearSettingsAndClose() {
    {
        TRegistryEx registry(true);
        if (registry.OpenKey("Software", false)) {
            registry.DeleteKey("Vemra");
            registry.CloseKey();
        }
    }
    CloseApplication(nullptr);
}

}  // namespace vemra
