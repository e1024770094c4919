// The geometry of each kind of object, as the intersection routines take it.
// These hold no material; the dispatcher builds them from a SceneObject.
#pragma once

#include <cstdint>
#include <span>

#include "geometry/vec3.h"

struct Sphere {
    Vec3 center;
    float radius;
};

// The surface is center + a*axis1 + b*axis2 + c*axis3 with a² + b² + c² = 1.
struct Ellipsoid {
    Vec3 center;
    Vec3 axis1;
    Vec3 axis2;
    Vec3 axis3;
};

// A fan of triangles (V0, Vi+1, Vi+2). The vertices are viewed, not copied:
// the routine only reads them, and a hot path must not allocate.
struct Polygon {
    std::int32_t vertexCount;
    std::span<const Vec3> vertices;
};

// One triangle (v0, v1, v2) of a polygon's fan, with everything its test
// computes from the vertices alone, so a hierarchy can compute it once.
struct FanTriangle {
    Vec3 v0;
    Vec3 e1;  // v1 - v0
    Vec3 e2;  // v2 - v0
    Vec3 n;   // e1 x e2, not normalised
    float l1Squared;
    float l2Squared;
    float offDiagonal;  // -(e1 . e2)
    float inverse;      // 1 / the Gram determinant of e1 and e2
};

// The parallelepiped corner + a*edge1 + b*edge2 + c*edge3, a, b, c in [0, 1].
struct Box {
    Vec3 corner;
    Vec3 edge1;
    Vec3 edge2;
    Vec3 edge3;
};

// Capped cylinder around the axis from center (base cap) to top.
struct Cylinder {
    Vec3 top;
    Vec3 center;
    float radius;
};

// The unit directions a cylinder's test takes from its two centres alone,
// so a hierarchy can compute them once: along the axis towards the top, the
// top cap's normal and the base cap's (zero when the centres coincide).
struct CylinderAxes {
    Vec3 axis;
    Vec3 topNormal;
    Vec3 baseNormal;
};

// Likewise the inverse of an ellipsoid's axes, which carries a ray into the
// space where it is the unit sphere.
struct EllipsoidFrame {
    Matrix3 inverse;
};

// Likewise a box's unit face normals: faces 0, 2 and 4 (1, 3 and 5 the opposites).
struct BoxFaces {
    Vec3 n0, n2, n4;
};
