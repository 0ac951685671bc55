// The data module's update timer: the update run with its busy state and version check, one
// download attempt of a rate source for a day, and what follows from its result code.

#include <sys/stat.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <exception>

#include "AppWindows.h"
#include "CurrencyConverter.h"
#include "MessageFormat.h"
#include "MessageNumbers.h"
#include "NetUtils.h"
#include "PlugginMan.h"
#include "RateFile.h"
#include "RefusalTexts.h"
#include "SysCaller.h"
#include "SysStrings.h"
#include "dm.h"
#include "rtl/Format.h"
#include "rtl/IniFiles.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra {

namespace {

// The version query of the program's service: the selected source's code and the language.
inline constexpr auto kVersionQuery = ScrambleLiteral("/version.php?sub=%s&lang=%s");

// Where a widget's own cursor waits while the busy state shows the hourglass: the shape, or
// -1 when it had none of its own.
constexpr const char* kSavedCursor = "vemraBusySavedCursor";

// Test hook, read once: VEMRA_FIRST_UPDATE_MS shortens (or lengthens) the first interval after
// start-up, at least 500 ms; without it the design interval holds.
int FirstUpdateInterval() {
    static const int interval = [] {
        const char* text = std::getenv("VEMRA_FIRST_UPDATE_MS");
        if (text == nullptr || *text == '\0') return Tdm::kUpdaterDesignInterval;
        char* end = nullptr;
        const long value = std::strtol(text, &end, 10);
        if (end == text || *end != '\0' || value <= 0) return Tdm::kUpdaterDesignInterval;
        return static_cast<int>(std::clamp(value, 500L, 3600L * 1000L));
    }();
    return interval;
}

void SetWaitCursor(QWidget* root) {
    if (root == nullptr) return;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        if (widget->property(kSavedCursor).isValid()) continue;  // already waiting
        widget->setProperty(kSavedCursor,
                            widget->testAttribute(Qt::WA_SetCursor) ? static_cast<int>(widget->cursor().shape()) : -1);
        widget->setCursor(Qt::WaitCursor);
    }
}

void RestoreCursor(QWidget* root) {
    if (root == nullptr) return;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        const QVariant saved = widget->property(kSavedCursor);
        if (!saved.isValid()) continue;
        if (saved.toInt() < 0)
            widget->unsetCursor();
        else
            widget->setCursor(static_cast<Qt::CursorShape>(saved.toInt()));
        widget->setProperty(kSavedCursor, QVariant());
    }
}

// The properties window's two update commands.
void EnablePropertiesUpdates(QWidget* properties, bool enabled) {
    if (properties == nullptr) return;
    if (auto* item = properties->findChild<QAction*>(QStringLiteral("btUpdAll"))) item->setEnabled(enabled);
    if (auto* button = properties->findChild<QWidget*>(QStringLiteral("btUpd"))) button->setEnabled(enabled);
}

// Every day rate file the program has written is read-only.
void MakeReadOnly(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) ::chmod(path.c_str(), st.st_mode & 07555);
}

std::string QueryValue(const std::string& value) {
    return QUrl::toPercentEncoding(QString::fromStdString(value)).toStdString();
}

}  // namespace

// ---- the timer ----

void Tdm::CreateUpdater() {
    Updater = new QTimer(this);
    Updater->setObjectName(QStringLiteral("Updater"));
    Updater->setInterval(FirstUpdateInterval());
    connect(Updater, &QTimer::timeout, this, [this] {
        // A fault must not leave the event loop; the next run tries again.
        try {
            UpdaterTimer(Updater);
        } catch (const std::exception& e) {
            qWarning("vemra: update run failed: %s", e.what());
        } catch (...) {
            qWarning("vemra: update run failed");
        }
    });
}

void Tdm::StartUpdater() {
    Updater->setInterval(FirstUpdateInterval());
    Updater->start();
}

void Tdm::ScheduleUpdater() {
    Updater->setInterval((QRandomGenerator::global()->bounded(60) + 300) * 1000);
    Updater->start();
}

