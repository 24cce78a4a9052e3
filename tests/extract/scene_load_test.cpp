#include "extract/scene_load.h"

#include "fakes/fake_platform.h"
#include "object_line_fixture.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace vantor::extract {
namespace {

using test::objectAt;

std::string sceneFile(const std::vector<std::string>& objects, std::string_view lineEnd = "\r\n")
{
    std::string text = "<scene>" + std::string(lineEnd) + std::string(lineEnd);
    for (const auto& object : objects) text += object + std::string(lineEnd);
    return text + std::string(lineEnd) + "</scene>" + std::string(lineEnd);
}

TEST(SceneLoad, KeepsEveryObjectLineUnchangedWhateverTheLineEnds)
{
    const std::vector<std::string> objects{objectAt("10", "20", "a"), objectAt("30", "40", "b"),
                                           objectAt("50", "60", "c")};
    for (const std::string_view lineEnd : {"\r\n", "\n", "\r"}) {
        const SceneLoad load = loadSceneText(sceneFile(objects, lineEnd));
        EXPECT_EQ(load.outcome, LoadOutcome::Complete);
        ASSERT_EQ(load.objects.size(), 3u);
        for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(load.objects[k], objects[k]);
        EXPECT_EQ(load.markers.size(), 3u);
    }
    // Mixed line ends in one file, as an edited file may have.
    const SceneLoad mixed = loadSceneText("<scene>\n\r\n" + objects[0] + "\r" + objects[1] + "\n" + objects[2]);
    EXPECT_EQ(mixed.objects.size(), 3u);
}

TEST(SceneLoad, AnObjectLineHasMoreThanTenCharacters)
{
    // Ten characters are dropped, eleven kept, however many bytes they take.
    const SceneLoad shortLines = loadSceneText("0123456789\r\n\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
                                               "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\r\n\r\n");
    EXPECT_EQ(shortLines.outcome, LoadOutcome::Complete);
    EXPECT_TRUE(shortLines.objects.empty());

    for (const std::string eleven : {"01234567890", "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
                                                    "\xC3\xA9\xC3\xA9\xC3\xA9x"}) {
        const SceneLoad load = loadSceneText("<scene>\r\n" + eleven + "\r\n");
        EXPECT_EQ(load.outcome, LoadOutcome::ReadError);
        EXPECT_EQ(load.readError, ReadError::TooFewValues);
        EXPECT_EQ(load.lineNumber, 2u);
        EXPECT_EQ(load.objectNumber, 1u);
    }
}

TEST(SceneLoad, ACutOffLineEndsTheMarkersButNotTheTable)
{
    const std::string cut = "<a>1</a><b>2</b><c";
    const SceneLoad load = loadSceneText(sceneFile({objectAt("1", "2"), cut, objectAt("3", "4"), "garbage line!"}));
    EXPECT_EQ(load.outcome, LoadOutcome::StoppedAtCutOff);
    EXPECT_EQ(load.objects.size(), 4u);
    EXPECT_EQ(load.markers.size(), 1u);
    EXPECT_EQ(load.objectNumber, 2u);
    EXPECT_EQ(load.lineNumber, 4u);
}

TEST(SceneLoad, ReadErrorsNameTheirCauseAndLine)
{
    const SceneLoad notANumber = loadSceneText(sceneFile({objectAt("1", "2"), objectAt("1", "north")}));
    EXPECT_EQ(notANumber.outcome, LoadOutcome::ReadError);
    EXPECT_EQ(notANumber.readError, ReadError::PositionNotANumber);
    EXPECT_EQ(notANumber.lineNumber, 4u);
    EXPECT_TRUE(notANumber.objects.empty());
    EXPECT_TRUE(notANumber.markers.empty());

    const SceneLoad noValues = loadSceneText("abcdefghijk<x>\r\n");
    EXPECT_EQ(noValues.readError, ReadError::TooFewValues);

    test::FakeFileSystem files;
    files.files["/s/region.xml"] = sceneFile({objectAt("1", "2")});
    files.unreadable.insert("/s/region.xml");
    const SceneLoad unreadable = loadSceneFile(files, "/s/region.xml");
    EXPECT_EQ(unreadable.outcome, LoadOutcome::ReadError);
    EXPECT_EQ(unreadable.readError, ReadError::FileUnreadable);
    EXPECT_EQ(unreadable.reason, "Permission denied");
}

TEST(SceneLoad, EmptyFilesGiveAnEmptyTable)
{
    for (const std::string text : {"", "<scene>\r\n\r\n\r\n</scene>\r\n"}) {
        const SceneLoad load = loadSceneText(text);
        EXPECT_EQ(load.outcome, LoadOutcome::Complete);
        EXPECT_TRUE(load.objects.empty());
    }
}

TEST(SceneLoad, Windows1252NamesAreReadAsTheirCharacters)
{
    const SceneLoad load = loadSceneText(sceneFile({objectAt("1", "2", "Caf\xE9")}));
    ASSERT_EQ(load.objects.size(), 1u);
    EXPECT_NE(load.objects[0].find("<Name>Caf\xC3\xA9</Name>"), std::string_view::npos);
}

TEST(SceneLoad, HoldsMoreThan32767Objects)
{
    std::string object;
    for (int i = 0; i < 24; ++i) object += "<v>" + std::to_string(i) + "</v>";
    std::string text;
    constexpr std::size_t kObjects = 40000;
    for (std::size_t k = 0; k < kObjects; ++k) text += object + "\n";
    const SceneLoad load = loadSceneText(std::move(text));
    EXPECT_EQ(load.outcome, LoadOutcome::Complete);
    EXPECT_EQ(load.objects.size(), kObjects);
    EXPECT_EQ(load.markers.size(), kObjects);
}

TEST(SceneLoad, ALeadingByteOrderMarkIsNotPartOfTheFirstLine)
{
    const std::string object = objectAt("1", "2");
    const SceneLoad load = loadSceneText("\xEF\xBB\xBF" + object + "\r\n");
    ASSERT_EQ(load.objects.size(), 1u);
    EXPECT_EQ(load.objects[0], object);
}

// A scene file large enough to be read in two halves: objects of 24 values, one per line
// after "<scene>" and an empty line, so object k (from 1) is on line k + 2. Lines listed in
// replaced take the given text instead.
std::string largeScene(std::size_t objects, std::string_view lineEnd, const std::map<std::size_t, std::string>& replaced)
{
    std::string object;
    for (int i = 0; i < 22; ++i) object += "<v>" + std::to_string(i) + "</v>";
    object += "<x>100</x><y>100</y>";
    std::string text = "<scene>" + std::string(lineEnd) + std::string(lineEnd);
    text.reserve(objects * (object.size() + 2) + 64);
    for (std::size_t k = 1; k <= objects; ++k) {
        const auto it = replaced.find(k);
        text += it == replaced.end() ? object : it->second;
        text += lineEnd;
    }
    return text + std::string(lineEnd) + "</scene>" + std::string(lineEnd);
}

TEST(SceneLoad, LargeFilesGiveTheSameOutcomesAsSmallOnes)
{
    constexpr std::size_t kObjects = 60000;  // about 11 MB
    const std::string cut = "<a>1</a><b>2</b><c";
    const std::string noPosition = "<a>1</a><b>2</b><c>3</c>";
    for (const std::string_view lineEnd : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(static_cast<int>(lineEnd.back()));
        const SceneLoad whole = loadSceneText(largeScene(kObjects, lineEnd, {}));
        EXPECT_EQ(whole.outcome, LoadOutcome::Complete);
        EXPECT_EQ(whole.objects.size(), kObjects);
        EXPECT_EQ(whole.markers.size(), kObjects);

        // A cut-off line in the first half ends the markers there, whatever follows.
        const SceneLoad early = loadSceneText(largeScene(kObjects, lineEnd, {{1000, cut}, {45000, noPosition}}));
        EXPECT_EQ(early.outcome, LoadOutcome::StoppedAtCutOff);
        EXPECT_EQ(early.objectNumber, 1000u);
        EXPECT_EQ(early.lineNumber, 1002u);
        EXPECT_EQ(early.objects.size(), kObjects);
        EXPECT_EQ(early.markers.size(), 999u);

        // Outcomes in the second half keep their place in the whole file.
        const SceneLoad late = loadSceneText(largeScene(kObjects, lineEnd, {{45000, cut}}));
        EXPECT_EQ(late.outcome, LoadOutcome::StoppedAtCutOff);
        EXPECT_EQ(late.lineNumber, 45002u);
        EXPECT_EQ(late.markers.size(), 44999u);
        EXPECT_EQ(late.objects.size(), kObjects);
        const SceneLoad error = loadSceneText(largeScene(kObjects, lineEnd, {{45000, noPosition}}));
        EXPECT_EQ(error.outcome, LoadOutcome::ReadError);
        EXPECT_EQ(error.readError, ReadError::TooFewValues);
        EXPECT_EQ(error.lineNumber, 45002u);
        EXPECT_EQ(error.objectNumber, 45000u);
    }
    // A Windows-1252 byte in the second half has the whole file decoded.
    const SceneLoad decoded = loadSceneText(largeScene(kObjects, "\r\n", {{50000, "<n>Caf\xE9</n>" + objectAt("5", "6")}}));
    EXPECT_EQ(decoded.outcome, LoadOutcome::Complete);
    ASSERT_EQ(decoded.objects.size(), kObjects);
    EXPECT_EQ(decoded.objects[49999].substr(0, 12), "<n>Caf\xC3\xA9</n>");
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
                                           MarkerCase{5120, {64.5, 200}, {1290, 1120}},
                                           // single precision: 0.1 × 40 is stored as the float nearest 4
                                           MarkerCase{10240, {0.1, 255.9}, {4.0f, 4.0f}}));

TEST(SceneLoad, MarkersComeFromValues22And23)
{
    const SceneLoad load = loadSceneText(sceneFile({objectAt("64.5", "200"), objectAt("128.000000", "128")}));
    ASSERT_EQ(load.markers.size(), 2u);
    EXPECT_EQ(load.markers[0], (Marker{2580, 2240}));
    EXPECT_EQ(load.markers[1], (Marker{5120, 5120}));
}

}  // namespace
}  // namespace vantor::extract
