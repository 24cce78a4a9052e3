// The number forms: the decimal form of any finite double reads back as a number whose own
// decimal form is the same text, within the 15 digits written (beyond 1.79769313486231E+308
// in magnitude the form is refused when read); the integer form rounds half to even and
// reads back exactly; the shortcuts inside the number functions give what the plain readings
// with the standard library give; and any text parseNumber accepts is a finite number whose
// forms pass the same checks.

#include "text/number_forms.h"

#include "testing/number_reference.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

using namespace vantor::text;

namespace {

// The largest decimal form of 15 digits within the double range.
constexpr double kLargestReadBack = 1.79769313486231E+308;

void check(bool condition, const char* what, double value)
{
    if (condition) return;
    std::fprintf(stderr, "number forms fuzz check failed: %s (value %.17g)\n", what, value);
    std::abort();
}

bool sameNumber(const std::optional<double>& a, const std::optional<double>& b)
{
    if (a.has_value() != b.has_value()) return false;
    return !a || (*a == *b && std::signbit(*a) == std::signbit(*b));
}

void checkDecimalForm(double value)
{
    const std::string text = formatDecimal(value);
    check(text.find_first_not_of("0123456789.-E+") == std::string::npos, "only number characters", value);
    const std::optional<double> back = parseNumber(text);
    if (back) {
        check(formatDecimal(*back) == text, "the decimal form of what it reads is the same text", value);
        const double error = std::fabs(*back - value);
        check(error <= std::fabs(value) * 1e-14 + std::numeric_limits<double>::denorm_min(),
              "the decimal form keeps 15 digits", value);
    } else {
        // Only the largest doubles round beyond the double range in 15 digits
        // (1.79769313486232E+308); the form is then refused, never misread, and a
        // conversion refuses such values before writing them.
        check(std::fabs(value) > kLargestReadBack, "the decimal form reads back", value);
    }

    check(text == vantor::test::decimalFormPlainly(value), "the decimal form is the plain %.15G form", value);
    // Exactly the promised room, on the heap, so that a longer write is caught.
    const auto room = std::make_unique<char[]>(kMostDecimalBytes);
    const char* end = writeDecimal(room.get(), value);
    check(std::string_view(room.get(), static_cast<std::size_t>(end - room.get())) == text,
          "the decimal writer writes the decimal form within its room", value);
}

void checkIntegerForm(double value)
{
    const std::optional<std::int32_t> rounded = toIntegerForm(value);
    // Ties go to the even neighbour, so -2147483648.5 still fits and 2147483647.5 does not.
    const bool fits = value >= -2147483648.5 && value < 2147483647.5;
    check(rounded.has_value() == fits, "the integer form exists exactly within 32 bits", value);
    if (!rounded) return;
    const double difference = std::fabs(value - static_cast<double>(*rounded));
    check(difference <= 0.5, "the integer form is the nearest whole number", value);
    if (difference == 0.5) check(*rounded % 2 == 0, "ties round to even", value);

    std::string text;
    appendInteger(text, *rounded);
    const auto room = std::make_unique<char[]>(kMostIntegerBytes);
    const char* end = writeInteger(room.get(), *rounded);
    check(std::string_view(room.get(), static_cast<std::size_t>(end - room.get())) == text,
          "the integer writer writes the integer form within its room", value);
    const std::optional<double> back = parseNumber(text);
    check(back && *back == static_cast<double>(*rounded), "the integer form reads back exactly", value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first eight bytes are a double's bits; the whole input is also read as text.
    if (size >= sizeof(double)) {
        double value;
        std::memcpy(&value, data, sizeof value);
        if (std::isfinite(value)) {
            checkDecimalForm(value);
            checkIntegerForm(value);
        }
    }

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<double> parsed = parseNumber(text);
    check(sameNumber(parsed, vantor::test::parseNumberPlainly(text)), "the reader reads what the plain reading reads",
          parsed.value_or(0));
    if (parsed) {
        check(std::isfinite(*parsed), "a number read is finite", *parsed);
        checkDecimalForm(*parsed);
        checkIntegerForm(*parsed);
    }
    return 0;
}
