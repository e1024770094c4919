#include "render/bvh/leaf_lanes.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "geometry/intersect.h"

namespace {

std::string hex(Ray r) {
    char text[200];
    std::snprintf(text, sizeof text, "ray (%a, %a, %a) + t (%a, %a, %a)", r.origin.x, r.origin.y, r.origin.z,
                  r.direction.x, r.direction.y, r.direction.z);
    return text;
}

// The lanes against fanTriangleHit on the same random rays, grazing edges
// and nearly parallel planes included: the same t wherever either hits.
TEST(LeafLanes, FourTrianglesAnswerAsTheScalarRoutine) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> coordinate(-3.0f, 3.0f);
    const auto point = [&] { return Vec3{coordinate(rng), coordinate(rng), coordinate(rng)}; };
    for (int round = 0; round < 2000; ++round) {
        LeafBlocks leaves;
        leaves.resetTo(4);
        FanTriangle triangles[4];
        for (std::size_t k = 0; k < 4; ++k) {
            triangles[k] = fanTriangle(point(), point(), point());
            leaves.setTriangle(k, 0, triangles[k]);
        }
        for (int r = 0; r < 20; ++r) {
            // Aim at an edge or a vertex of one of them, often just beside it.
            const FanTriangle& aim = triangles[r % 4];
            const float along = std::uniform_real_distribution<float>(0.0f, 1.0f)(rng);
            const Vec3 target = aim.v0 + along * (r % 2 == 0 ? aim.e1 : aim.e2);
            const Vec3 origin = point() + Vec3{0.0f, 0.0f, 10.0f};
            const Ray ray{origin, r % 3 == 0 ? target - origin : point()};
            const FourHits hits = hitFourTriangles(leaves.blocks[0], ray);
            for (int k = 0; k < 4; ++k) {
                const float scalar = fanTriangleHit(triangles[k], ray, kNoHit);
                const bool hit = ((hits.found >> k & 1u) != 0) && hits.t[k] <= kNoHit;
                ASSERT_EQ(hit, scalar != kNoHit) << hex(ray) << ", lane " << k;
                if (hit) {
                    ASSERT_EQ(std::bit_cast<std::uint32_t>(hits.t[k]), std::bit_cast<std::uint32_t>(scalar))
                        << hex(ray);
                }
            }
        }
    }
}

// Spheres from outside, inside, grazing and behind: the lanes' root is the
// scalar routine's wherever it finds one.
TEST(LeafLanes, FourSpheresAnswerAsTheScalarRoutine) {
    std::mt19937 rng(6);
    std::uniform_real_distribution<float> coordinate(-3.0f, 3.0f), size(0.01f, 2.0f);
    const auto point = [&] { return Vec3{coordinate(rng), coordinate(rng), coordinate(rng)}; };
    for (int round = 0; round < 2000; ++round) {
        LeafBlocks leaves;
        leaves.resetTo(4);
        Sphere spheres[4];
        for (std::size_t k = 0; k < 4; ++k) {
            spheres[k] = {point(), size(rng)};
            leaves.setSphere(k, 0, spheres[k]);
        }
        for (int r = 0; r < 20; ++r) {
            const Sphere& aim = spheres[r % 4];
            const Vec3 origin = r % 5 == 0 ? aim.center : point();
            // At the rim now and then, where the discriminant cancels.
            const Vec3 rim = aim.center + Vec3{aim.radius, 0.0f, 0.0f};
            const Ray ray{origin, r % 2 == 0 ? rim - origin : point()};
            const FourHits hits = hitFourSpheres(leaves.blocks[0], ray);
            for (int k = 0; k < 4; ++k) {
                Vec3 normal{};
                const float scalar = intersectSphere(spheres[k], ray, -1.0f, normal);
                ASSERT_EQ(((hits.found >> k & 1u) != 0), scalar != -1.0f) << hex(ray) << ", lane " << k;
                if (((hits.found >> k & 1u) != 0)) {
                    ASSERT_EQ(std::bit_cast<std::uint32_t>(hits.t[k]), std::bit_cast<std::uint32_t>(scalar))
                        << hex(ray);
                }
            }
        }
    }
}

}  // namespace

// The slab test relies on smaller and larger being exactly a < b ? a : b
// and a < b ? b : a, for NaN and signed zeros too.
TEST(LeafLanes, SmallerAndLargerSelectAsTheScalarComparison) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float values[] = {0.0f, -0.0f, 1.0f, -2.0f, nan, std::numeric_limits<float>::infinity()};
    for (const float a : values) {
        for (const float b : values) {
            const Lanes small = smaller(broadcast(a), broadcast(b)), large = larger(broadcast(a), broadcast(b));
            EXPECT_EQ(std::bit_cast<std::uint32_t>(small[0]), std::bit_cast<std::uint32_t>(a < b ? a : b)) << a << b;
            EXPECT_EQ(std::bit_cast<std::uint32_t>(large[0]), std::bit_cast<std::uint32_t>(a < b ? b : a)) << a << b;
        }
    }
}
