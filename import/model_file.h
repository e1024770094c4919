// Reading a model file through Assimp, triangulated and validated.
#pragma once

#include <memory>
#include <string>

namespace Assimp {
class Importer;
}
struct aiScene;

// The importer owns the scene; it lives as long as this does.
struct LoadedModel {
    std::shared_ptr<Assimp::Importer> importer;
    const aiScene* scene = nullptr;
};

// False with a message naming the file and Assimp's reason when the file
// cannot be read, is malformed or is of a format Assimp does not read.
bool loadModel(const std::string& path, LoadedModel& model, std::string& error);
