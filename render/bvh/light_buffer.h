// Hard shadows aim every ray at a light's centre, from near the surfaces.
// Seen from the light, each object covers a patch of directions: a cube of
// direction cells around the light lists, for each cell, the objects whose
// widened box may reach into it, and a ray towards the light asks only the
// objects of the cell it comes from.
//
// An object blocks the ray from O with direction fl(L - O) at t < 1 only
// where the exact point O + t fl(L - O) lies in its box widened for the
// origins near the surfaces, as the hierarchy's walk relies on. That point
// lies within the rounding of fl(L - O) of the segment from O to L, so its
// direction from L differs from that of O by less than that rounding over
// its distance from L; each object enters the cells of its directions with
// that much to spare, and one too near the light to say enters every cell.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "geometry/vec3.h"
#include "scene/scene.h"

struct Bvh;

// Cells along each edge of a face of the cube.
inline constexpr int kLightCells = 64;
// A cell reached by more objects than this leaves its rays to the hierarchy.
inline constexpr std::size_t kMostCellObjects = 12;

struct LightBuffer {
    Vec3 light{};
    bool usable = false;
    // Each cell's objects: objects[cellStart[c] .. cellStart[c + 1]);
    // crowded[c] where there were too many to list.
    std::vector<std::int32_t> cellStart;
    std::vector<std::uint8_t> crowded;
    std::vector<std::int32_t> objects;
};

// The buffer of the light at `light`, from the hierarchy's items and their
// widening for the origins near the surfaces.
LightBuffer buildLightBuffer(const Bvh& bvh, const Scene& scene, Vec3 light);

// The objects that may block the ray from `origin` to the buffer's light,
// beside those the hierarchy tests on every ray; nothing where the buffer
// cannot say (an origin outside the region of the surfaces or at the
// light, a crowded cell), and then the hierarchy answers. An answer is only
// given for a ray that boundable accepts.
std::optional<std::span<const std::int32_t>> objectsTowardsLight(const Bvh& bvh, const LightBuffer& buffer,
                                                                 const Vec3& origin);
