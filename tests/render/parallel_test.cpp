#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "bench/scene_generator.h"
#include "render/bvh/bvh.h"
#include "render/camera.h"
#include "render/pixel_loop.h"
#include "render/render_scene.h"
#include "render/sampling.h"
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

// `threads` 0 is the reference: one thread in reading order.
Rendered render(const Scene& scene, const RenderSettings& settings, std::uint32_t generatorState, int width,
                int threads, const Bvh* bvh) {
    Rendered out;
    Random generator;
    generator.state = generatorState;
    const TraceContext context{scene, settings, generator, &out.counts, bvh};
    const int height = imageHeightFor(scene.camera, width);
    out.image = renderImage(context, width, height, std::max(threads, 1));
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
        const PixelImage actual = renderImage(fast, 12, 12, 3);
        EXPECT_EQ(actual.pixels, expected.pixels) << "render " << render;
        EXPECT_EQ(many.state, one.state) << "render " << render;
    }
    EXPECT_NE(one.state, 1u);
}

// The one-thread loop by hand: the first `pixels` pixels in reading order.
std::uint32_t generatorAfterPixels(const Scene& scene, const RenderSettings& settings, int width, int height,
                                   int pixels) {
    Random alone;
    const TraceContext context{scene, settings, alone};
    for (int p = 0; p < pixels; ++p) renderPixel(context, width, height, p / width, p % width);
    return alone.state;
}

TEST(ParallelRender, AStopEndsWithinOnePixelPerWorkerAndKeepsTheSequence) {
    const Scene scene = randomScene(33);
    const int width = 20, height = 20, threads = 3;
    for (const ShadowMode mode : {ShadowMode::Hard, ShadowMode::SoftJitter}) {
        const RenderSettings settings{2, AntiAliasingMode::None, mode, LightsSetting::On};
        for (const int stopAfterRows : {1, 3, 8}) {
            Random generator;
            const TraceContext context{scene, settings, generator};
            std::atomic<bool> stop{false};
            std::mutex lock;
            int reported = 0;
            std::vector<int> finished(height, 0);
            std::vector<Pixel> pixels(width * height);
            const bool complete =
                runPixelLoop(context, width, height, wholePicture(width, height), threads, {&stop, nullptr},
                             {pixels, {}, [&](int row, int left, std::span<const Pixel> done) {
                                  const std::lock_guard<std::mutex> guard(lock);
                                  EXPECT_EQ(left, 0);
                                  finished[static_cast<std::size_t>(row)] = static_cast<int>(done.size());
                                  if (++reported == stopAfterRows) stop = true;
                              }});
            EXPECT_FALSE(complete);
            const std::string where = "stopped after " + std::to_string(stopAfterRows) + " rows, shadows " +
                                      std::to_string(static_cast<int>(mode));
            // When the stop came, every other worker was within one row: it
            // may end that row's pixel, but begins no other row.
            EXPECT_LE(std::count_if(finished.begin(), finished.end(), [](int n) { return n > 0; }),
                      stopAfterRows + threads - 1)
                << where;

            // The generator stands where the one-thread loop stands after the
            // leading run of finished pixels.
            int prefix = 0;
            for (int row = 0; row < height && prefix == row * width; ++row) prefix += finished[row];
            EXPECT_EQ(generator.state, generatorAfterPixels(scene, settings, width, height, prefix)) << where;
        }
    }
}

