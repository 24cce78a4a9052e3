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
SceneSelection selectionOver(std::size_t known, const std::string& extraLine)
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

// The drag example: 50 < x < 150 and 181 < y < 231 metres.
void drag(SceneSelection& selection)
{
    selection.press(2000, 3000);
    selection.release(6000, 1000);
}

// Objects strictly inside (or strictly outside) pass; one on an edge passes in neither mode. A
// line cut off or without a position ends the filter with what was kept before it.
TEST(Selection, ExtractKeepsStrictlyInsideOrStrictlyOutside)
{
    const Names inside{"100,200", "128,200"};
    struct Row {
        const char* name;
        std::size_t known;
        std::string extraLine;
        void (*select)(SceneSelection&);
        bool inverse;
        Names kept;
        std::optional<FilterStop> stop;
        DragState state = DragState::Set;
    };
    const Row rows[] = {
        {"inside, positions from a load and from the filter", 2, "", drag, false, inside, std::nullopt},
        {"outside", 2, "", drag, true, {"49.9,200", "64,129", "127.9,255", "0,0", "256,100", "10,10"}, std::nullopt},
        {"a rectangle in metres, as the drag there", 0, "",
         [](SceneSelection& s) { s.selectRegion({150, 181}, {50, 231}); }, false, inside, std::nullopt},
        // As loaded, the whole region is selected.
        {"a cut-off line", kPositions.size(), "<a>1</a><b>2</b><c", [](SceneSelection&) {}, false,
         {"100,200", "50,200", "150,200", "100,181", "100,231", "49.9,200", "64,129", "127.9,255", "128,200", "10,10"},
         FilterStop::CutOffLine, DragState::Idle},  // not set by an unfinished Extraire
        // A table not made by a load may hold one; the quarter is 0 < x < 128, 128 < y < 256.
        {"a line without a position", 0, test::objectAt("north", "10"),
         [](SceneSelection& s) { s.press(0, 0); s.release(5120, 5120); }, true,
         {"150,200", "0,0", "256,100", "10,10"}, FilterStop::NoPosition},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SceneSelection selection = selectionOver(row.known, row.extraLine);
        row.select(selection);
        const FilterResult result = selection.extract(row.inverse);
        EXPECT_EQ(namesOf(selection.objects()), row.kept);
        EXPECT_EQ(result.stop, row.stop);
        EXPECT_EQ(selection.dragState(), row.state);
        if (row.stop) {
            EXPECT_EQ(result.stoppedAt, kPositions.size() + 1);
        } else {
            EXPECT_EQ(selection.edges(), (RectangleEdges{2000, 6000, 7240, 9240}));
        }
    }

    SceneSelection narrowed = selectionOver(2, "");
    drag(narrowed);
    narrowed.extract(false);
    EXPECT_EQ(narrowed.markers(), (std::vector<Marker>{{4000, 2240}, {5120, 2240}}));
    narrowed.extract(true);  // the inside objects, narrowed to the outside: nothing
    EXPECT_TRUE(narrowed.objects().empty());
    EXPECT_EQ(narrowed.savedLines().size(), 2u);

    SceneSelection empty;
    empty.extract(true);
    EXPECT_TRUE(empty.objects().empty());
    EXPECT_EQ(empty.dragState(), DragState::Set);
}

}  // namespace
}  // namespace vantor::extract
