// The pseudo-random generator of the soft-jitter shadows, reseeded with 1 at
// every scene load.
//
// state = state * 214013 + 2531011 (mod 2^32); a draw is bits 16 to 30 of the
// new state, 0 to 32767. The rule is fixed here rather than borrowed from the
// C library, so every platform draws the same sequence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

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

    // out.size() draws in order, as next() would give them: four lanes of
    // successive states, each stepped four draws at a time, so that the
    // multiplications do not wait on one another.
    void fill(std::span<int> out) {
        constexpr std::uint32_t a1 = kMultiplier, c1 = kIncrement;
        constexpr std::uint32_t a2 = a1 * a1, c2 = c1 * a1 + c1;
        constexpr std::uint32_t a3 = a2 * a1, c3 = c2 * a1 + c1;
        constexpr std::uint32_t a4 = a3 * a1, c4 = c3 * a1 + c1;
        std::uint32_t lanes[4] = {state * a1 + c1, state * a2 + c2, state * a3 + c3, state * a4 + c4};
        const std::size_t whole = out.size() / 4 * 4;
        for (std::size_t i = 0; i < whole; i += 4) {
            for (std::size_t k = 0; k < 4; ++k) out[i + k] = static_cast<int>((lanes[k] >> 16) & 0x7fffu);
            state = lanes[3];
            for (std::uint32_t& lane : lanes) lane = lane * a4 + c4;
        }
        for (std::size_t i = whole; i < out.size(); ++i) out[i] = next();
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
