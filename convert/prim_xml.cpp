#include "prim_xml.h"

#include "scene/prim_shapes.h"
#include "text/number_forms.h"
#include "text/xml_text.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

namespace vantor::convert {

namespace {

constexpr std::string_view kHexDigits = "0123456789abcdef";

// Reads the record's fields as numbers; the first failure sticks, and every later read
// returns 0 so that the caller checks once at the end.
class FieldReader {
public:
    explicit FieldReader(const PackedRecord& record) : m_record(record) {}

    double number(std::size_t index)
    {
        if (!m_ok) return 0;
        if (index >= m_record.fieldCount()) return fail();
        const auto value = text::parseNumber(m_record.field(index));
        if (!value) return fail();
        return *value;
    }

    std::int32_t integer(double value)
    {
        if (!m_ok) return 0;
        const auto rounded = text::toIntegerForm(value);
        if (!rounded) {
            m_ok = false;
            return 0;
        }
        return *rounded;
    }

    double decimal(double value)
    {
        if (!m_ok) return 0;
        if (!text::decimalFormReadsBack(value)) return fail();
        return value;
    }

    [[nodiscard]] bool ok() const { return m_ok; }

private:
    double fail()
    {
        m_ok = false;
        return 0;
    }

    const PackedRecord& m_record;
    bool m_ok = true;
};

// Where the values of a record sit among its fields: line A holds the count, the position,
// the rotation and the size; line B the shape values, whose meaning depends on the shape.
namespace Field {
constexpr std::size_t PositionX = 1;
constexpr std::size_t RotationX = 4;
constexpr std::size_t SizeX = 8;
constexpr std::size_t Type = 11;
constexpr std::size_t Hole = 12;
constexpr std::size_t CutBegin = 13;
constexpr std::size_t CutEnd = 14;
constexpr std::size_t Hollow = 16;
constexpr std::size_t TwistBegin = 17;
constexpr std::size_t TwistEnd = 18;
constexpr std::size_t TopSizeX = 20;  // the dimple of a sphere, the hole size of a swept shape
constexpr std::size_t TopSizeY = 21;
constexpr std::size_t ShearX = 23;
constexpr std::size_t ShearY = 24;
constexpr std::size_t ProfileCutBegin = 26;
constexpr std::size_t ProfileCutEnd = 27;
constexpr std::size_t TaperX = 29;
constexpr std::size_t TaperY = 30;
constexpr std::size_t Revolutions = 32;
constexpr std::size_t RadiusOffset = 33;
constexpr std::size_t Skew = 34;
}  // namespace Field

// Converts the record's Second Life shape values into OpenSim's path and profile values; a
// type or hole code the shape table does not hold leaves the run's shape name as it was.
bool computeShape(FieldReader& f, PrimShape& v, ShapeNames& names)
{
    const double type = f.number(Field::Type);
    const double hole = f.number(Field::Hole);
    if (!f.ok()) return false;
    const scene::ShapeCode* shape = scene::shapeOfType(type);
    if (shape) {
        v.profileCurve = shape->profileCurve;
        v.pathCurve = shape->pathCurve;
        names.profile = shape->profileName;
    }
    if (const scene::HoleCode* code = scene::holeOfCode(hole)) names.hollow = code->hollowName;

    if (!shape) {
        v.profileBegin = f.integer(scene::toCutUnits(f.number(Field::CutBegin)));
        v.profileEnd = f.integer(scene::toCutEndUnits(f.number(Field::CutEnd)));
    } else if (shape->group == scene::ShapeGroup::Flat) {
        v.pathScaleX = f.integer(scene::toPathScale(f.number(Field::TopSizeX)));
        v.pathScaleY = f.integer(scene::toPathScale(f.number(Field::TopSizeY)));
        v.pathShearX = f.integer(scene::toShear(f.number(Field::ShearX)));
        v.pathShearY = f.integer(scene::toShear(f.number(Field::ShearY)));
        v.profileBegin = f.integer(scene::toCutUnits(f.number(Field::CutBegin)));
        v.profileEnd = f.integer(scene::toCutEndUnits(f.number(Field::CutEnd)));
    } else if (shape->group == scene::ShapeGroup::Sphere) {
        v.pathBegin = f.integer(scene::toCutUnits(f.number(Field::CutBegin)));
        v.pathEnd = f.integer(scene::toCutEndUnits(f.number(Field::CutEnd)));
        v.profileBegin = f.integer(scene::toCutUnits(f.number(Field::TopSizeX)));
        v.profileEnd = f.integer(scene::toCutEndUnits(f.number(Field::TopSizeY)));
    } else {
        v.pathBegin = f.integer(scene::toCutUnits(f.number(Field::CutBegin)));
        v.pathEnd = f.integer(scene::toCutEndUnits(f.number(Field::CutEnd)));
        v.pathRadiusOffset = f.integer(scene::toHundredths(f.number(Field::RadiusOffset)));
        v.pathRevolutions = f.integer(scene::toRevolutionUnits(f.number(Field::Revolutions)));
        v.pathScaleX = f.integer(scene::toPathScale(f.number(Field::TopSizeX)));
        v.pathScaleY = f.integer(scene::toPathScale(f.number(Field::TopSizeY)));
        v.pathShearX = f.integer(scene::toShear(f.number(Field::ShearX)));
        v.pathShearY = f.integer(scene::toShear(f.number(Field::ShearY)));
        v.pathSkew = f.integer(scene::toHundredths(f.number(Field::Skew)));
        v.pathTaperX = f.integer(scene::toHundredths(f.number(Field::TaperX)));
        v.pathTaperY = f.integer(scene::toHundredths(f.number(Field::TaperY)));
        v.profileBegin = f.integer(scene::toCutUnits(f.number(Field::ProfileCutBegin)));
        v.profileEnd = f.integer(scene::toCutEndUnits(f.number(Field::ProfileCutEnd)));
    }
    v.pathTwistBegin = f.integer(scene::toHundredths(f.number(Field::TwistBegin)));
    v.pathTwist = f.integer(scene::toHundredths(f.number(Field::TwistEnd)));
    v.profileHollow = f.integer(scene::toCutUnits(f.number(Field::Hollow)));
    return f.ok();
}

// Writes one object document through a sink: literal texts, numbers in their forms, and the
// record's texts. The same walk counts the literal bytes at compile time (LiteralCount), so
// that the bound of a document can never fall behind its text.
template <typename Sink>
constexpr void writePart(Sink& out, const PrimValues& values, const PrimTexts& texts, const PartPlacement& placement)
{
    const PrimShape& v = values.shape;
    out.put("<SceneObjectPart xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
            "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><LastOwnerID><UUID>");
    out.text(texts.escapedOwnerUuid);
    out.put("</UUID></LastOwnerID><OwnerID><UUID>");
    out.text(texts.escapedOwnerUuid);
    out.put("</UUID></OwnerID><GroupID><UUID>00000000-0000-0000-0000-000000000000</UUID></GroupID>"
            "<OwnershipCost>0</OwnershipCost><ObjectSaleType>0</ObjectSaleType><SalePrice>0</SalePrice>"
            "<Category>0</Category><CreationDate>1206461858</CreationDate><ParentID>");
    out.escaped(placement.parentLocalId);
    out.put("</ParentID><BaseMask>2147483647</BaseMask><OwnerMask>2147483647</OwnerMask><GroupMask>0</GroupMask>"
            "<EveryoneMask>0</EveryoneMask><NextOwnerMask>2147483647</NextOwnerMask>"
            "<Flags>Touch AllowInventoryDrop</Flags><CreatorID><UUID>");
    out.text(texts.escapedOwnerUuid);
    out.put("</UUID></CreatorID><ObjectFlags>65664</ObjectFlags><UUID><UUID>");
    out.text(texts.objectUuid);
    out.put("</UUID></UUID><LocalID>");
    out.escaped(texts.localId);
    out.put("</LocalID><Name>");
    out.escaped(texts.name);
    out.put("</Name><Material>0</Material>");

    out.put("<RegionHandle>1099511628032000</RegionHandle><GroupPosition><X>");
    out.decimal(placement.groupPosition[0]);
    out.put("</X><Y>");
    out.decimal(placement.groupPosition[1]);
    out.put("</Y><Z>");
    out.decimal(placement.groupPosition[2]);

    out.put("</Z></GroupPosition><OffsetPosition><X>");
    out.decimal(placement.offset[0]);
    out.put("</X><Y>");
    out.decimal(placement.offset[1]);
    out.put("</Y><Z>");
    out.decimal(placement.offset[2]);
    out.put("</Z></OffsetPosition><RotationOffset><X>");
    out.decimal(placement.rotation[0]);
    out.put("</X><Y>");
    out.decimal(placement.rotation[1]);
    out.put("</Y><Z>");
    out.decimal(placement.rotation[2]);
    out.put("</Z><W>");
    out.decimal(placement.rotation[3]);

    out.put("</W></RotationOffset><Velocity><X>0</X><Y>0</Y><Z>0</Z></Velocity>"
            "<RotationalVelocity><X>0</X><Y>0</Y><Z>0</Z></RotationalVelocity>"
            "<AngularVelocity><X>0</X><Y>0</Y><Z>0</Z></AngularVelocity>"
            "<Acceleration><X>0</X><Y>0</Y><Z>0</Z></Acceleration><Description /><Color /><Text /><SitName />"
            "<TouchName /><LinkNum>");
    out.integer(placement.linkNumber);
    out.put("</LinkNum><ClickAction>0</ClickAction><Shape><ExtraParams>AA==</ExtraParams>");

    out.put("<PathBegin>");
    out.integer(v.pathBegin);
    out.put("</PathBegin><PathCurve>");
    out.integer(v.pathCurve);
    out.put("</PathCurve><PathEnd>");
    out.integer(v.pathEnd);
    out.put("</PathEnd><PathRadiusOffset>");
    out.integer(v.pathRadiusOffset);
    out.put("</PathRadiusOffset><PathRevolutions>");
    out.integer(v.pathRevolutions);
    out.put("</PathRevolutions>");

    out.put("<PathScaleX>");
    out.integer(v.pathScaleX);
    out.put("</PathScaleX><PathScaleY>");
    out.integer(v.pathScaleY);
    out.put("</PathScaleY><PathShearX>");
    out.integer(v.pathShearX);
    out.put("</PathShearX><PathShearY>");
    out.integer(v.pathShearY);
    out.put("</PathShearY>");

    out.put("<PathSkew>");
    out.integer(v.pathSkew);
    out.put("</PathSkew><PathTaperX>");
    out.integer(v.pathTaperX);
    out.put("</PathTaperX><PathTaperY>");
    out.integer(v.pathTaperY);
    out.put("</PathTaperY>");

    out.put("<PathTwist>");
    out.integer(v.pathTwist);
    out.put("</PathTwist><PathTwistBegin>");
    out.integer(v.pathTwistBegin);
    out.put("</PathTwistBegin><PCode>9</PCode>");

    out.put("<ProfileBegin>");
    out.integer(v.profileBegin);
    out.put("</ProfileBegin><ProfileCurve>");
    out.integer(v.profileCurve);
    out.put("</ProfileCurve><ProfileEnd>");
    out.integer(v.profileEnd);
    out.put("</ProfileEnd>");

    out.put("<ProfileHollow>");
    out.integer(v.profileHollow);
    out.put("</ProfileHollow><Scale><X>");
    out.decimal(values.size[0]);
    out.put("</X><Y>");
    out.decimal(values.size[1]);
    out.put("</Y><Z>");
    out.decimal(values.size[2]);
    out.put("</Z></Scale><State>0</State>");

    out.put("<TextureEntry>V0jezPYpRhyaNqNaIh/iHwAAAAAAAAAAgD8AAACAPwAAAAAAAAAAAAAAAAAAAA==</TextureEntry>");

    out.put("<ProfileShape>");
    out.text(values.names.profile);
    out.put("</ProfileShape><HollowShape>");
    out.text(values.names.hollow);
    out.put("</HollowShape></Shape>");

    out.put("<Scale><X>");
    out.decimal(values.size[0]);
    out.put("</X><Y>");
    out.decimal(values.size[1]);
    out.put("</Y><Z>");
    out.decimal(values.size[2]);
    out.put("</Z></Scale>");

    out.put("<UpdateFlag>0</UpdateFlag><FolderID><UUID>489f6a9b-5e15-4c11-a126-b6662b354b1f</UUID></FolderID>"
            "<InventorySerial>0</InventorySerial><TaskInventory></TaskInventory></SceneObjectPart>");
}

constexpr PartPlacement placementOf(const PrimValues& values, std::int32_t linkNumber)
{
    PartPlacement placement;
    placement.linkNumber = linkNumber;
    for (std::size_t i = 0; i < 3; ++i) placement.groupPosition[i] = values.position[i];
    for (std::size_t i = 0; i < 4; ++i) placement.rotation[i] = values.rotation[i];
    return placement;
}

// An object of one part: the group around it, with no other parts.
template <typename Sink>
constexpr void writeDocument(Sink& out, const PrimValues& values, const PrimTexts& texts)
{
    out.put("<SceneObjectGroup>");
    writePart(out, values, texts, placementOf(values, 0));
    out.put("<OtherParts /></SceneObjectGroup>");
}

// Counts what writeDocument writes besides the record's texts: literal bytes, numbers.
struct LiteralCount {
    std::size_t literalBytes = 0;
    std::size_t decimals = 0;
    std::size_t integers = 0;
    std::size_t texts = 0;     // written as they are, including the shape names
    std::size_t escapes = 0;

