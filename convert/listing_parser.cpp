#include "listing_parser.h"

#include "text/number_forms.h"
#include "text/text_codec.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace vantor::convert {

namespace {

constexpr std::string_view kCrLf = "\r\n";

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

// The record cut measures in characters, each line counting its line end: line A with its
// LF and CR (the guard), and a record's both lines (from the LF before line A to line B's
// end, kept apart by CR LF).
// A guard of this or less stops the run after its record: line A of kLongestLastLineA characters.
constexpr std::size_t kGuardStop = kLongestLastLineA + 2;
// A record measuring less than this is too short to be one.
constexpr std::size_t kShortestRecord = 30;
// Lengths are counted up to this many characters: a longer line compares with the two
// limits above as this one does, and need not be counted to its end.
constexpr std::size_t kCountedCharacters = 40;
static_assert(kCountedCharacters > kGuardStop && kCountedCharacters > kShortestRecord);

// The number of characters of line, or limit when it has more.
std::size_t charactersUpTo(std::string_view line, std::size_t limit)
{
    std::size_t count = 0;
    for (const char c : line) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80 && ++count == limit) break;
    }
    return count;
}

bool isBlankLine(std::string_view line)
{
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

// text followed by the run's CR LF, with every occurrence of header (a line and its CR)
// removed in one pass, without a copy of the whole text first: only the CR of the added
// line end can complete an occurrence that the text itself does not hold.
std::string withoutHeader(std::string_view text, std::string_view header)
{
    std::string out;
    out.reserve(text.size() + kCrLf.size());
    std::size_t from = 0;
    while (true) {
        const std::size_t found = text.find(header, from);
        if (found == std::string_view::npos) break;
        out.append(text, from, found - from);
        from = found + header.size();
    }
    const std::string_view tail = text.substr(from);
    const std::string_view line = header.substr(0, header.size() - 1);
    if (!header.empty() && tail.ends_with(line)) {
        out.append(tail.substr(0, tail.size() - line.size()));
        out += '\n';
    } else {
        out.append(tail);
        out += kCrLf;
    }
    return out;
}

}  // namespace

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

    const auto x = text::parseNumber(*xText);
    const auto y = text::parseNumber(*yText);
    const auto z = text::parseNumber(*zText);
    const auto userX = text::parseNumber(rezX);
    const auto userY = text::parseNumber(rezY);
    const auto userZ = text::parseNumber(rezZ);
    if (!x || !y || !z || !userX || !userY || !userZ) return std::nullopt;
    const RezOffset offset{*x - *userX, *y - *userY, *z - *userZ};
    if (!std::isfinite(offset.x) || !std::isfinite(offset.y) || !std::isfinite(offset.z)) return std::nullopt;
    return offset;
}

namespace {

// Joins the record's lines (every CR LF removed) into joined.
void joinLines(std::string_view recordText, std::string& joined)
{
    joined.clear();
    const char* from = recordText.data();
    const char* const end = from + recordText.size();
    while (from != end) {
        const auto* cr = static_cast<const char*>(std::memchr(from, '\r', static_cast<std::size_t>(end - from)));
        if (!cr) break;
        if (cr + 1 != end && cr[1] == '\n') {
            joined.append(from, cr);
            from = cr + 2;
        } else {
            joined.append(from, cr + 1);
            from = cr + 1;
        }
    }
    joined.append(from, end);
}

// Whether text, the inside of a "[...]" at the start of a line, is a chat time stamp as
// viewers write it: a time ("9:05", "09:05:33", "9:05 PM"), perhaps after a date
// ("2024/05/12 09:05").
bool isTimeStamp(std::string_view text)
{
    constexpr std::string_view kStampCharacters = "0123456789:/-. APMapm";
    return text.find(':') != std::string_view::npos && text.find_first_of("0123456789") != std::string_view::npos &&
           text.find_first_not_of(kStampCharacters) == std::string_view::npos;
}

// Where the name lies in the joined record text: after line A's time stamp and the one or two
// blanks that follow it (two in the listing's own form and in chat log files, one where text
// is copied from a viewer's chat window), or from the start of line A when it has no stamp,
// up to the first ": ". Nothing when the separator is missing or misplaced.
std::optional<std::pair<std::size_t, std::size_t>> findName(std::string_view joined)
{
    const std::size_t colon = joined.find(": ");
    if (colon == std::string::npos) return std::nullopt;
    // Line A starts after the record's leading LF (and the lone LFs a removed header line leaves).
    std::size_t nameStart = std::min(joined.find_first_not_of("\r\n"), colon);
    if (joined.substr(nameStart).starts_with('[')) {
        const std::size_t bracket = joined.find(']', nameStart);
        if (bracket != std::string::npos && bracket < colon &&
            isTimeStamp(joined.substr(nameStart + 1, bracket - nameStart - 1))) {
            // ": " right after the stamp leaves no room for the blanks.
            if (colon == bracket + 1) return std::nullopt;
            nameStart = bracket + 1;
            for (int blanks = 0; blanks < 2 && nameStart < colon && joined[nameStart] == ' '; ++blanks) ++nameStart;
        }
    }
    return std::pair{nameStart, colon};
}

}  // namespace

