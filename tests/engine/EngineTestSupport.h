#pragma once
// Helpers of the engine tests: a temporary folder that is PubData and the current folder
// for the test's life, and the fixtures.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "rtl/SysUtils.h"
#include "support/TestUtils.h"
#include "vmrconsts.h"

namespace vemra::test {

inline std::string FixturePath(const std::string& name) {
    return std::string(VEMRA_FIXTURES_DIR) + "/engine/" + name;
}

class PubDataFolder {
public:
    PubDataFolder() : savedCwd_(std::filesystem::current_path()), savedPubData_(PubData) {
        std::filesystem::current_path(folder_.path());
        PubData = folder_.path();
    }
    ~PubDataFolder() {
        PubData = savedPubData_;
        std::filesystem::current_path(savedCwd_);
    }
    PubDataFolder(const PubDataFolder&) = delete;
    PubDataFolder& operator=(const PubDataFolder&) = delete;

    const std::string& Path() const { return folder_.path(); }
    std::string File(const std::string& name) const { return folder_ / name; }
    std::string CopyFixture(const std::string& name, const std::string& as = {}) const {
        const std::string target = File(as.empty() ? name : as);
        std::filesystem::copy_file(FixturePath(name), target, std::filesystem::copy_options::overwrite_existing);
        return target;
    }

private:
    TempFolder folder_{"vemra-engine"};
    std::filesystem::path savedCwd_;
    std::string savedPubData_;
};

}  // namespace vemra::test

#include "CurrencyConverter.h"
#include "CurrencyFiles.h"
#include "FakeEngineHost.h"
#include "RateFile.h"
#include "rtl/FormatSettings.h"

namespace vemra::test {

// A converter wired to a fake host, in a temporary PubData holding copies of the fixture
// configuration, names and day rate file. The user's locale is a point-decimal one.
class EngineTest : public ::testing::Test {
protected:
    EngineTest() {
        savedLocale_ = FormatSettings;
        FormatSettings = PointLocale();
        conv.SetHost(&host);
        conv.SetRateSources(&host);
        configFile = folder.CopyFixture("currencies.vmg");
        folder.CopyFixture("ENG.vcn");
        rateFile = folder.CopyFixture("2024.01.15-ECB.vmr");
        host.ConfigFileName = configFile;
        host.DataFolder = folder.Path();
    }
    ~EngineTest() override { FormatSettings = savedLocale_; }

    static TFormatSettings PointLocale() {
        TFormatSettings fs = GetLocaleFormatSettings("C");
        fs.ThousandSeparator = ",";
        fs.DecimalSeparator = '.';
        return fs;
    }
    static TFormatSettings CommaLocale() {
        TFormatSettings fs = PointLocale();
        fs.ThousandSeparator = ".";
        fs.DecimalSeparator = ',';
        return fs;
    }

    TCurrencyChangeList& List() { return conv.Currencies(); }
    TCurrencyRec& Rec(const std::string& code) {
        int i = 0;
        EXPECT_TRUE(List().Find(code, i)) << code;
        return *List().GetCurrency(i);
    }
    int Pos(const std::string& code) {
        int i = 0;
        return List().Find(code, i) ? i : -1;
    }
    void LoadFixtures() {
        ASSERT_TRUE(LoadCurrencyNames(List(), configFile));
        ASSERT_TRUE(LoadRateFile(List(), rateFile));
        host.Messages.clear();
        host.LogLines.clear();
        host.Tips.clear();
    }

    PubDataFolder folder;
    FakeEngineHost host;
    TCurrencyConverter conv;
    std::string configFile;
    std::string rateFile;

private:
    TFormatSettings savedLocale_;
};

}  // namespace vemra::test
