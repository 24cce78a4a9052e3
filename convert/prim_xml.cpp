#include "prim_xml.h"

#include "text/number_fast_paths.h"
#include "text/number_forms.h"
#include "text/xml_text.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

namespace vantor::convert {

using namespace std::string_view_literals;

namespace {

constexpr std::string_view kHexDigits = "0123456789abcdef";

// Whether the decimal form of value reads back as a finite number: near the top of the double
// range, 15 digits may round up beyond it (1.7976931348623157E+308 gives 1.79769313486232E+308).
bool isWritable(double value)
{
    if (!std::isfinite(value)) return false;
    if (std::fabs(value) < 1e308) return true;
    return text::parseNumber(text::formatDecimal(value)).has_value();
}

// Reads the record's fields as numbers; the first failure sticks, and every later read
// returns 0 so that the caller checks once at the end.
std::size_t fieldCount(const PrimRecord& record) { return record.fields.size(); }
std::string_view field(const PrimRecord& record, std::size_t index) { return record.fields[index]; }
std::size_t fieldCount(const PackedRecord& record) { return record.fieldCount(); }
std::string_view field(const PackedRecord& record, std::size_t index) { return record.field(index); }

template <typename Record>
class FieldReader {
public:
    explicit FieldReader(const Record& record) : m_record(record) {}

    double number(std::size_t index)
    {
        if (!m_ok) return 0;
        if (index >= fieldCount(m_record)) return fail();
        const auto value = text::parseNumberQuickly(field(m_record, index));
        if (!value) return fail();
        return *value;
    }

    std::int32_t integer(double value)
    {
        if (!m_ok) return 0;
        const auto rounded = text::toIntegerFormQuickly(value);
        if (!rounded) {
            m_ok = false;
            return 0;
        }
        return *rounded;
    }

    double decimal(double value)
    {
        if (!m_ok) return 0;
        if (!isWritable(value)) return fail();
        return value;
    }

    [[nodiscard]] bool ok() const { return m_ok; }

private:
    double fail()
    {
        m_ok = false;
        return 0;
    }

