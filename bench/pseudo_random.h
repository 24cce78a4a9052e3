#pragma once

#include <cstdint>

namespace vantor::bench {

// A fixed pseudo-random sequence, so every run of a benchmark reads the same input.
class PseudoRandom {
public:
    explicit PseudoRandom(std::uint64_t seed) : m_state(seed) {}

    // A value in [low, high).
    double next(double low, double high)
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return low + (high - low) * static_cast<double>(m_state >> 11) / 9007199254740992.0;
    }

private:
    std::uint64_t m_state;
};

}  // namespace vantor::bench
