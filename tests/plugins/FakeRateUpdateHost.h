#pragma once
// A recording stand-in for the data module as the plug-in manager sees it.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "RateUpdateHost.h"

namespace vemra::test {

class FakeRateUpdateHost : public IRateUpdateHost {
public:
    struct Processed {
        std::uint8_t code;
        bool isSelected;
        bool quiet;
        std::string source;  // the current source's code at the call
    };
    struct Check {
        std::string code;
        int zoneHours;
        TDateTime utcNow;
        TDateTime publication;
        bool due;
    };

    std::uint8_t DownloadRates(TDateTime date) override {
        Downloads.push_back(date);
        return OnDownload ? OnDownload(date) : DownloadResult;
    }
    void ProcessRateUpdate(std::uint8_t code, bool isSelected, bool quiet) override {
        ProcessedCodes.push_back({code, isSelected, quiet, CurrentCode ? CurrentCode() : std::string()});
        if (OnProcess) OnProcess(code, isSelected, quiet);
    }
    void SetDatedRateFile(const std::string& fileName) override { DatedRateFile = fileName; }
    void ShowNotification(const std::string& title, const std::string& text) override {
        Notifications.push_back(title + "|" + text);
    }
    void LogUpdateCheck(const std::string& code, std::int8_t zoneHours, TDateTime utcNow, TDateTime publication,
                        bool due) override {
        Checks.push_back({code, zoneHours, utcNow, publication, due});
    }
    bool DetailLogEnabled() override { return DetailLog; }
    void ShowMessageNumber(int number) override { MessageNumbers.push_back(number); }
    void InstallPendingPlugins(TStringList& files, const std::string& folder) override {
        for (int i = 0; i < files.Count(); ++i) PendingPackages.push_back(folder + "|" + files[i]);
        if (OnInstall) OnInstall(files, folder);
        files.Clear();
    }

    // What it answers.
    std::uint8_t DownloadResult = 9;
    std::function<std::uint8_t(TDateTime)> OnDownload;
    std::function<void(std::uint8_t, bool, bool)> OnProcess;
    std::function<void(TStringList&, const std::string&)> OnInstall;
    std::function<std::string()> CurrentCode;
    bool DetailLog = false;

    // What was asked of it.
    std::vector<TDateTime> Downloads;
    std::vector<Processed> ProcessedCodes;
    std::string DatedRateFile;
    std::vector<std::string> Notifications;
    std::vector<Check> Checks;
    std::vector<int> MessageNumbers;
    std::vector<std::string> PendingPackages;
};

}  // namespace vemra::test
