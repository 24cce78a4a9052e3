#include "text/number_forms.h"

#include <charconv>
#include <cmath>
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

}  // namespace

std::optional<double> parseNumber(std::string_view text)
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

void appendDecimal(std::string& out, double value)
{
    if (value == 0.0 || !std::isfinite(value)) {
        // Zero is written without a sign; non-finite values never reach a writer because
        // every formula's inputs are finite, but they must not produce unreadable text.
        out += '0';
        return;
    }
    char buffer[40];
    // The general form with precision 15 is the classic %.15G: 15 significant digits,
    // trailing zeros dropped, the exponent form below 1E-04 and from 1E+15 on.
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value,
                                            std::chars_format::general, 15);
    if (error != std::errc{}) {
        out += '0';
        return;
    }
    for (char* p = buffer; p != end; ++p) {
        if (*p == 'e') *p = 'E';
    }
    out.append(buffer, end);
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

void appendInteger(std::string& out, std::int64_t value)
{
    char buffer[24];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)error;  // 24 characters hold every int64
    out.append(buffer, end);
}

}  // namespace vantor::text
