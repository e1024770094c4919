#include "render/bvh/bounds.h"

#include "render/bvh/bvh.h"

namespace {

void include(ObjectBound& b, const Dvec& p) {
    for (int i = 0; i < 3; ++i) {
        b.lower[i] = std::min(b.lower[i], p[i]);
        b.upper[i] = std::max(b.upper[i], p[i]);
    }
}

void startEmpty(ObjectBound& b) {
    b.lower.fill(kFarAway);
    b.upper.fill(-kFarAway);
}

// Sphere: the quadratic's discriminant cancels for grazing rays, so a hit
// may lie off the surface by about 18 roundings of distance² / radius.
ObjectBound boundSphere(const SceneObject& object) {
    ObjectBound b;
    if (!isFinite(object.center) || !std::isfinite(object.radius)) return b;
    const Dvec c = widen(object.center);
    const double r = std::fabs(static_cast<double>(object.radius));
    const double magnitude = largestOf(c) + r;
    if (magnitude > kLargest || r < kSmallestRelative * std::max(1.0, magnitude)) return b;
    for (int i = 0; i < 3; ++i) {
        b.lower[i] = c[i] - r;
        b.upper[i] = c[i] + r;
    }
    b.linear = 4.0 * kRounding;
    b.constant = 4.0 * kRounding * (magnitude + r);
    b.quadratic = kSquareError / (2.0 * r);
    b.root = std::sqrt(kSquareError);
    b.fate = Fate::Bounded;
    return b;
}

// Largest and smallest singular values of the matrix with these columns,
// from the eigenvalues of its Gram matrix; the smallest through the
// determinant, which keeps it accurate when it is tiny.
std::pair<double, double> singularRange(const Dvec& a1, const Dvec& a2, const Dvec& a3, double det) {
    const double m00 = dotD(a1, a1), m11 = dotD(a2, a2), m22 = dotD(a3, a3);
    const double m01 = dotD(a1, a2), m02 = dotD(a1, a3), m12 = dotD(a2, a3);
    const double mean = (m00 + m11 + m22) / 3.0;
    const double off = m01 * m01 + m02 * m02 + m12 * m12;
    const double spread = std::sqrt(
        ((m00 - mean) * (m00 - mean) + (m11 - mean) * (m11 - mean) + (m22 - mean) * (m22 - mean) + 2.0 * off) / 6.0);
    double largest = mean, middle = mean;
    if (spread > 0.0) {
        const double b00 = (m00 - mean) / spread, b11 = (m11 - mean) / spread, b22 = (m22 - mean) / spread;
        const double b01 = m01 / spread, b02 = m02 / spread, b12 = m12 / spread;
        const double half =
            0.5 * (b00 * (b11 * b22 - b12 * b12) - b01 * (b01 * b22 - b12 * b02) + b02 * (b01 * b12 - b11 * b02));
        const double phi = std::acos(std::clamp(half, -1.0, 1.0)) / 3.0;
        largest = mean + 2.0 * spread * std::cos(phi);
        const double smallest = mean + 2.0 * spread * std::cos(phi + 2.0 * std::numbers::pi / 3.0);
        middle = 3.0 * mean - largest - smallest;
    }
    // One per cent to spare for the rounding of this double arithmetic.
    const double top = std::sqrt(largest) * 1.01;
    const double bottom = std::fabs(det) / std::sqrt(std::max(largest, 0.0) * std::max(middle, 0.0)) / 1.01;
    return {top, bottom};
}

// Ellipsoid: the sphere's error carried through the float inverse of the
// axes, which adds a factor of the axes' condition.
ObjectBound boundEllipsoid(const SceneObject& object) {
    ObjectBound b;
    if (!isFinite(object.center) || !isFinite(object.axis1) || !isFinite(object.axis2) || !isFinite(object.axis3)) {
        return b;
    }
    const Dvec c = widen(object.center), a1 = widen(object.axis1), a2 = widen(object.axis2), a3 = widen(object.axis3);
    const double det = dotD(a1, crossD(a2, a3));
    if (!(std::fabs(det) > 0.0) || !std::isfinite(det)) return b;
    const auto [largest, smallest] = singularRange(a1, a2, a3, det);
    const double condition = largest / smallest;
    const double hadamard = normD(a1) * normD(a2) * normD(a3) / std::fabs(det);
    const double magnitude = largestOf(c) + largest;
    if (magnitude > kLargest || !(smallest >= kSmallestRelative * std::max(1.0, magnitude)) ||
        !(condition * condition <= kWorstLinearCondition) || !(hadamard <= kWorstLinearCondition)) {
        return b;
    }
    for (int i = 0; i < 3; ++i) {
        // The extent along each world axis is the norm of that row of the axes.
        const double extent = std::sqrt(a1[i] * a1[i] + a2[i] * a2[i] + a3[i] * a3[i]);
        b.lower[i] = c[i] - extent;
        b.upper[i] = c[i] + extent;
    }
    // The unit sphere's error in the space of the axes, where the origin lies
    // at most W / smallest from the centre, mapped back by the largest. The
    // float adjugate errs by about condition relative to the inverse, which
    // moves the transformed ray by condition² W in world terms; the float
    // determinant only rescales the ellipsoid, by about its Hadamard ratio.
    b.linear = 4.0 * kRounding * condition * condition;
    b.constant = 4.0 * kRounding * (condition * condition * magnitude + 8.0 * hadamard * largest);
    b.quadratic = condition * kSquareError / (2.0 * smallest);
    b.root = condition * std::sqrt(kSquareError);
    b.fate = Fate::Bounded;
    return b;
}

// Polygon: each fan triangle finds its hit in the plane of its float normal
// and checks it in the basis of its edges; the check's error grows with
// 1 / sin² of the angle at the first vertex. A triangle whose float normal
// is exactly zero yields a NaN parameter and never hits.

// 1 / sin² of the angle between the fan triangle's edges, 0 for one that
// never hits, NaN for one too small to bound.
double fanCondition(Vec3 e1, Vec3 e2, double smallEdge) {
    const Vec3 n = cross(e1, e2);
    if (n.x == 0.0f && n.y == 0.0f && n.z == 0.0f) return 0.0;
    const Dvec d1 = widen(e1), d2 = widen(e2);
    const double l1 = normD(d1), l2 = normD(d2), area = normD(crossD(d1, d2));
    if (l1 < smallEdge || l2 < smallEdge || !(area > 0.0)) return std::numeric_limits<double>::quiet_NaN();
    const double sine = area / (l1 * l2);
    return 1.0 / (sine * sine);
}

// The bound of a polygon with this box and largest fan condition.
ObjectBound finishPolygon(ObjectBound& b, double magnitude, double condition) {
    if (condition == 0.0) {
        b.fate = Fate::Never;
        return b;
    }
    if (!(condition <= kWorstTriangleCondition)) return ObjectBound{};
    double size = 0.0;
    for (int i = 0; i < 3; ++i) size = std::max(size, b.upper[i] - b.lower[i]);
    b.linear = 4.0 * kRounding;
    b.constant = 4.0 * kRounding * (magnitude + condition * size);
    b.fate = Fate::Bounded;
    return b;
}

ObjectBound boundPolygon(const SceneObject& object) {
    ObjectBound b;
    const auto& v = object.vertices;
    if (v.size() < 3) {
        b.fate = Fate::Never;
        return b;
    }
    startEmpty(b);
    for (const Vec3& p : v) {
        if (!isFinite(p)) return ObjectBound{};
        include(b, widen(p));
    }
    const double magnitude = std::max(largestOf(b.lower), largestOf(b.upper));
    if (magnitude > kLargest) return ObjectBound{};
    const double smallEdge = kSmallestRelative * std::max(1.0, magnitude);
    double condition = 0.0;
    for (std::size_t i = 0; i + 2 < v.size(); ++i) {
        const double c = fanCondition(v[i + 1] - v[0], v[i + 2] - v[0], smallEdge);
        if (std::isnan(c)) return ObjectBound{};
        condition = std::max(condition, c);
    }
    return finishPolygon(b, magnitude, condition);
}

// Box: six float planes; pushing each out by its rounding moves the corners
// by that times the edges' condition. A left-handed box is never hit in
// exact arithmetic and gets the same bound as its right-handed twin.
ObjectBound boundBox(const SceneObject& object) {
    ObjectBound b;
    if (!isFinite(object.corner) || !isFinite(object.edge1) || !isFinite(object.edge2) || !isFinite(object.edge3)) {
        return b;
    }
    const Dvec c = widen(object.corner), e1 = widen(object.edge1), e2 = widen(object.edge2), e3 = widen(object.edge3);
    startEmpty(b);
    for (int k = 0; k < 8; ++k) {
        Dvec p = c;
        for (int i = 0; i < 3; ++i) {
            if (k & 1) p[i] += e1[i];
            if (k & 2) p[i] += e2[i];
            if (k & 4) p[i] += e3[i];
        }
        include(b, p);
    }
    const double magnitude = std::max(largestOf(b.lower), largestOf(b.upper));
    const double l1 = normD(e1), l2 = normD(e2), l3 = normD(e3);
    const double det = std::fabs(dotD(e1, crossD(e2, e3)));
    if (magnitude > kLargest || std::min({l1, l2, l3}) < kSmallestRelative * std::max(1.0, magnitude) || !(det > 0.0)) {
        return ObjectBound{};
    }
    const double condition = l1 * l2 * l3 / det;
    if (!(condition <= kWorstLinearCondition)) return ObjectBound{};
    double size = 0.0;
    for (int i = 0; i < 3; ++i) size = std::max(size, b.upper[i] - b.lower[i]);
    b.linear = 4.0 * kRounding * condition;
    b.constant = 4.0 * kRounding * condition * (magnitude + size);
    b.fate = Fate::Bounded;
    return b;
}

// Cylinder: the two cap discs. Away from the axis direction the side test
// errs by a few roundings times 1 / kParallelSine of the distances.
ObjectBound boundCylinder(const SceneObject& object) {
    ObjectBound b;
    if (!isFinite(object.top) || !isFinite(object.center) || !std::isfinite(object.radius)) return b;
    const Dvec top = widen(object.top), base = widen(object.center);
    const double r = std::fabs(static_cast<double>(object.radius));
    const Dvec along = top - base;
    const double height = normD(along);
    const double magnitude = std::max(largestOf(top), largestOf(base)) + r;
    if (magnitude > kLargest || height < kSmallestRelative * std::max(1.0, magnitude)) return b;
    for (int i = 0; i < 3; ++i) {
        const double a = along[i] / height;
        const double extent = r * std::sqrt(std::max(0.0, 1.0 - a * a));
        b.lower[i] = std::min(top[i], base[i]) - extent;
        b.upper[i] = std::max(top[i], base[i]) + extent;
    }
    b.linear = 16.0 * kRounding;
    b.constant = 16.0 * kRounding * (magnitude + r + height);
    b.fate = Fate::Bounded;
    return b;
}

}  // namespace

