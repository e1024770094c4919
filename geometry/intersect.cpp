#include "geometry/intersect.h"

#include <array>
#include <cmath>

namespace {

// The root of a*t² + b*t + c = 0 that the ray meets first, ignoring what
// lies behind the origin. Shared by the sphere and the ellipsoid.
bool nearestRoot(float a, float b, float c, float& t) {
    const float disc = b * b - 4.0f * a * c;
    if (!(disc >= 0.0f)) return false;  // negative or NaN: miss
    const float s = squareRoot(disc);
    const float t1 = (-b + s) / (2.0f * a);
    const float t2 = (-b - s) / (2.0f * a);
    if (t1 < 0.0f) return false;  // the whole surface lies behind the origin
    // The origin is inside or on the surface: the ray leaves through the far side.
    t = t2 < 0.0f ? t1 : t2;
    return true;
}

Vec3 multiply(const Matrix3& matrix, Vec3 v) {
    const auto& m = matrix.m;
    return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z, m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
            m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
}

Vec3 multiplyTransposed(const Matrix3& matrix, Vec3 v) {
    const auto& m = matrix.m;
    return {m[0][0] * v.x + m[1][0] * v.y + m[2][0] * v.z, m[0][1] * v.x + m[1][1] * v.y + m[2][1] * v.z,
            m[0][2] * v.x + m[1][2] * v.y + m[2][2] * v.z};
}

// Inverse by the adjugate, with no test for a zero determinant: dependent
// axes make it non-finite, and the ellipsoid is then never hit.
Matrix3 inverse(const Matrix3& matrix) {
    const auto& m = matrix.m;
    const float det = determinant3x3(matrix);
    Matrix3 cofactor{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const int r0 = i == 0 ? 1 : 0;
            const int r1 = i == 2 ? 1 : 2;
            const int c0 = j == 0 ? 1 : 0;
            const int c1 = j == 2 ? 1 : 2;
            const float minor = m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0];
            cofactor.m[i][j] = (i + j) % 2 == 1 ? -minor : minor;
        }
    }
    Matrix3 result{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) result.m[i][j] = cofactor.m[j][i] / det;
    return result;
}

// Each routine's parameter comes before its normal and never depends on it,
// so one body serves both: kNormal false skips the normal.
template <bool kNormal>
float sphereHit(const Sphere& sphere, const Ray& ray, float limit, Vec3& normal) {
    const Vec3 d = ray.direction;
    const float lengthD = length(d);
    const float a = lengthD * lengthD;
    const Vec3 w = ray.origin - sphere.center;
    const float b = 2.0f * dot(w, d);
    const float lengthW = length(w);
    const float c = lengthW * lengthW - sphere.radius * sphere.radius;
    float t = 0.0f;
    if (!nearestRoot(a, b, c, t)) return limit;
    if constexpr (kNormal) {
        const Vec3 p = pointAt(ray.origin, t, d);
        normalize(p - sphere.center, normal);
    }
    return t;
}

template <bool kNormal>
float ellipsoidHit(const Ellipsoid& ellipsoid, const EllipsoidFrame& frame, const Ray& ray, float limit, Vec3& normal) {
    // Move the ray into the space where the ellipsoid is the unit sphere; t
    // is the same in both spaces.
    const Matrix3& inv = frame.inverse;
    const Vec3 d = multiply(inv, ray.direction);
    const Vec3 o = multiply(inv, ray.origin - ellipsoid.center);
    const float lengthD = length(d);
    const float a = lengthD * lengthD;
    const float b = 2.0f * dot(o, d);
    const float lengthO = length(o);
    const float c = lengthO * lengthO - 1.0f;
    float t = 0.0f;
    if (!nearestRoot(a, b, c, t)) return limit;
    if constexpr (kNormal) {
        // The normal comes back through the inverse transpose.
        const Vec3 p = pointAt(ray.origin, t, ray.direction);
        const Vec3 q = multiply(inv, p - ellipsoid.center);
        normalize(multiplyTransposed(inv, q), normal);
    }
    return t;
}

}  // namespace

