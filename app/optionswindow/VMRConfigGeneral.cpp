// The options window's frame and its conversions and preferences pages: page switch, change
// flags and the saves at close, colours, hot key, start-up entry, clipboard method, language,
// default currencies, the version band and the texts computed from the numbered messages.

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

#include <exception>

#include "CurrencyConverter.h"
#include "CurrencyFiles.h"
#include "DetailLog.h"
#include "MessageFormat.h"
#include "MessageNumbers.h"
#include "OnOffSwitch.h"
#include "PlugginMan.h"
#include "PluginItemDelegate.h"
#include "RateFile.h"
#include "SysCaller.h"
#include "SysStrings.h"
#include "VMRConfigForm.h"
#include "VMRConverterForm.h"
#include "dm.h"
#include "rtl/Format.h"
#include "rtl/StringList.h"
#include "rtl/SysUtils.h"
#include "ui_VMRConfigForm.h"
#include "vmrconsts.h"

namespace vemra {

namespace {

// The download page of the program's own service, with the running version as argument.
inline constexpr auto kNewVersionPath = ScrambleLiteral("/download/?from=%s");

std::string Message(int number) { return dm != nullptr ? dm->GetMessageText(number) : std::string(); }
QString QMessage(int number) { return QString::fromStdString(Message(number)); }

// Clicks on the panels (colour panels, the converter-state panel) and the window's close.
class TConfigEvents final : public QObject {
public:
    explicit TConfigEvents(TVMRConfig& window) : QObject(&window), window_(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close && watched == &window_) {
            window_.FormClose();
            return false;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            const Ui::TVMRConfig& ui = *window_.ui;
            if (watched == ui.pnHotKeyState) {
                window_.pnHotKeyStateClick();
                return true;
            }
            if (auto* panel = qobject_cast<QFrame*>(watched); panel != nullptr && IsColourPanel(panel)) {
                window_.pnHintColor1Click(panel);
                return true;
            }
        }
        return false;
    }

    bool IsColourPanel(const QFrame* panel) const {
        const Ui::TVMRConfig& ui = *window_.ui;
        for (const QFrame* p : {ui.pnHintColor1, ui.pnHintColor2, ui.pnHintColorText, ui.pnATCColorCurrency,
                                ui.pnATCColorDate, ui.pnATCColorPlugin})
            if (p == panel) return true;
        return false;
    }

private:
    TVMRConfig& window_;
};

// The entries of a list from a message that holds one entry per line; the selected index is
// kept. A missing message leaves the entries as they are.
void FillEntries(QComboBox* list, int number) {
    const std::string text = Message(number);
    if (text.empty()) return;
    const QStringList entries = QString::fromStdString(text).split(QStringLiteral("\r\n"));
    const int index = list->currentIndex();
    const QSignalBlocker block(list);
    list->clear();
    list->addItems(entries);
    list->setCurrentIndex(index < list->count() ? index : -1);
}

void FillEntries(QListWidget* list, int number) {
    const std::string text = Message(number);
    if (text.empty()) return;
    const QStringList entries = QString::fromStdString(text).split(QStringLiteral("\r\n"));
    const int index = list->currentRow();
    const QSignalBlocker block(list);
    list->clear();
    list->addItems(entries);
    list->setCurrentRow(index < list->count() ? index : -1);
}

}  // namespace

std::function<bool(TColor, TColor&)> TVMRConfig::ChooseColor = [](TColor initial, TColor& chosen) {
    const QColor color = QColorDialog::getColor(TColorToQColor(initial), VMRConfig);
    if (!color.isValid()) return false;
    chosen = QColorToTColor(color);
    return true;
};

std::function<void(const std::string&)> TVMRConfig::OpenWithShell = [](const std::string& target) {
    ShellOpen(target);
};

