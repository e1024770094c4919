// Writing a rendered picture to disk: 8-bit as PNG or PPM, or each pixel's
// colour before conversion (linear, unclamped) as PFM or OpenEXR.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "render/image.h"

// Red, green, blue bytes, row by row from the top.
std::vector<unsigned char> packRgb(const PixelImage& image);

// Encodes the picture into an open stream; false when the stream fails.
bool writePng(const PixelImage& image, std::FILE* file, std::string& error);
bool writePpm(const PixelImage& image, std::FILE* file, std::string& error);

// Colours row by row from the top, width x height of them.
struct ColorPicture {
    int width = 0;
    int height = 0;
    std::vector<Color> colors;
};

// Three 32-bit floats per pixel: PFM little-endian ("PF", scale -1), rows
// from the bottom as the format has them; OpenEXR channels R, G, B as FLOAT.
bool writePfm(const ColorPicture& picture, std::FILE* file, std::string& error);
bool writeExr(const ColorPicture& picture, std::FILE* file, std::string& error);

// The picture for `format`: the pixels for PNG and PPM, the colours for PFM and EXR.
bool writePicture(const PixelImage& image, const ColorPicture& colors, ImageFormat format, std::FILE* file,
                  std::string& error);

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

    // Flush the file to the disk before the rename, so that after a power
    // cut the name holds the complete file or nothing.
    void syncBeforeRename() { sync_ = true; }

    // Writes the picture, closes and renames it over the target.
    bool commit(const PixelImage& image, ImageFormat format, std::string& error);
    // The same for any format; `colors` is used by the float formats only.
    bool commit(const PixelImage& image, const ColorPicture& colors, ImageFormat format, std::string& error);
    // The same with any encoder that writes the open stream (a PNG with text
    // chunks, for one); it returns false with the reason on failure.
    using Encoder = std::function<bool(std::FILE* file, std::string& error)>;
    bool commit(const Encoder& encode, std::string& error);

    // Removes the temporary file, if any.
    void discard();

private:
    std::string path_;
    std::string temporaryPath_;
    std::FILE* file_ = nullptr;
    bool sync_ = false;
};
