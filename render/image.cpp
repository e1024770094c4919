#include "render/image.h"

namespace {

// Negative components are cut to 0 rather than wrapped to a large byte.
Pixel channelToByte(float value) {
    float scaled = value * 255.0f;
    if (scaled > 255.0f) scaled = 255.0f;
    if (!(scaled > 0.0f)) return 0;  // negative or NaN
    return static_cast<Pixel>(static_cast<int>(scaled)) & 0xffu;
}

}  // namespace

Pixel colorToPixel(Color color) {
    return pixelOf(channelToByte(color.red), channelToByte(color.green), channelToByte(color.blue));
}
