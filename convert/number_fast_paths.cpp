#include "number_fast_paths.h"

#include "number_forms.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace vantor::convert {

namespace {

constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13,
                                   1e14, 1e15};
constexpr std::uint64_t kIntegerPowersOfTen[] = {1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull,
                                                 10000000ull, 100000000ull, 1000000000ull};
constexpr int kMostDecimals = 9;

// Appends the decimal digits of value, at least width of them (zero-padded on the left).
void appendDigits(std::string& out, std::uint64_t value, int width)
{
    char buffer[24];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)error;  // 24 characters hold every uint64
    const auto length = static_cast<int>(end - buffer);
    if (length < width) out.append(static_cast<std::size_t>(width - length), '0');
    out.append(buffer, end);
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
    const double magnitude = std::fabs(value);
    if (!(magnitude >= 1e-4 && magnitude < 1e15)) {
        appendDecimal(out, value);
        return;
    }
    if (magnitude == std::floor(magnitude)) {
        // Whole values below 1E+15 have at most 15 digits and are written as they are.
        if (value < 0) out += '-';
        appendDigits(out, static_cast<std::uint64_t>(magnitude), 1);
        return;
    }
    // If a decimal of d <= 9 decimals reads back as the value, so does the one of 9 decimals
    // (the same number with zeros appended), and the rounding to 9 decimals finds it: the
    // scaled value is below 1E+15, so its rounding error stays far below one half.
    int decimals = kMostDecimals;
    while (decimals > 0 && magnitude * kPowersOfTen[decimals] >= 1e15) --decimals;
    const double scaled = std::nearbyint(magnitude * kPowersOfTen[decimals]);
    // The decimal scaled / 10^decimals reads back as the value, so it is the value's 15-digit
    // form: that form lies within half a unit of the last place of it.
    if (scaled >= 1e15 || scaled / kPowersOfTen[decimals] != magnitude) {
        appendDecimal(out, value);
        return;
    }
    auto whole = static_cast<std::uint64_t>(scaled);
    int shown = decimals;
    while (shown > 0 && whole % 10 == 0) {
        whole /= 10;
        --shown;
    }
    if (value < 0) out += '-';
    appendDigits(out, whole / kIntegerPowersOfTen[shown], 1);
    if (shown > 0) {
        out += '.';
        appendDigits(out, whole % kIntegerPowersOfTen[shown], shown);
    }
}

}  // namespace vantor::convert
