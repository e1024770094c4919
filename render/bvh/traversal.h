// Questions the hierarchy answers for one ray, or for a packet of rays from
// the eye, exactly as the linear search answers them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "geometry/vec3.h"
#include "render/bvh/bvh.h"
#include "render/object_hit.h"
#include "scene/scene.h"

// The nearest hit as findNearestHit defines it (ties to the earlier object,
// the normal that object's own routine yields, normalised). Returns false,
// touching nothing, for a ray it cannot bound or a scene it was not built for.
bool acceleratedNearestHit(const Bvh& bvh, const Scene& scene, const Ray& ray, float& t, int& objectIndex,
                           Vec3& normal);

// acceleratedNearestHit for up to kMaxPacketRays rays that start together at
// the eye, walked through the tree as one packet. Returns the rays it
// answered, bit r for rays[r]; the others are left to the caller.
inline constexpr std::size_t kMaxPacketRays = 64;
std::uint64_t acceleratedNearestHits(const Bvh& bvh, const Scene& scene, std::span<const Ray> rays,
                                     std::span<NearestHit> hits);

// Whether any object is hit strictly before parameter 1, as isShadowed
// defines it; no answer where acceleratedNearestHit would return false.
std::optional<bool> acceleratedIsBlocked(const Bvh& bvh, const Scene& scene, const Ray& ray);
// The part of that question the trees leave out: whether an object tested
// on every ray, or a cylinder seen almost along its axis, blocks the ray.
bool blockedOutsideTrees(const Bvh& bvh, const Scene& scene, const Ray& ray);
