// Any bytes through the ECB library's entry points: the first byte picks the pre-clean, the
// page date, one rate item or the history (the zip or the CSV; its bounds, then the month of
// its first day written into a scratch folder).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "ratesource_fuzz_support.h"

using namespace vemra::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::int32_t status = 0;
    switch (data[0] % 4) {
        case 0: {
            status = 7;
            SubscriptionPreClean(WriteInput("page.xml", bytes).c_str(), nullptr, &status);
            Require(status == VEMRA_STATUS_OK || status == VEMRA_STATUS_MISSING);
            break;
        }
        case 1: {
            const char* answer = SubscriptionGetDate("", Text(bytes).c_str(), &status);
            CheckDate(answer, status);
            break;
        }
        case 2: {
            status = VEMRA_STATUS_MISSING;
            const char* answer = SubscriptionParseItem("", Text(bytes).c_str(), &status);
            CheckItem(answer, status);
            break;
        }
        default: {
            const std::string history = WriteInput("history", bytes);
            double first = 0;
            double last = 0;
            if (HistoryDataSet(history.c_str(), &first, &last) == 0) break;
            Require(first <= last);
            const std::string folder = Scratch() + "/days";
            std::filesystem::remove_all(folder);
            std::filesystem::create_directory(folder);
            const int32_t written = HistoryDataGet("ECB", folder.c_str(), history.c_str(), "[VMR]\r\nDATE=%s\r\n", first);
            Require(written == 1);  // the first day's month holds at least that day
            break;
        }
    }
    return 0;
}
