#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string_view>

namespace vantor::test {

// Where two texts first differ (the shorter one's end, when one begins the other), or nothing
// when they are equal: EXPECT_EQ(firstDifference(a, b), std::nullopt) says where megabytes
// of bytes part, without printing them all.
inline std::optional<std::size_t> firstDifference(std::string_view a, std::string_view b)
{
    const auto [inA, inB] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (inA == a.end() && inB == b.end()) return std::nullopt;
    return static_cast<std::size_t>(inA - a.begin());
}

}  // namespace vantor::test
