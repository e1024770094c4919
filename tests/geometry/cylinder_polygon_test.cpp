#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "geometry/intersect.h"
#include "tests/geometry/expect_vec.h"

namespace {

constexpr float kFar = 100.0f;

// Axis along +z from the base cap at the origin to the top cap at z = 2.
const Cylinder kUpright{{0, 0, 2}, {0, 0, 0}, 1};

float hitCylinder(const Cylinder& cylinder, Ray ray, Vec3& normal) {
    normal = {7, 8, 9};
    return intersectCylinder(cylinder, ray, normal);
}

const std::vector<Vec3> kSquare{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};

float hitPolygon(const std::vector<Vec3>& vertices, Ray ray, float limit, Vec3& normal) {
    normal = {7, 8, 9};
    return intersectPolygon({static_cast<std::int32_t>(vertices.size()), vertices}, ray, limit, normal);
}

}  // namespace

// --- Infinite cylinder ------------------------------------------------------

TEST(InfiniteCylinder, ChordAcrossTheAxis) {
    float tIn = 0, tOut = 0;
    ASSERT_TRUE(intersectInfiniteCylinder({-5, 0, 1}, {1, 0, 0}, {0, 0, 0}, {0, 0, 1}, 1, tIn, tOut));
    EXPECT_FLOAT_EQ(tIn, 4.0f);
    EXPECT_FLOAT_EQ(tOut, 6.0f);
    // Ray parameters, not distances.
    ASSERT_TRUE(intersectInfiniteCylinder({-5, 0, 1}, {2, 0, 0}, {0, 0, 0}, {0, 0, 1}, 1, tIn, tOut));
    EXPECT_FLOAT_EQ(tIn, 2.0f);
    EXPECT_FLOAT_EQ(tOut, 3.0f);
}

TEST(InfiniteCylinder, OffsetAndObliqueRays) {
    float tIn = 0, tOut = 0;
    // Passing 0.6 from the axis: half chord 0.8.
    ASSERT_TRUE(intersectInfiniteCylinder({-5, 0.6f, 7}, {1, 0, 0}, {0, 0, 0}, {0, 0, 1}, 1, tIn, tOut));
    EXPECT_NEAR(tIn, 4.2f, 1e-5f);
    EXPECT_NEAR(tOut, 5.8f, 1e-5f);
    // Slanted against the axis: the chord is measured across, not along it.
    ASSERT_TRUE(intersectInfiniteCylinder({-5, 0, 0}, {1, 0, 1}, {0, 0, 0}, {0, 0, 1}, 1, tIn, tOut));
    EXPECT_FLOAT_EQ(tIn, 4.0f);
    EXPECT_FLOAT_EQ(tOut, 6.0f);
    // Starting past the axis gives a negative entry.
    ASSERT_TRUE(intersectInfiniteCylinder({0.5f, 0, 0}, {1, 0, 0}, {0, 0, 0}, {0, 0, 1}, 1, tIn, tOut));
    EXPECT_FLOAT_EQ(tIn, -1.5f);
    EXPECT_FLOAT_EQ(tOut, 0.5f);
}

TEST(InfiniteCylinder, MissLeavesTheOutputs) {
    float tIn = 12, tOut = 34;
    EXPECT_FALSE(intersectInfiniteCylinder({-5, 2, 0}, {1, 0, 0}, {0, 0, 0}, {0, 0, 1}, 1, tIn, tOut));
    EXPECT_EQ(tIn, 12.0f);
    EXPECT_EQ(tOut, 34.0f);
}

TEST(InfiniteCylinder, ParallelToTheAxis) {
    float tIn = 0, tOut = 0;
    EXPECT_TRUE(intersectInfiniteCylinder({0.5f, 0, 5}, {0, 0, -1}, {0, 0, 0}, {0, 0, 1}, 1, tIn, tOut));
    EXPECT_EQ(tIn, -kNoHit);
    EXPECT_EQ(tOut, kNoHit);
    // On the surface counts as inside.
    EXPECT_TRUE(intersectInfiniteCylinder({1, 0, 5}, {0, 0, -1}, {0, 0, 0}, {0, 0, 1}, 1, tIn, tOut));
    EXPECT_FALSE(intersectInfiniteCylinder({2, 0, 5}, {0, 0, -1}, {0, 0, 0}, {0, 0, 1}, 1, tIn, tOut));
}

