#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <tuple>

#include "DateUtils.h"
#include "SysUtils.h"
#include "support/TestUtils.h"

namespace vemra {
namespace {

TFormatSettings DateRecord(std::string shortDate, char separator, int window = 0) {
    TFormatSettings fs;
    fs.DecimalSeparator = '.';
    fs.ShortDateFormat = std::move(shortDate);
    fs.DateSeparator = separator;
    fs.TimeSeparator = ':';
    fs.ShortTimeFormat = "hh:nn";
    fs.TwoDigitYearCenturyWindow = window;
    fs.ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    fs.LongDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    fs.ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    fs.LongMonthNames = {"January", "February", "March",     "April",   "May",      "June",
                         "July",    "August",   "September", "October", "November", "December"};
    return fs;
}

// Tests that read the clock fix it and put the real one back afterwards.
class FixedClock : public testing::Test {
protected:
    void SetUp() override { SetAt(EncodeDateTime(2025, 6, 1, 12, 0, 0, 0)); }
    void TearDown() override { ResetClock(); }
    static void SetAt(TDateTime t) {
        SetClock([t] { return t; });
    }
};

void ExpectDate(TDateTime dt, int year, int month, int day) {
    int y = 0, m = 0, d = 0;
    DecodeDate(dt, y, m, d);
    EXPECT_EQ(y, year);
    EXPECT_EQ(m, month);
    EXPECT_EQ(d, day);
}

TEST(Calendar, KnownSerials) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
    EXPECT_EQ(EncodeDate(1899, 12, 31), 1);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2);
    EXPECT_EQ(EncodeDate(1900, 3, 1), 61);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526);
    EXPECT_EQ(EncodeDate(2024, 1, 5), 45296);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465);
}

TEST(Calendar, EveryDayFrom1900To2100RoundTrips) {
    TDateTime expected = EncodeDate(1900, 1, 1);
    for (int y = 1900; y <= 2100; ++y) {
        for (int m = 1; m <= 12; ++m) {
            for (int d = 1; d <= DaysInMonth(y, m); ++d) {
                TDateTime dt = 0;
                ASSERT_TRUE(TryEncodeDate(y, m, d, dt)) << y << '-' << m << '-' << d;
                ASSERT_EQ(dt, expected) << y << '-' << m << '-' << d;
                int yy = 0, mm = 0, dd = 0;
                DecodeDate(dt + 0.75, yy, mm, dd);
                ASSERT_EQ(yy * 10000 + mm * 100 + dd, y * 10000 + m * 100 + d);
                expected += 1;
            }
        }
    }
}

TEST(Calendar, LeapYearsAndInvalidDates) {
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_TRUE(IsLeapYear(2024));
    EXPECT_FALSE(IsLeapYear(2100));
    EXPECT_EQ(DaysInMonth(2024, 2), 29);
    EXPECT_EQ(DaysInMonth(1900, 2), 28);
    EXPECT_EQ(DaysInMonth(2023, 4), 30);
    EXPECT_EQ(DaysInMonth(2023, 13), 0);
    TDateTime dt = 7;
    EXPECT_TRUE(TryEncodeDate(2024, 2, 29, dt));
    for (auto [y, m, d] : {std::tuple{2023, 2, 29}, {2100, 2, 29}, {1900, 2, 29}, {2024, 4, 31},
                           {2024, 13, 1}, {2024, 0, 1}, {2024, 1, 0}, {0, 1, 1}, {10000, 1, 1}}) {
        EXPECT_FALSE(TryEncodeDate(y, m, d, dt)) << y << '-' << m << '-' << d;
    }
    EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
    EXPECT_THROW(EncodeTime(1, 60, 0, 0), EConvertError);
    EXPECT_THROW(EncodeTime(1, 0, 0, 1000), EConvertError);
}

