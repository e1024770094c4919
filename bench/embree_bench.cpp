// Our nearest hit against Embree's single-ray kernel on the primary rays of
// a 100 000-triangle mesh, one thread, best of several passes each,
// interleaved. Embree lives here only, never in the product.
//
//   embree-bench [--triangles N] [--width W] [--passes P]
#include <embree3/rtcore.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "bench/scene_generator.h"
#include "geometry/intersect.h"
#include "render/bvh/bvh.h"
#include "render/sampling.h"
#include "render/camera.h"
#include "render/trace.h"

namespace {

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Every polygon of the mesh is a triangle; Embree gets them unshared.
RTCScene embreeScene(RTCDevice device, const Scene& mesh) {
    RTCScene scene = rtcNewScene(device);
    RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
    const std::size_t count = mesh.objectList.size();
    auto* vertices = static_cast<float*>(
        rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), 3 * count));
    auto* indices = static_cast<unsigned*>(
        rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(unsigned), count));
    for (std::size_t i = 0; i < count; ++i) {
        for (std::size_t k = 0; k < 3; ++k) {
            const Vec3 v = mesh.objectList[i].vertices[k];
            float* out = vertices + 3 * (3 * i + k);
            out[0] = v.x;
            out[1] = v.y;
            out[2] = v.z;
            indices[3 * i + k] = static_cast<unsigned>(3 * i + k);
        }
    }
    rtcCommitGeometry(geometry);
    rtcAttachGeometry(scene, geometry);
    rtcReleaseGeometry(geometry);
    rtcCommitScene(scene);
    return scene;
}

}  // namespace

int main(int argc, char** argv) {
    int triangles = 100000, width = 400, passes = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 < argc && arg == "--triangles") {
            triangles = std::atoi(argv[++i]);
        } else if (i + 1 < argc && arg == "--width") {
            width = std::atoi(argv[++i]);
        } else if (i + 1 < argc && arg == "--passes") {
            passes = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--triangles N] [--width W] [--passes P]\n", argv[0]);
            return 2;
        }
    }
    if (triangles < 1 || width < 1 || passes < 1) {
        std::fprintf(stderr, "embree-bench: --triangles, --width and --passes must be positive\n");
        return 2;
    }

    const Scene mesh = triangleMesh(triangles);
    for (const SceneObject& object : mesh.objectList) {
        if (object.kind != ObjectKind::Polygon || object.vertices.size() != 3) {
            std::fprintf(stderr, "embree-bench: the mesh is expected to hold triangles only\n");
            return 1;
        }
    }
    const int height = imageHeightFor(mesh.camera, width);
    std::vector<Ray> rays;
    rays.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            rays.push_back(primaryRay(mesh.camera, width, height, static_cast<float>(column), static_cast<float>(row)));
        }
    }

    auto start = std::chrono::steady_clock::now();
    const Bvh bvh = buildBvh(mesh, BuildThreads::One);
    const double ourBuild = millisecondsSince(start);
    RTCDevice device = rtcNewDevice("threads=1");  // its build on one thread too
    if (!device) {
        std::fprintf(stderr, "embree-bench: cannot create an Embree device\n");
        return 1;
    }
    start = std::chrono::steady_clock::now();
    RTCScene scene = embreeScene(device, mesh);
    const double embreeBuild = millisecondsSince(start);

    const RenderSettings settings{0, AntiAliasingMode::None, ShadowMode::Hard, LightsSetting::On};
    Random generator;
    const TraceContext context{mesh, settings, generator, nullptr, &bvh};
    std::vector<char> ourHits(rays.size()), embreeHits(rays.size());
    double ours = std::numeric_limits<double>::infinity(), theirs = ours;
    for (int pass = 0; pass < passes; ++pass) {
        start = std::chrono::steady_clock::now();
        // As the renderer asks: the rays of kRowPacket neighbouring pixels of a row together.
        std::array<NearestHit, kRowPacket> packet;
        for (std::size_t row = 0; row < static_cast<std::size_t>(height); ++row) {
            for (std::size_t column = 0; column < static_cast<std::size_t>(width); column += kRowPacket) {
                const std::size_t first = row * static_cast<std::size_t>(width) + column;
                const std::size_t count = std::min<std::size_t>(kRowPacket, static_cast<std::size_t>(width) - column);
                packet.fill({});
                findNearestHits(context, std::span(rays).subspan(first, count), std::span(packet).first(count));
                for (std::size_t k = 0; k < count; ++k) ourHits[first + k] = packet[k].t != kNoHit;
            }
        }
        ours = std::min(ours, millisecondsSince(start));

        RTCIntersectContext intersectContext;
        rtcInitIntersectContext(&intersectContext);
        start = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < rays.size(); ++i) {
            RTCRayHit hit{};
            hit.ray.org_x = rays[i].origin.x;
            hit.ray.org_y = rays[i].origin.y;
            hit.ray.org_z = rays[i].origin.z;
            hit.ray.dir_x = rays[i].direction.x;
            hit.ray.dir_y = rays[i].direction.y;
            hit.ray.dir_z = rays[i].direction.z;
            hit.ray.tnear = 0.0f;
            hit.ray.tfar = std::numeric_limits<float>::infinity();
            hit.ray.mask = ~0u;
            hit.hit.geomID = RTC_INVALID_GEOMETRY_ID;
            rtcIntersect1(scene, &intersectContext, &hit);
            embreeHits[i] = hit.hit.geomID != RTC_INVALID_GEOMETRY_ID;
        }
        theirs = std::min(theirs, millisecondsSince(start));
    }
    rtcReleaseScene(scene);
    rtcReleaseDevice(device);

    std::size_t hits = 0, disagreements = 0;
    for (std::size_t i = 0; i < rays.size(); ++i) {
        hits += ourHits[i] ? 1 : 0;
        disagreements += ourHits[i] != embreeHits[i] ? 1 : 0;
    }
    const double count = static_cast<double>(rays.size());
    std::printf("triangles: %zu\nrays: %zu (%d x %d), %zu hit\n", mesh.objectList.size(), rays.size(), width, height,
                hits);
    std::printf("build ms: ours %.1f, embree %.1f\n", ourBuild, embreeBuild);
    std::printf("ours rays/s: %.4g\nembree rays/s: %.4g\n", count / (ours / 1000.0), count / (theirs / 1000.0));
    std::printf("ratio: %.4f\ndisagreements: %zu\n", theirs / ours, disagreements);
    return 0;
}
