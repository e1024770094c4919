#include "render/trace.h"

#include <gtest/gtest.h>

#include <cmath>

#include "geometry/intersect.h"
#include "test_scenes.h"

namespace {

struct Tracing {
    Scene scene;
    RenderSettings settings;
    Random generator;

    explicit Tracing(const std::string& text) : scene(sceneFrom(text)) {}

    Color trace(Ray ray, int depth, float currentIndex = 1.0f, Color start = {}) {
        TraceContext context{scene, settings, generator};
        traceRay(context, ray, depth, start, currentIndex);
        return start;
    }
};

}  // namespace

TEST(Fresnel, GlassHeadOnFromDefaultAirReflectsFourPercent) {
    EXPECT_NEAR(fresnelReflectance(1.0f, 1.5f, 1.0f, 1.0f, 1.0f), 0.04f, 1e-6);
}

TEST(Fresnel, PermeabilityEnters) {
    // permittivity = permeability = 4: index 4, but eta equals m, so a
    // head-on ray is not reflected at all.
    EXPECT_NEAR(fresnelReflectance(1.0f, 4.0f, 1.0f, 4.0f, 1.0f), 0.0f, 1e-7);
    // With the same index and no magnetic contrast it would reflect 36%.
    EXPECT_NEAR(fresnelReflectance(1.0f, 4.0f, 1.0f, 1.0f, 1.0f), 0.36f, 1e-6);
}

TEST(Fresnel, TotalInternalReflectionBeyondTheCriticalAngle) {
    EXPECT_EQ(fresnelReflectance(1.5f, 1.0f, 1.0f, 1.0f, 0.5f), 1.0f);
    EXPECT_LT(fresnelReflectance(1.5f, 1.0f, 1.0f, 1.0f, 0.9f), 1.0f);
}

TEST(Fresnel, GrazingBetweenEqualIndicesIsTotalNotNaN) {
    EXPECT_EQ(fresnelReflectance(1.0f, 1.0f, 1.0f, 1.0f, 0.0f), 1.0f);
}

TEST(RefractRay, HeadOnGoesStraightThrough) {
    const Ray r = refractRay({0, 0, 1}, {0, 0, 1}, 1.0f, 1.5f, {1, 2, 3});
    EXPECT_FLOAT_EQ(r.direction.x, 0.0f);
    EXPECT_FLOAT_EQ(r.direction.z, -1.0f);
    EXPECT_EQ(r.origin.y, 2.0f);
}

TEST(RefractRay, ObliqueFollowsSnellsLawFromEitherSide) {
    const float angle = 0.6f;
    const Vec3 view{std::sin(angle), 0.0f, std::cos(angle)};
    for (const float sign : {1.0f, -1.0f}) {
        // The normal facing the incoming side, and facing away from it.
        const Vec3 normal{0, 0, sign};
        const Ray r = refractRay(view, normal, 1.0f, 1.5f, {0, 0, 0});
        EXPECT_NEAR(length(r.direction), 1.0f, 1e-6);
        EXPECT_NEAR(-r.direction.x, std::sin(angle) / 1.5f, 1e-6);  // sin(t) = sin(i) n1 / n2
        EXPECT_LT(r.direction.z, 0.0f) << "continues through the surface, sign " << sign;
    }
}

TEST(TraceRay, NegativeDepthAndMissesLeaveTheAccumulatorAlone) {
    Tracing t("AIR 1 1 (0.5,0.5,0.5)\nSPHERE (0,0,-5) 1 (1,1,1) 0 1 (1,1,1) 1 1\n");
    const Color start{0.25f, 0.5f, 0.75f};
    const Color behind = t.trace({{0, 0, 0}, {0, 0, -1}}, -1, 1.0f, start);
    EXPECT_EQ(behind.red, 0.25f);
    // A miss: the air's transmittance is not applied to the background.
    const Color miss = t.trace({{0, 0, 0}, {0, 0, 1}}, 3, 1.0f, start);
    EXPECT_EQ(miss.red, 0.25f);
    EXPECT_EQ(miss.blue, 0.75f);
}

