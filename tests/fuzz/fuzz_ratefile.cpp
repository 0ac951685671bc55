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

struct Folder {
    std::string path;
    std::string config;
    std::string rates;
    Folder() {
        path = fuzz::MakeFolder("ratefile");
        const std::string fixtures = std::string(VEMRA_FIXTURES_DIR) + "/engine/";
        for (const char* file : {"currencies.vmg", "ENG.vcn"})
            std::filesystem::copy_file(fixtures + file, path + "/" + file);
        config = path + "/currencies.vmg";
        rates = path + "/2024.01.15-ECB.vmr";  // the plain DATE this name carries keeps a file plain
        std::filesystem::current_path(path);
        PubData = path;
        StreamKeyProc = [](int index, std::string& key) { key = index == RateFileKeyIndex ? "day-rate-key" : ""; };
    }
    ~Folder() { fuzz::RemoveFolder(path); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Folder folder;
    WriteFileAtomic(folder.rates, std::string(reinterpret_cast<const char*>(data), size));

    TCurrencyChangeList list;
    if (!LoadCurrencyNames(list, folder.config)) std::abort();
    try {
        LoadRateFile(list, folder.rates);
    } catch (const EConvertError&) {
    } catch (const Exception&) {
    }
    TRateFileHeader header;
    ReadRateFileHeader(folder.rates, header);
    return 0;
}
