// Vectors in double precision, for the bounds that must hold whatever the
// float routines round: a float widens to double exactly, so every bound
// derived here speaks of the very values the routines see.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>

#include "geometry/vec3.h"

using Dvec = std::array<double, 3>;

inline Dvec widen(Vec3 v) { return {v.x, v.y, v.z}; }
inline Dvec operator-(const Dvec& a, const Dvec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline double dotD(const Dvec& a, const Dvec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline double normD(const Dvec& a) { return std::sqrt(dotD(a, a)); }
inline Dvec crossD(const Dvec& a, const Dvec& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline double largestOf(const Dvec& a) { return std::max({std::fabs(a[0]), std::fabs(a[1]), std::fabs(a[2])}); }
inline bool isFinite(Vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
