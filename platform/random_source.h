#pragma once

namespace vantor::platform {

// Uniform draws in [0, 1), single precision, as object identifiers need them.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    [[nodiscard]] virtual float next() = 0;
};

}  // namespace vantor::platform
