#include "child_placement.h"

namespace vantor::extract {

Placement placeChild(const Placement& root, const std::array<double, 3>& offset,
                     const std::array<double, 4>& rotationOffset)
{
    const auto& [gx, gy, gz] = root.position;
    const auto& [x, y, z, w] = root.rotation;
    const auto& [vx, vy, vz] = offset;
    const auto& [bx, by, bz, bw] = rotationOffset;
    // r = q v, with v as a quaternion without real part; the offset turned is then r q*.
    const double rw = -x * vx - y * vy - z * vz;
    const double rx = w * vx + y * vz - z * vy;
    const double ry = w * vy + z * vx - x * vz;
    const double rz = w * vz + x * vy - y * vx;
    return Placement{
        {
            gx + (-rw * x + rx * w - ry * z + rz * y),
            gy + (-rw * y + ry * w - rz * x + rx * z),
            gz + (-rw * z + rz * w - rx * y + ry * x),
        },
        {
            w * bx + x * bw + y * bz - z * by,
            w * by + y * bw + z * bx - x * bz,
            w * bz + z * bw + x * by - y * bx,
            w * bw - x * bx - y * by - z * bz,
        },
    };
}

}  // namespace vantor::extract
