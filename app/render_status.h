// How far the current render has got, for the status bar: the render
// thread writes it, the window's thread reads it on a timer.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "render/image.h"

// The last complete picture, as Save Picture As writes it.
struct FinishedPicture {
    PixelImage pixels;
    std::vector<Color> colors;  // before conversion, for the float formats
};

struct StatusSnapshot {
    bool rendering = false;
    std::uint64_t pixelsDone = 0;
    std::uint64_t pixels = 0;
    std::uint64_t rays = 0;
    std::chrono::milliseconds elapsed{0};
    std::string engine;  // of the last complete render; empty before one
};

class RenderStatus {
public:
    // Window's thread, while no render runs.
    void begin(std::uint64_t pixels);

    // Render thread.
    std::atomic<std::uint64_t>& pixelsCounter() { return pixelsDone; }
    std::atomic<std::uint64_t>& raysCounter() { return raysDone; }
    void finish(bool complete, std::string engine, std::shared_ptr<const FinishedPicture> picture);

    // Any thread.
    StatusSnapshot snapshot() const;
    std::shared_ptr<const FinishedPicture> picture() const;

private:
    using Clock = std::chrono::steady_clock;
    std::atomic<std::uint64_t> pixelsDone{0};
    std::atomic<std::uint64_t> raysDone{0};
    mutable std::mutex lock;
    bool rendering = false;
    std::uint64_t total = 0;
    Clock::time_point started{};
    // Of the last complete render.
    std::chrono::milliseconds lastElapsed{0};
    std::uint64_t lastRays = 0;
    std::string engine;
    std::shared_ptr<const FinishedPicture> finished;
};

// "Rendering: 42 % · 0.8 s elapsed · 1.1 s left · 3.2 M rays/s", or after a
// render "Rendered in 35 ms · 3.2 M rays/s · 2 threads, bounding volume
// hierarchy", the engine without its detail in brackets.
std::string statusText(const StatusSnapshot& status);
