#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "geometry/intersect.h"
#include "render/bvh.h"
#include "render/bvh_bounds.h"
#include "render/bvh_direction_table.h"

namespace {

constexpr int kMaxLeafSize = 8;
constexpr int kBins = 16;
constexpr std::size_t kSampledItems = 2048;

struct BuildItem {
    std::array<double, 3> lower, upper, centroid;
    double linear, quadratic, root;
    std::int32_t object;
};

struct Box3 {
    std::array<double, 3> lower{kFarAway, kFarAway, kFarAway};
    std::array<double, 3> upper{-kFarAway, -kFarAway, -kFarAway};

    void add(const std::array<double, 3>& lo, const std::array<double, 3>& hi) {
        for (int i = 0; i < 3; ++i) {
            lower[i] = std::min(lower[i], lo[i]);
            upper[i] = std::max(upper[i], hi[i]);
        }
    }
    double halfArea() const {
        if (lower[0] > upper[0]) return 0.0;
        const double x = upper[0] - lower[0], y = upper[1] - lower[1], z = upper[2] - lower[2];
        return x * y + y * z + z * x;
    }
};

class Builder {
public:
    Builder(std::vector<BuildItem>& items, Bvh& bvh) : items_(items), bvh_(bvh) {}

    void build(std::size_t begin, std::size_t end, int depth) {
        const std::size_t index = bvh_.nodes.size();
        bvh_.nodes.emplace_back();
        Box3 bounds, centroids;
        double linear = 0.0, quadratic = 0.0, root = 0.0;
        for (std::size_t i = begin; i < end; ++i) {
            bounds.add(items_[i].lower, items_[i].upper);
            centroids.add(items_[i].centroid, items_[i].centroid);
            linear = std::max(linear, items_[i].linear);
            quadratic = std::max(quadratic, items_[i].quadratic);
            root = std::max(root, items_[i].root);
        }
        BvhNode& node = bvh_.nodes[index];
        for (int i = 0; i < 3; ++i) {
            node.lower[i] = floatBelow(bounds.lower[i]);
            node.upper[i] = floatAbove(bounds.upper[i]);
        }
        node.linear = floatAbove(linear);
        node.quadratic = floatAbove(quadratic);
        node.root = floatAbove(root);

        const std::size_t count = end - begin;
        std::size_t middle = begin;
        if (count > 1 && depth < kMaxBvhDepth) middle = split(begin, end, bounds, centroids);
        if (middle == begin) {
            makeLeaf(index, begin, end);
            return;
        }
        build(begin, middle, depth + 1);
        bvh_.nodes[index].first = static_cast<std::int32_t>(bvh_.nodes.size());
        bvh_.nodes[index].count = 0;
        build(middle, end, depth + 1);
    }

private:
    void makeLeaf(std::size_t index, std::size_t begin, std::size_t end) {
        // Every leaf starts a block of four for the lanes.
        while (bvh_.items.size() % 4 != 0) {
            bvh_.items.push_back(-1);
            bvh_.itemBounds.emplace_back();
        }
        bvh_.nodes[index].first = static_cast<std::int32_t>(bvh_.items.size());
        bvh_.nodes[index].count = static_cast<std::int32_t>(end - begin);
        for (std::size_t i = begin; i < end; ++i) {
            bvh_.items.push_back(items_[i].object);
            BvhNode own{};
            for (int a = 0; a < 3; ++a) {
                own.lower[a] = floatBelow(items_[i].lower[a]);
                own.upper[a] = floatAbove(items_[i].upper[a]);
            }
            own.linear = floatAbove(items_[i].linear);
            own.quadratic = floatAbove(items_[i].quadratic);
            own.root = floatAbove(items_[i].root);
            bvh_.itemBounds.push_back(own);
        }
    }

