// What a ray meets in the scene: one object, the nearest of all, or any at
// all before it reaches a light. Each query goes through the hierarchy when
// the context has one and by the linear search in list order otherwise;
// both give the same answer.
#pragma once

#include <array>
#include <span>

#include "geometry/vec3.h"
#include "render/context.h"
#include "render/object_hit.h"
#include "scene/scene.h"

// Nearest object along the ray: its parameter, or kNoHit. On a hit sets the
// object's index and the unit normal; ties go to the earlier object.
float findNearestHit(const TraceContext& context, const Ray& ray, int& objectIndex, Vec3& normal);

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
