#pragma once
// The detail log: a report of the last conversion run, collected in the converter's three
// log lists and written to its file in PubData when the report is closed.

#include <string>
#include <string_view>

#include "rtl/StringList.h"

namespace vemra {

class TCurrencyConverter;

std::string DetailLogFileName();  // PubData/<report name>

// "/O" opens a report, "/C" closes and writes it (EInOutError when the file cannot be
// written), "*" adds a separator to the body, "**" to the header, anything else is a body line.
void DetailLogCommand(TCurrencyConverter& converter, std::string_view command);
// The pair, rate source, rate file, base currency and what 100 units of the source give;
// the pre state keeps that amount, the post state checks against it.
void LogConverterState(TCurrencyConverter& converter, TStringList& lines, bool post);

}  // namespace vemra
