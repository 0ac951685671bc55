// The currency configuration, the currency-name files and the dated definition copies.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "rtl/IniFiles.h"

namespace vemra::test {
namespace {

std::string IniValue(const std::string& file, const std::string& section, const std::string& key) {
    TMemIniFile ini(file);
    ini.Reload();
    return ini.ReadString(section, key, "<none>");
}

class CurrencyFilesTest : public EngineTest {
protected:
    CurrencyFilesTest() { SetClock([] { return EncodeDateTime(2024, 3, 7, 9, 30, 0, 0); }); }
    ~CurrencyFilesTest() override { ResetClock(); }
    std::string CopyName() const { return folder.File("currencies.vmg - copy - 240307.vcd"); }
};

TEST_F(CurrencyFilesTest, LoadsEachConfiguredCurrencyThatHasAName) {
    conv.SetFavorites("USD,EUR,QQQ");
    ASSERT_TRUE(LoadCurrencyNames(List(), configFile));
    std::vector<std::string> codes;
    for (const auto& item : List()) codes.push_back(item.str);
    EXPECT_EQ(codes, (std::vector<std::string>{"AAA", "BAD", "DEM", "EUR", "FRF", "GBP", "ITL", "JPY", "USD",
                                               "XAU", "XEU", "XYZ"}));  // not AB, ABCD, NNN (no name)
    EXPECT_EQ(List().ConfigFileName, configFile);
    EXPECT_FALSE(List().Modified);

    const TCurrencyRec& dem = Rec("DEM");
    EXPECT_EQ(dem.DisplayCode, "DEM");
    EXPECT_EQ(dem.Symbol, "DM");
    EXPECT_EQ(dem.SymbolSide, 'R');
    EXPECT_EQ(dem.Decimals, 2);
    EXPECT_EQ(dem.RefCode, "EUR");
    EXPECT_DOUBLE_EQ(dem.Factor, 1.95583);
    EXPECT_EQ(dem.FactorText, "1.95583");
    EXPECT_EQ(dem.RefIndex, NoCurrency);
    EXPECT_EQ(dem.Rate, 0.0);
    EXPECT_EQ(dem.Name, "Deutsche Mark");

    const TCurrencyRec& xyz = Rec("XYZ");  // the line XYZ=XYZ
    EXPECT_EQ(xyz.Symbol, "");
    EXPECT_EQ(xyz.SymbolSide, 'L');
    EXPECT_EQ(xyz.Decimals, 2);
    EXPECT_EQ(xyz.RefCode, "");
    EXPECT_EQ(xyz.Factor, 0.0);

    EXPECT_EQ(Rec("XAU").Decimals, 2);  // "four"
    EXPECT_EQ(Rec("XAU").Code, "XAU");  // the key was xau
    EXPECT_EQ(Rec("JPY").Decimals, 0);
    EXPECT_EQ(Rec("BAD").Factor, 0.0);  // "1,5" is no number with a decimal point
    EXPECT_EQ(Rec("BAD").FactorText, "");
    EXPECT_EQ(Rec("USD").DisplayCode, "USD");  // USD's line comes before usd's

    // Favourite positions follow the new list.
    EXPECT_EQ(ObjectToInt(conv.Favorites().Objects(0)), Pos("USD"));
    EXPECT_EQ(ObjectToInt(conv.Favorites().Objects(1)), Pos("EUR"));
    EXPECT_EQ(ObjectToInt(conv.Favorites().Objects(2)), -1);
    EXPECT_EQ(conv.FavoriteSymbols()[0], "$");
}

TEST_F(CurrencyFilesTest, ConfigurationOfAnotherTypeLoadsNothing) {
    LoadFixtures();  // first a full list, so that we see it emptied
    WriteText(configFile, "[VMG]\r\nTYPE=NAMES\r\n[CONFIG]\r\nEUR=EUR;E;L;2\r\n");
    EXPECT_FALSE(LoadCurrencyNames(List(), configFile));
    EXPECT_EQ(List().Count(), 0);
    ASSERT_EQ(host.LogLines.size(), 1u);
    EXPECT_EQ(host.LogLines[0].first, "VMR");
    EXPECT_EQ(host.LogLines[0].second, "LOAD_DATA: " + configFile + ". Invalid type.");
    EXPECT_TRUE(host.Messages.empty());
}

TEST_F(CurrencyFilesTest, NamesComeFromTheLanguageFileOrTheDefaultOne) {
    WriteText(DefaultCurrencyNamesFileName(), "[CONFIG]\r\nEUR=Euro (default)\r\n");
    host.Language = "FRA";  // no FRA.vcn
    ASSERT_TRUE(LoadCurrencyNames(List(), configFile));
    ASSERT_EQ(List().Count(), 1);
    EXPECT_EQ(Rec("EUR").Name, "Euro (default)");
    EXPECT_EQ(CurrencyNameFileName("ENG"), folder.File("ENG.vcn"));
}

TEST_F(CurrencyFilesTest, SavedConfigurationWritesFactorsShortAndUntiedLinesWithFourFields) {
    LoadFixtures();
    Rec("FRF").Factor = 10;
    conv.SetFavorites("USD,GBP");
    List().Modified = true;
    const std::string saved = folder.File("saved.vmg");
    ASSERT_TRUE(SaveCurrencyConfig(List(), saved));
    EXPECT_FALSE(List().Modified);
    EXPECT_EQ(IniValue(saved, "VMG", "TYPE"), "CONFIG");
    EXPECT_EQ(IniValue(saved, "VMG", "FAVORITES"), "USD,GBP");
    EXPECT_EQ(IniValue(saved, "CONFIG", "DEM"), "DEM;DM;R;2;EUR;1.95583");
    EXPECT_EQ(IniValue(saved, "CONFIG", "FRF"), "FRF;F;R;2;EUR;10");
    EXPECT_EQ(IniValue(saved, "CONFIG", "XYZ"), "XYZ;;L;2");
    EXPECT_EQ(IniValue(saved, "CONFIG", "JPY"), "JPY;¥;R;0");
    EXPECT_EQ(IniValue(folder.File("ENG.vcn"), "CONFIG", "XAU"), "Gold");

    // What was saved loads back as it was.
    TCurrencyConverter other;
    other.SetHost(&host);
    ASSERT_TRUE(LoadCurrencyNames(other.Currencies(), saved));
    ASSERT_EQ(other.Currencies().Count(), List().Count());
    for (int i = 0; i < List().Count(); ++i) {
        const TCurrencyRec& a = *List().GetCurrency(i);
        const TCurrencyRec& b = *other.Currencies().GetCurrency(i);
        auto text = [](const TCurrencyRec& r) { return r.Code + r.DisplayCode + r.Symbol + r.SymbolSide + r.RefCode; };
        EXPECT_EQ(text(a), text(b));
        EXPECT_EQ(a.Decimals, b.Decimals);
        EXPECT_DOUBLE_EQ(a.Factor, b.Factor);
    }
}

TEST_F(CurrencyFilesTest, SavingReplacesTheFileWholeAndKeepsKeysOfRemovedCurrencies) {
    LoadFixtures();
    // A second name for the same file still sees the old contents after the save: the new
    // text went to a new file that took the name, never into the old one.
    const std::string link = folder.File("link.vmg");
    ASSERT_EQ(::link(configFile.c_str(), link.c_str()), 0);
    const std::string before = ReadText(configFile);
    ASSERT_TRUE(SaveCurrencyConfig(List()));
    EXPECT_EQ(ReadText(link), before);
    EXPECT_NE(ReadText(configFile), before);
    EXPECT_EQ(IniValue(configFile, "CONFIG", "NNN"), "NNN;n;L;2");  // never loaded, still there

    // A file that cannot be written is reported, and the list stays marked for saving.
    List().Modified = true;
    EXPECT_FALSE(SaveCurrencyConfig(List(), folder.File("no/such/folder/c.vmg")));
    EXPECT_TRUE(List().Modified);
}

TEST_F(CurrencyFilesTest, RemovingACurrencyCopiesTheConfigurationAndDropsEveryLineOfTheCode) {
    LoadFixtures();
    const std::string before = ReadText(configFile);
    List().Modified = false;
    List().RemoveCurrency("usd");
    EXPECT_EQ(Pos("USD"), -1);
    EXPECT_TRUE(List().Modified);
    EXPECT_EQ(ReadText(CopyName()), before);
    EXPECT_EQ(IniValue(configFile, "CONFIG", "USD"), "<none>");  // USD= and usd= both gone
    EXPECT_EQ(IniValue(configFile, "CONFIG", "EUR"), "EUR;€;L;2");
    EXPECT_EQ(IniValue(folder.File("ENG.vcn"), "CONFIG", "USD"), "US Dollar");

    // A code the list does not hold still leaves the file.
    const int count = List().Count();
    List().RemoveCurrency("NNN");
    EXPECT_EQ(List().Count(), count);
    EXPECT_EQ(IniValue(configFile, "CONFIG", "NNN"), "<none>");
}

TEST_F(CurrencyFilesTest, ImportCountsReplacedAndAddedLines) {
    LoadFixtures();
    const std::string before = ReadText(configFile);
    const std::string imported = folder.File("other.vcd");
    WriteText(imported, "[VMG]\r\nTYPE=CONFIG\r\n[CONFIG]\r\nusd=USD;US$;L;2\r\nCHF=CHF;Fr.;R;2\r\n");
    std::string message;
    int replaced = -1, added = -1;
    ASSERT_TRUE(ImportCurrencyDefinitions(List(), imported, message, replaced, added));
    EXPECT_EQ(replaced, 1);
    EXPECT_EQ(added, 1);
    EXPECT_EQ(message, "other.vcd imported:\r\n1 replaced, 1 added");
    EXPECT_TRUE(List().Modified);
    EXPECT_EQ(ReadText(CopyName()), before);
    EXPECT_EQ(IniValue(configFile, "CONFIG", "CHF"), "CHF;Fr.;R;2");
    EXPECT_EQ(IniValue(configFile, "CONFIG", "USD"), "USD;US$;L;2");
}

TEST_F(CurrencyFilesTest, ImportOfAnotherTypeChangesNothingButTheCopy) {
    LoadFixtures();
    const std::string before = ReadText(configFile);
    const std::string imported = folder.File("names.vcd");
    WriteText(imported, "[CONFIG]\r\nCHF=CHF;Fr.;R;2\r\n");  // no TYPE at all
    std::string message;
    int replaced = -1, added = -1;
    EXPECT_FALSE(ImportCurrencyDefinitions(List(), imported, message, replaced, added));
    EXPECT_EQ(message, "Invalid file");
    EXPECT_EQ(ReadText(configFile), before);
    EXPECT_EQ(ReadText(CopyName()), before);
}

}  // namespace
}  // namespace vemra::test
