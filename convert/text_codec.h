#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::convert {

// Turns the bytes of a text file into UTF-8: valid UTF-8 sequences stay as they are, every
// other byte is read as Windows-1252 (the code page older listings and scene files were
// saved in). A leading UTF-8 byte-order mark is dropped.
[[nodiscard]] std::string decodeText(std::string bytes);

// Whether text is valid UTF-8 throughout, so that decodeText would hand it back unchanged
// (a leading byte-order mark aside).
[[nodiscard]] bool isValidUtf8(std::string_view text);

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

// Rewrites every line end (CR LF, lone CR, lone LF) as CR LF and ends the last line with
// CR LF too, as loading a listing into the main window does.
[[nodiscard]] std::string toCrLfLines(std::string_view text);

}  // namespace vantor::convert
