// The triangles of an Assimp scene in the model's own order: node by node
// from the root, depth first, each node's meshes in its order, with the node
// transforms applied and the winding turned so that the lit side faces out.
#pragma once

#include <assimp/scene.h>

#include <array>
#include <cstdint>
#include <vector>

#include "geometry/vec3.h"

using Triangle = std::array<Vec3, 3>;

// A row-major affine map in double precision: p' = linear * p + translation.
struct Affine {
    double linear[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    double translation[3] = {0, 0, 0};
};

// One mesh as a node places it; a mesh that several nodes use comes once per node.
struct MeshInstance {
    const aiMesh* mesh = nullptr;
    Affine toWorld;
    bool mirrored = false;  // the transform turns the winding inside out
};

std::vector<MeshInstance> meshInstances(const aiScene& scene);

// Axis-aligned bounds in double precision; empty while min > max.
struct Bounds {
    double min[3] = {1e300, 1e300, 1e300};
    double max[3] = {-1e300, -1e300, -1e300};

    bool empty() const { return min[0] > max[0]; }
    void add(const double p[3]);
    void add(Vec3 p);
};

// World-space bounds of every face that could be kept (three valid indices,
// finite vertices), before any scaling.
Bounds worldBounds(const std::vector<MeshInstance>& instances);

// Where the model goes in the scene: scene = (world - center) * scale.
// Subtracting first keeps a small model far from the origin exact enough.
struct Placement {
    double scale = 1;
    double center[3] = {0, 0, 0};
};

// The placement that scales the bounds into a cube of side `size` centred
// on the origin. Bounds of one point keep the scale 1.
Placement placementToFit(const Bounds& bounds, double size);

enum class FaceFate { Kept, NotTriangle, BadIndex, NotFinite, Degenerate };

// One face in scene coordinates, rounded to floats. Kept only when the
// renderer can hit it: finite vertices and a triangle with an area.
FaceFate placeFace(const MeshInstance& instance, const aiFace& face, const Placement& placement, Triangle& out);

// Whether the renderer could ever hit this triangle: finite edges and a
// positive determinant of their Gram matrix, computed as the polygon test does.
bool isHittable(const Triangle& triangle);

struct TriangleCounts {
    std::uint64_t kept = 0;
    std::uint64_t notTriangles = 0;  // points and lines
    std::uint64_t badIndices = 0;    // a vertex index the mesh does not have
    std::uint64_t notFinite = 0;
    std::uint64_t degenerate = 0;
};

// Calls visit(triangle, materialIndex) for every kept triangle in model order.
template <class Visit>
TriangleCounts forEachTriangle(const std::vector<MeshInstance>& instances, const Placement& placement, Visit&& visit) {
    TriangleCounts counts;
    Triangle triangle;
    for (const MeshInstance& instance : instances) {
        const aiMesh& mesh = *instance.mesh;
        if (!mesh.mFaces) continue;
        for (unsigned i = 0; i < mesh.mNumFaces; ++i) {
            switch (placeFace(instance, mesh.mFaces[i], placement, triangle)) {
                case FaceFate::Kept:
                    ++counts.kept;
                    visit(triangle, mesh.mMaterialIndex);
                    break;
                case FaceFate::NotTriangle:
                    ++counts.notTriangles;
                    break;
                case FaceFate::BadIndex:
                    ++counts.badIndices;
                    break;
                case FaceFate::NotFinite:
                    ++counts.notFinite;
                    break;
                case FaceFate::Degenerate:
                    ++counts.degenerate;
                    break;
            }
        }
    }
    return counts;
}