void TVMRConfig::ConnectGeneralHandlers() {
    Ui::TVMRConfig& c = *ui;
    QLabel* const days[] = {c.pnDay1, c.pnDay2, c.pnDay3, c.pnDay4, c.pnDay5, c.pnDay6, c.pnDay7};
    for (int i = 0; i < 7; ++i) DayPanels[i] = days[i];

    auto* events = new TConfigEvents(*this);
    installEventFilter(events);
    c.pnHotKeyState->installEventFilter(events);
    for (QFrame* panel : {c.pnHintColor1, c.pnHintColor2, c.pnHintColorText, c.pnATCColorCurrency, c.pnATCColorDate,
                          c.pnATCColorPlugin}) {
        panel->installEventFilter(events);
        panel->setCursor(Qt::PointingHandCursor);
    }

    // Combo boxes react to the user's choice only, so the settings loader and the text
    // refills change them without marking anything.
    for (QAbstractButton* button : {static_cast<QAbstractButton*>(c.btPag1), static_cast<QAbstractButton*>(c.btPag2),
                                    static_cast<QAbstractButton*>(c.btPag3), static_cast<QAbstractButton*>(c.btPag0)})
        connect(button, &QAbstractButton::clicked, this, [this, button] { btPag0Click(button); });
    for (QComboBox* list : {c.cbBadDateMethod, c.cbCrossTabSel})
        connect(list, &QComboBox::activated, this, [this](int) { SetConversionOptionsChanged(); });
    connect(c.chBadCurrIsText, &QCheckBox::clicked, this, [this] { SetConversionOptionsChanged(); });
    connect(c.btHintDefaults, &QPushButton::clicked, this, [this] { btHintDefaultsClick(); });
    connect(c.ofDetailLog, &TOnOffSwitch::clicked, this, [this] { ofDetailLogClick(); });
    connect(c.btOpenLog, &QPushButton::clicked, this, [this] { btOpenLogClick(); });
    connect(c.btLoadOnInit, &TOnOffSwitch::clicked, this, [this] { chLoadOnInitClick(); });
    connect(c.btHotKeyOn, &TOnOffSwitch::clicked, this, [this] { chHotKeyOnChange(); });
    connect(c.cbHKF, &QComboBox::activated, this, [this](int) { chHotKeyOnChange(); });
    connect(c.chHKCtrl, &QCheckBox::clicked, this, [this] { chHotKeyOnChange(); });
    connect(c.chHKAlt, &QCheckBox::clicked, this, [this] { chHotKeyOnChange(); });
    connect(c.cbLang, &QComboBox::activated, this, [this](int) { cbLangChange(); });
    connect(c.cbClipTech, &QComboBox::activated, this, [this](int) { cbClipTechChange(); });
    connect(c.cbLabeling, &QComboBox::activated, this, [this](int) { cbWhatShowChange(ui->cbLabeling); });
    connect(c.btDivEnable, &QPushButton::clicked, this, [this] { btDivEnableClick(); });
    connect(c.EDivIn, &QComboBox::activated, this, [this](int) { EDivInChange(); });
    connect(c.EDivOut, &QComboBox::activated, this, [this](int) { EDivOutChange(); });
    connect(c.btNewUpdate, &QPushButton::clicked, this, [this] { btNewUpdateClick(); });

    // The rate sources page.
    InstallPluginItemDrawing(c.cbSubscriptions);
    // Any change of the list's entry, also the main window's list setting it, is a choice;
    // this window's own settings of the entry run with the signals blocked.
    connect(c.cbSubscriptions, &QComboBox::currentIndexChanged, this,
            [this](int) { cbSubscriptionsChange(ui->cbSubscriptions); });
    connect(c.cbUpdProperties, &QListWidget::currentRowChanged, this, [this](int) { cbPropertiesChange(); });
    connect(c.btEditVal, &QPushButton::clicked, this, [this] { btEditValClick(); });
    connect(c.btOpenVal, &QPushButton::clicked, this, [this] { btOpenValClick(); });
    connect(c.btHisUpdate, &QPushButton::clicked, this, [this] { btHisUpdateClick(); });
    connect(c.btCalendar, &QPushButton::clicked, this, [this] { btCalendarClick(); });
    c.btEditVal->setEnabled(false);
    c.btOpenVal->setEnabled(false);
}

void TVMRConfig::btPag0Click(QObject* sender) {
    const int page = sender != nullptr ? sender->property("Tag").toInt() : 0;
    ShowPage(page);
    if (ui->PC->currentWidget() != ui->TSDivControl) return;
    if (ui->ChList->count() == 0) cbWhatShowChange(nullptr);
    if (ui->ChList->count() > 0 && ui->ChList->currentRow() < 0) {
        ui->ChList->setCurrentRow(0);
        ChListClick(ui->ChList);
    }
}

