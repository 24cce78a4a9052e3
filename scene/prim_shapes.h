#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

// How a prim's shape goes from a listing into a scene file and back: the listing's type and
// hole codes, the shape names and path curves OpenSim's documents hold for them, and the
// scalings between the listing's values and the documents' integer units. The converter
// writes with these and the extractor reads back with them, so that the round trip has one
// definition.
namespace vantor::scene {

// Which values of a listing's second line a shape uses.
enum class ShapeGroup {
    Flat,    // box, cylinder, prism: top size and shear, cut on the profile
    Sphere,  // sphere: dimple on the profile, cut on the path
    Swept,   // torus, tube, ring: the whole set of path values
};

// The path curve of a straight and of a curved path; OpenSim also writes 128 for straight.
inline constexpr int kStraightPath = 16;
inline constexpr int kStraightPathOther = 128;
inline constexpr int kCurvedPath = 32;

struct ShapeCode {
    int type;                      // the listing's type code
    std::string_view profileName;  // ProfileShape
    int profileCurve;
    int pathCurve;
    ShapeGroup group;
};

inline constexpr ShapeCode kShapeCodes[] = {
    {0, "Square", 1, kStraightPath, ShapeGroup::Flat},
    {1, "Circle", 0, kStraightPath, ShapeGroup::Flat},
    {2, "EquilateralTriangle", 3, kStraightPath, ShapeGroup::Flat},
    {3, "HalfCircle", 5, kCurvedPath, ShapeGroup::Sphere},
    {4, "Circle", 0, kCurvedPath, ShapeGroup::Swept},
    {5, "Square", 1, kCurvedPath, ShapeGroup::Swept},
    {6, "EquilateralTriangle", 3, kCurvedPath, ShapeGroup::Swept},
};

struct HoleCode {
    int hole;                      // the listing's hole code
    std::string_view hollowName;   // HollowShape
};

inline constexpr HoleCode kHoleCodes[] = {{0, "Same"}, {16, "Circle"}, {32, "Square"}, {48, "Triangle"}};

// The longest profile or hollow name.
inline constexpr std::size_t kLongestShapeName = std::string_view("EquilateralTriangle").size();

// The shape of a type code, or nothing for a code the table does not hold.
[[nodiscard]] constexpr const ShapeCode* shapeOfType(double type)
{
    for (const ShapeCode& shape : kShapeCodes) {
        if (type == shape.type) return &shape;
    }
    return nullptr;
}

// The type code of a profile name and path curve, or nothing when no shape has them.
[[nodiscard]] constexpr std::optional<int> typeOfShape(std::string_view profileName, double pathCurve)
{
    const bool straight = pathCurve == kStraightPath || pathCurve == kStraightPathOther;
    const bool curved = pathCurve == kCurvedPath;
    for (const ShapeCode& shape : kShapeCodes) {
        if (shape.profileName == profileName && (shape.pathCurve == kCurvedPath ? curved : straight)) {
            return shape.type;
        }
    }
    return std::nullopt;
}

// The hollow name of a hole code, or nothing.
[[nodiscard]] constexpr const HoleCode* holeOfCode(double hole)
{
    for (const HoleCode& code : kHoleCodes) {
        if (hole == code.hole) return &code;
    }
    return nullptr;
}

// The hole code of a hollow name, or nothing.
[[nodiscard]] constexpr std::optional<int> holeOfName(std::string_view hollowName)
{
    for (const HoleCode& code : kHoleCodes) {
        if (code.hollowName == hollowName) return code.hole;
    }
    return std::nullopt;
}

// The scalings, each written out once both ways; the order of the operations decides ties
// and the last digit, so each pair keeps the one the documents were always written with.

// Cuts, dimples, profile cuts and hollow: a fraction of 1 in units of 1/50000.
inline constexpr double kCutUnits = 50000;
[[nodiscard]] constexpr double toCutUnits(double fraction) { return fraction * kCutUnits; }
[[nodiscard]] constexpr double fromCutUnits(double units) { return units / kCutUnits; }
// The end of a cut counts back from 1.
[[nodiscard]] constexpr double toCutEndUnits(double fraction) { return (1 - fraction) * kCutUnits; }
[[nodiscard]] constexpr double fromCutEndUnits(double units) { return 1 - units / kCutUnits; }

// Twist, taper, radius offset and skew: hundredths.
[[nodiscard]] constexpr double toHundredths(double value) { return value * 100; }
[[nodiscard]] constexpr double fromHundredths(double units) { return units / 100; }

// Top size and hole size: 200 less the size in hundredths.
[[nodiscard]] constexpr double toPathScale(double size) { return 200 - size * 100; }
[[nodiscard]] constexpr double fromPathScale(double units) { return (200 - units) / 100; }

// Shear in hundredths; shears below zero wrap into the upper byte range, as OpenSim stores
// them in one byte. One that rounds to 0 hundredths (from -0.005 up) stays 0, not 256.
[[nodiscard]] constexpr double toShear(double shear)
{
    const double hundredths = shear * 100;
    return hundredths < -0.5 ? hundredths + 256 : hundredths;
}
[[nodiscard]] constexpr double fromShear(double units) { return units > 200 ? (units - 256) / 100 : units / 100; }

// Revolutions from 1 to 4 in units of 3/200 beyond the first.
[[nodiscard]] constexpr double toRevolutionUnits(double revolutions) { return (revolutions - 1) * 200 / 3; }
[[nodiscard]] constexpr double fromRevolutionUnits(double units) { return units * 3 / 200 + 1; }

}  // namespace vantor::scene
