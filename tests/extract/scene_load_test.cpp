#include "extract/scene_load.h"

#include "fakes/fake_platform.h"
#include "object_line_fixture.h"

#include <gtest/gtest.h>

namespace vantor::extract {
namespace {

using test::objectAt;

// "<scene>", an empty line, the objects (object k, from 1, on line k + 2), an empty line and
// "</scene>"; with more than a few thousand objects the file is read in two halves.
std::string sceneFile(const std::vector<std::string>& objects, std::string_view lineEnd = "\r\n")
{
    std::string text = "<scene>" + std::string(lineEnd) + std::string(lineEnd);
    for (const auto& object : objects) text.append(object).append(lineEnd);
    return text + std::string(lineEnd) + "</scene>" + std::string(lineEnd);
}

TEST(SceneLoad, KeepsLinesOfMoreThanTenCharactersUnchangedWhateverTheLineEnds)
{
    const std::vector<std::string> objects{objectAt("10", "20", "a"), "01234567890", objectAt("50", "60", "c")};
    for (const std::string_view lineEnd : {"\r\n", "\n", "\r"}) {
        // Ten characters are dropped however many bytes they take; the 11-character line is
        // an object without a position.
        const SceneLoad load = loadSceneText(sceneFile(objects, lineEnd) + "0123456789" + "\xC3\xA9\xC3\xA9\xC3\xA9"
                                             "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9");
        EXPECT_EQ(load.outcome, LoadOutcome::ReadError);
        EXPECT_EQ(load.readError, ReadError::TooFewValues);
        EXPECT_EQ(load.lineNumber, 4u);
        EXPECT_EQ(load.objectNumber, 2u);
    }
    const SceneLoad load = loadSceneText("\xEF\xBB\xBF" + objects[0] + "\n" + objects[2] + "\r\n");
    ASSERT_EQ(load.objects.size(), 2u);
    EXPECT_EQ(load.objects[0], objects[0]);  // without the byte-order mark
    EXPECT_TRUE(loadSceneText(sceneFile({})).objects.empty());
}

TEST(SceneLoad, OutcomesKeepTheirPlaceInSmallAndLargeFiles)
{
    const std::string cut = "<a>1</a><b>2</b><c";
    const std::string noPosition = "<a>1</a><b>2</b><c>3</c>";
    std::string short24;  // a small object of 24 values, so that a large file is quick to build
    for (int i = 0; i < 24; ++i) short24 += "<v>" + std::to_string(i) + "</v>";
    for (const std::size_t count : {std::size_t{40}, std::size_t{60000}}) {  // 60000: no 32767 limit
        SCOPED_TRACE(count);
        std::vector<std::string> objects(count, short24);
        const std::size_t early = count / 4;
        const std::size_t late = count * 3 / 4;
        const SceneLoad whole = loadSceneText(sceneFile(objects));
        EXPECT_EQ(whole.outcome, LoadOutcome::Complete);
        EXPECT_EQ(whole.markers.size(), count);

        objects[early - 1] = cut;
        objects[late - 1] = noPosition;  // no read error after a cut-off line
        const SceneLoad stopped = loadSceneText(sceneFile(objects, "\n"));
        EXPECT_EQ(stopped.outcome, LoadOutcome::StoppedAtCutOff);
        EXPECT_EQ(stopped.objectNumber, early);
        EXPECT_EQ(stopped.lineNumber, early + 2);
        EXPECT_EQ(stopped.objects.size(), count);
        EXPECT_EQ(stopped.markers.size(), early - 1);

        objects[early - 1] = short24;
        const SceneLoad failed = loadSceneText(sceneFile(objects, "\r"));
        EXPECT_EQ(failed.outcome, LoadOutcome::ReadError);
        EXPECT_EQ(failed.lineNumber, late + 2);
        EXPECT_EQ(failed.objectNumber, late);
        EXPECT_TRUE(failed.objects.empty());

        // A Windows-1252 byte anywhere has the whole file read as that code page.
        objects[late - 1] = "<n>Caf\xE9</n>" + short24;
        const SceneLoad decoded = loadSceneText(sceneFile(objects));
        EXPECT_EQ(decoded.outcome, LoadOutcome::Complete);
        EXPECT_EQ(decoded.objects[late - 1].substr(0, 12), "<n>Caf\xC3\xA9</n>");
    }
    const SceneLoad notANumber = loadSceneText(sceneFile({objectAt("1", "2"), objectAt("1", "north")}));
    EXPECT_EQ(notANumber.readError, ReadError::PositionNotANumber);

    test::FakeFileSystem files;
    files.files["/s/region.xml"] = sceneFile({objectAt("1", "2")});
    files.unreadable.insert("/s/region.xml");
    const SceneLoad unreadable = loadSceneFile(files, "/s/region.xml");
    EXPECT_EQ(unreadable.readError, ReadError::FileUnreadable);
    EXPECT_EQ(unreadable.reason, "Permission denied");
}

struct MarkerCase {
    float width;
    ObjectPosition position;
    Marker marker;
};

class MarkerPlacement : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(MarkerPlacement, PutsTheTopLeftCornerAtTheObjectsPosition)
{
    EXPECT_EQ(PlaceMarker(GetParam().position, MapGeometry{GetParam().width}), GetParam().marker);
}

INSTANTIATE_TEST_SUITE_P(Positions, MarkerPlacement,
                         ::testing::Values(MarkerCase{10240, {64.5, 200}, {2580, 2240}},
                                           MarkerCase{10240, {0, 0}, {0, 10240}},
                                           MarkerCase{10240, {128, 128}, {5120, 5120}},
                                           MarkerCase{10240, {300, -10}, {12000, 10640}},
                                           MarkerCase{5120, {64.5, 200}, {1290, 1120}}));

TEST(SceneLoad, MarkersComeFromValues22And23)
{
    const SceneLoad load = loadSceneText(sceneFile({objectAt("64.5", "200"), objectAt("128.000000", "128")}));
    EXPECT_EQ(load.markers, (std::vector<Marker>{{2580, 2240}, {5120, 5120}}));
}

}  // namespace
}  // namespace vantor::extract
