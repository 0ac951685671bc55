// Time zones: the POSIX rule read into the zone record, and daylight time and local time to
// GMT checked against the C library's localtime.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <ctime>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "TimeUtils.h"
#include "platform/TimeZoneRule.h"
#include "support/TestUtils.h"

namespace vemra {

std::ostream& operator<<(std::ostream& os, const TSystemTime& t) {
    return os << "{y" << t.wYear << " m" << t.wMonth << " dow" << t.wDayOfWeek << " d" << t.wDay << " " << t.wHour << ":"
              << t.wMinute << "}";
}

std::ostream& operator<<(std::ostream& os, const TTimeZoneInformation& z) {
    return os << "{bias " << z.Bias << " std " << z.StandardBias << " dst " << z.DaylightBias << " on " << z.DaylightDate
              << " off " << z.StandardDate << "}";
}

namespace {

namespace fs = std::filesystem;

TSystemTime Rule(int month, int week, int weekday, int hour, int minute = 0) {
    TSystemTime t;
    t.wMonth = month;
    t.wDay = week;
    t.wDayOfWeek = weekday;
    t.wHour = hour;
    t.wMinute = minute;
    return t;
}

TSystemTime Fixed(int year, int month, int day, int hour, int minute = 0) {
    TSystemTime t = Rule(month, day, 0, hour, minute);
    t.wYear = year;
    return t;
}

TTimeZoneInformation Zone(int bias, int daylightBias, TSystemTime on, TSystemTime off) {
    TTimeZoneInformation z;
    z.Bias = bias;
    z.DaylightBias = daylightBias;
    z.DaylightDate = on;
    z.StandardDate = off;
    return z;
}

TTimeZoneInformation CentralEurope() { return Zone(-60, -60, Rule(3, 5, 0, 2), Rule(10, 5, 0, 3)); }

TDateTime At(int y, int mo, int d, int h, int mi) { return EncodeDate(y, mo, d) + (h * 60 + mi) * OneMinute; }

// Sets TZ (and TZDIR) for one test and puts the process's zone back afterwards.
class ZoneTest : public ::testing::Test {
protected:
    void SetUp() override {
        env_.Preserve("TZ");
        env_.Preserve("TZDIR");
    }
    void TearDown() override {
        env_.Restore();
        ::tzset();
        ReloadTimeZoneInfo();
    }
    static void UseZone(const char* tz) {
        ::setenv("TZ", tz, 1);
        ::tzset();
        ReloadTimeZoneInfo();
    }
    std::string TempDir() const { return temp_.path(); }

private:
    test::ScopedEnv env_;
    test::TempFolder temp_{"vemra-tz"};
};

// ---- the rule ----

struct ParseCase {
    const char* rule;
    TTimeZoneInformation expected;
};

TEST(PosixRule, FillsTheZoneRecord) {
    const TSystemTime none;
    const ParseCase cases[] = {
        {"CET-1CEST,M3.5.0,M10.5.0/3", CentralEurope()},
        {"AEST-10AEDT,M10.1.0,M4.1.0/3", Zone(-600, -60, Rule(10, 1, 0, 2), Rule(4, 1, 0, 3))},
        {"JST-9", Zone(-540, 0, none, none)},
        {"<+0330>-3:30", Zone(-210, 0, none, none)},
        {"IST-5:30", Zone(-330, 0, none, none)},
        {"UTC0", Zone(0, 0, none, none)},
        {"NST3:30NDT,M3.2.0,M11.1.0", Zone(210, -60, Rule(3, 2, 0, 2), Rule(11, 1, 0, 2))},
        {"EST+5EDT", Zone(300, -60, Rule(3, 2, 0, 2), Rule(11, 1, 0, 2))},  // the C library's default dates
        {"<-02>2<-01>,M3.5.0/-1,M10.5.0/0", Zone(120, -60, Rule(3, 5, 0, -1), Rule(10, 5, 0, 0))},
        {"IST-2IDT,M3.4.4/26,M10.5.0", Zone(-120, -60, Rule(3, 4, 4, 26), Rule(10, 5, 0, 2))},
        {"AAA3BBB2:30,M4.1.6/1:30:59,M10.5.0/-2:15", Zone(180, -30, Rule(4, 1, 6, 1, 30), Rule(10, 5, 0, -2, -15))},
        // Day-of-year forms become fixed dates of the given year (2024, a leap year).
        {"AAA-1BBB,J60/1,J300", Zone(-60, -60, Fixed(2024, 3, 1, 1), Fixed(2024, 10, 27, 2))},
        {"AAA-1BBB,59,365", Zone(-60, -60, Fixed(2024, 2, 29, 2), Fixed(2024, 12, 31, 2))},
        {"AAA-1BBB,M3.5.0,J365/25", Zone(-60, -60, Fixed(2024, 3, 31, 2), Fixed(2024, 12, 31, 25))},
    };
    for (const ParseCase& c : cases) {
        TTimeZoneInformation got;
        ASSERT_TRUE(ParsePosixTimeZone(c.rule, 2024, got)) << c.rule;
        EXPECT_EQ(got, c.expected) << c.rule;
    }
}

TEST(PosixRule, RejectsWhatIsNoRule) {
    for (const char* rule : {"", "CET", "X-1", "<AB>-1", "<+03", "CET-25", "CET-1:60", "CET-1 ", "CET-1CEST,M3.5.0",
                             "CET-1CEST,M13.1.0,M10.5.0", "CET-1CEST,M3.6.0,M10.5.0", "CET-1CEST,M3.5.7,M10.5.0",
                             "CET-1CEST,M3.0.0,M10.5.0", "CET-1CEST,J0,J365", "CET-1CEST,366,1",
                             "CET-1CEST,M3.5.0/168,M10.5.0", "CET-1CEST,M3.5.0,M10.5.0/3x", "Europe/Berlin"}) {
        TTimeZoneInformation got;
        EXPECT_FALSE(ParsePosixTimeZone(rule, 2024, got)) << rule;
    }
}

// ---- where the rule comes from ----

std::string FakeZoneFile(const std::string& footer, char version = '2') {
    std::string data = "TZif";
    data += version;
    data += std::string(39, '\0') + "\n\x01\x02 binary body\n";
    if (version != '\0') data += "\n" + footer + "\n";
    return data;
}

TEST_F(ZoneTest, TheRuleComesFromTzOrItsZoneFile) {
    const std::string dir = TempDir();
    ASSERT_FALSE(dir.empty());
    test::WriteText(dir + "/Test/Kathmandu", FakeZoneFile("<+0545>-5:45"));
    test::WriteText(dir + "/Test/Old", FakeZoneFile("", '\0'));
    test::WriteText(dir + "/Test/NoRule", FakeZoneFile(""));
    ::setenv("TZDIR", dir.c_str(), 1);

    const TTimeZoneInformation utc;
    const TTimeZoneInformation nepal = Zone(-345, 0, {}, {});
    const struct {
        const char* tz;
        TTimeZoneInformation expected;
    } cases[] = {
        {"Test/Kathmandu", nepal},
        {":Test/Kathmandu", nepal},
        {"JST-9", Zone(-540, 0, {}, {})},
        {":JST-9", Zone(-540, 0, {}, {})},
        {"CET-1CEST,M3.5.0,M10.5.0/3", CentralEurope()},
        {"", utc},
        {":", utc},
        {"Test/Old", utc},     // no rule in a version 1 file
        {"Test/NoRule", utc},  // a zone file without a rule
        {"Not/AZone", utc},
        {"/dev/zero", utc},
    };
    for (const auto& c : cases) {
        ::setenv("TZ", c.tz, 1);
        EXPECT_EQ(GetTimeZoneInformation(), c.expected) << "TZ=" << c.tz;
    }
    const std::string absolute = dir + "/Test/Kathmandu";
    ::setenv("TZ", absolute.c_str(), 1);
    EXPECT_EQ(GetTimeZoneInformation(), nepal);
    EXPECT_EQ(ReadTzifFooter(absolute), std::optional<std::string>("<+0545>-5:45"));
    EXPECT_EQ(ReadTzifFooter(dir + "/Test/Old"), std::optional<std::string>(""));
    EXPECT_EQ(ReadTzifFooter(dir + "/none"), std::nullopt);
}

TEST_F(ZoneTest, SystemZoneFilesAreRead) {
    if (!fs::exists("/usr/share/zoneinfo/Europe/Berlin")) GTEST_SKIP() << "no zone files installed";
    ::unsetenv("TZDIR");
    for (const char* tz : {"Europe/Berlin", ":Europe/Berlin", "/usr/share/zoneinfo/Europe/Berlin"}) {
        ::setenv("TZ", tz, 1);
        EXPECT_EQ(GetTimeZoneInformation(), CentralEurope()) << tz;
    }
}

TEST_F(ZoneTest, WithoutTzTheSystemZoneIsUsed) {
    ::unsetenv("TZ");
    TTimeZoneInformation expected;
    const std::optional<std::string> footer = ReadTzifFooter("/etc/localtime");
    if (footer && !ParsePosixTimeZone(*footer, 2024, expected)) expected = {};
    EXPECT_EQ(GetTimeZoneInformation().Bias, expected.Bias);
    EXPECT_EQ(GetTimeZoneInformation().DaylightDate.wMonth, expected.DaylightDate.wMonth);
}

TEST_F(ZoneTest, TheRecordIsReadOnceUntilReloaded) {
    UseZone("JST-9");
    EXPECT_EQ(TimeZoneInfo().Bias, -540);
    ::setenv("TZ", "IST-5:30", 1);
    EXPECT_EQ(TimeZoneInfo().Bias, -540);
    ReloadTimeZoneInfo();
    EXPECT_EQ(TimeZoneInfo().Bias, -330);
}

// ---- the algorithm ----

TEST(DaylightTime, ChangesAtTheRulesLocalTimes) {
    const TTimeZoneInformation cet = CentralEurope();
    // 2024: last Sunday of March is the 31st, of October the 27th.
    EXPECT_FALSE(IsDaylightTime(At(2024, 3, 31, 1, 59), cet));
    EXPECT_TRUE(IsDaylightTime(At(2024, 3, 31, 2, 0), cet));
    EXPECT_TRUE(IsDaylightTime(At(2024, 10, 27, 2, 59), cet));
    EXPECT_FALSE(IsDaylightTime(At(2024, 10, 27, 3, 0), cet));
    EXPECT_FALSE(IsDaylightTime(At(2024, 1, 1, 0, 0), cet));
    EXPECT_FALSE(IsDaylightTime(At(2024, 12, 31, 23, 59), cet));
    // 2023: 26 March and 29 October; December's last Sunday crosses into the next year.
    EXPECT_TRUE(IsDaylightTime(At(2023, 3, 26, 2, 0), cet));
    EXPECT_FALSE(IsDaylightTime(At(2023, 3, 25, 23, 0), cet));
    const TTimeZoneInformation december = Zone(0, -60, Rule(12, 5, 0, 0), Rule(1, 1, 0, 0));
    EXPECT_TRUE(IsDaylightTime(At(2024, 12, 29, 0, 0), december));
    EXPECT_FALSE(IsDaylightTime(At(2024, 12, 28, 23, 59), december));
}

TEST(DaylightTime, SouthernZonesAreInDaylightTimeAroundTheNewYear) {
    const TTimeZoneInformation sydney = Zone(-600, -60, Rule(10, 1, 0, 2), Rule(4, 1, 0, 3));
    EXPECT_TRUE(IsDaylightTime(At(2024, 1, 15, 12, 0), sydney));
    EXPECT_TRUE(IsDaylightTime(At(2024, 4, 7, 2, 59), sydney));
    EXPECT_FALSE(IsDaylightTime(At(2024, 4, 7, 3, 0), sydney));
    EXPECT_FALSE(IsDaylightTime(At(2024, 7, 1, 12, 0), sydney));
    EXPECT_FALSE(IsDaylightTime(At(2024, 10, 6, 1, 59), sydney));
    EXPECT_TRUE(IsDaylightTime(At(2024, 10, 6, 2, 0), sydney));
}

TEST(DaylightTime, MonthZeroIsNeverDaylightTime) {
    TTimeZoneInformation zone = CentralEurope();
    zone.DaylightDate.wMonth = 0;
    for (int m = 1; m <= 12; ++m) {
        EXPECT_FALSE(IsDaylightTime(At(2024, m, 15, 12, 0), zone)) << m;
        EXPECT_NEAR(LocalToGMT(At(2024, m, 15, 12, 0), zone), At(2024, m, 15, 11, 0), 1e-9);
    }
}

TEST(DaylightTime, FixedDatesAndOtherDayFields) {
    const TTimeZoneInformation fixed = Zone(-60, -60, Fixed(2024, 4, 2, 2), Fixed(2024, 9, 30, 3));
    EXPECT_FALSE(IsDaylightTime(At(2024, 4, 2, 1, 59), fixed));
    EXPECT_TRUE(IsDaylightTime(At(2024, 4, 2, 2, 0), fixed));
    EXPECT_FALSE(IsDaylightTime(At(2024, 9, 30, 3, 0), fixed));
    EXPECT_FALSE(IsDaylightTime(At(2025, 6, 1, 0, 0), fixed));
    // A day field outside 1..5 stands for the first of the month, without the time.
    const TTimeZoneInformation odd = Zone(0, -60, Rule(4, 0, 0, 5), Rule(9, 9, 0, 5));
    EXPECT_TRUE(IsDaylightTime(At(2024, 4, 1, 0, 0), odd));
    EXPECT_FALSE(IsDaylightTime(At(2024, 3, 31, 23, 59), odd));
    EXPECT_FALSE(IsDaylightTime(At(2024, 9, 1, 0, 0), odd));
}

TEST(LocalToGMT, AppliesTheBiasOfTheSeason) {
    const TTimeZoneInformation cet = CentralEurope();
    EXPECT_NEAR(LocalToGMT(At(2024, 7, 15, 12, 0), cet), At(2024, 7, 15, 10, 0), 1e-9);
    EXPECT_NEAR(LocalToGMT(At(2024, 1, 15, 12, 0), cet), At(2024, 1, 15, 11, 0), 1e-9);
    EXPECT_NEAR(LocalToGMT(At(2024, 1, 1, 0, 30), cet), At(2023, 12, 31, 23, 30), 1e-9);
    const TTimeZoneInformation newfoundland = Zone(210, -60, Rule(3, 2, 0, 2), Rule(11, 1, 0, 2));
    EXPECT_NEAR(LocalToGMT(At(2024, 1, 15, 22, 0), newfoundland), At(2024, 1, 16, 1, 30), 1e-9);
    EXPECT_NEAR(LocalToGMT(At(2024, 7, 15, 22, 0), newfoundland), At(2024, 7, 16, 0, 30), 1e-9);
    EXPECT_EQ(LocalToGMT(At(2024, 7, 15, 22, 0), TTimeZoneInformation{}), At(2024, 7, 15, 22, 0));
}

// ---- against the C library ----

TDateTime LocalDateTime(const std::tm& tm) {
    return EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) +
           (tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec) * OneSecond;
}

long WallClock(std::time_t u) {
    std::tm tm{};
    ::localtime_r(&u, &tm);
    return static_cast<long>(u) + tm.tm_gmtoff;
}

// A local time that two instants share: the hour repeated when daylight time ends.
bool IsRepeated(std::time_t u) {
    if (WallClock(u - 7200) - (u - 7200) == WallClock(u + 7200) - (u + 7200)) return false;
    for (const long d : {1800L, 3600L, 7200L})
        if (WallClock(u - d) == WallClock(u) || WallClock(u + d) == WallClock(u)) return true;
    return false;
}

std::time_t StartOfYear(int year) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mday = 1;
    return ::timegm(&tm);
}

