#pragma once
// A recording stand-in for the layers above the engine: the data module's side
// (message boxes, the log, numbered messages, the tray tip, the language, the setting
// "VMRConfigFile") and the plug-in manager's selected rate source.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "EngineHost.h"
#include "vmrconsts.h"

namespace vemra::test {

class FakeEngineHost : public IEngineHost, public IRateSourceHost {
public:
    // ---- IEngineHost ----
    void ShowMessageText(const std::string& text) override { Messages.push_back(text); }
    void WriteLogLine(const std::string& tag, const std::string& text) override { LogLines.emplace_back(tag, text); }
    std::string GetMessageText(int number) override {
        auto it = MessageTexts.find(number);
        return it != MessageTexts.end() ? it->second : std::string();
    }
    void SetTrayTip(const std::string& tip) override { Tips.push_back(tip); }
    std::string LanguageName() override { return Language; }
    std::string CurrencyConfigFileName() override { return ConfigFileName; }

    // ---- IRateSourceHost ----
    std::string SelectedCode() override { return Code; }
    std::string SelectedPublisher() override { return Publisher; }
    int SelectedPublicationMinute() override { return PublicationMinute; }
    int SelectedZoneHours() override { return ZoneHours; }
    std::string SelectedRateFileName(TDateTime date) override {
        return DataFolder.empty() ? std::string() : DatedRateFileName(Code, DataFolder, date);
    }
    std::string LastRateFile() override { return LastFile; }
    void SetLastRateFile(const std::string& path) override {
        LastFile = path;
        SetLastRateFileCalls.push_back(path);
    }
    void SaveCurrentPluginDefinition() override { ++SaveDefinitionCalls; }

    // What was asked of it.
    std::vector<std::string> Messages;
    std::vector<std::pair<std::string, std::string>> LogLines;
    std::vector<std::string> Tips;
    std::vector<std::string> SetLastRateFileCalls;
    int SaveDefinitionCalls = 0;

    // What it answers.
    std::map<int, std::string> MessageTexts = {
        {20, "Vemra ON - %s%s %s"},
        {21, "Vemra OFF - %s%s %s"},
        {48, "%s imported:||%d_replaced,_%d_added"},
        {108, "%d warnings"},
    };
    std::string Language = "ENG";
    std::string ConfigFileName;
    std::string Code = "ECB";
    std::string Publisher = "European Central Bank";
    int PublicationMinute = 0;
    int ZoneHours = 0;
    std::string DataFolder;  // where SelectedRateFileName looks; empty = no files
    std::string LastFile;
};

}  // namespace vemra::test
