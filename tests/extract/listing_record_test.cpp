// Tests of the listing: its records and header line, and the export that writes it beside the scene file.
#include "extract/listing_record.h"
#include "extract/selection_export.h"

#include "fakes/fake_platform.h"
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

using test::Fields;
using test::objectLine;

class Listing : public ::testing::Test {
protected:
    Listing() { files.addFolder("/out"); }

    // Line A and line B of the record of an object with these element texts.
    std::pair<std::string, std::string> build(const Fields& fields)
    {
        const BuiltText record = builder.BuildListingRecord(objectLine(fields));
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
        test::objectLine({{"name", "Ring &amp; hook"}, {"profileShape", "Circle"}, {"pathCurve", "32"},
                          {"hollowShape", "Circle"}, {"hollow", "25000"}, {"revolutions", "66"}}),
        test::objectLine({{"name", "Ball"}, {"x", "131.25"}, {"z", "23.5"}, {"profileShape", "HalfCircle"},
                          {"pathCurve", "32"}, {"hollowShape", "Unknown"}})};
};

TEST_F(Listing, TypeAndHoleRulesSetTheCodesOrRepeatThePreviousObjects)
{
    // Profile shape, path curve, extra parameters and hole shape of the objects of one export, in
    // turn; then line A's name and count, and line B's type and hole codes. Where no rule holds,
    // the codes stay as they were: none at first (built as a box), later the previous type's.
    const std::tuple<const char*, const char*, const char*, const char*, const char*> cases[] = {
        {"Circle", "48", "AA==", "Triangle", "P: 7 | , 48"}, {"circle", "32", "AA==", "Hexagon", "P: 7 | , 48"},
        {"Circle", "128", "AA==", "Square", "P: 7 | 1, 32"},
        {"EquilateralTriangle", "16", "AA==", "Circle", "P: 7 | 2, 16"},
        {"Circle", "32", "AA==", "Same", "P: 12 | 4, 0"},     {"Circle", "48", "AA==", "Same", "P: 12 | 4, 0"},
        {"HalfCircle", "32", "AA==", "Same", "P: 6 | 3, 0"},  {"Square", "32.0", "AA==", "Same", "P: 12 | 5, 0"},
        {"EquilateralTriangle", "32", "AA==", "Same", "P: 12 | 6, 0"},
        // sculpted, flexible or lit: written as a box and marked; a straight path is unaffected
        {"HalfCircle", "32", "AwAB", "Same", "S*P: 7 | 0, 0"}, {"Circle", "16", "AwAB", "Same", "P: 7 | 1, 0"}};
    for (const auto& [shape, curve, extraParams, hollowShape, start] : cases) {
        const auto [a, b] = build({{"name", "P"}, {"profileShape", shape}, {"pathCurve", curve},
                                   {"extraParams", extraParams}, {"hollowShape", hollowShape}});
        EXPECT_EQ(a.substr(9, a.find(", <") - 9) + " | " + b.substr(0, b.find(", <")), start);
    }
}

TEST_F(Listing, ValueConversionsUndoTheConvertersScaling)
{
    const std::pair<Fields, const char*> cases[] = {
        {{}, "0, 0, <0, 1, 0>, 0, <0, 0, 0>, <1, 1, 0>, <0, 0, 0>, 0"},  // the worked box and sphere
        {{{"profileShape", "HalfCircle"}, {"pathCurve", "32"}}, "3, 0, <0, 1, 0>, 0, <0, 0, 0>, <0, 1, 0>, 0"},
        // box: top size and shear; above 200 the converter's 256 offset is undone, exactly 200 stays
        {{{"shearX", "201"}, {"shearY", "200"}, {"scaleX", "150"}, {"scaleY", "0"}},
         "0, 0, <0, 1, 0>, 0, <0, 0, 0>, <0.5, 2, 0>, <-0.55, 2, 0>, 0"},
        // cylinders take the cut from the profile, not the path; hollow, twist
        {{{"profileShape", "Circle"}, {"profileBegin", "12500"}, {"profileEnd", "12500"}, {"pathBegin", "9"},
          {"hollow", "47500"}, {"twistBegin", "-50"}, {"twist", "100"}},
         "1, 0, <0.25, 0.75, 0>, 0.95, <-0.5, 1, 0>, <1, 1, 0>, <0, 0, 0>, 0"},
        // a sphere's cut comes from the path, its dimple from the profile
        {{{"profileShape", "HalfCircle"}, {"pathCurve", "32"}, {"profileBegin", "10000"}, {"profileEnd", "10000"},
          {"pathBegin", "5000"}, {"pathEnd", "2500"}}, "3, 0, <0.1, 0.95, 0>, 0, <0, 0, 0>, <0.2, 0.8, 0>, 0"},
        // torus: hole size, shear, profile cut, taper (no 256 offset), revolutions, radius, skew
        {{{"profileShape", "Circle"}, {"pathCurve", "32"}, {"scaleX", "150"}, {"scaleY", "175"}, {"shearX", "226"},
          {"shearY", "50"}, {"profileBegin", "1"}, {"profileEnd", "25000"}, {"taperX", "-50"}, {"taperY", "206"},
          {"revolutions", "66"}, {"radiusOffset", "-25"}, {"skew", "12"}},
         "4, 0, <0, 1, 0>, 0, <0, 0, 0>, <0.5, 0.25, 0>, <-0.3, 0.5, 0>, <2E-05, 0.5, 0>, <-0.5, 2.06, 0>, 1.99, "
         "-0.25, 0.12, 0"}};
    for (const auto& [fields, lineB] : cases) EXPECT_EQ(build(fields).second, lineB);
}

