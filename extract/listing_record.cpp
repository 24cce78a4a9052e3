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

void appendVector(std::string& out, double a, double b)
{
    out += '<';
    text::appendDecimal(out, a);
    out += ", ";
    text::appendDecimal(out, b);
    out += ", 0>";
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
    BuiltText record = buildRecord();
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
    BuiltText all;
    ValueList root;
    m_parts.partValues(0, root);
    // The root's position G and rotation q, which place every child.
    NumberReader rootNumber(root);
    const auto rootValue = [&](std::size_t index) { return m_parts.partCount() > 1 ? rootNumber(index) : 0.0; };
    const double gx = rootValue(value::kPositionX);
    const double gy = rootValue(value::kPositionY);
    const double gz = rootValue(value::kPositionZ);
    const double x = rootValue(value::kRotationX);
    const double y = rootValue(value::kRotationX + 1);
    const double z = rootValue(value::kRotationX + 2);
    const double w = rootValue(value::kRotationX + 3);
    if (rootNumber.failure) {
        m_name = listingName(valueAt(root, value::kName));
        return fail(BuiltText{{}, rootNumber.failure}, 0);
    }
    for (std::size_t part = 0; part < m_parts.partCount(); ++part) {
        if (part == 0) {
            m_values = root;
        } else {
            m_parts.partValues(part, m_values);
            // The child's world place: the root's position plus the child's offset turned by
            // the root's rotation, and the root's rotation times the child's; in exactly this
            // order of terms, not normalised.
            NumberReader number(m_values);
            const double vx = number(value::kOffsetX);
            const double vy = number(value::kOffsetX + 1);
            const double vz = number(value::kOffsetX + 2);
            const double bx = number(value::kRotationX);
            const double by = number(value::kRotationX + 1);
            const double bz = number(value::kRotationX + 2);
            const double bw = number(value::kRotationX + 3);
            if (number.failure) {
                m_name = listingName(valueAt(m_values, value::kName));
                return fail(BuiltText{{}, number.failure}, part);
            }
            const double rw = -x * vx - y * vy - z * vz;
            const double rx = w * vx + y * vz - z * vy;
            const double ry = w * vy + z * vx - x * vz;
            const double rz = w * vz + x * vy - y * vx;
            const double world[7] = {
                gx + (-rw * x + rx * w - ry * z + rz * y),
                gy + (-rw * y + ry * w - rz * x + rx * z),
                gz + (-rw * z + rz * w - rx * y + ry * x),
                w * bx + x * bw + y * bz - z * by,
                w * by + y * bw + z * bx - x * bz,
                w * bz + z * bw + x * by - y * bx,
                w * bw - x * bx - y * by - z * bz,
            };
            for (std::size_t i = 0; i < 7; ++i) {
                std::string& text = m_worldTexts[i];
                text.clear();
                if (!text::decimalFormReadsBack(world[i])) {
                    const std::size_t index = i < 3 ? value::kOffsetX + i : value::kRotationX + i - 3;
                    return fail(BuiltText{{}, RecordFailure{RecordError::ArithmeticFault, index}}, part);
                }
                text::appendDecimal(text, world[i]);
                m_values[i < 3 ? value::kPositionX + i : value::kRotationX + i - 3] = text;
            }
        }
        m_name = listingName(valueAt(m_values, value::kName));
        BuiltText record = buildRecord();
        if (!record) return fail(std::move(record), part);
        if (part != 0) all.text += "\r\n";
        all.text += record.text;
    }
    m_recordCount = m_parts.partCount();
    return all;
}

