// TConverterPlugInn: the definition, the schedule parsed from "Settings", the library
// binding and the guarded calls.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ConverterPlugInn.h"
#include "HTMLConverterPlugInn.h"
#include "PluginTestSupport.h"

namespace vemra::test {
namespace {

struct SettingsCase {
    std::string settings;
    std::string mask;
    std::string second;
    int dayLag;
    int minute;
    int zone;
    std::string text;
};

void PrintTo(const SettingsCase& c, std::ostream* os) { *os << Quoted(c.settings); }

class SettingsTest : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(SettingsTest, ParsesTheScheduleOrFallsBackToTheDefaults) {
    const SettingsCase& c = GetParam();
    TConverterPlugInn source(Lines({"Settings=" + c.settings}), "ECB");
    EXPECT_EQ(source.PublishMask, c.mask);
    EXPECT_EQ(source.SecondMask, c.second);
    EXPECT_EQ(source.DayLag, c.dayLag);
    EXPECT_EQ(source.PublicationMinute, c.minute);
    EXPECT_EQ(source.ZoneHours, c.zone);
    EXPECT_EQ(source.PublicationTimeText, c.text);
    EXPECT_EQ(source.SourceZoneMinutes(), c.zone * 60);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SettingsTest,
    ::testing::Values(
        SettingsCase{"1111100:0000000:D:1:960:1", "1111100", "0000000", 0, 960, 1, "16:00 GMT"},
        SettingsCase{"1111111:1111111:D:3:600", "1111111", "1111111", 2, 600, 0, "10:00 GMT"},
        SettingsCase{"", "1111100", "1111100", 0, 540, 0, "09:00 GMT"},
        SettingsCase{"1111100:1111100:D:1:abc", "1111100", "1111100", 0, 540, 0, "09:00 GMT"},
        SettingsCase{"1111100:1111100:X:1:600:-5", "1111100", "1111100", 0, 600, -5, "10:00 GMT"},
        // the blank splits the first field: the unit is "1" and the count "D"
        SettingsCase{"11111 00:1111100:D:1:600", "1111100", "1111100", 0, 540, 0, "09:00 GMT"},
        // the day lag is set before the minute fails, and kept
        SettingsCase{"1111100:1111100:D:4:abc", "1111100", "1111100", 3, 540, 0, "09:00 GMT"},
        SettingsCase{"1111100:1111100::1:600", "1111100", "1111100", 0, 540, 0, "09:00 GMT"},
        SettingsCase{"1111100:1111100:D:1:600:x", "1111100", "1111100", 0, 540, 0, "09:00 GMT"},
        SettingsCase{"0111110:0111110:D:1:0:3", "0111110", "0111110", 0, 0, 3, "00:00 GMT"},
        SettingsCase{" 1111100 : 0011100 :Days:1:75:300", "1111100", "0011100", 0, 75, 44, "01:15 GMT"},
        SettingsCase{"\"1111100\":\"00\"\"11\":D:1:60", "1111100", "00\"11", 0, 60, 0, "01:00 GMT"}));

struct SplitCase {
    std::string text;
    char separator;
    std::vector<std::string> fields;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << Quoted(c.text) << " at '" << c.separator << "'"; }

class SplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitTest, SplitsAtSeparatorsBlanksAndQuotes) {
    EXPECT_EQ(SplitPluginFields(GetParam().text, GetParam().separator), GetParam().fields);
}

INSTANTIATE_TEST_SUITE_P(Fields, SplitTest,
                         ::testing::Values(SplitCase{"", ':', {}}, SplitCase{"a:b", ':', {"a", "b"}},
                                           SplitCase{"a:", ':', {"a", ""}}, SplitCase{"a: ", ':', {"a"}},
                                           SplitCase{" a : b ", ':', {"a", "b"}},
                                           SplitCase{"a::b", ':', {"a", "", "b"}},
                                           SplitCase{"a b", ':', {"a", "b"}},
                                           SplitCase{"\"x y\":z", ':', {"x y", "z"}},
                                           SplitCase{"\"a\"\"b\"", ':', {"a\"b"}},
                                           SplitCase{"\"open", ':', {"open"}},
                                           SplitCase{"USD,\"E R\",\tJPY", ',', {"USD", "E R", "JPY"}}));

class PluginDefinitionTest : public ::testing::Test {
protected:
    PluginTestEnv env;
};

TEST_F(PluginDefinitionTest, SelectorsNameTheirKeys) {
    TConverterPlugInn source(Lines({"publisher=European Central Bank", "DataUrl=http://x/a=b", "Publisher=second",
                                    "HistoryFile=h.zip", "Enabled=1", "HistoryType=D"}),
                             "ECB");
    EXPECT_EQ(source.GetPluginValue(pvPublisher), "European Central Bank");  // first line, any case
    EXPECT_EQ(source.GetPluginValue(pvDataUrl), "http://x/a=b");
    EXPECT_EQ(source.GetPluginValue(pvDataFolder), PubData + "/ECB");
    EXPECT_EQ(source.GetPluginValue(5), "");
    EXPECT_EQ(source.GetPluginValue(0), "");
    EXPECT_EQ(source.GetPluginValue(24), "");
    EXPECT_EQ(source.GetPluginValue(pvCheckList), "");
    EXPECT_EQ(PluginValueKey(pvVersion), "Version");
    EXPECT_EQ(PluginValueKey(pvItemWalk), "ItemWalk");
    EXPECT_TRUE(source.IsPluginEnabled());
    EXPECT_TRUE(source.IsDailyHistory());
    EXPECT_EQ(source.GetHistoryFilePath(), PubData + "/ECB/h.zip");
    EXPECT_EQ(source.GetPluginDataFileName(EncodeDateTime(2024, 1, 5, 13, 0, 0, 0)),
              PubData + "/ECB/2024.01.05-ECB.vmr");
    EXPECT_EQ(source.PluginLibraryPath(), AppData + "/ECB.so");
    EXPECT_FALSE(source.PluginDataFileExists(EncodeDate(2024, 1, 5)));
    WriteDayFile(PubData + "/ECB", "ECB", EncodeDate(2024, 1, 5));
    EXPECT_TRUE(source.PluginDataFileExists(EncodeDate(2024, 1, 5)));

    TConverterPlugInn other(Lines({"Enabled=yes", "HistoryType=d"}), "CBR");
    EXPECT_FALSE(other.IsPluginEnabled());
    EXPECT_FALSE(other.IsDailyHistory());
}

TEST_F(PluginDefinitionTest, SetValuesAreMarkedAndMakeTheSourceModified) {
    TStringList given = Lines({"Publisher=ECB", "Enabled=1"});
    TConverterPlugInn source(given, "ECB");
    EXPECT_FALSE(source.Modified);

    source.SetPluginValue("enabled", "0");
    source.SetPluginValue("Logic", "1YNX");
    source.SetHistoryFile("  /some/folder/eurofxref-hist.zip ");
    EXPECT_EQ(Strings(source.Definition),
              (std::vector<std::string>{"Publisher=ECB", "enabled=0", "Logic=1YNX", "HistoryFile=eurofxref-hist.zip"}));
    EXPECT_EQ(DefinitionMark(source.Definition, 0), 0);
    EXPECT_EQ(DefinitionMark(source.Definition, 1), 1);
    EXPECT_EQ(DefinitionMark(source.Definition, 2), 1);
    EXPECT_TRUE(source.Modified);
    EXPECT_EQ(given.Count(), 2);  // the caller's list stays as it was
    EXPECT_EQ(given[1], "Enabled=1");

    std::unique_ptr<TStringList> copy = source.CopyPluginDefinition();
    EXPECT_EQ(DefinitionMark(*copy, 3), 1);
    source.ClearModifiedMarks();
    EXPECT_FALSE(source.Modified);
    EXPECT_EQ(DefinitionMark(source.Definition, 1), 0);
    EXPECT_EQ(DefinitionMark(*copy, 1), 1);

    source.SetPluginValueUnmarked("LastUpdate", "2024.01.05");
    EXPECT_EQ(source.GetPluginValue(pvLastUpdate), "2024.01.05");
    EXPECT_EQ(DefinitionMark(source.Definition, 4), 0);
    EXPECT_FALSE(source.Modified);
}

TEST_F(PluginDefinitionTest, EnabledZeroIsAppendedMarked) {
    TConverterPlugInn source(Lines({"Publisher=ECB"}), "ECB");
    source.SetPluginValue("Enabled", "0");
    ASSERT_EQ(source.Definition.Count(), 2);
    EXPECT_EQ(source.Definition[1], "Enabled=0");
    EXPECT_EQ(DefinitionMark(source.Definition, 1), 1);
    EXPECT_TRUE(source.Modified);
}

// ---- the library ----

class PluginLibraryTest : public ::testing::Test {
protected:
    PluginLibraryTest() { ReplaceText(env.File("page.txt"), "<td>page</td>\r\n"); }