TEST(Calendar, DayOfWeekOfKnownDates) {
    EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 30)), 7);  // Saturday
    EXPECT_EQ(DayOfWeek(EncodeDate(1900, 1, 1)), 2);    // Monday
    EXPECT_EQ(DayOfWeek(EncodeDate(2000, 1, 1)), 7);
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 1, 5)), 6);    // Friday
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 2, 29) + 0.99), 5);
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 1, 7)), 1);    // Sunday
    EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 24)), 1);  // before the epoch
    EXPECT_EQ(DayOfTheWeek(EncodeDate(2024, 1, 5)), 5);
    EXPECT_EQ(DayOfTheWeek(EncodeDate(2024, 1, 7)), 7);
    EXPECT_EQ(DayOfTheWeek(EncodeDate(2024, 1, 8)), 1);
}

TEST(Calendar, DecodeTimeRoundsTheWholeValueToMilliseconds) {
    TDateTime dt = EncodeDateTime(2024, 1, 5, 7, 8, 9, 999);
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(dt, y, mo, d, h, mi, s, ms);
    EXPECT_EQ(std::tuple(y, mo, d, h, mi, s, ms), std::tuple(2024, 1, 5, 7, 8, 9, 999));

    DecodeTime(dt + 0.0004 / 86400.0, h, mi, s, ms);
    EXPECT_EQ(std::tuple(h, mi, s, ms), std::tuple(7, 8, 9, 999));
    DecodeTime(dt + 0.0006 / 86400.0, h, mi, s, ms);
    EXPECT_EQ(std::tuple(h, mi, s, ms), std::tuple(7, 8, 10, 0));

    // 23:59:59.9996 is midnight of the next day.
    TDateTime late = EncodeDate(2024, 12, 31) + (86400 - 0.0004) / 86400.0;
    DecodeDateTime(late, y, mo, d, h, mi, s, ms);
    EXPECT_EQ(std::tuple(y, mo, d, h, mi, s, ms), std::tuple(2025, 1, 1, 0, 0, 0, 0));

    // Every millisecond of one day survives the trip.
    TDateTime day = EncodeDate(2100, 12, 31);
    for (int t = 0; t < 86400000; t += 997) {
        TDateTime v = day + EncodeTime(t / 3600000, t / 60000 % 60, t / 1000 % 60, t % 1000);
        DecodeTime(v, h, mi, s, ms);
        ASSERT_EQ(((h * 60 + mi) * 60 + s) * 1000 + ms, t);
    }
}

TEST(Calendar, BeforeTheEpochTheTimeStillCountsForwards) {
    TDateTime dt = EncodeDateTime(1899, 12, 29, 6, 0, 0, 0);
    EXPECT_DOUBLE_EQ(dt, -1.25);
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(dt, y, mo, d, h, mi, s, ms);
    EXPECT_EQ(std::tuple(y, mo, d, h, mi, s, ms), std::tuple(1899, 12, 29, 6, 0, 0, 0));
    EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30, 18, 0, 0, 0), 0.75);
}

TEST(Calendar, DatePartTimePartMonthsAndYears) {
    TDateTime dt = EncodeDateTime(2024, 1, 31, 13, 30, 0, 0);
    EXPECT_EQ(DateOf(dt), EncodeDate(2024, 1, 31));
    EXPECT_NEAR(TimeOf(dt), EncodeTime(13, 30, 0, 0), 1e-9);
    EXPECT_EQ(YearOf(dt), 2024);
    ExpectDate(IncMonth(dt, 1), 2024, 2, 29);
    ExpectDate(IncMonth(dt, 13), 2025, 2, 28);
    ExpectDate(IncMonth(dt, -1), 2023, 12, 31);
    ExpectDate(IncMonth(dt, -25), 2021, 12, 31);
    EXPECT_NEAR(TimeOf(IncMonth(dt, 1)), EncodeTime(13, 30, 0, 0), 1e-9);
}

TEST(Calendar, UnixSeconds) {
    EXPECT_EQ(UnixToDateTime(0), 25569);
    EXPECT_EQ(DateTimeToUnix(EncodeDate(2024, 1, 5)), 1704412800);
    EXPECT_EQ(DateTimeToUnix(UnixToDateTime(1704467289)), 1704467289);
    EXPECT_EQ(DateTimeToUnix(EncodeDateTime(1970, 1, 1, 0, 0, 1, 0)), 1);
}

