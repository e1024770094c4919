// The pieces every pixel loop is made of: workers, the stop check, one run
// of a row's pixels, and the count of the soft-jitter draws such a run makes.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "render/pixel_loop.h"
#include "render/sampling.h"

// Runs `work` on the calling thread and threads - 1 others, and joins them.
template <typename Work>
inline void onWorkers(int threads, const Work& work) {
    std::vector<std::thread> helpers;
    helpers.reserve(static_cast<std::size_t>(threads - 1));
    for (int i = 1; i < threads; ++i) helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers) helper.join();
}

inline bool drawsFromGenerator(const TraceContext& context) {
    return context.settings.shadowMode == ShadowMode::SoftJitter && context.settings.lights == LightsSetting::On &&
           !context.scene.lightList.empty();
}

inline bool stopSeen(const LoopControl& control) { return control.stop && control.stop->load(std::memory_order_relaxed); }

// Columns [left, right) of one row, left to right, each pixel handed to
// `pixelDone(column, color)`. Returns the columns finished before a stop.
template <typename PixelDone>
int renderRow(const TraceContext& context, int width, int height, int row, int left, int right,
              const LoopControl& control, PixelDone&& pixelDone) {
    if (context.settings.antiAliasing == AntiAliasingMode::Supersampling) {
        for (int column = left; column < right; ++column) {
            if (stopSeen(control)) return column - left;
            pixelDone(column, pixelColor(context, width, height, row, column));
        }
        return right - left;
    }
    for (int column = left; column < right; column += kRowPacket) {
        const int count = std::min(kRowPacket, right - column);
        const RowHits ahead = primaryHitsOfRow(context, width, height, row, column, count);
        for (int k = 0; k < count; ++k) {
            if (stopSeen(control)) return column + k - left;
            const auto at = static_cast<std::size_t>(k);
            pixelDone(column + k, colorOfSample(context, ahead.rays[at], ahead.hits[at]));
        }
    }
    return right - left;
}

// The soft-jitter draws of the pixels [0, end) of `row`, counted without
// shadow rays into `count`, each pixel told to `pixelDone`. False when a stop
// cut the count short.
template <typename PixelDone>
bool countDrawsOfRow(const TraceContext& context, int width, int height, int row, int end, const LoopControl& control,
                     std::uint64_t& count, PixelDone&& pixelDone) {
    Random unused;
    const TraceContext counting{context.scene, context.settings, unused, nullptr, context.accelerator, &count};
    return renderRow(counting, width, height, row, 0, end, control, pixelDone) == end;
}
