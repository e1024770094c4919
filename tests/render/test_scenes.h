// Scenes for the renderer's tests, written in the scene file format.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "scene/reader.h"

inline Scene sceneFrom(const std::string& text) {
    std::istringstream in(text);
    Scene scene;
    const SceneDiagnostic diagnostic = readScene(in, scene);
    EXPECT_FALSE(diagnostic) << diagnostic.message;
    return scene;
}

// A camera at z = 6 looking down -z through a 2 x 2 screen at z = 5: the
// centre pixel of an even-sized image looks straight along (0, 0, -1).
inline const std::string kCameraDown = "CAMERA (0,0,5) (1,0,0) (0,1,0) (0,0,1)\n";
