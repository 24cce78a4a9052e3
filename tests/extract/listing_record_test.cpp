#include "extract/listing_record.h"

#include "fakes/fake_platform.h"
#include "object_line_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace vantor::extract {
namespace {

using test::ObjectSpec;

// Line B of a record, the part after its CR LF.
std::string lineB(const std::string& record) { return record.substr(record.find("\r\n") + 2); }

struct Built {
    std::string a, b;
};

Built build(ListingRecordBuilder& builder, const ObjectSpec& spec)
{
    const BuiltText record = builder.BuildListingRecord(test::objectLine(spec));
    EXPECT_TRUE(record) << "failed at value " << (record.failure ? record.failure->valueIndex : 0);
    return {record.text.substr(0, record.text.find("\r\n")), lineB(record.text)};
}

TEST(ListingRecord, WorkedBoxAndSphere)
{
    test::FakeClock clock;
    clock.current = {14, 5};
    ListingRecordBuilder builder(clock);
    const Built box = build(builder, {});
    EXPECT_EQ(box.a, "[14:05]  Primitive: 7, <128, 64.5, 22>, <0, 0, 0, 1>, <0.5, 0.5, 0.5>, ");
    EXPECT_EQ(box.b, "0, 0, <0, 1, 0>, 0, <0, 0, 0>, <1, 1, 0>, <0, 0, 0>, 0");

    ObjectSpec sphere;
    sphere.profileShape = "HalfCircle";
    sphere.pathCurve = "32";
    const Built built = build(builder, sphere);
    EXPECT_EQ(built.a, "[14:05]  Primitive: 6, <128, 64.5, 22>, <0, 0, 0, 1>, <0.5, 0.5, 0.5>, ");
    EXPECT_EQ(built.b, "3, 0, <0, 1, 0>, 0, <0, 0, 0>, <0, 1, 0>, 0");
}

struct TypeCase {
    const char* shape;
    const char* curve;
    const char* extraParams;
    const char* lineBStart;  // type code and hole code
    const char* lineA;       // name and count
};

class TypeRules : public ::testing::TestWithParam<TypeCase> {};

TEST_P(TypeRules, SetTypeCodeCountAndName)
{
    test::FakeClock clock;
    ListingRecordBuilder builder(clock);
    ObjectSpec spec;
    spec.profileShape = GetParam().shape;
    spec.pathCurve = GetParam().curve;
    spec.extraParams = GetParam().extraParams;
    const Built built = build(builder, spec);
    EXPECT_EQ(built.b.substr(0, built.b.find('<')), GetParam().lineBStart);
    EXPECT_EQ(built.a.substr(0, built.a.find(", <")), GetParam().lineA);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, TypeRules,
    ::testing::Values(TypeCase{"Square", "16", "AA==", "0, 0, ", "[12:00]  Primitive: 7"},
                      TypeCase{"Square", "128", "AA==", "0, 0, ", "[12:00]  Primitive: 7"},
                      TypeCase{"Circle", "16", "AA==", "1, 0, ", "[12:00]  Primitive: 7"},
                      TypeCase{"Circle", "128", "AA==", "1, 0, ", "[12:00]  Primitive: 7"},
                      TypeCase{"EquilateralTriangle", "16", "AA==", "2, 0, ", "[12:00]  Primitive: 7"},
                      TypeCase{"HalfCircle", "32", "AA==", "3, 0, ", "[12:00]  Primitive: 6"},
                      TypeCase{"Circle", "32", "AA==", "4, 0, ", "[12:00]  Primitive: 12"},
                      TypeCase{"Square", "32", "AA==", "5, 0, ", "[12:00]  Primitive: 12"},
                      TypeCase{"EquilateralTriangle", "32.0", "AA==", "6, 0, ", "[12:00]  Primitive: 12"},
                      // sculpted, flexible or lit: written as a box and marked
                      TypeCase{"HalfCircle", "32", "AwAB", "0, 0, ", "[12:00]  S*Primitive: 7"},
                      TypeCase{"Square", "32", "AQ==", "0, 0, ", "[12:00]  S*Primitive: 7"},
                      TypeCase{"Circle", "16", "AwAB", "1, 0, ", "[12:00]  Primitive: 7"},
                      // no rule holds for the first object: no type code, built as a box
                      TypeCase{"Circle", "48", "AA==", ", 0, ", "[12:00]  Primitive: 7"},
                      TypeCase{"HalfCircle", "16", "AA==", ", 0, ", "[12:00]  Primitive: 7"},
                      TypeCase{"circle", "32", "AA==", ", 0, ", "[12:00]  Primitive: 7"}));

TEST(ListingRecord, UnmatchedShapesRepeatThePreviousObjectsCodes)
{
    test::FakeClock clock;
    ListingRecordBuilder builder(clock);
    ObjectSpec torus;
    torus.profileShape = "Circle";
    torus.pathCurve = "32";
    torus.hollowShape = "Triangle";
    EXPECT_EQ(build(builder, torus).b.substr(0, 6), "4, 48,");
    ObjectSpec odd = torus;
    odd.pathCurve = "48";
    odd.hollowShape = "Hexagon";
    const Built repeated = build(builder, odd);
    EXPECT_EQ(repeated.b.substr(0, 6), "4, 48,");
    EXPECT_EQ(repeated.a.substr(0, repeated.a.find(", <")), "[12:00]  Primitive: 12");
    for (const auto& [shape, code] : {std::pair{"Same", "0"}, {"Circle", "16"}, {"Square", "32"}, {"Triangle", "48"}}) {
        ObjectSpec spec;
        spec.hollowShape = shape;
        EXPECT_EQ(build(builder, spec).b.substr(0, 3 + std::string(code).size()), std::string("0, ") + code);
    }
}

struct ValueCase {
    ObjectSpec spec;
    const char* lineB;
};

class ValueConversions : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ValueConversions, UndoTheConvertersScaling)
{
    test::FakeClock clock;
    ListingRecordBuilder builder(clock);
    EXPECT_EQ(build(builder, GetParam().spec).b, GetParam().lineB);
}

