// The shipped rate-source libraries against pages and histories that are not what they should
// be: pages dated ahead, values that are no usable rates, oversized pages, large Russian bank
// pages for the pre-clean, and ECB histories handed over as the windows hand them (the zip or
// the CSV unpacked from it), unreadable or expanding past the bound.

#include <archive.h>
#include <archive_entry.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "HTMLConverterPlugInn.h"
#include "PluginTestSupport.h"
#include "StreamedIniFile.h"
#include "TimeUtils.h"

namespace vemra::test {
namespace {

// ---- real-format pages ----

struct Item {
    std::string code;
    std::string value;          // the ECB's rate, the Russian bank's Value
    std::string nominal = "1";  // the Russian bank's Nominal
};

std::string EcbPage(const std::string& time, const std::vector<Item>& items) {
    std::string page =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gesmes:Envelope xmlns:gesmes=\"http://www.gesmes.org/xml/2002-08-01\" "
        "xmlns=\"http://www.ecb.int/vocabulary/2002-08-01/eurofxref\">\n"
        "\t<gesmes:subject>Reference rates</gesmes:subject>\n"
        "\t<gesmes:Sender>\n\t\t<gesmes:name>European Central Bank</gesmes:name>\n\t</gesmes:Sender>\n"
        "\t<Cube>\n\t\t<Cube time='" + time + "'>\n";
    for (const Item& item : items) page += "\t\t\t<Cube currency='" + item.code + "' rate='" + item.value + "'/>\n";
    return page + "\t\t</Cube>\n\t</Cube>\n</gesmes:Envelope>\n";
}

std::string CbrValute(const Item& item, int id) {
    return "<Valute ID=\"R" + std::to_string(10000 + id) + "\"><NumCode>" + std::to_string(100 + id % 900) +
           "</NumCode><CharCode>" + item.code + "</CharCode><Nominal>" + item.nominal + "</Nominal><Name>" + item.code +
           " unit</Name><Value>" + item.value + "</Value><VunitRate>" + item.value + "</VunitRate></Valute>";
}

const char* const kCbrHead = "<?xml version=\"1.0\" encoding=\"windows-1251\"?><ValCurs Date=\"";

std::string CbrPage(const std::string& date, const std::vector<Item>& items) {
    std::string page = kCbrHead + date + "\" name=\"Foreign Currency Market\">";
    for (std::size_t i = 0; i < items.size(); ++i) page += CbrValute(items[i], static_cast<int>(i));
    return page + "</ValCurs>";
}

const std::vector<Item> kEcbRates = {{"USD", "1.0877"}, {"JPY", "160.99"}, {"GBP", "0.85788"}, {"CHF", "0.9393"}};
const std::vector<Item> kCbrRates = {{"USD", "88,3844"}, {"EUR", "96,2077"}, {"CNY", "12,2818"}, {"JPY", "60,4187", "100"}};

// A shipped source with its library's own definition, bound to that library.
class ShippedSourceTest : public ::testing::Test {
protected:
    std::unique_ptr<THTMLConverterPlugInn> Shipped(const std::string& code) {
        const std::string library = code == "ECB" ? kEcbLibrary : kCbrLibrary;
        TStringList definition;
        {
            TConverterPlugInn binder(TStringList(), code);
            EXPECT_TRUE(binder.InstallPluginLibrary(definition, library));
        }
        auto source = std::make_unique<THTMLConverterPlugInn>(definition, code);
        EXPECT_TRUE(source->LoadPluginLibrary(library));
        std::filesystem::create_directories(source->GetPluginValue(pvDataFolder));
        return source;
    }

    // What the download step makes of a page: pre-cleaned, dated and, with a date, read.
    struct PageRead {
        bool cleaned = false;
        TDateTime date = 0;
        int result = -1;
        std::vector<std::string> data;
    };
    PageRead Read(THTMLConverterPlugInn& source, const std::string& page) {
        const std::string file = source.GetPluginValue(pvDataFolder) + "/Data.txt";
        ReplaceText(file, page);
        PageRead read;
        read.cleaned = source.PreCleanPluginText(file);
        if (!read.cleaned) return read;
        source.LoadHtmlPage(file);
        read.date = source.GetPageDate();
        if (read.date <= 0) return read;
        read.result = source.ExtractPageRates(read.date);
        std::unique_ptr<TStreamedIniFile> ini = OpenStreamedIni(5, source.PageRateFileName());
        TStringList lines;
        ini->ReadSectionValues("DATA", lines);
        read.data = Strings(lines);
        return read;
    }

