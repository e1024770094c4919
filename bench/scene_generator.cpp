#include "bench/scene_generator.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>
#include <vector>

namespace {

// splitmix64: the same numbers on every platform, unlike <random>'s distributions.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    float uniform(float lo, float hi) {
        const double unit = static_cast<double>(next() >> 11) * 0x1p-53;
        return static_cast<float>(lo + (hi - lo) * unit);
    }
    bool chance(double p) { return static_cast<double>(next() >> 11) * 0x1p-53 < p; }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    Vec3 inBox(float size) { return {uniform(-size, size), uniform(-size, size), uniform(-size, size)}; }
    Vec3 direction() {
        for (;;) {
            const Vec3 v = inBox(1.0f);
            const float l = length(v);
            if (l > 0.1f && l <= 1.0f) return {v.x / l, v.y / l, v.z / l};
        }
    }

private:
    std::uint64_t state_;
};

Vec3 scaled(float s, Vec3 v) { return s * v; }

void randomMaterial(Rng& rng, SceneObject& object) {
    object.color = {rng.uniform(0.0f, 1.0f), rng.uniform(0.0f, 1.0f), rng.uniform(0.0f, 1.0f)};
    object.reflectance = rng.chance(0.3) ? 0.0f : rng.uniform(0.0f, 1.0f);
    object.shininess = rng.uniform(0.0f, 80.0f);
    object.transmittance = {rng.uniform(0.3f, 1.0f), rng.uniform(0.3f, 1.0f), rng.uniform(0.3f, 1.0f)};
    object.permeability = rng.chance(0.7) ? 1.0f : rng.uniform(0.8f, 1.5f);
    object.permittivity = rng.chance(0.15) ? object.permeability : rng.uniform(1.0f, 3.0f);
}

void plainMaterial(SceneObject& object, Color color) {
    object.color = color;
    object.reflectance = 0.2f;
    object.shininess = 20.0f;
    object.transmittance = {1.0f, 1.0f, 1.0f};
    object.permittivity = 1.0f;
    object.permeability = 1.0f;
}

SceneObject sphere(Vec3 center, float radius) {
    SceneObject o{};
    o.kind = ObjectKind::Sphere;
    o.center = center;
    o.radius = radius;
    return o;
}

SceneObject ellipsoid(Vec3 center, Vec3 a1, Vec3 a2, Vec3 a3) {
    SceneObject o{};
    o.kind = ObjectKind::Ellipsoid;
    o.center = center;
    o.axis1 = a1;
    o.axis2 = a2;
    o.axis3 = a3;
    return o;
}

SceneObject box(Vec3 corner, Vec3 e1, Vec3 e2, Vec3 e3) {
    SceneObject o{};
    o.kind = ObjectKind::Box;
    o.corner = corner;
    o.edge1 = e1;
    o.edge2 = e2;
    o.edge3 = e3;
    return o;
}

SceneObject cylinder(Vec3 base, Vec3 top, float radius) {
    SceneObject o{};
    o.kind = ObjectKind::Cylinder;
    o.center = base;
    o.top = top;
    o.radius = radius;
    return o;
}

SceneObject polygon(std::vector<Vec3> vertices) {
    SceneObject o{};
    o.kind = ObjectKind::Polygon;
    o.vertexCount = static_cast<std::int32_t>(vertices.size());
    o.vertices = std::move(vertices);
    return o;
}

// A polygon around `center` in the plane of two random directions; bent out
// of that plane when `bend` is non-zero.
SceneObject randomPolygon(Rng& rng, Vec3 center, float size, float bend) {
    const Vec3 u = rng.direction();
    Vec3 v = cross(u, rng.direction());
    normalize(v, v);
    const int count = 3 + rng.below(4);
    std::vector<Vec3> vertices;
    for (int i = 0; i < count; ++i) {
        const float angle = 2.0f * std::numbers::pi_v<float> * (static_cast<float>(i) + rng.uniform(0.0f, 0.6f)) /
                            static_cast<float>(count);
        const float r = size * rng.uniform(0.5f, 1.0f);
        const Vec3 w = cross(u, v);
        vertices.push_back(center + scaled(r * std::cos(angle), u) + scaled(r * std::sin(angle), v) +
                           scaled(bend * rng.uniform(-1.0f, 1.0f), w));
    }
    return polygon(std::move(vertices));
}

