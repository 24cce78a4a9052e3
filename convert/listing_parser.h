#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::convert {

// The per-run offset subtracted from every prim position: the Second Life rez position of
// the header line minus the OpenSim rez position the user typed.
struct RezOffset {
    double x = 0, y = 0, z = 0;
    friend bool operator==(const RezOffset&, const RezOffset&) = default;
};

// Reads the rez position from the header line (its "<x, y, z>" group) and subtracts the
// OpenSim rez position texts; nothing when a number does not convert or overflows.
[[nodiscard]] std::optional<RezOffset> parseHeader(std::string_view headerLine, std::string_view rezX,
                                                   std::string_view rezY, std::string_view rezZ);

// One record as the listing cut it: its two lines where the listing keeps lines (views
// into the listing's text), else its record text.
struct RecordCut {
    bool asLines = false;
    std::string_view lineA;
    std::string_view lineB;
    std::string text;
};

// A parsed record as a conversion run keeps it: its name from line A's chat prefix (blanks
// kept), its record text (both lines joined: leading LF, line A, line B, final CR) and its
// fields (data values without blanks, "<" and ">"), the fields side by side in one buffer,
// so that parsing a record makes no string per field.
class PackedRecord {
public:
    [[nodiscard]] const std::string& name() const { return m_name; }
    [[nodiscard]] const std::string& recordText() const { return m_recordText; }
    [[nodiscard]] std::size_t fieldCount() const { return m_fieldCount; }
    [[nodiscard]] std::string_view field(std::size_t index) const
    {
        const std::uint32_t begin = index == 0 ? 0 : m_fieldEnds[index - 1];
        return std::string_view(m_fieldText).substr(begin, m_fieldEnds[index] - begin);
    }

private:
    friend bool parseRecord(std::string_view recordText, PackedRecord& record);
    friend bool parseRecord(const RecordCut& cut, PackedRecord& record);
    // Parses the joined record text already in m_recordText.
    bool parseJoined();

    std::string m_name;
    std::string m_recordText;
    std::string m_fieldText;
    std::vector<std::uint32_t> m_fieldEnds;  // the first m_fieldCount are where each field ends
    std::size_t m_fieldCount = 0;
};

// Parses one record text (as cut from the listing) into record, reusing its buffers; false
// when the name separator ": " is missing or misplaced, or fewer than 5 fields result.
[[nodiscard]] bool parseRecord(std::string_view recordText, PackedRecord& record);
// The same for a cut record, without first joining its lines into a record text.
[[nodiscard]] bool parseRecord(const RecordCut& cut, PackedRecord& record);

// A record whose line A has at most this many characters is the last a run converts: the
// listing's own records have longer first lines, so a short one marks the end of what the
// producer wrote.
inline constexpr std::size_t kLongestLastLineA = 28;

enum class CutOutcome {
    Record,          // a record text was cut off the front of the listing
    EndOfListing,    // nothing but blanks and line ends is left
    RecordTooShort,  // what follows is too short to be a record
    GuardStop,       // the previous record's line A was kLongestLastLineA characters or shorter
};

// The remaining text of a listing while a run consumes it: the header line is cut when it
// is made (and removed wherever else it occurs, in one pass), then one record per cutRecord
// call, taken off the front only, so that identical records each give a prim. The cost is
// linear in the listing's length.
class PrimListing {
public:
    // text: the listing with only CR LF line ends (see normaliseLineEnds and
    // hasOnlyCrLfLineEnds), without the run's own CR LF, which the listing adds itself. The
    // text must outlive the listing.
    struct CrLfChecked {};
    PrimListing(std::string_view text, CrLfChecked);
    // The listing of a text with only CR LF line ends, the line ends checked as the lines are
    // cut (one pass less over a long listing); nothing when the text has another line end.
    [[nodiscard]] static std::optional<PrimListing> ifOnlyCrLf(std::string_view text);

    // The first line plus its CR, as the header parse and the error message take it.
    [[nodiscard]] const std::string& headerLine() const { return m_header; }

    // Cuts the next record: its two lines where the listing keeps lines, else its record
    // text (leading LF, line A, CR LF, line B, CR).
    [[nodiscard]] CutOutcome cutRecord(RecordCut& cut);

    // The text not yet consumed, leading LF included, as the listing box would hold it.
    [[nodiscard]] std::string remainingText() const;

    [[nodiscard]] std::size_t bytesConsumed() const;
    [[nodiscard]] std::size_t bytesTotal() const { return m_total; }

private:
    enum class LineEndCheck { Done, WhileCutting };

    PrimListing() = default;
    // Returns whether the text has only CR LF line ends; with WhileCutting it stops early
    // when it has not, leaving the listing unusable.
    bool build(std::string_view text, LineEndCheck check);
    // False when checkLineEnds finds a CR or LF that is not part of a CR LF.
    bool buildLines(std::string_view rest, bool checkLineEnds);
    [[nodiscard]] CutOutcome cutLineRecord(RecordCut& cut);
    [[nodiscard]] CutOutcome cutLiteralRecord(std::string& recordText);

    // The guard: line A's characters plus its line end, of the record cut last; before the
    // first record, a length that stops nothing.
    static constexpr std::size_t kNoGuardYet = 50;

    std::string m_header;
    std::size_t m_total = 0;
    std::size_t m_guard = kNoGuardYet;

    // Normal listings: the remaining text is an LF followed by the lines from m_head on, each
    // ending in CR LF; the lines are views into the caller's text.
    bool m_literal = false;
    std::vector<std::string_view> m_lines;
    std::size_t m_head = 0;
    std::size_t m_nonBlankEnd = 0;  // one past the last line that holds more than blanks
    const char* m_textBegin = nullptr;

    // A header line that occurs again elsewhere leaves lone LFs behind when it is removed;
    // such a listing is consumed as plain text from m_position on instead.
    std::string m_text;
    std::size_t m_position = 0;
    std::size_t m_textNonBlankEnd = 0;  // one past the last byte that is no blank or line end
};

}  // namespace vantor::convert
