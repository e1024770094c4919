// The viewer's logic under a user who does not wait: a burst of settings
// commands during an expensive render, closing in the middle of one, and a
// camera that keeps moving.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "app/camera_motion.h"
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

// The process's resident memory, from /proc/self/statm.
std::size_t residentBytes() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm) return 0;
    unsigned long size = 0, resident = 0;
    const int read = std::fscanf(statm, "%lu %lu", &size, &resident);
    std::fclose(statm);
    return read == 2 ? resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) : 0;
}

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

    // The scene in a window `width` wide, after the settings `commands`.
    void open(int width, std::initializer_list<int> commands, int threads = 0) {
        viewer = std::make_unique<Viewer>(window, scene, generator, width, width, threads);
        control = &viewer->control();
        viewer->start();
        for (int id : commands) viewer->command(id);
        window.dialogAnswers.push_back(path);
        viewer->command(kOpenCommand);
        ASSERT_TRUE(window.warnings.empty());
    }

    // Supersampled soft shadows.
    void openExpensive(int width, int threads = 0) { open(width, {kSupersampling, kSoftJitter, kLightsOn}, threads); }

    // The camera orbited from `start` about the pivot it had, as a drag does.
    struct Orbit {
        Camera start;
        Vec3 pivot;
        Vec3 up;
        Camera at(float yaw, float pitch) const { return orbitCamera(start, pivot, up, yaw, pitch); }
    };
    Orbit orbitFromHere() const { return {viewer->camera(), viewer->pivot(), viewer->cameraHistory().opened().screenUp}; }

    // The picture the settings and the camera give, from the generator as
    // the load left it.
    PixelImage expectedPicture(int width) const {
        Random loaded = generator;
        const TraceContext context{scene, viewer->settings(), loaded};
        return renderImage(context, width, viewer->imageHeight());
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
    EXPECT_EQ(window.images.back()->copyRegion(16, viewer->imageHeight()).pixels, expectedPicture(16).pixels);
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

TEST_F(StressTest, CameraMovedWhileRendersStartAndStopEndsOnTheFinalCamerasPicture) {
    openExpensive(12, 3);
    Orbit orbit = orbitFromHere();
    const std::size_t imagesBefore = window.images.size();
    for (int step = 1; step <= 300; ++step) {
        viewer->setCamera(orbit.at(0.01f * static_cast<float>(step % 100), 0.02f * static_cast<float>(step % 5 - 2)));
        // Now and then a render runs to its end, preview and refinement both.
        if (step % 75 == 0) viewer->waitForRender();
        if (step % 20 == 0) viewer->finishCameraStep();
        // A new drag takes its pivot while the render goes on.
        if (step % 100 == 0) orbit = orbitFromHere();
    }
    viewer->waitForRender();
    // Every step drew over the one image: no render made a new one.
    EXPECT_EQ(window.images.size(), imagesBefore);
    EXPECT_EQ(window.images.back().use_count(), 1);
    ASSERT_TRUE(viewer->hasPicture());
    EXPECT_EQ(window.images.back()->copyRegion(12, viewer->imageHeight()).pixels, expectedPicture(12).pixels);
}

TEST_F(StressTest, TenThousandCameraStepsKeepTheMemoryFlat) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's allocator holds freed memory back";
#endif
    open(32, {}, 2);
    const Orbit orbit = orbitFromHere();
    std::size_t after2000 = 0;
    for (int step = 1; step <= 10000; ++step) {
        viewer->setCamera(orbit.at(1e-4f * static_cast<float>(step), 1e-4f * static_cast<float>(step % 7 - 3)));
        viewer->finishCameraStep();
        if (step == 2000) after2000 = residentBytes();
    }
    viewer->waitForRender();
    ASSERT_GT(after2000, 0u);
    EXPECT_LE(residentBytes(), after2000 + (8u << 20));
}

}  // namespace
