#include "cli/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <ostream>
#include <utility>
#include <vector>

#include "cli/cpu_count.h"
#include "orvanel_version.h"

std::optional<ImageFormat> imageFormatFor(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".png") return ImageFormat::Png;
    if (extension == ".ppm") return ImageFormat::Ppm;
    if (extension == ".pfm") return ImageFormat::Pfm;
    if (extension == ".exr") return ImageFormat::Exr;
    return std::nullopt;
}

namespace {

// An option that takes one of a few words, each standing for an enum value.
template <typename Enum>
void addChoice(CLI::App& app, const std::string& name, Enum& target,
               const std::vector<std::pair<std::string, Enum>>& choices, const std::string& description) {
    std::vector<std::string> words;
    std::string shown;
    for (const auto& [word, value] : choices) {
        words.push_back(word);
        shown += (shown.empty() ? "" : "|") + word;
    }
    app.add_option_function<std::string>(
           name,
           [&target, choices](const std::string& word) {
               for (const auto& [candidate, value] : choices) {
                   if (candidate == word) target = value;
               }
           },
           description)
        ->check(CLI::IsMember(words))
        ->option_text(shown);
}

void addPieceOptions(CLI::App& app, CliOptions& options) {
    CLI::Option* tile =
        app.add_option_function<std::string>(
               "--tile", [&options](const std::string& text) { options.tile = parseTile(text); },
               "Render only band I (from 0) of N horizontal bands of the picture, to a PNG piece for orvanel-merge")
            ->check(CLI::Validator([](std::string& text) { return tileProblem(text); }, "I/N"))
            ->option_text("I/N");
    CLI::Option* region =
        app.add_option_function<std::string>(
               "--region", [&options](const std::string& text) { options.region = parseRectangle(text); },
               "Render only the pixels [X0, X1) x [Y0, Y1) of the picture, to a PNG piece for orvanel-merge")
            ->check(CLI::Validator(
                [](std::string& text) {
                    return parseRectangle(text) ? std::string{} : "wants X0,Y0,X1,Y1, four integers, not " + text;
                },
                "X0,Y0,X1,Y1"))
            ->option_text("X0,Y0,X1,Y1");
    tile->excludes(region);
    app.add_flag("--skip-existing", options.skipExisting,
                 "With --tile or --region: leave a valid piece of the same scene and settings at the output path "
                 "alone and exit 0");
    app.add_flag("--resume", options.resume,
                 "Keep every finished band in OUT.parts/ beside the output; run the same command again after a "
                 "crash, a kill or Ctrl-C to render only the missing bands")
        ->excludes(tile)
        ->excludes(region);
}

// What parsing alone cannot see; empty when the pieces options fit together.
std::string pieceProblem(const CliOptions& options) {
    if (options.skipExisting && !options.isPiece()) return "--skip-existing needs --tile or --region";
    if (options.resume && (options.format == ImageFormat::Pfm || options.format == ImageFormat::Exr)) {
        return "--resume keeps its bands as 8-bit PNG pieces: the output must be .png or .ppm, not " +
               options.outputPath;
    }
    if (options.resume && options.scenePath == kStandardInput) {
        return "--resume reads the scene again on every run: it needs a scene file, not standard input";
    }
    if (options.isPiece() && options.format != ImageFormat::Png) {
        return "a piece (--tile or --region) is written as PNG, which carries its description: " + options.outputPath;
    }
    if (!options.region) return {};
    const PixelRect& rect = *options.region;
    const std::string shown = "--region " + rectangleText(rect);
    if (rect.empty()) return shown + ": the rectangle is empty (X0 < X1 and Y0 < Y1 are needed)";
    if (rect.left < 0 || rect.top < 0 || rect.right > options.width) {
        return shown + ": the rectangle leaves the picture, which is " + std::to_string(options.width) + " pixels wide";
    }
    return {};
}

void buildApp(CLI::App& app, CliOptions& options) {
    app.add_option("scene", options.scenePath, "Scene file to render; - reads standard input")
        ->required()
        ->option_text("SCENE");
    app.add_option("-o,--output", options.outputPath,
                   "Picture to write: .png (8-bit RGB), .ppm (binary P6), or the colours before conversion as "
                   ".pfm or .exr (32-bit float, linear)")
        ->option_text("OUT");
    app.add_option("--width", options.width, "Image width in pixels; the camera sets the height (default 300)")
        ->check(CLI::Range(1, kMaxImageWidth))
        ->option_text("1-" + std::to_string(kMaxImageWidth));
    app.add_option("--depth", options.settings.recursionDepth, "Bounces after the first hit (default 0)")
        ->check(CLI::Range(0, 9))
        ->option_text("0-9");
    addChoice<AntiAliasingMode>(app, "--aa", options.settings.antiAliasing,
                                {{"none", AntiAliasingMode::None}, {"10x10", AntiAliasingMode::Supersampling}},
                                "Anti-aliasing: one ray per pixel or a 10 x 10 grid (default none)");
    addChoice<ShadowMode>(app, "--shadows", options.settings.shadowMode,
                          {{"hard", ShadowMode::Hard},
                           {"soft-axes", ShadowMode::SoftAxes},
                           {"none", ShadowMode::None},
                           {"soft-jitter", ShadowMode::SoftJitter}},
                          "Shadows (default hard)");
    addChoice<LightsSetting>(app, "--lights", options.settings.lights,
                             {{"on", LightsSetting::On}, {"off", LightsSetting::Off}},
                             "on: shade with the scene's lights; off: flat object colours (default off)");
    app.add_option("--threads", options.threads,
                   "Render threads (default: the CPUs this process may use, or SLURM_CPUS_PER_TASK); 1 renders on "
                   "one thread as the viewer always did")
        ->check(CLI::Range(1, kMaxThreads))
        ->option_text("N");
    app.add_flag("--no-accel", options.linearSearch,
                 "Test every object for every ray instead of using the bounding volume hierarchy (same picture)");
    app.add_flag("--stats", options.stats, "Print the render time, image size and rays traced");
    app.add_flag("-q,--quiet", options.quiet, "No progress bar");
    app.add_flag("--check", options.check,
                 "Read the scene without rendering and report every problem as PATH:LINE:COLUMN: TEXT, then a "
                 "summary; no -o needed");
    app.set_version_flag("--version", kOrvanelVersion, "Print the version and exit");
    addPieceOptions(app, options);
    app.footer(
        "The defaults are the viewer's: width 300, depth 0, no anti-aliasing, hard shadows, lights off.\n"
        "Example: orvanel-render scenes/showcase.txt -o showcase.png --lights on --depth 5");
}

}  // namespace

