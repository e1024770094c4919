// libFuzzer target: any bytes as a scene file, read from memory, then a tiny
// picture of what was read. The reader must answer every input with a scene
// and at most one diagnostic, and a number at the start must read the same
// the quick way as by extraction; writing another camera into the text must
// give that camera and change nothing else that is read; the renderer must survive whatever the reader
// lets through, and the bounding volume hierarchy and the parallel loop must
// give the very picture of the plain one-thread loop. The render is kept
// cheap by capping the scene it accepts and by trading the settings down
// until an estimate of the rays fits a budget.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <locale>
#include <optional>
#include <sstream>
#include <string>

#include "render/bvh/bvh.h"
#include "render/context.h"
#include "render/lighting.h"
#include "render/pixel_loop.h"
#include "scene/random.h"
#include "render/camera.h"
#include "render/image.h"
#include "render/settings.h"
#include "scene/camera_record.h"
#include "scene/plain_number.h"
#include "scene/reader.h"

namespace {

constexpr int kWidth = 4;
constexpr int kHeight = 3;
constexpr std::size_t kMaxShapes = 300;  // objects plus polygon vertices
constexpr std::size_t kMaxLights = 8;
constexpr std::uint64_t kBudget = 300'000;  // intersection tests per render

std::uint64_t hashOf(const std::uint8_t* data, std::size_t size) {
    std::uint64_t h = 1469598103934665603u;  // FNV-1a
    for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211u;
    return h;
}

// Rays through the recursion tree times the shadow rays each hit may cast,
// each ray tested against every shape.
std::uint64_t estimatedCost(const RenderSettings& settings, std::size_t shapes, std::size_t lights) {
    const std::uint64_t samples = settings.antiAliasing == AntiAliasingMode::Supersampling ? 100 : 1;
    const std::uint64_t tree = (std::uint64_t{2} << settings.recursionDepth) - 1;
    std::uint64_t shadowRays = 0;
    if (settings.lights == LightsSetting::On) {
        const bool soft = settings.shadowMode == ShadowMode::SoftAxes || settings.shadowMode == ShadowMode::SoftJitter;
        shadowRays = lights * (soft ? kSoftShadowSamples : 1);
    }
    return kWidth * kHeight * samples * tree * (1 + shadowRays) * (shapes + 1);
}

RenderSettings settingsFor(std::uint64_t hash, std::size_t shapes, std::size_t lights) {
    RenderSettings settings;
    settings.recursionDepth = static_cast<std::int32_t>(hash % 10);
    settings.antiAliasing = (hash >> 8) % 4 == 0 ? AntiAliasingMode::Supersampling : AntiAliasingMode::None;
    settings.shadowMode = static_cast<ShadowMode>((hash >> 16) % 4);
    settings.lights = (hash >> 24) % 2 == 0 ? LightsSetting::On : LightsSetting::Off;
    // Give up the dearest choice first, one step at a time.
    while (estimatedCost(settings, shapes, lights) > kBudget) {
        if (settings.antiAliasing == AntiAliasingMode::Supersampling) {
            settings.antiAliasing = AntiAliasingMode::None;
        } else if (settings.recursionDepth > 0) {
            --settings.recursionDepth;
        } else if (settings.shadowMode != ShadowMode::Hard && settings.shadowMode != ShadowMode::None) {
            settings.shadowMode = ShadowMode::Hard;
        } else {
            settings.lights = LightsSetting::Off;
            break;
        }
    }
    return settings;
}

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Where the quick reading of a number answers, extraction agrees.
    float quick = 0.0f;
    if (const char* after = readPlainNumber(text.data(), text.data() + text.size(), quick)) {
        std::istringstream number(text);
        number.imbue(std::locale::classic());
        float extracted = 0.0f;
        number >> extracted;
        check(!number.fail() && std::memcmp(&quick, &extracted, sizeof quick) == 0);
        check(number.tellg() == after - text.data());
    }

    std::istringstream in(text);
    Scene scene;
    CameraRecordPlace place;
    const SceneDiagnostic diagnostic = readScene(in, scene, &place);
    if (place.found) check(place.end <= text.size() && text.compare(place.begin, 6, "CAMERA") == 0);

    // Another camera written into the text: that camera, the rest as it was.
    const Camera written{{1, -2, 3e-7f}, {4e20f, 0.1f, -0.0f}, {0, 1, 0}, {1e-40f, 5, 6}};
    std::string why;
    if (const std::optional<std::string> rewritten = withCameraRecord(text, written, why)) {
        std::istringstream again(*rewritten);
        Scene back;
        readScene(again, back);
        check(std::memcmp(&back.camera, &written, sizeof written) == 0);
        check(std::memcmp(&back.ambient, &scene.ambient, sizeof scene.ambient) == 0);
        check(std::memcmp(&back.air, &scene.air, sizeof scene.air) == 0);
        check(back.lightList.size() == scene.lightList.size() && back.objectList.size() == scene.objectList.size());
    } else {
        check(place.found && !place.complete);
    }

    // A diagnostic has a place and a message, or there is none at all.
    if (diagnostic) {
        check(diagnostic.line >= 1 && diagnostic.column >= 1);
        check(diagnostic.message.rfind("line ", 0) == 0);
    } else {
        check(diagnostic.message.empty() && diagnostic.column == 0);
    }

    std::size_t shapes = scene.objectList.size();
    for (const SceneObject& object : scene.objectList) {
        // Every polygon holds exactly as many vertices as its count says.
        const std::size_t expected = object.vertexCount > 0 ? static_cast<std::size_t>(object.vertexCount) : 0;
        if (object.kind == ObjectKind::Polygon) check(object.vertices.size() == expected);
        shapes += object.vertices.size();
    }

    const int height = imageHeightFor(scene.camera, kWidth);
    check(height >= 0);
    if (shapes > kMaxShapes || scene.lightList.size() > kMaxLights) return 0;

    const RenderSettings settings = settingsFor(hashOf(data, size), shapes, scene.lightList.size());
    Random generator;
    const TraceContext context{scene, settings, generator};
    const PixelImage image = renderImage(context, kWidth, kHeight);
    check(image.pixels.size() == static_cast<std::size_t>(kWidth * kHeight));
    for (const Pixel pixel : image.pixels) check(pixel <= 0xffffffu);

    const Bvh bvh = buildBvh(scene);
    Random acceleratedGenerator;
    const TraceContext accelerated{scene, settings, acceleratedGenerator, nullptr, &bvh};
    check(renderImage(accelerated, kWidth, kHeight).pixels == image.pixels);
    check(acceleratedGenerator.state == generator.state);

    Random parallelGenerator;
    const TraceContext parallel{scene, settings, parallelGenerator};
    check(renderImage(parallel, kWidth, kHeight, 2).pixels == image.pixels);
    check(parallelGenerator.state == generator.state);
    return 0;
}
