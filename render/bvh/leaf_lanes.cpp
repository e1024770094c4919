#include "render/bvh/leaf_lanes.h"

#include <array>
#include <cmath>

#include "render/bvh/lanes.h"

namespace {

template <std::size_t N>
void setLane(LeafBlocks& leaves, std::size_t at, std::int32_t object, LaneKind kind,
             const std::array<float, N>& values) {
    LeafBlock& block = leaves.blocks[at / 4];
    const std::size_t lane = at % 4;
    block.objects[lane] = object;
    const auto bit = static_cast<std::uint8_t>(1u << lane);
    for (std::uint8_t* kinds : {&block.triangles, &block.spheres, &block.others})
        *kinds &= static_cast<std::uint8_t>(~bit);
    (kind == LaneKind::Triangle ? block.triangles : kind == LaneKind::Sphere ? block.spheres : block.others) |= bit;
    for (std::size_t r = 0; r < N; ++r) block.rows[r][lane] = values[r];
}

std::array<float, LeafBlock::kRows> rowsOf(const FanTriangle& t) {
    return {t.v0.x, t.v0.y, t.v0.z, t.e1.x, t.e1.y,      t.e1.z,      t.e2.x,        t.e2.y,
            t.e2.z, t.n.x,  t.n.y,  t.n.z,  t.l1Squared, t.l2Squared, t.offDiagonal, t.inverse};
}

std::array<float, 4> rowsOf(Sphere sphere) {
    return {sphere.center.x, sphere.center.y, sphere.center.z, sphere.radius};
}

}  // namespace

void LeafBlocks::resetTo(std::size_t count) { blocks.assign((count + 3) / 4, LeafBlock{}); }

void LeafBlocks::setTriangle(std::size_t at, std::int32_t object, const FanTriangle& triangle) {
    setLane(*this, at, object, LaneKind::Triangle, rowsOf(triangle));
}

void LeafBlocks::setSphere(std::size_t at, std::int32_t object, Sphere sphere) {
    setLane(*this, at, object, LaneKind::Sphere, rowsOf(sphere));
}

void LeafBlocks::setOther(std::size_t at, std::int32_t object) {
    setLane(*this, at, object, LaneKind::Other, std::array<float, 0>{});
}

FourHits hitFourTriangles(const LeafBlock& block, const Ray& ray) {
    const auto column = [&](int row) { return lanesOf(block.rows[row]); };
    using C = LeafBlock;
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
    // t < 0 or not a number rejects, as the scalar routine does.
    const Lanes zero = broadcast(0.0f);
    const LaneMask found = (t >= zero) & (u >= zero) & (s >= zero) & (u + s <= broadcast(1.0f));
    return {t, bitsOf(found)};
}

FourHits hitFourSpheres(const LeafBlock& block, const Ray& ray) {
    const auto column = [&](int row) { return lanesOf(block.rows[row]); };
    using C = LeafBlock;
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
    const Lanes zero = broadcast(0.0f);
    // Most groups miss outright: no root to take.
    if (bitsOf(disc >= zero) == 0) return {zero, 0};
    Lanes s;
    for (int k = 0; k < 4; ++k) s[k] = std::sqrt(disc[k]);
    const Lanes t1 = (-b + s) / (2.0f * a), t2 = (-b - s) / (2.0f * a);
    // !(t1 < 0) lets a NaN through, as the scalar routine does.
    const LaneMask found = (disc >= zero) & ~(t1 < zero);
    return {t2 < zero ? t1 : t2, bitsOf(found)};
}
