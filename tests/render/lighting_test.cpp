#include "render/lighting.h"

#include <gtest/gtest.h>

#include <cmath>

#include "render/trace.h"
#include "test_scenes.h"

namespace {

struct Shading {
    Scene scene;
    RenderSettings settings;
    Random generator;
    RayCounts counts;

    explicit Shading(const std::string& text) : scene(sceneFrom(text)) { settings.lights = LightsSetting::On; }
    TraceContext context() { return {scene, settings, generator, &counts}; }

    // Shades the top of object 0 at the origin, seen from straight above.
    Color shadeTop(float specularWeight = 0.0f, Vec3 point = {0, 0, 0}) {
        Color out{-1, -1, -1};
        shadeLocal(context(), 0, point, {0, 0, 1}, out, specularWeight, kSurfaceOffset, {0, 0, 1});
        return out;
    }
};

// A floor in the plane z = 0 facing +z, red, and a light straight above.
const std::string kFloor = "POLYGON 4 (-10,-10,0) (10,-10,0) (10,10,0) (-10,10,0) (1,0,0) 0 10 (1,1,1) 1 1\n";

}  // namespace

TEST(ShadeLocal, WorkedExampleIsNotClamped) {
    Shading s("AMBIENT (0.1,0.1,0.1)\nLIGHT (0,0,10) (1,1,1) 0\n" + kFloor);
    s.settings.shadowMode = ShadowMode::None;
    const Color out = s.shadeTop(0.5f);
    EXPECT_FLOAT_EQ(out.red, 1.6f);
    EXPECT_FLOAT_EQ(out.green, 0.5f);
    EXPECT_FLOAT_EQ(out.blue, 0.5f);
    EXPECT_EQ(s.counts.shadow, 0u);
}

TEST(ShadeLocal, LightsOffGiveTheSurfaceColourWithoutShadowRaysOrDraws) {
    Shading s("AMBIENT (0.5,0.5,0.5)\nLIGHT (0,0,10) (1,1,1) 1\n" + kFloor);
    s.settings.lights = LightsSetting::Off;
    s.settings.shadowMode = ShadowMode::SoftJitter;
    const Color out = s.shadeTop(0.5f);
    EXPECT_EQ(out.red, 1.0f);
    EXPECT_EQ(out.green, 0.0f);
    EXPECT_EQ(out.blue, 0.0f);
    EXPECT_EQ(s.counts.shadow, 0u);
    EXPECT_EQ(s.generator.state, 1u);
}

TEST(ShadeLocal, WithoutLightsOnlyTheAmbientTermRemains) {
    Shading s("AMBIENT (0.5,0.25,1)\n" + kFloor);
    const Color out = s.shadeTop(1.0f);
    EXPECT_EQ(out.red, 0.5f);
    EXPECT_EQ(out.green, 0.0f);
    EXPECT_EQ(out.blue, 0.0f);
}

TEST(ShadeLocal, LightsBehindOrInTheTangentPlaneAddNothingAndCastNoShadowRays) {
    Shading s("AMBIENT (0.5,0.5,0.5)\nLIGHT (0,0,-10) (1,1,1) 0\nLIGHT (10,0,0) (1,1,1) 0\n" + kFloor);
    const Color out = s.shadeTop(1.0f);
    EXPECT_EQ(out.red, 0.5f);
    EXPECT_EQ(s.counts.shadow, 0u);
}

TEST(ShadeLocal, ALightAtTheHitPointAddsNothingAndNoNaN) {
    Shading s("AMBIENT (0.5,0.5,0.5)\nLIGHT (0,0,0) (1,1,1) 0\n" + kFloor);
    s.settings.shadowMode = ShadowMode::None;
    const Color out = s.shadeTop(1.0f);
    EXPECT_EQ(out.red, 0.5f);
    EXPECT_EQ(out.green, 0.0f);
    EXPECT_EQ(out.blue, 0.0f);
}

TEST(ShadeLocal, HighlightHasTheLightsColourAndShininessZeroIsFlat) {
    // Light and viewer straight above: R.V = 1, so any shininess gives 1;
    // shininess 0 must give the plain weight as well.
    Shading s(
        "LIGHT (0,0,10) (0.5,0.25,1) 0\n"
        "POLYGON 3 (-10,-10,0) (10,-10,0) (0,10,0) (0,0,0) 0 0 (1,1,1) 1 1\n");
    s.settings.shadowMode = ShadowMode::None;
    const Color out = s.shadeTop(0.5f);
    EXPECT_FLOAT_EQ(out.red, 0.25f);
    EXPECT_FLOAT_EQ(out.green, 0.125f);
    EXPECT_FLOAT_EQ(out.blue, 0.5f);
}

