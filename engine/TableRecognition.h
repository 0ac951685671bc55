#pragma once
// Table recognition helpers: the header-code check, the fixed date-format record of a day
// order, the day order of a locale's short date format and the strict date reading.

#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/DateUtils.h"
#include "rtl/FormatSettings.h"

namespace vemra {

class TCurrencyConverter;

// Warns about a three-letter header code that is no currency (message 99) or has no
// rate (message 100).
void CheckCurrencyCode(TCurrencyConverter& converter, const std::string& code);
// The fixed record a day order reads dates with: 2 d/m/y, 3 m/d/y, 4 y/m/d; nullptr else.
TFormatSettings* DateFormatRecord(std::uint8_t dateOrder);
// A short date format without separators, lower case, runs of a letter cut to one:
// "dd/MM/yyyy" gives "dmy".
std::string DatePatternOf(std::string_view shortDateFormat);
// True when the whole text is two or three unsigned numbers joined by the record's date
// separator that make a valid date in the record's order.
bool ReadsAsDate(std::string_view text, const TFormatSettings& record, TDateTime& date);

}  // namespace vemra
