#include "text/number_forms.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

namespace vantor::text {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The characters a number may hold; rejects the "inf", "nan" and hex spellings that
// from_chars would otherwise accept.
bool isNumberCharacter(char c)
{
    return (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
}

// Any text parseNumber takes: blanks around it, an exponent, many digits.
std::optional<double> parseAnyNumber(std::string_view text)
{
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    for (const char c : text) {
        if (!isNumberCharacter(c)) return std::nullopt;
    }
    // A sign may stand only in front of the mantissa or the exponent.
    if (text.front() == '+') return std::nullopt;
    double value{};
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::general);
    if (error != std::errc{} || stop != end) return std::nullopt;
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

// Any finite value's decimal form, through the general writer: the classic %.15G, 15
// significant digits, trailing zeros dropped, the exponent form below 1E-04 and from 1E+15 on.
char* writeAnyDecimal(char* out, double value)
{
    if (value == 0.0 || !std::isfinite(value)) {
        // Zero is written without a sign; non-finite values never reach a writer because
        // every formula's inputs are finite, but they must not produce unreadable text.
        *out++ = '0';
        return out;
    }
    const auto [end, error] = std::to_chars(out, out + kMostDecimalBytes, value, std::chars_format::general, 15);
    if (error != std::errc{}) {
        *out++ = '0';
        return out;
    }
    for (char* p = out; p != end; ++p) {
        if (*p == 'e') *p = 'E';
    }
    return end;
}

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

// "00" to "99", two characters each.
constexpr auto kDigitPairs = [] {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
        pairs[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

void writePair(char* out, std::uint32_t value)
{
    std::memcpy(out, kDigitPairs.data() + 2 * value, 2);
}

// Writes the 15 digits of a value from 1E+14 to below 1E+15 at out, two at a time.
void write15Digits(char* out, std::uint64_t value)
{
    const auto high = static_cast<std::uint32_t>(value / 100000000);  // 7 digits
    auto low = static_cast<std::uint32_t>(value % 100000000);         // 8 digits
    out[0] = static_cast<char>('0' + high / 1000000);
    std::uint32_t rest = high % 1000000;
    writePair(out + 1, rest / 10000);
    rest %= 10000;
    writePair(out + 3, rest / 100);
    writePair(out + 5, rest % 100);
    writePair(out + 7, low / 1000000);
    low %= 1000000;
    writePair(out + 9, low / 10000);
    low %= 10000;
    writePair(out + 11, low / 100);
    writePair(out + 13, low % 100);
}

// Rounds a value from 0 to below 2^52 to the nearest whole number, ties to even, as
// nearbyint does in the default rounding mode: adding 2^52 leaves no fraction bits, so the
// addition itself rounds, and subtracting it again is exact.
double roundWhole(double value)
{
    constexpr double kTwoToThe52 = 4503599627370496.0;
    return (value + kTwoToThe52) - kTwoToThe52;
}

}  // namespace

std::optional<double> parseNumber(std::string_view text)
{
    // The plain forms that listings and scene files are mostly made of, "-"? digits
    // ("." digits)? with at most 15 digits in all, are read here; one division of two exact
    // doubles rounds them correctly. Every other text goes to the general reader.
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = p != end && *p == '-';
    if (negative) ++p;
    std::uint64_t mantissa = 0;
    const char* const integer = p;
    for (; p != end && isDigit(*p); ++p) mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
    const auto integerDigits = p - integer;
    std::ptrdiff_t decimals = 0;
    if (p != end && *p == '.' && integerDigits > 0) {
        const char* const fraction = ++p;
        for (; p != end && isDigit(*p); ++p) mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
        decimals = p - fraction;
        if (decimals == 0) return parseAnyNumber(text);
    }
    // Anything else (a second point, an exponent, blanks) and more than 15 digits go to the
    // general reader; so does a text without digits.
    const auto digits = integerDigits + decimals;
    if (p != end || digits == 0 || digits > 15) return parseAnyNumber(text);
    // Both operands are exact doubles (below 2^53 and 10^22), so the quotient is the
    // correctly rounded value of the decimal, as the general reader gives it.
    const double magnitude = static_cast<double>(mantissa) / kPowersOfTen[decimals];
    return negative ? -magnitude : magnitude;
}

std::optional<std::int32_t> toIntegerForm(double value)
{
    if (!std::isfinite(value)) return std::nullopt;
    // nearbyint rounds in the current mode, which the program never changes from
    // round-to-nearest-even.
    const double rounded = std::nearbyint(value);
    if (rounded < static_cast<double>(std::numeric_limits<std::int32_t>::min())
        || rounded > static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(rounded);
}

char* writeDecimal(char* out, double value)
{
    // Values that a decimal of at most 15 digits and 9 decimals reads back exactly, with
    // magnitudes from 0.0001 to below 1E+15, are written here; every other value, and the
    // few whose 15th digit the product below may not round as the exact value would, go to
    // the general writer.
    const double magnitude = std::fabs(value);
    if (magnitude == 0) {
        // Zero, negative zero included, is written without a sign.
        *out++ = '0';
        return out;
    }
    if (!(magnitude >= 1e-4 && magnitude < 1e15)) return writeAnyDecimal(out, value);
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
    // binary * log10(2), rounded down, is the exponent or one below it.
    int exponent = (binary * 1233) >> 12;
    if (exponent < kLowestExponent) exponent = kLowestExponent;
    if (exponent > 14) exponent = 14;
    if (magnitude < kTens[exponent - kLowestExponent]) {
        if (exponent > kLowestExponent) --exponent;
    } else if (exponent < 14 && magnitude >= kTens[exponent + 1 - kLowestExponent]) {
        ++exponent;
    }

    // The 15 significant digits as one whole number: magnitude * 10^(14 - exponent), where
    // the power (at most 10^18) is an exact double, so the product is off by at most half a
    // unit in its last place, 1/16 below 2^50. Unless the exact product might lie within that
    // distance of a half, rounding the computed product rounds the exact one, which is what
    // the 15-digit form does; the other cases go to the general writer.
    const double product = magnitude * kPowersOfTen[14 - exponent];
    const double digits15 = roundWhole(product);
    if (!(digits15 >= 1e14 && digits15 < 1e15) || std::fabs(product - digits15) >= 0.4375) {
        return writeAnyDecimal(out, value);
    }
    // The digits are copied in whole blocks of 16 bytes (the room allows for it), and only
    // the length of what counts depends on the value.
    char digits[32] = {};
    write15Digits(digits, static_cast<std::uint64_t>(digits15));
    int length = 15;
    while (length > 0 && digits[length - 1] == '0') --length;

    if (value < 0) *out++ = '-';
    if (exponent < 0) {
        // Below one: "0.", the zeros after the point (at most three), then the digits.
        std::memcpy(out, "0.000", 5);
        const int zeros = -exponent - 1;
        std::memcpy(out + 2 + zeros, digits, 16);
        return out + 2 + zeros + length;
    }
    const int integerDigits = exponent + 1;
    std::memcpy(out, digits, 16);
    // The 15 digits may hold no fraction at all (123456789012345.4 keeps 15 whole digits).
    if (length <= integerDigits) return out + integerDigits;
    out[integerDigits] = '.';
    std::memcpy(out + integerDigits + 1, digits + integerDigits, 16);
    return out + length + 1;
}

void appendDecimal(std::string& out, double value)
{
    char buffer[kMostDecimalBytes];
    out.append(buffer, writeDecimal(buffer, value));
}

bool decimalFormReadsBack(double value)
{
    if (!std::isfinite(value)) return false;
    if (std::fabs(value) < 1e308) return true;
    return parseNumber(formatDecimal(value)).has_value();
}

std::string formatDecimal(double value)
{
    std::string text;
    appendDecimal(text, value);
    return text;
}

char* writeInteger(char* out, std::int32_t value)
{
    return std::to_chars(out, out + kMostIntegerBytes, value).ptr;
}

void appendInteger(std::string& out, std::int64_t value)
{
    char buffer[24];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)error;  // 24 characters hold every int64
    out.append(buffer, end);
}

}  // namespace vantor::text
