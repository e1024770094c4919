// Four floats in one SIMD register, through the compiler's vector
// extensions: SSE on every x86-64, so no run-time dispatch is needed.
// Each operation rounds each lane exactly as the scalar operation would.
#pragma once

#include <cstring>

using Lanes = float __attribute__((vector_size(16)));
// A comparison of two Lanes: all ones where it holds, else zero.
using LaneMask = int __attribute__((vector_size(16)));

inline Lanes lanesOf(const float* values) {
    Lanes lanes;
    std::memcpy(&lanes, values, sizeof lanes);
    return lanes;
}

inline Lanes broadcast(float value) { return Lanes{value, value, value, value}; }
// a < b ? a : b and a < b ? b : a, NaN and signed zeros included: the
// instructions compare in just that way, which the compiler cannot see.
inline Lanes smaller(Lanes a, Lanes b) { return __builtin_ia32_minps(a, b); }
inline Lanes larger(Lanes a, Lanes b) { return __builtin_ia32_maxps(b, a); }

// Bit k set where lane k of the mask holds.
inline unsigned bitsOf(LaneMask mask) {
    return static_cast<unsigned>(__builtin_ia32_movmskps(reinterpret_cast<Lanes>(mask)));
}
