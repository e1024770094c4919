// The in-memory scene: stored exactly as the file gives it, in file order.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/vec3.h"

struct Camera {
    Vec3 screenCenter;
    Vec3 screenRight;  // centre to the middle of the right edge
    Vec3 screenUp;     // centre to the middle of the top edge
    Vec3 eyeOffset;    // the eye is at screenCenter + eyeOffset
};

struct Air {
    float permittivity;  // stored only: the air's refractive index is taken as 1
    float permeability;
    Color transmittance;  // per unit of distance
};

struct Light {
    Vec3 position;
    Color color;
    float radius;  // extent sampled by the soft shadow modes
};

enum class ObjectKind : std::int32_t {
    Sphere = 0,
    Ellipsoid = 1,
    Polygon = 2,
    Box = 3,
    Cylinder = 4,
};

// One record for every kind. Geometry fields that do not belong to the kind
// are never read.
struct SceneObject {
    ObjectKind kind;
    // Box
    Vec3 corner;
    Vec3 edge1;
    Vec3 edge2;
    Vec3 edge3;
    // Sphere, Ellipsoid, Cylinder (the cylinder's base cap)
    Vec3 center;
    // Ellipsoid
    Vec3 axis1;
    Vec3 axis2;
    Vec3 axis3;
    // Cylinder
    Vec3 top;
    // Sphere, Cylinder
    float radius;
    // Polygon
    std::int32_t vertexCount;
    std::vector<Vec3> vertices;
    // Material
    Color color;
    Color transmittance;  // per unit of distance inside the object
    float reflectance;
    float shininess;
    float permittivity;
    float permeability;
};

struct Scene {
    Camera camera{};
    Color ambient{};
    Air air{};
    std::vector<Light> lightList;
    std::vector<SceneObject> objectList;
};

// Values before the first load and after every reset: zero camera and
// ambient, the air's defaults, no lights, no objects.
inline constexpr Air kDefaultAir{1000000.0f, 1.0f, {1.0f, 1.0f, 1.0f}};

inline void resetScene(Scene& scene) {
    scene.lightList.clear();
    scene.objectList.clear();
    scene.camera = Camera{};
    scene.ambient = Color{};
    scene.air = kDefaultAir;
}
