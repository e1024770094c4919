#include "import/convert.h"

#include <assimp/scene.h>

#include <cctype>
#include <vector>

#include "import/record_writer.h"
#include "import/staging.h"

namespace {

// The note's words must never be keywords: the name is glued into one word.
std::string noteFor(const std::string& modelName, std::uint64_t triangles) {
    std::string name;
    for (const char c : modelName) name += std::isspace(static_cast<unsigned char>(c)) ? '_' : c;
    return "Imported by orvanel-import from:" + name + " triangles:" + std::to_string(triangles);
}

std::vector<std::string> materialBlocks(const aiScene& scene, const Material& fallback) {
    std::vector<std::string> blocks;
    for (unsigned i = 0; scene.mMaterials && i < scene.mNumMaterials; ++i) {
        blocks.push_back(RecordWriter::materialBlock(materialFrom(scene.mMaterials[i], fallback)));
    }
    return blocks;
}

void writeStaging(RecordWriter& writer, const Staging& staging) {
    writer.camera(staging.camera);
    writer.ambient(staging.ambient);
    for (const Light& light : staging.lights) writer.light(light);
    writer.polygon(staging.floor.data(), staging.floor.size(), RecordWriter::materialBlock(staging.floorMaterial));
}

void appendCount(std::string& text, std::uint64_t count, const char* what) {
    if (count > 0) text += "dropped " + std::to_string(count) + " " + what + "\n";
}

}  // namespace

ConvertReport convertModel(const aiScene& scene, const ImportOptions& options, std::ostream& out) {
    ConvertReport report;
    const std::vector<MeshInstance> instances = meshInstances(scene);
    const Placement placement =
        options.fitSize ? placementToFit(worldBounds(instances), *options.fitSize) : Placement{};

    // A first pass counts and bounds what will be written, so that nothing is
    // written for a model that gives nothing.
    Bounds bounds;
    report.counts = forEachTriangle(instances, placement, [&](const Triangle& triangle, unsigned) {
        for (const Vec3& vertex : triangle) bounds.add(vertex);
    });
    if (report.counts.kept == 0) {
        report.status = ConvertStatus::NoTriangles;
        return report;
    }
    std::optional<Staging> staging;
    if (options.stage) {
        staging = stagingFor(bounds);
        if (!staging) {
            report.status = ConvertStatus::CannotFrame;
            return report;
        }
    }

    const Material fallback = options.material.value_or(kNeutralGrey);
    const std::vector<std::string> blocks = materialBlocks(scene, fallback);
    const std::string fallbackBlock = RecordWriter::materialBlock(fallback);
    RecordWriter writer(out);
    writer.note(noteFor(options.modelName, report.counts.kept));
    if (staging) writeStaging(writer, *staging);
    forEachTriangle(instances, placement, [&](const Triangle& triangle, unsigned material) {
        writer.polygon(triangle.data(), triangle.size(), material < blocks.size() ? blocks[material] : fallbackBlock);
    });
    if (!writer.flush() || !out.flush()) report.status = ConvertStatus::WriteFailed;
    return report;
}

std::string droppedFacesMessage(const TriangleCounts& counts) {
    std::string text;
    appendCount(text, counts.degenerate, "degenerate triangles (no area: the renderer could never hit them)");
    appendCount(text, counts.notFinite, "triangles with a vertex that is not a finite number");
    appendCount(text, counts.notTriangles, "points and lines (no surface to render)");
    appendCount(text, counts.badIndices, "faces naming a vertex the mesh does not have");
    return text;
}
