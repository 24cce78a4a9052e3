#pragma once

#include "platform/file_system.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::extract {

// The object table: the object lines of one scene file, in file order, each the line's text
// unchanged. The lines are views into the file's text, which a table shares with its copies,
// so loading, filtering and saving never copy a line.
class ObjectLines {
public:
    ObjectLines() = default;
    // Takes what keeps the text alive and views into that text.
    ObjectLines(std::shared_ptr<const void> text, std::vector<std::string_view> lines);
    // Views into a shared block; when the block is better copied out than read in place
    // (a mapped scratch file), read() copies entries out of it.
    ObjectLines(const platform::SharedBytes& text, std::vector<std::string_view> lines);
    // A table owning copies of the given lines, for callers that build one by hand.
    [[nodiscard]] static ObjectLines fromLines(const std::vector<std::string>& lines);

    [[nodiscard]] std::size_t size() const { return m_lines.size(); }
    [[nodiscard]] bool empty() const { return m_lines.empty(); }
    // Entry i, counting from 0.
    [[nodiscard]] std::string_view operator[](std::size_t i) const { return m_lines[i]; }
    [[nodiscard]] auto begin() const { return m_lines.begin(); }
    [[nodiscard]] auto end() const { return m_lines.end(); }

    // Entry i for a reader that goes through many entries, such as an export: the entry
    // itself, or, from a block that is better copied out, its bytes copied into buffer
    // (valid until buffer changes). Reading the entries of a mapped scratch file in place
    // would bring the whole file into memory, a region archive's objects many times its size.
    [[nodiscard]] std::string_view read(std::size_t i, std::string& buffer) const;
    // Whether read() copies entries out.
    [[nodiscard]] bool readsByCopy() const { return static_cast<bool>(m_copyOut); }

    // An empty table over the same text, to which entries of this one can be appended.
    [[nodiscard]] ObjectLines emptyCopy() const
    {
        ObjectLines copy(m_text, {});
        copy.m_base = m_base;
        copy.m_copyOut = m_copyOut;
        copy.m_sourceChanged = m_sourceChanged;
        return copy;
    }

    // For a table that views a file's bytes in place (a mapping), which another program may
    // change: how to ask whether they still are what the file held when it was read.
    void watchSource(std::function<bool()> changed) { m_sourceChanged = std::move(changed); }
    // Whether the entries may no longer be the file's as it was read.
    [[nodiscard]] bool sourceChanged() const { return m_sourceChanged && m_sourceChanged(); }
    // Appends an entry of a table that shares this one's text.
    void append(std::string_view line) { m_lines.push_back(line); }

private:
    std::shared_ptr<const void> m_text;
    std::vector<std::string_view> m_lines;
    const char* m_base = nullptr;  // the block's start, where read() copies out
    std::function<bool(std::size_t, std::size_t, char*)> m_copyOut;
    std::function<bool()> m_sourceChanged;
};

// The value list `Extract` of one object line: the non-empty texts between a ">" and the
// next "<", in line order, numbered from 0. The values are views into the line.
using ValueList = std::vector<std::string_view>;

enum class TokeniseResult {
    Complete,  // the line was read to its end
    Stop,      // a "<" follows the line's last ">": a tag is cut off, the caller must stop
};

// Clears values and fills it with the line's values. Text before the first ">" and after the
// last one is never a value; a run of blanks between two tags is one.
TokeniseResult tokeniseObjectLine(std::string_view line, ValueList& values);

// tokeniseObjectLine keeping only the first count values: the same result, and no list of a
// degenerate line's millions of values.
TokeniseResult tokeniseFirstValues(std::string_view line, ValueList& values, std::size_t count);

// Whether a "<" follows the line's last ">" (or, without any ">", occurs at all): the line's
// last tag is cut off. Exactly when tokeniseObjectLine says Stop.
[[nodiscard]] bool isCutOffLine(std::string_view line);

// What a marker needs of an object line: the position's X and Y values (scene::value::kPositionX
// and kPositionY) and the cut-off check, found without building the rest of the value list.
struct PositionValues {
    TokeniseResult result = TokeniseResult::Complete;
    std::size_t valueCount = 0;  // values found, at most scene::kPositionValueCount
    std::string_view x;          // empty when the line has too few values
    std::string_view y;          // likewise
    friend bool operator==(const PositionValues&, const PositionValues&) = default;
};

// The fast path of tokeniseObjectLine for loading and filtering: stops after the position's Y.
[[nodiscard]] PositionValues scanPositionValues(std::string_view line);

}  // namespace vantor::extract
