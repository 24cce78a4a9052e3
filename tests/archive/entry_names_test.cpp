// Tests of the archive's entry names: objects named as OpenSim names them but safe and
// short, and assets named so that OpenSim's loader knows their type.
#include "archive/entry_names.h"

#include "testing/opensim_fixture.h"
#include "samples.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace vantor::archive {
namespace {

constexpr const char* kUuid = "6a1b2c3d-0000-4000-8000-000000100001";

struct NameCase {
    const char* label;
    ObjectIdentity identity;
    std::string expected;
};

TEST(ObjectEntryName, NamesObjectsAsOpenSimDoesInShortAsciiNames)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::string tail = "__" + std::string(kUuid) + ".xml";
    const NameCase cases[] = {
        {"plain", {"Chair", {128.4, 127.6, 25}, kUuid}, "objects/Chair_128-128-025" + tail},
        {"upper-case UUID", {"Chair", {1, 2, 3}, "6A1B2C3D-0000-4000-8000-000000100001"}, "objects/Chair_001-002-003" + tail},
        {"ties to even", {"Chair", {2.5, 3.5, 0.5}, kUuid}, "objects/Chair_002-004-000" + tail},
        {"single precision first", {"Chair", {2.50000001, 3.49999999, 0}, kUuid}, "objects/Chair_002-004-000" + tail},
        {"negative", {"Chair", {-3.2, -0.4, -12.5}, kUuid}, "objects/Chair_-003-000--012" + tail},
        {"beyond three digits", {"Chair", {1234.4, 4096, 10000}, kUuid}, "objects/Chair_1234-4096-10000" + tail},
        {"no number or far away", {"Chair", {nan, 1e300, -1e300}, kUuid}, "objects/Chair_000-999999--99999" + tail},
        {"unsafe characters", {"BUILDING Barn/roof*[1]", {0, 0, 0}, kUuid}, "objects/BUILDING Barn_roof__1__000-000-000" + tail},
        {"non-ASCII", {"Chaise \xC3\xA9l\xC3\xA9gante \xF0\x9F\xAA\x91", {0, 0, 0}, kUuid},
         "objects/Chaise _l_gante __000-000-000" + tail},
        {"bytes that are no UTF-8", {"A\x80\x80" "B\xE9", {0, 0, 0}, kUuid}, "objects/A_B__000-000-000" + tail},
        {"blanks and dots around", {"  ..hidden. ", {0, 0, 0}, kUuid}, "objects/hidden._000-000-000" + tail},
        {"nothing left", {" . ", {0, 0, 0}, kUuid}, "objects/Object_000-000-000" + tail},
        {"empty", {"", {0, 0, 0}, kUuid}, "objects/Object_000-000-000" + tail},
        {"no UUID", {"Chair", {0, 0, 0}, "{6a1b2c3d-0000-4000-8000-000000100001}"},
         "objects/Chair_000-000-000__00000000-0000-0000-0000-000000000000.xml"},
        {"long name", {std::string(200, 'a'), {128, 128, 25}, kUuid}, "objects/" + std::string(37, 'a') + "_128-128-025" + tail},
        {"cut at a blank", {std::string(36, 'a') + " " + std::string(50, 'b'), {128, 128, 25}, kUuid},
         "objects/" + std::string(36, 'a') + "_128-128-025" + tail},
        {"long name far away", {std::string(200, 'a'), {-1e9, -1e9, -1e9}, kUuid},
         "objects/" + std::string(28, 'a') + "_-99999--99999--99999" + tail},
    };
    for (const auto& [label, identity, expected] : cases) {
        const std::string name = objectEntryName(identity);
        EXPECT_EQ(name, expected) << label;
        EXPECT_LE(name.size(), kLongestEntryName) << label;
        for (const char c : name) EXPECT_TRUE(c > ' ' - 1 && c < 0x7F) << label;
    }
}

