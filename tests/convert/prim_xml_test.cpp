#include "convert/prim_xml.h"

#include "testing/fake_platform.h"
#include "testing/record_reference.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

using namespace vantor::convert;
using namespace vantor::test;

namespace {

const std::string kObject = "0123abcd-4567-89ef-0123-456789abcdef";
using Fields = std::map<std::size_t, std::string>;

// A record of 35 fields (a unit box at the origin) with the given fields replaced.
PrimRecord recordWith(const Fields& changes, std::size_t count = 35)
{
    std::vector<std::string> fields = {"1", "0", "0", "0", "0", "0", "0", "1", "1", "1", "1", "0", "0", "0",
                                       "1", "0", "0", "0", "0", "0", "1", "1", "0", "0", "0", "0", "0", "1",
                                       "0", "0", "0", "0", "1", "0", "0"};
    for (const auto& [index, value] : changes) fields.at(index) = value;
    fields.resize(count);
    return PrimRecord{"Prim", "", fields};
}

// The document of a record as a run writes it, or nothing when it does not convert (and then
// nothing is written); names carries the shape names from record to record, as within a run.
std::optional<std::string> documentOf(const PrimRecord& record, ShapeNames& names)
{
    std::string document;
    if (!appendPrimXml(document, record, PrimXmlInputs{{}, kOwner, "720002", kObject}, names)) {
        EXPECT_EQ(document, "");
        return std::nullopt;
    }
    return document;
}

std::optional<std::string> documentOf(const PrimRecord& record)
{
    ShapeNames names;
    return documentOf(record, names);
}

TEST(PrimXml, RecordValuesBecomeTheirElements)
{
    struct Row {
        const char* name;
        Fields fields;
        std::map<std::string, std::string> elements;  // shape values are whole numbers, ties to even
    };
    const std::vector<Row> rows = {
        {"a cylinder, cut and hollow", {{11, "1"}, {13, "0.25"}, {14, "0.75"}, {16, "0.95"}, {12, "16"}},
         {{"ProfileBegin", "12500"}, {"ProfileEnd", "12500"}, {"ProfileCurve", "0"}, {"ProfileShape", "Circle"},
          {"ProfileHollow", "47500"}, {"HollowShape", "Circle"}}},
        {"a prism, tapered", {{11, "2"}, {20, "0"}, {21, "1"}, {12, "48"}},
         {{"PathScaleX", "200"}, {"PathScaleY", "100"}, {"ProfileCurve", "3"},
          {"ProfileShape", "EquilateralTriangle"}, {"HollowShape", "Triangle"}}},
        {"a box's top shear", {{11, "0"}, {23, "-0.333"}, {24, "0.5"}}, {{"PathShearX", "223"}, {"PathShearY", "50"}}},
        // A shear that rounds to no hundredth is the byte 0, never 256.
        {"a shear that rounds to no hundredth is 0", {{11, "0"}, {23, "-0.001684"}, {24, "-0.005"}},
         {{"PathShearX", "0"}, {"PathShearY", "0"}}},
        {"from -0.0051 on a shear wraps", {{11, "5"}, {23, "-0.0051"}, {24, "-0.0049999"}},
         {{"PathShearX", "255"}, {"PathShearY", "0"}}},
        {"a cylinder's twist", {{11, "1"}, {17, "-0.5"}, {18, "0.5"}},
         {{"PathTwistBegin", "-50"}, {"PathTwist", "50"}}},
        {"a sphere, dimpled", {{11, "3"}, {20, "0.2"}, {21, "0.8"}, {23, "0.5"}},
         {{"ProfileBegin", "10000"}, {"ProfileEnd", "10000"}, {"PathBegin", "0"}, {"PathCurve", "32"},
          {"PathScaleX", "100"}, {"PathShearX", "0"}, {"ProfileCurve", "5"}, {"ProfileShape", "HalfCircle"}}},
        {"a sphere, cut", {{11, "3"}, {13, "0.25"}, {14, "0.75"}, {20, "0"}, {21, "1"}},
         {{"PathBegin", "12500"}, {"PathEnd", "12500"}, {"ProfileBegin", "0"}, {"ProfileEnd", "0"}}},
        {"a torus: skew ties to even", {{11, "4"}, {32, "2"}, {20, "1"}, {21, "0.25"}, {34, "0.125"}},
         {{"PathRevolutions", "67"}, {"PathCurve", "32"}, {"ProfileCurve", "0"},
          {"PathScaleY", "175"}, {"PathSkew", "12"}}},
        {"a torus of four revolutions", {{11, "4"}, {32, "4"}, {34, "0.375"}},
         {{"PathRevolutions", "200"}, {"PathSkew", "38"}}},
        {"a tube", {{11, "5"}, {13, "0"}, {14, "0.5"}, {26, "0.25"}, {27, "0.75"}, {29, "0.1"}, {30, "-0.1"},
          {33, "0.2"}, {23, "0.5"}},
         {{"PathCurve", "32"}, {"ProfileCurve", "1"}, {"ProfileShape", "Square"}, {"PathEnd", "25000"},
          {"ProfileBegin", "12500"}, {"PathTaperX", "10"}, {"PathTaperY", "-10"}, {"PathRadiusOffset", "20"},
          {"PathShearX", "50"}}},
        {"a ring", {{11, "6"}, {20, "1"}, {21, "0.5"}, {12, "32"}},
         {{"PathCurve", "32"}, {"ProfileCurve", "3"}, {"PathScaleY", "150"}, {"HollowShape", "Square"}}},
        {"type and hole written with decimals", {{11, "1.0"}, {12, "16.000"}},
         {{"ProfileShape", "Circle"}, {"HollowShape", "Circle"}}},
        {"an unknown type", {{11, "9"}, {13, "0.5"}, {20, "0"}, {23, "0.5"}},
         {{"ProfileCurve", "0"}, {"PathCurve", "32"}, {"ProfileBegin", "25000"}, {"PathScaleX", "100"},
          {"PathShearX", "0"}, {"ProfileShape", ""}}},
        {"position and rotation keep their decimals", {{1, "128.500000"}, {7, "-0.70711"}},
         {{"X", "128.5"}, {"W", "-0.70711"}}},
        {"revolutions round; a position keeps its decimals", {{11, "4"}, {32, "1.015"}, {1, "5.0000000000001"}},
         {{"PathRevolutions", "1"}, {"X", "5.0000000000001"}}},
        {"a torus, off-grid revolutions and shear", {{11, "4"}, {32, "1.3330"}, {23, "-0.333"}, {24, "0.125"}},
         {{"PathRevolutions", "22"}, {"PathShearY", "12"}}},
        {"a tube, off-grid revolutions, offset, taper and scale",
         {{11, "5"}, {32, "3.333333"}, {33, "0.375"}, {29, "0.125"}, {30, "-0.125"}, {20, "0.125"}},
         {{"PathRevolutions", "156"}, {"PathRadiusOffset", "38"}, {"PathTaperX", "12"}, {"PathTaperY", "-12"},
          {"PathScaleX", "188"}}},
        {"a box, twist and scale", {{11, "0"}, {17, "0.125"}, {18, "-0.375"}, {21, "0.995"}},
         {{"PathTwistBegin", "12"}, {"PathTwist", "-38"}, {"PathScaleY", "100"}}},
        {"a torus, a scale just under 1", {{11, "4"}, {32, "1.12"}, {20, "0.9999999999999"}},
         {{"PathRevolutions", "8"}, {"PathScaleX", "100"}}},
        {"a torus of one and a half revolutions", {{11, "4"}, {32, "1.5"}}, {{"PathRevolutions", "33"}}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto document = documentOf(recordWith(row.fields));
        ASSERT_TRUE(document);
        for (const auto& [tag, value] : row.elements) EXPECT_EQ(element(*document, tag), value) << tag;
    }
}

TEST(PrimXml, ShapeNamesCarryOverWithinARun)
{
    ShapeNames names;
    EXPECT_EQ(element(documentOf(recordWith({{11, "7"}, {12, "8"}}), names).value(), "ProfileShape"), "");
    ASSERT_TRUE(documentOf(recordWith({{11, "3"}, {12, "48"}}), names));
    const auto afterSphere = documentOf(recordWith({{11, "7"}, {12, "8"}}), names).value();
    EXPECT_EQ(element(afterSphere, "PathCurve"), "32");
    EXPECT_EQ(element(afterSphere, "ProfileShape"), "HalfCircle");
    EXPECT_EQ(element(afterSphere, "HollowShape"), "Triangle");
}

TEST(PrimXml, ConvertsOnlyWithTheFieldsItUses)
{
    struct Row {
        const char* why;
        Fields fields;
        std::size_t count;
        bool converts;
    };
    const char* const largest = "1.7976931348623157E+308";  // its 15 digits would read back infinite
    for (const Row& row : std::vector<Row>{
             {"a box without its shear", {{11, "0"}}, 23, false}, {"a box with its shear", {{11, "0"}}, 25, true},
             {"a torus without its skew", {{11, "4"}}, 34, false}, {"a sphere without a shear", {{11, "3"}}, 22, true},
             {"an unknown type", {{11, "9"}}, 19, true}, {"an empty position", {{2, ""}}, 35, false},
             {"a size in words", {{9, "big"}}, 35, false}, {"an empty type", {{11, ""}}, 35, false},
             {"a hollow beyond a shape value", {{16, "50000"}}, 35, false},
             {"a twist beyond a shape value", {{17, "1E+307"}}, 35, false},
             {"a skew beyond 32 bits", {{11, "4"}, {34, "-21474837"}}, 35, false},
             {"a taper beyond 32 bits", {{11, "4"}, {29, "21474837"}}, 35, false},
             {"the largest size", {{8, largest}}, 35, false},
             {"the lowest position", {{1, std::string("-") + largest}}, 35, false},
             {"a rotation just below the largest", {{7, "1.7976931348623151E+308"}}, 35, false},
             {"a size of 15 digits", {{8, "1.79769313486231E+308"}}, 35, true},
             {"a rotation of 14 digits", {{7, "-1.7976931348623E+308"}}, 35, true}}) {
        EXPECT_EQ(documentOf(recordWith(row.fields, row.count)).has_value(), row.converts) << row.why;
    }
}

TEST(PrimXml, TextsAreEscapedOntoOneLine)
{
    using namespace std::string_literals;
    PrimRecord record = recordWith({});
    record.name = "Fish & <Chips> \"Bob's\" a\tb\nc\rd\x01" "e\x1F" "f\0g\x7F\xEF\xBF\xBEh\xEF\xBF\xBFi\xEF\xBF\xBD\xC3\xA9\xEF\xBF"s;
    const std::string owner = "a<b own\ter\n\x0B"s;
    const std::string localId = "7&8\r\n"s;
    ShapeNames names;
    std::string document;
    ASSERT_TRUE(appendPrimXml(document, record, PrimXmlInputs{{}, owner, localId, kObject}, names));
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(element(document, "Name"), "Fish &amp; &lt;Chips&gt; &quot;Bob&apos;s&quot; a&#9;b&#10;c&#13;d" + fffd
                                             + "e" + fffd + "f" + fffd + "g\x7F" + fffd + "h" + fffd + "i" + fffd
                                             + "\xC3\xA9\xEF\xBF");
    EXPECT_EQ(element(document, "OwnerID"), "<UUID>a&lt;b own&#9;er&#10;" + fffd + "</UUID>");
    EXPECT_EQ(element(document, "CreatorID"), element(document, "OwnerID"));
    EXPECT_EQ(element(document, "LocalID"), "7&amp;8&#13;&#10;");
    EXPECT_EQ(document.find_first_of("\r\n"s), std::string::npos);
    EXPECT_LE(document.size(), primDocumentBound({owner, localId, kObject, record.name}));
}

TEST(ObjectUuid, OneDrawPerDigitLaidOut8_4_4_4_12)
{
    FakeRandom random;
    random.draws = {0.0f, 0.0624f, 0.0625f, 0.5f, 0.9999999f, 0.99f, 0.25f, 0.75f};
    EXPECT_EQ(newObjectUuid(random), "0018ff4c-0018-ff4c-0018-ff4c0018ff4c");
    EXPECT_EQ(random.position, 32u);
}

TEST(PrimXml, BoundCoversTheLongestDocument)
{
    PrimValues values;
    for (double& v : values.position) v = -1.23456789012345e-300;
    for (double& v : values.rotation) v = -0.000123456789012345;
    for (double& v : values.size) v = -1.23456789012345e+300;
    // Every whole-number value at its longest form, "-2147483648".
    for (std::int32_t PrimShape::*field :
         {&PrimShape::pathBegin, &PrimShape::pathCurve, &PrimShape::pathEnd, &PrimShape::pathRadiusOffset,
          &PrimShape::pathRevolutions, &PrimShape::pathScaleX, &PrimShape::pathScaleY, &PrimShape::pathShearX,
          &PrimShape::pathShearY, &PrimShape::pathSkew, &PrimShape::pathTaperX, &PrimShape::pathTaperY,
          &PrimShape::pathTwist, &PrimShape::pathTwistBegin, &PrimShape::profileBegin, &PrimShape::profileCurve,
          &PrimShape::profileEnd, &PrimShape::profileHollow}) {
        values.shape.*field = std::numeric_limits<std::int32_t>::min();
    }
    values.names = {"EquilateralTriangle", "EquilateralTriangle"};
    const std::string quotes(50, '"');
    const PrimTexts texts{"owner", quotes, kObject, quotes};
    const std::size_t bound = primDocumentBound(texts);
    std::string document(bound + 64, '#');
    const char* end = writePrimDocument(document.data(), values, texts);
    EXPECT_LE(static_cast<std::size_t>(end - document.data()), bound);
    EXPECT_EQ(document.substr(bound), std::string(64, '#'));
}

}  // namespace
