#include "app/render_thread.h"

#include <chrono>
#include <string>

#include "render/render_scene.h"

void renderThread(RenderJob job) {
    const auto start = std::chrono::steady_clock::now();
    RenderRequest request;
    request.width = job.width;
    request.height = job.height;
    request.threads = job.threads;
    request.accelerate = job.accelerator != nullptr;
    request.accelerator = job.accelerator;
    request.keepColors = job.status != nullptr;
    request.control.stop = &job.control->stopFlag();
    if (job.status) {
        request.control.pixelsDone = &job.status->pixelsCounter();
        request.control.raysDone = &job.status->raysCounter();
    }
    request.previewStride = job.previewStride;
    request.previewDone = [&job](std::span<const Pixel> picture) {
        job.image->drawPreview(picture, job.width, job.height, job.previewStride);
        job.window->requestRepaint();
    };
    // Workers take rows from the top, so the picture still grows downwards.
    request.rowDone = [&job](int row, int left, std::span<const Pixel> pixels) {
        job.image->setRow(left, row, pixels);
        job.window->requestRepaint();
    };
    RenderResult result = renderScene(*job.scene, job.settings, job.generator, request);
    if (job.status) {
        auto picture = result.complete ? std::make_shared<FinishedPicture>(
                                             FinishedPicture{std::move(result.image), std::move(result.colors)})
                                       : nullptr;
        job.status->finish(result.complete, result.engine, std::move(picture));
    }
    // Stopped: every worker has returned, and no time is shown.
    if (!result.complete) {
        job.control->markStopped();
        return;
    }

    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    job.image->drawImage(0, elapsedTextRow(job.height), job.window->renderText(std::to_string(elapsed.count())));
    job.window->requestRepaint();
    job.control->markFinished();
}