SceneObject randomObject(Rng& rng, Vec3 center, float size) {
    switch (rng.below(5)) {
        case 0: {
            const float r = size * rng.uniform(0.3f, 1.0f);
            return sphere(center, rng.chance(0.15) ? -r : r);
        }
        case 1: {
            // Skewed axes, sometimes left-handed.
            const Vec3 a1 = scaled(size * rng.uniform(0.3f, 1.0f), rng.direction());
            const Vec3 a2 = scaled(size * rng.uniform(0.3f, 1.0f), rng.direction());
            const Vec3 a3 = scaled(size * rng.uniform(0.3f, 1.0f), rng.direction());
            return ellipsoid(center, a1, a2, a3);
        }
        case 2:
            return randomPolygon(rng, center, size, rng.chance(0.3) ? 0.3f * size : 0.0f);
        case 3: {
            Vec3 e1 = scaled(size * rng.uniform(0.4f, 1.2f), rng.direction());
            Vec3 e2 = scaled(size * rng.uniform(0.4f, 1.2f), rng.direction());
            const Vec3 e3 = scaled(size * rng.uniform(0.4f, 1.2f), rng.direction());
            // Right-handed most of the time; a left-handed box is never hit.
            if ((dot(e1, cross(e2, e3)) < 0.0f) != rng.chance(0.2)) std::swap(e1, e2);
            return box(center - scaled(0.5f, e1 + e2 + e3), e1, e2, e3);
        }
        default: {
            const Vec3 axis = scaled(size * rng.uniform(0.5f, 2.0f), rng.direction());
            const float r = size * rng.uniform(0.2f, 0.8f);
            return cylinder(center - scaled(0.5f, axis), center + scaled(0.5f, axis), rng.chance(0.1) ? -r : r);
        }
    }
}

SceneObject degenerateObject(Rng& rng, Vec3 center) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    switch (rng.below(8)) {
        case 0:
            return sphere(center, 0.0f);
        case 1:
            return sphere({center.x, nan, center.z}, 1.0f);
        case 2:  // dependent axes
            return ellipsoid(center, {1, 0, 0}, {0, 1, 0}, {1, 1, 0});
        case 3:  // repeated and collinear vertices
            return polygon({center, center, center + Vec3{1, 0, 0}, center + Vec3{2, 0, 0}, center + Vec3{1, 1, 0}});
        case 4:
            return box(center, {1, 0, 0}, {0, 0, 0}, {0, 0, 1});
        case 5:
            return cylinder(center, center, 1.0f);
        case 6:
            return polygon({center, center + Vec3{1, 0, 0}});
        default:
            return box(center, {inf, 0, 0}, {0, 1, 0}, {0, 0, 1});
    }
}

Scene withCamera(Vec3 center, float halfWidth, float eyeDistance) {
    Scene scene;
    resetScene(scene);
    scene.camera = {center, {halfWidth, 0, 0}, {0, halfWidth, 0}, {0, 0, eyeDistance}};
    scene.ambient = {0.1f, 0.1f, 0.1f};
    return scene;
}

void addLights(Rng& rng, Scene& scene, int count, float spread) {
    for (int i = 0; i < count; ++i) {
        Light light{};
        light.position = {rng.uniform(-spread, spread), rng.uniform(0.5f * spread, spread),
                          rng.uniform(-spread, spread)};
        light.color = {rng.uniform(0.3f, 1.0f), rng.uniform(0.3f, 1.0f), rng.uniform(0.3f, 1.0f)};
        light.radius = rng.chance(0.2) ? 0.0f : rng.uniform(0.1f, 2.0f);
        scene.lightList.push_back(light);
    }
}

void writeFloat(std::ostream& out, float value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.write(buffer, result.ptr - buffer);
}

void writeTriple(std::ostream& out, float a, float b, float c) {
    out << " (";
    writeFloat(out, a);
    out << ',';
    writeFloat(out, b);
    out << ',';
    writeFloat(out, c);
    out << ')';
}

void writeVec(std::ostream& out, Vec3 v) { writeTriple(out, v.x, v.y, v.z); }
void writeColor(std::ostream& out, Color c) { writeTriple(out, c.red, c.green, c.blue); }

void writeNumber(std::ostream& out, float value) {
    out << ' ';
    writeFloat(out, value);
}

}  // namespace

Scene randomScene(std::uint32_t seed) {
    Rng rng(seed);
    Scene scene = withCamera({0, 0, 0}, rng.uniform(3.0f, 5.0f), rng.uniform(3.0f, 8.0f));
    scene.ambient = {rng.uniform(0.0f, 0.3f), rng.uniform(0.0f, 0.3f), rng.uniform(0.0f, 0.3f)};
    if (rng.chance(0.3)) {
        scene.air.permeability = rng.uniform(0.9f, 1.2f);
        scene.air.transmittance = {rng.uniform(0.9f, 1.0f), rng.uniform(0.9f, 1.0f), 1.0f};
    }
    addLights(rng, scene, 1 + rng.below(3), 8.0f);
    const int count = 12 + rng.below(9);
    for (int i = 0; i < count; ++i) {
        const Vec3 center{rng.uniform(-4.0f, 4.0f), rng.uniform(-4.0f, 4.0f), rng.uniform(-14.0f, -3.0f)};
        SceneObject object = rng.chance(0.06) ? degenerateObject(rng, center) : randomObject(rng, center, 1.5f);
        randomMaterial(rng, object);
        scene.objectList.push_back(object);
        if (rng.chance(0.1)) {
            // An exact duplicate: every hit ties, and the first must win.
            SceneObject twin = object;
            randomMaterial(rng, twin);
            scene.objectList.push_back(twin);
        }
    }
    // Two triangles sharing an edge: rays along it hit both at the same t.
    const Vec3 a{-3, -3, -9}, b{3, -3, -9}, c{3, 3, -10}, d{-3, 3, -10};
    SceneObject first = polygon({a, b, c}), second = polygon({a, c, d});
    randomMaterial(rng, first);
    randomMaterial(rng, second);
    scene.objectList.push_back(first);
    scene.objectList.push_back(second);
    return scene;
}

