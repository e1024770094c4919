#include "render/progressive_loop.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

#include "render/pixel_rows.h"

namespace {

// Generator draws before every pixel in reading order, from a pass that
// counts them without shadow rays. Empty after a stop.
std::vector<std::uint64_t> drawsBeforePixels(const TraceContext& context, int width, int height, int threads,
                                             const LoopControl& control) {
    const auto columns = static_cast<std::size_t>(width);
    std::vector<std::uint64_t> before(columns * static_cast<std::size_t>(height), 0);
    std::atomic<int> nextRow{0};
    std::atomic<bool> stopped{false};
    onWorkers(threads, [&] {
        for (int row = nextRow++; row < height; row = nextRow++) {
            std::uint64_t* drawsThrough = before.data() + static_cast<std::size_t>(row) * columns;
            std::uint64_t count = 0;
            if (!countDrawsOfRow(context, width, height, row, width, control, count,
                                 [&](int column, Color) { drawsThrough[column] = count; })) {
                stopped = true;
                return;
            }
        }
    });
    if (stopped) return {};
    // From the draws through each pixel of its row to the draws before it.
    std::uint64_t above = 0;
    for (std::size_t row = 0; row < static_cast<std::size_t>(height); ++row) {
        std::uint64_t* line = before.data() + row * columns;
        const std::uint64_t rowTotal = line[columns - 1];
        for (std::size_t column = columns - 1; column > 0; --column) line[column] = above + line[column - 1];
        line[0] = above;
        above += rowTotal;
    }
    before.push_back(above);  // after the last pixel
    return before;
}

}  // namespace

bool runProgressiveLoop(const TraceContext& context, int width, int height, int stride, int threads,
                        const LoopControl& control, const ProgressiveTarget& target) {
    if (width <= 0 || height <= 0) return true;
    stride = std::max(stride, 1);
    if (threads <= 0) threads = availableThreadCount();
    threads = std::min(threads, height);

    const bool draws = drawsFromGenerator(context);
    std::vector<std::uint64_t> drawsBefore;
    if (draws) {
        drawsBefore = drawsBeforePixels(context, width, height, threads, control);
        if (drawsBefore.empty()) return false;
    }
    const Random start = context.generator;
    const auto columns = static_cast<std::size_t>(width);
    const auto generatorAt = [&](int row, int column) {
        Random generator = start;
        if (draws) generator.skip(drawsBefore[static_cast<std::size_t>(row) * columns + static_cast<std::size_t>(column)]);
        return generator;
    };

    const bool counting = context.counts || control.raysDone;
    std::vector<RayCounts> counts(static_cast<std::size_t>(threads));
    std::atomic<bool> stopped{false};

    // Columns [left, right) of `row` from the generator as the one-thread
    // loop has it at `left`; false when a stop cut it short.
    const auto renderRun = [&](int row, int left, int right, RayCounts& mine) {
        Random generator = generatorAt(row, left);
        const RayCounts before = mine;
        const TraceContext runContext{
            context.scene, context.settings, generator, counting ? &mine : nullptr, context.accelerator, nullptr};
        const std::size_t first = static_cast<std::size_t>(row) * columns;
        const int done = renderRow(runContext, width, height, row, left, right, control, [&](int column, Color color) {
            const std::size_t at = first + static_cast<std::size_t>(column);
            target.pixels[at] = colorToPixel(color);
            if (!target.colors.empty()) target.colors[at] = color;
        });
        if (control.pixelsDone)
            control.pixelsDone->fetch_add(static_cast<std::uint64_t>(done), std::memory_order_relaxed);
        if (control.raysDone)
            control.raysDone->fetch_add(mine.total() - before.total(), std::memory_order_relaxed);
        return done == right - left;
    };

    // The passes one after the other, each on all workers, so that the
    // preview is told before any pixel of the second pass exists.
    const auto onRows = [&](int rowCount, const auto& renderItem) {
        std::atomic<int> next{0}, nextWorker{0};
        onWorkers(threads, [&] {
            RayCounts& mine = counts[static_cast<std::size_t>(nextWorker++)];
            for (int item = next++; item < rowCount && !stopped; item = next++) {
                if (!renderItem(item, mine)) stopped = true;
            }
        });
    };

    // The preview: one pixel per stride x stride block, from its top-left.
    onRows((height + stride - 1) / stride, [&](int item, RayCounts& mine) {
        const int row = item * stride;
        for (int column = 0; column < width; column += stride) {
            if (!renderRun(row, column, column + 1, mine)) return false;
        }
        return true;
    });
    if (stopped) return false;
    if (target.previewDone) target.previewDone();

    // Everything else, top row first: the gaps between the preview's pixels
    // on its rows, whole rows elsewhere.
    onRows(height, [&](int row, RayCounts& mine) {
        const std::size_t first = static_cast<std::size_t>(row) * columns;
        const auto tell = [&](int left, int right) {
            if (target.runDone)
                target.runDone(row, left,
                               target.pixels.subspan(first + static_cast<std::size_t>(left),
                                                     static_cast<std::size_t>(right - left)));
        };
        if (row % stride != 0) {
            if (!renderRun(row, 0, width, mine)) return false;
            tell(0, width);
            return true;
        }
        for (int column = 0; column < width; column += stride) {
            const int left = column + 1, right = std::min(column + stride, width);
            if (left >= right) continue;
            if (!renderRun(row, left, right, mine)) return false;
            tell(left, right);
        }
        return true;
    });

    if (context.counts) {
        for (const RayCounts& c : counts) *context.counts += c;
    }
    if (stopped) return false;
    if (draws) context.generator.skip(drawsBefore.back());
    return true;
}
