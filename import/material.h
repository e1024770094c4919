// The six material values of a scene object, from a model's material, the
// command line or the default.
#pragma once

#include <optional>
#include <string>

#include "geometry/vec3.h"

struct aiMaterial;

struct Material {
    Color color;
    float reflectance;
    float shininess;
    Color transmittance;
    float permittivity;
    float permeability;
};

// Matte light grey; the index 1.5 lets a model's specular strength show.
inline constexpr Material kNeutralGrey{{0.75f, 0.75f, 0.75f}, 0.0f, 20.0f, {0.0f, 0.0f, 0.0f}, 2.25f, 1.0f};

// COLOUR REFLECTANCE SHININESS TRANSMITTANCE PERMITTIVITY PERMEABILITY in the
// scene file's own notation, e.g. "(0.8, 0.1, 0.1) 0.3 40 (0, 0, 0) 2.25 1".
// Nothing may follow. On failure `error` says what was expected.
std::optional<Material> parseMaterial(const std::string& text, std::string& error);

// What the model's material says, each value it does not give (or gives as
// something that is not a finite number in range) taken from `fallback`:
// diffuse colour; shininess; specular strength (times the specular colour's
// mean) as reflectance, clamped to [0, 1]; index of refraction n as
// permittivity n squared with permeability 1; 1 - opacity as transmittance.
// Assimp's stand-in for a model without materials (named DefaultMaterial,
// or unnamed and plain white) gives `fallback` whole.
Material materialFrom(const aiMaterial* material, const Material& fallback);
