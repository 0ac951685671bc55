#include "vmrconsts.h"

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <vector>

#include "SysWinCore.h"
#include "platform/Registry.h"
#include "rtl/DateUtils.h"
#include "rtl/Format.h"
#include "rtl/SysUtils.h"

namespace vemra {
namespace {

constexpr std::string_view kInstallKey = "Software\\Vemra";
// In the user's key: the install date of the installation whose first start came last.
constexpr std::string_view kSettingsInstallDate = "SettingsInstallDate";
// Under the user's key: one value per installation this user has started, named by its
// program folder, holding its install date.
constexpr std::string_view kStartedInstallations = "Software\\Vemra\\Installations";

TFormatSettings MakeFormat(std::string thousands, char decimal, char date, char time,
                           std::string shortDate, std::string shortTime) {
    TFormatSettings fs;
    fs.ThousandSeparator = std::move(thousands);
    fs.DecimalSeparator = decimal;
    fs.DateSeparator = date;
    fs.TimeSeparator = time;
    fs.ShortDateFormat = std::move(shortDate);
    fs.ShortTimeFormat = std::move(shortTime);
    fs.TwoDigitYearCenturyWindow = 0;
    return fs;
}

std::string ReadStringValue(const TRegistry& reg, std::string_view name) {
    TRegDataType t = reg.GetDataType(name);
    if (t != TRegDataType::rdString && t != TRegDataType::rdExpandString) return {};
    return reg.ReadString(name);
}

// 0 for a value that is missing, not an 8-byte binary, or not a finite number.
TDateTime ReadDateValue(const TRegistry& reg, std::string_view name) {
    if (reg.GetDataType(name) != TRegDataType::rdBinary) return 0;
    try {
        TDateTime v = reg.ReadDateTime(name);
        return std::isfinite(v) ? v : 0;
    } catch (const ERegistryException&) {
        return 0;
    }
}

bool ReadBoolValue(const TRegistry& reg, std::string_view name) {
    return reg.GetDataType(name) == TRegDataType::rdInteger && reg.ReadBool(name);
}

bool HoldsThisInstallDate(const TRegistry& user, std::string_view name) {
    if (user.GetDataType(name) != TRegDataType::rdBinary) return false;
    try {
        return user.ReadDateTime(name) == InstallDate;
    } catch (const ERegistryException&) {
        return false;
    }
}

// Whether this user has started this installation before; nothing recorded counts as not.
// Settings of a time before the record per installation hold the last one's date alone.
bool StartedBefore() {
    TRegistry user(KEY_READ);
    user.SetRootKey(HKEY_CURRENT_USER);
    if (user.OpenKeyReadOnly(kStartedInstallations) && HoldsThisInstallDate(user, AppFolder)) return true;
    return user.OpenKeyReadOnly(kInstallKey) && HoldsThisInstallDate(user, kSettingsInstallDate);
}

// One install record as the chooser sees it.
struct TInstallRecord {
    std::string Hive;
    bool Present = false;              // the hive has the install key
    bool HoldsProgram = false;         // its "AppFolder" is the running program's folder
    std::vector<std::string> Missing;  // recorded folders that do not exist
};

bool SameFolder(const std::string& a, const std::string& b) {
    std::error_code error;
    return !a.empty() && !b.empty() && std::filesystem::equivalent(a, b, error);
}

TInstallRecord ReadInstallRecord(const std::string& hive, const std::string& programFolder) {
    TInstallRecord record;
    record.Hive = hive;
    if (::access(hive.c_str(), R_OK) != 0) return record;
    TRegistry::PinMachineHive(hive);
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKeyReadOnly(kInstallKey)) return record;
    record.Present = true;
    const std::string appFolder = ReadStringValue(reg, "AppFolder");
    record.HoldsProgram = SameFolder(appFolder, programFolder);
    for (const char* name : {"AppFolder", "PubData", "AppData"}) {
        const std::string folder = name == std::string_view("AppFolder") ? appFolder : ReadStringValue(reg, name);
        if (!DirectoryExists(folder))
            record.Missing.push_back(folder.empty() ? std::string("(") + name + ": none)" : folder);
    }
    return record;
}

std::string BrokenRecordText(const TInstallRecord& record) {
    std::string folders;
    for (const std::string& folder : record.Missing) folders += (folders.empty() ? "" : ", ") + folder;
    return "The installation record in " + record.Hive + " names folders that do not exist: " + folders +
           ". Install Vemra again.";
}

void MakeWorkingFolders() {
    if (!AppData.empty()) {
        ForceDirectories(AppData);
        ForceDirectories(AppData + "/Updates");
    }
    if (!TempDir.empty()) ForceDirectories(TempDir + "/Vemra");
}

class DateSettingsOverride {
public:
    DateSettingsOverride(std::string_view shortDateFormat, char dateSeparator)
        : format_(FormatSettings.ShortDateFormat), separator_(FormatSettings.DateSeparator) {
        FormatSettings.ShortDateFormat = std::string(shortDateFormat);
        FormatSettings.DateSeparator = dateSeparator;
    }
    ~DateSettingsOverride() {
        FormatSettings.ShortDateFormat = std::move(format_);
        FormatSettings.DateSeparator = separator_;
    }
    DateSettingsOverride(const DateSettingsOverride&) = delete;
    DateSettingsOverride& operator=(const DateSettingsOverride&) = delete;

private:
    std::string format_;
    char separator_;
};

}  // namespace

std::string AppFolder;
std::string PubData;
std::string AppData;
std::string AppMenu;
TDateTime InstallDate = 0;
std::string DesktopIcon;
std::string StartupIcon;
bool AllUser = false;
std::string UpdaterVersion;
std::string UserDataDir;
std::string ProgramVersion;

