#include "app/command_line.h"

#include <ostream>

#include "orvanel_version.h"

namespace {

constexpr const char* kUsage =
    "Usage: orvanel [--watch] [SCENE]\n"
    "Shows a scene file rendered by recursive ray tracing; the menu steers the render.\n"
    "\n"
    "  SCENE        open this scene at start-up, as File > Open would\n"
    "  --watch      open SCENE again whenever it changes on disk; the window keeps its place\n"
    "  -h, --help   print this help and exit\n"
    "  --version    print the version and exit\n"
    "\n"
    "Qt's own options (-platform, -style, ...) are understood too.\n";

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
    for (const std::string& argument : arguments) {
        if (!positionalOnly && argument == "--") {
            positionalOnly = true;
        } else if (!positionalOnly && argument == "--watch") {
            options.watch = true;
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
