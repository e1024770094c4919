#include "cli/progress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>

namespace {

TEST(ProgressBar, LineShowsShareAndTimeLeft) {
    EXPECT_EQ(ProgressBar::line(0, 200, 0.0), "[------------------------------]   0%");
    EXPECT_EQ(ProgressBar::line(100, 200, 2.0), "[###############---------------]  50%  2.0 s left");
    EXPECT_EQ(ProgressBar::line(1, 4, 40.0), "[#######-----------------------]  25%  2 min 00 s left");
    EXPECT_EQ(ProgressBar::line(200, 200, 9.0), "[##############################] 100%");
}

TEST(ProgressBar, DrawsOnlyWhenEnabledAndClearsItsLine) {
    std::ostringstream disabled;
    ProgressBar quiet(disabled, 10, false);
    for (int i = 0; i < 10; ++i) quiet.advance();
    quiet.finish();
    EXPECT_EQ(disabled.str(), "");

    std::ostringstream enabled;
    const auto start = ProgressBar::Clock::now();
    ProgressBar bar(enabled, 1000, true);
    for (int i = 0; i < 1000; ++i) bar.advance();
    const auto took = ProgressBar::Clock::now() - start;
    const std::string drawn = enabled.str();
    // The first step draws at once, and later ones at most every 100 ms,
    // never once per step: however long the steps took on this machine.
    EXPECT_EQ(drawn.find('\r'), 0u);
    EXPECT_NE(drawn.find("0%"), std::string::npos);
    EXPECT_LE(std::count(drawn.begin(), drawn.end(), '\r'), 1 + took / std::chrono::milliseconds(100));
    bar.finish();
    const std::string cleared = enabled.str().substr(drawn.size());
    EXPECT_EQ(cleared.front(), '\r');
    EXPECT_EQ(cleared.back(), '\r');
    EXPECT_EQ(cleared.find_first_not_of(" \r"), std::string::npos);
}

}  // namespace
