#include "render/hits.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/geometry/expect_vec.h"

namespace {

constexpr float kFar = 100.0f;  // a limit that no test hit reaches

struct DispatchResult {
    float result;
    Vec3 normal;
    float entry;
    float exit;
};

DispatchResult dispatch(const SceneObject& object, Ray ray, float limit = kFar) {
    DispatchResult r{0, {7, 8, 9}, 0.0f, kNoHit};
    r.result = intersectObject(object, ray, limit, r.normal, r.entry, r.exit);
    return r;
}

// Every geometry field holds something, so a routine fed the wrong field shows it.
SceneObject filledObject(ObjectKind kind) {
    SceneObject o{};
    o.kind = kind;
    o.corner = {0, 0, 0};
    o.edge1 = {1, 0, 0};
    o.edge2 = {0, 1, 0};
    o.edge3 = {0, 0, 1};
    o.center = {0, 0, 0};
    o.axis1 = {2, 0, 0};
    o.axis2 = {0, 1, 0};
    o.axis3 = {0, 0, 1};
    o.top = {0, 0, 2};
    o.radius = 1;
    o.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    o.vertexCount = 4;
    return o;
}

}  // namespace

TEST(IntersectObject, RoutesEachKindToItsShape) {
    const Ray alongX{{-5, 0.25f, 0.5f}, {1, 0, 0}};
    // Sphere of radius 1 at the origin.
    const DispatchResult sphere = dispatch(filledObject(ObjectKind::Sphere), alongX);
    EXPECT_NEAR(sphere.result, 5.0f - std::sqrt(1 - 0.0625f - 0.25f), 1e-5f);
    // Ellipsoid with semi-axis 2 along x.
    const DispatchResult ellipsoid = dispatch(filledObject(ObjectKind::Ellipsoid), alongX);
    EXPECT_NEAR(ellipsoid.result, 5.0f - 2 * std::sqrt(1 - 0.0625f - 0.25f), 1e-5f);
    // Unit cube from the corner.
    const DispatchResult box = dispatch(filledObject(ObjectKind::Box), alongX);
    EXPECT_FLOAT_EQ(box.result, 5.0f);
    EXPECT_FLOAT_EQ(box.exit, 6.0f);
    expectVecNear(box.normal, {-1, 0, 0});
    // Cylinder from the origin up to z = 2, radius 1.
    const DispatchResult cylinder = dispatch(filledObject(ObjectKind::Cylinder), alongX);
    EXPECT_NEAR(cylinder.result, 5.0f - std::sqrt(1 - 0.0625f), 1e-5f);
    // The unit square in z = 0, from above.
    const DispatchResult polygon = dispatch(filledObject(ObjectKind::Polygon), {{0.25f, 0.75f, 5}, {0, 0, -1}});
    EXPECT_FLOAT_EQ(polygon.result, 5.0f);
    expectVecNear(polygon.normal, {0, 0, 1});
}

TEST(IntersectObject, OnlyTheBoxTouchesEntryAndExit) {
    const Ray ray{{0.25f, 0.5f, -5}, {0, 0, 1}};
    for (ObjectKind kind : {ObjectKind::Sphere, ObjectKind::Ellipsoid, ObjectKind::Polygon, ObjectKind::Cylinder}) {
        const DispatchResult r = dispatch(filledObject(kind), ray);
        EXPECT_EQ(r.entry, 0.0f) << static_cast<int>(kind);
        EXPECT_EQ(r.exit, kNoHit) << static_cast<int>(kind);
        EXPECT_LT(r.result, kFar) << static_cast<int>(kind);
    }
}

TEST(IntersectObject, PassesTheLimitThrough) {
    const Ray miss{{5, 5, -5}, {0, 0, 1}};
    EXPECT_EQ(dispatch(filledObject(ObjectKind::Sphere), miss, 42.0f).result, 42.0f);
    EXPECT_EQ(dispatch(filledObject(ObjectKind::Ellipsoid), miss, 42.0f).result, 42.0f);
    EXPECT_EQ(dispatch(filledObject(ObjectKind::Polygon), miss, 42.0f).result, 42.0f);
    // The polygon also uses it as an upper bound.
    EXPECT_EQ(dispatch(filledObject(ObjectKind::Polygon), {{0.25f, 0.75f, 5}, {0, 0, -1}}, 3.0f).result, 3.0f);
    EXPECT_EQ(dispatch(filledObject(ObjectKind::Cylinder), miss, 42.0f).result, kNoHit);
}

TEST(IntersectObject, UnknownKindTouchesNothing) {
    SceneObject object = filledObject(ObjectKind::Sphere);
    object.kind = static_cast<ObjectKind>(7);
    Vec3 normal{7, 8, 9};
    float entry = 0.25f, exit = 0.75f;
    EXPECT_EQ(intersectObject(object, {{0, 0, -5}, {0, 0, 1}}, kFar, normal, entry, exit), kNoHit);
    expectVecEq(normal, {7, 8, 9});
    EXPECT_EQ(entry, 0.25f);
    EXPECT_EQ(exit, 0.75f);

    object.kind = static_cast<ObjectKind>(-1);
    EXPECT_EQ(intersectObject(object, {{0, 0, -5}, {0, 0, 1}}, kFar, normal, entry, exit), kNoHit);
    expectVecEq(normal, {7, 8, 9});
}

TEST(BlocksBefore, AsksTheSameRoutineWithoutTheNormal) {
    // Points along each kind: the any-hit answer follows the full routine's
    // parameter exactly, on both sides of the limit.
    for (ObjectKind kind :
         {ObjectKind::Sphere, ObjectKind::Ellipsoid, ObjectKind::Polygon, ObjectKind::Box, ObjectKind::Cylinder}) {
        const SceneObject object = filledObject(kind);
        for (float y = -0.1f; y < 1.2f; y += 0.05f) {
            const Ray ray{{-3, y, 0.5f}, {1, 0.1f, kind == ObjectKind::Polygon ? -0.2f : 0.05f}};
            const DispatchResult full = dispatch(object, ray, 100.0f);
            const bool hit = full.result < 100.0f && full.entry < full.exit;
            EXPECT_EQ(blocksBefore(object, ray, 100.0f), hit) << static_cast<int>(kind) << " at " << y;
            if (hit) {
                EXPECT_FALSE(blocksBefore(object, ray, full.result)) << static_cast<int>(kind) << " at " << y;
            }
        }
    }
}
