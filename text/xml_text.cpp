#include "text/xml_text.h"

#include "text/text_codec.h"

#include <cstdint>
#include <optional>

namespace vantor::text {

namespace {

// The characters a reference may stand for in a listing: those XML allows, except CR and LF,
// which would cut a record's line in two (numericReference gives a blank for them).
bool isListingCharacter(std::uint32_t cp)
{
    return cp == 0x9 || (cp >= 0x20 && cp <= 0xD7FF) || (cp >= 0xE000 && cp <= 0xFFFD)
        || (cp >= 0x10000 && cp <= 0x10FFFF);
}

// The code point of a numeric reference's body ("#65", "#x41"), or nothing when it is not a
// reference to a character a listing can hold.
std::optional<std::uint32_t> numericReference(std::string_view body)
{
    if (body.size() < 2 || body[0] != '#') return std::nullopt;
    const bool hex = body[1] == 'x';
    const std::string_view digits = body.substr(hex ? 2 : 1);
    if (digits.empty()) return std::nullopt;
    std::uint32_t cp = 0;
    for (const char c : digits) {
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<std::uint32_t>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        cp = cp * (hex ? 16 : 10) + digit;
        if (cp > 0x10FFFF) return std::nullopt;
    }
    if (cp == 0xA || cp == 0xD) return std::uint32_t{' '};
    if (!isListingCharacter(cp)) return std::nullopt;
    return cp;
}

// Appends text with each line break (CR LF, lone CR, lone LF) as one blank.
void appendWithoutLineBreaks(std::string& out, std::string_view text)
{
    for (std::size_t from = 0;;) {
        const std::size_t cut = text.find_first_of("\r\n", from);
        if (cut == std::string_view::npos) {
            out.append(text.substr(from));
            return;
        }
        out.append(text.substr(from, cut - from));
        out += ' ';
        from = cut + (text[cut] == '\r' && text.substr(cut + 1, 1) == "\n" ? 2 : 1);
    }
}

}  // namespace

void appendXmlEscaped(std::string& out, std::string_view text)
{
    forEachEscapedPiece(text, [&out](std::string_view piece) { out += piece; });
}

std::string decodeXmlText(std::string_view text)
{
    std::string out;
    appendXmlText(out, text);
    return out;
}

void appendXmlText(std::string& out, std::string_view text)
{
    // Longest reference body worth looking at: "#x10FFFF" with leading zeros to spare.
    constexpr std::size_t kLongestReference = 16;
    std::size_t from = 0;
    for (;;) {
        const std::size_t amp = text.find('&', from);
        if (amp == std::string_view::npos) break;
        appendWithoutLineBreaks(out, text.substr(from, amp - from));
        from = amp + 1;
        const std::size_t semicolon = text.find(';', from);
        if (semicolon == std::string_view::npos || semicolon - from > kLongestReference) {
            out += '&';
            continue;
        }
        const std::string_view body = text.substr(from, semicolon - from);
        char named = 0;
        if (body == "lt") named = '<';
        else if (body == "gt") named = '>';
        else if (body == "amp") named = '&';
        else if (body == "quot") named = '"';
        else if (body == "apos") named = '\'';
        if (named != 0) {
            out += named;
            from = semicolon + 1;
        } else if (const auto cp = numericReference(body)) {
            appendUtf8(out, *cp);
            from = semicolon + 1;
        } else {
            out += '&';
        }
    }
    appendWithoutLineBreaks(out, text.substr(from));
}

}  // namespace vantor::text
