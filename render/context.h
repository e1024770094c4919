// What one render reads and draws from, handed down every call so the same
// code runs on any thread.
#pragma once

#include <cstdint>

#include "scene/random.h"
#include "render/settings.h"
#include "scene/scene.h"

// Rays traced, for statistics. Each thread counts into its own.
struct RayCounts {
    std::uint64_t primary = 0;
    std::uint64_t secondary = 0;
    std::uint64_t shadow = 0;

    std::uint64_t total() const { return primary + secondary + shadow; }
    RayCounts& operator+=(const RayCounts& other) {
        primary += other.primary;
        secondary += other.secondary;
        shadow += other.shadow;
        return *this;
    }
};

struct Bvh;

struct TraceContext {
    const Scene& scene;
    const RenderSettings& settings;
    Random& generator;            // drawn from by the soft-jitter shadows only
    RayCounts* counts = nullptr;  // optional
    // Built over this very scene; answers exactly as the linear search does.
    // Null: every ray tests every object in list order.
    const Bvh* accelerator = nullptr;
    // Set only by the pass that counts the soft-jitter draws a pixel will
    // make: shading then casts no shadow rays and adds the draws here.
    std::uint64_t* drawCount = nullptr;
};
