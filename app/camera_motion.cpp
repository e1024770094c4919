#include "app/camera_motion.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>

namespace {

// Motions are worked out in double and rounded to float once.
struct Vector {
    double x;
    double y;
    double z;
};

Vector operator+(Vector a, Vector b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vector operator-(Vector a, Vector b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vector operator-(Vector a) { return {-a.x, -a.y, -a.z}; }
Vector operator*(double s, Vector v) { return {s * v.x, s * v.y, s * v.z}; }
double dot(Vector a, Vector b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vector cross(Vector a, Vector b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double norm(Vector v) { return std::sqrt(dot(v, v)); }
Vector widen(Vec3 v) { return {v.x, v.y, v.z}; }
Vec3 narrow(Vector v) { return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)}; }

// Zero or not finite gives false and leaves `out` alone.
bool unit(Vector v, Vector& out) {
    const double n = norm(v);
    if (!(n > 0.0) || !std::isfinite(n)) return false;
    out = (1.0 / n) * v;
    return true;
}

struct Rotation {
    double m[3][3];
};

Vector operator*(const Rotation& r, Vector v) {
    return {r.m[0][0] * v.x + r.m[0][1] * v.y + r.m[0][2] * v.z, r.m[1][0] * v.x + r.m[1][1] * v.y + r.m[1][2] * v.z,
            r.m[2][0] * v.x + r.m[2][1] * v.y + r.m[2][2] * v.z};
}

Rotation operator*(const Rotation& a, const Rotation& b) {
    Rotation product{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) product.m[i][j] += a.m[i][k] * b.m[k][j];
    return product;
}

// Rodrigues' formula; `axis` is unit length.
Rotation rotationAbout(Vector axis, double angle) {
    const double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
    const double x = axis.x, y = axis.y, z = axis.z;
    return {{{c + t * x * x, t * x * y - s * z, t * x * z + s * y},
             {t * x * y + s * z, c + t * y * y, t * y * z - s * x},
             {t * x * z - s * y, t * y * z + s * x, c + t * z * z}}};
}

bool finite(Vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

bool finite(const Camera& c) {
    return finite(c.screenCenter) && finite(c.screenRight) && finite(c.screenUp) && finite(c.eyeOffset);
}

float aspectOf(Vec3 right, Vec3 up) { return length(up) / length(right); }

// A camera the picture height can be taken from: without one there is
// nothing to move.
bool usable(const Camera& c) {
    return finite(c) && length(c.screenRight) > 0.0f && length(c.screenUp) > 0.0f &&
           std::isfinite(aspectOf(c.screenRight, c.screenUp));
}

// Where the ray through the picture's centre goes; an eye on the image plane
// looks along the plane's normal.
bool viewDirection(const Camera& c, Vector& out) {
    return unit(-widen(c.eyeOffset), out) || unit(cross(widen(c.screenUp), widen(c.screenRight)), out);
}

// `value` moved by `ulps` floats, up for positive counts.
float stepped(float value, int ulps) {
    for (; ulps > 0; --ulps) value = std::nextafter(value, HUGE_VALF);
    for (; ulps < 0; ++ulps) value = std::nextafter(value, -HUGE_VALF);
    return value;
}

// The i-th of the offsets 0, 1, -1, 2, -2, ..., nearest first.
int alternating(int i) { return i % 2 ? (i + 1) / 2 : -(i / 2); }

// A camera in double, before it is rounded.
struct Placement {
    Vector screenCenter;
    Vector screenRight;
    Vector screenUp;
    Vector eyeOffset;
};

// `moved` rounded to float with a float length of exactly `target`: as it
// is where that holds (a translation keeps the vector's bits), else rescaled
// and its largest component stepped an ulp at a time. That component moves
// the length most per ulp, yet by no more than an ulp of the length, so no
// length in reach is stepped over.
bool roundToLength(Vector moved, float target, Vec3& out) {
    if (length(narrow(moved)) == target) {
        out = narrow(moved);
        return true;
    }
    Vec3 v = narrow((target / norm(moved)) * moved);
    float* components[] = {&v.x, &v.y, &v.z};
    float* largest = *std::max_element(std::begin(components), std::end(components),
                                       [](float* a, float* b) { return std::fabs(*a) < std::fabs(*b); });
    const float start = *largest;
    constexpr int kUlps = 8;
    for (int i = 0; i <= 2 * kUlps; ++i) {
        *largest = stepped(start, alternating(i));
        if (length(v) == target) {
            out = v;
            return true;
        }
    }
    return false;
}

bool roundWithLengths(const Placement& moved, float right, float up, Camera& out) {
    out.screenCenter = narrow(moved.screenCenter);
    out.eyeOffset = narrow(moved.eyeOffset);
    return roundToLength(moved.screenRight, right, out.screenRight) && roundToLength(moved.screenUp, up, out.screenUp);
}

// Visits the positive floats around `value`, the nearest ulps first and
// then ever coarser, out to about a factor of two either way; true once
// `visit` is.
template <class Visit>
bool visitFloatsNear(float value, Visit visit) {
    constexpr int kPerStage = 64, kStages = 18;  // 64 << 17 ulps: a whole binade
    const std::int64_t start = std::bit_cast<std::uint32_t>(value);
    for (int stage = 0; stage < kStages; ++stage) {
        for (int i = 0; i <= 2 * kPerStage; ++i) {
            const int offset = alternating(i);
            // The finer stage before has been there.
            if (stage > 0 && std::abs(offset) <= kPerStage / 2) continue;
            const std::int64_t bits = start + offset * (std::int64_t{1} << stage);
            if (bits <= 0 || bits >= std::bit_cast<std::uint32_t>(HUGE_VALF)) continue;
            if (visit(std::bit_cast<float>(static_cast<std::uint32_t>(bits)))) return true;
        }
    }
    return false;
}

// Rounds `moved` to float with screen vectors whose float lengths have the
// ratio `original` has, so the picture height stays. `scale` is how much the
// motion scaled the screen; a rigid motion (1) keeps the length of
// screenRight, and with it that of screenUp, so the field of view does not
// drift over thousands of steps. `original` when that cannot be had or a
// value is not finite.
Camera settle(const Camera& original, const Placement& moved, double scale) {
    const float right = length(original.screenRight);
    const float aspect = length(original.screenUp) / right;
    // Most lengths of screenRight have a float length of screenUp at the
    // ratio, but for a ratio just below a power of two whole runs of them
    // have none, so the nearest that has one is searched for.
    const float wanted = static_cast<float>(scale * right);
    // A change of the field of view never settles back where it started.
    const auto onWantedSide = [&](float r) { return scale == 1.0 || (scale > 1.0 ? r > right : r < right); };
    Camera next;
    const bool found = visitFloatsNear(wanted, [&](float r) {
        const float u = static_cast<float>(static_cast<double>(aspect) * r);
        return onWantedSide(r) && u / r == aspect && roundWithLengths(moved, r, u, next);
    });
    return found && usable(next) ? next : original;
}

Placement placementOf(const Camera& c) {
    return {widen(c.screenCenter), widen(c.screenRight), widen(c.screenUp), widen(c.eyeOffset)};
}

// Rotates the camera about `center`.
Camera rotateCamera(const Camera& camera, Vector center, const Rotation& rotation) {
    const Placement p = placementOf(camera);
    const Placement moved{center + rotation * (p.screenCenter - center), rotation * p.screenRight,
                          rotation * p.screenUp, rotation * p.eyeOffset};
    return settle(camera, moved, 1.0);
}

Camera translateCamera(const Camera& camera, Vector offset) {
    Placement moved = placementOf(camera);
    moved.screenCenter = moved.screenCenter + offset;
    return settle(camera, moved, 1.0);
}

// Yaw about `up`, after a pitch about the horizontal axis clamped so that
// the view stays kPitchMarginRadians off both poles.
bool orbitRotation(const Camera& camera, Vec3 upVector, float yaw, float pitch, Rotation& out) {
    Vector up, view;
    if (!std::isfinite(yaw) || !std::isfinite(pitch) || !unit(widen(upVector), up) || !viewDirection(camera, view))
        return false;
    const Rotation turn = rotationAbout(up, yaw);
    Vector horizontal;
    // Looking straight along up, the horizontal axis is the image's right.
    if (!unit(cross(view, up), horizontal)) {
        const Vector right = widen(camera.screenRight);
        if (!unit(right - dot(right, up) * up, horizontal)) {
            out = turn;
            return true;
        }
    }
    // A view already inside the margin may only move out of it.
    const double fromUp = std::atan2(norm(cross(view, up)), dot(view, up));
    const double highest = std::max(0.0, fromUp - kPitchMarginRadians);
    const double lowest = std::min(0.0, fromUp - (std::numbers::pi - kPitchMarginRadians));
    const double tilt = std::clamp(static_cast<double>(pitch), lowest, highest);
    out = turn * rotationAbout(horizontal, tilt);
    return true;
}

// The closest an eye may come to a pivot: a thousandth of the camera's own
// size, and well clear of the float grid at the pivot.
double closestApproach(const Camera& camera, Vec3 pivot) {
    const float size = length(camera.eyeOffset) > 0.0f ? length(camera.eyeOffset) : length(camera.screenRight);
    const double magnitude = std::max({std::fabs(pivot.x), std::fabs(pivot.y), std::fabs(pivot.z)});
    return std::max(1e-3 * size, 1e-5 * magnitude);
}

// True when the eye of `after` is still on the side of `pivot` where the eye
// of `before` was, and no nearer to it than closestApproach unless it moved
// away: steps that shrink with the distance would otherwise end on the pivot
// by rounding.
bool keepsClearOf(const Camera& before, const Camera& after, Vec3 pivot) {
    const Vector was = widen(pivot) - (widen(before.screenCenter) + widen(before.eyeOffset));
    const Vector now = widen(pivot) - (widen(after.screenCenter) + widen(after.eyeOffset));
    return dot(was, now) > 0.0 && (norm(now) >= norm(was) || norm(now) >= closestApproach(before, pivot));
}

}  // namespace

Vec3 eyeOf(const Camera& camera) { return camera.screenCenter + camera.eyeOffset; }

Camera orbitCamera(const Camera& camera, Vec3 pivot, Vec3 up, float yaw, float pitch) {
    Rotation rotation;
    if (!usable(camera) || !finite(pivot) || !orbitRotation(camera, up, yaw, pitch, rotation)) return camera;
    return rotateCamera(camera, widen(pivot), rotation);
}

Camera turnCamera(const Camera& camera, Vec3 up, float yaw, float pitch) {
    Rotation rotation;
    if (!usable(camera) || !orbitRotation(camera, up, yaw, pitch, rotation)) return camera;
    return rotateCamera(camera, widen(camera.screenCenter) + widen(camera.eyeOffset), rotation);
}

Camera panCamera(const Camera& camera, Vec3 pivot, float right, float up) {
    if (!usable(camera) || !finite(pivot) || !std::isfinite(right) || !std::isfinite(up)) return camera;
    const Placement p = placementOf(camera);
    const double distance = norm(widen(pivot) - (p.screenCenter + p.eyeOffset));
    Vector rightAxis, upAxis;
    if (!unit(p.screenRight, rightAxis) || !unit(p.screenUp, upAxis)) return camera;
    return translateCamera(camera,
                           distance * (static_cast<double>(right) * rightAxis + static_cast<double>(up) * upAxis));
}

Camera dollyCamera(const Camera& camera, Vec3 pivot, float amount) {
    if (!usable(camera) || !finite(pivot) || !std::isfinite(amount)) return camera;
    const Vector toPivot = widen(pivot) - (widen(camera.screenCenter) + widen(camera.eyeOffset));
    const double distance = norm(toPivot);
    if (!(distance > 0.0) || !std::isfinite(distance)) return camera;
    const double fraction = std::min(static_cast<double>(amount), 1.0 - kDollyKeepFraction);
    const Camera next = translateCamera(camera, fraction * toPivot);
    return keepsClearOf(camera, next, pivot) ? next : camera;
}

Camera scaleFieldOfView(const Camera& camera, float factor) {
    if (!usable(camera) || !(factor > 0.0f) || !std::isfinite(factor)) return camera;
    // An eye on the image plane sees the same directions at any scale.
    const double eyeDistance = length(camera.eyeOffset);
    if (!(eyeDistance > 0.0)) return camera;
    constexpr double kWidest = 1000.0, kNarrowest = 0.001;
    const double right = length(camera.screenRight), up = length(camera.screenUp);
    const double widest = std::max(1.0, kWidest * eyeDistance / std::max(right, up));
    const double narrowest = std::min(1.0, kNarrowest * eyeDistance / std::min(right, up));
    const double scale = std::clamp(static_cast<double>(factor), narrowest, widest);
    if (scale == 1.0) return camera;
    Placement scaled = placementOf(camera);
    scaled.screenRight = scale * scaled.screenRight;
    scaled.screenUp = scale * scaled.screenUp;
    return settle(camera, scaled, scale);
}

Camera moveCamera(const Camera& camera, Vec3 pivot, CameraKey key) {
    if (!usable(camera) || !finite(pivot)) return camera;
    const Placement p = placementOf(camera);
    const double step = kKeyMoveFraction * norm(widen(pivot) - (p.screenCenter + p.eyeOffset));
    Vector forward, right, up;
    if (!viewDirection(camera, forward) || !unit(p.screenRight, right) || !unit(p.screenUp, up)) return camera;
    switch (key) {
        case CameraKey::Forward: {
            // Steps shrink with the distance; they still stop short of the pivot.
            const Camera next = translateCamera(camera, step * forward);
            return keepsClearOf(camera, next, pivot) ? next : camera;
        }
        case CameraKey::Back:
            return translateCamera(camera, -step * forward);
        case CameraKey::Left:
            return translateCamera(camera, -step * right);
        case CameraKey::Right:
            return translateCamera(camera, step * right);
        case CameraKey::Down:
            return translateCamera(camera, -step * up);
        case CameraKey::Up:
            return translateCamera(camera, step * up);
    }
    return camera;
}