ObjectSpec with(std::initializer_list<std::pair<std::string ObjectSpec::*, std::string>> values,
                const char* shape = "Square", const char* curve = "16")
{
    ObjectSpec spec;
    spec.profileShape = shape;
    spec.pathCurve = curve;
    for (const auto& [member, value] : values) spec.*member = value;
    return spec;
}

INSTANTIATE_TEST_SUITE_P(
    Values, ValueConversions,
    ::testing::Values(
        // shear: above 200 the converter's 256 offset is undone; exactly 200 stays
        ValueCase{with({{&ObjectSpec::shearX, "226"}, {&ObjectSpec::shearY, "50"}}),
                  "0, 0, <0, 1, 0>, 0, <0, 0, 0>, <1, 1, 0>, <-0.3, 0.5, 0>, 0"},
        ValueCase{with({{&ObjectSpec::shearX, "201"}, {&ObjectSpec::shearY, "200"}}),
                  "0, 0, <0, 1, 0>, 0, <0, 0, 0>, <1, 1, 0>, <-0.55, 2, 0>, 0"},
        // cut from the profile on boxes, cylinders and prisms; hollow, twist and top size
        ValueCase{with({{&ObjectSpec::profileBegin, "12500"}, {&ObjectSpec::profileEnd, "12500"},
                        {&ObjectSpec::pathBegin, "99"}, {&ObjectSpec::hollow, "47500"},
                        {&ObjectSpec::twistBegin, "-50"}, {&ObjectSpec::twist, "100"},
                        {&ObjectSpec::scaleX, "150"}, {&ObjectSpec::scaleY, "0"}},
                       "Circle"),
                  "1, 0, <0.25, 0.75, 0>, 0.95, <-0.5, 1, 0>, <0.5, 2, 0>, <0, 0, 0>, 0"},
        // a sphere's cut comes from the path, its dimple from the profile
        ValueCase{with({{&ObjectSpec::profileBegin, "10000"}, {&ObjectSpec::profileEnd, "10000"},
                        {&ObjectSpec::pathBegin, "5000"}, {&ObjectSpec::pathEnd, "2500"}},
                       "HalfCircle", "32"),
                  "3, 0, <0.1, 0.95, 0>, 0, <0, 0, 0>, <0.2, 0.8, 0>, 0"},
        // torus: hole size, shear, profile cut, taper (no 256 offset), revolutions, radius, skew
        ValueCase{with({{&ObjectSpec::scaleX, "150"}, {&ObjectSpec::scaleY, "175"}, {&ObjectSpec::shearX, "226"},
                        {&ObjectSpec::profileBegin, "1"}, {&ObjectSpec::profileEnd, "25000"},
                        {&ObjectSpec::taperX, "-50"}, {&ObjectSpec::taperY, "206"},
                        {&ObjectSpec::revolutions, "66"}, {&ObjectSpec::radiusOffset, "-25"},
                        {&ObjectSpec::skew, "12"}},
                       "Circle", "32"),
                  "4, 0, <0, 1, 0>, 0, <0, 0, 0>, <0.5, 0.25, 0>, <-0.3, 0, 0>, <2E-05, 0.5, 0>, "
                  "<-0.5, 2.06, 0>, 1.99, -0.25, 0.12, 0"},
        ValueCase{with({{&ObjectSpec::revolutions, "0"}}, "Square", "32"),
                  "5, 0, <0, 1, 0>, 0, <0, 0, 0>, <1, 1, 0>, <0, 0, 0>, <0, 1, 0>, <0, 0, 0>, 1, 0, 0, 0"},
        ValueCase{with({{&ObjectSpec::revolutions, "200"}}, "EquilateralTriangle", "32"),
                  "6, 0, <0, 1, 0>, 0, <0, 0, 0>, <1, 1, 0>, <0, 0, 0>, <0, 1, 0>, <0, 0, 0>, 4, 0, 0, 0"}));

