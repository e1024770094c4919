#include "cli/pieces/piece_options.h"

#include "cli/pieces/piece_rect.h"
#include "cli/pieces/sha256.h"
#include "orvanel_version.h"

std::optional<PixelRect> renderedRect(const CliOptions& options, int height, std::string& problem) {
    if (options.tile) {
        const PixelRect rect = tileRect(*options.tile, options.width, height);
        if (rect.empty()) {
            problem = "--tile " + std::to_string(options.tile->index) + "/" + std::to_string(options.tile->count) +
                      ": the picture is " + std::to_string(height) + " rows tall, too few for " +
                      std::to_string(options.tile->count) + " bands";
            return std::nullopt;
        }
        return rect;
    }
    if (options.region) {
        if (options.region->bottom > height) {
            problem = "--region " + rectangleText(*options.region) + ": the rectangle leaves the picture, which is " +
                      std::to_string(options.width) + " x " + std::to_string(height) + " pixels";
            return std::nullopt;
        }
        return options.region;
    }
    return wholePicture(options.width, height);
}

std::optional<PieceDescription> describePiece(const CliOptions& options, int height, const PixelRect& rect) {
    std::optional<std::string> scene = fileSha256(options.scenePath);
    if (!scene) return std::nullopt;
    PieceDescription description;
    description.pictureWidth = options.width;
    description.pictureHeight = height;
    description.rect = rect;
    description.sceneSha256 = std::move(*scene);
    description.settings = settingsText(options.width, options.settings);
    description.version = kOrvanelVersion;
    return description;
}
