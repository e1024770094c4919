#include "render/bvh/shadow_beam.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "render/bvh/bounds.h"
#include "render/bvh/direction_table.h"
#include "render/bvh/ray_frame.h"

namespace {

bool blocks(const Bvh& bvh, const Scene& scene, std::int32_t j, const Ray& ray, int& lastBlocker) {
    if (!objectBlocks(bvh, scene, j, ray)) return false;
    lastBlocker = j;
    return true;
}

}  // namespace

bool gatherShadowBeam(const Bvh& bvh, const Scene& scene, Vec3 origin, Vec3 light, float radius,
                      std::span<const Vec3> directions, ShadowBeam& beam) {
    beam.count = 0;
    if (bvh.objectCount != scene.objectList.size()) return false;
    if (directions.empty() || !boundable({origin, directions[0]})) return false;
    const RayFrame frame = frameOf({origin, directions[0]});
    const double reach = reachOf(1.0f);
    double lower[3], upper[3];
    for (int i = 0; i < 3; ++i) lower[i] = upper[i] = frame.origin[i];
    for (const Vec3& direction : directions) {
        // What boundable asks of a direction.
        const double d[3] = {direction.x, direction.y, direction.z};
        const double size = std::max({std::fabs(d[0]), std::fabs(d[1]), std::fabs(d[2])});
        if (!(size <= kLargest && size >= 1.0 / kLargest)) return false;
        for (int i = 0; i < 3; ++i) {
            const double end = frame.origin[i] + reach * d[i];
            lower[i] = std::min(lower[i], end);
            upper[i] = std::max(upper[i], end);
        }
    }
    // Room for the rounding of the ends above.
    for (int i = 0; i < 3; ++i) {
        const double slack = 0x1p-40 * std::max({std::fabs(lower[i]), std::fabs(upper[i]), 1.0});
        lower[i] -= slack;
        upper[i] += slack;
    }

    // Every ray lies in the cone from the origin around the light's centre
    // whose half-angle `spread` the radius allows (the samples' float
    // rounding may carry them a little past it), and ends within `farthest`.
    const Dvec from{frame.origin[0], frame.origin[1], frame.origin[2]};
    const Dvec toLight = widen(light) - from;
    const double distance = normD(toLight), within = std::fabs(static_cast<double>(radius)) * (1.0 + 1e-5) + 1e-30;
    const bool narrow = within < 0.5 * distance;  // a cone of at most 30 degrees
    const double spread = narrow ? std::asin(within / distance) + 1e-6 : 0.0;
    const double farthest = (distance + within) * reach * (1.0 + 1e-9) + 1e-9;
    beam.nearlyParallelCylinders =
        !bvh.cellItems.empty() && (!narrow || beamMayNeedDirectionTable(bvh, toLight, spread));
    // Whether a box lies wholly outside that cone or beyond `farthest`, by the
    // sphere around it; with room for this double arithmetic.
    const auto outsideCone = [&](const ShadowBeam::Candidate& box) {
        Dvec center{}, half{};
        for (int i = 0; i < 3; ++i) {
            center[i] = 0.5 * (box.lower[i] + box.upper[i]) - from[i];
            half[i] = 0.5 * (box.upper[i] - box.lower[i]);
        }
        const double reachOfBox = normD(half) * (1.0 + 1e-9), away = normD(center);
        if (!(away > reachOfBox)) return false;  // the origin may lie within it
        if (away - reachOfBox > farthest) return true;
        if (!narrow) return false;
        const double cosine = std::clamp(dotD(center, toLight) / (away * distance), -1.0, 1.0);
        const double angle = std::acos(cosine) - std::asin(reachOfBox / away);
        return angle > spread + 1e-6;
    };

    // The widened box of a node or an object, if it meets the beam's box.
    const auto meets = [&](const BvhNode& bound, ShadowBeam::Candidate& box) {
        widenedBox(bound, frame, box.lower, box.upper);
        bool inside = true;
        for (int i = 0; i < 3; ++i) inside = inside && box.lower[i] <= upper[i] && box.upper[i] >= lower[i];
        return inside;
    };
    for (const std::int32_t root : bvh.roots) {
        std::array<std::int32_t, kStackSize> stack;
        int top = 0;
        stack[top++] = root;
        while (top > 0) {
            const std::int32_t index = stack[--top];
            const BvhNode& node = bvh.nodes[static_cast<std::size_t>(index)];
            ShadowBeam::Candidate box{};
            if (!meets(node, box)) continue;
            if (node.count == 0) {
                stack[top++] = node.first;
                stack[top++] = index + 1;
                continue;
            }
            for (std::int32_t k = node.first; k < node.first + node.count; ++k) {
                if (!meets(bvh.itemBounds[static_cast<std::size_t>(k)], box) || outsideCone(box)) continue;
                box.object = bvh.items[static_cast<std::size_t>(k)];
                // A polygon in lanes is an item per triangle, each with the
                // polygon's box: it is one candidate.
                const auto j = static_cast<std::size_t>(box.object);
                const auto taken = beam.candidates.begin() + beam.count;
                if (bvh.shapes.fanStart[j + 1] - bvh.shapes.fanStart[j] > 1 &&
                    std::any_of(beam.candidates.begin(), taken,
                                [&](const auto& c) { return c.object == box.object; })) {
                    continue;
                }
                if (beam.count == kMaxBeamObjects) return false;
                beam.candidates[static_cast<std::size_t>(beam.count++)] = box;
            }
        }
    }
    return true;
}

bool beamRayIsBlocked(const Bvh& bvh, const Scene& scene, const ShadowBeam& beam, const Ray& ray, int& lastBlocker) {
    if (lastBlocker >= 0 && blocks(bvh, scene, lastBlocker, ray, lastBlocker)) return true;
    for (const std::int32_t j : bvh.alwaysTested) {
        if (blocks(bvh, scene, j, ray, lastBlocker)) return true;
    }
    if (beam.nearlyParallelCylinders) {
        const auto [first, last] = parallelCylinders(bvh, ray);
        for (const std::int32_t* j = first; j != last; ++j) {
            if (blocks(bvh, scene, *j, ray, lastBlocker)) return true;
        }
    }
    const RayFrame frame = frameOf(ray);
    const double reach = reachOf(1.0f);
    for (int k = 0; k < beam.count; ++k) {
        const ShadowBeam::Candidate& candidate = beam.candidates[static_cast<std::size_t>(k)];
        // The leaf test of enterNode for this object alone, with the margin
        // the beam already added.
        if (slabEntry(candidate.lower, candidate.upper, frame, reach) != kFarAway &&
            blocks(bvh, scene, candidate.object, ray, lastBlocker)) {
            return true;
        }
    }
    return false;
}