TEST(ListingRecord, CopiesPositionTextsAndDecodesEscapedNames)
{
    test::FakeClock clock;
    clock.current = {9, 5};
    ListingRecordBuilder builder(clock);
    ObjectSpec spec;
    spec.name = "Tom &amp; Jerry&#x27;s &lt;shed&gt;";
    spec.x = "128.500000";
    spec.y = "64.000000";
    spec.z = "22.500000";
    EXPECT_EQ(build(builder, spec).a,
              "[9:05]  Tom & Jerry's <shed>: 7, <128.500000, 64.000000, 22.500000>, <0, 0, 0, 1>, "
              "<0.5, 0.5, 0.5>, ");
    const BuiltText header = BuildHeaderLine(builder.values(), clock);
    EXPECT_EQ(header.text, "[9:05]  Rezzer: <128.500000, 64.000000, 20.5>");

    // An empty name gives no value, so the record is built from the values one further on.
    spec.name.clear();
    EXPECT_EQ(build(builder, spec).a.substr(0, 41), "[9:05]  0: 7, <64.000000, 22.500000, 0>, ");
}

TEST(ListingRecord, HeaderLine)
{
    test::FakeClock clock;
    for (const auto& [time, stamp] : {std::pair{platform::LocalTime{9, 5}, "[9:05]"}, {{0, 0}, "[0:00]"},
                                      {{23, 59}, "[23:59]"}}) {
        clock.current = time;
        EXPECT_EQ(BuildHeaderLine({22, "x"}, clock).failure, (RecordFailure{RecordError::MissingValue, 24}));
        ValueList values(22, "v");
        values.insert(values.end(), {"128.5", "64", "22.25"});
        EXPECT_EQ(BuildHeaderLine(values, clock).text, std::string(stamp) + "  Rezzer: <128.5, 64, 20.25>");
        values[24] = "high";
        EXPECT_EQ(BuildHeaderLine(values, clock).failure, (RecordFailure{RecordError::NotANumber, 24}));
    }
}

TEST(ListingRecord, FailuresNameTheValueAndKeepTheState)
{
    test::FakeClock clock;
    ListingRecordBuilder builder(clock);
    ObjectSpec torus = with({}, "Circle", "32");
    build(builder, torus);

    const auto failureOf = [&builder](const std::string& line) { return builder.BuildListingRecord(line).failure; };
    EXPECT_EQ(failureOf(test::objectLine(torus) + "<a"), (RecordFailure{RecordError::CutOffLine, 0}));
    EXPECT_EQ(failureOf(test::objectLine(with({}, "Square", "curved"))), (RecordFailure{RecordError::NotANumber, 48}));
    EXPECT_EQ(failureOf(test::objectLine(with({{&ObjectSpec::skew, "x"}}, "Circle", "32"))),
              (RecordFailure{RecordError::NotANumber, 56}));
    EXPECT_EQ(failureOf(test::objectLine(with({{&ObjectSpec::revolutions, "1e308"}}, "Circle", "32"))),
              (RecordFailure{RecordError::ArithmeticFault, 51}));
    const std::string line = test::objectLine(torus);
    EXPECT_EQ(failureOf(line.substr(0, line.find("<ProfileHollow>"))),
              (RecordFailure{RecordError::MissingValue, 65}));
    EXPECT_EQ(builder.typeCode(), 4);  // a failed object changes nothing

    // A linked object is written from its first part's values.
    EXPECT_EQ(build(builder, with({}, "HalfCircle", "32")).b.substr(0, 1), "3");
    const Built linked = build(builder, {});
    EXPECT_EQ(builder.BuildListingRecord(test::objectLine({}) + test::objectLine(torus)).text,
              linked.a + "\r\n" + linked.b);
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
    ::testing::Values(XmlTextCase{"plain", "plain"}, XmlTextCase{"&lt;&gt;&amp;&quot;&apos;", "<>&\"'"},
                      XmlTextCase{"&amp;lt;", "&lt;"}, XmlTextCase{"&#233;t&#xE9;", "\xC3\xA9t\xC3\xA9"},
                      XmlTextCase{"&#x1F600;", "\xF0\x9F\x98\x80"}, XmlTextCase{"&#65;&#x42;", "AB"},
                      // references to no character XML allows stay as they are
                      XmlTextCase{"&#xD800; &#0; &#1114112; &#xZZ; &#; &#X41;",
                                  "&#xD800; &#0; &#1114112; &#xZZ; &#; &#X41;"},
                      XmlTextCase{"&bogus; & alone &amp", "&bogus; & alone &amp"},
                      XmlTextCase{"a&&amp;b", "a&&b"}));

}  // namespace
}  // namespace vantor::extract