BuiltText ListingRecordBuilder::buildRecord()
{
    BuiltText record;
    NumberReader number(m_values);

    // Type code: every rule that holds sets it, so a later rule overrides an earlier one;
    // when none holds, the previous object's code stays.
    const double curve = number(value::kPathCurve);
    const bool curved = curve == scene::kCurvedPath;
    std::optional<int> type = m_typeCode;
    if (const auto shapeType = scene::typeOfShape(valueAt(m_values, value::kProfileShape), curve)) type = shapeType;
    // A sphere, torus, tube or ring with extra parameters is written as a box, marked "S*".
    if (valueAt(m_values, value::kExtraParams) != kNoExtraParams && curved) {
        type = 0;
        m_name.insert(0, "S*");
    }
    const scene::ShapeCode* shape = type ? scene::shapeOfType(*type) : nullptr;
    const bool boxLike = !shape || shape->group == scene::ShapeGroup::Flat;
    const bool sphere = shape && shape->group == scene::ShapeGroup::Sphere;
    const int count = boxLike ? 7 : sphere ? 6 : 12;

    std::optional<int> hole = m_holeCode;
    if (const auto code = scene::holeOfName(valueAt(m_values, value::kHollowShape))) hole = code;

    // Every object holds its path cut as numbers; a box's cut comes from its profile instead.
    double cutBegin = 0;
    double cutEnd = 0;
    if (boxLike) {
        number(value::kPathBegin);
        number(value::kPathEnd);
        cutBegin = number.shape(value::kProfileBegin, kCut);
        cutEnd = number.shape(value::kProfileEnd, kCutEnd);
    } else {
        cutBegin = number.shape(value::kPathBegin, kCut);
        cutEnd = number.shape(value::kPathEnd, kCutEnd);
    }
    const double hollow = number.shape(value::kProfileHollow, kCut);
    const double twistBegin = number.shape(value::kPathTwistBegin, kHundredths);
    const double twistEnd = number.shape(value::kPathTwist, kHundredths);

    // Position, rotation and size go into line A as they stand, once the listing's reader is
    // known to take each as a number.
    static constexpr std::size_t kCopiedVectors[][2] = {
        {value::kPositionX, 3}, {value::kRotationX, 4}, {value::kScaleX, 3}};
    std::array<std::string, 10> copied;
    std::size_t next = 0;
    for (const auto& [first, length] : kCopiedVectors) {
        for (std::size_t i = 0; i < length; ++i) number.copy(first + i, Copied::RecordField, copied[next++]);
    }
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
    text::appendInteger(out, count);
    next = 0;
    for (const auto& [first, length] : kCopiedVectors) {
        out += ", <";
        for (std::size_t i = 0; i < length; ++i) {
            if (i != 0) out += ", ";
            out += copied[next++];
        }
        out += '>';
    }
    out += ", \r\n";

    if (type) text::appendInteger(out, *type);
    out += ", ";
    if (hole) text::appendInteger(out, *hole);
    out += ", ";
    appendVector(out, cutBegin, cutEnd);
    out += ", ";
    text::appendDecimal(out, hollow);
    out += ", ";
    appendVector(out, twistBegin, twistEnd);
    out += ", ";
    if (boxLike) {
        const double topX = number.shape(value::kPathScaleX, kPathScale);
        const double topY = number.shape(value::kPathScaleY, kPathScale);
        const double shearX = number.shape(value::kPathShearX, kShear);
        const double shearY = number.shape(value::kPathShearY, kShear);
        appendVector(out, topX, topY);
        out += ", ";
        appendVector(out, shearX, shearY);
    } else if (sphere) {
        const double dimpleBegin = number.shape(value::kProfileBegin, kCut);
        const double dimpleEnd = number.shape(value::kProfileEnd, kCutEnd);
        appendVector(out, dimpleBegin, dimpleEnd);
    } else {
        const double holeX = number.shape(value::kPathScaleX, kPathScale);
        const double holeY = number.shape(value::kPathScaleY, kPathScale);
        const double shearX = number.shape(value::kPathShearX, kShear);
        const double shearY = number.shape(value::kPathShearY, kShear);
        const double profileBegin = number.shape(value::kProfileBegin, kCut);
        const double profileEnd = number.shape(value::kProfileEnd, kCutEnd);
        const double taperX = number.shape(value::kPathTaperX, kHundredths);
        const double taperY = number.shape(value::kPathTaperY, kHundredths);
        const double revolutions = number.shape(value::kPathRevolutions, kRevolutions);
        const double radiusOffset = number.shape(value::kPathRadiusOffset, kHundredths);
        const double skew = number.shape(value::kPathSkew, kHundredths);
        appendVector(out, holeX, holeY);
        out += ", ";
        appendVector(out, shearX, shearY);
        out += ", ";
        appendVector(out, profileBegin, profileEnd);
        out += ", ";
        appendVector(out, taperX, taperY);
        out += ", ";
        text::appendDecimal(out, revolutions);
        out += ", ";
        text::appendDecimal(out, radiusOffset);
        out += ", ";
        text::appendDecimal(out, skew);
    }
    out += ", 0";
    if (number.failure) {
        record.text.clear();
        record.failure = number.failure;
        return record;
    }
    m_typeCode = type;
    m_holeCode = hole;
    return record;
}

}  // namespace vantor::extract
