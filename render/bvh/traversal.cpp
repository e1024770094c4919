#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "render/bvh/traversal.h"

#include "render/bvh/bounds.h"
#include "render/bvh/bvh.h"
#include "render/bvh/direction_table.h"
#include "render/bvh/lanes.h"
#include "render/bvh/ray_frame.h"

namespace {

// The linear search keeps the first of equal parameters. Visiting objects in
// another order, accept an equal parameter from an earlier object too; such
// an object is asked with a limit just above the best, so that a polygon can
// report a hit exactly at it (its miss then returns that limit, above the best).
// Set up by start alone, so that a packet's array of them costs nothing until used.
struct NearestQuery {
    const Bvh* bvh;
    const std::vector<SceneObject>* objects;
    Ray ray;
    float t;
    int index;
    Vec3 normal;  // of the best, unless a lane found it
    LaneKind laneKind;

    // Asks first the objects that no tree holds for this ray.
    void start(const Bvh& hierarchy, const std::vector<SceneObject>& sceneObjects, const Ray& r);

    void test(std::int32_t j) {
        const bool earlier = index >= 0 && j < index;
        const float limit = earlier ? std::nextafter(t, std::numeric_limits<float>::infinity()) : t;
        const SceneObject& object = (*objects)[static_cast<std::size_t>(j)];
        const PreparedShape prepared = bvh->preparedOf(j, object.kind);
        if (object.kind == ObjectKind::Polygon && !prepared.fan.empty()) {
            // A polygon's normal is its first fan triangle's, whichever was
            // hit: like a triangle lane's, it is made only for the final hit.
            const float hit = fanParameter(prepared.fan, ray, limit);
            if (hit < t || (earlier && hit == t)) {
                t = hit;
                index = j;
                laneKind = LaneKind::Triangle;
            }
            return;
        }
        float entry = 0.0f, exit = kNoHit;
        Vec3 n{};
        const float hit = intersectObject(object, ray, limit, n, entry, exit, prepared);
        if (entry < exit && (hit < t || (earlier && hit == t))) {
            t = hit;
            index = j;
            normal = n;
            laneKind = LaneKind::Other;
        }
    }

    // test(j) for a one-triangle polygon or a sphere whose lane found it at
    // `laneT`. Farther than the best, neither routine's answer is taken;
    // nearer, both return laneT.
    void testLane(std::int32_t j, LaneKind kind, float laneT) {
        if (!(laneT <= t)) return;
        const bool earlier = index >= 0 && j < index;
        if (!(laneT < t || earlier)) return;
        t = laneT;
        index = j;
        laneKind = kind;
    }

    // Every item of a leaf; never ends the walk.
    bool testItems(std::int32_t first, std::int32_t count);

    double reach() const { return reachOf(t); }

