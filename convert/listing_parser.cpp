#include "listing_parser.h"

#include "number_forms.h"
#include "text_codec.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>

namespace vantor::convert {

namespace {

constexpr std::string_view kCrLf = "\r\n";

// The characters at which the field split stops: blanks, "<" and ">" are dropped, "," ends a
// field.
constexpr auto kFieldBreaks = [] {
    std::array<bool, 256> breaks{};
    breaks[' '] = breaks['<'] = breaks['>'] = breaks[','] = true;
    return breaks;
}();

// 1-based position of needle in text at or after position start, 0 when absent: the
// positions the header parse is defined in.
std::size_t findFrom(std::string_view text, std::string_view needle, std::size_t start)
{
    if (start == 0 || start > text.size()) return 0;
    const std::size_t found = text.find(needle, start - 1);
    return found == std::string_view::npos ? 0 : found + 1;
}

// The text from 1-based position start, length characters long; nothing for a negative length.
std::optional<std::string_view> middle(std::string_view text, std::size_t start, std::ptrdiff_t length)
{
    if (length < 0) return std::nullopt;
    if (start > text.size()) return std::string_view{};
    return text.substr(start - 1, static_cast<std::size_t>(length));
}

std::ptrdiff_t difference(std::size_t a, std::size_t b)
{
    return static_cast<std::ptrdiff_t>(a) - static_cast<std::ptrdiff_t>(b);
}

// Byte index after skipping count UTF-8 characters from index; may pass the end.
std::size_t skipCharacters(std::string_view text, std::size_t index, int count)
{
    for (int i = 0; i < count; ++i) {
        if (index >= text.size()) return index + 1;
        ++index;
        while (index < text.size() && (static_cast<unsigned char>(text[index]) & 0xC0) == 0x80) ++index;
    }
    return index;
}

bool isBlankLine(std::string_view line)
{
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

std::string replaceAll(std::string_view text, std::string_view needle)
{
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    while (true) {
        const std::size_t found = text.find(needle, from);
        if (found == std::string_view::npos) break;
        out.append(text, from, found - from);
        from = found + needle.size();
    }
    out.append(text, from);
    return out;
}

}  // namespace

std::string normaliseLineEnds(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += kCrLf;
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += kCrLf;
        } else {
            out += c;
        }
    }
    return out;
}

bool hasOnlyCrLfLineEnds(std::string_view text)
{
    // Every LF must follow a CR; then every CR is followed by an LF exactly when there are
    // as many CRs as LFs. memchr keeps this fast on listings of many megabytes.
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    std::size_t lineFeeds = 0;
    for (const char* p = begin; p != end;) {
        const auto* found = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        if (!found) break;
        if (found == begin || found[-1] != '\r') return false;
        ++lineFeeds;
        p = found + 1;
    }
    std::size_t returns = 0;
    for (const char* p = begin; p != end;) {
        const auto* found = static_cast<const char*>(std::memchr(p, '\r', static_cast<std::size_t>(end - p)));
        if (!found) break;
        ++returns;
        p = found + 1;
    }
    return returns == lineFeeds;
}

std::optional<RezOffset> parseHeader(std::string_view headerLine, std::string_view rezX, std::string_view rezY,
                                     std::string_view rezZ)
{
    const std::string_view h = headerLine;
    std::size_t a = findFrom(h, "<", 1) + 1;
    std::size_t b = findFrom(h, ",", a);
    const auto xText = middle(h, a, difference(b, a));
    a = findFrom(h, ",", a) + 1;
    b = findFrom(h, ",", a + 1);
    const auto yText = middle(h, a, difference(b, a));
    a = findFrom(h, ",", a) + 1;
    b = findFrom(h, ">", a + 1);
    const auto zText = middle(h, a, difference(b, a));
    if (!xText || !yText || !zText) return std::nullopt;

    const auto x = parseNumber(*xText);
    const auto y = parseNumber(*yText);
    const auto z = parseNumber(*zText);
    const auto userX = parseNumber(rezX);
    const auto userY = parseNumber(rezY);
    const auto userZ = parseNumber(rezZ);
    if (!x || !y || !z || !userX || !userY || !userZ) return std::nullopt;
    const RezOffset offset{*x - *userX, *y - *userY, *z - *userZ};
    if (!std::isfinite(offset.x) || !std::isfinite(offset.y) || !std::isfinite(offset.z)) return std::nullopt;
    return offset;
}

