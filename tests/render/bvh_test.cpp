#include "render/bvh/bvh.h"
#include "render/bvh/shadow_beam.h"
#include "render/bvh/traversal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <span>
#include <vector>

#include "bench/scene_generator.h"
#include "render/bvh/bounds.h"
#include "render/hits.h"
#include "render/lighting.h"
#include "render/trace.h"

namespace {

// Both answers of one ray, the linear search's and the hierarchy's.
class Oracle {
public:
    explicit Oracle(Scene scene) : scene_(std::move(scene)), bvh_(buildBvh(scene_)) {}

    const Scene& scene() const { return scene_; }
    const Bvh& bvh() const { return bvh_; }

    // Fails the test, with the ray, unless the nearest hits agree bit for bit.
    // Returns the reference parameter.
    float checkNearest(Ray ray) {
        RenderSettings settings;
        Random generator;
        const TraceContext linear{scene_, settings, generator};
        int referenceIndex = -7, fastIndex = -7;
        Vec3 referenceNormal{0.5f, 0.5f, 0.5f}, fastNormal = referenceNormal;
        const float reference = findNearestHit(linear, ray, referenceIndex, referenceNormal);
        float fast = 0.0f;
        EXPECT_TRUE(acceleratedNearestHit(bvh_, scene_, ray, fast, fastIndex, fastNormal)) << describe(ray);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(fast), std::bit_cast<std::uint32_t>(reference)) << describe(ray);
        EXPECT_EQ(fastIndex, referenceIndex) << describe(ray);
        EXPECT_TRUE(sameBits(fastNormal, referenceNormal)) << describe(ray);
        ++rays_;
        if (reference < kNoHit) ++hits_;
        if (recorded_) recorded_->push_back(ray);
        return reference;
    }

    // Rays checked from now on are kept in `rays` too.
    void record(std::vector<Ray>* rays) { recorded_ = rays; }

    // The rays in packets of `size`: every ray the packet walk answers must
    // match the linear search bit for bit. Returns how many it answered.
    std::size_t checkPackets(std::span<const Ray> rays, std::size_t size) {
        RenderSettings settings;
        Random generator;
        const TraceContext linear{scene_, settings, generator};
        std::size_t answered = 0;
        for (std::size_t first = 0; first < rays.size(); first += size) {
            const auto packet = rays.subspan(first, std::min(size, rays.size() - first));
            std::vector<NearestHit> hits(packet.size(), NearestHit{-3.0f, -7, {0.5f, 0.5f, 0.5f}});
            const std::uint64_t done = acceleratedNearestHits(bvh_, scene_, packet, hits);
            for (std::size_t r = 0; r < packet.size(); ++r) {
                if ((done >> r & 1u) == 0) {
                    EXPECT_EQ(hits[r].t, -3.0f) << "an unanswered ray was touched: " << describe(packet[r]);
                    continue;
                }
                ++answered;
                int index = -7;
                Vec3 normal{0.5f, 0.5f, 0.5f};
                const float reference = findNearestHit(linear, packet[r], index, normal);
                EXPECT_EQ(std::bit_cast<std::uint32_t>(hits[r].t), std::bit_cast<std::uint32_t>(reference))
                    << describe(packet[r]);
                EXPECT_EQ(hits[r].objectIndex, index) << describe(packet[r]);
                EXPECT_TRUE(sameBits(hits[r].normal, normal)) << describe(packet[r]);
            }
        }
        return answered;
    }

    void checkBlocked(Ray ray) {
        RenderSettings settings;
        Random generator;
        const TraceContext linear{scene_, settings, generator};
        const bool reference = isShadowed(linear, ray.origin, ray.direction);
        const std::optional<bool> fast = acceleratedIsBlocked(bvh_, scene_, ray);
        ASSERT_TRUE(fast.has_value()) << describe(ray);
        EXPECT_EQ(*fast, reference) << describe(ray);
    }

