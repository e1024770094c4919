#include "cli/image_writer.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfOutputFile.h>
#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <filesystem>
#include <vector>

std::vector<unsigned char> packRgb(const PixelImage& image) {
    std::vector<unsigned char> rgb(image.pixels.size() * 3);
    unsigned char* out = rgb.data();
    for (const Pixel p : image.pixels) {
        *out++ = static_cast<unsigned char>(redOf(p));
        *out++ = static_cast<unsigned char>(greenOf(p));
        *out++ = static_cast<unsigned char>(blueOf(p));
    }
    return rgb;
}

namespace {

std::string writeError(const std::string& path, int errorNumber) {
    return "Could not write " + path + ": " + std::strerror(errorNumber);
}

// OpenEXR writes through its own stream type; this one is an open stdio file.
class StdioStream : public Imf::OStream {
public:
    explicit StdioStream(std::FILE* file) : Imf::OStream("picture"), file_(file) {}
    void write(const char c[], int n) override {
        if (std::fwrite(c, 1, static_cast<std::size_t>(n), file_) != static_cast<std::size_t>(n)) {
            throw std::runtime_error(std::strerror(errno));
        }
    }
    std::uint64_t tellp() override { return static_cast<std::uint64_t>(::ftello(file_)); }
    void seekp(std::uint64_t position) override {
        if (::fseeko(file_, static_cast<off_t>(position), SEEK_SET) != 0)
            throw std::runtime_error(std::strerror(errno));
    }

private:
    std::FILE* file_;
};

std::uint32_t littleEndian(float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    if constexpr (std::endian::native == std::endian::little) return bits;
    return (bits >> 24) | ((bits >> 8) & 0xff00u) | ((bits << 8) & 0xff0000u) | (bits << 24);
}

}  // namespace

bool writePfm(const ColorPicture& picture, std::FILE* file, std::string& error) {
    if (std::fprintf(file, "PF\n%d %d\n-1.0\n", picture.width, picture.height) < 0) {
        error = std::strerror(errno);
        return false;
    }
    std::vector<std::uint32_t> row(static_cast<std::size_t>(picture.width) * 3);
    for (int y = picture.height - 1; y >= 0; --y) {
        const Color* line = picture.colors.data() + static_cast<std::size_t>(y) * picture.width;
        for (int x = 0; x < picture.width; ++x) {
            row[x * 3] = littleEndian(line[x].red);
            row[x * 3 + 1] = littleEndian(line[x].green);
            row[x * 3 + 2] = littleEndian(line[x].blue);
        }
        if (std::fwrite(row.data(), sizeof row[0], row.size(), file) != row.size()) {
            error = std::strerror(errno);
            return false;
        }
    }
    return true;
}

bool writeExr(const ColorPicture& picture, std::FILE* file, std::string& error) {
    try {
        Imf::Header header(picture.width, picture.height);
        for (const char* channel : {"R", "G", "B"}) header.channels().insert(channel, Imf::Channel(Imf::FLOAT));
        StdioStream stream(file);
        Imf::OutputFile output(stream, header);
        // Color is three packed floats: each channel is a strided view of the same array.
        auto* base = const_cast<char*>(reinterpret_cast<const char*>(picture.colors.data()));
        const std::size_t xStride = sizeof(Color), yStride = sizeof(Color) * static_cast<std::size_t>(picture.width);
        Imf::FrameBuffer frame;
        frame.insert("R", Imf::Slice(Imf::FLOAT, base + offsetof(Color, red), xStride, yStride));
        frame.insert("G", Imf::Slice(Imf::FLOAT, base + offsetof(Color, green), xStride, yStride));
        frame.insert("B", Imf::Slice(Imf::FLOAT, base + offsetof(Color, blue), xStride, yStride));
        output.setFrameBuffer(frame);
        output.writePixels(picture.height);
    } catch (const std::exception& failure) {
        error = std::string("OpenEXR encoding failed: ") + failure.what();
        return false;
    }
    return true;
}

bool writePicture(const PixelImage& image, const ColorPicture& colors, ImageFormat format, std::FILE* file,
                  std::string& error) {
    switch (format) {
        case ImageFormat::Png:
            return writePng(image, file, error);
        case ImageFormat::Ppm:
            return writePpm(image, file, error);
        case ImageFormat::Pfm:
            return writePfm(colors, file, error);
        case ImageFormat::Exr:
            return writeExr(colors, file, error);
    }
    return false;
}

bool writePng(const PixelImage& image, std::FILE* file, std::string& error) {
    const std::vector<unsigned char> rgb = packRgb(image);
    // The simplified API reports failures in its result instead of longjmp.
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_stdio(&png, file, 0, rgb.data(), 0, nullptr)) {
        error = std::string("PNG encoding failed: ") + png.message;
        png_image_free(&png);
        return false;
    }
    return true;
}

bool writePpm(const PixelImage& image, std::FILE* file, std::string& error) {
    const std::vector<unsigned char> rgb = packRgb(image);
    if (std::fprintf(file, "P6\n%d %d\n255\n", image.width, image.height) < 0 ||
        std::fwrite(rgb.data(), 1, rgb.size(), file) != rgb.size()) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

PendingImageFile::~PendingImageFile() { discard(); }

bool PendingImageFile::open(const std::string& path, std::string& error) {
    discard();
    path_ = path;
    const std::filesystem::path target(path);
    const std::string base = target.filename().string();
    const std::filesystem::path directory = target.parent_path();
    // A hidden name in the target's directory, so the rename stays on one file system.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "." + base + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        const std::string candidate = (directory / name).string();
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            error = writeError(path, errno);
            return false;
        }
        file_ = ::fdopen(fd, "wb");
        if (!file_) {
            error = writeError(path, errno);
            ::close(fd);
            ::unlink(candidate.c_str());
            return false;
        }
        temporaryPath_ = candidate;
        return true;
    }
    error = "Could not write " + path + ": no free temporary name";
    return false;
}

bool PendingImageFile::commit(const PixelImage& image, ImageFormat format, std::string& error) {
    return commit(image, ColorPicture{}, format, error);
}

bool PendingImageFile::commit(const PixelImage& image, const ColorPicture& colors, ImageFormat format,
                              std::string& error) {
    return commit([&](std::FILE* file, std::string& detail) { return writePicture(image, colors, format, file, detail); },
                  error);
}

bool PendingImageFile::commit(const Encoder& encode, std::string& error) {
    if (!file_) {
        error = "Could not write " + path_ + ": not open";
        return false;
    }
    std::string detail;
    const bool encoded = encode(file_, detail);
    // A full disk may only show when the buffer is flushed or the file closed.
    const bool flushed = encoded && std::fflush(file_) == 0 && (!sync_ || ::fsync(::fileno(file_)) == 0);
    const int flushErrno = errno;
    const bool closed = std::fclose(file_) == 0;
    const int closeErrno = errno;
    file_ = nullptr;
    if (!encoded || !flushed || !closed) {
        if (!encoded) {
            error = "Could not write " + path_ + ": " + detail;
        } else {
            error = writeError(path_, !flushed ? flushErrno : closeErrno);
        }
        discard();
        return false;
    }
    if (std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
        error = writeError(path_, errno);
        discard();
        return false;
    }
    temporaryPath_.clear();
    return true;
}

void PendingImageFile::discard() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temporaryPath_.empty()) {
        ::unlink(temporaryPath_.c_str());
        temporaryPath_.clear();
    }
}