TEST_F(ZoneTest, AgreesWithTheCLibraryThroughTheYear) {
    const char* zones[] = {
        "CET-1CEST,M3.5.0,M10.5.0/3",       // northern
        "AEST-10AEDT,M10.1.0,M4.1.0/3",     // southern
        "JST-9",                            // no daylight time
        "NST3:30NDT,M3.2.0,M11.1.0",        // half-hour, west
        "IST-5:30",                         // half-hour, east
        "<-02>2<-01>,M3.5.0/-1,M10.5.0/0",  // changes before midnight
        "IST-2IDT,M3.4.4/26,M10.5.0",       // a change the day after the rule's day
    };
    for (const char* tz : zones) {
        UseZone(tz);
        int checked = 0, failures = 0;
        for (const int year : {2024, 2031}) {
            for (std::time_t u = StartOfYear(year); u < StartOfYear(year + 1); u += 37 * 60) {
                if (IsRepeated(u)) continue;
                std::tm tm{};
                ::localtime_r(&u, &tm);
                const TDateTime local = LocalDateTime(tm);
                const TDateTime gmt = 25569.0 + static_cast<double>(u) / 86400.0;
                const bool dstOk = IsDaylightTime(local) == (tm.tm_isdst > 0);
                const bool gmtOk = std::abs(LocalToGMT(local) - gmt) < 1e-7;
                ++checked;
                if ((!dstOk || !gmtOk) && ++failures <= 3)
                    ADD_FAILURE() << tz << ": " << FormatDateTime("yyyy-mm-dd hh:nn", local) << " local, isdst "
                                  << tm.tm_isdst << ", ours " << IsDaylightTime(local) << ", gmt off by "
                                  << (LocalToGMT(local) - gmt) * 1440 << " min";
            }
        }
        EXPECT_EQ(failures, 0) << tz;
        EXPECT_GT(checked, 28000) << tz;
    }
}

}  // namespace
}  // namespace vemra
