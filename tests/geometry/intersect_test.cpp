#include "geometry/intersect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/geometry/expect_vec.h"

namespace {

constexpr float kFar = 100.0f;  // a limit that no test hit reaches

const Sphere kUnitSphere{{0, 0, 0}, 1};

// The caller's acceptance rule: result below the limit and a non-empty interval.
struct BoxQuery {
    float result;
    float entry;
    float exit;
    Vec3 normal;
    bool hit() const { return result < kFar && entry < exit; }
};

BoxQuery queryBox(const Box& box, Ray ray) {
    BoxQuery q{0, 0.0f, kNoHit, {7, 8, 9}};
    q.result = intersectBox(box, ray, q.normal, q.entry, q.exit);
    return q;
}

const Box kUnitCube{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

}  // namespace

// --- Sphere -----------------------------------------------------------------

TEST(SphereIntersection, HitsNearSideWithOutwardNormal) {
    Vec3 normal{};
    EXPECT_FLOAT_EQ(intersectSphere(kUnitSphere, {{0, 0, -5}, {0, 0, 1}}, kFar, normal), 4.0f);
    expectVecNear(normal, {0, 0, -1});
}

TEST(SphereIntersection, ResultIsRayParameterNotDistance) {
    Vec3 normal{};
    EXPECT_FLOAT_EQ(intersectSphere(kUnitSphere, {{0, 0, -5}, {0, 0, 2}}, kFar, normal), 2.0f);
    expectVecNear(normal, {0, 0, -1});
    EXPECT_FLOAT_EQ(intersectSphere(kUnitSphere, {{0, 0, -5}, {0, 0, 0.5f}}, kFar, normal), 8.0f);
}

TEST(SphereIntersection, OffCentreSphereAndOblique) {
    Vec3 normal{};
    const Sphere sphere{{2, 3, -4}, 2};
    EXPECT_FLOAT_EQ(intersectSphere(sphere, {{2, 3, 10}, {0, 0, -1}}, kFar, normal), 12.0f);
    expectVecNear(normal, {0, 0, 1});
    // Aimed at the point (2, 5, -4) on the sphere's top.
    EXPECT_FLOAT_EQ(intersectSphere(sphere, {{2, 9, -4}, {0, -1, 0}}, kFar, normal), 4.0f);
    expectVecNear(normal, {0, 1, 0});
}

TEST(SphereIntersection, FromInsideLeavesThroughFarSide) {
    Vec3 normal{};
    EXPECT_FLOAT_EQ(intersectSphere(kUnitSphere, {{0, 0, 0}, {0, 0, 1}}, kFar, normal), 1.0f);
    // The normal still points out of the solid, here along the ray.
    expectVecNear(normal, {0, 0, 1});
}

TEST(SphereIntersection, LeavingFromTheSurfaceHitsAtZero) {
    Vec3 normal{};
    EXPECT_EQ(intersectSphere(kUnitSphere, {{0, 0, -1}, {0, 0, -1}}, kFar, normal), 0.0f);
    expectVecNear(normal, {0, 0, -1});
}

TEST(SphereIntersection, TangentRayTouchesAtOnePoint) {
    // Chosen so that every intermediate value is exact: the discriminant is 0.
    Vec3 normal{};
    EXPECT_EQ(intersectSphere({{0, 0, 0}, 3}, {{3, 0, -4}, {0, 0, 1}}, kFar, normal), 4.0f);
    expectVecNear(normal, {1, 0, 0});
}

TEST(SphereIntersection, MissesReturnTheLimit) {
    Vec3 normal{};
    // Both roots behind the origin.
    EXPECT_EQ(intersectSphere(kUnitSphere, {{0, 0, 5}, {0, 0, 1}}, 42.0f, normal), 42.0f);
    // Passing beside it.
    EXPECT_EQ(intersectSphere(kUnitSphere, {{0, 1.5f, -5}, {0, 0, 1}}, 42.0f, normal), 42.0f);
    // A zero radius is a single point.
    EXPECT_EQ(intersectSphere({{0, 0, 0}, 0}, {{0, 1, -5}, {0, 0, 1}}, 42.0f, normal), 42.0f);
}

TEST(SphereIntersection, HitBeyondTheLimitIsReportedForTheCallerToReject) {
    Vec3 normal{};
    const float t = intersectSphere(kUnitSphere, {{0, 0, -5}, {0, 0, 1}}, 2.0f, normal);
    EXPECT_FLOAT_EQ(t, 4.0f);
    EXPECT_FALSE(t < 2.0f);
}

// --- Ellipsoid --------------------------------------------------------------

TEST(EllipsoidIntersection, AxisAlignedSemiAxes) {
    const Ellipsoid e{{0, 0, 0}, {2, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    Vec3 normal{};
    EXPECT_FLOAT_EQ(intersectEllipsoid(e, {{-5, 0, 0}, {1, 0, 0}}, kFar, normal), 3.0f);
    expectVecNear(normal, {-1, 0, 0});
    EXPECT_FLOAT_EQ(intersectEllipsoid(e, {{0, 0, -5}, {0, 0, 1}}, kFar, normal), 4.0f);
    expectVecNear(normal, {0, 0, -1});
    EXPECT_FLOAT_EQ(intersectEllipsoid(e, {{0, 5, 0}, {0, -1, 0}}, kFar, normal), 4.0f);
    expectVecNear(normal, {0, 1, 0});
}

TEST(EllipsoidIntersection, ParameterNotDistanceAndFromInside) {
    const Ellipsoid e{{1, 1, 1}, {2, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    Vec3 normal{};
    EXPECT_FLOAT_EQ(intersectEllipsoid(e, {{-4, 1, 1}, {2, 0, 0}}, kFar, normal), 1.5f);
    expectVecNear(normal, {-1, 0, 0});
    EXPECT_FLOAT_EQ(intersectEllipsoid(e, {{1, 1, 1}, {1, 0, 0}}, kFar, normal), 2.0f);
    expectVecNear(normal, {1, 0, 0});
}

TEST(EllipsoidIntersection, NormalIsNotTheRadialDirection) {
    // Semi-axes 2 and 1: at (sqrt(2), sqrt(0.5)) the gradient is
    // (x / 4, y) ∝ (1, 2), not the radial (2, 1).
    const Ellipsoid e{{0, 0, 0}, {2, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const float x = std::sqrt(2.0f), y = std::sqrt(0.5f);
    Vec3 normal{};
    const float t = intersectEllipsoid(e, {{x, 5, 0}, {0, -1, 0}}, kFar, normal);
    EXPECT_NEAR(t, 5.0f - y, 1e-5f);
    expectVecNear(normal, {1 / std::sqrt(5.0f), 2 / std::sqrt(5.0f), 0});
}

TEST(EllipsoidIntersection, NonOrthogonalAxes) {
    const Ellipsoid e{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 1}};
    Vec3 normal{};
    EXPECT_NEAR(intersectEllipsoid(e, {{1, 5, 0}, {0, -1, 0}}, kFar, normal), 4.0f, 1e-5f);
    expectVecNear(normal, {0, 1, 0});

    const float expected = 5.0f - (0.5f + std::sqrt(0.75f));
    EXPECT_NEAR(intersectEllipsoid(e, {{5, 0.5f, 0}, {-1, 0, 0}}, kFar, normal), expected, 1e-5f);
    EXPECT_NEAR(expected, 3.634f, 1e-3f);
    expectVecNear(normal, {0.921f, -0.389f, 0}, 1e-3f);
}

TEST(EllipsoidIntersection, DependentAxesAreNeverHit) {
    const Ellipsoid e{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    const std::vector<Ray> rays{
        {{0, 0, -5}, {0, 0, 1}}, {{-5, 0, 0}, {1, 0, 0}}, {{0, 0, 0}, {0, 1, 0}}, {{0.1f, 0.2f, 3}, {0, 0, -1}}};
    for (const Ray& ray : rays) {
        Vec3 normal{};
        EXPECT_EQ(intersectEllipsoid(e, ray, 42.0f, normal), 42.0f);
    }
}

TEST(EllipsoidIntersection, MissesReturnTheLimit) {
    const Ellipsoid e{{0, 0, 0}, {2, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    Vec3 normal{};
    EXPECT_EQ(intersectEllipsoid(e, {{-5, 1.5f, 0}, {1, 0, 0}}, 42.0f, normal), 42.0f);
    EXPECT_EQ(intersectEllipsoid(e, {{5, 0, 0}, {1, 0, 0}}, 42.0f, normal), 42.0f);
}

// --- Box --------------------------------------------------------------------

TEST(BoxIntersection, EntersAndLeaves) {
    const BoxQuery q = queryBox(kUnitCube, {{0.5f, 0.5f, -2}, {0, 0, 1}});
    EXPECT_TRUE(q.hit());
    EXPECT_FLOAT_EQ(q.result, 2.0f);
    EXPECT_FLOAT_EQ(q.entry, 2.0f);
    EXPECT_FLOAT_EQ(q.exit, 3.0f);
    expectVecNear(q.normal, {0, 0, -1});
}

TEST(BoxIntersection, EachFaceGivesItsOwnOutwardNormal) {
    const struct {
        Ray ray;
        Vec3 normal;
    } cases[] = {
        {{{0.5f, -3, 0.5f}, {0, 1, 0}}, {0, -1, 0}}, {{{0.5f, 4, 0.5f}, {0, -1, 0}}, {0, 1, 0}},
        {{{-3, 0.5f, 0.5f}, {1, 0, 0}}, {-1, 0, 0}}, {{{4, 0.5f, 0.5f}, {-1, 0, 0}}, {1, 0, 0}},
        {{{0.5f, 0.5f, -3}, {0, 0, 1}}, {0, 0, -1}}, {{{0.5f, 0.5f, 4}, {0, 0, -1}}, {0, 0, 1}},
    };
    for (const auto& c : cases) {
        const BoxQuery q = queryBox(kUnitCube, c.ray);
        EXPECT_TRUE(q.hit());
        EXPECT_FLOAT_EQ(q.result, 3.0f);
        expectVecNear(q.normal, c.normal);
    }
}

TEST(BoxIntersection, ParameterNotDistanceOnAShearedBox) {
    // Edges (2, 0, 0), (1, 1, 0), (0, 0, 3): the slanted faces still bound it.
    const Box box{{1, 1, 1}, {2, 0, 0}, {1, 1, 0}, {0, 0, 3}};
    const BoxQuery q = queryBox(box, {{2.5f, 1.5f, -3}, {0, 0, 2}});
    EXPECT_TRUE(q.hit());
    EXPECT_FLOAT_EQ(q.entry, 2.0f);
    EXPECT_FLOAT_EQ(q.exit, 3.5f);
    expectVecNear(q.normal, {0, 0, -1});
    // Entering through the slanted face spanned by the second and third edges.
    const BoxQuery side = queryBox(box, {{0, 1.5f, 2}, {1, 0, 0}});
    EXPECT_TRUE(side.hit());
    EXPECT_FLOAT_EQ(side.entry, 1.5f);
    EXPECT_FLOAT_EQ(side.exit, 3.5f);
    expectVecNear(side.normal, {-1 / std::sqrt(2.0f), 1 / std::sqrt(2.0f), 0});
}

TEST(BoxIntersection, FromInsideHitsWhereItLeaves) {
    const BoxQuery q = queryBox(kUnitCube, {{0.5f, 0.5f, 0.5f}, {0, 0, 1}});
    EXPECT_TRUE(q.hit());
    EXPECT_EQ(q.entry, 0.0f);
    EXPECT_FLOAT_EQ(q.result, 0.5f);
    EXPECT_FLOAT_EQ(q.exit, 0.5f);
    expectVecNear(q.normal, {0, 0, 1});
}

TEST(BoxIntersection, MissesShowAsAnEmptyInterval) {
    // Passing beside it.
    EXPECT_FALSE(queryBox(kUnitCube, {{2, 2, -2}, {0, 0, 1}}).hit());
    // Parallel to the x faces and outside their slab.
    const BoxQuery parallel = queryBox(kUnitCube, {{2, 0.5f, 0.5f}, {0, 1, 0}});
    EXPECT_GT(parallel.entry, parallel.exit);
    // Wholly behind the origin.
    const BoxQuery behind = queryBox(kUnitCube, {{0.5f, 0.5f, 5}, {0, 0, 1}});
    EXPECT_LT(behind.exit, 0.0f);
    EXPECT_FALSE(behind.hit());
    // Grazing an edge only: entry equals exit.
    const BoxQuery edge = queryBox(kUnitCube, {{0, -1, 0.5f}, {1, 1, 0}});
    EXPECT_EQ(edge.entry, edge.exit);
    EXPECT_FALSE(edge.hit());
}

TEST(BoxIntersection, RayWithinAFacePlaneCountsAsInside) {
    const BoxQuery q = queryBox(kUnitCube, {{0.5f, 0, -2}, {0, 0, 1}});
    EXPECT_TRUE(q.hit());
    EXPECT_FLOAT_EQ(q.result, 2.0f);
    EXPECT_FLOAT_EQ(q.exit, 3.0f);
}

TEST(BoxIntersection, TiedEntryTakesTheLaterFacesNormal) {
    // Through the edge x = y = 0: face 0 (-y) and face 2 (-x) tie at t = 1.
    const BoxQuery q = queryBox(kUnitCube, {{-1, -1, 0.5f}, {1, 1, 0}});
    EXPECT_TRUE(q.hit());
    EXPECT_FLOAT_EQ(q.entry, 1.0f);
    EXPECT_FLOAT_EQ(q.exit, 2.0f);
    expectVecNear(q.normal, {-1, 0, 0});
}

TEST(BoxIntersection, LeftHandedEdgesAreNeverHit) {
    const Box box{{0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 1, 0}};
    const std::vector<Ray> rays{{{0.5f, 0.5f, -2}, {0, 0, 1}},
                                {{0.5f, 0.5f, 0.5f}, {0, 0, 1}},
                                {{-3, 0.5f, 0.5f}, {1, 0, 0}},
                                {{0.5f, 4, 0.5f}, {0, -1, 0}},
                                {{-1, -1, -1}, {1, 1, 1}}};
    for (const Ray& ray : rays) EXPECT_FALSE(queryBox(box, ray).hit());
}

TEST(BoxIntersection, PresetsEntryAndExitItself) {
    float entry = 5.0f, exit = 1.0f;  // stale values from an earlier query
    Vec3 normal{};
    EXPECT_FLOAT_EQ(intersectBox(kUnitCube, {{0.5f, 0.5f, -2}, {0, 0, 1}}, normal, entry, exit), 2.0f);
    EXPECT_FLOAT_EQ(entry, 2.0f);
    EXPECT_FLOAT_EQ(exit, 3.0f);
}
