// Decoding the float pictures of the CLI tests.
#pragma once

#include <string>

#include "cli/image_writer.h"

// Decodes a little-endian PFM or an OpenEXR file with R, G, B float
// channels, rows from the top; an empty picture when malformed.
ColorPicture readPfm(const std::string& path);
ColorPicture readExr(const std::string& path);