    int rays() const { return rays_; }
    int hits() const { return hits_; }

private:
    static bool sameBits(Vec3 a, Vec3 b) {
        return std::bit_cast<std::uint32_t>(a.x) == std::bit_cast<std::uint32_t>(b.x) &&
               std::bit_cast<std::uint32_t>(a.y) == std::bit_cast<std::uint32_t>(b.y) &&
               std::bit_cast<std::uint32_t>(a.z) == std::bit_cast<std::uint32_t>(b.z);
    }
    static std::string describe(Ray r) {
        char text[256];
        std::snprintf(text, sizeof text, "ray (%a, %a, %a) + t (%a, %a, %a)", r.origin.x, r.origin.y, r.origin.z,
                      r.direction.x, r.direction.y, r.direction.z);
        return text;
    }

    Scene scene_;
    Bvh bvh_;
    std::vector<Ray>* recorded_ = nullptr;
    int rays_ = 0;
    int hits_ = 0;
};

Vec3 randomDirection(std::mt19937& rng) {
    std::normal_distribution<float> normal;
    Vec3 v{normal(rng), normal(rng), normal(rng)};
    normalize(v, v);
    return v;
}

float uniform(std::mt19937& rng, float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }

Vec3 centerOf(const SceneObject& o) {
    switch (o.kind) {
        case ObjectKind::Sphere:
        case ObjectKind::Ellipsoid:
            return o.center;
        case ObjectKind::Box:
            return o.corner + 0.5f * (o.edge1 + o.edge2 + o.edge3);
        case ObjectKind::Cylinder:
            return 0.5f * (o.top + o.center);
        case ObjectKind::Polygon: {
            Vec3 sum{};
            for (const Vec3& v : o.vertices) sum = sum + v;
            return (1.0f / static_cast<float>(o.vertices.size())) * sum;
        }
    }
    return {};
}

Scene alone(const SceneObject& object) {
    Scene scene;
    resetScene(scene);
    scene.objectList.push_back(object);
    return scene;
}

// From an origin at `distance`, sweeps the aim from the object's centre
// outwards, finds where the reference stops hitting, and fires rays at that
// silhouette and a little beyond it: where rounding lets hits stray from the surface.
// With `from`, every ray starts there instead.
void probeSilhouettes(Oracle& oracle, const SceneObject& object, std::mt19937& rng, float distance,
                      const Vec3* from = nullptr) {
    const Vec3 center = centerOf(object);
    if (!std::isfinite(length(center))) return;  // such rays take the linear search
    for (int attempt = 0; attempt < 6; ++attempt) {
        const Vec3 origin = from ? *from : center + distance * randomDirection(rng);
        const Vec3 sideways = randomDirection(rng);
        auto rayTo = [&](float s) { return Ray{origin, center + s * sideways - origin}; };
        float inside = 0.0f, outside = 4.0f;
        if (oracle.checkNearest(rayTo(inside)) >= kNoHit) continue;
        if (oracle.checkNearest(rayTo(outside)) < kNoHit) continue;
        for (int step = 0; step < 40; ++step) {
            const float middle = 0.5f * (inside + outside);
            (oracle.checkNearest(rayTo(middle)) < kNoHit ? inside : outside) = middle;
        }
        for (float beyond = 1e-7f; beyond < 1e-2f; beyond *= 3.0f) {
            oracle.checkNearest(rayTo(outside * (1.0f + beyond)));
            oracle.checkNearest(rayTo(inside * (1.0f - beyond)));
        }
    }
}

}  // namespace

TEST(Bvh, SilhouettesOfEveryKindFromNearAndFar) {
    // One object alone: the root's bound is that object's, so any hit that
    // rounding carries outside its margin shows as a difference.
    std::mt19937 rng(7);
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        const Scene source = randomScene(seed);
        for (const SceneObject& object : source.objectList) {
            Oracle oracle(alone(object));
            for (const float distance : {2.0f, 20.0f, 300.0f, 5000.0f}) {
                probeSilhouettes(oracle, object, rng, distance);
            }
            if (::testing::Test::HasFailure()) return;
        }
    }
}

