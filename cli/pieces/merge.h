// Pieces of one picture into the whole picture, refusing anything that
// would not give the very pixels of a whole render.
#pragma once

#include <string>
#include <vector>

#include "cli/pieces/piece_file.h"

struct MergeResult {
    PieceDescription description;  // of the whole picture, when the pieces make one
    PixelImage image;
    std::vector<std::string> problems;  // one line each, naming the files; empty when merged
};

// Reads and checks every piece: complete PNGs, right checksums, one picture
// (size, scene, settings, version), and every pixel covered exactly once.
MergeResult mergePieces(const std::vector<std::string>& paths);
