#include "test_support.h"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <sstream>

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    root_ = std::filesystem::temp_directory_path() /
            ("orvanel-cli-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& text) const {
    std::ofstream(root_ / name, std::ios::binary) << text;
    return path(name);
}

std::vector<std::string> TempDir::entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(root_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

const char* const kTestScene =
    "CAMERA (0, 1, 4) (0.8, 0, 0) (0, 0.6, 0) (0, 0.3, 2.5)\n"
    "AMBIENT (0.1, 0.12, 0.14)\n"
    "LIGHT (-3, 5, 4) (0.9, 0.8, 0.7) 0.6\n"
    "LIGHT (4, 3, 2) (0.2, 0.3, 0.5) 0.4\n"
    "POLYGON 4 (-5, 0, 5) (5, 0, 5) (5, 0, -5) (-5, 0, -5) (0.7, 0.7, 0.6) 0.2 10 (1, 1, 1) 4 1\n"
    "SPHERE (-0.9, 0.6, 0) 0.6 (0.05, 0.05, 0.05) 1 200 (0, 0, 0) 1000000 1\n"
    "SPHERE (0.4, 0.5, 1) 0.5 (0.02, 0.02, 0.02) 1 200 (0.9, 0.6, 0.3) 2.25 1\n"
    "ELLIPSOID (1.3, 0.4, -0.8) (0.5, 0, 0) (0, 0.4, 0) (0, 0, 0.3) (0.2, 0.7, 0.4) 0.3 40 (0, 0, 0) 4 1\n"
    "BOX (-2, 0, -1.5) (0.6, 0, 0) (0, 0.6, 0) (0, 0, 0.6) (0.9, 0.2, 0.1) 0 1 (0, 0, 0) 4 1\n"
    "CYLINDER (0.2, 0, -1.8) (0.2, 1.2, -1.8) 0.3 (0.2, 0.3, 0.9) 0.2 30 (0, 0, 0) 4 1\n";

PixelImage readPng(const std::string& path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return {};
    png.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr)) return {};
    PixelImage image(static_cast<int>(png.width), static_cast<int>(png.height));
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        image.pixels[i] = pixelOf(rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]);
    }
    return image;
}

PixelImage readPpm(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string magic;
    int width = 0, height = 0, maxValue = 0;
    file >> magic >> width >> height >> maxValue;
    if (!file || magic != "P6" || maxValue != 255 || width < 1 || height < 1) return {};
    file.get();  // the single whitespace byte before the samples
    std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
    file.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    if (file.gcount() != static_cast<std::streamsize>(rgb.size()) || file.peek() != EOF) return {};
    PixelImage image(width, height);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        image.pixels[i] = pixelOf(rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]);
    }
    return image;
}

std::string slurp(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}