TEST(Bvh, SilhouettesSeenFromTheEye) {
    // Rays from the eye use boxes widened once for it: from afar, grazing
    // rays show whether that widening covers what the routines compute.
    std::mt19937 rng(9);
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        for (const SceneObject& object : randomScene(seed).objectList) {
            for (const float distance : {3.0f, 300.0f, 5000.0f}) {
                Scene scene = alone(object);
                scene.camera.screenCenter = centerOf(object) + distance * randomDirection(rng);
                const Vec3 eye = scene.camera.screenCenter + scene.camera.eyeOffset;
                Oracle oracle(scene);
                std::vector<Ray> rays;
                oracle.record(&rays);
                probeSilhouettes(oracle, object, rng, distance, &eye);
                // The same grazing rays walked together, in packets narrow and wide.
                oracle.checkPackets(rays, 8);
                EXPECT_EQ(oracle.checkPackets(rays, 64), rays.size());
            }
            if (::testing::Test::HasFailure()) return;
        }
    }
}

TEST(Bvh, RandomScenesAnswerAsTheLinearSearch) {
    std::mt19937 rng(11);
    int hits = 0, rays = 0;
    for (std::uint32_t seed = 100; seed < 140; ++seed) {
        Oracle oracle(randomScene(seed));
        const Scene& scene = oracle.scene();
        for (int i = 0; i < 300; ++i) {
            // From the eye through the screen, and from points on surfaces.
            const Vec3 eye = scene.camera.screenCenter + scene.camera.eyeOffset;
            const Vec3 target{uniform(rng, -6, 6), uniform(rng, -6, 6), uniform(rng, -15, -2)};
            const Ray primary{eye, target - eye};
            const float t = oracle.checkNearest(primary);
            if (t < kNoHit) {
                const Vec3 point = pointAt(primary.origin, t, primary.direction);
                oracle.checkNearest({point, randomDirection(rng)});
                for (const Light& light : scene.lightList) oracle.checkBlocked({point, light.position - point});
                oracle.checkBlocked({point, uniform(rng, 0.1f, 20.0f) * randomDirection(rng)});
            }
        }
        hits += oracle.hits();
        rays += oracle.rays();
        if (::testing::Test::HasFailure()) return;
    }
    EXPECT_GT(hits, rays / 4);  // the rays do meet objects
}

TEST(Bvh, PacketsFromTheEyeAnswerAsTheLinearSearch) {
    // Packets spread over the whole view, so their slopes change sign; rays
    // along the axes or with a component too small to invert; and rays a
    // packet must leave alone: another origin, one not finite.
    std::mt19937 rng(13);
    for (std::uint32_t seed = 200; seed < 220; ++seed) {
        Oracle oracle(randomScene(seed));
        const Scene& scene = oracle.scene();
        const Vec3 eye = scene.camera.screenCenter + scene.camera.eyeOffset;
        std::vector<Ray> rays;
        for (int i = 0; i < 256; ++i) {
            const Vec3 target{uniform(rng, -8, 8), uniform(rng, -8, 8), uniform(rng, -16, 4)};
            rays.push_back({eye, target - eye});
        }
        rays.push_back({eye, {0, 0, -1}});
        rays.push_back({eye, {0, -1, 0}});
        rays.push_back({eye, {1e-40f, 0.1f, -1}});
        rays.push_back({eye + Vec3{0.5f, 0, 0}, {0, 0, -1}});
        rays.push_back({eye, {std::numeric_limits<float>::infinity(), 0, -1}});
        // All but the last two, which start elsewhere or cannot be bounded.
        EXPECT_EQ(oracle.checkPackets(rays, 64), rays.size() - 2);
        EXPECT_EQ(oracle.checkPackets(rays, 5), rays.size() - 2);
        if (::testing::Test::HasFailure()) return;
    }
}

