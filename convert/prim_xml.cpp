#include "prim_xml.h"

#include "number_fast_paths.h"
#include "number_forms.h"

#include <cmath>
#include <cstdint>
#include <optional>

namespace vantor::convert {

using namespace std::string_view_literals;

namespace {

constexpr std::string_view kHexDigits = "0123456789abcdef";

// Second Life prints path values on a grid that doubles cannot hold exactly (revolutions
// 1.015 give 0.999999999999993); OpenSim reads these elements as whole numbers and drops
// such a value, so one within 1e-9 of a whole number is written as that number.
double snapToWhole(double value)
{
    const double whole = std::nearbyint(value);
    return std::fabs(value - whole) <= 1e-9 ? whole : value;
}

// Reads the record's fields as numbers; the first failure sticks, and every later read
// returns 0 so that the caller checks once at the end.
class FieldReader {
public:
    explicit FieldReader(const PrimRecord& record) : m_record(record) {}

    double number(std::size_t index)
    {
        if (!m_ok) return 0;
        if (index >= m_record.fields.size()) return fail();
        const auto value = parseNumberQuickly(m_record.fields[index]);
        if (!value) return fail();
        return *value;
    }

    std::int32_t integer(double value)
    {
        if (!m_ok) return 0;
        const auto rounded = toIntegerForm(value);
        if (!rounded) {
            m_ok = false;
            return 0;
        }
        return *rounded;
    }

    double decimal(double value)
    {
        if (!m_ok) return 0;
        if (!std::isfinite(value)) return fail();
        return value;
    }

    [[nodiscard]] bool ok() const { return m_ok; }

private:
    double fail()
    {
        m_ok = false;
        return 0;
    }

    const PrimRecord& m_record;
    bool m_ok = true;
};

// S(v): shears below zero wrap into the upper byte range, as OpenSim stores them.
double shear(double value)
{
    return value < 0 ? value * 100 + 256 : value * 100;
}

struct ShapeValues {
    std::int32_t pathBegin = 0;
    std::int32_t pathCurve = 32;
    std::int32_t pathEnd = 0;
    double pathRadiusOffset = 0;
    double pathRevolutions = 0;
    double pathScaleX = 100;
    double pathScaleY = 100;
    double pathShearX = 0;
    double pathShearY = 0;
    std::int32_t pathSkew = 0;
    double pathTaperX = 0;
    double pathTaperY = 0;
    double pathTwist = 0;
    double pathTwistBegin = 0;
    std::int32_t profileBegin = 0;
    std::int32_t profileCurve = 0;
    std::int32_t profileEnd = 0;
    std::int32_t profileHollow = 0;
};

enum class TypeGroup { Flat, Sphere, Swept, Other };

// Sets the profile and path curves and the shape names from the type and hole codes.
TypeGroup applyShapeCodes(double type, double hole, ShapeValues& v, ShapeNames& names)
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
bool computeShape(FieldReader& f, ShapeValues& v, ShapeNames& names)
{
    const double type = f.number(11);
    const double hole = f.number(12);
    if (!f.ok()) return false;
    const TypeGroup group = applyShapeCodes(type, hole, v, names);

    switch (group) {
    case TypeGroup::Flat:
        v.pathScaleX = f.decimal(200 - f.number(20) * 100);
        v.pathScaleY = f.decimal(200 - f.number(21) * 100);
        v.pathShearX = f.decimal(shear(f.number(23)));
        v.pathShearY = f.decimal(shear(f.number(24)));
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
        v.pathRadiusOffset = f.decimal(f.number(33) * 100);
        v.pathRevolutions = f.decimal((f.number(32) - 1) * 200 / 3);
        v.pathScaleX = f.decimal(200 - f.number(20) * 100);
        v.pathScaleY = f.decimal(200 - f.number(21) * 100);
        v.pathShearX = f.decimal(shear(f.number(23)));
        v.pathShearY = f.decimal(shear(f.number(24)));
        v.pathSkew = f.integer(f.number(34) * 100);
        v.pathTaperX = f.decimal(f.number(29) * 100);
        v.pathTaperY = f.decimal(f.number(30) * 100);
        v.profileBegin = f.integer(f.number(26) * 50000);
        v.profileEnd = f.integer((1 - f.number(27)) * 50000);
        break;
    case TypeGroup::Other:
        v.profileBegin = f.integer(f.number(13) * 50000);
        v.profileEnd = f.integer((1 - f.number(14)) * 50000);
        break;
    }
    v.pathTwistBegin = f.decimal(f.number(17) * 100);
    v.pathTwist = f.decimal(f.number(18) * 100);
    v.profileHollow = f.integer(f.number(16) * 50000);
    return f.ok();
}

void appendSnapped(std::string& out, double value)
{
    appendDecimalQuickly(out, snapToWhole(value));
}

}  // namespace

void appendObjectUuid(std::string& out, platform::RandomSource& random)
{
    for (int i = 0; i < 32; ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20) out += '-';
        const float draw = random.next();
        auto index = static_cast<int>(draw * 16.0f);
        if (index < 0) index = 0;
        if (index > 15) index = 15;
        out += kHexDigits[static_cast<std::size_t>(index)];
    }
}

