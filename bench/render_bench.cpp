// End-to-end render benchmarks: each fast path against the reference (one
// thread, linear search) on the same scene in the same run, with the
// pictures compared byte for byte.
//
//   orvanel-bench [--quick] [--threads N] [--write-scenes DIR] [--scenes DIR]
//   orvanel-bench --growth    the sphere field's growth only
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "bench/scene_generator.h"
#include "render/bvh/bvh.h"
#include "render/camera.h"
#include "render/pixel_loop.h"
#include "scene/reader.h"

namespace {

struct Measure {
    double milliseconds = 0.0;
    double cpuMilliseconds = 0.0;  // of the whole process: on a busy machine, the work itself
    RayCounts counts;
    std::vector<Pixel> pixels;
    std::uint32_t generatorAfter = 0;
};

struct Path {
    const char* name;
    int threads;  // 0: the reference loop on the calling thread
    bool accelerated;
};

constexpr Path kReference{"reference (1 thread, linear)", 0, false};

// Renders `rows` (all when empty) of a width x height picture.
Measure run(const Scene& scene, const RenderSettings& settings, const Bvh* bvh, const Path& path, int width, int height,
            const std::vector<int>& rows, int repeats) {
    Measure best;
    for (int attempt = 0; attempt < repeats; ++attempt) {
        Measure m;
        Random generator;
        const TraceContext context{scene, settings, generator, &m.counts, path.accelerated ? bvh : nullptr};
        m.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0u);
        const auto rowPixels = [&m, width](int row) {
            return std::span<Pixel>(m.pixels).subspan(static_cast<std::size_t>(row) * static_cast<std::size_t>(width),
                                                      static_cast<std::size_t>(width));
        };
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        if (!rows.empty()) {
            for (const int row : rows) {
                runPixelLoop(context, width, height, {0, row, width, row + 1}, 1, {}, {rowPixels(row), {}, nullptr});
            }
        } else {
            runPixelLoop(context, width, height, wholePicture(width, height), std::max(path.threads, 1), {},
                         {m.pixels, {}, nullptr});
        }
        m.milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        m.cpuMilliseconds = 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        m.generatorAfter = generator.state;
        if (attempt == 0 || m.milliseconds < best.milliseconds) best = std::move(m);
    }
    return best;
}

void printHeader(const std::string& title) {
    std::printf("\n### %s\n\n", title.c_str());
    std::printf("| path | ms | cpu ms | rays/s | speedup | same bytes |\n|---|---:|---:|---:|---:|---|\n");
}

void printRow(const char* name, const Measure& m, const Measure& reference) {
    const double raysPerSecond = static_cast<double>(m.counts.total()) / (m.milliseconds / 1000.0);
    const bool same = m.pixels == reference.pixels && m.generatorAfter == reference.generatorAfter;
    std::printf("| %s | %.1f | %.1f | %.3g | %.2fx | %s |\n", name, m.milliseconds, m.cpuMilliseconds, raysPerSecond,
                reference.milliseconds / m.milliseconds, same ? "yes" : "NO");
    std::fflush(stdout);
}

const char* modeName(ShadowMode mode) {
    switch (mode) {
        case ShadowMode::Hard:
            return "hard";
        case ShadowMode::SoftAxes:
            return "soft axes";
        case ShadowMode::None:
            return "none";
        case ShadowMode::SoftJitter:
            return "soft jitter";
    }
    return "?";
}

std::string describe(const std::string& name, const Scene& scene, const RenderSettings& s, int width, int height) {
    return name + " (" + std::to_string(scene.objectList.size()) + " objects), " + std::to_string(width) + " x " +
           std::to_string(height) + ", lights " + (s.lights == LightsSetting::On ? "on" : "off") + ", shadows " +
           modeName(s.shadowMode) + ", depth " + std::to_string(s.recursionDepth) +
           (s.antiAliasing == AntiAliasingMode::Supersampling ? ", supersampling" : "");
}

// Every path on the whole picture.
void compareAllPaths(const std::string& name, const Scene& scene, const RenderSettings& settings, int width,
                     int threads, int repeats) {
    const int height = imageHeightFor(scene.camera, width);
    const Bvh bvh = buildBvh(scene);
    printHeader(describe(name, scene, settings, width, height));
    const Measure reference = run(scene, settings, &bvh, kReference, width, height, {}, repeats);
    printRow(kReference.name, reference, reference);
    const std::string parallel = std::to_string(threads) + " threads";
    const std::vector<Path> paths{
        {"hierarchy, 1 thread", 1, true}, {nullptr, threads, false}, {nullptr, threads, true}};
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string label =
            i == 0 ? paths[i].name : parallel + (paths[i].accelerated ? ", hierarchy" : ", linear");
        printRow(label.c_str(), run(scene, settings, &bvh, paths[i], width, height, {}, repeats), reference);
    }
}

