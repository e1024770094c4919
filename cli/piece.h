// A piece of a picture that describes itself: which picture (its size, the
// scene's bytes, the settings, the program) and which part of it, with a
// checksum of its pixels, all in the PNG's text chunks. The merge and
// --skip-existing trust a piece only when all of it holds.
#pragma once

#include <optional>
#include <string>

#include "cli/annotated_png.h"
#include "render/pixel_loop.h"
#include "render/image.h"
#include "render/settings.h"

struct PieceDescription {
    int pictureWidth = 0;
    int pictureHeight = 0;
    PixelRect rect;
    std::string sceneSha256;   // of the scene file's bytes, lower-case hex
    std::string settings;      // settingsText: everything else that changes pixels
    std::string version;       // kOrvanelVersion of the program that rendered it
    std::string pixelsSha256;  // of the rectangle's RGB bytes, row by row
};

// "width=300 depth=5 aa=none shadows=soft-jitter lights=on", in the words
// of the command line.
std::string settingsText(int width, const RenderSettings& settings);

// SHA-256 in lower-case hex; nullopt when the file cannot be read.
std::optional<std::string> fileSha256(const std::string& path);
std::string pixelsSha256(const PixelImage& image);

PngText pieceText(const PieceDescription& description);

struct Piece {
    PieceDescription description;
    PixelImage image;
};

// Reads a piece and checks it on its own: a complete PNG, every text chunk
// present and well formed, the rectangle inside the picture and the size of
// the pixels, the checksum right. False with the reason otherwise.
bool readPiece(const std::string& path, Piece& piece, std::string& error);

// Empty when both are pieces of the same picture; otherwise what differs,
// e.g. "scene SHA-256 ab12... instead of cd34...".
std::string pictureMismatch(const PieceDescription& piece, const PieceDescription& expected);