    // The answer as findNearestHit gives it: the normal the best one's own
    // routine yields (a lane's computed only now), normalised.
    void finish(float& hitT, int& objectIndex, Vec3& hitNormal) const {
        if (index >= 0) {
            objectIndex = index;
            hitNormal = normal;
            const auto j = static_cast<std::size_t>(index);
            if (laneKind != LaneKind::Other) {
                Vec3 n{};
                if (laneKind == LaneKind::Triangle) {
                    normalize(bvh->shapes.fans[static_cast<std::size_t>(bvh->shapes.fanStart[j])].n, n);
                } else {
                    normalize(pointAt(ray.origin, t, ray.direction) - (*objects)[j].center, n);
                }
                hitNormal = n;
            }
        }
        normalize(hitNormal, hitNormal);
        hitT = t;
    }
};

// A leaf's items in order, four triangles or spheres at a time through the
// lanes; `lane(j, kind, t)` takes a lane that found its item at t (the
// others found nothing to take), `other(j)` asks any other item itself.
// Returns true when one of them ends the walk.
template <typename Lane, typename Other>
bool testLeaf(const Bvh& bvh, const Ray& ray, std::int32_t first, std::int32_t count, const Lane& lane,
              const Other& other) {
    const auto begin = static_cast<std::size_t>(first), end = begin + static_cast<std::size_t>(count);
    // The build starts every leaf at a block.
    for (std::size_t group = begin; group < end; group += 4) {
        const LeafBlock& block = bvh.leaves.blocks[group / 4];
        const std::size_t size = std::min<std::size_t>(4, end - group);
        const unsigned used = (1u << size) - 1u;
        const unsigned triangles = block.triangles & used, spheres = block.spheres & used, others = block.others & used;
        FourHits triangleHits{}, sphereHits{};
        if (triangles != 0) triangleHits = hitFourTriangles(block, ray);
        if (spheres != 0) sphereHits = hitFourSpheres(block, ray);
        for (unsigned asked = (triangleHits.found & triangles) | (sphereHits.found & spheres) | others; asked != 0;
             asked &= asked - 1) {
            const auto k = static_cast<unsigned>(std::countr_zero(asked));
            const std::int32_t j = block.objects[k];
            const bool stop = (others >> k & 1u) != 0      ? other(j)
                              : (triangles >> k & 1u) != 0 ? lane(j, LaneKind::Triangle, triangleHits.t[k])
                                                           : lane(j, LaneKind::Sphere, sphereHits.t[k]);
            if (stop) return true;
        }
    }
    return false;
}

bool NearestQuery::testItems(std::int32_t first, std::int32_t count) {
    return testLeaf(
        *bvh, ray, first, count,
        [this](std::int32_t j, LaneKind kind, float laneT) {
            testLane(j, kind, laneT);
            return false;
        },
        [this](std::int32_t j) {
            test(j);
            return false;
        });
}

void NearestQuery::start(const Bvh& hierarchy, const std::vector<SceneObject>& sceneObjects, const Ray& r) {
    bvh = &hierarchy;
    objects = &sceneObjects;
    ray = r;
    t = kNoHit;
    index = -1;
    normal = {};
    laneKind = LaneKind::Other;
    for (const std::int32_t j : bvh->alwaysTested) test(j);
    const auto [first, last] = parallelCylinders(*bvh, ray);
    for (const std::int32_t* j = first; j != last; ++j) test(*j);
}

struct Pending {
    std::int32_t node;
    double entry;
};

// The node test for rays from anywhere: each node widened for this ray.
struct WidenedPerRay {
    const Bvh& bvh;
    const RayFrame& frame;
    double operator()(std::int32_t node, double tMax) const {
        return enterNode(bvh.nodes[static_cast<std::size_t>(node)], frame, tMax);
    }
};

// Walks the tree from `root`, nearer child first, never into a node that
// the ray enters beyond `reach()`. `leaf(first, count)` tests a leaf's items
// and returns true to end the walk, as an any-hit question does.
template <typename NodeTest, typename Reach, typename Leaf>
bool walk(const Bvh& bvh, std::int32_t root, const NodeTest& enter, const Reach& reach, const Leaf& leaf) {
    std::array<Pending, kStackSize> stack;
    int top = 0;
    const double rootEntry = enter(root, reach());
    if (rootEntry != kFarAway) stack[top++] = {root, rootEntry};
    while (top > 0) {
        const Pending pending = stack[--top];
        const double tMax = reach();
        if (pending.entry > tMax) continue;
        const BvhNode& node = bvh.nodes[static_cast<std::size_t>(pending.node)];
        if (node.count > 0) {
            if (leaf(node.first, node.count)) return true;
            continue;
        }
        std::int32_t near = pending.node + 1, far = node.first;
        double nearEntry = enter(near, tMax);
        double farEntry = enter(far, tMax);
        if (farEntry < nearEntry) {
            std::swap(near, far);
            std::swap(nearEntry, farEntry);
        }
        if (farEntry != kFarAway) stack[top++] = {far, farEntry};
        if (nearEntry != kFarAway) stack[top++] = {near, nearEntry};
    }
    return false;
}

// The wide walks' margins for their float rounding (see walkWide).
constexpr float kStretch = 1.0f + 4.0f * 0x1p-23f;
constexpr float kShrink = 1.0f - 4.0f * 0x1p-23f;

// 1 / d for the wide walks' slab tests, always finite, so that no product
// with a box's distance is NaN: a huge slope stands in for infinity where d
// is 0, the largest float where 1 / d overflows.
float slopeOf(float d) {
    if (d == 0.0f) return std::copysign(0x1p100f, d);
    const float slope = 1.0f / d;
    return std::isfinite(slope) ? slope : std::copysign(std::numeric_limits<float>::max(), d);
}

// One axis of the wide walks' slab test of four boxes: a and b are where
// the ray crosses the two planes; the entries gather in t0, the exits,
// stretched for their rounding, in t1.
void clipToSlab(Lanes a, Lanes b, Lanes& t0, Lanes& t1) {
    t0 = larger(t0, smaller(a, b));
    t1 = smaller(t1, larger(a, b) * kStretch);
}

// The children whose boxes the slab test met, bit k for child k; never an
// empty slot.
unsigned childrenMet(const WideNode& node, Lanes t0, Lanes t1) {
    LaneMask used;
    std::memcpy(&used, node.count, sizeof used);
    return bitsOf((t0 <= t1) & (used >= LaneMask{0, 0, 0, 0}));
}

// Inserts `v` into sorted[0 .. count), kept farthest entry first.
template <typename Visit>
void insertByEntry(std::array<Visit, 4>& sorted, int& count, const Visit& v) {
    int at = count++;
    while (at > 0 && sorted[static_cast<std::size_t>(at - 1)].entry < v.entry) {
        sorted[static_cast<std::size_t>(at)] = sorted[static_cast<std::size_t>(at - 1)];
        --at;
    }
    sorted[static_cast<std::size_t>(at)] = v;
}

// The children met, nearest last: the others wait on the stack, farthest
// deepest, and the nearest is visited next.
template <typename Visit, std::size_t N>
Visit pushAllButNearest(const std::array<Visit, 4>& sorted, int count, std::array<Visit, N>& stack, int& top) {
    for (int k = 0; k + 1 < count; ++k) stack[static_cast<std::size_t>(top++)] = sorted[static_cast<std::size_t>(k)];
    return sorted[static_cast<std::size_t>(count - 1)];
}

// The walk of a region's wide tree: one float slab test meets four
// children at once. Its rounding is covered as in the classic robust float
// slab test: the far parameters are stretched by 2 gamma(3) (three roundings
// each of 2^-24) and the near ones shrunk as much before they are compared
// with a reach, itself raised past its rounding to float.
template <typename Reach, typename Leaf>
bool walkWide(const OriginRegion& region, const Ray& ray, const Reach& reach, const Leaf& leaf) {
    const float o[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
    const float d[3] = {ray.direction.x, ray.direction.y, ray.direction.z};
    Lanes origin[3], inverse[3];
    for (int i = 0; i < 3; ++i) {
        origin[i] = broadcast(o[i]);
        inverse[i] = broadcast(slopeOf(d[i]));
    }
    struct Visit {
        std::int32_t node;   // a wide node, or a leaf's first item
        std::int32_t count;  // a leaf's items; 0 for a wide node
        float entry;
    };
    std::array<Visit, 3 * kStackSize> stack;
    int top = 0;
    for (auto root = region.roots.rbegin(); root != region.roots.rend(); ++root) stack[top++] = {*root, 0, 0.0f};
    // The reach changes only when a leaf finds something.
    float tMax = static_cast<float>(reach()) * kStretch;
    while (top > 0) {
        Visit visit = stack[--top];
        if (visit.entry > tMax) continue;
        // Down the nearest child met; the others wait on the stack, farthest deepest.
        for (;;) {
            if (visit.count > 0) {
                if (leaf(visit.node, visit.count)) return true;
                tMax = static_cast<float>(reach()) * kStretch;
                break;
            }
            const WideNode& node = region.nodes[static_cast<std::size_t>(visit.node)];
            Lanes t0 = broadcast(0.0f), t1 = broadcast(tMax);
            for (int i = 0; i < 3; ++i) {
                clipToSlab((lanesOf(node.lower[i]) - origin[i]) * inverse[i],
                           (lanesOf(node.upper[i]) - origin[i]) * inverse[i], t0, t1);
            }
            unsigned met = childrenMet(node, t0, t1);
            if (met == 0) break;
            const Lanes entry = t0 * kShrink;
            const auto childOf = [&](unsigned k) { return Visit{node.child[k], node.count[k], entry[k]}; };
            const auto first = static_cast<unsigned>(std::countr_zero(met));
            met &= met - 1;
            if (met == 0) {
                visit = childOf(first);
                continue;
            }
            // Two or more: sorted farthest first, all but the nearest pushed.
            std::array<Visit, 4> sorted;
            sorted[0] = childOf(first);
            int count = 1;
            for (; met != 0; met &= met - 1) {
                insertByEntry(sorted, count, childOf(static_cast<unsigned>(std::countr_zero(met))));
            }
            visit = pushAllButNearest(sorted, count, stack, top);
        }
    }
    return false;
}

// Every root, with the walk that fits the ray's origin.
template <typename Reach, typename Leaf>
bool walkAll(const Bvh& bvh, const Ray& ray, const Reach& reach, const Leaf& leaf) {
    if (bvh.eye.holds(ray.origin)) return walkWide(bvh.eye, ray, reach, leaf);
    if (bvh.surfaces.holds(ray.origin)) return walkWide(bvh.surfaces, ray, reach, leaf);
    const RayFrame frame = frameOf(ray);
    for (const std::int32_t root : bvh.roots) {
        if (walk(bvh, root, WidenedPerRay{bvh, frame}, reach, leaf)) return true;
    }
    return false;
}

// The rays of a packet share their origin; their slopes span, per axis,
// [least, most]. Every product (box - origin) * slope a ray forms lies between
// the products with those two, since rounding keeps order, so the packet
// meets a child wherever one of its rays would in walkWide.
struct Packet {
    std::size_t size = 0;
    std::array<std::uint8_t, kMaxPacketRays> ray;  // into the caller's rays
    std::array<NearestQuery, kMaxPacketRays> queries;
    std::array<std::array<float, kMaxPacketRays>, 3> slope;
    std::array<float, kMaxPacketRays> tMax;  // each ray's reach, as walkWide raises it
    Lanes origin[3];
    Lanes least[3], most[3];
};

// Bit m for each member whose own test of walkWide meets box `lane` of
// `node` within its present reach: four members at a time.
std::uint64_t membersMeeting(const Packet& packet, const WideNode& node, int lane) {
    Lanes lower[3], upper[3];
    for (int i = 0; i < 3; ++i) {
        lower[i] = broadcast(node.lower[i][lane]) - packet.origin[i];
        upper[i] = broadcast(node.upper[i][lane]) - packet.origin[i];
    }
    std::uint64_t members = 0;
    for (std::size_t m = 0; m < packet.size; m += 4) {
        Lanes t0 = broadcast(0.0f), t1 = lanesOf(&packet.tMax[m]);
        for (int i = 0; i < 3; ++i) {
            const Lanes slope = lanesOf(&packet.slope[static_cast<std::size_t>(i)][m]);
            clipToSlab(lower[i] * slope, upper[i] * slope, t0, t1);
        }
        members |= static_cast<std::uint64_t>(bitsOf(t0 <= t1)) << m;
    }
    // Past the last member the lanes hold copies of it.
    return packet.size == 64 ? members : members & ((std::uint64_t{1} << packet.size) - 1);
}

// The packet's walk of the eye's wide tree: a node is entered when the
// packet as a whole meets it; a leaf is tested by each member that meets it
// by walkWide's own test when its turn comes.
void walkPacket(const OriginRegion& region, Packet& packet) {
    struct Visit {
        std::int32_t node;   // a wide node, or a leaf's first item
        std::int32_t count;  // a leaf's items; 0 for a wide node
        float entry;
        std::int32_t parent;  // a leaf's: the wide node and lane that hold its box
        int lane;
    };
    const auto furthest = [&packet] {
        float most = 0.0f;
        for (std::size_t m = 0; m < packet.size; ++m) most = std::max(most, packet.tMax[m]);
        return most;
    };
    float packetMax = furthest();
    std::array<Visit, 3 * kStackSize> stack;
    int top = 0;
    for (auto root = region.roots.rbegin(); root != region.roots.rend(); ++root) stack[top++] = {*root, 0, 0.0f, 0, 0};
    while (top > 0) {
        Visit visit = stack[--top];
        if (visit.entry > packetMax) continue;
        for (;;) {
            if (visit.count > 0) {
                const WideNode& parent = region.nodes[static_cast<std::size_t>(visit.parent)];
                for (std::uint64_t rays = membersMeeting(packet, parent, visit.lane); rays != 0; rays &= rays - 1) {
                    const auto m = static_cast<std::size_t>(std::countr_zero(rays));
                    NearestQuery& query = packet.queries[m];
                    query.testItems(visit.node, visit.count);
                    packet.tMax[m] = static_cast<float>(query.reach()) * kStretch;
                }
                packetMax = furthest();
                break;
            }
            const WideNode& node = region.nodes[static_cast<std::size_t>(visit.node)];
            Lanes t0 = broadcast(0.0f), t1 = broadcast(packetMax);
            for (int i = 0; i < 3; ++i) {
                const Lanes lower = lanesOf(node.lower[i]) - packet.origin[i];
                const Lanes upper = lanesOf(node.upper[i]) - packet.origin[i];
                const Lanes a = lower * packet.least[i], b = lower * packet.most[i];
                const Lanes c = upper * packet.least[i], d = upper * packet.most[i];
                clipToSlab(smaller(smaller(a, b), smaller(c, d)), larger(larger(a, b), larger(c, d)), t0, t1);
            }
            unsigned met = childrenMet(node, t0, t1);
            if (met == 0) break;
            const Lanes entry = t0 * kShrink;
            std::array<Visit, 4> sorted;
            int count = 0;
            for (; met != 0; met &= met - 1) {
                const auto k = static_cast<unsigned>(std::countr_zero(met));
                insertByEntry(sorted, count,
                              Visit{node.child[k], node.count[k], entry[k], visit.node, static_cast<int>(k)});
            }
            visit = pushAllButNearest(sorted, count, stack, top);
        }
    }
}

}  // namespace

std::uint64_t acceleratedNearestHits(const Bvh& bvh, const Scene& scene, std::span<const Ray> rays,
                                     std::span<NearestHit> hits) {
    if (rays.empty() || rays.size() > kMaxPacketRays || bvh.objectCount != scene.objectList.size()) return 0;
    const Vec3 origin = rays[0].origin;
    if (!bvh.eye.holds(origin)) return 0;
    Packet packet;
    for (std::size_t r = 0; r < rays.size(); ++r) {
        const Ray& ray = rays[r];
        if (std::memcmp(&ray.origin, &origin, sizeof origin) != 0 || !boundable(ray)) continue;
        const std::size_t m = packet.size++;
        packet.ray[m] = static_cast<std::uint8_t>(r);
        packet.slope[0][m] = slopeOf(ray.direction.x);
        packet.slope[1][m] = slopeOf(ray.direction.y);
        packet.slope[2][m] = slopeOf(ray.direction.z);
        NearestQuery& query = packet.queries[m];
        query.start(bvh, scene.objectList, ray);
        packet.tMax[m] = static_cast<float>(query.reach()) * kStretch;
    }
    if (packet.size == 0) return 0;
    // Groups of four members load as lanes; the last group is padded with its last member.
    for (std::size_t m = packet.size; m % 4 != 0; ++m) {
        for (std::size_t i = 0; i < 3; ++i) packet.slope[i][m] = packet.slope[i][packet.size - 1];
        packet.tMax[m] = packet.tMax[packet.size - 1];
    }
    const float o[3] = {origin.x, origin.y, origin.z};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto first = packet.slope[i].begin(), last = first + static_cast<std::ptrdiff_t>(packet.size);
        const auto [least, most] = std::minmax_element(first, last);
        packet.origin[i] = broadcast(o[i]);
        packet.least[i] = broadcast(*least);
        packet.most[i] = broadcast(*most);
    }
    walkPacket(bvh.eye, packet);
    std::uint64_t answered = 0;
    for (std::size_t m = 0; m < packet.size; ++m) {
        NearestHit& hit = hits[packet.ray[m]];
        packet.queries[m].finish(hit.t, hit.objectIndex, hit.normal);
        answered |= std::uint64_t{1} << packet.ray[m];
    }
    return answered;
}

