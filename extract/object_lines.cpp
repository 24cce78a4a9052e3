#include "object_lines.h"

#include <utility>

namespace vantor::extract {

namespace {

constexpr std::size_t kPositionX = 22;
constexpr std::size_t kPositionY = 23;

// Walks the values of a line in order, as the tokeniser reads them: each ">" opens a value
// that runs to the next "<"; when a ">" has no "<" after it the line is complete, and when
// no ">" is left but a "<" is, the line is cut off. onValue returns false to stop early.
template <typename OnValue>
TokeniseResult walkValues(std::string_view line, OnValue&& onValue)
{
    std::size_t from = 0;  // just after the last ">" used
    for (;;) {
        const std::size_t open = line.find('>', from);
        if (open == std::string_view::npos) {
            return line.find('<', from) != std::string_view::npos ? TokeniseResult::Stop
                                                                   : TokeniseResult::Complete;
        }
        const std::size_t close = line.find('<', open + 1);
        if (close == std::string_view::npos) return TokeniseResult::Complete;
        if (close > open + 1 && !onValue(line.substr(open + 1, close - open - 1))) {
            return isCutOffLine(line) ? TokeniseResult::Stop : TokeniseResult::Complete;
        }
        from = open + 1;
    }
}

}  // namespace

ObjectLines::ObjectLines(std::shared_ptr<const std::string> text, std::vector<std::string_view> lines)
    : m_text(std::move(text)), m_lines(std::move(lines))
{
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

TokeniseResult TokeniseObjectLine(std::string_view line, ValueList& values)
{
    values.clear();
    return walkValues(line, [&values](std::string_view value) {
        values.push_back(value);
        return true;
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
        if (found.valueCount == kPositionX) found.x = value;
        if (found.valueCount == kPositionY) found.y = value;
        ++found.valueCount;
        return found.valueCount <= kPositionY;
    });
    return found;
}

}  // namespace vantor::extract
