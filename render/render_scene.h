// Render a scene into an image: the one call that the viewer, the CLI, the
// benchmarks and the tests share. It builds the hierarchy unless given one
// and runs the pixel loop.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "render/pixel_loop.h"
#include "render/progressive_loop.h"

struct Bvh;

struct RenderRequest {
    int width = 0;                     // of the whole picture
    int height = 0;                    // of the whole picture
    PixelRect region{};                // empty: the whole picture
    int threads = 0;                   // 0: availableThreadCount()
    bool accelerate = true;            // false: every ray tests every object in list order
    const Bvh* accelerator = nullptr;  // already built for this scene; else built here when accelerating
    bool keepColors = false;           // fill RenderResult::colors
    bool countRays = false;            // fill RenderResult::counts
    LoopControl control;
    // As LoopTarget::rowDone: once per finished (or cut-short) row; with a
    // preview, once per finished run of the second pass.
    std::function<void(int row, int left, std::span<const Pixel> pixels)> rowDone;
    // Above 1, and for the whole picture only: a coarse preview first, one
    // pixel of every previewStride x previewStride block, told by
    // previewDone with the picture in which those pixels stand (see
    // render/progressive_loop.h).
    int previewStride = 1;
    std::function<void(std::span<const Pixel> picture)> previewDone;
};

struct RenderResult {
    PixelRect region;
    PixelImage image;           // the region's pixels, region-sized
    std::vector<Color> colors;  // the same pixels before conversion, when kept
    RayCounts counts;
    bool complete = false;  // false when stopped early
    std::string engine;     // threads and search, for statistics
};

RenderResult renderScene(const Scene& scene, const RenderSettings& settings, Random& generator,
                         const RenderRequest& request);
