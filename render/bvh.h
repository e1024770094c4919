// A bounding volume hierarchy over the scene's objects that answers exactly
// what the linear search in list order answers.
//
// Bounds must hold what the intersection routines compute in float, not
// just the ideal shapes: rounding lets a routine report a hit a little off
// the surface, the more so the farther the ray starts (for the quadratics,
// with the square of that distance over the radius). Each node therefore
// carries a margin that grows with the ray origin's distance, and is widened
// per ray. Objects whose data is not finite or too ill-conditioned for such a
// margin are tested on every ray; rays that are not finite or of extreme
// magnitude take the linear search.
//
// A cylinder's side test is ill-conditioned for rays almost parallel to its
// axis; a table over ray directions lists, per direction cell, the cylinders
// to test outright for such rays.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "geometry/shapes.h"
#include "geometry/vec3.h"
#include "scene/scene.h"

struct BvhNode {
    float lower[3];
    float upper[3];
    // Per-ray widening by the origin's farthest distance D from the box:
    // linear * (D + |origin|) + min(quadratic * D², root * D).
    float linear;
    float quadratic;
    float root;
    std::int32_t first;  // leaf: first entry in `items`; inner: index of the second child
    std::int32_t count;  // leaf: number of entries; inner: 0 (the first child follows the node)
};

struct Bvh {
    // Two trees: objects with tight margins, and those whose margins grow
    // fast with distance (skewed boxes and ellipsoids), kept apart so they do
    // not widen the nodes of the others.
    std::vector<std::int32_t> roots;
    std::vector<BvhNode> nodes;
    std::vector<std::int32_t> items;         // object indices, leaf by leaf
    std::vector<BvhNode> itemBounds;         // each item's own box and widening, beside `items`
    std::vector<std::int32_t> alwaysTested;  // objects no bound can be trusted for
    // Cylinders to test outright, by direction cell: cellItems[cellStart[c] .. cellStart[c + 1]).
    std::vector<std::int32_t> cellStart;
    std::vector<std::int32_t> cellItems;
    // The distinct unit axes of those cylinders, and the largest angle from a
    // cell's centre to its edge, for a quick test of a whole beam of rays.
    std::vector<Vec3> parallelAxes;
    double cellRadius = 0.0;
    std::size_t objectCount = 0;  // of the scene it was built for
    // Every polygon's fan, computed once: fans[fanStart[j] .. fanStart[j + 1]).
    std::vector<FanTriangle> fans;
    std::vector<std::int32_t> fanStart;

    std::span<const FanTriangle> fanOf(std::int32_t object) const {
        const auto j = static_cast<std::size_t>(object);
        return {fans.data() + fanStart[j], static_cast<std::size_t>(fanStart[j + 1] - fanStart[j])};
    }

    std::size_t boundedCount() const { return items.size(); }
};

Bvh buildBvh(const Scene& scene);

// The nearest hit as findNearestHit defines it (ties to the earlier object,
// the normal that object's own routine yields, normalised). Returns false,
// touching nothing, for a ray it cannot bound or a scene it was not built for.
bool acceleratedNearestHit(const Bvh& bvh, const Scene& scene, Ray ray, float& t, int& objectIndex, Vec3& normal);

// Whether any object is hit strictly before parameter 1, as isShadowed
// defines it; no answer where acceleratedNearestHit would return false.
std::optional<bool> acceleratedIsBlocked(const Bvh& bvh, const Scene& scene, Ray ray);

// Soft shadows cast many rays from one origin to points around a light. The
// objects whose widened boxes meet the box around all those segments are
// all that can block any of them, so each ray tests only those.
inline constexpr int kMaxBeamObjects = 64;

struct ShadowBeam {
    struct Candidate {
        double lower[3];  // the object's box, widened for the beam's origin
        double upper[3];
        std::int32_t object;
    };
    std::array<Candidate, kMaxBeamObjects> candidates;
    int count = 0;
    bool nearlyParallelCylinders = false;  // some ray may need the direction table
};

// Gathers the beam of the rays (origin, directions[i]), each reaching its
// light sample at parameter 1; every sample lies within `radius` of `light`.
// False, leaving the rays to acceleratedIsBlocked, when a ray cannot be
// bounded or too many objects meet the beam.
bool gatherShadowBeam(const Bvh& bvh, const Scene& scene, Vec3 origin, Vec3 light, float radius,
                      std::span<const Vec3> directions, ShadowBeam& beam);

// acceleratedIsBlocked for one ray of a gathered beam. Asks `lastBlocker`
// (an object index, or -1) first and sets it to the blocker it finds.
bool beamRayIsBlocked(const Bvh& bvh, const Scene& scene, const ShadowBeam& beam, Ray ray, int& lastBlocker);
