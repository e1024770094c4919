#include "render/pixel_loop.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

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

// Rows of whole width that one worker renders top to bottom, its generator
// running on from each row into the next, so that nobody counts their draws.
struct Chain {
    int row;        // being rendered, or the next to be
    int end;        // lowered when another worker takes the rows below
    Random atRow;   // the generator as `row` begins
    bool counting;  // its worker still counts the draws above it: atRow unknown
};

// What a worker is to do: count the draws of rows [countFrom, first) from
// `generator`, then render [first, end) as chain `chain`.
struct ChainStart {
    std::size_t chain;
    int countFrom;
    int first;
    Random generator;
};

// Hands the rows of a whole-width rectangle to workers in chains. The
// first worker starts at the top; every other takes the lower half of the
// rows that the longest chain has not begun, after counting the draws from
// that chain's row down to them. Counting half the picture instead of all
// of it is what two workers save; a lock is taken once per row.
class ChainedRows {
public:
    ChainedRows(int rows, Random start) : rows_(rows), start_(start) {}

    // Waits only while a chain that could be shared still counts; nothing
    // when every row is taken.
    std::optional<ChainStart> take() {
        std::unique_lock<std::mutex> hold(lock_);
        if (chains_.empty()) {
            chains_.push_back({0, rows_, start_, false});
            return ChainStart{0, 0, 0, start_};
        }
        // Rows after the one its worker is in.
        const auto notBegun = [](const Chain& c) { return c.end - c.row - 1; };
        while (true) {
            std::size_t longest = chains_.size();
            bool pending = false;
            for (std::size_t k = 0; k < chains_.size(); ++k) {
                const Chain& c = chains_[k];
                if (c.counting) {
                    pending = pending || notBegun(c) > 0;
                } else if (notBegun(c) > 0 && (longest == chains_.size() || notBegun(c) > notBegun(chains_[longest]))) {
                    longest = k;
                }
            }
            if (longest < chains_.size()) {
                Chain& victim = chains_[longest];
                const int first = victim.row + 1 + notBegun(victim) / 2;
                const Chain taken{first, victim.end, {}, true};
                victim.end = first;
                const ChainStart job{chains_.size(), victim.row, first, victim.atRow};
                chains_.push_back(taken);  // `victim` is gone with the old storage
                return job;
            }
            if (!pending) return std::nullopt;
            changed_.wait(hold);
        }
    }

    // The chain's draws above it are counted: others may share it now.
    void counted(std::size_t chain, Random atRow) {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            chains_[chain].atRow = atRow;
            chains_[chain].counting = false;
        }
        changed_.notify_all();
    }

    // A stop ended the counting: the chain's rows stay unrendered.
    void abandoned(std::size_t chain) {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            chains_[chain].end = chains_[chain].row;
            chains_[chain].counting = false;
        }
        changed_.notify_all();
    }

    // After a finished row: the chain's next row, or none at its end.
    std::optional<int> advance(std::size_t chain, Random atRow) {
        const std::lock_guard<std::mutex> hold(lock_);
        Chain& c = chains_[chain];
        ++c.row;
        c.atRow = atRow;
        if (c.row >= c.end) return std::nullopt;
        return c.row;
    }

private:
    const int rows_;
    const Random start_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Chain> chains_;
};

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
    // continues the caller's generator. Rows of whole width go in chains,
    // each worker's generator running on down its rows; any other rectangle
    // starts each row from the counted draws before it.
    const bool draws = drawsFromGenerator(context);
    const bool wholeRows = region.left == 0 && region.right == width;
    const bool inOrder = threads == 1 && region.top == 0 && (wholeRows || (region.left == 0 && rows == 1));
    const bool chained = draws && !inOrder && wholeRows;
    std::vector<std::uint64_t> rowStart;
    if (draws && !inOrder) {
        // Chains need only the draws above the rectangle.
        const PixelRect counted = chained ? PixelRect{0, region.top, width, region.top + 1} : region;
        rowStart = drawsBeforeRows(context, width, height, counted, threads, control);
        if (rowStart.empty()) return false;  // stopped while counting: nothing drawn yet
    }

    const Random start = context.generator;
    Random regionStart = start;
    if (chained) regionStart.skip(rowStart[0]);
    const int columns = region.width();
    std::vector<int> finished(static_cast<std::size_t>(rows), 0);
    std::vector<std::uint32_t> stateAfter(static_cast<std::size_t>(rows), start.state);
    std::vector<RayCounts> counts(static_cast<std::size_t>(threads));
    std::atomic<int> nextRow{0}, nextWorker{0};
    ChainedRows chains(rows, regionStart);

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
        finished[ri] = done;
        stateAfter[ri] = generator.state;
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
            if (!renderRegionRow(r, inOrder ? context.generator : rowGenerator, mine)) return;
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

    onWorkers(threads, [&] {
        // Counted locally: neighbouring workers' counters would share a cache line.
        RayCounts mine;
        if (chained) {
            renderChains(mine);
        } else {
            renderCountedRows(mine);
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
        } else if (chained) {
            // A whole row ends where the next begins.
            context.generator = r > 0 ? Random{stateAfter[r - 1]} : regionStart;
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
