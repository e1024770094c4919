#include "cli/pieces/sha256.h"

#include <openssl/evp.h>

#include <array>
#include <fstream>
#include <memory>
#include <vector>

#include "cli/image_writer.h"

namespace {

using DigestContext = std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)>;

DigestContext newSha256() {
    DigestContext context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (context && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) context.reset();
    return context;
}

std::string finishHex(EVP_MD_CTX* context) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context, digest.data(), &length) != 1) return {};
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0xf];
    }
    return hex;
}

}  // namespace

std::optional<std::string> fileSha256(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const DigestContext context = newSha256();
    if (!file || !context) return std::nullopt;
    std::array<char, 1 << 16> buffer;
    while (file.read(buffer.data(), buffer.size()) || file.gcount() > 0) {
        if (EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(file.gcount())) != 1) {
            return std::nullopt;
        }
    }
    if (file.bad()) return std::nullopt;
    return finishHex(context.get());
}

std::string pixelsSha256(const PixelImage& image) {
    const std::vector<unsigned char> rgb = packRgb(image);
    const DigestContext context = newSha256();
    if (!context || EVP_DigestUpdate(context.get(), rgb.data(), rgb.size()) != 1) return {};
    return finishHex(context.get());
}