TEST_F(FixedClock, NowAndDateFollowTheReplacedClock) {
    EXPECT_EQ(Now(), EncodeDateTime(2025, 6, 1, 12, 0, 0, 0));
    EXPECT_EQ(Date(), EncodeDate(2025, 6, 1));
}

TEST(Clock, TheSystemClockReadsLocalTime) {
    test::ScopedEnv tz("TZ", "UTC0");
    tzset();
    ResetClock();
    double diff = std::fabs(Now() - UnixToDateTime(std::time(nullptr))) * 86400.0;
    EXPECT_LT(diff, 2.0);
    setenv("TZ", "XYZ-3", 1);  // three hours east of Greenwich
    tzset();
    diff = (Now() - UnixToDateTime(std::time(nullptr))) * 24.0;
    EXPECT_NEAR(diff, 3.0, 0.01);
    tz.Restore();
    tzset();
}

struct PatternCase {
    std::string pattern;
    std::string expected;
};

void PrintTo(const PatternCase& c, std::ostream* os) { *os << '"' << c.pattern << '"'; }

class FormatDateTimeTable : public testing::TestWithParam<PatternCase> {};

TEST_P(FormatDateTimeTable, OnFridayTheFifthOfJanuary) {
    TFormatSettings fs = DateRecord("mm/dd/yy", '/');
    TDateTime dt = EncodeDateTime(2024, 1, 5, 7, 8, 9, 999);
    EXPECT_EQ(FormatDateTime(GetParam().pattern, dt, fs), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Patterns, FormatDateTimeTable, testing::Values(
    PatternCase{"yymmdd", "240105"},
    PatternCase{"yyyy.mm.dd", "2024.01.05"},
    PatternCase{"ddd dd", "Fri 05"},
    PatternCase{"dddd d", "Friday 5"},
    PatternCase{"y m d", "24 1 5"},
    PatternCase{"mmm mmmm", "Jan January"},
    PatternCase{"YYYY-MM-DD", "2024-01-05"},
    PatternCase{"hh:nn:ss.zzz", "07:08:09.999"},
    PatternCase{"h:n:s z", "7:8:9 999"},
    PatternCase{"hh:mm", "07:08"},  // m after h is the minute
    PatternCase{"d/m/yyyy", "5/1/2024"},
    PatternCase{"'yyyy' yyyy \"at\" hh", "yyyy 2024 at 07"},
    PatternCase{"c", "01/05/24 07:08"},
    PatternCase{"[yyyy]", "[2024]"}));

TEST(FormatDateTime, SeparatorsAndNamesComeFromTheRecord) {
    TFormatSettings fs = DateRecord("dd.mm.yyyy", '.');
    fs.ShortDayNames = {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};
    fs.TimeSeparator = '.';
    TDateTime dt = EncodeDateTime(2024, 1, 5, 7, 8, 0, 0);
    EXPECT_EQ(FormatDateTime("ddd dd/mm hh:nn", dt, fs), "Fr 05.01 07.08");
    EXPECT_EQ(FormatDateTime("c", EncodeDate(2024, 1, 5), fs), "05.01.2024");  // midnight: no time
    EXPECT_EQ(FormatDateTime("yy", EncodeDate(2005, 3, 1), fs), "05");
    fs.DateSeparator = '\0';
    EXPECT_EQ(FormatDateTime("dd/mm", dt, fs), "0501");
}

TEST(FormatDateTime, APatternThatNamesItselfEnds) {
    TFormatSettings fs = DateRecord("c", '/');
    EXPECT_NO_THROW(FormatDateTime("c", EncodeDate(2024, 1, 5), fs));
}

struct DateCase {
    std::string shortDate;
    char separator;
    int window;
    std::string text;
    std::optional<std::tuple<int, int, int>> date;  // nullopt = not a date
};

void PrintTo(const DateCase& c, std::ostream* os) {
    *os << '"' << c.text << "\" as " << c.shortDate;
    if (c.window != 0) *os << " window " << c.window;
}

class StrToDateTable : public FixedClock, public testing::WithParamInterface<DateCase> {};

TEST_P(StrToDateTable, ReadsInTheRecordsOrder) {
    const DateCase& c = GetParam();
    TFormatSettings fs = DateRecord(c.shortDate, c.separator, c.window);
    TDateTime dt = -5;
    ASSERT_EQ(TryStrToDate(c.text, dt, fs), c.date.has_value());
    if (c.date) {
        auto [y, m, d] = *c.date;
        EXPECT_EQ(dt, EncodeDate(y, m, d));
    } else {
        EXPECT_EQ(dt, -5);
        EXPECT_THROW(StrToDate(c.text, fs), EConvertError);
    }
}

using D = std::tuple<int, int, int>;

INSTANTIATE_TEST_SUITE_P(Orders, StrToDateTable, testing::Values(
    DateCase{"dd/mm/yyyy", '/', 0, "05/01/2024", D{2024, 1, 5}},
    DateCase{"d/m/y", '/', 0, "5/1/2024", D{2024, 1, 5}},
    DateCase{"mm/dd/yy", '/', 0, "01/05/2024", D{2024, 1, 5}},
    DateCase{"yyyy-mm-dd", '-', 0, "2024-01-05", D{2024, 1, 5}},
    DateCase{"y.m.d", '.', 0, "2024.01.05", D{2024, 1, 5}},
    DateCase{"yyyy/mm/dd", '/', 0, "2024/02/29", D{2024, 2, 29}},
    DateCase{"DD.MM.YYYY", '.', 0, "29.02.2024", D{2024, 2, 29}},
    DateCase{"", '/', 0, "01/05/2024", D{2024, 1, 5}},  // no letters: month first
    DateCase{"dd/mm/yyyy", '/', 0, "  05/01/2024  ", D{2024, 1, 5}},
    DateCase{"dd/mm/yyyy", '/', 0, "5 / 1 / 2024", D{2024, 1, 5}},
    DateCase{"dd/mm/yyyy", '/', 0, "5/1/2024/", D{2024, 1, 5}}));

INSTANTIATE_TEST_SUITE_P(ShortYears, StrToDateTable, testing::Values(
    DateCase{"dd/mm/yy", '/', 0, "05/01/24", D{2024, 1, 5}},
    DateCase{"dd/mm/yy", '/', 0, "05/01/99", D{2099, 1, 5}},  // window 0: this century
    DateCase{"dd/mm/yy", '/', 0, "05/01/0", D{2000, 1, 5}},
    DateCase{"yy-mm-dd", '-', 0, "24-01-05", D{2024, 1, 5}},
    DateCase{"dd/mm/yy", '/', 50, "05/01/99", D{1999, 1, 5}},  // window 50 in 2025: 1975..2074
    DateCase{"dd/mm/yy", '/', 50, "05/01/75", D{1975, 1, 5}},
    DateCase{"dd/mm/yy", '/', 50, "05/01/74", D{2074, 1, 5}},
    DateCase{"dd/mm/yy", '/', 50, "05/01/24", D{2024, 1, 5}},
    DateCase{"dd/mm/yy", '/', 50, "05/01/1924", D{1924, 1, 5}}));

INSTANTIATE_TEST_SUITE_P(TwoNumbers, StrToDateTable, testing::Values(
    DateCase{"dd/mm/yyyy", '/', 0, "05/01", D{2025, 1, 5}},
    DateCase{"mm/dd/yyyy", '/', 0, "01/05", D{2025, 1, 5}},
    DateCase{"yyyy-mm-dd", '-', 0, "01-05", D{2025, 1, 5}}));

INSTANTIATE_TEST_SUITE_P(Invalid, StrToDateTable, testing::Values(
    DateCase{"dd/mm/yyyy", '/', 0, "31/02/2024", {}},
    DateCase{"dd/mm/yyyy", '/', 0, "29/02/2023", {}},
    DateCase{"yyyy-mm-dd", '-', 0, "2024-13-01", {}},
    DateCase{"dd/mm/yyyy", '/', 0, "00/01/2024", {}},
    DateCase{"dd/mm/yyyy", '/', 0, "", {}},
    DateCase{"dd/mm/yyyy", '/', 0, "5", {}},
    DateCase{"dd/mm/yyyy", '/', 0, "5/1/2024x", {}},
    DateCase{"dd/mm/yyyy", '/', 0, "5-1-2024", {}},
    DateCase{"dd/mm/yyyy", '/', 0, "5/1/20245", {}},
    DateCase{"dd/mm/yyyy", '/', 0, "5//2024", {}},
    DateCase{"dd/mm/yyyy", '/', 0, "a5/1/2024", {}},
    DateCase{"dd/mm/yyyy", '\0', 0, "05/01/2024", {}},
    DateCase{"y.m.d", '.', 0, "2024.01.05 13:45", {}}));

TEST_F(FixedClock, StrToDateRaisesWithTheText) {
    TFormatSettings fs = DateRecord("dd/mm/yyyy", '/');
    try {
        StrToDate("31/02/2024", fs);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'31/02/2024' is not a valid date");
    }
}

TEST_F(FixedClock, TwoNumbersTakeTheYearOfTheClock) {
    TFormatSettings fs = DateRecord("dd/mm/yyyy", '/');
    TDateTime dt = 0;
    SetAt(EncodeDate(2032, 3, 1));
    ASSERT_TRUE(TryStrToDate("29/02", dt, fs));
    EXPECT_EQ(dt, EncodeDate(2032, 2, 29));
    SetAt(EncodeDate(2031, 3, 1));
    EXPECT_FALSE(TryStrToDate("29/02", dt, fs));
}

TEST(StrToTime, HoursMinutesSecondsAndHalfDays) {
    TFormatSettings fs = DateRecord("dd/mm/yyyy", '/');
    struct T {
        std::string text;
        std::optional<int> ms;
    };
    const T cases[] = {
        {"13:45:10", ((13 * 60 + 45) * 60 + 10) * 1000},
        {"7:08", (7 * 60 + 8) * 60000},
        {"7", 7 * 3600000},
        {" 07:08:09 ", (7 * 3600 + 8 * 60 + 9) * 1000},
        {"07:08:09.5", (7 * 3600 + 8 * 60 + 9) * 1000 + 5},
        {"1:30 PM", (13 * 60 + 30) * 60000},
        {"12:15 am", 15 * 60000},
        {"12:00 PM", 12 * 3600000},
        {"25:00", {}},
        {"1:60", {}},
        {"13:45 PM", {}},
        {"0:10 AM", {}},
        {"7:", {}},
        {"", {}},
        {"7:08x", {}},
    };
    for (const T& c : cases) {
        TDateTime t = -1;
        ASSERT_EQ(TryStrToTime(c.text, t, fs), c.ms.has_value()) << c.text;
        if (c.ms) {
            EXPECT_EQ(std::llround(t * MSecsPerDay), *c.ms) << c.text;
        }
    }
}

TEST(StrToDateTime, DateTimeOrTimeAlone) {
    TFormatSettings fs = DateRecord("y.m.d", '.');
    TDateTime dt = 0;
    ASSERT_TRUE(TryStrToDateTime("2024.01.05 13:45:10", dt, fs));
    EXPECT_NEAR(dt, EncodeDateTime(2024, 1, 5, 13, 45, 10, 0), 1e-9);
    ASSERT_TRUE(TryStrToDateTime("2024.01.05", dt, fs));
    EXPECT_EQ(dt, EncodeDate(2024, 1, 5));
    ASSERT_TRUE(TryStrToDateTime("13:45", dt, fs));
    EXPECT_NEAR(dt, EncodeTime(13, 45, 0, 0), 1e-12);
    EXPECT_FALSE(TryStrToDateTime("2024.01.05 junk", dt, fs));
    EXPECT_FALSE(TryStrToDateTime("2024.01.05 13:45:10 junk", dt, fs));
    EXPECT_FALSE(TryStrToDateTime("2024.02.30 13:45", dt, fs));
}

}  // namespace
}  // namespace vemra
