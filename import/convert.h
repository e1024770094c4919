// From an Assimp scene to scene records: one POLYGON 3 per kept triangle in
// the model's order, optionally fitted into a cube and staged.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "import/material.h"
#include "import/triangles.h"

struct aiScene;

struct ImportOptions {
    std::optional<double> fitSize;     // scale and centre into a cube of this side
    bool stage = false;                // camera, lights and a floor around the model
    std::optional<Material> material;  // for what the model's materials do not say
    std::string modelName;             // for the note at the top
};

enum class ConvertStatus { Written, NoTriangles, CannotFrame, WriteFailed };

struct ConvertReport {
    ConvertStatus status = ConvertStatus::Written;
    TriangleCounts counts;
};

// Nothing is written unless the status is Written or WriteFailed.
ConvertReport convertModel(const aiScene& scene, const ImportOptions& options, std::ostream& out);

// One line per kind of dropped face, for standard error; empty when none was.
std::string droppedFacesMessage(const TriangleCounts& counts);
