#include "render/sampling.h"

#include <array>
#include <climits>
#include <cmath>

#include "render/trace.h"

int imageHeightFor(const Camera& camera, int width) {
    const float ratio = length(camera.screenUp) / length(camera.screenRight);
    if (!std::isfinite(ratio)) return 0;
    const double height = static_cast<double>(width) * static_cast<double>(ratio);
    if (std::isnan(height)) return 0;
    if (height >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(height);
}

namespace {

// (a - half) / half, formed in double and rounded once. A one-pixel-wide
// image has no half width; its single column looks through the centre.
float imagePlaneCoordinate(float a, float half) {
    if (half == 0.0f) return 0.0f;
    return static_cast<float>((static_cast<double>(a) - half) / half);
}

float combine(float u, float right, float center, float v, float up) {
    return static_cast<float>((static_cast<double>(u) * right + center) + static_cast<double>(v) * up);
}

}  // namespace

Ray primaryRay(const Camera& camera, int width, int height, float x, float y) {
    const float halfWidth = static_cast<float>(width / 2);
    const float halfHeight = static_cast<float>(height / 2);
    const float u = imagePlaneCoordinate(x, halfWidth);
    const float v = -imagePlaneCoordinate(y, halfHeight);
    const Vec3 c = camera.screenCenter, r = camera.screenRight, up = camera.screenUp;
    const Vec3 planePoint{combine(u, r.x, c.x, v, up.x), combine(u, r.y, c.y, v, up.y), combine(u, r.z, c.z, v, up.z)};
    const Vec3 eye = c + camera.eyeOffset;
    return {eye, planePoint - eye};
}

namespace {

// Negative components are cut to 0 rather than wrapped to a large byte.
Pixel channelToByte(float value) {
    float scaled = value * 255.0f;
    if (scaled > 255.0f) scaled = 255.0f;
    if (!(scaled > 0.0f)) return 0;  // negative or NaN
    return static_cast<Pixel>(static_cast<int>(scaled)) & 0xffu;
}

Color traceSample(const TraceContext& context, int width, int height, float x, float y) {
    const Ray ray = primaryRay(context.scene.camera, width, height, x, y);
    Color color{};
    if (context.counts) ++context.counts->primary;
    traceRay(context, ray, context.settings.recursionDepth, color, 1.0f);
    return color;
}

}  // namespace

Pixel colorToPixel(Color color) {
    return pixelOf(channelToByte(color.red), channelToByte(color.green), channelToByte(color.blue));
}

Color pixelColor(const TraceContext& context, int width, int height, int row, int column) {
    if (context.settings.antiAliasing != AntiAliasingMode::Supersampling) {
        return traceSample(context, width, height, static_cast<float>(column), static_cast<float>(row));
    }
    // A regular 10 x 10 grid from the pixel's top-left corner. The offsets
    // come from repeated float additions of 0.1, as the grid is defined.
    std::array<Color, 100> samples;
    float y = static_cast<float>(row);
    for (int i = 0; i < 10; ++i) {
        float x = static_cast<float>(column);
        for (int j = 0; j < 10; ++j) {
            samples[static_cast<std::size_t>(i * 10 + j)] = traceSample(context, width, height, x, y);
            x = x + 0.1f;
        }
        y = y + 0.1f;
    }
    Color sum{};
    for (const Color& s : samples) sum = sum + s;
    return sum / 100.0f;
}

Pixel renderPixel(const TraceContext& context, int width, int height, int row, int column) {
    return colorToPixel(pixelColor(context, width, height, row, column));
}
