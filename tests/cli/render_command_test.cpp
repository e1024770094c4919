#include "cli/render_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "float_pictures.h"
#include "render/camera.h"
#include "render/pixel_loop.h"
#include "scene/reader.h"
#include "test_support.h"

namespace {

struct Finished {
    int status;
    std::string out;
    std::string err;
};

Finished run(const std::vector<std::string>& arguments, bool interactive = false,
             const std::atomic<bool>* stop = nullptr) {
    std::ostringstream out, err;
    const int status = runCommandLine(arguments, out, err, interactive, stop);
    return {status, out.str(), err.str()};
}

// What the renderer itself gives for the scene file and settings.
PixelImage reference(const std::string& scenePath, const RenderSettings& settings, int width, RayCounts* counts) {
    Scene scene;
    Random generator;
    EXPECT_TRUE(loadScene(scenePath, scene, generator));
    const TraceContext context{scene, settings, generator, counts};
    return renderImage(context, width, imageHeightFor(scene.camera, width));
}

class RenderCommand : public ::testing::Test {
protected:
    TempDir dir;
    std::string scene = dir.write("scene.txt", kTestScene);
};

TEST_F(RenderCommand, WrittenPicturesMatchTheRendererPixelForPixel) {
    struct Case {
        const char* output;
        std::vector<std::string> flags;
        RenderSettings settings;
    };
    const Case cases[] = {
        {"plain.png", {}, RenderSettings{}},
        {"lit.png",
         {"--lights", "on", "--depth", "3", "--shadows", "soft-axes"},
         {3, AntiAliasingMode::None, ShadowMode::SoftAxes, LightsSetting::On}},
        // Soft-jitter draws from the generator: the picture matches only if
        // the command seeds and draws exactly as a fresh load does.
        {"jitter.ppm",
         {"--lights", "on", "--depth", "2", "--shadows", "soft-jitter"},
         {2, AntiAliasingMode::None, ShadowMode::SoftJitter, LightsSetting::On}},
        {"supersampled.ppm",
         {"--aa", "10x10", "--lights", "on"},
         {0, AntiAliasingMode::Supersampling, ShadowMode::Hard, LightsSetting::On}},
    };
    for (const Case& c : cases) {
        const int width = c.settings.antiAliasing == AntiAliasingMode::Supersampling ? 12 : 40;
        std::vector<std::string> arguments = {scene, "-o", dir.path(c.output), "--width", std::to_string(width)};
        arguments.insert(arguments.end(), c.flags.begin(), c.flags.end());
        const Finished result = run(arguments);
        ASSERT_EQ(result.status, kExitSuccess) << c.output << ": " << result.err;
        EXPECT_EQ(result.out + result.err, "") << c.output;

        const bool png = std::string(c.output).ends_with(".png");
        const PixelImage written = png ? readPng(dir.path(c.output)) : readPpm(dir.path(c.output));
        const PixelImage expected = reference(scene, c.settings, width, nullptr);
        EXPECT_EQ(written.width, expected.width) << c.output;
        EXPECT_EQ(written.height, expected.height) << c.output;
        EXPECT_EQ(written.pixels, expected.pixels) << c.output;
    }
}

TEST_F(RenderCommand, FloatPicturesConvertToTheEightBitPictureExactly) {
    // A light bright enough to take colours beyond 1, supersampled so each
    // pixel is a mean of 100 samples.
    const std::string bright = dir.write("bright.txt", std::string(kTestScene) + "LIGHT (0, 4, 3) (4, 4, 4) 0.2\n");
    const std::vector<std::string> settings = {"--width", "12", "--aa", "10x10", "--lights", "on", "--depth", "2"};
    const auto render = [&](const std::string& name) {
        std::vector<std::string> arguments = {bright, "-o", dir.path(name)};
        arguments.insert(arguments.end(), settings.begin(), settings.end());
        const Finished result = run(arguments);
        EXPECT_EQ(result.status, kExitSuccess) << name << ": " << result.err;
    };
    render("out.png");
    render("out.pfm");
    render("out.exr");
    const PixelImage png = readPng(dir.path("out.png"));
    ASSERT_GT(png.width, 0);
    for (const ColorPicture& picture : {readPfm(dir.path("out.pfm")), readExr(dir.path("out.exr"))}) {
        ASSERT_EQ(picture.width, png.width);
        ASSERT_EQ(picture.height, png.height);
        std::vector<Pixel> converted;
        float brightest = 0.0f;
        for (const Color& c : picture.colors) {
            converted.push_back(colorToPixel(c));
            brightest = std::max({brightest, c.red, c.green, c.blue});
        }
        EXPECT_EQ(converted, png.pixels);
        EXPECT_GT(brightest, 1.0f);
    }
}

TEST_F(RenderCommand, UnreadableSceneIsReportedWithItsPathAsGiven) {
    const std::string missing = dir.path("missing.txt");
    const Finished result = run({missing, "-o", dir.path("out.png")});
    EXPECT_EQ(result.status, kExitUnreadableScene);
    EXPECT_EQ(result.err, "Could not read file " + missing + "\n");
    EXPECT_EQ(result.out, "");

    const Finished directory = run({dir.path("."), "-o", dir.path("out.png")});
    EXPECT_EQ(directory.status, kExitUnreadableScene);
    EXPECT_EQ(directory.err, "Could not read file " + dir.path(".") + "\n");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"scene.txt"});
}

