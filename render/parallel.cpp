#include "render/parallel.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace {

// Runs `work` on the calling thread and threads - 1 others, and joins them.
template <typename Work>
void onWorkers(int threads, const Work& work) {
    std::vector<std::thread> helpers;
    helpers.reserve(static_cast<std::size_t>(threads - 1));
    for (int i = 1; i < threads; ++i) helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers) helper.join();
}

bool drawsFromGenerator(const TraceContext& context) {
    return context.settings.shadowMode == ShadowMode::SoftJitter && context.settings.lights == LightsSetting::On &&
           !context.scene.lightList.empty();
}

}  // namespace

int hardwareThreadCount() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }

bool runParallelPixelLoop(const TraceContext& context, int width, int height, int threads,
                          const std::function<bool()>& stopRequested,
                          const std::function<void(int row, int column, Pixel pixel)>& pixelDone) {
    if (threads <= 0) threads = hardwareThreadCount();
    threads = std::min(threads, std::max(1, height));
    if (threads == 1 || width <= 0) return runPixelLoop(context, width, height, stopRequested, pixelDone);

    const auto rows = static_cast<std::size_t>(height);
    // A stop seen by one worker holds for all, however the predicate answers later.
    std::atomic<bool> stopped{false};
    const std::function<bool()> stop = [&stopped, &stopRequested] {
        if (stopped.load(std::memory_order_relaxed)) return true;
        if (stopRequested && stopRequested()) {
            stopped.store(true, std::memory_order_relaxed);
            return true;
        }
        return false;
    };

    // Draws before each row: the counting pass, then a prefix sum.
    const bool draws = drawsFromGenerator(context);
    std::vector<std::uint64_t> rowStart(rows + 1, 0);
    if (draws) {
        std::atomic<int> nextRow{0};
        onWorkers(threads, [&] {
            Random unused;
            for (int row = nextRow++; row < height; row = nextRow++) {
                std::uint64_t count = 0;
                const TraceContext counting{context.scene, context.settings, unused, nullptr, context.accelerator,
                                            &count};
                if (!runRowLoop(counting, width, height, row, stop, nullptr)) return;
                rowStart[static_cast<std::size_t>(row) + 1] = count;
            }
        });
        if (stopped) return false;  // nothing drawn yet: the generator stays put
        for (std::size_t row = 0; row < rows; ++row) rowStart[row + 1] += rowStart[row];
    }

    const Random start = context.generator;
    std::vector<int> finished(rows, 0);             // pixels done per row
    std::vector<std::uint32_t> stateAfter(rows, 0);  // the row's generator after its last finished pixel
    std::vector<RayCounts> counts(static_cast<std::size_t>(threads));
    std::atomic<int> nextRow{0}, nextWorker{0};
    onWorkers(threads, [&] {
        // Counted locally: neighbouring workers' counters would share a cache line.
        RayCounts mine;
        for (int row = nextRow++; row < height; row = nextRow++) {
            const auto r = static_cast<std::size_t>(row);
            Random generator = start;
            generator.skip(rowStart[r]);
            const TraceContext rowContext{context.scene, context.settings, generator,
                                          context.counts ? &mine : nullptr, context.accelerator, nullptr};
            int done = 0;
            const bool complete =
                runRowLoop(rowContext, width, height, row, stop, [&](int pixelRow, int column, Pixel pixel) {
                    if (pixelDone) pixelDone(pixelRow, column, pixel);
                    ++done;
                });
            finished[r] = done;
            stateAfter[r] = generator.state;
            if (!complete) break;
        }
        counts[static_cast<std::size_t>(nextWorker++)] = mine;
    });

    if (context.counts) {
        for (const RayCounts& c : counts) *context.counts += c;
    }
    if (draws) {
        // Where the one-thread loop would stand: after the first row that is
        // not complete, or after the last row.
        const auto open = std::find_if(finished.begin(), finished.end(), [width](int n) { return n < width; });
        const auto r = static_cast<std::size_t>(open - finished.begin());
        if (r < rows && finished[r] > 0) {
            context.generator.state = stateAfter[r];
        } else {
            context.generator.skip(rowStart[r]);
        }
    }
    return !stopped;
}

PixelImage renderImageParallel(const TraceContext& context, int width, int height, int threads) {
    PixelImage image(width, height);
    runParallelPixelLoop(context, width, height, threads, nullptr, [&image](int row, int column, Pixel pixel) {
        image.pixels[static_cast<std::size_t>(row) * image.width + column] = pixel;
    });
    return image;
}
