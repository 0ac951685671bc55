// The shipped currency configuration and currency-name files, read by the engine's own
// loaders: everything loads, every currency the rate sources publish is there, and the
// euro's predecessors are tied to it by their fixed conversion rates.
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CurrencyConverter.h"
#include "CurrencyFiles.h"
#include "EngineTestSupport.h"
#include "FakeEngineHost.h"
#include "RateFile.h"
#include "rtl/IniFiles.h"

namespace vemra::test {
namespace {

std::string DataFile(const std::string& name) { return std::string(VEMRA_RESOURCES_DIR) + "/data/" + name; }

// The daily reference rates of the European Central Bank (with those it published until a
// country joined the euro or it stopped them) and the daily rates of the Bank of Russia.
const std::vector<std::string> kEcbCodes = {
    "USD", "JPY", "BGN", "CZK", "DKK", "GBP", "HUF", "PLN", "RON", "SEK", "CHF", "ISK", "NOK", "TRY", "AUD", "BRL",
    "CAD", "CNY", "HKD", "IDR", "ILS", "INR", "KRW", "MXN", "MYR", "NZD", "PHP", "SGD", "THB", "ZAR", "RUB", "HRK",
    "CYP", "EEK", "LTL", "LVL", "MTL", "SIT", "SKK"};
const std::vector<std::string> kCbrCodes = {
    "AUD", "AZN", "GBP", "AMD", "BYN", "BGN", "BRL", "HUF", "VND", "HKD", "GEL", "DKK", "AED", "USD", "EUR",
    "EGP", "INR", "IDR", "KZT", "CAD", "QAR", "KGS", "CNY", "MDL", "NZD", "NOK", "PLN", "RON", "XDR", "SGD",
    "TJS", "THB", "TRY", "TMT", "UZS", "UAH", "CZK", "SEK", "CHF", "RSD", "ZAR", "KRW", "JPY", "BHD", "BOB",
    "CUP", "DZD", "ETB", "IRR", "MMK", "MNT", "NGN", "OMR", "SAR"};

// The irrevocable conversion rates to the euro (units per euro).
const std::map<std::string, double> kEuroLegacy = {
    {"ATS", 13.7603}, {"BEF", 40.3399}, {"CYP", 0.585274}, {"DEM", 1.95583}, {"EEK", 15.6466},
    {"ESP", 166.386}, {"FIM", 5.94573}, {"FRF", 6.55957}, {"GRD", 340.750}, {"HRK", 7.53450},
    {"IEP", 0.787564}, {"ITL", 1936.27}, {"LTL", 3.45280}, {"LUF", 40.3399}, {"LVL", 0.702804},
    {"MTL", 0.429300}, {"NLG", 2.20371}, {"PTE", 200.482}, {"SIT", 239.640}, {"SKK", 30.1260},
    {"BGN", 1.95583}};

std::vector<std::string> SectionKeys(const std::string& file) {
    TMemIniFile ini(file);
    ini.Reload();
    TStringList keys;
    ini.ReadSection("CONFIG", keys);
    std::vector<std::string> names;
    for (const TStringList::Item& k : keys) names.push_back(k.str);
    return names;
}

class ShippedCurrencies : public ::testing::TestWithParam<std::string> {
protected:
    ShippedCurrencies() {
        for (const char* name : {"Currencies.vmg", "ENG.vcn", "ESP.vcn"})
            std::filesystem::copy_file(DataFile(name), folder.File(name));
        host.Language = GetParam();
        conv.SetHost(&host);
        conv.SetRateSources(&host);
        host.ConfigFileName = folder.File("Currencies.vmg");
    }
    TCurrencyChangeList& List() { return conv.Currencies(); }
    const TCurrencyRec* Rec(const std::string& code) {
        int i = 0;
        return List().Find(code, i) ? List().GetCurrency(i) : nullptr;
    }
    // A day rate file holding a rate for each code, in the folder.
    std::string WriteRateFile(const std::string& source, const std::string& base,
                              const std::vector<std::string>& codes) {
        const std::string file = folder.File("2024.01.15-" + source + ".vmr");
        std::ofstream out(file);
        out << "[VMR]\nTYPE=DATA\nPROVIDER=" << source << "\nCODE=" << source << "\nDATE=2024.01.15\nBASE=" << base
            << "\nFACTOR=1\n\n[DATA]\n";
        for (const std::string& code : codes) out << code << "=1.5\n";
        return file;
    }

