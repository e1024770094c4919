#include "import/model_file.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <assimp/Importer.hpp>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

bool loadModel(const std::string& path, LoadedModel& model, std::string& error) {
    model = {};
    // Only regular files: a directory is no model, and a device or a pipe
    // might never end.
    std::error_code code;
    if (!std::filesystem::is_regular_file(path, code)) {
        error = "Could not read model " + path + ": " +
                (std::filesystem::exists(path, code) ? "not a regular file" : std::strerror(ENOENT));
        return false;
    }
    if (!std::ifstream(path, std::ios::binary)) {
        error = "Could not read model " + path + ": " + std::strerror(errno);
        return false;
    }
    auto importer = std::make_shared<Assimp::Importer>();
    const aiScene* scene = importer->ReadFile(path, aiProcess_Triangulate | aiProcess_ValidateDataStructure);
    if (!scene) {
        const char* reason = importer->GetErrorString();
        error = "Could not read model " + path + ": " + (reason && *reason ? reason : "unknown reason");
        return false;
    }
    model.importer = std::move(importer);
    model.scene = scene;
    return true;
}
