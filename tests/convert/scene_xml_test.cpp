// Every scene file a run writes is read back with a real XML parser.
#include "convert/conversion_run.h"
#include "convert/prim_xml.h"
#include "extract/listing_record.h"

#include "testing/fake_platform.h"
#include "testing/record_reference.h"
#include "test_support.h"

#include <QString>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace vantor::convert;
using namespace vantor::test;

namespace {

// The texts of the elements named tag of a scene file, read with a real XML parser; also
// checks that the file is well-formed.
std::vector<std::string> textsOf(const std::string& scene, const QString& tag)
{
    QXmlStreamReader xml(QByteArray::fromStdString(scene));
    std::vector<std::string> texts;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == tag) {
            texts.push_back(xml.readElementText(QXmlStreamReader::IncludeChildElements).toStdString());
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString() << " at line " << xml.lineNumber();
    return texts;
}

// Converts the listing and gives the prims' names in the scene file written, each object
// owned by the request's owner.
std::vector<std::string> namesInScene(const std::string& listing)
{
    FakeFileSystem files;
    files.addFolder("/os");
    FakeRandom random;
    EXPECT_EQ(outcomeOf(runConversion(requestFor(listing), files, random)), ConversionOutcome::Done);
    const std::string scene = files.files["/os/maison.xml"];
    const auto names = textsOf(scene, "Name");
    EXPECT_EQ(textsOf(scene, "OwnerID"), std::vector<std::string>(names.size(), kOwner));
    return names;
}

TEST(SceneXml, ExampleHouseParses)
{
    EXPECT_EQ(namesInScene(readFile(std::filesystem::path(VANTOR_SOURCE_DIR) / "examples" / "house.txt")).size(), 16u);
}

TEST(SceneXml, NamesWithMarkupCharactersReadBackUnchanged)
{
    const std::vector<std::string> names = {"Fish & <Chips>", "\"Bob's\" > 'Al'", "&amp; &lt;"};
    std::vector<std::string> lines = {kHeader};
    for (const auto& name : names) lines.insert(lines.end(), {lineA(name), kLineB});
    EXPECT_EQ(namesInScene(crlf(lines)), names);
}

// Names no listing line holds, as another program's scene file may: an XML reader reads them
// back, and the extractor lists them on one line.
TEST(SceneXml, NamesWithControlsReadBack)
{
    using namespace std::string_literals;
    struct Row {
        std::string name, read, listed;
    };
    const std::vector<Row> rows = {{"Tab\there", "Tab\there", "Tab\there"},
                                   {"Line\r\nbreak", "Line\r\nbreak", "Line  break"},
                                   {"Bell\x07 nul\0!"s, "Bell\uFFFD nul\uFFFD!", "Bell\uFFFD nul\uFFFD!"},
                                   {"Odd \xEF\xBF\xBE\xEF\xBF\xBF", "Odd \uFFFD\uFFFD", "Odd \uFFFD\uFFFD"}};
    FakeRandom random;
    FakeClock clock;
    ShapeNames shapes;
    vantor::extract::ListingRecordBuilder builder(clock);
    PackedRecord record;
    ASSERT_TRUE(parseRecord("\n" + lineA("x") + "\r\n" + kLineB + "\r", record));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.read);
        std::string document;
        const std::string uuid = newObjectUuid(random);
        ASSERT_TRUE(appendPrimXml(document, record, PrimXmlInputs{{}, "own\ter\n", "7\r", uuid}, shapes, row.name));
        EXPECT_EQ(textsOf("<scene>\r\n\r\n" + document + "\r\n\r\n</scene>\r\n", "Name"), std::vector{row.read});
        EXPECT_EQ(textsOf(document, "LocalID"), std::vector<std::string>{"7\r"});
        const auto built = builder.buildListingRecord(document);
        ASSERT_TRUE(built);
        EXPECT_EQ(built.text.substr(0, built.text.find(": ")), "[12:00]  " + row.listed);
        EXPECT_EQ(built.text.find_first_of("\r\n"), built.text.find("\r\n"));  // line A, CR LF, line B
    }
}

}  // namespace