ParseResult parseOptions(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    CliOptions options;
    options.threads = std::min(availableCpuCount(), kMaxThreads);
    CLI::App app{"Renders a scene file to a picture by recursive ray tracing.", "orvanel-render"};
    buildApp(app, options);

    // CLI11 wants the arguments last to first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return {std::nullopt, kExitSuccess};
    } catch (const CLI::CallForVersion&) {
        out << "orvanel-render " << kOrvanelVersion << "\n";
        return {std::nullopt, kExitSuccess};
    } catch (const CLI::ParseError& error) {
        err << "error: " << error.what() << "\n\n" << app.help();
        return {std::nullopt, kExitUsage};
    }

    if (options.check) return {options, kExitSuccess};
    if (options.outputPath.empty()) {
        err << "error: --output is required\n\n" << app.help();
        return {std::nullopt, kExitUsage};
    }
    const std::optional<ImageFormat> format = imageFormatFor(options.outputPath);
    if (!format) {
        err << "error: the output file must end in .png, .ppm, .pfm or .exr: " << options.outputPath << "\n\n"
            << app.help();
        return {std::nullopt, kExitUsage};
    }
    options.format = *format;
    if (const std::string problem = pieceProblem(options); !problem.empty()) {
        err << "error: " << problem << "\n\n" << app.help();
        return {std::nullopt, kExitUsage};
    }
    return {options, kExitSuccess};
}
