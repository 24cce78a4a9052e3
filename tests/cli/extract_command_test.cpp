// Tests of vantor-cli extract.
#include "cli_fixture.h"
#include "extract/archive_fixture.h"
#include "extract/object_line_fixture.h"
#include "extract/object_lines.h"
#include "extract/object_parts.h"
#include "extract/scene_archive.h"
#include "scene/object_layout.h"
#include "testing/first_difference.h"
#include "testing/opensim_fixture.h"
#include "text/number_forms.h"
#include "text/text_codec.h"

namespace vantor::cli {
namespace {

namespace value = scene::value;
using Names = std::vector<std::string>;
using test::objectAt;

class ExtractCommand : public test::CliFixture {
protected:
    ExtractCommand() { files.addFolder("/w"); }

    // The value lists of the object lines of the scene file at path.
    std::vector<extract::ValueList> objectValues(const std::string& path)
    {
        std::vector<extract::ValueList> objects;
        for (const auto line : text::splitLines(files.files.at(path))) {
            if (line.size() > 10) (void)extract::tokeniseObjectLine(line, objects.emplace_back());
        }
        return objects;
    }
    Names namesIn(const std::string& path) { return test::namesOf(text::splitLines(files.files.at(path))); }
};

TEST_F(ExtractCommand, KeepsTheObjectsStrictlyInsideOrOutsideTheRectangle)
{
    // "Caf\xE9" is saved in the older Western code page: it is read as UTF-8 "Café".
    files.files["/w/region.xml"] = test::sceneFile({objectAt("10", "10", "Caf\xE9"), objectAt("100", "200", "b"),
                                                    objectAt("50", "200", "edge"), objectAt("149", "230", "c"),
                                                    objectAt("300", "5", "d")});
    ASSERT_EQ(run({"extract", "/w/region.xml", "--out", "/w/all.xml"}), ExitCode::Ok) << err.str();
    EXPECT_EQ(out.str(), "Loaded 5 objects from /w/region.xml\nExported 5 objects to /w/all.xml and /w/all.txt\n");
    EXPECT_EQ(namesIn("/w/all.xml").front(), "Caf\xC3\xA9");
    // The drag example, as dragged, backwards, and with the corners mixed: the same rectangle.
    for (const std::string_view corners : {"50,181,150,231", "150,231,50,181", "50,231,150,181"}) {
        ASSERT_EQ(run({"extract", "/w/region.xml", "--out", "/w/in.xml", "--rect", corners}), ExitCode::Ok);
        EXPECT_EQ(namesIn("/w/in.xml"), (Names{"b", "c"})) << corners;
    }
    ASSERT_EQ(run({"extract", "/w/region.xml", "--out", "/w/out.xml", "--rect", "50,181,150,231", "--invert"}),
              ExitCode::Ok);
    EXPECT_EQ(namesIn("/w/out.xml"), (Names{"Caf\xC3\xA9", "d"}));
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
    const std::string scene = test::sceneFile({objectAt("100", "200", "a")});
    files.files["/w/region.xml"] = files.files["/w/scene.txt"] = scene;
    files.files["/w/o.xml"] = "earlier";
    files.files["/w/two.xml"] = test::sceneFile({objectAt("10", "10"), objectAt("10", "north")});
    files.files["/w/locked.xml"] = scene;
    files.unreadable.insert("/w/locked.xml");
    files.others.insert("/dev/zero");
    files.addFolder("/w/maps");
    std::vector<std::pair<std::string, std::string>> entries{{"archive.xml", "<archive />"}};
    for (int k = 0; k < 3; ++k) entries.emplace_back("objects/o" + std::to_string(k) + ".xml", objectAt("10", "10"));
    files.files["/w/region.oar"] = test::makeArchive(entries);
    files.files["/w/bomb.oar"] = test::makeArchive(
        {{"archive.xml", "<archive />"}, {"objects/huge.xml", std::string(extract::kLargestObjectBytes + 1, 'x')}});
    files.files["/w/bad.oar"] = "not an archive at all";
    files.files["/w/moving.xml"] = files.files["/w/big.xml"] = test::sceneFile({objectAt("10", "10")});
    files.changing.insert("/w/moving.xml");
    files.exhausting.insert("/w/big.xml");
    files.scratchRoom = objectAt("10", "10").size() * 2;
    // A failing object's name is shown by its first 300 characters, however long it is.
    std::string longName = "<SceneObjectGroup>";
    for (int k = 0; k < 25; ++k) {
        const std::string value = k == 19 ? std::string(5000, 'N') : k == 22 || k == 23 ? "100" : k == 24 ? "20" : "0";
        longName += "<v" + std::to_string(k) + ">" + value + "</v" + std::to_string(k) + ">";
    }
    files.files["/w/long.xml"] = test::sceneFile({objectAt("10", "10"), longName + "</SceneObjectGroup>"});
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
             {{"/w/region.xml", "--out", "/w/o.xml", "--rect", "1,2,3,x"}, ExitCode::Usage, "--rect"},
             {{"/w/locked.xml", "--out", "/w/o.xml"}, ExitCode::Usage, "cannot read /w/locked.xml: Permission denied"},
             {{"/dev/zero", "--out", "/w/o.xml"}, ExitCode::Usage, "/dev/zero is not a regular file"},
             {{"/w/maps", "--out", "/w/o.xml"}, ExitCode::Usage, "/w/maps is not a regular file"},
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
        EXPECT_EQ(files.files.count(row.written), row.written.empty() ? 0u : 1u);
        EXPECT_EQ(files.files.size(), before.size() + files.files.count(row.written));
        for (const auto& [path, bytes] : before) {
            EXPECT_EQ(test::firstDifference(files.files.at(path), bytes), std::nullopt) << path;
        }
    }
    files.exhaustingKinds = true;  // memory runs out outside any load
    EXPECT_EQ(run({"extract", "/w/big.xml", "--out", "/w/o.xml"}), ExitCode::Usage);
    EXPECT_EQ(err.str(), "vantor-cli: out of memory\n");
}

TEST_F(ExtractCommand, RoundTripsTheExampleHouse)
{
    files.files["/w/house.txt"] = test::fileText(VANTOR_SOURCE_DIR "/examples/house.txt");
    ASSERT_EQ(run({"convert", "/w/house.txt", "--out-dir", "/w", "--name", "house"}), ExitCode::Ok) << err.str();
    ASSERT_EQ(run({"extract", "/w/house.xml", "--out", "/w/copy.xml"}), ExitCode::Ok) << err.str();
    ASSERT_EQ(run({"convert", "/w/copy.txt", "--out-dir", "/w", "--name", "again", "--rez", "140,90,30"}),
              ExitCode::Ok)
        << err.str();

    const auto first = objectValues("/w/house.xml");
    const auto again = objectValues("/w/again.xml");
    ASSERT_EQ(first.size(), again.size());
    ASSERT_GE(first.size(), 7u);
    // Every prim keeps its name and every value from its offset on; the build moves as one piece.
    const auto move = [&](std::size_t k, std::size_t axis) {
        return *text::parseNumber(again[k][value::kPositionX + axis])
            - *text::parseNumber(first[k][value::kPositionX + axis]);
    };
    for (std::size_t k = 0; k < first.size(); ++k) {
        EXPECT_EQ(first[k][value::kName], again[k][value::kName]);
        const auto fromOffset = [](const auto& values) {
            return Names(values.begin() + value::kOffsetX, values.end());
        };
        EXPECT_EQ(fromOffset(first[k]), fromOffset(again[k]));
        for (std::size_t axis = 0; axis < 3; ++axis) EXPECT_NEAR(move(k, axis), move(0, axis), 1e-9);
    }
}

// A linkset in OpenSim's current layout: a hollow, cut box as root, turned a quarter about Z,
// a sheared cylinder and a torus as children, listed out of LinkNum order.
test::OpenSimObject openSimLinkset()
{
    test::OpenSimObject linkset;
    linkset.position = {"120.25", "80.5", "22"};
    linkset.parts.resize(3);
    auto& root = linkset.parts[0];
    root.name = "Gate";
    root.rotation = {"0", "0", "0.7071068", "0.7071068"};
    root.scale = {"4", "0.2", "3"};
    root.shape = {{"ProfileBegin", "12500"}, {"ProfileEnd", "10000"}, {"ProfileHollow", "25000"},
                  {"HollowShape", "Circle"}, {"PathScaleX", "150"}, {"PathShearX", "226"}};
    auto& torus = linkset.parts[1];
    torus.name = "Ring";
    torus.linkNum = "3";
    torus.offset = {"0", "0", "2"};
    torus.scale = {"1", "1", "0.25"};
    torus.shape = {{"ProfileShape", "Circle"}, {"ProfileCurve", "0"}, {"PathCurve", "32"}, {"PathScaleY", "175"},
                   {"PathBegin", "5000"}, {"PathTaperX", "-50"}, {"PathTwist", "50"}};
    auto& cylinder = linkset.parts[2];
    cylinder.name = "Post";
    cylinder.linkNum = "2";
    cylinder.offset = {"1.5", "0", "-1"};
    cylinder.rotation = {"0.7071068", "0", "0", "0.7071068"};
    cylinder.scale = {"0.3", "0.3", "3"};
    cylinder.shape = {{"ProfileShape", "Circle"}, {"ProfileCurve", "0"}, {"PathShearY", "50"}};
    return linkset;
}

TEST_F(ExtractCommand, RoundTripsAnOpenSimLinksetPartByPart)
{
    const test::OpenSimObject linkset = openSimLinkset();
    const std::string original = test::openSimObjectXml(linkset);
    files.files["/w/region.xml"] = test::currentScene({original});
    ASSERT_EQ(run({"extract", "/w/region.xml", "--out", "/w/gate.xml"}), ExitCode::Ok) << err.str();
    EXPECT_EQ(files.files.at("/w/gate.xml"), "<scene>\r\n\r\n" + original + "\r\n\r\n</scene>\r\n");  // whole
    ASSERT_EQ(run({"convert", "/w/gate.txt", "--out-dir", "/w", "--name", "again"}), ExitCode::Ok) << err.str();

    // One converted prim per part, root first, then LinkNum order; each keeps its name, size
    // and shape values.
    const auto again = objectValues("/w/again.xml");
    ASSERT_EQ(again.size(), 3u);
    extract::ObjectParts parts;
    ASSERT_TRUE(parts.parse(original));
    extract::ValueList part;
    const std::string_view names[] = {"Gate", "Post", "Ring"};
    for (std::size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        parts.partValues(k, part);  // the parts in LinkNum order
        EXPECT_EQ(again[k][value::kName], names[k]);
        EXPECT_EQ(again[k][value::kName], part[value::kName]);
        for (std::size_t index = value::kExtraParams; index <= value::kHollowShape; ++index) {
            // Neither the profile curve, which the listing does not carry, nor what a part read
            // by name leaves unread (State, TextureEntry).
            const std::string_view element = scene::ownElement(index);
            if (element == "ProfileCurve" || element == "State" || element == "TextureEntry") continue;
            const auto was = text::parseNumber(part[index]);
            const auto is = text::parseNumber(again[k][index]);
            if (was && is) {
                EXPECT_NEAR(*is, *was, 1e-9) << element;
            } else {
                EXPECT_EQ(again[k][index], part[index]) << element;
            }
        }
    }
}

TEST_F(ExtractCommand, ReadsOpenSimArchives)
{
    const std::string gate = test::openSimObjectXml(openSimLinkset());
    const std::string box = objectAt("10", "10", "box");
    files.files["/w/region.oar"] = test::makeArchive(
        {{"archive.xml", "<archive major_version=\"0\" minor_version=\"8\" />"}, {"objects/box.xml", box},
         {"terrains/region.r32", "...."}, {"objects/gate.xml", gate}});
    ASSERT_EQ(run({"extract", "/w/region.oar", "--out", "/w/all.xml"}), ExitCode::Ok) << err.str();
    EXPECT_EQ(files.files.at("/w/all.xml"), "<scene>\r\n\r\n" + box + "\r\n" + gate + "\r\n\r\n</scene>\r\n");
    EXPECT_EQ(text::splitLines(files.files.at("/w/all.txt")).size(), 1u + 2 * 4);
    ASSERT_EQ(run({"extract", "/w/region.oar", "--out", "/w/in.xml", "--rect", "100,60,140,100"}), ExitCode::Ok);
    EXPECT_EQ(files.files.at("/w/in.xml"), "<scene>\r\n\r\n" + gate + "\r\n\r\n</scene>\r\n");

    // A name ending in .oar asks for a region archive; the same listing goes beside it as .txt.
    const std::string listing = files.files.at("/w/in.txt");
    ASSERT_EQ(run({"extract", "/w/region.oar", "--out", "/w/in.oar", "--rect", "100,60,140,100"}), ExitCode::Ok)
        << err.str();
    const auto entries = test::archiveEntries(files.files.at("/w/in.oar"));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].first, "archive.xml");
    EXPECT_EQ(entries[1].second, gate);
    EXPECT_EQ(files.files.at("/w/in.txt"), listing);
    EXPECT_TRUE(holds(out.str(), "Exported 1 objects and 0 assets to /w/in.oar and /w/in.txt"));
    EXPECT_TRUE(holds(out.str(), "load oar --merge \"/w/in.oar\""));
}

}  // namespace
}  // namespace vantor::cli
