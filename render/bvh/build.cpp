#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

#include "render/bvh/bounds.h"
#include "render/bvh/bvh.h"
#include "render/bvh/direction_table.h"
#include "render/bvh/lanes.h"
#include "render/bvh/object_pass.h"
#include "render/bvh/wide.h"

namespace {

constexpr int kMaxLeafSize = 8;
constexpr int kBins = 16;
constexpr double kGroupCost = 2.0;  // a leaf's test of four items, in single tests
constexpr std::size_t kSampledItems = 128;
constexpr std::size_t kSmallNode = 64;
constexpr std::size_t kFewItems = 16;
// Lights see scenes of at most this many objects through a buffer, and
// only so many lights (each buffer holds some 130 kB of cells).
constexpr std::size_t kMostBufferedObjects = 4096;
constexpr std::size_t kMostBufferedLights = 64;

// A node's widening covers each of its parts'.
void widenToCover(BvhNode& node, float linear, float quadratic, float root) {
    node.linear = std::max(node.linear, linear);
    node.quadratic = std::max(node.quadratic, quadratic);
    node.root = std::max(node.root, root);
}

// Twice the centre: binning needs only its order.
Lanes centreOf(const BuildItem& item) { return item.lower + item.upper; }

constexpr float kFloatFar = std::numeric_limits<float>::infinity();

struct LaneBox {
    Lanes lower{kFloatFar, kFloatFar, kFloatFar, 0.0f};
    Lanes upper{-kFloatFar, -kFloatFar, -kFloatFar, 0.0f};

    void add(Lanes lo, Lanes hi) {
        lower = smaller(lower, lo);
        upper = larger(upper, hi);
    }
    void add(const LaneBox& other) { add(other.lower, other.upper); }
    // In float: the heuristic only ranks splits.
    float halfArea() const {
        if (!(lower[0] <= upper[0])) return 0.0f;
        const Lanes d = upper - lower;
        return d[0] * d[1] + d[1] * d[2] + d[2] * d[0];
    }
};

// The axis along which the box is longest, the first of equal ones.
int longestAxis(const LaneBox& box) {
    const Lanes span = box.upper - box.lower;
    return span[0] >= span[1] && span[0] >= span[2] ? 0 : span[1] >= span[2] ? 1 : 2;
}

// The boxes around some items and around their centres.
struct Extent {
    LaneBox bounds;
    LaneBox centres;

    void add(const BuildItem& item) { add(item, centreOf(item)); }
    void add(const BuildItem& item, Lanes centre) {
        bounds.add(item.lower, item.upper);
        centres.add(centre, centre);
    }
};

// Floats as integers in the same order (-0 just below +0).
std::int32_t orderedBits(float value) {
    const auto bits = std::bit_cast<std::int32_t>(value);
    return bits ^ ((bits >> 31) & 0x7fffffff);
}
float fromOrderedBits(std::int32_t ordered) { return std::bit_cast<float>(ordered ^ ((ordered >> 31) & 0x7fffffff)); }

// Where a centre falls among the bins of one node, the same for binning and
// for the partition that follows it.
struct Binning {
    Lanes lower;
    Lanes scale;  // 0 on an axis whose centres coincide

