// The scene argument of the command line: a path, or - for standard input.
#pragma once

#include <string>

#include "scene/reader.h"

// loadScene for a path; for "-", the same reseed and reset, then standard input.
bool loadSceneArgument(const std::string& argument, Scene& scene, Random& generator, SceneDiagnostic* diagnostic);

// The whole text of the scene argument, for the checker. False when it
// cannot be read, as loadScene refuses it.
bool readSceneText(const std::string& argument, std::string& text);
