// One run of orvanel-render: load, render, write, report.
#pragma once

#include <atomic>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "cli/options.h"
#include "render/context.h"
#include "render/sampling.h"

struct RenderOutcome {
    PixelImage image;
    RayCounts counts;
    bool complete = false;  // false when stopped early
    std::string engine;     // threads and search, for --stats
};

// Renders the whole picture. The one place where the command line meets the
// renderer, so another engine can take over behind the same call.
// `pixelDone` runs after every pixel, one at a time; `stopRequested` before
// every pixel, from any render thread. `accelerate` false is the linear search.
RenderOutcome renderScene(const Scene& scene, const RenderSettings& settings, Random& generator, int width, int height,
                          int threads, bool accelerate, const std::function<bool()>& stopRequested,
                          const std::function<void()>& pixelDone);

// Everything after parsing. `stop` may be set from a signal handler to
// abandon the render; `interactive` says that `err` is a terminal.
int runRenderCommand(const CliOptions& options, std::ostream& out, std::ostream& err, bool interactive,
                     const std::atomic<bool>* stop = nullptr);

// parseOptions then runRenderCommand, as main does.
int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err, bool interactive,
                   const std::atomic<bool>* stop = nullptr);