bool parseRecord(std::string_view recordText, PrimRecord& record)
{
    std::string& joined = record.recordText;
    joined.clear();
    for (std::size_t from = 0;;) {
        const std::size_t crlf = recordText.find(kCrLf, from);
        if (crlf == std::string_view::npos) {
            joined.append(recordText, from);
            break;
        }
        joined.append(recordText, from, crlf - from);
        from = crlf + kCrLf.size();
    }

    // The name lies between "]" plus two characters (the blanks after the time) and ": ".
    const std::size_t bracket = joined.find(']');
    const std::size_t colon = joined.find(": ");
    if (colon == std::string::npos) return false;
    const std::size_t nameStart = skipCharacters(joined, bracket == std::string::npos ? 0 : bracket + 1, 2);
    if (nameStart > colon) return false;
    record.name.assign(joined, nameStart, colon - nameStart);

    std::size_t count = 0;
    auto startField = [&record, &count]() -> std::string& {
        if (count == record.fields.size()) record.fields.emplace_back();
        std::string& field = record.fields[count];
        field.clear();
        return field;
    };
    std::string* field = &startField();
    const char* const data = joined.data();
    const std::size_t size = joined.size();
    for (std::size_t i = colon + 2; i < size;) {
        std::size_t stop = i;
        while (stop < size && !kFieldBreaks[static_cast<unsigned char>(data[stop])]) ++stop;
        if (stop > i) field->append(data + i, stop - i);
        if (stop == size) break;
        if (data[stop] == ',') {
            ++count;
            field = &startField();
        }
        i = stop + 1;
    }
    // What follows the last comma (line B's last value and the CR) is not a field.
    record.fields.resize(count);
    return count >= 5;
}

std::optional<PrimRecord> parseRecord(std::string_view recordText)
{
    PrimRecord record;
    if (!parseRecord(recordText, record)) return std::nullopt;
    return record;
}

PrimListing::PrimListing(std::string_view text)
{
    m_textBegin = text.data();
    m_total = text.size() + kCrLf.size();
    const std::size_t headerEnd = text.find(kCrLf);
    const std::string_view header = text.substr(0, headerEnd);
    m_header.assign(header);
    m_header += '\r';

    const bool tidy = !header.empty() && hasOnlyCrLfLineEnds(text);
    if (tidy && headerEnd != std::string_view::npos) buildLines(text.substr(headerEnd + kCrLf.size()));
    bool repeated = false;
    for (const std::string_view line : m_lines) {
        if (line.ends_with(header)) {
            repeated = true;
            break;
        }
    }
    if (tidy && !repeated) return;

    // Removing the header line's other occurrences leaves lone LFs, which the line model
    // does not hold: take the rest as plain text.
    m_literal = true;
    m_lines.clear();
    m_lineHashes.clear();
    m_next.clear();
    m_prev.clear();
    m_alive.clear();
    m_blank.clear();
    m_pairs.clear();
    m_buckets.clear();
    m_head = kNone;
    std::string full(text);
    full += kCrLf;
    m_text = replaceAll(full, m_header);
}

void PrimListing::buildLines(std::string_view rest)
{
    std::size_t begin = 0;
    while (true) {
        const std::size_t end = rest.find(kCrLf, begin);
        if (end == std::string_view::npos) {
            m_lines.push_back(rest.substr(begin));
            break;
        }
        m_lines.push_back(rest.substr(begin, end - begin));
        begin = end + kCrLf.size();
    }
    const auto count = static_cast<std::uint32_t>(m_lines.size());
    m_lineHashes.resize(count);
    m_next.resize(count);
    m_prev.resize(count);
    m_alive.assign(count, true);
    m_blank.resize(count);
    const std::hash<std::string_view> hasher;
    for (std::uint32_t i = 0; i < count; ++i) {
        m_lineHashes[i] = hasher(m_lines[i]);
        m_next[i] = i + 1 < count ? i + 1 : kNone;
        m_prev[i] = i > 0 ? i - 1 : kNone;
        m_blank[i] = isBlankLine(m_lines[i]);
        if (!m_blank[i]) ++m_liveNonBlank;
    }
    m_head = count > 0 ? 0 : kNone;
    std::size_t buckets = 16;
    while (buckets < 2 * static_cast<std::size_t>(count)) buckets *= 2;
    m_buckets.assign(buckets, kNone);
    m_bucketMask = buckets - 1;
    // Each removal joins at most one new pair, and at most half the lines go in pairs.
    m_pairs.reserve(static_cast<std::size_t>(count) + count / 2 + 1);
    for (std::uint32_t i = 0; i + 1 < count; ++i) indexPair(i, i + 1);
}

std::uint64_t PrimListing::pairHash(std::uint32_t first, std::uint32_t second) const
{
    const std::uint64_t a = m_lineHashes[first];
    const std::uint64_t b = m_lineHashes[second];
    return a ^ (b * 0x9E3779B97F4A7C15ull + 0x7F4A7C15ull + (a << 6) + (a >> 2));
}

void PrimListing::indexPair(std::uint32_t first, std::uint32_t second)
{
    const std::uint64_t hash = pairHash(first, second);
    std::uint32_t& bucket = m_buckets[hash & m_bucketMask];
    m_pairs.push_back(PairEntry{hash, first, second, bucket});
    bucket = static_cast<std::uint32_t>(m_pairs.size() - 1);
}