TEST(ParallelRender, RectanglesHoldTheWholePicturesPixelsAndSequence) {
    const Scene scene = randomScene(12);
    const Bvh bvh = buildBvh(scene);
    const int width = 23, height = imageHeightFor(scene.camera, width);
    for (const AntiAliasingMode aa : {AntiAliasingMode::None, AntiAliasingMode::Supersampling}) {
        const RenderSettings settings{2, aa, ShadowMode::SoftJitter, LightsSetting::On};
        Random wholeGenerator;
        const PixelImage whole = renderImage({scene, settings, wholeGenerator}, width, height);
        // Supersampling costs a hundred times more: two rectangles show it.
        const std::vector<PixelRect> rects{
            {5, 3, 17, 9}, {22, 0, 23, height}, {0, 0, width, 1}, {0, 7, width, 11}, {1, 1, 2, 2}};
        for (std::size_t k = 0; k < (aa == AntiAliasingMode::None ? rects.size() : 2); ++k) {
            const PixelRect rect = rects[k];
            for (const int threads : {1, 2}) {
                Random generator;
                std::vector<Pixel> pixels(rect.area());
                std::vector<Color> colors(rect.area());
                ASSERT_TRUE(runPixelLoop({scene, settings, generator, nullptr, &bvh}, width, height, rect, threads, {},
                                         {pixels, colors, nullptr}));
                for (int y = rect.top; y < rect.bottom; ++y) {
                    for (int x = rect.left; x < rect.right; ++x) {
                        const std::size_t at = static_cast<std::size_t>(y - rect.top) * rect.width() + (x - rect.left);
                        ASSERT_EQ(pixels[at], whole.at(x, y)) << x << ", " << y << " of a rectangle at " << rect.left
                                                              << ", " << rect.top << ", " << threads << " threads";
                        ASSERT_EQ(colorToPixel(colors[at]), pixels[at]);
                    }
                }
                const int last = (rect.bottom - 1) * width + rect.right;
                EXPECT_EQ(generator.state, generatorAfterPixels(scene, settings, width, height, last));
            }
        }
    }
}

TEST(ParallelRender, EveryRowIsReportedOnceAndTheCountsAddUp) {
    const Scene scene = mixedScene(60, 4);
    const Bvh bvh = buildBvh(scene);
    const RenderSettings settings{3, AntiAliasingMode::None, ShadowMode::Hard, LightsSetting::On};
    Random generator;
    RayCounts counts;
    const TraceContext context{scene, settings, generator, &counts, &bvh};
    std::vector<std::atomic<int>> seen(30);
    std::vector<Pixel> pixels(30 * 30);
    std::atomic<std::uint64_t> done{0};
    EXPECT_TRUE(runPixelLoop(context, 30, 30, wholePicture(30, 30), 0, {nullptr, &done},
                             {pixels, {}, [&](int row, int left, std::span<const Pixel> finished) {
                                  if (left == 0 && finished.size() == 30) ++seen[row];
                              }}));
    for (const auto& s : seen) ASSERT_EQ(s.load(), 1);
    EXPECT_EQ(done.load(), 900u);
    EXPECT_EQ(counts.primary, 900u);
    EXPECT_GT(counts.shadow, 0u);
    EXPECT_EQ(generator.state, 1u);  // hard shadows draw nothing
}

// The preview's pixels are final when it is told, every other pixel is told
// once in the second pass, and the picture and the generator end as the
// reference's, in every shadow mode, with and without supersampling.
TEST(ProgressiveRender, PreviewThenRefinementGiveTheReferencePicture) {
    for (std::uint32_t seed = 1; seed <= 3; ++seed) {
        const Scene scene = randomScene(seed);
        const Bvh bvh = buildBvh(scene);
        for (const ShadowMode mode : {ShadowMode::Hard, ShadowMode::SoftAxes, ShadowMode::None, ShadowMode::SoftJitter}) {
            for (const AntiAliasingMode aa : {AntiAliasingMode::None, AntiAliasingMode::Supersampling}) {
                const RenderSettings settings{3, aa, mode, LightsSetting::On};
                const int width = aa == AntiAliasingMode::Supersampling ? 7 : 18;
                const int stride = aa == AntiAliasingMode::Supersampling ? 3 : 4;
                const Rendered reference = render(scene, settings, 5u, width, 0, nullptr);
                const int height = reference.image.height;
                const std::string where = "random scene " + std::to_string(seed) + ": " + describe(settings);

                Random generator;
                generator.state = 5u;
                std::vector<std::atomic<int>> told(static_cast<std::size_t>(width * height));
                bool previewRight = false;
                RenderRequest request;
                request.width = width;
                request.height = height;
                request.threads = 2;
                request.accelerator = &bvh;
                request.previewStride = stride;
                request.previewDone = [&](std::span<const Pixel> picture) {
                    previewRight = true;
                    for (int y = 0; y < height; y += stride)
                        for (int x = 0; x < width; x += stride)
                            previewRight = previewRight && picture[y * width + x] == reference.image.at(x, y);
                };
                request.rowDone = [&](int row, int left, std::span<const Pixel> run) {
                    for (std::size_t k = 0; k < run.size(); ++k) ++told[row * width + left + static_cast<int>(k)];
                };
                const RenderResult result = renderScene(scene, settings, generator, request);
                ASSERT_TRUE(result.complete) << where;
                EXPECT_TRUE(previewRight) << where;
                ASSERT_EQ(result.image.pixels, reference.image.pixels) << where;
                EXPECT_EQ(generator.state, reference.generatorAfter) << where;
                for (int at = 0; at < width * height; ++at) {
                    const bool inPreview = at / width % stride == 0 && at % width % stride == 0;
                    ASSERT_EQ(told[at].load(), inPreview ? 0 : 1) << where << ", pixel " << at;
                }
            }
        }
    }
}

