// What --scene puts around a model: a camera that frames it, an ambient
// light, two lights with a radius and a floor just under it.
#pragma once

#include <array>
#include <optional>

#include "import/material.h"
#include "import/triangles.h"
#include "scene/scene.h"

struct Staging {
    Camera camera;
    Color ambient;
    std::array<Light, 2> lights;
    std::array<Vec3, 4> floor;  // lit from above
    Material floorMaterial;
};

// Framing for the model's bounds in scene coordinates; nothing when the
// model is too large or too small for the camera's floats (--fit mends that).
std::optional<Staging> stagingFor(const Bounds& bounds);