    PluginTestEnv env;
};

// ---- the page date ----

struct DateCase {
    std::string name;
    std::string code;
    TDateTime now;      // UTC
    std::string date;   // as the page states it
    TDateTime expected;
};

void PrintTo(const DateCase& c, std::ostream* os) { *os << c.name; }

class PageDateTest : public ShippedSourceTest, public ::testing::WithParamInterface<DateCase> {};

TEST_P(PageDateTest, APageDatedFarAheadHasNoDate) {
    const DateCase& c = GetParam();
    env.SetNow(c.now);
    auto source = Shipped(c.code);
    const PageRead read = Read(*source, c.code == "ECB" ? EcbPage(c.date, kEcbRates) : CbrPage(c.date, kCbrRates));
    ASSERT_TRUE(read.cleaned);
    EXPECT_EQ(read.date, c.expected);
    if (c.expected > 0) {
        EXPECT_EQ(read.result, ExtractAllRead);
    }
}

const TDateTime kEvening = EncodeDateTime(2024, 1, 17, 18, 0, 0, 0);
const TDateTime kLateEvening = EncodeDateTime(2024, 1, 17, 22, 30, 0, 0);  // already the 18th in Moscow

INSTANTIATE_TEST_SUITE_P(
    Dates, PageDateTest,
    ::testing::Values(DateCase{"EcbToday", "ECB", kEvening, "2024-01-17", EncodeDate(2024, 1, 17)},
                      DateCase{"EcbTomorrow", "ECB", kEvening, "2024-01-18", EncodeDate(2024, 1, 18)},
                      DateCase{"EcbThreeDaysAhead", "ECB", kEvening, "2024-01-20", EncodeDate(2024, 1, 20)},
                      DateCase{"EcbFourDaysAhead", "ECB", kEvening, "2024-01-21", 0},
                      DateCase{"Ecb2099", "ECB", kEvening, "2099-12-31", 0},
                      DateCase{"CbrTomorrow", "CBR", kEvening, "18.01.2024", EncodeDate(2024, 1, 18)},
                      DateCase{"CbrThreeDaysAheadInMoscow", "CBR", kLateEvening, "21.01.2024", EncodeDate(2024, 1, 21)},
                      DateCase{"CbrFourDaysAheadInMoscow", "CBR", kLateEvening, "22.01.2024", 0},
                      DateCase{"Cbr2099", "CBR", kEvening, "31.12.2099", 0}),
    [](const ::testing::TestParamInfo<DateCase>& p) { return p.param.name; });

// ---- values that are no rates ----

struct ValueCase {
    std::string name;
    std::string code;
    Item bad;
};

void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.name; }

class UnusableValueTest : public ShippedSourceTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(UnusableValueTest, IsAMissingItem) {
    const ValueCase& c = GetParam();
    auto source = Shipped(c.code);
    std::vector<Item> items;
    for (const Item& good : c.code == "ECB" ? kEcbRates : kCbrRates) {
        items.push_back(good);
        if (items.size() == 1) items.push_back(c.bad);
    }
    const PageRead read = Read(*source, c.code == "ECB" ? EcbPage("2024-01-17", items) : CbrPage("17.01.2024", items));
    EXPECT_EQ(read.result, ExtractItemsMissing);
    EXPECT_EQ(source->MissingCount, 1);
    ASSERT_EQ(read.data.size(), items.size() - 1);
    for (const std::string& line : read.data) EXPECT_NE(line.substr(0, 3), c.bad.code) << line;
}

const std::string kTinyFraction = "0." + std::string(45, '0') + "1";  // zero in single precision

INSTANTIATE_TEST_SUITE_P(
    Values, UnusableValueTest,
    ::testing::Values(
        ValueCase{"EcbZero", "ECB", {"AUD", "0"}},
        ValueCase{"EcbZeroWithDecimals", "ECB", {"AUD", "0.0000"}},
        ValueCase{"EcbZeroInSinglePrecision", "ECB", {"AUD", kTinyFraction}},
        ValueCase{"EcbPastSinglePrecision", "ECB", {"AUD", "340282366920938463463374607431768211456"}},
        ValueCase{"EcbTwoDecimalPoints", "ECB", {"AUD", "1.65.21"}},
        ValueCase{"EcbExponent", "ECB", {"AUD", "1e5"}},
        ValueCase{"EcbInfinity", "ECB", {"AUD", "inf"}},
        ValueCase{"EcbNegative", "ECB", {"AUD", "-1.6521"}},
        ValueCase{"CbrZero", "CBR", {"AUD", "0,0000"}},
        ValueCase{"CbrZeroInSinglePrecision", "CBR", {"AUD", "0," + std::string(45, '0') + "1"}},
        ValueCase{"CbrInfinity", "CBR", {"AUD", "inf"}},
        ValueCase{"CbrPastSinglePrecision", "CBR", {"AUD", "3402823466385288598117041834845169254400,0"}},
        ValueCase{"CbrPastSinglePrecisionPerUnit", "CBR", {"AUD", "300000000000000000000000000000000000000,0", "0,5"}},
        ValueCase{"CbrZeroInSinglePrecisionPerUnit", "CBR",
                  {"AUD", "0," + std::string(36, '0') + "1", "1000"}},
        ValueCase{"CbrNominalZero", "CBR", {"AUD", "58,5853", "0"}},
        ValueCase{"CbrTwoDecimalCommas", "CBR", {"AUD", "58,58,53"}}),
    [](const ::testing::TestParamInfo<ValueCase>& p) { return p.param.name; });

// ---- the page size ----

// A Russian bank page of size bytes or just under, with as many rates as fit.
std::string CbrPageOfSize(std::size_t size, std::string* cleaned = nullptr) {
    const std::string head = kCbrHead + std::string("17.01.2024\" name=\"Foreign Currency Market\">");
    const std::string tail = "</ValCurs>";
    std::string page = head;
    if (cleaned != nullptr) *cleaned = head;
    for (int id = 0;; ++id) {
        const Item item{std::string(1, static_cast<char>('A' + id % 26)) + static_cast<char>('A' + id / 26 % 26) + "X",
                        std::to_string(1 + id % 97) + "," + std::to_string(1000 + id % 9000)};
        const std::string valute = CbrValute(item, id);
        if (page.size() + valute.size() + tail.size() > size) break;
        page += valute;
        if (cleaned != nullptr) {
            *cleaned += "<Valute ID=\"R" + std::to_string(10000 + id) + "\">NumCode=" + std::to_string(100 + id % 900) +
                        "\r\nCharCode=" + item.code + "\r\nNominal=1\r\nName=" + item.code + " unit\r\nValue=" +
                        item.value + "\r\nVunitRate=" + item.value + "\r\n</Valute>";
        }
    }
    if (cleaned != nullptr) *cleaned += tail;
    return page + tail;
}

using PageSizeTest = ShippedSourceTest;

TEST_F(PageSizeTest, APageAboveTheBoundIsNotRead) {
    for (const std::string code : {"ECB", "CBR"}) {
        auto source = Shipped(code);
        std::string page = code == "ECB" ? EcbPage("2024-01-17", kEcbRates) : CbrPage("17.01.2024", kCbrRates);
        page.resize(MaxRatePageBytes + 1, ' ');
        EXPECT_FALSE(Read(*source, page).cleaned) << code;  // the library's pre-clean refuses it

        // Nor does the reader parse it, for a library without a pre-clean.
        const std::string file = source->GetPluginValue(pvDataFolder) + "/Data.txt";
        EXPECT_THROW(source->LoadHtmlPage(file), EInOutError) << code;
        EXPECT_EQ(source->NodeList, nullptr);
        EXPECT_EQ(source->GetPageDate(), 0);
    }
}

TEST_F(PageSizeTest, TheLargestAcceptedPageIsReadWhole) {
    auto source = Shipped("CBR");
    std::string page = CbrPageOfSize(MaxRatePageBytes - 64);
    page.resize(MaxRatePageBytes, ' ');
    const PageRead read = Read(*source, page);
    ASSERT_TRUE(read.cleaned);
    EXPECT_EQ(read.date, EncodeDate(2024, 1, 17));
    EXPECT_EQ(read.result, ExtractAllRead);
    EXPECT_EQ(read.data.size(), 1000u);  // "Valute 0 N": occurrences 0 to 999
}

// ---- the Russian bank's pre-clean on large pages ----

class CbrPreCleanTest : public ShippedSourceTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(CbrPreCleanTest, RewritesEveryFieldOfALargePage) {
    auto source = Shipped("CBR");
    std::string cleaned;
    const std::string page = CbrPageOfSize(GetParam() * 1000 * 1000, &cleaned);
    const std::string file = source->GetPluginValue(pvDataFolder) + "/Data.txt";
    ReplaceText(file, page);
    ASSERT_TRUE(source->PreCleanPluginText(file));
    EXPECT_TRUE(ReadText(file) == cleaned);  // not printed: megabytes
    source->LoadHtmlPage(file);
    EXPECT_EQ(source->GetPageDate(), EncodeDate(2024, 1, 17));
    EXPECT_EQ(source->ExtractPageRates(EncodeDate(2024, 1, 17)), ExtractAllRead);
}

INSTANTIATE_TEST_SUITE_P(Sizes, CbrPreCleanTest, ::testing::Values(1, 4, 16),
                         [](const ::testing::TestParamInfo<std::size_t>& p) {
                             return std::to_string(p.param) + "MB";
                         });

TEST_F(ShippedSourceTest, TheRussianBanksPreCleanRewritesOnlyWholeFieldTags) {
    auto source = Shipped("CBR");
    const std::string file = source->GetPluginValue(pvDataFolder) + "/Data.txt";
    ReplaceText(file, "<ValCurs><Valute><Names>x</Names><Name>N</Name><Nominal >1</Nominal><value>2</value>"
                      "</CharCode><</Value></Valute><");
    ASSERT_TRUE(source->PreCleanPluginText(file));
    EXPECT_EQ(ReadText(file), "<ValCurs><Valute><Names>x</Names>Name=N\r\n<Nominal >1\r\n<value>2</value>"
                              "\r\n<\r\n</Valute><");
}

// ---- the ECB's history as the windows hand it over ----

// Writes one entry into a zip, its text made by fill (called until it returns false) so that
// a large text is never held.
void WriteZip(const std::string& path, const std::string& entryName, std::int64_t size,
              const std::function<bool(std::string&)>& fill) {
    archive* a = archive_write_new();
    ASSERT_EQ(archive_write_set_format_zip(a), ARCHIVE_OK);
    ASSERT_EQ(archive_write_set_options(a, "zip:compression=deflate"), ARCHIVE_OK);
    ASSERT_EQ(archive_write_open_filename(a, path.c_str()), ARCHIVE_OK);
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, entryName.c_str());
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_entry_set_size(entry, size);
    ASSERT_EQ(archive_write_header(a, entry), ARCHIVE_OK);
    std::string chunk;
    std::int64_t written = 0;
    while (fill(chunk)) {
        ASSERT_EQ(archive_write_data(a, chunk.data(), chunk.size()), static_cast<la_ssize_t>(chunk.size()));
        written += static_cast<std::int64_t>(chunk.size());
        chunk.clear();
    }
    ASSERT_EQ(written, size);
    archive_entry_free(entry);
    ASSERT_EQ(archive_write_close(a), ARCHIVE_OK);
    archive_write_free(a);
}

