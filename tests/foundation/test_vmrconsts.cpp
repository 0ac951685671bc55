#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "SysWinCore.h"
#include "platform/Registry.h"
#include "rtl/DateUtils.h"
#include "rtl/SysUtils.h"
#include "support/TestUtils.h"
#include "vmrconsts.h"

namespace vemra {
namespace {

using test::ReadText;
using test::TempFolder;

constexpr double kMs = 1.0 / 86400000.0;

// ---- install settings ----

class InstallSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        env_.Set("VEMRA_REGISTRY_DIR", tmp_ / "registry");
        oldTempDir_ = TempDir;
        TempDir = tmp_ / "tmp";
        AppFolder = PubData = AppData = AppMenu = DesktopIcon = StartupIcon = UpdaterVersion = "";
        InstallDate = 0;
        AllUser = false;
    }
    void TearDown() override {
        TempDir = oldTempDir_;
    }
    // What the installer writes.
    void Install(TDateTime when) {
        TRegistry reg(KEY_ALL_ACCESS | RegistryView);
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKey("Software\\Vemra", true));
        reg.WriteString("AppFolder", "/opt/Vemra");
        reg.WriteString("PubData", tmp_ / "pub");
        reg.WriteString("AppData", tmp_ / "home/.local/share/Vemra");
        reg.WriteString("AppMenu", "Vemra");
        reg.WriteDateTime("InstallDate", when);
        reg.WriteString("DesktopIcon", tmp_ / "Desktop/Vemra.desktop");
        reg.WriteString("StartupIcon", tmp_ / "autostart/Vemra.desktop");
        reg.WriteBool("AllUser", true);
        reg.WriteString("Vmr-UpdaterVer", "0.1.0.0");
    }
    static std::unique_ptr<TRegistry> MachineKey() {
        auto reg = std::make_unique<TRegistry>(KEY_ALL_ACCESS);
        reg->SetRootKey(HKEY_LOCAL_MACHINE);
        EXPECT_TRUE(reg->OpenKey("Software\\Vemra", true));
        return reg;
    }

    TempFolder tmp_;
    test::ScopedEnv env_;
    std::string oldTempDir_;
};

TEST_F(InstallSettingsTest, WithoutTheKeyNothingIsReadOrMade) {
    AppFolder = "/stale";
    PubData = "kept";
    EXPECT_FALSE(ReadInstallSettings());
    EXPECT_EQ(AppFolder, "");
    EXPECT_EQ(PubData, "kept");
    EXPECT_FALSE(DirectoryExists(tmp_ / "tmp/Vemra"));
}

TEST_F(InstallSettingsTest, ReadsTheGlobalsAndMakesTheWorkingFolders) {
    const TDateTime when = EncodeDateTime(2024, 1, 5, 13, 45, 10, 0);
    Install(when);
    EXPECT_TRUE(ReadInstallSettings());
    EXPECT_EQ(AppFolder, "/opt/Vemra");
    EXPECT_EQ(PubData, tmp_ / "pub");
    EXPECT_EQ(AppData, tmp_ / "home/.local/share/Vemra");
    EXPECT_EQ(AppMenu, "Vemra");
    EXPECT_EQ(InstallDate, when);
    EXPECT_EQ(DesktopIcon, tmp_ / "Desktop/Vemra.desktop");
    EXPECT_EQ(StartupIcon, tmp_ / "autostart/Vemra.desktop");
    EXPECT_TRUE(AllUser);
    EXPECT_EQ(UpdaterVersion, "0.1.0.0");
    EXPECT_TRUE(DirectoryExists(tmp_ / "home/.local/share/Vemra/Updates"));
    EXPECT_TRUE(DirectoryExists(tmp_ / "tmp/Vemra"));
    EXPECT_FALSE(DirectoryExists(tmp_ / "pub"));
}

