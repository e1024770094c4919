// The body of a render thread: the picture pixel by pixel, then the elapsed
// milliseconds under it.
#pragma once

#include <memory>

#include "app/offscreen_image.h"
#include "app/render_control.h"
#include "app/render_status.h"
#include "app/window_port.h"
#include "render/bvh/bvh.h"
#include "render/settings.h"
#include "scene/random.h"
#include "scene/scene.h"

// Everything one render reads. The settings are a copy taken when the render
// starts, and the image is shared: a later command may make a new one, and
// this render keeps drawing into its own until it has stopped.
struct RenderJob {
    const Scene* scene;
    RenderSettings settings;
    Random generator;  // drawn from by the soft-jitter shadows only
    std::shared_ptr<OffscreenImage> image;
    int width;
    int height;
    RenderControl* control;
    WindowPort* window;
    const Bvh* accelerator;  // built for `scene`; null: the linear search
    int threads;             // workers; 0: every hardware thread
    // Above 1: a coarse preview first, one pixel per previewStride square,
    // each drawn as its square; then the rest in place.
    int previewStride = 1;
    RenderStatus* status = nullptr;  // optional
};

// The row on which the elapsed time is drawn, below a picture `height` tall.
inline int elapsedTextRow(int height) { return height + 5; }

void renderThread(RenderJob job);