EllipsoidFrame ellipsoidFrame(const Ellipsoid& ellipsoid) {
    const Vec3 a1 = ellipsoid.axis1, a2 = ellipsoid.axis2, a3 = ellipsoid.axis3;
    const Matrix3 axes{{{a1.x, a2.x, a3.x}, {a1.y, a2.y, a3.y}, {a1.z, a2.z, a3.z}}};
    return {inverse(axes)};
}

BoxFaces boxFaces(const Box& box) {
    BoxFaces faces{};
    normalize(cross(box.edge1, box.edge3), faces.n0);
    normalize(cross(box.edge3, box.edge2), faces.n2);
    normalize(cross(box.edge2, box.edge1), faces.n4);
    return faces;
}

float intersectBox(const Box& box, const Ray& ray, Vec3& normal, float& entry, float& exit) {
    return intersectBox(box, boxFaces(box), ray, normal, entry, exit);
}

float intersectBox(const Box& box, const BoxFaces& faces, const Ray& ray, Vec3& normal, float& entry, float& exit) {
    const Vec3 n0 = faces.n0, n2 = faces.n2, n4 = faces.n4;
    // Faces in their fixed order; for a right-handed set of edges each normal
    // points out through its face.
    const std::array<Vec3, 6> points{box.corner, box.corner + box.edge2, box.corner, box.corner + box.edge1,
                                     box.corner, box.corner + box.edge3};
    const std::array<Vec3, 6> normals{n0, -n0, n2, -n2, n4, -n4};

    Vec3 entryNormal{}, exitNormal{};
    entry = 0.0f;
    exit = kNoHit;
    for (int k = 0; k < 6 && entry <= exit; ++k) {
        const Vec3 w = ray.origin - points[k];
        const float dn = dot(ray.direction, normals[k]);
        if (dn < 0.0f) {  // crossing the plane going in
            const float s = -(dot(w, normals[k]) / dn);
            if (entry <= s) entry = s;
            if (entry == s) entryNormal = normals[k];  // a tie goes to the later face
        } else if (dn > 0.0f) {                        // going out
            const float s = -(dot(w, normals[k]) / dn);
            if (exit >= s) exit = s;
            if (exit == s) exitNormal = normals[k];
        } else if (dot(w, normals[k]) > 0.0f) {
            // Parallel to the face and outside its half-space: never enters.
            entry = exit + 1.0f;
        }
    }
    // No entering face ahead: the origin is inside (or on) the box, and the
    // ray is seen to hit where it leaves.
    if (entry == 0.0f) {
        normal = exitNormal;
        return exit;
    }
    normal = entryNormal;
    return entry;
}

namespace {

template <bool kNormal>
float fanHit(std::span<const FanTriangle> fan, const Ray& ray, float limit, Vec3& normal) {
    if (fan.empty()) return limit;
    float best = limit;
    for (const FanTriangle& triangle : fan) best = fanTriangleHit(triangle, ray, best);
    // The normal of the first triangle, whichever triangle was hit.
    if constexpr (kNormal) normalize(fan[0].n, normal);
    return best;
}

template <bool kNormal>
float polygonHit(Polygon polygon, const Ray& ray, float limit, Vec3& normal) {
    const auto& v = polygon.vertices;
    if (v.size() < 3) return limit;
    float best = limit;
    for (std::size_t i = 0; i + 2 < v.size(); ++i)
        best = fanTriangleHit(fanTriangle(v[0], v[i + 1], v[i + 2]), ray, best);
    if constexpr (kNormal) normalize(cross(v[1] - v[0], v[2] - v[0]), normal);
    return best;
}

}  // namespace

