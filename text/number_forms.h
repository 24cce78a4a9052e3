#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantor::text {

// Reads a number the way listings and scene files write it: optional "-", digits, optional
// "." fraction, optional exponent (2E-05); blanks around it are allowed. The decimal
// separator is always ".", whatever the user's locale. Empty or anything else gives nothing,
// and so does a magnitude beyond the double range.
[[nodiscard]] std::optional<double> parseNumber(std::string_view text);

// Rounds half to even, as OpenSim's integer fields expect; a result outside int32 is a failure.
[[nodiscard]] std::optional<std::int32_t> toIntegerForm(double value);

// Writes a double in the decimal form: at most 15 significant digits, no trailing zeros,
// no point for whole values, "-" for negatives and never for zero; the exponent form
// (1E-05, 1.5E+20) only below 0.0001 or where the plain form would need more than 15 digits.
// parseNumber reads every text this writes.
[[nodiscard]] std::string formatDecimal(double value);

// Whether value is finite and its decimal form reads back as a finite number: near the top of
// the double range, 15 digits may round up beyond it (1.7976931348623157E+308 gives
// 1.79769313486232E+308).
[[nodiscard]] bool decimalFormReadsBack(double value);

// Appends the decimal form to out, for writers that build long lines.
void appendDecimal(std::string& out, double value);

// The room writeDecimal needs: the longest decimal forms ("-1.23456789012345E-308",
// "-0.000123456789012345") take 22 bytes, and digits are copied in blocks of 16 beyond them.
inline constexpr std::size_t kMostDecimalBytes = 40;

// Writes the decimal form at out, which must have room for kMostDecimalBytes; returns the end.
char* writeDecimal(char* out, double value);

// Appends the plain decimal digits of an integer, with "-" when negative.
void appendInteger(std::string& out, std::int64_t value);

// The most bytes the integer form of a 32-bit whole number takes ("-2147483648").
inline constexpr std::size_t kMostIntegerBytes = 11;

// Writes the integer form at out, which must have room for kMostIntegerBytes; returns the end.
char* writeInteger(char* out, std::int32_t value);

}  // namespace vantor::text
