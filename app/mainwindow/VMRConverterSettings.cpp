// The user's settings under HKEY_CURRENT_USER "Software\Vemra": read once into the
// controls at start, written back from them by groups (the mask bits).

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QtGlobal>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "CurrencyConverter.h"
#include "CurrencyFiles.h"
#include "OnOffSwitch.h"
#include "PlugginMan.h"
#include "RegistryEx.h"
#include "VMRConfigForm.h"
#include "VMRConverterForm.h"
#include "dm.h"
#include "rtl/Format.h"
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

std::string SettingsFile() { return TRegistry::HivePathForWrite(HKEY_CURRENT_USER); }

// Why the settings file cannot be read; "" when it reads or does not exist yet.
std::string UnreadableReason(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? std::string() : std::string(std::strerror(errno));
    char byte = 0;
    const ssize_t got = ::read(fd, &byte, 1);
    const int error = errno;
    ::close(fd);
    return got < 0 ? std::string(std::strerror(error)) : std::string();
}

// The registry's writes with the system's reason of the one that failed kept in errno:
// each write starts from a clear errno, so a stale value is never given as the reason.
class SettingsWriter {
public:
    explicit SettingsWriter(TRegistryEx& registry) : registry_(registry) {}
    void String(std::string_view name, std::string_view value) {
        errno = 0;
        registry_.WriteString(name, value);
    }
    void Integer(std::string_view name, int value) {
        errno = 0;
        registry_.WriteInteger(name, value);
    }
    void Bool(std::string_view name, bool value) {
        errno = 0;
        registry_.WriteBool(name, value);
    }

private:
    TRegistryEx& registry_;
};

std::string SaveFaultText(int error) {
    const std::string reason = error != 0 ? std::string(std::strerror(error)) : std::string("it cannot be written");
    return Format("Vemra could not save its settings in %s (%s).", SettingsFile(), reason);
}

}  // namespace

void TVMRConverter::ReportSettingsFault(const std::string& text, bool showBox) {
    if (settingsFaultShown_ || !showBox) {
        qWarning("%s", text.c_str());
        return;
    }
    settingsFaultShown_ = true;
    if (dm != nullptr) dm->ShowMessageText(text);
}

void TVMRConverter::LoadSettings(std::string& isoFrom, std::string& isoTo) {
    TRegistryEx registry(false);
    // Without the key every read gives its default.
    if (!registry.OpenKey(kSettingsKey, false)) {
        // A settings file that is there but cannot be read would otherwise start with the
        // defaults and drop every change without a word (a save never replaces a file it
        // could not read).
        const std::string file = TRegistry::HivePathForRead(HKEY_CURRENT_USER);
        const std::string reason = UnreadableReason(file);
        if (!reason.empty()) {
            settingsFaultShown_ = true;
            const std::string text = Format(
                "Vemra could not read its settings in %s (%s). It starts with the default settings, and "
                "changes cannot be saved until the file can be read.",
                file, reason);
            if (StartupDialogs.Show) StartupDialogs.Show(text);
        }
    }
    Ui::TVMRConfig& config = *VMRConfig->ui;
    favoritesStored_ = registry.ValueExists("Favorites");

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
    // Every value of one save reaches the file in one replace: a kill leaves the old set or
    // the new one, never a pair of which only one half was written.
    TRegistryBatch batch(HKEY_CURRENT_USER);
    Ui::TVMRConfig& config = *VMRConfig->ui;

    SettingsWriter w(registry);
    try {
        if (mask & 8) {
            w.String("VMRConfigFile", CurrencyConverter->Currencies().ConfigFileName.empty()
                                          ? configFileName_
                                          : CurrencyConverter->Currencies().ConfigFileName);
            w.String("Favorites", CurrencyConverter->Favorites().CommaText());
            w.String("DefaultFrom", CurrencyConverter->Table.DefaultSourceCode);
            w.String("DefaultTo", CurrencyConverter->Table.DefaultTargetCode);
            w.String("IsoFrom", CurrencyConverter->SourceCode());
            w.String("IsoTo", CurrencyConverter->TargetCode());
            w.String("VMRLanguaje", LanguageFileName);
        }
        if (mask & 1) {
            w.Integer("Desambiguation", cbDesambi->currentIndex());
            w.Integer("DesambiguationDate", cbDateDesambi->currentIndex());
            w.String("FormatLeft", EdFormatLeft->text().toStdString());
            w.String("FormatRight", EdFormatRight->text().toStdString());
            w.Integer("FormatNames", cbFormat->currentIndex());
            w.Integer("Format", RGFormatIndex());
        }
        if (mask & 4) {
            w.Integer("HintColor1", TVMRConfig::PanelColor(config.pnHintColor1));
            w.Integer("HintColor2", TVMRConfig::PanelColor(config.pnHintColor2));
            w.Integer("HintColorText", TVMRConfig::PanelColor(config.pnHintColorText));
            w.Integer("HintColorCurrency", TVMRConfig::PanelColor(config.pnATCColorCurrency));
            w.Integer("HintColorDate", TVMRConfig::PanelColor(config.pnATCColorDate));
            w.Integer("HintColorPlugin", TVMRConfig::PanelColor(config.pnATCColorPlugin));
            w.Integer("ATCBadDateMethod", config.cbBadDateMethod->currentIndex());
            w.Integer("CrossTableGet", config.cbCrossTabSel->currentIndex());
            w.Integer("ClipMethod", config.cbClipTech->currentIndex());
            w.Bool("HotKeyOn", config.btHotKeyOn->Checked());
            w.Bool("HotKeyCtrl", config.chHKCtrl->isChecked());
            w.Bool("HotKeyAlt", config.chHKAlt->isChecked());
            w.Integer("HotKeyFunction", config.cbHKF->currentIndex());
        }
        if (mask & 2) {
            w.Bool("Detaillog", DetailLogEnabled());
            w.Bool("LoadOnInit", config.btLoadOnInit->Checked());
            w.Bool("InitiallyOn", config.btInitiallyOn->Checked());
            w.Bool("ShowTour", config.btRunTour->Checked());
            w.Bool("AudioEvents", config.btAudio->Checked());
        }
        w.Integer("PConverter.Left", x());
        w.Integer("PConverter.Top", y());
        w.Integer("PConfig.Left", VMRConfig->x());
        w.Integer("PConfig.Top", VMRConfig->y());
        w.Integer("PProperties.Left", PropertiesLeft);
        w.Integer("PProperties.Top", PropertiesTop);
        if (!batch.Commit()) throw ERegistryException("Failed to store the settings");
    } catch (const std::exception&) {
        // Nothing of this save was stored, so the file keeps its last good state; the run
        // goes on with the settings in the controls. At the end of the run nothing is shown,
        // so that an end asked for (command 99 of the installer) is not held up by a box.
        ReportSettingsFault(SaveFaultText(errno), !destroyed_);
    }
    registry.CloseKey();
}

void TVMRConverter::SaveFirstStartSettings() {
    // The mark of this installation's first start and the settings it saves go in one write:
    // a kill in between would leave a first start done without its settings.
    TRegistryBatch batch(HKEY_CURRENT_USER);
    errno = 0;
    if (MarkInstallSettingsApplied()) SaveSettings(255);
    if (!batch.Commit()) ReportSettingsFault(SaveFaultText(errno), !destroyed_);
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