// --- Capped cylinder --------------------------------------------------------

TEST(CylinderIntersection, SideFromOutside) {
    Vec3 normal{};
    EXPECT_FLOAT_EQ(hitCylinder(kUpright, {{-5, 0, 1}, {1, 0, 0}}, normal), 4.0f);
    expectVecNear(normal, {-1, 0, 0});
    EXPECT_FLOAT_EQ(hitCylinder(kUpright, {{-5, 0, 1}, {2, 0, 0}}, normal), 2.0f);
    expectVecNear(normal, {-1, 0, 0});
    EXPECT_FLOAT_EQ(hitCylinder(kUpright, {{0, 5, 1.5f}, {0, -1, 0}}, normal), 4.0f);
    expectVecNear(normal, {0, 1, 0});
}

TEST(CylinderIntersection, EndOnThroughTheCaps) {
    Vec3 normal{};
    // Parallel to the axis and inside the radius: only the caps can be hit.
    EXPECT_FLOAT_EQ(hitCylinder(kUpright, {{0, 0, 5}, {0, 0, -1}}, normal), 3.0f);
    expectVecNear(normal, {0, 0, 1});
    EXPECT_FLOAT_EQ(hitCylinder(kUpright, {{0.5f, 0, -5}, {0, 0, 1}}, normal), 5.0f);
    expectVecNear(normal, {0, 0, -1});
    EXPECT_FLOAT_EQ(hitCylinder(kUpright, {{0.5f, 0, -5}, {0, 0, 4}}, normal), 1.25f);
    // Obliquely through the top cap.
    EXPECT_FLOAT_EQ(hitCylinder(kUpright, {{-1.5f, 0, 3.5f}, {1, 0, -1}}, normal), 1.5f);
    expectVecNear(normal, {0, 0, 1});
}

TEST(CylinderIntersection, FromInside) {
    Vec3 normal{};
    EXPECT_FLOAT_EQ(hitCylinder(kUpright, {{0, 0, 1}, {1, 0, 0}}, normal), 1.0f);
    expectVecNear(normal, {1, 0, 0});
    EXPECT_FLOAT_EQ(hitCylinder(kUpright, {{0, 0, 1}, {0, 0, 1}}, normal), 1.0f);
    expectVecNear(normal, {0, 0, 1});
}

TEST(CylinderIntersection, TiltedAxis) {
    // Axis along +x from (1, 2, 3) to (4, 2, 3).
    const Cylinder tilted{{4, 2, 3}, {1, 2, 3}, 0.5f};
    Vec3 normal{};
    EXPECT_FLOAT_EQ(hitCylinder(tilted, {{2, 2, 10}, {0, 0, -1}}, normal), 6.5f);
    expectVecNear(normal, {0, 0, 1});
    EXPECT_FLOAT_EQ(hitCylinder(tilted, {{10, 2.1f, 3}, {-1, 0, 0}}, normal), 6.0f);
    expectVecNear(normal, {1, 0, 0});
    EXPECT_FLOAT_EQ(hitCylinder(tilted, {{-10, 2, 3.2f}, {1, 0, 0}}, normal), 11.0f);
    expectVecNear(normal, {-1, 0, 0});
}