// The reference takes hours on a whole picture of a large scene: both paths
// render the same evenly spread rows, and the fast path also the whole picture.
void compareOnRows(const std::string& name, const Scene& scene, const RenderSettings& settings, int width, int rowStep,
                   int threads) {
    const int height = imageHeightFor(scene.camera, width);
    const auto buildStart = std::chrono::steady_clock::now();
    const Bvh bvh = buildBvh(scene);
    const double buildMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - buildStart).count();
    std::vector<int> rows;
    for (int row = rowStep / 2; row < height; row += rowStep) rows.push_back(row);
    printHeader(describe(name, scene, settings, width, height) + "; rows " + std::to_string(rowStep / 2) + ", " +
                std::to_string(rowStep / 2 + rowStep) + ", ... (" + std::to_string(rows.size()) + " rows)");
    const Measure reference = run(scene, settings, &bvh, kReference, width, height, rows, 1);
    printRow(kReference.name, reference, reference);
    printRow("hierarchy, 1 thread", run(scene, settings, &bvh, {"", 1, true}, width, height, rows, 3), reference);
    std::printf(
        "\nWhole picture with the hierarchy (built in %.1f ms, %zu objects bounded, %zu tested on every ray):\n\n",
        buildMs, bvh.boundedCount(), bvh.alwaysTested.size());
    const Measure one = run(scene, settings, &bvh, {"", 1, true}, width, height, {}, 1);
    const Measure many = run(scene, settings, &bvh, {"", threads, true}, width, height, {}, 1);
    std::printf(
        "| path | ms | cpu ms | rays/s | speedup over 1 thread | same bytes |\n|---|---:|---:|---:|---:|---|\n");
    printRow("hierarchy, 1 thread", one, one);
    printRow((std::to_string(threads) + " threads, hierarchy").c_str(), many, one);
}

// Render time with the hierarchy as the object count grows 100-fold.
void growth(const std::string& name, const std::function<Scene(int)>& make, int small, int large,
            const RenderSettings& settings, int width) {
    std::printf("\n### Growth: %s, %d to %d objects, %d px wide, hierarchy, 1 thread\n\n", name.c_str(), small, large,
                width);
    std::printf("| objects | ms | rays/s | time / time at %d |\n|---:|---:|---:|---:|\n", small);
    double base = 0.0;
    for (const int count : {small, large}) {
        const Scene scene = make(count);
        const Bvh bvh = buildBvh(scene);
        const int height = imageHeightFor(scene.camera, width);
        const Measure m = run(scene, settings, &bvh, {"", 1, true}, width, height, {}, 3);
        if (base == 0.0) base = m.milliseconds;
        std::printf("| %zu | %.1f | %.3g | %.2fx |\n", scene.objectList.size(), m.milliseconds,
                    static_cast<double>(m.counts.total()) / (m.milliseconds / 1000.0), m.milliseconds / base);
        std::fflush(stdout);
    }
}

void writeScenes(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    const std::vector<std::pair<std::string, Scene>> scenes{{"mesh-100000.txt", triangleMesh(100000)},
                                                            {"spheres-1000.txt", sphereField(1000, 1)},
                                                            {"spheres-100000.txt", sphereField(100000, 1)},
                                                            {"mixed-10000.txt", mixedScene(10000, 1)}};
    for (const auto& [file, scene] : scenes) {
        std::ofstream out(dir / file);
        writeScene(out, scene);
        std::printf("wrote %s\n", (dir / file).string().c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    bool growthOnly = false;
    int threads = availableThreadCount();
    std::string scenesDir = "scenes";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick") {
            quick = true;
        } else if (arg == "--growth") {
            growthOnly = true;
        } else if (arg == "--threads" && i + 1 < argc) {
            threads = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--scenes" && i + 1 < argc) {
            scenesDir = argv[++i];
        } else if (arg == "--write-scenes" && i + 1 < argc) {
            writeScenes(argv[++i]);
            return 0;
        } else {
            std::fprintf(stderr, "usage: %s [--quick] [--growth] [--threads N] [--scenes DIR] [--write-scenes DIR]\n",
                         argv[0]);
            return 2;
        }
    }
    std::printf("# orvanel-bench: %d hardware threads, %d used%s\n", availableThreadCount(), threads,
                quick ? ", quick" : "");

    const RenderSettings hard{0, AntiAliasingMode::None, ShadowMode::Hard, LightsSetting::On};
    const RenderSettings soft{5, AntiAliasingMode::None, ShadowMode::SoftJitter, LightsSetting::On};
    const int repeats = quick ? 1 : 3;
    const auto sphereGrowth = [&] {
        growth(
            "sphere field", [](int n) { return sphereField(n, 1); }, 1000, 100000, hard, quick ? 200 : 400);
    };
    if (growthOnly) {
        sphereGrowth();
        return 0;
    }

    // Parallel speedup on a small scene, where the hierarchy matters little.
    Scene showcase;
    Random seeded;
    if (loadScene(scenesDir + "/showcase.txt", showcase, seeded)) {
        compareAllPaths("scenes/showcase.txt", showcase, soft, quick ? 100 : 160, threads, 1);
    } else {
        std::printf("\n(no %s/showcase.txt: skipped)\n", scenesDir.c_str());
    }
    compareAllPaths("1000 spheres", sphereField(1000, 1), hard, quick ? 100 : 200, threads, repeats);
    compareOnRows("mesh of 100000 triangles", triangleMesh(100000), hard, 400, quick ? 100 : 40, threads);
    compareOnRows("mix of all kinds", mixedScene(10000, 1), hard, quick ? 200 : 400, quick ? 100 : 40, threads);
    growth(
        "triangle mesh", [](int n) { return triangleMesh(n); }, 1000, 100000, hard, quick ? 200 : 400);
    sphereGrowth();
    return 0;
}
