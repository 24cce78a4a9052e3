#include "number_fast_paths.h"

#include "number_forms.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace vantor::convert {

namespace {

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                                   1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};
// 10^k for k from kLowestExponent to 15, as the nearest doubles.
constexpr int kLowestExponent = -5;
constexpr double kTens[] = {1e-5, 1e-4, 1e-3, 1e-2, 1e-1, 1e0,  1e1,  1e2,  1e3,  1e4, 1e5,
                            1e6,  1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// Writes the decimal digits of value at out (room for 20) and returns the end.
char* writeDigits(char* out, std::uint64_t value)
{
    return std::to_chars(out, out + 20, value).ptr;
}

// Rounds a value from 0 to below 2^52 to the nearest whole number, ties to even, as
// nearbyint does in the default rounding mode: adding 2^52 leaves no fraction bits, so the
// addition itself rounds, and subtracting it again is exact.
double roundWhole(double value)
{
    constexpr double kTwoToThe52 = 4503599627370496.0;
    return (value + kTwoToThe52) - kTwoToThe52;
}

// The decimal form through the general writer, for the values the quick path leaves.
char* writeDecimalFully(char* out, double value)
{
    std::string text;
    appendDecimal(text, value);
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

}  // namespace

std::optional<double> parseNumberQuickly(std::string_view text)
{
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) ++i;
    std::uint64_t mantissa = 0;
    int digits = 0;
    int decimals = 0;
    bool point = false;
    const std::size_t start = i;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
            ++digits;
            if (point) ++decimals;
        } else if (c == '.' && !point && i > start) {
            point = true;
        } else {
            return parseNumber(text);
        }
    }
    if (digits == 0 || digits > 15 || (point && decimals == 0)) return parseNumber(text);
    // Both operands are exact doubles (below 2^53 and 10^22), so the quotient is the
    // correctly rounded value of the decimal, as the full reader gives it.
    const double magnitude = static_cast<double>(mantissa) / kPowersOfTen[decimals];
    return negative ? -magnitude : magnitude;
}

void appendDecimalQuickly(std::string& out, double value)
{
    char buffer[kMostDecimalBytes];
    out.append(buffer, writeDecimalQuickly(buffer, value));
}

char* writeDecimalQuickly(char* out, double value)
{
    const double magnitude = std::fabs(value);
    if (magnitude == 0) {
        // Zero, negative zero included, is written without a sign.
        *out++ = '0';
        return out;
    }
    if (!(magnitude >= 1e-4 && magnitude < 1e15)) return writeDecimalFully(out, value);
    if (roundWhole(magnitude) == magnitude) {
        // Whole values below 1E+15 have at most 15 digits and are written as they are.
        if (value < 0) *out++ = '-';
        return writeDigits(out, static_cast<std::uint64_t>(magnitude));
    }
    // The decimal exponent: 10^exponent <= magnitude < 10^(exponent + 1), found from the
    // binary exponent and one or two comparisons. A boundary power that is no exact double
    // may put it one off; the range check below then hands the value on.
    // magnitude = m * 2^binary with m in [1, 2): magnitude is a normal double here.
    const int binary = static_cast<int>((std::bit_cast<std::uint64_t>(magnitude) >> 52) & 0x7FF) - 1023;
    int exponent = (binary * 1233) >> 12;  // about binary * log10(2), rounded down
    if (exponent < kLowestExponent) exponent = kLowestExponent;
    while (exponent > kLowestExponent && magnitude < kTens[exponent - kLowestExponent]) --exponent;
    while (exponent < 14 && magnitude >= kTens[exponent + 1 - kLowestExponent]) ++exponent;

    // The 15 significant digits as one whole number: magnitude * 10^(14 - exponent), where
    // the power (at most 10^18) is an exact double, so the product is off by at most half a
    // unit in its last place, 1/16 below 2^50. Unless the exact product might lie within that
    // distance of a half, rounding the computed product rounds the exact one, which is what
    // the 15-digit form does; the other cases go to the general writer.
    const double product = magnitude * kPowersOfTen[14 - exponent];
    const double digits15 = roundWhole(product);
    if (!(digits15 >= 1e14 && digits15 < 1e15) || std::fabs(product - digits15) >= 0.4375) {
        return writeDecimalFully(out, value);
    }
    char digits[24];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, static_cast<std::uint64_t>(digits15));
    (void)error;  // 15 digits
    int length = static_cast<int>(end - digits);
    while (length > 0 && digits[length - 1] == '0') --length;

    if (value < 0) *out++ = '-';
    if (exponent < 0) {
        // Below one: "0.", the zeros after the point, then the digits.
        *out++ = '0';
        *out++ = '.';
        for (int i = exponent + 1; i < 0; ++i) *out++ = '0';
        std::memcpy(out, digits, static_cast<std::size_t>(length));
        return out + length;
    }
    const int integerDigits = exponent + 1;
    if (length <= integerDigits) {
        // Not whole (checked above), so a fraction digit always remains; kept for safety.
        std::memcpy(out, digits, static_cast<std::size_t>(integerDigits));
        return out + integerDigits;
    }
    std::memcpy(out, digits, static_cast<std::size_t>(integerDigits));
    out += integerDigits;
    *out++ = '.';
    std::memcpy(out, digits + integerDigits, static_cast<std::size_t>(length - integerDigits));
    return out + (length - integerDigits);
}

char* writeInteger(char* out, std::int32_t value)
{
    return std::to_chars(out, out + kMostIntegerBytes, value).ptr;
}

}  // namespace vantor::convert
