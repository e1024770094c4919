// From the camera to pixels: primary rays, supersampling and the pixel
// format. The loop over the pixels is render/pixel_loop.h.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "geometry/vec3.h"
#include "render/context.h"
#include "render/hits.h"

// 0x00BBGGRR: red in bits 0-7, green 8-15, blue 16-23.
using Pixel = std::uint32_t;

struct PixelImage {
    int width = 0;
    int height = 0;
    std::vector<Pixel> pixels;  // row by row from the top

    PixelImage() = default;
    PixelImage(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, 0u) {}
    Pixel at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

constexpr Pixel pixelOf(unsigned red, unsigned green, unsigned blue) {
    return (red & 0xffu) | (green & 0xffu) << 8 | (blue & 0xffu) << 16;
}
inline int redOf(Pixel p) { return static_cast<int>(p & 0xffu); }
inline int greenOf(Pixel p) { return static_cast<int>((p >> 8) & 0xffu); }
inline int blueOf(Pixel p) { return static_cast<int>((p >> 16) & 0xffu); }

// Tallest picture a camera may ask for; beyond it the camera is refused.
inline constexpr int kMaxImageHeight = 16384;

// W * |screenUp| / |screenRight|, the ratio rounded to a float first and the
// product truncated; 0 when not finite (no camera). Saturates at INT_MAX.
int imageHeightFor(const Camera& camera, int width);

// The primary ray through the image point (x, y), measured from the top-left
// corner in pixels; the direction is not normalised.
Ray primaryRay(const Camera& camera, int width, int height, float x, float y);

// Truncates each channel of colour * 255, clamped to 0..255 (NaN gives 0).
Pixel colorToPixel(Color color);

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