    const Record& m_record;
    bool m_ok = true;
};

// S(v): shears below zero wrap into the upper byte range, as OpenSim stores them.
double shear(double value)
{
    return value < 0 ? value * 100 + 256 : value * 100;
}

enum class TypeGroup { Flat, Sphere, Swept, Other };

// Sets the profile and path curves and the shape names from the type and hole codes.
TypeGroup applyShapeCodes(double type, double hole, PrimShape& v, ShapeNames& names)
{
    TypeGroup group = TypeGroup::Other;
    if (type == 0 || type == 5) {
        v.profileCurve = 1;
        names.profile = "Square";
        v.pathCurve = type == 0 ? 16 : 32;
        group = type == 0 ? TypeGroup::Flat : TypeGroup::Swept;
    } else if (type == 1 || type == 4) {
        v.profileCurve = 0;
        names.profile = "Circle";
        v.pathCurve = type == 1 ? 16 : 32;
        group = type == 1 ? TypeGroup::Flat : TypeGroup::Swept;
    } else if (type == 2 || type == 6) {
        v.profileCurve = 3;
        names.profile = "EquilateralTriangle";
        v.pathCurve = type == 2 ? 16 : 32;
        group = type == 2 ? TypeGroup::Flat : TypeGroup::Swept;
    } else if (type == 3) {
        v.profileCurve = 5;
        names.profile = "HalfCircle";
        v.pathCurve = 32;
        group = TypeGroup::Sphere;
    }

    if (hole == 0) {
        names.hollow = "Same";
    } else if (hole == 16) {
        names.hollow = "Circle";
    } else if (hole == 32) {
        names.hollow = "Square";
    } else if (hole == 48) {
        names.hollow = "Triangle";
    }
    return group;
}

// Converts the record's Second Life shape values into OpenSim's path and profile values.
template <typename Reader>
bool computeShape(Reader& f, PrimShape& v, ShapeNames& names)
{
    const double type = f.number(11);
    const double hole = f.number(12);
    if (!f.ok()) return false;
    const TypeGroup group = applyShapeCodes(type, hole, v, names);

    switch (group) {
    case TypeGroup::Flat:
        v.pathScaleX = f.integer(200 - f.number(20) * 100);
        v.pathScaleY = f.integer(200 - f.number(21) * 100);
        v.pathShearX = f.integer(shear(f.number(23)));
        v.pathShearY = f.integer(shear(f.number(24)));
        v.profileBegin = f.integer(f.number(13) * 50000);
        v.profileEnd = f.integer((1 - f.number(14)) * 50000);
        break;
    case TypeGroup::Sphere:
        v.pathBegin = f.integer(f.number(13) * 50000);
        v.pathEnd = f.integer((1 - f.number(14)) * 50000);
        v.profileBegin = f.integer(f.number(20) * 50000);
        v.profileEnd = f.integer((1 - f.number(21)) * 50000);
        break;
    case TypeGroup::Swept:
        v.pathBegin = f.integer(f.number(13) * 50000);
        v.pathEnd = f.integer((1 - f.number(14)) * 50000);
        v.pathRadiusOffset = f.integer(f.number(33) * 100);
        v.pathRevolutions = f.integer((f.number(32) - 1) * 200 / 3);
        v.pathScaleX = f.integer(200 - f.number(20) * 100);
        v.pathScaleY = f.integer(200 - f.number(21) * 100);
        v.pathShearX = f.integer(shear(f.number(23)));
        v.pathShearY = f.integer(shear(f.number(24)));
        v.pathSkew = f.integer(f.number(34) * 100);
        v.pathTaperX = f.integer(f.number(29) * 100);
        v.pathTaperY = f.integer(f.number(30) * 100);
        v.profileBegin = f.integer(f.number(26) * 50000);
        v.profileEnd = f.integer((1 - f.number(27)) * 50000);
        break;
    case TypeGroup::Other:
        v.profileBegin = f.integer(f.number(13) * 50000);
        v.profileEnd = f.integer((1 - f.number(14)) * 50000);
        break;
    }
    v.pathTwistBegin = f.integer(f.number(17) * 100);
    v.pathTwist = f.integer(f.number(18) * 100);
    v.profileHollow = f.integer(f.number(16) * 50000);
    return f.ok();
}

// Writes one object document through a sink: literal texts, numbers in their forms, and the
// record's texts. The same walk counts the literal bytes at compile time (LiteralCount), so
// that the bound of a document can never fall behind its text.
template <typename Sink>
constexpr void writeDocument(Sink& out, const PrimValues& values, const PrimTexts& texts)
{
    const PrimShape& v = values.shape;
    out.put("<SceneObjectGroup><SceneObjectPart xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
            "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><LastOwnerID><UUID>");
    out.text(texts.escapedOwnerUuid);
    out.put("</UUID></LastOwnerID><OwnerID><UUID>");
    out.text(texts.escapedOwnerUuid);
    out.put("</UUID></OwnerID><GroupID><UUID>00000000-0000-0000-0000-000000000000</UUID></GroupID>"
            "<OwnershipCost>0</OwnershipCost><ObjectSaleType>0</ObjectSaleType><SalePrice>0</SalePrice>"
            "<Category>0</Category><CreationDate>1206461858</CreationDate><ParentID>0</ParentID>"
            "<BaseMask>2147483647</BaseMask><OwnerMask>2147483647</OwnerMask><GroupMask>0</GroupMask>"
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
    out.decimal(values.position[0]);
    out.put("</X><Y>");
    out.decimal(values.position[1]);
    out.put("</Y><Z>");
    out.decimal(values.position[2]);

    out.put("</Z></GroupPosition><OffsetPosition><X>0</X><Y>0</Y><Z>0</Z></OffsetPosition><RotationOffset><X>");
    out.decimal(values.rotation[0]);
    out.put("</X><Y>");
    out.decimal(values.rotation[1]);
    out.put("</Y><Z>");
    out.decimal(values.rotation[2]);
    out.put("</Z><W>");
    out.decimal(values.rotation[3]);

    out.put("</W></RotationOffset><Velocity><X>0</X><Y>0</Y><Z>0</Z></Velocity>"
            "<RotationalVelocity><X>0</X><Y>0</Y><Z>0</Z></RotationalVelocity>"
            "<AngularVelocity><X>0</X><Y>0</Y><Z>0</Z></AngularVelocity>"
            "<Acceleration><X>0</X><Y>0</Y><Z>0</Z></Acceleration><Description /><Color /><Text /><SitName />"
            "<TouchName /><LinkNum>0</LinkNum><ClickAction>0</ClickAction><Shape><ExtraParams>AA==</ExtraParams>");

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
            "<InventorySerial>0</InventorySerial><TaskInventory></TaskInventory></SceneObjectPart><OtherParts />"
            "</SceneObjectGroup>");
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
// primDocumentBound counts the texts one by one: three owners, the object identifier and the
// two shape names as they are, the local id and the name escaped.
static_assert(kDocumentParts.texts == 6 && kDocumentParts.escapes == 2);

// The longest shape name, which the bound allows for each of the two.
constexpr std::size_t kLongestShapeName = std::string_view("EquilateralTriangle").size();

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
    void decimal(double value) { m_out = text::writeDecimalQuickly(m_out, value); }
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

std::string newObjectUuid(platform::RandomSource& random)
{
    std::string uuid;
    uuid.reserve(36);
    appendObjectUuid(uuid, random);
    return uuid;
}

namespace {

template <typename Record>
bool computeValues(const Record& record, const RezOffset& offset, ShapeNames& shapeNames, PrimValues& values)
{
    FieldReader f(record);
    values.position[0] = f.decimal(f.number(1) - offset.x);
    values.position[1] = f.decimal(f.number(2) - offset.y);
    values.position[2] = f.decimal(f.number(3) - offset.z);
    for (std::size_t i = 0; i < 4; ++i) values.rotation[i] = f.decimal(f.number(4 + i));
    for (std::size_t i = 0; i < 3; ++i) values.size[i] = f.decimal(f.number(8 + i));
    if (!f.ok()) return false;
    values.shape = PrimShape{};
    if (!computeShape(f, values.shape, shapeNames)) return false;
    values.names = shapeNames;
    return true;
}

}  // namespace

bool computePrimValues(const PrimRecord& record, const RezOffset& offset, ShapeNames& shapeNames,
                       PrimValues& values)
{
    return computeValues(record, offset, shapeNames, values);
}

bool computePrimValues(const PackedRecord& record, const RezOffset& offset, ShapeNames& shapeNames,
                       PrimValues& values)
{
    return computeValues(record, offset, shapeNames, values);
}

std::size_t primDocumentBound(const PrimTexts& texts)
{
    return kDocumentParts.literalBytes + kDocumentParts.decimals * text::kMostDecimalBytes
        + kDocumentParts.integers * text::kMostIntegerBytes
        + text::kLongestEntity * (texts.localId.size() + texts.name.size())
        // Three owners, the object identifier and the two shape names are written as they are.
        + 3 * texts.escapedOwnerUuid.size() + texts.objectUuid.size() + 2 * kLongestShapeName;
}

char* writePrimDocument(char* out, const PrimValues& values, const PrimTexts& texts)
{
    PointerSink sink(out);
    writeDocument(sink, values, texts);
    return sink.end();
}

bool appendPrimXml(std::string& out, const PrimRecord& record, const PrimXmlInputs& inputs, ShapeNames& shapeNames)
{
    PrimValues values;
    if (!computePrimValues(record, inputs.offset, shapeNames, values)) return false;
    std::string owner;
    text::appendXmlEscaped(owner, inputs.ownerUuid);
    const PrimTexts texts{owner, inputs.localId, inputs.objectUuid, record.name};
    const std::size_t start = out.size();
    out.resize(start + primDocumentBound(texts));
    char* const end = writePrimDocument(out.data() + start, values, texts);
    out.resize(static_cast<std::size_t>(end - out.data()));
    return true;
}

void SceneFile::begin()
{
    m_file.write("<scene>\r\n\r\n"sv);
}

void SceneFile::add(std::string_view document)
{
    m_file.write(document);
    m_file.write("\r\n"sv);
}

void SceneFile::end()
{
    m_file.write("\r\n</scene>\r\n"sv);
}

}  // namespace vantor::convert