    Binning(const LaneBox& centres) : lower(centres.lower), scale{} {
        for (int axis = 0; axis < 3; ++axis) {
            const float extent = centres.upper[axis] - centres.lower[axis];
            const float s = extent > 0.0f ? kBins / extent : 0.0f;
            scale[axis] = std::isfinite(s) ? s : 0.0f;
        }
    }
    // Per axis; a position beyond the last bin (rounding at the top) stays in it.
    std::array<int, 3> binsOf(Lanes centre) const {
        const Lanes at = (centre - lower) * scale;
        std::array<int, 3> bins{};
        for (int axis = 0; axis < 3; ++axis) bins[axis] = static_cast<int>(std::min(kBins - 1.0f, at[axis]));
        return bins;
    }
    int binOf(float coordinate, int axis) const {
        return static_cast<int>(std::min(kBins - 1.0f, (coordinate - lower[axis]) * scale[axis]));
    }
    int binOf(Lanes centre, int axis) const { return binOf(centre[axis], axis); }
    // The largest coordinate along `axis` in `bin` or below, from `low`, in
    // it, and `high`, beyond it: a bin never falls as its coordinate grows,
    // so comparing with this parts the items as their bins would.
    float lastIn(int bin, int axis, float low, float high) const {
        std::int64_t in = orderedBits(low), beyond = orderedBits(high);
        while (beyond - in > 1) {
            const std::int64_t middle = in + (beyond - in) / 2;
            (binOf(fromOrderedBits(static_cast<std::int32_t>(middle)), axis) <= bin ? in : beyond) = middle;
        }
        return fromOrderedBits(static_cast<std::int32_t>(in));
    }
};

// Items' boxes and numbers by the bin of their centre along one axis.
struct AxisBins {
    std::array<LaneBox, kBins> boxes;
    std::array<std::uint32_t, kBins> counts{};

    void add(int bin, const BuildItem& item) {
        boxes[bin].add(item.lower, item.upper);
        ++counts[bin];
    }
};

// A split after bin `bin` along `axis`, and its surface-area cost: each
// side's half area times its number of items.
struct Boundary {
    float cost = std::numeric_limits<float>::infinity();
    int axis = -1;  // none yet
    int bin = 0;
};

// Takes for `best` the cheapest boundary after an occupied bin along `axis`
// if it is cheaper; ties keep the earlier.
void weigh(const AxisBins& bins, int axis, Boundary& best) {
    // An empty bin's boundary costs what the one before it costs, and ties
    // go to the lower bin, so only occupied bins are weighed.
    std::array<int, kBins + 1> occupied;
    int used = 0;
    for (int bin = 0; bin < kBins; ++bin) {
        occupied[used] = bin;  // kept only when occupied, without a branch
        used += bins.counts[bin] > 0 ? 1 : 0;
    }
    std::array<float, kBins> rightCost{};  // of occupied[k..]
    LaneBox right;
    std::uint32_t rightCount = 0;
    for (int k = used - 1; k > 0; --k) {
        right.add(bins.boxes[occupied[k]]);
        rightCount += bins.counts[occupied[k]];
        rightCost[k] = right.halfArea() * static_cast<float>(rightCount);
    }
    LaneBox left;
    std::uint32_t leftCount = 0;
    for (int k = 0; k + 1 < used; ++k) {
        left.add(bins.boxes[occupied[k]]);
        leftCount += bins.counts[occupied[k]];
        const float cost = left.halfArea() * static_cast<float>(leftCount) + rightCost[k + 1];
        if (cost < best.cost) best = {cost, axis, occupied[k]};
    }
}

// Runs `first` on a new thread and `second` on this one when `parallel`,
// else one after the other; either way both have finished on return, and
// an exception from either is rethrown here.
template <class First, class Second>
void runBoth(bool parallel, const First& first, const Second& second) {
    std::exception_ptr failure;
    const auto guarded = [&failure](const auto& work) {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    };
    std::thread worker;
    if (parallel) {
        try {
            worker = std::thread([&] { guarded(first); });
        } catch (const std::system_error&) {
            // No thread to be had: the same work, one part after the other.
        }
    }
    if (!worker.joinable()) guarded(first);
    std::exception_ptr own;
    try {
        second();
    } catch (...) {
        own = std::current_exception();
    }
    if (worker.joinable()) worker.join();
    if (own) std::rethrow_exception(own);
    if (failure) std::rethrow_exception(failure);
}

// Subtrees of at least this many items are built side by side, down to
// this depth: which subtrees are split off depends on the items alone, so
// the tree is the same whether they run on threads or not.
constexpr std::size_t kParallelItems = 4096;
constexpr int kParallelDepth = 2;

bool useThreads(BuildThreads threads) {
    return threads == BuildThreads::Available && std::thread::hardware_concurrency() > 1;
}

// Leaves name their items by position in `items` until placeLeaves gives
// them their blocks of four in `Bvh::items`.
class Builder {
public:
    Builder(std::vector<BuildItem>& items, const std::vector<ItemMargins>& margins, bool parallel)
        : items_(items), margins_(margins), parallel_(parallel) {}

