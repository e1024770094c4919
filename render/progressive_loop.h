// A picture in two passes, for a window that follows a moving camera: first
// every stride-th pixel of every stride-th row, a coarse preview, then all
// the others. Every pixel is computed once and is final when computed, so
// the preview costs the refinement nothing and the finished picture has the
// very pixels of the one-thread loop over the whole picture.
#pragma once

#include <functional>
#include <span>

#include "render/pixel_loop.h"

struct ProgressiveTarget {
    std::span<Pixel> pixels;  // the whole picture
    std::span<Color> colors;  // empty, or the whole picture's colours before conversion
    // Once, by the worker that finished the preview's last pixel: every
    // pixel (x, y) with x and y multiples of the stride is in `pixels` then.
    // Other pixels may be written while it runs; it must read only those.
    std::function<void()> previewDone;
    // Once per run of finished pixels of the second pass: `pixels` of row
    // `row` from column `left` on. Runs may be told concurrently; it must
    // not throw.
    std::function<void(int row, int left, std::span<const Pixel> pixels)> runDone;
};

// The whole width x height picture on `threads` workers (0:
// availableThreadCount()); false when stopped early. Afterwards a finished
// render leaves context.generator where the one-thread loop would; a stopped
// one leaves it as it was. context.counts, if set, receives the sum over the
// workers.
bool runProgressiveLoop(const TraceContext& context, int width, int height, int stride, int threads,
                        const LoopControl& control, const ProgressiveTarget& target);