    // Binned surface-area heuristic. Returns begin for a leaf.
    std::size_t split(std::size_t begin, std::size_t end, const Box3& bounds, const Box3& centroids) {
        const std::size_t count = end - begin;
        double bestCost = std::numeric_limits<double>::infinity();
        int bestAxis = -1, bestBin = 0;
        // One pass over the items bins them along all three axes.
        std::array<std::array<Box3, kBins>, 3> binsOf{};
        std::array<std::array<std::size_t, kBins>, 3> countsOf{};
        std::array<double, 3> scale{};
        for (int axis = 0; axis < 3; ++axis) {
            const double extent = centroids.upper[axis] - centroids.lower[axis];
            scale[axis] = extent > 0.0 ? kBins / extent : 0.0;
        }
        // A large node chooses its split from an even sample of its items:
        // the shape of the tree never changes an answer, only its speed.
        const std::size_t stride = std::max<std::size_t>(1, count / kSampledItems);
        const std::size_t sampled = (count + stride - 1) / stride;
        for (std::size_t i = begin; i < end; i += stride) {
            const BuildItem& item = items_[i];
            for (int axis = 0; axis < 3; ++axis) {
                const int bin = binOf(item.centroid[axis], centroids.lower[axis], scale[axis]);
                binsOf[axis][bin].add(item.lower, item.upper);
                ++countsOf[axis][bin];
            }
        }
        for (int axis = 0; axis < 3; ++axis) {
            if (!(scale[axis] > 0.0)) continue;
            const std::array<Box3, kBins>& bins = binsOf[axis];
            const std::array<std::size_t, kBins>& counts = countsOf[axis];
            std::array<double, kBins> rightCost{};
            Box3 right;
            std::size_t rightCount = 0;
            for (int bin = kBins - 1; bin > 0; --bin) {
                right.add(bins[bin].lower, bins[bin].upper);
                rightCount += counts[bin];
                rightCost[bin] = right.halfArea() * blocksOf(rightCount * stride);
            }
            Box3 left;
            std::size_t leftCount = 0;
            for (int bin = 0; bin + 1 < kBins; ++bin) {
                left.add(bins[bin].lower, bins[bin].upper);
                leftCount += counts[bin];
                if (leftCount == 0 || leftCount == sampled) continue;
                const double cost = left.halfArea() * blocksOf(leftCount * stride) + rightCost[bin + 1];
                if (cost < bestCost) {
                    bestCost = cost;
                    bestAxis = axis;
                    bestBin = bin;
                }
            }
        }
        if (bestAxis < 0) return begin;  // all centroids coincide
        // A node visit costs about half an intersection test.
        const double splitCost = 0.5 + bestCost / bounds.halfArea();
        if (count <= kMaxLeafSize && splitCost >= blocksOf(count)) return begin;
        const double lo = centroids.lower[bestAxis], binScale = scale[bestAxis];
        const auto middle = std::partition(
            items_.begin() + static_cast<std::ptrdiff_t>(begin), items_.begin() + static_cast<std::ptrdiff_t>(end),
            [&](const BuildItem& item) { return binOf(item.centroid[bestAxis], lo, binScale) <= bestBin; });
        return static_cast<std::size_t>(middle - items_.begin());
    }

    // Leaves test their items four at a time: four cost about as much as one.
    static double blocksOf(std::size_t items) { return static_cast<double>((items + 3) / 4); }

    static int binOf(double value, double lo, double scale) {
        const int bin = static_cast<int>((value - lo) * scale);
        return std::clamp(bin, 0, kBins - 1);
    }

