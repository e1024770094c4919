// Generated scenes for the benchmarks and for the tests that hold the fast
// paths to the reference: random ones with every kind and its awkward
// cases, and large ones of one kind.
#pragma once

#include <cstdint>
#include <ostream>

#include "scene/scene.h"

// 12 to 20 objects of all kinds with random materials, one to three lights
// and a camera that sees them. Includes negative radii, skewed and
// left-handed boxes, non-orthogonal ellipsoid axes, non-planar polygons,
// tilted cylinders, exact duplicates (ties), polygons sharing edges and,
// now and then, degenerate or non-finite data.
Scene randomScene(std::uint32_t seed);

// A closed bumpy blob tessellated into about `triangles` triangles, each its
// own POLYGON, viewed from the front.
Scene triangleMesh(int triangles);

// `count` spheres on a jittered grid filling the same volume whatever the count.
Scene sphereField(int count, std::uint32_t seed);

// `count` objects of all five kinds, mixed, filling the same volume.
Scene mixedScene(int count, std::uint32_t seed);

// 30 spheres on a floor, by turns clear glass, mirror and matte, under two
// lights; the small scene that is compared with other ray tracers.
Scene glassField(std::uint32_t seed);

// The scene in the scene file format, every float written so that it reads
// back to the same bits.
void writeScene(std::ostream& out, const Scene& scene);
