#include "cli/pieces/piece_file.h"

#include <optional>
#include <utility>

#include "cli/pieces/piece_rect.h"
#include "cli/pieces/sha256.h"

namespace {

constexpr const char* kPictureKey = "Orvanel picture";
constexpr const char* kRectangleKey = "Orvanel rectangle";
constexpr const char* kSceneKey = "Orvanel scene SHA-256";
constexpr const char* kSettingsKey = "Orvanel settings";
constexpr const char* kVersionKey = "Orvanel version";
constexpr const char* kPixelsKey = "Orvanel pixels SHA-256";

const char* antiAliasingWord(AntiAliasingMode mode) {
    return mode == AntiAliasingMode::Supersampling ? "10x10" : "none";
}

const char* shadowWord(ShadowMode mode) {
    switch (mode) {
        case ShadowMode::Hard:
            return "hard";
        case ShadowMode::SoftAxes:
            return "soft-axes";
        case ShadowMode::None:
            return "none";
        case ShadowMode::SoftJitter:
            return "soft-jitter";
    }
    return "unknown";
}

std::optional<std::pair<int, int>> parseSize(const std::string& text) {
    const std::size_t cross = text.find('x');
    if (cross == std::string::npos) return std::nullopt;
    const auto rect = parseRectangle("0,0," + text.substr(0, cross) + "," + text.substr(cross + 1));
    if (!rect || rect->right < 1 || rect->bottom < 1) return std::nullopt;
    return std::pair{rect->right, rect->bottom};
}

}  // namespace

std::string settingsText(int width, const RenderSettings& settings) {
    return "width=" + std::to_string(width) + " depth=" + std::to_string(settings.recursionDepth) +
           " aa=" + antiAliasingWord(settings.antiAliasing) + " shadows=" + shadowWord(settings.shadowMode) +
           " lights=" + (settings.lights == LightsSetting::On ? "on" : "off");
}

PngText pieceText(const PieceDescription& description) {
    return {
        {kPictureKey, std::to_string(description.pictureWidth) + "x" + std::to_string(description.pictureHeight)},
        {kRectangleKey, rectangleText(description.rect)},
        {kSceneKey, description.sceneSha256},
        {kSettingsKey, description.settings},
        {kVersionKey, description.version},
        {kPixelsKey, description.pixelsSha256},
        {"Software", std::string("Orvanel's Ray Tracer ") + description.version},
    };
}

bool readPiece(const std::string& path, Piece& piece, std::string& error) {
    PngWithText png;
    if (!readPngWithText(path, png, error)) return false;
    for (const char* key : {kPictureKey, kRectangleKey, kSceneKey, kSettingsKey, kVersionKey, kPixelsKey}) {
        if (!findText(png.text, key)) {
            error = std::string("not a piece: no \"") + key + "\" text";
            return false;
        }
    }
    const std::string* picture = findText(png.text, kPictureKey);
    const std::string* rectangle = findText(png.text, kRectangleKey);

    PieceDescription description;
    const auto size = parseSize(*picture);
    const auto rect = parseRectangle(*rectangle);
    if (!size || !rect) {
        error = "damaged piece: picture \"" + *picture + "\", rectangle \"" + *rectangle + "\"";
        return false;
    }
    description.pictureWidth = size->first;
    description.pictureHeight = size->second;
    description.rect = *rect;
    if (rect->empty() || rect->left < 0 || rect->top < 0 || rect->right > size->first || rect->bottom > size->second) {
        error = "damaged piece: rectangle " + *rectangle + " is not inside the " + *picture + " picture";
        return false;
    }
    if (png.image.width != rect->width() || png.image.height != rect->height()) {
        error = "damaged piece: " + std::to_string(png.image.width) + " x " + std::to_string(png.image.height) +
                " pixels for the rectangle " + *rectangle;
        return false;
    }
    description.sceneSha256 = *findText(png.text, kSceneKey);
    description.settings = *findText(png.text, kSettingsKey);
    description.version = *findText(png.text, kVersionKey);
    description.pixelsSha256 = *findText(png.text, kPixelsKey);
    if (pixelsSha256(png.image) != description.pixelsSha256) {
        error = "damaged piece: its pixels do not match their checksum";
        return false;
    }
    piece.description = std::move(description);
    piece.image = std::move(png.image);
    return true;
}

std::string pictureMismatch(const PieceDescription& piece, const PieceDescription& expected) {
    const auto differs = [](const char* what, const std::string& got, const std::string& wanted) {
        return std::string(what) + " " + got + " instead of " + wanted;
    };
    const auto size = [](const PieceDescription& d) {
        return std::to_string(d.pictureWidth) + "x" + std::to_string(d.pictureHeight);
    };
    if (piece.settings != expected.settings) return differs("settings", piece.settings, expected.settings);
    if (size(piece) != size(expected)) return differs("picture size", size(piece), size(expected));
    if (piece.sceneSha256 != expected.sceneSha256) {
        return differs("another scene: SHA-256", piece.sceneSha256, expected.sceneSha256);
    }
    if (piece.version != expected.version) return differs("program version", piece.version, expected.version);
    return {};
}

std::string pieceProblem(const std::string& path, const PieceDescription& expected) {
    Piece existing;
    std::string error;
    if (!readPiece(path, existing, error)) return error;
    if (existing.description.rect != expected.rect) {
        return "the rectangle " + rectangleText(existing.description.rect) + " instead of " +
               rectangleText(expected.rect);
    }
    return pictureMismatch(existing.description, expected);
}

bool commitPiece(PendingImageFile& output, const PixelImage& image, PieceDescription description,
                 std::string& error) {
    description.pixelsSha256 = pixelsSha256(image);
    const PngText text = pieceText(description);
    return output.commit([&](std::FILE* file, std::string& detail) { return writePngWithText(image, text, file, detail); },
                         error);
}
