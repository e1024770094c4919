#include "app/render_control.h"
#include "app/render_status.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(RenderControlTest, FirstWaitPassesBeforeAnyRender) {
    RenderControl control;
    EXPECT_FALSE(control.running());
    control.waitForStop();  // would never return without the first-render rule
    EXPECT_FALSE(control.stopped());
}

TEST(RenderControlTest, StopRequestEndsTheRenderAndTheWaitConsumesIt) {
    RenderControl control;
    control.waitForStop();
    control.markStarting();
    EXPECT_TRUE(control.continueRender());
    control.requestStop();
    EXPECT_FALSE(control.continueRender());
    // Not stopped until the render says so, after its workers have returned.
    EXPECT_FALSE(control.stopped());
    control.markStopped();
    EXPECT_TRUE(control.stopped());
    control.waitForStop();
    EXPECT_FALSE(control.stopped());
    EXPECT_FALSE(control.running());
}

TEST(RenderControlTest, FinishedRenderLetsTheNextWaitPassAtOnce) {
    RenderControl control;
    control.waitForStop();
    control.markStarting();
    control.markFinished();
    EXPECT_FALSE(control.running());
    control.requestStop();
    control.waitForStop();
    EXPECT_FALSE(control.stopped());
}

TEST(RenderControlTest, StopBeforeTheRenderThreadRunsIsNotLost) {
    RenderControl control;
    control.waitForStop();
    control.markStarting();
    control.requestStop();
    std::atomic<int> pixels{0};
    std::thread render([&] {
        while (control.continueRender()) ++pixels;
        control.markStopped();
    });
    control.waitForStop();
    render.join();
    EXPECT_EQ(pixels.load(), 0);
}

// The status bar's line after a render: the engine without its bracketed
// detail, which would crowd a narrow window.
TEST(RenderStatusTest, FinishedRenderNamesTheEngineWithoutItsDetail) {
    StatusSnapshot status;
    status.elapsed = std::chrono::milliseconds(250);
    status.rays = 1000000;
    status.engine = "2 threads, bounding volume hierarchy (7 objects bounded, 1 tested on every ray)";
    EXPECT_EQ(statusText(status), "Rendered in 250 ms \u00b7 4.0 M rays/s \u00b7 2 threads, bounding volume hierarchy");
    status.engine = "1 thread, linear search";
    EXPECT_EQ(statusText(status), "Rendered in 250 ms \u00b7 4.0 M rays/s \u00b7 1 thread, linear search");
}

}  // namespace
