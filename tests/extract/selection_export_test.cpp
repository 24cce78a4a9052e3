#include "extract/selection_export.h"

#include "extract/scene_load.h"
#include "fakes/fake_platform.h"
#include "object_line_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vantor::extract {
namespace {

using test::ObjectSpec;

struct PathCase {
    const char* scene;
    const char* listing;
};

class ListingPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(ListingPath, SwapsOnlyAFinalXmlForTxt)
{
    EXPECT_EQ(listingPathFor(GetParam().scene), GetParam().listing);
}

INSTANTIATE_TEST_SUITE_P(Paths, ListingPath,
                         ::testing::Values(PathCase{"C:\\out\\sel.xml", "C:\\out\\sel.txt"},
                                           PathCase{"/out/SEL.XML", "/out/SEL.txt"},
                                           PathCase{"/out/sel.Xml", "/out/sel.txt"},
                                           PathCase{"/maps.xml/sel.xml", "/maps.xml/sel.txt"},
                                           PathCase{"/out/sel", "/out/sel.txt"},
                                           PathCase{"/out/sel.txt", "/out/sel.txt.txt"},
                                           PathCase{"/out/sel.xml.bak", "/out/sel.xml.bak.txt"},
                                           PathCase{"xml", "xml.txt"}));

std::string readData(const std::string& name)
{
    std::ifstream file(std::string(VANTOR_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

class SelectionExport : public ::testing::Test {
protected:
    SelectionExport()
    {
        files.addFolder("/out");
        clock.current = {9, 5};
        ObjectSpec torus;
        torus.name = "Ring &amp; hook";
        torus.profileShape = "Circle";
        torus.pathCurve = "32";
        torus.hollowShape = "Circle";
        torus.hollow = "25000";
        torus.revolutions = "66";
        ObjectSpec sphere;
        sphere.name = "Ball";
        sphere.x = "131.25";
        sphere.z = "23.5";
        sphere.profileShape = "HalfCircle";
        sphere.pathCurve = "32";
        sphere.hollowShape = "Unknown";
        lines = {test::objectLine({}), test::objectLine(torus), test::objectLine(sphere)};
    }

    std::string sceneText() const
    {
        std::string text = "<scene>\r\n\r\n";
        for (const auto& line : lines) text += line + "\r\n";
        return text + "\r\n</scene>\r\n";
    }

    test::FakeFileSystem files;
    test::FakeClock clock;
    std::vector<std::string> lines;
};

TEST_F(SelectionExport, WritesTheSceneFileAndTheListingBesideIt)
{
    const ExportReport report = exportSelection(ObjectLines::fromLines(lines), "/out/sel.xml", clock, files);
    ASSERT_TRUE(report);
    EXPECT_EQ(report.objectCount, 3u);
    EXPECT_EQ(report.listingPath, "/out/sel.txt");
    EXPECT_EQ(files.files["/out/sel.xml"], sceneText());
    // The header is anchored on the last object: <131.25, 64.5, 23.5 - 2>.
    EXPECT_EQ(files.files["/out/sel.txt"], readData("three_objects.expected.txt"));
    EXPECT_EQ(files.openOutputs, 0);
}

TEST_F(SelectionExport, SavingTheLoadedFileOverItselfKeepsItsObjects)
{
    files.files["/out/region.xml"] = "<scene>\n" + lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n</scene>\n";
    const SceneLoad load = loadSceneFile(files, "/out/region.xml");
    ASSERT_TRUE(exportSelection(load.objects, "/out/region.xml", clock, files));
    EXPECT_EQ(files.files["/out/region.xml"], sceneText());
}

TEST_F(SelectionExport, AnEmptyTableWritesTheFrameAndAnEmptyListing)
{
    ASSERT_TRUE(exportSelection(ObjectLines{}, "/out/none.xml", clock, files));
    EXPECT_EQ(files.files["/out/none.xml"], "<scene>\r\n\r\n\r\n</scene>\r\n");
    ASSERT_EQ(files.files.count("/out/none.txt"), 1u);
    EXPECT_EQ(files.files["/out/none.txt"], "");
}

TEST_F(SelectionExport, AFailingObjectLeavesTheSceneFileAndNoNewListing)
{
    files.files["/out/sel.txt"] = "an earlier listing";
    ObjectSpec bad;
    bad.name = "Broken &lt;1&gt;";
    bad.pathCurve = "curved";
    lines.insert(lines.begin() + 1, test::objectLine(bad));
    const ExportReport report = exportSelection(ObjectLines::fromLines(lines), "/out/sel.xml", clock, files);
    ASSERT_FALSE(report);
    EXPECT_EQ(report.failure->error, ExportError::RecordFailed);
    EXPECT_EQ(report.failure->objectNumber, 2u);
    EXPECT_EQ(report.failure->objectName, "Broken <1>");
    EXPECT_EQ(report.failure->cause, (RecordFailure{RecordError::NotANumber, 48}));
    EXPECT_EQ(files.files["/out/sel.xml"], sceneText());
    EXPECT_EQ(files.files["/out/sel.txt"], "an earlier listing");
    EXPECT_EQ(files.openOutputs, 0);

    // A cut-off line is a failing object too, and so is a last object without a height.
    lines[1] = "<a>1</a><b>2</b><c";
    const ExportReport cut = exportSelection(ObjectLines::fromLines(lines), "/out/cut.xml", clock, files);
    ASSERT_FALSE(cut);
    EXPECT_EQ(cut.failure->cause.error, RecordError::CutOffLine);
    EXPECT_EQ(files.files.count("/out/cut.txt"), 0u);
    const std::string whole = test::objectLine({});
    lines.push_back(whole.substr(0, whole.find("<Z>")));
    const ExportReport header = exportSelection(ObjectLines::fromLines(lines), "/out/cut.xml", clock, files);
    ASSERT_FALSE(header);
    EXPECT_EQ(header.failure->error, ExportError::HeaderFailed);
    EXPECT_EQ(header.failure->objectNumber, lines.size());
    EXPECT_EQ(header.failure->cause, (RecordFailure{RecordError::MissingValue, 24}));
}

TEST_F(SelectionExport, FileFailuresNameThePath)
{
    const ObjectLines table = ObjectLines::fromLines(lines);
    files.refuseCreate.insert("/out/a.xml");
    const ExportReport scene = exportSelection(table, "/out/a.xml", clock, files);
    ASSERT_FALSE(scene);
    EXPECT_EQ(scene.failure->error, ExportError::SceneFileFailed);
    EXPECT_EQ(scene.failure->path, "/out/a.xml");
    EXPECT_TRUE(files.files.empty());

    files.failCommit.insert("/out/b.txt");
    const ExportReport listing = exportSelection(table, "/out/b.xml", clock, files);
    ASSERT_FALSE(listing);
    EXPECT_EQ(listing.failure->error, ExportError::ListingFileFailed);
    EXPECT_EQ(listing.failure->reason, "disk full");
    EXPECT_EQ(files.files["/out/b.xml"], sceneText());
    EXPECT_EQ(files.files.count("/out/b.txt"), 0u);

    const ExportReport noFolder = exportSelection(table, "/missing/c.xml", clock, files);
    ASSERT_FALSE(noFolder);
    EXPECT_EQ(noFolder.failure->error, ExportError::SceneFileFailed);
}

}  // namespace
}  // namespace vantor::extract
