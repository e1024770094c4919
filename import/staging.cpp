#include "import/staging.h"

#include <cfloat>
#include <cmath>

#include "render/camera.h"

namespace {

struct Point {
    double x, y, z;
};

Point operator+(Point a, Point b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Point operator*(double s, Point p) { return {s * p.x, s * p.y, s * p.z}; }

bool toVec(Point p, Vec3& out) {
    for (const double value : {p.x, p.y, p.z}) {
        if (!(std::fabs(value) <= FLT_MAX)) return false;
    }
    out = {static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)};
    return true;
}

// Looking down at the model from the front, slightly above: unit vectors.
constexpr Point kView{0, -0.371390676354104, -0.928476690885259};
constexpr Point kRight{1, 0, 0};
constexpr Point kUp{0, 0.928476690885259, -0.371390676354104};

// The bounding sphere fills 1 / 1.2 of the picture's height, seen from 3.2
// radii away at a 4:3 aspect.
constexpr double kHalfHeight = 1.2;
constexpr double kHalfWidth = kHalfHeight * 4 / 3;
constexpr double kEyeDistance = 3.2;

}  // namespace

std::optional<Staging> stagingFor(const Bounds& bounds) {
    if (bounds.empty()) return std::nullopt;
    const Point center{0.5 * (bounds.min[0] + bounds.max[0]), 0.5 * (bounds.min[1] + bounds.max[1]),
                       0.5 * (bounds.min[2] + bounds.max[2])};
    const double radius =
        0.5 * std::hypot(bounds.max[0] - bounds.min[0], bounds.max[1] - bounds.min[1], bounds.max[2] - bounds.min[2]);
    if (!(radius > 0) || !std::isfinite(radius)) return std::nullopt;

    Staging s{};
    bool ok = toVec(center, s.camera.screenCenter) && toVec(kHalfWidth * radius * kRight, s.camera.screenRight) &&
              toVec(kHalfHeight * radius * kUp, s.camera.screenUp) &&
              toVec(-kEyeDistance * radius * kView, s.camera.eyeOffset);
    s.ambient = {0.15f, 0.15f, 0.15f};
    s.lights[0].color = {0.8f, 0.8f, 0.8f};
    s.lights[1].color = {0.35f, 0.35f, 0.4f};
    ok = ok && toVec(center + radius * Point{-3, 5, 4}, s.lights[0].position) &&
         toVec(center + radius * Point{4, 3, 3}, s.lights[1].position);
    const double lightRadius = 0.3 * radius;
    s.lights[0].radius = s.lights[1].radius = static_cast<float>(lightRadius);

    // A gap under the model keeps the floor from meeting its lowest faces.
    const double y = bounds.min[1] - 0.01 * radius;
    const double half = 6 * radius;
    ok = ok && toVec({center.x - half, y, center.z + half}, s.floor[0]) &&
         toVec({center.x + half, y, center.z + half}, s.floor[1]) &&
         toVec({center.x + half, y, center.z - half}, s.floor[2]) &&
         toVec({center.x - half, y, center.z - half}, s.floor[3]);
    s.floorMaterial = {{0.55f, 0.55f, 0.55f}, 0.0f, 10.0f, {0.0f, 0.0f, 0.0f}, 2.25f, 1.0f};

    // The renderer must get a picture from the camera and see the floor.
    const Triangle floorTriangle{s.floor[0], s.floor[1], s.floor[2]};
    if (!ok || s.lights[0].radius <= 0 || imageHeightFor(s.camera, 300) <= 0 || !isHittable(floorTriangle)) {
        return std::nullopt;
    }
    return s;
}