TEST_F(InstallSettingsTest, FirstStartHoldsUntilTheSettingsAreMarkedAndReturnsWithANewInstall) {
    Install(EncodeDate(2024, 1, 5));
    EXPECT_TRUE(ReadInstallSettings());
    EXPECT_TRUE(ReadInstallSettings());  // the installer's reading does not use it up
    ASSERT_TRUE(MarkInstallSettingsApplied());
    EXPECT_FALSE(ReadInstallSettings());
    EXPECT_FALSE(ReadInstallSettings());

    Install(EncodeDate(2024, 3, 1) + 0.5);  // installed again
    EXPECT_TRUE(ReadInstallSettings());
    ASSERT_TRUE(MarkInstallSettingsApplied());
    EXPECT_FALSE(ReadInstallSettings());
}

TEST_F(InstallSettingsTest, MissingOrMistypedValuesReadAsEmpty) {
    {
        auto reg = MachineKey();
        reg->WriteString("AppFolder", "/opt/Vemra");
        reg->WriteString("InstallDate", "2024.01.05");
        reg->WriteString("AllUser", "1");
        reg->WriteInteger("PubData", 7);
        reg->WriteBinaryData("AppMenu", "\x01\x02");
    }
    InstallDate = 99;
    AllUser = true;
    EXPECT_NO_THROW(ReadInstallSettings());
    EXPECT_EQ(AppFolder, "/opt/Vemra");
    EXPECT_EQ(InstallDate, 0);
    EXPECT_FALSE(AllUser);
    EXPECT_EQ(PubData, "");
    EXPECT_EQ(AppMenu, "");
    EXPECT_EQ(UpdaterVersion, "");
    {
        auto reg = MachineKey();
        reg->WriteBinaryData("InstallDate", "\x01\x02\x03");  // not 8 bytes
        reg->WriteInteger("AllUser", 0);
    }
    EXPECT_NO_THROW(ReadInstallSettings());
    EXPECT_EQ(InstallDate, 0);
    EXPECT_FALSE(AllUser);
}

TEST_F(InstallSettingsTest, EmptyAppDataOrTempDirMakesNoFolders) {
    {
        auto reg = MachineKey();
        reg->WriteString("AppFolder", "/opt/Vemra");
    }
    const bool rootUpdates = DirectoryExists("/Updates");
    const bool rootVemra = DirectoryExists("/Vemra");
    ReadInstallSettings();
    EXPECT_EQ(AppData, "");
    EXPECT_TRUE(DirectoryExists(tmp_ / "tmp/Vemra"));
    TempDir = "";
    ReadInstallSettings();
    EXPECT_EQ(DirectoryExists("/Updates"), rootUpdates);
    EXPECT_EQ(DirectoryExists("/Vemra"), rootVemra);
}

// ---- format records ----

// ---- which install record a program uses ----

// The two records a user can see: the own one (XDG_CONFIG_HOME) and the machine-wide one
// (under the system root), each naming its folders in the test's folder.
class InstallRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        env_.Unset("VEMRA_REGISTRY_DIR");
        env_.Set("XDG_CONFIG_HOME", tmp_ / "config");
        env_.Set("VEMRA_SYSTEM_ROOT", tmp_ / "machine");
        oldTempDir_ = TempDir;
        TempDir = "";
        AppFolder = PubData = AppData = "";
    }
    void TearDown() override {
        TRegistry::PinMachineHive("");
        TempDir = oldTempDir_;
    }
    // An installation under base: program, pub, data; a broken one lost its data folders
    // (its program folder stays, as a running program is there).
    static void Record(const std::string& hive, const std::string& base, bool whole = true, TDateTime date = 0) {
        for (const char* folder : {"/program", "/pub", "/data"})
            if (whole || folder == std::string_view("/program")) ASSERT_TRUE(ForceDirectories(base + folder));
        TRegistry::PinMachineHive(hive);
        TRegistry reg(KEY_ALL_ACCESS);
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKey("Software\\Vemra", true));
        reg.WriteString("AppFolder", base + "/program");
        reg.WriteString("PubData", base + "/pub");
        reg.WriteString("AppData", base + "/data");
        if (date != 0) reg.WriteDateTime("InstallDate", date);
        TRegistry::PinMachineHive("");
    }
    std::string UserHive() const { return TRegistry::UserMachineHive(); }
    std::string MachineHive() const { return TRegistry::SystemMachineHive(); }

    TempFolder tmp_;
    test::ScopedEnv env_;
    std::string oldTempDir_;
};

