#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::text {

// Turns the bytes of a text file into UTF-8: valid UTF-8 sequences stay as they are, every
// other byte is read as Windows-1252 (the code page older listings and scene files were
// saved in). A leading UTF-8 byte-order mark is dropped.
[[nodiscard]] std::string decodeText(std::string bytes);

// Whether text is valid UTF-8 throughout, so that decodeText would hand it back unchanged
// (a leading byte-order mark aside).
[[nodiscard]] bool isValidUtf8(std::string_view text);

// Appends the UTF-8 form of a code point (at most U+10FFFF).
void appendUtf8(std::string& out, char32_t cp);

// Counts the characters (code points) of UTF-8 text; listing positions count characters.
[[nodiscard]] std::size_t countCharacters(std::string_view utf8);

// Cuts text into lines. A line ends at CR LF, at a lone CR or at a lone LF; a last line
// without a line end counts when it is not empty. The views point into text.
[[nodiscard]] std::vector<std::string_view> splitLines(std::string_view text);

// Walks a text line by line, cutting it exactly as splitLines does, for readers that handle
// each line as it comes instead of keeping a list. The views point into the text.
class LineCursor {
public:
    explicit LineCursor(std::string_view text);
    // The next line, or nothing when the text is used up.
    [[nodiscard]] std::optional<std::string_view> next();

private:
    std::string_view m_text;
    std::size_t m_begin = 0;
    std::size_t m_nextCr;
    std::size_t m_nextLf;
};

// Rewrites every lone LF and lone CR as CR LF, leaving CR LF as it is; nothing is added at
// the end. Listings saved on Linux or pasted into a Qt text box end their lines with LF.
[[nodiscard]] std::string normaliseLineEnds(std::string_view text);

// Whether every CR of text is followed by an LF and every LF follows a CR.
[[nodiscard]] bool hasOnlyCrLfLineEnds(std::string_view text);

// normaliseLineEnds, and the last line ended with CR LF too, as loading a listing into the
// main window does.
[[nodiscard]] std::string toCrLfLines(std::string_view text);

}  // namespace vantor::text
