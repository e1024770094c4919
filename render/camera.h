// What the camera makes of a picture: its height, and the primary ray
// through any point of it.
#pragma once

#include "geometry/vec3.h"
#include "scene/scene.h"

// Tallest picture a camera may ask for; beyond it the camera is refused.
inline constexpr int kMaxImageHeight = 16384;

// W * |screenUp| / |screenRight|, the ratio rounded to a float first and the
// product truncated; 0 when not finite (no camera). Saturates at INT_MAX.
int imageHeightFor(const Camera& camera, int width);

// The primary ray through the image point (x, y), measured from the top-left
// corner in pixels; the direction is not normalised.
Ray primaryRay(const Camera& camera, int width, int height, float x, float y);
