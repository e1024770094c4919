// Work the hierarchy does once when it is built, so that no ray repeats it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "geometry/shapes.h"
#include "render/object_hit.h"
#include "scene/scene.h"

// What the objects' routines derive from their data alone, computed once
// for object j: fans[fanStart[j] .. fanStart[j + 1]) of a polygon, and
// cylinders[slot[j]], ellipsoids[slot[j]] or boxes[slot[j]] by its kind
// (-1 for the other kinds).
struct PreparedShapes {
    std::vector<FanTriangle> fans;
    std::vector<std::int32_t> fanStart{0};
    std::vector<std::int32_t> slot;
    std::vector<CylinderAxes> cylinders;
    std::vector<EllipsoidFrame> ellipsoids;
    std::vector<BoxFaces> boxes;

    void reserve(std::size_t objects);
    void add(const SceneObject& object);      // as the next object
    // The objects of `more` after these.
    void append(const PreparedShapes& more, std::span<const SceneObject> moreObjects);

    PreparedShape of(std::int32_t object, ObjectKind kind) const {
        const auto j = static_cast<std::size_t>(object);
        const auto at = [this, j](const auto& all) {
            return slot[j] >= 0 ? &all[static_cast<std::size_t>(slot[j])] : nullptr;
        };
        PreparedShape prepared;
        switch (kind) {
            case ObjectKind::Polygon:
                prepared.fan = {fans.data() + fanStart[j], static_cast<std::size_t>(fanStart[j + 1] - fanStart[j])};
                break;
            case ObjectKind::Cylinder:
                prepared.cylinder = at(cylinders);
                break;
            case ObjectKind::Ellipsoid:
                prepared.ellipsoid = at(ellipsoids);
                break;
            case ObjectKind::Box:
                prepared.box = at(boxes);
                break;
            case ObjectKind::Sphere:
                break;
        }
        return prepared;
    }
};
