// THTMLConverterPlugInn: the walk over a page's nodes, the page date, the day rate file it
// writes, the check list and the history bounds, against the test library.

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "HTMLConverterPlugInn.h"
#include "PluginTestSupport.h"
#include "StreamedIniFile.h"

namespace vemra::test {
namespace {

// A page of cells; each cell's attributes tell the test library what to answer.
std::string Page(const std::vector<std::string>& cells, const std::string& extra = {}) {
    std::string page = "<html><body><table><tr>";
    for (const std::string& cell : cells) page += "<td " + cell + ">x</td>";
    return page + "</tr></table>" + extra + "</body></html>\r\n";
}

std::string Rate(const std::string& line) { return "s=1 v=\"" + line + "\""; }

// Seven cells answering C0=0 .. C6=6.
std::vector<std::string> SevenRates() {
    std::vector<std::string> cells;
    for (int i = 0; i < 7; ++i) cells.push_back(Rate("C" + std::to_string(i) + "=" + std::to_string(i)));
    return cells;
}

class HtmlReaderTest : public ::testing::Test {
protected:
    HtmlReaderTest() { std::filesystem::create_directories(DataFolder()); }

    static std::string DataFolder() { return PubData + "/TST"; }
    std::string PageFile() const { return DataFolder() + "/Data.txt"; }

    // A bound source with the given definition lines and a loaded page.
    std::unique_ptr<THTMLConverterPlugInn> Source(std::initializer_list<std::string> lines, const std::string& page) {
        auto source = std::make_unique<THTMLConverterPlugInn>(Lines(lines), "TST");
        EXPECT_TRUE(source->LoadPluginLibrary(kTestLibrary));
        ReplaceText(PageFile(), page);
        source->LoadHtmlPage(PageFile());
        return source;
    }

    // The DATA lines of the written Data.vmr, or "<none>" when there is no file.
    std::vector<std::string> DataLines() const {
        const std::string file = DataFolder() + "/Data.vmr";
        if (!FileExists(file)) return {"<none>"};
        std::unique_ptr<TStreamedIniFile> ini = OpenStreamedIni(5, file);
        TStringList lines;
        ini->ReadSectionValues("DATA", lines);
        return Strings(lines);
    }

