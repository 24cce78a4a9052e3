#include "number_fast_paths.h"

#include "number_forms.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace vantor::convert {

namespace {

constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13,
                                   1e14, 1e15};
constexpr int kMostDecimals = 9;

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
    if (!(magnitude >= 1e-4 && magnitude < 1e15)) return writeDecimalFully(out, value);
    if (roundWhole(magnitude) == magnitude) {
        // Whole values below 1E+15 have at most 15 digits and are written as they are.
        if (value < 0) *out++ = '-';
        return writeDigits(out, static_cast<std::uint64_t>(magnitude));
    }
    // If a decimal of d <= 9 decimals reads back as the value, so does the one of 9 decimals
    // (the same number with zeros appended), and the rounding to 9 decimals finds it: the
    // scaled value is below 1E+15, so its rounding error stays far below one half.
    int decimals = kMostDecimals;
    while (decimals > 0 && magnitude * kPowersOfTen[decimals] >= 1e15) --decimals;
    // Below 1E+15, so well below 2^52, as roundWhole needs.
    const double scaled = roundWhole(magnitude * kPowersOfTen[decimals]);
    // The decimal scaled / 10^decimals reads back as the value, so it is the value's 15-digit
    // form: that form lies within half a unit of the last place of it.
    if (scaled >= 1e15 || scaled / kPowersOfTen[decimals] != magnitude) return writeDecimalFully(out, value);
    auto whole = static_cast<std::uint64_t>(scaled);
    int shown = decimals;
    while (shown > 0 && whole % 10 == 0) {
        whole /= 10;
        --shown;
    }
    if (value < 0) *out++ = '-';
    // All digits at once, then the point put in place: the value is no whole number, so at
    // least one decimal is shown, and a value below one gets "0." and leading zeros.
    char digits[24];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, whole);
    (void)error;  // 24 characters hold every uint64
    const auto length = static_cast<int>(end - digits);
    const int integerDigits = length - shown;
    if (integerDigits <= 0) {
        *out++ = '0';
        *out++ = '.';
        for (int i = integerDigits; i < 0; ++i) *out++ = '0';
        std::memcpy(out, digits, static_cast<std::size_t>(length));
        return out + length;
    }
    std::memcpy(out, digits, static_cast<std::size_t>(integerDigits));
    out += integerDigits;
    *out++ = '.';
    std::memcpy(out, digits + integerDigits, static_cast<std::size_t>(shown));
    return out + shown;
}

char* writeInteger(char* out, std::int32_t value)
{
    return std::to_chars(out, out + kMostIntegerBytes, value).ptr;
}

}  // namespace vantor::convert
