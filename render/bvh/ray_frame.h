// A ray as the walks of the binary trees see it, in double: each node's box
// is widened for the ray's own origin before the slab test.
#pragma once

#include <algorithm>
#include <cmath>
#include <utility>

#include "geometry/vec3.h"
#include "render/bvh/bounds.h"
#include "render/bvh/bvh.h"

struct RayFrame {
    double origin[3];
    double inverse[3];
    double originSize;
};

// A boundable ray in double.
inline RayFrame frameOf(const Ray& ray) {
    const float o[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
    const float d[3] = {ray.direction.x, ray.direction.y, ray.direction.z};
    RayFrame frame{};
    for (int i = 0; i < 3; ++i) {
        frame.origin[i] = o[i];
        frame.originSize = std::max(frame.originSize, std::fabs(frame.origin[i]));
        // A huge finite slope instead of infinity keeps 0 * slope from becoming NaN.
        frame.inverse[i] = d[i] != 0.0f ? 1.0 / static_cast<double>(d[i]) : std::copysign(1e300, d[i]);
    }
    return frame;
}

// The widening of a node for rays from `origin`, whose largest coordinate
// magnitude is `originSize`: the farthest distance from the origin to the
// box, as a sum over the axes (at least the distance) and squared.
inline double marginFor(const BvhNode& node, const double origin[3], double originSize) {
    double far = 0.0, farSquared = 0.0;
    for (int i = 0; i < 3; ++i) {
        const double reach = std::max(std::fabs(origin[i] - node.lower[i]), std::fabs(origin[i] - node.upper[i]));
        far += reach;
        farSquared += reach * reach;
    }
    return node.linear * (far + originSize) + std::min(node.quadratic * farSquared, node.root * far);
}

// Where the ray enters the box [lower, upper] within [0, tMax]; kFarAway
// when it does not.
inline double slabEntry(const double lower[3], const double upper[3], const RayFrame& ray, double tMax) {
    double t0 = 0.0, t1 = tMax;
    for (int i = 0; i < 3; ++i) {
        double a = (lower[i] - ray.origin[i]) * ray.inverse[i];
        double b = (upper[i] - ray.origin[i]) * ray.inverse[i];
        if (a > b) std::swap(a, b);
        t0 = std::max(t0, a);
        t1 = std::min(t1, b);
    }
    return t0 <= t1 ? t0 : kFarAway;
}

// The node's box widened for this ray.
inline void widenedBox(const BvhNode& node, const RayFrame& ray, double lower[3], double upper[3]) {
    const double margin = marginFor(node, ray.origin, ray.originSize);
    for (int i = 0; i < 3; ++i) {
        lower[i] = node.lower[i] - margin;
        upper[i] = node.upper[i] + margin;
    }
}

// Where the ray enters the node's box, widened for this ray, within
// [0, tMax]; kFarAway when it does not.
inline double enterNode(const BvhNode& node, const RayFrame& ray, double tMax) {
    double lower[3], upper[3];
    widenedBox(node, ray, lower, upper);
    return slabEntry(lower, upper, ray, tMax);
}

// Ties with the current best must stay in reach.
inline double reachOf(float best) { return static_cast<double>(best) * (1.0 + 0x1p-30); }