TEST(Bvh, TiesGoToTheEarlierObjectWhateverTheVisitOrder) {
    // Copies of a sphere and of a triangle far apart in a long list, so the
    // hierarchy may meet the later copy first.
    Scene scene = sphereField(200, 3);
    SceneObject ball = scene.objectList[17];
    ball.center = {0.5f, 0.5f, -4.0f};
    ball.radius = 0.3f;
    SceneObject triangle = ball;
    triangle.kind = ObjectKind::Polygon;
    triangle.vertices = {{-1, -1, -5}, {1, -1, -5}, {0, 0.2f, -5}};
    triangle.vertexCount = 3;
    scene.objectList.insert(scene.objectList.begin() + 3, ball);
    scene.objectList.insert(scene.objectList.begin() + 10, triangle);
    scene.objectList.push_back(ball);
    scene.objectList.push_back(triangle);
    Oracle oracle(scene);
    const Vec3 eye{0, 0, 2.5f};
    for (const Vec3 target : {ball.center, Vec3{0, -0.5f, -5}, Vec3{0.25f, -0.9f, -5}}) {
        int index = -1;
        Vec3 normal{};
        float t = 0.0f;
        ASSERT_TRUE(acceleratedNearestHit(oracle.bvh(), oracle.scene(), {eye, target - eye}, t, index, normal));
        EXPECT_TRUE(index == 3 || index == 10) << index;  // never the copies at the end
        oracle.checkNearest({eye, target - eye});
    }
    // Along the shared edge of two triangles both hit at the same t.
    Oracle edges(randomScene(5));
    const std::size_t n = edges.scene().objectList.size();
    const Vec3 a = edges.scene().objectList[n - 1].vertices[0], c = edges.scene().objectList[n - 1].vertices[1];
    for (float s = 0.05f; s < 1.0f; s += 0.1f) edges.checkNearest({{0, 0, 5}, a + s * (c - a) - Vec3{0, 0, 5}});
}

TEST(Bvh, UntrustworthyObjectsAreTestedOnEveryRay) {
    Scene scene = sphereField(30, 9);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    SceneObject flat = scene.objectList[0];
    flat.kind = ObjectKind::Ellipsoid;  // dependent axes
    flat.axis1 = {1, 0, 0};
    flat.axis2 = {0, 1, 0};
    flat.axis3 = {1, 1, 0};
    SceneObject broken = scene.objectList[1];
    broken.center.y = nan;
    SceneObject sliver = scene.objectList[2];  // a needle triangle
    sliver.kind = ObjectKind::Polygon;
    sliver.vertices = {{0, 0, -6}, {3, 0, -6}, {3, 1e-4f, -6}};
    SceneObject point = scene.objectList[3];
    point.radius = 0.0f;
    for (const SceneObject& o : {flat, broken, sliver, point}) scene.objectList.push_back(o);
    Oracle oracle(scene);
    EXPECT_EQ(oracle.bvh().alwaysTested.size(), 4u);
    EXPECT_EQ(oracle.bvh().boundedCount(), 30u);
    std::mt19937 rng(5);
    for (int i = 0; i < 500; ++i) {
        const Vec3 eye{uniform(rng, -1, 1), uniform(rng, -1, 1), 2.5f};
        oracle.checkNearest({eye, Vec3{uniform(rng, -3, 3), uniform(rng, -3, 3), -6} - eye});
    }
    // Rays along the needle's long edge.
    for (float s = -1e-4f; s <= 2e-4f; s += 2.5e-5f) oracle.checkNearest({{-1, s / 3, -5}, {1, s, -0.25f}});
}