    template <std::size_t N>
    constexpr void put(const char (&)[N]) { literalBytes += N - 1; }
    constexpr void text(std::string_view) { ++texts; }
    constexpr void escaped(std::string_view) { ++escapes; }
    constexpr void decimal(double) { ++decimals; }
    constexpr void integer(std::int32_t) { ++integers; }
};

constexpr LiteralCount kDocumentParts = [] {
    LiteralCount count;
    writeDocument(count, PrimValues{}, PrimTexts{});
    return count;
}();
constexpr LiteralCount kPartParts = [] {
    LiteralCount count;
    writePart(count, PrimValues{}, PrimTexts{}, PartPlacement{});
    return count;
}();
// The bounds count the texts one by one: three owners, the object identifier and the two shape
// names as they are, the local id, the name and the parent's local id escaped.
static_assert(kDocumentParts.texts == 6 && kDocumentParts.escapes == 3);
static_assert(kPartParts.texts == 6 && kPartParts.escapes == 3);

std::size_t boundOf(const LiteralCount& parts, const PrimTexts& texts, std::string_view parentLocalId)
{
    return parts.literalBytes + parts.decimals * text::kMostDecimalBytes + parts.integers * text::kMostIntegerBytes
        + text::kLongestEntity * (texts.localId.size() + texts.name.size() + parentLocalId.size())
        + 3 * texts.escapedOwnerUuid.size() + texts.objectUuid.size() + 2 * scene::kLongestShapeName;
}

// The quaternion product a x b, components in the order x, y, z, w.
void multiply(const double* a, const double* b, double* product)
{
    product[0] = a[3] * b[0] + a[0] * b[3] + a[1] * b[2] - a[2] * b[1];
    product[1] = a[3] * b[1] + a[1] * b[3] + a[2] * b[0] - a[0] * b[2];
    product[2] = a[3] * b[2] + a[2] * b[3] + a[0] * b[1] - a[1] * b[0];
    product[3] = a[3] * b[3] - a[0] * b[0] - a[1] * b[1] - a[2] * b[2];
}


// Writes a document into memory that primDocumentBound sized.
class PointerSink {
public:
    explicit PointerSink(char* out) : m_out(out) {}

