#pragma once
// The data module: the program's shared services (language file and numbered messages,
// update log, sounds, notifications, message boxes, plug-in packages and resources).
// One instance, dm, created without owner; each service lives in its own source file.

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "DownloadOperation.h"
#include "EngineHost.h"
#include "RateUpdateHost.h"
#include "StreamedIniFile.h"
#include "platform/ModuleResources.h"
#include "rtl/DateUtils.h"
#include "rtl/StringList.h"

class QTimer;
class QWidget;
struct ca_context;

namespace vemra {

class IAppWindows;

// The loaded language's own name (message 0) and the chosen language file's name (user
// setting "VMRLanguaje").
extern std::string LanguageName;
extern std::string LanguageFileName;

class Tdm : public QObject, public IEngineHost, public IRateUpdateHost {
    Q_OBJECT
public:
    explicit Tdm(QObject* parent = nullptr);
    ~Tdm() override;

    // The converter's windows as the services reach them; nullptr: none.
    void SetAppWindows(IAppWindows* windows) { windows_ = windows; }
    IAppWindows* AppWindows() const { return windows_; }

    // ---- language file and numbered messages (dmLanguage.cpp) ----
    // Makes the file (a name in AppData) the current language and retranslates the windows.
    // Throws Exception("No languaje file present") when the language list is empty.
    void LoadLanguageFile(const std::string& fileName);
    void LoadMessageTable(const std::string& path);
    // LoadMessageTable that never throws: "" when the file gave a language (message 0), else
    // what is wrong with it (the table is then empty).
    std::string LoadUsableMessageTable(const std::string& path);
    // What was wrong with the language file the last LoadLanguageFile chose, when even a
    // fresh copy from the resource library could not mend it; "" when it loaded.
    std::string LanguageFault;
    // The name=value lines of one section of the open language file.
    std::unique_ptr<TStringList> ReadLanguageSection(const std::string& section);
    // Applies the section UpperCase(class name) to the window.
    void TranslateForm(QWidget* window);
    std::string GetMessageText(int number) override;  // "" when there is none
    void ShowMessageNumber(int number) override;
    static bool MatchLanguageId(std::uint16_t languageId, const std::string& key);
    // Fills the options window's language list and returns the language file to load.
    std::string SelectLanguage();
    // Turns the language index's lines (entry=LLLL, one character, base name) into file
    // names (base name + ".lib") and returns the last one whose key matches the language,
    // index its position; "" and -1 when none matches.
    static std::string PickIndexedLanguage(TStringList& lines, std::uint16_t languageId, int& index);
    std::string LanguageName() override { return vemra::LanguageName; }
    // Message 22 upper-cased: what the conversion run stores for an empty table cell.
    std::string EmptyCellText;
    // The language-data resource's lines, read while choosing the language.
    TStringList LanguageData;
    const TStringList& MessageTable() const { return messages_; }

    // ---- update log and sounds (dmLog.cpp) ----
    void WriteLogLine(const std::string& tag, const std::string& text) override;
    void LogUpdateCheck(const std::string& code, std::int8_t zoneHours, TDateTime utcNow,
                        TDateTime publication, bool due) override;
    // The same line with the given time instead of the current one.
    void WriteLogLineAt(const std::string& tag, const std::string& text, TDateTime when);
    // Stops the sound playing, then plays the event sound of that name ("Notify": the
    // message sound) without waiting.
    void PlayEventSound(const std::string& name);
    // The update log's path (PubData + its hidden file name).
    static std::string UpdateLogPath();

    // ---- message boxes, notifications, web addresses (dmMessages.cpp) ----
    void ShowMessageText(const std::string& text) override;
    bool AskMessageText(const std::string& text, bool closeWithNo);
    void ShowNotification(const std::string& title, const std::string& text) override;
    static std::string WebsiteUrl(const std::string& suffix);
    static std::string ServiceUrl(const std::string& suffix);
    // The one-shot tour timer (3000 ms); its start belongs to the program's start-up.
    QTimer* Tour = nullptr;
    void TourTimer();
    // IEngineHost / IRateUpdateHost parts that the windows answer.
    void SetTrayTip(const std::string& tip) override;
    std::string CurrencyConfigFileName() override;
    bool DetailLogEnabled() override;

