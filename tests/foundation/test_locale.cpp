#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <string>

#include "DateUtils.h"
#include "Format.h"
#include "FormatSettings.h"
#include "NumParse.h"
#include "support/TestUtils.h"

namespace vemra {
namespace {

bool HaveLocale(const char* name) {
    locale_t loc = newlocale(LC_ALL_MASK, name, locale_t(nullptr));
    if (loc == locale_t(nullptr)) return false;
    freelocale(loc);
    return true;
}

#define REQUIRE_LOCALE(name) \
    if (!HaveLocale(name)) GTEST_SKIP() << name << " is not installed (Debian: locales-all)"

// Sets locale variables for one test and puts the old ones back.
class LocaleEnvironment : public testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"LC_ALL", "LC_NUMERIC", "LC_TIME", "LANG"}) env_.Unset(name);
        savedRecord_ = FormatSettings;
    }
    void TearDown() override {
        env_.Restore();
        FormatSettings = savedRecord_;
    }

private:
    test::ScopedEnv env_;
    TFormatSettings savedRecord_;
};

void ExpectCRecord(const TFormatSettings& fs) {
    EXPECT_EQ(fs.DecimalSeparator, '.');
    EXPECT_EQ(fs.ThousandSeparator, "");
    EXPECT_EQ(fs.ShortDateFormat, "mm/dd/yy");
    EXPECT_EQ(fs.DateSeparator, '/');
    EXPECT_EQ(fs.TimeSeparator, ':');
    EXPECT_EQ(fs.ShortTimeFormat, "hh:nn");
    EXPECT_EQ(fs.LongTimeFormat, "hh:nn:ss");
    EXPECT_EQ(fs.ShortDayNames[0], "Sun");
    EXPECT_EQ(fs.LongDayNames[6], "Saturday");
    EXPECT_EQ(fs.ShortMonthNames[0], "Jan");
    EXPECT_EQ(fs.LongMonthNames[8], "September");
    EXPECT_EQ(fs.TwoDigitYearCenturyWindow, 50);
}

TEST(LocaleRecord, CAndPosixAndUnknownNames) {
    ExpectCRecord(GetLocaleFormatSettings("C"));
    ExpectCRecord(GetLocaleFormatSettings("POSIX"));
    ExpectCRecord(GetLocaleFormatSettings("xx_NOWHERE.UTF-8"));
}

TEST(LocaleRecord, GermanUtf8) {
    REQUIRE_LOCALE("de_DE.UTF-8");
    TFormatSettings fs = GetLocaleFormatSettings("de_DE.UTF-8");
    EXPECT_EQ(fs.DecimalSeparator, ',');
    EXPECT_EQ(fs.ThousandSeparator, ".");
    EXPECT_EQ(fs.ShortDateFormat, "dd.mm.yyyy");
    EXPECT_EQ(fs.DateSeparator, '.');
    EXPECT_EQ(fs.ShortTimeFormat, "hh:nn");
    EXPECT_EQ(fs.LongTimeFormat, "hh:nn:ss");
    EXPECT_EQ(fs.ShortDayNames[5], "Fr");
    EXPECT_EQ(fs.LongMonthNames[2], "M\u00e4rz");
    EXPECT_EQ(fs.TwoDigitYearCenturyWindow, 50);
    TDateTime dt = 0;
    ASSERT_TRUE(TryStrToDate("05.01.2024", dt, fs));
    EXPECT_EQ(dt, EncodeDate(2024, 1, 5));
    EXPECT_EQ(FormatDateTime("ddd c", EncodeDateTime(2024, 1, 5, 7, 8, 0, 0), fs), "Fr 05.01.2024 07:08");
    EXPECT_EQ(FormatFS(fs, "%.*n", 2, 1234567.891), "1.234.567,89");
}

TEST(LocaleRecord, Latin1LocaleGivesUtf8Names) {
    REQUIRE_LOCALE("de_DE.ISO-8859-1");
    TFormatSettings fs = GetLocaleFormatSettings("de_DE.ISO-8859-1");
    EXPECT_EQ(fs.LongMonthNames[2], "M\u00e4rz");
    EXPECT_EQ(fs.DecimalSeparator, ',');
}

TEST(LocaleRecord, UsEnglish) {
    REQUIRE_LOCALE("en_US.UTF-8");
    TFormatSettings fs = GetLocaleFormatSettings("en_US.UTF-8");
    EXPECT_EQ(fs.DecimalSeparator, '.');
    EXPECT_EQ(fs.ThousandSeparator, ",");
    EXPECT_EQ(fs.ShortDateFormat, "mm/dd/yyyy");
    EXPECT_EQ(fs.DateSeparator, '/');
    EXPECT_EQ(fs.TimeSeparator, ':');
    EXPECT_EQ(fs.LongTimeFormat, "hh:nn:ss");  // its 12-hour clock is shown on 24 hours
}

