#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantor::convert {

// Shortcuts for the number forms that listings and scene files are mostly made of. Each
// gives exactly what parseNumber or appendDecimal gives, and hands back to them for every
// text or value it does not cover.

// Reads "-"? digits ("." digits)? with at most 15 digits in all, which one division of two
// exact doubles rounds correctly; any other text goes to parseNumber.
[[nodiscard]] std::optional<double> parseNumberQuickly(std::string_view text);

// Writes values that a decimal of at most 15 digits and 9 decimals reads back exactly, with
// magnitudes from 0.0001 to below 1E+15; any other value goes to appendDecimal.
void appendDecimalQuickly(std::string& out, double value);

}  // namespace vantor::convert
