// Kernel micro-benchmarks: one intersection routine per kind, the nearest
// hit and the shadow query by linear search and by hierarchy, and the build.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "bench/scene_generator.h"
#include "render/hits.h"
#include "render/bvh/bvh.h"
#include "render/lighting.h"
#include "render/trace.h"

namespace {

// Rays from the camera's eye through random points of the scene's volume.
std::vector<Ray> eyeRays(const Scene& scene, int count) {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> across(-5.0f, 5.0f), deep(-17.0f, -7.0f);
    const Vec3 eye = scene.camera.screenCenter + scene.camera.eyeOffset;
    std::vector<Ray> rays;
    for (int i = 0; i < count; ++i) rays.push_back({eye, Vec3{across(rng), across(rng), deep(rng)} - eye});
    return rays;
}

const Scene& sceneOf(int which) {
    static const Scene spheres = sphereField(1000, 1);
    static const Scene mesh = triangleMesh(100000);
    static const Scene mixed = mixedScene(10000, 1);
    return which == 0 ? spheres : which == 1 ? mesh : mixed;
}

const char* const kSceneNames[] = {"1000 spheres", "100000 triangles", "10000 mixed"};

void intersectKind(benchmark::State& state) {
    // The first object of each kind in a mixed scene.
    const Scene& scene = sceneOf(2);
    const auto kind = static_cast<ObjectKind>(state.range(0));
    const SceneObject* object = nullptr;
    for (const SceneObject& o : scene.objectList) {
        if (o.kind == kind) {
            object = &o;
            break;
        }
    }
    const std::vector<Ray> rays = eyeRays(scene, 1024);
    std::size_t i = 0;
    for (auto _ : state) {
        float entry = 0.0f, exit = kNoHit;
        Vec3 normal{};
        benchmark::DoNotOptimize(intersectObject(*object, rays[i++ & 1023], kNoHit, normal, entry, exit));
    }
}
BENCHMARK(intersectKind)->DenseRange(0, 4)->ArgName("kind");

void nearestHit(benchmark::State& state) {
    const Scene& scene = sceneOf(static_cast<int>(state.range(0)));
    const bool accelerated = state.range(1) != 0;
    const Bvh bvh = buildBvh(scene);
    const RenderSettings settings;
    Random generator;
    const TraceContext context{scene, settings, generator, nullptr, accelerated ? &bvh : nullptr};
    const std::vector<Ray> rays = eyeRays(scene, 1024);
    std::size_t i = 0;
    for (auto _ : state) {
        int index = 0;
        Vec3 normal{};
        benchmark::DoNotOptimize(findNearestHit(context, rays[i++ & 1023], index, normal));
    }
    state.SetLabel(std::string(kSceneNames[state.range(0)]) + (accelerated ? ", hierarchy" : ", linear"));
}
BENCHMARK(nearestHit)->ArgsProduct({{0, 1, 2}, {0, 1}});

void shadowRay(benchmark::State& state) {
    const Scene& scene = sceneOf(static_cast<int>(state.range(0)));
    const bool accelerated = state.range(1) != 0;
    const Bvh bvh = buildBvh(scene);
    const RenderSettings settings;
    Random generator;
    const TraceContext context{scene, settings, generator, nullptr, accelerated ? &bvh : nullptr};
    // From hit points towards the first light.
    std::vector<Ray> rays;
    for (const Ray& ray : eyeRays(scene, 4096)) {
        int index = 0;
        Vec3 normal{};
        const float t = findNearestHit(context, ray, index, normal);
        if (t >= kNoHit) continue;
        const Vec3 p = pointAt(ray.origin, t, ray.direction) + kSurfaceOffset * normal;
        rays.push_back({p, scene.lightList[0].position - p});
    }
    std::size_t i = 0;
    for (auto _ : state) {
        const Ray& ray = rays[i++ % rays.size()];
        benchmark::DoNotOptimize(isShadowed(context, ray.origin, ray.direction));
    }
    state.SetLabel(std::string(kSceneNames[state.range(0)]) + (accelerated ? ", hierarchy" : ", linear"));
}
BENCHMARK(shadowRay)->ArgsProduct({{0, 1, 2}, {0, 1}});

void buildHierarchy(benchmark::State& state) {
    const Scene& scene = sceneOf(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(buildBvh(scene));
    state.SetLabel(kSceneNames[state.range(0)]);
}
BENCHMARK(buildHierarchy)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