TEST(Bvh, RaysAlmostAlongATiltedCylinderAxis) {
    // The side test loses its direction when the ray nearly follows the
    // axis; such rays test the cylinder outright.
    Scene scene = sphereField(20, 4);
    SceneObject tube = scene.objectList[0];
    tube.kind = ObjectKind::Cylinder;
    tube.center = {-1.0f, -0.5f, -9.0f};
    tube.top = {1.3f, 1.1f, -13.0f};
    tube.radius = 0.4f;
    scene.objectList.push_back(tube);
    Oracle oracle(scene);
    EXPECT_FALSE(oracle.bvh().cellItems.empty());
    std::mt19937 rng(8);
    const Vec3 axis = tube.top - tube.center;
    for (int i = 0; i < 3000; ++i) {
        const float tilt = std::pow(10.0f, uniform(rng, -8.0f, -1.0f));
        const Vec3 direction = axis + (tilt * length(axis)) * randomDirection(rng);
        const Vec3 offset = uniform(rng, 0.0f, 1.5f) * randomDirection(rng);
        const Vec3 origin = tube.center + offset - uniform(rng, 0.1f, 40.0f) * direction;
        oracle.checkNearest({origin, direction});
        oracle.checkBlocked({origin, uniform(rng, 1.0f, 80.0f) * direction});
        if (::testing::Test::HasFailure()) return;
    }
}

TEST(Bvh, RaysItCannotBoundAndScenesItWasNotBuiltForTakeTheLinearSearch) {
    const Scene scene = sphereField(10, 1);
    const Bvh bvh = buildBvh(scene);
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    float t = 0.0f;
    int index = 42;
    Vec3 normal{1, 2, 3};
    for (const Ray ray : {Ray{{0, 0, 2}, {0, 0, nan}}, Ray{{0, inf, 2}, {0, 0, -1}}, Ray{{0, 0, 2}, {0, 0, 0}},
                          Ray{{0, 0, 2}, {0, 0, 1e-20f}}, Ray{{3e9f, 0, 0}, {-1, 0, 0}}}) {
        EXPECT_FALSE(acceleratedNearestHit(bvh, scene, ray, t, index, normal));
        EXPECT_FALSE(acceleratedIsBlocked(bvh, scene, ray).has_value());
    }
    EXPECT_EQ(index, 42);  // untouched
    EXPECT_EQ(normal.z, 3.0f);
    Scene grown = scene;
    grown.objectList.push_back(scene.objectList[0]);
    EXPECT_FALSE(acceleratedNearestHit(bvh, grown, {{0, 0, 2}, {0, 0, -1}}, t, index, normal));
}

// Every box is rounded outwards with these; a step the wrong way, or two,
// shrinks boxes by too little for the picture tests to notice.
TEST(Bvh, BoundsRoundToTheNearestFloatOutwards) {
    const double inf = std::numeric_limits<double>::infinity();
    const double fmax = std::numeric_limits<float>::max(), tiny = std::numeric_limits<float>::denorm_min();
    std::vector<double> values;
    for (const double v : {0.0, tiny / 2, tiny, 1e-300, 1.0, 1.0 + 0x1p-30, fmax, fmax * (1 + 0x1p-30), 1e39, inf}) {
        values.insert(values.end(), {v, -v});
    }
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> spread(-40.0, 40.0);
    for (int i = 0; i < 200; ++i) values.push_back((i % 2 ? -1.0 : 1.0) * std::exp2(spread(rng)) * (1.0 + 0x1p-35 * i));
    for (const double v : values) {
        const float below = floatBelow(v), above = floatAbove(v);
        EXPECT_LE(below, v) << std::hexfloat << v;
        EXPECT_GE(above, v) << std::hexfloat << v;
        // Nothing between the result and the value.
        if (below != v) {
            EXPECT_GT(std::nextafter(below, std::numeric_limits<float>::infinity()), v) << std::hexfloat << v;
        }
        if (above != v) {
            EXPECT_LT(std::nextafter(above, -std::numeric_limits<float>::infinity()), v) << std::hexfloat << v;
        }
    }
    EXPECT_TRUE(std::isnan(floatBelow(std::nan(""))) && std::isnan(floatAbove(std::nan(""))));
}

