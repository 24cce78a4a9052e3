#pragma once

namespace vantor::platform {

struct LocalTime {
    int hour = 0;    // 0 to 23
    int minute = 0;  // 0 to 59
    friend bool operator==(const LocalTime&, const LocalTime&) = default;
};

// The local wall clock, read for the time stamps of listing lines.
class Clock {
public:
    virtual ~Clock() = default;
    [[nodiscard]] virtual LocalTime now() const = 0;
};

}  // namespace vantor::platform
