// The two flags and the lock through which the window's thread and the render
// thread agree on stopping and starting a render.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

class RenderControl {
public:
    // Window's thread.
    void requestStop();
    // Blocks until the render has ended (stopped or finished), then clears
    // `renderStopped` for the next one. Passes at once before any render.
    void waitForStop();
    // Marks a render as running before its thread exists, so that a stop
    // request that comes before the thread's first pixel is never lost.
    void markStarting();

    // Render thread.
    // Asked before every pixel, from any of the render's workers; false once
    // a stop has been requested. It only looks: the render reports its end
    // with markStopped or markFinished once every worker has finished, so
    // the window never changes the scene under a pixel still being traced.
    bool continueRender() const;
    // The same answer as an atomic flag, set by every stop request and
    // cleared by markStarting, for workers to read without the lock.
    const std::atomic<bool>& stopFlag() const { return stopRequested; }
    void markStopped();
    void markFinished();

    bool running() const;
    bool stopped() const;

private:
    mutable std::mutex renderLock;
    std::condition_variable stoppedChanged;
    bool renderRunning = false;
    // True at start: no render thread exists yet to set it, and the first
    // command must not wait for one.
    bool renderStopped = true;
    std::atomic<bool> stopRequested{false};
};
