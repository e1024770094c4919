#include "render/bvh/wide.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

#include "render/bvh/bounds.h"

namespace {

// A box no ray can reach: its distance from any origin a region holds,
// over the largest direction a ray may have, is far beyond kNoHit.
constexpr float kOutOfReach = 3e37f;

double halfArea(const BvhNode& node) {
    const double x = node.upper[0] - node.lower[0], y = node.upper[1] - node.lower[1],
                 z = node.upper[2] - node.lower[2];
    return x * y + y * z + z * x;
}

// A region being built, and the box of the origins it holds.
struct Widening {
    OriginRegion* region;
    double lower[3];
    double upper[3];
    double originSize;  // the largest coordinate magnitude in the box
};

// Binary node `node` widened for every origin a region holds.
void widenInto(WideNode& out, int k, const BvhNode& node, const Widening& widening) {
    const double margin = largestMargin(node, widening.lower, widening.upper, widening.originSize);
    for (int axis = 0; axis < 3; ++axis) {
        out.lower[axis][k] = floatBelow(node.lower[axis] - margin);
        out.upper[axis][k] = floatAbove(node.upper[axis] + margin);
    }
}

// The wide node over binary node `binary`'s children (or over `binary`
// itself, a leaf standing as a root), opening the largest inner child into
// its two until four are side by side. Every region gets the same node at
// the same index, with its own boxes, made while the binary nodes are at
// hand. Returns its index.
std::int32_t collapse(const Bvh& bvh, std::int32_t binary, std::span<const Widening> widenings) {
    std::array<std::int32_t, 4> slots{};
    std::array<double, 4> areas{};  // of the inner nodes among the slots
    int used = 0;
    const auto nodeAt = [&](std::int32_t n) -> const BvhNode& { return bvh.nodes[static_cast<std::size_t>(n)]; };
    const auto take = [&](int k, std::int32_t n) {
        slots[k] = n;
        if (nodeAt(n).count == 0) areas[k] = halfArea(nodeAt(n));
    };
    const BvhNode& top = nodeAt(binary);
    if (top.count > 0) {
        take(used++, binary);
    } else {
        take(used++, binary + 1);
        take(used++, top.first);
    }
    while (used < 4) {
        int widest = -1;
        for (int k = 0; k < used; ++k) {
            if (nodeAt(slots[k]).count == 0 && (widest < 0 || areas[k] > areas[widest])) widest = k;
        }
        if (widest < 0) break;
        const std::int32_t opened = slots[widest];
        take(used++, nodeAt(opened).first);
        take(widest, opened + 1);
    }
    const auto index = static_cast<std::int32_t>(widenings[0].region->nodes.size());
    for (const Widening& widening : widenings) {
        WideNode& out = widening.region->nodes.emplace_back();
        for (int k = 0; k < 4; ++k) {
            if (k < used) {
                widenInto(out, k, nodeAt(slots[k]), widening);
            } else {
                for (int axis = 0; axis < 3; ++axis) out.lower[axis][k] = out.upper[axis][k] = kOutOfReach;
            }
        }
    }
    for (int k = 0; k < 4; ++k) {
        std::int32_t child = 0, count = -1;
        if (k < used) {
            const BvhNode& node = bvh.nodes[static_cast<std::size_t>(slots[k])];
            count = node.count;
            child = node.count > 0 ? node.first : collapse(bvh, slots[k], widenings);
        }
        for (const Widening& widening : widenings) {
            WideNode& out = widening.region->nodes[static_cast<std::size_t>(index)];
            out.child[k] = child;
            out.count[k] = count;
        }
    }
    return index;
}

}  // namespace

void widenForOrigins(const Scene& scene, const double lower[3], const double upper[3], bool anyBounded, Bvh& bvh) {
    std::array<Widening, 2> widenings{};
    std::size_t count = 0;
    const Vec3 eye = scene.camera.screenCenter + scene.camera.eyeOffset;  // as the primary rays form it
    const double at[3] = {eye.x, eye.y, eye.z};
    if (std::isfinite(at[0]) && std::isfinite(at[1]) && std::isfinite(at[2]) &&
        std::max({std::fabs(at[0]), std::fabs(at[1]), std::fabs(at[2])}) <= kLargest) {
        widenings[count++] = {&bvh.eye, {at[0], at[1], at[2]}, {at[0], at[1], at[2]}, 0.0};
    }
    if (anyBounded) {
        Widening& surfaces = widenings[count++];
        surfaces.region = &bvh.surfaces;
        double size = 0.0;
        for (int i = 0; i < 3; ++i) size = std::max(size, upper[i] - lower[i]);
        for (int i = 0; i < 3; ++i) {
            const double room = 0.01 + 0.01 * size + 0x1p-20 * std::max(std::fabs(lower[i]), std::fabs(upper[i]));
            surfaces.lower[i] = lower[i] - room;
            surfaces.upper[i] = upper[i] + room;
        }
    }
    for (Widening& widening : std::span(widenings.data(), count)) {
        widening.originSize = 0.0;
        for (int i = 0; i < 3; ++i) {
            widening.originSize =
                std::max({widening.originSize, std::fabs(widening.lower[i]), std::fabs(widening.upper[i])});
        }
    }
    const std::span<const Widening> regions(widenings.data(), count);
    for (const Widening& widening : regions) {
        for (int i = 0; i < 3; ++i) {
            widening.region->lower[i] = floatBelow(widening.lower[i]);
            widening.region->upper[i] = floatAbove(widening.upper[i]);
        }
        widening.region->nodes.reserve(bvh.nodes.size() / 2 + 1);
    }
    if (regions.empty()) return;
    for (const std::int32_t root : bvh.roots) {
        const std::int32_t wide = collapse(bvh, root, regions);
        for (const Widening& widening : regions) widening.region->roots.push_back(wide);
    }
}