bool acceleratedNearestHit(const Bvh& bvh, const Scene& scene, const Ray& ray, float& t, int& objectIndex,
                           Vec3& normal) {
    if (bvh.objectCount != scene.objectList.size() || !boundable(ray)) return false;
    NearestQuery query;
    query.start(bvh, scene.objectList, ray);
    walkAll(
        bvh, ray, [&query] { return query.reach(); },
        [&query](std::int32_t first, std::int32_t count) { return query.testItems(first, count); });
    query.finish(t, objectIndex, normal);
    return true;
}

bool blockedOutsideTrees(const Bvh& bvh, const Scene& scene, const Ray& ray) {
    const auto blocks = [&](std::int32_t j) { return objectBlocks(bvh, scene, j, ray); };
    const auto [first, last] = parallelCylinders(bvh, ray);
    return std::any_of(bvh.alwaysTested.begin(), bvh.alwaysTested.end(), blocks) || std::any_of(first, last, blocks);
}

std::optional<bool> acceleratedIsBlocked(const Bvh& bvh, const Scene& scene, const Ray& ray) {
    if (bvh.objectCount != scene.objectList.size() || !boundable(ray)) return std::nullopt;
    if (blockedOutsideTrees(bvh, scene, ray)) return true;
    const auto blocks = [&](std::int32_t j) { return objectBlocks(bvh, scene, j, ray); };
    const double reach = reachOf(1.0f);
    return walkAll(
        bvh, ray, [reach] { return reach; },
        [&](std::int32_t firstItem, std::int32_t count) {
            // A triangle or sphere blocks where its routine would return a t below 1.
            return testLeaf(
                bvh, ray, firstItem, count, [](std::int32_t, LaneKind, float laneT) { return laneT < 1.0f; }, blocks);
        });
}
