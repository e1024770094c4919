#include "render/sampling.h"

#include <algorithm>
#include <array>

#include "render/camera.h"
#include "render/trace.h"

namespace {

// Primary rays find their hits ahead, in packets; nothing else does, so the
// shading that follows happens in the rays' order, as it would ray by ray.
void findPrimaryHits(const TraceContext& context, std::span<const Ray> rays, std::span<NearestHit> hits) {
    if (context.settings.recursionDepth >= 0) findNearestHits(context, rays, hits);
}

}  // namespace

RowHits primaryHitsOfRow(const TraceContext& context, int width, int height, int row, int column, int count) {
    RowHits out;
    const auto n = static_cast<std::size_t>(std::clamp(count, 0, kRowPacket));
    for (std::size_t k = 0; k < n; ++k) {
        out.rays[k] = primaryRay(context.scene.camera, width, height, static_cast<float>(column + static_cast<int>(k)),
                                 static_cast<float>(row));
    }
    findPrimaryHits(context, std::span(out.rays).first(n), std::span(out.hits).first(n));
    return out;
}

Color colorOfSample(const TraceContext& context, const Ray& ray, const NearestHit& hit) {
    Color color{};
    if (context.counts) ++context.counts->primary;
    traceFromHit(context, ray, hit, context.settings.recursionDepth, color, 1.0f);
    return color;
}

Color pixelColor(const TraceContext& context, int width, int height, int row, int column) {
    if (context.settings.antiAliasing != AntiAliasingMode::Supersampling) {
        const RowHits one = primaryHitsOfRow(context, width, height, row, column, 1);
        return colorOfSample(context, one.rays[0], one.hits[0]);
    }
    // A regular 10 x 10 grid from the pixel's top-left corner. The offsets
    // come from repeated float additions of 0.1, as the grid is defined.
    std::array<Ray, 100> rays;
    float y = static_cast<float>(row);
    for (int i = 0; i < 10; ++i) {
        float x = static_cast<float>(column);
        for (int j = 0; j < 10; ++j) {
            rays[static_cast<std::size_t>(i * 10 + j)] = primaryRay(context.scene.camera, width, height, x, y);
            x = x + 0.1f;
        }
        y = y + 0.1f;
    }
    std::array<NearestHit, 100> hits;
    findPrimaryHits(context, rays, hits);
    std::array<Color, 100> samples;
    for (std::size_t k = 0; k < samples.size(); ++k) samples[k] = colorOfSample(context, rays[k], hits[k]);
    Color sum{};
    for (const Color& s : samples) sum = sum + s;
    return sum / 100.0f;
}

Pixel renderPixel(const TraceContext& context, int width, int height, int row, int column) {
    return colorToPixel(pixelColor(context, width, height, row, column));
}
