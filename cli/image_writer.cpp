#include "cli/image_writer.h"

#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

std::vector<unsigned char> packRgb(const PixelImage& image) {
    std::vector<unsigned char> rgb;
    rgb.reserve(image.pixels.size() * 3);
    for (const Pixel p : image.pixels) {
        rgb.push_back(static_cast<unsigned char>(redOf(p)));
        rgb.push_back(static_cast<unsigned char>(greenOf(p)));
        rgb.push_back(static_cast<unsigned char>(blueOf(p)));
    }
    return rgb;
}

namespace {

std::string writeError(const std::string& path, int errorNumber) {
    return "Could not write " + path + ": " + std::strerror(errorNumber);
}

}  // namespace

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
    if (!file_) {
        error = "Could not write " + path_ + ": not open";
        return false;
    }
    std::string detail;
    const bool encoded =
        format == ImageFormat::Png
            ? (pngText_.empty() ? writePng(image, file_, detail) : writeAnnotatedPng(image, pngText_, file_, detail))
            : writePpm(image, file_, detail);
    // A full disk may only show when the buffer is flushed or the file closed.
    const bool flushed = encoded && std::fflush(file_) == 0;
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
