#include "render/sampling.h"
#include "render/camera.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cmath>
#include <vector>

#include "render/pixel_loop.h"
#include "render/trace.h"
#include "test_scenes.h"

namespace {

// Camera at the origin plane: the image-plane point of (x, y) is (u, v, 0)
// and the eye is at (0, 0, 1), so the direction is (u, v, -1).
const Camera kUnitCamera{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

float uOf(int width, float x) { return primaryRay(kUnitCamera, width, width, x, 0).direction.x; }
float vOf(int height, float y) { return primaryRay(kUnitCamera, height, height, 0, y).direction.y; }

}  // namespace

TEST(ColorToPixel, TruncatesAndClampsEachChannel) {
    EXPECT_EQ(colorToPixel({1.0f, 0.5f, 0.0f}), 0x007FFFu);
    EXPECT_EQ(colorToPixel({2.0f, 1.0f, 0.999f}), 0xFEFFFFu);
    EXPECT_EQ(colorToPixel({1.2f, 0.0f, 0.0f}), 0x0000FFu);
    EXPECT_EQ(colorToPixel({0.0f, 0.0f, 1.0f}), 0xFF0000u);
}

TEST(ColorToPixel, NegativeAndNaNChannelsBecomeZeroNotWrapped) {
    EXPECT_EQ(colorToPixel({-0.5f, -1.0f / 255.0f, 0.5f}), 0x7F0000u);
    EXPECT_EQ(colorToPixel({NAN, 1.0f, -INFINITY}), 0x00FF00u);
    EXPECT_EQ(colorToPixel({INFINITY, 0.0f, 0.0f}), 0x0000FFu);
}

TEST(PrimaryRay, PixelCoordinatesAreTopLeftCorners) {
    EXPECT_EQ(uOf(292, 0.0f), -1.0f);
    EXPECT_EQ(vOf(292, 0.0f), 1.0f);
    EXPECT_EQ(uOf(292, 291.0f), 145.0f / 146.0f);  // one pixel short of the right edge
    EXPECT_EQ(uOf(292, 146.0f), 0.0f);
    // An odd width: the half width truncates, and the last column reaches +1.
    EXPECT_EQ(uOf(291, 290.0f), 1.0f);
    EXPECT_EQ(vOf(291, 290.0f), -1.0f);
}

TEST(PrimaryRay, StartsAtTheEyeAndIsNotNormalised) {
    const Camera camera{{1, 2, 3}, {2, 0, 0}, {0, 4, 0}, {0, 0, 10}};
    const Ray ray = primaryRay(camera, 100, 100, 0, 0);
    EXPECT_EQ(ray.origin.x, 1.0f);
    EXPECT_EQ(ray.origin.z, 13.0f);
    EXPECT_EQ(ray.direction.x, -2.0f);
    EXPECT_EQ(ray.direction.y, 4.0f);
    EXPECT_EQ(ray.direction.z, -10.0f);
}

TEST(PrimaryRay, ASinglePixelImageLooksThroughTheCentre) {
    const Ray ray = primaryRay(kUnitCamera, 1, 1, 0, 0);
    EXPECT_EQ(ray.direction.x, 0.0f);
    EXPECT_EQ(ray.direction.y, 0.0f);
}

TEST(ImageHeight, FollowsTheCameraRatioRoundedToAFloatFirst) {
    Camera camera{{0, 0, 0}, {1.5f, 0, 0}, {0, 0.9f, 0}, {0, 0, 1}};
    EXPECT_EQ(imageHeightFor(camera, 120), 71);  // 120 * 0.6f = 71.99999...
    camera.screenRight = {1, 0, 0};
    camera.screenUp = {0, 1, 0};
    EXPECT_EQ(imageHeightFor(camera, 292), 292);
    camera.screenUp = {0, 0.5f, 0};
    EXPECT_EQ(imageHeightFor(camera, 292), 146);
    EXPECT_EQ(imageHeightFor(Camera{}, 292), 0);  // no camera
    camera.screenUp = {0, 1e15f, 0};
    EXPECT_EQ(imageHeightFor(camera, 292), INT_MAX);
}

TEST(RenderPixel, SupersamplingAConstantColourGivesThatColour) {
    // A wall filling the view in flat grey: all 100 samples return 0.5.
    const Scene scene = sceneFrom(
        kCameraDown + "POLYGON 4 (-99,-99,-1) (99,-99,-1) (99,99,-1) (-99,99,-1) (0.5,0.5,0.5) 0 1 (1,1,1) 1 1\n");
    RenderSettings settings;
    settings.antiAliasing = AntiAliasingMode::Supersampling;
    Random generator;
    RayCounts counts;
    const TraceContext context{scene, settings, generator, &counts};
    EXPECT_EQ(renderPixel(context, 10, 10, 3, 7), 0x7F7F7Fu);
    EXPECT_EQ(counts.primary, 100u);
}

TEST(RenderPixel, SupersamplingAveragesAnEdgeOverTheGrid) {
    // A white wall whose left edge falls 0.35 pixel into column 5 of 10: the
    // grid's sub-columns 0.0 to 0.3 miss it, 0.4 to 0.9 hit, so 60 of the
    // 100 samples are white.
    const Scene scene = sceneFrom(
        kCameraDown + "POLYGON 4 (0.49,-99,-1) (99,-99,-1) (99,99,-1) (0.49,99,-1) (1,1,1) 0 1 (1,1,1) 1 1\n");
    RenderSettings settings;
    settings.antiAliasing = AntiAliasingMode::Supersampling;
    Random generator;
    const TraceContext context{scene, settings, generator};
    EXPECT_EQ(renderPixel(context, 10, 10, 0, 5), 0x999999u);  // 0.6 * 255 = 153
    EXPECT_EQ(renderPixel(context, 10, 10, 0, 6), 0xFFFFFFu);
    EXPECT_EQ(renderPixel(context, 10, 10, 0, 4), 0u);
    // One ray per pixel looks from the corner only, which misses.
    settings.antiAliasing = AntiAliasingMode::None;
    EXPECT_EQ(renderPixel(context, 10, 10, 0, 5), 0u);
}

TEST(PixelLoop, VisitsRowsFromTheTopAndStopsBetweenRows) {
    const Scene scene = sceneFrom(kCameraDown);
    RenderSettings settings;
    Random generator;
    const TraceContext context{scene, settings, generator};
    std::vector<Pixel> pixels(12, 0xdeadu);
    std::vector<int> rows;
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> done{0};
    const bool complete = runPixelLoop(context, 4, 3, wholePicture(4, 3), 1, {&stop, &done},
                                       {pixels, {}, [&](int row, int left, std::span<const Pixel> finished) {
                                            rows.push_back(row);
                                            EXPECT_EQ(left, 0);
                                            EXPECT_EQ(finished.size(), 4u);
                                            if (row == 1) stop = true;
                                        }});
    EXPECT_FALSE(complete);
    EXPECT_EQ(rows, (std::vector<int>{0, 1}));
    EXPECT_EQ(done.load(), 8u);
    EXPECT_EQ(pixels[11], 0xdeadu);  // the row after the stop is never begun

    stop = false;
    EXPECT_TRUE(runPixelLoop(context, 4, 3, wholePicture(4, 3), 1, {&stop, nullptr}, {pixels, {}, nullptr}));
    EXPECT_NE(pixels[11], 0xdeadu);
    stop = true;
    EXPECT_TRUE(runPixelLoop(context, 4, 0, wholePicture(4, 0), 1, {&stop, nullptr}, {}));  // no rows: nothing to stop
}
