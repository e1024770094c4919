#include "render/lighting.h"

#include <array>
#include <cmath>
#include <optional>

#include "render/hits.h"

namespace {

// rv^shininess * weight. A surface without reflectance has weight 0, and
// then, with the power known to lie in [0, 1], the product is that zero.
float highlight(float rv, float shininess, float weight) {
    if (weight == 0.0f && rv <= 1.0f && shininess >= 0.0f) return weight;
    return static_cast<float>(std::pow(static_cast<double>(rv), static_cast<double>(shininess)) * weight);
}

float visibility(int blocked, int count) { return 1.0f - static_cast<float>(blocked) / static_cast<float>(count); }

}  // namespace

float softShadowAxes(const TraceContext& context, Vec3 origin, int lightIndex) {
    const Light& light = context.scene.lightList[static_cast<std::size_t>(lightIndex)];
    std::array<Vec3, kSoftShadowSamples> samples;
    std::size_t n = 0;
    for (int axis = 0; axis < 3; ++axis) {
        for (int i = -20; i < 20; ++i) {
            // Offsets r/i crowd towards the centre. The sample of i = 0 would
            // lie infinitely far away; it stands for the centre instead.
            const float offset = i == 0 ? 0.0f : light.radius / static_cast<float>(i);
            Vec3 sample = light.position;
            if (axis == 0) sample.x = sample.x + offset;
            if (axis == 1) sample.y = sample.y + offset;
            if (axis == 2) sample.z = sample.z + offset;
            samples[n++] = sample;
        }
    }
    return visibility(countBlocked(context, origin, light, samples), kSoftShadowSamples);
}

float softShadowJitter(const TraceContext& context, Vec3 origin, int lightIndex) {
    const Light& light = context.scene.lightList[static_cast<std::size_t>(lightIndex)];
    std::array<int, 3 * kSoftShadowSamples> draws;
    context.generator.fill(draws);
    std::array<float, kSoftShadowSamples> xs, ys, zs;
    for (std::size_t n = 0; n < xs.size(); ++n) {
        xs[n] = static_cast<float>(draws[3 * n]);
        ys[n] = static_cast<float>(draws[3 * n + 1]);
        zs[n] = static_cast<float>(draws[3 * n + 2]);
    }
    // normalize and the sample, written out over arrays so that the compiler
    // can take several samples at once. A float square root is the double
    // one rounded to float, bit for bit, and vectorises.
    const Vec3 p = light.position;
    const float r = light.radius;
    std::array<Vec3, kSoftShadowSamples> samples;
    for (int n = 0; n < kSoftShadowSamples; ++n) {
        const float dx = xs[n] - p.x, dy = ys[n] - p.y, dz = zs[n] - p.z;
        const float len = std::sqrt(dx * dx + dy * dy + dz * dz);
        const bool unit = len != 0.0f && len == len;  // else the direction stays zero
        const float qx = dx / len, qy = dy / len, qz = dz / len;
        const float ux = unit ? qx : 0.0f, uy = unit ? qy : 0.0f, uz = unit ? qz : 0.0f;
        samples[n] = {p.x + r * ux, p.y + r * uy, p.z + r * uz};
    }
    return visibility(countBlocked(context, origin, light, samples), kSoftShadowSamples);
}

void shadeLocal(const TraceContext& context, int objectIndex, Vec3 point, Vec3 normal, Color& out, float specularWeight,
                float surfaceOffset, Vec3 view) {
    const SceneObject& object = context.scene.objectList[static_cast<std::size_t>(objectIndex)];
    const Color c = object.color;
    if (context.settings.lights == LightsSetting::Off) {
        out = c;
        return;
    }
    Color specular{}, diffuse{};
    const auto& lights = context.scene.lightList;
    for (std::size_t li = 0; li < lights.size(); ++li) {
        const Light& light = lights[li];
        // A light at the hit point itself has no direction: it stays zero and
        // the light adds nothing.
        Vec3 toLight{};
        normalize(light.position - point, toLight);
        const Vec3 shadowOrigin = point + surfaceOffset * normal;
        const float nl = dot(normal, toLight);
        if (!(nl > 0.0f)) continue;  // facing away: no light, no shadow ray
        if (context.drawCount) {
            // Counting pass: which lights are lit decides the draws, never
            // what they draw, so no shadow ray is needed.
            if (context.settings.shadowMode == ShadowMode::SoftJitter) *context.drawCount += kJitterDrawsPerLight;
            continue;
        }

        float s = 1.0f;
        switch (context.settings.shadowMode) {
            case ShadowMode::Hard:
                s = lightIsBlocked(context, shadowOrigin, static_cast<int>(li)) ? 0.0f : 1.0f;
                break;
            case ShadowMode::SoftAxes:
                s = softShadowAxes(context, shadowOrigin, static_cast<int>(li));
                break;
            case ShadowMode::None:
                break;
            case ShadowMode::SoftJitter:
                s = softShadowJitter(context, shadowOrigin, static_cast<int>(li));
                break;
        }

        const Color lc = light.color;
        diffuse = diffuse + ((s * c) * nl) * lc;

        // Highlight around the light's mirror direction, in the light's colour.
        const float twoLn = 2.0f * dot(toLight, normal);
        const Vec3 mirrored = twoLn * normal - toLight;
        const float rv = dot(mirrored, view);
        if (rv > 0.0f) {
            specular = specular + (s * highlight(rv, object.shininess, specularWeight)) * lc;
        }
    }
    const Color ambient = context.scene.ambient * c;
    out = specular + diffuse + ambient;
}