TEST(Bvh, LargeMeshKeepsTheAnswers) {
    Oracle oracle(triangleMesh(20000));
    EXPECT_EQ(oracle.bvh().alwaysTested.size(), 0u);
    std::mt19937 rng(3);
    for (int i = 0; i < 400; ++i) {
        const Vec3 eye{0, 0, 3};
        const Ray ray{eye, Vec3{uniform(rng, -4, 4), uniform(rng, -4, 4), -9} - eye};
        const float t = oracle.checkNearest(ray);
        if (t < kNoHit) {
            const Vec3 point = pointAt(ray.origin, t, ray.direction);
            oracle.checkBlocked({point, Vec3{5, 8, 6} - point});
            oracle.checkNearest({point, randomDirection(rng)});
        }
    }
    EXPECT_GT(oracle.hits(), 200);
}

// Soft shadows: every ray of a gathered beam answers as the linear search,
// also beams that run along a cylinder's axis and lights of every size.
TEST(Bvh, ShadowBeamsAnswerAsTheLinearSearch) {
    std::vector<Scene> scenes{randomScene(3), randomScene(4), mixedScene(60, 7)};
    SceneObject tube = scenes[0].objectList[0];
    tube.kind = ObjectKind::Cylinder;
    tube.center = {-1.0f, -0.5f, -9.0f};
    tube.top = {1.3f, 1.1f, -13.0f};
    tube.radius = 0.4f;
    scenes[0].objectList.push_back(tube);
    std::mt19937 rng(17);
    int gathered = 0;
    for (const Scene& scene : scenes) {
        const Bvh bvh = buildBvh(scene);
        for (int beamIndex = 0; beamIndex < 300; ++beamIndex) {
            const bool alongTube = beamIndex % 3 == 0;
            const Vec3 origin = alongTube ? tube.center - uniform(rng, 0.5f, 30.0f) * (tube.top - tube.center) +
                                                uniform(rng, 0.0f, 1.0f) * randomDirection(rng)
                                          : uniform(rng, 0.0f, 12.0f) * randomDirection(rng);
            const Vec3 light = alongTube ? tube.top + uniform(rng, 0.0f, 2.0f) * (tube.top - tube.center)
                                         : uniform(rng, 0.0f, 30.0f) * randomDirection(rng);
            const float radius = std::pow(10.0f, uniform(rng, -3.0f, 1.5f));
            std::array<Vec3, kSoftShadowSamples> directions;
            for (Vec3& d : directions) d = light + radius * randomDirection(rng) - origin;
            ShadowBeam beam;
            if (!gatherShadowBeam(bvh, scene, origin, light, radius, directions, beam)) continue;
            ++gathered;
            int lastBlocker = -1;
            for (const Vec3& d : directions) {
                bool reference = false;
                for (const SceneObject& object : scene.objectList)
                    reference = reference || blocksBefore(object, {origin, d}, 1.0f);
                ASSERT_EQ(beamRayIsBlocked(bvh, scene, beam, {origin, d}, lastBlocker), reference)
                    << "beam " << beamIndex << " from " << origin.x << ", " << origin.y << ", " << origin.z;
            }
        }
    }
    EXPECT_GT(gathered, 300);
}

