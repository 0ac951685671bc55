#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "NumParse.h"
#include "SysUtils.h"

namespace vemra {
namespace {

struct IntCase {
    std::string text;
    std::optional<int> value;  // nullopt = not an integer
};

void PrintTo(const IntCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class IntSyntax : public testing::TestWithParam<IntCase> {};

TEST_P(IntSyntax, ReadsOrRejects) {
    const IntCase& c = GetParam();
    int v = 12345;
    ASSERT_EQ(TryStrToInt(c.text, v), c.value.has_value());
    if (c.value) {
        EXPECT_EQ(v, *c.value);
    } else {
        EXPECT_EQ(v, 12345) << "a failed read leaves the variable alone";
        EXPECT_EQ(StrToIntDef(c.text, -7), -7);
    }
}

INSTANTIATE_TEST_SUITE_P(Accepted, IntSyntax, testing::Values(
    IntCase{"42", 42}, IntCase{"   42", 42}, IntCase{"-12", -12}, IntCase{"+7", 7}, IntCase{"0", 0},
    IntCase{"007", 7}, IntCase{"$FF", 255}, IntCase{"$ff", 255}, IntCase{"-$FF", -255},
    IntCase{"0x1f", 31}, IntCase{"0X1F", 31}, IntCase{"x10", 16}, IntCase{"X10", 16},
    IntCase{"$FFFFFFFF", -1}, IntCase{"$80000000", std::numeric_limits<int>::min()},
    IntCase{"2147483647", 2147483647}, IntCase{"-2147483648", std::numeric_limits<int>::min()}));

INSTANTIATE_TEST_SUITE_P(Rejected, IntSyntax, testing::Values(
    IntCase{"", {}}, IntCase{" ", {}}, IntCase{"-", {}}, IntCase{"$", {}}, IntCase{"0x", {}},
    IntCase{"2147483648", {}}, IntCase{"-2147483649", {}}, IntCase{"99999999999999999999", {}},
    IntCase{"$100000000", {}}, IntCase{"12a", {}}, IntCase{"42 ", {}}, IntCase{"1.5", {}},
    IntCase{"1,000", {}}, IntCase{"\t5", {}}, IntCase{"--5", {}}, IntCase{"$G1", {}}, IntCase{"5 5", {}}));

TEST(StrToInt, RaisesWithTheText) {
    EXPECT_EQ(StrToInt(" -$10"), -16);
    try {
        StrToInt("12a");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'12a' is not a valid integer value");
    }
}

TEST(StrToInt64, UsesSixtyFourBits) {
    std::int64_t v = 0;
    EXPECT_TRUE(TryStrToInt64("9223372036854775807", v));
    EXPECT_EQ(v, std::numeric_limits<std::int64_t>::max());
    EXPECT_TRUE(TryStrToInt64("-9223372036854775808", v));
    EXPECT_EQ(v, std::numeric_limits<std::int64_t>::min());
    EXPECT_TRUE(TryStrToInt64("$FFFFFFFFFFFFFFFF", v));
    EXPECT_EQ(v, -1);
    EXPECT_TRUE(TryStrToInt64("4294967296", v));
    EXPECT_EQ(v, 4294967296LL);
    EXPECT_FALSE(TryStrToInt64("9223372036854775808", v));
    EXPECT_FALSE(TryStrToInt64("$10000000000000000", v));
    EXPECT_EQ(StrToInt64Def("x", 5), 5);
}

struct FloatCase {
    std::string text;
    char separator;
    std::optional<double> value;
};

void PrintTo(const FloatCase& c, std::ostream* os) { *os << '"' << c.text << "\" with '" << c.separator << "'"; }

class FloatSyntax : public testing::TestWithParam<FloatCase> {};

TEST_P(FloatSyntax, ReadsOrRejects) {
    const FloatCase& c = GetParam();
    double v = 99;
    ASSERT_EQ(TryStrToFloat(c.text, v, c.separator), c.value.has_value());
    if (c.value) {
        EXPECT_EQ(v, *c.value);
    } else {
        EXPECT_EQ(v, 99);
    }
}

INSTANTIATE_TEST_SUITE_P(Point, FloatSyntax, testing::Values(
    FloatCase{"1.5", '.', 1.5}, FloatCase{"  1.5  ", '.', 1.5}, FloatCase{"-1.5", '.', -1.5},
    FloatCase{"+2", '.', 2.0}, FloatCase{".5", '.', 0.5}, FloatCase{"5.", '.', 5.0},
    FloatCase{"1e3", '.', 1000.0}, FloatCase{"1.5E-2", '.', 0.015}, FloatCase{"1E+2", '.', 100.0},
    FloatCase{"0.1", '.', 0.1}, FloatCase{"123456789.123456789", '.', 123456789.123456789},
    FloatCase{"1e-400", '.', 0.0}, FloatCase{"1,5", '.', {}}, FloatCase{"", '.', {}},
    FloatCase{".", '.', {}}, FloatCase{"e5", '.', {}}, FloatCase{"1e", '.', {}},
    FloatCase{"1e+", '.', {}}, FloatCase{"1.2.3", '.', {}}, FloatCase{"1 000", '.', {}},
    FloatCase{"1.5x", '.', {}}, FloatCase{"--1", '.', {}}, FloatCase{"1,000.5", '.', {}},
    FloatCase{"1e400", '.', {}}, FloatCase{"inf", '.', {}}, FloatCase{"nan", '.', {}},
    FloatCase{"0x10", '.', {}}));

INSTANTIATE_TEST_SUITE_P(Comma, FloatSyntax, testing::Values(
    FloatCase{"1,5", ',', 1.5}, FloatCase{"12,50", ',', 12.5}, FloatCase{"-0,25", ',', -0.25},
    FloatCase{",5", ',', 0.5}, FloatCase{"1234,5e1", ',', 12345.0}, FloatCase{"1.5", ',', {}},
    FloatCase{"1.234,5", ',', {}}));

INSTANTIATE_TEST_SUITE_P(NoSeparator, FloatSyntax, testing::Values(
    FloatCase{"12", '\0', 12.0}, FloatCase{"12.5", '\0', {}}, FloatCase{"12,5", '\0', {}}));

TEST(TryStrToFloat, SinglePrecisionRoundsTheTextOnce) {
    float f = 0;
    ASSERT_TRUE(TryStrToFloat("0.1", f, '.'));
    EXPECT_EQ(f, 0.1f);
    ASSERT_TRUE(TryStrToFloat("7,4", f, ','));
    EXPECT_EQ(f, 7.4f);
    ASSERT_TRUE(TryStrToFloat("16777217", f, '.'));
    EXPECT_EQ(f, 16777216.0f);
    // Just above the midpoint between 1 and the next float: read via double it would land on
    // the midpoint and round to even (1.0f).
    ASSERT_TRUE(TryStrToFloat("1.0000000596046447753906251", f, '.'));
    EXPECT_EQ(f, std::nextafter(1.0f, 2.0f));
}

TEST(TryStrToFloat, SinglePrecisionRange) {
    float f = 5;
    EXPECT_TRUE(TryStrToFloat("3.4e38", f, '.'));
    EXPECT_FALSE(TryStrToFloat("3.5e38", f, '.'));
    EXPECT_FALSE(TryStrToFloat("1e39", f, '.'));
    EXPECT_FALSE(TryStrToFloat("-1e39", f, '.'));
    EXPECT_TRUE(TryStrToFloat("1e-50", f, '.'));
    EXPECT_EQ(f, 0.0f);
    f = 5;
    EXPECT_FALSE(TryStrToFloat("1,5", f, '.'));
    EXPECT_EQ(f, 5.0f);
}

TEST(StrToFloat, UsesTheRecordsSeparatorAndRaisesWithTheText) {
    TFormatSettings comma;
    comma.DecimalSeparator = ',';
    comma.ThousandSeparator = ".";
    EXPECT_EQ(StrToFloat("12,5", comma), 12.5);
    EXPECT_EQ(StrToFloatDef("12.5", -1, comma), -1);
    double v = 0;
    EXPECT_TRUE(TryStrToFloat(" 3,25 ", v, comma));
    EXPECT_EQ(v, 3.25);
    try {
        StrToFloat("1.000,5", comma);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'1.000,5' is not a valid floating point value");
    }
}

}  // namespace
}  // namespace vemra
