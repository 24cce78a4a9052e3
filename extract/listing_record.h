#pragma once

#include "child_placement.h"
#include "object_lines.h"
#include "object_parts.h"

#include "platform/clock.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vantor::extract {

// What a record or header line could not be built from.
enum class RecordError {
    CutOffLine,       // a "<" follows the object line's last ">"
    MissingValue,     // the line has no value at valueIndex
    NotANumber,       // the value at valueIndex is not a number as the listing's reader takes it
    ArithmeticFault,  // the value at valueIndex, or one computed from it, would not read back:
                      // beyond the double range, or a shape value beyond the reader's 32-bit units
};

struct RecordFailure {
    RecordError error = RecordError::CutOffLine;
    std::size_t valueIndex = 0;  // not used for CutOffLine
    std::size_t part = 0;        // the part of a linked object, from 0 (the root)
    friend bool operator==(const RecordFailure&, const RecordFailure&) = default;
};

// A built line (or pair of lines), or why it could not be built.
struct BuiltText {
    std::string text;
    std::optional<RecordFailure> failure;
    explicit operator bool() const { return !failure; }
};

// The listing's header line, without line end: "[H:MM]  Rezzer: <x, y, z − 2>" from the
// GroupPosition values of the anchor object's value list, x and y copied. Fails when one of them is
// missing or not a number, or when z - 2 would not read back.
[[nodiscard]] BuiltText buildHeaderLine(const ValueList& values, const platform::Clock& clock);

// The header line for an anchor object, its values read as buildListingRecord reads its root
// part's; name (when given) receives the root's name as a record would carry it.
[[nodiscard]] BuiltText buildHeaderLineFor(std::string_view object, const platform::Clock& clock,
                                           std::string* name = nullptr);

// Turns object lines back into listing records, one export at a time: the last type code and
// hole code carry over from one object to the next and start empty for each builder.
class ListingRecordBuilder {
public:
    explicit ListingRecordBuilder(const platform::Clock& clock) : m_clock(clock) {}

    // Line A, CR LF, line B (no final line end) for one object line, with Second Life's
    // values recovered from the document's; nothing on failure, and then the state is as
    // it was. An object whose values do not all sit where a converter's document has them
    // is read by element name; an object of several linked parts then gives one record per
    // part, joined by CR LF, the root first and the others in LinkNum order, each child at
    // its world position and rotation; field 0 holds each part's link number (1 for the
    // root and for an object of one part, then 2, 3...). Position, rotation and size are copied as they stand,
    // and fail the record when the listing's reader would not take them as numbers; so does a
    // shape value it could not hold in its integer units: a record built always reads back.
    // The name's line breaks, and its commas after a first ": ", become blanks.
    [[nodiscard]] BuiltText buildListingRecord(std::string_view objectLine);

    // The records the last successful buildListingRecord wrote.
    [[nodiscard]] std::size_t recordCount() const { return m_recordCount; }

    // `Extract`: the value list of the last line given to buildListingRecord, as far as a
    // record uses it (scene::kUsedValueCount values); for an object read by name, its last part's values.
    [[nodiscard]] const ValueList& values() const { return m_values; }
    // The object name as the last record wrote (or would have written) it.
    [[nodiscard]] const std::string& name() const { return m_name; }
    [[nodiscard]] std::optional<int> typeCode() const { return m_typeCode; }
    [[nodiscard]] std::optional<int> holeCode() const { return m_holeCode; }

private:
    // One record; field 0 holds linkNumber: 1 for an object of one part and for a root, 2, 3...
    // for the other parts in their order.
    [[nodiscard]] BuiltText buildRecord(int linkNumber);
    [[nodiscard]] BuiltText buildLinkedRecords();
    // Writes a child's world placement over its GroupPosition and RotationOffset values.
    [[nodiscard]] std::optional<RecordFailure> setWorldPlacement(const Placement& world);

    const platform::Clock& m_clock;
    ObjectParts m_parts;
    std::array<std::string, 7> m_worldTexts;  // a child's world position and rotation
    std::size_t m_recordCount = 0;
    ValueList m_values;
    std::string m_name;
    std::optional<int> m_typeCode;
    std::optional<int> m_holeCode;
};

}  // namespace vantor::extract
