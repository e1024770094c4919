// Cylinders for rays almost along their axis. A cylinder's side test is
// ill-conditioned for such rays, so no bound can be trusted for them; a table
// over ray directions lists, per direction cell, the cylinders to test
// outright.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "render/bvh/bvh.h"
#include "render/bvh/bounds.h"

// Direction table: a cube map of kSide x kSide cells per face. A cylinder's
// side test is trusted only for rays whose angle to its axis has a sine of
// at least kParallelSine; the cells that may hold closer directions list it.
inline constexpr int kSide = 16;
inline constexpr int kCellCount = 6 * kSide * kSide;
inline constexpr double kParallelSine = 1.0 / 64.0;
inline constexpr double kCellSlack = 0.002;  // radians: rounding of the cell lookup

// The cell of a ray direction.
int directionCell(float x, float y, float z);

// Fills bvh.cellStart, cellItems, parallelAxes and cellRadius from the
// cylinders the hierarchy bounds, in object order.
void buildDirectionTable(const Scene& scene, std::span<const std::int32_t> boundedCylinders, Bvh& bvh);

// The cylinders that the ray must test outright, as [first, last).
std::pair<const std::int32_t*, const std::int32_t*> parallelCylinders(const Bvh& bvh, const Ray& ray);

// Whether some ray of a beam within `spread` radians of `toLight` may fall in
// a direction cell that lists a cylinder: a cell lists one when some point
// of it lies within the parallel cone of the axis, and a ray lies in its
// cell, at most a cell's radius from any point of it.
bool beamMayNeedDirectionTable(const Bvh& bvh, const Dvec& toLight, double spread);
