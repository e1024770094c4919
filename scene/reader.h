// Reading a scene file into a Scene.
//
// The format is a free sequence of keyword records. Numbers are read by
// formatted extraction in the classic locale; a triple is four single
// delimiter characters around three numbers. Unknown words are skipped. A
// malformed value ends the load after the current record; what was read
// before it stays loaded and a diagnostic says where it went wrong.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

#include "scene/random.h"
#include "scene/scene.h"

struct SceneDiagnostic {
    int line = 0;         // 1-based; 0 when the read was clean
    int column = 0;       // 1-based, in bytes
    std::string message;  // "line 12, column 9: expected a number (SPHERE radius)"

    explicit operator bool() const { return line != 0; }
};

// Where the last CAMERA record read stands, in bytes from where the reading
// began (a byte-order mark counts): from the first byte of the keyword to
// just past the last byte taken for the record, its closing delimiter when it
// is complete. Lets a writer replace exactly the text the camera came from.
struct CameraRecordPlace {
    bool found = false;
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    // False when the input ended or went wrong inside the record: the scene's
    // camera then holds what the record gave before that, and an earlier
    // record's values (or zeros) for the rest.
    bool complete = false;
};

// Resets `scene` and fills it from `in`, a chunk at a time: memory does not
// grow with blanks or skipped words. Returns the first fault, if any.
SceneDiagnostic readScene(std::istream& in, Scene& scene, CameraRecordPlace* cameraRecord = nullptr);

// Reseeds `generator` with 1, resets `scene` and reads the file at `path`: a
// regular file or a pipe (named, or /dev/fd/N from process substitution).
// False only when the file cannot be opened (the scene is then empty); a
// malformed file still loads what precedes the fault and returns true, with
// the fault in `diagnostic`.
bool loadScene(const std::string& path, Scene& scene, Random& generator, SceneDiagnostic* diagnostic = nullptr);
