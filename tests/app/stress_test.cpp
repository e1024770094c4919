// The viewer's logic under a user who does not wait: a burst of settings
// commands during an expensive render, and closing in the middle of one.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/menu.h"
#include "app/viewer.h"
#include "fake_window.h"
#include "render/context.h"
#include "render/pixel_loop.h"
#include "scene/reader.h"

namespace {

namespace fs = std::filesystem;

// A matte sphere over a floor under one light: every pixel casts soft-shadow
// rays, and with nothing reflective the depth adds no rays.
const char* const kShadowScene = R"(CAMERA (0, 1, 4) (1, 0, 0) (0, 1, 0) (0, 0, 2)
LIGHT (-2, 4, 2) (1, 1, 1) 1
POLYGON 4 (-8, 0, 8) (8, 0, 8) (8, 0, -8) (-8, 0, -8) (0.7, 0.7, 0.7) 0 1 (1, 1, 1) 1 1
SPHERE (0, 1, 0) 0.6 (0.3, 0.5, 0.9) 0 1 (0, 0, 0) 4 1
)";

constexpr int kSupersampling = 40013;
constexpr int kSoftAxes = 40015;
constexpr int kSoftJitter = 40020;
constexpr int kLightsOn = 40017;
constexpr int kDepthCommands[] = {40002, 40016, 40003, 40005, 40006, 40007, 40008, 40009, 40010, 40011};

class StressTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "orvanel-viewer-stress-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        path = (dir / "shadows.txt").string();
        std::ofstream(path) << kShadowScene;
    }

    void TearDown() override {
        holding = false;
        window.releaseAll();
        viewer.reset();
        fs::remove_all(dir);
    }

    // Supersampled soft shadows in a window `width` wide.
    void openExpensive(int width) {
        viewer = std::make_unique<Viewer>(window, scene, generator, width, width);
        control = &viewer->control();
        viewer->start();
        for (int id : {kSupersampling, kSoftJitter, kLightsOn}) viewer->command(id);
        window.dialogAnswers.push_back(path);
        viewer->command(kOpenCommand);
        ASSERT_TRUE(window.warnings.empty());
    }

    // Every render of the fixture and the case waits at its first pixel until
    // it is asked to stop, or until the test lets it go on.
    void holdEveryRenderUntilStopped() {
        window.holdWhile = [this] { return holding.load() && control.load()->running(); };
    }

    fs::path dir;
    std::string path;
    std::atomic<bool> holding{true};
    std::atomic<const RenderControl*> control{nullptr};
    FakeWindow window;
    Scene scene;
    Random generator;
    std::unique_ptr<Viewer> viewer;
};

TEST_F(StressTest, BurstOfSettingsCommandsLeavesOneRenderForTheLastSetting) {
    holdEveryRenderUntilStopped();
    openExpensive(16);
    const std::size_t firstBurstImage = window.images.size();
    const std::size_t textsBefore = window.renderedTexts().size();

    // Depth and shadow mode in turn; the last two set depth Nine, Soft Axes.
    for (int i = 0; i < 200; ++i) {
        viewer->command(i % 2 == 0 ? kDepthCommands[(i / 2) % 10] : ((i / 2) % 2 == 0 ? kSoftJitter : kSoftAxes));
    }
    ASSERT_EQ(window.images.size(), firstBurstImage + 200);

    // Every render but the last was stopped and joined with all its workers:
    // their images are final, and none of them lived to draw its time.
    std::vector<PixelImage> earlier;
    for (std::size_t i = 0; i + 1 < window.images.size(); ++i) {
        earlier.push_back(window.images[i]->copyRegion(16, 16));
        EXPECT_EQ(window.images[i].use_count(), 1) << "image " << i << " is still held by a render";
    }
    holding = false;
    viewer->waitForRender();
    for (std::size_t i = 0; i < earlier.size(); ++i) {
        EXPECT_EQ(window.images[i]->copyRegion(16, 16).pixels, earlier[i].pixels) << "image " << i;
    }
    EXPECT_EQ(window.renderedTexts().size(), textsBefore + 1);

    const RenderSettings& last = viewer->settings();
    EXPECT_EQ(last.recursionDepth, 9);
    EXPECT_EQ(last.antiAliasing, AntiAliasingMode::Supersampling);
    EXPECT_EQ(last.shadowMode, ShadowMode::SoftAxes);
    EXPECT_EQ(last.lights, LightsSetting::On);

    // The picture is the one these settings give.
    Random unused;
    const TraceContext context{scene, last, unused};
    const PixelImage expected = renderImage(context, 16, viewer->imageHeight());
    EXPECT_EQ(window.images.back()->copyRegion(16, viewer->imageHeight()).pixels, expected.pixels);
}

TEST_F(StressTest, ClosingMidRenderStopsItWithoutFinishing) {
    holdEveryRenderUntilStopped();
    openExpensive(300);
    viewer->command(kDepthCommands[9]);
    viewer->stopRender();
    EXPECT_FALSE(viewer->control().running());
    EXPECT_LT(window.progress(), 300 * viewer->imageHeight());
    EXPECT_TRUE(window.renderedTexts().empty());
    EXPECT_EQ(window.images.back().use_count(), 1);
}

}  // namespace
