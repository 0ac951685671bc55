// The update schedule: which day is due by the weekday mask, the publication minute and the
// zones, and the walk that downloads or records at most one day per source.

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeRateUpdateHost.h"
#include "PlugginMan.h"
#include "PluginTestSupport.h"
#include <cstdio>

namespace vemra::test {
namespace {

class ScheduleTest : public ::testing::Test {
protected:
    ScheduleTest() {
        man.SetHost(&host);
        host.CurrentCode = [this] { return man.WorkingPlugin() != nullptr ? man.WorkingPlugin()->Code : "-"; };
    }

    // A store of the given sections; the first is selected.
    void Load(const std::string& store) {
        ReplaceText(env.Pub(PluginStoreName()), store);
        man.SelectedCode = "ECB";
        man.LoadPlugins();
    }
    static std::string Ecb(const std::string& settings, const std::string& lastUpdate) {
        return "[ECB]\nPublisher=European Central Bank\nSettings=" + settings + "\nLastUpdate=" + lastUpdate + "\n";
    }
    static TDateTime At(int y, int m, int d, int h, int n, int s = 0) { return EncodeDateTime(y, m, d, h, n, s, 0); }
    std::string DayFile(const std::string& code, TDateTime day) {
        return WriteDayFile(PubData + "/" + code, code, day);
    }

