#include "NumParse.h"

#include <charconv>
#include <limits>
#include <string>

#include "SysUtils.h"

namespace vemra {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Integer text of at most `bits` bits. Decimal values must fit the signed range; hexadecimal
// ones may use every bit (and are then read as the two's complement pattern).
bool ParseInteger(std::string_view s, int bits, std::int64_t& out) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    bool hex = false;
    if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    const std::uint64_t signedMax = (std::uint64_t{1} << (bits - 1)) - 1;
    const std::uint64_t limit = hex ? (bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1)
                                    : signedMax + (negative ? 1 : 0);
    const unsigned radix = hex ? 16 : 10;
    if (i >= s.size()) return false;
    std::uint64_t v = 0;
    for (; i < s.size(); ++i) {
        int d = hex ? HexValue(s[i]) : (s[i] >= '0' && s[i] <= '9' ? s[i] - '0' : -1);
        if (d < 0) return false;
        if (v > (limit - static_cast<unsigned>(d)) / radix) return false;
        v = v * radix + static_cast<unsigned>(d);
    }
    if (negative) v = 0 - v;
    if (bits == 32) {
        out = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    } else {
        out = static_cast<std::int64_t>(v);
    }
    return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The float syntax, rewritten into the neutral form that from_chars reads.
struct FloatText {
    std::string neutral;
    bool hasNonZeroDigit = false;
    long long magnitude = 0;  // decimal exponent of the first significant digit (0.x = 0)
};

bool ScanFloat(std::string_view s, char decimalSeparator, FloatText& ft) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        if (s[i] == '-') ft.neutral += '-';
        ++i;
    }
    std::string intDigits, fracDigits;
    while (i < s.size() && IsDigit(s[i])) intDigits += s[i++];
    if (decimalSeparator != '\0' && i < s.size() && s[i] == decimalSeparator) {
        ++i;
        while (i < s.size() && IsDigit(s[i])) fracDigits += s[i++];
    }
    if (intDigits.empty() && fracDigits.empty()) return false;
    long long exponent = 0;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
        ++i;
        bool negExp = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) negExp = s[i++] == '-';
        if (i >= s.size() || !IsDigit(s[i])) return false;
        while (i < s.size() && IsDigit(s[i])) {
            if (exponent < 100000) exponent = exponent * 10 + (s[i] - '0');
            ++i;
        }
        if (negExp) exponent = -exponent;
    }
    while (i < s.size() && s[i] == ' ') ++i;
    if (i != s.size()) return false;

    std::string all = intDigits + fracDigits;
    std::size_t first = all.find_first_not_of('0');
    ft.hasNonZeroDigit = first != std::string::npos;
    if (ft.hasNonZeroDigit)
        ft.magnitude = static_cast<long long>(intDigits.size()) - static_cast<long long>(first) + exponent;
    ft.neutral += (intDigits.empty() ? "0" : intDigits) + "." + fracDigits + "0e" + std::to_string(exponent);
    return true;
}

template <class T>
bool ParseFloat(std::string_view s, T& value, char decimalSeparator) {
    FloatText ft;
    if (!ScanFloat(s, decimalSeparator, ft)) return false;
    T v{};
    const char* begin = ft.neutral.data();
    auto res = std::from_chars(begin, begin + ft.neutral.size(), v);
    if (res.ec == std::errc::result_out_of_range && ft.hasNonZeroDigit && ft.magnitude <= 0) {
        // Too small for the type: it reads as zero.
        value = ft.neutral[0] == '-' ? -T{0} : T{0};
        return true;
    }
    if (res.ec != std::errc() || res.ptr != begin + ft.neutral.size()) return false;
    value = v;
    return true;
}

}  // namespace

bool TryStrToInt(std::string_view s, int& value) {
    std::int64_t v = 0;
    if (!ParseInteger(s, 32, v)) return false;
    value = static_cast<int>(v);
    return true;
}

int StrToInt(std::string_view s) {
    int v = 0;
    if (!TryStrToInt(s, v)) throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
    return v;
}

int StrToIntDef(std::string_view s, int def) {
    int v = 0;
    return TryStrToInt(s, v) ? v : def;
}

bool TryStrToInt64(std::string_view s, std::int64_t& value) { return ParseInteger(s, 64, value); }

std::int64_t StrToInt64Def(std::string_view s, std::int64_t def) {
    std::int64_t v = 0;
    return TryStrToInt64(s, v) ? v : def;
}

bool TryStrToFloat(std::string_view s, double& value, char decimalSeparator) {
    return ParseFloat(s, value, decimalSeparator);
}

bool TryStrToFloat(std::string_view s, double& value, const TFormatSettings& fs) {
    return ParseFloat(s, value, fs.DecimalSeparator);
}

bool TryStrToFloat(std::string_view s, float& value, char decimalSeparator) {
    return ParseFloat(s, value, decimalSeparator);
}

double StrToFloat(std::string_view s, const TFormatSettings& fs) {
    double v = 0;
    if (!TryStrToFloat(s, v, fs)) throw EConvertError("'" + std::string(s) + "' is not a valid floating point value");
    return v;
}

double StrToFloatDef(std::string_view s, double def, const TFormatSettings& fs) {
    double v = 0;
    return TryStrToFloat(s, v, fs) ? v : def;
}

}  // namespace vemra