bool parseRecord(std::string_view recordText, PackedRecord& record)
{
    joinLines(recordText, record.m_recordText);
    return record.parseJoined();
}

bool parseRecord(const RecordCut& cut, PackedRecord& record)
{
    if (!cut.asLines) return parseRecord(cut.text, record);
    // The lines hold no CR or LF, so the joined text is the LF, both lines and the CR.
    std::string& joined = record.m_recordText;
    joined.clear();
    joined.reserve(cut.lineA.size() + cut.lineB.size() + 2);
    joined += '\n';
    joined += cut.lineA;
    joined += cut.lineB;
    joined += '\r';
    return record.parseJoined();
}

bool PackedRecord::parseJoined()
{
    PackedRecord& record = *this;
    const std::string& joined = record.m_recordText;
    const auto name = findName(joined);
    if (!name) return false;
    record.m_name.assign(joined, name->first, name->second - name->first);

    // The fields lie side by side in one text: blanks, "<" and ">" are dropped, and a comma
    // notes where the field before it ends.
    const std::size_t from = name->second + 2;
    const std::size_t size = joined.size();
    std::string& text = record.m_fieldText;
    text.resize(size);
    if (record.m_fieldEnds.size() < size + 1) record.m_fieldEnds.resize(size + 1);
    char* const begin = text.data();
    char* out = begin;
    std::uint32_t* const ends = record.m_fieldEnds.data();
    std::size_t count = 0;
    const char* const data = joined.data();
    for (std::size_t i = from; i < size; ++i) {
        const char c = data[i];
        if (c == ',') {
            ends[count++] = static_cast<std::uint32_t>(out - begin);
        } else if (c != ' ' && c != '<' && c != '>') {
            *out++ = c;
        }
    }
    text.resize(count == 0 ? 0 : ends[count - 1]);
    record.m_fieldCount = count;
    return count >= 5;
}

PrimListing::PrimListing(std::string_view text, CrLfChecked)
{
    build(text, LineEndCheck::Done);
}

std::optional<PrimListing> PrimListing::ifOnlyCrLf(std::string_view text)
{
    PrimListing listing;
    if (!listing.build(text, LineEndCheck::WhileCutting)) return std::nullopt;
    return listing;
}

