// A piece's file: a PNG whose text chunks say which picture it belongs to
// (its size, the scene's bytes, the settings, the program) and which part of
// it it holds, with a checksum of its pixels. The merge, --skip-existing and
// --resume trust a piece only when all of it holds.
#pragma once

#include <string>

#include "cli/image_writer.h"
#include "cli/pieces/png_with_text.h"
#include "render/image.h"
#include "render/pixel_loop.h"
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

// Empty when the file at `path` is a valid piece of this picture and of
// `expected.rect`; otherwise why it is not.
std::string pieceProblem(const std::string& path, const PieceDescription& expected);
inline bool pieceIsCurrent(const std::string& path, const PieceDescription& expected) {
    return pieceProblem(path, expected).empty();
}

// Commits `image` to `output` as the piece `description` (its pixels'
// checksum computed here).
bool commitPiece(PendingImageFile& output, const PixelImage& image, PieceDescription description,
                 std::string& error);
