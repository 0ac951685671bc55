#pragma once
// The decimal separator of number texts: the class a text's separators give it, and the
// one form (decimal comma, no group marks) the conversion reads numbers in.

#include <cstdint>
#include <string>
#include <string_view>

namespace vemra {

// The class of a trimmed cell text by the decimal-separator choice (0 automatic, 1 the
// locale's, 2 comma, 3 point): 0 no number, 1 decimal comma, 2 decimal point, 3 either.
std::uint8_t ClassifyDecimalSeparator(std::string_view text, int choice, char localeDecimal);
// The number text with a decimal comma and no group separators; a point decides for a
// point-decimal class, and for an ambiguous one when the run decided for the point.
std::string NormalizeNumberText(std::string_view text, std::uint8_t cellClass, bool decimalPoint);

}  // namespace vemra
