#include "cli/progress.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>

namespace {

constexpr std::chrono::milliseconds kRedrawInterval{100};
constexpr std::size_t kBarWidth = 30;

}  // namespace

ProgressBar::ProgressBar(std::ostream& out, std::uint64_t total, bool enabled)
    : out_(out), total_(total), enabled_(enabled && total > 0), start_(Clock::now()), nextDraw_(start_) {}

std::string ProgressBar::line(std::uint64_t done, std::uint64_t total, double elapsedSeconds) {
    const double share = total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
    const std::size_t filled = std::min<std::size_t>(static_cast<std::size_t>(share * kBarWidth), kBarWidth);
    std::string text(1, '[');
    text.append(filled, '#');
    text.append(kBarWidth - filled, '-');
    text += ']';
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, " %3d%%", static_cast<int>(share * 100.0));
    text += buffer;
    // Below 1% the estimate is mostly noise.
    if (share >= 0.01 && share < 1.0) {
        const double left = elapsedSeconds * (1.0 - share) / share;
        if (left < 60.0) {
            std::snprintf(buffer, sizeof buffer, "  %.1f s left", left);
        } else {
            std::snprintf(buffer, sizeof buffer, "  %d min %02d s left", static_cast<int>(left) / 60,
                          static_cast<int>(left) % 60);
        }
        text += buffer;
    }
    return text;
}

void ProgressBar::draw(Clock::time_point now) {
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    // Trailing blanks wipe what a longer previous line left.
    out_ << '\r' << line(done_, total_, elapsed) << "        " << std::flush;
    drawn_ = true;
    nextDraw_ = now + kRedrawInterval;
}

void ProgressBar::finish() {
    if (!drawn_) return;
    out_ << '\r' << std::string(kBarWidth + 40, ' ') << '\r' << std::flush;
    drawn_ = false;
}

ProgressWatch::ProgressWatch(ProgressBar& bar, const std::atomic<std::uint64_t>& done)
    : thread_([this, &bar, &done] {
          std::unique_lock<std::mutex> hold(lock_);
          while (!wake_.wait_for(hold, kRedrawInterval, [this] { return over_; })) {
              bar.show(done.load(std::memory_order_relaxed));
          }
          bar.show(done.load(std::memory_order_relaxed));
      }) {}

ProgressWatch::~ProgressWatch() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        over_ = true;
    }
    wake_.notify_all();
    thread_.join();
}
