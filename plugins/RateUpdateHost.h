#pragma once
// What the plug-in manager asks of the application's data module: the download attempt and
// its processing, the notification popup, the update log, numbered messages, the detail-log
// switch and the installation of waiting plug-in packages.

#include <cstdint>
#include <string>

#include "rtl/DateUtils.h"
#include "rtl/StringList.h"

namespace vemra {

class IRateUpdateHost {
public:
    virtual ~IRateUpdateHost() = default;
    // One download attempt of the current rate source for a day; a result code 1-9.
    virtual std::uint8_t DownloadRates(TDateTime date) = 0;
    // Acts on a result code for the current rate source.
    virtual void ProcessRateUpdate(std::uint8_t code, bool isSelected, bool quiet) = 0;
    // The data module's day rate file of the last download.
    virtual void SetDatedRateFile(const std::string& fileName) = 0;
    // The notification popup; the title "*" stands for the default title and colours.
    virtual void ShowNotification(const std::string& title, const std::string& text) = 0;
    // One due-test of a day whose rate file is missing, for the update log.
    virtual void LogUpdateCheck(const std::string& code, std::int8_t zoneHours, TDateTime utcNow,
                                TDateTime publication, bool due) = 0;
    // The user setting "DetailLog".
    virtual bool DetailLogEnabled() = 0;
    // A numbered message of the language file in a message box.
    virtual void ShowMessageNumber(int number) = 0;
    // Installs every package named in files (names relative to folder), emptying the list;
    // it registers each through TPlugginMan::InstallPlugin.
    virtual void InstallPendingPlugins(TStringList& files, const std::string& folder) = 0;
};

// Stands in while no data module is attached: nothing is downloaded, shown or installed.
class NullRateUpdateHost final : public IRateUpdateHost {
public:
    std::uint8_t DownloadRates(TDateTime) override { return 4; }
    void ProcessRateUpdate(std::uint8_t, bool, bool) override {}
    void SetDatedRateFile(const std::string&) override {}
    void ShowNotification(const std::string&, const std::string&) override {}
    void LogUpdateCheck(const std::string&, std::int8_t, TDateTime, TDateTime, bool) override {}
    bool DetailLogEnabled() override { return false; }
    void ShowMessageNumber(int) override {}
    void InstallPendingPlugins(TStringList& files, const std::string&) override { files.Clear(); }
};

}  // namespace vemra
