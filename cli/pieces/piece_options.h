// The piece that orvanel-render's options ask for: which rectangle a run
// renders and how the piece describes itself.
#pragma once

#include <optional>
#include <string>

#include "cli/options.h"
#include "cli/pieces/piece_file.h"

// The whole picture, the tile or the region, once the camera has given the
// height; nullopt with the reason when the tile or region does not fit.
std::optional<PixelRect> renderedRect(const CliOptions& options, int height, std::string& problem);

// All but the pixels' checksum; nullopt when the scene file cannot be read
// to hash it.
std::optional<PieceDescription> describePiece(const CliOptions& options, int height, const PixelRect& rect);
