#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace vantor::text {

// What a byte of a name, an owner or a local id is written as: an entity for the markup
// characters, a character reference for tab, LF and CR (so that the document stays on one
// line and reads back with them), U+FFFD for the other controls XML cannot hold; empty when
// the byte is written as it is.
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";
constexpr auto kEscapes = [] {
    std::array<std::string_view, 256> escapes{};
    for (std::size_t c = 0; c < 0x20; ++c) escapes[c] = kReplacementCharacter;
    escapes['\t'] = "&#9;";
    escapes['\n'] = "&#10;";
    escapes['\r'] = "&#13;";
    escapes['&'] = "&amp;";
    escapes['<'] = "&lt;";
    escapes['>'] = "&gt;";
    escapes['"'] = "&quot;";
    escapes['\''] = "&apos;";
    return escapes;
}();

// Hands text to emit piece by piece, escaped as kEscapes says; U+FFFE and U+FFFF (EF BF BE,
// EF BF BF in UTF-8) become U+FFFD as well.
template <typename Emit>
void forEachEscapedPiece(std::string_view text, Emit emit)
{
    std::size_t from = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::string_view replacement = kEscapes[byte];
        std::size_t length = 1;
        if (byte == 0xEF && i + 2 < text.size() && text[i + 1] == '\xBF'
            && (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
            replacement = kReplacementCharacter;
            length = 3;
        }
        if (replacement.empty()) continue;
        emit(text.substr(from, i - from));
        emit(replacement);
        i += length - 1;
        from = i + 1;
    }
    emit(text.substr(from));
}

// The longest entity that appendXmlEscaped writes for one byte.
inline constexpr std::size_t kLongestEntity = std::string_view("&quot;").size();

// Appends text with "&", "<", ">", '"' and "'" written as entities, so that names such as
// "Fish & Chips" keep the scene file well-formed. Tab, LF and CR become character references
// (the document stays one line), and the characters XML cannot hold (the other controls
// below U+0020, U+FFFE and U+FFFF) become U+FFFD. Never more than six bytes per byte of text.
void appendXmlEscaped(std::string& out, std::string_view text);

// Decodes the five predefined XML entities and numeric character references (decimal and
// hexadecimal) in one pass: "&amp;lt;" gives "&lt;". A listing line cannot hold a line break:
// a reference to CR or LF gives a blank, and so does a line break in the text itself (CR LF,
// a lone CR or a lone LF, each one line break, as XML reads them). A reference to a character
// XML does not allow, or one without its ";", stays as it is.
[[nodiscard]] std::string decodeXmlText(std::string_view text);
void appendXmlText(std::string& out, std::string_view text);  // appends the decoded text

}  // namespace vantor::text
