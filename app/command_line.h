// The viewer's command line: orvanel [--watch] [--width N] [SCENE], --help, --version.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

struct ViewerOptions {
    std::string scenePath;  // empty: start untitled, as without arguments
    bool watch = false;     // open the scene again whenever it changes on disk
    int width = 300;        // the picture's width until the View menu changes it
};

// --help or --version anywhere among the arguments: the answer, printed to
// `out`, and status 0. Asked before the window system starts, so it needs no display.
std::optional<int> answerInformationRequest(const std::vector<std::string>& arguments, std::ostream& out);

// The arguments that the window system left (without the program name).
// Nullopt after a usage error, which is printed to `err`.
std::optional<ViewerOptions> parseViewerArguments(const std::vector<std::string>& arguments, std::ostream& err);

// Status for a usage error.
inline constexpr int kViewerUsageError = 2;
