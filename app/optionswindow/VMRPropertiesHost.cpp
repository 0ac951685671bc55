// The properties window's side of the program: what it asks of the options window, the main
// window and the data module, and the entry points through which those reach it.

#include <QComboBox>

#include "CurrencyConverter.h"
#include "NetUtils.h"
#include "PlugginMan.h"
#include "QtCalendar.h"
#include "SysCaller.h"
#include "VMRConfigForm.h"
#include "VMRConverterForm.h"
#include "VMROnDemandForm.h"
#include "VMRPropertiesForm.h"
#include "dm.h"
#include "rtl/SysUtils.h"
#include "ui_VMRConfigForm.h"

namespace vemra {

namespace {

class TProgramPropertiesHost final : public IPropertiesHost {
public:
    QComboBox* OptionsSourceList() override { return VMRConfig ? VMRConfig->ui->cbSubscriptions : nullptr; }
    void SourceChosen(QComboBox* sender) override {
        if (VMRConfig) VMRConfig->cbSubscriptionsChange(sender);
        else if (PlugginMan && sender) PlugginMan->SelectedIndex = sender->currentIndex();
    }
    bool UpdateHistoryFile() override {
        // Asked from a click in the properties window: a history file or store that cannot be
        // read or written is told here.
        try {
            return VMRConfig && VMRConfig->UpdateHistoryFile();
        } catch (const std::exception& e) {
            ShowMessage(e.what());
            return false;
        }
    }
    void RatesApplied() override {
        if (VMRConverter && CurrencyConverter) {
            VMRConverter->FillCurrencyCombos(CurrencyConverter->SourceCode(), CurrencyConverter->TargetCode());
            VMRConverter->BtConvertClick(nullptr);
        }
        if (VMRConfig) VMRConfig->cbWhatShowChange(nullptr);
    }
    void ShowRateIndicator() override {
        if (VMRConverter) VMRConverter->ShowRateIndicator();
    }
    void RepaintSourceLists() override {
        if (VMRConfig) VMRConfig->ui->cbSubscriptions->update();
        if (VMRConverter && VMRConverter->cbSubs) VMRConverter->cbSubs->update();
    }
    bool InternetConnected() override { return InetIsConnected(); }
    bool UpdateRunning() override { return dm != nullptr && dm->IsBusy(); }
    bool RefuseDownload() override { return dm != nullptr && dm->RefuseDownload(); }
    void SetBusyState(bool busy) override {
        if (dm) dm->SetBusyState(busy);
    }
    std::uint8_t DownloadRates(TDateTime date) override { return dm ? dm->DownloadRates(date) : 4; }
    void ProcessRateUpdate(std::uint8_t code, bool isSelected, bool quiet) override {
        if (dm) dm->ProcessRateUpdate(code, isSelected, quiet);
    }
    void UpdateAll() override {
        if (dm) dm->UpdaterTimer(nullptr);
    }
    void RunOnDemandDownload(const TStringList& dates) override { vemra::RunOnDemandDownload(dates); }
    void ShowMessage(const std::string& text) override {
        if (dm) dm->ShowMessageText(text);
    }
    bool Ask(const std::string& text) override { return dm && dm->AskMessageText(text, true); }
    void ShowNotification(const std::string& title, const std::string& text) override {
        if (dm) dm->ShowNotification(title, text);
    }
    std::string MessageText(int number) override { return dm ? dm->GetMessageText(number) : std::string(); }
    void OpenAddress(const std::string& address) override {
        try {
            ShellOpen(address);
        } catch (const std::exception& e) {
            ShowMessage(e.what());
        }
    }
    void Translate(QWidget* window) override {
        if (dm) dm->TranslateForm(window);
    }
    std::string LanguageCode() override { return vemra::LanguageName; }
    TCurrencyConverter* Converter() override { return CurrencyConverter; }
    QPoint RememberedPosition() override { return {PropertiesLeft, PropertiesTop}; }
    void RememberPosition(int left, int top) override {
        PropertiesLeft = left;
        PropertiesTop = top;
    }
};

}  // namespace

IPropertiesHost& ProgramPropertiesHost() {
    static TProgramPropertiesHost host;
    return host;
}

// ---- what the options window calls ----

TVMRProperties* OpenPropertiesWindow(QWidget* owner) { return OpenPropertiesWindow(owner, ProgramPropertiesHost()); }


QWidget* CreatePropertiesWindow(QWidget* owner) {
    auto* window = new TVMRProperties(owner, ProgramPropertiesHost());
    PropertiesWindow = window;
    return window;
}

void ShowSourceInPropertiesWindow(QWidget* properties, int index) {
    auto* window = qobject_cast<TVMRProperties*>(properties);
    if (!window) return;
    if (window->cbPublisher->currentIndex() != index) window->cbPublisher->setCurrentIndex(index);
    window->cbPublisherChange();
}

QWidget* CurrentPropertiesWindow() { return PropertiesWindow; }

}  // namespace vemra