TEST(ShadeLocal, NoHighlightWithoutSpecularWeight) {
    Shading s(
        "LIGHT (0,0,10) (1,1,1) 0\n"
        "POLYGON 3 (-10,-10,0) (10,-10,0) (0,10,0) (0,0,0) 0 0 (1,1,1) 1 1\n");
    s.settings.shadowMode = ShadowMode::None;
    const Color out = s.shadeTop(0.0f);
    EXPECT_EQ(out.red, 0.0f);
}

// A slab between the floor's origin and a light above it.
const std::string kBlockedFloor = "AMBIENT (0.25,0.25,0.25)\nLIGHT (0,0,10) (1,1,1) 1\n" + kFloor +
                                  "BOX (-1,-1,4) (2,0,0) (0,2,0) (0,0,1) (1,1,1) 0 1 (1,1,1) 1 1\n";

TEST(ShadowModes, HardBlocksAndNoneIgnoresTheOccluder) {
    Shading s(kBlockedFloor);
    s.settings.shadowMode = ShadowMode::Hard;
    EXPECT_EQ(s.shadeTop().red, 0.25f);
    EXPECT_EQ(s.counts.shadow, 1u);

    s.settings.shadowMode = ShadowMode::None;
    EXPECT_EQ(s.shadeTop().red, 1.25f);
}

TEST(ShadowModes, OccluderBeyondTheLightCastsNoShadow) {
    Shading s("LIGHT (0,0,3) (1,1,1) 0\n" + kFloor + "BOX (-1,-1,4) (2,0,0) (0,2,0) (0,0,1) (1,1,1) 0 1 (1,1,1) 1 1\n");
    EXPECT_EQ(s.shadeTop().red, 1.0f);
}

TEST(ShadowModes, TransparentObjectsCastFullShadows) {
    Shading s("LIGHT (0,0,10) (1,1,1) 0\n" + kFloor + "SPHERE (0,0,5) 1 (0,0,0) 1 1 (1,1,1) 1 1\n");
    EXPECT_EQ(s.shadeTop().red, 0.0f);
}

TEST(ShadowModes, SoftAxesCountsEachBlockedSampleAsAFraction) {
    // The occluder covers x >= 0.01 above the floor: of the 120 samples only
    // the 19 on the positive x side are blocked.
    Shading s("LIGHT (0,0,10) (1,1,1) 1\n" + kFloor +
              "BOX (0.01,-5,5) (5,0,0) (0,10,0) (0,0,1) (1,1,1) 0 1 (1,1,1) 1 1\n");
    const float visibility = softShadowAxes(s.context(), {0, 0, 0.001f}, 0);
    EXPECT_EQ(visibility, 1.0f - 19.0f / 120.0f);
    EXPECT_EQ(s.counts.shadow, 120u);
}

TEST(ShadowModes, SoftJitterDrawsThreeTimesPerSampleAndGivesMultiplesOf120th) {
    Shading s(kBlockedFloor);
    s.settings.shadowMode = ShadowMode::SoftJitter;
    const float visibility = softShadowJitter(s.context(), {0, 0, 0.001f}, 0);
    Random expected;
    expected.skip(360);
    EXPECT_EQ(s.generator.state, expected.state);
    const float blocked = (1.0f - visibility) * 120.0f;
    EXPECT_NEAR(blocked, std::round(blocked), 1e-3);
    // The samples face +x, +y, +z from the light, so they all pass over the
    // slab from above and every one is blocked.
    EXPECT_EQ(visibility, 0.0f);
}

TEST(ShadowModes, SoftModesWithRadiusZeroAgreeWithHard) {
    for (const bool blocked : {false, true}) {
        const std::string occluder = blocked ? "BOX (-1,-1,4) (2,0,0) (0,2,0) (0,0,1) (1,1,1) 0 1 (1,1,1) 1 1\n" : "";
        Shading s("LIGHT (0,0,10) (1,1,1) 0\n" + kFloor + occluder);
        s.settings.shadowMode = ShadowMode::Hard;
        const float hard = s.shadeTop().red;
        s.settings.shadowMode = ShadowMode::SoftJitter;
        EXPECT_EQ(s.shadeTop().red, hard) << "blocked " << blocked;
        s.settings.shadowMode = ShadowMode::SoftAxes;
        EXPECT_EQ(s.shadeTop().red, hard) << "blocked " << blocked;
    }
}

TEST(ShadowModes, LightOutsideIsBlockedFromInsideATransparentObject) {
    Shading s("LIGHT (0,0,10) (1,1,1) 0\nAMBIENT (0.5,0.5,0.5)\nSPHERE (0,0,0) 1 (1,0,0) 1 1 (1,1,1) 2.25 1\n");
    // The inside of the sphere's top, seen from inside: the shadow ray starts
    // just inside and meets the sphere's own surface.
    Color out{};
    shadeLocal(s.context(), 0, {0, 0, 1}, {0, 0, 1}, out, 0.0f, -kSurfaceOffset, {0, 0, -1});
    EXPECT_EQ(out.red, 0.5f);
}