// The entries OpenSim itself wrote for the sample objects: the coordinates and UUID are
// the same, and so is the whole name where OpenSim's name is safe and short already.
TEST(ObjectEntryName, MatchesTheNamesOpenSimGaveRealObjects)
{
    const auto samples = test::sampleObjects();
    if (samples.empty()) GTEST_SKIP() << "no opensim-samples folder beside the project";
    std::size_t compared = 0, whole = 0;
    for (const auto& sample : samples) {
        std::string path = sample.row.at("source_path");
        const std::size_t folder = path.find("objects/");
        if (folder == std::string::npos) continue;
        path.erase(0, folder);
        const auto identity = describeObject(sample.document);
        ASSERT_TRUE(identity) << sample.file << " " << sample.number;
        const std::string name = objectEntryName(*identity);
        const std::size_t tailAt = path.rfind('_', path.rfind("__") - 1);
        const std::string tail = path.substr(tailAt);
        EXPECT_TRUE(name.ends_with(tail)) << name << " against " << path;
        ++compared;
        const std::string_view objectName = std::string_view(path).substr(8, tailAt - 8);
        const bool safe = objectName.find_first_not_of(
                              "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 -_.") == std::string_view::npos;
        if (path.size() <= kLongestEntryName && safe && !objectName.empty() && objectName.front() != ' '
            && objectName.front() != '.' && objectName.back() != ' ') {
            EXPECT_EQ(name, path);
            ++whole;
        }
    }
    EXPECT_GT(compared, 40u);
    EXPECT_GT(whole, 10u);
}

TEST(DescribeObject, ReadsTheRootPartsIdentity)
{
    test::OpenSimObject built;
    built.position = {"12.5", "200.25", "-3"};
    built.parts.front().name = "Tables &amp; chairs";
    built.parts.resize(2);
    built.parts.back().name = "Leg";
    EXPECT_EQ(describeObject(test::openSimObjectXml(built)),
              (ObjectIdentity{"Tables & chairs", {12.5, 200.25, -3}, "6a1b2c3d-0000-4000-8000-000000101000"}));

    built.style2009 = true;  // <Guid> inside <UUID>
    built.olderLayout = true;
    EXPECT_EQ(describeObject(test::openSimObjectXml(built))->uuid, "6a1b2c3d-0000-4000-8000-000000101000");

    built.position = {"x", "", "1e2"};
    EXPECT_EQ(describeObject(test::openSimObjectXml(built))->position, (RegionPosition{0, 0, 100}));

    EXPECT_FALSE(describeObject("<SceneObjectGroup><OtherParts /></SceneObjectGroup>"));
    EXPECT_FALSE(describeObject("not XML <"));
}

// The writer's tests name textures and scripts and refuse names without a UUID or suffix.
TEST(AssetEntryName, NamesAssetsWithTheSuffixesOpenSimKnows)
{
    EXPECT_EQ(assetEntryName({kUuid, AssetType::Mesh}), "assets/" + std::string(kUuid) + "_mesh.llmesh");
    EXPECT_EQ(assetEntryName({kUuid, AssetType::Material}), "assets/" + std::string(kUuid) + "_material.xml");
    // Every type reads back as itself, under a name short enough for a plain tar header.
    std::size_t types = 0;
    for (int value = -128; value < 128; ++value) {
        const auto type = static_cast<AssetType>(value);
        const auto name = assetEntryName({kUuid, type});
        if (!name) continue;
        ++types;
        EXPECT_LE(name->size(), kLongestEntryName);
        EXPECT_EQ(parseAssetEntryName(*name), (AssetName{kUuid, type})) << *name;
    }
    EXPECT_EQ(types, 20u);
}

TEST(AssetEntryName, ReadsOnlyAssetsOpenSimWouldLoad)
{
    const std::string uuid = kUuid;
    EXPECT_EQ(parseAssetEntryName("./assets/" + uuid + "_sound.ogg"), (AssetName{uuid, AssetType::Sound}));
    EXPECT_EQ(parseAssetEntryName("assets/6A1B2C3D-0000-4000-8000-000000100001_notecard.txt"),
              (AssetName{uuid, AssetType::Notecard}));
    for (const std::string& path : {"assets/" + uuid + "_unknown.bin", "assets/" + uuid, "assets/" + uuid + "_",
                                   "assets/x_" + uuid + "_texture.jp2", "objects/" + uuid + "_texture.jp2",
                                   "terrains/" + uuid + "_texture.jp2", uuid + "_texture.jp2"}) {
        EXPECT_FALSE(parseAssetEntryName(path)) << path;
    }
}

}  // namespace
}  // namespace vantor::archive