TEST_F(Listing, CopiesPositionsAsTheyStandAndDecodesEscapedNames)
{
    clock.current = {14, 5};
    EXPECT_EQ(build({}).first, "[14:05]  Primitive: 7, <128, 64.5, 22>, <0, 0, 0, 1>, <0.5, 0.5, 0.5>, ");  // worked
    clock.current = {9, 5};
    const Fields fields{{"name", "Tom &amp; Jerry&#x27;s &lt;shed&gt;"}, {"x", "128.500000"}, {"y", "64.000000"},
                        {"z", "22.500000"}};
    EXPECT_EQ(build(fields).first,
              "[9:05]  Tom & Jerry's <shed>: 7, <128.500000, 64.000000, 22.500000>, <0, 0, 0, 1>, <0.5, 0.5, 0.5>, ");
    // The value list points into the object line, which must still be there for the header.
    const std::string line = objectLine(fields);
    ASSERT_TRUE(builder.BuildListingRecord(line));
    EXPECT_EQ(BuildHeaderLine(builder.values(), clock).text, "[9:05]  Rezzer: <128.500000, 64.000000, 20.5>");
    clock.current = {23, 0};
    // An empty name no longer moves every later value down: the object is read by element name.
    EXPECT_EQ(build({{"name", ""}}).first.substr(0, 31), "[23:00]  : 7, <128, 64.5, 22>, ");
}

TEST_F(Listing, FailuresNameTheValueAndKeepTheState)
{
    const Fields torus{{"profileShape", "Circle"}, {"pathCurve", "32"}};
    build(torus);
    const auto failureOf = [this](const std::string& line) { return builder.BuildListingRecord(line).failure; };
    EXPECT_EQ(failureOf(objectLine(torus) + "<a"), (RecordFailure{RecordError::CutOffLine, 0}));
    EXPECT_EQ(failureOf(objectLine({{"profileShape", "Circle"}, {"pathCurve", "32"}, {"revolutions", "1e308"}})),
              (RecordFailure{RecordError::ArithmeticFault, 51}));
    const std::string line = objectLine();
    EXPECT_EQ(failureOf(line.substr(0, line.find("<ProfileHollow>"))), (RecordFailure{RecordError::MissingValue, 65}));
    EXPECT_EQ(builder.typeCode(), 4);  // a failed object changes nothing

    // A linked object is written from its first part's values.
    EXPECT_EQ(builder.BuildListingRecord(objectLine() + objectLine(torus)).text,
              builder.BuildListingRecord(objectLine()).text);
}

// An object line with one element's text replaced: tag is the text just before it.
std::string withText(std::string line, const std::string& tag, const std::string& text)
{
    const std::size_t at = line.find(tag) + tag.size();
    return line.replace(at, line.find('<', at) - at, text);
}

