#include "render/leaf_triangles.h"

#include "render/lanes.h"

void TriangleColumns::append(const FanTriangle* triangle) {
    isTriangle.push_back(triangle ? 1 : 0);
    const FanTriangle t = triangle ? *triangle : FanTriangle{};
    const float values[kColumns] = {t.v0.x, t.v0.y, t.v0.z, t.e1.x, t.e1.y,      t.e1.z,      t.e2.x,        t.e2.y,
                                    t.e2.z, t.n.x,  t.n.y,  t.n.z,  t.l1Squared, t.l2Squared, t.offDiagonal, t.inverse};
    for (int c = 0; c < kColumns; ++c) columns[static_cast<std::size_t>(c)].push_back(values[c]);
}

void TriangleColumns::finish() {
    for (int pad = 0; pad < 4; ++pad) append(nullptr);
    isTriangle.resize(isTriangle.size() - 4);
}

FourHits hitFourTriangles(const TriangleColumns& triangles, std::size_t at, Ray ray) {
    const auto column = [&](int c) { return lanesOf(triangles.columns[static_cast<std::size_t>(c)].data() + at); };
    using C = TriangleColumns;
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
        hits.inside[k] = !(t[k] < 0.0f || t[k] != t[k]) && u[k] >= 0.0f && s[k] >= 0.0f && u[k] + s[k] <= 1.0f;
    }
    return hits;
}
