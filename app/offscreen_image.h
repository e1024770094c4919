// The picture that a render draws into and the window paints from. The
// render thread writes it while the window's thread copies it, so every
// access takes its lock, one pixel or one copy at a time.
#pragma once

#include <mutex>
#include <span>

#include "render/image.h"

class OffscreenImage {
public:
    // Black when new.
    OffscreenImage(int width, int height) : pixels(width, height) {}

    int width() const { return pixels.width; }
    int height() const { return pixels.height; }

    void setPixel(int x, int y, Pixel pixel);
    // Pixels of row y from column x on, clipped to the image, under one lock.
    void setRow(int x, int y, std::span<const Pixel> row);
    // Copies `source` with its top-left corner at (x, y), clipped to the image.
    void drawImage(int x, int y, const PixelImage& source);
    // A preview of a width x height picture in which only the top-left pixel
    // of every stride x stride block is known: each block takes its colour.
    void drawPreview(std::span<const Pixel> picture, int width, int height, int stride);
    // Rows from `top` down to black: room for a new elapsed time.
    void clearFromRow(int top);
    // The top-left width x height pixels, clipped to the image.
    PixelImage copyRegion(int width, int height) const;
    Pixel at(int x, int y) const;

private:
    mutable std::mutex lock;
    PixelImage pixels;
};