void TVMRConfig::SetConversionOptionsChanged() {
    if (SettingsLoading == 0) ConversionOptionsChanged = true;
}

void TVMRConfig::FormClose() {
    int flags = 0;
    if (ConfigChanged) flags += 2;
    if (ConversionOptionsChanged) flags += 4;
    if (CurrencyConverter != nullptr && CurrencyConverter->Currencies().Modified)
        SaveCurrencyConfig(CurrencyConverter->Currencies());
    if (flags > 0) {
        if (StartupChanged) {
            SetLoadOnStartup(ui->btLoadOnInit->Checked());
            StartupChanged = false;
        }
        if (VMRConverter != nullptr) VMRConverter->SaveSettings(flags);
        ConfigChanged = false;
        ConversionOptionsChanged = false;
    }
}

void TVMRConfig::pnHintColor1Click(QFrame* panel) {
    if (panel == nullptr || !ChooseColor) return;
    TColor chosen = PanelColor(panel);
    if (!ChooseColor(PanelColor(panel), chosen)) return;
    SetPanelColor(panel, chosen);
    ConversionOptionsChanged = true;
}

void TVMRConfig::btHintDefaultsClick() {
    SetDefaultHintColors();
    ui->cbBadDateMethod->setCurrentIndex(ui->cbBadDateMethod->count() > 0 ? 0 : -1);
    ui->cbCrossTabSel->setCurrentIndex(ui->cbCrossTabSel->count() > 0 ? 0 : -1);
    // The key stays registered until the next hot-key change or the program's end.
    ui->btHotKeyOn->SetChecked(false);
    ui->chHKCtrl->setChecked(false);
    ui->chHKAlt->setChecked(false);
    ui->cbHKF->setCurrentIndex(std::min(11, ui->cbHKF->count() - 1));
    ConversionOptionsChanged = true;
}

void TVMRConfig::ofDetailLogClick() {
    // The detail log reads the switch itself (DetailLogEnabled); nothing else to keep.
}

void TVMRConfig::btOpenLogClick() {
    const std::string path = Tdm::UpdateLogPath();
    if (!FileExists(path)) return;
    try {
        OpenWithShell(path);
    } catch (const std::exception& e) {
        if (dm != nullptr) dm->ShowMessageText(e.what());
    }
}

void TVMRConfig::btOpenCRLogClick() {
    const std::string path = DetailLogFileName();
    if (!FileExists(path)) return;
    try {
        OpenWithShell(path);
    } catch (const std::exception& e) {
        if (dm != nullptr) dm->ShowMessageText(e.what());
    }
}

void TVMRConfig::chLoadOnInitClick() {
    StartupChanged = true;
    ConfigChanged = true;
}

void TVMRConfig::RegisterAppHotKey() {
    if (SettingsLoading != 0 || !ui->lbBtHotKeyOn->isEnabled()) return;
    if (VMRConverter != nullptr) VMRConverter->RegisterAppHotKey();
}

void TVMRConfig::chHotKeyOnChange() {
    if (SettingsLoading != 0) return;
    if (ui->btHotKeyOn->Checked()) RegisterAppHotKey();
    SetConversionOptionsChanged();
}

void TVMRConfig::pnHotKeyStateClick() {
    if (VMRConverter != nullptr) VMRConverter->mniStateClick(nullptr);
}

void TVMRConfig::cbLangChange() {
    if (dm == nullptr) return;
    LanguageFileName = ui->cbLang->currentText().toStdString();
    try {
        dm->LoadLanguageFile(LanguageFileName);
    } catch (const std::exception& e) {
        dm->ShowMessageText(e.what());
    }
    if (CurrencyConverter != nullptr) {
        TCurrencyChangeList& currencies = CurrencyConverter->Currencies();
        const std::string rateFile = currencies.RateFileName;
        // The names come in the new language; the rates then load again over them.
        if (LoadCurrencyNames(currencies, currencies.ConfigFileName) && currencies.Count() > 0) {
            try {
                if (!rateFile.empty()) LoadRateFile(currencies, rateFile);
            } catch (const std::exception& e) {
                dm->ShowMessageText(e.what());
            }
            if (VMRConverter != nullptr)
                VMRConverter->FillCurrencyCombos(CurrencyConverter->SourceCode(), CurrencyConverter->TargetCode());
            cbSubscriptionsChange(ui->cbSubscriptions);
            cbWhatShowChange(nullptr);
        }
    }
    ConfigChanged = true;
}

