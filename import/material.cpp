#include "import/material.h"

#include <assimp/material.h>

#include <algorithm>
#include <cmath>
#include <locale>
#include <sstream>

namespace {

// The reader's triple: four single delimiter characters around three numbers.
bool readTriple(std::istream& in, Color& c) {
    char delimiter = 0;
    in >> delimiter >> c.red >> delimiter >> c.green >> delimiter >> c.blue >> delimiter;
    return !in.fail();
}

bool finite(Color c) { return std::isfinite(c.red) && std::isfinite(c.green) && std::isfinite(c.blue); }

// Assimp invents a material for a model that has none: named so for OBJ and
// STL, unnamed and plain white for PLY and glTF.
bool isAssimpStandIn(const aiMaterial& material) {
    aiString name;
    if (material.Get(AI_MATKEY_NAME, name) == AI_SUCCESS && name.length > 0) {
        return std::string(name.C_Str()) == AI_DEFAULT_MATERIAL_NAME;
    }
    aiColor4D diffuse(1, 1, 1, 1);
    aiGetMaterialColor(&material, AI_MATKEY_COLOR_DIFFUSE, &diffuse);
    return diffuse.r == 1 && diffuse.g == 1 && diffuse.b == 1;
}

std::optional<float> floatOf(const aiMaterial& material, const char* key, unsigned type, unsigned index) {
    float value = 0;
    if (material.Get(key, type, index, value) != AI_SUCCESS || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<Color> colorOf(const aiMaterial& material, const char* key, unsigned type, unsigned index) {
    aiColor4D value;
    if (aiGetMaterialColor(&material, key, type, index, &value) != AI_SUCCESS) return std::nullopt;
    const Color color{value.r, value.g, value.b};
    if (!finite(color) || color.red < 0 || color.green < 0 || color.blue < 0) return std::nullopt;
    return color;
}

}  // namespace

std::optional<Material> parseMaterial(const std::string& text, std::string& error) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    Material m{};
    const bool read = readTriple(in, m.color) && (in >> m.reflectance >> m.shininess) &&
                      readTriple(in, m.transmittance) && (in >> m.permittivity >> m.permeability);
    in >> std::ws;
    const bool finiteValues = finite(m.color) && finite(m.transmittance) && std::isfinite(m.reflectance) &&
                              std::isfinite(m.shininess) && std::isfinite(m.permittivity) &&
                              std::isfinite(m.permeability);
    if (!read || !in.eof() || !finiteValues) {
        error =
            "expected COLOUR REFLECTANCE SHININESS TRANSMITTANCE PERMITTIVITY PERMEABILITY, for example "
            "\"(0.8, 0.1, 0.1) 0.3 40 (0, 0, 0) 2.25 1\", not \"" +
            text + "\"";
        return std::nullopt;
    }
    return m;
}

Material materialFrom(const aiMaterial* material, const Material& fallback) {
    if (!material || isAssimpStandIn(*material)) return fallback;
    Material m = fallback;
    if (const auto diffuse = colorOf(*material, AI_MATKEY_COLOR_DIFFUSE)) {
        m.color = *diffuse;
    } else if (const auto base = colorOf(*material, AI_MATKEY_BASE_COLOR)) {
        m.color = *base;
    }
    if (const auto shininess = floatOf(*material, AI_MATKEY_SHININESS); shininess && *shininess >= 0) {
        m.shininess = *shininess;
    }

    const auto strength = floatOf(*material, AI_MATKEY_SHININESS_STRENGTH);
    const auto specular = colorOf(*material, AI_MATKEY_COLOR_SPECULAR);
    if (strength || specular) {
        const double mean = specular ? (double(specular->red) + specular->green + specular->blue) / 3 : 1.0;
        const double reflectance = (strength ? *strength : 1.0) * mean;
        if (std::isfinite(reflectance)) m.reflectance = static_cast<float>(std::clamp(reflectance, 0.0, 1.0));
    }

    if (const auto index = floatOf(*material, AI_MATKEY_REFRACTI); index && *index > 0) {
        const float permittivity = *index * *index;
        if (std::isfinite(permittivity) && permittivity > 0) {
            m.permittivity = permittivity;
            m.permeability = 1.0f;
        }
    }
    if (const auto opacity = floatOf(*material, AI_MATKEY_OPACITY)) {
        const float kept = 1.0f - std::clamp(*opacity, 0.0f, 1.0f);
        m.transmittance = {kept, kept, kept};
    }
    return m;
}
