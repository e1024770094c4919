// Temporary files, scene text and picture decoding for the CLI tests.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "render/image.h"

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string path(const std::string& name) const { return (root_ / name).string(); }
    std::string write(const std::string& name, const std::string& text) const;
    std::vector<std::string> entries() const;  // file names, sorted

private:
    std::filesystem::path root_;
};

// The whole file as bytes; empty when it cannot be read.
std::string slurp(const std::string& path);

// A small lit scene with every kind of object, a mirror and glass, so a
// round trip exercises every channel and most code paths.
extern const char* const kTestScene;

// Decodes with libpng; an empty image when the file is not a valid PNG.
PixelImage readPng(const std::string& path);
// Parses a binary P6 file with maxval 255; empty when malformed.
PixelImage readPpm(const std::string& path);