// A value copied into line A or the header goes in as it stands, but only when the listing's
// reader takes it as a number: in a record without the blanks, "<" and ">" it drops, and
// with a decimal form that reads back.
TEST_F(Listing, CopiedValuesMustReadBackAsNumbers)
{
    const std::string box = objectLine();
    const std::pair<std::string, std::optional<RecordFailure>> cases[] = {
        {objectLine({{"x", "1,5"}}), RecordFailure{RecordError::NotANumber, 22}},
        {objectLine({{"y", "north"}}), RecordFailure{RecordError::NotANumber, 23}},
        {withText(box, "<W>", "&#10;"), RecordFailure{RecordError::NotANumber, 31}},
        {withText(box, "<Scale><X>", "\r\n\r\n"), RecordFailure{RecordError::NotANumber, 66}},
        {withText(box, "<Scale><X>0.5</X><Y>0.5</Y><Z>", "1.7976931348623157e308"),
         RecordFailure{RecordError::ArithmeticFault, 68}},
        {objectLine({{"x", "1e3"}, {"y", " -0"}, {"z", "2E-05"}}), std::nullopt},
        {objectLine({{"x", "1&#10;2&lt;8&gt;"}}), std::nullopt},
    };
    for (const auto& [line, failure] : cases) {
        const BuiltText record = builder.BuildListingRecord(line);
        EXPECT_EQ(record.failure, failure) << line;
    }
    EXPECT_EQ(build({{"x", "1e3"}, {"y", " -0"}, {"z", "2E-05"}}).first,
              "[12:00]  Primitive: 7, <1e3,  -0, 2E-05>, <0, 0, 0, 1>, <0.5, 0.5, 0.5>, ");
    EXPECT_EQ(build({{"x", "1&#10;2&lt;8&gt;"}}).first.substr(20, 16), "7, <1 2<8>, 64.5");

    // The header copies x and y as they stand; its computed z must read back too.
    const std::pair<Fields, std::optional<RecordFailure>> headers[] = {
        {{{"x", "Primitive"}}, RecordFailure{RecordError::NotANumber, 22}},
        {{{"y", "6 4"}}, RecordFailure{RecordError::NotANumber, 23}},
        {{{"z", "1.7976931348623157e308"}}, RecordFailure{RecordError::ArithmeticFault, 24}},
        {{{"x", "1e3"}, {"y", " -0"}}, std::nullopt}};
    for (const auto& [fields, failure] : headers) {
        EXPECT_EQ(BuildHeaderLineFor(objectLine(fields), clock).failure, failure);
    }
    EXPECT_EQ(BuildHeaderLineFor(objectLine({{"x", "1e3"}, {"y", " -0"}}), clock).text,
              "[12:00]  Rezzer: <1e3,  -0, 20>");
}

// The listing's reader holds shape values as 32-bit integers in its own units; a value that
// would leave them fails the record, naming the value it was computed from.
TEST_F(Listing, ShapeValuesBeyondTheReadersIntegersFail)
{
    const Fields torus{{"profileShape", "Circle"}, {"pathCurve", "32"}};
    const Fields sphere{{"profileShape", "HalfCircle"}, {"pathCurve", "32"}};
    const auto with = [](Fields fields, const std::string& key, const std::string& value) {
        fields[key] = value;
        return fields;
    };
    const std::tuple<Fields, std::size_t, bool> cases[] = {
        // the cut end 1 - v / 50000 is read back as (1 - end) x 50000: v itself, within 2^31
        {{{"profileEnd", "2147483647"}}, 64, true},
        {{{"profileEnd", "2147483648"}}, 64, false},
        // a shear above 200 loses 256 on the way out and gains it back on the way in
        {{{"shearX", "2147483903"}}, 54, true},
        {{{"shearX", "2147483904"}}, 54, false},
        {{{"shearY", "1099511628031740"}}, 55, false},
        // a box's path cut is read but not written, a torus's is written
        {{{"pathBegin", "3e9"}}, 47, true},
        {with(torus, "pathBegin", "3e9"), 47, false},
        {with(torus, "skew", "-3e9"), 56, false},
        {with(sphere, "profileBegin", "3e9"), 62, false},
    };
    for (const auto& [fields, index, builds] : cases) {
        const BuiltText record = builder.BuildListingRecord(objectLine(fields));
        const auto expected = builds ? std::nullopt : std::optional{RecordFailure{RecordError::ArithmeticFault, index}};
        EXPECT_EQ(record.failure, expected) << "value " << index;
    }
}

// A name may hold anything; the reader takes it up to its first ": " and the record after it.
TEST_F(Listing, NamesKeepTheRecordOnTwoLinesAndItsFields)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Door: left, right", "Door: left  right: 7, <"},
        {"Left, right: door", "Left, right: door: 7, <"},
        {"Prim\r\nitive\rin\nparts&#13;&#10;", "Prim itive in parts  : 7, <"}};
    for (const auto& [element, start] : cases) {
        EXPECT_EQ(build({{"name", element}}).first.substr(9, std::string_view(start).size()), start);
        EXPECT_EQ(builder.name(), std::string_view(start).substr(0, std::string_view(start).size() - 6));
    }
}

TEST(ListingPath, SwapsOnlyAFinalXmlForTxt)
{
    for (const auto& [scene, listing] :
         {std::pair{"C:\\out\\sel.xml", "C:\\out\\sel.txt"}, {"/out/SEL.XML", "/out/SEL.txt"},
          {"/maps.xml/sel.Xml", "/maps.xml/sel.txt"}, {"/out/sel", "/out/sel.txt"},
          {"/out/sel.txt", "/out/sel.txt.txt"}, {"/out/sel.xml.bak", "/out/sel.xml.bak.txt"}, {"xml", "xml.txt"}}) {
        EXPECT_EQ(listingPathFor(scene), listing);
    }
}

