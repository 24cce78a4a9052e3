#include "text/number_forms.h"

#include "testing/number_reference.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

using namespace vantor::text;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(NumberForms, ParseAcceptsOnlyTheWrittenForms)
{
    const std::vector<std::pair<const char*, std::optional<double>>> rows = {
        {"0", 0.0}, {"128.5", 128.5}, {"-0.5", -0.5}, {"2E-05", 2e-05}, {"1.5e+20", 1.5e20}, {"  100 ", 100.0},
        {"\t3", 3.0}, {"7.", 7.0}, {"", std::nullopt}, {"   ", std::nullopt}, {"-", std::nullopt},
        {"1,5", std::nullopt}, {"inf", std::nullopt}, {"nan", std::nullopt}, {"0x10", std::nullopt},
        {"+1", std::nullopt}, {"1 2", std::nullopt}, {"1e400", std::nullopt}, {"--1", std::nullopt},
        {"E5", std::nullopt}};
    for (const auto& [text, value] : rows) EXPECT_EQ(parseNumber(text), value) << "'" << text << "'";
}

TEST(NumberForms, IntegerFormRoundsHalfToEvenWithinInt32)
{
    const std::vector<std::pair<double, std::optional<std::int32_t>>> rows = {
        {0.5, 0}, {1.5, 2}, {2.5, 2}, {-2.5, -2}, {-3.5, -4}, {12.5, 12}, {37.5, 38}, {-0.4, 0}, {47500.0, 47500},
        {2147483647.0, 2147483647}, {2147483647.5, std::nullopt}, {2147483646.5, 2147483646},
        {-2147483648.5, std::numeric_limits<std::int32_t>::min()}, {-2147483649.0, std::nullopt},
        {kInf, std::nullopt}, {std::nan(""), std::nullopt}};
    for (const auto& [in, out] : rows) EXPECT_EQ(toIntegerForm(in), out) << in;
}

TEST(NumberForms, DecimalFormHasFifteenDigitsThatReadBack)
{
    const std::vector<std::pair<double, const char*>> rows = {
        {100.0, "100"}, {-0.5, "-0.5"}, {-0.0, "0"}, {200.0 / 3.0, "66.6666666666667"},
        {-0.333 * 100 + 256, "222.7"}, {0.1 + 0.2, "0.3"}, {(1.015 - 1) * 200 / 3, "0.999999999999993"},
        {0.0001, "0.0001"}, {0.00001, "1E-05"}, {-0.00002, "-2E-05"}, {123456789012345.0, "123456789012345"},
        {1234567890123456.0, "1.23456789012346E+15"}, {1e15, "1E+15"}, {-1e300, "-1E+300"}};
    for (const auto& [in, out] : rows) {
        EXPECT_EQ(formatDecimal(in), out);
        EXPECT_EQ(formatDecimal(parseNumber(out).value()), out);
    }
}

TEST(NumberForms, DecimalFormReadsBackBelowTheTopOfTheDoubleRange)
{
    constexpr double kLargest = std::numeric_limits<double>::max();  // 15 digits round it up beyond
    const std::vector<std::pair<double, bool>> rows = {
        {0.0, true}, {-1e300, true}, {1.79769313486231e308, true}, {-1.79769313486231e308, true},
        {kLargest, false}, {-kLargest, false}, {kInf, false}, {std::nan(""), false}};
    for (const auto& [in, out] : rows) EXPECT_EQ(decimalFormReadsBack(in), out) << in;
}

// The shortcuts inside the number functions against the plain readings, on the values at
// their edges; fuzz_number_forms tries any others.
TEST(NumberForms, ParseReadsWhatThePlainReadingReads)
{
    const std::vector<std::string> texts = {"0", "-0", "-0.000000", "128.500000", "1.015", "999999999999999",
                                            "9999999999999999", "0.1234567890123456", "1.", "-", "", ".5", "1e5",
                                            "2E-05", " 3", "3 ", "1,5", "--1", "1.2.3", "007"};
    for (const auto& text : texts) {
        const auto read = parseNumber(text);
        const auto plain = vantor::test::parseNumberPlainly(text);
        ASSERT_EQ(read.has_value(), plain.has_value()) << text;
        if (plain) {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(*read), std::bit_cast<std::uint64_t>(*plain)) << text;
        }
    }
}

TEST(NumberForms, WriteDecimalWritesThePlainFormWithinItsRoom)
{
    const std::vector<double> values = {0.0, -0.0, 206, 222.7, 66.66666666666667, 0.00009999999999999999, 1e15 - 1,
                                        (1.015 - 1) * 200 / 3, 999.9999999999999, 2147483647.5, 4.9e-324,
                                        -1.23456789012345e-300, -0.000123456789012345, -1.7976931348623157e308};
    for (const double value : values) {
        char room[kMostDecimalBytes];
        const char* end = writeDecimal(room, value);
        EXPECT_EQ(std::string(static_cast<const char*>(room), end), vantor::test::decimalFormPlainly(value)) << value;
    }
}

TEST(NumberForms, WriteIntegerFitsTheLongestInItsRoom)
{
    char room[kMostIntegerBytes];
    EXPECT_EQ(std::string(room, writeInteger(room, -2147483647 - 1)), "-2147483648");
    EXPECT_EQ(std::string(room, writeInteger(room, 720002)), "720002");
}

}  // namespace
