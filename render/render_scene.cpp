#include "render/render_scene.h"

#include <algorithm>
#include <optional>

#include "render/bvh/bvh.h"

namespace {

std::string engineName(int threads, const Bvh* accelerator) {
    std::string name = std::to_string(threads) + (threads == 1 ? " thread, " : " threads, ");
    if (!accelerator) return name + "linear search";
    return name + "bounding volume hierarchy (" + std::to_string(accelerator->boundedCount()) + " objects bounded, " +
           std::to_string(accelerator->alwaysTested.size()) + " tested on every ray)";
}

}  // namespace

RenderResult renderScene(const Scene& scene, const RenderSettings& settings, Random& generator,
                         const RenderRequest& request) {
    RenderResult result;
    const PixelRect whole = wholePicture(request.width, request.height);
    const PixelRect wanted = request.region.empty() ? whole : request.region;
    result.region = {std::max(wanted.left, 0), std::max(wanted.top, 0), std::min(wanted.right, whole.right),
                     std::min(wanted.bottom, whole.bottom)};
    if (result.region.empty()) result.region = {};
    result.image = PixelImage(result.region.width(), result.region.height());
    if (request.keepColors) result.colors.assign(result.region.area(), Color{});

    std::optional<Bvh> built;
    const Bvh* accelerator = request.accelerate ? request.accelerator : nullptr;
    if (request.accelerate && !accelerator) accelerator = &built.emplace(buildBvh(scene));

    const TraceContext context{scene, settings, generator, request.countRays ? &result.counts : nullptr, accelerator};
    const int threads =
        std::min(request.threads > 0 ? request.threads : availableThreadCount(), std::max(1, result.region.height()));
    if (request.previewStride > 1 && result.region == whole) {
        const std::span<const Pixel> picture = result.image.pixels;
        const ProgressiveTarget target{result.image.pixels, result.colors,
                                       [&] {
                                           if (request.previewDone) request.previewDone(picture);
                                       },
                                       request.rowDone};
        result.complete = runProgressiveLoop(context, request.width, request.height, request.previewStride, threads,
                                             request.control, target);
    } else {
        result.complete = runPixelLoop(context, request.width, request.height, result.region, threads,
                                       request.control, {result.image.pixels, result.colors, request.rowDone});
    }
    result.engine = engineName(threads, accelerator);
    return result;
}
