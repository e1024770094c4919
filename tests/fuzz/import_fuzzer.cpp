// libFuzzer target for the importer's own code: any bytes become an Assimp
// scene (meshes with any floats, faces of any size with any indices, any
// materials, a node tree with any transforms), which is converted under
// options the bytes choose. What is written must read back cleanly as the
// very triangles the converter kept, each one the renderer can hit.
#include <assimp/material.h>
#include <assimp/scene.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include "import/convert.h"
#include "import/material.h"
#include "import/triangles.h"
#include "render/camera.h"
#include "scene/reader.h"

namespace {

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    unsigned below(unsigned n) { return n == 0 ? 0 : byte() % n; }
    // Small integers most of the time, any bit pattern (NaN, infinity) now and then.
    float number() {
        const std::uint8_t kind = byte();
        if (kind < 200) return static_cast<float>(static_cast<std::int8_t>(byte())) / 8.0f;
        std::uint32_t bits = 0;
        for (int i = 0; i < 4; ++i) bits = bits << 8 | byte();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// Names the line of a failed check, so a finding says what broke.
void checkAt(bool condition, int line) {
    if (condition) return;
    std::fprintf(stderr, "import_fuzzer.cpp:%d: check failed\n", line);
    std::abort();
}
#define check(condition) checkAt(condition, __LINE__)

aiMesh* makeMesh(Bytes& in, unsigned materials) {
    auto* mesh = new aiMesh;
    mesh->mNumVertices = in.below(24);
    if (mesh->mNumVertices > 0) {
        mesh->mVertices = new aiVector3D[mesh->mNumVertices];
        for (unsigned i = 0; i < mesh->mNumVertices; ++i) mesh->mVertices[i] = {in.number(), in.number(), in.number()};
        if (in.below(2) == 0) {
            mesh->mNormals = new aiVector3D[mesh->mNumVertices];
            for (unsigned i = 0; i < mesh->mNumVertices; ++i)
                mesh->mNormals[i] = {in.number(), in.number(), in.number()};
        }
    }
    mesh->mNumFaces = in.below(32);
    if (mesh->mNumFaces > 0) {
        mesh->mFaces = new aiFace[mesh->mNumFaces];
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            aiFace& face = mesh->mFaces[f];
            const std::uint8_t shape = in.byte();
            face.mNumIndices = shape < 220 ? 3 : shape % 5;
            face.mIndices = face.mNumIndices ? new unsigned[face.mNumIndices] : nullptr;
            // Now and then an index the mesh does not have.
            for (unsigned k = 0; k < face.mNumIndices; ++k) face.mIndices[k] = in.below(mesh->mNumVertices + 1);
        }
    }
    mesh->mMaterialIndex = in.below(materials + 1);
    return mesh;
}

aiMaterial* makeMaterial(Bytes& in) {
    auto* material = new aiMaterial;
    const std::uint8_t present = in.byte();
    if (present & 1) {
        const aiColor4D diffuse(in.number(), in.number(), in.number(), 1);
        material->AddProperty(&diffuse, 1, AI_MATKEY_COLOR_DIFFUSE);
    }
    if (present & 2) {
        const aiColor4D specular(in.number(), in.number(), in.number(), 1);
        material->AddProperty(&specular, 1, AI_MATKEY_COLOR_SPECULAR);
    }
    const float values[4] = {in.number(), in.number(), in.number(), in.number()};
    if (present & 4) material->AddProperty(&values[0], 1, AI_MATKEY_SHININESS);
    if (present & 8) material->AddProperty(&values[1], 1, AI_MATKEY_SHININESS_STRENGTH);
    if (present & 16) material->AddProperty(&values[2], 1, AI_MATKEY_REFRACTI);
    if (present & 32) material->AddProperty(&values[3], 1, AI_MATKEY_OPACITY);
    if (present & 64) {
        const aiString name(present & 128 ? AI_DEFAULT_MATERIAL_NAME : "fuzzed");
        material->AddProperty(&name, AI_MATKEY_NAME);
    }
    return material;
}

aiNode* makeNode(Bytes& in, unsigned meshes, int depth) {
    auto* node = new aiNode;
    if (in.below(3) == 0) {
        float* m = &node->mTransformation.a1;
        for (int i = 0; i < 12; ++i) m[i] = in.number();  // the affine rows; the last row stays 0 0 0 1
    }
    node->mNumMeshes = in.below(3);
    if (node->mNumMeshes > 0) {
        node->mMeshes = new unsigned[node->mNumMeshes];
        for (unsigned i = 0; i < node->mNumMeshes; ++i) node->mMeshes[i] = in.below(meshes + 1);
    }
    node->mNumChildren = depth < 4 ? in.below(3) : 0;
    if (node->mNumChildren > 0) {
        node->mChildren = new aiNode*[node->mNumChildren];
        for (unsigned i = 0; i < node->mNumChildren; ++i) {
            node->mChildren[i] = makeNode(in, meshes, depth + 1);
            node->mChildren[i]->mParent = node;
        }
    }
    return node;
}

bool finite(Vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
bool finite(Color c) { return std::isfinite(c.red) && std::isfinite(c.green) && std::isfinite(c.blue); }
bool same(Vec3 a, Vec3 b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes in(data, size);
    aiScene scene;
    scene.mNumMaterials = in.below(4);
    if (scene.mNumMaterials > 0) {
        scene.mMaterials = new aiMaterial*[scene.mNumMaterials];
        for (unsigned i = 0; i < scene.mNumMaterials; ++i) scene.mMaterials[i] = makeMaterial(in);
    }
    scene.mNumMeshes = in.below(4);
    if (scene.mNumMeshes > 0) {
        scene.mMeshes = new aiMesh*[scene.mNumMeshes];
        for (unsigned i = 0; i < scene.mNumMeshes; ++i) scene.mMeshes[i] = makeMesh(in, scene.mNumMaterials);
    }
    scene.mRootNode = makeNode(in, scene.mNumMeshes, 0);

    ImportOptions options;
    const std::uint8_t choice = in.byte();
    options.stage = choice & 1;
    if (choice & 2) options.fitSize = std::ldexp(1.0 + in.byte(), static_cast<int>(in.byte() % 80) - 40);
    if (choice & 4) options.material = kNeutralGrey;
    options.modelName = "fuzzed model.obj";

    std::ostringstream out;
    const ConvertReport report = convertModel(scene, options, out);
    const std::string text = out.str();

    // Every face is accounted for exactly once.
    const std::vector<MeshInstance> instances = meshInstances(scene);
    std::uint64_t faces = 0;
    for (const MeshInstance& instance : instances) faces += instance.mesh->mNumFaces;
    const TriangleCounts& c = report.counts;
    check(c.kept + c.notTriangles + c.badIndices + c.notFinite + c.degenerate == faces);

    if (report.status != ConvertStatus::Written) {
        check(report.status != ConvertStatus::WriteFailed);
        check(text.empty());
        check(report.status == ConvertStatus::CannotFrame || c.kept == 0);
        return 0;
    }

    std::istringstream written(text);
    Scene back;
    check(!readScene(written, back));
    const std::size_t floor = options.stage ? 1 : 0;
    check(back.objectList.size() == c.kept + floor);
    if (options.stage) {
        check(back.lightList.size() == 2 && imageHeightFor(back.camera, 300) > 0);
        for (const Light& light : back.lightList) check(finite(light.position) && finite(light.color));
    }

    // The records hold the very triangles kept, in order, each one hittable.
    const Placement placement =
        options.fitSize ? placementToFit(worldBounds(instances), *options.fitSize) : Placement{};
    std::size_t next = floor;
    forEachTriangle(instances, placement, [&](const Triangle& triangle, unsigned) {
        const SceneObject& object = back.objectList[next++];
        check(object.kind == ObjectKind::Polygon && object.vertices.size() == 3);
        for (int k = 0; k < 3; ++k) check(same(object.vertices[k], triangle[k]));
        check(isHittable(triangle));
        check(finite(object.color) && finite(object.transmittance) && std::isfinite(object.reflectance) &&
              std::isfinite(object.shininess) && std::isfinite(object.permittivity) &&
              std::isfinite(object.permeability));
        if (options.fitSize) {
            const double limit = *options.fitSize * 0.5 * (1 + 1e-5);
            for (const Vec3& v : triangle) {
                check(std::fabs(v.x) <= limit && std::fabs(v.y) <= limit && std::fabs(v.z) <= limit);
            }
        }
    });
    check(next == back.objectList.size());
    return 0;
}