    PubDataFolder folder;
    FakeEngineHost host;
    TCurrencyConverter conv;
};

TEST_P(ShippedCurrencies, EveryConfiguredCurrencyLoadsWithItsName) {
    ASSERT_TRUE(LoadCurrencyNames(List(), folder.File("Currencies.vmg")));
    EXPECT_TRUE(host.LogLines.empty());
    const std::vector<std::string> configured = SectionKeys(DataFile("Currencies.vmg"));
    EXPECT_EQ(SectionKeys(DataFile(GetParam() + ".vcn")), configured);  // no name missing, none extra
    EXPECT_EQ(List().Count(), static_cast<int>(configured.size()));
    for (const std::string& code : configured) {
        const TCurrencyRec* rec = Rec(code);
        ASSERT_NE(rec, nullptr) << code;
        EXPECT_EQ(rec->DisplayCode, code);
        EXPECT_FALSE(rec->Symbol.empty()) << code;
        EXPECT_TRUE(rec->SymbolSide == 'L' || rec->SymbolSide == 'R') << code;
        EXPECT_LE(rec->Decimals, 3) << code;
        EXPECT_GE(rec->Name.size(), 4u) << code;  // the options window's own check
        if (!rec->RefCode.empty()) {
            EXPECT_GT(rec->Factor, 0.0) << code;
        }
    }
}

TEST_P(ShippedCurrencies, SymbolsAreDistinctSoAnyTwoCanBeFavourites) {
    ASSERT_TRUE(LoadCurrencyNames(List(), folder.File("Currencies.vmg")));
    std::map<std::string, std::string> bySymbol;
    for (int i = 0; i < List().Count(); ++i) {
        const TCurrencyRec& rec = *List().GetCurrency(i);
        const auto [it, added] = bySymbol.emplace(UpperCase(rec.Symbol), rec.Code);
        EXPECT_TRUE(added) << rec.Code << " and " << it->second << " share " << rec.Symbol;
    }
}

TEST_P(ShippedCurrencies, EuroPredecessorsAreTiedByTheirFixedRates) {
    ASSERT_TRUE(LoadCurrencyNames(List(), folder.File("Currencies.vmg")));
    ASSERT_TRUE(LoadRateFile(List(), WriteRateFile("ECB", "EUR", kEcbCodes)));
    for (const auto& [code, factor] : kEuroLegacy) {
        const TCurrencyRec* rec = Rec(code);
        ASSERT_NE(rec, nullptr) << code;
        EXPECT_EQ(rec->RefCode, "EUR") << code;
        EXPECT_DOUBLE_EQ(rec->Factor, factor) << code;
        EXPECT_DOUBLE_EQ(rec->Rate, factor) << code;  // the euro is the base of the file: rate 1
    }
    for (int i = 0; i < List().Count(); ++i) {
        const TCurrencyRec& rec = *List().GetCurrency(i);
        if (!rec.RefCode.empty()) {
            EXPECT_NE(rec.RefIndex, NoCurrency) << rec.Code << " -> " << rec.RefCode;
        }
    }
}

TEST_P(ShippedCurrencies, EveryCurrencyTheRateSourcesPublishGetsItsRate) {
    ASSERT_TRUE(LoadCurrencyNames(List(), folder.File("Currencies.vmg")));
    for (const auto& [source, base, codes] : {std::tuple{"ECB", "EUR", kEcbCodes}, std::tuple{"CBR", "RUB", kCbrCodes}}) {
        SCOPED_TRACE(source);
        host.Messages.clear();
        ASSERT_TRUE(LoadRateFile(List(), WriteRateFile(source, base, codes)));
        EXPECT_TRUE(host.Messages.empty()) << host.Messages.front();  // no errors, base found
        for (const std::string& code : codes) {
            const TCurrencyRec* rec = Rec(code);
            ASSERT_NE(rec, nullptr) << code;
            EXPECT_GT(rec->Rate, 0.0) << code;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(CurrencyData, ShippedCurrencies, ::testing::Values("ENG", "ESP"),
                         [](const ::testing::TestParamInfo<std::string>& p) { return p.param; });

}  // namespace
}  // namespace vemra::test
