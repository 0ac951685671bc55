#pragma once
// Helpers of the engine tests: a temporary folder that is PubData and the current folder
// for the test's life, file reads and writes, and the fixtures.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "rtl/SysUtils.h"
#include "vmrconsts.h"

namespace vemra::test {

inline std::string FixturePath(const std::string& name) {
    return std::string(VEMRA_FIXTURES_DIR) + "/engine/" + name;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vemra-engine-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
        savedCwd_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
        savedPubData_ = PubData;
        PubData = path_;
    }
    ~TempFolder() {
        PubData = savedPubData_;
        std::filesystem::current_path(savedCwd_);
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    std::string CopyFixture(const std::string& name, const std::string& as = {}) const {
        const std::string target = File(as.empty() ? name : as);
        std::filesystem::copy_file(FixturePath(name), target, std::filesystem::copy_options::overwrite_existing);
        return target;
    }

private:
    std::string path_;
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

    TempFolder folder;
    FakeEngineHost host;
    TCurrencyConverter conv;
    std::string configFile;
    std::string rateFile;

private:
    TFormatSettings savedLocale_;
};

}  // namespace vemra::test
