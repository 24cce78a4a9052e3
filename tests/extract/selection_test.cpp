#include "extract/selection.h"

#include "object_line_fixture.h"

#include <gtest/gtest.h>

namespace vantor::extract {
namespace {

using Names = std::vector<std::string>;

// Objects named by their position in metres, around the edges of the rectangles below.
const Names kPositions{"100,200", "50,200", "150,200", "100,181", "100,231", "49.9,200",
                       "64,129",  "127.9,255", "128,200", "0,0", "256,100", "10,10"};

ObjectLines positionedObjects(std::string extraLine = {})
{
    std::vector<std::string> lines;
    for (const auto& name : kPositions) {
        const auto comma = name.find(',');
        lines.push_back(test::objectAt(name.substr(0, comma), name.substr(comma + 1), name));
    }
    if (!extraLine.empty()) lines.push_back(std::move(extraLine));
    return ObjectLines::fromLines(lines);
}

Names names(const ObjectLines& table)
{
    Names result;
    ValueList values;
    for (const auto line : table) {
        (void)TokeniseObjectLine(line, values);
        result.emplace_back(values[19]);
    }
    return result;
}

// Keeps the objects of the drag example: 50 < x < 150 and 181 < y < 231 metres.
FilterResult dragAndExtract(SceneSelection& selection, bool inverse)
{
    selection.press(2000, 3000);
    selection.release(6000, 1000);
    return selection.extract(inverse);
}

TEST(Selection, StartsOnTheTopLeftQuarterWithHalfLengthLines)
{
    SceneSelection selection;
    EXPECT_EQ(selection.v1(), (MapLine{0, 0, 5120}));
    EXPECT_EQ(selection.h2(), (MapLine{5120, 0, 5120}));
    EXPECT_EQ(selection.edges(), (RectangleEdges{0, 5120, 5120, 10240}));
    selection.setTable(positionedObjects(), {});
    selection.extract(false);  // keeps 0 < x < 128 and 128 < y < 256 metres
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
    reverse.selectAll();
    EXPECT_EQ(reverse.edges(), (RectangleEdges{0, 10240, 0, 10240}));
    EXPECT_EQ(reverse.dragState(), DragState::Set);
}

TEST(Selection, ExtractKeepsStrictlyInsideOrStrictlyOutside)
{
    // Positions known from a load, for all, some or none of the entries, change nothing.
    std::string text;
    for (const auto line : positionedObjects()) text.append(line).append("\n");
    const std::vector<ObjectPosition> loaded = loadSceneText(text).positions;
    for (const std::size_t known : {std::size_t{0}, std::size_t{2}, kPositions.size()}) {
        SceneSelection inside;
        inside.setTable(positionedObjects(), {}, {loaded.begin(), loaded.begin() + static_cast<long>(known)});
        EXPECT_FALSE(dragAndExtract(inside, false).stop);
        EXPECT_EQ(names(inside.objects()), (Names{"100,200", "128,200"}));
        EXPECT_EQ(inside.markers(), (std::vector<Marker>{{4000, 2240}, {5120, 2240}}));

        SceneSelection outside;
        outside.setTable(positionedObjects(), {});
        dragAndExtract(outside, true);
        // Objects on an edge (x = 50, x = 150, y = 181, y = 231) pass in neither mode.
        EXPECT_EQ(names(outside.objects()), (Names{"49.9,200", "64,129", "127.9,255", "0,0", "256,100", "10,10"}));
        dragAndExtract(outside, false);  // narrowing the outside objects to the inside leaves nothing
        EXPECT_TRUE(outside.objects().empty());
        EXPECT_EQ(outside.savedLines().size(), 6u);
    }
    SceneSelection click;  // a click without movement: an empty rectangle
    click.setTable(positionedObjects(), {});
    click.press(4000, 2240);  // 100, 200 metres
    click.release(4000, 2240);
    click.extract(true);
    EXPECT_EQ(click.objects().size(), kPositions.size() - 1);  // all but the one at the clicked point
    click.extract(false);
    EXPECT_TRUE(click.objects().empty());

    SceneSelection region;
    region.setTable(positionedObjects(), {});
    region.selectAll();
    region.extract(false);
    EXPECT_EQ(region.objects().size(), kPositions.size() - 2);  // not 0,0 and not 256,100
}

TEST(Selection, ACutOffLineEndsExtractWithWhatWasKeptBeforeIt)
{
    for (const bool fromLoad : {true, false}) {
        const ObjectLines table = positionedObjects("<a>1</a><b>2</b><c");
        SceneSelection selection;
        selection.setTable(table, {}, fromLoad ? loadSceneText(std::string(table[0])).positions
                                               : std::vector<ObjectPosition>{});
        const FilterResult result = selection.extract(false);
        EXPECT_EQ(result.stop, FilterStop::CutOffLine);
        EXPECT_EQ(result.stoppedAt, kPositions.size() + 1);
        EXPECT_EQ(selection.objects().size(), 7u);
        EXPECT_EQ(selection.dragState(), DragState::Idle);  // not set by an unfinished Extraire
    }
    // A table not made by a load may hold a line without a position: it ends the filter too.
    SceneSelection unchecked;
    unchecked.setTable(positionedObjects(test::objectAt("north", "10")), {});
    EXPECT_EQ(unchecked.extract(true).stop, FilterStop::NoPosition);
    EXPECT_EQ(names(unchecked.objects()), (Names{"150,200", "0,0", "256,100", "10,10"}));

    SceneSelection empty;
    empty.extract(true);
    EXPECT_TRUE(empty.objects().empty());
    EXPECT_EQ(empty.dragState(), DragState::Set);
}

}  // namespace
}  // namespace vantor::extract
