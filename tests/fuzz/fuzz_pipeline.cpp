// Fuzzed lines through the text conversion pipeline, as typed text or as a table, with the
// output choices, the user's locale and the pair taken from the input's first bytes. A fresh
// converter per input, so no input depends on the ones before it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "CurrencyFiles.h"
#include "PipelineTestSupport.h"

#include "FuzzFolder.h"

namespace {

using namespace vemra;
using namespace vemra::test;

constexpr std::size_t kChoiceBytes = 8;

const TDateTime kToday = EncodeDate(2024, 2, 1);

// The PubData folder of every run: the fixture currencies and one day rate file.
void Fill(const std::string& path) {
    const std::string fixtures = std::string(VEMRA_FIXTURES_DIR) + "/engine/";
    for (const char* file : {"currencies.vmg", "ENG.vcn"})
        std::filesystem::copy_file(fixtures + file, path + "/" + file, std::filesystem::copy_options::overwrite_existing);
    WriteFileAtomic(DatedRateFileName("ECB", path, kToday),
                    "[VMR]\nTYPE=DATA\nPROVIDER=Test Bank\nCODE=ECB\nDATE=" + FormatDateStamp(kToday) +
                        "\nBASE=EUR\nFACTOR=1\nLOGIC=1XNY\n[DATA]\nUSD=2\nGBP=0.5\nJPY=100\nCHF=0.95\n");
    std::filesystem::current_path(path);
    PubData = path;
}

TFormatSettings Locale(bool comma) {
    TFormatSettings fs = GetLocaleFormatSettings("C");
    fs.ThousandSeparator = comma ? "." : ",";
    fs.DecimalSeparator = comma ? ',' : '.';
    return fs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::ScratchFolder scratch("pipeline", Fill);
    const std::string& folder = scratch.Path();
    const std::string config = folder + "/currencies.vmg";
    const std::string today = DatedRateFileName("ECB", folder, kToday);
    std::uint8_t choice[kChoiceBytes] = {};
    for (std::size_t i = 0; i < kChoiceBytes && i < size; ++i) choice[i] = data[i];
    const std::string_view text(reinterpret_cast<const char*>(data) + std::min(size, kChoiceBytes),
                                size - std::min(size, kChoiceBytes));

    const TFormatSettings savedLocale = FormatSettings;
    const TFormatSettings savedRecords[] = {DmyFormat, MdyFormat, YmdFormat};
    FormatSettings = Locale(choice[0] & 2);
    {
        FakeEngineHost host;
        host.MessageTexts.insert({{22, "Empty"}, {88, "No rates on %s"}, {94, "Rate source %s not available"},
                                  {98, "First cell %s unexplained"}, {99, "Unknown currency %s"},
                                  {100, "No rate for %s"}, {107, "Missing %s"}, {119, "Splitting %d of %d"},
                                  {120, "Converting %d of %d"}, {121, "Please wait"}});
        host.ConfigFileName = config;
        host.DataFolder = folder;
        TCurrencyConverter conv;
        conv.SetHost(&host);
        conv.SetRateSources(&host);
        if (!LoadCurrencyNames(conv.Currencies(), config)) std::abort();
        FakePipelineHost ui(host);
        ui.Sources = {{"ECB", today}, {"FED", ""}};
        ui.SetPluginSelectedIndex(0);
        if (!LoadRateFile(conv.Currencies(), today)) std::abort();
        static const char* const codes[] = {"USD", "EUR", "GBP", "JPY", "CHF", "DEM"};
        conv.SetFromCurrency(codes[(choice[1] >> 4) % 6]);
        conv.SetToCurrency(codes[choice[1] % 6]);

        ui.Order = choice[2] % 3;
        ui.LabelStyle = (choice[2] >> 4) % 4;
        ui.Desambi = choice[3] % 4;
        ui.DateDesambi = (choice[3] >> 4) % 5;
        ui.BadDateMethod = choice[4] & 1;
        ui.CrossTabSel = (choice[4] >> 1) % 5;
        ui.DateSeparator = "/.-"[choice[5] % 3];
        static const char* const patterns[] = {"dmy", "mdy", "ymd", "yx"};
        ui.DatePattern = patterns[(choice[5] >> 2) % 4];
        ui.MemoReady = (choice[6] & 1) == 0;
        if (choice[6] & 2) ui.Left = "";
        if (choice[6] & 4) ui.Right = "";

        TConversionRun run(conv, ui);
        const bool asTable = choice[0] & 1;
        SetLines(asTable ? ui.Clip : ui.Input, SplitLines(text));
        run.DoConvert(asTable);
        if ((choice[7] & 1) != 0) run.DoConvert(asTable);  // a second run on what the first left
    }
    DmyFormat = savedRecords[0];
    MdyFormat = savedRecords[1];
    YmdFormat = savedRecords[2];
    FormatSettings = savedLocale;
    return 0;
}
