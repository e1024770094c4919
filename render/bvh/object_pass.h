// The one pass over the scene's objects that a build begins with: each
// object's prepared shape, its bound, and the items the trees are built
// from. Large scenes are passed over in two runs side by side, joined in
// object order.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "render/bvh/bounds.h"
#include "render/bvh/lanes.h"
#include "render/bvh/leaf_lanes.h"
#include "render/bvh/prepared_shapes.h"
#include "scene/scene.h"

// Object j rides in lane 3 of an item's `upper` as the float with bits
// kObjectBits + j: a normal float from 2 up (for any index below 2^30 - 2^23),
// which the lanes carry through their sums and comparisons without a NaN or
// a subnormal, and which no axis reads.
inline constexpr std::int32_t kObjectBits = 0x40000000;

// An object's box with its constant margin, already rounded outwards to
// float: the float minimum of rounded values is the rounded minimum, so the
// nodes get the same boxes as from the exact values. Lane 3 of `lower` is
// the item's triangle within its polygon's fan, a small whole number (0 for
// every other object), which no axis reads either. 32 bytes, since every
// level of the tree moves every item.
struct BuildItem {
    Lanes lower;
    Lanes upper;

    std::int32_t object() const { return std::bit_cast<std::int32_t>(upper[3]) - kObjectBits; }
    std::uint8_t piece() const { return static_cast<std::uint8_t>(lower[3]); }
};

// An object's widening, rounded up, kept beside the items by object index:
// only leaves read it.
struct ItemMargins {
    float linear, quadratic, root;
};

// What one pass over a run of objects yields, to be joined in order to
// that of the runs before it.
struct ObjectPass {
    PreparedShapes shapes;  // numbered within the run
    std::vector<std::int32_t> alwaysTested;
    std::vector<std::int32_t> boundedCylinders;
    std::vector<BuildItem> tight, loose;
    std::size_t boundedObjects = 0;
    // Around the exact boxes, for the region of the surfaces.
    double lower[3] = {kFarAway, kFarAway, kFarAway}, upper[3] = {-kFarAway, -kFarAway, -kFarAway};
};

// Objects [begin, end) into `pass`, each read once; laneKinds[j] and
// margins[j] of each object j among them.
void passOver(const std::vector<SceneObject>& objects, std::size_t begin, std::size_t end,
              std::vector<LaneKind>& laneKinds, std::vector<ItemMargins>& margins, ObjectPass& pass);

// The second run's objects join the first's, their prepared shapes
// numbered on from the first's.
void joinPasses(ObjectPass& first, ObjectPass& second, std::span<const SceneObject> secondObjects);
