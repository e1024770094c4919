// Leaves test their triangles and spheres four at a time. A polygon of
// three vertices is one fan triangle; its vertex-only terms, or a sphere's
// centre and radius, are laid out column by column in the order of the
// hierarchy's items, so four neighbours load as lanes. The lanes repeat the
// scalar routines' float operations in their order, so each result is the
// scalar routine's, bit for bit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "geometry/shapes.h"
#include "geometry/vec3.h"

enum class LaneKind : std::uint8_t { Other, Triangle, Sphere };

struct LeafColumns {
    enum Column {
        V0x,
        V0y,
        V0z,
        E1x,
        E1y,
        E1z,
        E2x,
        E2y,
        E2z,
        Nx,
        Ny,
        Nz,
        L1Squared,
        L2Squared,
        OffDiagonal,
        Inverse,
        Cx,
        Cy,
        Cz,
        Radius
    };
    static constexpr int kColumns = 20;
    // Four entries past the last item, so a group of four never reads past the end.
    std::array<std::vector<float>, kColumns> columns;
    std::vector<LaneKind> kinds;  // per item

    void appendTriangle(const FanTriangle& triangle);
    void appendSphere(Sphere sphere);
    void appendOther();
    void finish();  // pads the columns

    // All rows at once: `items` rows of other kinds, padded, then set in any order.
    void resetTo(std::size_t items);
    void setTriangle(std::size_t at, const FanTriangle& triangle);
    void setSphere(std::size_t at, Sphere sphere);
};

// Items at..at+3: whether the ray meets each (a triangle at t >= 0 within
// its edges, a sphere's nearer root ahead), and that t, as the scalar
// routine would return it. Lanes of other kinds say nothing.
struct FourHits {
    float t[4];
    bool found[4];
};
FourHits hitFourTriangles(const LeafColumns& leaves, std::size_t at, Ray ray);
FourHits hitFourSpheres(const LeafColumns& leaves, std::size_t at, Ray ray);
