// Undo and redo of camera motions: one step per completed drag, wheel burst
// or key press, at most a fixed number of them, the oldest dropped first.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>

#include "scene/scene.h"

class CameraHistory {
public:
    static constexpr std::size_t kDefaultDepth = 1000;

    explicit CameraHistory(std::size_t maxSteps = kDefaultDepth);

    // A scene opened or reloaded: forgets every step and remembers `opened`.
    void reset(const Camera& opened);
    // One completed step; a step that changes nothing is not kept. Clears
    // what could be redone.
    void record(const Camera& before, const Camera& after);
    // Back to the camera the scene was opened with, as a step of its own.
    Camera resetToOpened(const Camera& current);

    // The camera to show, or nothing when there is no step to take.
    std::optional<Camera> undo();
    std::optional<Camera> redo();

    bool canUndo() const { return !undoSteps.empty(); }
    bool canRedo() const { return !redoSteps.empty(); }
    const Camera& opened() const { return openedCamera; }

private:
    struct Step {
        Camera before;
        Camera after;
    };

    std::size_t maxSteps;
    Camera openedCamera{};
    std::deque<Step> undoSteps;
    std::deque<Step> redoSteps;
};
