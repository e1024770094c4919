// Whole small scenes through the same entry point the CLI uses, checked
// at chosen pixels against values worked out by hand.
#include <gtest/gtest.h>

#include "render/pixel_loop.h"
#include "render/camera.h"
#include "render/image.h"
#include "render/trace.h"
#include "test_scenes.h"

namespace {

constexpr int kSize = 20;  // even: the centre pixel (10, 10) looks along (0, 0, -1)

PixelImage render(const Scene& scene, const RenderSettings& settings) {
    Random generator;
    const TraceContext context{scene, settings, generator};
    return renderImage(context, kSize, imageHeightFor(scene.camera, kSize));
}

}  // namespace

TEST(SceneRender, FlatColoursWithLightsOff) {
    const Scene scene = sceneFrom(kCameraDown +
                                  "LIGHT (0,0,10) (1,1,1) 0\nAMBIENT (1,1,1)\n"
                                  "SPHERE (0,0,-5) 1 (1,0.5,0.25) 0.5 10 (1,1,1) 2.25 1\n");
    const PixelImage image = render(scene, RenderSettings{});
    ASSERT_EQ(image.height, kSize);
    EXPECT_EQ(image.at(10, 10), colorToPixel({1.0f, 0.5f, 0.25f}));
    EXPECT_EQ(image.at(0, 0), 0u);  // background is black
    EXPECT_EQ(image.at(19, 19), 0u);
}

TEST(SceneRender, MirrorAtDepthZeroAndOne) {
    // A near-perfect black mirror facing the camera, and a green wall behind
    // the camera that only a bounce can see.
    const Scene scene =
        sceneFrom(kCameraDown +
                  "POLYGON 4 (-9,-9,-2) (9,-9,-2) (9,9,-2) (-9,9,-2) (0,0,0) 1 1 (1,1,1) 1000000 1\n"
                  "POLYGON 4 (-99,-99,20) (-99,99,20) (99,99,20) (99,-99,20) (0,1,0) 0 1 (1,1,1) 1 1\n");
    RenderSettings settings;
    EXPECT_EQ(render(scene, settings).at(10, 10), 0u);
    settings.recursionDepth = 1;
    const float r = fresnelReflectance(1.0f, 1000.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(render(scene, settings).at(10, 10), colorToPixel({0.0f, r, 0.0f}));
    EXPECT_EQ(greenOf(render(scene, settings).at(10, 10)), 253);  // R = (0.999 / 1.001)²
}

TEST(SceneRender, ShadowHardVersusNone) {
    // Looking straight down on a floor; the light stands off to the side and
    // a sphere hides it from the point under the camera only.
    const Scene scene = sceneFrom(kCameraDown +
                                  "AMBIENT (0.2,0.2,0.2)\nLIGHT (3,0,3) (1,1,1) 0\n"
                                  "POLYGON 4 (-10,-10,0) (10,-10,0) (10,10,0) (-10,10,0) (1,1,1) 0 1 (1,1,1) 1 1\n"
                                  "SPHERE (1.5,0,1.5) 0.3 (1,0,0) 0 1 (1,1,1) 1 1\n");
    RenderSettings settings;
    settings.lights = LightsSetting::On;
    settings.shadowMode = ShadowMode::Hard;
    const PixelImage hard = render(scene, settings);
    EXPECT_EQ(hard.at(10, 10), colorToPixel({0.2f, 0.2f, 0.2f}));

    settings.shadowMode = ShadowMode::None;
    Vec3 toLight{};
    normalize({3, 0, 3}, toLight);
    const float lit = 1.0f * toLight.z + 0.2f;
    EXPECT_EQ(render(scene, settings).at(10, 10), colorToPixel({lit, lit, lit}));
    // Away from the shadow both modes agree.
    EXPECT_EQ(hard.at(2, 2), render(scene, settings).at(2, 2));
}

TEST(SceneRender, GlassNeedsTwoBouncesToShowWhatLiesBehind) {
    // Head-on through a glass sphere to a red wall: 4% is reflected at each
    // surface, so the wall shows through at 0.96 * 0.96.
    const Scene scene =
        sceneFrom(kCameraDown +
                  "SPHERE (0,0,-5) 1 (0,0,0) 1 1 (1,1,1) 2.25 1\n"
                  "POLYGON 4 (-99,-99,-10) (99,-99,-10) (99,99,-10) (-99,99,-10) (1,0,0) 0 1 (1,1,1) 1 1\n");
    RenderSettings settings;
    settings.recursionDepth = 1;
    EXPECT_EQ(render(scene, settings).at(10, 10), 0u);
    settings.recursionDepth = 2;
    const Pixel through = render(scene, settings).at(10, 10);
    EXPECT_EQ(redOf(through), 235);
    EXPECT_EQ(greenOf(through), 0);
    // Beside the sphere the wall is seen directly.
    EXPECT_EQ(render(scene, settings).at(0, 0), 0x0000FFu);
}

TEST(SceneRender, NoCameraMeansNoRows) {
    const Scene scene = sceneFrom("SPHERE (0,0,-5) 1 (1,1,1) 0 1 (1,1,1) 1 1\n");
    EXPECT_EQ(imageHeightFor(scene.camera, kSize), 0);
    EXPECT_TRUE(render(scene, RenderSettings{}).pixels.empty());
}

TEST(SceneRender, SoftJitterContinuesTheSequenceAcrossRenders) {
    const Scene scene = sceneFrom(kCameraDown +
                                  "LIGHT (0,0,10) (1,1,1) 1\n"
                                  "POLYGON 4 (-10,-10,0) (10,-10,0) (10,10,0) (-10,10,0) (1,1,1) 0 1 (1,1,1) 1 1\n");
    RenderSettings settings;
    settings.lights = LightsSetting::On;
    settings.shadowMode = ShadowMode::SoftJitter;
    Random generator;
    const TraceContext context{scene, settings, generator};
    renderImage(context, 4, 4);
    // Every pixel sees the lit floor: 16 shading points, 360 draws each.
    Random expected;
    expected.skip(16 * 360);
    EXPECT_EQ(generator.state, expected.state);
}
