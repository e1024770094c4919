#include "render/bvh/light_buffer.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "render/bvh/bvh.h"
#include "render/bvh/bounds.h"

namespace {

constexpr std::size_t kCells = 6 * kLightCells * kLightCells;

// Where a direction from the light meets the cube: the face of its largest
// component (the first of equal ones) and its sign, and the other two
// components over that one's magnitude, each in [-1, 1].
struct FacePoint {
    int axis;
    bool negative;
    double u, v;
};

FacePoint facePointOf(const double d[3]) {
    int axis = 0;
    if (std::fabs(d[1]) > std::fabs(d[axis])) axis = 1;
    if (std::fabs(d[2]) > std::fabs(d[axis])) axis = 2;
    // One division for both: the rounding is far within the cells' spare.
    const double inverse = 1.0 / std::fabs(d[axis]);
    return {axis, d[axis] < 0.0, d[(axis + 1) % 3] * inverse, d[(axis + 2) % 3] * inverse};
}

// The cell along one edge of a face; it never falls as u grows. Clamped
// first, the truncation is the floor (and cheaper than one without SSE4.1).
int cellAlong(double u) {
    return static_cast<int>(std::clamp((u + 1.0) * (0.5 * kLightCells), 0.0, kLightCells - 1.0));
}

std::size_t cellOf(int axis, bool negative, int iu, int iv) {
    return (static_cast<std::size_t>(2 * axis + (negative ? 1 : 0)) * kLightCells + static_cast<std::size_t>(iu)) *
               kLightCells +
           static_cast<std::size_t>(iv);
}

}  // namespace

