#include "extract/selection.h"

#include "object_line_fixture.h"

#include <gtest/gtest.h>

namespace vantor::extract {
namespace {

using Names = std::vector<std::string>;
using test::namesOf;

// Objects named "x,y" by their position in metres, around the edges of the rectangles below.
const std::vector<std::pair<std::string, std::string>> kPositions{
    {"100", "200"}, {"50", "200"},   {"150", "200"}, {"100", "181"}, {"100", "231"}, {"49.9", "200"},
    {"64", "129"},  {"127.9", "255"}, {"128", "200"}, {"0", "0"},     {"256", "100"}, {"10", "10"}};

// A selection over the objects above and extraLine, with the positions of the first `known`
// entries handed over as a load finds them (the filter reads the others itself).
SceneSelection selectionOver(std::size_t known = 0, const std::string& extraLine = {})
{
    std::vector<std::string> lines;
    for (const auto& [x, y] : kPositions) lines.push_back(test::objectAt(x, y, x + "," + y));
    if (!extraLine.empty()) lines.push_back(extraLine);
    std::vector<ObjectPosition> positions = loadSceneText(test::sceneFile(lines)).positions;
    positions.resize(std::min(known, positions.size()));
    SceneSelection selection;
    selection.setTable(ObjectLines::fromLines(lines), {}, positions);
    return selection;
}

// Keeps the objects of the drag example: 50 < x < 150 and 181 < y < 231 metres.
FilterResult dragAndExtract(SceneSelection& selection, bool inverse)
{
    selection.press(2000, 3000);
    selection.release(6000, 1000);
    return selection.extract(inverse);
}

TEST(Selection, PressMoveReleaseAndSelectAllSetTheLines)
{
    SceneSelection selection;
    EXPECT_EQ(selection.edges(), (RectangleEdges{0, 10240, 0, 10240}));  // the whole map
    selection.move(100, 100);  // no press yet: nothing moves
    selection.press(2000, 3000);
    EXPECT_EQ(selection.dragState(), DragState::Dragging);
    EXPECT_EQ(selection.v2(), (MapLine{10240, 0, 10240}));  // the second corner waits for a move
    selection.move(4000, -500);                            // outside the map: not clamped
    EXPECT_EQ(selection.h2(), (MapLine{-500, 0, 10240}));
    selection.release(6000, 1000);
    EXPECT_EQ(selection.dragState(), DragState::Set);
    selection.move(9000, 9000);  // moves after a release leave the lines alone
    EXPECT_EQ(selection.edges(), (RectangleEdges{2000, 6000, 7240, 9240}));

    SceneSelection all;
    all.selectAll();
    EXPECT_EQ(all.edges(), (RectangleEdges{0, 10240, 0, 10240}));
    EXPECT_EQ(all.dragState(), DragState::Idle);  // nothing filtered, no change of state
}

TEST(Selection, ExtractKeepsStrictlyInsideOrStrictlyOutside)
{
    // The first two positions come from a load and the filter reads the others: both kinds meet.
    SceneSelection inside = selectionOver(2);
    EXPECT_FALSE(dragAndExtract(inside, false).stop);
    EXPECT_EQ(namesOf(inside.objects()), (Names{"100,200", "128,200"}));
    EXPECT_EQ(inside.markers(), (std::vector<Marker>{{4000, 2240}, {5120, 2240}}));

    SceneSelection outside = selectionOver(2);
    dragAndExtract(outside, true);
    // Objects on an edge (x = 50, x = 150, y = 181, y = 231) pass in neither mode.
    EXPECT_EQ(namesOf(outside.objects()), (Names{"49.9,200", "64,129", "127.9,255", "0,0", "256,100", "10,10"}));
    dragAndExtract(outside, false);  // narrowing the outside objects to the inside leaves nothing
    EXPECT_TRUE(outside.objects().empty());
    EXPECT_EQ(outside.savedLines().size(), 6u);
}

// The command line's rectangle in metres keeps what a drag over the same place on the map keeps.
TEST(Selection, ARegionInMetresSelectsAsTheDragThere)
{
    SceneSelection dragged = selectionOver();
    dragAndExtract(dragged, false);
    SceneSelection selected = selectionOver();
    selected.selectRegion({150, 181}, {50, 231});  // the drag's corners, the other way round
    EXPECT_EQ(selected.edges(), dragged.edges());
    EXPECT_EQ(selected.dragState(), DragState::Set);
    selected.extract(false);
    EXPECT_EQ(namesOf(selected.objects()), (Names{"100,200", "128,200"}));
}

TEST(Selection, ACutOffLineEndsExtractWithWhatWasKeptBeforeIt)
{
    SceneSelection selection = selectionOver(kPositions.size(), "<a>1</a><b>2</b><c");
    const FilterResult result = selection.extract(false);  // the initial rectangle: 0 < x < 256, 0 < y < 256
    EXPECT_EQ(result.stop, FilterStop::CutOffLine);
    EXPECT_EQ(result.stoppedAt, kPositions.size() + 1);
    EXPECT_EQ(namesOf(selection.objects()), (Names{"100,200", "50,200", "150,200", "100,181", "100,231", "49.9,200",
                                                   "64,129", "127.9,255", "128,200", "10,10"}));
    EXPECT_EQ(selection.dragState(), DragState::Idle);  // not set by an unfinished Extraire
    // A table not made by a load may hold a line without a position: it ends the filter too.
    SceneSelection unchecked = selectionOver(0, test::objectAt("north", "10"));
    unchecked.press(0, 0);  // the top-left quarter: 0 < x < 128, 128 < y < 256
    unchecked.release(5120, 5120);
    EXPECT_EQ(unchecked.extract(true).stop, FilterStop::NoPosition);
    EXPECT_EQ(namesOf(unchecked.objects()), (Names{"150,200", "0,0", "256,100", "10,10"}));

    SceneSelection empty;
    empty.extract(true);
    EXPECT_TRUE(empty.objects().empty());
    EXPECT_EQ(empty.dragState(), DragState::Set);
}

}  // namespace
}  // namespace vantor::extract
