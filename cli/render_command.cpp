#include "cli/render_command.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <ostream>

#include "cli/check_command.h"
#include "cli/image_writer.h"
#include "cli/pieces/piece_options.h"
#include "cli/pieces/resume.h"
#include "cli/progress.h"
#include "cli/scene_input.h"
#include "render/camera.h"
#include "render/render_scene.h"
#include "scene/reader.h"

namespace {

void printStatistics(std::ostream& out, const RayCounts& counts, int width, int height, const std::string& engine,
                     std::chrono::steady_clock::duration elapsed) {
    const double seconds = std::chrono::duration<double>(elapsed).count();
    const long long milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    const double raysPerSecond = seconds > 0.0 ? static_cast<double>(counts.total()) / seconds : 0.0;
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.0f", raysPerSecond);
    out << "render time: " << milliseconds << " ms\n"
        << "image size: " << width << " x " << height << "\n"
        << "rays traced: " << counts.total() << " (primary " << counts.primary << ", secondary " << counts.secondary
        << ", shadow " << counts.shadow << ")\n"
        << "rays per second: " << rate << "\n"
        << "engine: " << engine << "\n";
}

}  // namespace

int runRenderCommand(const CliOptions& options, std::ostream& out, std::ostream& err, bool interactive,
                     const std::atomic<bool>* stop) {
    Scene scene;
    Random generator;
    SceneDiagnostic diagnostic;
    if (!loadSceneArgument(options.scenePath, scene, generator, &diagnostic)) {
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

    if (options.resume) {
        ResumeStatistics statistics;
        const int status = renderResumable(options, scene, generator, height, err, interactive, stop, statistics);
        if (status == kExitSuccess && options.stats) {
            printStatistics(out, statistics.counts, options.width, height, statistics.engine, statistics.elapsed);
        }
        return status;
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

    ProgressBar progress(err, region->area(), interactive && !options.quiet);
    std::atomic<std::uint64_t> pixelsDone{0};
    RenderRequest request;
    request.width = options.width;
    request.height = height;
    request.region = *region;
    request.threads = options.threads;
    request.accelerate = !options.linearSearch;
    request.countRays = options.stats;
    request.keepColors = options.format == ImageFormat::Pfm || options.format == ImageFormat::Exr;
    request.control = {stop, &pixelsDone};
    const auto start = std::chrono::steady_clock::now();
    RenderResult outcome;
    {
        const ProgressWatch watch(progress, pixelsDone);
        outcome = renderScene(scene, options.settings, generator, request);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    progress.finish();

    if (!outcome.complete) {
        err << "interrupted: " << options.outputPath << " not written\n";
        return kExitInterrupted;
    }
    const ColorPicture colors{outcome.image.width, outcome.image.height, std::move(outcome.colors)};
    const bool written = piece ? commitPiece(output, outcome.image, *piece, error)
                               : output.commit(outcome.image, colors, options.format, error);
    if (!written) {
        err << "error: " << error << "\n";
        return kExitWriteFailed;
    }
    if (options.stats) {
        printStatistics(out, outcome.counts, outcome.image.width, outcome.image.height, outcome.engine, elapsed);
    }
    return kExitSuccess;
}

int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err, bool interactive,
                   const std::atomic<bool>* stop) {
    const ParseResult parsed = parseOptions(arguments, out, err);
    if (!parsed.options) return parsed.exitStatus;
    if (parsed.options->check) return runCheckCommand(*parsed.options, out, err);
    return runRenderCommand(*parsed.options, out, err, interactive, stop);
}
