#include "import/triangles.h"

#include <cfloat>
#include <cmath>
#include <utility>

namespace {

Affine affineOf(const aiMatrix4x4& m) {
    Affine a;
    const double rows[3][4] = {{m.a1, m.a2, m.a3, m.a4}, {m.b1, m.b2, m.b3, m.b4}, {m.c1, m.c2, m.c3, m.c4}};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) a.linear[r][c] = rows[r][c];
        a.translation[r] = rows[r][3];
    }
    return a;
}

// parent after child: the child's transform is applied first.
Affine compose(const Affine& parent, const Affine& child) {
    Affine result;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            result.linear[r][c] = parent.linear[r][0] * child.linear[0][c] + parent.linear[r][1] * child.linear[1][c] +
                                  parent.linear[r][2] * child.linear[2][c];
        }
        result.translation[r] = parent.linear[r][0] * child.translation[0] +
                                parent.linear[r][1] * child.translation[1] +
                                parent.linear[r][2] * child.translation[2] + parent.translation[r];
    }
    return result;
}

double determinant(const double m[3][3]) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

void apply(const Affine& a, const aiVector3D& v, double out[3]) {
    for (int r = 0; r < 3; ++r) {
        out[r] = a.linear[r][0] * v.x + a.linear[r][1] * v.y + a.linear[r][2] * v.z + a.translation[r];
    }
}

bool finite3(const double p[3]) { return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]); }
// A double beyond the float range has no float to become.
bool toFloat(double value, float& out) {
    if (!(std::fabs(value) <= FLT_MAX)) return false;
    out = static_cast<float>(value);
    return true;
}

bool finite3(Vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// The face's three vertices in world space, when it is a triangle whose
// indices the mesh holds.
FaceFate worldVertices(const MeshInstance& instance, const aiFace& face, unsigned index[3], double world[3][3]) {
    const aiMesh& mesh = *instance.mesh;
    if (face.mNumIndices != 3 || !face.mIndices) return FaceFate::NotTriangle;
    for (int k = 0; k < 3; ++k) {
        index[k] = face.mIndices[k];
        if (!mesh.mVertices || index[k] >= mesh.mNumVertices) return FaceFate::BadIndex;
        apply(instance.toWorld, mesh.mVertices[index[k]], world[k]);
        if (!finite3(world[k])) return FaceFate::NotFinite;
    }
    return FaceFate::Kept;
}

// The model's own normals say which side is out; the winding says it when
// the model has none, or when they lie in the triangle's plane.
bool normalsDisagree(const aiMesh& mesh, const unsigned index[3]) {
    if (!mesh.mNormals) return false;
    const aiVector3D& a = mesh.mVertices[index[0]];
    const aiVector3D& b = mesh.mVertices[index[1]];
    const aiVector3D& c = mesh.mVertices[index[2]];
    const double e1[3] = {double(b.x) - a.x, double(b.y) - a.y, double(b.z) - a.z};
    const double e2[3] = {double(c.x) - a.x, double(c.y) - a.y, double(c.z) - a.z};
    const double face[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                            e1[0] * e2[1] - e1[1] * e2[0]};
    double sum[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k) {
        const aiVector3D& n = mesh.mNormals[index[k]];
        sum[0] += n.x;
        sum[1] += n.y;
        sum[2] += n.z;
    }
    const double agreement = face[0] * sum[0] + face[1] * sum[1] + face[2] * sum[2];
    return std::isfinite(agreement) && agreement < 0;
}

}  // namespace

std::vector<MeshInstance> meshInstances(const aiScene& scene) {
    std::vector<MeshInstance> instances;
    if (!scene.mRootNode) return instances;
    // Depth first without recursion: a deep hierarchy must not exhaust the stack.
    std::vector<std::pair<const aiNode*, Affine>> pending{{scene.mRootNode, Affine{}}};
    while (!pending.empty()) {
        const auto [node, parent] = pending.back();
        pending.pop_back();
        const Affine toWorld = compose(parent, affineOf(node->mTransformation));
        const bool mirrored = determinant(toWorld.linear) < 0;
        for (unsigned i = 0; node->mMeshes && i < node->mNumMeshes; ++i) {
            const unsigned index = node->mMeshes[i];
            if (scene.mMeshes && index < scene.mNumMeshes && scene.mMeshes[index]) {
                instances.push_back({scene.mMeshes[index], toWorld, mirrored});
            }
        }
        for (unsigned i = node->mNumChildren; node->mChildren && i > 0; --i) {
            if (node->mChildren[i - 1]) pending.emplace_back(node->mChildren[i - 1], toWorld);
        }
    }
    return instances;
}

void Bounds::add(const double p[3]) {
    for (int k = 0; k < 3; ++k) {
        min[k] = std::fmin(min[k], p[k]);
        max[k] = std::fmax(max[k], p[k]);
    }
}

void Bounds::add(Vec3 p) {
    const double q[3] = {p.x, p.y, p.z};
    add(q);
}

Bounds worldBounds(const std::vector<MeshInstance>& instances) {
    Bounds bounds;
    unsigned index[3];
    double world[3][3];
    for (const MeshInstance& instance : instances) {
        const aiMesh& mesh = *instance.mesh;
        for (unsigned i = 0; mesh.mFaces && i < mesh.mNumFaces; ++i) {
            if (worldVertices(instance, mesh.mFaces[i], index, world) != FaceFate::Kept) continue;
            for (const double* p : world) bounds.add(p);
        }
    }
    return bounds;
}

Placement placementToFit(const Bounds& bounds, double size) {
    Placement placement;
    if (bounds.empty()) return placement;
    // Far from the origin a double centre may miss the middle by a rounding
    // that is large against a small model; the scale is taken from the
    // centre as rounded, so the model stays within the cube all the same.
    double half = 0;
    for (int k = 0; k < 3; ++k) {
        placement.center[k] = 0.5 * (bounds.min[k] + bounds.max[k]);
        half = std::fmax(half, std::fmax(bounds.max[k] - placement.center[k], placement.center[k] - bounds.min[k]));
    }
    if (half > 0 && std::isfinite(half)) placement.scale = 0.5 * size / half;
    return placement;
}

bool isHittable(const Triangle& t) {
    const Vec3 e1 = t[1] - t[0];
    const Vec3 e2 = t[2] - t[0];
    if (!finite3(e1) || !finite3(e2)) return false;
    const Vec3 normal = cross(e1, e2);
    if (!finite3(normal) || (normal.x == 0 && normal.y == 0 && normal.z == 0)) return false;
    const float l1 = length(e1);
    const float l2 = length(e2);
    const float d12 = dot(e1, e2);
    const float gram = (l1 * l1) * (l2 * l2) - d12 * d12;
    return std::isfinite(gram) && gram > 0;
}

FaceFate placeFace(const MeshInstance& instance, const aiFace& face, const Placement& placement, Triangle& out) {
    unsigned index[3];
    double world[3][3];
    const FaceFate fate = worldVertices(instance, face, index, world);
    if (fate != FaceFate::Kept) return fate;
    for (int k = 0; k < 3; ++k) {
        if (!toFloat((world[k][0] - placement.center[0]) * placement.scale, out[k].x) ||
            !toFloat((world[k][1] - placement.center[1]) * placement.scale, out[k].y) ||
            !toFloat((world[k][2] - placement.center[2]) * placement.scale, out[k].z)) {
            return FaceFate::NotFinite;
        }
    }
    if (instance.mirrored != normalsDisagree(*instance.mesh, index)) std::swap(out[1], out[2]);
    return isHittable(out) ? FaceFate::Kept : FaceFate::Degenerate;
}
