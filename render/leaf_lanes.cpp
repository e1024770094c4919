#include "render/leaf_lanes.h"

#include <cmath>

#include "render/lanes.h"

namespace {

void setRow(LeafColumns& leaves, std::size_t at, const FanTriangle& t, Sphere sphere) {
    const float values[LeafColumns::kColumns] = {
        t.v0.x,        t.v0.y,    t.v0.z,          t.e1.x,          t.e1.y,          t.e1.z,       t.e2.x,
        t.e2.y,        t.e2.z,    t.n.x,           t.n.y,           t.n.z,           t.l1Squared,  t.l2Squared,
        t.offDiagonal, t.inverse, sphere.center.x, sphere.center.y, sphere.center.z, sphere.radius};
    for (int c = 0; c < LeafColumns::kColumns; ++c) leaves.columns[static_cast<std::size_t>(c)][at] = values[c];
}

void appendRow(LeafColumns& leaves, LaneKind kind, const FanTriangle& t, Sphere sphere) {
    leaves.kinds.push_back(kind);
    for (std::vector<float>& column : leaves.columns) column.emplace_back();
    setRow(leaves, leaves.kinds.size() - 1, t, sphere);
}

}  // namespace

void LeafColumns::appendTriangle(const FanTriangle& triangle) { appendRow(*this, LaneKind::Triangle, triangle, {}); }
void LeafColumns::appendSphere(Sphere sphere) { appendRow(*this, LaneKind::Sphere, {}, sphere); }
void LeafColumns::appendOther() { appendRow(*this, LaneKind::Other, {}, {}); }

void LeafColumns::finish() {
    for (int pad = 0; pad < 4; ++pad) appendOther();
    kinds.resize(kinds.size() - 4);
}

// An other row is all zeros, as are the padding rows.
void LeafColumns::resetTo(std::size_t items) {
    kinds.assign(items, LaneKind::Other);
    for (std::vector<float>& column : columns) column.assign(items + 4, 0.0f);
}

void LeafColumns::setTriangle(std::size_t at, const FanTriangle& triangle) {
    kinds[at] = LaneKind::Triangle;
    setRow(*this, at, triangle, {});
}

void LeafColumns::setSphere(std::size_t at, Sphere sphere) {
    kinds[at] = LaneKind::Sphere;
    setRow(*this, at, {}, sphere);
}

FourHits hitFourTriangles(const LeafColumns& leaves, std::size_t at, Ray ray) {
    const auto column = [&](int c) { return lanesOf(leaves.columns[static_cast<std::size_t>(c)].data() + at); };
    using C = LeafColumns;
    const Lanes v0x = column(C::V0x), v0y = column(C::V0y), v0z = column(C::V0z);
    const Lanes nx = column(C::Nx), ny = column(C::Ny), nz = column(C::Nz);
    const Lanes ox = broadcast(ray.origin.x), oy = broadcast(ray.origin.y), oz = broadcast(ray.origin.z);
    const Lanes dx = broadcast(ray.direction.x), dy = broadcast(ray.direction.y), dz = broadcast(ray.direction.z);
    // The plane's parameter: -(dot(o - v0, n) / dot(d, n)).
    const Lanes t = -((((ox - v0x) * nx + (oy - v0y) * ny) + (oz - v0z) * nz) / ((dx * nx + dy * ny) + dz * nz));
    // The hit in the edge basis of e1 and e2.
    const Lanes wx = (ox + t * dx) - v0x, wy = (oy + t * dy) - v0y, wz = (oz + t * dz) - v0z;
    const Lanes we1 = (wx * column(C::E1x) + wy * column(C::E1y)) + wz * column(C::E1z);
    const Lanes we2 = (wx * column(C::E2x) + wy * column(C::E2y)) + wz * column(C::E2z);
    const Lanes off = column(C::OffDiagonal), inverse = column(C::Inverse);
    const Lanes u = (column(C::L2Squared) * we1 + off * we2) * inverse;
    const Lanes s = (off * we1 + column(C::L1Squared) * we2) * inverse;
    FourHits hits{};
    for (int k = 0; k < 4; ++k) {
        hits.t[k] = t[k];
        // t < 0 or not a number rejects, as the scalar routine does.
        hits.found[k] = !(t[k] < 0.0f || t[k] != t[k]) && u[k] >= 0.0f && s[k] >= 0.0f && u[k] + s[k] <= 1.0f;
    }
    return hits;
}

FourHits hitFourSpheres(const LeafColumns& leaves, std::size_t at, Ray ray) {
    const auto column = [&](int c) { return lanesOf(leaves.columns[static_cast<std::size_t>(c)].data() + at); };
    using C = LeafColumns;
    const Vec3 d = ray.direction;
    const float lengthD = length(d);
    const Lanes a = broadcast(lengthD * lengthD);
    const Lanes dx = broadcast(d.x), dy = broadcast(d.y), dz = broadcast(d.z);
    const Lanes wx = broadcast(ray.origin.x) - column(C::Cx), wy = broadcast(ray.origin.y) - column(C::Cy),
                wz = broadcast(ray.origin.z) - column(C::Cz);
    const Lanes b = 2.0f * ((wx * dx + wy * dy) + wz * dz);
    const Lanes squaredW = (wx * wx + wy * wy) + wz * wz;
    const Lanes r = column(C::Radius);
    Lanes lengthW;
    for (int k = 0; k < 4; ++k) lengthW[k] = std::sqrt(squaredW[k]);
    const Lanes c = lengthW * lengthW - r * r;
    // The nearer root ahead, as the scalar routine takes it.
    const Lanes disc = b * b - (4.0f * a) * c;
    Lanes s;
    for (int k = 0; k < 4; ++k) s[k] = std::sqrt(disc[k]);
    const Lanes t1 = (-b + s) / (2.0f * a), t2 = (-b - s) / (2.0f * a);
    FourHits hits{};
    for (int k = 0; k < 4; ++k) {
        hits.found[k] = disc[k] >= 0.0f && !(t1[k] < 0.0f);
        hits.t[k] = t2[k] < 0.0f ? t1[k] : t2[k];
    }
    return hits;
}
