#pragma once
// vmrconsts: where the system is installed (read from the install key at start-up), the
// date stamps of its file names and logs, and the fixed format records of its own files.

#include <string>
#include <string_view>

#include "rtl/DateUtils.h"
#include "rtl/FormatSettings.h"

namespace vemra {

// Install settings (HKEY_LOCAL_MACHINE "Software\Vemra"), filled by ReadInstallSettings.
extern std::string AppFolder;       // program folder
extern std::string PubData;         // shared data: plug-ins, rate files, logs
extern std::string AppData;         // per-user data of the installation
extern std::string AppMenu;         // menu folder of the shortcuts
extern TDateTime InstallDate;       // when the installer ran
extern std::string DesktopIcon;     // desktop shortcut file
extern std::string StartupIcon;     // start-up shortcut file
extern bool AllUser;                // installed for all users
extern std::string UpdaterVersion;  // file version text of the updater
// Set elsewhere: the user's data folder and the running program's version text.
extern std::string UserDataDir;
extern std::string ProgramVersion;

// Fixed format records used instead of the user's locale. The conversion engine rewrites
// the date separators of the three date records when it learns a text's separator.
extern TFormatSettings StampFormat;  // 1.234,5  yyyy.mm.dd  hh:nn
extern TFormatSettings MdyFormat;    // 1,234.5  mm-dd-yy
extern TFormatSettings DmyFormat;    // dd-mm-yy
extern TFormatSettings YmdFormat;    // yy-mm-dd

// The short day name of day ("ddd") in the interface's language: the stamp record's names,
// which the language load fills; the user locale's until a language is loaded.
std::string LanguageDayName(TDateTime day);

// Chooses the install record of the installation that the program in programFolder belongs
// to and pins HKEY_LOCAL_MACHINE to its hive for the rest of the run. A user can see two
// records: the own one (an installation for that user) and the machine-wide one. The record
// whose "AppFolder" is programFolder wins, the user's own first; when neither names it (a
// program started from elsewhere), the first of the two whose folders all exist. The result
// is "" when the chosen record can be used or when there is none (ReadInstallSettings then
// finds no installation), else why it cannot: the record names "AppFolder", "PubData" or
// "AppData" folders that do not exist.
std::string SelectInstallRecord(const std::string& programFolder);

// Reads the install key into the globals and makes the folders AppData, AppData/Updates
// and TempDir/Vemra. Without the key: AppFolder is "", nothing else is touched, false.
// With it: true when this is the first start of this installation by this user, i.e. the
// user's key HKEY_CURRENT_USER "Software\Vemra\Installations" holds no value named by
// "AppFolder" with this "InstallDate" (nor, as settings of earlier versions record it,
// "Software\Vemra" a "SettingsInstallDate" equal to it). Reading does not change that (see
// MarkInstallSettingsApplied), and a user with an own installation and one for all users has
// one first start of each. A value that is missing or of another type reads as "", 0 or false.
bool ReadInstallSettings();
// Records that this user has started the current installation (its "Installations" value and
// "SettingsInstallDate" = InstallDate, creating the user's key), in one write. Call it with
// the first start's save of the settings. False when the user's store cannot be written.
bool MarkInstallSettingsApplied();
// Records this user's start of the current installation where only "SettingsInstallDate" (as
// earlier versions kept it) knew of it, so that the first start of another installation does
// not make it new again; writes nothing when it is recorded. False when it cannot be stored.
bool RecordStartedInstallation();

// The text as a date under the global FormatSettings; 0 when it is no date.
TDateTime SafeStrToDate(std::string_view text);
// SafeStrToDate with the global short date format and date separator set to the given ones
// for the call (restored afterwards, also on errors).
TDateTime StrToDateFmt(std::string_view text, std::string_view shortDateFormat, char dateSeparator);
// "yyyy.mm.dd" optionally followed by " hh:nn:ss"; 0 when there is nothing to read.
TDateTime ParseDateTimeStamp(std::string_view text);
std::string FormatDateStamp(TDateTime date);          // 2024.01.05
std::string FormatDateTimeStamp(TDateTime dateTime);  // 2024.01.05 07:08:09
std::string DateToShortStamp(TDateTime date);         // 240105
// folder/2024.01.05-ECB.vmr
std::string DatedRateFileName(std::string_view code, std::string_view folder, TDateTime date);

}  // namespace vemra
