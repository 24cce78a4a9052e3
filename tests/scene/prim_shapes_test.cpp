#include "scene/prim_shapes.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

using namespace vantor::scene;

namespace {

TEST(PrimShapes, EveryCodeReadsBackFromWhatItWrites)
{
    for (const ShapeCode& shape : kShapeCodes) {
        ASSERT_EQ(shapeOfType(shape.type), &shape);
        EXPECT_EQ(typeOfShape(shape.profileName, shape.pathCurve), shape.type) << shape.type;
        EXPECT_LE(shape.profileName.size(), kLongestShapeName);
    }
    // OpenSim writes 128 for a straight path too; a half circle is never straight.
    EXPECT_EQ(typeOfShape("Circle", kStraightPathOther), 1);
    EXPECT_EQ(typeOfShape("HalfCircle", kStraightPath), std::nullopt);
    EXPECT_EQ(typeOfShape("Square", 48), std::nullopt);
    EXPECT_EQ(shapeOfType(7), nullptr);
    EXPECT_EQ(shapeOfType(0.5), nullptr);
    for (const HoleCode& code : kHoleCodes) {
        ASSERT_EQ(holeOfCode(code.hole), &code);
        EXPECT_EQ(holeOfName(code.hollowName), code.hole);
        EXPECT_LE(code.hollowName.size(), kLongestShapeName);
    }
    EXPECT_EQ(holeOfCode(8), nullptr);
    EXPECT_EQ(holeOfName("Hexagon"), std::nullopt);
}

TEST(PrimShapes, ScalingsReadBackTheValuesAListingHolds)
{
    using Pair = std::pair<double (*)(double), double (*)(double)>;
    const std::pair<Pair, std::set<double>> cases[] = {
        {{toCutUnits, fromCutUnits}, {0, 0.25, 0.95, 1}},
        {{toCutEndUnits, fromCutEndUnits}, {0, 0.25, 0.95, 1}},
        {{toHundredths, fromHundredths}, {-1, -0.5, 0, 0.75, 1}},
        {{toPathScale, fromPathScale}, {0, 0.05, 1, 2}},
        {{toShear, fromShear}, {-0.5, -0.01, 0, 0.01, 0.5}},
        {{toRevolutionUnits, fromRevolutionUnits}, {1, 1.5, 3, 4}},
    };
    for (const auto& [scaling, values] : cases) {
        for (const double value : values) EXPECT_DOUBLE_EQ(scaling.second(scaling.first(value)), value) << value;
    }
    // Negative shears wrap above 200, so that they fit a byte as OpenSim stores them.
    EXPECT_DOUBLE_EQ(toShear(-0.5), 206);
    EXPECT_DOUBLE_EQ(toPathScale(0.5), 150);
}

}  // namespace