Scene triangleMesh(int triangles) {
    // A UV sphere of `stacks` x `slices` quads, two triangles each, with a
    // smooth bump so that neighbouring triangles are not coplanar.
    const int stacks = std::max(2, static_cast<int>(std::sqrt(triangles / 4.0)));
    const int slices = std::max(3, triangles / (2 * stacks));
    Scene scene = withCamera({0, 0, 0}, 1.2f, 3.0f);
    scene.lightList.push_back({{5, 8, 6}, {1, 1, 1}, 1.0f});
    auto point = [&](int i, int j) {
        const double theta = std::numbers::pi * i / stacks;
        const double phi = 2.0 * std::numbers::pi * j / slices;
        const double r = 3.0 + 0.25 * std::sin(5.0 * theta) * std::cos(7.0 * phi);
        return Vec3{static_cast<float>(r * std::sin(theta) * std::cos(phi)), static_cast<float>(r * std::cos(theta)),
                    static_cast<float>(r * std::sin(theta) * std::sin(phi) - 12.0)};
    };
    SceneObject face{};
    plainMaterial(face, {0.8f, 0.6f, 0.3f});
    face.kind = ObjectKind::Polygon;
    face.vertexCount = 3;
    for (int i = 0; i < stacks; ++i) {
        for (int j = 0; j < slices; ++j) {
            const Vec3 p00 = point(i, j), p01 = point(i, j + 1), p10 = point(i + 1, j), p11 = point(i + 1, j + 1);
            if (i > 0) {
                face.vertices = {p00, p01, p11};
                scene.objectList.push_back(face);
            }
            if (i + 1 < stacks) {
                face.vertices = {p00, p11, p10};
                scene.objectList.push_back(face);
            }
        }
    }
    return scene;
}

Scene sphereField(int count, std::uint32_t seed) {
    Rng rng(seed);
    Scene scene = withCamera({0, 0, 0}, 1.0f, 2.5f);
    scene.lightList.push_back({{4, 10, 4}, {1, 1, 1}, 1.0f});
    // n³ cells of a 10-unit cube centred at z = -12; radius scaled to the cell.
    const int side = std::max(1, static_cast<int>(std::ceil(std::cbrt(static_cast<double>(count)))));
    const float cell = 10.0f / static_cast<float>(side);
    for (int k = 0; k < count; ++k) {
        const int x = k % side, y = (k / side) % side, z = k / (side * side);
        const Vec3 center{-5.0f + cell * (static_cast<float>(x) + rng.uniform(0.3f, 0.7f)),
                          -5.0f + cell * (static_cast<float>(y) + rng.uniform(0.3f, 0.7f)),
                          -17.0f + cell * (static_cast<float>(z) + rng.uniform(0.3f, 0.7f))};
        SceneObject s = sphere(center, cell * rng.uniform(0.15f, 0.3f));
        plainMaterial(s, {rng.uniform(0.2f, 1.0f), rng.uniform(0.2f, 1.0f), rng.uniform(0.2f, 1.0f)});
        scene.objectList.push_back(s);
    }
    return scene;
}

Scene mixedScene(int count, std::uint32_t seed) {
    Rng rng(seed);
    Scene scene = withCamera({0, 0, 0}, 1.0f, 2.5f);
    scene.lightList.push_back({{4, 10, 4}, {1, 1, 1}, 1.0f});
    scene.lightList.push_back({{-6, 4, 2}, {0.5f, 0.5f, 0.6f}, 0.5f});
    const float size = 3.0f / static_cast<float>(std::cbrt(static_cast<double>(count)));
    for (int k = 0; k < count; ++k) {
        const Vec3 center{rng.uniform(-5.0f, 5.0f), rng.uniform(-5.0f, 5.0f), rng.uniform(-17.0f, -7.0f)};
        SceneObject object = randomObject(rng, center, size);
        randomMaterial(rng, object);
        object.transmittance = {0.0f, 0.0f, 0.0f};  // opaque: a bounded cost per pixel
        scene.objectList.push_back(object);
    }
    return scene;
}