    std::vector<BuildItem>& items_;
    Bvh& bvh_;
};

// The largest widening of `node` for an origin anywhere in [lower, upper]:
// every term of the per-ray widening grows with the distances from the
// origin to the box, which are largest at a corner of the region.
double largestMargin(const BvhNode& node, const double lower[3], const double upper[3]) {
    double far = 0.0, farSquared = 0.0, originSize = 0.0;
    for (int i = 0; i < 3; ++i) {
        const double reach = std::max({std::fabs(lower[i] - node.lower[i]), std::fabs(lower[i] - node.upper[i]),
                                       std::fabs(upper[i] - node.lower[i]), std::fabs(upper[i] - node.upper[i])});
        far += reach;
        farSquared += reach * reach;
        originSize = std::max({originSize, std::fabs(lower[i]), std::fabs(upper[i])});
    }
    const double margin = node.linear * (far + originSize) + std::min(node.quadratic * farSquared, node.root * far);
    return margin * (1.0 + 0x1p-40);  // the rounding of this sum
}

// A box no ray can reach: its distance from any origin a region holds,
// over the largest direction a ray may have, is far beyond kNoHit.
constexpr float kOutOfReach = 3e37f;

double halfArea(const BvhNode& node) {
    const double x = node.upper[0] - node.lower[0], y = node.upper[1] - node.lower[1],
                 z = node.upper[2] - node.lower[2];
    return x * y + y * z + z * x;
}

// The wide node over binary node `binary`'s children (or over `binary`
// itself, a leaf standing as a root), opening the largest inner child into
// its two until four are side by side. Returns its index.
std::int32_t collapse(const Bvh& bvh, const std::vector<std::array<float, 6>>& boxes, std::int32_t binary,
                      std::vector<WideNode>& wide) {
    std::array<std::int32_t, 4> slots{};
    int used = 0;
    const BvhNode& top = bvh.nodes[static_cast<std::size_t>(binary)];
    if (top.count > 0) {
        slots[used++] = binary;
    } else {
        slots[used++] = binary + 1;
        slots[used++] = top.first;
    }
    while (used < 4) {
        int widest = -1;
        for (int k = 0; k < used; ++k) {
            const BvhNode& node = bvh.nodes[static_cast<std::size_t>(slots[k])];
            if (node.count == 0 &&
                (widest < 0 || halfArea(node) > halfArea(bvh.nodes[static_cast<std::size_t>(slots[widest])]))) {
                widest = k;
            }
        }
        if (widest < 0) break;
        const BvhNode& node = bvh.nodes[static_cast<std::size_t>(slots[widest])];
        slots[used++] = node.first;
        slots[widest] = slots[widest] + 1;
    }
    const auto index = static_cast<std::int32_t>(wide.size());
    wide.emplace_back();
    for (int k = 0; k < 4; ++k) {
        std::int32_t child = 0, count = -1;
        std::array<float, 6> box{kOutOfReach, kOutOfReach, kOutOfReach, kOutOfReach, kOutOfReach, kOutOfReach};
        if (k < used) {
            const BvhNode& node = bvh.nodes[static_cast<std::size_t>(slots[k])];
            box = boxes[static_cast<std::size_t>(slots[k])];
            count = node.count;
            child = node.count > 0 ? node.first : collapse(bvh, boxes, slots[k], wide);
        }
        WideNode& out = wide[static_cast<std::size_t>(index)];  // the recursion may have moved it
        for (int axis = 0; axis < 3; ++axis) {
            out.lower[axis][k] = box[static_cast<std::size_t>(axis)];
            out.upper[axis][k] = box[static_cast<std::size_t>(axis + 3)];
        }
        out.child[k] = child;
        out.count[k] = count;
    }
    return index;
}

void widenFor(const Bvh& bvh, OriginRegion& region, const double lower[3], const double upper[3]) {
    for (int i = 0; i < 3; ++i) {
        region.lower[i] = floatBelow(lower[i]);
        region.upper[i] = floatAbove(upper[i]);
    }
    std::vector<std::array<float, 6>> boxes;
    boxes.reserve(bvh.nodes.size());
    for (const BvhNode& node : bvh.nodes) {
        const double margin = largestMargin(node, lower, upper);
        std::array<float, 6> box{};
        for (int i = 0; i < 3; ++i) {
            box[static_cast<std::size_t>(i)] = floatBelow(node.lower[i] - margin);
            box[static_cast<std::size_t>(i + 3)] = floatAbove(node.upper[i] + margin);
        }
        boxes.push_back(box);
    }
    region.nodes.reserve(bvh.nodes.size() / 2 + 1);
    for (const std::int32_t root : bvh.roots) region.roots.push_back(collapse(bvh, boxes, root, region.nodes));
}

// The eye, and the box around every bounded object with room for the float
// error of hit points and the offset of the rays that leave them.
void widenForOrigins(const Scene& scene, const std::vector<BuildItem>& items, Bvh& bvh) {
    const Vec3 eye = scene.camera.screenCenter + scene.camera.eyeOffset;  // as the primary rays form it
    const double at[3] = {eye.x, eye.y, eye.z};
    if (std::isfinite(at[0]) && std::isfinite(at[1]) && std::isfinite(at[2]) &&
        std::max({std::fabs(at[0]), std::fabs(at[1]), std::fabs(at[2])}) <= kLargest) {
        widenFor(bvh, bvh.eye, at, at);
    }
    if (items.empty()) return;
    double lower[3] = {kFarAway, kFarAway, kFarAway}, upper[3] = {-kFarAway, -kFarAway, -kFarAway};
    for (const BuildItem& item : items) {
        for (int i = 0; i < 3; ++i) {
            lower[i] = std::min(lower[i], item.lower[i]);
            upper[i] = std::max(upper[i], item.upper[i]);
        }
    }
    double size = 0.0;
    for (int i = 0; i < 3; ++i) size = std::max(size, upper[i] - lower[i]);
    for (int i = 0; i < 3; ++i) {
        const double room = 0.01 + 0.01 * size + 0x1p-20 * std::max(std::fabs(lower[i]), std::fabs(upper[i]));
        lower[i] -= room;
        upper[i] += room;
    }
    widenFor(bvh, bvh.surfaces, lower, upper);
}

}  // namespace

