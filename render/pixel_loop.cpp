#include "render/pixel_loop.h"

#include <algorithm>
#include <optional>
#include <thread>
#include <vector>

#include "render/chained_rows.h"
#include "render/pixel_rows.h"

namespace {

// Generator draws before the first pixel of each row of the rectangle, in
// the one-thread loop over the whole picture. Empty after a stop.
std::vector<std::uint64_t> drawsBeforeRows(const TraceContext& context, int width, int height, PixelRect region,
                                           int threads, const LoopControl& control) {
    const auto rows = static_cast<std::size_t>(region.bottom);
    std::vector<std::uint64_t> whole(rows, 0), beforeLeft(rows, 0);
    std::atomic<int> nextRow{0};
    std::atomic<bool> stopped{false};
    onWorkers(threads, [&] {
        for (int row = nextRow++; row < region.bottom; row = nextRow++) {
            std::uint64_t count = 0;
            // The rectangle's last row needs only what lies left of it.
            const int end = row + 1 < region.bottom ? width : region.left;
            if (!countDrawsOfRow(context, width, height, row, end, control, count, [&](int column, Color) {
                    if (column + 1 == region.left) beforeLeft[static_cast<std::size_t>(row)] = count;
                })) {
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

namespace {

// How a rectangle is rendered: by whom, and from which generator.
struct LoopPlan {
    PixelRect region;  // within the picture
    int threads;       // at most its rows
    // Some pixel draws from the generator.
    bool draws;
    // One worker over rows that follow each other in the picture's own
    // order continues the caller's generator.
    bool inOrder;
    // Rows of whole width go in chains, each worker's generator running on
    // down its rows; any other rectangle starts each row from the counted
    // draws before it.
    bool chained;

    bool counts() const { return draws && !inOrder; }
};

LoopPlan planLoop(const TraceContext& context, int width, int height, PixelRect region, int threads) {
    region = {std::max(region.left, 0), std::max(region.top, 0), std::min(region.right, width),
              std::min(region.bottom, height)};
    if (threads <= 0) threads = availableThreadCount();
    threads = std::max(1, std::min(threads, region.height()));
    const bool draws = drawsFromGenerator(context);
    const bool wholeRows = region.left == 0 && region.right == width;
    const int rows = region.height();
    const bool inOrder = threads == 1 && region.top == 0 && (wholeRows || (region.left == 0 && rows == 1));
    return {region, threads, draws, inOrder, draws && !inOrder && wholeRows};
}

// What the workers left: each row's finished pixels and the generator's
// state after it.
struct RenderedRows {
    std::vector<int> finished;
    std::vector<std::uint32_t> stateAfter;
    Random regionStart;  // the generator as the rectangle's first row begins

    // The first row not finished, or the number of rows.
    std::size_t firstOpen(int columns) const {
        const auto open = std::find_if(finished.begin(), finished.end(), [columns](int n) { return n < columns; });
        return static_cast<std::size_t>(open - finished.begin());
    }
};

// Every row of the rectangle on the plan's workers; `rowStart` holds the
// counted draws before each row (before the first only, for chains).
RenderedRows renderRows(const TraceContext& context, int width, int height, const LoopPlan& plan,
                        const std::vector<std::uint64_t>& rowStart, const LoopControl& control,
                        const LoopTarget& target) {
    const PixelRect region = plan.region;
    const int rows = region.height();
    const int columns = region.width();
    const Random start = context.generator;
    RenderedRows rendered{std::vector<int>(static_cast<std::size_t>(rows), 0),
                          std::vector<std::uint32_t>(static_cast<std::size_t>(rows), start.state), start};
    if (plan.chained) rendered.regionStart.skip(rowStart[0]);
    std::vector<RayCounts> counts(static_cast<std::size_t>(plan.threads));
    std::atomic<int> nextRow{0}, nextWorker{0};
    ChainedRows chains(rows, rendered.regionStart);

    // Row r of the rectangle from `generator`; true when it was finished.
    const auto renderRegionRow = [&](int r, Random& generator, RayCounts& mine) {
        const auto ri = static_cast<std::size_t>(r);
        const RayCounts before = mine;
        const TraceContext rowContext{context.scene,       context.settings,
                                      generator,           context.counts || control.raysDone ? &mine : nullptr,
                                      context.accelerator, nullptr};
        const std::size_t first = ri * static_cast<std::size_t>(columns);
        const int row = region.top + r;
        const int done =
            renderRow(rowContext, width, height, row, region.left, region.right, control, [&](int column, Color color) {
                const std::size_t at = first + static_cast<std::size_t>(column - region.left);
                target.pixels[at] = colorToPixel(color);
                if (!target.colors.empty()) target.colors[at] = color;
            });
        // Once per row: a counter bumped by every worker per pixel would
        // bounce its cache line between the cores.
        if (control.pixelsDone)
            control.pixelsDone->fetch_add(static_cast<std::uint64_t>(done), std::memory_order_relaxed);
        if (control.raysDone) control.raysDone->fetch_add(mine.total() - before.total(), std::memory_order_relaxed);
        rendered.finished[ri] = done;
        rendered.stateAfter[ri] = generator.state;
        if (target.rowDone && done > 0) {
            target.rowDone(row, region.left, target.pixels.subspan(first, static_cast<std::size_t>(done)));
        }
        return done == columns;
    };

    // Rows from a shared counter, top row first.
    const auto renderCountedRows = [&](RayCounts& mine) {
        for (int r = nextRow++; r < rows; r = nextRow++) {
            Random rowGenerator = start;
            if (!rowStart.empty()) rowGenerator.skip(rowStart[static_cast<std::size_t>(r)]);
            if (!renderRegionRow(r, plan.inOrder ? context.generator : rowGenerator, mine)) return;
        }
    };

    const auto renderChains = [&](RayCounts& mine) {
        while (const std::optional<ChainStart> job = chains.take()) {
            Random generator = job->generator;
            if (job->countFrom < job->first) {
                std::uint64_t count = 0;
                for (int r = job->countFrom; r < job->first; ++r) {
                    if (!countDrawsOfRow(context, width, height, region.top + r, width, control, count,
                                         [](int, Color) {})) {
                        chains.abandoned(job->chain);
                        return;
                    }
                }
                generator.skip(count);
                chains.counted(job->chain, generator);
            }
            for (std::optional<int> r = job->first; r; r = chains.advance(job->chain, generator)) {
                if (!renderRegionRow(*r, generator, mine)) return;
            }
        }
    };

    onWorkers(plan.threads, [&] {
        // Counted locally: neighbouring workers' counters would share a cache line.
        RayCounts mine;
        if (plan.chained) {
            renderChains(mine);
        } else {
            renderCountedRows(mine);
        }
        counts[static_cast<std::size_t>(nextWorker++)] = mine;
    });

    if (context.counts) {
        for (const RayCounts& c : counts) *context.counts += c;
    }
    return rendered;
}

// Sets the caller's generator where the one-thread loop would stand: after
// the last finished pixel before the first unfinished one.
void restoreGenerator(const TraceContext& context, const LoopPlan& plan, const std::vector<std::uint64_t>& rowStart,
                      const RenderedRows& rendered) {
    const std::size_t r = rendered.firstOpen(plan.region.width());
    if (r == rendered.finished.size()) {
        context.generator.state = rendered.stateAfter.back();
    } else if (rendered.finished[r] > 0) {
        context.generator.state = rendered.stateAfter[r];
    } else if (plan.chained) {
        // A whole row ends where the next begins.
        context.generator = r > 0 ? Random{rendered.stateAfter[r - 1]} : rendered.regionStart;
    } else {
        context.generator = rendered.regionStart;
        context.generator.skip(rowStart[r]);
    }
}

}  // namespace

bool runPixelLoop(const TraceContext& context, int width, int height, PixelRect region, int threads,
                  const LoopControl& control, const LoopTarget& target) {
    const LoopPlan plan = planLoop(context, width, height, region, threads);
    if (plan.region.empty()) return true;
    std::vector<std::uint64_t> rowStart;
    if (plan.counts()) {
        // Chains need only the draws above the rectangle.
        const PixelRect counted =
            plan.chained ? PixelRect{0, plan.region.top, width, plan.region.top + 1} : plan.region;
        rowStart = drawsBeforeRows(context, width, height, counted, plan.threads, control);
        if (rowStart.empty()) return false;  // stopped while counting: nothing drawn yet
    }
    const RenderedRows rendered = renderRows(context, width, height, plan, rowStart, control, target);
    if (plan.counts()) restoreGenerator(context, plan, rowStart, rendered);
    return rendered.firstOpen(plan.region.width()) == rendered.finished.size();
}

PixelImage renderImage(const TraceContext& context, int width, int height, int threads) {
    PixelImage image(width, height);
    runPixelLoop(context, width, height, wholePicture(width, height), threads, {}, {image.pixels, {}, nullptr});
    return image;
}
