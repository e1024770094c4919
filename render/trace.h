// The recursive trace of one ray.
#pragma once

#include "geometry/vec3.h"
#include "render/context.h"
#include "render/hits.h"

// How far secondary and shadow rays start off the surface they leave.
inline constexpr float kSurfaceOffset = 0.001f;

// Adds the colour seen along the ray to `accumulator`, then filters the sum
// by the medium crossed. `currentIndex` is exactly 1.0 in air.
void traceRay(const TraceContext& context, const Ray& ray, int depth, Color& accumulator, float currentIndex);

// traceRay with the ray's nearest hit already found (findNearestHits).
void traceFromHit(const TraceContext& context, const Ray& ray, const NearestHit& hit, int depth, Color& accumulator,
                  float currentIndex);

// Unpolarised Fresnel reflectance with permeabilities; n1, mu1 on the side
// the ray comes from, c the non-negative cosine of incidence.
float fresnelReflectance(float n1, float n2, float mu1, float mu2, float c);

// The refracted ray at `point`; V points back along the incoming ray.
Ray refractRay(Vec3 view, Vec3 normal, float n1, float n2, Vec3 point);
