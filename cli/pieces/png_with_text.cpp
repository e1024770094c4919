#include "cli/pieces/png_with_text.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <memory>

#include "cli/image_writer.h"
#include "render/camera.h"

namespace {

// libpng reports errors by calling back and jumping out; the message is
// kept for the caller. Everything the jump may skip lives in this record,
// outside the frame that calls setjmp.
struct PngFailure {
    char message[256] = "";
};

extern "C" void onPngError(png_structp png, png_const_charp message) {
    auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
    std::snprintf(failure->message, sizeof failure->message, "%s", message);
    png_longjmp(png, 1);
}

extern "C" void onPngWarning(png_structp, png_const_charp) {}

struct WriteState {
    std::vector<unsigned char> rgb;
    std::vector<png_bytep> rows;
    std::vector<png_text> chunks;
    PngFailure failure;
};

bool encode(png_structp png, png_infop info, const PixelImage& image, WriteState& state, std::FILE* file) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_text(png, info, state.chunks.data(), static_cast<int>(state.chunks.size()));
    png_write_info(png, info);
    png_write_image(png, state.rows.data());
    png_write_end(png, info);
    return true;
}

struct ReadState {
    PixelImage image;
    PngText text;
    std::vector<unsigned char> rgb;
    std::string error;
    PngFailure failure;
};

void collectText(png_structp png, png_infop info, PngText& text) {
    png_textp chunks = nullptr;
    const int count = png_get_text(png, info, &chunks, nullptr);
    for (int i = 0; i < count; ++i) {
        text.emplace_back(chunks[i].key, chunks[i].text ? std::string(chunks[i].text, chunks[i].text_length) : "");
    }
}

bool decode(png_structp png, png_infop info, png_infop endInfo, std::FILE* file, ReadState& state) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_sig_bytes(png, 8);
    png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    png_set_user_limits(png, kMaxImageWidth, kMaxImageHeight);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (png_get_bit_depth(png, info) != 8 || png_get_color_type(png, info) != PNG_COLOR_TYPE_RGB ||
        png_get_interlace_type(png, info) != PNG_INTERLACE_NONE) {
        state.error = "not an 8-bit RGB picture";
        return false;
    }
    // Row by row, so a file that claims a huge size but holds little fails
    // before it costs the memory it claims.
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    for (png_uint_32 y = 0; y < height; ++y) {
        state.rgb.resize(state.rgb.size() + rowBytes);
        png_read_row(png, state.rgb.data() + state.rgb.size() - rowBytes, nullptr);
    }
    png_read_end(png, endInfo);
    collectText(png, info, state.text);
    collectText(png, endInfo, state.text);
    state.image = PixelImage(static_cast<int>(width), static_cast<int>(height));
    for (std::size_t i = 0; i < state.image.pixels.size(); ++i) {
        state.image.pixels[i] = pixelOf(state.rgb[i * 3], state.rgb[i * 3 + 1], state.rgb[i * 3 + 2]);
    }
    return true;
}

}  // namespace

bool writePngWithText(const PixelImage& image, const PngText& text, std::FILE* file, std::string& error) {
    WriteState state;
    state.rgb = packRgb(image);
    for (int y = 0; y < image.height; ++y) {
        state.rows.push_back(state.rgb.data() + static_cast<std::size_t>(y) * image.width * 3);
    }
    for (const auto& [keyword, value] : text) {
        png_text chunk{};
        chunk.compression = PNG_TEXT_COMPRESSION_NONE;
        chunk.key = const_cast<char*>(keyword.c_str());
        chunk.text = const_cast<char*>(value.c_str());
        chunk.text_length = value.size();
        state.chunks.push_back(chunk);
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state.failure, onPngError, onPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        error = "PNG encoding failed: out of memory";
        return false;
    }
    const bool written = encode(png, info, image, state, file);
    png_destroy_write_struct(&png, &info);
    if (!written) error = std::string("PNG encoding failed: ") + state.failure.message;
    return written;
}

bool readPngWithText(const std::string& path, PngWithText& result, std::string& error) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        error = std::string("cannot be read: ") + std::strerror(errno);
        return false;
    }
    unsigned char signature[8];
    if (std::fread(signature, 1, sizeof signature, file.get()) != sizeof signature ||
        png_sig_cmp(signature, 0, sizeof signature) != 0) {
        error = "not a PNG file";
        return false;
    }
    ReadState state;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state.failure, onPngError, onPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    png_infop endInfo = info ? png_create_info_struct(png) : nullptr;
    if (!endInfo) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        error = "out of memory";
        return false;
    }
    const bool read = decode(png, info, endInfo, file.get(), state);
    png_destroy_read_struct(&png, &info, &endInfo);
    if (!read) {
        error = !state.error.empty() ? state.error : std::string("damaged or incomplete PNG: ") + state.failure.message;
        return false;
    }
    result.image = std::move(state.image);
    result.text = std::move(state.text);
    return true;
}

const std::string* findText(const PngText& text, const std::string& keyword) {
    for (const auto& [key, value] : text) {
        if (key == keyword) return &value;
    }
    return nullptr;
}
