#include "listing_record.h"

#include "scene/object_layout.h"
#include "scene/prim_shapes.h"
#include "text/number_forms.h"
#include "text/xml_text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string>

namespace vantor::extract {

namespace {

namespace value = scene::value;

constexpr std::string_view kNoExtraParams = "AA==";  // one zero byte: not sculpted, flexible or lit
// How the converter's documents begin: their first value is LastOwnerID's, well within the
// first bytes (after the namespace attributes).
constexpr std::string_view kConverterHead = "><LastOwnerID><UUID>";
constexpr std::size_t kConverterHeadBytes = 512;

std::string_view valueAt(const ValueList& values, std::size_t index)
{
    return index < values.size() ? values[index] : std::string_view{};
}

bool isMissing(const ValueList& values, std::size_t index)
{
    return index >= values.size() || values[index].data() == nullptr;
}

// The object name as a record carries it: decoded, line breaks as blanks. The listing's reader
// takes a name only up to its first ": " and cuts the rest of the record into fields at
// commas, so a comma after that separator would add a field: it becomes a blank, which
// changes nothing the reader keeps of the name.
std::string listingName(std::string_view element)
{
    std::string name = text::decodeXmlText(element);
    const std::size_t separator = name.find(": ");
    if (separator != std::string::npos) {
        std::replace(name.begin() + static_cast<std::ptrdiff_t>(separator), name.end(), ',', ' ');
    }
    return name;
}

// How the listing's reader takes a value that is copied as text.
enum class Copied {
    HeaderValue,  // the header's x or y: the text as it stands must be a number
    RecordField,  // position, rotation, size: the text without the blanks, "<" and ">" it drops
                  // must be a number whose decimal form, written again, reads back
};

// A shape value's scaling from the document's units into the listing's, and back as the
// listing's reader takes it.
struct Scaling {
    double (*fromUnits)(double);
    double (*toUnits)(double);
};
constexpr Scaling kCut{scene::fromCutUnits, scene::toCutUnits};
constexpr Scaling kCutEnd{scene::fromCutEndUnits, scene::toCutEndUnits};
constexpr Scaling kHundredths{scene::fromHundredths, scene::toHundredths};
constexpr Scaling kPathScale{scene::fromPathScale, scene::toPathScale};
constexpr Scaling kShear{scene::fromShear, scene::toShear};
constexpr Scaling kRevolutions{scene::fromRevolutionUnits, scene::toRevolutionUnits};

// Whether the listing's reader, reading the decimal form of value back, holds toUnits of it
// in its 32-bit integer units: exactly the converter's steps.
bool fitsTheIntegerUnits(double value, double (*toUnits)(double))
{
    // No scaling takes a value of at most 1000 beyond (1 + 1000) x 50000.
    if (std::fabs(value) <= 1000) return true;
    if (!std::isfinite(value)) return false;
    char written[text::kMostDecimalBytes];
    const char* const end = text::writeDecimal(written, value);
    const auto read = text::parseNumber(std::string_view(written, static_cast<std::size_t>(end - written)));
    return read && text::toIntegerForm(toUnits(*read));
}

// "[H:MM]": the hour without a leading zero, the minute with two digits.
void appendTimeStamp(std::string& out, const platform::Clock& clock)
{
    const platform::LocalTime time = clock.now();
    out += '[';
    text::appendInteger(out, time.hour);
    out += ':';
    if (time.minute < 10) out += '0';
    text::appendInteger(out, time.minute);
    out += ']';
}

// Converts values to numbers for one line and keeps the first failure; once one failed,
// every later read fails too, so a formula can be written out in full and checked once.
class NumberReader {
public:
    explicit NumberReader(const ValueList& values) : m_values(values) {}

    double operator()(std::size_t index)
    {
        if (failure) return 0;
        if (isMissing(m_values, index)) {
            failure = RecordFailure{RecordError::MissingValue, index};
            return 0;
        }
        const auto number = text::parseNumber(m_values[index]);
        if (!number) {
            failure = RecordFailure{RecordError::NotANumber, index};
            return 0;
        }
        return *number;
    }

    // A computed value written in the decimal form; one whose form does not read back (beyond
    // the double range) is a fault of the value it came from.
    double checked(double value, std::size_t index)
    {
        if (!failure && !text::decimalFormReadsBack(value)) {
            failure = RecordFailure{RecordError::ArithmeticFault, index};
        }
        return value;
    }

