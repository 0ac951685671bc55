#pragma once
// Helpers of the plug-in tests: a temporary installation (PubData, AppData, the user's
// data, config and registry folders all inside one temporary folder), test keys for the
// enciphered files, a fixed clock and zone, file helpers, and the built libraries.

#include <filesystem>
#include <initializer_list>
#include <string>

#include <gtest/gtest.h>

#include "ConverterPlugInn.h"
#include "StreamedIniFile.h"
#include "TimeUtils.h"
#include "platform/Registry.h"
#include "rtl/DateUtils.h"
#include "rtl/FormatSettings.h"
#include "rtl/StringList.h"
#include "rtl/SysUtils.h"
#include "support/TestUtils.h"
#include "vmrconsts.h"

namespace vemra::test {

inline const std::string kTestLibrary = VEMRA_TEST_RATESOURCE;     // TST.so
inline const std::string kBareLibrary = VEMRA_BARE_RATESOURCE;     // a library without exports
inline const std::string kEcbLibrary = VEMRA_ECB_RATESOURCE;       // ECB.so
inline const std::string kCbrLibrary = VEMRA_CBR_RATESOURCE;       // CBR.so
inline const std::string kMasterStore = VEMRA_MASTER_PLUGIN_STORE;  // resources/plugins.dat

inline std::string FixturePath(const std::string& name) {
    return std::string(VEMRA_FIXTURES_DIR) + "/plugins/" + name;
}

// WriteText over a file that may be stored read-only.
inline void ReplaceText(const std::string& path, const std::string& text) {
    std::filesystem::remove(path);
    WriteText(path, text);
}

// Definition lines as a list (every mark 0).
inline TStringList Lines(std::initializer_list<std::string> lines) {
    TStringList list;
    for (const std::string& line : lines) list.Add(line);
    return list;
}

// The key callback the application installs, with keys of the tests' own.
inline void TestStreamKeys(int keyIndex, std::string& key) {
    switch (keyIndex) {
        case 3: key = "test-store-key"; break;
        case 5: key = "test-rate-key"; break;
        default: key.clear(); break;
    }
}

// A whole installation in a temporary folder: PubData, AppData, the XDG folders and the
// registry store; test keys, the zone UTC and the clock at the given local time.
class PluginTestEnv {
public:
    PluginTestEnv() : root_(folder_.path()) {
        savedPubData_ = PubData;
        savedAppData_ = AppData;
        savedUserDataDir_ = UserDataDir;
        savedKeys_ = StreamKeyProc;
        savedFormat_ = FormatSettings;
        PubData = root_ + "/pub";
        AppData = root_ + "/app";
        std::filesystem::create_directories(PubData);
        std::filesystem::create_directories(AppData);
        env_.Set("XDG_DATA_HOME", root_ + "/data");
        env_.Set("XDG_CONFIG_HOME", root_ + "/config");
        env_.Set("VEMRA_REGISTRY_DIR", root_ + "/registry");
        env_.Set("VEMRA_TESTLIB_LOG", root_ + "/testlib.log");
        env_.Set("TZ", "UTC0");
        ReloadTimeZoneInfo();
        StreamKeyProc = TestStreamKeys;
        FormatSettings = GetLocaleFormatSettings("C");
        FormatSettings.ShortDateFormat = "dd/mm/yyyy";
        FormatSettings.DateSeparator = '/';
        SetNow(EncodeDateTime(2024, 1, 17, 18, 0, 0, 0));  // a Wednesday
    }
    ~PluginTestEnv() {
        ResetClock();
        env_.Restore();
        ReloadTimeZoneInfo();
        FormatSettings = savedFormat_;
        StreamKeyProc = savedKeys_;
        UserDataDir = savedUserDataDir_;
        AppData = savedAppData_;
        PubData = savedPubData_;
    }
    PluginTestEnv(const PluginTestEnv&) = delete;
    PluginTestEnv& operator=(const PluginTestEnv&) = delete;

    const std::string& Root() const { return root_; }
    std::string File(const std::string& name) const { return root_ + "/" + name; }
    std::string Pub(const std::string& name) const { return PubData + "/" + name; }
    std::string App(const std::string& name) const { return AppData + "/" + name; }
    std::string LibraryLog() const { return ReadText(File("testlib.log")); }
    void ClearLibraryLog() const { std::filesystem::remove(File("testlib.log")); }

    void SetNow(TDateTime now) {
        now_ = now;
        SetClock([this] { return now_; });
    }
    void SetZone(const std::string& tz) {
        env_.Set("TZ", tz);
        ReloadTimeZoneInfo();
    }
    // The user's key HKEY_CURRENT_USER "Software\Vemra" (made) and a value read back.
    static void MakeUserKey() {
        TRegistry registry;
        registry.SetRootKey(HKEY_CURRENT_USER);
        registry.OpenKey("Software\\Vemra", true);
    }
    static std::string UserValue(const std::string& name) {
        TRegistry registry(KEY_READ);
        registry.SetRootKey(HKEY_CURRENT_USER);
        if (!registry.OpenKeyReadOnly("Software\\Vemra") || !registry.ValueExists(name)) return "<none>";
        return registry.ReadString(name);
    }

private:
    TempFolder folder_{"vemra-plugins"};
    std::string root_;
    TDateTime now_ = 0;
    ScopedEnv env_;
    std::string savedPubData_;
    std::string savedAppData_;
    std::string savedUserDataDir_;
    TStreamKeyProc savedKeys_;
    TFormatSettings savedFormat_;
};

// A day rate file in a source's data folder, plain (its DATE matches its name).
inline std::string WriteDayFile(const std::string& folder, const std::string& code, TDateTime date,
                                const std::string& data = "USD=1.1\r\n") {
    const std::string name = DatedRateFileName(code, folder, date);
    ReplaceText(name, "[VMR]\r\nPROVIDER=Test\r\nCODE=" + code + "\r\nDATE=" + FormatDateStamp(date) +
                        "\r\nBASE=EUR\r\nFACTOR=1\r\nLOGIC=1XNY\r\nTYPE=DATA\r\n\r\n[DATA]\r\n" + data);
    return name;
}

}  // namespace vemra::test
