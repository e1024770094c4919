#include "render/bvh/direction_table.h"

#include <bit>
#include <map>
#include <numbers>

namespace {

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

}  // namespace

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

void buildDirectionTable(const Scene& scene, std::span<const std::int32_t> boundedCylinders, Bvh& bvh) {
    // Cylinders grouped by their axis exactly as the routine computes it.
    std::map<std::array<std::uint32_t, 3>, std::vector<std::int32_t>> byAxis;
    for (const std::int32_t j : boundedCylinders) {
        const SceneObject& object = scene.objectList[static_cast<std::size_t>(j)];
        Vec3 axis{};
        normalize(object.top - object.center, axis);
        byAxis[{std::bit_cast<std::uint32_t>(axis.x), std::bit_cast<std::uint32_t>(axis.y),
                std::bit_cast<std::uint32_t>(axis.z)}]
            .push_back(j);
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

std::pair<const std::int32_t*, const std::int32_t*> parallelCylinders(const Bvh& bvh, const Ray& ray) {
    if (bvh.cellItems.empty()) return {nullptr, nullptr};
    const int cell = directionCell(ray.direction.x, ray.direction.y, ray.direction.z);
    const std::int32_t* base = bvh.cellItems.data();
    return {base + bvh.cellStart[cell], base + bvh.cellStart[cell + 1]};
}

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
