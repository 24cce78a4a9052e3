#include "convert/number_fast_paths.h"

#include "convert/number_forms.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

using vantor::convert::appendDecimalQuickly;
using vantor::convert::formatDecimal;
using vantor::convert::parseNumber;
using vantor::convert::parseNumberQuickly;

namespace {

std::string quickly(double value)
{
    std::string text;
    appendDecimalQuickly(text, value);
    return text;
}

// Equal as doubles, and with the same sign for zeros.
void expectSameNumber(std::optional<double> quick, std::optional<double> full, const std::string& text)
{
    ASSERT_EQ(quick.has_value(), full.has_value()) << text;
    if (!full) return;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(*quick), std::bit_cast<std::uint64_t>(*full)) << text;
}

TEST(NumberFastPaths, ReadsLikeTheFullReader)
{
    const std::vector<std::string> texts = {
        "0", "-0", "0.000000", "-0.000000", "128.500000", "0.70711", "-0.333", "1.015", "2.005", "999999999999999",
        "9999999999999999", "0.123456789012345", "0.1234567890123456", "1.", "-", "", ".5", "1e5", "2E-05",
        " 3", "3 ", "1,5", "--1", "1.2.3", "007", "-0.5", "255.999999", "0.000001"};
    for (const auto& text : texts) expectSameNumber(parseNumberQuickly(text), parseNumber(text), text);

    std::mt19937_64 engine(7);
    for (int i = 0; i < 200000; ++i) {
        const int decimals = static_cast<int>(engine() % 10);
        const auto whole = engine() % 1000000;
        std::string text = (engine() % 2 ? "-" : "") + std::to_string(whole);
        if (decimals > 0) {
            std::string fraction = std::to_string(engine() % 1000000000);
            fraction.resize(static_cast<std::size_t>(decimals), '0');
            text += "." + fraction;
        }
        expectSameNumber(parseNumberQuickly(text), parseNumber(text), text);
    }
}

TEST(NumberFastPaths, WritesLikeTheDecimalForm)
{
    std::vector<double> values = {0.0, -0.0, 1, -1, 100, 206, 222.7, 66.66666666666667, 0.0001, 0.00009999999999999999,
                                  1e-5, 1e15, 999999999999999.0, 1e15 - 1, 0.1 + 0.2, 153.5, 0.70711, -0.70711,
                                  (1.015 - 1) * 200 / 3, 999.9999999999999, 0.30000000000000004, 12345.678901234,
                                  2147483647.5, 1e300, 4.9e-324};
    std::mt19937_64 engine(11);
    for (int i = 0; i < 200000; ++i) {
        // Sums and products of listing-like values, then arbitrary doubles of moderate size.
        const double a = static_cast<double>(engine() % 2000000) / 1000.0 - 1000.0;
        const double b = static_cast<double>(engine() % 1000000) / 1000000.0;
        values.push_back(a - b);
        values.push_back(b * 100);
        values.push_back((b - 1) * 200 / 3);
        values.push_back(200 - b * 100);
        values.push_back(std::ldexp(static_cast<double>(engine() >> 11), -static_cast<int>(engine() % 80)));
    }
    for (const double value : values) EXPECT_EQ(quickly(value), formatDecimal(value)) << value;
}

TEST(NumberFastPaths, WritesValuesNearA15DigitTieLikeTheDecimalForm)
{
    // Decimals of 16 and 17 significant digits ending in 5 lie next to a tie of the 15-digit
    // rounding, and so do their neighbouring doubles; every magnitude from 1E-04 to 1E+15.
    std::mt19937_64 engine(29);
    for (int i = 0; i < 100000; ++i) {
        const int exponent = static_cast<int>(engine() % 20) - 4;
        std::string text = std::to_string(1 + engine() % 9) + "." + std::to_string(engine() % 100000000000000ull);
        text.resize(17, '0');
        text += (engine() % 2 ? "5" : "49") + std::string("E") + std::to_string(exponent);
        const double value = *parseNumber(text);
        for (const double near : {value, std::nextafter(value, 0.0), std::nextafter(value, 1e300), -value}) {
            ASSERT_EQ(quickly(near), formatDecimal(near)) << text;
        }
    }
}

TEST(NumberFastPaths, RoundsToIntegersLikeTheIntegerForm)
{
    std::vector<double> values = {0.0, -0.0, 0.5, -0.5, 1.5, -1.5, 2.5, -2.5, 0.49999999999999994, 12500.5, 12501.5,
                                  2147483647.0, 2147483647.4, 2147483647.5, -2147483648.0, -2147483648.5,
                                  -2147483648.6, 2147483648.0, -2147483649.0, 1e300, -1e300,
                                  std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
                                  std::nextafter(2147483647.5, 0.0), std::nextafter(-2147483648.5, 0.0)};
    std::mt19937_64 engine(5);
    for (int i = 0; i < 100000; ++i) {
        const double whole = static_cast<double>(static_cast<std::int64_t>(engine() % 4400000000ull) - 2200000000ll);
        values.push_back(whole + 0.5);
        values.push_back(whole + static_cast<double>(engine() % 1000) / 1000.0);
        values.push_back(static_cast<double>(engine() % 100000) / 100000.0 * 50000);
    }
    for (const double value : values) {
        EXPECT_EQ(vantor::convert::toIntegerFormQuickly(value), vantor::convert::toIntegerForm(value)) << value;
    }
}

TEST(NumberFastPaths, WritesIntegersLikeTheIntegerForm)
{
    const std::vector<std::int32_t> values = {0, 1, -1, 9, 10, -10, 720002, 2147483647, -2147483647 - 1, 1000000000};
    for (const std::int32_t value : values) {
        char buffer[vantor::convert::kMostIntegerBytes];
        const std::string quick(buffer, vantor::convert::writeInteger(buffer, value));
        std::string full;
        vantor::convert::appendInteger(full, value);
        EXPECT_EQ(quick, full);
    }
}

TEST(NumberFastPaths, LongestDecimalFormsFitTheirRoom)
{
    for (const double value : {-1.23456789012345e-300, -0.000123456789012345, -1.23456789012345e+300,
                               -123456789012345.0, -0.00012345678901234567, -4.9e-324, -1.7976931348623157e308}) {
        char buffer[vantor::convert::kMostDecimalBytes];
        const char* end = vantor::convert::writeDecimalQuickly(buffer, value);
        EXPECT_LE(static_cast<std::size_t>(end - buffer), sizeof buffer);
        EXPECT_EQ(std::string(static_cast<const char*>(buffer), end), formatDecimal(value));
    }
}

}  // namespace