bool Tdm::IsBusy() {
    QWidget* main = windows_ != nullptr ? windows_->MainWindow() : nullptr;
    auto* subs = main != nullptr ? main->findChild<QComboBox*>(QStringLiteral("cbSubs")) : nullptr;
    return busy_ || (subs != nullptr && subs->property("Tag").toInt() == 1) ||
           TDownloadOperation::Running() != TDownloadKind::None;
}

bool Tdm::RefuseDownload() {
    if (TDownloadOperation::Running() == TDownloadKind::None) return false;
    ShowMessageNumber(msg::DownloadRunning);
    return true;
}

void Tdm::DownloadEnded(TDownloadKind kind) {
    if (kind == TDownloadKind::Update || !updateWaiting_) return;
    updateWaiting_ = false;
    Updater->setInterval(kUpdaterDesignInterval);
    Updater->start();
}

void Tdm::SetBusyState(bool busy) {
    TCurrencyConverter* converter = windows_ != nullptr ? windows_->RateConverter() : nullptr;
    QWidget* main = windows_ != nullptr ? windows_->MainWindow() : nullptr;
    auto* message = main != nullptr ? main->findChild<QLabel*>(QStringLiteral("lbMessage")) : nullptr;
    auto* subs = main != nullptr ? main->findChild<QComboBox*>(QStringLiteral("cbSubs")) : nullptr;
    // A hidden properties window shows again later: its update actions must wait as well.
    QWidget* properties = windows_ != nullptr ? windows_->ExistingPropertiesWindow() : nullptr;
    if (busy) {
        savedConverterOn_ = converter != nullptr && converter->SwitchedOn();
        if (converter != nullptr) converter->SetSwitchedOn(false);
        if (windows_ != nullptr) windows_->AttachHintHandler(false);
        if (message != nullptr) message->setText(QString::fromStdString(GetMessageText(msg::UpdateRunning)));
        SetWaitCursor(main);
        if (subs != nullptr) {
            subs->hide();
            subs->setProperty("Tag", 1);
        }
        busy_ = true;
        SetWaitCursor(properties);
        EnablePropertiesUpdates(properties, false);
        Updater->stop();
        // Also opens the session, which only this operation's end closes.
        if (TDownloadOperation::Running() == TDownloadKind::None)
            busyOperation_ = std::make_unique<TDownloadOperation>(TDownloadKind::Update);
        return;
    }
    busy_ = false;
    if (subs != nullptr) subs->setProperty("Tag", 0);
    if (converter != nullptr) converter->SetSwitchedOn(savedConverterOn_);
    RestoreCursor(main);
    if (windows_ != nullptr) windows_->SaveUserSettings(0);
    if (message != nullptr) message->clear();
    RestoreCursor(properties);
    EnablePropertiesUpdates(properties, true);
    if (windows_ != nullptr) windows_->AttachHintHandler(true);
    ScheduleUpdater();
    busyOperation_.reset();
}

void Tdm::UpdaterTimer(QObject* sender) {
    const bool connected = ConnectionTest ? ConnectionTest() : InetIsConnected();
    if (!busy_ && TDownloadOperation::Running() != TDownloadKind::None) {
        // A history or on-demand download holds the session: the timer's run follows its end,
        // the run the user asked for is refused.
        if (sender == nullptr) {
            RefuseDownload();
        } else if (!updateWaiting_) {
            updateWaiting_ = true;
            Updater->stop();
            WriteLogLine("UPD", "UPDATE WAITS FOR THE RUNNING DOWNLOAD");
        }
        return;
    }
    if (IsBusy() || !connected) return;
    SetBusyState(true);
    try {
        VersionCheckedToday = (Now() - LastVersionCheck) < 1.0;
        if (!VersionCheckedToday && sender != nullptr) {
            // The check time is recorded also when the check fails, so none follows for a day.
            struct Checked {
                Tdm& module;
                ~Checked() {
                    module.LastVersionCheck = Now();
                    module.VersionCheckedToday = true;
                }
            } checked{*this};
            std::string version;
            if (CheckNewVersion(version)) {
                QWidget* options = windows_ != nullptr ? windows_->OptionsWindow() : nullptr;
                auto* button = options != nullptr ? options->findChild<QPushButton*>(QStringLiteral("btNewUpdate")) : nullptr;
                auto* panel = options != nullptr ? options->findChild<QWidget*>(QStringLiteral("pnNewUpdate")) : nullptr;
                if (button != nullptr)
                    button->setText(QString::fromStdString(FormatMessageText(*this, msg::NewVersion, version)));
                if (panel != nullptr) panel->setVisible(true);
            }
        }
        if (PlugginMan != nullptr) PlugginMan->UpdateAllPlugins();
    } catch (...) {
        SetBusyState(false);
        throw;
    }
    SetBusyState(false);
}

