#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vantor::text {

// text with every occurrence of what removed, found left to right without overlap; an empty
// what leaves text as it is.
[[nodiscard]] std::string removeAll(std::string text, std::string_view what);

// Whether text is exactly four decimal numbers from 0 to 255 joined by "." (no leading zeros,
// no sign, no blanks, nothing else).
[[nodiscard]] bool isDottedIpv4(std::string_view text);

// The dotted address in an answer of the address service: after trimming blanks and line
// ends, an address isDottedIpv4 takes; anything else gives nothing.
[[nodiscard]] std::optional<std::string> parseDottedIpv4(std::string_view answer);

// How many characters of a record or a name a message shows at most.
inline constexpr std::size_t kMessageExcerptLength = 300;

// text as a message shows it: whole when it has at most length characters, else its first
// length characters followed by "…". Characters are UTF-8 sequences, never cut apart.
[[nodiscard]] std::string messageExcerpt(std::string_view text, std::size_t length = kMessageExcerptLength);

}  // namespace vantor::text
