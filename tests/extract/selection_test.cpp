#include "extract/selection.h"

#include "object_line_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantor::extract {
namespace {

using test::objectAt;

// Objects named by their position, around the edges of the rectangles below.
const std::vector<std::pair<std::string, std::string>> kPositions{
    {"100", "200"}, {"50", "200"}, {"150", "200"}, {"100", "181"}, {"100", "231"}, {"49.9", "200"},
    {"64", "129"},  {"127.9", "255"}, {"128", "200"}, {"0", "0"}, {"256", "100"}, {"10", "10"}};

SceneSelection loadedSelection()
{
    std::vector<std::string> lines;
    for (const auto& [x, y] : kPositions) lines.push_back(objectAt(x, y, x + "," + y));
    SceneSelection selection;
    selection.setTable(ObjectLines::fromLines(lines), {});
    return selection;
}

std::vector<std::string> names(const ObjectLines& table)
{
    std::vector<std::string> result;
    ValueList values;
    for (const auto line : table) {
        (void)TokeniseObjectLine(line, values);
        result.emplace_back(values[19]);
    }
    return result;
}

using Names = std::vector<std::string>;

TEST(Selection, StartsOnTheTopLeftQuarterWithHalfLengthLines)
{
    SceneSelection selection = loadedSelection();
    EXPECT_EQ(selection.v1(), (MapLine{0, 0, 5120}));
    EXPECT_EQ(selection.h1(), (MapLine{0, 0, 5120}));
    EXPECT_EQ(selection.v2(), (MapLine{5120, 0, 5120}));
    EXPECT_EQ(selection.h2(), (MapLine{5120, 0, 5120}));
    EXPECT_EQ(selection.dragState(), DragState::Idle);
    EXPECT_EQ(selection.edges(), (RectangleEdges{0, 5120, 5120, 10240}));
    // So "Extraire" right after a load keeps 0 < x < 128 and 128 < y < 256 metres.
    selection.extract(false);
    EXPECT_EQ(names(selection.objects()), (Names{"100,200", "50,200", "100,181", "100,231", "49.9,200", "64,129",
                                                 "127.9,255"}));
    EXPECT_EQ(selection.dragState(), DragState::Set);
}

TEST(Selection, PressMoveReleaseSetTheCornersWhileDragging)
{
    SceneSelection selection;
    selection.move(100, 100);  // no press yet: nothing moves
    EXPECT_EQ(selection.v2().position, 5120);
    selection.press(2000, 3000);
    EXPECT_EQ(selection.dragState(), DragState::Dragging);
    EXPECT_EQ(selection.v1(), (MapLine{2000, 0, 10240}));
    EXPECT_EQ(selection.h1(), (MapLine{3000, 0, 10240}));
    EXPECT_EQ(selection.v2(), (MapLine{5120, 0, 5120}));  // the second corner waits for a move
    selection.move(4000, -500);                            // outside the map: not clamped
    EXPECT_EQ(selection.h2(), (MapLine{-500, 0, 10240}));
    selection.release(6000, 1000);
    EXPECT_EQ(selection.dragState(), DragState::Set);
    selection.move(9000, 9000);  // moves after a release leave the lines alone
    EXPECT_EQ(selection.edges(), (RectangleEdges{2000, 6000, 7240, 9240}));

    SceneSelection reverse;
    reverse.press(6000, 1000);
    reverse.release(2000, 3000);
    EXPECT_EQ(reverse.edges(), selection.edges());
}

TEST(Selection, ExtractKeepsStrictlyInsideOrWithInverseStrictlyOutside)
{
    // The drag example: 50 < x < 150 and 181 < y < 231 metres.
    SceneSelection inside = loadedSelection();
    inside.press(2000, 3000);
    inside.release(6000, 1000);
    const FilterResult result = inside.extract(false);
    EXPECT_FALSE(result.stop);
    EXPECT_EQ(names(inside.objects()), (Names{"100,200", "128,200"}));
    ASSERT_EQ(inside.markers().size(), 2u);
    EXPECT_EQ(inside.markers()[1], (Marker{5120, 2240}));  // renumbered with the kept objects
    EXPECT_EQ(inside.savedLines().size(), kPositions.size());

    SceneSelection outside = loadedSelection();
    outside.press(2000, 3000);
    outside.release(6000, 1000);
    outside.extract(true);
    // Objects on an edge (x = 50, x = 150, y = 181, y = 231) pass in neither mode.
    EXPECT_EQ(names(outside.objects()),
              (Names{"49.9,200", "64,129", "127.9,255", "0,0", "256,100", "10,10"}));
    // Narrowing the outside objects again with the inside test leaves nothing.
    outside.extract(false);
    EXPECT_TRUE(outside.objects().empty());
    outside.extract(false);
    EXPECT_TRUE(outside.objects().empty());
    EXPECT_EQ(outside.dragState(), DragState::Set);
}

TEST(Selection, AClickWithoutMovementIsAnEmptyRectangle)
{
    SceneSelection click = loadedSelection();
    click.press(4000, 2240);  // 100, 200 metres
    click.release(4000, 2240);
    click.extract(false);
    EXPECT_TRUE(click.objects().empty());

    SceneSelection inverse = loadedSelection();
    inverse.press(4000, 2240);
    inverse.release(4000, 2240);
    inverse.extract(true);
    EXPECT_EQ(inverse.objects().size(), kPositions.size() - 1);  // all but the one at the clicked point
    EXPECT_EQ(names(inverse.objects()).front(), "50,200");
}

TEST(Selection, SelectAllTakesTheRegionStrictlyInsideItsBorders)
{
    SceneSelection selection = loadedSelection();
    selection.selectAll();
    EXPECT_EQ(selection.dragState(), DragState::Idle);
    EXPECT_EQ(selection.v2(), (MapLine{10240, 0, 10240}));
    EXPECT_EQ(selection.edges(), (RectangleEdges{0, 10240, 0, 10240}));
    EXPECT_EQ(selection.objects().size(), kPositions.size());  // nothing filtered yet
    selection.extract(false);
    EXPECT_EQ(selection.objects().size(), kPositions.size() - 2);  // not 0,0 and not 256,100
}

TEST(Selection, PositionsKnownFromTheLoadGiveTheSameSelection)
{
    std::string text;
    for (const auto& [x, y] : kPositions) text += objectAt(x, y, x + "," + y) + "\r\n";
    text += "<a>1</a><b>2</b><c\r\n" + objectAt("100", "200", "after the cut") + "\r\n";
    const SceneLoad load = loadSceneText(text);
    ASSERT_EQ(load.positions.size(), kPositions.size());
    SceneSelection known;
    known.setTable(load.objects, load.markers, load.positions);
    SceneSelection scanned;
    scanned.setTable(load.objects, load.markers);
    for (SceneSelection* selection : {&known, &scanned}) {
        selection->press(2000, 3000);
        selection->release(6000, 1000);
        const FilterResult result = selection->extract(true);
        EXPECT_EQ(result.stop, FilterStop::CutOffLine);
        EXPECT_EQ(result.stoppedAt, kPositions.size() + 1);
    }
    EXPECT_EQ(names(known.objects()), names(scanned.objects()));
    EXPECT_EQ(known.markers(), scanned.markers());
    EXPECT_EQ(names(known.objects()).size(), 6u);
}

TEST(Selection, ACutOffLineEndsExtractWithWhatWasKeptBeforeIt)
{
    SceneSelection selection;
    selection.setTable(ObjectLines::fromLines({objectAt("100", "200", "kept"), objectAt("10", "10", "dropped"),
                                               "<a>1</a><b", objectAt("101", "201", "never seen")}),
                       {});
    const FilterResult result = selection.extract(false);
    ASSERT_TRUE(result.stop);
    EXPECT_EQ(*result.stop, FilterStop::CutOffLine);
    EXPECT_EQ(result.stoppedAt, 3u);
    EXPECT_EQ(names(selection.objects()), (Names{"kept"}));
    EXPECT_EQ(selection.savedLines().size(), 4u);
    EXPECT_EQ(selection.dragState(), DragState::Idle);  // not set by an unfinished Extraire

    SceneSelection empty;
    empty.extract(true);
    EXPECT_TRUE(empty.objects().empty());
    EXPECT_EQ(empty.dragState(), DragState::Set);
}

}  // namespace
}  // namespace vantor::extract
