#include "cli/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <ostream>
#include <utility>
#include <vector>

#include "render/pixel_loop.h"

std::optional<ImageFormat> imageFormatFor(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".png") return ImageFormat::Png;
    if (extension == ".ppm") return ImageFormat::Ppm;
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

void buildApp(CLI::App& app, CliOptions& options) {
    app.add_option("scene", options.scenePath, "Scene file to render")->required()->option_text("SCENE");
    app.add_option("-o,--output", options.outputPath, "Picture to write: .png (8-bit RGB) or .ppm (binary P6)")
        ->required()
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
                   "Render threads (default: all hardware threads); 1 renders on one thread as the viewer always did")
        ->check(CLI::Range(1, kMaxThreads))
        ->option_text("N");
    app.add_flag("--no-accel", options.linearSearch,
                 "Test every object for every ray instead of using the bounding volume hierarchy (same picture)");
    app.add_flag("--stats", options.stats, "Print the render time, image size and rays traced");
    app.add_flag("-q,--quiet", options.quiet, "No progress bar");
    app.footer(
        "The defaults are the viewer's: width 300, depth 0, no anti-aliasing, hard shadows, lights off.\n"
        "Example: orvanel-render scenes/showcase.txt -o showcase.png --lights on --depth 5");
}

}  // namespace

ParseResult parseOptions(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    CliOptions options;
    options.threads = availableThreadCount();
    CLI::App app{"Renders a scene file to a picture by recursive ray tracing.", "orvanel-render"};
    buildApp(app, options);

    // CLI11 wants the arguments last to first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return {std::nullopt, kExitSuccess};
    } catch (const CLI::ParseError& error) {
        err << "error: " << error.what() << "\n\n" << app.help();
        return {std::nullopt, kExitUsage};
    }

    const std::optional<ImageFormat> format = imageFormatFor(options.outputPath);
    if (!format) {
        err << "error: the output file must end in .png or .ppm: " << options.outputPath << "\n\n" << app.help();
        return {std::nullopt, kExitUsage};
    }
    options.format = *format;
    return {options, kExitSuccess};
}