    void build(std::vector<BvhNode>& nodes) {
        Extent all;
        for (const BuildItem& item : items_) all.add(item);
        build(nodes, 0, items_.size(), 0, all);
    }

private:
    void build(std::vector<BvhNode>& nodes, std::size_t begin, std::size_t end, int depth, const Extent& extent) {
        const std::size_t index = nodes.size();
        BvhNode& node = nodes.emplace_back();
        for (int i = 0; i < 3; ++i) {
            node.lower[i] = extent.bounds.lower[i];
            node.upper[i] = extent.bounds.upper[i];
        }
        const std::size_t count = end - begin;
        std::size_t middle = begin;
        Extent left, right;
        if (count > 2 && depth < kMaxBvhDepth) middle = split(begin, end, extent, left, right);
        if (middle == begin) {
            makeLeaf(nodes[index], begin, end);
            return;
        }
        if (parallel_ && count >= kParallelItems && depth < kParallelDepth) {
            // The second subtree grows in its own array, joined on after the
            // first: the order one thread builds them in.
            std::vector<BvhNode> second;
            second.reserve(2 * (end - middle));
            runBoth(
                true, [&] { build(second, middle, end, depth + 1, right); },
                [&] { build(nodes, begin, middle, depth + 1, left); });
            const auto offset = static_cast<std::int32_t>(nodes.size());
            for (BvhNode& moved : second) {
                if (moved.count == 0) moved.first += offset;
            }
            nodes.insert(nodes.end(), second.begin(), second.end());
            nodes[index].first = offset;
        } else {
            build(nodes, begin, middle, depth + 1, left);
            nodes[index].first = static_cast<std::int32_t>(nodes.size());
            build(nodes, middle, end, depth + 1, right);
        }
        BvhNode& inner = nodes[index];
        inner.count = 0;
        for (const BvhNode* child : {&nodes[index + 1], &nodes[static_cast<std::size_t>(inner.first)]}) {
            widenToCover(inner, child->linear, child->quadratic, child->root);
        }
    }

    void makeLeaf(BvhNode& leaf, std::size_t begin, std::size_t end) {
        leaf.first = static_cast<std::int32_t>(begin);
        leaf.count = static_cast<std::int32_t>(end - begin);
        for (std::size_t i = begin; i < end; ++i) {
            const ItemMargins& own = margins_[static_cast<std::size_t>(items_[i].object())];
            widenToCover(leaf, own.linear, own.quadratic, own.root);
        }
    }

    // Whether a node of `count` items whose best split costs `cost` stays a leaf.
    static bool staysLeaf(std::size_t count, float cost, const Extent& extent) {
        // A node visit costs about half an intersection test; a leaf, its
        // groups of four, which its lanes test at once.
        const double splitCost = 0.5 + static_cast<double>(cost) / extent.bounds.halfArea();
        return count <= kMaxLeafSize && splitCost >= kGroupCost * static_cast<double>((count + 3) / 4);
    }

