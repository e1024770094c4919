#include "app/camera_history.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Cameras told apart by their centre's x.
Camera cameraAt(float x) { return {{x, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 2}}; }

float xOf(const std::optional<Camera>& camera) { return camera ? camera->screenCenter.x : -1.0f; }

TEST(CameraHistoryTest, UndoAndRedoWalkTheStepsInOrder) {
    CameraHistory history;
    history.reset(cameraAt(0));
    history.record(cameraAt(0), cameraAt(1));
    history.record(cameraAt(1), cameraAt(1));  // changes nothing
    history.record(cameraAt(1), cameraAt(2));
    EXPECT_FALSE(history.canRedo());
    EXPECT_EQ(xOf(history.undo()), 1.0f);
    EXPECT_EQ(xOf(history.undo()), 0.0f);
    EXPECT_FALSE(history.undo());
    EXPECT_EQ(xOf(history.redo()), 1.0f);
    EXPECT_EQ(xOf(history.redo()), 2.0f);
    EXPECT_FALSE(history.redo());
}

TEST(CameraHistoryTest, NewStepForgetsWhatCouldBeRedone) {
    CameraHistory history;
    history.reset(cameraAt(0));
    history.record(cameraAt(0), cameraAt(1));
    history.undo();
    history.record(cameraAt(0), cameraAt(5));
    EXPECT_FALSE(history.canRedo());
    EXPECT_EQ(xOf(history.undo()), 0.0f);
    EXPECT_EQ(xOf(history.redo()), 5.0f);
}

TEST(CameraHistoryTest, ResetToOpenedIsAStepAndANewSceneForgetsEverything) {
    CameraHistory history;
    history.reset(cameraAt(0));
    history.record(cameraAt(0), cameraAt(3));
    EXPECT_EQ(history.resetToOpened(cameraAt(3)).screenCenter.x, 0.0f);
    EXPECT_EQ(xOf(history.undo()), 3.0f);
    history.reset(cameraAt(9));
    EXPECT_FALSE(history.canUndo());
    EXPECT_FALSE(history.canRedo());
    EXPECT_EQ(history.opened().screenCenter.x, 9.0f);
}

TEST(CameraHistoryTest, TenThousandStepsKeepOnlyTheNewestThousand) {
    CameraHistory history;
    history.reset(cameraAt(0));
    for (int i = 0; i < 10000; ++i)
        history.record(cameraAt(static_cast<float>(i)), cameraAt(static_cast<float>(i + 1)));
    int undone = 0;
    std::optional<Camera> last;
    while (const auto camera = history.undo()) {
        last = camera;
        ++undone;
    }
    EXPECT_EQ(undone, static_cast<int>(CameraHistory::kDefaultDepth));
    EXPECT_EQ(xOf(last), 9000.0f);
}

}  // namespace
