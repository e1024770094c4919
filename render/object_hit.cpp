#include "render/object_hit.h"

namespace {

// The normal is left out of the any-hit question (kNormal false).
template <bool kNormal>
float objectHit(const SceneObject& object, const PreparedShape& prepared, const Ray& ray, float limit, Vec3& normal,
                float& entry, float& exit) {
    switch (object.kind) {
        case ObjectKind::Sphere: {
            const Sphere sphere{object.center, object.radius};
            return kNormal ? intersectSphere(sphere, ray, limit, normal) : sphereParameter(sphere, ray, limit);
        }
        case ObjectKind::Ellipsoid: {
            const Ellipsoid ellipsoid{object.center, object.axis1, object.axis2, object.axis3};
            const EllipsoidFrame frame = prepared.ellipsoid ? *prepared.ellipsoid : ellipsoidFrame(ellipsoid);
            return kNormal ? intersectEllipsoid(ellipsoid, frame, ray, limit, normal)
                           : ellipsoidParameter(ellipsoid, frame, ray, limit);
        }
        case ObjectKind::Polygon: {
            const std::span<const FanTriangle> fan = prepared.fan;
            if (!fan.empty()) return kNormal ? intersectFan(fan, ray, limit, normal) : fanParameter(fan, ray, limit);
            const Polygon polygon{object.vertexCount, object.vertices};
            return kNormal ? intersectPolygon(polygon, ray, limit, normal) : polygonParameter(polygon, ray, limit);
        }
        case ObjectKind::Box: {
            const Box box{object.corner, object.edge1, object.edge2, object.edge3};
            return intersectBox(box, prepared.box ? *prepared.box : boxFaces(box), ray, normal, entry, exit);
        }
        case ObjectKind::Cylinder: {
            const Cylinder cylinder{object.top, object.center, object.radius};
            const CylinderAxes axes = prepared.cylinder ? *prepared.cylinder : cylinderAxes(cylinder);
            return kNormal ? intersectCylinder(cylinder, axes, ray, normal) : cylinderParameter(cylinder, axes, ray);
        }
    }
    return kNoHit;
}

}  // namespace

float intersectObject(const SceneObject& object, const Ray& ray, float limit, Vec3& normal, float& entry, float& exit,
                      const PreparedShape& prepared) {
    return objectHit<true>(object, prepared, ray, limit, normal, entry, exit);
}

bool blocksBefore(const SceneObject& object, const Ray& ray, float limit, const PreparedShape& prepared) {
    float entry = 0.0f, exit = kNoHit;
    Vec3 scratch{};
    const float t = objectHit<false>(object, prepared, ray, limit, scratch, entry, exit);
    return t < limit && entry < exit;
}
