#pragma once

#include <array>

namespace vantor::extract {

// Where a part of a linked object stands in the region, and how it is turned.
struct Placement {
    std::array<double, 3> position{};        // x, y, z in metres
    std::array<double, 4> rotation{0, 0, 0, 1};  // quaternion x, y, z, w
    friend bool operator==(const Placement&, const Placement&) = default;
};

// A child part's world placement from its root's: the root's position plus the child's offset
// turned by the root's rotation (q v q*), and the root's rotation times the child's own. The
// root's quaternion is taken as it stands, not normalised, and the terms are summed in a fixed
// order, so the same object always gives the same digits.
[[nodiscard]] Placement placeChild(const Placement& root, const std::array<double, 3>& offset,
                                   const std::array<double, 4>& rotationOffset);

}  // namespace vantor::extract
