// A bounding volume hierarchy over the scene's objects that answers exactly
// what the linear search in list order answers.
//
// bounds.h says what is bounded and how widely; the tree is built in
// build.cpp from one pass over the objects (object_pass.h) and collapsed
// into four-wide trees for the origin regions (wide.h); traversal.h walks
// it, shadow_beam.h serves soft shadows. Cylinders seen almost along their
// axis go through the table of direction_table.h, hard shadows through each
// light's buffer of light_buffer.h; what the objects' routines would derive
// on every ray is kept in prepared_shapes.h, and leaves test four items at
// once through leaf_lanes.h. Rays that are not finite or of extreme
// magnitude take the linear search.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "geometry/shapes.h"
#include "geometry/vec3.h"
#include "render/bvh/leaf_lanes.h"
#include "render/bvh/light_buffer.h"
#include "render/bvh/prepared_shapes.h"
#include "render/object_hit.h"
#include "scene/scene.h"

// Deepest a tree grows; traversal stacks are sized by it.
inline constexpr int kMaxBvhDepth = 60;
inline constexpr int kStackSize = kMaxBvhDepth + 4;

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