void PrimListing::removePair(std::uint32_t first, std::uint32_t second)
{
    m_alive[first] = false;
    m_alive[second] = false;
    if (!m_blank[first]) --m_liveNonBlank;
    if (!m_blank[second]) --m_liveNonBlank;
    const std::uint32_t before = m_prev[first];
    const std::uint32_t after = m_next[second];
    if (before == kNone) {
        m_head = after;
    } else {
        m_next[before] = after;
    }
    if (after != kNone) m_prev[after] = before;
    // The lines around the removed pair now stand side by side and may form a record text
    // that a later cut removes.
    if (before != kNone && after != kNone) indexPair(before, after);
}

CutOutcome PrimListing::cutRecord(std::string& recordText)
{
    // The guard value is the previous record's line A length plus 2.
    if (m_guard <= 30) return CutOutcome::GuardStop;
    return m_literal ? cutLiteralRecord(recordText) : cutLineRecord(recordText);
}

CutOutcome PrimListing::cutLineRecord(std::string& recordText)
{
    // Nothing but blanks and line ends left: the listing is done, even when it ended with
    // empty lines.
    if (m_liveNonBlank == 0) return CutOutcome::EndOfListing;
    const std::uint32_t first = m_head;
    const std::string_view lineA = m_lines[first];
    const std::size_t p1 = countCharacters(lineA) + 2;
    m_guard = p1;
    const std::uint32_t second = m_next[first];
    if (second == kNone) return CutOutcome::EndOfListing;
    const std::string_view lineB = m_lines[second];
    const std::size_t p2 = p1 + 2 + countCharacters(lineB);
    if (p2 < 30) return CutOutcome::RecordTooShort;

    recordText.clear();
    recordText += '\n';
    recordText += lineA;
    recordText += kCrLf;
    recordText += lineB;
    recordText += '\r';

    // Every occurrence of the record text is a pair of adjacent lines equal to (A, B); they
    // go left to right without overlapping, as a replace-all over the text would take them.
    // Pairs that come together during this pass are not part of it.
    const std::uint64_t hash = pairHash(first, second);
    const auto isLive = [this](const PairEntry& entry) {
        return m_alive[entry.first] && m_alive[entry.second] && m_next[entry.first] == entry.second;
    };
    m_matching.clear();
    std::uint32_t* link = &m_buckets[hash & m_bucketMask];
    while (*link != kNone) {
        PairEntry& entry = m_pairs[*link];
        const bool live = isLive(entry);
        if (live && entry.hash == hash && m_lines[entry.first] == lineA && m_lines[entry.second] == lineB) {
            m_matching.push_back(entry);
        } else if (live) {
            link = &entry.next;
            continue;
        }
        // Matching pairs go now; pairs that lost a line are of no further use.
        *link = entry.next;
    }
    std::sort(m_matching.begin(), m_matching.end(),
              [](const PairEntry& l, const PairEntry& r) { return l.first < r.first; });
    for (const PairEntry& entry : m_matching) {
        if (isLive(entry)) removePair(entry.first, entry.second);
    }
    return CutOutcome::Record;
}

CutOutcome PrimListing::cutLiteralRecord(std::string& recordText)
{
    if (m_text.find_first_not_of("\r\n \t") == std::string::npos) return CutOutcome::EndOfListing;
    const std::size_t crlf1 = m_text.find(kCrLf);
    const std::size_t p1 =
        crlf1 == std::string::npos ? 0 : countCharacters(std::string_view(m_text).substr(0, crlf1)) + 1;
    m_guard = p1;
    const std::size_t crlf2 = m_text.find(kCrLf, crlf1 == std::string::npos ? 1 : crlf1 + 2);
    const std::size_t p2 =
        crlf2 == std::string::npos ? 0 : countCharacters(std::string_view(m_text).substr(0, crlf2)) + 1;
    if (p2 < 3) return CutOutcome::EndOfListing;
    if (p2 < 30) return CutOutcome::RecordTooShort;
    recordText.assign(m_text, 0, crlf2 + 1);
    m_text = replaceAll(m_text, recordText);
    return CutOutcome::Record;
}

std::string PrimListing::remainingText() const
{
    if (m_literal) return m_text;
    std::string text = "\n";
    for (std::uint32_t i = m_head; i != kNone; i = m_next[i]) {
        text += m_lines[i];
        text += kCrLf;
    }
    return text;
}

std::size_t PrimListing::bytesConsumed() const
{
    if (m_literal) return m_total - std::min(m_total, m_text.size());
    if (m_head == kNone) return m_total;
    return static_cast<std::size_t>(m_lines[m_head].data() - m_textBegin);
}

}  // namespace vantor::convert
