// Every scene file a run writes is read back with a real XML parser.
#include "convert/conversion_run.h"

#include "fakes/fake_platform.h"
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

// Converts the listing and parses the scene file written; gives the prims' names in order.
std::vector<std::string> namesInScene(const std::string& listing)
{
    FakeFileSystem files;
    files.addFolder("/os");
    FakeRandom random;
    ScriptedHost host;
    const ConversionRequest request{listing, "125", "125", "25", "a&b<c>\"d'", "720001", "/os", ""};
    EXPECT_EQ(runConversion(request, host, files, random).outcome, ConversionOutcome::Done);
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
            EXPECT_EQ(xml.readElementText().toStdString(), "a&b<c>\"d'");
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

}  // namespace
