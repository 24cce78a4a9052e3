#include "object_lines.h"

#include "scene/object_layout.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

namespace vantor::extract {

namespace {

namespace value = scene::value;

// Visits the positions of the line's "<" and ">" in order. The marks of 64 bytes are found in
// one step, as the bits of one number, and then taken one by one: a document has a mark every
// few characters, too often for one search per mark to pay.
class TagMarks {
public:
    explicit TagMarks(std::string_view line) : m_line(line) { load(); }

    // The next mark's position, or the line's size when none is left.
    std::size_t next()
    {
        while (m_marks == 0) {
            m_base += kBlock;
            if (m_base >= m_line.size()) return m_line.size();
            load();
        }
        const std::size_t position = m_base + static_cast<std::size_t>(std::countr_zero(m_marks));
        m_marks &= m_marks - 1;
        return position;
    }

private:
    static constexpr std::size_t kBlock = 64;
    static constexpr std::size_t kWord = sizeof(std::uint64_t);

    void load()
    {
        const char* bytes = m_line.data() + m_base;
        const std::size_t available = m_line.size() - m_base;
        char padded[kBlock] = {};  // zeros are no mark
        if (available < kBlock) {
            if (available != 0) std::memcpy(padded, bytes, available);
            bytes = padded;
        }
        constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
        constexpr std::uint64_t kGreaterThans = 0x3E3E3E3E3E3E3E3EULL;
        constexpr std::uint64_t kBit1 = 0x0202020202020202ULL;
        constexpr std::uint64_t kGather = 0x0102040810204080ULL;  // byte k's low bit to bit 56 + k
        std::uint64_t marks = 0;
        for (std::size_t w = 0; w < kBlock / kWord; ++w) {
            std::uint64_t word = 0;
            std::memcpy(&word, bytes + w * kWord, kWord);
            if constexpr (std::endian::native == std::endian::big) word = byteSwap(word);
            // "<" and ">" differ only in bit 1: with that bit set, both read as ">".
            const std::uint64_t y = (word | kBit1) ^ kGreaterThans;         // zero bytes at the marks
            const std::uint64_t flags = ~(((y & kLow7) + kLow7) | y | kLow7);  // their top bits alone set
            marks |= (((flags >> 7) * kGather) >> 56) << (w * 8);
        }
        m_marks = marks;
    }

    static std::uint64_t byteSwap(std::uint64_t v)
    {
        std::uint64_t r = 0;
        for (std::size_t k = 0; k < kWord; ++k) r = (r << 8) | ((v >> (8 * k)) & 0xFF);
        return r;
    }

    std::string_view m_line;
    std::size_t m_base = 0;
    std::uint64_t m_marks = 0;
};

// Walks the values of a line in order, as the tokeniser reads them: each ">" opens a value
// that runs to the next "<"; when a ">" has no "<" after it the line is complete, and when
// no ">" is left but a "<" is, the line is cut off. onValue returns false to stop early.
// One pass over the line: a document's values are a few characters each, too short for a
// library search per value to pay.
template <typename OnValue>
TokeniseResult walkValues(std::string_view line, OnValue&& onValue)
{
    TagMarks marks(line);
    bool lessThanSeen = false;  // since the last ">", or in the whole line while there is none
    std::size_t i = marks.next();
    while (i < line.size()) {
        if (line[i] == '<') {
            lessThanSeen = true;
            i = marks.next();
            continue;
        }
        // A ">" at i: its value runs to the next "<", and so does the value of every further
        // ">" before that "<" (rare: a ">" inside element text).
        const std::size_t open = i;
        std::size_t close = marks.next();
        bool several = false;
        while (close < line.size() && line[close] == '>') {
            several = true;
            close = marks.next();
        }
        if (close == line.size()) return TokeniseResult::Complete;
        for (std::size_t p = open; p < close; p = several ? line.find('>', p + 1) : close) {
            if (close > p + 1 && !onValue(line.substr(p + 1, close - p - 1))) {
                return isCutOffLine(line) ? TokeniseResult::Stop : TokeniseResult::Complete;
            }
        }
        lessThanSeen = true;
        i = marks.next();
    }
    return lessThanSeen ? TokeniseResult::Stop : TokeniseResult::Complete;
}

}  // namespace

ObjectLines::ObjectLines(std::shared_ptr<const void> text, std::vector<std::string_view> lines)
    : m_text(std::move(text)), m_lines(std::move(lines))
{
}

ObjectLines::ObjectLines(const platform::SharedBytes& text, std::vector<std::string_view> lines)
    : m_text(text.owner), m_lines(std::move(lines)), m_base(text.bytes.data()), m_copyOut(text.copyOut)
{
}

std::string_view ObjectLines::read(std::size_t i, std::string& buffer) const
{
    const std::string_view line = m_lines[i];
    if (!m_copyOut) return line;
    buffer.resize(line.size());
    const auto offset = static_cast<std::size_t>(line.data() - m_base);
    // Should the file fail to give the bytes, the mapping still holds them.
    if (!m_copyOut(offset, line.size(), buffer.data())) return line;
    return buffer;
}

ObjectLines ObjectLines::fromLines(const std::vector<std::string>& lines)
{
    auto text = std::make_shared<std::string>();
    std::size_t total = 0;
    for (const auto& line : lines) total += line.size();
    text->reserve(total);
    for (const auto& line : lines) text->append(line);
    std::vector<std::string_view> views;
    views.reserve(lines.size());
    std::size_t offset = 0;
    for (const auto& line : lines) {
        views.push_back(std::string_view(*text).substr(offset, line.size()));
        offset += line.size();
    }
    return ObjectLines(std::move(text), std::move(views));
}

TokeniseResult tokeniseObjectLine(std::string_view line, ValueList& values)
{
    values.clear();
    return walkValues(line, [&values](std::string_view value) {
        values.push_back(value);
        return true;
    });
}

TokeniseResult tokeniseFirstValues(std::string_view line, ValueList& values, std::size_t count)
{
    values.clear();
    if (count == 0) return isCutOffLine(line) ? TokeniseResult::Stop : TokeniseResult::Complete;
    return walkValues(line, [&values, count](std::string_view value) {
        values.push_back(value);
        return values.size() < count;
    });
}

bool isCutOffLine(std::string_view line)
{
    const std::size_t last = line.rfind('>');
    const std::size_t from = last == std::string_view::npos ? 0 : last + 1;
    return line.find('<', from) != std::string_view::npos;
}

PositionValues scanPositionValues(std::string_view line)
{
    PositionValues found;
    found.result = walkValues(line, [&found](std::string_view value) {
        if (found.valueCount == value::kPositionX) found.x = value;
        if (found.valueCount == value::kPositionY) found.y = value;
        ++found.valueCount;
        return found.valueCount <= value::kPositionY;
    });
    return found;
}

}  // namespace vantor::extract