TEST_F(RenderCommand, CameraWithoutAPictureWritesNothing) {
    const std::string noCamera = dir.write("nocamera.txt", "SPHERE (0,0,-5) 1 (1,0,0) 0 1 (1,1,1) 1 1\n");
    const Finished none = run({noCamera, "-o", dir.path("out.png")});
    EXPECT_EQ(none.status, kExitBadImageSize);
    EXPECT_NE(none.err.find("no CAMERA record"), std::string::npos);

    // |up| / |right| = 100: 300 pixels wide would make 30000 rows.
    const std::string tall = dir.write("tall.txt", "CAMERA (0,0,0) (0.01,0,0) (0,1,0) (0,0,5)\n");
    const Finished tooTall = run({tall, "-o", dir.path("out.png")});
    EXPECT_EQ(tooTall.status, kExitBadImageSize);
    EXPECT_NE(tooTall.err.find("30000 pixels tall"), std::string::npos);
    EXPECT_NE(tooTall.err.find("16384"), std::string::npos);
    // ... while a narrower picture of the same scene is fine.
    EXPECT_EQ(run({tall, "-o", dir.path("out.png"), "--width", "100"}).status, kExitSuccess);
    std::filesystem::remove(dir.path("out.png"));

    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"nocamera.txt", "scene.txt", "tall.txt"}));
}

TEST_F(RenderCommand, MalformedSceneWarnsAndRendersWhatWasRead) {
    const std::string text =
        "CAMERA (0,0,0) (1,0,0) (0,1,0) (0,0,5)\n"
        "SPHERE (0,0,-5) 1 (1,0,0) 0 1 (1,1,1) 1 1\n"
        "SPHERE ( 2,0,-5) oops (0,1,0) 0 1 (1,1,1) 1 1\n";
    const std::string malformed = dir.write("malformed.txt", text);
    const Finished result = run({malformed, "-o", dir.path("out.png"), "--width", "20"});
    EXPECT_EQ(result.status, kExitSuccess);
    EXPECT_EQ(result.err, "warning: " + malformed + ": line 3, column 18: expected a number (SPHERE radius)\n");
    const PixelImage image = readPng(dir.path("out.png"));
    ASSERT_EQ(image.width, 20);
    EXPECT_EQ(image.at(10, 10), 0x0000ffu);  // the red sphere read before the fault
}

TEST_F(RenderCommand, UnwritableOutputFailsBeforeRendering) {
    const Finished result = run({scene, "-o", dir.path("no/such/dir/out.png")});
    EXPECT_EQ(result.status, kExitWriteFailed);
    EXPECT_EQ(result.err,
              "error: Could not write " + dir.path("no/such/dir/out.png") + ": No such file or directory\n");

    std::filesystem::create_directory(dir.path("taken.ppm"));
    const Finished onDirectory = run({scene, "-o", dir.path("taken.ppm"), "--width", "8", "--stats"});
    EXPECT_EQ(onDirectory.status, kExitWriteFailed);
    EXPECT_NE(onDirectory.err.find("Is a directory"), std::string::npos);
    EXPECT_EQ(onDirectory.out, "");  // no statistics for a picture that was not written
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"scene.txt", "taken.ppm"}));
}

