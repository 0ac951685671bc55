// Any bytes as a rate source's definition: the lines are read, "Settings" is split into the
// schedule, every value is looked up, the check list and the history bounds are read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "HTMLConverterPlugInn.h"
#include "rtl/StringList.h"

namespace {

using namespace vemra;

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TStringList lines;
    lines.SetText(text);
    THTMLConverterPlugInn source(lines, "TST");
    Require(source.PublicationTimeText.size() >= 9);
    Require(source.DayLag >= 0);
    for (int selector = 0; selector <= 24; ++selector) (void)source.GetPluginValue(selector);
    (void)source.IsDailyHistory();
    (void)source.IsPluginEnabled();
    (void)source.HistoryBound(false);
    (void)source.HistoryBound(true);
    for (const char separator : {':', ','}) {
        for (const std::string& field : SplitPluginFields(text, separator)) Require(field.size() <= size);
    }
    (void)SplitPluginFields(source.GetPluginValue(pvCheckList), ',');
    std::unique_ptr<TStringList> header = source.WriteRateFileHeader(0);
    Require(header->Count() == 10);
    return 0;
}