    // A node of a few items has them sorted along its longest axis of
    // centres and weighs every boundary between them, which costs less
    // than binning them.
    std::size_t splitFew(std::size_t begin, std::size_t end, const Extent& extent, Extent& left, Extent& right) {
        const int axis = longestAxis(extent.centres);
        if (!(extent.centres.upper[axis] - extent.centres.lower[axis] > 0.0f)) return begin;  // all centres coincide
        const auto first = items_.begin() + static_cast<std::ptrdiff_t>(begin);
        const auto last = items_.begin() + static_cast<std::ptrdiff_t>(end);
        // Insertion sort: stable, and quick on so few.
        for (auto i = first + 1; i < last; ++i) {
            const BuildItem item = *i;
            const float key = centreOf(item)[axis];
            auto j = i;
            for (; j > first && centreOf(*(j - 1))[axis] > key; --j) *j = *(j - 1);
            *j = item;
        }
        const std::size_t count = end - begin;
        std::array<float, kFewItems> leftCost;  // of items [0 .. k]
        LaneBox box;
        for (std::size_t k = 0; k + 1 < count; ++k) {
            box.add(items_[begin + k].lower, items_[begin + k].upper);
            leftCost[k] = box.halfArea() * static_cast<float>(k + 1);
        }
        box = LaneBox{};
        float best = std::numeric_limits<float>::infinity();
        std::size_t bestCount = 0;  // items on the left
        for (std::size_t k = count - 1; k > 0; --k) {
            box.add(items_[begin + k].lower, items_[begin + k].upper);
            const float cost = leftCost[k - 1] + box.halfArea() * static_cast<float>(count - k);
            if (cost <= best) {
                best = cost;
                bestCount = k;
            }
        }
        if (staysLeaf(count, best, extent)) return begin;
        const std::size_t middle = begin + bestCount;
        for (std::size_t i = begin; i < middle; ++i) left.add(items_[i]);
        for (std::size_t i = middle; i < end; ++i) right.add(items_[i]);
        return middle;
    }

    // Binned surface-area heuristic. Returns begin for a leaf, else where the
    // second part starts, with the extent of each part.
    std::size_t split(std::size_t begin, std::size_t end, const Extent& extent, Extent& left, Extent& right) {
        const std::size_t count = end - begin;
        if (count <= kFewItems) return splitFew(begin, end, extent, left, right);
        const Binning binning(extent.centres);
        Boundary best;
        // Each bin's largest centre coordinate, where every item was binned.
        std::array<float, kBins> highest;
        if (count <= kSmallNode) {
            // A small node splits along its longest axis of centres only.
            const int axis = longestAxis(extent.centres);
            if (binning.scale[axis] > 0.0f) {
                AxisBins bins;
                highest.fill(-kFloatFar);
                for (std::size_t i = begin; i < end; ++i) {
                    const float coordinate = centreOf(items_[i])[axis];
                    const int bin = binning.binOf(coordinate, axis);
                    bins.add(bin, items_[i]);
                    highest[bin] = std::max(highest[bin], coordinate);
                }
                weigh(bins, axis, best);
            }
        } else {
            // One pass bins the items along all three axes. A large node
            // chooses its split from an even sample of its items: the shape
            // of the tree never changes an answer, only its speed.
            std::array<AxisBins, 3> bins;
            const std::size_t stride = std::max<std::size_t>(1, count / kSampledItems);
            for (std::size_t i = begin; i < end; i += stride) {
                const std::array<int, 3> at = binning.binsOf(centreOf(items_[i]));
                for (int axis = 0; axis < 3; ++axis) bins[axis].add(at[axis], items_[i]);
            }
            for (int axis = 0; axis < 3; ++axis) {
                if (binning.scale[axis] > 0.0f) weigh(bins[axis], axis, best);
            }
        }
        if (best.axis < 0) return begin;  // all centres coincide
        if (staysLeaf(count, best.cost, extent)) return begin;
        // Some item lies beyond the chosen bin, so the last centre up to it
        // is below the node's highest.
        const float last = count <= kSmallNode ? *std::max_element(highest.begin(), highest.begin() + best.bin + 1)
                                               : binning.lastIn(best.bin, best.axis, extent.centres.lower[best.axis],
                                                                extent.centres.upper[best.axis]);
        return partition(begin, end, best.axis, last, left, right);
    }

