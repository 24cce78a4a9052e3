#include "extract/selection_export.h"

#include "fakes/fake_platform.h"
#include "object_line_fixture.h"

#include <gtest/gtest.h>

namespace vantor::extract {
namespace {

TEST(ListingPath, SwapsOnlyAFinalXmlForTxt)
{
    for (const auto& [scene, listing] :
         {std::pair{"C:\\out\\sel.xml", "C:\\out\\sel.txt"}, {"/out/SEL.XML", "/out/SEL.txt"},
          {"/maps.xml/sel.Xml", "/maps.xml/sel.txt"}, {"/out/sel", "/out/sel.txt"},
          {"/out/sel.txt", "/out/sel.txt.txt"}, {"/out/sel.xml.bak", "/out/sel.xml.bak.txt"}, {"xml", "xml.txt"}}) {
        EXPECT_EQ(listingPathFor(scene), listing);
    }
}

class SelectionExport : public ::testing::Test {
protected:
    SelectionExport()
    {
        files.addFolder("/out");
        clock.current = {9, 5};
    }

    ExportReport exportTo(const std::string& path)
    {
        return exportSelection(ObjectLines::fromLines(lines), path, clock, files);
    }

    std::string sceneText() const
    {
        std::string text = "<scene>\r\n\r\n";
        for (const auto& line : lines) text += line + "\r\n";
        return text + "\r\n</scene>\r\n";
    }

    test::FakeFileSystem files;
    test::FakeClock clock;
    std::vector<std::string> lines{
        test::objectLine(),
        test::objectLine({{"name", "Ring &amp; hook"}, {"profileShape", "Circle"}, {"pathCurve", "32"},
                          {"hollowShape", "Circle"}, {"hollow", "25000"}, {"revolutions", "66"}}),
        test::objectLine({{"name", "Ball"}, {"x", "131.25"}, {"z", "23.5"}, {"profileShape", "HalfCircle"},
                          {"pathCurve", "32"}, {"hollowShape", "Unknown"}})};
};

TEST_F(SelectionExport, WritesTheSceneFileAndTheListingBesideIt)
{
    ASSERT_TRUE(exportTo("/out/sel.xml"));
    EXPECT_EQ(files.files["/out/sel.xml"], sceneText());
    // The header is anchored on the last object: <131.25, 64.5, 23.5 - 2>.
    std::ifstream expected(VANTOR_TEST_DATA_DIR "/three_objects.expected.txt", std::ios::binary);
    EXPECT_EQ(files.files["/out/sel.txt"], std::string(std::istreambuf_iterator<char>(expected), {}));

    lines.clear();
    ASSERT_TRUE(exportTo("/out/none.xml"));
    EXPECT_EQ(files.files["/out/none.xml"], "<scene>\r\n\r\n\r\n</scene>\r\n");
    EXPECT_EQ(files.files.at("/out/none.txt"), "");
}

TEST_F(SelectionExport, AFailingObjectLeavesTheSceneFileAndNoNewListing)
{
    files.files["/out/sel.txt"] = "an earlier listing";
    lines.insert(lines.begin() + 1, test::objectLine({{"name", "Broken &lt;1&gt;"}, {"pathCurve", "curved"}}));
    const ExportReport report = exportTo("/out/sel.xml");
    ASSERT_FALSE(report);
    EXPECT_EQ(report.failure->error, ExportError::RecordFailed);
    EXPECT_EQ(report.failure->objectNumber, 2u);
    EXPECT_EQ(report.failure->objectName, "Broken <1>");
    EXPECT_EQ(report.failure->cause, (RecordFailure{RecordError::NotANumber, 48}));
    EXPECT_EQ(files.files["/out/sel.xml"], sceneText());
    EXPECT_EQ(files.files["/out/sel.txt"], "an earlier listing");

    // A last object without a height gives no header line.
    const std::string whole = test::objectLine();
    lines.push_back(whole.substr(0, whole.find("<Z>")));
    const ExportReport header = exportTo("/out/cut.xml");
    ASSERT_FALSE(header);
    EXPECT_EQ(header.failure->error, ExportError::HeaderFailed);
    EXPECT_EQ(header.failure->objectNumber, lines.size());
    EXPECT_EQ(files.files.count("/out/cut.txt"), 0u);
    EXPECT_EQ(files.openOutputs, 0);
}

TEST_F(SelectionExport, FileFailuresNameThePath)
{
    files.refuseCreate.insert("/out/a.xml");
    const ExportReport scene = exportTo("/out/a.xml");
    ASSERT_FALSE(scene);
    EXPECT_EQ(scene.failure->error, ExportError::SceneFileFailed);
    EXPECT_EQ(scene.failure->path, "/out/a.xml");
    EXPECT_TRUE(files.files.empty());

    files.failCommit.insert("/out/b.txt");
    const ExportReport listing = exportTo("/out/b.xml");
    ASSERT_FALSE(listing);
    EXPECT_EQ(listing.failure->error, ExportError::ListingFileFailed);
    EXPECT_EQ(listing.failure->reason, "disk full");
    EXPECT_EQ(files.files["/out/b.xml"], sceneText());
    EXPECT_EQ(files.files.count("/out/b.txt"), 0u);
}

}  // namespace
}  // namespace vantor::extract
