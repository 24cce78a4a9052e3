#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantor::text {

// Shortcuts for the number forms that listings and scene files are mostly made of. Each
// gives exactly what parseNumber, appendDecimal or appendInteger gives, and hands back to
// them for every text or value it does not cover.

// Reads "-"? digits ("." digits)? with at most 15 digits in all, which one division of two
// exact doubles rounds correctly; any other text goes to parseNumber.
[[nodiscard]] std::optional<double> parseNumberQuickly(std::string_view text);

// Writes values that a decimal of at most 15 digits and 9 decimals reads back exactly, with
// magnitudes from 0.0001 to below 1E+15; any other value goes to appendDecimal.
void appendDecimalQuickly(std::string& out, double value);

// toIntegerForm without the library's rounding call for magnitudes below 2^31; any other
// value goes to toIntegerForm.
[[nodiscard]] std::optional<std::int32_t> toIntegerFormQuickly(double value);

// The room writeDecimalQuickly needs: the longest decimal forms ("-1.23456789012345E-308",
// "-0.000123456789012345") take 22 bytes, and digits are copied in blocks of 16 beyond them.
inline constexpr std::size_t kMostDecimalBytes = 40;
// The most bytes the integer form of a 32-bit whole number takes ("-2147483648").
inline constexpr std::size_t kMostIntegerBytes = 11;

// appendDecimalQuickly at out, which must have room for kMostDecimalBytes; returns the end.
char* writeDecimalQuickly(char* out, double value);

// appendInteger at out, which must have room for kMostIntegerBytes; returns the end.
char* writeInteger(char* out, std::int32_t value);

}  // namespace vantor::text
