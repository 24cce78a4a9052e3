// Tests of the listing: its records and header line, and the export that writes it beside the scene file.
#include "extract/listing_record.h"
#include "extract/selection_export.h"

#include "testing/fake_platform.h"
#include "object_line_fixture.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace vantor::extract {
namespace {

using namespace scene::value;

using test::Fields;
using test::objectLine;

class Listing : public ::testing::Test {
protected:
    Listing() { files.addFolder("/out"); }

    // Line A and line B of the record of an object with these element texts.
    std::pair<std::string, std::string> build(const Fields& fields)
    {
        const BuiltText record = builder.buildListingRecord(objectLine(fields));
        EXPECT_TRUE(record) << "failed at value " << (record.failure ? record.failure->valueIndex : 0);
        const auto end = record.text.find("\r\n");
        return {record.text.substr(0, end), record.text.substr(end + 2)};
    }
    ExportReport exportTo(const std::string& path)
    {
        return exportSelection(ObjectLines::fromLines(lines), path, clock, files);
    }

    test::FakeClock clock;
    ListingRecordBuilder builder{clock};
    test::FakeFileSystem files;
    // Three objects to export.
    std::vector<std::string> lines{
        test::objectLine(),
        test::objectLine({{kName, "Ring &amp; hook"}, {kProfileShape, "Circle"}, {kPathCurve, "32"},
                          {kHollowShape, "Circle"}, {kProfileHollow, "25000"}, {kPathRevolutions, "66"}}),
        test::objectLine({{kName, "Ball"}, {kPositionX, "131.25"}, {kPositionZ, "23.5"}, {kProfileShape, "HalfCircle"},
                          {kPathCurve, "32"}, {kHollowShape, "Unknown"}})};
};

TEST_F(Listing, ShapeRulesSetTheCodesOrRepeatThePreviousObjects)
{
    // Profile shape, path curve, extra parameters and hole shape of the objects of one export, in
    // turn; then line A's name and count, and line B's type and hole codes. Where no rule holds,
    // the codes stay as they were: none at first (built as a box), later the previous type's.
    const std::tuple<const char*, const char*, const char*, const char*, const char*> cases[] = {
        {"Circle", "48", "AA==", "Triangle", "P: 1 | , 48"}, {"circle", "32", "AA==", "Hexagon", "P: 1 | , 48"},
        {"Circle", "128", "AA==", "Square", "P: 1 | 1, 32"},
        {"EquilateralTriangle", "16", "AA==", "Circle", "P: 1 | 2, 16"},
        {"Circle", "32", "AA==", "Same", "P: 1 | 4, 0"},     {"Circle", "48", "AA==", "Same", "P: 1 | 4, 0"},
        {"HalfCircle", "32", "AA==", "Same", "P: 1 | 3, 0"},  {"Square", "32.0", "AA==", "Same", "P: 1 | 5, 0"},
        {"EquilateralTriangle", "32", "AA==", "Same", "P: 1 | 6, 0"},
        // sculpted, flexible or lit: written as a box and marked; a straight path is unaffected
        {"HalfCircle", "32", "AwAB", "Same", "S*P: 1 | 0, 0"}, {"Circle", "16", "AwAB", "Same", "P: 1 | 1, 0"}};
    for (const auto& [shape, curve, extraParams, hollowShape, start] : cases) {
        const auto [a, b] = build({{kName, "P"}, {kProfileShape, shape}, {kPathCurve, curve},
                                   {kExtraParams, extraParams}, {kHollowShape, hollowShape}});
        EXPECT_EQ(a.substr(9, a.find(", <") - 9) + " | " + b.substr(0, b.find(", <")), start);
    }
}

TEST_F(Listing, ValueConversionsUndoTheConvertersScaling)
{
    const std::pair<Fields, const char*> cases[] = {
        {{}, "0, 0, <0, 1, 0>, 0, <0, 0, 0>, <1, 1, 0>, <0, 0, 0>, 0"},  // the worked box and sphere
        {{{kProfileShape, "HalfCircle"}, {kPathCurve, "32"}}, "3, 0, <0, 1, 0>, 0, <0, 0, 0>, <0, 1, 0>, 0"},
        // box: top size and shear; above 200 the converter's 256 offset is undone, exactly 200 stays
        {{{kPathShearX, "201"}, {kPathShearY, "200"}, {kPathScaleX, "150"}, {kPathScaleY, "0"}},
         "0, 0, <0, 1, 0>, 0, <0, 0, 0>, <0.5, 2, 0>, <-0.55, 2, 0>, 0"},
        // cylinders take the cut from the profile, not the path; hollow, twist
        {{{kProfileShape, "Circle"}, {kProfileBegin, "12500"}, {kProfileEnd, "12500"}, {kPathBegin, "9"},
          {kProfileHollow, "47500"}, {kPathTwistBegin, "-50"}, {kPathTwist, "100"}},
         "1, 0, <0.25, 0.75, 0>, 0.95, <-0.5, 1, 0>, <1, 1, 0>, <0, 0, 0>, 0"},
        // a sphere's cut comes from the path, its dimple from the profile
        {{{kProfileShape, "HalfCircle"}, {kPathCurve, "32"}, {kProfileBegin, "10000"}, {kProfileEnd, "10000"},
          {kPathBegin, "5000"}, {kPathEnd, "2500"}}, "3, 0, <0.1, 0.95, 0>, 0, <0, 0, 0>, <0.2, 0.8, 0>, 0"},
        // torus: hole size, shear, profile cut, taper (no 256 offset), revolutions, radius, skew
        {{{kProfileShape, "Circle"}, {kPathCurve, "32"}, {kPathScaleX, "150"}, {kPathScaleY, "175"},
          {kPathShearX, "226"}, {kPathShearY, "50"}, {kProfileBegin, "1"}, {kProfileEnd, "25000"},
          {kPathTaperX, "-50"}, {kPathTaperY, "206"}, {kPathRevolutions, "66"}, {kPathRadiusOffset, "-25"},
          {kPathSkew, "12"}},
         "4, 0, <0, 1, 0>, 0, <0, 0, 0>, <0.5, 0.25, 0>, <-0.3, 0.5, 0>, <2E-05, 0.5, 0>, <-0.5, 2.06, 0>, 1.99, "
         "-0.25, 0.12, 0"}};
    for (const auto& [fields, lineB] : cases) EXPECT_EQ(build(fields).second, lineB);
}

TEST_F(Listing, LineAGivesTheDecodedNameWithThePositionAsWritten)
{
    clock.current = {14, 5};
    EXPECT_EQ(build({}).first, "[14:05]  Primitive: 1, <128, 64.5, 22>, <0, 0, 0, 1>, <0.5, 0.5, 0.5>, ");  // worked
    clock.current = {9, 5};
    const Fields fields{{kName, "Tom &amp; Jerry&#x27;s &lt;shed&gt;"}, {kPositionX, "128.500000"},
                        {kPositionY, "64.000000"}, {kPositionZ, "22.500000"}};
    EXPECT_EQ(build(fields).first,
              "[9:05]  Tom & Jerry's <shed>: 1, <128.500000, 64.000000, 22.500000>, <0, 0, 0, 1>, <0.5, 0.5, 0.5>, ");
    // The value list points into the object line, which must still be there for the header.
    const std::string line = objectLine(fields);
    ASSERT_TRUE(builder.buildListingRecord(line));
    EXPECT_EQ(buildHeaderLine(builder.values(), clock).text, "[9:05]  Rezzer: <128.500000, 64.000000, 20.5>");
    clock.current = {23, 0};
    // An empty name no longer moves every later value down: the object is read by element name.
    EXPECT_EQ(build({{kName, ""}}).first.substr(0, 31), "[23:00]  : 1, <128, 64.5, 22>, ");
}

TEST_F(Listing, FailuresNameTheValueWithoutChangingTheState)
{
    const Fields torus{{kProfileShape, "Circle"}, {kPathCurve, "32"}};
    build(torus);
    const auto failureOf = [this](const std::string& line) { return builder.buildListingRecord(line).failure; };
    EXPECT_EQ(failureOf(objectLine(torus) + "<a"), (RecordFailure{RecordError::CutOffLine, 0}));
    EXPECT_EQ(failureOf(objectLine({{kProfileShape, "Circle"}, {kPathCurve, "32"}, {kPathRevolutions, "1e308"}})),
              (RecordFailure{RecordError::ArithmeticFault, kPathRevolutions}));
    const std::string line = objectLine();
    EXPECT_EQ(failureOf(line.substr(0, line.find("<ProfileHollow>"))),
              (RecordFailure{RecordError::MissingValue, kProfileHollow}));
    EXPECT_EQ(builder.typeCode(), 4);  // a failed object changes nothing

    // A linked object is written from its first part's values.
    EXPECT_EQ(builder.buildListingRecord(objectLine() + objectLine(torus)).text,
              builder.buildListingRecord(objectLine()).text);
}

// A value copied into line A or the header goes in as it stands, but only when the listing's
// reader takes it as a number: in a record without the blanks, "<" and ">" it drops, and
// with a decimal form that reads back.
TEST_F(Listing, CopiedValuesMustReadBackAsNumbers)
{
    const std::pair<std::string, std::optional<RecordFailure>> cases[] = {
        {objectLine({{kPositionX, "1,5"}}), RecordFailure{RecordError::NotANumber, kPositionX}},
        {objectLine({{kPositionY, "north"}}), RecordFailure{RecordError::NotANumber, kPositionY}},
        {objectLine({{kRotationW, "&#10;"}}), RecordFailure{RecordError::NotANumber, kRotationW}},
        {objectLine({{kScaleX, "\r\n\r\n"}}), RecordFailure{RecordError::NotANumber, kScaleX}},
        {objectLine({{kScaleZ, "1.7976931348623157e308"}}), RecordFailure{RecordError::ArithmeticFault, kScaleZ}},
    };
    for (const auto& [line, failure] : cases) {
        const BuiltText record = builder.buildListingRecord(line);
        EXPECT_EQ(record.failure, failure) << line;
    }
    // Numbers in any form the reader takes, and references that become blanks or brackets, build.
    EXPECT_EQ(build({{kPositionX, "1e3"}, {kPositionY, " -0"}, {kPositionZ, "2E-05"}}).first,
              "[12:00]  Primitive: 1, <1e3,  -0, 2E-05>, <0, 0, 0, 1>, <0.5, 0.5, 0.5>, ");
    EXPECT_EQ(build({{kPositionX, "1&#10;2&lt;8&gt;"}}).first.substr(20, 16), "1, <1 2<8>, 64.5");

    // The header copies x and y as they stand; its computed z must read back too.
    const std::pair<Fields, std::optional<RecordFailure>> headers[] = {
        {{{kPositionX, "Primitive"}}, RecordFailure{RecordError::NotANumber, kPositionX}},
        {{{kPositionY, "6 4"}}, RecordFailure{RecordError::NotANumber, kPositionY}},
        {{{kPositionZ, "1.7976931348623157e308"}}, RecordFailure{RecordError::ArithmeticFault, kPositionZ}}};
    for (const auto& [fields, failure] : headers) {
        EXPECT_EQ(buildHeaderLineFor(objectLine(fields), clock).failure, failure);
    }
    EXPECT_EQ(buildHeaderLineFor(objectLine({{kPositionX, "1e3"}, {kPositionY, " -0"}}), clock).text,
              "[12:00]  Rezzer: <1e3,  -0, 20>");
}

// The listing's reader holds shape values as 32-bit integers in its own units; a value that
// would leave them fails the record, naming the value it was computed from.
TEST_F(Listing, ShapeValuesBeyondTheReadersIntegersFail)
{
    const Fields torus{{kProfileShape, "Circle"}, {kPathCurve, "32"}};
    const Fields sphere{{kProfileShape, "HalfCircle"}, {kPathCurve, "32"}};
    // The shape (none: a box), the value and its text, and whether the record builds.
    const std::tuple<Fields, std::size_t, const char*, bool> cases[] = {
        // the cut end 1 - v / 50000 is read back as (1 - end) x 50000: v itself, within 2^31
        {{}, kProfileEnd, "2147483647", true},
        {{}, kProfileEnd, "2147483648", false},
        // a shear above 200 loses 256 on the way out and gains it back on the way in
        {{}, kPathShearX, "2147483903", true},
        {{}, kPathShearX, "2147483904", false},
        {{}, kPathShearY, "1099511628031740", false},
        // a box's path cut is read but not written, a torus's is written
        {{}, kPathBegin, "3e9", true},
        {torus, kPathBegin, "3e9", false},
        {torus, kPathSkew, "-3e9", false},
        {sphere, kProfileBegin, "3e9", false},
    };
    for (auto [fields, index, text, builds] : cases) {
        fields[index] = text;
        const BuiltText record = builder.buildListingRecord(objectLine(fields));
        const auto expected = builds ? std::nullopt : std::optional{RecordFailure{RecordError::ArithmeticFault, index}};
        EXPECT_EQ(record.failure, expected) << "value " << index;
    }
}

// A name may hold anything; the reader takes it up to its first ": " and the record after it.
TEST_F(Listing, NamesCannotAddLinesOrFieldsToTheRecord)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Door: left, right", "Door: left  right: 1, <"},
        {"Left, right: door", "Left, right: door: 1, <"},
        {"Prim\r\nitive\rin\nparts&#13;&#10;", "Prim itive in parts  : 1, <"}};
    for (const auto& [element, start] : cases) {
        EXPECT_EQ(build({{kName, element}}).first.substr(9, std::string_view(start).size()), start);
        EXPECT_EQ(builder.name(), std::string_view(start).substr(0, std::string_view(start).size() - 6));
    }
}