// Unpacks every file of a zip into folder, as the options window does with a fetched history.
void Unpack(const std::string& zip, const std::string& folder) {
    archive* a = archive_read_new();
    archive_read_support_format_zip(a);
    ASSERT_EQ(archive_read_open_filename(a, zip.c_str(), 16384), ARCHIVE_OK);
    archive_entry* entry = nullptr;
    while (archive_read_next_header(a, &entry) == ARCHIVE_OK) {
        std::string text;
        char block[16384];
        for (la_ssize_t got; (got = archive_read_data(a, block, sizeof block)) > 0;) text.append(block, got);
        WriteText(folder + "/" + archive_entry_pathname(entry), text);
    }
    archive_read_free(a);
}

const std::string kHistoryHeader =
    "Date,USD,JPY,BGN,CYP,CZK,DKK,EEK,GBP,HUF,LTL,LVL,MTL,PLN,ROL,RON,SEK,SIT,SKK,CHF,ISK,NOK,HRK,RUB,TRL,TRY,"
    "AUD,BRL,CAD,CNY,HKD,IDR,ILS,INR,KRW,MXN,MYR,NZD,PHP,SGD,THB,ZAR,\n";

// A history zip whose CSV (real lines, one day repeated) is bytes long.
void WriteLargeHistory(const std::string& path, std::int64_t bytes) {
    const std::string line =
        "2024-01-15,1.0945,159.71,1.9558,N/A,24.677,7.4571,N/A,0.85960,385.85,N/A,N/A,N/A,4.3763,N/A,4.9739,"
        "11.2815,N/A,N/A,0.9330,150.10,11.4175,N/A,N/A,N/A,32.8460,1.6488,5.3563,1.4681,7.8689,8.5557,17007.53,"
        "4.1170,90.8235,1437.84,18.6237,5.0940,1.7642,61.132,1.4627,38.562,20.5850,\n";
    const std::int64_t lines = (bytes - static_cast<std::int64_t>(kHistoryHeader.size())) /
                               static_cast<std::int64_t>(line.size());
    std::int64_t left = lines;
    bool header = true;
    WriteZip(path, "eurofxref-hist.csv", static_cast<std::int64_t>(kHistoryHeader.size()) + lines * static_cast<std::int64_t>(line.size()),
             [&](std::string& chunk) {
                 if (header) {
                     header = false;
                     chunk = kHistoryHeader;
                     return true;
                 }
                 for (int k = 0; k < 4096 && left > 0; ++k, --left) chunk += line;
                 return !chunk.empty();
             });
}

