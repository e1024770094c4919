#include "render/trace.h"

#include <cmath>

#include "render/hits.h"
#include "render/lighting.h"

namespace {

// pow(1, y) is 1 for every y, NaN included: clear air and clear glass pay nothing.
float power(float base, float exponent) {
    if (base == 1.0f) return 1.0f;
    return static_cast<float>(std::pow(static_cast<double>(base), static_cast<double>(exponent)));
}

float absolute(float value) { return static_cast<float>(std::fabs(static_cast<double>(value))); }

}  // namespace

float fresnelReflectance(float n1, float n2, float mu1, float mu2, float c) {
    const float eta = n1 / n2;
    const float m = mu1 / mu2;
    const float k = 1.0f - eta * eta * (1.0f - c * c);
    if (k < 0.0f) return 1.0f;  // total internal reflection
    const float ct = squareRoot(k);
    const float rs = (eta * c - m * ct) / (eta * c + m * ct);
    const float rp = (m * c - eta * ct) / (m * c + eta * ct);
    const float r = 0.5f * rs * rs + 0.5f * rp * rp;
    // Grazing incidence between equal indices makes both quotients 0/0; the
    // limit there is total reflection.
    return std::isnan(r) ? 1.0f : r;
}

Ray refractRay(Vec3 view, Vec3 normal, float n1, float n2, Vec3 point) {
    const float c = dot(view, normal);
    const float eta = n1 / n2;
    const float s = squareRoot(1.0f - eta * eta * (1.0f - c * c));
    const float signTerm = c >= 0.0f ? -s : s;
    const float along = eta * c + signTerm;
    return {point, along * normal - eta * view};
}

void traceRay(const TraceContext& context, const Ray& ray, int depth, Color& accumulator, float currentIndex) {
    if (depth < 0) return;
    NearestHit hit;
    hit.t = findNearestHit(context, ray, hit.objectIndex, hit.normal);
    traceFromHit(context, ray, hit, depth, accumulator, currentIndex);
}

void traceFromHit(const TraceContext& context, const Ray& ray, const NearestHit& hit, int depth, Color& accumulator,
                  float currentIndex) {
    if (depth < 0) return;
    const float t = hit.t;
    const int objectIndex = hit.objectIndex;
    const Vec3 normal = hit.normal;
    if (t == kNoHit) return;  // escapes: black, and not dimmed by the air
    const SceneObject& object = context.scene.objectList[static_cast<std::size_t>(objectIndex)];
    const Air& air = context.scene.air;
    const Vec3 point = pointAt(ray.origin, t, ray.direction);

    // The index alone says whether the ray is about to enter or to leave.
    const bool inAir = currentIndex == 1.0f;
    const float nextIndex =
        inAir ? static_cast<float>(std::sqrt(static_cast<double>(object.permittivity) * object.permeability)) : 1.0f;
    const float offset = inAir ? kSurfaceOffset : -kSurfaceOffset;
    const float mu1 = inAir ? air.permeability : object.permeability;
    const float mu2 = inAir ? object.permeability : air.permeability;
    const Color filter = inAir ? air.transmittance : object.transmittance;

    // A hit at t = 0 leaves no way back to the origin; look back along the ray.
    Vec3 view{};
    if (!normalize(ray.origin - point, view)) normalize(-ray.direction, view);

    const float c = dot(normal, view);
    float reflected = fresnelReflectance(currentIndex, nextIndex, mu1, mu2, absolute(c));
    float transmitted = 1.0f - reflected;
    reflected = reflected * object.reflectance;
    transmitted = transmitted * object.reflectance;

    Color local{};
    shadeLocal(context, objectIndex, point, normal, local, reflected, offset, view);

    // Calls at depth - 1 < 0 would return at once; skip building them.
    if (reflected != 0.0f && depth > 0) {
        const float twoC = 2.0f * c;
        const Ray mirror{point + offset * normal, twoC * normal - view};
        Color seen{};
        if (context.counts) ++context.counts->secondary;
        traceRay(context, mirror, depth - 1, seen, currentIndex);
        local = local + reflected * seen;
    }
    if (transmitted != 0.0f && depth > 0) {
        Ray refracted = refractRay(view, normal, currentIndex, nextIndex, point);
        refracted.origin = point - offset * normal;
        Color seen{};
        if (context.counts) ++context.counts->secondary;
        traceRay(context, refracted, depth - 1, seen, nextIndex);
        local = local + transmitted * seen;
    }

    accumulator = accumulator + local;
    // The medium just crossed dims everything by transmittance^t.
    accumulator = accumulator * Color{power(filter.red, t), power(filter.green, t), power(filter.blue, t)};
}
