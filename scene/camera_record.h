// The CAMERA record as scene text, and a scene text with its camera replaced.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "scene/scene.h"

// "CAMERA (x, y, z) (x, y, z) (x, y, z) (x, y, z)": screen centre, right, up
// and eye offset, each number the shortest text that the reader takes back
// to the very same float. Nullopt when a number is infinite or not a number,
// which the scene syntax cannot hold.
std::optional<std::string> cameraRecordText(const Camera& camera);

// `fileText` with the CAMERA record that gives the scene its camera replaced
// by the record of `camera`, every other byte as it was; a text without one
// gets the record as its first line, after any byte-order mark. Reading the
// result gives `camera` and otherwise the scene `fileText` gives.
// Nullopt, with the reason in `error`, for a camera the syntax cannot hold,
// and for a text whose camera record is broken with text after it: that
// text is unread, and replacing the record would change what is read.
std::optional<std::string> withCameraRecord(std::string_view fileText, const Camera& camera, std::string& error);
