// Tests of the scene file reader: the tokeniser, the load's outcomes and the markers. Which
// lines are objects (more than ten characters, whatever the line ends) and the fast paths
// against the plain reading are checked by the scene-load fuzz target on every input it runs.
#include "extract/scene_load.h"

#include "object_line_fixture.h"
#include "testing/failures.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vantor::extract {
namespace {


using test::objectAt;
using test::sceneFile;
using enum TokeniseResult;

TEST(Tokeniser, ReadsTheTextAfterEachGreaterThanUpToTheNextLessThan)
{
    const std::tuple<const char*, TokeniseResult, ValueList> cases[] = {
        {"<a>1</a><b>2</b>", Complete, {"1", "2"}},  {"<a>1</a><b>2</b><c", Stop, {"1", "2"}},
        {"abcdefgh<ijk", Stop, {}},                   {"abcdefghijk<x>", Complete, {}},
        {"<a>  </a><b>x</b>", Complete, {"  ", "x"}}, {"<a>x>y</a>", Complete, {"x>y", "y"}},
        {"<a>1</a>tail<", Stop, {"1", "tail"}},       {"<a>open end", Complete, {}}};
    ValueList values{"left over"};  // each line starts from the previous line's values
    for (const auto& [line, result, expected] : cases) {
        EXPECT_EQ(tokeniseObjectLine(line, values), result) << line;
        EXPECT_EQ(values, expected) << line;
    }
}

TEST(SceneLoad, MarkersComeUnclampedFromThePositionValues)
{
    const std::string first = objectAt("64.5", "200");
    const SceneLoad load = loadSceneText("\xEF\xBB\xBF" + first + "\n" + objectAt("128.0", "128") + "\r\n" +
                                         objectAt("300", "-10"));
    ASSERT_EQ(load.objects.size(), 3u);
    EXPECT_EQ(load.objects[0], first);  // without the byte-order mark
    // Markers from values 22 and 23, unclamped outside the map; a half-size map halves them.
    EXPECT_EQ(load.markers, (std::vector<Marker>{{2580, 2240}, {5120, 5120}, {12000, 10640}}));
    EXPECT_EQ(loadSceneText(first, MapGeometry{5120}).markers, (std::vector<Marker>{{1290, 1120}}));
}

TEST(SceneLoad, OutcomesNameWhereTheyStopWhateverTheCount)
{
    std::string short24;  // a small object of 24 values, so that a large file is quick to build
    for (int i = 0; i < 24; ++i) short24 += "<v>" + std::to_string(i) + "</v>";
    // 60000 objects: no limit of 32767, and a file large enough to be read in two halves.
    for (const std::size_t count : {std::size_t{40}, std::size_t{60000}}) {
        SCOPED_TRACE(count);
        std::vector<std::string> objects(count, short24);
        const std::size_t early = count / 4;
        const std::size_t late = count * 3 / 4;
        objects[early - 1] = "<a>1</a><b>2</b><c";
        objects[late - 1] = "<a>1</a><b>2</b><c>3</c>";  // no read error after a cut-off line
        const SceneLoad stopped = loadSceneText(sceneFile(objects, "\n"));
        EXPECT_TRUE(stopped.cutOff);
        EXPECT_EQ(stopped.cutOff, (ObjectPlace{early + 2, early}));
        EXPECT_EQ(stopped.objects.size(), count);
        EXPECT_EQ(stopped.markers.size(), early - 1);

        objects[early - 1] = short24;
        const SceneLoad failed = loadSceneText(sceneFile(objects, "\r"));
        EXPECT_FALSE(failed);
        EXPECT_EQ(test::errorOf(failed), LoadError::TooFewValues);
        EXPECT_EQ(test::failureOf(failed).place, (ObjectPlace{late + 2, late}));
        EXPECT_TRUE(failed.objects.empty());

        // A Windows-1252 byte anywhere has the whole file read as that code page.
        objects[late - 1] = "<n>Caf\xE9</n>" + short24;
        const SceneLoad decoded = loadSceneText(sceneFile(objects));
        EXPECT_TRUE(decoded && !decoded.cutOff);
        EXPECT_EQ(decoded.markers.size(), count);
        EXPECT_EQ(decoded.objects[late - 1].substr(0, 12), "<n>Caf\xC3\xA9</n>");
    }
    const SceneLoad notANumber = loadSceneText(sceneFile({objectAt("1", "2"), objectAt("1", "north")}));
    EXPECT_EQ(test::errorOf(notANumber), LoadError::PositionNotANumber);
}

}  // namespace
}  // namespace vantor::extract