class EcbHistoryPathTest : public ShippedSourceTest {
protected:
    std::size_t DayFiles() const {
        std::size_t n = 0;
        for (const auto& e : std::filesystem::directory_iterator(PubData + "/ECB")) n += e.path().extension() == ".vmr";
        return n;
    }
};

TEST_F(EcbHistoryPathTest, TheShippedSourceOffersItsHistoryAndReadsItUnpacked) {
    auto ecb = Shipped("ECB");
    // What the options and properties windows look at to offer the history and fetch it.
    EXPECT_EQ(ecb->GetPluginValue(pvHistoryType), "H");
    EXPECT_FALSE(ecb->IsDailyHistory());
    EXPECT_NE(std::string("ZIP,RAR").find(ecb->GetPluginValue(pvHistoryUrlExt)), std::string::npos);
    EXPECT_EQ(ecb->GetPluginValue(pvHistoryUrl), "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-hist.zip");
    ASSERT_EQ(ecb->GetPluginValue(pvHistoryFile), "eurofxref-hist.csv");

    // The zip is fetched beside the history file's name, unpacked into the data folder and
    // deleted; the file it held is handed over.
    const std::string archive = ecb->GetHistoryFilePath() + "." + ecb->GetPluginValue(pvHistoryUrlExt);
    std::filesystem::copy_file(FixturePath("eurofxref-hist-full.zip"), archive);
    Unpack(archive, ecb->GetPluginValue(pvDataFolder));
    std::filesystem::remove(archive);
    ASSERT_TRUE(ecb->UpdateHistoryBounds(ecb->GetHistoryFilePath()));
    ecb->SetHistoryFile(ecb->GetHistoryFilePath());
    EXPECT_EQ(ecb->HistoryBound(false), EncodeDate(1999, 1, 4));
    EXPECT_EQ(ecb->HistoryBound(true), EncodeDate(2024, 2, 1));

    ASSERT_TRUE(ecb->GetHistoryRates(EncodeDate(2024, 1, 20)));
    EXPECT_EQ(DayFiles(), 5u);  // the 2nd, 16th, 17th, 30th and 31st; not February's, not 1999's
    const std::string day = ReadText(PubData + "/ECB/2024.01.17-ECB.vmr");
    EXPECT_EQ(day.substr(0, day.find("[DATA]")),
              "[VMR]\r\nPROVIDER=European Central Bank\r\nCODE=ECB\r\nDATE=2024.01.17\r\nBASE=EUR\r\nFACTOR=1\r\n"
              "LOGIC=1XNY\r\nTYPE=DATA\r\n\r\n");
    EXPECT_NE(day.find("[DATA]\r\nUSD=1.0888\r\nJPY=161.15\r\nBGN=1.9578\r\nCZK=24.748\r\n"), std::string::npos);
    EXPECT_NE(day.find("\r\nZAR=20.6749\r\n"), std::string::npos);
    EXPECT_EQ(day.find("N/A"), std::string::npos);
    EXPECT_EQ(day.find("CYP"), std::string::npos);

    // The same history still reads from the zip itself.
    ecb->SetHistoryFile("eurofxref-hist-full.zip");
    std::filesystem::copy_file(FixturePath("eurofxref-hist-full.zip"), ecb->GetHistoryFilePath());
    ASSERT_TRUE(ecb->UpdateHistoryBounds(ecb->GetHistoryFilePath()));
    EXPECT_EQ(ecb->GetPluginValue(pvHistoryBounds), "36164-45323");
    EXPECT_TRUE(ecb->GetHistoryRates(EncodeDate(1999, 1, 31)));
    EXPECT_NE(ReadText(PubData + "/ECB/1999.01.04-ECB.vmr").find("\r\nCYP=0.58231\r\n"), std::string::npos);
}