namespace {

bool holdsLineEndByte(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

bool PrimListing::build(std::string_view text, LineEndCheck check)
{
    m_textBegin = text.data();
    m_total = text.size() + kCrLf.size();
    const std::size_t headerEnd = text.find(kCrLf);
    const std::string_view header = text.substr(0, headerEnd);
    m_header.assign(header);
    m_header += '\r';

    // Whether the text has only CR LF line ends. When the lines are cut anyway, they are
    // checked as they are cut; the header line holds no CR or LF of its own then.
    const bool checkWhileCutting =
        check == LineEndCheck::WhileCutting && !header.empty() && headerEnd != std::string_view::npos;
    bool crLfOnly = true;
    if (check == LineEndCheck::WhileCutting && !checkWhileCutting) {
        crLfOnly = text::hasOnlyCrLfLineEnds(text);
    } else if (checkWhileCutting) {
        crLfOnly = !holdsLineEndByte(header);
    }
    if (check == LineEndCheck::WhileCutting && !crLfOnly) return false;

    const bool tidy = !header.empty() && crLfOnly;
    if (tidy && headerEnd != std::string_view::npos) {
        if (!buildLines(text.substr(headerEnd + kCrLf.size()), checkWhileCutting)) return false;
    }
    bool repeated = false;
    for (const std::string_view line : m_lines) {
        if (line.ends_with(header)) {
            repeated = true;
            break;
        }
    }
    if (tidy && !repeated) return true;

    // Removing the header line's other occurrences leaves lone LFs, which the line model
    // does not hold: take the rest as plain text, the header removed in one pass.
    m_literal = true;
    m_lines.clear();
    m_head = m_nonBlankEnd = 0;
    m_text = withoutHeader(text, m_header);
    m_position = 0;
    const std::size_t lastNonBlank = m_text.find_last_not_of("\r\n \t");
    m_textNonBlankEnd = lastNonBlank == std::string::npos ? 0 : lastNonBlank + 1;
    return crLfOnly;
}

bool PrimListing::buildLines(std::string_view rest, bool checkLineEnds)
{
    constexpr std::size_t npos = std::string_view::npos;
    // Lines run to the next CR, which is followed by an LF in a text of CR LF line ends.
    // When that is to be checked, the next LF is kept at hand too: it must be the one right
    // after that CR, and none may follow the last line.
    std::size_t nextLf = checkLineEnds ? rest.find('\n') : npos;
    // A guess of the line count spares the copies of a growing table.
    m_lines.reserve(rest.size() / 64 + 16);
    std::size_t begin = 0;
    while (true) {
        const std::size_t end = rest.find('\r', begin);
        if (checkLineEnds && nextLf != (end == npos ? npos : end + 1)) return false;
        if (end == npos) {
            m_lines.push_back(rest.substr(begin));
            break;
        }
        m_lines.push_back(rest.substr(begin, end - begin));
        begin = end + kCrLf.size();
        if (checkLineEnds) nextLf = rest.find('\n', begin);
    }
    m_head = 0;
    m_nonBlankEnd = m_lines.size();
    while (m_nonBlankEnd > 0 && isBlankLine(m_lines[m_nonBlankEnd - 1])) --m_nonBlankEnd;
    return true;
}

CutOutcome PrimListing::cutRecord(RecordCut& cut)
{
    if (m_guard <= kGuardStop) return CutOutcome::GuardStop;
    cut.asLines = !m_literal;
    return m_literal ? cutLiteralRecord(cut.text) : cutLineRecord(cut);
}

CutOutcome PrimListing::cutLineRecord(RecordCut& cut)
{
    // Nothing but blanks and line ends left: the listing is done, even when it ended with
    // empty lines.
    if (m_head >= m_nonBlankEnd) return CutOutcome::EndOfListing;
    const std::string_view lineA = m_lines[m_head];
    const std::size_t p1 = charactersUpTo(lineA, kCountedCharacters) + 2;
    m_guard = p1;
    // A last line A without its line B (the text ends right after it) is cut as the record
    // it begins, with an empty line B, as when a line end follows it: it fails to convert
    // and is shown, never silently left out.
    const std::string_view lineB = m_head + 1 < m_lines.size() ? m_lines[m_head + 1] : std::string_view{};
    const std::size_t p2 = p1 + 2 + charactersUpTo(lineB, kCountedCharacters);
    if (p2 < kShortestRecord) return CutOutcome::RecordTooShort;
    cut.lineA = lineA;
    cut.lineB = lineB;
    m_head += 2;
    return CutOutcome::Record;
}

CutOutcome PrimListing::cutLiteralRecord(std::string& recordText)
{
    if (m_position >= m_textNonBlankEnd) return CutOutcome::EndOfListing;
    const std::string_view rest = std::string_view(m_text).substr(m_position);
    constexpr std::size_t npos = std::string_view::npos;
    // Positions as 1-based character counts, counted as in the line model.
    const std::size_t crlf1 = rest.find(kCrLf);
    const std::size_t p1 = crlf1 == npos ? 0 : charactersUpTo(rest.substr(0, crlf1), kCountedCharacters) + 1;
    m_guard = p1;
    std::size_t crlf2 = rest.find(kCrLf, crlf1 == npos ? 1 : crlf1 + 2);
    // A last line A without its line B: the record it begins, with an empty line B (the
    // run's own CR LF then ends line A), as in the line model.
    const bool lineBMissing = crlf2 == npos && crlf1 != npos;
    if (lineBMissing) crlf2 = crlf1 + 2;
    const std::size_t p2 = crlf2 == npos ? 0 : charactersUpTo(rest.substr(0, crlf2), kCountedCharacters) + 1;
    if (p2 < 3) return CutOutcome::EndOfListing;  // at most one character before the line end
    if (p2 < kShortestRecord) return CutOutcome::RecordTooShort;
    recordText.assign(rest.substr(0, lineBMissing ? crlf2 : crlf2 + 1));
    if (lineBMissing) recordText += '\r';
    m_position = lineBMissing ? m_text.size() : m_position + crlf2 + 1;
    return CutOutcome::Record;
}

std::string PrimListing::remainingText() const
{
    if (m_literal) return m_text.substr(m_position);
    std::string text = "\n";
    for (std::size_t i = m_head; i < m_lines.size(); ++i) {
        text += m_lines[i];
        text += kCrLf;
    }
    return text;
}

std::size_t PrimListing::bytesConsumed() const
{
    if (m_literal) return m_total - std::min(m_total, m_text.size() - m_position);
    if (m_head >= m_lines.size()) return m_total;
    return static_cast<std::size_t>(m_lines[m_head].data() - m_textBegin);
}

}  // namespace vantor::convert
