#include "render/parallel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "bench/scene_generator.h"
#include "render/bvh.h"
#include "scene/reader.h"

namespace {

// Under ThreadSanitizer every access is watched and renders crawl: a few
// scenes show the races as well as all of them.
#if defined(__SANITIZE_THREAD__)
constexpr std::size_t kSceneLimit = 2;
#else
constexpr std::size_t kSceneLimit = 1000;
#endif

struct Rendered {
    PixelImage image;
    std::uint32_t generatorAfter = 0;
    RayCounts counts;
};

// `threads` 0 is the reference: runPixelLoop and the linear search.
Rendered render(const Scene& scene, const RenderSettings& settings, std::uint32_t generatorState, int width,
                int threads, const Bvh* bvh) {
    Rendered out;
    Random generator;
    generator.state = generatorState;
    const TraceContext context{scene, settings, generator, &out.counts, bvh};
    const int height = imageHeightFor(scene.camera, width);
    out.image = threads == 0 ? renderImage(context, width, height)
                             : renderImageParallel(context, width, height, threads);
    out.generatorAfter = generator.state;
    return out;
}

std::string describe(const RenderSettings& s) {
    return "shadows " + std::to_string(static_cast<int>(s.shadowMode)) + ", lights " +
           std::to_string(static_cast<int>(s.lights)) + ", depth " + std::to_string(s.recursionDepth) +
           ", supersampling " + std::to_string(static_cast<int>(s.antiAliasing));
}

// Every shadow mode, lights on and off, depth 0 and 5, with and without
// supersampling: the fast paths must give the reference's bytes, leave the
// generator where it leaves it and trace as many rays.
void expectSameEverywhere(const Scene& scene, const std::string& name) {
    const Bvh bvh = buildBvh(scene);
    int variant = 0;
    for (const ShadowMode mode : {ShadowMode::Hard, ShadowMode::SoftAxes, ShadowMode::None, ShadowMode::SoftJitter}) {
        for (const LightsSetting lights : {LightsSetting::On, LightsSetting::Off}) {
            for (const int depth : {0, 5}) {
                for (const AntiAliasingMode aa : {AntiAliasingMode::None, AntiAliasingMode::Supersampling}) {
                    const RenderSettings settings{depth, aa, mode, lights};
                    const int width = aa == AntiAliasingMode::Supersampling ? 4 : 14;
                    const std::uint32_t start = 1u + 7919u * static_cast<std::uint32_t>(variant);
                    const Rendered reference = render(scene, settings, start, width, 0, nullptr);
                    // Alternate the ways in: both fast paths, threads alone, the hierarchy alone.
                    const int threads = variant % 3 == 2 ? 1 : 2 + variant % 2;
                    const Bvh* accelerator = variant % 3 == 1 ? nullptr : &bvh;
                    const Rendered fast = render(scene, settings, start, width, threads, accelerator);
                    ++variant;
                    const std::string where = name + ": " + describe(settings) + ", threads " +
                                              std::to_string(threads) + (accelerator ? ", hierarchy" : "");
                    ASSERT_EQ(fast.image.pixels, reference.image.pixels) << where;
                    EXPECT_EQ(fast.generatorAfter, reference.generatorAfter) << where;
                    EXPECT_EQ(fast.counts.primary, reference.counts.primary) << where;
                    EXPECT_EQ(fast.counts.secondary, reference.counts.secondary) << where;
                    EXPECT_EQ(fast.counts.shadow, reference.counts.shadow) << where;
                }
            }
        }
    }
}

}  // namespace

TEST(ParallelRender, SampleScenesMatchTheReferenceByteForByte) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(ORVANEL_SCENES_DIR)) {
        if (entry.path().extension() == ".txt") files.push_back(entry.path());
    }
    if (files.empty()) GTEST_SKIP() << "no sample scenes in " << ORVANEL_SCENES_DIR;
    std::sort(files.begin(), files.end());
    files.resize(std::min(files.size(), kSceneLimit));
    for (const auto& file : files) {
        Scene scene;
        Random generator;
        ASSERT_TRUE(loadScene(file.string(), scene, generator));
        expectSameEverywhere(scene, file.filename().string());
        if (::testing::Test::HasFatalFailure()) return;
    }
}

