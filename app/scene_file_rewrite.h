// Writing a camera into a scene file on disk, and telling whether a scene
// file changed since it was read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "scene/scene.h"

// What identifies one version of a file: a file replaced or written to has
// another inode, size, or modification or change time.
struct SceneFileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;

    bool operator==(const SceneFileStamp&) const = default;
};

// Nullopt when the file cannot be looked at (gone, or its folder unreadable).
std::optional<SceneFileStamp> takeSceneFileStamp(const std::string& path);

// Replaces the CAMERA record of the scene file at `path` (see
// withCameraRecord): the new text goes to a temporary file beside it, is
// synced to disk, gets the file's permission bits (and its owner where
// allowed) and is renamed over it, so the file is at every moment either
// the old or the new one. A symbolic link stays a link to the file it names.
// On failure the file is as it was, no temporary file is left and `error`
// says what failed. `written`, when given, receives the new file's stamp.
bool writeCameraToScene(const std::string& path, const Camera& camera, std::string& error,
                        SceneFileStamp* written = nullptr);
