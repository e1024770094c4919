#include <gtest/gtest.h>

#include <cmath>

#include "geometry/vec3.h"
#include "tests/geometry/expect_vec.h"

namespace {

Matrix3 fromColumns(Vec3 a, Vec3 b, Vec3 c) { return {{{a.x, b.x, c.x}, {a.y, b.y, c.y}, {a.z, b.z, c.z}}}; }

}  // namespace

TEST(VectorProducts, DotSumsComponentProducts) {
    EXPECT_EQ(dot({1, 2, 3}, {4, -5, 6}), 12.0f);
    EXPECT_EQ(dot({0, 0, 0}, {4, -5, 6}), 0.0f);
}

TEST(VectorProducts, CrossFollowsRightHandRuleAndSwappingNegates) {
    Vec3 out{};
    cross({1, 0, 0}, {0, 1, 0}, out);
    expectVecNear(out, {0, 0, 1});
    cross({0, 1, 0}, {1, 0, 0}, out);
    expectVecNear(out, {0, 0, -1});
    cross({0, 1, 0}, {0, 0, 1}, out);
    expectVecNear(out, {1, 0, 0});
    cross({0, 0, 1}, {1, 0, 0}, out);
    expectVecNear(out, {0, 1, 0});

    // General vectors catch a component taken from the wrong term.
    const Vec3 a{1, 2, 3}, b{4, -5, 6};
    cross(a, b, out);
    expectVecNear(out, {27, 6, -13});
    Vec3 swapped{};
    cross(b, a, swapped);
    expectVecNear(swapped, {-27, -6, 13});
    expectVecNear(cross(a, b), out);
}

TEST(VectorProducts, CrossMayWriteIntoItsOwnInput) {
    Vec3 a{1, 2, 3};
    cross(a, {4, -5, 6}, a);
    expectVecNear(a, {27, 6, -13});
}

TEST(VectorLength, IsEuclidean) {
    EXPECT_EQ(length({3, 4, 12}), 13.0f);
    EXPECT_EQ(length({-3, -4, -12}), 13.0f);
    EXPECT_EQ(length({0, 0, 0}), 0.0f);
}

TEST(VectorNormalize, ScalesToUnitLength) {
    Vec3 out{7, 8, 9};
    normalize({0, 0, 5}, out);
    expectVecNear(out, {0, 0, 1});
    normalize({3, 4, 12}, out);
    expectVecNear(out, {3.0f / 13.0f, 4.0f / 13.0f, 12.0f / 13.0f});
    EXPECT_NEAR(length(out), 1.0f, 1e-6f);
}

TEST(VectorNormalize, ZeroVectorLeavesOutputUntouched) {
    Vec3 out{7, 8, 9};
    normalize({0, 0, 0}, out);
    expectVecEq(out, {7, 8, 9});

    Vec3 zero{0, 0, 0};
    normalize(zero, zero);
    expectVecEq(zero, {0, 0, 0});
}

TEST(VectorNormalize, NotANumberLengthLeavesOutputUntouched) {
    Vec3 out{7, 8, 9};
    normalize({std::nanf(""), 1, 1}, out);
    expectVecEq(out, {7, 8, 9});
}

TEST(VectorNormalize, WorksInPlace) {
    Vec3 v{0, -6, 8};
    normalize(v, v);
    expectVecNear(v, {0, -0.6f, 0.8f});
}

TEST(Determinant, IdentityIsOne) { EXPECT_EQ(determinant3x3(fromColumns({1, 0, 0}, {0, 1, 0}, {0, 0, 1})), 1.0f); }

TEST(Determinant, SwappingColumnsNegates) {
    const Vec3 a{2, 1, 0}, b{1, 3, 1}, c{0, 1, 4};
    const float det = determinant3x3(fromColumns(a, b, c));
    EXPECT_FLOAT_EQ(det, 18.0f);
    EXPECT_FLOAT_EQ(determinant3x3(fromColumns(b, a, c)), -det);
    EXPECT_FLOAT_EQ(determinant3x3(fromColumns(a, c, b)), -det);
    EXPECT_EQ(determinant3x3(fromColumns({1, 0, 0}, {0, 0, 1}, {0, 1, 0})), -1.0f);
}

TEST(Determinant, EqualColumnsGiveZero) {
    EXPECT_EQ(determinant3x3(fromColumns({1, 2, 3}, {1, 2, 3}, {4, -5, 6})), 0.0f);
    EXPECT_EQ(determinant3x3(fromColumns({1, 2, 3}, {4, -5, 6}, {1, 2, 3})), 0.0f);
}

TEST(Determinant, GeneralMatrices) {
    const Matrix3 m{{{2, 7, 5}, {0, 3, 11}, {0, 0, 4}}};
    EXPECT_EQ(determinant3x3(m), 24.0f);
    const Matrix3 general{{{1, 2, 3}, {0, 1, 4}, {5, 6, 0}}};
    EXPECT_EQ(determinant3x3(general), 1.0f);
}

TEST(RayPlaneDistance, ReturnsRayParameterNotDistance) {
    const Vec3 point{0, 0, 0}, u{1, 0, 0}, v{0, 1, 0};
    EXPECT_FLOAT_EQ(rayPlaneDistance({0, 0, 5}, {0, 0, -2}, point, u, v), 2.5f);
    EXPECT_FLOAT_EQ(rayPlaneDistance({0, 0, 5}, {0, 0, -1}, point, u, v), 5.0f);
    // Swapped edges flip the plane normal; the parameter must not change.
    EXPECT_FLOAT_EQ(rayPlaneDistance({0, 0, 5}, {0, 0, -2}, point, v, u), 2.5f);
    // A plane behind the ray gives a negative parameter.
    EXPECT_FLOAT_EQ(rayPlaneDistance({0, 0, 5}, {0, 0, 1}, point, u, v), -5.0f);
    // An offset plane point and a slanted ray.
    EXPECT_FLOAT_EQ(rayPlaneDistance({3, -1, 7}, {1, 1, -2}, {9, 9, 1}, u, v), 3.0f);
}

TEST(RayPlaneDistance, ParallelRayIsNotFinite) {
    const Vec3 point{0, 0, 0}, u{1, 0, 0}, v{0, 1, 0};
    EXPECT_FALSE(std::isfinite(rayPlaneDistance({0, 0, 5}, {1, 0, 0}, point, u, v)));
    EXPECT_FALSE(std::isfinite(rayPlaneDistance({0, 0, 0}, {1, 0, 0}, point, u, v)));
    // Parallel edges span no plane.
    EXPECT_FALSE(std::isfinite(rayPlaneDistance({0, 0, 5}, {0, 0, -1}, point, u, {2, 0, 0})));
}
