#include "cli/render_command.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <cstdio>
#include <optional>
#include <ostream>

#include "cli/image_writer.h"
#include "cli/piece_render.h"
#include "cli/progress.h"
#include "render/bvh.h"
#include "render/parallel.h"
#include "scene/reader.h"

RenderOutcome renderScene(const Scene& scene, const RenderSettings& settings, Random& generator, int width, int height,
                          int threads, bool accelerate, const std::function<bool()>& stopRequested,
                          const std::function<void()>& pixelDone) {
    RenderOutcome outcome;
    outcome.image = PixelImage(width, height);
    std::optional<Bvh> bvh;
    if (accelerate) bvh = buildBvh(scene);
    const TraceContext context{scene, settings, generator, &outcome.counts, bvh ? &*bvh : nullptr};
    PixelImage& image = outcome.image;
    std::mutex progressLock;
    outcome.complete = runParallelPixelLoop(context, width, height, threads, stopRequested,
                                            [&](int row, int column, Pixel pixel) {
                                                image.pixels[static_cast<std::size_t>(row) * width + column] = pixel;
                                                if (!pixelDone) return;
                                                const std::lock_guard<std::mutex> guard(progressLock);
                                                pixelDone();
                                            });
    const int used = std::min(threads, std::max(1, height));
    outcome.engine = std::to_string(used) + (used == 1 ? " thread, " : " threads, ");
    if (bvh) {
        outcome.engine += "bounding volume hierarchy (" + std::to_string(bvh->boundedCount()) + " objects bounded, " +
                          std::to_string(bvh->alwaysTested.size()) + " tested on every ray)";
    } else {
        outcome.engine += "linear search";
    }
    return outcome;
}

namespace {

void printStatistics(std::ostream& out, const RenderOutcome& outcome, std::chrono::steady_clock::duration elapsed) {
    const double seconds = std::chrono::duration<double>(elapsed).count();
    const long long milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    const RayCounts& counts = outcome.counts;
    const double raysPerSecond = seconds > 0.0 ? static_cast<double>(counts.total()) / seconds : 0.0;
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.0f", raysPerSecond);
    out << "render time: " << milliseconds << " ms\n"
        << "image size: " << outcome.image.width << " x " << outcome.image.height << "\n"
        << "rays traced: " << counts.total() << " (primary " << counts.primary << ", secondary " << counts.secondary
        << ", shadow " << counts.shadow << ")\n"
        << "rays per second: " << rate << "\n"
        << "engine: " << outcome.engine << "\n";
}

}  // namespace

int runRenderCommand(const CliOptions& options, std::ostream& out, std::ostream& err, bool interactive,
                     const std::atomic<bool>* stop) {
    Scene scene;
    Random generator;
    SceneDiagnostic diagnostic;
    if (!loadScene(options.scenePath, scene, generator, &diagnostic)) {
        err << "Could not read file " << options.scenePath << "\n";
        return kExitUnreadableScene;
    }
    if (diagnostic) err << "warning: " << options.scenePath << ": " << diagnostic.message << "\n";

    const int height = imageHeightFor(scene.camera, options.width);
    if (height < 1) {
        err << "error: " << options.scenePath
            << ": the camera gives no picture (no CAMERA record, or a zero-length screenUp or screenRight)\n";
        return kExitBadImageSize;
    }
    if (height > kMaxImageHeight) {
        err << "error: " << options.scenePath << ": the camera makes the picture " << height << " pixels tall at width "
            << options.width << "; the limit is " << kMaxImageHeight << " (use a smaller --width)\n";
        return kExitBadImageSize;
    }

    std::string problem;
    const std::optional<PixelRect> region = renderedRect(options, height, problem);
    if (!region) {
        err << "error: " << problem << "\n";
        return kExitUsage;
    }
    std::optional<PieceDescription> piece;
    if (options.isPiece()) {
        piece = describePiece(options, height, *region);
        if (!piece) {
            err << "Could not read file " << options.scenePath << "\n";
            return kExitUnreadableScene;
        }
        if (options.skipExisting && pieceIsCurrent(options.outputPath, *piece)) {
            err << "kept " << options.outputPath << ": already a valid piece of this picture\n";
            return kExitSuccess;
        }
    }

    // Claim the output before a long render, not after it.
    PendingImageFile output;
    std::string error;
    if (!output.open(options.outputPath, error)) {
        err << "error: " << error << "\n";
        return kExitWriteFailed;
    }

    ProgressBar progress(err, static_cast<std::uint64_t>(options.width) * static_cast<std::uint64_t>(height),
                         interactive && !options.quiet);
    const auto stopRequested = [stop] { return stop && stop->load(std::memory_order_relaxed); };
    const auto start = std::chrono::steady_clock::now();
    const RenderOutcome outcome = renderScene(scene, options.settings, generator, options.width, height,
                                              options.threads, !options.linearSearch, stopRequested,
                                              [&progress] { progress.advance(); });
    const auto elapsed = std::chrono::steady_clock::now() - start;
    progress.finish();

    if (!outcome.complete) {
        err << "interrupted: " << options.outputPath << " not written\n";
        return kExitInterrupted;
    }
    // STOPGAP until renderScene renders regions: crop the whole picture.
    PixelImage image(region->width(), region->height());
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            image.pixels[static_cast<std::size_t>(y) * image.width + x] =
                outcome.image.at(region->left + x, region->top + y);
        }
    }
    if (piece) {
        piece->pixelsSha256 = pixelsSha256(image);
        output.setPngText(pieceText(*piece));
    }
    if (!output.commit(image, options.format, error)) {
        err << "error: " << error << "\n";
        return kExitWriteFailed;
    }
    if (options.stats) printStatistics(out, outcome, elapsed);
    return kExitSuccess;
}

int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err, bool interactive,
                   const std::atomic<bool>* stop) {
    const ParseResult parsed = parseOptions(arguments, out, err);
    if (!parsed.options) return parsed.exitStatus;
    return runRenderCommand(*parsed.options, out, err, interactive, stop);
}
