// Random rays against random shapes. Each case has its own fixed seed, shown
// on failure, so a failing case can be replayed alone.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <random>

#include "geometry/intersect.h"

namespace {

constexpr int kCases = 1000;
constexpr float kSurfaceTolerance = 2e-3f;  // scene units; the shapes are a few units across
constexpr double kNormalTolerance = 1e-3;

struct D3 {
    double x, y, z;
};

D3 toD(Vec3 v) { return {v.x, v.y, v.z}; }
D3 sub(D3 a, D3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
D3 scale(double s, D3 v) { return {s * v.x, s * v.y, s * v.z}; }
double dotD(D3 a, D3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
D3 crossD(D3 a, D3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double lengthD(D3 v) { return std::sqrt(dotD(v, v)); }
D3 unitD(D3 v) { return scale(1.0 / lengthD(v), v); }
bool sameDirection(D3 a, D3 b) { return lengthD(sub(unitD(a), unitD(b))) < kNormalTolerance; }

// Coordinates of v in the basis (a, b, c), by Cramer's rule in double.
D3 solve(D3 a, D3 b, D3 c, D3 v) {
    const double det = dotD(a, crossD(b, c));
    return {dotD(v, crossD(b, c)) / det, dotD(a, crossD(v, c)) / det, dotD(a, crossD(b, v)) / det};
}

class Generator {
public:
    explicit Generator(std::uint32_t seed) : engine_(seed) {}

    float uniform(float lo, float hi) { return lo + (hi - lo) * static_cast<float>(engine_() / 4294967296.0); }
    Vec3 point(float extent) { return {uniform(-extent, extent), uniform(-extent, extent), uniform(-extent, extent)}; }

    // Three edge or axis vectors that are far from dependent, right-handed.
    std::array<Vec3, 3> frame() {
        for (;;) {
            std::array<Vec3, 3> f{point(2), point(2), point(2)};
            const D3 a = toD(f[0]), b = toD(f[1]), c = toD(f[2]);
            const double det = dotD(a, crossD(b, c));
            if (lengthD(a) < 0.3 || lengthD(b) < 0.3 || lengthD(c) < 0.3) continue;
            if (std::fabs(det) < 0.3 * lengthD(a) * lengthD(b) * lengthD(c)) continue;
            if (det < 0) std::swap(f[1], f[2]);
            return f;
        }
    }

    // Mostly from outside towards the shape, sometimes from near its middle;
    // the direction's length varies so that t is not a distance.
    Ray rayTowards(Vec3 middle, float spread) {
        const Vec3 target = middle + Vec3{uniform(-spread, spread), uniform(-spread, spread), uniform(-spread, spread)};
        const Vec3 origin =
            uniform(0, 1) < 0.2f ? middle + Vec3{uniform(-0.2f, 0.2f), uniform(-0.2f, 0.2f), uniform(-0.2f, 0.2f)}
                                 : point(8);
        return {origin, uniform(0.2f, 5.0f) * (target - origin)};
    }

private:
    std::mt19937 engine_;
};

D3 hitPoint(Ray ray, float t) { return toD(pointAt(ray.origin, t, ray.direction)); }

void expectUnit(Vec3 normal) { EXPECT_NEAR(lengthD(toD(normal)), 1.0, 1e-5); }

// Runs one generated case per seed and checks that enough of them hit.
template <typename Case>
void forEachSeed(std::uint32_t base, Case runCase) {
    int hits = 0;
    for (int i = 0; i < kCases; ++i) {
        const std::uint32_t seed = base + static_cast<std::uint32_t>(i);
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        Generator generator(seed);
        if (runCase(generator)) ++hits;
        if (testing::Test::HasFailure()) return;
    }
    EXPECT_GT(hits, kCases / 4) << "too few hits to exercise the routine";
}

}  // namespace

TEST(IntersectionProperties, SphereHitsLieOnTheSurface) {
    forEachSeed(1000, [](Generator& g) {
        const Sphere sphere{g.point(3), g.uniform(0.3f, 3)};
        const Ray ray = g.rayTowards(sphere.center, sphere.radius);
        Vec3 normal{};
        const float t = intersectSphere(sphere, ray, kNoHit, normal);
        if (!(t < kNoHit)) return false;
        EXPECT_GE(t, 0.0f);
        const D3 offset = sub(hitPoint(ray, t), toD(sphere.center));
        EXPECT_NEAR(lengthD(offset), sphere.radius, kSurfaceTolerance);
        expectUnit(normal);
        EXPECT_TRUE(sameDirection(toD(normal), offset));
        return true;
    });
}

TEST(IntersectionProperties, EllipsoidHitsLieOnTheSurface) {
    forEachSeed(2000, [](Generator& g) {
        const std::array<Vec3, 3> axes = g.frame();
        const Ellipsoid ellipsoid{g.point(3), axes[0], axes[1], axes[2]};
        const Ray ray = g.rayTowards(ellipsoid.center, 1.5f);
        Vec3 normal{};
        const float t = intersectEllipsoid(ellipsoid, ray, kNoHit, normal);
        if (!(t < kNoHit)) return false;
        EXPECT_GE(t, 0.0f);
        const D3 a = toD(axes[0]), b = toD(axes[1]), c = toD(axes[2]);
        const D3 u = solve(a, b, c, sub(hitPoint(ray, t), toD(ellipsoid.center)));
        EXPECT_NEAR(lengthD(u), 1.0, kSurfaceTolerance);
        expectUnit(normal);
        // The gradient of |M^-1 (P - C)|², which solves Mᵀ g = u: the outward normal.
        const D3 bc = crossD(b, c), ca = crossD(c, a), ab = crossD(a, b);
        const D3 gradient{u.x * bc.x + u.y * ca.x + u.z * ab.x, u.x * bc.y + u.y * ca.y + u.z * ab.y,
                          u.x * bc.z + u.y * ca.z + u.z * ab.z};
        EXPECT_TRUE(sameDirection(toD(normal), gradient));
        return true;
    });
}

TEST(IntersectionProperties, BoxHitsLieOnAFace) {
    forEachSeed(3000, [](Generator& g) {
        const std::array<Vec3, 3> edges = g.frame();
        const Box box{g.point(3), edges[0], edges[1], edges[2]};
        const Vec3 middle = box.corner + 0.5f * (edges[0] + edges[1] + edges[2]);
        const Ray ray = g.rayTowards(middle, 1.5f);
        Vec3 normal{};
        float entry = 0.0f, exit = kNoHit;
        const float t = intersectBox(box, ray, normal, entry, exit);
        if (!(t < kNoHit && entry < exit)) return false;
        EXPECT_GE(t, 0.0f);
        const std::array<D3, 3> e{toD(edges[0]), toD(edges[1]), toD(edges[2])};
        const D3 c = solve(e[0], e[1], e[2], sub(hitPoint(ray, t), toD(box.corner)));
        const std::array<double, 3> coordinates{c.x, c.y, c.z};
        for (double k : coordinates) {
            EXPECT_GE(k, -kSurfaceTolerance);
            EXPECT_LE(k, 1 + kSurfaceTolerance);
        }
        expectUnit(normal);
        // Some face the point lies on has this normal: perpendicular to the
        // face's two edges, pointing away from the third.
        bool onMatchingFace = false;
        for (int axis = 0; axis < 3; ++axis) {
            const double k = coordinates[axis];
            const bool low = std::fabs(k) <= kSurfaceTolerance, high = std::fabs(k - 1) <= kSurfaceTolerance;
            if (!low && !high) continue;
            const D3 outward = scale(low ? -1.0 : 1.0, crossD(e[(axis + 1) % 3], e[(axis + 2) % 3]));
            if (sameDirection(toD(normal), outward)) onMatchingFace = true;
        }
        EXPECT_TRUE(onMatchingFace) << "coordinates " << c.x << ", " << c.y << ", " << c.z;
        return true;
    });
}

TEST(IntersectionProperties, CylinderHitsLieOnTheSideOrACap) {
    forEachSeed(4000, [](Generator& g) {
        const Vec3 base = g.point(3);
        Vec3 axis = g.point(1);
        if (length(axis) < 0.1f) axis = {0, 0, 1};
        const float height = g.uniform(0.3f, 3);
        normalize(axis, axis);
        const Cylinder cylinder{base + height * axis, base, g.uniform(0.2f, 2)};
        const Ray ray = g.rayTowards(base + (0.5f * height) * axis, cylinder.radius + 0.5f * height);
        Vec3 normal{};
        const float t = intersectCylinder(cylinder, ray, normal);
        if (!(t < kNoHit)) return false;
        EXPECT_GT(t, 0.0f);
        const D3 u = unitD(sub(toD(cylinder.top), toD(cylinder.center)));
        const D3 offset = sub(hitPoint(ray, t), toD(cylinder.center));
        const double along = dotD(offset, u);
        const D3 radial = sub(offset, scale(along, u));
        const double h = lengthD(sub(toD(cylinder.top), toD(cylinder.center)));
        const double r = cylinder.radius;
        expectUnit(normal);
        const D3 n = toD(normal);
        const bool onSide = std::fabs(lengthD(radial) - r) <= kSurfaceTolerance && along >= -kSurfaceTolerance &&
                            along <= h + kSurfaceTolerance && sameDirection(n, radial);
        const bool onBase = std::fabs(along) <= kSurfaceTolerance && lengthD(radial) <= r + kSurfaceTolerance &&
                            sameDirection(n, scale(-1, u));
        const bool onTop = std::fabs(along - h) <= kSurfaceTolerance && lengthD(radial) <= r + kSurfaceTolerance &&
                           sameDirection(n, u);
        EXPECT_TRUE(onSide || onBase || onTop)
            << "along " << along << " of " << h << ", radial " << lengthD(radial) << " of " << r;
        return true;
    });
}
