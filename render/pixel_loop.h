// The one pixel loop: a rectangle of the picture on several threads, with
// the very pixels the one-thread loop over the whole picture makes.
//
// Workers take whole rows of the rectangle from a shared counter, top row
// first, each row left to right. Only the soft-jitter shadows draw from the
// generator, and how many draws a pixel makes never depends on the values
// drawn; a cheap pass (the same traversal without shadow rays) counts them,
// so every row starts its own copy of the generator exactly where the
// one-thread loop over the whole picture stands when it reaches that row's
// first pixel. A rectangle of whole rows needs fewer counted: there each
// worker renders a run of rows top to bottom, its generator running on,
// and a worker that starts a run below another's counts only the rows
// between them (two workers count half the picture, and it appears in two
// bands).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "render/context.h"
#include "render/image.h"

// The half-open rectangle [left, right) x [top, bottom) of pixels, in the
// whole picture's coordinates.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }
    std::size_t area() const { return empty() ? 0 : static_cast<std::size_t>(width()) * height(); }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

inline PixelRect wholePicture(int width, int height) { return {0, 0, width, height}; }

// What the workers read and report while they run; all optional.
struct LoopControl {
    // Looked at before every pixel; once it is seen set, no worker begins
    // another pixel.
    const std::atomic<bool>* stop = nullptr;
    // Advanced by each row's pixels when the row is done, for a progress
    // display that reads it.
    std::atomic<std::uint64_t>* pixelsDone = nullptr;
    // Advanced by the rays each row traced, for a display of rays per second.
    std::atomic<std::uint64_t>* raysDone = nullptr;
};

// Where finished pixels go: rectangle-sized buffers, row by row from its top.
struct LoopTarget {
    std::span<Pixel> pixels;  // must hold the rectangle
    std::span<Color> colors;  // empty, or the rectangle: each pixel's colour before conversion
    // Told once per row of the rectangle by the worker that rendered it, with
    // the row's finished pixels from its left edge (fewer than its width only
    // for a row that a stop cut short). Distinct rows may be told
    // concurrently and in any order; it must not throw.
    std::function<void(int row, int left, std::span<const Pixel> pixels)> rowDone;
};

// All hardware threads, at least one. The programs pass what their
// allocation allows (the affinity mask, a scheduler's CPU count) as `threads`.
int availableThreadCount();

// Renders `region` of the width x height picture on `threads` workers (0:
// availableThreadCount(); never more than the rectangle has rows); the
// calling thread is one of them. Returns false when stopped early.
//
// Afterwards context.generator stands where the one-thread loop over the
// whole picture stands after the rectangle's last pixel in reading order,
// or, after a stop, after the last pixel before the first unfinished one.
// context.counts, if set, receives the sum over the workers.
bool runPixelLoop(const TraceContext& context, int width, int height, PixelRect region, int threads,
                  const LoopControl& control, const LoopTarget& target);

// The whole picture into a new image on `threads` workers (1: the reference
// order on the calling thread).
PixelImage renderImage(const TraceContext& context, int width, int height, int threads = 1);
