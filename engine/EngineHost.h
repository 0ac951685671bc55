#pragma once
// What the engine asks of the layers above it. The application's data module implements
// IEngineHost and the plug-in manager implements IRateSourceHost; the converter holds one
// of each (none set: messages and logs go nowhere, texts are empty, no rate source).

#include <string>

#include "rtl/DateUtils.h"

namespace vemra {

class IEngineHost {
public:
    virtual ~IEngineHost() = default;
    // The program's message box.
    virtual void ShowMessageText(const std::string& text) = 0;
    // The log routine; it records only the update tag "UPD".
    virtual void WriteLogLine(const std::string& tag, const std::string& text) = 0;
    // A numbered message of the loaded language file.
    virtual std::string GetMessageText(int number) = 0;
    // The notification-area icon's tip (shorter than 64 characters).
    virtual void SetTrayTip(const std::string& tip) = 0;
    // The loaded language's own name (message 0); it names the currency-name file.
    virtual std::string LanguageName() = 0;
    // The user setting "VMRConfigFile": the currency configuration file.
    virtual std::string CurrencyConfigFileName() = 0;
};

// The plug-in manager's selected rate source. With no source selected the texts are
// empty and the numbers 0.
class IRateSourceHost {
public:
    virtual ~IRateSourceHost() = default;
    virtual std::string SelectedCode() = 0;
    virtual std::string SelectedPublisher() = 0;      // definition value "Publisher"
    virtual int SelectedPublicationMinute() = 0;      // minute of the day it publishes
    virtual int SelectedZoneHours() = 0;              // its offset from GMT in hours
    virtual std::string SelectedRateFileName(TDateTime date) = 0;  // its day rate file of that day
    virtual std::string LastRateFile() = 0;
    virtual void SetLastRateFile(const std::string& path) = 0;
    virtual void SaveCurrentPluginDefinition() = 0;
};

// Stand-ins used while nothing is installed.
class NullEngineHost final : public IEngineHost {
public:
    void ShowMessageText(const std::string&) override {}
    void WriteLogLine(const std::string&, const std::string&) override {}
    std::string GetMessageText(int) override { return {}; }
    void SetTrayTip(const std::string&) override {}
    std::string LanguageName() override { return {}; }
    std::string CurrencyConfigFileName() override { return {}; }
};

class NullRateSourceHost final : public IRateSourceHost {
public:
    std::string SelectedCode() override { return {}; }
    std::string SelectedPublisher() override { return {}; }
    int SelectedPublicationMinute() override { return 0; }
    int SelectedZoneHours() override { return 0; }
    std::string SelectedRateFileName(TDateTime) override { return {}; }
    std::string LastRateFile() override { return {}; }
    void SetLastRateFile(const std::string&) override {}
    void SaveCurrentPluginDefinition() override {}
};

}  // namespace vemra
