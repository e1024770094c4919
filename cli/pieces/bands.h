// The bands of orvanel-render --resume: how many horizontal bands a picture
// is cut into, and the names of their files in the folder beside the output.
// Band I of N is exactly the piece `--tile I/N` of the same render.
#pragma once

#include <optional>
#include <string>

#include "cli/pieces/piece_rect.h"
#include "render/settings.h"

// A band is to hold about this much estimated work (see bandWeightOfPixel):
// about two seconds on the 2-core development machine for the showcase, so
// that a stop loses little, and enough that its file (a PNG, a checksum and
// an fsync, a few milliseconds) costs nothing measurable.
inline constexpr double kBandWeight = 1.5e6;

// The relative cost of one pixel under `settings`, from measurements of the
// showcase: 100 samples under supersampling, about 20 times the work with
// soft shadows (either mode) and the lights on.
double bandWeightOfPixel(const RenderSettings& settings);

// How many bands a width x height picture is cut into: rows of about
// kBandWeight each, never less than one row per band; `rowsPerBand` given
// (ORVANEL_BAND_ROWS), that many rows each.
int bandCount(int width, int height, const RenderSettings& settings, std::optional<int> rowsPerBand = std::nullopt);

// ORVANEL_BAND_ROWS, when it is set to a positive number: the rows of a band
// for tests and for tuning. Nullopt otherwise.
std::optional<int> bandRowsFromEnvironment();

// "OUT.png.parts": the folder of the bands, beside the output.
std::string partsFolderFor(const std::string& outputPath);

// "band-I-of-N.png", and back: nullopt for any other name.
std::string bandFileName(const TileSpec& band);
std::optional<TileSpec> parseBandFileName(const std::string& name);