Scene glassField(std::uint32_t seed) {
    Rng rng(seed);
    Scene scene;
    resetScene(scene);
    // Eye at (0, 3, 9) looking 11 degrees down over the field; 4:3.
    scene.camera = {{0, 2.8f, 8}, {0.8f, 0, 0}, {0, 0.5884f, -0.11768f}, {0, 0.2f, 1}};
    scene.ambient = {0.1f, 0.1f, 0.1f};
    scene.lightList.push_back({{-6, 9, 6}, {0.8f, 0.78f, 0.72f}, 0.5f});
    scene.lightList.push_back({{7, 6, 3}, {0.35f, 0.38f, 0.45f}, 0.5f});
    SceneObject floor = polygon({{-20, 0, 12}, {20, 0, 12}, {20, 0, -20}, {-20, 0, -20}});
    floor.color = {0.8f, 0.78f, 0.74f};
    floor.reflectance = 0.0f;
    floor.shininess = 1.0f;
    floor.transmittance = {1, 1, 1};
    floor.permittivity = 1.0f;
    floor.permeability = 1.0f;
    scene.objectList.push_back(floor);
    for (int k = 0; k < 30; ++k) {
        const float r = rng.uniform(0.35f, 0.6f);
        const Vec3 center{-5.0f + 2.0f * static_cast<float>(k % 6) + rng.uniform(-0.4f, 0.4f), r,
                          2.0f - 1.8f * static_cast<float>(k / 6) + rng.uniform(-0.3f, 0.3f)};
        SceneObject ball = sphere(center, r);
        ball.permeability = 1.0f;
        ball.shininess = 300.0f;
        switch (k % 3) {
            case 0:  // clear glass, index 1.5
                ball.color = {0.02f, 0.02f, 0.02f};
                ball.reflectance = 1.0f;
                ball.transmittance = {1, 1, 1};
                ball.permittivity = 2.25f;
                break;
            case 1:  // mirror: a huge permittivity reflects nearly everything
                ball.color = {0.04f, 0.04f, 0.04f};
                ball.reflectance = 1.0f;
                ball.transmittance = {0, 0, 0};
                ball.permittivity = 1000000.0f;
                break;
            default:  // matte
                ball.color = {rng.uniform(0.2f, 0.9f), rng.uniform(0.2f, 0.9f), rng.uniform(0.2f, 0.9f)};
                ball.reflectance = 0.0f;
                ball.shininess = 1.0f;
                ball.transmittance = {0, 0, 0};
                ball.permittivity = 1.0f;
                break;
        }
        scene.objectList.push_back(ball);
    }
    return scene;
}

void writeScene(std::ostream& out, const Scene& scene) {
    const Camera& c = scene.camera;
    out << "CAMERA";
    writeVec(out, c.screenCenter);
    writeVec(out, c.screenRight);
    writeVec(out, c.screenUp);
    writeVec(out, c.eyeOffset);
    out << "\nAMBIENT";
    writeColor(out, scene.ambient);
    out << "\nAIR";
    writeNumber(out, scene.air.permittivity);
    writeNumber(out, scene.air.permeability);
    writeColor(out, scene.air.transmittance);
    out << '\n';
    for (const Light& light : scene.lightList) {
        out << "LIGHT";
        writeVec(out, light.position);
        writeColor(out, light.color);
        writeNumber(out, light.radius);
        out << '\n';
    }
    for (const SceneObject& o : scene.objectList) {
        switch (o.kind) {
            case ObjectKind::Sphere:
                out << "SPHERE";
                writeVec(out, o.center);
                writeNumber(out, o.radius);
                break;
            case ObjectKind::Ellipsoid:
                out << "ELLIPSOID";
                writeVec(out, o.center);
                writeVec(out, o.axis1);
                writeVec(out, o.axis2);
                writeVec(out, o.axis3);
                break;
            case ObjectKind::Polygon:
                out << "POLYGON " << o.vertices.size();
                for (const Vec3& v : o.vertices) writeVec(out, v);
                break;
            case ObjectKind::Box:
                out << "BOX";
                writeVec(out, o.corner);
                writeVec(out, o.edge1);
                writeVec(out, o.edge2);
                writeVec(out, o.edge3);
                break;
            case ObjectKind::Cylinder:
                out << "CYLINDER";
                writeVec(out, o.center);
                writeVec(out, o.top);
                writeNumber(out, o.radius);
                break;
        }
        writeColor(out, o.color);
        writeNumber(out, o.reflectance);
        writeNumber(out, o.shininess);
        writeColor(out, o.transmittance);
        writeNumber(out, o.permittivity);
        writeNumber(out, o.permeability);
        out << '\n';
    }
}