TEST_F(InstallRecordTest, TheHivesAreTheUsersStoreAndTheSystemOne) {
    EXPECT_EQ(UserHive(), tmp_ / "config/vemra/machine.reg");
    EXPECT_EQ(MachineHive(), tmp_ / "machine/etc/vemra/machine.reg");
}

struct RecordCase {
    const char* name;
    bool userRecord, userWhole, machineRecord, machineWhole;
    const char* startedFrom;  // "user", "machine" or "elsewhere"
    const char* chosen;       // "user", "machine" or "" (no installation)
    bool broken;              // the start is refused with a message naming the chosen record
};

void PrintTo(const RecordCase& c, std::ostream* os) {
    const auto record = [](bool present, bool whole) { return !present ? "none" : whole ? "whole" : "broken"; };
    *os << c.name << " (user record " << record(c.userRecord, c.userWhole) << ", machine record "
        << record(c.machineRecord, c.machineWhole) << ", started from " << c.startedFrom << ": "
        << (*c.chosen ? c.chosen : "no installation") << (c.broken ? ", refused" : "") << ")";
}

class InstallRecordChoice : public InstallRecordTest, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(InstallRecordChoice, PicksTheRecordOfTheRunningInstallation) {
    const RecordCase& c = GetParam();
    if (c.userRecord) Record(UserHive(), tmp_ / "user", c.userWhole);
    if (c.machineRecord) Record(MachineHive(), tmp_ / "all", c.machineWhole);
    const std::string from = std::string(c.startedFrom) == "user"      ? tmp_ / "user/program"
                             : std::string(c.startedFrom) == "machine" ? tmp_ / "all/program"
                                                                       : tmp_ / "build";
    const std::string problem = SelectInstallRecord(from);
    const std::string chosen(c.chosen);
    const std::string hive = chosen == "user" ? UserHive() : MachineHive();
    if (c.broken) {
        EXPECT_NE(problem.find("The installation record in " + hive + " names folders that do not exist: "),
                  std::string::npos)
            << problem;
        EXPECT_NE(problem.find((chosen == "user" ? tmp_ / "user" : tmp_ / "all") + "/pub, "), std::string::npos);
        EXPECT_NE(problem.find("Install Vemra again."), std::string::npos);
        return;
    }
    EXPECT_EQ(problem, "");
    ReadInstallSettings();
    EXPECT_EQ(AppFolder, chosen.empty() ? "" : (chosen == "user" ? tmp_ / "user" : tmp_ / "all") + "/program");
    if (chosen.empty()) return;
    EXPECT_EQ(TRegistry::HivePathForRead(HKEY_LOCAL_MACHINE), hive);
    EXPECT_EQ(TRegistry::HivePathForWrite(HKEY_LOCAL_MACHINE), hive);
}

INSTANTIATE_TEST_SUITE_P(
    Records, InstallRecordChoice,
    ::testing::Values(
        RecordCase{"OwnInstallationBesideAMachineWideOne", true, true, true, true, "user", "user", false},
        RecordCase{"MachineWideProgramOfAUserWithAnOwnInstallation", true, true, true, true, "machine", "machine",
                   false},
        RecordCase{"OwnInstallationBesideABrokenMachineWideOne", true, true, true, false, "user", "user", false},
        RecordCase{"OwnInstallationWhoseFoldersAreGone", true, false, true, true, "user", "user", true},
        RecordCase{"MachineWideInstallationWhoseFoldersAreGone", false, false, true, false, "machine", "machine",
                   true},
        RecordCase{"StartedElsewhereTakesTheOwnRecord", true, true, true, true, "elsewhere", "user", false},
        RecordCase{"StartedElsewhereSkipsABrokenRecord", true, false, true, true, "elsewhere", "machine", false},
        RecordCase{"StartedElsewhereWithOnlyABrokenRecord", false, false, true, false, "elsewhere", "machine", true},
        RecordCase{"NoRecordAtAll", false, false, false, false, "elsewhere", "", false}),
    [](const ::testing::TestParamInfo<RecordCase>& info) { return std::string(info.param.name); });

