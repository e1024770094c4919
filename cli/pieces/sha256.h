// SHA-256 checksums in lower-case hex: of a scene file's bytes and of a
// picture's RGB bytes, as pieces record them.
#pragma once

#include <optional>
#include <string>

#include "render/image.h"

// Nullopt when the file cannot be read.
std::optional<std::string> fileSha256(const std::string& path);
// Of the pixels' red, green and blue bytes, row by row from the top.
std::string pixelsSha256(const PixelImage& image);
