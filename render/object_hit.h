// What a ray meets of one object: the routine its kind picks, with what a
// hierarchy prepared for it, and the answer a nearest-hit query gives.
#pragma once

#include <span>

#include "geometry/intersect.h"
#include "geometry/shapes.h"
#include "geometry/vec3.h"
#include "scene/scene.h"

// What a hierarchy computed beforehand from an object's own data: a
// polygon's fan (fanTriangle) or a cylinder's axes (cylinderAxes).
struct PreparedShape {
    std::span<const FanTriangle> fan;
    const CylinderAxes* cylinder = nullptr;
    const EllipsoidFrame* ellipsoid = nullptr;
    const BoxFaces* box = nullptr;
};

// Picks the routine for the object's kind; an unknown kind returns kNoHit and
// touches nothing.
float intersectObject(const SceneObject& object, const Ray& ray, float limit, Vec3& normal, float& entry, float& exit,
                      const PreparedShape& prepared = {});

// Whether the object is hit strictly before `limit`: the any-hit question of
// a shadow ray, whose direction reaches the light at 1.
bool blocksBefore(const SceneObject& object, const Ray& ray, float limit, const PreparedShape& prepared = {});

// What findNearestHit answers for one ray: t, and on a hit the object and
// its unit normal.
struct NearestHit {
    float t = kNoHit;
    int objectIndex = 0;
    Vec3 normal{};
};