LightBuffer buildLightBuffer(const Bvh& bvh, const Scene& scene, Vec3 light) {
    LightBuffer buffer;
    buffer.light = light;
    const OriginRegion& region = bvh.surfaces;
    const double at[3] = {light.x, light.y, light.z};
    if (!(region.lower[0] <= region.upper[0]) || bvh.objectCount != scene.objectList.size()) return buffer;
    // Within a quarter of kLargest, every ray from the region to the light
    // that is long enough for objectsTowardsLight is one boundable accepts.
    const auto within = [](double x) { return std::fabs(x) <= 0.25 * kLargest; };
    for (int i = 0; i < 3; ++i) {
        if (!within(at[i]) || !within(region.lower[i]) || !within(region.upper[i])) return buffer;
    }
    double lower[3], upper[3], originSize = 0.0, farSquared = 0.0;
    for (int i = 0; i < 3; ++i) {
        lower[i] = region.lower[i];
        upper[i] = region.upper[i];
        originSize = std::max({originSize, std::fabs(lower[i]), std::fabs(upper[i])});
        const double far = std::max(std::fabs(upper[i] - at[i]), std::fabs(at[i] - lower[i]));
        farSquared += far * far;
    }
    // fl(L - O) strays from L - O by at most 2^-24 of it, for any origin of
    // the region; this is eight times that.
    const double stray = 0x1p-21 * std::sqrt(farSquared) * (1.0 + 1e-12);

    // The cells each object reaches, as rectangles of cells on the faces.
    struct Reach {
        std::int32_t object;
        int axis;
        bool negative;
        int u0, u1, v0, v1;
    };
    std::vector<Reach> reaches;
    std::vector<bool> seen(bvh.objectCount, false);  // a polygon in lanes is several items
    for (std::size_t k = 0; k < bvh.items.size(); ++k) {
        const std::int32_t object = bvh.items[k];
        if (object < 0 || seen[static_cast<std::size_t>(object)]) continue;
        seen[static_cast<std::size_t>(object)] = true;
        const BvhNode& own = bvh.itemBounds[k];
        const double margin = largestMargin(own, lower, upper, originSize);
        // The widened box relative to the light, with room for this
        // arithmetic, and its distance from the light.
        double lo[3], hi[3], gapSquared = 0.0;
        for (int i = 0; i < 3; ++i) {
            const double room =
                0x1p-40 * (std::fabs(own.lower[i]) + std::fabs(own.upper[i]) + std::fabs(at[i]) + margin);
            lo[i] = own.lower[i] - margin - at[i] - room;
            hi[i] = own.upper[i] + margin - at[i] + room;
            const double gap = std::max({0.0, lo[i], -hi[i]});
            gapSquared += gap * gap;
        }
        const double distance = std::sqrt(gapSquared) * (1.0 - 1e-12);
        if (!(distance > 4.0 * stray)) {
            for (int axis = 0; axis < 3; ++axis) {
                for (const bool negative : {false, true}) {
                    reaches.push_back({object, axis, negative, 0, kLightCells - 1, 0, kLightCells - 1});
                }
            }
            continue;
        }
        // A blocking point lies at least 0.47 of `distance` along the face
        // axis of the ray's cell, and its face coordinates within 1.05
        // `stray` / `distance` of the ray's.
        const double spare = 2.0 * stray / distance + 1e-9;
        const double near = 0.25 * distance;
        for (int axis = 0; axis < 3; ++axis) {
            for (const bool negative : {false, true}) {
                double first = negative ? -hi[axis] : lo[axis];
                const double last = negative ? -lo[axis] : hi[axis];
                if (last < near) continue;
                first = std::max(first, near);
                const int b = (axis + 1) % 3, c = (axis + 2) % 3;
                // u = x_b / x_axis is monotonic in each, so the corners bound it.
                const double uLow = std::min(lo[b] / first, lo[b] / last) - spare;
                const double uHigh = std::max(hi[b] / first, hi[b] / last) + spare;
                const double vLow = std::min(lo[c] / first, lo[c] / last) - spare;
                const double vHigh = std::max(hi[c] / first, hi[c] / last) + spare;
                if (uHigh < -1.0 || uLow > 1.0 || vHigh < -1.0 || vLow > 1.0) continue;
                reaches.push_back(
                    {object, axis, negative, cellAlong(uLow), cellAlong(uHigh), cellAlong(vLow), cellAlong(vHigh)});
            }
        }
    }

    // Each cell's objects, unless there are too many of them; where most
    // cells would be crowded, the buffer is not worth its making.
    std::size_t entries = 0;
    for (const Reach& r : reaches) {
        entries += static_cast<std::size_t>(r.u1 - r.u0 + 1) * static_cast<std::size_t>(r.v1 - r.v0 + 1);
    }
    if (entries > kCells * kMostCellObjects) return buffer;
    std::vector<std::uint32_t> count(kCells, 0);
    const auto eachCell = [](const Reach& r, const auto& visit) {
        for (int iu = r.u0; iu <= r.u1; ++iu) {
            for (int iv = r.v0; iv <= r.v1; ++iv) visit(cellOf(r.axis, r.negative, iu, iv));
        }
    };
    for (const Reach& r : reaches) eachCell(r, [&](std::size_t cell) { ++count[cell]; });
    buffer.crowded.assign(kCells, 0);
    buffer.cellStart.assign(kCells + 1, 0);
    for (std::size_t cell = 0; cell < kCells; ++cell) {
        buffer.crowded[cell] = count[cell] > kMostCellObjects ? 1 : 0;
        const std::uint32_t kept = buffer.crowded[cell] ? 0 : count[cell];
        buffer.cellStart[cell + 1] = buffer.cellStart[cell] + static_cast<std::int32_t>(kept);
    }
    buffer.objects.resize(static_cast<std::size_t>(buffer.cellStart[kCells]));
    std::vector<std::int32_t> next(buffer.cellStart.begin(), buffer.cellStart.end() - 1);
    for (const Reach& r : reaches) {
        eachCell(r, [&](std::size_t cell) {
            if (!buffer.crowded[cell]) buffer.objects[static_cast<std::size_t>(next[cell]++)] = r.object;
        });
    }
    buffer.usable = true;
    return buffer;
}

std::optional<std::span<const std::int32_t>> objectsTowardsLight(const Bvh& bvh, const LightBuffer& buffer,
                                                                 const Vec3& origin) {
    if (!buffer.usable || !bvh.surfaces.holds(origin)) return std::nullopt;
    const double d[3] = {static_cast<double>(origin.x) - buffer.light.x, static_cast<double>(origin.y) - buffer.light.y,
                         static_cast<double>(origin.z) - buffer.light.z};
    // fl(L - O) then has a component of at least 2^-30, as boundable asks.
    if (std::max({std::fabs(d[0]), std::fabs(d[1]), std::fabs(d[2])}) < 0x1p-28) return std::nullopt;
    const FacePoint p = facePointOf(d);
    const std::size_t cell = cellOf(p.axis, p.negative, cellAlong(p.u), cellAlong(p.v));
    if (buffer.crowded[cell]) return std::nullopt;
    const auto first = static_cast<std::size_t>(buffer.cellStart[cell]);
    return std::span<const std::int32_t>(buffer.objects)
        .subspan(first, static_cast<std::size_t>(buffer.cellStart[cell + 1]) - first);
}
