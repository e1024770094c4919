// PNG files that carry text chunks beside their pixels, written and read
// through libpng's full interface (the simplified one drops text).
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "render/image.h"

// Keyword and value pairs, in file order. Values are plain ASCII here.
using PngText = std::vector<std::pair<std::string, std::string>>;

// 8-bit RGB with the text ahead of the pixels; false with a reason on failure.
bool writePngWithText(const PixelImage& image, const PngText& text, std::FILE* file, std::string& error);

struct PngWithText {
    PixelImage image;
    PngText text;
};

// Reads a whole 8-bit RGB PNG up to its end chunk, every chunk's CRC
// checked, so a truncated or damaged file is refused rather than half read.
bool readPngWithText(const std::string& path, PngWithText& result, std::string& error);

// The value of `keyword`, or nullptr.
const std::string* findText(const PngText& text, const std::string& keyword);
