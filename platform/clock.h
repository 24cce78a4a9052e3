#pragma once

#include <cstdint>

namespace vantor::platform {

struct LocalTime {
    int hour = 0;    // 0 to 23
    int minute = 0;  // 0 to 59
    friend bool operator==(const LocalTime&, const LocalTime&) = default;
};

// The wall clock: the local time of day for the time stamps of listing lines, and the
// seconds since 1970 (UTC) for a region archive's time of making.
class Clock {
public:
    virtual ~Clock() = default;
    [[nodiscard]] virtual LocalTime now() const = 0;
    [[nodiscard]] virtual std::int64_t secondsSinceEpoch() const = 0;
};

}  // namespace vantor::platform
