// Which pixels a piece holds, as the command line names them: the I-th of N
// horizontal bands, or a rectangle in whole-picture coordinates.
#pragma once

#include <optional>
#include <string>

#include "render/pixel_loop.h"

struct TileSpec {
    int index = 0;  // 0 <= index < count
    int count = 1;
    friend bool operator==(const TileSpec&, const TileSpec&) = default;
};

// "I/N" with 0 <= I < N; nothing else.
std::optional<TileSpec> parseTile(const std::string& text);
// Empty when parseTile accepts `text`, else a message that says why not.
std::string tileProblem(const std::string& text);
// "X0,Y0,X1,Y1": four integers; whether the rectangle fits is the caller's question.
std::optional<PixelRect> parseRectangle(const std::string& text);
std::string rectangleText(const PixelRect& rect);

// Band `tile.index` of `tile.count` over a width x height picture: rows
// [index * height / count, (index + 1) * height / count). Every machine cuts
// the same bands, and together they cover the picture once. A band is empty
// when count > height.
PixelRect tileRect(const TileSpec& tile, int width, int height);
