// A rendered picture in the 24-bit pixel format, and the one conversion from
// a colour to a pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "geometry/vec3.h"

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

// Truncates each channel of colour * 255, clamped to 0..255 (NaN gives 0).
Pixel colorToPixel(Color color);
