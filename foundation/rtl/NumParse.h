#pragma once
// Number parsing in the class library's rules.
//
// Integers (StrToInt and friends): optional leading blanks, an optional sign, then decimal
// digits, or hexadecimal digits after "$", "x", "X", "0x" or "0X". Nothing may follow; the
// value must fit in 32 bits (hex may use all 32 bits: "$FFFFFFFF" is -1).
// Floats: optional blanks, sign, digits with at most one decimal separator (the given one),
// an optional exponent E[sign]digits, optional trailing blanks. No thousands separators.

#include <cstdint>
#include <string_view>

#include "FormatSettings.h"

namespace vemra {

bool TryStrToInt(std::string_view s, int& value);
int StrToInt(std::string_view s);                // EConvertError "'%s' is not a valid integer value"
int StrToIntDef(std::string_view s, int def);
bool TryStrToInt64(std::string_view s, std::int64_t& value);
std::int64_t StrToInt64Def(std::string_view s, std::int64_t def);

bool TryStrToFloat(std::string_view s, double& value, char decimalSeparator);
bool TryStrToFloat(std::string_view s, double& value, const TFormatSettings& fs = FormatSettings);
// Single precision: the value is parsed and rounded to float, failing when out of its range.
bool TryStrToFloat(std::string_view s, float& value, char decimalSeparator);
double StrToFloat(std::string_view s, const TFormatSettings& fs = FormatSettings);  // EConvertError "'%s' is not a valid floating point value"
double StrToFloatDef(std::string_view s, double def, const TFormatSettings& fs = FormatSettings);

}  // namespace vemra