struct BadHistoryCase {
    std::string name;
    std::function<void(const std::string& path)> make;
};

void PrintTo(const BadHistoryCase& c, std::ostream* os) { *os << c.name; }

class UnreadableHistoryTest : public EcbHistoryPathTest, public ::testing::WithParamInterface<BadHistoryCase> {};

TEST_P(UnreadableHistoryTest, GivesNoBoundsAndNoDays) {
    auto ecb = Shipped("ECB");
    ecb->SetHistoryFile("history");
    GetParam().make(ecb->GetHistoryFilePath());
    EXPECT_FALSE(ecb->UpdateHistoryBounds(ecb->GetHistoryFilePath()));
    EXPECT_EQ(ecb->GetPluginValue(pvHistoryBounds), "0-0");
    EXPECT_FALSE(ecb->GetHistoryRates(EncodeDate(2024, 1, 15)));
    EXPECT_EQ(DayFiles(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Histories, UnreadableHistoryTest,
    ::testing::Values(
        BadHistoryCase{"BrokenZip",
                       [](const std::string& path) { std::filesystem::copy_file(FixturePath("eurofxref-hist-broken.zip"), path); }},
        BadHistoryCase{"ZipWithoutCsv",
                       [](const std::string& path) {
                           bool once = true;
                           const std::string text = kHistoryHeader + "2024-01-15,1.0945,\n";
                           WriteZip(path, "eurofxref-hist.txt", static_cast<std::int64_t>(text.size()), [&](std::string& chunk) {
                               chunk = once ? text : "";
                               once = false;
                               return !chunk.empty();
                           });
                       }},
        BadHistoryCase{"CsvWithoutDateHeader", [](const std::string& path) { WriteText(path, "USD,JPY,\n2024-01-15,1.0945,\n"); }},
        BadHistoryCase{"EmptyFile", [](const std::string& path) { WriteText(path, ""); }},
        BadHistoryCase{"CsvWithAnOverlongLine",
                       [](const std::string& path) {
                           WriteText(path, kHistoryHeader + "2024-01-15," + std::string(100 * 1024, '1') + ",\n");
                       }},
        BadHistoryCase{"ZipExpandingPast200MB",
                       [](const std::string& path) { WriteLargeHistory(path, 201LL * 1000 * 1000); }}),
    [](const ::testing::TestParamInfo<BadHistoryCase>& p) { return p.param.name; });

}  // namespace
}  // namespace vemra::test
