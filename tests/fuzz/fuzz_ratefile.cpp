// Any bytes as a day rate file (plain, or enciphered with the day rate key) loaded into the
// fixture currencies, and its header read. The loader's documented errors for a bad DATE or
// FACTOR are answers; anything else escaping is a finding.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "CurrencyFiles.h"
#include "CurrencyList.h"
#include "RateFile.h"
#include "StreamedIniFile.h"
#include "rtl/SysUtils.h"
#include "vmrconsts.h"

#include "FuzzFolder.h"

namespace {

using namespace vemra;

// The fixture currencies beside the rate file; the DATE the file's name carries keeps a
// file of that DATE plain.
void Fill(const std::string& path) {
    const std::string fixtures = std::string(VEMRA_FIXTURES_DIR) + "/engine/";
    for (const char* file : {"currencies.vmg", "ENG.vcn"})
        std::filesystem::copy_file(fixtures + file, path + "/" + file, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::current_path(path);
    PubData = path;
    StreamKeyProc = [](int index, std::string& key) { key = index == RateFileKeyIndex ? "day-rate-key" : ""; };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::ScratchFolder folder("ratefile", Fill);
    const std::string config = folder.Path() + "/currencies.vmg";
    const std::string rates = folder.Path() + "/2024.01.15-ECB.vmr";
    WriteFileAtomic(rates, std::string(reinterpret_cast<const char*>(data), size));

    TCurrencyChangeList list;
    if (!LoadCurrencyNames(list, config)) std::abort();
    try {
        LoadRateFile(list, rates);
    } catch (const EConvertError&) {
    } catch (const Exception&) {
    }
    TRateFileHeader header;
    ReadRateFileHeader(rates, header);
    return 0;
}