TFormatSettings StampFormat = MakeFormat(".", ',', '.', ':', "yyyy.mm.dd", "hh:nn");
TFormatSettings MdyFormat = MakeFormat(",", '.', '-', '\0', "mm-dd-yy", "");
TFormatSettings DmyFormat = MakeFormat("", '\0', '-', '\0', "dd-mm-yy", "");
TFormatSettings YmdFormat = MakeFormat("", '\0', '-', '\0', "yy-mm-dd", "");

std::string LanguageDayName(TDateTime day) {
    // The tray tip stands beside texts of the chosen language, not of the user's locale.
    const bool named = !StampFormat.ShortDayNames[0].empty();
    return FormatDateTime("ddd", day, named ? StampFormat : FormatSettings);
}

std::string SelectInstallRecord(const std::string& programFolder) {
    std::vector<TInstallRecord> records;
    for (const std::string& hive : {TRegistry::UserMachineHive(), TRegistry::SystemMachineHive()})
        if (records.empty() || records.front().Hive != hive) records.push_back(ReadInstallRecord(hive, programFolder));
    const auto first = [&records](auto&& fits) -> const TInstallRecord* {
        for (const TInstallRecord& record : records)
            if (record.Present && fits(record)) return &record;
        return nullptr;
    };
    const TInstallRecord* chosen = first([](const TInstallRecord& r) { return r.HoldsProgram; });
    // A program started from outside every installation (a build folder, a copy) takes a
    // whole record; a broken one is named only when there is no other.
    if (chosen == nullptr) chosen = first([](const TInstallRecord& r) { return r.Missing.empty(); });
    if (chosen == nullptr) chosen = first([](const TInstallRecord&) { return true; });
    TRegistry::PinMachineHive(chosen == nullptr ? std::string() : chosen->Hive);
    return chosen == nullptr || chosen->Missing.empty() ? std::string() : BrokenRecordText(*chosen);
}

bool ReadInstallSettings() {
    TRegistry reg(KEY_READ | RegistryView);
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKeyReadOnly(kInstallKey)) {
        AppFolder.clear();
        return false;
    }
    AppFolder = ReadStringValue(reg, "AppFolder");
    PubData = ReadStringValue(reg, "PubData");
    AppData = ReadStringValue(reg, "AppData");
    AppMenu = ReadStringValue(reg, "AppMenu");
    InstallDate = ReadDateValue(reg, "InstallDate");
    DesktopIcon = ReadStringValue(reg, "DesktopIcon");
    StartupIcon = ReadStringValue(reg, "StartupIcon");
    AllUser = ReadBoolValue(reg, "AllUser");
    UpdaterVersion = ReadStringValue(reg, "Vmr-UpdaterVer");
    reg.CloseKey();
    MakeWorkingFolders();
    return !StartedBefore();
}

// This installation's value among the ones the user has started; raises what the write raises.
static bool WriteStartedInstallation(TRegistry& user) {
    if (!user.OpenKey(kStartedInstallations, true)) return false;
    user.WriteDateTime(AppFolder, InstallDate);
    return true;
}

bool MarkInstallSettingsApplied() {
    TRegistry user(KEY_ALL_ACCESS);
    user.SetRootKey(HKEY_CURRENT_USER);
    TRegistryBatch batch(HKEY_CURRENT_USER);
    try {
        if (!user.OpenKey(kInstallKey, true)) return false;
        user.WriteDateTime(kSettingsInstallDate, InstallDate);
        if (!WriteStartedInstallation(user)) return false;
    } catch (const ERegistryException&) {
        return false;
    }
    return batch.Commit();
}

bool RecordStartedInstallation() {
    TRegistry user(KEY_ALL_ACCESS);
    user.SetRootKey(HKEY_CURRENT_USER);
    if (user.OpenKeyReadOnly(kStartedInstallations) && HoldsThisInstallDate(user, AppFolder)) return true;
    try {
        return WriteStartedInstallation(user);
    } catch (const ERegistryException&) {
        return false;
    }
}

TDateTime SafeStrToDate(std::string_view text) {
    TDateTime result = 0;
    return TryStrToDate(text, result, FormatSettings) ? result : 0;
}

TDateTime StrToDateFmt(std::string_view text, std::string_view shortDateFormat, char dateSeparator) {
    DateSettingsOverride override(shortDateFormat, dateSeparator);
    return SafeStrToDate(text);
}

TDateTime ParseDateTimeStamp(std::string_view text) {
    const std::string timePart = Trim(Copy(text, 12, 8));
    TDateTime time = 0;
    if (timePart.empty() || !TryStrToTime(timePart, time, StampFormat)) time = 0;
    return StrToDateFmt(Copy(text, 1, 10), "y.m.d", '.') + time;
}

std::string FormatDateStamp(TDateTime date) {
    int y = 0, m = 0, d = 0;
    DecodeDate(date, y, m, d);
    return Format("%4.4d.%2.2d.%2.2d", y, m, d);
}

std::string FormatDateTimeStamp(TDateTime dateTime) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    DecodeDateTime(dateTime, y, mo, d, h, mi, s, ms);
    return Format("%4.4d.%2.2d.%2.2d %2.2d:%2.2d:%2.2d", y, mo, d, h, mi, s);
}

std::string DateToShortStamp(TDateTime date) {
    return FormatDateTime("yymmdd", date);
}

std::string DatedRateFileName(std::string_view code, std::string_view folder, TDateTime date) {
    return Format("%s/%s-%s.vmr", folder, FormatDateStamp(date), code);
}

}  // namespace vemra
