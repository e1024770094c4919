#include "render/bvh.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <map>
#include <numbers>
#include <utility>

#include "geometry/intersect.h"

namespace {

// Margins are multiples of 128 float roundings (2^-24 each) of the
// magnitudes involved. Bounding the routines' float error from their
// formulas takes at most about 20 such roundings per kind, so every margin
// below keeps a factor of several to spare.
constexpr double kRounding = 0x1p-17;
// Within these magnitudes no product the routines form leaves float's
// normal range, on which the margins rely.
constexpr double kLargest = 0x1p30;
constexpr double kSmallestRelative = 0x1p-20;
// A quadric's routine admits a hit P with |P - centre|² up to r² + about
// 30 roundings of W², W the origin's distance from the centre (the
// discriminant cancels for grazing rays); this is four times that. The hit
// then strays from the surface by at most min(K W² / 2r, sqrt(K) W).
constexpr double kSquareError = 0x1p-17;
// Conditioning beyond which an object is tested on every ray instead.
constexpr double kWorstLinearCondition = 0x1p12;
// Objects whose margin grows faster than this with distance go to a second
// tree, so that they do not widen the nodes of all the others.
constexpr double kLooseLinear = 64.0 * kRounding;
constexpr double kWorstTriangleCondition = 0x1p12;

constexpr double kFarAway = std::numeric_limits<double>::infinity();
constexpr int kMaxDepth = 60;
constexpr int kMaxLeafSize = 8;
constexpr int kBins = 16;

// Direction table: a cube map of kSide x kSide cells per face. A cylinder's
// side test is trusted only for rays whose angle to its axis has a sine of
// at least kParallelSine; the cells that may hold closer directions list it.
constexpr int kSide = 16;
constexpr int kCellCount = 6 * kSide * kSide;
constexpr double kParallelSine = 1.0 / 64.0;
constexpr double kCellSlack = 0.002;  // radians: rounding of the cell lookup

enum class Fate { Bounded, Always, Never };

struct ObjectBound {
    Fate fate = Fate::Always;
    std::array<double, 3> lower{}, upper{};
    // The object's widening: linear * (distance + |origin|) + constant
    // + min(quadratic * distance², root * distance).
    double linear = 0.0;
    double constant = 0.0;
    double quadratic = 0.0;
    double root = 0.0;
};

using Dvec = std::array<double, 3>;

Dvec widen(Vec3 v) { return {v.x, v.y, v.z}; }
Dvec operator-(const Dvec& a, const Dvec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dotD(const Dvec& a, const Dvec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double normD(const Dvec& a) { return std::sqrt(dotD(a, a)); }
Dvec crossD(const Dvec& a, const Dvec& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double largestOf(const Dvec& a) { return std::max({std::fabs(a[0]), std::fabs(a[1]), std::fabs(a[2])}); }
bool isFinite(Vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

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
        const Vec3 e1 = v[i + 1] - v[0];
        const Vec3 e2 = v[i + 2] - v[0];
        const Vec3 n = cross(e1, e2);
        if (n.x == 0.0f && n.y == 0.0f && n.z == 0.0f) continue;
        const Dvec d1 = widen(e1), d2 = widen(e2);
        const double l1 = normD(d1), l2 = normD(d2), area = normD(crossD(d1, d2));
        if (l1 < smallEdge || l2 < smallEdge || !(area > 0.0)) return ObjectBound{};
        const double sine = area / (l1 * l2);
        condition = std::max(condition, 1.0 / (sine * sine));
    }
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

float floatBelow(double value) {
    float f = static_cast<float>(value);
    if (static_cast<double>(f) > value) f = std::nextafter(f, -std::numeric_limits<float>::infinity());
    return f;
}

float floatAbove(double value) {
    float f = static_cast<float>(value);
    if (static_cast<double>(f) < value) f = std::nextafter(f, std::numeric_limits<float>::infinity());
    return f;
}

// ---- Building ----

struct BuildItem {
    std::array<double, 3> lower, upper, centroid;
    double linear, quadratic, root;
    std::int32_t object;
};

struct Box3 {
    std::array<double, 3> lower{kFarAway, kFarAway, kFarAway};
    std::array<double, 3> upper{-kFarAway, -kFarAway, -kFarAway};

    void add(const std::array<double, 3>& lo, const std::array<double, 3>& hi) {
        for (int i = 0; i < 3; ++i) {
            lower[i] = std::min(lower[i], lo[i]);
            upper[i] = std::max(upper[i], hi[i]);
        }
    }
    double halfArea() const {
        if (lower[0] > upper[0]) return 0.0;
        const double x = upper[0] - lower[0], y = upper[1] - lower[1], z = upper[2] - lower[2];
        return x * y + y * z + z * x;
    }
};

class Builder {
public:
    Builder(std::vector<BuildItem>& items, Bvh& bvh) : items_(items), bvh_(bvh) {}

    void build(std::size_t begin, std::size_t end, int depth) {
        const std::size_t index = bvh_.nodes.size();
        bvh_.nodes.emplace_back();
        Box3 bounds, centroids;
        double linear = 0.0, quadratic = 0.0, root = 0.0;
        for (std::size_t i = begin; i < end; ++i) {
            bounds.add(items_[i].lower, items_[i].upper);
            centroids.add(items_[i].centroid, items_[i].centroid);
            linear = std::max(linear, items_[i].linear);
            quadratic = std::max(quadratic, items_[i].quadratic);
            root = std::max(root, items_[i].root);
        }
        BvhNode& node = bvh_.nodes[index];
        for (int i = 0; i < 3; ++i) {
            node.lower[i] = floatBelow(bounds.lower[i]);
            node.upper[i] = floatAbove(bounds.upper[i]);
        }
        node.linear = floatAbove(linear);
        node.quadratic = floatAbove(quadratic);
        node.root = floatAbove(root);

        const std::size_t count = end - begin;
        std::size_t middle = begin;
        if (count > 2 && depth < kMaxDepth) middle = split(begin, end, bounds, centroids);
        if (middle == begin) {
            makeLeaf(index, begin, end);
            return;
        }
        build(begin, middle, depth + 1);
        bvh_.nodes[index].first = static_cast<std::int32_t>(bvh_.nodes.size());
        bvh_.nodes[index].count = 0;
        build(middle, end, depth + 1);
    }

private:
    void makeLeaf(std::size_t index, std::size_t begin, std::size_t end) {
        bvh_.nodes[index].first = static_cast<std::int32_t>(bvh_.items.size());
        bvh_.nodes[index].count = static_cast<std::int32_t>(end - begin);
        for (std::size_t i = begin; i < end; ++i) {
            bvh_.items.push_back(items_[i].object);
            BvhNode own{};
            for (int a = 0; a < 3; ++a) {
                own.lower[a] = floatBelow(items_[i].lower[a]);
                own.upper[a] = floatAbove(items_[i].upper[a]);
            }
            own.linear = floatAbove(items_[i].linear);
            own.quadratic = floatAbove(items_[i].quadratic);
            own.root = floatAbove(items_[i].root);
            bvh_.itemBounds.push_back(own);
        }
    }

    // Binned surface-area heuristic. Returns begin for a leaf.
    std::size_t split(std::size_t begin, std::size_t end, const Box3& bounds, const Box3& centroids) {
        const std::size_t count = end - begin;
        double bestCost = std::numeric_limits<double>::infinity();
        int bestAxis = -1, bestBin = 0;
        for (int axis = 0; axis < 3; ++axis) {
            const double lo = centroids.lower[axis], extent = centroids.upper[axis] - lo;
            if (!(extent > 0.0)) continue;
            std::array<Box3, kBins> bins{};
            std::array<std::size_t, kBins> counts{};
            for (std::size_t i = begin; i < end; ++i) {
                const int bin = binOf(items_[i].centroid[axis], lo, extent);
                bins[bin].add(items_[i].lower, items_[i].upper);
                ++counts[bin];
            }
            std::array<double, kBins> rightCost{};
            Box3 right;
            std::size_t rightCount = 0;
            for (int bin = kBins - 1; bin > 0; --bin) {
                right.add(bins[bin].lower, bins[bin].upper);
                rightCount += counts[bin];
                rightCost[bin] = right.halfArea() * static_cast<double>(rightCount);
            }
            Box3 left;
            std::size_t leftCount = 0;
            for (int bin = 0; bin + 1 < kBins; ++bin) {
                left.add(bins[bin].lower, bins[bin].upper);
                leftCount += counts[bin];
                if (leftCount == 0 || leftCount == count) continue;
                const double cost = left.halfArea() * static_cast<double>(leftCount) + rightCost[bin + 1];
                if (cost < bestCost) {
                    bestCost = cost;
                    bestAxis = axis;
                    bestBin = bin;
                }
            }
        }
        if (bestAxis < 0) return begin;  // all centroids coincide
        // A node visit costs about half an intersection test.
        const double splitCost = 0.5 + bestCost / bounds.halfArea();
        if (count <= kMaxLeafSize && splitCost >= static_cast<double>(count)) return begin;
        const double lo = centroids.lower[bestAxis], extent = centroids.upper[bestAxis] - lo;
        const auto middle = std::partition(
            items_.begin() + static_cast<std::ptrdiff_t>(begin), items_.begin() + static_cast<std::ptrdiff_t>(end),
            [&](const BuildItem& item) { return binOf(item.centroid[bestAxis], lo, extent) <= bestBin; });
        return static_cast<std::size_t>(middle - items_.begin());
    }

    static int binOf(double value, double lo, double extent) {
        const int bin = static_cast<int>((value - lo) / extent * kBins);
        return std::clamp(bin, 0, kBins - 1);
    }

    std::vector<BuildItem>& items_;
    Bvh& bvh_;
};

// ---- Direction table ----

Dvec facePoint(int face, double u, double v) {
    const int major = face / 2;
    Dvec p{};
    p[static_cast<std::size_t>(major)] = face % 2 == 0 ? 1.0 : -1.0;
    p[static_cast<std::size_t>((major + 1) % 3)] = u;
    p[static_cast<std::size_t>((major + 2) % 3)] = v;
    const double n = normD(p);
    return {p[0] / n, p[1] / n, p[2] / n};
}

double angleBetween(const Dvec& a, const Dvec& b) { return std::acos(std::clamp(dotD(a, b), -1.0, 1.0)); }

int cellIndex(int iu) { return std::clamp(iu, 0, kSide - 1); }

// In float: a direction within a rounding of a cell's edge may land in the
// neighbouring cell, which the table's slack covers.
int directionCell(float x, float y, float z) {
    const float ax = std::fabs(x), ay = std::fabs(y), az = std::fabs(z);
    int face;
    float major, u, v;
    if (ax >= ay && ax >= az) {
        face = x < 0.0f ? 1 : 0;
        major = ax;
        u = y;
        v = z;
    } else if (ay >= az) {
        face = y < 0.0f ? 3 : 2;
        major = ay;
        u = z;
        v = x;
    } else {
        face = z < 0.0f ? 5 : 4;
        major = az;
        u = x;
        v = y;
    }
    const float scale = 0.5f * kSide / major, middle = 0.5f * kSide;
    const int iu = cellIndex(static_cast<int>(u * scale + middle));
    const int iv = cellIndex(static_cast<int>(v * scale + middle));
    return (face * kSide + iv) * kSide + iu;
}

void buildDirectionTable(const Scene& scene, const std::vector<ObjectBound>& bounds, Bvh& bvh) {
    // Cylinders grouped by their axis exactly as the routine computes it.
    std::map<std::array<std::uint32_t, 3>, std::vector<std::int32_t>> byAxis;
    for (std::size_t j = 0; j < bounds.size(); ++j) {
        const SceneObject& object = scene.objectList[j];
        if (object.kind != ObjectKind::Cylinder || bounds[j].fate != Fate::Bounded) continue;
        Vec3 axis{};
        normalize(object.top - object.center, axis);
        byAxis[{std::bit_cast<std::uint32_t>(axis.x), std::bit_cast<std::uint32_t>(axis.y),
                std::bit_cast<std::uint32_t>(axis.z)}]
            .push_back(static_cast<std::int32_t>(j));
    }
    if (byAxis.empty()) return;

    // Each cell's centre and the cosine below which no direction within the
    // parallel cone of an axis can fall in the cell.
    std::vector<Dvec> centers(kCellCount);
    std::vector<double> cosines(kCellCount);
    const double cone = std::asin(kParallelSine) + kCellSlack;
    for (int face = 0; face < 6; ++face) {
        for (int iv = 0; iv < kSide; ++iv) {
            for (int iu = 0; iu < kSide; ++iu) {
                auto coordinate = [](int i) { return -1.0 + 2.0 * i / kSide; };
                const int cell = (face * kSide + iv) * kSide + iu;
                const double uc = coordinate(iu) + 1.0 / kSide, vc = coordinate(iv) + 1.0 / kSide;
                centers[cell] = facePoint(face, uc, vc);
                double radius = 0.0;
                for (int corner = 0; corner < 4; ++corner) {
                    const Dvec p = facePoint(face, coordinate(iu + (corner & 1)), coordinate(iv + (corner >> 1)));
                    radius = std::max(radius, angleBetween(centers[cell], p));
                }
                cosines[cell] = std::cos(std::min(radius + cone, 3.14159));
                bvh.cellRadius = std::max(bvh.cellRadius, radius);
            }
        }
    }

    std::vector<std::vector<std::int32_t>> cells(kCellCount);
    for (const auto& [bits, cylinders] : byAxis) {
        const Dvec axis{std::bit_cast<float>(bits[0]), std::bit_cast<float>(bits[1]), std::bit_cast<float>(bits[2])};
        const double length = normD(axis);
        if (!(length > 0.0)) continue;  // never reached: such a cylinder is not bounded
        bvh.parallelAxes.push_back(
            {static_cast<float>(axis[0]), static_cast<float>(axis[1]), static_cast<float>(axis[2])});
        for (int cell = 0; cell < kCellCount; ++cell) {
            const double c = std::fabs(dotD(centers[cell], axis)) / length;
            if (c >= cosines[cell]) cells[cell].insert(cells[cell].end(), cylinders.begin(), cylinders.end());
        }
    }
    bvh.cellStart.assign(kCellCount + 1, 0);
    for (int cell = 0; cell < kCellCount; ++cell) {
        bvh.cellStart[cell + 1] = bvh.cellStart[cell] + static_cast<std::int32_t>(cells[cell].size());
        bvh.cellItems.insert(bvh.cellItems.end(), cells[cell].begin(), cells[cell].end());
    }
}

// ---- Queries ----

struct RayFrame {
    double origin[3];
    double inverse[3];
    double originSize;
};

// Rays the margins cannot speak for take the linear search.
bool prepare(Ray ray, RayFrame& frame) {
    const float o[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
    const float d[3] = {ray.direction.x, ray.direction.y, ray.direction.z};
    double originSize = 0.0, directionSize = 0.0;
    for (int i = 0; i < 3; ++i) {
        if (!std::isfinite(o[i]) || !std::isfinite(d[i])) return false;
        originSize = std::max(originSize, std::fabs(static_cast<double>(o[i])));
        directionSize = std::max(directionSize, std::fabs(static_cast<double>(d[i])));
    }
    if (originSize > kLargest || directionSize > kLargest || directionSize < 1.0 / kLargest) return false;
    for (int i = 0; i < 3; ++i) {
        frame.origin[i] = o[i];
        // A huge finite slope instead of infinity keeps 0 * slope from becoming NaN.
        frame.inverse[i] = d[i] != 0.0f ? 1.0 / static_cast<double>(d[i]) : std::copysign(1e300, d[i]);
    }
    frame.originSize = originSize;
    return true;
}

// Where the ray enters the node's box, widened for this ray, within
// [0, tMax]; kFarAway when it does not.
double enterNode(const BvhNode& node, const RayFrame& ray, double tMax) {
    // The farthest distance from the origin to the box, as a sum over the
    // axes (at least the distance) and squared.
    double far = 0.0, farSquared = 0.0;
    for (int i = 0; i < 3; ++i) {
        const double reach =
            std::max(std::fabs(ray.origin[i] - node.lower[i]), std::fabs(ray.origin[i] - node.upper[i]));
        far += reach;
        farSquared += reach * reach;
    }
    const double margin = node.linear * (far + ray.originSize) + std::min(node.quadratic * farSquared, node.root * far);
    double t0 = 0.0, t1 = tMax;
    for (int i = 0; i < 3; ++i) {
        double a = (node.lower[i] - margin - ray.origin[i]) * ray.inverse[i];
        double b = (node.upper[i] + margin - ray.origin[i]) * ray.inverse[i];
        if (a > b) std::swap(a, b);
        t0 = std::max(t0, a);
        t1 = std::min(t1, b);
    }
    return t0 <= t1 ? t0 : kFarAway;
}

// Ties with the current best must stay in reach.
double reachOf(float best) { return static_cast<double>(best) * (1.0 + 0x1p-30); }

// The linear search keeps the first of equal parameters. Visiting objects in
// another order, accept an equal parameter from an earlier object too; such
// an object is asked with a limit just above the best, so that a polygon can
// report a hit exactly at it (its miss then returns that limit, above the best).
struct NearestQuery {
    const Bvh& bvh;
    const std::vector<SceneObject>& objects;
    Ray ray;
    float t = kNoHit;
    int index = -1;
    Vec3 normal{};

    void test(std::int32_t j) {
        const bool earlier = index >= 0 && j < index;
        const float limit = earlier ? std::nextafter(t, std::numeric_limits<float>::infinity()) : t;
        float entry = 0.0f, exit = kNoHit;
        Vec3 n{};
        const float hit =
            intersectObject(objects[static_cast<std::size_t>(j)], ray, limit, n, entry, exit, bvh.fanOf(j));
        if (entry < exit && (hit < t || (earlier && hit == t))) {
            t = hit;
            index = j;
            normal = n;
        }
    }
};

std::pair<const std::int32_t*, const std::int32_t*> parallelCylinders(const Bvh& bvh, Ray ray) {
    if (bvh.cellItems.empty()) return {nullptr, nullptr};
    const int cell = directionCell(ray.direction.x, ray.direction.y, ray.direction.z);
    const std::int32_t* base = bvh.cellItems.data();
    return {base + bvh.cellStart[cell], base + bvh.cellStart[cell + 1]};
}

struct Pending {
    std::int32_t node;
    double entry;
};

constexpr int kStackSize = kMaxDepth + 4;

}  // namespace

Bvh buildBvh(const Scene& scene) {
    Bvh bvh;
    const auto& objects = scene.objectList;
    bvh.objectCount = objects.size();
    std::vector<ObjectBound> bounds;
    bounds.reserve(objects.size());
    std::vector<BuildItem> tight, loose;
    for (std::size_t j = 0; j < objects.size(); ++j) {
        bounds.push_back(boundObject(objects[j]));
        const ObjectBound& b = bounds.back();
        if (b.fate == Fate::Always) bvh.alwaysTested.push_back(static_cast<std::int32_t>(j));
        if (b.fate != Fate::Bounded) continue;
        BuildItem item{};
        for (int i = 0; i < 3; ++i) {
            item.lower[i] = b.lower[i] - b.constant;
            item.upper[i] = b.upper[i] + b.constant;
            item.centroid[i] = 0.5 * (b.lower[i] + b.upper[i]);
        }
        item.linear = b.linear;
        item.quadratic = b.quadratic;
        item.root = b.root;
        item.object = static_cast<std::int32_t>(j);
        (b.linear <= kLooseLinear ? tight : loose).push_back(item);
    }
    bvh.nodes.reserve(2 * (tight.size() + loose.size()));
    bvh.items.reserve(tight.size() + loose.size());
    for (std::vector<BuildItem>* items : {&tight, &loose}) {
        if (items->empty()) continue;
        bvh.roots.push_back(static_cast<std::int32_t>(bvh.nodes.size()));
        Builder(*items, bvh).build(0, items->size(), 0);
    }
    buildDirectionTable(scene, bounds, bvh);
    bvh.fanStart.reserve(objects.size() + 1);
    bvh.fanStart.push_back(0);
    for (const SceneObject& object : objects) {
        const auto& v = object.vertices;
        if (object.kind == ObjectKind::Polygon) {
            for (std::size_t i = 0; i + 2 < v.size(); ++i) bvh.fans.push_back(fanTriangle(v[0], v[i + 1], v[i + 2]));
        }
        bvh.fanStart.push_back(static_cast<std::int32_t>(bvh.fans.size()));
    }
    return bvh;
}

bool acceleratedNearestHit(const Bvh& bvh, const Scene& scene, Ray ray, float& t, int& objectIndex, Vec3& normal) {
    RayFrame frame;
    if (bvh.objectCount != scene.objectList.size() || !prepare(ray, frame)) return false;
    NearestQuery query{bvh, scene.objectList, ray};
    for (const std::int32_t j : bvh.alwaysTested) query.test(j);
    const auto [first, last] = parallelCylinders(bvh, ray);
    for (const std::int32_t* j = first; j != last; ++j) query.test(*j);

    for (const std::int32_t root : bvh.roots) {
        std::array<Pending, kStackSize> stack;
        int top = 0;
        const double rootEntry = enterNode(bvh.nodes[static_cast<std::size_t>(root)], frame, reachOf(query.t));
        if (rootEntry != kFarAway) stack[top++] = {root, rootEntry};
        while (top > 0) {
            const Pending pending = stack[--top];
            if (pending.entry > reachOf(query.t)) continue;
            const BvhNode& node = bvh.nodes[static_cast<std::size_t>(pending.node)];
            if (node.count > 0) {
                for (std::int32_t k = 0; k < node.count; ++k)
                    query.test(bvh.items[static_cast<std::size_t>(node.first + k)]);
                continue;
            }
            std::int32_t near = pending.node + 1, far = node.first;
            const double reach = reachOf(query.t);
            double nearEntry = enterNode(bvh.nodes[static_cast<std::size_t>(near)], frame, reach);
            double farEntry = enterNode(bvh.nodes[static_cast<std::size_t>(far)], frame, reach);
            if (farEntry < nearEntry) {
                std::swap(near, far);
                std::swap(nearEntry, farEntry);
            }
            if (farEntry != kFarAway) stack[top++] = {far, farEntry};
            if (nearEntry != kFarAway) stack[top++] = {near, nearEntry};
        }
    }

    if (query.index >= 0) {
        objectIndex = query.index;
        normal = query.normal;
    }
    normalize(normal, normal);
    t = query.t;
    return true;
}

std::optional<bool> acceleratedIsBlocked(const Bvh& bvh, const Scene& scene, Ray ray) {
    RayFrame frame;
    if (bvh.objectCount != scene.objectList.size() || !prepare(ray, frame)) return std::nullopt;
    const auto& objects = scene.objectList;
    for (const std::int32_t j : bvh.alwaysTested) {
        if (blocksBefore(objects[static_cast<std::size_t>(j)], ray, 1.0f, bvh.fanOf(j))) return true;
    }
    const auto [first, last] = parallelCylinders(bvh, ray);
    for (const std::int32_t* j = first; j != last; ++j) {
        if (blocksBefore(objects[static_cast<std::size_t>(*j)], ray, 1.0f)) return true;
    }
    const double reach = reachOf(1.0f);
    for (const std::int32_t root : bvh.roots) {
        std::array<std::int32_t, kStackSize> stack;
        int top = 0;
        if (enterNode(bvh.nodes[static_cast<std::size_t>(root)], frame, reach) != kFarAway) stack[top++] = root;
        while (top > 0) {
            const std::int32_t index = stack[--top];
            const BvhNode& node = bvh.nodes[static_cast<std::size_t>(index)];
            if (node.count > 0) {
                for (std::int32_t k = 0; k < node.count; ++k) {
                    const std::int32_t j = bvh.items[static_cast<std::size_t>(node.first + k)];
                    if (blocksBefore(objects[static_cast<std::size_t>(j)], ray, 1.0f, bvh.fanOf(j))) return true;
                }
                continue;
            }
            if (enterNode(bvh.nodes[static_cast<std::size_t>(node.first)], frame, reach) != kFarAway) {
                stack[top++] = node.first;
            }
            if (enterNode(bvh.nodes[static_cast<std::size_t>(index + 1)], frame, reach) != kFarAway) {
                stack[top++] = index + 1;
            }
        }
    }
    return false;
}

namespace {

// The widening of a node for rays from `origin`, as enterNode forms it.
double marginFor(const BvhNode& node, const double origin[3], double originSize) {
    double far = 0.0, farSquared = 0.0;
    for (int i = 0; i < 3; ++i) {
        const double reach = std::max(std::fabs(origin[i] - node.lower[i]), std::fabs(origin[i] - node.upper[i]));
        far += reach;
        farSquared += reach * reach;
    }
    return node.linear * (far + originSize) + std::min(node.quadratic * farSquared, node.root * far);
}

bool blocks(const Bvh& bvh, const std::vector<SceneObject>& objects, std::int32_t j, Ray ray, int& lastBlocker) {
    if (!blocksBefore(objects[static_cast<std::size_t>(j)], ray, 1.0f, bvh.fanOf(j))) return false;
    lastBlocker = j;
    return true;
}

}  // namespace

// Whether some ray of a beam within `spread` radians of `toLight` may fall in
// a direction cell that lists a cylinder: a cell lists one when some point
// of it lies within the parallel cone of the axis, and a ray lies in its
// cell, at most a cell's radius from any point of it.
bool beamMayNeedDirectionTable(const Bvh& bvh, const Dvec& toLight, double spread) {
    const double reach = spread + 2.0 * bvh.cellRadius + std::asin(kParallelSine) + kCellSlack;
    if (reach >= std::numbers::pi / 2.0) return true;
    const double cosine = std::cos(reach), length = normD(toLight);
    for (const Vec3& axis : bvh.parallelAxes) {
        const Dvec a = widen(axis);
        if (std::fabs(dotD(toLight, a)) >= cosine * length * normD(a) * (1.0 - 1e-9)) return true;
    }
    return false;
}

bool gatherShadowBeam(const Bvh& bvh, const Scene& scene, Vec3 origin, Vec3 light, float radius,
                      std::span<const Vec3> directions, ShadowBeam& beam) {
    beam.count = 0;
    if (bvh.objectCount != scene.objectList.size()) return false;
    RayFrame frame;
    if (directions.empty() || !prepare({origin, directions[0]}, frame)) return false;
    const double reach = reachOf(1.0f);
    double lower[3], upper[3];
    for (int i = 0; i < 3; ++i) lower[i] = upper[i] = frame.origin[i];
    for (const Vec3& direction : directions) {
        // What prepare asks of a direction.
        const double d[3] = {direction.x, direction.y, direction.z};
        const double size = std::max({std::fabs(d[0]), std::fabs(d[1]), std::fabs(d[2])});
        if (!(size <= kLargest && size >= 1.0 / kLargest)) return false;
        for (int i = 0; i < 3; ++i) {
            const double end = frame.origin[i] + reach * d[i];
            lower[i] = std::min(lower[i], end);
            upper[i] = std::max(upper[i], end);
        }
    }
    // Room for the rounding of the ends above.
    for (int i = 0; i < 3; ++i) {
        const double slack = 0x1p-40 * std::max({std::fabs(lower[i]), std::fabs(upper[i]), 1.0});
        lower[i] -= slack;
        upper[i] += slack;
    }

    beam.nearlyParallelCylinders = false;
    if (!bvh.cellItems.empty()) {
        // The samples' float rounding may carry them a little past the radius.
        const Dvec toLight = widen(light) - Dvec{frame.origin[0], frame.origin[1], frame.origin[2]};
        const double distance = normD(toLight), within = std::fabs(static_cast<double>(radius)) * (1.0 + 1e-5) + 1e-30;
        beam.nearlyParallelCylinders =
            !(within < 0.5 * distance) || beamMayNeedDirectionTable(bvh, toLight, std::asin(within / distance) + 1e-6);
    }

    // The widened box of a node or an object, if it meets the beam's box.
    const auto meets = [&](const BvhNode& bound, ShadowBeam::Candidate& box) {
        const double margin = marginFor(bound, frame.origin, frame.originSize);
        bool inside = true;
        for (int i = 0; i < 3; ++i) {
            box.lower[i] = bound.lower[i] - margin;
            box.upper[i] = bound.upper[i] + margin;
            inside = inside && box.lower[i] <= upper[i] && box.upper[i] >= lower[i];
        }
        return inside;
    };
    for (const std::int32_t root : bvh.roots) {
        std::array<std::int32_t, kStackSize> stack;
        int top = 0;
        stack[top++] = root;
        while (top > 0) {
            const std::int32_t index = stack[--top];
            const BvhNode& node = bvh.nodes[static_cast<std::size_t>(index)];
            ShadowBeam::Candidate box{};
            if (!meets(node, box)) continue;
            if (node.count == 0) {
                stack[top++] = node.first;
                stack[top++] = index + 1;
                continue;
            }
            for (std::int32_t k = node.first; k < node.first + node.count; ++k) {
                if (!meets(bvh.itemBounds[static_cast<std::size_t>(k)], box)) continue;
                if (beam.count == kMaxBeamObjects) return false;
                box.object = bvh.items[static_cast<std::size_t>(k)];
                beam.candidates[static_cast<std::size_t>(beam.count++)] = box;
            }
        }
    }
    return true;
}

bool beamRayIsBlocked(const Bvh& bvh, const Scene& scene, const ShadowBeam& beam, Ray ray, int& lastBlocker) {
    const auto& objects = scene.objectList;
    if (lastBlocker >= 0 && blocks(bvh, objects, lastBlocker, ray, lastBlocker)) return true;
    for (const std::int32_t j : bvh.alwaysTested) {
        if (blocks(bvh, objects, j, ray, lastBlocker)) return true;
    }
    if (beam.nearlyParallelCylinders) {
        const auto [first, last] = parallelCylinders(bvh, ray);
        for (const std::int32_t* j = first; j != last; ++j) {
            if (blocks(bvh, objects, *j, ray, lastBlocker)) return true;
        }
    }
    const double o[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
    const float d[3] = {ray.direction.x, ray.direction.y, ray.direction.z};
    double inverse[3];
    for (int i = 0; i < 3; ++i) {
        inverse[i] = d[i] != 0.0f ? 1.0 / static_cast<double>(d[i]) : std::copysign(1e300, d[i]);
    }
    const double reach = reachOf(1.0f);
    for (int k = 0; k < beam.count; ++k) {
        const ShadowBeam::Candidate& candidate = beam.candidates[static_cast<std::size_t>(k)];
        // The leaf test of enterNode for this object alone, with the margin
        // the beam already added.
        double t0 = 0.0, t1 = reach;
        for (int i = 0; i < 3; ++i) {
            double a = (candidate.lower[i] - o[i]) * inverse[i];
            double b = (candidate.upper[i] - o[i]) * inverse[i];
            if (a > b) std::swap(a, b);
            t0 = std::max(t0, a);
            t1 = std::min(t1, b);
        }
        if (t0 <= t1 && blocks(bvh, objects, candidate.object, ray, lastBlocker)) return true;
    }
    return false;
}
