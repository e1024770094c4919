#include "app/offscreen_image.h"

#include <algorithm>
#include <cstddef>

void OffscreenImage::setPixel(int x, int y, Pixel pixel) {
    if (x < 0 || y < 0 || x >= pixels.width || y >= pixels.height) return;
    std::lock_guard<std::mutex> hold(lock);
    pixels.pixels[static_cast<std::size_t>(y) * pixels.width + x] = pixel;
}

void OffscreenImage::setRow(int x, int y, std::span<const Pixel> row) {
    if (y < 0 || y >= pixels.height) return;
    std::lock_guard<std::mutex> hold(lock);
    for (std::size_t i = 0; i < row.size(); ++i) {
        const int column = x + static_cast<int>(i);
        if (column >= 0 && column < pixels.width)
            pixels.pixels[static_cast<std::size_t>(y) * pixels.width + column] = row[i];
    }
}

void OffscreenImage::drawImage(int x, int y, const PixelImage& source) {
    std::lock_guard<std::mutex> hold(lock);
    for (int row = std::max(0, -y); row < source.height && y + row < pixels.height; ++row) {
        for (int column = std::max(0, -x); column < source.width && x + column < pixels.width; ++column) {
            pixels.pixels[static_cast<std::size_t>(y + row) * pixels.width + (x + column)] = source.at(column, row);
        }
    }
}

void OffscreenImage::drawPreview(std::span<const Pixel> picture, int width, int height, int stride) {
    if (stride < 1 || picture.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) return;
    std::lock_guard<std::mutex> hold(lock);
    for (int y = 0; y < std::min(height, pixels.height); ++y) {
        const std::size_t from = static_cast<std::size_t>(y - y % stride) * static_cast<std::size_t>(width);
        for (int x = 0; x < std::min(width, pixels.width); ++x) {
            pixels.pixels[static_cast<std::size_t>(y) * pixels.width + x] = picture[from + static_cast<std::size_t>(x - x % stride)];
        }
    }
}

void OffscreenImage::clearFromRow(int top) {
    std::lock_guard<std::mutex> hold(lock);
    const auto first = static_cast<std::size_t>(std::clamp(top, 0, pixels.height)) * pixels.width;
    std::fill(pixels.pixels.begin() + static_cast<std::ptrdiff_t>(first), pixels.pixels.end(), 0u);
}

PixelImage OffscreenImage::copyRegion(int width, int height) const {
    std::lock_guard<std::mutex> hold(lock);
    PixelImage region(std::clamp(width, 0, pixels.width), std::clamp(height, 0, pixels.height));
    for (int row = 0; row < region.height; ++row) {
        const auto from = pixels.pixels.begin() + static_cast<std::ptrdiff_t>(row) * pixels.width;
        std::copy(from, from + region.width, region.pixels.begin() + static_cast<std::ptrdiff_t>(row) * region.width);
    }
    return region;
}

Pixel OffscreenImage::at(int x, int y) const {
    std::lock_guard<std::mutex> hold(lock);
    return pixels.at(x, y);
}
