// Leaves test their triangles four at a time. A polygon of three vertices
// is one fan triangle; its vertex-only terms are laid out column by column
// in the order of the hierarchy's items, so four neighbours load as lanes.
// The lanes repeat fanTriangleHit's float operations in its order, so each
// result is the scalar routine's, bit for bit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "geometry/shapes.h"
#include "geometry/vec3.h"

struct TriangleColumns {
    enum Column { V0x, V0y, V0z, E1x, E1y, E1z, E2x, E2y, E2z, Nx, Ny, Nz, L1Squared, L2Squared, OffDiagonal, Inverse };
    static constexpr int kColumns = 16;
    // Four entries past the last item, so a group of four never reads past the end.
    std::array<std::vector<float>, kColumns> columns;
    std::vector<std::uint8_t> isTriangle;  // per item: a one-triangle polygon

    void append(const FanTriangle* triangle);  // null: an item of another kind
    void finish();                             // pads the columns
};

// Items at..at+3: whether the ray meets each triangle at t >= 0 within its
// edges, and that t. Lanes of other items say nothing.
struct FourHits {
    float t[4];
    bool inside[4];
};
FourHits hitFourTriangles(const TriangleColumns& triangles, std::size_t at, Ray ray);
