#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "Format.h"
#include "SysUtils.h"

namespace vemra {
namespace {

TFormatSettings Record(char decimal, std::string thousands) {
    TFormatSettings fs;
    fs.DecimalSeparator = decimal;
    fs.ThousandSeparator = std::move(thousands);
    return fs;
}

const TFormatSettings kPoint = Record('.', ",");
const TFormatSettings kComma = Record(',', ".");
const TFormatSettings kNarrowSpace = Record(',', "\u202F");  // three UTF-8 bytes
const TFormatSettings kNoGroups = Record('.', "");

struct Case {
    const TFormatSettings* fs;
    std::string fmt;
    std::vector<FormatArg> args;
    std::string expected;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << '"' << c.fmt << '"';
    // A float argument tells cases of one format and one text apart ("%.2f" of 0 and of -0.001).
    for (const FormatArg& a : c.args)
        if (a.kind() == FormatArg::Kind::Float) *os << ' ' << a.f();
    *os << " -> \"" << c.expected << '"';
}

class FormatTable : public testing::TestWithParam<Case> {};

TEST_P(FormatTable, GivesTheClassLibraryText) {
    const Case& c = GetParam();
    EXPECT_EQ(FormatV(c.fmt, c.args, *c.fs), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Integers, FormatTable, testing::Values(
    Case{&kPoint, "%d", {42}, "42"},
    Case{&kPoint, "%d", {-42}, "-42"},
    Case{&kPoint, "%d", {std::numeric_limits<long long>::min()}, "-9223372036854775808"},
    Case{&kPoint, "%2.2d", {5}, "05"},
    Case{&kPoint, "%2.2d", {123}, "123"},
    Case{&kPoint, "%4.4d", {7}, "0007"},
    Case{&kPoint, "%4.4d", {2024}, "2024"},
    Case{&kPoint, "%.*d", {3, 7}, "007"},
    Case{&kPoint, "%.*d", {4, -5}, "-0005"},
    Case{&kPoint, "%6.4d", {-5}, " -0005"},
    Case{&kPoint, "%5d|", {42}, "   42|"},
    Case{&kPoint, "%-5d|", {42}, "42   |"},
    Case{&kPoint, "%*d", {5, 42}, "   42"},
    Case{&kPoint, "%u", {-1}, "4294967295"},
    Case{&kPoint, "%u", {7u}, "7"},
    Case{&kPoint, "%x", {255}, "FF"},
    Case{&kPoint, "%.4x", {255}, "00FF"},
    Case{&kPoint, "%x", {-1}, "FFFFFFFF"},
    Case{&kPoint, "%D", {9}, "9"},
    Case{&kPoint, "%d.%d.%d.%d", {1, 2, 3, 4}, "1.2.3.4"},
    Case{&kPoint, "%4.4d.%2.2d.%2.2d %2.2d:%2.2d:%2.2d", {2024, 1, 5, 7, 8, 9}, "2024.01.05 07:08:09"}));

INSTANTIATE_TEST_SUITE_P(Strings, FormatTable, testing::Values(
    Case{&kPoint, "%s", {"abc"}, "abc"},
    Case{&kPoint, "%s", {""}, ""},
    Case{&kPoint, "%.3s", {"abcdef"}, "abc"},
    Case{&kPoint, "%.2s", {"\u00e4\u00f6\u00fc"}, "\u00e4\u00f6"},  // whole characters
    Case{&kPoint, "%5s|", {"ab"}, "   ab|"},
    Case{&kPoint, "%-5s|", {"ab"}, "ab   |"},
    Case{&kPoint, "%4s|", {"\u00e4b"}, "  \u00e4b|"},
    Case{&kPoint, "%s\\%s-%s.vmr", {"/data", "2024.01.05", "ECB"}, "/data\\2024.01.05-ECB.vmr"},
    Case{&kPoint, "%%", {}, "%"},
    Case{&kPoint, "100%% %s", {"sure"}, "100% sure"},
    Case{&kPoint, "%1:s %0:s", {"a", "b"}, "b a"},
    Case{&kPoint, "%1:s %s", {"a", "b", "c"}, "b c"},
    Case{&kPoint, "%.*d = \"%s\" ", {4, 12, "x"}, "0012 = \"x\" "}));

INSTANTIATE_TEST_SUITE_P(Floats, FormatTable, testing::Values(
    Case{&kPoint, "%6.2f", {3.14159}, "  3.14"},
    Case{&kPoint, "%6.2f", {-3.14159}, " -3.14"},
    Case{&kPoint, "%6.2f%s", {-1.5, "%"}, " -1.50%"},
    Case{&kComma, "%6.2f", {3.14159}, "  3,14"},
    Case{&kPoint, "%f", {1.5}, "1.50"},
    Case{&kPoint, "%.0f", {1234.5}, "1235"},
    Case{&kPoint, "%.2f", {1234567.891}, "1234567.89"},
    Case{&kPoint, "%8.2n", {1234.5}, "1,234.50"},
    Case{&kPoint, "%8.2n", {12.5}, "   12.50"},
    Case{&kPoint, "%8.2n", {-1234567.891}, "-1,234,567.89"},
    Case{&kComma, "%8.2n", {1234.5}, "1.234,50"},
    Case{&kNarrowSpace, "%8.2n", {1234.5}, "1\u202F234,50"},
    Case{&kNarrowSpace, "%10.2n", {1234.5}, "  1\u202F234,50"},
    Case{&kNarrowSpace, "%.*n", {0, 1234567.0}, "1\u202F234\u202F567"},
    Case{&kNoGroups, "%.2n", {1234567.5}, "1234567.50"},
    Case{&kPoint, "%.*n", {2, 1234567.891}, "1,234,567.89"},
    Case{&kPoint, "%.*n", {0, 999.5}, "1,000"},
    Case{&kComma, "%.*n", {3, 0.5}, "0,500"},
    Case{&kPoint, "%n", {100.0}, "100.00"},
    Case{&kPoint, "%.*n EUR", {2, 6.25f}, "6.25 EUR"},
    Case{&kPoint, "%e", {1234.5}, "1.23450000000000E+003"},
    Case{&kPoint, "%.3e", {-0.00012345}, "-1.23E-004"},
    Case{&kComma, "%.3e", {1234.5}, "1,23E+003"},
    Case{&kPoint, "%g", {1234.5}, "1234.5"},
    Case{&kComma, "%g", {0.5}, "0,5"},
    Case{&kPoint, "%.3g", {1234.5}, "1.23E003"}));

// Half away from zero on the value's decimal digits, not on its binary neighbour.
INSTANTIATE_TEST_SUITE_P(Rounding, FormatTable, testing::Values(
    Case{&kPoint, "%.2f", {2.675}, "2.68"},
    Case{&kPoint, "%.2f", {-2.675}, "-2.68"},
    Case{&kPoint, "%.2f", {1.005}, "1.01"},
    Case{&kPoint, "%.2f", {0.125}, "0.13"},
    Case{&kPoint, "%.2f", {0.005}, "0.01"},
    Case{&kPoint, "%.2f", {0.0049}, "0.00"},
    Case{&kPoint, "%.2f", {9.995}, "10.00"},
    Case{&kPoint, "%.2n", {999999.995}, "1,000,000.00"},
    Case{&kPoint, "%.0f", {0.5}, "1"},
    Case{&kPoint, "%.0f", {-0.5}, "-1"},
    Case{&kPoint, "%.1f", {0.05}, "0.1"},
    Case{&kPoint, "%.2f", {-0.001}, "0.00"},
    Case{&kPoint, "%.2f", {0.0}, "0.00"},
    Case{&kPoint, "%.2f", {1e-10}, "0.00"},
    Case{&kPoint, "%.2f", {123456789.125}, "123456789.13"},
    Case{&kPoint, "%.2f", {0.1 + 0.2}, "0.30"},
    Case{&kPoint, "%.4f", {1.0 / 3.0}, "0.3333"}));

TEST(Format, MismatchedOrMissingArgumentsRaise) {
    struct Bad {
        std::string fmt;
        std::vector<FormatArg> args;
    };
    const std::vector<Bad> bad = {
        {"%d", {"x"}},  {"%d", {1.5}},   {"%s", {5}},       {"%f", {5}},  {"%n", {"1"}},
        {"%d", {}},     {"%d %d", {1}},  {"%.*d", {"3", 7}}, {"%q", {1}}, {"abc %", {1}},
        {"%5", {1}},    {"%2:s", {"a"}}, {"%m", {1.0}},
    };
    for (const Bad& b : bad) {
        try {
            FormatV(b.fmt, b.args, kPoint);
            ADD_FAILURE() << "no error for " << b.fmt;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), "Format '" + b.fmt + "' invalid or incompatible with argument");
        }
    }
}

TEST(Format, HugeWidthIsRejectedNotAllocated) {
    EXPECT_THROW(FormatV("%99999999999d", {1}, kPoint), EConvertError);
}

TEST(Format, TemplateUsesTheGlobalRecordAndFormatFSTheGivenOne) {
    TFormatSettings saved = FormatSettings;
    FormatSettings = kComma;
    EXPECT_EQ(Format("%.2f|%d|%s", 1.5, 3, "x"), "1,50|3|x");
    EXPECT_EQ(FormatFS(kPoint, "%.2n", 1234.5), "1,234.50");
    FormatSettings = saved;
}

struct FloatCase {
    double value;
    TFloatFormat format;
    int precision;
    int digits;
    const TFormatSettings* fs;
    std::string expected;
};

void PrintTo(const FloatCase& c, std::ostream* os) { *os << c.value << " -> \"" << c.expected << '"'; }

class FloatToStrFTable : public testing::TestWithParam<FloatCase> {};

TEST_P(FloatToStrFTable, GivesTheClassLibraryText) {
    const FloatCase& c = GetParam();
    EXPECT_EQ(FloatToStrF(c.value, c.format, c.precision, c.digits, *c.fs), c.expected);
}

constexpr auto G = TFloatFormat::ffGeneral;
constexpr auto E = TFloatFormat::ffExponent;
constexpr auto F = TFloatFormat::ffFixed;
constexpr auto N = TFloatFormat::ffNumber;

INSTANTIATE_TEST_SUITE_P(General, FloatToStrFTable, testing::Values(
    FloatCase{1234567.0, G, 7, 0, &kPoint, "1234567"},
    FloatCase{12345678.0, G, 7, 0, &kPoint, "1.234568E7"},
    FloatCase{9999999.5, G, 7, 0, &kPoint, "1E7"},
    FloatCase{0.00001, G, 7, 0, &kPoint, "0.00001"},
    FloatCase{0.000012345678, G, 7, 0, &kPoint, "0.00001234568"},
    FloatCase{1e-6, G, 7, 0, &kPoint, "1E-6"},
    FloatCase{-1.234e-6, G, 7, 0, &kPoint, "-1.234E-6"},
    FloatCase{1.5e-7, G, 7, 2, &kPoint, "1.5E-07"},
    FloatCase{-1234.5, G, 7, 0, &kComma, "-1234,5"},
    FloatCase{0.0, G, 7, 0, &kPoint, "0"},
    FloatCase{-0.0, G, 7, 0, &kPoint, "0"},
    FloatCase{2.0, G, 7, 0, &kPoint, "2"},
    FloatCase{100.0, G, 7, 0, &kPoint, "100"},
    FloatCase{0.1 + 0.2, G, 15, 0, &kPoint, "0.3"},
    FloatCase{1.0 / 3.0, G, 15, 0, &kPoint, "0.333333333333333"},
    FloatCase{1e20, G, 15, 0, &kPoint, "1E20"},
    FloatCase{123456789012345.0, G, 15, 0, &kPoint, "123456789012345"},
    FloatCase{1234567890123456.0, G, 15, 0, &kPoint, "1.23456789012346E15"},
    FloatCase{0.1, G, 17, 0, &kPoint, "0.10000000000000001"}));

INSTANTIATE_TEST_SUITE_P(FixedAndNumber, FloatToStrFTable, testing::Values(
    FloatCase{1234.5, N, 7, 1, &kPoint, "1,234.5"},
    FloatCase{2.0, N, 7, 0, &kPoint, "2"},
    FloatCase{1234.5678, N, 7, 4, &kPoint, "1,234.5680"},  // 7 significant digits, then zeros
    FloatCase{-1234567.5, N, 7, 0, &kPoint, "-1,234,568"},
    FloatCase{1234567.0, N, 7, 2, &kNarrowSpace, "1\u202F234\u202F567,00"},
    FloatCase{12345678.0, N, 7, 2, &kPoint, "1.234568E7"},  // more integer digits than precision
    FloatCase{999.9999, N, 7, 2, &kPoint, "1,000.00"},
    FloatCase{1234.5, F, 15, 2, &kPoint, "1234.50"},
    FloatCase{1234.5, F, 15, 2, &kComma, "1234,50"},
    FloatCase{0.5, F, 15, 0, &kPoint, "1"},
    FloatCase{0.000123, F, 15, 3, &kPoint, "0.000"},
    FloatCase{0.000623, F, 15, 3, &kPoint, "0.001"}));

INSTANTIATE_TEST_SUITE_P(Exponent, FloatToStrFTable, testing::Values(
    FloatCase{1234.5, E, 4, 2, &kPoint, "1.235E+03"},
    FloatCase{0.00012345, E, 5, 0, &kComma, "1,2345E-4"},
    FloatCase{-9.99999, E, 3, 1, &kPoint, "-1.00E+1"},
    FloatCase{0.0, E, 4, 2, &kPoint, "0.000E+00"}));

TEST(FloatToStr, NonFiniteValues) {
    EXPECT_EQ(FloatToStr(std::nan(""), kPoint), "NAN");
    EXPECT_EQ(FloatToStrF(std::numeric_limits<double>::infinity(), N, 7, 2, kPoint), "INF");
    EXPECT_EQ(FloatToStrG7(-std::numeric_limits<double>::infinity(), kPoint), "-INF");
}

TEST(FloatToStrG7, SinglePrecisionQuotientShowsSevenDigits) {
    const float single = 1.0f / 7.4f;
    const double dbl = 1.0 / 7.4;
    EXPECT_EQ(FloatToStrG7(single, kPoint), "0.1351351");
    EXPECT_EQ(FloatToStrG7(dbl, kPoint), "0.1351351");
    EXPECT_EQ(FloatToStrG7(0.1f, kPoint), "0.1");
    EXPECT_EQ(FloatToStrG7(7.4f, kComma), "7,4");
    EXPECT_EQ(FloatToStrG7(-1.0 / 7.4, kComma), "-0,1351351");
}

TEST(FloatToStrG7, FeedsTheDecimalsOfANumberText) {
    // The amount display takes its decimals from the general form, then writes ffNumber.
    auto amount = [](double v, int maxDecimals) {
        std::string t = FloatToStrG7(v, kPoint);
        std::size_t dot = t.find('.');
        int d = dot == std::string::npos ? 0 : static_cast<int>(t.size() - dot - 1);
        if (d > maxDecimals && maxDecimals > 0) d = maxDecimals;
        return FloatToStrF(v, N, 7, d, kPoint);
    };
    EXPECT_EQ(amount(1234.5, 2), "1,234.5");
    EXPECT_EQ(amount(2.0, 2), "2");
    EXPECT_EQ(amount(1234.56789, 2), "1,234.57");
}

}  // namespace
}  // namespace vemra