TEST(ParallelRender, RandomScenesMatchTheReferenceByteForByte) {
    for (std::uint32_t seed = 1; seed <= std::min<std::size_t>(6, kSceneLimit); ++seed) {
        expectSameEverywhere(randomScene(seed), "random scene " + std::to_string(seed));
        if (::testing::Test::HasFatalFailure()) return;
    }
}

TEST(ParallelRender, SuccessiveSoftJitterRendersContinueOneSequence) {
    const Scene scene = randomScene(21);
    const Bvh bvh = buildBvh(scene);
    const RenderSettings settings{1, AntiAliasingMode::None, ShadowMode::SoftJitter, LightsSetting::On};
    Random one, many;
    const TraceContext reference{scene, settings, one};
    const TraceContext fast{scene, settings, many, nullptr, &bvh};
    for (int render = 0; render < 3; ++render) {
        const PixelImage expected = renderImage(reference, 12, 12);
        const PixelImage actual = renderImageParallel(fast, 12, 12, 3);
        EXPECT_EQ(actual.pixels, expected.pixels) << "render " << render;
        EXPECT_EQ(many.state, one.state) << "render " << render;
    }
    EXPECT_NE(one.state, 1u);
}

TEST(ParallelRender, AStopEndsWithinOnePixelPerWorkerAndKeepsTheSequence) {
    const Scene scene = randomScene(33);
    const RenderSettings settings{2, AntiAliasingMode::None, ShadowMode::SoftJitter, LightsSetting::On};
    const int width = 20, height = 20, threads = 3;
    for (const int stopAfter : {1, 7, 45}) {
        Random generator;
        const TraceContext context{scene, settings, generator};
        std::atomic<int> done{0};
        std::mutex lock;
        std::set<std::pair<int, int>> pixels;
        const bool complete = runParallelPixelLoop(
            context, width, height, threads, [&] { return done.load() >= stopAfter; },
            [&](int row, int column, Pixel) {
                const std::lock_guard<std::mutex> guard(lock);
                pixels.insert({row, column});
                ++done;
            });
        EXPECT_FALSE(complete);
        EXPECT_GE(done.load(), stopAfter);
        EXPECT_LE(done.load(), stopAfter + threads - 1);
        // Rows are handed out from the top, one per worker at a time.
        for (const auto& [row, column] : pixels) EXPECT_LT(row, threads + stopAfter / width + 1);

        // The generator stands where the one-thread loop stopped after the
        // same leading run of pixels stands.
        int prefix = 0;
        while (prefix < width * height && pixels.count({prefix / width, prefix % width}) == 1) ++prefix;
        Random alone;
        int count = 0;
        runPixelLoop(TraceContext{scene, settings, alone}, width, height, [&] { return count >= prefix; },
                     [&](int, int, Pixel) { ++count; });
        EXPECT_EQ(generator.state, alone.state) << "stopped after " << stopAfter;
    }
}

TEST(ParallelRender, EveryPixelIsReportedOnceAndTheCountsAddUp) {
    const Scene scene = mixedScene(60, 4);
    const Bvh bvh = buildBvh(scene);
    const RenderSettings settings{3, AntiAliasingMode::None, ShadowMode::Hard, LightsSetting::On};
    Random generator;
    RayCounts counts;
    const TraceContext context{scene, settings, generator, &counts, &bvh};
    std::vector<std::atomic<int>> seen(30 * 30);
    EXPECT_TRUE(runParallelPixelLoop(context, 30, 30, 0, nullptr,
                                     [&](int row, int column, Pixel) { ++seen[row * 30 + column]; }));
    for (const auto& s : seen) ASSERT_EQ(s.load(), 1);
    EXPECT_EQ(counts.primary, 900u);
    EXPECT_GT(counts.shadow, 0u);
    EXPECT_EQ(generator.state, 1u);  // hard shadows draw nothing
}

TEST(ParallelRender, DegenerateSizes) {
    const Scene scene = randomScene(2);
    const RenderSettings settings{0, AntiAliasingMode::None, ShadowMode::SoftJitter, LightsSetting::On};
    Random generator;
    const TraceContext context{scene, settings, generator};
    EXPECT_TRUE(runParallelPixelLoop(context, 0, 10, 4, nullptr, nullptr));
    EXPECT_TRUE(runParallelPixelLoop(context, 10, 0, 4, nullptr, nullptr));
    EXPECT_EQ(renderImageParallel(context, 1, 3, 4).pixels.size(), 3u);
}
