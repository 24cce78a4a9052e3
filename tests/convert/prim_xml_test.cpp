#include "convert/prim_xml.h"

#include "fakes/fake_platform.h"
#include "xml_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using vantor::convert::PrimRecord;
using vantor::convert::PrimXmlInputs;
using vantor::convert::RezOffset;
using vantor::convert::ShapeNames;
using vantor::convert::appendPrimXml;
using vantor::convert::parseRecord;

namespace {

const std::string kOwner = "3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d13";
const std::string kObject = "0123abcd-4567-89ef-0123-456789abcdef";

// A record of 35 fields: a unit box at the origin, with the given fields replaced.
PrimRecord recordWith(const std::map<std::size_t, std::string>& changes, std::size_t count = 35)
{
    std::vector<std::string> fields = {"1", "0", "0", "0", "0", "0", "0", "1", "1", "1", "1", "0", "0", "0",
                                       "1", "0", "0", "0", "0", "0", "1", "1", "0", "0", "0", "0", "0", "1",
                                       "0", "0", "0", "0", "1", "0", "0"};
    for (const auto& [index, value] : changes) fields.at(index) = value;
    fields.resize(count);
    return PrimRecord{"Prim", "", fields};
}

std::optional<std::string> build(const PrimRecord& record, ShapeNames& names, RezOffset offset = {})
{
    std::string document;
    if (!appendPrimXml(document, record, PrimXmlInputs{offset, kOwner, "720002", kObject}, names)) {
        EXPECT_TRUE(document.empty());
        return std::nullopt;
    }
    return document;
}

// The text of the first element named tag in document.
std::string element(const std::string& document, const std::string& tag)
{
    const std::string open = "<" + tag + ">";
    const auto begin = document.find(open);
    if (begin == std::string::npos) return "(missing)";
    const auto end = document.find("</" + tag + ">", begin);
    return document.substr(begin + open.size(), end - begin - open.size());
}

TEST(PrimXml, BoxDocumentMatchesTheHandCheckedLine)
{
    const auto record = vantor::convert::parseRecord(
        "\n[9:05]  Cube: 1, <128.5, 130.25, 22>, <0, 0, 0, 1>, <0.5, 0.5, 0.5>, \r\n"
        "0, 0, <0, 1, 0>, 0, <0, 0, 0>, <1, 1, 0>, <0, 0, 0>, 0\r");
    ASSERT_TRUE(record);
    ShapeNames names;
    std::string document;
    ASSERT_TRUE(appendPrimXml(document, *record, PrimXmlInputs{RezOffset{-25, -25, 5}, kOwner, "720002", kObject},
                              names));
    const std::string expected =
        "<SceneObjectGroup><SceneObjectPart xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><LastOwnerID><UUID>3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d13"
        "</UUID></LastOwnerID><OwnerID><UUID>3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d13</UUID></OwnerID><GroupID><UUID>"
        "00000000-0000-0000-0000-000000000000</UUID></GroupID><OwnershipCost>0</OwnershipCost><ObjectSaleType>0"
        "</ObjectSaleType><SalePrice>0</SalePrice><Category>0</Category><CreationDate>1206461858</CreationDate>"
        "<ParentID>0</ParentID><BaseMask>2147483647</BaseMask><OwnerMask>2147483647</OwnerMask><GroupMask>0"
        "</GroupMask><EveryoneMask>0</EveryoneMask><NextOwnerMask>2147483647</NextOwnerMask><Flags>Touch "
        "AllowInventoryDrop</Flags><CreatorID><UUID>3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d13</UUID></CreatorID>"
        "<ObjectFlags>65664</ObjectFlags><UUID><UUID>0123abcd-4567-89ef-0123-456789abcdef</UUID></UUID><LocalID>"
        "720002</LocalID><Name>Cube</Name><Material>0</Material><RegionHandle>1099511628032000</RegionHandle>"
        "<GroupPosition><X>153.5</X><Y>155.25</Y><Z>17</Z></GroupPosition><OffsetPosition><X>0</X><Y>0</Y><Z>0"
        "</Z></OffsetPosition><RotationOffset><X>0</X><Y>0</Y><Z>0</Z><W>1</W></RotationOffset><Velocity><X>0</X>"
        "<Y>0</Y><Z>0</Z></Velocity><RotationalVelocity><X>0</X><Y>0</Y><Z>0</Z></RotationalVelocity>"
        "<AngularVelocity><X>0</X><Y>0</Y><Z>0</Z></AngularVelocity><Acceleration><X>0</X><Y>0</Y><Z>0</Z>"
        "</Acceleration><Description /><Color /><Text /><SitName /><TouchName /><LinkNum>0</LinkNum><ClickAction>0"
        "</ClickAction><Shape><ExtraParams>AA==</ExtraParams><PathBegin>0</PathBegin><PathCurve>16</PathCurve>"
        "<PathEnd>0</PathEnd><PathRadiusOffset>0</PathRadiusOffset><PathRevolutions>0</PathRevolutions><PathScaleX>"
        "100</PathScaleX><PathScaleY>100</PathScaleY><PathShearX>0</PathShearX><PathShearY>0</PathShearY><PathSkew>"
        "0</PathSkew><PathTaperX>0</PathTaperX><PathTaperY>0</PathTaperY><PathTwist>0</PathTwist><PathTwistBegin>0"
        "</PathTwistBegin><PCode>9</PCode><ProfileBegin>0</ProfileBegin><ProfileCurve>1</ProfileCurve><ProfileEnd>0"
        "</ProfileEnd><ProfileHollow>0</ProfileHollow><Scale><X>0.5</X><Y>0.5</Y><Z>0.5</Z></Scale><State>0</State>"
        "<TextureEntry>V0jezPYpRhyaNqNaIh/iHwAAAAAAAAAAgD8AAACAPwAAAAAAAAAAAAAAAAAAAA==</TextureEntry><ProfileShape>"
        "Square</ProfileShape><HollowShape>Same</HollowShape></Shape><Scale><X>0.5</X><Y>0.5</Y><Z>0.5</Z></Scale>"
        "<UpdateFlag>0</UpdateFlag><FolderID><UUID>489f6a9b-5e15-4c11-a126-b6662b354b1f</UUID></FolderID>"
        "<InventorySerial>0</InventorySerial><TaskInventory /></SceneObjectPart><OtherParts /></SceneObjectGroup>";
    EXPECT_EQ(document, expected);
    EXPECT_EQ(vantor::test::xmlProblem(document), "");
}

struct ShapeCase {
    const char* name;
    std::map<std::size_t, std::string> fields;
    std::map<std::string, std::string> expected;
};

class ShapeConversion : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(ShapeConversion, GivesOpenSimValues)
{
    ShapeNames names;
    const auto document = build(recordWith(GetParam().fields), names);
    ASSERT_TRUE(document);
    for (const auto& [tag, value] : GetParam().expected) EXPECT_EQ(element(*document, tag), value) << tag;
}

INSTANTIATE_TEST_SUITE_P(
    Types, ShapeConversion,
    ::testing::Values(
        ShapeCase{"box",
                  {{11, "0"}},
                  {{"PathBegin", "0"}, {"PathCurve", "16"}, {"PathEnd", "0"}, {"PathScaleX", "100"},
                   {"PathScaleY", "100"}, {"PathShearX", "0"}, {"PathShearY", "0"}, {"ProfileBegin", "0"},
                   {"ProfileCurve", "1"}, {"ProfileEnd", "0"}, {"ProfileHollow", "0"}, {"ProfileShape", "Square"},
                   {"HollowShape", "Same"}}},
        ShapeCase{"cylinder_cut",
                  {{11, "1"}, {13, "0.25"}, {14, "0.75"}},
                  {{"ProfileBegin", "12500"}, {"ProfileEnd", "12500"}, {"PathCurve", "16"}, {"ProfileCurve", "0"},
                   {"ProfileShape", "Circle"}, {"PathBegin", "0"}, {"PathEnd", "0"}}},
        ShapeCase{"hollow",
                  {{11, "1"}, {16, "0.95"}, {12, "16"}},
                  {{"ProfileHollow", "47500"}, {"HollowShape", "Circle"}}},
        ShapeCase{"prism_taper",
                  {{11, "2"}, {20, "0"}, {21, "1"}, {12, "48"}},
                  {{"PathScaleX", "200"}, {"PathScaleY", "100"}, {"ProfileCurve", "3"},
                   {"ProfileShape", "EquilateralTriangle"}, {"HollowShape", "Triangle"}, {"PathCurve", "16"}}},
        ShapeCase{"shear", {{11, "0"}, {23, "-0.5"}, {24, "0.5"}}, {{"PathShearX", "206"}, {"PathShearY", "50"}}},
        ShapeCase{"shear_fraction", {{11, "0"}, {23, "-0.333"}}, {{"PathShearX", "222.7"}}},
        ShapeCase{"twist", {{11, "1"}, {17, "-0.5"}, {18, "0.5"}}, {{"PathTwistBegin", "-50"}, {"PathTwist", "50"}}},
        ShapeCase{"sphere_dimple",
                  {{11, "3"}, {20, "0.2"}, {21, "0.8"}, {23, "0.5"}},
                  {{"ProfileBegin", "10000"}, {"ProfileEnd", "10000"}, {"PathBegin", "0"}, {"PathEnd", "0"},
                   {"PathCurve", "32"}, {"PathScaleX", "100"}, {"PathShearX", "0"}, {"ProfileCurve", "5"},
                   {"ProfileShape", "HalfCircle"}}},
        ShapeCase{"sphere_cut",
                  {{11, "3"}, {13, "0.25"}, {14, "0.75"}, {20, "0"}, {21, "1"}},
                  {{"PathBegin", "12500"}, {"PathEnd", "12500"}, {"ProfileBegin", "0"}, {"ProfileEnd", "0"}}},
        ShapeCase{"torus_two_turns",
                  {{11, "4"}, {32, "2"}, {20, "1"}, {21, "0.25"}},
                  {{"PathRevolutions", "66.6666666666667"}, {"PathCurve", "32"}, {"ProfileCurve", "0"},
                   {"PathScaleX", "100"}, {"PathScaleY", "175"}}},
        ShapeCase{"torus_one_turn", {{11, "4"}, {32, "1"}}, {{"PathRevolutions", "0"}}},
        ShapeCase{"torus_four_turns", {{11, "4"}, {32, "4"}}, {{"PathRevolutions", "200"}}},
        ShapeCase{"torus_skew_ties", {{11, "4"}, {34, "0.125"}}, {{"PathSkew", "12"}}},
        ShapeCase{"torus_skew_ties_up", {{11, "4"}, {34, "0.375"}}, {{"PathSkew", "38"}}},
        ShapeCase{"tube",
                  {{11, "5"}, {13, "0"}, {14, "0.5"}, {26, "0.25"}, {27, "0.75"}, {29, "0.1"}, {30, "-0.1"},
                   {33, "0.2"}, {23, "0.5"}},
                  {{"PathCurve", "32"}, {"ProfileCurve", "1"}, {"ProfileShape", "Square"}, {"PathEnd", "25000"},
                   {"ProfileBegin", "12500"}, {"ProfileEnd", "12500"}, {"PathTaperX", "10"}, {"PathTaperY", "-10"},
                   {"PathRadiusOffset", "20"}, {"PathShearX", "50"}}},
        ShapeCase{"ring",
                  {{11, "6"}, {20, "1"}, {21, "0.5"}, {12, "32"}},
                  {{"PathCurve", "32"}, {"ProfileCurve", "3"}, {"PathScaleY", "150"}, {"HollowShape", "Square"}}},
        ShapeCase{"codes_compared_as_numbers",
                  {{11, "1.0"}, {12, "16.000"}},
                  {{"ProfileShape", "Circle"}, {"HollowShape", "Circle"}}},
        ShapeCase{"unknown_type",
                  {{11, "9"}, {13, "0.5"}, {20, "0"}, {23, "0.5"}},
                  {{"ProfileCurve", "0"}, {"PathCurve", "32"}, {"ProfileBegin", "25000"}, {"PathScaleX", "100"},
                   {"PathShearX", "0"}, {"PathBegin", "0"}, {"ProfileShape", ""}}},
        ShapeCase{"position_rotation_size",
                  {{1, "128.500000"}, {4, "0.000000"}, {8, "0.500"}, {7, "-0.70711"}},
                  {{"X", "128.5"}, {"W", "-0.70711"}}}),
    [](const auto& row) { return std::string(row.param.name); });

struct RevolutionCase {
    const char* revolutions;
    const char* written;
};

class Revolutions : public ::testing::TestWithParam<RevolutionCase> {};

TEST_P(Revolutions, NearlyWholeValuesAreWrittenWhole)
{
    ShapeNames names;
    const auto document = build(recordWith({{11, "4"}, {32, GetParam().revolutions}}), names);
    ASSERT_TRUE(document);
    EXPECT_EQ(element(*document, "PathRevolutions"), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(SecondLifeGrid, Revolutions, ::testing::Values(
    RevolutionCase{"1.015", "1"}, RevolutionCase{"1.12", "8"}, RevolutionCase{"2.005", "67"},
    RevolutionCase{"2", "66.6666666666667"}, RevolutionCase{"1.5", "33.3333333333333"},
    RevolutionCase{"3.985", "199"}));

TEST(PrimXml, SnappingLeavesPositionsAlone)
{
    ShapeNames names;
    const auto document = build(recordWith({{1, "5.0000000000001"}, {11, "0"}, {20, "0.9999999999999"}}), names);
    ASSERT_TRUE(document);
    EXPECT_EQ(element(*document, "X"), "5.0000000000001");
    EXPECT_EQ(element(*document, "PathScaleX"), "100");
}

TEST(PrimXml, ShapeNamesCarryOverWithinARun)
{
    ShapeNames names;
    const auto first = build(recordWith({{11, "7"}, {12, "8"}}), names);
    ASSERT_TRUE(first);
    EXPECT_NE(first->find("<ProfileShape></ProfileShape><HollowShape></HollowShape>"), std::string::npos);
    ASSERT_TRUE(build(recordWith({{11, "3"}, {12, "48"}}), names));
    const auto afterSphere = build(recordWith({{11, "7"}, {12, "8"}}), names);
    ASSERT_TRUE(afterSphere);
    EXPECT_EQ(element(*afterSphere, "ProfileCurve"), "0");
    EXPECT_EQ(element(*afterSphere, "PathCurve"), "32");
    EXPECT_EQ(element(*afterSphere, "ProfileShape"), "HalfCircle");
    EXPECT_EQ(element(*afterSphere, "HollowShape"), "Triangle");
}

struct FailureCase {
    const char* name;
    std::map<std::size_t, std::string> fields;
    std::size_t count;
};

class DocumentFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(DocumentFailure, WritesNothing)
{
    ShapeNames names;
    EXPECT_FALSE(build(recordWith(GetParam().fields, GetParam().count), names));
}

INSTANTIATE_TEST_SUITE_P(
    Fields, DocumentFailure,
    ::testing::Values(FailureCase{"box_without_shear", {{11, "0"}}, 23},
                      FailureCase{"torus_without_skew", {{11, "4"}}, 34},
                      FailureCase{"empty_position", {{2, ""}}, 35},
                      FailureCase{"text_in_size", {{9, "big"}}, 35},
                      FailureCase{"empty_type", {{11, ""}}, 35},
                      FailureCase{"hollow_beyond_int32", {{16, "50000"}}, 35},
                      FailureCase{"twist_beyond_double", {{17, "1E+307"}}, 35},
                      FailureCase{"skew_beyond_int32", {{11, "4"}, {34, "-21474837"}}, 35}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(PrimXml, FieldsPastTheLastOneUsedAreNotNeeded)
{
    ShapeNames names;
    EXPECT_TRUE(build(recordWith({{11, "3"}}, 22), names));
    EXPECT_TRUE(build(recordWith({{11, "9"}}, 19), names));
    EXPECT_TRUE(build(recordWith({{11, "0"}}, 25), names));
}

TEST(PrimXml, EscapesNameOwnerAndLocalId)
{
    PrimRecord record = recordWith({});
    record.name = "Fish & <Chips> \"Bob's\"";
    ShapeNames names;
    std::string document;
    ASSERT_TRUE(appendPrimXml(document, record, PrimXmlInputs{{}, "a<b", "7&8", kObject}, names));
    EXPECT_EQ(element(document, "Name"), "Fish &amp; &lt;Chips&gt; &quot;Bob&apos;s&quot;");
    EXPECT_EQ(element(document, "LocalID"), "7&amp;8");
    EXPECT_NE(document.find("<CreatorID><UUID>a&lt;b</UUID>"), std::string::npos);
    EXPECT_EQ(vantor::test::xmlProblem(document), "");
    // The checker itself refuses what an unescaped name would give.
    for (const char* bad : {"<a>Fish & Chips</a>", "<a>x<y</a>", "<a><b></a></b>", "<a x=1/>", "<a/><b/>"}) {
        EXPECT_NE(vantor::test::xmlProblem(bad), "") << bad;
    }
}

TEST(ObjectUuid, OneDrawPerDigitLaidOut8_4_4_4_12)
{
    vantor::test::FakeRandom random;
    random.draws = {0.0f, 0.0624f, 0.0625f, 0.5f, 0.9999999f, 0.99f, 0.25f, 0.75f};
    const std::string uuid = vantor::convert::newObjectUuid(random);
    EXPECT_EQ(uuid, "0018ff4c-0018-ff4c-0018-ff4c0018ff4c");
    EXPECT_EQ(random.position, 32u);
}

TEST(SceneFile, WrapsDocumentsInSceneLines)
{
    vantor::test::FakeFileSystem files;
    files.addFolder("out");
    auto output = files.create("out/s.xml", nullptr);
    ASSERT_TRUE(output);
    vantor::convert::SceneFile scene(*output);
    scene.begin();
    scene.add("<a />");
    scene.add("<b />");
    scene.end();
    ASSERT_TRUE(output->commit());
    EXPECT_EQ(files.files.at("out/s.xml"), "<scene>\r\n\r\n<a />\r\n<b />\r\n\r\n</scene>\r\n");
}

TEST(PrimXml, HouseRecordsGiveTheSameDocumentFromBothRecordForms)
{
    // Every record of the example, as a run parses it (packed, values first, then the text)
    // and as appendPrimXml builds it from the plain record; the shape names carry over alike.
    std::ifstream in(std::filesystem::path(VANTOR_SOURCE_DIR) / "examples" / "house.txt", std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string listing = vantor::convert::normaliseLineEnds(bytes.str());
    vantor::convert::PrimListing cut(listing);
    const auto offset = vantor::convert::parseHeader(cut.headerLine(), "125", "125", "25");
    ASSERT_TRUE(offset);
    ShapeNames plainNames;
    ShapeNames packedNames;
    std::string recordText;
    int records = 0;
    while (cut.cutRecord(recordText) == vantor::convert::CutOutcome::Record) {
        PrimRecord plain;
        vantor::convert::PackedRecord packed;
        ASSERT_TRUE(parseRecord(recordText, plain));
        ASSERT_TRUE(parseRecord(recordText, packed));
        std::string expected;
        ASSERT_TRUE(appendPrimXml(expected, plain, PrimXmlInputs{*offset, "a&b", "720002", kObject}, plainNames));

        vantor::convert::PrimValues values;
        ASSERT_TRUE(vantor::convert::computePrimValues(packed, *offset, packedNames, values));
        const vantor::convert::PrimTexts texts{"a&amp;b", "720002", kObject, packed.name()};
        std::string document(vantor::convert::primDocumentBound(texts), '\0');
        document.resize(static_cast<std::size_t>(vantor::convert::writePrimDocument(document.data(), values, texts)
                                                 - document.data()));
        EXPECT_EQ(document, expected) << recordText;
        ++records;
    }
    EXPECT_EQ(records, 16);
}

TEST(PrimXml, BoundCoversTheLongestValuesAndEscapedTexts)
{
    // Every number at its longest form, and texts made only of characters that escape.
    vantor::convert::PrimValues values;
    for (double& v : values.position) v = -1.23456789012345e-300;
    for (double& v : values.rotation) v = -0.000123456789012345;
    for (double& v : values.size) v = -1.23456789012345e+300;
    values.shape.pathBegin = values.shape.pathEnd = values.shape.profileHollow = -2147483647 - 1;
    values.shape.pathScaleX = values.shape.pathTwist = -1.23456789012345e-300;
    values.names = {"EquilateralTriangle", "EquilateralTriangle"};
    const std::string quotes(50, '"');
    const vantor::convert::PrimTexts texts{"owner", quotes, kObject, quotes};
    const std::size_t bound = vantor::convert::primDocumentBound(texts);
    std::string document(bound + 64, '#');
    const char* end = vantor::convert::writePrimDocument(document.data(), values, texts);
    EXPECT_LE(static_cast<std::size_t>(end - document.data()), bound);
    EXPECT_EQ(document.substr(bound), std::string(64, '#'));
    std::string escaped;
    for (int i = 0; i < 50; ++i) escaped += "&quot;";
    EXPECT_NE(document.find("<Name>" + escaped + "</Name>"), std::string::npos);
}

}  // namespace
