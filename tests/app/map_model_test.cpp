#include "app/map_model.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

namespace vantor::app {
namespace {

// The map is the largest square the margins leave, centred in the room over. A mark on it is 75
// twips wide at the design's 15 twips a pixel (5 pixels on the 683 pixel map), and never less
// than 2 pixels.
TEST(MapTransform, FitsTheLargestCentredSquare)
{
    const MapMargins margins{30, 8, 14, 20};
    struct Case {
        double width, height;
        MapTransform expected;
        int marker;
    };
    for (const Case& c : {Case{727, 711, {30, 8, 683}, 5}, Case{1044, 540, {30 + 244, 8, 512}, 4},
                          Case{556, 900, {30, 8 + 180, 512}, 4}, Case{10, 10, {29, 7, 1}, 2}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const MapTransform t = fitMap(c.width, c.height, margins);
        EXPECT_EQ(std::tuple(t.left, t.top, t.side), std::tuple(c.expected.left, c.expected.top, c.expected.side));
        EXPECT_EQ(markerPixels(t), c.marker);
    }
}

TEST(MapTransform, PixelUnitMetreConversionsAgree)
{
    const MapTransform t{30, 8, 512};
    EXPECT_EQ(t.unitsY(8 + 150), 3000.0f);
    // North up: the map's top edge is y = 256 m, its bottom edge y = 0 m.
    EXPECT_EQ(t.metresY(0), 256.0);
    EXPECT_EQ(t.metresY(10240), 0.0);
    EXPECT_EQ(t.metresX(2580), 64.5);
    // A pointer outside the map is not clamped.
    EXPECT_EQ(t.unitsX(30 - 10), -200.0f);
    // Every map unit point survives the round trip at any side.
    for (const double side : {683.0, 512.0, 1000.0, 301.0}) {
        const MapTransform s{17, 9, side};
        for (const float units : {0.0f, 2000.0f, 5120.0f, 7240.0f, 10240.0f, 12000.0f}) {
            EXPECT_EQ(s.unitsX(s.pixelX(units)), units) << side;
            EXPECT_EQ(s.unitsY(s.pixelY(units)), units) << side;
        }
    }
}

// The live count must say exactly what "Extraire" keeps, edges and single precision included.
TEST(CountPassing, AgreesWithTheFilter)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> metre(-20, 280);
    std::vector<extract::ObjectPosition> positions;
    std::vector<std::string> lines;
    for (int i = 0; i < 2000; ++i) {
        // Whole and half metres, so that many objects lie exactly on the edges below.
        positions.push_back({metre(random) / 2.0 + 50, metre(random) / 2.0 + 50});
        lines.push_back("object " + std::to_string(i));
    }
    const extract::ObjectLines table = extract::ObjectLines::fromLines(lines);
    const extract::MapGeometry map;
    for (const extract::RectangleEdges edges :
         {extract::RectangleEdges{2000, 6000, 7240, 9240}, extract::RectangleEdges{0, 10240, 0, 10240},
          extract::RectangleEdges{4000, 4000, 3000, 3000}, extract::RectangleEdges{-400, 12000, 2560, 2600}}) {
        for (const bool inverse : {false, true}) {
            const extract::FilterResult kept = extract::filterObjects(table, positions, edges, inverse, map);
            EXPECT_EQ(countPassing(positions, edges, inverse, map), kept.kept.size())
                << edges.left << " " << edges.right << " " << inverse;
        }
    }
}

// The later of overlapping marks is the one on top; marks off the map and reaching over its
// edges are found as well (the points range beyond the map on every side).
TEST(MarkerGrid, MatchesALinearSearch)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> units(-600, 10800);
    std::vector<extract::Marker> markers(3000);
    for (auto& marker : markers) marker = {units(random), units(random)};
    MarkerGrid grid;
    EXPECT_EQ(grid.markerAt(100, 100), std::nullopt);
    grid.rebuild(markers);
    for (int i = 0; i < 3000; ++i) {
        const float x = units(random);
        const float y = units(random);
        std::optional<std::size_t> expected;
        for (std::size_t k = 0; k < markers.size(); ++k) {
            if (x >= markers[k].left - 5 && x <= markers[k].left + 80 && y >= markers[k].top - 5 &&
                y <= markers[k].top + 80)
                expected = k;
        }
        ASSERT_EQ(grid.markerAt(x, y, 5), expected) << x << "," << y;
    }
}

}  // namespace
}  // namespace vantor::app
