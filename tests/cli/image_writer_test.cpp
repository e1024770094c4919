#include "cli/image_writer.h"

#include <gtest/gtest.h>

#include "float_pictures.h"
#include "test_support.h"

namespace {

// Every byte value in every channel, so a swapped or shifted channel shows.
PixelImage gradient(int width, int height) {
    PixelImage image(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned v = static_cast<unsigned>(y * width + x);
            image.pixels[static_cast<std::size_t>(y) * width + x] =
                (v & 0xffu) | ((v * 7u) & 0xffu) << 8 | ((255u - v) & 0xffu) << 16;
        }
    }
    return image;
}

TEST(PendingImageFile, CommitWritesDecodablePicturesAndNothingElse) {
    TempDir dir;
    const PixelImage image = gradient(16, 17);
    for (const ImageFormat format : {ImageFormat::Png, ImageFormat::Ppm}) {
        const std::string name = format == ImageFormat::Png ? "out.png" : "out.ppm";
        PendingImageFile file;
        std::string error;
        ASSERT_TRUE(file.open(dir.path(name), error)) << error;
        ASSERT_TRUE(file.commit(image, format, error)) << error;
        const PixelImage back = format == ImageFormat::Png ? readPng(dir.path(name)) : readPpm(dir.path(name));
        EXPECT_EQ(back.width, 16);
        EXPECT_EQ(back.height, 17);
        EXPECT_EQ(back.pixels, image.pixels) << name;
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"out.png", "out.ppm"}));
}

TEST(PendingImageFile, FloatPicturesKeepEveryColourExactly) {
    TempDir dir;
    // Beyond 1, negative, tiny and a channel per position, so a flipped row
    // order or a swapped channel shows.
    ColorPicture picture{3, 2, {}};
    for (int i = 0; i < 6; ++i) picture.colors.push_back({i * 1.75f - 2.0f, 1e-7f * i, 100.0f + i});
    for (const ImageFormat format : {ImageFormat::Pfm, ImageFormat::Exr}) {
        const std::string name = format == ImageFormat::Pfm ? "out.pfm" : "out.exr";
        PendingImageFile file;
        std::string error;
        ASSERT_TRUE(file.open(dir.path(name), error)) << error;
        ASSERT_TRUE(file.commit(PixelImage{}, picture, format, error)) << error;
        const ColorPicture back = format == ImageFormat::Pfm ? readPfm(dir.path(name)) : readExr(dir.path(name));
        ASSERT_EQ(back.width, 3) << name;
        ASSERT_EQ(back.height, 2) << name;
        for (std::size_t i = 0; i < 6; ++i) {
            EXPECT_EQ(back.colors[i].red, picture.colors[i].red) << name << " " << i;
            EXPECT_EQ(back.colors[i].green, picture.colors[i].green) << name << " " << i;
            EXPECT_EQ(back.colors[i].blue, picture.colors[i].blue) << name << " " << i;
        }
    }
}

TEST(PendingImageFile, ReplacesAnExistingFileOnlyOnSuccess) {
    TempDir dir;
    const std::string path = dir.write("out.ppm", "old contents");
    {
        PendingImageFile file;
        std::string error;
        ASSERT_TRUE(file.open(path, error));
        // Abandoned without a commit: the old file stays as it was.
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.ppm"});
    EXPECT_EQ(readPpm(path).width, 0);

    PendingImageFile file;
    std::string error;
    ASSERT_TRUE(file.open(path, error));
    ASSERT_TRUE(file.commit(gradient(3, 2), ImageFormat::Ppm, error));
    EXPECT_EQ(readPpm(path).pixels, gradient(3, 2).pixels);
}

TEST(PendingImageFile, FailuresSayWhyAndLeaveNoFile) {
    TempDir dir;
    PendingImageFile missingDirectory;
    std::string error;
    EXPECT_FALSE(missingDirectory.open(dir.path("no/such/dir/out.png"), error));
    EXPECT_NE(error.find("Could not write " + dir.path("no/such/dir/out.png")), std::string::npos);

    // The target is a directory: the temporary file is made, the rename fails.
    std::filesystem::create_directory(dir.path("taken.png"));
    PendingImageFile onDirectory;
    ASSERT_TRUE(onDirectory.open(dir.path("taken.png"), error));
    EXPECT_FALSE(onDirectory.commit(gradient(2, 2), ImageFormat::Png, error));
    EXPECT_NE(error.find("Could not write " + dir.path("taken.png")), std::string::npos);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"taken.png"});

    PendingImageFile neverOpened;
    EXPECT_FALSE(neverOpened.commit(gradient(2, 2), ImageFormat::Png, error));
}

}  // namespace