bool intersectInfiniteCylinder(Vec3 rayOrigin, Vec3 rayDirection, Vec3 base, Vec3 axis, float radius, float& tIn,
                               float& tOut) {
    const Vec3 rc = rayOrigin - base;
    Vec3 n = cross(rayDirection, axis);
    const float ln = length(n);
    if (ln == 0.0f) {
        // Parallel to the axis: inside or on the cylinder for its whole length.
        const float d = dot(rc, axis);
        const float dist = length(rc - d * axis);
        tIn = -kNoHit;
        tOut = kNoHit;
        return dist <= radius;
    }
    normalize(n, n);
    const float d = static_cast<float>(std::fabs(static_cast<double>(dot(rc, n))));  // distance between the lines
    if (d > radius) return false;
    const float t = -dot(cross(rc, axis), n) / ln;  // closest approach to the axis
    Vec3 o2{};
    normalize(cross(n, axis), o2);
    const float halfChord = squareRoot(radius * radius - d * d) / dot(rayDirection, o2);
    const float s = static_cast<float>(std::fabs(static_cast<double>(halfChord)));
    tIn = t - s;
    tOut = t + s;
    return true;
}

namespace {

template <bool kNormal>
float cylinderHit(Cylinder cylinder, const CylinderAxes& axes, const Ray& ray, Vec3& normal) {
    const Vec3 a = cylinder.top, b = cylinder.center, o = ray.origin, d = ray.direction;
    const float r = cylinder.radius;
    float t = kNoHit;
    const Vec3 axis = axes.axis;

    float t1 = kNoHit, t2 = kNoHit;
    if (!intersectInfiniteCylinder(o, d, b, axis, r, t1, t2)) return kNoHit;
    const Vec3 p1 = pointAt(o, t1, d);
    const Vec3 p2 = pointAt(o, t2, d);

    // Cap planes
    const Vec3 nA = axes.topNormal, nB = axes.baseNormal;
    const float tA = -(dot(o - a, nA) / dot(d, nA));
    const float tB = -(dot(o - b, nB) / dot(d, nB));
    const float dA = length(pointAt(o, tA, d) - a);
    const float dB = length(pointAt(o, tB, d) - b);

    // Candidates in their fixed order; every test is strict, so a rim point
    // counts neither as side nor as cap.
    std::array<float, 4> candidates{};
    int count = 0;
    if (dot(axis, p2 - b) > 0.0f && dot(axis, p2 - a) < 0.0f) candidates[count++] = t2;
    if (dot(axis, p1 - b) > 0.0f && dot(axis, p1 - a) < 0.0f) candidates[count++] = t1;
    if (r * r > dA * dA) candidates[count++] = tA;
    if (r * r > dB * dB) candidates[count++] = tB;
    for (int i = 0; i < count; ++i) {
        const float m = candidates[i] <= t ? candidates[i] : t;
        if (m > 0.0f) t = m;
    }

    if (!kNormal) return t;
    if (t == tA) {
        normalize(a - b, normal);
    } else if (t == tB) {
        normalize(b - a, normal);
    } else if (t == t1 || t == t2) {
        // Side of the cylinder: the radial direction away from the axis.
        Vec3 w{};
        normalize(pointAt(o, t, d) - b, w);
        const float s = dot(w, axis);
        normalize({(w.x - s * axis.x) / r, (w.y - s * axis.y) / r, (w.z - s * axis.z) / r}, normal);
    }
    return t;
}

}  // namespace

float intersectSphere(const Sphere& sphere, const Ray& ray, float limit, Vec3& normal) {
    return sphereHit<true>(sphere, ray, limit, normal);
}

float intersectEllipsoid(const Ellipsoid& ellipsoid, const Ray& ray, float limit, Vec3& normal) {
    return ellipsoidHit<true>(ellipsoid, ellipsoidFrame(ellipsoid), ray, limit, normal);
}

float intersectEllipsoid(const Ellipsoid& ellipsoid, const EllipsoidFrame& frame, const Ray& ray, float limit,
                         Vec3& normal) {
    return ellipsoidHit<true>(ellipsoid, frame, ray, limit, normal);
}

