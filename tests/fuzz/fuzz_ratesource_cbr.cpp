// Any bytes through the Russian bank library's entry points: the first byte picks the
// pre-clean (whose rewrite never grows the page), the page date, one rate item read from the
// pre-cleaned node text, or the query address for a day.
#include <cstddef>
#include <cstdint>
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
            const std::string page = WriteInput("page.xml", bytes);
            status = 7;
            SubscriptionPreClean(page.c_str(), nullptr, &status);
            Require(status == VEMRA_STATUS_OK || status == VEMRA_STATUS_MISSING);
            if (status == VEMRA_STATUS_OK) Require(ReadBack(page).size() <= bytes.size());
            break;
        }
        case 1: {
            const char* answer = SubscriptionGetDate("", Text(bytes).c_str(), &status);
            Require(status == VEMRA_STATUS_OK || status == 0);
            if (status == VEMRA_STATUS_OK) Require(std::string_view(answer).size() == 10);
            break;
        }
        case 2: {
            status = VEMRA_STATUS_MISSING;
            const char* answer = SubscriptionParseItem(Text(bytes).c_str(), "", &status);
            CheckItem(answer, status);
            break;
        }
        default: {
            const std::string text = Text(bytes);
            const std::size_t bar = text.find('|');
            const std::string address = text.substr(0, bar);
            const std::string day = bar == std::string::npos ? "45308" : text.substr(bar + 1);
            const char* answer = SubscriptionComposeQuery(address.c_str(), day.c_str(), &status);
            Require(answer != nullptr);
            break;
        }
    }
    return 0;
}
