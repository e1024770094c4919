// Comparison helpers shared by the geometry and scene tests.
#pragma once

#include <gtest/gtest.h>

#include "geometry/vec3.h"

// Component-wise within `tolerance` (defaults to a few float ulps of unit size).
inline void expectVecNear(Vec3 actual, Vec3 expected, float tolerance = 1e-5f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance) << "x";
    EXPECT_NEAR(actual.y, expected.y, tolerance) << "y";
    EXPECT_NEAR(actual.z, expected.z, tolerance) << "z";
}

inline void expectVecEq(Vec3 actual, Vec3 expected) {
    EXPECT_EQ(actual.x, expected.x) << "x";
    EXPECT_EQ(actual.y, expected.y) << "y";
    EXPECT_EQ(actual.z, expected.z) << "z";
}