TEST_F(Listing, ExportWritesTheSceneFileAndTheListingBesideIt)
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

TEST_F(Listing, FailuresLeaveTheSceneFileAndNoNewListing)
{
    const ExportReport scene = exportTo("/nowhere/a.xml");  // a folder that does not exist
    ASSERT_FALSE(scene);
    EXPECT_EQ(scene.failure->error, ExportError::SceneFileFailed);
    EXPECT_EQ(scene.failure->path, "/nowhere/a.xml");
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
        EXPECT_EQ(failed.failure->reason, "disk full");
        EXPECT_FALSE(failed.sceneWritten);
        EXPECT_EQ(files.files, earlier);
    }
    files.failPrepare.clear();
    files.failCommit.clear();

    files.files["/out/sel.txt"] = "an earlier listing";
    lines.insert(lines.begin() + 1, test::objectLine({{"name", "Broken &lt;1&gt;"}, {"pathCurve", "curved"}}));
    const ExportReport report = exportTo("/out/sel.xml");
    ASSERT_FALSE(report);
    EXPECT_EQ(report.failure->error, ExportError::RecordFailed);
    EXPECT_EQ(report.failure->objectNumber, 2u);
    EXPECT_EQ(report.failure->objectName, "Broken <1>");
    EXPECT_EQ(report.failure->cause, (RecordFailure{RecordError::NotANumber, 48}));
    EXPECT_TRUE(report.sceneWritten);
    EXPECT_EQ(files.files["/out/sel.xml"], test::sceneFile(lines));
    EXPECT_EQ(files.files["/out/sel.txt"], "an earlier listing");

    // A last object without a height gives no header line.
    const std::string whole = test::objectLine();
    lines.push_back(whole.substr(0, whole.find("<Z>")));
    const ExportReport header = exportTo("/out/cut.xml");
    ASSERT_FALSE(header);
    EXPECT_EQ(header.failure->error, ExportError::HeaderFailed);
    EXPECT_EQ(header.failure->objectNumber, lines.size());
    EXPECT_EQ(header.failure->cause, (RecordFailure{RecordError::MissingValue, 24}));
    EXPECT_EQ(files.files.count("/out/cut.txt"), 0u);
    EXPECT_EQ(files.openOutputs, 0);
}

// A large table's second half is built on a thread of its own; the listing must read as one
// builder writes it, codes carried across the halves included, and report the first failure.
TEST_F(Listing, LargeTablesListAsOneBuilderWould)
{
    const std::string box = objectLine();
    const std::string torus = objectLine({{"profileShape", "Circle"}, {"pathCurve", "32"}, {"hollowShape", "Circle"}});
    const std::string noRule = objectLine({{"name", "odd"}, {"pathCurve", "48"}, {"hollowShape", "Other"}});
    const std::string typeOnly = objectLine({{"pathCurve", "16"}, {"hollowShape", "Other"}});
    const std::string broken = objectLine({{"name", "bad"}, {"pathCurve", "curved"}});
    const std::size_t count = 3000;
    const std::size_t half = count / 2;
    // Objects put in a table of plain boxes, at these places.
    const std::vector<std::pair<std::size_t, std::string>> cases[] = {
        {{half - 1, torus}, {half, noRule}, {half + 1, typeOnly}, {half + 2, noRule}, {half + 3, torus}},
        {{half - 1, torus}, {half, noRule}, {half + 1, broken}},
        {{10, torus}, {half + 5, noRule}, {half + 7, box}, {count - 1, noRule}},
        {{half + 100, broken}, {half + 200, broken}},
        {{half - 1, torus}, {half, typeOnly}, {half + 1, noRule}, {half + 50, broken}},
    };
    for (const auto& at : cases) {
        lines.assign(count, box);
        for (const auto& [k, line] : at) lines[k] = line;
        std::string expected = BuildHeaderLineFor(lines.back(), clock).text + "\r\n";
        ListingRecordBuilder single(clock);
        std::optional<std::size_t> failedAt;
        for (std::size_t k = 0; k < lines.size() && !failedAt; ++k) {
            const BuiltText record = single.BuildListingRecord(lines[k]);
            if (!record) failedAt = k + 1;
            expected += record.text + "\r\n";
        }
        files.files.erase("/out/big.txt");
        const ExportReport report = exportTo("/out/big.xml");
        if (failedAt) {
            ASSERT_FALSE(report);
            EXPECT_EQ(report.failure->objectNumber, *failedAt);
        } else {
            ASSERT_TRUE(report);
            EXPECT_TRUE(files.files["/out/big.txt"] == expected);
        }
    }
}

}  // namespace
}  // namespace vantor::extract
