#include "text/text_codec.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace vantor::text {

namespace {

// Windows-1252 code points for the bytes 0x80 to 0x9F; the five bytes that code page leaves
// undefined map to the C1 control of the same value, as Windows itself decodes them.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Length of the valid UTF-8 sequence starting at i, or 0 when the bytes there are not one.
std::size_t validSequenceLength(std::string_view s, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        if (b0 == 0xE0) low = 0xA0;
        if (b0 == 0xED) high = 0x9F;  // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        if (b0 == 0xF0) low = 0x90;
        if (b0 == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > s.size()) return 0;
    const unsigned char b1 = byte(i + 1);
    if (b1 < low || b1 > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    }
    return length;
}

// The first position at or after i that holds a byte of 0x80 or above, found 32 and then 8
// bytes at a time: scene files of a whole region run to a hundred megabytes of plain ASCII.
std::size_t skipAscii(std::string_view s, std::size_t i)
{
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    constexpr std::size_t kBlock = 4 * sizeof(std::uint64_t);
    while (i + kBlock <= s.size()) {
        std::uint64_t words[4];
        std::memcpy(words, s.data() + i, kBlock);
        if (((words[0] | words[1] | words[2] | words[3]) & kHighBits) != 0) break;
        i += kBlock;
    }
    while (i + sizeof(std::uint64_t) <= s.size()) {
        std::uint64_t word = 0;
        std::memcpy(&word, s.data() + i, sizeof word);
        if ((word & kHighBits) != 0) return i;
        i += sizeof word;
    }
    while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
    return i;
}

// The length of the longest prefix of s that is valid UTF-8.
std::size_t validUtf8Length(std::string_view s, std::size_t i = 0)
{
    while (i < s.size()) {
        i = skipAscii(s, i);
        if (i == s.size()) break;
        const std::size_t length = validSequenceLength(s, i);
        if (length == 0) break;
        i += length;
    }
    return i;
}

}  // namespace

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool isValidUtf8(std::string_view text) { return validUtf8Length(text) == text.size(); }

std::string decodeText(std::string bytes)
{
    std::size_t start = 0;
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;

    // Most files are plain ASCII or valid UTF-8: check first and hand the buffer back
    // without copying it.
    std::size_t i = validUtf8Length(bytes, start);
    if (i == bytes.size()) {
        if (start != 0) bytes.erase(0, start);
        return bytes;
    }

    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    out.append(bytes, start, i - start);
    while (i < bytes.size()) {
        const std::size_t length = validSequenceLength(bytes, i);
        if (length != 0) {
            out.append(bytes, i, length);
            i += length;
            continue;
        }
        const auto b = static_cast<unsigned char>(bytes[i]);
        appendUtf8(out, b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : char32_t{b});
        ++i;
    }
    return out;
}

std::size_t countCharacters(std::string_view utf8)
{
    std::size_t count = 0;
    for (const char c : utf8) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    }
    return count;
}

LineCursor::LineCursor(std::string_view text)
    : m_text(text), m_nextCr(text.find('\r')), m_nextLf(text.find('\n'))
{
}

std::optional<std::string_view> LineCursor::next()
{
    constexpr std::size_t kNone = std::string_view::npos;
    if (m_begin >= m_text.size()) return std::nullopt;
    // The next CR and the next LF are each found with one fast scan and kept until a line
    // passes them, so a text costs two scans instead of a set search per character.
    if (m_nextCr != kNone && m_nextCr < m_begin) m_nextCr = m_text.find('\r', m_begin);
    if (m_nextLf != kNone && m_nextLf < m_begin) m_nextLf = m_text.find('\n', m_begin);
    const std::size_t end = std::min(m_nextCr, m_nextLf);
    const std::size_t begin = m_begin;
    if (end == kNone) {
        m_begin = m_text.size();
        return m_text.substr(begin);
    }
    m_begin = end + 1;
    if (m_text[end] == '\r' && m_begin < m_text.size() && m_text[m_begin] == '\n') ++m_begin;
    return m_text.substr(begin, end - begin);
}

std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    LineCursor cursor(text);
    while (const auto line = cursor.next()) lines.push_back(*line);
    return lines;
}

std::string toCrLfLines(std::string_view text)
{
    std::string out = normaliseLineEnds(text);
    if (!out.empty() && !out.ends_with("\r\n")) out += "\r\n";
    return out;
}

std::string normaliseLineEnds(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

namespace {

// Whether any of the eight bytes of word is below limit (at most 128): subtracting limit
// from each byte borrows into the high bit exactly there, unless the byte had it set already.
bool hasByteBelow(std::uint64_t word, unsigned limit)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    return ((word - kOnes * limit) & ~word & kHighBits) != 0;
}

}  // namespace

bool hasOnlyCrLfLineEnds(std::string_view text)
{
    // Every CR must be followed by an LF and every LF must follow a CR. Listings run to many
    // megabytes with a line end every hundred bytes or so: blocks of 32 bytes without any
    // control byte below 14 (CR is 13, LF is 10) are passed with a few operations per word,
    // and only the other blocks are looked at byte by byte.
    const char* const data = text.data();
    const std::size_t size = text.size();
    const auto lineEndAt = [data, size](std::size_t i) {
        if (data[i] == '\r') return i + 1 < size && data[i + 1] == '\n';
        if (data[i] == '\n') return i > 0 && data[i - 1] == '\r';
        return true;
    };
    constexpr std::size_t kBlock = 4 * sizeof(std::uint64_t);
    std::size_t i = 0;
    for (; i + kBlock <= size; i += kBlock) {
        std::uint64_t words[4];
        std::memcpy(words, data + i, kBlock);
        if (!hasByteBelow(words[0], 14) && !hasByteBelow(words[1], 14) && !hasByteBelow(words[2], 14)
            && !hasByteBelow(words[3], 14)) {
            continue;
        }
        for (std::size_t k = i; k < i + kBlock; ++k) {
            if (!lineEndAt(k)) return false;
        }
    }
    for (; i < size; ++i) {
        if (!lineEndAt(i)) return false;
    }
    return true;
}

}  // namespace vantor::text
