// Every scene file a run writes is read back with a real XML parser.
#include "convert/conversion_run.h"
#include "convert/prim_xml.h"
#include "extract/listing_record.h"

#include "testing/fake_platform.h"
#include "testing/record_reference.h"
#include "test_support.h"
#include "testing/failures.h"

#include <QString>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace vantor::convert;
using namespace vantor::test;

namespace {

// Converts the listing and parses the scene file written; gives the prims' names in order.
std::vector<std::string> namesInScene(const std::string& listing)
{
    FakeFileSystem files;
    files.addFolder("/os");
    FakeRandom random;
    const ConversionRequest request = requestFor(listing);
    EXPECT_TRUE(runConversion(request, files, random));
    QXmlStreamReader xml(QByteArray::fromStdString(files.files["/os/maison.xml"]));
    std::vector<std::string> names;
    int groups = 0, owners = 0;
    QString parent;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        const QString tag = xml.name().toString();
        if (tag == "SceneObjectGroup") ++groups;
        if (tag == "Name") names.push_back(xml.readElementText().toStdString());
        if (tag == "UUID" && parent == "OwnerID") {
            EXPECT_EQ(xml.readElementText().toStdString(), kOwner);
            ++owners;
        }
        parent = tag;
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString() << " at line " << xml.lineNumber();
    EXPECT_EQ(owners, groups);
    EXPECT_EQ(static_cast<std::size_t>(groups), names.size());
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

TEST(SceneXml, LineBreaksAndControlsInNamesStayOneLineAndReadBack)
{
    using namespace std::string_literals;
    const std::vector<std::string> names = {"Tab\there", "Line\r\nbreak", "Bell\x07 nul\0!"s, "Odd \xEF\xBF\xBE\xEF\xBF\xBF"};
    // What an XML reader gives back, and what the extractor writes into a listing line.
    const std::vector<std::string> read = {"Tab\there", "Line\r\nbreak", "Bell\uFFFD nul\uFFFD!", "Odd \uFFFD\uFFFD"};
    const std::vector<std::string> listed = {"Tab\there", "Line  break", "Bell\uFFFD nul\uFFFD!", "Odd \uFFFD\uFFFD"};
    FakeRandom random;
    ShapeNames shapes;
    std::vector<std::string> documents;
    std::string scene = "<scene>\r\n\r\n";
    for (const auto& name : names) {
        PackedRecord record;
        ASSERT_TRUE(parseRecord("\n" + lineA("x") + "\r\n" + kLineB + "\r", record));
        std::string document;
        const std::string uuid = newObjectUuid(random);
        ASSERT_TRUE(appendPrimXml(document, record, PrimXmlInputs{{}, "own\ter\n", "7\r", uuid}, shapes, name));
        EXPECT_EQ(document.find_first_of("\r\n"), std::string::npos) << name;
        scene += document + "\r\n";
        documents.push_back(std::move(document));
    }
    scene += "\r\n</scene>\r\n";

    QXmlStreamReader xml(QByteArray::fromStdString(scene));
    std::vector<std::string> names2;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == QStringLiteral("Name")) names2.push_back(xml.readElementText().toStdString());
        if (xml.name() == QStringLiteral("LocalID")) {
            EXPECT_EQ(xml.readElementText().toStdString(), "7\r");
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString() << " at line " << xml.lineNumber();
    EXPECT_EQ(names2, read);

    FakeClock clock;
    vantor::extract::ListingRecordBuilder builder(clock);
    for (std::size_t i = 0; i < documents.size(); ++i) {
        const auto built = builder.buildListingRecord(documents[i]);
        ASSERT_TRUE(built) << i;
        EXPECT_EQ(built.text.substr(0, built.text.find(": ")), "[12:00]  " + listed[i]);
        EXPECT_EQ(built.text.find_first_of("\r\n"), built.text.find("\r\n"));  // line A, CR LF, line B
    }
}

}  // namespace