TEST(ListingPath, SwapsOnlyAFinalXmlOrOarForTxt)
{
    for (const auto& [scene, listing] :
         {std::pair{"C:\\out\\sel.xml", "C:\\out\\sel.txt"}, {"/out/SEL.XML", "/out/SEL.txt"},
          {"/out/sel.oar", "/out/sel.txt"}, {"/out/sel.OaR", "/out/sel.txt"}, {"/out/sel.oar.xml", "/out/sel.oar.txt"},
          {"/maps.xml/sel.Xml", "/maps.xml/sel.txt"}, {"/out/sel", "/out/sel.txt"},
          {"/out/sel.txt", "/out/sel.txt.txt"}, {"/out/sel.xml.bak", "/out/sel.xml.bak.txt"}, {"xml", "xml.txt"}}) {
        EXPECT_EQ(listingPathFor(scene), listing);
    }
}

TEST_F(Listing, ExportWritesTheListingBesideTheSceneFile)
{
    clock.current = {9, 5};
    ASSERT_TRUE(exportTo("/out/sel.xml"));
    EXPECT_EQ(files.files["/out/sel.xml"], test::sceneFile(lines));
    // The header is anchored on the last object: <131.25, 64.5, 23.5 - 2>.
    EXPECT_EQ(files.files["/out/sel.txt"], test::fileText(VANTOR_TEST_DATA_DIR "/three_objects.expected.txt"));

    // An empty table has nothing to save: no file at all (an empty listing would not convert),
    // and an earlier file of that name stays.
    lines.clear();
    files.files["/out/none.xml"] = "earlier";
    const ExportReport none = exportTo("/out/none.xml");
    ASSERT_FALSE(none);
    EXPECT_EQ(none.failure->error, ExportError::NothingToSave);
    EXPECT_EQ(files.files.at("/out/none.xml"), "earlier");
    EXPECT_EQ(files.files.count("/out/none.txt"), 0u);
}

