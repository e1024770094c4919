#include "render/bvh/prepared_shapes.h"

#include "geometry/intersect.h"

void PreparedShapes::reserve(std::size_t objects) {
    fans.reserve(objects);  // one triangle each, the common case
    fanStart.reserve(fanStart.size() + objects);
    slot.reserve(objects);
}

void PreparedShapes::add(const SceneObject& object) {
    const auto& v = object.vertices;
    if (object.kind == ObjectKind::Polygon) {
        for (std::size_t i = 0; i + 2 < v.size(); ++i) fans.push_back(fanTriangle(v[0], v[i + 1], v[i + 2]));
    }
    fanStart.push_back(static_cast<std::int32_t>(fans.size()));
    // What the object's own routine derives from its data alone, in the
    // array of its kind.
    const auto keep = [this](auto& all, const auto& prepared) {
        slot.push_back(static_cast<std::int32_t>(all.size()));
        all.push_back(prepared);
    };
    switch (object.kind) {
        case ObjectKind::Cylinder:
            keep(cylinders, cylinderAxes({object.top, object.center, object.radius}));
            break;
        case ObjectKind::Ellipsoid:
            keep(ellipsoids, ellipsoidFrame({object.center, object.axis1, object.axis2, object.axis3}));
            break;
        case ObjectKind::Box:
            keep(boxes, boxFaces({object.corner, object.edge1, object.edge2, object.edge3}));
            break;
        case ObjectKind::Polygon:
        case ObjectKind::Sphere:
            slot.push_back(-1);
            break;
    }
}

void PreparedShapes::append(const PreparedShapes& more, std::span<const SceneObject> moreObjects) {
    // Everything of `more` counts on from what is here.
    for (auto at = more.fanStart.begin() + 1; at != more.fanStart.end(); ++at) {
        fanStart.push_back(*at + static_cast<std::int32_t>(fans.size()));
    }
    const auto offset = [&](ObjectKind kind) -> std::size_t {
        switch (kind) {
            case ObjectKind::Cylinder:
                return cylinders.size();
            case ObjectKind::Ellipsoid:
                return ellipsoids.size();
            case ObjectKind::Box:
                return boxes.size();
            case ObjectKind::Polygon:
            case ObjectKind::Sphere:
                break;
        }
        return 0;
    };
    for (std::size_t j = 0; j < more.slot.size(); ++j) {
        const std::int32_t at = more.slot[j];
        slot.push_back(at < 0 ? at : at + static_cast<std::int32_t>(offset(moreObjects[j].kind)));
    }
    fans.insert(fans.end(), more.fans.begin(), more.fans.end());
    cylinders.insert(cylinders.end(), more.cylinders.begin(), more.cylinders.end());
    ellipsoids.insert(ellipsoids.end(), more.ellipsoids.begin(), more.ellipsoids.end());
    boxes.insert(boxes.end(), more.boxes.begin(), more.boxes.end());
}
