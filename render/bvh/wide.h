// The four-wide trees of the origin regions: the binary trees collapsed
// four children to a node, each child's box widened once for every origin
// the region holds, so that rays from there need no widening of their own.
#pragma once

#include "render/bvh/bvh.h"
#include "scene/scene.h"

// Builds bvh.eye and bvh.surfaces from the binary trees: the eye, and the
// box `lower`, `upper` around every bounded object with room for the float
// error of hit points and the offset of the rays that leave them.
void widenForOrigins(const Scene& scene, const double lower[3], const double upper[3], bool anyBounded, Bvh& bvh);
