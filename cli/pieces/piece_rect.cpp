#include "cli/pieces/piece_rect.h"

#include <charconv>
#include <cstdint>
#include <vector>

namespace {

// The integers between `separator`s, each the whole of its field.
std::optional<std::vector<int>> parseIntegers(const std::string& text, char separator, std::size_t count) {
    std::vector<int> values;
    const char* cursor = text.data();
    const char* const end = text.data() + text.size();
    while (values.size() < count) {
        int value = 0;
        const auto [next, error] = std::from_chars(cursor, end, value);
        if (error != std::errc{} || next == cursor) return std::nullopt;
        values.push_back(value);
        cursor = next;
        if (values.size() < count) {
            if (cursor == end || *cursor != separator) return std::nullopt;
            ++cursor;
        }
    }
    if (cursor != end) return std::nullopt;
    return values;
}

}  // namespace

std::optional<TileSpec> parseTile(const std::string& text) {
    const auto values = parseIntegers(text, '/', 2);
    if (!values) return std::nullopt;
    const TileSpec tile{(*values)[0], (*values)[1]};
    if (tile.count < 1 || tile.index < 0 || tile.index >= tile.count) return std::nullopt;
    return tile;
}

std::string tileProblem(const std::string& text) {
    const auto values = parseIntegers(text, '/', 2);
    if (!values) return "wants I/N, two integers such as 2/7, not " + text;
    const int index = (*values)[0], count = (*values)[1];
    if (count < 1) return text + ": the count must be at least 1";
    if (index < 0 || index >= count) return text + ": the index must be 0 to " + std::to_string(count - 1);
    return {};
}

std::optional<PixelRect> parseRectangle(const std::string& text) {
    const auto values = parseIntegers(text, ',', 4);
    if (!values) return std::nullopt;
    return PixelRect{(*values)[0], (*values)[1], (*values)[2], (*values)[3]};
}

std::string rectangleText(const PixelRect& rect) {
    return std::to_string(rect.left) + "," + std::to_string(rect.top) + "," + std::to_string(rect.right) + "," +
           std::to_string(rect.bottom);
}

PixelRect tileRect(const TileSpec& tile, int width, int height) {
    const auto edge = [&](int index) {
        return static_cast<int>(static_cast<std::int64_t>(index) * height / tile.count);
    };
    return {0, edge(tile.index), width, edge(tile.index + 1)};
}