TEST(LocaleRecord, FrenchThousandsSeparatorIsMultiByte) {
    REQUIRE_LOCALE("fr_FR.UTF-8");
    TFormatSettings fs = GetLocaleFormatSettings("fr_FR.UTF-8");
    EXPECT_EQ(fs.DecimalSeparator, ',');
    EXPECT_GT(fs.ThousandSeparator.size(), 1u);  // a (narrow) no-break space
    EXPECT_EQ(fs.ShortDateFormat, "dd/mm/yyyy");
    EXPECT_EQ(FormatFS(fs, "%.2n", 1234.5), "1" + fs.ThousandSeparator + "234,50");
}

TEST(LocaleRecord, IsoOrderAndSeparatorWithoutAsciiPunctuation) {
    REQUIRE_LOCALE("sv_SE.UTF-8");
    TFormatSettings sv = GetLocaleFormatSettings("sv_SE.UTF-8");
    EXPECT_EQ(sv.ShortDateFormat, "yyyy-mm-dd");
    EXPECT_EQ(sv.DateSeparator, '-');
    REQUIRE_LOCALE("ja_JP.UTF-8");
    TFormatSettings ja = GetLocaleFormatSettings("ja_JP.UTF-8");
    EXPECT_EQ(ja.ShortDateFormat, "yyyy\u5e74mm\u6708dd\u65e5");
    EXPECT_EQ(ja.DateSeparator, '/');
    EXPECT_EQ(FormatDateTime(ja.ShortDateFormat, EncodeDate(2024, 1, 5), ja), "2024\u5e7401\u670805\u65e5");
}

TEST_F(LocaleEnvironment, EmptyNameFollowsTheEnvironmentPerCategory) {
    REQUIRE_LOCALE("de_DE.UTF-8");
    REQUIRE_LOCALE("en_US.UTF-8");
    setenv("LANG", "de_DE.UTF-8", 1);
    TFormatSettings fs = GetLocaleFormatSettings("");
    EXPECT_EQ(fs.DecimalSeparator, ',');
    EXPECT_EQ(fs.ShortDateFormat, "dd.mm.yyyy");

    setenv("LC_TIME", "en_US.UTF-8", 1);
    fs = GetLocaleFormatSettings("");
    EXPECT_EQ(fs.DecimalSeparator, ',');
    EXPECT_EQ(fs.ShortDateFormat, "mm/dd/yyyy");

    setenv("LC_ALL", "C", 1);  // overrides both
    ExpectCRecord(GetLocaleFormatSettings(""));
}

TEST_F(LocaleEnvironment, InitLocaleFormatSettingsRereadsTheGlobalRecord) {
    REQUIRE_LOCALE("de_DE.UTF-8");
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    InitLocaleFormatSettings();
    EXPECT_EQ(FormatSettings.DecimalSeparator, ',');
    EXPECT_EQ(Format("%.2f", 1.5), "1,50");
    setenv("LC_ALL", "C", 1);
    InitLocaleFormatSettings();
    ExpectCRecord(FormatSettings);
}

TEST(LocaleRecord, TheGlobalRecordIsUsableWithoutSetup) {
    EXPECT_NE(FormatSettings.DecimalSeparator, '\0');
    EXPECT_FALSE(FormatSettings.ShortDateFormat.empty());
    EXPECT_NE(FormatSettings.DateSeparator, '\0');
    EXPECT_FALSE(FormatSettings.ShortDayNames[0].empty());
}

TEST(LocaleRecord, ReadingLeavesTheProcessLocaleAlone) {
    std::string before = std::setlocale(LC_ALL, nullptr);
    GetLocaleFormatSettings("de_DE.UTF-8");
    GetLocaleFormatSettings("");
    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), before);
}

TEST(LocaleRecord, FormattingAndParsingIgnoreTheProcessLocale) {
    REQUIRE_LOCALE("de_DE.UTF-8");
    std::string before = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    TFormatSettings point;
    point.DecimalSeparator = '.';
    point.ThousandSeparator = ",";
    std::string formatted = FormatFS(point, "%.2f %.3e %.2n", 2.5, 1234.5, 1234.5);
    double v = 0;
    bool parsed = TryStrToFloat("2.5", v, '.');
    bool commaParsed = TryStrToFloat("2,5", v, '.');
    std::setlocale(LC_ALL, before.c_str());
    EXPECT_EQ(formatted, "2.50 1.23E+003 1,234.50");
    EXPECT_TRUE(parsed);
    EXPECT_FALSE(commaParsed);
}

}  // namespace
}  // namespace vemra
