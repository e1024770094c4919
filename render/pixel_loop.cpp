#include "render/pixel_loop.h"

#include <algorithm>
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

bool stopSeen(const LoopControl& control) { return control.stop && control.stop->load(std::memory_order_relaxed); }

// Columns [left, right) of one row, left to right, each pixel handed to
// `pixelDone(column, color)`. Returns the columns finished before a stop.
template <typename PixelDone>
int renderRow(const TraceContext& context, int width, int height, int row, int left, int right,
              const LoopControl& control, PixelDone&& pixelDone) {
    if (context.settings.antiAliasing == AntiAliasingMode::Supersampling) {
        for (int column = left; column < right; ++column) {
            if (stopSeen(control)) return column - left;
            pixelDone(column, pixelColor(context, width, height, row, column));
        }
        return right - left;
    }
    for (int column = left; column < right; column += kRowPacket) {
        const int count = std::min(kRowPacket, right - column);
        const RowHits ahead = primaryHitsOfRow(context, width, height, row, column, count);
        for (int k = 0; k < count; ++k) {
            if (stopSeen(control)) return column + k - left;
            const auto at = static_cast<std::size_t>(k);
            pixelDone(column + k, colorOfSample(context, ahead.rays[at], ahead.hits[at]));
        }
    }
    return right - left;
}

// Generator draws before the first pixel of each row of the rectangle, in
// the one-thread loop over the whole picture. Empty after a stop.
std::vector<std::uint64_t> drawsBeforeRows(const TraceContext& context, int width, int height, PixelRect region,
                                           int threads, const LoopControl& control) {
    const auto rows = static_cast<std::size_t>(region.bottom);
    std::vector<std::uint64_t> whole(rows, 0), beforeLeft(rows, 0);
    std::atomic<int> nextRow{0};
    std::atomic<bool> stopped{false};
    onWorkers(threads, [&] {
        Random unused;
        for (int row = nextRow++; row < region.bottom; row = nextRow++) {
            std::uint64_t count = 0;
            const TraceContext counting{context.scene, context.settings, unused, nullptr, context.accelerator, &count};
            // The rectangle's last row needs only what lies left of it.
            const int end = row + 1 < region.bottom ? width : region.left;
            const int done = renderRow(counting, width, height, row, 0, end, control, [&](int column, Color) {
                if (column + 1 == region.left) beforeLeft[static_cast<std::size_t>(row)] = count;
            });
            if (done < end) {
                stopped = true;
                return;
            }
            whole[static_cast<std::size_t>(row)] = count;
        }
    });
    if (stopped) return {};
    std::vector<std::uint64_t> start(static_cast<std::size_t>(region.height()), 0);
    std::uint64_t above = 0;
    for (int row = 0; row < region.bottom; ++row) {
        if (row >= region.top) start[static_cast<std::size_t>(row - region.top)] = above + beforeLeft[row];
        above += whole[static_cast<std::size_t>(row)];
    }
    return start;
}

}  // namespace

int availableThreadCount() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }

bool runPixelLoop(const TraceContext& context, int width, int height, PixelRect region, int threads,
                  const LoopControl& control, const LoopTarget& target) {
    region = {std::max(region.left, 0), std::max(region.top, 0), std::min(region.right, width),
              std::min(region.bottom, height)};
    if (region.empty()) return true;
    const int rows = region.height();
    if (threads <= 0) threads = availableThreadCount();
    threads = std::min(threads, rows);

    // One worker over rows that follow each other in the picture's own order
    // continues the caller's generator; everything else starts each row from
    // the counted draws before it.
    const bool draws = drawsFromGenerator(context);
    const bool inOrder = threads == 1 && region.top == 0 && region.left == 0 && (region.right == width || rows == 1);
    std::vector<std::uint64_t> rowStart;
    if (draws && !inOrder) {
        rowStart = drawsBeforeRows(context, width, height, region, threads, control);
        if (rowStart.empty()) return false;  // stopped while counting: nothing drawn yet
    }

    const Random start = context.generator;
    const int columns = region.width();
    std::vector<int> finished(static_cast<std::size_t>(rows), 0);
    std::vector<std::uint32_t> stateAfter(static_cast<std::size_t>(rows), start.state);
    std::vector<RayCounts> counts(static_cast<std::size_t>(threads));
    std::atomic<int> nextRow{0}, nextWorker{0};
    onWorkers(threads, [&] {
        // Counted locally: neighbouring workers' counters would share a cache line.
        RayCounts mine;
        for (int r = nextRow++; r < rows; r = nextRow++) {
            const auto ri = static_cast<std::size_t>(r);
            Random rowGenerator = start;
            if (!rowStart.empty()) rowGenerator.skip(rowStart[ri]);
            Random& generator = inOrder ? context.generator : rowGenerator;
            const TraceContext rowContext{context.scene,       context.settings,
                                          generator,           context.counts ? &mine : nullptr,
                                          context.accelerator, nullptr};
            const std::size_t first = ri * static_cast<std::size_t>(columns);
            const int row = region.top + r;
            const int done = renderRow(
                rowContext, width, height, row, region.left, region.right, control, [&](int column, Color color) {
                    const std::size_t at = first + static_cast<std::size_t>(column - region.left);
                    target.pixels[at] = colorToPixel(color);
                    if (!target.colors.empty()) target.colors[at] = color;
                });
            // Once per row: a counter bumped by every worker per pixel would
            // bounce its cache line between the cores.
            if (control.pixelsDone) {
                control.pixelsDone->fetch_add(static_cast<std::uint64_t>(done), std::memory_order_relaxed);
            }
            finished[ri] = done;
            stateAfter[ri] = generator.state;
            if (target.rowDone && done > 0) {
                target.rowDone(row, region.left, target.pixels.subspan(first, static_cast<std::size_t>(done)));
            }
            if (done < columns) break;
        }
        counts[static_cast<std::size_t>(nextWorker++)] = mine;
    });

    if (context.counts) {
        for (const RayCounts& c : counts) *context.counts += c;
    }
    const auto open = std::find_if(finished.begin(), finished.end(), [columns](int n) { return n < columns; });
    if (draws && !inOrder) {
        // Where the one-thread loop would stand: after the last finished pixel
        // before the first unfinished one.
        const auto r = static_cast<std::size_t>(open - finished.begin());
        if (r == finished.size()) {
            context.generator.state = stateAfter.back();
        } else if (finished[r] > 0) {
            context.generator.state = stateAfter[r];
        } else {
            context.generator = start;
            context.generator.skip(rowStart[r]);
        }
    }
    return open == finished.end();
}

PixelImage renderImage(const TraceContext& context, int width, int height, int threads) {
    PixelImage image(width, height);
    runPixelLoop(context, width, height, wholePicture(width, height), threads, {}, {image.pixels, {}, nullptr});
    return image;
}