TEST_F(InstallRecordTest, WritesGoToTheChosenRecordAlone) {
    Record(UserHive(), tmp_ / "user");
    Record(MachineHive(), tmp_ / "all");
    const std::string machineBefore = ReadText(MachineHive());
    ASSERT_EQ(SelectInstallRecord(tmp_ / "user/program"), "");
    {
        TRegistry reg(KEY_ALL_ACCESS);
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.DeleteKey("\\Software\\Vemra"));
    }
    EXPECT_EQ(ReadText(MachineHive()), machineBefore);
    // With the own record gone, the machine-wide one is there again for the next start.
    TRegistry::PinMachineHive("");
    EXPECT_EQ(SelectInstallRecord(tmp_ / "all/program"), "");
    ReadInstallSettings();
    EXPECT_EQ(AppFolder, tmp_ / "all/program");
}

// A user with an own installation and one for all users has one settings key: each of the
// two has its one first start, whichever was started in between.
TEST_F(InstallRecordTest, EachInstallationOfAUserHasOneFirstStart) {
    Record(UserHive(), tmp_ / "user", true, 45000.25);
    Record(MachineHive(), tmp_ / "all", true, 45001.5);
    const auto start = [this](const char* which) {
        TRegistry::PinMachineHive("");
        EXPECT_EQ(SelectInstallRecord(tmp_ / (std::string(which) + "/program")), "");
        const bool first = ReadInstallSettings();
        if (first) {
            EXPECT_TRUE(MarkInstallSettingsApplied());
        }
        return first;
    };
    std::vector<bool> firsts;
    for (const char* which : {"user", "user", "all", "all", "user"}) firsts.push_back(start(which));
    EXPECT_EQ(firsts, (std::vector<bool>{true, false, true, false, false}));
    Record(MachineHive(), tmp_ / "all", true, 45002.5);  // installed again
    EXPECT_TRUE(start("all"));
    EXPECT_FALSE(start("user"));
    EXPECT_FALSE(start("all"));
}

TEST_F(InstallSettingsTest, SettingsOfEarlierVersionsWithTheInstallDateCountAsStarted) {
    Install(EncodeDate(2024, 1, 5));
    const auto settingsDate = [](TDateTime date) {
        TRegistry user;
        user.SetRootKey(HKEY_CURRENT_USER);
        ASSERT_TRUE(user.OpenKey("Software\\Vemra", true));
        user.WriteDateTime("SettingsInstallDate", date);
    };
    settingsDate(EncodeDate(2024, 1, 5));
    EXPECT_FALSE(ReadInstallSettings());
    settingsDate(EncodeDate(2023, 12, 1));
    EXPECT_TRUE(ReadInstallSettings());
}

TEST(FormatRecords, HoldTheFixedConventions) {
    EXPECT_EQ(StampFormat.ThousandSeparator, ".");
    EXPECT_EQ(StampFormat.DecimalSeparator, ',');
    EXPECT_EQ(StampFormat.DateSeparator, '.');
    EXPECT_EQ(StampFormat.TimeSeparator, ':');
    EXPECT_EQ(StampFormat.ShortDateFormat, "yyyy.mm.dd");
    EXPECT_EQ(StampFormat.ShortTimeFormat, "hh:nn");
    EXPECT_EQ(MdyFormat.ThousandSeparator, ",");
    EXPECT_EQ(MdyFormat.DecimalSeparator, '.');
    EXPECT_EQ(MdyFormat.DateSeparator, '-');
    EXPECT_EQ(MdyFormat.TimeSeparator, '\0');
    EXPECT_EQ(MdyFormat.ShortDateFormat, "mm-dd-yy");
    EXPECT_EQ(DmyFormat.ShortDateFormat, "dd-mm-yy");
    EXPECT_EQ(YmdFormat.ShortDateFormat, "yy-mm-dd");
    for (const TFormatSettings* fs : {&DmyFormat, &YmdFormat}) {
        EXPECT_EQ(fs->ThousandSeparator, "");
        EXPECT_EQ(fs->DecimalSeparator, '\0');
        EXPECT_EQ(fs->DateSeparator, '-');
        EXPECT_EQ(fs->ShortTimeFormat, "");
    }
    for (const TFormatSettings* fs : {&StampFormat, &MdyFormat, &DmyFormat, &YmdFormat}) {
        EXPECT_EQ(fs->TwoDigitYearCenturyWindow, 0);
        EXPECT_EQ(fs->LongDateFormat, "");
        EXPECT_EQ(fs->ShortMonthNames[0], "");
    }
}