TEST_F(Listing, ExportFailuresLeaveNoNewListing)
{
    const ExportReport scene = exportTo("/nowhere/a.xml");  // a folder that does not exist
    ASSERT_FALSE(scene);
    EXPECT_EQ(scene.failure->error, ExportError::SceneFileFailed);
    EXPECT_TRUE(files.files.empty());

    // Both files are readied before either goes in place, then put in back to back; when one
    // fails, the earlier pair stays as it was.
    ASSERT_TRUE(exportTo("/out/b.xml"));
    EXPECT_EQ(std::vector<std::string>(files.operations.end() - 4, files.operations.end()),
              (std::vector<std::string>{"prepare /out/b.xml", "prepare /out/b.txt", "commit /out/b.xml",
                                        "commit /out/b.txt"}));
    const auto earlier = files.files;
    for (const auto& [failPrepare, failCommit, error] : std::vector<std::tuple<std::string, std::string, ExportError>>{
             {"/out/b.xml", "", ExportError::SceneFileFailed},
             {"/out/b.txt", "", ExportError::ListingFileFailed},
             {"", "/out/b.txt", ExportError::ListingFileFailed}}) {
        files.failPrepare = {failPrepare};
        files.failCommit = {failCommit};
        const ExportReport failed = exportTo("/out/b.xml");
        ASSERT_FALSE(failed);
        EXPECT_EQ(failed.failure->error, error);
        EXPECT_FALSE(failed.sceneWritten);
        EXPECT_EQ(files.files, earlier);
    }
    files.failPrepare.clear();
    files.failCommit.clear();

    files.files["/out/sel.txt"] = "an earlier listing";
    lines.insert(lines.begin() + 1, test::objectLine({{kName, "Broken &lt;1&gt;"}, {kPathCurve, "curved"}}));
    const ExportReport report = exportTo("/out/sel.xml");
    ASSERT_FALSE(report);
    EXPECT_EQ(report.failure->error, ExportError::RecordFailed);
    EXPECT_EQ(report.failure->objectName, "Broken <1>");
    EXPECT_TRUE(report.sceneWritten);
    EXPECT_EQ(files.files["/out/sel.txt"], "an earlier listing");

    // A last object without a height gives no header line.
    const std::string whole = test::objectLine();
    lines.push_back(whole.substr(0, whole.find("<Z>")));
    const ExportReport header = exportTo("/out/cut.xml");
    ASSERT_FALSE(header);
    EXPECT_EQ(header.failure->error, ExportError::HeaderFailed);
    EXPECT_EQ(header.failure->cause, (RecordFailure{RecordError::MissingValue, kPositionZ}));
    EXPECT_EQ(files.files.count("/out/cut.txt"), 0u);
    EXPECT_EQ(files.openOutputs, 0);
}

}  // namespace
}  // namespace vantor::extract