bool Tdm::CheckNewVersion(std::string& version) {
    version.clear();
    const std::string code = PlugginMan != nullptr ? PlugginMan->SelectedCode : std::string();
    const std::string suffix =
        Format(UnscrambleLiteral(kVersionQuery), QueryValue(code), QueryValue(GetMessageText(msg::LanguageName)));
    const std::unique_ptr<TStringList> lines = InetDownloadLines(ServiceUrl(suffix));
    if (lines == nullptr || lines->Count() == 0) return false;
    TMemIniFile ini;
    ini.SetStrings(*lines);
    version = ini.ReadString("VEMRA", "VERSION", "");
    return VersionToInt(ProgramVersion) < VersionToInt(version);
}

// ---- one download attempt ----

std::uint8_t Tdm::DownloadRatePage(const std::string& address) {
    THTMLConverterPlugInn* source = PlugginMan != nullptr ? PlugginMan->WorkingPlugin() : nullptr;
    if (source == nullptr) return 2;
    DownloadedPageFile = source->GetPluginValue(pvDataFolder) + "/Data.txt";
    try {
        DownloadFailure.clear();
        if (!InetDownloadToFile(address, DownloadedPageFile)) {
            DownloadFailure = InetLastError();
            return 4;
        }
        if (!source->PreCleanPluginText(DownloadedPageFile)) return 6;
        source->LoadHtmlPage(DownloadedPageFile);
        DownloadedPageDate = source->GetPageDate();
        if (DownloadedPageDate == 0) return 2;
    } catch (...) {
        // A fault leaves the page undated, which the attempt reports as code 2.
    }
    return 0;
}

std::uint8_t Tdm::DownloadRates(TDateTime date) {
    DatedRateFile.clear();
    DownloadedPageDate = 0;
    THTMLConverterPlugInn* source = PlugginMan != nullptr ? PlugginMan->WorkingPlugin() : nullptr;
    if (source == nullptr || !source->LoadPluginLibrary()) return 1;
    // Held while the page downloads: a window that opens and unloads the library meanwhile
    // leaves it to this attempt.
    source->HoldLibrary();
    struct Unload {
        THTMLConverterPlugInn& source;
        ~Unload() {
            source.ReleaseLibrary();
            source.UnloadPluginLibrary();
        }
    } unload{*source};
    std::uint8_t code = 3;
    const std::string address = Trim(source->ComposeQueryUrl(1, date));
    if (!address.empty()) code = DownloadRatePage(address);
    if (code == 0) {
        DatedRateFile = source->GetPluginDataFileName(DownloadedPageDate);
        if (DownloadedPageDate <= 0)
            code = 2;
        else if (FileExists(DatedRateFile))
            code = 8;
        else
            code = static_cast<std::uint8_t>(source->ExtractPageRates(DownloadedPageDate));
    }
    return code;
}

void Tdm::SetDatedRateFile(const std::string& fileName) { DatedRateFile = fileName; }

// ---- its outcome ----

