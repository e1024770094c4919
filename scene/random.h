// The pseudo-random generator of the soft-jitter shadows, reseeded with 1 at
// every scene load.
//
// state = state * 214013 + 2531011 (mod 2^32); a draw is bits 16 to 30 of the
// new state, 0 to 32767. The rule is fixed here rather than borrowed from the
// C library, so every platform draws the same sequence.
#pragma once

#include <cstdint>

struct Random {
    static constexpr std::uint32_t kMultiplier = 214013u;
    static constexpr std::uint32_t kIncrement = 2531011u;
    static constexpr int kMax = 32767;

    std::uint32_t state = 1;

    void seed(std::uint32_t value) { state = value; }

    int next() {
        state = state * kMultiplier + kIncrement;
        return static_cast<int>((state >> 16) & 0x7fffu);
    }

    // Advances by n draws in O(log n): the step is the affine map
    // x -> a*x + c, and composing it with itself squares it.
    void skip(std::uint64_t n) {
        std::uint32_t multiplier = kMultiplier, increment = kIncrement;
        std::uint32_t totalMultiplier = 1, totalIncrement = 0;
        while (n > 0) {
            if (n & 1u) {
                totalMultiplier = totalMultiplier * multiplier;
                totalIncrement = totalIncrement * multiplier + increment;
            }
            increment = increment * multiplier + increment;
            multiplier = multiplier * multiplier;
            n >>= 1;
        }
        state = state * totalMultiplier + totalIncrement;
    }
};