    // ---- update timer and rate updates (dmUpdater.cpp) ----
    // The update timer: off until the start-up enables it (StartUpdater, about 5 s after a
    // successful start); every update run re-arms it with 300-359 s.
    QTimer* Updater = nullptr;
    static constexpr int kUpdaterDesignInterval = 5000;
    // Enables Updater with its first interval (the design one, or VEMRA_FIRST_UPDATE_MS).
    void StartUpdater();
    void ScheduleUpdater();
    // Enters (true) or leaves (false) the busy state of an update run; entering starts the
    // update's download operation when none runs, leaving ends the one it started.
    void SetBusyState(bool busy);
    // True during an update run and while any download operation runs.
    bool IsBusy();
    // True, after telling the user so (message 125), while a download operation runs: a
    // download the user asks for then is refused.
    bool RefuseDownload();
    // The operation of that kind has ended: an update run that waited for it follows.
    void DownloadEnded(TDownloadKind kind);
    // A timer-started update run waits for the running download operation.
    bool UpdateWaiting() const { return updateWaiting_; }
    // One update run; a nil sender never checks the program version.
    void UpdaterTimer(QObject* sender);
    // True when the published version is newer than ProgramVersion; version gets its text.
    bool CheckNewVersion(std::string& version);
    // Downloads and dates the current source's page: 0, 2, 4 or 6.
    std::uint8_t DownloadRatePage(const std::string& address);
    std::uint8_t DownloadRates(TDateTime date) override;
    void ProcessRateUpdate(std::uint8_t code, bool isSelected, bool quiet) override;
    void SetDatedRateFile(const std::string& fileName) override;
    std::string DownloadedPageFile;  // the source folder + "/Data.txt"
    std::string DownloadFailure;     // why the last page download failed (InetLastError)
    std::string DatedRateFile;       // the day rate file of the last download; "" when undated
    TDateTime DownloadedPageDate = 0;
    TDateTime LastVersionCheck = 0;  // 0 at program start: the first run with a sender checks
    bool VersionCheckedToday = false;
    // The connection test of the update run (tests replace it); InetIsConnected by default.
    std::function<bool()> ConnectionTest;
    // Tests point the program's service at their own server; "" restores the built-in address.
    static void SetServiceBaseForTests(const std::string& base);
    // ---- end of update timer and rate updates ----

    // ---- packages and resources (dmPackages.cpp, dmResources.cpp) ----
    // Unpacks a zip, RAR or package (.vpl) archive into the folder; ExtractedNames then lists
    // the files written (full paths). Unsafe or oversized archives fail and change nothing
    // (refused, when given, tells them from damaged ones).
    bool ExtractArchive(const std::string& archive, const std::string& folder, bool* refused = nullptr);
    TStringList ExtractedNames;
    // Installs one package through the plug-in manager PlugginMan; a failure shows
    // "Error installing: " + the package path and leaves the package waiting; a refused one
    // is moved to PubData/Refused.
    bool InstallPluginFile(const std::string& packagePath, const std::string& packageName,
                           const std::string& code, const std::string& folder);
    void InstallPendingPlugins(TStringList& files, const std::string& folder) override;
    // The resource library's handle, loading it on first use; nullptr when it cannot be loaded.
    HMODULE LoadResourceLibrary();
    void FreeResourceLibrary();
    bool ExtractResourceFiles();
    // ---- end of packages and resources ----

private:
    IAppWindows* windows_ = nullptr;
    std::unique_ptr<TStreamedIniFile> languageIni_;  // key index 1
    TStringList messages_;
    ca_context* sound_ = nullptr;
    void FreeSoundContext();
    // ---- update timer and rate updates: what the busy state keeps until it is left ----
    void CreateUpdater();
    bool savedConverterOn_ = false;
    bool busy_ = false;  // the busy mark, also without a main window
    std::unique_ptr<TDownloadOperation> busyOperation_;  // the one the busy state started
    bool updateWaiting_ = false;
    // ---- end of update timer and rate updates ----
};

extern Tdm* dm;

}  // namespace vemra
