// Local shading of a hit point: ambient, and per light a diffuse term and a
// highlight weighted by the visibility that the shadow mode computes.
#pragma once

#include "geometry/vec3.h"
#include "render/context.h"
#include "render/hits.h"

// Number of samples of each soft shadow mode; visibility is a multiple of 1/120.
inline constexpr int kSoftShadowSamples = 120;
// Generator draws of one soft-jitter shadow: three per sample.
inline constexpr int kJitterDrawsPerLight = 3 * kSoftShadowSamples;

// `out` receives the local colour. `surfaceOffset` (+/- kSurfaceOffset) moves
// the shadow rays' origins off the surface; V points back along the ray.
void shadeLocal(const TraceContext& context, int objectIndex, Vec3 point, Vec3 normal, Color& out, float specularWeight,
                float surfaceOffset, Vec3 view);

// Visibility from 120 samples along the world axes around the light.
float softShadowAxes(const TraceContext& context, Vec3 origin, int lightIndex);

// Visibility from 120 samples on the sphere of the light's radius, three
// generator draws each.
float softShadowJitter(const TraceContext& context, Vec3 origin, int lightIndex);