TEST(ParallelRender, DegenerateSizes) {
    const Scene scene = randomScene(2);
    const RenderSettings settings{0, AntiAliasingMode::None, ShadowMode::SoftJitter, LightsSetting::On};
    Random generator;
    const TraceContext context{scene, settings, generator};
    EXPECT_TRUE(runPixelLoop(context, 0, 10, wholePicture(0, 10), 4, {}, {}));
    EXPECT_TRUE(runPixelLoop(context, 10, 0, wholePicture(10, 0), 4, {}, {}));
    EXPECT_EQ(renderImage(context, 1, 3, 4).pixels.size(), 3u);
}

// Large enough to be built on two threads: objects of every kind, in both
// trees and tested on every ray; the tree must be the one-thread tree.
TEST(ParallelBuild, TwoThreadsBuildTheTreeOfOne) {
    const Scene scene = mixedScene(12000, 5);
    const Bvh one = buildBvh(scene, BuildThreads::One);
    const Bvh two = buildBvh(scene, BuildThreads::Available);
    ASSERT_EQ(one.roots.size(), 2u);
    ASSERT_FALSE(one.alwaysTested.empty());
    const auto same = [](const auto& a, const auto& b) {
        return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0;
    };
    EXPECT_TRUE(same(one.roots, two.roots));
    EXPECT_TRUE(same(one.nodes, two.nodes));
    EXPECT_TRUE(same(one.items, two.items));
    EXPECT_TRUE(same(one.itemBounds, two.itemBounds));
    EXPECT_TRUE(same(one.alwaysTested, two.alwaysTested));
    EXPECT_TRUE(same(one.shapes.fans, two.shapes.fans));
    EXPECT_TRUE(same(one.shapes.fanStart, two.shapes.fanStart));
    EXPECT_TRUE(same(one.shapes.slot, two.shapes.slot));
    EXPECT_TRUE(same(one.cellItems, two.cellItems));
    for (const auto region : {&Bvh::eye, &Bvh::surfaces}) {
        EXPECT_TRUE(same((one.*region).nodes, (two.*region).nodes));
        EXPECT_TRUE(same((one.*region).roots, (two.*region).roots));
    }
    ASSERT_EQ(one.leaves.blocks.size(), two.leaves.blocks.size());
    for (std::size_t b = 0; b < one.leaves.blocks.size(); ++b) {
        const LeafBlock &x = one.leaves.blocks[b], &y = two.leaves.blocks[b];
        ASSERT_TRUE(std::memcmp(x.objects, y.objects, sizeof x.objects) == 0 && x.triangles == y.triangles &&
                    x.spheres == y.spheres && x.others == y.others && std::memcmp(x.rows, y.rows, sizeof x.rows) == 0)
            << "block " << b;
    }
}
