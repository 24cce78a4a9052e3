#include "convert/number_forms.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

using vantor::convert::formatDecimal;
using vantor::convert::parseNumber;
using vantor::convert::toIntegerForm;

namespace {

struct ParseCase {
    const char* text;
    std::optional<double> value;
};

class ParseNumber : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseNumber, AcceptsOnlyTheWrittenForms)
{
    EXPECT_EQ(parseNumber(GetParam().text), GetParam().value) << "text: '" << GetParam().text << "'";
}

INSTANTIATE_TEST_SUITE_P(Forms, ParseNumber, ::testing::Values(
    ParseCase{"0", 0.0}, ParseCase{"128.5", 128.5}, ParseCase{"-0.5", -0.5}, ParseCase{"2E-05", 2e-05},
    ParseCase{"1.5e+20", 1.5e20}, ParseCase{"  100 ", 100.0}, ParseCase{"\t3", 3.0}, ParseCase{"0.000000", 0.0},
    ParseCase{"7.", 7.0}, ParseCase{"", std::nullopt}, ParseCase{"   ", std::nullopt}, ParseCase{"-", std::nullopt},
    ParseCase{"1,5", std::nullopt}, ParseCase{"abc", std::nullopt}, ParseCase{"inf", std::nullopt},
    ParseCase{"nan", std::nullopt}, ParseCase{"0x10", std::nullopt}, ParseCase{"+1", std::nullopt},
    ParseCase{"1 2", std::nullopt}, ParseCase{"1e400", std::nullopt}, ParseCase{"--1", std::nullopt},
    ParseCase{"1-", std::nullopt}, ParseCase{"E5", std::nullopt}));

struct IntCase {
    double in;
    std::optional<std::int32_t> out;
};

class IntegerForm : public ::testing::TestWithParam<IntCase> {};

TEST_P(IntegerForm, RoundsHalfToEvenWithinInt32)
{
    EXPECT_EQ(toIntegerForm(GetParam().in), GetParam().out) << "value: " << GetParam().in;
}

INSTANTIATE_TEST_SUITE_P(Ties, IntegerForm, ::testing::Values(
    IntCase{0.5, 0}, IntCase{1.5, 2}, IntCase{2.5, 2}, IntCase{3.5, 4}, IntCase{-2.5, -2}, IntCase{-3.5, -4},
    IntCase{12.5, 12}, IntCase{37.5, 38}, IntCase{2.4999999, 2}, IntCase{-0.4, 0}, IntCase{47500.0, 47500},
    IntCase{2147483647.0, 2147483647}, IntCase{2147483647.5, std::nullopt}, IntCase{2147483646.5, 2147483646},
    IntCase{-2147483648.0, std::numeric_limits<std::int32_t>::min()}, IntCase{-2147483648.5, -2147483648LL},
    IntCase{-2147483649.0, std::nullopt}, IntCase{3e9, std::nullopt},
    IntCase{std::numeric_limits<double>::infinity(), std::nullopt}, IntCase{std::nan(""), std::nullopt}));

struct DecimalCase {
    double in;
    const char* out;
};

class DecimalForm : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(DecimalForm, WritesFifteenSignificantDigits)
{
    EXPECT_EQ(formatDecimal(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Values, DecimalForm, ::testing::Values(
    DecimalCase{100.0, "100"}, DecimalCase{-0.5, "-0.5"}, DecimalCase{0.0, "0"}, DecimalCase{-0.0, "0"},
    DecimalCase{100.0 / 3.0, "33.3333333333333"}, DecimalCase{200.0 / 3.0, "66.6666666666667"},
    DecimalCase{-0.333 * 100 + 256, "222.7"}, DecimalCase{125.5, "125.5"}, DecimalCase{0.1 + 0.2, "0.3"},
    DecimalCase{(1.015 - 1) * 200 / 3, "0.999999999999993"}, DecimalCase{0.0001, "0.0001"},
    DecimalCase{0.00001, "1E-05"}, DecimalCase{2e-05, "2E-05"}, DecimalCase{-0.00002, "-2E-05"},
    DecimalCase{123456789012345.0, "123456789012345"}, DecimalCase{1234567890123456.0, "1.23456789012346E+15"},
    DecimalCase{1e15, "1E+15"}, DecimalCase{1.5e20, "1.5E+20"}, DecimalCase{-1e300, "-1E+300"}));

TEST(DecimalForm, ReadsBackWhatItWrites)
{
    for (const double value : {1e-05, -2.5e-07, 1.5e20, 33.3333333333333, 0.999999999999993, 1e-300, 6e15}) {
        const auto text = formatDecimal(value);
        const auto back = parseNumber(text);
        ASSERT_TRUE(back.has_value()) << text;
        EXPECT_EQ(formatDecimal(*back), text);
    }
}

}  // namespace
