// Every scene file a run writes is read back with a real XML parser.
#include "convert/conversion_run.h"
#include "convert/prim_xml.h"

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

// Names with markup, controls and characters XML cannot hold: the file stays well-formed,
// and every name reads back as written, a character XML cannot hold as U+FFFD.
TEST(SceneXml, NamesReadBackAsWritten)
{
    using namespace std::string_literals;
    const std::vector<std::pair<std::string, std::string>> names = {
        {"Fish & <Chips>", "Fish & <Chips>"}, {"\"Bob's\" > 'Al'", "\"Bob's\" > 'Al'"}, {"&amp; &lt;", "&amp; &lt;"},
        {"Tab\there", "Tab\there"}, {"Bell\x07 nul\0!"s, "Bell\uFFFD nul\uFFFD!"},
        {"Odd \xEF\xBF\xBE\xEF\xBF\xBF", "Odd \uFFFD\uFFFD"}};
    std::vector<std::string> lines = {kHeader}, read;
    for (const auto& [name, back] : names) {
        lines.insert(lines.end(), {lineA(name), kLineB});
        read.push_back(back);
    }
    EXPECT_EQ(namesInScene(crlf(lines)), read);
}

}  // namespace