    template <std::size_t N>
    void put(const char (&literal)[N])
    {
        std::memcpy(m_out, literal, N - 1);
        m_out += N - 1;
    }
    void text(std::string_view text)
    {
        // An empty view may have no data at all, which memcpy must not be given.
        if (text.empty()) return;
        std::memcpy(m_out, text.data(), text.size());
        m_out += text.size();
    }
    void escaped(std::string_view text)
    {
        text::forEachEscapedPiece(text, [this](std::string_view piece) { this->text(piece); });
    }
    void decimal(double value) { m_out = text::writeDecimal(m_out, value); }
    void integer(std::int32_t value) { m_out = text::writeInteger(m_out, value); }

    [[nodiscard]] char* end() const { return m_out; }

private:
    char* m_out;
};

}  // namespace

void appendObjectUuid(std::string& out, platform::RandomSource& random)
{
    char uuid[36];
    char* digit = uuid;
    for (int i = 0; i < 32; ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20) *digit++ = '-';
        const float draw = random.next();
        auto index = static_cast<int>(draw * 16.0f);
        if (index < 0) index = 0;
        if (index > 15) index = 15;
        *digit++ = kHexDigits[static_cast<std::size_t>(index)];
    }
    out.append(uuid, sizeof uuid);
}

bool computePrimValues(const PackedRecord& record, const RezOffset& offset, ShapeNames& shapeNames,
                       PrimValues& values)
{
    FieldReader f(record);
    values.position[0] = f.decimal(f.number(Field::PositionX) - offset.x);
    values.position[1] = f.decimal(f.number(Field::PositionX + 1) - offset.y);
    values.position[2] = f.decimal(f.number(Field::PositionX + 2) - offset.z);
    for (std::size_t i = 0; i < 4; ++i) values.rotation[i] = f.decimal(f.number(Field::RotationX + i));
    for (std::size_t i = 0; i < 3; ++i) values.size[i] = f.decimal(f.number(Field::SizeX + i));
    if (!f.ok()) return false;
    values.shape = PrimShape{};
    if (!computeShape(f, values.shape, shapeNames)) return false;
    values.names = shapeNames;
    return true;
}

