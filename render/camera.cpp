#include "render/camera.h"

#include <climits>
#include <cmath>

int imageHeightFor(const Camera& camera, int width) {
    const float ratio = length(camera.screenUp) / length(camera.screenRight);
    if (!std::isfinite(ratio)) return 0;
    const double height = static_cast<double>(width) * static_cast<double>(ratio);
    if (std::isnan(height)) return 0;
    if (height >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(height);
}

namespace {

// (a - half) / half, formed in double and rounded once. A one-pixel-wide
// image has no half width; its single column looks through the centre.
float imagePlaneCoordinate(float a, float half) {
    if (half == 0.0f) return 0.0f;
    return static_cast<float>((static_cast<double>(a) - half) / half);
}

float combine(float u, float right, float center, float v, float up) {
    return static_cast<float>((static_cast<double>(u) * right + center) + static_cast<double>(v) * up);
}

}  // namespace

Ray primaryRay(const Camera& camera, int width, int height, float x, float y) {
    const float halfWidth = static_cast<float>(width / 2);
    const float halfHeight = static_cast<float>(height / 2);
    const float u = imagePlaneCoordinate(x, halfWidth);
    const float v = -imagePlaneCoordinate(y, halfHeight);
    const Vec3 c = camera.screenCenter, r = camera.screenRight, up = camera.screenUp;
    const Vec3 planePoint{combine(u, r.x, c.x, v, up.x), combine(u, r.y, c.y, v, up.y), combine(u, r.z, c.z, v, up.z)};
    const Vec3 eye = c + camera.eyeOffset;
    return {eye, planePoint - eye};
}