void TVMRConfig::cbClipTechChange() {
    ui->lbClipDesc->setText(QMessage(msg::ClipMethodBase + std::max(0, ui->cbClipTech->currentIndex())));
    if (VMRConverter != nullptr && CurrencyConverter != nullptr && CurrencyConverter->SwitchedOn()) {
        VMRConverter->SetClipboardWatch(false);
        VMRConverter->SetClipboardWatch(true);
    }
    ConversionOptionsChanged = true;
}

void TVMRConfig::btDivEnableClick() {
    if (QApplication::keyboardModifiers() & Qt::ControlModifier) {
        if (VMRConverter == nullptr) return;
        VMRConverter->FillCurrencyCombos("EUR", "USD");
        VMRConverter->SaveSettings(8);
        VMRConverter->BtConvertClick(nullptr);
        return;
    }
    ui->EDivIn->setEnabled(!ui->EDivIn->isEnabled());
    ui->EDivOut->setEnabled(!ui->EDivOut->isEnabled());
}

void TVMRConfig::EDivInChange() {
    if (CurrencyConverter == nullptr || VMRConverter == nullptr) return;
    const TCurrencyRec* currency = CurrencyConverter->UserCurrencies().GetCurrency(ui->EDivIn->currentIndex());
    if (currency == nullptr) return;
    CurrencyConverter->Table.DefaultSourceCode = currency->Code;
    VMRConverter->SelectCurrencyInCombo(currency->Code, CurrencyConverter->TargetCode());
    VMRConverter->SaveSettings(8);
    VMRConverter->BtConvertClick(nullptr);
}

void TVMRConfig::EDivOutChange() {
    if (CurrencyConverter == nullptr || VMRConverter == nullptr) return;
    const TCurrencyRec* currency = CurrencyConverter->UserCurrencies().GetCurrency(ui->EDivOut->currentIndex());
    if (currency == nullptr) return;
    CurrencyConverter->Table.DefaultTargetCode = currency->Code;
    VMRConverter->SelectCurrencyInCombo(CurrencyConverter->SourceCode(), currency->Code);
    VMRConverter->SaveSettings(8);
    VMRConverter->BtConvertClick(nullptr);
}

void TVMRConfig::btNewUpdateClick() {
    try {
        OpenWithShell(Tdm::ServiceUrl(Format(UnscrambleLiteral(kNewVersionPath), ProgramVersion)));
    } catch (const std::exception& e) {
        if (dm != nullptr) dm->ShowMessageText(e.what());
    }
}

int TVMRConfig::PanelWeekday(int position) {
    if (vemra::LanguageName == "ENG") return position == 0 ? 6 : position - 1;
    return position;
}

void TVMRConfig::LoadConfigTexts() {
    ui->lbClipDesc->setText(QMessage(msg::ClipMethodBase + std::max(0, ui->cbClipTech->currentIndex())));
    ui->lbInfoVer->setText(
        QString::fromStdString(FillMessage(dm, msg::VersionLabel, Message(msg::VersionLabel), ProgramVersion)));
    FillEntries(ui->cbBadDateMethod, msg::BadDateMethodList);
    FillEntries(ui->cbCrossTabSel, msg::CrossTableList);
    FillEntries(ui->cbUpdProperties, msg::SourcePropertyList);
    FillEntries(ui->cbWhatShow, msg::CurrencyFilterList);
    FillEntries(ui->cbLabeling, msg::LabelingList);

    TStringList names;
    names.SetCommaText(Message(msg::WeekdayNames));
    if (names.Count() >= 7) {
        for (int p = 0; p < 7; ++p)
            if (DayPanels[p] != nullptr) DayPanels[p]->setText(QString::fromStdString(names[PanelWeekday(p)]));
    }
    // The publication time and weekday colours follow the language too (day-lag text, order).
    ShowSourceDetails();
    FitCurrencyCaptions();
}

}  // namespace vemra
