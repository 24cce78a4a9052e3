#include "extract/listing_record.h"

#include "fakes/fake_platform.h"
#include "object_line_fixture.h"

#include <gtest/gtest.h>

namespace vantor::extract {
namespace {

using test::Fields;
using test::objectLine;

class ListingRecord : public ::testing::Test {
protected:
    // Line A and line B of the record of an object with these element texts.
    std::pair<std::string, std::string> build(const Fields& fields)
    {
        const BuiltText record = builder.BuildListingRecord(objectLine(fields));
        EXPECT_TRUE(record) << "failed at value " << (record.failure ? record.failure->valueIndex : 0);
        const auto end = record.text.find("\r\n");
        return {record.text.substr(0, end), record.text.substr(end + 2)};
    }
    std::string lineB(const Fields& fields) { return build(fields).second; }

    test::FakeClock clock;
    ListingRecordBuilder builder{clock};
};

TEST_F(ListingRecord, WorkedBoxAndSphere)
{
    clock.current = {14, 5};
    EXPECT_EQ(build({}).first, "[14:05]  Primitive: 7, <128, 64.5, 22>, <0, 0, 0, 1>, <0.5, 0.5, 0.5>, ");
    EXPECT_EQ(lineB({}), "0, 0, <0, 1, 0>, 0, <0, 0, 0>, <1, 1, 0>, <0, 0, 0>, 0");
    const auto sphere = build({{"profileShape", "HalfCircle"}, {"pathCurve", "32"}});
    EXPECT_EQ(sphere.first.substr(0, 22), "[14:05]  Primitive: 6,");
    EXPECT_EQ(sphere.second, "3, 0, <0, 1, 0>, 0, <0, 0, 0>, <0, 1, 0>, 0");
}

struct TypeCase {
    const char* shape;
    const char* curve;
    const char* extraParams;
    const char* start;  // line A's name and count, then line B's type code
};

class TypeRules : public ListingRecord, public ::testing::WithParamInterface<TypeCase> {};

TEST_P(TypeRules, SetTypeCodeCountAndName)
{
    const auto [a, b] = build({{"profileShape", GetParam().shape}, {"pathCurve", GetParam().curve},
                               {"extraParams", GetParam().extraParams}});
    EXPECT_EQ(a.substr(9, a.find(", <") - 9) + " | " + b.substr(0, b.find(',')), GetParam().start);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, TypeRules,
    ::testing::Values(TypeCase{"Square", "16", "AA==", "Primitive: 7 | 0"},
                      TypeCase{"Circle", "128", "AA==", "Primitive: 7 | 1"},
                      TypeCase{"EquilateralTriangle", "16", "AA==", "Primitive: 7 | 2"},
                      TypeCase{"HalfCircle", "32", "AA==", "Primitive: 6 | 3"},
                      TypeCase{"Circle", "32", "AA==", "Primitive: 12 | 4"},
                      TypeCase{"Square", "32.0", "AA==", "Primitive: 12 | 5"},
                      TypeCase{"EquilateralTriangle", "32", "AA==", "Primitive: 12 | 6"},
                      // sculpted, flexible or lit: written as a box and marked
                      TypeCase{"HalfCircle", "32", "AwAB", "S*Primitive: 7 | 0"},
                      TypeCase{"Circle", "16", "AwAB", "Primitive: 7 | 1"},
                      // no rule holds for the first object: no type code, built as a box
                      TypeCase{"Circle", "48", "AA==", "Primitive: 7 | "},
                      TypeCase{"circle", "32", "AA==", "Primitive: 7 | "}));

TEST_F(ListingRecord, UnmatchedShapesRepeatThePreviousObjectsCodes)
{
    EXPECT_EQ(lineB({{"profileShape", "Circle"}, {"pathCurve", "32"}, {"hollowShape", "Triangle"}}).substr(0, 6),
              "4, 48,");
    const auto repeated = build({{"pathCurve", "48"}, {"hollowShape", "Hexagon"}});
    EXPECT_EQ(repeated.second.substr(0, 6), "4, 48,");
    EXPECT_EQ(repeated.first.substr(9, 13), "Primitive: 12");
    for (const auto& [shape, code] : {std::pair{"Same", "0, 0,"}, {"Circle", "0, 16"}, {"Square", "0, 32"}}) {
        EXPECT_EQ(lineB({{"hollowShape", shape}}).substr(0, 5), code);
    }
}

struct ValueCase {
    Fields fields;
    const char* lineB;
};

class ValueConversions : public ListingRecord, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(ValueConversions, UndoTheConvertersScaling) { EXPECT_EQ(lineB(GetParam().fields), GetParam().lineB); }

INSTANTIATE_TEST_SUITE_P(
    Values, ValueConversions,
    ::testing::Values(
        // shear: above 200 the converter's 256 offset is undone; exactly 200 stays
        ValueCase{{{"shearX", "226"}, {"shearY", "50"}}, "0, 0, <0, 1, 0>, 0, <0, 0, 0>, <1, 1, 0>, <-0.3, 0.5, 0>, 0"},
        ValueCase{{{"shearX", "201"}, {"shearY", "200"}}, "0, 0, <0, 1, 0>, 0, <0, 0, 0>, <1, 1, 0>, <-0.55, 2, 0>, 0"},
        // boxes, cylinders and prisms take the cut from the profile; hollow, twist, top size
        ValueCase{{{"profileShape", "Circle"}, {"profileBegin", "12500"}, {"profileEnd", "12500"}, {"pathBegin", "9"},
                   {"hollow", "47500"}, {"twistBegin", "-50"}, {"twist", "100"}, {"scaleX", "150"}, {"scaleY", "0"}},
                  "1, 0, <0.25, 0.75, 0>, 0.95, <-0.5, 1, 0>, <0.5, 2, 0>, <0, 0, 0>, 0"},
        // a sphere's cut comes from the path, its dimple from the profile
        ValueCase{{{"profileShape", "HalfCircle"}, {"pathCurve", "32"}, {"profileBegin", "10000"},
                   {"profileEnd", "10000"}, {"pathBegin", "5000"}, {"pathEnd", "2500"}},
                  "3, 0, <0.1, 0.95, 0>, 0, <0, 0, 0>, <0.2, 0.8, 0>, 0"},
        // torus: hole size, shear, profile cut, taper (no 256 offset), revolutions, radius, skew
        ValueCase{{{"profileShape", "Circle"}, {"pathCurve", "32"}, {"scaleX", "150"}, {"scaleY", "175"},
                   {"shearX", "226"}, {"profileBegin", "1"}, {"profileEnd", "25000"}, {"taperX", "-50"},
                   {"taperY", "206"}, {"revolutions", "66"}, {"radiusOffset", "-25"}, {"skew", "12"}},
                  "4, 0, <0, 1, 0>, 0, <0, 0, 0>, <0.5, 0.25, 0>, <-0.3, 0, 0>, <2E-05, 0.5, 0>, "
                  "<-0.5, 2.06, 0>, 1.99, -0.25, 0.12, 0"},
        ValueCase{{{"pathCurve", "32"}, {"revolutions", "200"}},
                  "5, 0, <0, 1, 0>, 0, <0, 0, 0>, <1, 1, 0>, <0, 0, 0>, <0, 1, 0>, <0, 0, 0>, 4, 0, 0, 0"}));

TEST_F(ListingRecord, CopiesPositionsAsTheyStandAndDecodesEscapedNames)
{
    clock.current = {9, 5};
    const Fields fields{{"name", "Tom &amp; Jerry&#x27;s &lt;shed&gt;"}, {"x", "128.500000"}, {"y", "64.000000"},
                        {"z", "22.500000"}};
    EXPECT_EQ(build(fields).first,
              "[9:05]  Tom & Jerry's <shed>: 7, <128.500000, 64.000000, 22.500000>, <0, 0, 0, 1>, <0.5, 0.5, 0.5>, ");
    EXPECT_EQ(BuildHeaderLine(builder.values(), clock).text, "[9:05]  Rezzer: <128.500000, 64.000000, 20.5>");
    clock.current = {23, 0};
    EXPECT_EQ(build({{"name", ""}}).first.substr(0, 31), "[23:00]  0: 7, <64.5, 22, 0>, <");  // moved down

    EXPECT_EQ(BuildHeaderLine({22, "x"}, clock).failure, (RecordFailure{RecordError::MissingValue, 24}));
    ValueList values(22, "v");
    values.insert(values.end(), {"128.5", "64", "high"});
    EXPECT_EQ(BuildHeaderLine(values, clock).failure, (RecordFailure{RecordError::NotANumber, 24}));
}

TEST_F(ListingRecord, FailuresNameTheValueAndKeepTheState)
{
    const Fields torus{{"profileShape", "Circle"}, {"pathCurve", "32"}};
    build(torus);
    const auto failureOf = [this](const std::string& line) { return builder.BuildListingRecord(line).failure; };
    EXPECT_EQ(failureOf(objectLine(torus) + "<a"), (RecordFailure{RecordError::CutOffLine, 0}));
    EXPECT_EQ(failureOf(objectLine({{"pathCurve", "curved"}})), (RecordFailure{RecordError::NotANumber, 48}));
    EXPECT_EQ(failureOf(objectLine({{"profileShape", "Circle"}, {"pathCurve", "32"}, {"skew", "x"}})),
              (RecordFailure{RecordError::NotANumber, 56}));
    EXPECT_EQ(failureOf(objectLine({{"profileShape", "Circle"}, {"pathCurve", "32"}, {"revolutions", "1e308"}})),
              (RecordFailure{RecordError::ArithmeticFault, 51}));
    const std::string line = objectLine();
    EXPECT_EQ(failureOf(line.substr(0, line.find("<ProfileHollow>"))), (RecordFailure{RecordError::MissingValue, 65}));
    EXPECT_EQ(builder.typeCode(), 4);  // a failed object changes nothing

    // A linked object is written from its first part's values.
    EXPECT_EQ(builder.BuildListingRecord(objectLine() + objectLine(torus)).text,
              builder.BuildListingRecord(objectLine()).text);
}

struct XmlTextCase {
    const char* in;
    const char* out;
};

class XmlText : public ::testing::TestWithParam<XmlTextCase> {};

TEST_P(XmlText, DecodesEntitiesAndCharacterReferencesInOnePass)
{
    EXPECT_EQ(decodeXmlText(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, XmlText,
    ::testing::Values(XmlTextCase{"&lt;&gt;&amp;&quot;&apos;", "<>&\"'"}, XmlTextCase{"&amp;lt;", "&lt;"},
                      XmlTextCase{"&#233;t&#xE9;", "\xC3\xA9t\xC3\xA9"}, XmlTextCase{"&#x1F600;", "\xF0\x9F\x98\x80"},
                      // references to no character XML allows, to CR and LF, and other ampersands stay
                      XmlTextCase{"&#xD800; &#0; &#1114112; &#xZZ; &#; &#X41; &#10;&#xD;",
                                  "&#xD800; &#0; &#1114112; &#xZZ; &#; &#X41; &#10;&#xD;"},
                      XmlTextCase{"&bogus; & alone a&&amp;b &amp", "&bogus; & alone a&&b &amp"}));

}  // namespace
}  // namespace vantor::extract
