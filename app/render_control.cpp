#include "app/render_control.h"

void RenderControl::requestStop() {
    std::lock_guard<std::mutex> hold(renderLock);
    renderRunning = false;
    stopRequested.store(true);
}

void RenderControl::waitForStop() {
    std::unique_lock<std::mutex> hold(renderLock);
    stoppedChanged.wait(hold, [this] { return renderStopped; });
    renderStopped = false;
}

void RenderControl::markStarting() {
    std::lock_guard<std::mutex> hold(renderLock);
    renderRunning = true;
    renderStopped = false;
    stopRequested.store(false);
}

bool RenderControl::continueRender() const {
    std::lock_guard<std::mutex> hold(renderLock);
    return renderRunning;
}

void RenderControl::markStopped() {
    {
        std::lock_guard<std::mutex> hold(renderLock);
        renderStopped = true;
    }
    stoppedChanged.notify_all();
}

void RenderControl::markFinished() {
    {
        std::lock_guard<std::mutex> hold(renderLock);
        renderRunning = false;
        renderStopped = true;
    }
    stoppedChanged.notify_all();
}

bool RenderControl::running() const {
    std::lock_guard<std::mutex> hold(renderLock);
    return renderRunning;
}

bool RenderControl::stopped() const {
    std::lock_guard<std::mutex> hold(renderLock);
    return renderStopped;
}
