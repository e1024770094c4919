// What a ray meets in the scene: one object, the nearest of all, or any at
// all before it reaches a light. Each query goes through the hierarchy when
// the context has one and by the linear search in list order otherwise;
// both give the same answer.
#pragma once

#include <array>
#include <span>

#include "geometry/intersect.h"
#include "geometry/shapes.h"
#include "geometry/vec3.h"
#include "render/context.h"
#include "scene/scene.h"

// What a hierarchy computed beforehand from an object's own data: a
// polygon's fan (fanTriangle) or a cylinder's axes (cylinderAxes).
struct PreparedShape {
    std::span<const FanTriangle> fan;
    const CylinderAxes* cylinder = nullptr;
    const EllipsoidFrame* ellipsoid = nullptr;
    const BoxFaces* box = nullptr;
};

// Picks the routine for the object's kind; an unknown kind returns kNoHit and
// touches nothing.
float intersectObject(const SceneObject& object, const Ray& ray, float limit, Vec3& normal, float& entry, float& exit,
                      const PreparedShape& prepared = {});

// Whether the object is hit strictly before `limit`: the any-hit question of
// a shadow ray, whose direction reaches the light at 1.
bool blocksBefore(const SceneObject& object, const Ray& ray, float limit, const PreparedShape& prepared = {});

// Nearest object along the ray: its parameter, or kNoHit. On a hit sets the
// object's index and the unit normal; ties go to the earlier object.
float findNearestHit(const TraceContext& context, const Ray& ray, int& objectIndex, Vec3& normal);

// What findNearestHit answers for one ray: t, and on a hit the object and
// its unit normal.
struct NearestHit {
    float t = kNoHit;
    int objectIndex = 0;
    Vec3 normal{};
};

// findNearestHit for each ray, into hits[i]; rays that share their origin
// (primary rays) may go through the hierarchy together.
void findNearestHits(const TraceContext& context, std::span<const Ray> rays, std::span<NearestHit> hits);

// True when any object lies strictly before parameter 1 of the ray; the
// direction reaches exactly to the light sample.
bool isShadowed(const TraceContext& context, Vec3 origin, Vec3 direction);
// isShadowed towards the centre of light `lightIndex`: the direction is
// its position - origin.
bool lightIsBlocked(const TraceContext& context, const Vec3& origin, int lightIndex);

inline constexpr std::size_t kMaxBeamRays = 128;

// How many of the rays from `origin` to the samples are blocked, each as
// isShadowed answers; every sample lies within the light's radius of it.
int countBlocked(const TraceContext& context, Vec3 origin, const Light& light, std::span<const Vec3> samples);