// ---- stamps ----

TEST(Stamps, ParseDateTimeStamp) {
    const TDateTime day = EncodeDate(2024, 1, 5);
    const TDateTime time = EncodeTime(13, 45, 10, 0);
    struct Case {
        const char* text;
        TDateTime expected;
    } cases[] = {
        {"2024.01.05", day},
        {"2024.01.05 13:45:10", day + time},
        {"2024.01.05 13:45:10 trailing", day + time},
        {"2024.01.05 lunch", day},
        {"2024.01.05 25:00:00", day},
        {"xxxx.yy.zz 13:45:10", time},
        {"no date", 0},
        {"", 0},
        {"2024.02.30", 0},
    };
    for (const Case& c : cases) EXPECT_NEAR(ParseDateTimeStamp(c.text), c.expected, kMs) << c.text;
}

TEST(Stamps, FormatsDropMillisecondsAndPadFields) {
    const TDateTime dt = EncodeDateTime(2024, 1, 5, 7, 8, 9, 999);
    EXPECT_EQ(FormatDateTimeStamp(dt), "2024.01.05 07:08:09");
    EXPECT_EQ(FormatDateStamp(dt), "2024.01.05");
    EXPECT_EQ(FormatDateTimeStamp(EncodeDate(987, 12, 31)), "0987.12.31 00:00:00");
    EXPECT_EQ(DateToShortStamp(dt), "240105");
    EXPECT_EQ(DatedRateFileName("ECB", "/data", dt), "/data/2024.01.05-ECB.vmr");
}

TEST(Stamps, RoundTripThroughTheParser) {
    const TDateTime dt = EncodeDateTime(1999, 12, 31, 23, 59, 58, 0);
    EXPECT_NEAR(ParseDateTimeStamp(FormatDateTimeStamp(dt)), dt, kMs);
}

// ---- date conversions under the global settings ----

class GlobalDateSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = FormatSettings;
        FormatSettings.ShortDateFormat = "dd/mm/yyyy";
        FormatSettings.DateSeparator = '/';
    }
    void TearDown() override { FormatSettings = saved_; }
    TFormatSettings saved_;
};

TEST_F(GlobalDateSettingsTest, SafeStrToDateUsesTheGlobalsAndGivesZeroOnErrors) {
    EXPECT_EQ(SafeStrToDate("05/01/2024"), EncodeDate(2024, 1, 5));
    EXPECT_EQ(SafeStrToDate("2024.01.05"), 0);
    EXPECT_EQ(SafeStrToDate(""), 0);
}

TEST_F(GlobalDateSettingsTest, StrToDateFmtRestoresTheGlobals) {
    for (const char* text : {"01-05-2024", "not a date", ""}) {
        TDateTime d = StrToDateFmt(text, "m-d-y", '-');
        EXPECT_EQ(d, std::string(text) == "01-05-2024" ? EncodeDate(2024, 1, 5) : 0) << text;
        EXPECT_EQ(FormatSettings.ShortDateFormat, "dd/mm/yyyy");
        EXPECT_EQ(FormatSettings.DateSeparator, '/');
    }
    ParseDateTimeStamp("2024.01.05 10:00:00");
    EXPECT_EQ(FormatSettings.ShortDateFormat, "dd/mm/yyyy");
    EXPECT_EQ(FormatSettings.DateSeparator, '/');
}

}  // namespace
}  // namespace vemra
