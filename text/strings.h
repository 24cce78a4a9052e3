#pragma once

#include <string>
#include <string_view>

namespace vantor::text {

// text with every occurrence of what removed, found left to right without overlap; an empty
// what leaves text as it is.
[[nodiscard]] std::string removeAll(std::string text, std::string_view what);

// Whether text is exactly four decimal numbers from 0 to 255 joined by "." (no leading zeros,
// no sign, no blanks, nothing else).
[[nodiscard]] bool isDottedIpv4(std::string_view text);

}  // namespace vantor::text