float intersectPolygon(Polygon polygon, const Ray& ray, float limit, Vec3& normal) {
    return polygonHit<true>(polygon, ray, limit, normal);
}

float intersectFan(std::span<const FanTriangle> fan, const Ray& ray, float limit, Vec3& normal) {
    return fanHit<true>(fan, ray, limit, normal);
}

float fanParameter(std::span<const FanTriangle> fan, const Ray& ray, float limit) {
    Vec3 unused{};
    return fanHit<false>(fan, ray, limit, unused);
}

FanTriangle fanTriangle(Vec3 v0, Vec3 v1, Vec3 v2) {
    FanTriangle triangle{};
    triangle.v0 = v0;
    triangle.e1 = v1 - v0;
    triangle.e2 = v2 - v0;
    triangle.n = cross(triangle.e1, triangle.e2);
    // The inverse of the 2x2 Gram matrix of e1 and e2 gives the hit's
    // coordinates in the edge basis.
    const float l1 = length(triangle.e1), l2 = length(triangle.e2), d12 = dot(triangle.e1, triangle.e2);
    triangle.l1Squared = l1 * l1;
    triangle.l2Squared = l2 * l2;
    triangle.inverse = 1.0f / (triangle.l1Squared * triangle.l2Squared - d12 * d12);
    triangle.offDiagonal = -1.0f * d12;
    return triangle;
}

float fanTriangleHit(const FanTriangle& triangle, const Ray& ray, float best) {
    const Vec3 o = ray.origin, d = ray.direction;
    // The plane's parameter as rayPlaneDistance forms it.
    const float t = -(dot(o - triangle.v0, triangle.n) / dot(d, triangle.n));
    if (t < 0.0f || std::isnan(t)) return best;
    const Vec3 w = pointAt(o, t, d) - triangle.v0;
    const float we1 = dot(w, triangle.e1), we2 = dot(w, triangle.e2);
    const float u = (triangle.l2Squared * we1 + triangle.offDiagonal * we2) * triangle.inverse;
    const float s = (triangle.offDiagonal * we1 + triangle.l1Squared * we2) * triangle.inverse;
    return t <= best && u >= 0.0f && s >= 0.0f && u + s <= 1.0f ? t : best;
}

CylinderAxes cylinderAxes(Cylinder cylinder) {
    CylinderAxes axes{};
    normalize(cylinder.top - cylinder.center, axes.axis);
    normalize(cylinder.top - cylinder.center, axes.topNormal);
    normalize(cylinder.center - cylinder.top, axes.baseNormal);
    return axes;
}

float intersectCylinder(Cylinder cylinder, const Ray& ray, Vec3& normal) {
    return cylinderHit<true>(cylinder, cylinderAxes(cylinder), ray, normal);
}

float intersectCylinder(Cylinder cylinder, const CylinderAxes& axes, const Ray& ray, Vec3& normal) {
    return cylinderHit<true>(cylinder, axes, ray, normal);
}

float sphereParameter(const Sphere& sphere, const Ray& ray, float limit) {
    Vec3 unused{};
    return sphereHit<false>(sphere, ray, limit, unused);
}

float ellipsoidParameter(const Ellipsoid& ellipsoid, const Ray& ray, float limit) {
    return ellipsoidParameter(ellipsoid, ellipsoidFrame(ellipsoid), ray, limit);
}

float ellipsoidParameter(const Ellipsoid& ellipsoid, const EllipsoidFrame& frame, const Ray& ray, float limit) {
    Vec3 unused{};
    return ellipsoidHit<false>(ellipsoid, frame, ray, limit, unused);
}

float polygonParameter(Polygon polygon, const Ray& ray, float limit) {
    Vec3 unused{};
    return polygonHit<false>(polygon, ray, limit, unused);
}

float cylinderParameter(Cylinder cylinder, const CylinderAxes& axes, const Ray& ray) {
    Vec3 unused{};
    return cylinderHit<false>(cylinder, axes, ray, unused);
}
