// Soft shadows cast many rays from one origin to points around a light. The
// objects whose widened boxes meet the box around all those segments are
// all that can block any of them, so each ray tests only those.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "geometry/vec3.h"
#include "render/bvh/bvh.h"
#include "scene/scene.h"

inline constexpr int kMaxBeamObjects = 64;

struct ShadowBeam {
    struct Candidate {
        double lower[3];  // the object's box, widened for the beam's origin
        double upper[3];
        std::int32_t object;
    };
    std::array<Candidate, kMaxBeamObjects> candidates;
    int count = 0;
    bool nearlyParallelCylinders = false;  // some ray may need the direction table
};

// Gathers the beam of the rays (origin, directions[i]), each reaching its
// light sample at parameter 1; every sample lies within `radius` of `light`.
// False, leaving the rays to acceleratedIsBlocked, when a ray cannot be
// bounded or too many objects meet the beam.
bool gatherShadowBeam(const Bvh& bvh, const Scene& scene, Vec3 origin, Vec3 light, float radius,
                      std::span<const Vec3> directions, ShadowBeam& beam);

// acceleratedIsBlocked for one ray of a gathered beam. Asks `lastBlocker`
// (an object index, or -1) first and sets it to the blocker it finds.
bool beamRayIsBlocked(const Bvh& bvh, const Scene& scene, const ShadowBeam& beam, const Ray& ray, int& lastBlocker);
