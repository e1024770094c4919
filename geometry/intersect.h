// Ray-object intersection.
//
// Every routine returns a ray parameter t (hit point = origin + t*direction,
// never a distance). A query counts as a hit exactly when the result is
// strictly below the `limit` passed in and, afterwards, entry < exit (only
// the box changes entry and exit; callers preset them to 0 and kNoHit).
// Normals are unit length and point out of the solid, never turned towards
// the ray; on a miss `normal` holds nothing meaningful.
#pragma once

#include <span>

#include "geometry/shapes.h"
#include "geometry/vec3.h"

inline constexpr float kNoHit = 999999.0f;

// Nearer root t >= 0, or the far root when the origin is inside; `limit` on a miss.
float intersectSphere(const Sphere& sphere, const Ray& ray, float limit, Vec3& normal);
float intersectEllipsoid(const Ellipsoid& ellipsoid, const Ray& ray, float limit, Vec3& normal);
// The same with the frame computed beforehand by ellipsoidFrame.
float intersectEllipsoid(const Ellipsoid& ellipsoid, const EllipsoidFrame& frame, const Ray& ray, float limit,
                         Vec3& normal);
EllipsoidFrame ellipsoidFrame(const Ellipsoid& ellipsoid);
// Slab test over the six faces; the miss shows as entry >= exit.
float intersectBox(const Box& box, const Ray& ray, Vec3& normal, float& entry, float& exit);
// The same with the faces computed beforehand by boxFaces.
float intersectBox(const Box& box, const BoxFaces& faces, const Ray& ray, Vec3& normal, float& entry, float& exit);
BoxFaces boxFaces(const Box& box);
// Smallest fan-triangle t with 0 <= t <= limit (edges inclusive), else `limit`.
// A polygon of fewer than three vertices is a miss.
float intersectPolygon(Polygon polygon, const Ray& ray, float limit, Vec3& normal);
// intersectPolygon over a fan computed beforehand: the same parameter and
// normal. fanParameter is its parameter alone, for any-hit questions.
float intersectFan(std::span<const FanTriangle> fan, const Ray& ray, float limit, Vec3& normal);
float fanParameter(std::span<const FanTriangle> fan, const Ray& ray, float limit);
FanTriangle fanTriangle(Vec3 v0, Vec3 v1, Vec3 v2);
// The triangle's t if 0 <= t <= best and the hit lies in it (edges
// inclusive), else best.
float fanTriangleHit(const FanTriangle& triangle, const Ray& ray, float best);
// Smallest candidate t > 0 on the side or the caps, else kNoHit.
float intersectCylinder(Cylinder cylinder, const Ray& ray, Vec3& normal);
// The same with the axes computed beforehand by cylinderAxes.
float intersectCylinder(Cylinder cylinder, const CylinderAxes& axes, const Ray& ray, Vec3& normal);
CylinderAxes cylinderAxes(Cylinder cylinder);
// Where the ray's line enters and leaves the infinite cylinder around the
// axis through `base` along the unit `axis`.
bool intersectInfiniteCylinder(Vec3 rayOrigin, Vec3 rayDirection, Vec3 base, Vec3 axis, float radius, float& tIn,
                               float& tOut);

// The parameter alone, exactly as the routines above return it, for the
// any-hit question of a shadow ray, which needs no normal.
float sphereParameter(const Sphere& sphere, const Ray& ray, float limit);
float ellipsoidParameter(const Ellipsoid& ellipsoid, const Ray& ray, float limit);
float ellipsoidParameter(const Ellipsoid& ellipsoid, const EllipsoidFrame& frame, const Ray& ray, float limit);
float polygonParameter(Polygon polygon, const Ray& ray, float limit);
float cylinderParameter(Cylinder cylinder, const CylinderAxes& axes, const Ray& ray);