void Tdm::ProcessRateUpdate(std::uint8_t code, bool isSelected, bool quiet) {
    THTMLConverterPlugInn* source = PlugginMan != nullptr ? PlugginMan->WorkingPlugin() : nullptr;
    if (source == nullptr) return;
    // The user may have chosen another source while the download waited.
    isSelected = isSelected && source == PlugginMan->CurrentPlugin();
    const std::string& sourceCode = source->Code;
    auto logResult = [&](const std::string& text) { WriteLogLine("UPD", Format("%s : %s", sourceCode, text)); };
    switch (code) {
        case 1: {
            // A library that is there but that others can change is named as refused, not missing.
            const std::string refused = source->RefusedLibrary();
            if (!refused.empty()) {
                WriteLogLine("UPD", "LIBRARY REFUSED, OTHERS CAN CHANGE IT: " + refused);
                if (!quiet) ShowMessageText(LibraryRefusedText(this, refused));
                break;
            }
            const std::string library = source->PluginLibraryPath();
            WriteLogLine("UPD", "ERROR LOADING: " + library);
            if (!quiet) ShowMessageText(FormatMessageText(*this, msg::SourceMissing, library));
            break;
        }
        case 2: logResult("ERROR PARSING DATE"); break;
        case 4:
            // A server that sends the page elsewhere (file://, ...) or more than a page is
            // reachable: say what it did. A download abandoned because the program is quitting
            // proves nothing about the network, so it leaves no line.
            if (DownloadFailure.starts_with("redirect refused"))
                logResult("REDIRECT REFUSED");
            else if (DownloadFailure == "too large")
                logResult("TOO LARGE");
            else if (DownloadFailure != "cancelled")
                logResult("NO INTERNET");
            break;
        case 6: logResult("ERROR PARSING HTML"); break;
        case 7: logResult("VALUE/S MISSING"); break;
        case 9: {
            // Only a fresh download is filed: a day rate file that is already there stays as it is.
            const std::string fresh = source->GetPluginValue(pvDataFolder) + "/Data.vmr";
            if (!DatedRateFile.empty() && !FileExists(DatedRateFile) && FileExists(fresh) &&
                CopyFileTo(fresh, DatedRateFile, false))
                MakeReadOnly(DatedRateFile);

            std::string alert;
            std::int32_t missing = 0;
            std::string missingCodes;
            if (FileExists(DatedRateFile)) source->FindMissingCheckItems(DatedRateFile, missing, missingCodes);
            if (missing > 0) {
                ShowMessageText(Format("Warning: %d missing in %s.\r\nCheck log for more information.", missing,
                                       ExtractFileName(DatedRateFile)));
                alert = " \xC2\xA1" "ALERT! " + missingCodes + " MISSING";
            }

            TRateFileHeader header;
            ReadRateFileHeader(DatedRateFile, header);
            // A file without CODE still is the day's download; only a day rate file that is not
            // there (the copy failed) must not become the source's last file.
            if (FileExists(DatedRateFile)) {
                source->SetLastUpdate(DateOf(header.Date) + TimeOf(Now()));
                PlugginMan->SetLastRateFile(*source, DatedRateFile);
            }

            TCurrencyConverter* converter = windows_ != nullptr ? windows_->RateConverter() : nullptr;
            const bool reload = isSelected && converter != nullptr &&
                                converter->Currencies().ProviderCode == header.ProviderCode &&
                                header.ProviderCode == sourceCode &&
                                ParseDateTimeStamp(converter->Currencies().DateText) < header.Date &&
                                windows_->MainWindowMode() == 0 &&
                                TDownloadOperation::MayReplaceRates();
            const std::string notice =
                Format("%s\r\n\r\n%s", source->GetPluginValue(pvPublisher), ExtractFileName(DatedRateFile));
            if (reload) {
                logResult("UPDATED : " + DatedRateFile + alert);
                if (LoadRateFile(converter->Currencies(), DatedRateFile)) {
                    windows_->RefillCurrencyLists();
                    windows_->RefreshPropertiesWindow();
                    if (!quiet) ShowNotification("*", notice);
                } else if (quiet) {
                    ShowMessageNumber(msg::RatesNotLoaded);
                }
            } else {
                logResult("NOTIFIED : " + DatedRateFile + alert);
                if (!quiet) ShowNotification("*", notice);
            }
            break;
        }
        default: break;  // 0, 3, 5 and 8 pass silently
    }
    PlugginMan->SavePluginDefinition(*source);
    if (windows_ != nullptr) windows_->RefreshRateSourcePage();
}

}  // namespace vemra