    // A shape value computed from value index; a fault of that value when the listing's reader
    // could not hold it in its integer units.
    double shape(std::size_t index, const Scaling& scaling)
    {
        const double value = scaling.fromUnits((*this)(index));
        if (!failure && !fitsTheIntegerUnits(value, scaling.toUnits)) {
            failure = RecordFailure{RecordError::ArithmeticFault, index};
        }
        return value;
    }

    // Decodes value index into text, as a record or header line copies it, and checks that
    // the listing's reader takes it as a number.
    void copy(std::size_t index, Copied how, std::string& out)
    {
        out.clear();
        if (failure) return;
        if (isMissing(m_values, index)) {
            failure = RecordFailure{RecordError::MissingValue, index};
            return;
        }
        text::appendXmlText(out, m_values[index]);
        std::optional<double> number;
        if (how == Copied::HeaderValue || out.find_first_of(" <>") == std::string::npos) {
            number = text::parseNumber(out);
        } else {
            m_field.clear();
            for (const char c : out) {
                if (c != ' ' && c != '<' && c != '>') m_field += c;
            }
            number = text::parseNumber(m_field);
        }
        if (!number) {
            failure = RecordFailure{RecordError::NotANumber, index};
        } else if (how == Copied::RecordField && !text::decimalFormReadsBack(*number)) {
            failure = RecordFailure{RecordError::ArithmeticFault, index};
        }
    }

