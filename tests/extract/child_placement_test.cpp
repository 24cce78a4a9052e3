// Tests of a linked part's world placement from its root's.
#include "extract/child_placement.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace vantor::extract {
namespace {

TEST(ChildPlacement, PlacesAPartInItsRootsFrame)
{
    const double half = std::sqrt(0.5);
    struct Row {
        const char* name;
        Placement root;
        std::array<double, 3> offset;
        std::array<double, 4> rotationOffset;
        Placement expected;
    };
    const Row rows[] = {
        {"root unturned at the origin", {{0, 0, 0}, {0, 0, 0, 1}}, {1, 2, 3}, {0, 0, half, half},
         {{1, 2, 3}, {0, 0, half, half}}},
        {"root moved, not turned", {{128, 64, 25}, {0, 0, 0, 1}}, {1, -2, 0.5}, {0, 0, 0, 1},
         {{129, 62, 25.5}, {0, 0, 0, 1}}},
        {"root half a turn about z", {{10, 10, 0}, {0, 0, 1, 0}}, {1, 2, 3}, {0, 0, 0, 1},
         {{9, 8, 3}, {0, 0, 1, 0}}},
        {"root quarter turn about z", {{0, 0, 0}, {0, 0, half, half}}, {1, 0, 0}, {0, 0, 0, 1},
         {{0, 1, 0}, {0, 0, half, half}}},
        // The root's turn comes first: child times root would give y = -1.
        {"root's rotation times the child's", {{0, 0, 0}, {0, 0, 1, 0}}, {0, 0, 0}, {1, 0, 0, 0},
         {{0, 0, 0}, {0, 1, 0, 0}}},
        // A root quaternion of length 2 scales the offset by 4 and the rotation by 2.
        {"root quaternion used as it stands", {{0, 0, 0}, {0, 0, 0, 2}}, {1, 0, 0}, {0, 0, 0, 1},
         {{4, 0, 0}, {0, 0, 0, 2}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Placement placed = placeChild(row.root, row.offset, row.rotationOffset);
        for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR(placed.position[i], row.expected.position[i], 1e-12) << i;
        for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(placed.rotation[i], row.expected.rotation[i], 1e-12) << i;
    }
}

}  // namespace
}  // namespace vantor::extract
