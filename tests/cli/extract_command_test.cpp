// Tests of vantor-cli extract.
#include "cli_fixture.h"
#include "extract/archive_fixture.h"
#include "extract/object_line_fixture.h"
#include "extract/scene_archive.h"
#include "scene/object_layout.h"
#include "testing/first_difference.h"
#include "text/text_codec.h"

namespace vantor::cli {
namespace {

using Names = std::vector<std::string>;
using test::objectAt;

class ExtractCommand : public test::CliFixture {
protected:
    ExtractCommand() { files.addFolder("/w"); }

    Names namesIn(const std::string& path) { return test::namesOf(text::splitLines(files.files.at(path))); }
};

TEST_F(ExtractCommand, KeepsTheObjectsStrictlyInsideOrOutsideTheRectangle)
{
    files.files["/w/region.xml"] = test::sceneFile({objectAt("10", "10", "a"), objectAt("100", "200", "b"),
                                                    objectAt("50", "200", "edge"), objectAt("149", "230", "c"),
                                                    objectAt("300", "5", "d")});
    ASSERT_EQ(run({"extract", "/w/region.xml", "--out", "/w/all.xml"}), ExitCode::Ok) << err.str();
    EXPECT_EQ(out.str(), "Loaded 5 objects from /w/region.xml\nExported 5 objects to /w/all.xml and /w/all.txt\n");
    // The drag example, its corners given backwards.
    ASSERT_EQ(run({"extract", "/w/region.xml", "--out", "/w/in.xml", "--rect", "150,231,50,181"}), ExitCode::Ok);
    EXPECT_EQ(namesIn("/w/in.xml"), (Names{"b", "c"}));
    ASSERT_EQ(run({"extract", "/w/region.xml", "--out", "/w/out.xml", "--rect", "50,181,150,231", "--invert"}),
              ExitCode::Ok);
    EXPECT_EQ(namesIn("/w/out.xml"), (Names{"a", "d"}));
}

// A cut-off line ends the rectangle's filter, but fails the export of the whole table; every
// message says where it is. Here an object is cut inside a tag, and the object after it,
// whose closing tag would close it too, stays an object of its own.
TEST_F(ExtractCommand, ACutOffLineEndsTheSelection)
{
    std::string cut = objectAt("100.5", "200", "cut");
    cut.resize(cut.find("<PathTwist>") + 14);
    files.files["/w/region.xml"] =
        test::sceneFile({objectAt("100", "200", "kept"), cut, objectAt("101", "201", "after")});
    EXPECT_EQ(run({"extract", "/w/region.xml", "--out", "/w/cut.xml"}), ExitCode::Failed);
    EXPECT_TRUE(holds(err.str(), "/w/region.xml, line 4 (object 2) is cut off"));
    EXPECT_TRUE(holds(err.str(),
                      "cannot export object 2 (\"cut\"): it is cut off (a \"<\" after its last \">\") at line 4"));
    EXPECT_EQ(files.files.at("/w/cut.xml"), files.files.at("/w/region.xml"));
    EXPECT_EQ(files.files.count("/w/cut.txt"), 0u);
    ASSERT_EQ(run({"extract", "/w/region.xml", "--out", "/w/sel.xml", "--rect", "0,0,256,256"}), ExitCode::Ok);
    EXPECT_EQ(namesIn("/w/sel.xml"), (Names{"kept"}));
    EXPECT_TRUE(holds(err.str(), "the selection stops at line 4 (object 2), which is cut off"));
}

// Every refusal exits with its code and says why; earlier files stay.
TEST_F(ExtractCommand, RefusalsWriteNothing)
{
    const std::string box = objectAt("10", "10");
    const std::string scene = test::sceneFile({objectAt("100", "200", "a")});
    files.files["/w/region.xml"] = files.files["/w/scene.txt"] = files.files["/w/locked.xml"] = scene;
    files.files["/w/o.xml"] = "earlier";
    files.files["/w/two.xml"] = test::sceneFile({box, objectAt("10", "north")});
    files.unreadable.insert("/w/locked.xml");
    files.others.insert("/dev/zero");
    files.files["/w/region.oar"] = test::makeArchive(
        {{"archive.xml", "<archive />"}, {"objects/o0.xml", box}, {"objects/o1.xml", box}, {"objects/o2.xml", box}});
    files.files["/w/bomb.oar"] = test::makeArchive(
        {{"archive.xml", "<archive />"}, {"objects/huge.xml", std::string(extract::kLargestObjectBytes + 1, 'x')}});
    files.files["/w/bad.oar"] = "not an archive at all";
    files.files["/w/moving.xml"] = files.files["/w/big.xml"] = test::sceneFile({box});
    files.changing.insert("/w/moving.xml");
    files.exhausting.insert("/w/big.xml");
    files.scratchRoom = box.size() * 2;
    // A failing object's name is shown by its first 300 characters, however long it is.
    files.files["/w/long.xml"] = test::sceneFile(
        {box, test::objectLine({{scene::value::kName, std::string(5000, 'N')}, {scene::value::kPathCurve, "curved"}})});
    struct Row {
        std::vector<std::string_view> args;  // after "extract"
        ExitCode code;
        std::string says;
        std::string written = "";  // the one file written
    };
    for (const Row& row : std::vector<Row>{
             {{"/w/region.xml", "--out", "/w/o.xml", "--rect", "0,0,10,10"}, ExitCode::Failed,
              "nothing to save: the selection holds no object; no file was written"},
             {{"/w/region.xml", "--out", "/w/region.xml"}, ExitCode::Usage,
              "--out /w/region.xml would replace /w/region.xml itself"},
             {{"/w/scene.txt", "--out", "/w/scene.xml"}, ExitCode::Usage,
              "the listing /w/scene.txt written beside --out would replace /w/scene.txt itself"},
             {{"/w/two.xml", "--out", "/w/o.xml"}, ExitCode::Failed, "line 4 (object 2)"},
             // The scene file is written whole; the listing is not.
             {{"/w/long.xml", "--out", "/w/l.xml"}, ExitCode::Failed,
              "cannot export object 2 (\"" + std::string(300, 'N') + "\u2026\")", "/w/l.xml"},
             {{"/w/missing.xml", "--out", "/w/o.xml"}, ExitCode::Usage, "missing.xml"},
             {{"/w/region.xml"}, ExitCode::Usage, "--out"},
             {{"/w/region.xml", "--out", "/w/o.xml", "--invert"}, ExitCode::Usage, "--rect"},
             {{"/w/region.xml", "--out", "/w/o.xml", "--rect", "1,2,3"}, ExitCode::Usage, "--rect"},
             {{"/w/locked.xml", "--out", "/w/o.xml"}, ExitCode::Usage, "cannot read /w/locked.xml: Permission denied"},
             {{"/dev/zero", "--out", "/w/o.xml"}, ExitCode::Usage, "/dev/zero is not a regular file"},
             {{"/w/bad.oar", "--out", "/w/o.xml"}, ExitCode::Usage, "cannot read /w/bad.oar as an OpenSim archive"},
             {{"/w/bomb.oar", "--out", "/w/o.xml"}, ExitCode::Usage,
              "cannot read /w/bomb.oar: its object objects/huge.xml unpacks to more than 64 MiB"},
             {{"/w/region.oar", "--out", "/w/o.xml"}, ExitCode::Usage,
              "cannot read /w/region.oar: unpacking its objects would leave less than 1 GiB free in /fake-tmp; "
              "the archive is refused"},
             {{"/w/moving.xml", "--out", "/w/o.xml"}, ExitCode::Usage,
              "cannot read /w/moving.xml: it changed while it was read"},
             {{"/w/big.xml", "--out", "/w/o.xml"}, ExitCode::Usage,
              "cannot read /w/big.xml: not enough memory to load it"}}) {
        SCOPED_TRACE(row.args.front());
        const auto before = files.files;
        std::vector<std::string_view> args = row.args;
        args.insert(args.begin(), "extract");
        EXPECT_EQ(run(args), row.code);
        EXPECT_TRUE(holds(err.str(), row.says));
        EXPECT_LT(err.str().size(), 1000U);
        EXPECT_EQ(out.str().find("Exported"), std::string::npos) << out.str();
        EXPECT_EQ(files.files.size(), before.size() + (row.written.empty() ? 0 : 1));
        EXPECT_EQ(files.files.count(row.written), row.written.empty() ? 0u : 1u);
        for (const auto& [path, bytes] : before) {
            EXPECT_EQ(test::firstDifference(files.files.at(path), bytes), std::nullopt) << path;
        }
    }
    files.exhaustingKinds = true;  // memory runs out outside any load
    EXPECT_EQ(run({"extract", "/w/big.xml", "--out", "/w/o.xml"}), ExitCode::Usage);
    EXPECT_EQ(err.str(), "vantor-cli: out of memory\n");
}

// An archive read as a scene file; a name ending in .oar asks for a region archive, with the
// listing beside it as .txt.
TEST_F(ExtractCommand, WritesASelectionOfAnArchiveAsAnArchive)
{
    const std::string near = objectAt("120", "80", "near"), far = objectAt("10", "10", "far");
    files.files["/w/region.oar"] = test::makeArchive({{"archive.xml", "<archive major_version=\"0\" />"},
                                                      {"objects/far.xml", far}, {"terrains/region.r32", "...."},
                                                      {"objects/near.xml", near}});
    ASSERT_EQ(run({"extract", "/w/region.oar", "--out", "/w/in.oar", "--rect", "100,60,140,100"}), ExitCode::Ok)
        << err.str();
    const auto entries = test::archiveEntries(files.files.at("/w/in.oar"));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].first, "archive.xml");
    EXPECT_EQ(entries[1].second, near);
    EXPECT_EQ(text::splitLines(files.files.at("/w/in.txt")).size(), 3u);
    EXPECT_TRUE(holds(out.str(), "Exported 1 objects and 0 assets to /w/in.oar and /w/in.txt"));
    EXPECT_TRUE(holds(out.str(), "load oar --merge \"/w/in.oar\""));
}

}  // namespace
}  // namespace vantor::cli