    PluginTestEnv env;
    FakeRateUpdateHost host;
    TPlugginMan man;
};

struct DueCase {
    std::string tz;        // the user's zone
    TDateTime now;         // local
    std::string settings;  // of the source
    TDateTime day;         // GMT, as the walk hands it over
    bool due;
};

std::string Stamp(TDateTime dt) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    DecodeDateTime(dt, y, mo, d, h, mi, s, ms);
    char text[32];
    std::snprintf(text, sizeof text, "%04d.%02d.%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
    return text;
}

void PrintTo(const DueCase& c, std::ostream* os) {
    *os << "day " << Stamp(c.day) << " at " << Stamp(c.now) << " in " << c.tz.substr(0, c.tz.find(',')) << " for "
        << c.settings;
}

class DueTest : public ScheduleTest, public ::testing::WithParamInterface<DueCase> {};

TEST_P(DueTest, ComparesThePublicationWithTheTimeInGmt) {
    const DueCase& c = GetParam();
    env.SetZone(c.tz);
    env.SetNow(c.now);
    Load(Ecb(c.settings, "2024.01.01"));
    std::string file;
    bool exists = true;
    EXPECT_EQ(man.IsUpdateDue(c.day, file, exists), c.due);
    EXPECT_EQ(file, DatedRateFileName("ECB", PubData + "/ECB", c.day));
    EXPECT_FALSE(exists);
}

constexpr const char* kEcb = "1111100:1111100:D:1:960:1";
const TDateTime kWed1430 = EncodeDateTime(2024, 1, 17, 14, 30, 0, 0);

INSTANTIATE_TEST_SUITE_P(
    Due, DueTest,
    ::testing::Values(
        // Wednesday 14:30 GMT: Wednesday's 16:00 in zone +1 is 15:00 GMT, not yet; Tuesday is due.
        DueCase{"UTC0", kWed1430, kEcb, kWed1430, false},
        DueCase{"UTC0", kWed1430, kEcb, kWed1430 - 1, true},
        DueCase{"UTC0", EncodeDateTime(2024, 1, 17, 15, 0, 0, 0), kEcb, EncodeDateTime(2024, 1, 17, 15, 0, 0, 0), false},
        DueCase{"UTC0", EncodeDateTime(2024, 1, 17, 15, 0, 1, 0), kEcb, EncodeDateTime(2024, 1, 17, 15, 0, 1, 0), true},
        // Saturday is no publishing day; Friday is.
        DueCase{"UTC0", EncodeDateTime(2024, 1, 20, 12, 0, 0, 0), kEcb, EncodeDateTime(2024, 1, 20, 12, 0, 0, 0), false},
        DueCase{"UTC0", EncodeDateTime(2024, 1, 20, 12, 0, 0, 0), kEcb, EncodeDateTime(2024, 1, 19, 12, 0, 0, 0), true},
        DueCase{"UTC0", EncodeDateTime(2024, 1, 21, 12, 0, 0, 0), "1111111:0:D:1:0:0", EncodeDateTime(2024, 1, 21, 12, 0, 0, 0), true},
        // Zone -5, minute 600: 15:00 GMT.
        DueCase{"UTC0", EncodeDateTime(2024, 1, 17, 14, 59, 0, 0), "1111100:1111100:D:1:600:-5", EncodeDateTime(2024, 1, 17, 14, 59, 0, 0), false},
        DueCase{"UTC0", EncodeDateTime(2024, 1, 17, 15, 1, 0, 0), "1111100:1111100:D:1:600:-5", EncodeDateTime(2024, 1, 17, 15, 1, 0, 0), true},
        // The user in Central Europe: 16:30 local is 15:30 GMT in winter, 14:30 GMT in summer.
        DueCase{"CET-1CEST,M3.5.0,M10.5.0/3", EncodeDateTime(2024, 1, 17, 16, 30, 0, 0), kEcb, EncodeDateTime(2024, 1, 17, 15, 30, 0, 0), true},
        DueCase{"CET-1CEST,M3.5.0,M10.5.0/3", EncodeDateTime(2024, 7, 17, 16, 30, 0, 0), kEcb, EncodeDateTime(2024, 7, 17, 14, 30, 0, 0), false},
        DueCase{"CET-1CEST,M3.5.0,M10.5.0/3", EncodeDateTime(2024, 7, 17, 17, 30, 0, 0), kEcb, EncodeDateTime(2024, 7, 17, 15, 30, 0, 0), true},
        // Masks that never publish on that day.
        DueCase{"UTC0", kWed1430, "0000000:0000000:D:1:0:0", kWed1430 - 1, false},
        DueCase{"UTC0", kWed1430, "11:11:D:1:0:0", kWed1430, false},
        DueCase{"UTC0", kWed1430, "1101111:1:D:1:0:0", kWed1430, false}));

TEST_F(ScheduleTest, TheDetailLogRecordsChecksOfMissingDays) {
    env.SetNow(kWed1430);
    Load(Ecb(kEcb, "2024.01.01"));
    std::string file;
    bool exists = false;
    host.DetailLog = false;
    man.IsUpdateDue(kWed1430, file, exists);
    EXPECT_TRUE(host.Checks.empty());

    host.DetailLog = true;
    man.IsUpdateDue(kWed1430, file, exists);
    ASSERT_EQ(host.Checks.size(), 1u);
    EXPECT_EQ(host.Checks[0].code, "ECB");
    EXPECT_EQ(host.Checks[0].zoneHours, 1);
    EXPECT_EQ(host.Checks[0].utcNow, kWed1430);
    EXPECT_EQ(host.Checks[0].publication, At(2024, 1, 17, 16, 0));  // in the source's own zone
    EXPECT_FALSE(host.Checks[0].due);

    DayFile("ECB", kWed1430 - 1);
    man.IsUpdateDue(kWed1430 - 1, file, exists);  // its file is there
    EXPECT_TRUE(exists);
    man.IsUpdateDue(At(2024, 1, 13, 12, 0), file, exists);  // a Saturday
    EXPECT_EQ(host.Checks.size(), 1u);
}

TEST_F(ScheduleTest, TheNewestDueDayWithoutAFileIsDownloaded) {
    env.SetNow(kWed1430);
    Load(Ecb(kEcb, "2024.01.15 16:05:00"));
    host.DownloadResult = 9;
    man.UpdateAllPlugins();
    ASSERT_EQ(host.Downloads.size(), 1u);
    EXPECT_EQ(host.Downloads[0], kWed1430 - 1);  // Tuesday
    ASSERT_EQ(host.ProcessedCodes.size(), 1u);
    EXPECT_EQ(host.ProcessedCodes[0].code, 9);
    EXPECT_TRUE(host.ProcessedCodes[0].isSelected);
    EXPECT_FALSE(host.ProcessedCodes[0].quiet);
    EXPECT_EQ(host.ProcessedCodes[0].source, "ECB");
    EXPECT_TRUE(host.Notifications.empty());
}

TEST_F(ScheduleTest, AnExistingNewerFileIsRecordedAndTheUserTold) {
    env.SetNow(kWed1430);
    Load(Ecb(kEcb, "2024.01.15 16:05:00"));
    const std::string tuesday = DayFile("ECB", kWed1430 - 1);
    man.UpdateAllPlugins();
    EXPECT_TRUE(host.Downloads.empty());
    EXPECT_EQ(host.DatedRateFile, tuesday);
    EXPECT_EQ(man.CurrentPlugin()->GetPluginValue(pvLastUpdate), "2024.01.16 14:30:00");
    ASSERT_EQ(host.ProcessedCodes.size(), 1u);
    EXPECT_EQ(host.ProcessedCodes[0].code, 9);
    EXPECT_EQ(host.Notifications, std::vector<std::string>{"*|European Central Bank\r\n\r\n16/01/2024"});

    // The next run finds nothing newer.
    host.ProcessedCodes.clear();
    man.UpdateAllPlugins();
    EXPECT_TRUE(host.ProcessedCodes.empty());
}

TEST_F(ScheduleTest, OtherSourcesAreRecordedWithoutANotification) {
    env.SetNow(kWed1430);
    Load(Ecb(kEcb, "2024.01.17 10:00:00") + "[TWO]\nPublisher=Second\nSettings=1111111:1111111:D:1:600:0\n"
                                            "LastUpdate=2024.01.16 10:00:00\n");
    DayFile("TWO", kWed1430);
    man.UpdateAllPlugins();
    EXPECT_TRUE(host.Downloads.empty());
    ASSERT_EQ(host.ProcessedCodes.size(), 1u);
    EXPECT_EQ(host.ProcessedCodes[0].source, "TWO");
    EXPECT_TRUE(host.ProcessedCodes[0].isSelected);  // recorded files are always processed as selected
    EXPECT_TRUE(host.Notifications.empty());
    EXPECT_EQ(man.GetPlugin(1)->GetPluginValue(pvLastUpdate), "2024.01.17 14:30:00");
    EXPECT_EQ(man.SelectedIndex, 0);
}

TEST_F(ScheduleTest, DaysBeforeTheLastUpdateAreNeverLookedAt) {
    env.SetNow(kWed1430);
    Load(Ecb(kEcb, "2024.01.17 09:00:00"));  // today: only today, which is not due yet
    man.UpdateAllPlugins();
    EXPECT_TRUE(host.Downloads.empty());
    EXPECT_TRUE(host.ProcessedCodes.empty());

    env.SetNow(At(2024, 1, 17, 18, 0));
    man.UpdateAllPlugins();
    ASSERT_EQ(host.Downloads.size(), 1u);
    EXPECT_EQ(host.Downloads[0], At(2024, 1, 17, 18, 0));
}

TEST_F(ScheduleTest, EachSourceGetsAtMostOneDownloadAndFailuresDoNotStopTheWalk) {
    env.SetNow(At(2024, 1, 19, 18, 0));  // Friday
    Load(Ecb(kEcb, "2024.01.10") + "[TWO]\nPublisher=Second\nSettings=1111111:1111111:D:1:0:0\nLastUpdate=2024.01.01\n"
                                   "[NEV]\nPublisher=Never\nSettings=0000000:0000000:D:1:0:0\nLastUpdate=2020.01.01\n"
                                   "[FUT]\nPublisher=Future\nSettings=1111111:1111111:D:1:0:0\nLastUpdate=2024.02.01\n");
    host.DownloadResult = 4;
    man.UpdateAllPlugins();
    ASSERT_EQ(host.ProcessedCodes.size(), 2u);
    EXPECT_EQ(host.ProcessedCodes[0].source, "ECB");
    EXPECT_EQ(host.ProcessedCodes[0].code, 4);
    EXPECT_TRUE(host.ProcessedCodes[0].isSelected);
    EXPECT_EQ(host.ProcessedCodes[1].source, "TWO");
    EXPECT_FALSE(host.ProcessedCodes[1].isSelected);
    EXPECT_EQ(host.Downloads, (std::vector<TDateTime>{At(2024, 1, 19, 18, 0), At(2024, 1, 19, 18, 0)}));
    EXPECT_EQ(man.SelectedIndex, 0);

    // The same day is tried again on the next run.
    man.UpdateAllPlugins();
    EXPECT_EQ(host.Downloads.size(), 4u);
}

// The user chooses another source while a download waits: the walk goes on for the source it
// fetches, its outcome is no longer the selected one's, and the user's choice stays.
TEST_F(ScheduleTest, AChoiceMadeWhileADownloadWaitsIsTheUsersAndNotTheWalks) {
    env.SetNow(kWed1430);
    Load(Ecb(kEcb, "2024.01.15") + "[TWO]\nPublisher=Second\nSettings=1111111:1111111:D:1:0:0\nLastUpdate=2024.01.01\n");
    host.OnDownload = [this](TDateTime) -> std::uint8_t {
        if (host.Downloads.size() == 1) man.SelectedIndex = 1;
        return 9;
    };
    man.UpdateAllPlugins();
    ASSERT_EQ(host.ProcessedCodes.size(), 2u);
    EXPECT_EQ(host.ProcessedCodes[0].source, "ECB");
    EXPECT_FALSE(host.ProcessedCodes[0].isSelected);
    EXPECT_EQ(host.ProcessedCodes[1].source, "TWO");
    EXPECT_TRUE(host.ProcessedCodes[1].isSelected);
    EXPECT_EQ(man.SelectedIndex, 1);
    EXPECT_EQ(man.WorkingPlugin(), man.GetPlugin(1)) << "no source is worked on after the walk";
}

TEST_F(ScheduleTest, TheSelectionIsRestoredWhenAStepFails) {
    env.SetNow(kWed1430);
    Load(Ecb(kEcb, "2024.01.15") + "[TWO]\nPublisher=Second\nSettings=1111111:1111111:D:1:0:0\nLastUpdate=2024.01.01\n");
    man.SelectedIndex = 1;
    host.OnDownload = [](TDateTime) -> std::uint8_t { throw std::runtime_error("download"); };
    EXPECT_THROW(man.UpdateAllPlugins(), std::runtime_error);
    EXPECT_EQ(man.SelectedIndex, 1);
    EXPECT_EQ(host.Downloads.size(), 1u);  // the walk ended at the first source
}

}  // namespace
}  // namespace vemra::test
