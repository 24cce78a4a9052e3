#pragma once

#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

// The number forms read and written word for word with the standard library, which the number
// functions, and the shortcuts they take for the forms listings are mostly made of, are held to.
namespace vantor::test {

// A number as listings and scene files write it: blanks around it, "-"? mantissa, exponent;
// no "+" in front, no "inf", "nan" or hex; finite.
inline std::optional<double> parseNumberPlainly(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::nullopt;
    text = text.substr(first, text.find_last_not_of(" \t") + 1 - first);
    if (text.find_first_not_of("0123456789.-+eE") != std::string_view::npos || text.front() == '+') return std::nullopt;
    double value{};
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || stop != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

// The decimal form as %.15G writes it, with "0" for zero (never "-0").
inline std::string decimalFormPlainly(double value)
{
    if (value == 0.0 || !std::isfinite(value)) return "0";
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    std::string text(buffer, error == std::errc{} ? end : buffer);
    for (char& c : text) {
        if (c == 'e') c = 'E';
    }
    return text;
}

}  // namespace vantor::test
