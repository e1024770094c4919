#include "app/render_thread.h"

#include <chrono>
#include <string>

#include "render/context.h"
#include "render/sampling.h"

void renderThread(RenderJob job) {
    const auto start = std::chrono::steady_clock::now();
    const TraceContext context{*job.scene, job.settings, *job.generator};
    const bool complete = runPixelLoop(
        context, job.width, job.height, [&job] { return !job.control->continueRender(); },
        [&job](int row, int column, Pixel pixel) {
            job.image->setPixel(column, row, pixel);
            job.window->requestRepaint();
        });
    // Stopped: no time is shown, and the control has already been told.
    if (!complete) return;

    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    job.image->drawImage(0, elapsedTextRow(job.height), job.window->renderText(std::to_string(elapsed.count())));
    job.window->requestRepaint();
    job.control->markFinished();
}
