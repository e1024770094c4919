#include "cli/pieces/bands.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

double bandWeightOfPixel(const RenderSettings& settings) {
    const double samples = settings.antiAliasing == AntiAliasingMode::Supersampling ? 100.0 : 1.0;
    const bool soft = settings.shadowMode == ShadowMode::SoftAxes || settings.shadowMode == ShadowMode::SoftJitter;
    const double shadows = soft && settings.lights == LightsSetting::On ? 20.0 : 1.0;
    return samples * shadows;
}

int bandCount(int width, int height, const RenderSettings& settings, std::optional<int> rowsPerBand) {
    if (height < 1) return 1;
    const double rowWeight = static_cast<double>(width) * bandWeightOfPixel(settings);
    const double rows = rowsPerBand ? *rowsPerBand : std::max(1.0, std::ceil(kBandWeight / rowWeight));
    const double count = std::ceil(static_cast<double>(height) / std::max(1.0, rows));
    return static_cast<int>(std::clamp(count, 1.0, static_cast<double>(height)));
}

std::optional<int> bandRowsFromEnvironment() {
    const char* text = std::getenv("ORVANEL_BAND_ROWS");
    if (!text) return std::nullopt;
    int rows = 0;
    const char* end = text + std::strlen(text);
    const auto [next, error] = std::from_chars(text, end, rows);
    if (error != std::errc{} || next != end || rows < 1) return std::nullopt;
    return rows;
}

std::string partsFolderFor(const std::string& outputPath) { return outputPath + ".parts"; }

std::string bandFileName(const TileSpec& band) {
    return "band-" + std::to_string(band.index) + "-of-" + std::to_string(band.count) + ".png";
}

std::optional<TileSpec> parseBandFileName(const std::string& name) {
    const std::string prefix = "band-", suffix = ".png";
    if (!name.starts_with(prefix) || !name.ends_with(suffix)) return std::nullopt;
    const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    const std::size_t of = middle.find("-of-");
    if (of == std::string::npos) return std::nullopt;
    const std::optional<TileSpec> band = parseTile(middle.substr(0, of) + "/" + middle.substr(of + 4));
    // Only the name bandFileName gives: no signs or leading zeros.
    if (!band || bandFileName(*band) != name) return std::nullopt;
    return band;
}
