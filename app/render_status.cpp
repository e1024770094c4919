#include "app/render_status.h"

#include <cstdio>

void RenderStatus::begin(std::uint64_t pixels) {
    pixelsDone = 0;
    raysDone = 0;
    const std::lock_guard<std::mutex> hold(lock);
    rendering = true;
    total = pixels;
    started = Clock::now();
}

void RenderStatus::finish(bool complete, std::string renderEngine, std::shared_ptr<const FinishedPicture> picture) {
    const std::lock_guard<std::mutex> hold(lock);
    rendering = false;
    if (!complete) return;
    lastElapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    lastRays = raysDone.load(std::memory_order_relaxed);
    engine = std::move(renderEngine);
    finished = std::move(picture);
}

StatusSnapshot RenderStatus::snapshot() const {
    const std::lock_guard<std::mutex> hold(lock);
    StatusSnapshot out;
    out.rendering = rendering;
    out.pixels = total;
    out.pixelsDone = pixelsDone.load(std::memory_order_relaxed);
    out.rays = rendering ? raysDone.load(std::memory_order_relaxed) : lastRays;
    out.elapsed =
        rendering ? std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started) : lastElapsed;
    out.engine = engine;
    return out;
}

std::shared_ptr<const FinishedPicture> RenderStatus::picture() const {
    const std::lock_guard<std::mutex> hold(lock);
    return finished;
}

namespace {

std::string seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, s < 10 ? "%.1f s" : "%.0f s", s);
    return text;
}

std::string raysPerSecond(std::uint64_t rays, double s) {
    if (s <= 0 || rays == 0) return {};
    char text[48];
    std::snprintf(text, sizeof text, "%.1f M rays/s", static_cast<double>(rays) / s / 1e6);
    return text;
}

}  // namespace

std::string statusText(const StatusSnapshot& status) {
    const double elapsed = static_cast<double>(status.elapsed.count()) / 1000.0;
    const std::string rate = raysPerSecond(status.rays, elapsed);
    if (status.rendering) {
        const double share = status.pixels ? static_cast<double>(status.pixelsDone) / static_cast<double>(status.pixels) : 0;
        std::string text = "Rendering: " + std::to_string(static_cast<int>(share * 100)) + " % \u00b7 " +
                           seconds(elapsed) + " elapsed";
        if (share > 0) text += " \u00b7 " + seconds(elapsed * (1 - share) / share) + " left";
        if (!rate.empty()) text += " \u00b7 " + rate;
        return text;
    }
    if (status.engine.empty()) return {};
    std::string text = "Rendered in " + std::to_string(status.elapsed.count()) + " ms";
    if (!rate.empty()) text += " \u00b7 " + rate;
    // The engine's detail in brackets (how many objects the hierarchy bounds)
    // would crowd the bar; the window shows it on demand.
    return text + " \u00b7 " + status.engine.substr(0, status.engine.find(" ("));
}
