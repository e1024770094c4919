// A checking pass for scene authors, separate from the reader that renders:
// every malformed value (reading resumes at the next keyword), the mistakes
// that leave an object wrong or invisible without a word, and probable typos.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "scene/scene.h"

struct SceneProblem {
    int line = 0;    // 1-based
    int column = 0;  // 1-based, in bytes
    std::string text;
};

struct SceneCheck {
    std::vector<SceneProblem> problems;  // in file order
    Scene scene;                         // the records that read cleanly
    bool hasCamera = false;
    int lineOfCamera = 0;
    int columnOfCamera = 0;
};

// Checks scene text as a file holds it (a leading byte-order mark is skipped).
SceneCheck checkScene(std::string_view text);

// The problems of `check` that need the picture's width: no camera, or one
// that gives no picture or one too tall at `width`.
void checkPicture(SceneCheck& check, int width);

// Both: every problem that --check reports for a picture `width` wide.
SceneCheck checkSceneForPicture(std::string_view text, int width);

// "PATH:LINE:COLUMN: TEXT"
std::string formatProblem(const std::string& path, const SceneProblem& problem);

// "picture: 300 x 225 at width 300", "lights: 2", "objects: 5 (1 sphere, ...)".
std::vector<std::string> checkSummary(const SceneCheck& check, int width);