std::string newObjectUuid(platform::RandomSource& random)
{
    std::string uuid;
    uuid.reserve(36);
    appendObjectUuid(uuid, random);
    return uuid;
}

void appendXmlEscaped(std::string& out, std::string_view text)
{
    std::size_t from = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::string_view entity;
        switch (text[i]) {
        case '&': entity = "&amp;"; break;
        case '<': entity = "&lt;"; break;
        case '>': entity = "&gt;"; break;
        case '"': entity = "&quot;"; break;
        case '\'': entity = "&apos;"; break;
        default: continue;
        }
        out.append(text, from, i - from);
        out += entity;
        from = i + 1;
    }
    out.append(text, from);
}

bool appendPrimXml(std::string& out, const PrimRecord& record, const PrimXmlInputs& inputs, ShapeNames& shapeNames)
{
    FieldReader f(record);
    const double positionX = f.decimal(f.number(1) - inputs.offset.x);
    const double positionY = f.decimal(f.number(2) - inputs.offset.y);
    const double positionZ = f.decimal(f.number(3) - inputs.offset.z);
    const double rotation[4] = {f.number(4), f.number(5), f.number(6), f.number(7)};
    const double size[3] = {f.number(8), f.number(9), f.number(10)};
    if (!f.ok()) return false;
    ShapeValues v;
    if (!computeShape(f, v, shapeNames)) return false;

    out += "<SceneObjectGroup><SceneObjectPart xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><LastOwnerID><UUID>"sv;
    appendXmlEscaped(out, inputs.ownerUuid);
    out += "</UUID></LastOwnerID><OwnerID><UUID>"sv;
    appendXmlEscaped(out, inputs.ownerUuid);
    out += "</UUID></OwnerID><GroupID><UUID>00000000-0000-0000-0000-000000000000</UUID></GroupID>"
           "<OwnershipCost>0</OwnershipCost><ObjectSaleType>0</ObjectSaleType><SalePrice>0</SalePrice>"
           "<Category>0</Category><CreationDate>1206461858</CreationDate><ParentID>0</ParentID>"
           "<BaseMask>2147483647</BaseMask><OwnerMask>2147483647</OwnerMask><GroupMask>0</GroupMask>"
           "<EveryoneMask>0</EveryoneMask><NextOwnerMask>2147483647</NextOwnerMask>"
           "<Flags>Touch AllowInventoryDrop</Flags><CreatorID><UUID>"sv;
    appendXmlEscaped(out, inputs.ownerUuid);
    out += "</UUID></CreatorID><ObjectFlags>65664</ObjectFlags><UUID><UUID>"sv;
    out += inputs.objectUuid;
    out += "</UUID></UUID><LocalID>"sv;
    appendXmlEscaped(out, inputs.localId);
    out += "</LocalID><Name>"sv;
    appendXmlEscaped(out, record.name);
    out += "</Name><Material>0</Material>"sv;

    out += "<RegionHandle>1099511628032000</RegionHandle><GroupPosition><X>"sv;
    appendDecimalQuickly(out, positionX);
    out += "</X><Y>"sv;
    appendDecimalQuickly(out, positionY);
    out += "</Y><Z>"sv;
    appendDecimalQuickly(out, positionZ);

    out += "</Z></GroupPosition><OffsetPosition><X>0</X><Y>0</Y><Z>0</Z></OffsetPosition><RotationOffset><X>"sv;
    appendDecimalQuickly(out, rotation[0]);
    out += "</X><Y>"sv;
    appendDecimalQuickly(out, rotation[1]);
    out += "</Y><Z>"sv;
    appendDecimalQuickly(out, rotation[2]);
    out += "</Z><W>"sv;
    appendDecimalQuickly(out, rotation[3]);

    out += "</W></RotationOffset><Velocity><X>0</X><Y>0</Y><Z>0</Z></Velocity>"
           "<RotationalVelocity><X>0</X><Y>0</Y><Z>0</Z></RotationalVelocity>"
           "<AngularVelocity><X>0</X><Y>0</Y><Z>0</Z></AngularVelocity>"
           "<Acceleration><X>0</X><Y>0</Y><Z>0</Z></Acceleration><Description /><Color /><Text /><SitName />"
           "<TouchName /><LinkNum>0</LinkNum><ClickAction>0</ClickAction><Shape><ExtraParams>AA==</ExtraParams>"sv;

    out += "<PathBegin>"sv;
    appendInteger(out, v.pathBegin);
    out += "</PathBegin><PathCurve>"sv;
    appendInteger(out, v.pathCurve);
    out += "</PathCurve><PathEnd>"sv;
    appendInteger(out, v.pathEnd);
    out += "</PathEnd><PathRadiusOffset>"sv;
    appendSnapped(out, v.pathRadiusOffset);
    out += "</PathRadiusOffset><PathRevolutions>"sv;
    appendSnapped(out, v.pathRevolutions);
    out += "</PathRevolutions>"sv;

    out += "<PathScaleX>"sv;
    appendSnapped(out, v.pathScaleX);
    out += "</PathScaleX><PathScaleY>"sv;
    appendSnapped(out, v.pathScaleY);
    out += "</PathScaleY><PathShearX>"sv;
    appendSnapped(out, v.pathShearX);
    out += "</PathShearX><PathShearY>"sv;
    appendSnapped(out, v.pathShearY);
    out += "</PathShearY>"sv;

    out += "<PathSkew>"sv;
    appendInteger(out, v.pathSkew);
    out += "</PathSkew><PathTaperX>"sv;
    appendSnapped(out, v.pathTaperX);
    out += "</PathTaperX><PathTaperY>"sv;
    appendSnapped(out, v.pathTaperY);
    out += "</PathTaperY>"sv;

    out += "<PathTwist>"sv;
    appendSnapped(out, v.pathTwist);
    out += "</PathTwist><PathTwistBegin>"sv;
    appendSnapped(out, v.pathTwistBegin);
    out += "</PathTwistBegin><PCode>9</PCode>"sv;

    out += "<ProfileBegin>"sv;
    appendInteger(out, v.profileBegin);
    out += "</ProfileBegin><ProfileCurve>"sv;
    appendInteger(out, v.profileCurve);
    out += "</ProfileCurve><ProfileEnd>"sv;
    appendInteger(out, v.profileEnd);
    out += "</ProfileEnd>"sv;

    out += "<ProfileHollow>"sv;
    appendInteger(out, v.profileHollow);
    out += "</ProfileHollow><Scale><X>"sv;
    appendDecimalQuickly(out, size[0]);
    out += "</X><Y>"sv;
    appendDecimalQuickly(out, size[1]);
    out += "</Y><Z>"sv;
    appendDecimalQuickly(out, size[2]);
    out += "</Z></Scale><State>0</State>"sv;

    out += "<TextureEntry>V0jezPYpRhyaNqNaIh/iHwAAAAAAAAAAgD8AAACAPwAAAAAAAAAAAAAAAAAAAA==</TextureEntry>"sv;

    out += "<ProfileShape>"sv;
    out += shapeNames.profile;
    out += "</ProfileShape><HollowShape>"sv;
    out += shapeNames.hollow;
    out += "</HollowShape></Shape>"sv;

    out += "<Scale><X>"sv;
    appendDecimalQuickly(out, size[0]);
    out += "</X><Y>"sv;
    appendDecimalQuickly(out, size[1]);
    out += "</Y><Z>"sv;
    appendDecimalQuickly(out, size[2]);
    out += "</Z></Scale>"sv;

    out += "<UpdateFlag>0</UpdateFlag><FolderID><UUID>489f6a9b-5e15-4c11-a126-b6662b354b1f</UUID></FolderID>"
           "<InventorySerial>0</InventorySerial><TaskInventory /></SceneObjectPart><OtherParts />"
           "</SceneObjectGroup>"sv;
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
