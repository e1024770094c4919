// Leaves test their triangles and spheres four at a time. A polygon of
// three vertices is one fan triangle; its vertex-only terms, or a sphere's
// centre and radius, sit row by row in a block of four consecutive items of
// the hierarchy, so four neighbours load as lanes from a few cache lines.
// The lanes repeat the scalar routines' float operations in their order, so
// each result is the scalar routine's, bit for bit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "geometry/shapes.h"
#include "geometry/vec3.h"
#include "render/bvh/lanes.h"

enum class LaneKind : std::uint8_t { Other, Triangle, Sphere };

// A polygon whose fan has at most this many triangles is that many
// triangle lanes: its hit is the nearest of its triangles' anyway.
inline constexpr std::size_t kMostFanLanes = 4;

struct alignas(32) LeafBlock {
    // A sphere's lane uses the first four rows.
    enum Row { V0x, V0y, V0z, E1x, E1y, E1z, E2x, E2y, E2z, Nx, Ny, Nz, L1Squared, L2Squared, OffDiagonal, Inverse };
    enum SphereRow { Cx, Cy, Cz, Radius };
    static constexpr int kRows = 16;
    std::int32_t objects[4] = {-1, -1, -1, -1};
    // Bit k set where lane k holds a triangle, a sphere, any other object.
    std::uint8_t triangles = 0, spheres = 0, others = 0;
    float rows[kRows][4] = {};
};

// Item k of the hierarchy is lane k % 4 of block k / 4.
struct LeafBlocks {
    std::vector<LeafBlock> blocks;

    // `count` empty lanes (object -1, asked by nothing), to be set in any order.
    void resetTo(std::size_t count);
    void setTriangle(std::size_t at, std::int32_t object, const FanTriangle& triangle);
    void setSphere(std::size_t at, std::int32_t object, Sphere sphere);
    void setOther(std::size_t at, std::int32_t object);  // asked by its own routine
};

// The block's items: whether the ray meets each (a triangle at t >= 0
// within its edges, a sphere's nearer root ahead), and that t, as the
// scalar routine would return it. Lanes of other kinds say nothing.
struct FourHits {
    Lanes t;
    unsigned found;  // bit k for lane k
};
FourHits hitFourTriangles(const LeafBlock& block, const Ray& ray);
FourHits hitFourSpheres(const LeafBlock& block, const Ray& ray);