TEST_F(RenderCommand, StopRequestAbandonsTheRenderAndLeavesNoFile) {
    const std::atomic<bool> stop{true};
    const Finished result = run({scene, "-o", dir.path("out.png")}, false, &stop);
    EXPECT_EQ(result.status, kExitInterrupted);
    EXPECT_NE(result.err.find("not written"), std::string::npos);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"scene.txt"});
}

TEST_F(RenderCommand, StatisticsReportSizeTimeAndEveryKindOfRay) {
    const Finished result =
        run({scene, "-o", dir.path("out.png"), "--width", "40", "--lights", "on", "--depth", "2", "--stats"});
    ASSERT_EQ(result.status, kExitSuccess) << result.err;
    RayCounts counts;
    const PixelImage expected =
        reference(scene, {2, AntiAliasingMode::None, ShadowMode::Hard, LightsSetting::On}, 40, &counts);
    ASSERT_GT(counts.secondary, 0u);
    ASSERT_GT(counts.shadow, 0u);

    std::istringstream lines(result.out);
    std::string time, size, rays, rate, engine, rest;
    std::getline(lines, time);
    std::getline(lines, size);
    std::getline(lines, rays);
    std::getline(lines, rate);
    std::getline(lines, engine);
    EXPECT_FALSE(std::getline(lines, rest));
    EXPECT_TRUE(engine.starts_with("engine: ") && engine.find("bounding volume hierarchy") != std::string::npos)
        << engine;
    EXPECT_TRUE(time.starts_with("render time: ") && time.ends_with(" ms")) << time;
    EXPECT_EQ(size, "image size: 40 x " + std::to_string(expected.height));
    EXPECT_EQ(rays, "rays traced: " + std::to_string(counts.total()) + " (primary " + std::to_string(counts.primary) +
                        ", secondary " + std::to_string(counts.secondary) + ", shadow " +
                        std::to_string(counts.shadow) + ")");
    EXPECT_EQ(counts.primary, 40u * static_cast<unsigned>(expected.height));
    EXPECT_TRUE(rate.starts_with("rays per second: ")) << rate;
    EXPECT_GT(std::stod(rate.substr(17)), 0.0);
}

TEST_F(RenderCommand, EveryEngineWritesTheReferencePicture) {
    const RenderSettings settings{3, AntiAliasingMode::None, ShadowMode::SoftJitter, LightsSetting::On};
    const PixelImage expected = reference(scene, settings, 32, nullptr);
    for (const std::vector<std::string>& engine : {std::vector<std::string>{"--threads", "1", "--no-accel"},
                                                   {"--threads", "3", "--no-accel"},
                                                   {"--threads", "1"},
                                                   {"--threads", "3"}}) {
        std::vector<std::string> arguments = {scene,         "-o",     dir.path("out.ppm"), "--width", "32",
                                              "--depth",     "3",      "--lights",          "on",      "--shadows",
                                              "soft-jitter", "--stats"};
        arguments.insert(arguments.end(), engine.begin(), engine.end());
        const Finished result = run(arguments);
        ASSERT_EQ(result.status, kExitSuccess) << result.err;
        EXPECT_EQ(readPpm(dir.path("out.ppm")).pixels, expected.pixels) << engine[1] << " " << engine.size();
        const bool linear = engine.size() == 3;
        EXPECT_NE(result.out.find(linear ? "linear search" : "bounding volume hierarchy"), std::string::npos)
            << result.out;
    }
}

TEST_F(RenderCommand, ProgressBarOnlyOnATerminalAndNotWhenQuiet) {
    const std::vector<std::string> arguments = {scene, "-o", dir.path("out.png"), "--width", "10"};
    EXPECT_EQ(run(arguments, false).err, "");
    std::vector<std::string> quiet = arguments;
    quiet.push_back("--quiet");
    EXPECT_EQ(run(quiet, true).err, "");
    const Finished shown = run(arguments, true);
    EXPECT_EQ(shown.status, kExitSuccess);
    EXPECT_NE(shown.err.find("%"), std::string::npos);
    EXPECT_EQ(shown.err.back(), '\r');  // the bar's line is cleared at the end
}

}  // namespace
