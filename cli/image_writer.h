// Writing a rendered picture to disk as PNG or PPM.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/annotated_png.h"
#include "cli/options.h"
#include "render/sampling.h"

// Red, green, blue bytes, row by row from the top.
std::vector<unsigned char> packRgb(const PixelImage& image);

// Encodes the picture into an open stream; false when the stream fails.
bool writePng(const PixelImage& image, std::FILE* file, std::string& error);
bool writePpm(const PixelImage& image, std::FILE* file, std::string& error);

// A picture file that appears under its name only once it is complete. The
// picture goes to a temporary file beside the target, which is renamed over
// the target on success and removed otherwise, so a failed or interrupted
// run never leaves a truncated file that looks like a result.
class PendingImageFile {
public:
    PendingImageFile() = default;
    PendingImageFile(const PendingImageFile&) = delete;
    PendingImageFile& operator=(const PendingImageFile&) = delete;
    ~PendingImageFile();

    // Creates the temporary file, so an unwritable target is found before
    // the render rather than after it.
    bool open(const std::string& path, std::string& error);

    // Text chunks for a PNG picture, written ahead of its pixels.
    void setPngText(PngText text) { pngText_ = std::move(text); }

    // Writes the picture, closes and renames it over the target.
    bool commit(const PixelImage& image, ImageFormat format, std::string& error);

    // Removes the temporary file, if any.
    void discard();

private:
    std::string path_;
    std::string temporaryPath_;
    std::FILE* file_ = nullptr;
    PngText pngText_;
};
