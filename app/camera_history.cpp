#include "app/camera_history.h"

#include <algorithm>
#include <cstring>

namespace {

// Bit for bit: a camera that differs in any bit renders differently or
// not at all, so the step is kept.
bool sameCamera(const Camera& a, const Camera& b) {
    static_assert(sizeof(Camera) == 12 * sizeof(float), "Camera is twelve floats without padding");
    return std::memcmp(&a, &b, sizeof(Camera)) == 0;
}

}  // namespace

CameraHistory::CameraHistory(std::size_t maxSteps) : maxSteps(std::max<std::size_t>(maxSteps, 1)) {}

void CameraHistory::reset(const Camera& opened) {
    openedCamera = opened;
    undoSteps.clear();
    redoSteps.clear();
}

void CameraHistory::record(const Camera& before, const Camera& after) {
    if (sameCamera(before, after)) return;
    redoSteps.clear();
    undoSteps.push_back({before, after});
    if (undoSteps.size() > maxSteps) undoSteps.pop_front();
}

Camera CameraHistory::resetToOpened(const Camera& current) {
    record(current, openedCamera);
    return openedCamera;
}

std::optional<Camera> CameraHistory::undo() {
    if (undoSteps.empty()) return std::nullopt;
    const Step step = undoSteps.back();
    undoSteps.pop_back();
    redoSteps.push_back(step);
    return step.before;
}

std::optional<Camera> CameraHistory::redo() {
    if (redoSteps.empty()) return std::nullopt;
    const Step step = redoSteps.back();
    redoSteps.pop_back();
    undoSteps.push_back(step);
    return step.after;
}