// Hard shadows through a light's buffer: rays from surface points, and rays
// that graze each object's outline as the light sees it, from lights far,
// near and inside objects.
TEST(Bvh, LightBuffersAnswerAsTheLinearSearch) {
    std::vector<Scene> scenes{mixedScene(60, 7), glassField(1)};
    for (std::uint32_t seed = 1; seed <= 8; ++seed) scenes.push_back(randomScene(seed));
    // Specks crowding the first light: every cell has too many to list.
    Scene crowded = glassField(2);
    for (int k = 0; k < 14; ++k) {
        const Vec3 at = crowded.lightList[0].position + Vec3{1e-5f * static_cast<float>(k), 0.0f, 0.0f};
        crowded.objectList.push_back(crowded.objectList.back());
        crowded.objectList.back().center = at;
        crowded.objectList.back().radius = 1e-6f;
    }
    scenes.push_back(crowded);
    std::mt19937 rng(23);
    RenderSettings settings;
    int buffered = 0;
    for (Scene& scene : scenes) {
        const SceneObject& some = scene.objectList[static_cast<std::size_t>(rng() % scene.objectList.size())];
        scene.lightList.push_back({uniform(rng, 0.0f, 40.0f) * randomDirection(rng), {1, 1, 1}, 0.1f});
        scene.lightList.push_back({centerOf(some), {1, 1, 1}, 0.1f});
        scene.lightList.push_back({centerOf(some) + uniform(rng, 0.0f, 1e-3f) * randomDirection(rng), {1, 1, 1}, 0.1f});
        const Bvh bvh = buildBvh(scene);
        Random generator;
        const TraceContext linear{scene, settings, generator};
        const TraceContext fast{scene, settings, generator, nullptr, &bvh};
        const auto check = [&](Vec3 origin, int light) {
            const Vec3 at = scene.lightList[static_cast<std::size_t>(light)].position;
            ASSERT_EQ(lightIsBlocked(fast, origin, light), isShadowed(linear, origin, at - origin))
                << "from " << origin.x << ", " << origin.y << ", " << origin.z << " to light " << light;
            if (objectsTowardsLight(bvh, bvh.lightBuffers[static_cast<std::size_t>(light)], origin)) ++buffered;
        };
        const Vec3 eye = scene.camera.screenCenter + scene.camera.eyeOffset;
        for (int i = 0; i < 200; ++i) {
            const Vec3 target{uniform(rng, -6, 6), uniform(rng, -6, 6), uniform(rng, -15, -2)};
            int index = 0;
            Vec3 normal{};
            const float t = findNearestHit(linear, {eye, target - eye}, index, normal);
            if (t >= kNoHit) continue;
            const Vec3 point = pointAt(eye, t, target - eye);
            for (int light = 0; light < static_cast<int>(scene.lightList.size()); ++light) {
                for (const float side : {kSurfaceOffset, -kSurfaceOffset}) check(point + side * normal, light);
            }
        }
        // Past each object's outline from the light, where a shadow ray
        // barely misses or barely meets it.
        for (const SceneObject& object : scene.objectList) {
            const Vec3 center = centerOf(object);
            if (!std::isfinite(length(center))) continue;
            for (int light = 0; light < static_cast<int>(scene.lightList.size()); ++light) {
                const Vec3 from = scene.lightList[static_cast<std::size_t>(light)].position;
                const Vec3 sideways = randomDirection(rng);
                const auto originAt = [&](float s) { return from + 3.0f * (center + s * sideways - from); };
                const auto meets = [&](float s) { return isShadowed(linear, originAt(s), from - originAt(s)); };
                float inside = 0.0f, outside = 4.0f;
                if (!meets(inside) || meets(outside)) continue;
                for (int step = 0; step < 40; ++step) {
                    const float middle = 0.5f * (inside + outside);
                    (meets(middle) ? inside : outside) = middle;
                }
                for (float beyond = 1e-7f; beyond < 1e-2f; beyond *= 3.0f) {
                    check(originAt(outside * (1.0f + beyond)), light);
                    check(originAt(inside * (1.0f - beyond)), light);
                }
            }
        }
        if (::testing::Test::HasFailure()) return;
    }
    EXPECT_GT(buffered, 5000);  // the buffers answered most of them
}
