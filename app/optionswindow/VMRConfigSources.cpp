// The options window's rate sources page: choosing a source program-wide, its schedule,
// weekdays, properties and history bounds, the history download and the calendar.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

#include <cstdio>
#include <exception>

#include "CurrencyConverter.h"
#include "FormVMRViewer.h"
#include "MessageFormat.h"
#include "MessageNumbers.h"
#include "PlugginMan.h"
#include "RateFile.h"
#include "VMRConfigForm.h"
#include "VMRConverterForm.h"
#include "VMRDownloadForm.h"
#include "WindowSystem.h"
#include "dm.h"
#include "rtl/DateUtils.h"
#include "rtl/Format.h"
#include "rtl/StringList.h"
#include "rtl/SysUtils.h"
#include "ui_VMRConfigForm.h"
#include "vmrconsts.h"

namespace vemra {

namespace {

std::string Message(int number) { return dm != nullptr ? dm->GetMessageText(number) : std::string(); }

QString ShortDate(TDateTime day) { return QString::fromStdString(FormatDateTime(LocaleFormat.ShortDateFormat, day, LocaleFormat)); }

// True while a source choice runs: the properties window answers a choice by running the
// choice again with its own list, which would load the rates and notify a second time.
bool choosingSource = false;

void SetQuietly(QComboBox* list, int index) {
    if (list == nullptr || list->currentIndex() == index) return;
    const QSignalBlocker block(list);
    list->setCurrentIndex(index);
}

// The local history file, or (while the definition names none) the file name of the
// history address; "" when neither gives a name.
std::string HistoryTarget(const THTMLConverterPlugInn& source) {
    if (!source.GetPluginValue(pvHistoryFile).empty()) return source.GetHistoryFilePath();
    std::string name = source.GetPluginValue(pvHistoryUrl);
    const std::size_t query = name.find_first_of("?#");
    if (query != std::string::npos) name.resize(query);
    const std::size_t slash = name.rfind('/');
    name = slash == std::string::npos ? std::string() : name.substr(slash + 1);
    if (name.empty()) return {};
    return source.GetPluginValue(pvDataFolder) + PathDelim + name;
}

// The source's last day rate file; "" when its record cannot be written (the handler's caller,
// the event loop, cannot carry the fault: it is told here).
std::string LastRateFileOf(THTMLConverterPlugInn& source) {
    try {
        return PlugginMan->LastRateFile(source);
    } catch (const std::exception& e) {
        if (dm != nullptr) dm->ShowMessageText(e.what());
        return {};
    }
}

}  // namespace


void TVMRConfig::cbSubscriptionsChange(QObject* sender) {
    if (PlugginMan == nullptr || choosingSource) return;
    choosingSource = true;
    struct Reset {
        ~Reset() { choosingSource = false; }
    } reset;

    THTMLConverterPlugInn* source = PlugginMan->CurrentPlugin();
    const std::string previous = source != nullptr ? source->Code : std::string();
    if (sender != nullptr) {
        auto* list = qobject_cast<QComboBox*>(sender);
        const int i = list != nullptr ? list->currentIndex() : -1;
        if (i >= 0) {
            PlugginMan->SelectedIndex = i;
            SetQuietly(VMRConverter != nullptr ? VMRConverter->cbSubs : nullptr, i);
            SetQuietly(ui->cbSubscriptions, i);
            QWidget* properties = CurrentPropertiesWindow();
            if (properties != nullptr && list->window() != properties) ShowSourceInPropertiesWindow(properties, i);
        }
    } else {
        PlugginMan->SelectedIndex = ui->cbSubscriptions->currentIndex();
    }

    source = PlugginMan->CurrentPlugin();
    if (source != nullptr) {
        if (source->Code != previous) {
            PlugginMan->SelectedCode = source->Code;
            // A settings file that cannot be written is told once, by the settings' own save.
            if (!PlugginMan->SaveSelectedPlugin() && VMRConverter != nullptr) VMRConverter->SaveSettings(0);
        }
        const std::string file = sender != nullptr ? LastRateFileOf(*source) : std::string();
        if (!file.empty() && FileExists(file) && CurrencyConverter != nullptr) {
            TCurrencyChangeList& currencies = CurrencyConverter->Currencies();
            const std::string before = currencies.RateFileName;
            bool loaded = false;
            try {
                loaded = LoadRateFile(currencies, file);
            } catch (const std::exception& e) {
                if (dm != nullptr) dm->ShowMessageText(e.what());
            }
            // A file that cannot be used leaves the converter at the rates it had.
            if (!loaded && !before.empty() && before != file) {
                try {
                    LoadRateFile(currencies, before);
                } catch (const std::exception&) {
                }
            }
            if (loaded) {
                if (VMRConverter != nullptr)
                    VMRConverter->FillCurrencyCombos(CurrencyConverter->SourceCode(), CurrencyConverter->TargetCode());
                cbWhatShowChange(nullptr);
                if (VMRConverter != nullptr) VMRConverter->BtConvertClick(nullptr);
                if (dm != nullptr)
                    dm->ShowNotification(Message(msg::RatesApplied),
                                         Format("%s\r\n\r\n%s", source->GetPluginValue(pvPublisher), currencies.DateText));
            }
        }
    }
    ShowSourceDetails();
}

void TVMRConfig::ShowSourceDetails() {
    Ui::TVMRConfig& c = *ui;
    THTMLConverterPlugInn* source = PlugginMan != nullptr ? PlugginMan->CurrentPlugin() : nullptr;
    if (source == nullptr) {
        c.cbUpdProperties->setEnabled(false);
        {
            const QSignalBlocker block(c.cbUpdProperties);
            c.cbUpdProperties->setCurrentRow(-1);
        }
        c.btHisUpdate->setEnabled(false);
        c.EUpdSettings->clear();
        c.EHisStart->clear();
        c.EHisEnd->clear();
        cbPropertiesChange();
        return;
    }
    std::string schedule = source->PublicationTimeText;
    if (source->DayLag > 0) schedule += FillMessage(dm, msg::DayLag, Message(msg::DayLag), source->DayLag);
    c.EUpdSettings->setText(QString::fromStdString(schedule));

    for (int p = 0; p < 7; ++p) {
        if (DayPanels[p] == nullptr) continue;
        const std::size_t k = static_cast<std::size_t>(PanelWeekday(p));
        const bool published = k < source->SecondMask.size() && source->SecondMask[k] == '1';
        const QString color = TColorToQColor(published ? TColor(0x008000) : TColor(0x0000FF)).name();
        SetStyleSheetWhenShown(DayPanels[p], QStringLiteral("border:1px solid #c0c0c0;color:%1;").arg(color));
        DayPanels[p]->setProperty("Published", published);
    }

    const std::string type = source->GetPluginValue(pvHistoryType);
    c.btHisUpdate->setEnabled(type == "H" || type == "Y");

    const double first = source->HistoryBound(false);
    const double last = source->HistoryBound(true);
    if (first + last > 0) {
        c.EHisStart->setText(ShortDate(first));
        c.EHisEnd->setText(ShortDate(last != 0 ? last : Date()));
    } else {
        c.EHisStart->clear();
        c.EHisEnd->clear();
    }
    c.cbUpdProperties->setEnabled(true);
    cbPropertiesChange();
}

void TVMRConfig::cbPropertiesChange() {
    Ui::TVMRConfig& c = *ui;
    const int e = c.cbUpdProperties->currentRow();
    c.btEditVal->setEnabled(e == 1);
    c.btOpenVal->setEnabled(e > 0 && !c.btEditVal->isEnabled());
    THTMLConverterPlugInn* source = PlugginMan != nullptr ? PlugginMan->CurrentPlugin() : nullptr;
    if (source == nullptr) {
        c.btEditVal->setEnabled(false);
        c.btOpenVal->setEnabled(false);
        c.EUpdValue->clear();
        return;
    }
    std::string value;
    bool open = true;
    switch (e) {
        case 0:
            value = ExtractFileName(LastRateFileOf(*source));
            break;
        case 1:
            value = source->GetLastUpdate() > 0 ? source->GetPluginValue(pvLastUpdate) : std::string();
            open = false;
            break;
        case 2: value = source->GetPluginValue(pvDataSite); break;
        case 3: value = source->GetPluginValue(pvDataUrlHuman); break;
        case 4: value = source->GetPluginValue(pvHistoryUrl); break;
        case 5: {
            const std::string type = source->GetPluginValue(pvHistoryType);
            const char kind = type.empty() ? ' ' : type[0];
            if (kind == 'D') value = Message(msg::HistoryDaily);
            else if (kind == 'H' || kind == 'Y') value = source->GetHistoryFilePath();
            else value = Message(msg::HistoryNone);
            break;
        }
        case 6: open = false; break;
        default: return;  // no entry chosen: the value stays
    }
    c.EUpdValue->setText(QString::fromStdString(value));
    c.btOpenVal->setEnabled(open);
}

void TVMRConfig::btEditValClick() {
    Ui::TVMRConfig& c = *ui;
    if (c.EUpdValue->isReadOnly()) {
        c.btEditVal->setText(QString::fromStdString(Message(msg::SaveCaption)));
        c.EUpdValue->setReadOnly(false);
        c.EUpdValue->setEnabled(true);
        return;
    }
    THTMLConverterPlugInn* source = PlugginMan != nullptr ? PlugginMan->CurrentPlugin() : nullptr;
    const std::string text = Trim(c.EUpdValue->text().toStdString());
    // A text that is no date stamp is dropped: "LastUpdate" drives the update schedule.
    if (c.cbUpdProperties->currentRow() == 1 && source != nullptr && ParseDateTimeStamp(text) > 0) {
        source->SetLastUpdateText(text);
        try {
            if (source->Modified) PlugginMan->SaveCurrentPluginDefinition();
        } catch (const std::exception& e) {
            if (dm != nullptr) dm->ShowMessageText(e.what());
        }
    }
    c.btEditVal->setText(QString::fromStdString(Message(msg::EditCaption)));
    c.EUpdValue->setReadOnly(true);
    c.EUpdValue->setEnabled(false);
    cbPropertiesChange();
}

void TVMRConfig::btOpenValClick() {
    THTMLConverterPlugInn* source = PlugginMan != nullptr ? PlugginMan->CurrentPlugin() : nullptr;
    if (source == nullptr) return;
    const int e = ui->cbUpdProperties->currentRow();
    try {
        switch (e) {
            case 0: {
                const std::string file = PlugginMan->LastRateFile(*source);
                if (!file.empty() && FileExists(file)) ShowTextFile(file);
                break;
            }
            case 2:
            case 5: {
                // Entry 5 is a file only for the history kinds that keep one.
                const std::string type = source->GetPluginValue(pvHistoryType);
                if (e == 5 && type != "H" && type != "Y") break;
                const std::string value = ui->EUpdValue->text().toStdString();
                if (!value.empty()) OpenWithShell(value);
                break;
            }
            case 3:
            case 4: {
                std::string address;
                source->LoadPluginLibrary();
                try {
                    address = source->ComposeQueryUrl(e == 3 ? 0 : 2, Date());
                } catch (...) {
                    source->UnloadPluginLibrary();
                    throw;
                }
                source->UnloadPluginLibrary();
                if (!address.empty()) OpenWithShell(address);
                break;
            }
            default: break;
        }
    } catch (const std::exception& ex) {
        if (dm != nullptr) dm->ShowMessageText(ex.what());
    }
}

void TVMRConfig::btHisUpdateClick() {
    if (dm != nullptr && dm->RefuseDownload()) return;
    bool updated = false;
    try {
        updated = UpdateHistoryFile();
    } catch (const std::exception& e) {
        if (dm != nullptr) dm->ShowMessageText(e.what());
    }
    if (dm != nullptr) dm->ShowMessageNumber(updated ? msg::HistoryUpdated : msg::HistoryFailed);
}

bool TVMRConfig::UpdateHistoryFile() {
    THTMLConverterPlugInn* source = PlugginMan != nullptr ? PlugginMan->CurrentPlugin() : nullptr;
    if (source == nullptr || dm == nullptr) return false;
    const std::string historyFile = HistoryTarget(*source);
    if (historyFile.empty()) return false;
    std::string target = historyFile;
    const std::string ext = source->GetPluginValue(pvHistoryUrlExt);
    const bool archive = !ext.empty() && std::string("ZIP,RAR").find(ext) != std::string::npos;
    if (archive) target += "." + ext;

    TStringList lines;
    lines.Add(Format("%s|RAR|%s|%s|%s", source->Code, "History File", source->GetPluginValue(pvHistoryUrl), target));
    if (RunDownloadList(lines, false) <= 0 || !FileExists(target)) return false;

    std::string fetched = target;
    if (archive) {
        const bool extracted = dm->ExtractArchive(target, source->GetPluginValue(pvDataFolder));
        std::remove(target.c_str());
        // The archive must have brought the history file itself.
        if (!extracted || !FileExists(historyFile)) return false;
        fetched = historyFile;
    }
    if (!source->UpdateHistoryBounds(fetched)) return false;
    source->SetHistoryFile(fetched);
    // The new bounds reach the store now, so a later fault cannot lose them.
    PlugginMan->SavePluginDefinition(*source);
    // The page shows another source when the user chose one while the download waited.
    if (source != PlugginMan->CurrentPlugin()) {
        ShowSourceDetails();
        return true;
    }

    const double first = source->HistoryBound(false);
    const double last = source->HistoryBound(true);
    if (first * last > 0) {
        ui->EHisStart->setText(ShortDate(first));
        ui->EHisEnd->setText(ShortDate(last));
    } else {
        ui->EHisStart->clear();
        ui->EHisEnd->clear();
    }
    cbPropertiesChange();
    return true;
}

void TVMRConfig::btCalendarClick() {
    if (QWidget* open = CurrentPropertiesWindow(); open != nullptr && open->isVisible()) open->close();
    if (QWidget* properties = CreatePropertiesWindow(this)) {
        properties->show();
        properties->raise();
    }
}

}  // namespace vemra
