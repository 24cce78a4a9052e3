// The public-address validation: an answer is accepted exactly when the system's own IPv4
// reader takes the trimmed text as a dotted address (four decimal numbers from 0 to 255,
// no leading zeros), and then the accepted text is that trimmed text.

#include "fuzz/fuzz_support.h"
#include "text/strings.h"

#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using vantor::fuzz::check;

const char* const vantor::fuzz::kTargetName = "public address";

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view answer(reinterpret_cast<const char*>(data), size);
    const auto address = vantor::text::parseDottedIpv4(answer);

    std::string_view trimmed = answer;
    while (!trimmed.empty() && isBlank(trimmed.front())) trimmed.remove_prefix(1);
    while (!trimmed.empty() && isBlank(trimmed.back())) trimmed.remove_suffix(1);
    // inet_pton reads a C string: a NUL inside would end it early.
    const bool expected = trimmed.find('\0') == std::string_view::npos && [&trimmed] {
        const std::string text(trimmed);
        in_addr parsed{};
        return inet_pton(AF_INET, text.c_str(), &parsed) == 1;
    }();

    check(address.has_value() == expected, "accepted exactly when a dotted IPv4 address");
    if (address) check(*address == trimmed, "the address is the trimmed answer");
    return 0;
}
