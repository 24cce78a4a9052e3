// Tests of reading scene files and archives in OpenSim's own layout: objects by structure,
// values by element name, one listing record per linked part.
#include "extract/asset_references.h"
#include "extract/object_parts.h"
#include "extract/scene_archive.h"
#include "extract/scene_document.h"
#include "extract/scene_load.h"
#include "extract/selection_export.h"

#include "archive_fixture.h"
#include "platform/std_platform.h"
#include "testing/fake_platform.h"
#include "object_line_fixture.h"
#include "testing/opensim_fixture.h"
#include "testing/opensim_samples.h"
#include "text/text_codec.h"
#include "text/xml_text.h"
#include "testing/failures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <tuple>

namespace vantor::extract {
namespace {

namespace value = scene::value;

using test::OpenSimObject;
using test::OpenSimPart;

// The fixtures: a single prim, a linkset of three with a rotated root whose children come out
// of LinkNum order, an object with task inventory and CreatorData, a 2009-style object and a
// sign whose hover text holds raw line breaks.
std::vector<OpenSimObject> fixtureObjects()
{
    OpenSimObject single;
    single.position = {"30.5", "40.25", "21"};
    single.parts[0].name = "Single";
    single.parts[0].scale = {"1", "2", "3"};
    single.parts[0].shape = {{"ProfileShape", "Circle"}, {"ProfileCurve", "0"}, {"ProfileBegin", "12500"},
                             {"ProfileEnd", "12500"}, {"ProfileHollow", "25000"}, {"HollowShape", "Square"}};

    // The root turns 120 degrees about (1, 1, 1): x goes to y, y to z, z to x, exactly.
    OpenSimObject linkset;
    linkset.position = {"100", "50", "20"};
    OpenSimPart root;
    root.name = "Root";
    root.rotation = {"0.5", "0.5", "0.5", "0.5"};
    root.linkNum = "1";
    OpenSimPart third;
    third.name = "third";
    third.offset = {"-2", "0", "0.5"};
    third.rotation = {"0", "0", "1", "0"};
    third.linkNum = "3";
    third.shape = {{"ExtraParams", "ATAAEQAAAMF6wYtk"}, {"PathCurve", "32"}, {"ProfileShape", "Circle"}};
    OpenSimPart second;
    second.name = "second";
    second.offset = {"1", "2", "3"};
    second.scale = {"0.25", "1", "2"};
    second.linkNum = "2";
    second.shape = {{"PathCurve", "32"}, {"PathScaleX", "150"}, {"PathScaleY", "175"}, {"PathRevolutions", "66"}};
    linkset.parts = {root, third, second};

    OpenSimObject scripted;
    scripted.position = {"200", "210", "30"};
    scripted.parts[0].name = "Scripted &amp; boxed";
    scripted.parts[0].inventoryItems = 3;
    scripted.parts[0].creatorData = true;

    OpenSimObject old;
    old.style2009 = true;
    old.position = {"10", "250", "40"};
    old.parts[0].name = "Old prim";
    old.parts[0].rotation = {"0", "0", "0.6", "0.8"};
    old.parts[0].scale = {"0.25", "0.5", "0.75"};

    OpenSimObject sign;
    sign.parts[0].name = "Sign";
    sign.parts[0].text = "Open\nfrom 9 to 5\r\nclosed Sundays";
    return {single, linkset, scripted, old, sign};
}

std::vector<std::string> fixtureXml(bool olderLayout = false)
{
    std::vector<std::string> xml;
    int serial = 0;
    for (auto object : fixtureObjects()) {
        object.olderLayout = olderLayout;
        xml.push_back(test::openSimObjectXml(object, ++serial));
    }
    return xml;
}

const std::vector<ObjectPosition> kFixturePositions{{30.5, 40.25}, {100, 50}, {200, 210}, {10, 250}, {128, 128}};

// Line A of every record, after its time stamp, in export order: each child at the root's
// position plus its offset turned by the root (computed by hand), and the root's rotation
// times its own.
const std::vector<std::string> kLinesA{
    "Single: 1, <30.5, 40.25, 21>, <0, 0, 0, 1>, <1, 2, 3>, ",
    "Root: 1, <100, 50, 20>, <0.5, 0.5, 0.5, 0.5>, <0.5, 0.5, 0.5>, ",
    "second: 2, <103, 51, 22>, <0.5, 0.5, 0.5, 0.5>, <0.25, 1, 2>, ",
    "S*third: 3, <100.5, 48, 20>, <0.5, -0.5, 0.5, -0.5>, <0.5, 0.5, 0.5>, ",
    "Scripted & boxed: 1, <200, 210, 30>, <0, 0, 0, 1>, <0.5, 0.5, 0.5>, ",
    "Old prim: 1, <10, 250, 40>, <0, 0, 0.6, 0.8>, <0.25, 0.5, 0.75>, ",
    "Sign: 1, <128, 128, 25>, <0, 0, 0, 1>, <0.5, 0.5, 0.5>, ",
};

std::vector<Marker> markersAt(const std::vector<ObjectPosition>& positions)
{
    std::vector<Marker> markers;
    for (const auto& position : positions) markers.push_back(placeMarker(position, MapGeometry{}));
    return markers;
}

std::vector<std::string_view> viewsOf(const ObjectLines& table) { return {table.begin(), table.end()}; }

// The listing written for table, its lines without their CR LF; the scene file beside it holds
// the table's objects.
std::vector<std::string> exportedListing(const ObjectLines& table)
{
    test::FakeFileSystem files;
    files.addFolder("/w");
    test::FakeClock clock;
    clock.current = {9, 5};
    const ExportReport report = exportSelection(table, "/w/out.xml", clock, files);
    EXPECT_TRUE(report) << (report.failure ? report.failure->objectNumber : 0);
    EXPECT_EQ(files.files["/w/out.xml"], test::sceneFile({table.begin(), table.end()}));
    std::vector<std::string> lines;
    for (const auto line : text::splitLines(files.files["/w/out.txt"])) lines.emplace_back(line);
    return lines;
}

TEST(OpenSimLayout, EveryLayoutReadsAsTheSameObjects)
{
    const std::vector<std::string> xml = fixtureXml();
    const std::vector<std::string> older = fixtureXml(true);
    std::string between = "<scene>\n" + xml[0] + "\nwords on a line of their own\n";
    for (std::size_t k = 1; k < xml.size(); ++k) between += "<Terrain>x</Terrain><!-- note -->" + xml[k] + "\n";
    between += "</scene>\n";
    const std::tuple<std::string, std::string, const std::vector<std::string>*> layouts[] = {
        {"legacy, LF", test::legacyScene(xml), &xml},
        {"legacy, Windows", test::legacyScene(xml, "\r\n"), &xml},
        {"current, all on line 2", test::currentScene(xml), &xml},
        {"the converter's wrapper, CR LF", test::sceneFile(xml), &xml},
        {"text and other elements between the objects", between, &xml},
        {"ending in NUL bytes", test::legacyScene(xml) + std::string(300, '\0'), &xml},
        {"the older layout of save xml: RootPart, OtherParts/Part", test::legacyScene(older), &older},
    };
    for (const auto& [label, text, objects] : layouts) {
        SCOPED_TRACE(label);
        const SceneLoad load = loadSceneText(text);
        ASSERT_TRUE(load && !load.cutOff);
        EXPECT_EQ(load.layout, SceneLayout::Document);
        ASSERT_EQ(load.objects.size(), objects->size());
        for (std::size_t k = 0; k < objects->size(); ++k) EXPECT_EQ(load.objects[k], (*objects)[k]);
        // The label under the pointer is the root's, read by element.
        EXPECT_EQ(readObjectLabel(load.objects[1]), (ObjectLabel{"Root", "100", "50", "20"}));
        EXPECT_EQ(load.markers, markersAt(kFixturePositions));

        const std::vector<std::string> listing = exportedListing(load.objects);
        ASSERT_EQ(listing.size(), 1 + 2 * kLinesA.size());
        EXPECT_EQ(listing[0], "[9:05]  Rezzer: <128, 128, 23>");
        for (std::size_t r = 0; r < kLinesA.size(); ++r) EXPECT_EQ(listing[1 + 2 * r], "[9:05]  " + kLinesA[r]);
        EXPECT_EQ(listing[2], "1, 32, <0.25, 0.75, 0>, 0.5, <0, 0, 0>, <1, 1, 0>, <0, 0, 0>, 0");
        EXPECT_EQ(listing[6], "5, 0, <0, 1, 0>, 0, <0, 0, 0>, <0.5, 0.25, 0>, <0, 0, 0>, <0, 1, 0>, <0, 0, 0>, "
                              "1.99, 0, 0, 0");
    }
    // Without the sign, every object is one line, and is read line by line.
    const SceneLoad lines = loadSceneText(test::legacyScene({xml.begin(), xml.end() - 1}));
    EXPECT_EQ(lines.layout, SceneLayout::Lines);
    EXPECT_EQ(lines.markers, markersAt({kFixturePositions.begin(), kFixturePositions.end() - 1}));
}

// The label under the pointer (name and position) is read as the marker is placed: by index
// where the values sit there, else by element name.
TEST(OpenSimLayout, LabelsAreReadAsTheMarkersArePlaced)
{
    EXPECT_EQ(readObjectLabel(test::objectLine()), (ObjectLabel{"Primitive", "128", "64.5", "22"}));
    EXPECT_EQ(readObjectLabel(test::objectLine({{value::kName, ""}})), (ObjectLabel{"", "128", "64.5", "22"}));
    std::string numbered;  // no element at all: read by index, as its mark is
    for (std::size_t k = 0; k <= value::kPositionZ; ++k) numbered += "<v>" + std::to_string(k) + "</v>";
    const auto number = [](std::size_t k) { return std::to_string(k); };
    EXPECT_EQ(readObjectLabel(numbered), (ObjectLabel{number(value::kName), number(value::kPositionX),
                                                      number(value::kPositionY), number(value::kPositionZ)}));
}

TEST(OpenSimLayout, FailingChildStopsTheExportAtItsObject)
{
    std::vector<OpenSimObject> objects = fixtureObjects();
    objects[1].parts[2].offset[1] = "north";
    std::vector<std::string> xml;
    for (const auto& object : objects) xml.push_back(test::openSimObjectXml(object));
    test::FakeFileSystem files;
    files.addFolder("/w");
    const ExportReport report =
        exportSelection(loadSceneText(test::currentScene(xml)).objects, "/w/out.xml", test::FakeClock(), files);
    ASSERT_FALSE(report);
    EXPECT_EQ(report.failure->objectNumber, 2u);
    EXPECT_EQ(report.failure->objectName, "second");
    EXPECT_EQ(report.failure->cause, (RecordFailure{RecordError::NotANumber, value::kOffsetX + 1, 1}));
}

// 300 parts, and a hover text long enough that the reader counts the object's tags before
// parsing it.
TEST(OpenSimLayout, ObjectsOfManyPartsOrLongTextsReadLikeAnyOther)
{
    OpenSimObject big;
    big.position = {"64", "32", "20"};
    big.parts.resize(300);
    big.parts[0].text = std::string(10 << 20, 'x') + "\n" + std::string(100, 'y');
    for (std::size_t i = 0; i < big.parts.size(); ++i) {
        big.parts[i].name = "p" + std::to_string(i);
        big.parts[i].linkNum = std::to_string(i + 1);
        big.parts[i].offset = {std::to_string(i), "0", "0"};
    }
    const SceneLoad load = loadSceneText(test::legacyScene({test::openSimObjectXml(big), fixtureXml()[0]}));
    ASSERT_EQ(load.objects.size(), 2u);
    EXPECT_EQ(load.positions.front(), (ObjectPosition{64, 32}));
    const std::vector<std::string> listing = exportedListing(load.objects);
    ASSERT_EQ(listing.size(), 1 + 2 * 301u);
    EXPECT_EQ(listing[1 + 2 * 299].substr(0, 32), "[9:05]  p299: 300, <363, 32, 20>");
}

TEST(SceneDocument, FindsTheElementsOnlyInASceneDocument)
{
    const std::string a = "<SceneObjectGroup><x>1</x></SceneObjectGroup>";
    const std::string b = "<SceneObjectGroup >\n<y/></SceneObjectGroup >";
    using Found = std::optional<std::vector<std::string_view>>;
    EXPECT_EQ(splitSceneDocument("<?xml version=\"1.0\"?>\r\n<!-- c --><scene>\n" + a + "\n\n" + b + "</scene>\n"),
              (Found{{a, b}}));
    EXPECT_EQ(splitSceneDocument("<scene></scene>"), (Found{std::vector<std::string_view>{}}));
    for (const std::string& bad : std::vector<std::string>{"<scene>" + a, "<scene>" + a + "x</scene>", "<scene>" + a + "</scene>tail",
                                  "<scenes>" + a + "</scenes>", "<scene><SceneObjectGroupX/></scene>",
                                  "<scene><SceneObjectGroup>open</scene>", a}) {
        EXPECT_EQ(splitSceneDocument(bad), std::nullopt) << bad;
    }
    // An object cut off at its line's end is never joined to the next by its closing tag.
    EXPECT_EQ(splitSceneDocument("<scene>\n<SceneObjectGroup><x>1</x><y\n" + a + "\n</scene>\n"), std::nullopt);
    EXPECT_EQ(lineNumberAt("a\r\nb\rc\nd\n\r\ne", 12), 6u);

    // A well-formed document's objects are found whatever stands between them; a closing tag
    // in a comment or CDATA section ends no object.
    const std::string c = "<SceneObjectGroup><z/></SceneObjectGroup>";
    EXPECT_EQ(findSceneObjects("<?xml version=\"1.0\"?><scene>\nwords\n" + a + "<Terrain><SceneObjectGroup/></Terrain>"
                               "<!-- </SceneObjectGroup> -->" + b + "<![CDATA[</SceneObjectGroup>]]>" + c + "tail</scene>"),
              (Found{{a, b, c}}));
    for (const std::string& bad : std::vector<std::string>{"<scene>" + a + "<y\n" + b + "</scene>",   // cut off
                                                           "<scene>" + a + "</scene><scene/>",        // two roots
                                                           "<scenes>" + a + "</scenes>", a}) {
        EXPECT_EQ(findSceneObjects(bad), std::nullopt) << bad;
    }
}

using Entry = std::pair<std::string, std::string>;

// Assets used in both ways: the scripted object names its second item's script as text; the
// single prim's texture entry (texturedXml) holds the texture's 16 bytes at an odd offset of its
// base64 value (bytes 01 02, the UUID, 00 7f).
const Entry kScript{"assets/6a1b2c3d-0000-4000-8000-000000400001_script.lsl", "default { state_entry() { } }"};
const Entry kTexture{"assets/0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0_texture.jp2", std::string("\xFF\x4F\xFF\x51", 4)};

std::vector<std::string> texturedXml()
{
    std::vector<std::string> xml = fixtureXml();
    const std::string plainEntry = "<TextureEntry>AAAA</TextureEntry>";
    xml[0].replace(xml[0].find(plainEntry), plainEntry.size(), "<TextureEntry>AQIPHi08S1ppeIeWpbTD0uHwAH8=</TextureEntry>");
    return xml;
}

// A region archive of the objects, the second in a folder of its own under objects/, among a
// terrain, a parcel, the two assets and one asset no object uses.
std::vector<Entry> regionEntries(const std::vector<std::string>& xml)
{
    std::vector<Entry> entries{{"archive.xml", "<archive major_version=\"0\" minor_version=\"8\" />"},
                               {"assets/11111111-2222-3333-4444-555555555555_texture.jp2", "unused"},
                               kScript,
                               {"terrains/region.r32", std::string(64, '\x01')},
                               {"landdata/parcel.xml", "<LandData />"}};
    for (std::size_t k = 0; k < xml.size(); ++k) {
        entries.emplace_back((k == 1 ? "objects/BUILDING Barn/o" : "objects/o") + std::to_string(k) + "__id.xml", xml[k]);
    }
    entries.push_back(kTexture);
    return entries;
}

// An archive's objects are the scene file's: found by the bytes whatever the name, or unpacked
// to a scratch file on disk, out of which an export copies them.
TEST(SceneArchive, GivesTheSameTableAsTheSceneFile)
{
    const std::vector<std::string> xml = texturedXml();
    const SceneLoad fromFile = loadSceneText(test::currentScene(xml));
    test::FakeFileSystem files;
    files.files["/w/region.bin"] = test::makeArchive(regionEntries(xml), false);
    const SceneLoad plainTar = loadScenePath(files, "/w/region.bin");
    EXPECT_EQ(plainTar.layout, SceneLayout::Archive);
    EXPECT_EQ(viewsOf(plainTar.objects), viewsOf(fromFile.objects));

    const std::filesystem::path archivePath = std::filesystem::path(::testing::TempDir()) / "vantor-region.oar";
    std::ofstream(archivePath, std::ios::binary) << test::makeArchive(regionEntries(xml));
    const SceneLoad onDisk = loadScenePath(platform::StdFileSystem(), archivePath.string());
    std::filesystem::remove(archivePath);
    EXPECT_EQ(viewsOf(onDisk.objects), viewsOf(fromFile.objects));
    EXPECT_TRUE(onDisk.objects.readsByCopy());
    EXPECT_EQ(exportedListing(onDisk.objects), exportedListing(fromFile.objects));
}

// A table of the given entries of another.
ObjectLines pick(const ObjectLines& table, const std::vector<std::size_t>& entries)
{
    ObjectLines picked = table.emptyCopy();
    for (const std::size_t k : entries) picked.append(table[k]);
    return picked;
}

TEST(SelectionArchive, CarriesOnlyTheSourcesAssetsThatTheSelectedObjectsUse)
{
    const std::vector<std::string> xml = texturedXml();
    test::FakeFileSystem files;
    files.addFolder("/w");
    files.files["/w/region.oar"] = test::makeArchive(regionEntries(xml));
    const SceneLoad load = loadScenePath(files, "/w/region.oar");
    ASSERT_TRUE(load && !load.cutOff) << test::failureOf(load).reason;
    test::FakeClock clock;

    struct Case {
        const char* name;
        std::vector<std::size_t> objects;
        std::vector<Entry> assets;  // the asset entries expected, whole, in the source's order
    };
    const Case cases[] = {
        {"every object", {0, 1, 2, 3, 4}, {kScript, kTexture}},
        {"the textured prim", {0}, {kTexture}},
        {"the scripted object", {2, 4}, {kScript}},
        {"objects that use none", {1, 3}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ObjectLines table = pick(load.objects, c.objects);
        const ExportReport report =
            exportSelectionArchive(table, "/w/sel.OAR", {"/w/region.oar", 1700000000}, clock, files);
        ASSERT_TRUE(report) << report.failure->reason;
        EXPECT_EQ(report.assetCount, c.assets.size());
        const auto written = test::archiveEntries(files.files["/w/sel.OAR"]);
        ASSERT_EQ(written.size(), 1 + c.objects.size() + c.assets.size());
        EXPECT_NE(written.front().second.find(c.assets.empty() ? "<assets_included>False" : "<assets_included>True"),
                  std::string::npos);
        EXPECT_EQ(std::vector<Entry>(written.end() - static_cast<std::ptrdiff_t>(c.assets.size()), written.end()),
                  c.assets);
        // Read back by the extractor: the selection's objects; the listing beside it is theirs.
        EXPECT_EQ(viewsOf(loadSceneArchive(files.files["/w/sel.OAR"]).objects), viewsOf(table));
        EXPECT_EQ(text::splitLines(files.files["/w/sel.txt"]).size(), exportedListing(table).size());
    }

    // A selection from a scene file has no source of assets: its archive carries none.
    files.files["/w/region.xml"] = test::currentScene(xml);
    const SceneLoad fromScene = loadScenePath(files, "/w/region.xml");
    const ExportReport report = exportSelectionArchive(fromScene.objects, "/w/scene.oar", {"/w/region.xml", 0}, clock, files);
    ASSERT_TRUE(report);
    EXPECT_EQ(report.assetCount, 0u);
    EXPECT_EQ(test::archiveEntries(files.files["/w/scene.oar"]).size(), 1 + xml.size());
}

TEST(SelectionArchive, AnObjectOpenSimCannotReadLeavesTheEarlierFiles)
{
    test::FakeFileSystem files;
    files.addFolder("/w");
    files.files["/w/sel.oar"] = "earlier archive";
    files.files["/w/sel.txt"] = "earlier listing";
    const std::vector<std::string> xml = fixtureXml();
    // The second object holds two groups on its line: OpenSim's loader would weld them.
    const ObjectLines table = ObjectLines::fromLines({xml[0], xml[1] + xml[4], xml[2]});
    test::FakeClock clock;
    const ExportReport report = exportSelectionArchive(table, "/w/sel.oar", {}, clock, files);
    ASSERT_FALSE(report);
    EXPECT_EQ(report.failure->error, ExportError::ObjectRefused);
    EXPECT_EQ(report.failure->objectNumber, 2u);
    EXPECT_EQ(files.files["/w/sel.oar"], "earlier archive");
    EXPECT_EQ(files.files["/w/sel.txt"], "earlier listing");
    EXPECT_EQ(files.openOutputs, 0);
}

TEST(AssetReferences, FindsUuidsAsTextOrAsBytesInsideBase64)
{
    struct Case {
        const char* name;
        std::string_view text;
        std::optional<std::string> bytes;
    };
    const Case decodings[] = {
        {"three bytes", "QUJD", "ABC"},
        {"padded", "QUI=", "AB"},
        {"unpadded", "QUI", "AB"},
        {"blanks and line breaks", " QU\r\nJD\n", "ABC"},
        {"a lone last character", "QUJDR", std::nullopt},
        {"a character outside the alphabet", "QU-D", std::nullopt},
        {"text after padding", "QQ==QUJD", std::nullopt},
    };
    for (const Case& c : decodings) EXPECT_EQ(decodeBase64(c.text), c.bytes) << c.name;

    const UuidBytes a = *uuidBytes("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0");
    const UuidBytes b = *uuidBytes("00000000-0000-0000-0000-00000000000b");
    const UuidBytes c = *uuidBytes("00000000-0000-0000-0000-00000000000c");
    EXPECT_FALSE(uuidBytes("0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f"));
    EXPECT_FALSE(uuidBytes("0f1e2d3c-4b5a-6978-8796_a5b4c3d2e1f0"));
    AssetReferences references({a, b, c, a});
    // a in binary behind two bytes in an attribute-free element; b as text in an attribute;
    // c only in a value that is no base64.
    references.scan("<SceneObjectGroup><P x=\"00000000-0000-0000-0000-00000000000B\"><TextureEntry>\n"
                    "AQIPHi08S1ppeIeWpbTD0uHwAH8=\n</TextureEntry><Name>AAAAAAAAAAAAAAAAAAAADA==!</Name></P>"
                    "</SceneObjectGroup>");
    EXPECT_TRUE(references.isReferenced(a));
    EXPECT_TRUE(references.isReferenced(b));
    EXPECT_FALSE(references.isReferenced(c));
    EXPECT_EQ(references.referencedCount(), 2u);
}

// A plain tar of archive.xml and objects/bomb.xml, cut off after the bomb's header, whose size
// field says size bytes follow.
std::string tarBomb(std::uint64_t size)
{
    std::string tar = test::makeArchive({{"archive.xml", "<archive />"}, {"objects/bomb.xml", "x"}}, false);
    std::string header = tar.substr(1024, 512);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%012llo", static_cast<unsigned long long>(size));
    header.replace(124, 12, digits, 12);
    header.replace(148, 8, 8, ' ');
    unsigned sum = 0;
    for (const char c : header) sum += static_cast<unsigned char>(c);
    std::snprintf(digits, sizeof digits, "%06o", sum);
    header.replace(148, 7, digits, 7);
    return tar.substr(0, 1024) + header;
}

// Archive bombs (an object larger than any real one, or objects that would leave the scratch
// folder's disk without its reserve), files that are no archive, files that change while they
// are read and memory that runs out are read errors with their reason, and load nothing.
TEST(SceneArchive, RefusedFilesLoadNothing)
{
    const std::string object = fixtureXml()[0];
    std::vector<std::pair<std::string, std::string>> three{{"archive.xml", "<archive />"}};
    for (int k = 0; k < 3; ++k) three.emplace_back("objects/o" + std::to_string(k) + ".xml", object);
    test::FakeFileSystem files;
    files.files["/w/8GiB.oar"] = tarBomb(std::uint64_t{8} << 30);
    files.files["/w/big.oar"] = test::makeArchive({{"archive.xml", "<archive />"}, {"objects/a.xml", object},
                                                   {"objects/big.xml", std::string(kLargestObjectBytes + 1, ' ')}});
    files.files["/w/three.oar"] = test::makeArchive(three);
    files.files["/w/bare.oar"] = test::makeArchive({{"objects/a.xml", object}});
    files.files["/w/text.oar"] = "<scene>\r\n</scene>\r\n";
    files.files["/w/garbage.oar"] = std::string("\x1F\x8B\x08\x00garbage", 12);
    files.files["/w/moving.xml"] = files.files["/w/huge.xml"] = test::currentScene({object});
    files.changing.insert("/w/moving.xml");
    files.exhausting.insert("/w/huge.xml");
    struct Row {
        const char* name;
        const char* path;
        LoadError error;
        std::string reason;  // found in the load's reason
        std::optional<std::size_t> scratchRoom = {};
        std::optional<std::string> scratchRefusal = {}, scratchWriteFailure = {};
    };
    const Row rows[] = {
        {"says it holds 8 GiB", "/w/8GiB.oar", LoadError::ObjectTooLarge, "objects/bomb.xml"},
        {"64 MiB and one byte", "/w/big.oar", LoadError::ObjectTooLarge, "objects/big.xml"},
        {"more than the scratch disk spares", "/w/three.oar", LoadError::NoScratchRoom, "/fake-tmp", 2 * object.size()},
        {"a scratch folder that refuses", "/w/three.oar", LoadError::FileUnreadable, "Read-only file system",
         std::nullopt, "Read-only file system"},
        {"a scratch file that cannot be finished", "/w/three.oar", LoadError::FileUnreadable,
         "No space left on device", std::nullopt, std::nullopt, "No space left on device"},
        {"no archive.xml", "/w/bare.oar", LoadError::NotAnArchive, "no archive.xml"},
        {"a scene file named .oar", "/w/text.oar", LoadError::NotAnArchive, "Unrecognized archive format"},
        {"gzip header, then garbage", "/w/garbage.oar", LoadError::NotAnArchive, "gzip"},
        {"a file that changes while read", "/w/moving.xml", LoadError::FileChanged, ""},
        {"memory that runs out", "/w/huge.xml", LoadError::OutOfMemory, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        files.scratchRoom = row.scratchRoom;
        files.scratchRefusal = row.scratchRefusal;
        files.scratchWriteFailure = row.scratchWriteFailure;
        const SceneLoad load = loadScenePath(files, row.path);
        EXPECT_FALSE(load);
        EXPECT_EQ(test::errorOf(load), row.error);
        const std::string reason = test::failureOf(load).reason;
        EXPECT_NE(reason.find(row.reason), std::string::npos) << reason;
        EXPECT_TRUE(load.objects.empty());
    }
    files.scratchRoom = 3 * object.size();
    files.scratchRefusal = files.scratchWriteFailure = std::nullopt;
    EXPECT_EQ(loadScenePath(files, "/w/three.oar").objects.size(), 3u);
}

TEST(OpenSimSamples, PositionsAreTheTrueOnes)
{
    const std::filesystem::path folder = test::samplesFolder();
    if (folder.empty()) GTEST_SKIP() << "no opensim-samples folder beside the project";
    const auto objects = test::csvRows(folder / "objects.csv");
    const auto parts = test::csvRows(folder / "parts.csv");
    std::map<std::string, std::vector<std::map<std::string, std::string>>> objectsByFile, partsByFile;
    for (const auto& row : objects) objectsByFile[row.at("scene_file")].push_back(row);
    for (const auto& row : parts) partsByFile[row.at("scene_file")].push_back(row);
    ASSERT_FALSE(objectsByFile.empty());
    for (const auto& [file, rows] : objectsByFile) {
        SCOPED_TRACE(file);
        const SceneLoad load = loadSceneText(test::fileText((folder / file).string()));
        ASSERT_TRUE(load && !load.cutOff);
        ASSERT_EQ(load.objects.size(), rows.size());
        for (std::size_t k = 0; k < rows.size(); ++k) {
            SCOPED_TRACE(rows[k].at("name"));
            const auto at = [&row = rows[k]](const char* column) { return std::stod(row.at(column)); };
            EXPECT_EQ(load.positions[k], (ObjectPosition{at("pos_x"), at("pos_y")}));
            // The mark's label names the object and gives its position, as the mark places it.
            const ObjectLabel label = readObjectLabel(load.objects[k]);
            EXPECT_EQ(text::decodeXmlText(label.name), rows[k].at("name"));
            EXPECT_EQ((std::array{std::stod(label.x), std::stod(label.y), std::stod(label.z)}),
                      (std::array{at("pos_x"), at("pos_y"), at("pos_z")}));
        }
        // One record per part, in LinkNum order with the root first, at its world position.
        const std::vector<std::string> listing = exportedListing(load.objects);
        auto expected = partsByFile.at(file);
        std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
            const auto key = [](const auto& row) {
                return std::pair{std::stoi(row.at("object_no")), row.at("part_no") == "1" ? -1 : std::stoi(row.at("link_num"))};
            };
            return key(a) < key(b);
        });
        ASSERT_EQ(listing.size(), 1 + 2 * expected.size());
        for (std::size_t r = 0; r < expected.size(); ++r) {
            // Line A ends "<x, y, z>, <rotation>, <size>, ", whatever the name holds.
            const std::string& line = listing[1 + 2 * r];
            const std::size_t open = line.rfind('<', line.rfind('<', line.rfind('<') - 1) - 1);
            double world[3] = {};
            ASSERT_EQ(std::sscanf(line.c_str() + open, "<%lf, %lf, %lf>", &world[0], &world[1], &world[2]), 3) << line;
            const double tolerance = 0.001 * std::max(1.0, std::abs(std::stod(expected[r].at("world_x"))));
            for (std::size_t i = 0; i < 3; ++i) {
                EXPECT_NEAR(world[i], std::stod(expected[r].at(std::string("world_") + "xyz"[i])), tolerance) << line;
            }
        }
    }
}

}  // namespace
}  // namespace vantor::extract