TEST(CylinderIntersection, Misses) {
    Vec3 normal{};
    // Above the top cap plane.
    EXPECT_EQ(hitCylinder(kUpright, {{-5, 0, 3}, {1, 0, 0}}, normal), kNoHit);
    // Pointing away: candidates at or behind the origin are not taken.
    EXPECT_EQ(hitCylinder(kUpright, {{5, 0, 1}, {1, 0, 0}}, normal), kNoHit);
    // Beside it, and parallel to the axis outside the radius.
    EXPECT_EQ(hitCylinder(kUpright, {{-5, 2, 1}, {1, 0, 0}}, normal), kNoHit);
    EXPECT_EQ(hitCylinder(kUpright, {{2, 0, 5}, {0, 0, -1}}, normal), kNoHit);
    // Leaving from the surface: the candidate at exactly 0 is not taken.
    EXPECT_EQ(hitCylinder(kUpright, {{1, 0, 1}, {1, 0, 0}}, normal), kNoHit);
    EXPECT_EQ(hitCylinder(kUpright, {{0.5f, 0, 2}, {0, 0, 1}}, normal), kNoHit);
}

TEST(CylinderIntersection, NegativeRadiusIsNeverHit) {
    const Cylinder negative{{0, 0, 2}, {0, 0, 0}, -1};
    const std::vector<Ray> rays{{{-5, 0, 1}, {1, 0, 0}},   {{0, 0, 5}, {0, 0, -1}}, {{0, 0, 1}, {1, 0, 0}},
                                {{0.5f, 0, -5}, {0, 0, 1}}, {{0, 0, 1}, {0, 0, 1}},  {{-3, 0, -3}, {1, 0, 1}}};
    for (const Ray& ray : rays) {
        Vec3 normal{};
        EXPECT_EQ(hitCylinder(negative, ray, normal), kNoHit);
    }
}

// --- Polygon ----------------------------------------------------------------

TEST(PolygonIntersection, HitsEitherFanTriangle) {
    Vec3 normal{};
    // Second triangle (V0, V2, V3); the normal still comes from the first.
    EXPECT_FLOAT_EQ(hitPolygon(kSquare, {{0.25f, 0.75f, 5}, {0, 0, -1}}, kFar, normal), 5.0f);
    expectVecNear(normal, {0, 0, 1});
    // First triangle.
    EXPECT_FLOAT_EQ(hitPolygon(kSquare, {{0.75f, 0.25f, 5}, {0, 0, -1}}, kFar, normal), 5.0f);
    expectVecNear(normal, {0, 0, 1});
    // Ray parameter, not distance.
    EXPECT_FLOAT_EQ(hitPolygon(kSquare, {{0.25f, 0.75f, 5}, {0, 0, -2}}, kFar, normal), 2.5f);
}

TEST(PolygonIntersection, LimitBoundsTheSearch) {
    Vec3 normal{};
    EXPECT_EQ(hitPolygon(kSquare, {{0.25f, 0.75f, 5}, {0, 0, -1}}, 3.0f, normal), 3.0f);
    EXPECT_EQ(hitPolygon(kSquare, {{0.75f, 0.25f, 5}, {0, 0, -1}}, 3.0f, normal), 3.0f);
}

TEST(PolygonIntersection, EdgesAndCornersAreInside) {
    Vec3 normal{};
    EXPECT_FLOAT_EQ(hitPolygon(kSquare, {{0.5f, 0, 5}, {0, 0, -1}}, kFar, normal), 5.0f);
    EXPECT_FLOAT_EQ(hitPolygon(kSquare, {{0, 0.5f, 5}, {0, 0, -1}}, kFar, normal), 5.0f);
    EXPECT_FLOAT_EQ(hitPolygon(kSquare, {{0, 0, 5}, {0, 0, -1}}, kFar, normal), 5.0f);
    // The edge opposite the first vertex, where u + v = 1 exactly.
    const std::vector<Vec3> triangle{{0, 0, 0}, {2, 0, 0}, {0, 2, 0}};
    EXPECT_FLOAT_EQ(hitPolygon(triangle, {{1, 1, 5}, {0, 0, -1}}, kFar, normal), 5.0f);
}

