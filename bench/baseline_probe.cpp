// The growth and build measurements of orvanel-bench --growth and
// target-bench build, made on the baseline commit, so that targets.sh can
// show where the engine stood on them before. It is compiled by targets.sh
// against the baseline's own sources and library, whose interface differs
// from this tree's: it is not part of this tree's build.
//   baseline-probe   prints "growth ms: SMALL LARGE", "build ms: B", "render ms: R"
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "bench/scene_generator.h"
#include "render/bvh/bvh.h"
#include "render/parallel.h"

namespace {

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Best of three renders on one thread with a hierarchy already built.
double renderMs(const Scene& scene, const RenderSettings& settings, const Bvh& bvh, int width) {
    double best = 0.0;
    for (int round = 0; round < 3; ++round) {
        Random generator;
        const TraceContext context{scene, settings, generator, nullptr, &bvh};
        const auto start = std::chrono::steady_clock::now();
        (void)renderImageParallel(context, width, imageHeightFor(scene.camera, width), 1);
        const double ms = millisecondsSince(start);
        best = round == 0 ? ms : std::min(best, ms);
    }
    return best;
}

}  // namespace

int main() {
    const RenderSettings flat{0, AntiAliasingMode::None, ShadowMode::Hard, LightsSetting::On};
    std::printf("growth ms:");
    for (const int count : {1000, 100000}) {
        const Scene field = sphereField(count, 1);
        std::printf(" %.1f", renderMs(field, flat, buildBvh(field), 400));
    }
    std::printf("\n");

    const Scene mesh = triangleMesh(100000);
    double build = 0.0;
    for (int round = 0; round < 3; ++round) {
        const auto start = std::chrono::steady_clock::now();
        (void)buildBvh(mesh);
        const double ms = millisecondsSince(start);
        build = round == 0 ? ms : std::min(build, ms);
    }
    const RenderSettings deep{5, AntiAliasingMode::None, ShadowMode::Hard, LightsSetting::On};
    std::printf("build ms: %.1f\nrender ms: %.1f\n", build, renderMs(mesh, deep, buildBvh(mesh), 400));
    return 0;
}
