// A one-line progress bar with the share done and the time left.
#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>

class ProgressBar {
public:
    using Clock = std::chrono::steady_clock;

    // Draws on `out` only when `enabled`; a disabled bar costs a compare per step.
    ProgressBar(std::ostream& out, std::uint64_t total, bool enabled);

    // One unit of work done. Redraws at most every 100 ms, so the pixel
    // loop never formats text per pixel.
    void advance() {
        ++done_;
        if (!enabled_) return;
        const Clock::time_point now = Clock::now();
        if (now >= nextDraw_) draw(now);
    }

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
