// The pixel loop on several threads, with the very picture the one-thread
// loop makes.
//
// Workers take whole rows from a shared counter, top row first, each row
// left to right. Only the soft-jitter shadows draw from the generator, and
// how many draws a pixel makes never depends on the values drawn; a cheap
// pass (the same traversal without shadow rays) counts them per row, so
// every row starts its own copy of the generator exactly where the
// one-thread loop would be when it reaches that row.
#pragma once

#include <functional>

#include "render/context.h"
#include "render/sampling.h"

// All hardware threads, at least one.
int hardwareThreadCount();

// runPixelLoop on `threads` workers (0: hardwareThreadCount(); 1: runPixelLoop
// itself on the calling thread, which is always one of the workers).
// `stopRequested` is asked before every pixel and `pixelDone` told after it,
// both from any worker and concurrently, for distinct pixels: they must be
// thread-safe and must not throw. Once a stop is seen no worker begins another
// pixel. Returns false when stopped early.
//
// Afterwards context.generator stands where runPixelLoop leaves it: past
// every draw of the picture, or, after a stop, past the draws of the rows
// above the first unfinished one and of that row's finished pixels.
// context.counts, if set, receives the sum over the workers.
bool runParallelPixelLoop(const TraceContext& context, int width, int height, int threads,
                          const std::function<bool()>& stopRequested,
                          const std::function<void(int row, int column, Pixel pixel)>& pixelDone);

// The whole picture on `threads` workers.
PixelImage renderImageParallel(const TraceContext& context, int width, int height, int threads);
