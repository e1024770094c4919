#include "float_pictures.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>

#include <cstddef>
#include <exception>
#include <fstream>

ColorPicture readPfm(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string magic;
    int width = 0, height = 0;
    float scale = 0;
    file >> magic >> width >> height >> scale;
    if (!file || magic != "PF" || scale >= 0 || width < 1 || height < 1) return {};
    file.get();
    ColorPicture picture{width, height, std::vector<Color>(static_cast<std::size_t>(width) * height)};
    for (int y = height - 1; y >= 0; --y) {
        file.read(reinterpret_cast<char*>(&picture.colors[static_cast<std::size_t>(y) * width]),
                  static_cast<std::streamsize>(sizeof(Color)) * width);
    }
    if (!file || file.peek() != EOF) return {};
    return picture;
}

ColorPicture readExr(const std::string& path) {
    try {
        Imf::InputFile file(path.c_str());
        const Imath::Box2i window = file.header().dataWindow();
        const int width = window.max.x - window.min.x + 1, height = window.max.y - window.min.y + 1;
        for (const char* channel : {"R", "G", "B"}) {
            const Imf::Channel* found = file.header().channels().findChannel(channel);
            if (!found || found->type != Imf::FLOAT) return {};
        }
        ColorPicture picture{width, height, std::vector<Color>(static_cast<std::size_t>(width) * height)};
        char* base = reinterpret_cast<char*>(picture.colors.data());
        Imf::FrameBuffer frame;
        frame.insert("R", Imf::Slice(Imf::FLOAT, base + offsetof(Color, red), sizeof(Color), sizeof(Color) * width));
        frame.insert("G", Imf::Slice(Imf::FLOAT, base + offsetof(Color, green), sizeof(Color), sizeof(Color) * width));
        frame.insert("B", Imf::Slice(Imf::FLOAT, base + offsetof(Color, blue), sizeof(Color), sizeof(Color) * width));
        file.setFrameBuffer(frame);
        file.readPixels(window.min.y, window.max.y);
        return picture;
    } catch (const std::exception&) {
        return {};
    }
}
