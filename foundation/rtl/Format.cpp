#include "Format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "SysUtils.h"

namespace vemra {

namespace {

// ---- decimal digits of a double ----

// value = 0.d1d2d3... x 10^exponent; no digits = zero.
struct Decimal {
    std::string digits;
    int exponent = 0;
    bool negative = false;
};

// Rounds half away from zero to `count` significant digits (count <= 0 rounds at a position
// left of the first digit).
void RoundTo(Decimal& d, int count) {
    if (count >= static_cast<int>(d.digits.size())) return;
    if (count < 0) {
        d.digits.clear();
        return;
    }
    bool up = d.digits[static_cast<std::size_t>(count)] >= '5';
    d.digits.resize(static_cast<std::size_t>(count));
    if (up) {
        int i = count - 1;
        while (i >= 0 && d.digits[static_cast<std::size_t>(i)] == '9') d.digits[static_cast<std::size_t>(i--)] = '0';
        if (i >= 0) {
            ++d.digits[static_cast<std::size_t>(i)];
        } else {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exponent;
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
}

// The finite value's digits, correctly rounded to 17 significant digits and then rounded
// half away from zero to `base` digits. A double's 15 leading digits are exact for every
// decimal text of up to 15 digits, so a base of 15 makes 2.675 round to 2.68, as the
// decimal value it was written as would.
Decimal ToDecimal(double v, int base) {
    Decimal d;
    d.negative = std::signbit(v);
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, 16);
    std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
    std::size_t e = text.find('e');
    for (char c : text.substr(0, e))
        if (c != '.') d.digits += c;
    int exp10 = 0;
    std::string_view expText = text.substr(e + 1);
    if (!expText.empty() && expText[0] == '+') expText.remove_prefix(1);
    std::from_chars(expText.data(), expText.data() + expText.size(), exp10);
    d.exponent = exp10 + 1;
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
    RoundTo(d, base);
    if (d.digits.empty()) d.negative = false;
    return d;
}

char DigitAt(const Decimal& d, int i) {
    return i >= 0 && i < static_cast<int>(d.digits.size()) ? d.digits[static_cast<std::size_t>(i)] : '0';
}

char DecimalChar(const TFormatSettings& fs) { return fs.DecimalSeparator != '\0' ? fs.DecimalSeparator : '.'; }

std::string ExponentText(int exponent, bool plusSign, int minDigits) {
    std::string s;
    if (exponent < 0)
        s += '-';
    else if (plusSign)
        s += '+';
    std::string num = std::to_string(std::abs(exponent));
    if (static_cast<int>(num.size()) < minDigits) num.insert(0, static_cast<std::size_t>(minDigits) - num.size(), '0');
    return s + num;
}

// d1[.d2...]E[sign]exp
std::string Scientific(const Decimal& d, int shownDigits, bool plusSign, int expDigits, const TFormatSettings& fs) {
    std::string s = d.negative ? "-" : "";
    s += DigitAt(d, 0);
    if (shownDigits > 1) {
        s += DecimalChar(fs);
        for (int i = 1; i < shownDigits; ++i) s += DigitAt(d, i);
    }
    int exponent = d.digits.empty() ? 0 : d.exponent - 1;
    return s + "E" + ExponentText(exponent, plusSign, expDigits);
}

std::string IntegerPart(const Decimal& d, const std::string& thousands) {
    if (d.exponent <= 0) return "0";
    std::string s;
    for (int i = 0; i < d.exponent; ++i) {
        if (i > 0 && (d.exponent - i) % 3 == 0) s += thousands;
        s += DigitAt(d, i);
    }
    return s;
}

std::string FixedText(const Decimal& d, int decimals, const std::string& thousands, const TFormatSettings& fs) {
    std::string s = d.negative ? "-" : "";
    s += IntegerPart(d, thousands);
    if (decimals > 0) {
        s += DecimalChar(fs);
        for (int i = 0; i < decimals; ++i) s += DigitAt(d, d.exponent + i);
    }
    return s;
}

int BaseDigits(int precision) { return precision <= 15 ? 15 : std::min(precision, 17); }

std::string GeneralText(double v, int precision, int digits, const TFormatSettings& fs) {
    Decimal d = ToDecimal(v, BaseDigits(precision));
    RoundTo(d, precision);
    if (d.digits.empty()) return "0";
    int n = static_cast<int>(d.digits.size());
    if (d.exponent > precision || d.exponent < -4) return Scientific(d, n, false, digits, fs);
    return FixedText(d, std::max(0, n - d.exponent), {}, fs);
}

std::string ExponentFormText(double v, int precision, int digits, const TFormatSettings& fs) {
    Decimal d = ToDecimal(v, BaseDigits(precision));
    RoundTo(d, precision);
    return Scientific(d, precision, true, digits, fs);
}

std::string FixedFormText(double v, int precision, int digits, bool groups, const TFormatSettings& fs) {
    Decimal d = ToDecimal(v, std::min(precision, 15));
    RoundTo(d, std::min(precision, d.exponent + digits));
    if (d.digits.empty()) d.negative = false;
    if (d.exponent > precision) return GeneralText(v, precision, 0, fs);
    return FixedText(d, digits, groups ? fs.ThousandSeparator : std::string(), fs);
}

// ---- Format ----

[[noreturn]] void FormatError(std::string_view fmt) {
    throw EConvertError("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
}

std::size_t CharCount(std::string_view s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

// The first `count` characters (UTF-8 sequences are kept whole).
std::string_view FirstChars(std::string_view s, std::size_t count) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && n++ == count) return s.substr(0, i);
    }
    return s;
}

struct Field {
    bool left = false;
    int width = -1;
    int precision = -1;
    char type = '\0';
};

class Formatter {
public:
    Formatter(std::string_view fmt, const std::vector<FormatArg>& args, const TFormatSettings& fs)
        : fmt_(fmt), args_(args), fs_(fs) {}

