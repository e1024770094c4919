// One pixel's colour: its primary ray or rays, supersampling, and the
// packets of a row. The loop over the pixels is render/pixel_loop.h.
#pragma once

#include <array>

#include "render/context.h"
#include "render/hits.h"
#include "render/image.h"

// One pixel's colour before conversion: one ray, or the mean of a 10 x 10
// grid under supersampling.
Color pixelColor(const TraceContext& context, int width, int height, int row, int column);

// Without supersampling, neighbouring pixels of a row find what their rays
// meet first together; each is then shaded on its own, in order.
inline constexpr int kRowPacket = 8;
struct RowHits {
    std::array<Ray, kRowPacket> rays;
    std::array<NearestHit, kRowPacket> hits;
};
// The primary rays of pixels column .. column + count - 1 (count at most
// kRowPacket) and their nearest hits.
RowHits primaryHitsOfRow(const TraceContext& context, int width, int height, int row, int column, int count);
// What pixelColor gives without supersampling, from the pixel's ray and hit.
Color colorOfSample(const TraceContext& context, const Ray& ray, const NearestHit& hit);

// colorToPixel of pixelColor.
Pixel renderPixel(const TraceContext& context, int width, int height, int row, int column);
