// What the hierarchy knows of each object: a box around its shape and a
// widening that covers the float error of its intersection routine, which
// grows with the distance of the ray's origin.
//
// Bounds must hold what the intersection routines compute in float, not
// just the ideal shapes: rounding lets a routine report a hit a little off
// the surface, the more so the farther the ray starts (for the quadratics,
// with the square of that distance over the radius). Objects whose data is
// not finite or too ill-conditioned for such a widening are tested on every
// ray instead.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "geometry/double_vec.h"
#include "geometry/float_rounding.h"
#include "geometry/shapes.h"
#include "geometry/vec3.h"
#include "scene/scene.h"

// Margins are multiples of 128 float roundings (2^-24 each) of the
// magnitudes involved. Bounding the routines' float error from their
// formulas takes at most about 20 such roundings per kind, so every margin
// below keeps a factor of several to spare.
inline constexpr double kRounding = 0x1p-17;
// Within these magnitudes no product the routines form leaves float's
// normal range, on which the margins rely.
inline constexpr double kLargest = 0x1p30;
inline constexpr double kSmallestRelative = 0x1p-20;
// A quadric's routine admits a hit P with |P - centre|² up to r² + about
// 30 roundings of W², W the origin's distance from the centre (the
// discriminant cancels for grazing rays); this is four times that. The hit
// then strays from the surface by at most min(K W² / 2r, sqrt(K) W).
inline constexpr double kSquareError = 0x1p-17;
// Conditioning beyond which an object is tested on every ray instead.
inline constexpr double kWorstLinearCondition = 0x1p12;
// Objects whose margin grows faster than this with distance go to a second
// tree, so that they do not widen the nodes of all the others.
inline constexpr double kLooseLinear = 64.0 * kRounding;
inline constexpr double kWorstTriangleCondition = 0x1p12;
inline constexpr double kFarAway = std::numeric_limits<double>::infinity();

enum class Fate { Bounded, Always, Never };

struct BvhNode;

// Rays the margins cannot speak for take the linear search: a coordinate
// not finite or beyond kLargest (a comparison with NaN fails), a direction
// shorter than 1 / kLargest in every component.
bool boundable(const Ray& ray);

// The largest widening of `node` for an origin anywhere in [lower, upper],
// whose largest coordinate magnitude is `originSize`.
double largestMargin(const BvhNode& node, const double lower[3], const double upper[3], double originSize);

struct ObjectBound {
    Fate fate = Fate::Always;
    std::array<double, 3> lower{}, upper{};
    // The object's widening: linear * (distance + |origin|) + constant
    // + min(quadratic * distance², root * distance).
    double linear = 0.0;
    double constant = 0.0;
    double quadratic = 0.0;
    double root = 0.0;
};

ObjectBound boundObject(const SceneObject& object);
// boundObject of a polygon of three vertices whose fan triangle is at hand.
ObjectBound boundTriangle(const FanTriangle& triangle, Vec3 v1, Vec3 v2);