    PluginTestEnv env;
};

TEST_F(PluginLibraryTest, BindsTheGivenLibraryAndLooksUpItsEntryPoints) {
    TConverterPlugInn source(Lines({}), "TST");
    ASSERT_TRUE(source.LoadPluginLibrary(kTestLibrary));
    EXPECT_NE(source.LibraryHandle(), nullptr);
    EXPECT_NE(source.PreCleanEntry, nullptr);
    EXPECT_NE(source.GetDateEntry, nullptr);
    EXPECT_NE(source.ComposeQueryEntry, nullptr);
    EXPECT_NE(source.ParseItemEntry, nullptr);
    EXPECT_NE(source.SetDataEntry, nullptr);
    EXPECT_NE(source.HistoryDataSetEntry, nullptr);
    EXPECT_NE(source.HistoryDataGetEntry, nullptr);
    // A bound library stays bound; the path is then not looked at.
    EXPECT_TRUE(source.LoadPluginLibrary(env.File("nothing.so")));
    source.UnloadPluginLibrary();
    EXPECT_EQ(source.LibraryHandle(), nullptr);
    EXPECT_EQ(source.ParseItemEntry, nullptr);
    EXPECT_EQ(source.HistoryDataGetEntry, nullptr);

    ASSERT_TRUE(source.LoadPluginLibrary(kBareLibrary));
    EXPECT_EQ(source.PreCleanEntry, nullptr);
    EXPECT_EQ(source.SetDataEntry, nullptr);
    source.UnloadPluginLibrary();
    EXPECT_FALSE(source.LoadPluginLibrary(env.File("nothing.so")));
    EXPECT_EQ(source.LibraryHandle(), nullptr);
}

// A download that waits for its page holds the library: another user's unload leaves it (and
// the page it read) bound until the last hold is let go.
TEST_F(PluginLibraryTest, AHeldLibraryStaysBoundUntilTheLastHoldIsLetGo) {
    THTMLConverterPlugInn source(Lines({}), "TST");
    ASSERT_TRUE(source.LoadPluginLibrary(kTestLibrary));
    source.LoadHtmlPage(env.File("page.txt"));
    source.HoldLibrary();
    source.HoldLibrary();
    for (int release = 0; release < 2; ++release) {
        source.UnloadPluginLibrary();
        EXPECT_NE(source.LibraryHandle(), nullptr) << release;
        EXPECT_NE(source.ParseItemEntry, nullptr) << release;
        EXPECT_NE(source.NodeList, nullptr) << release;
        source.ReleaseLibrary();
    }
    EXPECT_FALSE(source.LibraryHeld());
    source.UnloadPluginLibrary();
    EXPECT_EQ(source.LibraryHandle(), nullptr);
    EXPECT_EQ(source.NodeList, nullptr);
    source.ReleaseLibrary();  // one release too many holds nothing
    ASSERT_TRUE(source.LoadPluginLibrary(kBareLibrary));
    source.UnloadPluginLibrary();
    EXPECT_EQ(source.LibraryHandle(), nullptr);
}

TEST_F(PluginLibraryTest, WithoutAPathTheInstalledLibraryComesFirstThenTheDataFolder) {
    TConverterPlugInn source(Lines({}), "TST");
    EXPECT_FALSE(source.LoadPluginLibrary());

    std::filesystem::create_directories(PubData + "/TST");
    std::filesystem::copy_file(kBareLibrary, PubData + "/TST/TST.so");
    ASSERT_TRUE(source.LoadPluginLibrary());
    EXPECT_EQ(source.ParseItemEntry, nullptr);  // the bare one, from PubData/TST
    source.UnloadPluginLibrary();

    std::filesystem::copy_file(kTestLibrary, AppData + "/TST.so");
    ASSERT_TRUE(source.LoadPluginLibrary());
    EXPECT_NE(source.ParseItemEntry, nullptr);  // the installed one, from AppData
}

TEST_F(PluginLibraryTest, ComposeQueryAsksTheLibraryOnlyForTemplates) {
    TConverterPlugInn source(Lines({"DataUrlHuman=http://human/", "DataUrl=http://data/?day=%",
                                    "HistoryUrl=http://history/all.zip"}),
                             "TST");
    ASSERT_TRUE(source.LoadPluginLibrary(kTestLibrary));
    const TDateTime date = EncodeDateTime(2024, 1, 17, 18, 30, 0, 0);  // day 45308
    source.Status = 7;
    EXPECT_EQ(source.ComposeQueryUrl(1, date), "http://data/?day=45308");
    EXPECT_EQ(source.ComposeQueryUrl(0, date), "http://human/");
    EXPECT_EQ(source.ComposeQueryUrl(2, date), "http://history/all.zip");
    EXPECT_EQ(source.ComposeQueryUrl(3, date), "");
    EXPECT_EQ(env.LibraryLog(), "compose http://data/?day=% 45308 0\n");  // once, status preset 0

    TConverterPlugInn throwing(Lines({"DataUrl=http://THROW/%"}), "TST");
    ASSERT_TRUE(throwing.LoadPluginLibrary(kTestLibrary));
    EXPECT_ANY_THROW(throwing.ComposeQueryUrl(1, date));

    TConverterPlugInn bare(Lines({"DataUrl=http://data/%"}), "TST");
    ASSERT_TRUE(bare.LoadPluginLibrary(kBareLibrary));
    EXPECT_EQ(bare.ComposeQueryUrl(1, date), "http://data/%");
    TConverterPlugInn empty(Lines({}), "TST");
    EXPECT_EQ(empty.ComposeQueryUrl(1, date), "");
}

struct DateCase {
    std::string attributes;
    TDateTime expected;
};

void PrintTo(const DateCase& c, std::ostream* os) { *os << Quoted(c.attributes); }

class PluginDateTest : public PluginLibraryTest, public ::testing::WithParamInterface<DateCase> {};

TEST_P(PluginDateTest, ReadsStatusOneAnswersAsDates) {
    TConverterPlugInn source(Lines({}), "TST");
    ASSERT_TRUE(source.LoadPluginLibrary(kTestLibrary));
    source.Status = 9;
    EXPECT_EQ(source.GetPluginDate("text", GetParam().attributes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Dates, PluginDateTest,
                         ::testing::Values(DateCase{"ds=1\r\ndate=2024/01/15", EncodeDate(2024, 1, 15)},
                                           DateCase{"ds=0\r\ndate=2024/01/15", 0},
                                           DateCase{"date=2024/01/15", 0},  // status stays at its preset 0
                                           DateCase{"ds=2\r\ndate=2024/01/15", 0},
                                           DateCase{"ds=1\r\ndate=2024/13/45", 0},
                                           DateCase{"ds=1\r\ndate=15.01.2024", 0},
                                           DateCase{"ds=1\r\ndatethrow", 0}));

TEST_F(PluginLibraryTest, ParseItemGivesTheLineAndTheStatusOrNothing) {
    TConverterPlugInn source(Lines({}), "TST");
    EXPECT_EQ(source.ParsePluginItem("x", "s=1\r\nv=USD=1.5"), "");  // not bound: neutral
    EXPECT_EQ(source.Status, -1);
    ASSERT_TRUE(source.LoadPluginLibrary(kTestLibrary));
    EXPECT_EQ(source.ParsePluginItem("x", "s=1\r\nv=USD=1.5\r\n"), "USD=1.5");
    EXPECT_EQ(source.Status, 1);
    EXPECT_EQ(source.ParsePluginItem("x", "s=0\r\nv=td:4"), "td:4");
    EXPECT_EQ(source.Status, 0);
    EXPECT_EQ(source.ParsePluginItem("x", "v=ignored"), "ignored");
    EXPECT_EQ(source.Status, -1);  // preset
    EXPECT_EQ(source.ParsePluginItem("x", "throw\r\nv=USD=1"), "");
    EXPECT_EQ(source.Status, -1);
    EXPECT_NE(env.LibraryLog().find("item ?:? [x] -1"), std::string::npos);
}

TEST_F(PluginLibraryTest, PreCleanRejectsOnMinusOneAndOnAThrowAndKeepsTheStatusUnpreset) {
    TConverterPlugInn bare(Lines({}), "TST");
    ASSERT_TRUE(bare.LoadPluginLibrary(kBareLibrary));
    EXPECT_TRUE(bare.PreCleanPluginText(env.File("page.txt")));

    TConverterPlugInn source(Lines({}), "TST");
    ASSERT_TRUE(source.LoadPluginLibrary(kTestLibrary));
    const struct {
        std::string page;
        int statusBefore;
        bool accepted;
    } cases[] = {
        {"<td>fine</td>", -1, true},    {"REJECT", 1, false},     {"THROW", 1, false},
        {"KEEPSTATUS", -1, false},      {"KEEPSTATUS", 0, true},  {"KEEPSTATUS", 3, true},
    };
    for (const auto& c : cases) {
        ReplaceText(env.File("page.txt"), c.page);
        source.Status = c.statusBefore;
        EXPECT_EQ(source.PreCleanPluginText(env.File("page.txt")), c.accepted) << c.page << " " << c.statusBefore;
    }
    EXPECT_NE(env.LibraryLog().find("preclean 3 nil"), std::string::npos);  // not preset, reserved nil

    ReplaceText(env.File("page.txt"), "<p>REWRITE</p>");
    EXPECT_TRUE(source.PreCleanPluginText(env.File("page.txt")));
    EXPECT_EQ(ReadText(env.File("page.txt")), "<p>REWRITTEN</p>");
}

// ---- installing a library's definition ----

TEST_F(PluginLibraryTest, InstallReplacesTheDefinitionKeepingTheSourcesOwnValues) {
    TStringList definition = Lines({"Publisher=Old", "Junk=1", "LastUpdate=2024.01.02 16:00:00",
                                    "HistoryBounds=40179-45291", "HistoryFile=hist.zip", "Enabled=0"});
    TConverterPlugInn source(Lines({}), "TST");
    ASSERT_TRUE(source.InstallPluginLibrary(definition, kTestLibrary));
    EXPECT_EQ(Strings(definition),
              (std::vector<std::string>{"Publisher=Test Source", "DataUrl=http://127.0.0.1/none", "DataItems=td 0 N",
                                        "DateItem=td:0", "Settings=1111111:1111111:D:1:0:0", "BaseDiv=EUR",
                                        "BaseFactor=1", "Logic=1XNY", "Enabled=1", "LastUpdate=2024.01.02 16:00:00",
                                        "HistoryBounds=40179-45291", "HistoryFile=hist.zip",
                                        "Version=" + std::string(VEMRA_VERSION_TEXT)}));
    for (int i = 0; i < definition.Count(); ++i) EXPECT_EQ(DefinitionMark(definition, i), 1) << definition[i];
    EXPECT_EQ(source.LibraryHandle(), nullptr);
}

TEST_F(PluginLibraryTest, InstallFailsWithoutDefinitionLinesOrWithoutTheExport) {
    TConverterPlugInn source(Lines({}), "TST");
    TStringList definition = Lines({"Publisher=Old"});
    {
        ScopedEnv text("VEMRA_TESTLIB_INSTALL", "");
        EXPECT_FALSE(source.InstallPluginLibrary(definition, kTestLibrary));
        EXPECT_EQ(definition.Count(), 0);
    }
    {
        ScopedEnv text("VEMRA_TESTLIB_INSTALL", " \r\n\t ");
        definition = Lines({"Publisher=Old"});
        EXPECT_FALSE(source.InstallPluginLibrary(definition, kTestLibrary));
        EXPECT_EQ(definition.Count(), 0);
    }
    {
        ScopedEnv text("VEMRA_TESTLIB_INSTALL", "\r\n Publisher=Only \r\n");
        EXPECT_TRUE(source.InstallPluginLibrary(definition, kTestLibrary));
        EXPECT_EQ(Strings(definition), (std::vector<std::string>{"Publisher=Only", "Version=" VEMRA_VERSION_TEXT,
                                                                 "Enabled=1"}));
    }
    definition = Lines({"Publisher=Old"});
    EXPECT_FALSE(source.InstallPluginLibrary(definition, kBareLibrary));
    EXPECT_EQ(Strings(definition), (std::vector<std::string>{"Publisher=Old"}));
    EXPECT_FALSE(source.InstallPluginLibrary(definition, env.File("nothing.so")));
    EXPECT_EQ(source.LibraryHandle(), nullptr);
}

TEST_F(PluginLibraryTest, WhatTheInstallExportThrowsPassesAfterTheUnload) {
    ScopedEnv throwing("VEMRA_TESTLIB_INSTALL_THROW", "1");
    TConverterPlugInn source(Lines({}), "TST");
    TStringList definition = Lines({"Publisher=Old"});
    EXPECT_ANY_THROW(source.InstallPluginLibrary(definition, kTestLibrary));
    EXPECT_EQ(source.LibraryHandle(), nullptr);
    EXPECT_EQ(source.ParseItemEntry, nullptr);
}

}  // namespace
}  // namespace vemra::test
