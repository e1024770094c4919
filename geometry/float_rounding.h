// Rounding a double outwards to float, for boxes that must contain every
// value the float routines can produce.
#pragma once

#include <bit>
#include <cstdint>

// The float nearest below (above) a double, or the double itself when it is one.
// The step to the neighbouring float is taken on the bits and selected, not
// branched to: this runs for every box the hierarchy rounds, and which way a
// value rounds cannot be predicted.
inline float floatBelow(double value) {
    const float f = static_cast<float>(value);
    const auto bits = std::bit_cast<std::uint32_t>(f);
    const std::uint32_t below = f > 0.0f ? bits - 1 : f < 0.0f ? bits + 1 : 0x80000001u;  // from 0: -denorm_min
    return static_cast<double>(f) > value ? std::bit_cast<float>(below) : f;
}
inline float floatAbove(double value) {
    const float f = static_cast<float>(value);
    const auto bits = std::bit_cast<std::uint32_t>(f);
    const std::uint32_t above = f > 0.0f ? bits + 1 : f < 0.0f ? bits - 1 : 0x00000001u;  // from 0: denorm_min
    return static_cast<double>(f) < value ? std::bit_cast<float>(above) : f;
}
