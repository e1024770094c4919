#include "app/render_thread.h"

#include <chrono>
#include <string>

#include "render/context.h"
#include "render/parallel.h"

void renderThread(RenderJob job) {
    const auto start = std::chrono::steady_clock::now();
    const TraceContext context{*job.scene, job.settings, *job.generator, nullptr, job.accelerator};
    // Workers take rows from the top, so the picture still grows downwards.
    const bool complete = runParallelPixelLoop(
        context, job.width, job.height, job.threads, [&job] { return !job.control->continueRender(); },
        [&job](int row, int column, Pixel pixel) {
            job.image->setPixel(column, row, pixel);
            job.window->requestRepaint();
        });
    // Stopped: every worker has returned, and no time is shown.
    if (!complete) {
        job.control->markStopped();
        return;
    }

    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    job.image->drawImage(0, elapsedTextRow(job.height), job.window->renderText(std::to_string(elapsed.count())));
    job.window->requestRepaint();
    job.control->markFinished();
}
