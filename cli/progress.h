// A one-line progress bar with the share done and the time left.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <string>
#include <thread>

class ProgressBar {
public:
    using Clock = std::chrono::steady_clock;

    // Draws on `out` only when `enabled`; a disabled bar costs a compare per step.
    ProgressBar(std::ostream& out, std::uint64_t total, bool enabled);

    // `done` units of work done so far. Redraws at most every 100 ms.
    void show(std::uint64_t done) {
        done_ = done;
        if (!enabled_) return;
        const Clock::time_point now = Clock::now();
        if (now >= nextDraw_) draw(now);
    }
    void advance() { show(done_ + 1); }

    // Clears the bar's line once the work is over.
    void finish();

    // "[#####-----]  50%  2.0 s left" at the given share and elapsed time;
    // the time left appears once there is enough done to estimate it.
    static std::string line(std::uint64_t done, std::uint64_t total, double elapsedSeconds);

private:
    void draw(Clock::time_point now);

    std::ostream& out_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;
    bool enabled_;
    bool drawn_ = false;
    Clock::time_point start_;
    Clock::time_point nextDraw_;
};

// Shows a counter that render threads advance on a bar, from a thread of its
// own, so that the render threads never format text. Stops and joins when
// destroyed.
class ProgressWatch {
public:
    ProgressWatch(ProgressBar& bar, const std::atomic<std::uint64_t>& done);
    ~ProgressWatch();
    ProgressWatch(const ProgressWatch&) = delete;
    ProgressWatch& operator=(const ProgressWatch&) = delete;

private:
    std::mutex lock_;
    std::condition_variable wake_;
    bool over_ = false;
    std::thread thread_;
};