ObjectBound boundObject(const SceneObject& object) {
    switch (object.kind) {
        case ObjectKind::Sphere:
            return boundSphere(object);
        case ObjectKind::Ellipsoid:
            return boundEllipsoid(object);
        case ObjectKind::Polygon:
            return boundPolygon(object);
        case ObjectKind::Box:
            return boundBox(object);
        case ObjectKind::Cylinder:
            return boundCylinder(object);
    }
    ObjectBound never;  // intersectObject returns kNoHit for any other kind
    never.fate = Fate::Never;
    return never;
}

ObjectBound boundTriangle(const FanTriangle& triangle, Vec3 v1, Vec3 v2) {
    ObjectBound b;
    const Vec3 v0 = triangle.v0;
    if (!isFinite(v0) || !isFinite(v1) || !isFinite(v2)) return b;
    const Dvec a = widen(v0), c = widen(v1), d = widen(v2);
    for (int i = 0; i < 3; ++i) {
        b.lower[i] = std::min(std::min(a[i], c[i]), d[i]);
        b.upper[i] = std::max(std::max(a[i], c[i]), d[i]);
    }
    const double magnitude = std::max(largestOf(b.lower), largestOf(b.upper));
    if (magnitude > kLargest) return ObjectBound{};
    const double condition = fanCondition(triangle.e1, triangle.e2, kSmallestRelative * std::max(1.0, magnitude));
    if (std::isnan(condition)) return ObjectBound{};
    return finishPolygon(b, magnitude, condition);
}

bool boundable(const Ray& ray) {
    constexpr auto largest = static_cast<float>(kLargest);  // a power of two, exact in float
    const float o[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
    const float d[3] = {ray.direction.x, ray.direction.y, ray.direction.z};
    bool within = true, longEnough = false;
    for (int i = 0; i < 3; ++i) {
        within = within & (std::fabs(o[i]) <= largest) & (std::fabs(d[i]) <= largest);
        longEnough = longEnough | (std::fabs(d[i]) >= 1.0f / largest);
    }
    return within & longEnough;
}

// Every term of the per-ray widening grows with the distances from the
// origin to the box, which are largest at a corner of the region. Along an
// axis the farthest pair of ends is one of two, and rounding keeps the
// larger the larger.
double largestMargin(const BvhNode& node, const double lower[3], const double upper[3], double originSize) {
    double far = 0.0, farSquared = 0.0;
    for (int i = 0; i < 3; ++i) {
        const double reach = std::max(upper[i] - node.lower[i], node.upper[i] - lower[i]);
        far += reach;
        farSquared += reach * reach;
    }
    const double margin = node.linear * (far + originSize) + std::min(node.quadratic * farSquared, node.root * far);
    return margin * (1.0 + 0x1p-40);  // the rounding of this sum
}
