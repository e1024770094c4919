// The piece side of orvanel-render: which rectangle a run renders, how the
// piece describes itself, and whether one already at the output will do.
#pragma once

#include <optional>
#include <string>

#include "cli/options.h"
#include "cli/piece.h"

// The whole picture, the tile or the region, once the camera has given the
// height; nullopt with the reason when the tile or region does not fit.
std::optional<PixelRect> renderedRect(const CliOptions& options, int height, std::string& problem);

// All but the pixels' checksum; nullopt when the scene file cannot be read
// to hash it.
std::optional<PieceDescription> describePiece(const CliOptions& options, int height, const PixelRect& rect);

// A readable piece with the right checksum, of this picture and rectangle.
bool pieceIsCurrent(const std::string& path, const PieceDescription& expected);