Bvh buildBvh(const Scene& scene) {
    Bvh bvh;
    const auto& objects = scene.objectList;
    bvh.objectCount = objects.size();
    std::vector<ObjectBound> bounds;
    bounds.reserve(objects.size());
    std::vector<BuildItem> tight, loose;
    for (std::size_t j = 0; j < objects.size(); ++j) {
        bounds.push_back(boundObject(objects[j]));
        const ObjectBound& b = bounds.back();
        if (b.fate == Fate::Always) bvh.alwaysTested.push_back(static_cast<std::int32_t>(j));
        if (b.fate != Fate::Bounded) continue;
        BuildItem item{};
        for (int i = 0; i < 3; ++i) {
            item.lower[i] = b.lower[i] - b.constant;
            item.upper[i] = b.upper[i] + b.constant;
            item.centroid[i] = 0.5 * (b.lower[i] + b.upper[i]);
        }
        item.linear = b.linear;
        item.quadratic = b.quadratic;
        item.root = b.root;
        item.object = static_cast<std::int32_t>(j);
        (b.linear <= kLooseLinear ? tight : loose).push_back(item);
    }
    bvh.nodes.reserve(2 * (tight.size() + loose.size()));
    bvh.items.reserve(tight.size() + loose.size());
    for (std::vector<BuildItem>* items : {&tight, &loose}) {
        if (items->empty()) continue;
        bvh.roots.push_back(static_cast<std::int32_t>(bvh.nodes.size()));
        Builder(*items, bvh).build(0, items->size(), 0);
    }
    tight.insert(tight.end(), loose.begin(), loose.end());
    widenForOrigins(scene, tight, bvh);
    buildDirectionTable(scene, bounds, bvh);
    bvh.fanStart.reserve(objects.size() + 1);
    bvh.fanStart.push_back(0);
    bvh.cylinderSlot.reserve(objects.size());
    for (const SceneObject& object : objects) {
        const auto& v = object.vertices;
        if (object.kind == ObjectKind::Polygon) {
            for (std::size_t i = 0; i + 2 < v.size(); ++i) bvh.fans.push_back(fanTriangle(v[0], v[i + 1], v[i + 2]));
        }
        bvh.fanStart.push_back(static_cast<std::int32_t>(bvh.fans.size()));
        bvh.cylinderSlot.push_back(-1);
        if (object.kind == ObjectKind::Cylinder) {
            bvh.cylinderSlot.back() = static_cast<std::int32_t>(bvh.cylinders.size());
            bvh.cylinders.push_back(cylinderAxes({object.top, object.center, object.radius}));
        }
    }
    bvh.bounded = tight.size();
    bvh.leaves.blocks.reserve(bvh.items.size() / 4 + 1);
    for (const std::int32_t j : bvh.items) {
        const SceneObject* object = j >= 0 ? &objects[static_cast<std::size_t>(j)] : nullptr;
        if (object && object->kind == ObjectKind::Polygon && object->vertices.size() == 3) {
            bvh.leaves.appendTriangle(j, bvh.fans[static_cast<std::size_t>(bvh.fanStart[static_cast<std::size_t>(j)])]);
        } else if (object && object->kind == ObjectKind::Sphere) {
            bvh.leaves.appendSphere(j, {object->center, object->radius});
        } else {
            bvh.leaves.appendOther(j);
        }
    }
    return bvh;
}
