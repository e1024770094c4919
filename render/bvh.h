// A bounding volume hierarchy over the scene's objects that answers exactly
// what the linear search in list order answers.
//
// render/bvh_bounds.h says what is bounded and how widely; the tree is built
// in bvh_build.cpp and walked in bvh_traversal.cpp; cylinders seen almost
// along their axis go through the table of bvh_direction_table.h, and hard
// shadows through each light's buffer of bvh_light_buffer.h; what the
// objects' routines would derive on every ray is kept in
// bvh_prepared_shapes.h. Rays that are not finite or of extreme magnitude
// take the linear search.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "geometry/shapes.h"
#include "geometry/vec3.h"
#include "render/bvh_light_buffer.h"
#include "render/bvh_prepared_shapes.h"
#include "render/hits.h"
#include "render/leaf_lanes.h"
#include "scene/scene.h"

// Deepest a tree grows; traversal stacks are sized by it.
inline constexpr int kMaxBvhDepth = 60;

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

inline constexpr float kEmptyLower = std::numeric_limits<float>::infinity();

// Four children side by side, their boxes already widened for every origin
// of a region and rounded outwards to float, so that one SIMD slab test
// meets all four.
struct alignas(64) WideNode {
    float lower[3][4];  // [axis][child]
    float upper[3][4];
    std::int32_t child[4];  // inner: a wide node; leaf: its first entry in `items`
    std::int32_t count[4];  // leaf: its number of items; inner: 0; an empty slot: -1
};

// Ray origins whose widening was applied once when the tree was built:
// exactly the eye, or anywhere near the surfaces (where every reflected,
// refracted and shadow ray starts).
struct OriginRegion {
    float lower[3] = {kEmptyLower, kEmptyLower, kEmptyLower};  // empty until built: holds nothing
    float upper[3] = {-kEmptyLower, -kEmptyLower, -kEmptyLower};
    // The same trees as the binary nodes, four children to a node.
    std::vector<WideNode> nodes;
    std::vector<std::int32_t> roots;

    bool holds(Vec3 p) const {
        return p.x >= lower[0] && p.x <= upper[0] && p.y >= lower[1] && p.y <= upper[1] && p.z >= lower[2] &&
               p.z <= upper[2];
    }
};

struct Bvh {
    // Two trees: objects with tight margins, and those whose margins grow
    // fast with distance (skewed boxes and ellipsoids), kept apart so they do
    // not widen the nodes of the others.
    std::vector<std::int32_t> roots;
    std::vector<BvhNode> nodes;
    std::vector<std::int32_t> items;         // object indices, leaf by leaf, each leaf from a multiple of 4 (-1 pads)
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
    std::size_t bounded = 0;      // objects in the trees
    PreparedShapes shapes;
    // Every item again, four to a block, for leaves that test four at once.
    LeafBlocks leaves;
    // Other origins have each node widened per ray.
    OriginRegion eye;
    OriginRegion surfaces;
    // One per light of the scene (up to a limit), for its hard shadows;
    // none in a scene of many objects, whose cells would be crowded.
    std::vector<LightBuffer> lightBuffers;

    PreparedShape preparedOf(std::int32_t object, ObjectKind kind) const { return shapes.of(object, kind); }

    std::size_t boundedCount() const { return bounded; }
};

// Whether object j blocks the ray strictly before parameter 1, asked with
// what the hierarchy prepared for it.
inline bool objectBlocks(const Bvh& bvh, const Scene& scene, std::int32_t j, const Ray& ray) {
    const SceneObject& object = scene.objectList[static_cast<std::size_t>(j)];
    return blocksBefore(object, ray, 1.0f, bvh.preparedOf(j, object.kind));
}

// Large scenes are built on two threads where there are two; the tree is
// the same either way.
enum class BuildThreads { Available, One };
Bvh buildBvh(const Scene& scene, BuildThreads threads = BuildThreads::Available);

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
bool beamRayIsBlocked(const Bvh& bvh, const Scene& scene, const ShadowBeam& beam, const Ray& ray, int& lastBlocker);
