#include "app/command_line.h"

#include <charconv>
#include <ostream>

#include "orvanel_version.h"

namespace {

constexpr const char* kUsage =
    "Usage: orvanel [--watch] [--width N] [SCENE]\n"
    "Shows a scene file rendered by recursive ray tracing; the menu steers the render.\n"
    "\n"
    "  SCENE        open this scene at start-up, as File > Open would\n"
    "  --watch      open SCENE again whenever it changes on disk; the window keeps its place\n"
    "  --width N    the picture's width in pixels, 1 to 16384 (default 300); View > Picture Width changes it\n"
    "  -h, --help   print this help and exit\n"
    "  --version    print the version and exit\n"
    "\n"
    "Qt's own options (-platform, -style, ...) are understood too.\n";

constexpr int kMaxWidth = 16384;

std::optional<int> parseWidth(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || value < 1 || value > kMaxWidth) return std::nullopt;
    return value;
}

}  // namespace

std::optional<int> answerInformationRequest(const std::vector<std::string>& arguments, std::ostream& out) {
    for (const std::string& argument : arguments) {
        if (argument == "--") break;
        if (argument == "--help" || argument == "-h") {
            out << kUsage;
            return 0;
        }
        if (argument == "--version") {
            out << "orvanel " << kOrvanelVersion << "\n";
            return 0;
        }
    }
    return std::nullopt;
}

std::optional<ViewerOptions> parseViewerArguments(const std::vector<std::string>& arguments, std::ostream& err) {
    ViewerOptions options;
    bool positionalOnly = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!positionalOnly && argument == "--") {
            positionalOnly = true;
        } else if (!positionalOnly && argument == "--watch") {
            options.watch = true;
        } else if (!positionalOnly && (argument == "--width" || argument.rfind("--width=", 0) == 0)) {
            std::string value;
            if (argument == "--width") {
                if (i + 1 == arguments.size()) {
                    err << "orvanel: --width needs a number of pixels\n\n" << kUsage;
                    return std::nullopt;
                }
                value = arguments[++i];
            } else {
                value = argument.substr(8);
            }
            const std::optional<int> width = parseWidth(value);
            if (!width) {
                err << "orvanel: --width takes a whole number from 1 to " << kMaxWidth << ", not \"" << value
                    << "\"\n\n"
                    << kUsage;
                return std::nullopt;
            }
            options.width = *width;
        } else if (!positionalOnly && argument.size() > 1 && argument[0] == '-') {
            err << "orvanel: unknown option " << argument << "\n\n" << kUsage;
            return std::nullopt;
        } else if (options.scenePath.empty()) {
            options.scenePath = argument;
        } else {
            err << "orvanel: one scene at a time: " << argument << "\n\n" << kUsage;
            return std::nullopt;
        }
    }
    if (options.watch && options.scenePath.empty()) {
        err << "orvanel: --watch needs a SCENE\n\n" << kUsage;
        return std::nullopt;
    }
    return options;
}
