#include "render/hits.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "render/bvh/bvh.h"
#include "render/bvh/shadow_beam.h"
#include "render/bvh/traversal.h"

namespace {

bool anyBlocker(const TraceContext& context, const Ray& ray) {
    if (context.accelerator) {
        if (const std::optional<bool> blocked = acceleratedIsBlocked(*context.accelerator, context.scene, ray)) {
            return *blocked;
        }
    }
    for (const SceneObject& object : context.scene.objectList) {
        if (blocksBefore(object, ray, 1.0f)) return true;
    }
    return false;
}

}  // namespace

float findNearestHit(const TraceContext& context, const Ray& ray, int& objectIndex, Vec3& normal) {
    if (context.accelerator) {
        float t = kNoHit;
        if (acceleratedNearestHit(*context.accelerator, context.scene, ray, t, objectIndex, normal)) return t;
    }
    const auto& objects = context.scene.objectList;
    float best = kNoHit;
    for (std::size_t j = 0; j < objects.size(); ++j) {
        float entry = 0.0f, exit = kNoHit;
        // A routine that finds no normal leaves it alone: start each object
        // from zero so no other object's normal leaks into this one.
        Vec3 n{};
        const float t = intersectObject(objects[j], ray, best, n, entry, exit);
        if (t < best && entry < exit) {
            best = t;
            objectIndex = static_cast<int>(j);
            normal = n;
        }
    }
    normalize(normal, normal);
    return best;
}

void findNearestHits(const TraceContext& context, std::span<const Ray> rays, std::span<NearestHit> hits) {
    for (std::size_t first = 0; first < rays.size(); first += kMaxPacketRays) {
        const std::size_t count = std::min(kMaxPacketRays, rays.size() - first);
        const std::uint64_t answered =
            context.accelerator ? acceleratedNearestHits(*context.accelerator, context.scene,
                                                         rays.subspan(first, count), hits.subspan(first, count))
                                : 0;
        for (std::size_t r = 0; r < count; ++r) {
            if ((answered >> r & 1u) != 0) continue;
            NearestHit& hit = hits[first + r];
            hit.t = findNearestHit(context, rays[first + r], hit.objectIndex, hit.normal);
        }
    }
}

bool isShadowed(const TraceContext& context, Vec3 origin, Vec3 direction) {
    if (context.counts) ++context.counts->shadow;
    return anyBlocker(context, {origin, direction});
}

// Whether a ray is blocked does not depend on the order in which objects are
// asked, so the light's buffer may pick them.
bool lightIsBlocked(const TraceContext& context, const Vec3& origin, int lightIndex) {
    const Light& light = context.scene.lightList[static_cast<std::size_t>(lightIndex)];
    const Ray ray{origin, light.position - origin};
    const Bvh* bvh = context.accelerator;
    const auto at = static_cast<std::size_t>(lightIndex);
    if (!bvh || at >= bvh->lightBuffers.size() || bvh->objectCount != context.scene.objectList.size() ||
        std::memcmp(&bvh->lightBuffers[at].light, &light.position, sizeof(Vec3)) != 0) {
        return isShadowed(context, origin, ray.direction);
    }
    const std::optional<std::span<const std::int32_t>> near = objectsTowardsLight(*bvh, bvh->lightBuffers[at], origin);
    if (!near) return isShadowed(context, origin, ray.direction);
    if (context.counts) ++context.counts->shadow;
    if (blockedOutsideTrees(*bvh, context.scene, ray)) return true;
    return std::any_of(near->begin(), near->end(),
                       [&](std::int32_t j) { return objectBlocks(*bvh, context.scene, j, ray); });
}

// Whether a ray is blocked does not depend on the order in which objects are
// asked, so the hierarchy's beam and the last blocker may go first.
int countBlocked(const TraceContext& context, Vec3 origin, const Light& light, std::span<const Vec3> samples) {
    std::array<Vec3, kMaxBeamRays> directions;
    if (samples.size() > directions.size()) {
        return countBlocked(context, origin, light, samples.first(directions.size())) +
               countBlocked(context, origin, light, samples.subspan(directions.size()));
    }
    const std::span<Vec3> rays = std::span<Vec3>(directions).first(samples.size());
    for (std::size_t n = 0; n < samples.size(); ++n) rays[n] = samples[n] - origin;
    if (context.counts) context.counts->shadow += samples.size();
    int blocked = 0;
    ShadowBeam beam;
    if (context.accelerator &&
        gatherShadowBeam(*context.accelerator, context.scene, origin, light.position, light.radius, rays, beam)) {
        int lastBlocker = -1;
        for (const Vec3& direction : rays) {
            blocked += beamRayIsBlocked(*context.accelerator, context.scene, beam, {origin, direction}, lastBlocker);
        }
        return blocked;
    }
    for (const Vec3& direction : rays) blocked += anyBlocker(context, {origin, direction});
    return blocked;
}