TEST(PolygonIntersection, MissesReturnTheLimit) {
    Vec3 normal{};
    // Outside the square.
    EXPECT_EQ(hitPolygon(kSquare, {{1.5f, 0.5f, 5}, {0, 0, -1}}, 42.0f, normal), 42.0f);
    EXPECT_EQ(hitPolygon(kSquare, {{0.5f, -0.01f, 5}, {0, 0, -1}}, 42.0f, normal), 42.0f);
    // Parallel to the plane, above it and in it.
    EXPECT_EQ(hitPolygon(kSquare, {{0.5f, 0.5f, 1}, {1, 0, 0}}, 42.0f, normal), 42.0f);
    EXPECT_EQ(hitPolygon(kSquare, {{-1, 0.5f, 0}, {1, 0, 0}}, 42.0f, normal), 42.0f);
    // Behind the origin.
    EXPECT_EQ(hitPolygon(kSquare, {{0.5f, 0.5f, -5}, {0, 0, -1}}, 42.0f, normal), 42.0f);
    EXPECT_EQ(hitPolygon(kSquare, {{0.25f, 0.75f, -5}, {0, 0, -1}}, 42.0f, normal), 42.0f);
}

TEST(PolygonIntersection, ReversedWindingTurnsTheNormal) {
    // Reversed, the fan's shared diagonal runs from (0, 1) to (1, 0).
    const std::vector<Vec3> reversed{kSquare.rbegin(), kSquare.rend()};
    Vec3 normal{};
    EXPECT_FLOAT_EQ(hitPolygon(reversed, {{0.25f, 0.5f, 5}, {0, 0, -1}}, kFar, normal), 5.0f);
    expectVecNear(normal, {0, 0, -1});
    EXPECT_FLOAT_EQ(hitPolygon(reversed, {{0.75f, 0.5f, 5}, {0, 0, -1}}, kFar, normal), 5.0f);
    expectVecNear(normal, {0, 0, -1});
}

TEST(PolygonIntersection, NormalComesFromTheFirstTriangle) {
    // The second fan triangle is tilted out of z = 0.
    const std::vector<Vec3> bent{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 1}};
    Vec3 normal{};
    EXPECT_NEAR(hitPolygon(bent, {{1 / 3.0f, 2 / 3.0f, 5}, {0, 0, -1}}, kFar, normal), 5 - 1 / 3.0f, 1e-5f);
    expectVecNear(normal, {0, 0, 1});
}

TEST(PolygonIntersection, NearestOfOverlappingTrianglesWins) {
    // Both fan triangles project onto the same xy triangle; the second one
    // lies on the plane z = 2x.
    const std::vector<Vec3> folded{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 0, 2}};
    Vec3 normal{};
    EXPECT_NEAR(hitPolygon(folded, {{0.2f, 0.2f, 5}, {0, 0, -1}}, kFar, normal), 4.6f, 1e-5f);
    EXPECT_NEAR(hitPolygon(folded, {{0.2f, 0.2f, -5}, {0, 0, 1}}, kFar, normal), 5.0f, 1e-5f);
}

TEST(PolygonIntersection, FewerThanThreeVerticesIsAMiss) {
    // The third vertex exists in memory just past the view; reading it would
    // make a hit out of a two-vertex polygon.
    const std::array<Vec3, 3> storage{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}};
    const Ray ray{{0.2f, 0.2f, 5}, {0, 0, -1}};
    Vec3 normal{};
    for (std::size_t count : {0u, 1u, 2u}) {
        // vertexCount claims three: the routine must go by the list.
        const Polygon polygon{3, std::span<const Vec3>(storage.data(), count)};
        EXPECT_EQ(intersectPolygon(polygon, ray, 42.0f, normal), 42.0f) << count;
    }
    const Polygon whole{0, storage};
    EXPECT_FLOAT_EQ(intersectPolygon(whole, ray, 42.0f, normal), 5.0f);

    // Lists that own exactly their vertices: an empty one has no storage at
    // all, and the sanitizer builds see any read past a short one.
    for (const std::vector<Vec3>& shortList : {std::vector<Vec3>{}, std::vector<Vec3>{{0, 0, 0}},
                                               std::vector<Vec3>{{0, 0, 0}, {1, 0, 0}}}) {
        EXPECT_EQ(hitPolygon(shortList, ray, 42.0f, normal), 42.0f) << shortList.size();
    }
}