    std::string Run() {
        std::string out;
        while (pos_ < fmt_.size()) {
            std::size_t next = fmt_.find('%', pos_);
            if (next == std::string_view::npos) next = fmt_.size();
            out.append(fmt_.substr(pos_, next - pos_));
            pos_ = next;
            if (pos_ < fmt_.size()) out += Specifier();
        }
        return out;
    }

private:
    std::string_view fmt_;
    const std::vector<FormatArg>& args_;
    const TFormatSettings& fs_;
    std::size_t pos_ = 0;
    std::size_t argIndex_ = 0;

    char Peek() const { return pos_ < fmt_.size() ? fmt_[pos_] : '\0'; }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

    const FormatArg& NextArg() {
        if (argIndex_ >= args_.size()) FormatError(fmt_);
        return args_[argIndex_++];
    }

    // A decimal number or '*' (taken from the arguments); -1 when neither is there.
    int Number() {
        if (Peek() == '*') {
            ++pos_;
            const FormatArg& a = NextArg();
            if (a.kind() != FormatArg::Kind::Int) FormatError(fmt_);
            return static_cast<int>(std::clamp<std::int64_t>(a.i(), -1, 1000000));
        }
        if (!IsDigit(Peek())) return -1;
        std::int64_t n = 0;
        while (IsDigit(Peek())) {
            n = n * 10 + (fmt_[pos_++] - '0');
            if (n > 1000000) FormatError(fmt_);  // no field that large is meant
        }
        return static_cast<int>(n);
    }

    Field ParseField() {
        Field s;
        if (Peek() != '-') {
            int n = Number();
            if (Peek() == ':') {
                ++pos_;
                if (n < 0) FormatError(fmt_);
                argIndex_ = static_cast<std::size_t>(n);
            } else {
                s.width = n;
            }
        }
        if (Peek() == '-') {
            s.left = true;
            ++pos_;
        }
        if (s.width < 0) s.width = Number();
        if (Peek() == '.') {
            ++pos_;
            s.precision = Number();
        }
        if (pos_ >= fmt_.size()) FormatError(fmt_);
        s.type = static_cast<char>(fmt_[pos_] >= 'A' && fmt_[pos_] <= 'Z' ? fmt_[pos_] + 32 : fmt_[pos_]);
        ++pos_;
        return s;
    }