TEST(TraceRay, AirFiltersTheDistanceToTheHit) {
    // The sphere's front is at t = 2.
    Tracing t("AIR 1 1 (0.5,1,0)\nSPHERE (0,0,-3) 1 (1,1,1) 0 1 (1,1,1) 1 1\n");
    const Color c = t.trace({{0, 0, 0}, {0, 0, -1}}, 0);
    EXPECT_FLOAT_EQ(c.red, 0.25f);
    EXPECT_FLOAT_EQ(c.green, 1.0f);
    EXPECT_EQ(c.blue, 0.0f);
}

TEST(TraceRay, InsideAnObjectItsTransmittanceFilters) {
    Tracing t("AIR 1 1 (0,0,0)\nSPHERE (0,0,0) 2 (1,1,1) 0 1 (0.5,1,1) 2.25 1\n");
    const Color c = t.trace({{0, 0, 0}, {0, 0, -1}}, 0, 1.5f);
    EXPECT_FLOAT_EQ(c.red, 0.25f);
    EXPECT_FLOAT_EQ(c.green, 1.0f);
}

TEST(TraceRay, TheEarlierOfTwoCoincidentObjectsWins) {
    Tracing t("SPHERE (0,0,-5) 1 (1,0,0) 0 1 (1,1,1) 1 1\nSPHERE (0,0,-5) 1 (0,1,0) 0 1 (1,1,1) 1 1\n");
    const Color c = t.trace({{0, 0, 0}, {0, 0, -1}}, 0);
    EXPECT_EQ(c.red, 1.0f);
    EXPECT_EQ(c.green, 0.0f);
}

TEST(TraceRay, DepthZeroOnAMirrorShowsOnlyTheLocalColour) {
    Tracing t(
        "SPHERE (0,0,-5) 1 (0.5,0.5,0.5) 1 1 (1,1,1) 1000000 1\n"
        "SPHERE (0,0,5) 1 (1,0,0) 0 1 (1,1,1) 1 1\n");
    const Color depth0 = t.trace({{0, 0, 0}, {0, 0, -1}}, 0);
    EXPECT_EQ(depth0.red, 0.5f);
    // One bounce brings the red sphere behind the viewer in, weighted by the
    // Fresnel reflectance of an index of 1000 head-on.
    // The refracted rest crosses the mirror and sees its grey back.
    const Color depth1 = t.trace({{0, 0, 0}, {0, 0, -1}}, 1);
    const float r = fresnelReflectance(1.0f, 1000.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_GT(r, 0.99f);
    EXPECT_FLOAT_EQ(depth1.red, (0.5f + r * 1.0f) + (1.0f - r) * 0.5f);
    EXPECT_FLOAT_EQ(depth1.green, 0.5f + (1.0f - r) * 0.5f);
}

TEST(TraceRay, AHitAtTheRayOriginGivesAFiniteColour) {
    // The ray starts on the sphere and leaves it: hit at t = 0, with lights
    // and every secondary ray in play.
    Tracing t(
        "LIGHT (0,0,-10) (1,1,1) 1\nAMBIENT (0.1,0.1,0.1)\n"
        "SPHERE (0,0,0) 1 (1,0.5,0.25) 0.5 10 (0.9,0.9,0.9) 2.25 1\n");
    t.settings.lights = LightsSetting::On;
    const Color c = t.trace({{0, 0, -1}, {0, 0, -1}}, 3);
    EXPECT_TRUE(std::isfinite(c.red) && std::isfinite(c.green) && std::isfinite(c.blue));
    EXPECT_GT(c.red, 0.0f);
}

TEST(FindNearestHit, ReportsIndexAndUnitNormal) {
    const Scene scene = sceneFrom(
        "SPHERE (0,0,-10) 1 (1,1,1) 0 1 (1,1,1) 1 1\n"
        "BOX (-1,-1,-6) (2,0,0) (0,2,0) (0,0,1) (1,1,1) 0 1 (1,1,1) 1 1\n");
    RenderSettings settings;
    Random generator;
    const TraceContext context{scene, settings, generator};
    int index = -1;
    Vec3 normal{};
    const float t = findNearestHit(context, {{0, 0, 0}, {0, 0, -2}}, index, normal);
    EXPECT_EQ(index, 1);
    EXPECT_FLOAT_EQ(t, 2.5f);
    EXPECT_FLOAT_EQ(normal.z, 1.0f);

    index = 7;
    EXPECT_EQ(findNearestHit(context, {{0, 0, 0}, {0, 0, 1}}, index, normal), kNoHit);
    EXPECT_EQ(index, 7);
}
