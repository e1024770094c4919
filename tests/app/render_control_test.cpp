#include "app/render_control.h"

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

}  // namespace
