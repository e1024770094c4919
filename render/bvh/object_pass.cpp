#include "render/bvh/object_pass.h"

#include <algorithm>

namespace {

// Appends `run` to `all`, taking it whole if `all` is still empty.
template <class T>
void join(std::vector<T>& all, std::vector<T>& run) {
    if (all.empty()) {
        all.swap(run);
    } else {
        all.insert(all.end(), run.begin(), run.end());
    }
}

}  // namespace

void passOver(const std::vector<SceneObject>& objects, std::size_t begin, std::size_t end,
              std::vector<LaneKind>& laneKinds, std::vector<ItemMargins>& margins, ObjectPass& pass) {
    const std::size_t count = end - begin;
    pass.shapes.reserve(count);
    pass.tight.reserve(count);
    for (std::size_t j = begin; j < end; ++j) {
        const SceneObject& object = objects[j];
        const std::size_t fansBefore = pass.shapes.fans.size();
        pass.shapes.add(object);
        const std::size_t fan = pass.shapes.fans.size() - fansBefore;
        laneKinds[j] = fan >= 1 && fan <= kMostFanLanes    ? LaneKind::Triangle
                       : object.kind == ObjectKind::Sphere ? LaneKind::Sphere
                                                           : LaneKind::Other;
        const ObjectBound b = object.kind == ObjectKind::Polygon && object.vertices.size() == 3
                                  ? boundTriangle(pass.shapes.fans.back(), object.vertices[1], object.vertices[2])
                                  : boundObject(object);
        if (b.fate == Fate::Always) pass.alwaysTested.push_back(static_cast<std::int32_t>(j));
        if (b.fate != Fate::Bounded) continue;
        if (object.kind == ObjectKind::Cylinder) pass.boundedCylinders.push_back(static_cast<std::int32_t>(j));
        BuildItem item{};
        for (int i = 0; i < 3; ++i) {
            const double lo = b.lower[i] - b.constant, hi = b.upper[i] + b.constant;
            item.lower[i] = floatBelow(lo);
            item.upper[i] = floatAbove(hi);
            pass.lower[i] = std::min(pass.lower[i], lo);
            pass.upper[i] = std::max(pass.upper[i], hi);
        }
        item.upper[3] = std::bit_cast<float>(kObjectBits + static_cast<std::int32_t>(j));
        margins[j] = {floatAbove(b.linear), floatAbove(b.quadratic), floatAbove(b.root)};
        ++pass.boundedObjects;
        // Each triangle of a polygon in lanes within the polygon's box.
        const std::size_t pieces = laneKinds[j] == LaneKind::Triangle ? fan : 1;
        for (std::size_t piece = 0; piece < pieces; ++piece) {
            item.lower[3] = static_cast<float>(piece);
            (b.linear <= kLooseLinear ? pass.tight : pass.loose).push_back(item);
        }
    }
}

void joinPasses(ObjectPass& first, ObjectPass& second, std::span<const SceneObject> secondObjects) {
    first.shapes.append(second.shapes, secondObjects);
    join(first.alwaysTested, second.alwaysTested);
    join(first.boundedCylinders, second.boundedCylinders);
    join(first.tight, second.tight);
    join(first.loose, second.loose);
    first.boundedObjects += second.boundedObjects;
    for (int i = 0; i < 3; ++i) {
        first.lower[i] = std::min(first.lower[i], second.lower[i]);
        first.upper[i] = std::max(first.upper[i], second.upper[i]);
    }
}