bool beginsObject(const PackedRecord& record)
{
    return record.fieldCount() > 0 && record.field(0) == "1";
}

std::size_t primDocumentBound(const PrimTexts& texts)
{
    return boundOf(kDocumentParts, texts, PartPlacement{}.parentLocalId);
}

std::size_t linkedPartBound(const PrimTexts& texts, const PartPlacement& placement)
{
    return boundOf(kPartParts, texts, placement.parentLocalId);
}

char* writeLinkedPart(char* out, const PrimValues& values, const PrimTexts& texts, const PartPlacement& placement)
{
    PointerSink sink(out);
    writePart(sink, values, texts, placement);
    return sink.end();
}

PartPlacement ownPlacement(const PrimValues& values, std::int32_t linkNumber)
{
    return placementOf(values, linkNumber);
}

bool childPlacement(const PrimValues& root, const PrimValues& part, std::int32_t linkNumber, PartPlacement& placement)
{
    const double* const q = root.rotation;
    const double norm = q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3];
    const double inverse[4] = {-q[0] / norm, -q[1] / norm, -q[2] / norm, q[3] / norm};
    const double inverseConjugate[4] = {-inverse[0], -inverse[1], -inverse[2], inverse[3]};
    // The offset turned by the inverse: inverse x (p - root) x conjugate(inverse), the same
    // turn that takes a world position back when OpenSim applies the root's rotation.
    const double difference[4] = {part.position[0] - root.position[0], part.position[1] - root.position[1],
                                  part.position[2] - root.position[2], 0};
    double half[4];
    double offset[4];
    multiply(inverse, difference, half);
    multiply(half, inverseConjugate, offset);
    double rotation[4];
    multiply(inverse, part.rotation, rotation);

    placement.linkNumber = linkNumber;
    for (std::size_t i = 0; i < 3; ++i) placement.groupPosition[i] = root.position[i];
    for (std::size_t i = 0; i < 3; ++i) placement.offset[i] = offset[i];
    for (std::size_t i = 0; i < 4; ++i) placement.rotation[i] = rotation[i];
    for (const double value : placement.offset) {
        if (!text::decimalFormReadsBack(value)) return false;
    }
    for (const double value : placement.rotation) {
        if (!text::decimalFormReadsBack(value)) return false;
    }
    return true;
}

char* writePrimDocument(char* out, const PrimValues& values, const PrimTexts& texts)
{
    PointerSink sink(out);
    writeDocument(sink, values, texts);
    return sink.end();
}

}  // namespace vantor::convert
