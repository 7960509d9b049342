// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <random>

namespace zaplo {

// A random source that gives the same numbers on every machine: the raw Mersenne Twister
// sequence is fixed by the C++ standard, unlike the standard distributions.
class SeededRandom {
public:
    explicit SeededRandom(uint32_t seed) : engine_(seed) {}

    // Uniform in [0, 1).
    double Unit();
    // Uniform in [lo, hi).
    double Range(double lo, double hi) { return lo + (hi - lo) * Unit(); }

private:
    std::mt19937 engine_;
};

} // namespace zaplo
