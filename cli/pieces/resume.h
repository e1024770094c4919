// orvanel-render --resume: the whole picture in bands (cli/pieces/bands.h),
// each kept as a piece in OUT.parts/ as soon as its rows are done. A run
// keeps every valid band already there, renders the rest and, once all are
// there, writes the picture as a plain render would and removes the folder.
#pragma once

#include <atomic>
#include <chrono>
#include <iosfwd>
#include <string>

#include "cli/options.h"
#include "render/context.h"
#include "scene/scene.h"

// What --stats reports of the bands this run rendered.
struct ResumeStatistics {
    RayCounts counts;
    std::string engine;
    std::chrono::steady_clock::duration elapsed{};
};

// The picture of `options` at `height` rows, from the freshly loaded
// `scene` and `generator`. Returns the exit status: 0 written, 4 the
// folder or the output cannot be written, 130 stopped by `stop` (the done
// bands kept). Reports on `err`, with a progress bar when `interactive`.
int renderResumable(const CliOptions& options, const Scene& scene, const Random& generator, int height,
                    std::ostream& err, bool interactive, const std::atomic<bool>* stop, ResumeStatistics& statistics);