    std::optional<RecordFailure> failure;

private:
    const ValueList& m_values;
    std::string m_field;
};

// Two shape values that line B writes as one vector "<a, b, 0>".
struct ShapeVector {
    double a = 0;
    double b = 0;
};

void appendVector(std::string& out, const ShapeVector& vector)
{
    out += '<';
    text::appendDecimal(out, vector.a);
    out += ", ";
    text::appendDecimal(out, vector.b);
    out += ", 0>";
}

// What line B holds after the twist, by shape group.
enum class LineB {
    BoxLike,  // top size and shear (boxes, prisms, cylinders, and no type at all)
    Sphere,   // the dimple
    Swept,    // hole size, shear, profile cut, taper, revolutions, radius offset and skew
};

struct RecordShape {
    std::optional<int> type;  // the type code, or the previous object's
    std::optional<int> hole;  // the hole code, or the previous object's
    LineB lineB = LineB::BoxLike;
};

// The record's type and hole codes. Every type rule that holds sets the type, so a later rule
// overrides an earlier one; when none holds, the previous object's code stays. A sphere, torus,
// tube or ring with extra parameters is written as a box, its name marked "S*".
RecordShape recordShape(const ValueList& values, NumberReader& number, std::optional<int> previousType,
                        std::optional<int> previousHole, std::string& name)
{
    RecordShape shape;
    const double curve = number(value::kPathCurve);
    shape.type = previousType;
    if (const auto shapeType = scene::typeOfShape(valueAt(values, value::kProfileShape), curve)) shape.type = shapeType;
    if (valueAt(values, value::kExtraParams) != kNoExtraParams && curve == scene::kCurvedPath) {
        shape.type = 0;
        name.insert(0, "S*");
    }
    const scene::ShapeCode* code = shape.type ? scene::shapeOfType(*shape.type) : nullptr;
    if (code && code->group == scene::ShapeGroup::Sphere) {
        shape.lineB = LineB::Sphere;
    } else if (code && code->group != scene::ShapeGroup::Flat) {
        shape.lineB = LineB::Swept;
    }
    shape.hole = previousHole;
    if (const auto hole = scene::holeOfName(valueAt(values, value::kHollowShape))) shape.hole = hole;
    return shape;
}

// The path cut. Every object holds it as numbers; a box-like one's cut comes from its profile instead.
ShapeVector readCut(NumberReader& number, LineB lineB)
{
    if (lineB == LineB::BoxLike) {
        number(value::kPathBegin);
        number(value::kPathEnd);
        return {number.shape(value::kProfileBegin, kCut), number.shape(value::kProfileEnd, kCutEnd)};
    }
    return {number.shape(value::kPathBegin, kCut), number.shape(value::kPathEnd, kCutEnd)};
}

// Position, rotation and size go into line A as they stand, once the listing's reader is known
// to take each as a number.
constexpr std::size_t kCopiedVectors[][2] = {{value::kPositionX, 3}, {value::kRotationX, 4}, {value::kScaleX, 3}};
constexpr std::size_t kCopiedValueCount = 10;

void copyPlacementValues(NumberReader& number, std::array<std::string, kCopiedValueCount>& copied)
{
    std::size_t next = 0;
    for (const auto& [first, length] : kCopiedVectors) {
        for (std::size_t i = 0; i < length; ++i) number.copy(first + i, Copied::RecordField, copied[next++]);
    }
}

// Line A after the name: field 0, the part's link number, and the three copied vectors. Only
// linking reads field 0: the converter takes the values from field 1 on, so listings stay
// readable by every reader of the shape-value count that field once held.
void appendLineA(std::string& out, int linkNumber, const std::array<std::string, kCopiedValueCount>& copied)
{
    text::appendInteger(out, linkNumber);
    std::size_t next = 0;
    for (const auto& [first, length] : kCopiedVectors) {
        out += ", <";
        for (std::size_t i = 0; i < length; ++i) {
            if (i != 0) out += ", ";
            out += copied[next++];
        }
        out += '>';
    }
}

// Line B's values after the twist.
void appendShapeValues(std::string& out, NumberReader& number, LineB lineB)
{
    const auto vector = [&](std::size_t a, const Scaling& aScaling, std::size_t b, const Scaling& bScaling) {
        const double first = number.shape(a, aScaling);
        appendVector(out, {first, number.shape(b, bScaling)});
    };
    switch (lineB) {
    case LineB::BoxLike:
        vector(value::kPathScaleX, kPathScale, value::kPathScaleY, kPathScale);  // top size
        out += ", ";
        vector(value::kPathShearX, kShear, value::kPathShearY, kShear);
        return;
    case LineB::Sphere:
        vector(value::kProfileBegin, kCut, value::kProfileEnd, kCutEnd);  // dimple
        return;
    case LineB::Swept:
        vector(value::kPathScaleX, kPathScale, value::kPathScaleY, kPathScale);  // hole size
        out += ", ";
        vector(value::kPathShearX, kShear, value::kPathShearY, kShear);
        out += ", ";
        vector(value::kProfileBegin, kCut, value::kProfileEnd, kCutEnd);
        out += ", ";
        vector(value::kPathTaperX, kHundredths, value::kPathTaperY, kHundredths);
        out += ", ";
        text::appendDecimal(out, number.shape(value::kPathRevolutions, kRevolutions));
        out += ", ";
        text::appendDecimal(out, number.shape(value::kPathRadiusOffset, kHundredths));
        out += ", ";
        text::appendDecimal(out, number.shape(value::kPathSkew, kHundredths));
        return;
    }
}

// Reads a position (three values from positionIndex) and RotationOffset's quaternion.
std::optional<RecordFailure> readPlacement(const ValueList& values, std::size_t positionIndex, Placement& placement)
{
    NumberReader number(values);
    for (std::size_t i = 0; i < 3; ++i) placement.position[i] = number(positionIndex + i);
    for (std::size_t i = 0; i < 4; ++i) placement.rotation[i] = number(value::kRotationX + i);
    return number.failure;
}

}  // namespace

BuiltText buildHeaderLine(const ValueList& values, const platform::Clock& clock)
{
    BuiltText header;
    NumberReader number(values);
    std::string x;
    std::string y;
    number.copy(value::kPositionX, Copied::HeaderValue, x);
    number.copy(value::kPositionY, Copied::HeaderValue, y);
    const double z = number.checked(number(value::kPositionZ) - 2, value::kPositionZ);
    if (number.failure) {
        header.failure = number.failure;
        return header;
    }
    appendTimeStamp(header.text, clock);
    header.text += "  Rezzer: <";
    header.text += x;
    header.text += ", ";
    header.text += y;
    header.text += ", ";
    text::appendDecimal(header.text, z);
    header.text += '>';
    return header;
}

BuiltText buildHeaderLineFor(std::string_view object, const platform::Clock& clock, std::string* name)
{
    ValueList values;
    const TokeniseResult tokenised = tokeniseFirstValues(object, values, scene::kUsedValueCount);
    if (tokenised != TokeniseResult::Stop && !readsByIndex(object, values)) {
        ObjectParts parts;
        if (parts.parse(object)) parts.partValues(0, values);
    }
    if (name) *name = listingName(valueAt(values, value::kName));
    return buildHeaderLine(values, clock);
}

BuiltText ListingRecordBuilder::buildListingRecord(std::string_view objectLine)
{
    m_recordCount = 0;
    // A document that does not begin as the converter's, with LastOwnerID first, cannot be read
    // by index; it is read by name at once, without tokenising it first.
    const bool converterLike = objectLine.substr(0, kConverterHeadBytes).find(kConverterHead) != std::string_view::npos;
    if (!converterLike && m_parts.parse(objectLine)) return buildLinkedRecords();
    const TokeniseResult tokenised = tokeniseFirstValues(objectLine, m_values, scene::kUsedValueCount);
    if (converterLike && tokenised != TokeniseResult::Stop && !readsByIndex(objectLine, m_values)
        && m_parts.parse(objectLine)) {
        return buildLinkedRecords();
    }
    m_name = listingName(valueAt(m_values, value::kName));
    if (tokenised == TokeniseResult::Stop) {
        BuiltText record;
        record.failure = RecordFailure{RecordError::CutOffLine, 0};
        return record;
    }
    BuiltText record = buildRecord(1);
    if (record) m_recordCount = 1;
    return record;
}

BuiltText ListingRecordBuilder::buildLinkedRecords()
{
    const std::optional<int> typeBefore = m_typeCode;
    const std::optional<int> holeBefore = m_holeCode;
    const auto fail = [&](BuiltText failed, std::size_t part) {
        m_typeCode = typeBefore;
        m_holeCode = holeBefore;
        failed.text.clear();
        failed.failure->part = part;
        m_recordCount = 0;
        return failed;
    };
    ValueList root;
    m_parts.partValues(0, root);
    // A lone root needs no placement, so its position and rotation need not be numbers here.
    Placement rootPlacement;
    if (m_parts.partCount() > 1) {
        if (auto failure = readPlacement(root, value::kPositionX, rootPlacement)) {
            m_name = listingName(valueAt(root, value::kName));
            return fail(BuiltText{{}, failure}, 0);
        }
    }
    BuiltText all;
    for (std::size_t part = 0; part < m_parts.partCount(); ++part) {
        if (part == 0) {
            m_values = root;
        } else {
            m_parts.partValues(part, m_values);
            Placement local;
            if (auto failure = readPlacement(m_values, value::kOffsetX, local)) {
                m_name = listingName(valueAt(m_values, value::kName));
                return fail(BuiltText{{}, failure}, part);
            }
            if (auto failure = setWorldPlacement(placeChild(rootPlacement, local.position, local.rotation))) {
                return fail(BuiltText{{}, failure}, part);
            }
        }
        m_name = listingName(valueAt(m_values, value::kName));
        BuiltText record = buildRecord(static_cast<int>(part) + 1);
        if (!record) return fail(std::move(record), part);
        if (part != 0) all.text += "\r\n";
        all.text += record.text;
    }
    m_recordCount = m_parts.partCount();
    return all;
}

std::optional<RecordFailure> ListingRecordBuilder::setWorldPlacement(const Placement& world)
{
    // The world values take the place of GroupPosition and RotationOffset in the part's values;
    // one that would not read back is a fault of the local value it came from.
    for (std::size_t i = 0; i < 7; ++i) {
        const double number = i < 3 ? world.position[i] : world.rotation[i - 3];
        std::string& text = m_worldTexts[i];
        text.clear();
        if (!text::decimalFormReadsBack(number)) {
            const std::size_t index = i < 3 ? value::kOffsetX + i : value::kRotationX + i - 3;
            return RecordFailure{RecordError::ArithmeticFault, index};
        }
        text::appendDecimal(text, number);
        m_values[i < 3 ? value::kPositionX + i : value::kRotationX + i - 3] = text;
    }
    return std::nullopt;
}

BuiltText ListingRecordBuilder::buildRecord(int linkNumber)
{
    BuiltText record;
    NumberReader number(m_values);
    const RecordShape shape = recordShape(m_values, number, m_typeCode, m_holeCode, m_name);
    const ShapeVector cut = readCut(number, shape.lineB);
    const double hollow = number.shape(value::kProfileHollow, kCut);
    const ShapeVector twist{number.shape(value::kPathTwistBegin, kHundredths),
                            number.shape(value::kPathTwist, kHundredths)};
    std::array<std::string, kCopiedValueCount> copied;
    copyPlacementValues(number, copied);
    if (number.failure) {
        record.failure = number.failure;
        return record;
    }

    std::string& out = record.text;
    out.reserve(256);
    appendTimeStamp(out, m_clock);
    out += "  ";
    out += m_name;
    out += ": ";
    appendLineA(out, linkNumber, copied);
    out += ", \r\n";

    if (shape.type) text::appendInteger(out, *shape.type);
    out += ", ";
    if (shape.hole) text::appendInteger(out, *shape.hole);
    out += ", ";
    appendVector(out, cut);
    out += ", ";
    text::appendDecimal(out, hollow);
    out += ", ";
    appendVector(out, twist);
    out += ", ";
    appendShapeValues(out, number, shape.lineB);
    out += ", 0";
    if (number.failure) {
        record.text.clear();
        record.failure = number.failure;
        return record;
    }
    m_typeCode = shape.type;
    m_holeCode = shape.hole;
    return record;
}

}  // namespace vantor::extract
