#pragma once
// Format: the class library's format routine. Specifiers: %[-][width][.prec]type with '*' for
// width or precision taken from the arguments, and the types
//   d  integer; precision = minimum digits, zero-padded ("%2.2d" -> "05", "%.*d")
//   u  unsigned integer, as d
//   x  hexadecimal (upper case), precision = minimum digits
//   s  string; precision = maximum characters
//   f  fixed, precision = decimals (default 2)
//   n  as f with the thousands separator between groups of three ("%.*n", "%8.2n")
//   e  scientific, precision = significant digits (default 15)
//   g  general, precision = significant digits (default 15)
//   %% a percent sign
// Decimal and thousands separators come from the given record (default: FormatSettings).
// A bad specifier or a missing or mistyped argument raises EConvertError
// ("Format '%s' invalid or incompatible with argument").

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FormatSettings.h"

namespace vemra {

class FormatArg {
public:
    enum class Kind { Int, Float, String };
    FormatArg(int v) : kind_(Kind::Int), i_(v) {}
    FormatArg(unsigned v) : kind_(Kind::Int), i_(v) {}
    FormatArg(long v) : kind_(Kind::Int), i_(v) {}
    FormatArg(unsigned long v) : kind_(Kind::Int), i_(static_cast<std::int64_t>(v)) {}
    FormatArg(long long v) : kind_(Kind::Int), i_(v) {}
    FormatArg(unsigned long long v) : kind_(Kind::Int), i_(static_cast<std::int64_t>(v)) {}
    FormatArg(double v) : kind_(Kind::Float), f_(v) {}
    FormatArg(float v) : kind_(Kind::Float), f_(v) {}
    FormatArg(const char* v) : kind_(Kind::String), s_(v) {}
    FormatArg(std::string_view v) : kind_(Kind::String), s_(v) {}
    FormatArg(const std::string& v) : kind_(Kind::String), s_(v) {}
    Kind kind() const { return kind_; }
    std::int64_t i() const { return i_; }
    double f() const { return f_; }
    std::string_view s() const { return s_; }

private:
    Kind kind_;
    std::int64_t i_ = 0;
    double f_ = 0;
    std::string_view s_;
};

std::string FormatV(std::string_view fmt, const std::vector<FormatArg>& args, const TFormatSettings& fs);

template <class... A>
std::string Format(std::string_view fmt, const A&... args) {
    return FormatV(fmt, {FormatArg(args)...}, FormatSettings);
}
template <class... A>
std::string FormatFS(const TFormatSettings& fs, std::string_view fmt, const A&... args) {
    return FormatV(fmt, {FormatArg(args)...}, fs);
}

// Float to text in the class library's forms.
enum class TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber };
// ffGeneral: shortest form with at most `precision` significant digits: fixed notation when
// the integer digits fit in `precision` and |v| >= 0.00001, else scientific ("1.5E-7",
// exponent with at least `digits` digits); trailing zeros and a trailing separator dropped.
// ffFixed / ffNumber: `digits` decimals after rounding to `precision` significant digits;
// ffNumber adds thousands separators. ffExponent: d.dddE+xx with `precision` digits.
// NaN gives "NAN", infinities "INF" / "-INF".
std::string FloatToStrF(double v, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& fs = FormatSettings);
std::string FloatToStr(double v, const TFormatSettings& fs = FormatSettings);  // ffGeneral, 15 digits
std::string FloatToStrG7(double v, const TFormatSettings& fs = FormatSettings);  // ffGeneral, 7 digits

}  // namespace vemra