    // Hoare's partition of the centres up to `last` along `axis` from the
    // rest, gathering each side's extent on the way.
    std::size_t partition(std::size_t begin, std::size_t end, int axis, float last, Extent& left, Extent& right) {
        const Lanes limit = broadcast(last);
        const unsigned axisBit = 1u << axis;
        const auto goesLeft = [&](Lanes centre) { return (bitsOf(centre <= limit) & axisBit) != 0; };
        std::size_t i = begin, j = end;
        while (true) {
            for (; i < j; ++i) {
                const Lanes centre = centreOf(items_[i]);
                if (!goesLeft(centre)) break;
                left.add(items_[i], centre);
            }
            for (; i < j; --j) {
                const Lanes centre = centreOf(items_[j - 1]);
                if (goesLeft(centre)) break;
                right.add(items_[j - 1], centre);
            }
            if (i == j) return i;
            std::swap(items_[i], items_[j - 1]);
            left.add(items_[i++]);
            right.add(items_[--j]);
        }
    }

    std::vector<BuildItem>& items_;
    const std::vector<ItemMargins>& margins_;
    bool parallel_;
};

// Gives each leaf of the trees its place in `Bvh::items`, from a block of
// four for the lanes, and sizes the items for them; the places in padding
// name no object.
void placeLeaves(Bvh& bvh) {
    std::size_t size = 0;
    for (BvhNode& leaf : bvh.nodes) {
        if (leaf.count == 0) continue;
        size = (size + 3) / 4 * 4;
        leaf.first = static_cast<std::int32_t>(size);
        size += static_cast<std::size_t>(leaf.count);
    }
    bvh.items.assign(size, -1);
    bvh.itemBounds.assign(size, BvhNode{});
}

// A tree's items and where its nodes begin in `Bvh::nodes`.
struct BuiltTree {
    const std::vector<BuildItem>* items;
    std::size_t root;
};

// Each item at its leaf's place, with its box and widening; returns each
// place's piece. A tree's leaves hold its items in their order, one after
// the other, so the leaves in node order take them in turn.
std::vector<std::uint8_t> fillItems(std::span<const BuiltTree> trees, const std::vector<ItemMargins>& margins,
                                    Bvh& bvh) {
    std::vector<std::uint8_t> pieces(bvh.items.size(), 0);
    for (std::size_t t = 0; t < trees.size(); ++t) {
        const std::vector<BuildItem>& items = *trees[t].items;
        const std::size_t end = t + 1 < trees.size() ? trees[t + 1].root : bvh.nodes.size();
        std::size_t next = 0;
        for (std::size_t n = trees[t].root; n < end; ++n) {
            const BvhNode& leaf = bvh.nodes[n];
            for (std::int32_t k = 0; k < leaf.count; ++k) {
                const BuildItem& item = items[next++];
                const auto at = static_cast<std::size_t>(leaf.first + k);
                const std::int32_t object = item.object();
                bvh.items[at] = object;
                pieces[at] = item.piece();
                BvhNode& own = bvh.itemBounds[at];
                for (int a = 0; a < 3; ++a) {
                    own.lower[a] = item.lower[a];
                    own.upper[a] = item.upper[a];
                }
                const ItemMargins& margin = margins[static_cast<std::size_t>(object)];
                own.linear = margin.linear;
                own.quadratic = margin.quadratic;
                own.root = margin.root;
            }
        }
    }
    return pieces;
}

// The objects' lanes in the order of the items, from what the pass over the
// objects kept, so that the scene is not walked out of order.
void fillLeafBlocks(const Scene& scene, const std::vector<LaneKind>& laneKinds, const std::vector<std::uint8_t>& pieces,
                    Bvh& bvh) {
    bvh.leaves.resetTo(bvh.items.size());
    constexpr std::size_t kAhead = 16;
    for (std::size_t k = 0; k < bvh.items.size(); ++k) {
        if (k + kAhead < bvh.items.size() && bvh.items[k + kAhead] >= 0) {
            const auto ahead = static_cast<std::size_t>(bvh.items[k + kAhead]);
            __builtin_prefetch(bvh.shapes.fans.data() + bvh.shapes.fanStart[ahead]);
        }
        const std::int32_t object = bvh.items[k];
        if (object < 0) continue;  // a leaf's padding
        const auto j = static_cast<std::size_t>(object);
        if (laneKinds[j] == LaneKind::Triangle) {
            const auto fan = static_cast<std::size_t>(bvh.shapes.fanStart[j]);
            bvh.leaves.setTriangle(k, object, bvh.shapes.fans[fan + pieces[k]]);
        } else if (laneKinds[j] == LaneKind::Sphere) {
            const SceneObject& sphere = scene.objectList[j];
            bvh.leaves.setSphere(k, object, {sphere.center, sphere.radius});
        } else {
            bvh.leaves.setOther(k, object);
        }
    }
}

}  // namespace