    PluginTestEnv env;
};

struct WalkCase {
    std::string dataItems;
    std::string itemWalk;
    int result;
    std::vector<std::string> lines;
};

void PrintTo(const WalkCase& c, std::ostream* os) {
    *os << Quoted(c.dataItems);
    if (!c.itemWalk.empty()) *os << " step " << Quoted(c.itemWalk);
}

class WalkTest : public HtmlReaderTest, public ::testing::WithParamInterface<WalkCase> {};

TEST_P(WalkTest, WalksTheNamedOccurrences) {
    const WalkCase& c = GetParam();
    auto source = Source({"DataItems=" + c.dataItems, "ItemWalk=" + c.itemWalk}, Page(SevenRates()));
    EXPECT_EQ(source->ExtractPageRates(EncodeDate(2024, 1, 17)), c.result);
    EXPECT_EQ(DataLines(), c.lines);
    EXPECT_EQ(source->MissingCount, 0);
}

INSTANTIATE_TEST_SUITE_P(
    DataItems, WalkTest,
    ::testing::Values(WalkCase{"td 2 N", "2", 9, {"C2=2", "C4=4", "C6=6"}},
                      WalkCase{"td 1 3", "", 9, {"C1=1", "C2=2", "C3=3"}},
                      WalkCase{"td,1,40", "", 9, {"C1=1", "C2=2", "C3=3", "C4=4", "C5=5", "C6=6"}},
                      WalkCase{"TD 0 N", " 3 ", 9, {"C0=0", "C3=3", "C6=6"}},
                      WalkCase{"td 5 2", "", 9, {"C5=5"}},  // the first occurrence is always read
                      WalkCase{"td 9 N", "", 5, {}},        // no such node: nothing read, file written
                      WalkCase{"td 1", "", 0, {"<none>"}},
                      WalkCase{"td 1 3 4", "", 0, {"<none>"}},
                      WalkCase{"td x N", "", 0, {"<none>"}},
                      WalkCase{"td 1 n", "", 0, {"<none>"}},
                      WalkCase{"td 1 N", "two", 0, {"<none>"}},
                      WalkCase{"td 1 N", "0", 0, {"<none>"}},  // a step below 1 is no walk
                      WalkCase{"td 1 N", "-1", 0, {"<none>"}}));

TEST_F(HtmlReaderTest, TheLibraryIsToldTheTagAndEachOccurrence) {
    auto source = Source({"DataItems=td 2 N", "ItemWalk=2"}, Page(SevenRates()));
    EXPECT_EQ(source->ExtractPageRates(EncodeDate(2024, 1, 17)), 9);
    const std::string log = env.LibraryLog();
    EXPECT_NE(log.find("nodelist set\n"), std::string::npos);
    EXPECT_NE(log.find("item td:2 [x] -1\nitem td:4 [x] -1\nitem td:6 [x] -1\n"), std::string::npos) << log;
}

TEST_F(HtmlReaderTest, MissingItemsAreCountedAndTheFileStillWritten) {
    auto source = Source({"DataItems=td 0 N"}, Page({"s=-1", "s=-1", "s=-1"}));
    EXPECT_EQ(source->ExtractPageRates(EncodeDate(2024, 1, 17)), 7);
    EXPECT_EQ(source->MissingCount, 3);
    EXPECT_EQ(DataLines(), std::vector<std::string>{});

    auto mixed = Source({"DataItems=td 0 N"}, Page({Rate("USD=1.1"), "throw", "", Rate("USD=1.2"), "s=2"}));
    EXPECT_EQ(mixed->ExtractPageRates(EncodeDate(2024, 1, 17)), 7);
    EXPECT_EQ(mixed->MissingCount, 2);  // the throw and the unanswered one (status stays -1)
    EXPECT_EQ(DataLines(), (std::vector<std::string>{"USD=1.1", "USD=1.2"}));  // duplicates stay
}

TEST_F(HtmlReaderTest, AStatusZeroChainReadsTheNamedNodes) {
    const std::string spans = "<span s=1 v=\"AAA=1\">a</span><span s=0 v=\"span:2\">b</span><span s=1 v=\"BBB=2\">c</span>";
    auto source = Source({"DataItems=td 0 N"}, Page({"s=0 v=\"span:1\"", "s=0 v=\"SPAN:0\"", Rate("CCC=3")}, spans));
    EXPECT_EQ(source->ExtractPageRates(EncodeDate(2024, 1, 17)), 9);
    EXPECT_EQ(DataLines(), (std::vector<std::string>{"BBB=2", "AAA=1", "CCC=3"}));
}

TEST_F(HtmlReaderTest, AChainToANodeThatDoesNotExistEndsTheWalk) {
    auto source = Source({"DataItems=td 0 N"}, Page({Rate("AAA=1"), "s=0 v=\"span:9\"", Rate("CCC=3")}));
    EXPECT_EQ(source->ExtractPageRates(EncodeDate(2024, 1, 17)), 9);
    EXPECT_EQ(DataLines(), (std::vector<std::string>{"AAA=1"}));
    EXPECT_EQ(env.LibraryLog().find("item td:2"), std::string::npos);

    // No ":" names no node either.
    auto noColon = Source({"DataItems=td 0 N"}, Page({"s=0 v=\"td\"", Rate("CCC=3")}));
    EXPECT_EQ(noColon->ExtractPageRates(EncodeDate(2024, 1, 17)), 5);  // no line was read
    EXPECT_EQ(DataLines(), std::vector<std::string>{});
}

TEST_F(HtmlReaderTest, AChainThatComesRoundIsGivenUpAsMissing) {
    // td:0 names itself for ever; the chain stops after as many steps as the page has nodes.
    auto source = Source({"DataItems=td 0 N"}, Page({"s=0 v=\"td:0\"", Rate("CCC=3")}));
    EXPECT_EQ(source->ExtractPageRates(EncodeDate(2024, 1, 17)), 7);
    EXPECT_EQ(source->MissingCount, 1);
    EXPECT_EQ(DataLines(), (std::vector<std::string>{"CCC=3"}));
}

TEST_F(HtmlReaderTest, WithoutDataItemsThePageIsTheRateFile) {
    const std::string page = "[VMR]\r\nTYPE=DATA\r\nCODE=TST\r\n\r\n[DATA]\r\nUSD=1.5\r\n";
    auto source = Source({"Publisher=Test"}, page);
    ReplaceText(DataFolder() + "/Data.vmr", "old");
    ::chmod((DataFolder() + "/Data.vmr").c_str(), 0444);  // as the stored files are
    EXPECT_EQ(source->ExtractPageRates(EncodeDate(2024, 1, 17)), 9);
    EXPECT_EQ(ReadText(DataFolder() + "/Data.vmr"), page);
}

TEST_F(HtmlReaderTest, TheRateFileIsEncipheredWithItsHeader) {
    auto source = Source({"Publisher=Test Bank", "BaseDiv=EUR", "BaseFactor=100", "Logic=1YNX", "DataItems=td 0 N"},
                         Page({Rate("USD = 1.1")}));
    EXPECT_EQ(source->PageRateFileName(), DataFolder() + "/Data.vmr");
    EXPECT_EQ(source->PageFileName(), PageFile());
    EXPECT_EQ(source->ExtractPageRates(EncodeDate(2024, 1, 5)), 9);
    const std::string stored = ReadText(DataFolder() + "/Data.vmr");
    EXPECT_EQ(stored.find("[VMR]"), std::string::npos);  // enciphered
    TStreamedIniFile file(5, DataFolder() + "/Data.vmr");
    file.Reload();
    EXPECT_EQ(file.RenderText(),
              "[VMR]\r\nPROVIDER=Test Bank\r\nCODE=TST\r\nDATE=2024.01.05\r\nBASE=EUR\r\nFACTOR=100\r\n"
              "LOGIC=1YNX\r\nTYPE=DATA\r\n\r\n[DATA]\r\nUSD=1.1\r\n\r\n");
}

TEST_F(HtmlReaderTest, TheHeaderOfNoDateHoldsThePlaceholder) {
    THTMLConverterPlugInn source(Lines({"Publisher=P", "BaseDiv=EUR", "Logic=1XNY"}), "TST");
    EXPECT_EQ(Strings(*source.WriteRateFileHeader(0)),
              (std::vector<std::string>{"[VMR]", "PROVIDER=P", "CODE=TST", "DATE=%s", "BASE=EUR", "FACTOR=",
                                        "LOGIC=1XNY", "TYPE=DATA", "", "[DATA]"}));
    EXPECT_EQ(source.RateFileHeaderText(EncodeDate(2024, 3, 1)),
              "[VMR]\r\nPROVIDER=P\r\nCODE=TST\r\nDATE=2024.03.01\r\nBASE=EUR\r\nFACTOR=\r\nLOGIC=1XNY\r\n"
              "TYPE=DATA\r\n\r\n[DATA]\r\n");
}

TEST_F(HtmlReaderTest, UnloadingFreesThePage) {
    auto source = Source({"DataItems=td 0 N"}, Page(SevenRates()));
    EXPECT_NE(source->NodeList, nullptr);
    source->UnloadPluginLibrary();
    EXPECT_EQ(source->NodeList, nullptr);
    EXPECT_EQ(source->Parser, nullptr);
    EXPECT_EQ(source->PageLines, nullptr);
    EXPECT_EQ(source->PageFile, PageFile());
    EXPECT_EQ(source->GetPageDate(), 0);
}

// ---- the page date ----

struct DateItemCase {
    std::string dateItem;
    TDateTime expected;
    std::vector<std::string> asked;  // the positions the library was asked about, in order
};

void PrintTo(const DateItemCase& c, std::ostream* os) { *os << Quoted(c.dateItem); }

class DateItemTest : public HtmlReaderTest, public ::testing::WithParamInterface<DateItemCase> {};

TEST_P(DateItemTest, TheFirstAlternativeWithADateWins) {
    env.SetNow(EncodeDateTime(2024, 3, 2, 12, 0, 0, 0));
    const std::string extra = "<h2>no date here</h2><p ds=1 date=2023/12/31> early </p>";
    auto source = Source({"DateItem=" + GetParam().dateItem},
                         Page({"", "", "", "ds=0 date=2024/02/02", "", "ds=1 date=2024/03/01", "datethrow"}, extra));
    env.ClearLibraryLog();
    EXPECT_EQ(source->GetPageDate(), GetParam().expected);
    std::vector<std::string> asked;
    std::istringstream log(env.LibraryLog());
    for (std::string line; std::getline(log, line);) {
        if (line.rfind("date ", 0) == 0) asked.push_back(line.substr(5, line.find(' ', 5) - 5));
    }
    EXPECT_EQ(asked, GetParam().asked);
}

INSTANTIATE_TEST_SUITE_P(
    DateItem, DateItemTest,
    ::testing::Values(DateItemCase{"h2:0|td:5", EncodeDate(2024, 3, 1), {"h2:0", "td:5"}},
                      DateItemCase{"td:5|p:0", EncodeDate(2024, 3, 1), {"td:5", "p:0"}},  // all are asked
                      DateItemCase{"p:0|td:5", EncodeDate(2023, 12, 31), {"p:0", "td:5"}},
                      DateItemCase{"td:3", 0, {"td:3"}},            // status 0
                      DateItemCase{"td:6|td:5", EncodeDate(2024, 3, 1), {"td:6", "td:5"}},  // a throw is no date
                      DateItemCase{"td", 0, {}},                    // no ":"
                      DateItemCase{":5", 0, {}},                    // no tag
                      DateItemCase{"td:9|", 0, {}},                 // no such node; empty last one
                      DateItemCase{"td:x|P:0", EncodeDate(2023, 12, 31), {"td:0", "P:0"}},
                      DateItemCase{"td:0000005", 0, {"td:0"}}));  // six characters "000000" = 0

TEST_F(HtmlReaderTest, DateTextsAreHandedOverTrimmed) {
    auto source = Source({"DateItem=p:0"}, Page({}, "<p ds=1 date=2024/01/15>  the day \r\n</p>"));
    env.ClearLibraryLog();
    EXPECT_EQ(source->GetPageDate(), EncodeDate(2024, 1, 15));
    EXPECT_EQ(env.LibraryLog(), "date p:0 [the day] 0\n");
}

// ---- the check list ----

struct CheckCase {
    std::string checkList;
    int count;
    std::string list;
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << Quoted(c.checkList); }

class CheckListTest : public HtmlReaderTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CheckListTest, ReportsTheCodesNoKeyContains) {
    const std::string file = WriteDayFile(DataFolder(), "TST", EncodeDate(2024, 1, 5), "USD=1.1\r\nGBP=0.8\r\n");
    THTMLConverterPlugInn source(Lines({"CheckList=" + GetParam().checkList}), "TST");
    std::int32_t count = -1;
    std::string list = "stale";
    source.FindMissingCheckItems(file, count, list);
    EXPECT_EQ(count, GetParam().count);
    EXPECT_EQ(list, GetParam().list);
}

INSTANTIATE_TEST_SUITE_P(CheckList, CheckListTest,
                         ::testing::Values(CheckCase{"USD,EUR", 1, "EUR"}, CheckCase{"US", 0, ""},
                                           CheckCase{"SD,P", 0, ""},  // substrings of the joined keys
                                           CheckCase{"EUR, JPY", 2, "EUR,JPY"},
                                           CheckCase{"\"EUR\",usd", 2, "EUR,usd"},
                                           CheckCase{"USD,,EUR", 1, "EUR"}, CheckCase{"", 0, ""}));

TEST_F(HtmlReaderTest, AnEncipheredFileIsCheckedToo) {
    auto source = Source({"DataItems=td 0 N", "CheckList=C1,C9"}, Page(SevenRates()));
    ASSERT_EQ(source->ExtractPageRates(EncodeDate(2024, 1, 5)), 9);
    std::int32_t count = 0;
    std::string list;
    source->FindMissingCheckItems(source->PageRateFileName(), count, list);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(list, "C9");
}

// ---- history ----

struct BoundsCase {
    std::string bounds;
    double first;
    double last;
};

void PrintTo(const BoundsCase& c, std::ostream* os) { *os << Quoted(c.bounds); }

class BoundsTest : public HtmlReaderTest, public ::testing::WithParamInterface<BoundsCase> {};

TEST_P(BoundsTest, ReadsTheTwoDayNumbers) {
    THTMLConverterPlugInn source(Lines({"HistoryBounds=" + GetParam().bounds}), "TST");
    EXPECT_EQ(source.HistoryBound(false), GetParam().first);
    EXPECT_EQ(source.HistoryBound(true), GetParam().last);
}

INSTANTIATE_TEST_SUITE_P(HistoryBounds, BoundsTest,
                         ::testing::Values(BoundsCase{"40179-45291", 40179, 45291}, BoundsCase{"0-0", 0, 0},
                                           BoundsCase{"", 0, 0}, BoundsCase{"abc-45291", 0, 45291},
                                           BoundsCase{"40179", 0, 40179}, BoundsCase{"1-1234567", 1, 123456},
                                           BoundsCase{"40179-", 40179, 0}));

TEST_F(HtmlReaderTest, HistoryBoundsComeFromTheLibrary) {
    THTMLConverterPlugInn source(Lines({"HistoryBounds=1-2"}), "TST");
    std::filesystem::copy_file(kTestLibrary, AppData + "/TST.so");
    ReplaceText(DataFolder() + "/hist.txt", "40179.75-45291.2");
    EXPECT_TRUE(source.UpdateHistoryBounds("  " + DataFolder() + "/hist.txt "));
    EXPECT_EQ(source.GetPluginValue(pvHistoryBounds), "40179-45291");
    EXPECT_TRUE(source.Modified);
    EXPECT_NE(source.LibraryHandle(), nullptr);  // stays bound
    EXPECT_NE(env.LibraryLog().find("historyset " + DataFolder() + "/hist.txt\n"), std::string::npos);

    ReplaceText(DataFolder() + "/hist.txt", "FAIL");
    EXPECT_FALSE(source.UpdateHistoryBounds(DataFolder() + "/hist.txt"));
    EXPECT_EQ(source.GetPluginValue(pvHistoryBounds), "0-0");

    ReplaceText(DataFolder() + "/hist.txt", "THROW");
    EXPECT_ANY_THROW(source.UpdateHistoryBounds(DataFolder() + "/hist.txt"));

    THTMLConverterPlugInn bare(Lines({"HistoryBounds=1-2"}), "NOP");
    ASSERT_TRUE(bare.LoadPluginLibrary(kBareLibrary));
    EXPECT_FALSE(bare.UpdateHistoryBounds(DataFolder() + "/hist.txt"));
    EXPECT_EQ(bare.GetPluginValue(pvHistoryBounds), "1-2");
    EXPECT_FALSE(bare.Modified);
    THTMLConverterPlugInn unbound(Lines({}), "XYZ");
    EXPECT_FALSE(unbound.UpdateHistoryBounds(DataFolder() + "/hist.txt"));
    EXPECT_FALSE(unbound.GetHistoryRates(EncodeDate(2024, 1, 5)));
}

TEST_F(HtmlReaderTest, HistoryRatesAreAskedWithTheHeaderTemplate) {
    THTMLConverterPlugInn source(Lines({"Publisher=P", "HistoryFile=hist.zip"}), "TST");
    ASSERT_TRUE(source.LoadPluginLibrary(kTestLibrary));
    EXPECT_TRUE(source.GetHistoryRates(EncodeDateTime(2024, 1, 5, 12, 0, 0, 0)));
    const std::string log = env.LibraryLog();
    EXPECT_NE(log.find("historyget TST " + DataFolder() + " " + DataFolder() + "/hist.zip 45296\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find("template " + source.RateFileHeaderText(0)), std::string::npos);
    ScopedEnv fail("VEMRA_TESTLIB_HISTORY_FAIL", "1");
    EXPECT_FALSE(source.GetHistoryRates(EncodeDate(2024, 1, 5)));
}

}  // namespace
}  // namespace vemra::test