    std::string Specifier() {
        ++pos_;  // '%'
        if (Peek() == '%') {
            ++pos_;
            return "%";
        }
        Field field = ParseField();
        std::string text = Convert(field, NextArg());
        std::size_t len = CharCount(text);
        if (field.width > 0 && len < static_cast<std::size_t>(field.width)) {
            std::string pad(static_cast<std::size_t>(field.width) - len, ' ');
            text = field.left ? text + pad : pad + text;
        }
        return text;
    }

    std::string Convert(const Field& field, const FormatArg& a) {
        switch (field.type) {
        case 'd':
        case 'u':
        case 'x': return IntegerText(field, a);
        case 's':
            if (a.kind() != FormatArg::Kind::String) FormatError(fmt_);
            return std::string(field.precision >= 0 ? FirstChars(a.s(), static_cast<std::size_t>(field.precision)) : a.s());
        case 'f':
        case 'n':
        case 'e':
        case 'g': return FloatText(field, a);
        default: FormatError(fmt_);
        }
    }

    std::string IntegerText(const Field& field, const FormatArg& a) const {
        if (a.kind() != FormatArg::Kind::Int) FormatError(fmt_);
        std::int64_t v = a.i();
        bool negative = field.type == 'd' && v < 0;
        std::uint64_t magnitude;
        if (field.type == 'd') {
            magnitude = negative ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
        } else if (v < 0 && v >= INT32_MIN) {
            magnitude = static_cast<std::uint32_t>(v);  // a negative 32-bit argument shows its 32 bits
        } else {
            magnitude = static_cast<std::uint64_t>(v);
        }
        char buf[32];
        auto res = std::to_chars(buf, buf + sizeof buf, magnitude, field.type == 'x' ? 16 : 10);
        std::string digits(buf, res.ptr);
        if (field.type == 'x') digits = UpperCase(digits);
        if (field.precision > static_cast<int>(digits.size()))
            digits.insert(0, static_cast<std::size_t>(field.precision) - digits.size(), '0');
        return negative ? "-" + digits : digits;
    }

    std::string FloatText(const Field& field, const FormatArg& a) const {
        if (a.kind() != FormatArg::Kind::Float) FormatError(fmt_);
        int p = field.precision;
        switch (field.type) {
        case 'f': return FloatToStrF(a.f(), TFloatFormat::ffFixed, 18, p < 0 ? 2 : std::min(p, 18), fs_);
        case 'n': return FloatToStrF(a.f(), TFloatFormat::ffNumber, 18, p < 0 ? 2 : std::min(p, 18), fs_);
        case 'e': return FloatToStrF(a.f(), TFloatFormat::ffExponent, p < 0 ? 15 : p, 3, fs_);
        default: return FloatToStrF(a.f(), TFloatFormat::ffGeneral, p < 0 ? 15 : p, 3, fs_);
        }
    }
};

}  // namespace

std::string FormatV(std::string_view fmt, const std::vector<FormatArg>& args, const TFormatSettings& fs) {
    return Formatter(fmt, args, fs).Run();
}

std::string FloatToStrF(double v, TFloatFormat format, int precision, int digits, const TFormatSettings& fs) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
    precision = std::clamp(precision, 1, 18);
    switch (format) {
    case TFloatFormat::ffGeneral: return GeneralText(v, precision, std::clamp(digits, 0, 4), fs);
    case TFloatFormat::ffExponent: return ExponentFormText(v, precision, std::clamp(digits, 0, 4), fs);
    case TFloatFormat::ffFixed: return FixedFormText(v, precision, std::clamp(digits, 0, 18), false, fs);
    case TFloatFormat::ffNumber: return FixedFormText(v, precision, std::clamp(digits, 0, 18), true, fs);
    }
    return {};
}

std::string FloatToStr(double v, const TFormatSettings& fs) { return FloatToStrF(v, TFloatFormat::ffGeneral, 15, 0, fs); }

std::string FloatToStrG7(double v, const TFormatSettings& fs) { return FloatToStrF(v, TFloatFormat::ffGeneral, 7, 0, fs); }

}  // namespace vemra