Bvh buildBvh(const Scene& scene, BuildThreads threads) {
    Bvh bvh;
    const auto& objects = scene.objectList;
    bvh.objectCount = objects.size();
    std::vector<LaneKind> laneKinds(objects.size());
    std::vector<ItemMargins> margins(objects.size());
    // Large scenes are read in two halves side by side.
    ObjectPass pass, secondHalf;
    const bool inHalves = objects.size() >= kParallelItems && useThreads(threads);
    const std::size_t half = inHalves ? objects.size() / 2 : objects.size();
    runBoth(
        inHalves, [&] { passOver(objects, half, objects.size(), laneKinds, margins, secondHalf); },
        [&] { passOver(objects, 0, half, laneKinds, margins, pass); });
    joinPasses(pass, secondHalf, std::span(objects).subspan(half));
    bvh.shapes = std::move(pass.shapes);
    bvh.alwaysTested = std::move(pass.alwaysTested);
    std::vector<BuildItem>& tight = pass.tight;
    std::vector<BuildItem>& loose = pass.loose;
    const double* lower = pass.lower;
    const double* upper = pass.upper;

    const std::size_t itemCount = tight.size() + loose.size();  // a polygon in lanes is several
    bvh.nodes.reserve(2 * itemCount);
    std::array<BuiltTree, 2> trees;
    std::size_t treeCount = 0;
    for (std::vector<BuildItem>* items : {&tight, &loose}) {
        if (items->empty()) continue;
        const std::size_t root = bvh.nodes.size();
        bvh.roots.push_back(static_cast<std::int32_t>(root));
        Builder(*items, margins, useThreads(threads)).build(bvh.nodes);
        trees[treeCount++] = {items, root};
    }
    placeLeaves(bvh);
    // Neither side writes the binary nodes: one makes the wide nodes from
    // them, the other copies the items into the places of their leaves.
    runBoth(
        itemCount >= kParallelItems && useThreads(threads),
        [&] { widenForOrigins(scene, lower, upper, itemCount > 0, bvh); },
        [&] {
            const std::vector<std::uint8_t> pieces = fillItems(std::span(trees.data(), treeCount), margins, bvh);
            buildDirectionTable(scene, pass.boundedCylinders, bvh);
            fillLeafBlocks(scene, laneKinds, pieces, bvh);
        });
    bvh.bounded = pass.boundedObjects;
    if (bvh.bounded <= kMostBufferedObjects) {
        const std::size_t lights = std::min(scene.lightList.size(), kMostBufferedLights);
        for (std::size_t k = 0; k < lights; ++k) {
            bvh.lightBuffers.push_back(buildLightBuffer(bvh, scene, scene.lightList[k].position));
        }
    }
    return bvh;
}
