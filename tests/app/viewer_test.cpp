// The viewer's logic against a fake window: File/Open, the settings
// commands and the render thread they start and stop.
#include "app/viewer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "app/camera_motion.h"
#include "app/menu.h"
#include "app/render_thread.h"
#include "fake_window.h"
#include "render/camera.h"
#include "render/image.h"
#include "render/pixel_loop.h"
#include "scene/reader.h"

namespace {

// A wall that fills the view: every pixel of the picture is its flat colour
// (lights are off by default). The image plane is square.
const char* const kWallScene = R"(CAMERA (0, 0, 0) (1, 0, 0) (0, 1, 0) (0, 0, 2)
POLYGON 4 (-50, -50, -5) (50, -50, -5) (50, 50, -5) (-50, 50, -5) (0.6, 0.4, 0.2) 0 1 (1, 1, 1) 1 1
)";
constexpr Pixel kWallPixel = pixelOf(153, 102, 51);

// The same wall behind an image plane half as tall as it is wide.
const char* const kWideScene = R"(CAMERA (0, 0, 0) (1, 0, 0) (0, 0.5, 0) (0, 0, 2)
POLYGON 4 (-50, -50, -5) (50, -50, -5) (50, 50, -5) (-50, 50, -5) (0.6, 0.4, 0.2) 0 1 (1, 1, 1) 1 1
)";

constexpr int kSettingsMargin = 50;
constexpr int kOpenMargin = 100;

// Pixels of the picture (rows 0 to height - 1) that are not black, in
// row-major order: the render's progress.
int drawnPixels(const OffscreenImage& image, int height) {
    int drawn = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < image.width(); ++x) drawn += image.at(x, y) != 0u;
    }
    return drawn;
}

// True when exactly the first `count` pixels in row-major order are drawn.
bool drawnUpTo(const OffscreenImage& image, int height, int count) {
    for (int i = 0; i < image.width() * height; ++i) {
        const bool drawn = image.at(i % image.width(), i / image.width()) != 0u;
        if (drawn != (i < count)) return false;
    }
    return true;
}

bool allBlack(const OffscreenImage& image) { return drawnPixels(image, image.height()) == 0; }

class ViewerTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 40;
    static constexpr int kClientHeight = 30;

    void SetUp() override {
        dir =
            std::filesystem::temp_directory_path() / ("orvanel-viewer-" + std::to_string(getpid()) + "-" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        viewer->start();
    }

    void TearDown() override {
        // A failed expectation must not leave a render held in the fake.
        window.releaseAll();
        viewer.reset();
        std::filesystem::remove_all(dir);
    }

    std::string writeScene(const std::string& name, const std::string& text) {
        const std::filesystem::path path = dir / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    void open(const std::optional<std::string>& answer) {
        window.dialogAnswers.push_back(answer);
        viewer->command(kOpenCommand);
    }

    FakeWindow window;
    Scene scene;
    Random generator;
    // One worker, so that the hold points fall on exact pixels; the workers'
    // own order is the parallel loop's business and tested with it.
    std::unique_ptr<Viewer> viewer = std::make_unique<Viewer>(window, scene, generator, kWidth, kClientHeight, 1);
    std::filesystem::path dir;
};

TEST_F(ViewerTest, StartsUntitledWithTheClientSizeAndNoRender) {
    EXPECT_EQ(window.title, "Orvanel's Ray Tracer - Untitled");
    EXPECT_EQ(viewer->imageWidth(), kWidth);
    EXPECT_EQ(viewer->imageHeight(), kClientHeight);
    EXPECT_TRUE(window.images.empty());
    EXPECT_EQ(viewer->settings().recursionDepth, 0);
    EXPECT_EQ(viewer->settings().antiAliasing, AntiAliasingMode::None);
    EXPECT_EQ(viewer->settings().shadowMode, ShadowMode::Hard);
    EXPECT_EQ(viewer->settings().lights, LightsSetting::Off);
    EXPECT_FALSE(viewer->control().running());
}

TEST_F(ViewerTest, TitleUsesTheFileNameWithoutItsFolder) {
    EXPECT_EQ(windowTitle("ball.txt"), "Orvanel's Ray Tracer - ball.txt");
    EXPECT_EQ(windowTitle(""), "Orvanel's Ray Tracer - Untitled");
    const std::string path = writeScene("ball.txt", kWallScene);
    open(path);
    EXPECT_EQ(window.title, "Orvanel's Ray Tracer - ball.txt");
    EXPECT_EQ(viewer->scenePath(), path);
}

TEST_F(ViewerTest, PathsLongerThan260CharactersOpen) {
    std::filesystem::path folder = dir;
    for (int i = 0; i < 8; ++i) folder /= std::string(40, static_cast<char>('a' + i));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "deep.txt").string();
    ASSERT_GT(path.size(), 300u);
    std::ofstream(path, std::ios::binary) << kWallScene;
    open(path);
    EXPECT_TRUE(window.warnings.empty());
    EXPECT_EQ(window.title, "Orvanel's Ray Tracer - deep.txt");
    EXPECT_EQ(viewer->scenePath(), path);
    EXPECT_EQ(scene.objectList.size(), 1u);
}

TEST_F(ViewerTest, OpeningSizesPictureImageAndWindowFromTheCamera) {
    open(writeScene("wide.txt", kWideScene));
    const int height = kWidth / 2;
    EXPECT_EQ(viewer->imageHeight(), height);
    ASSERT_EQ(window.images.size(), 1u);
    EXPECT_EQ(window.images[0]->width(), kWidth);
    EXPECT_EQ(window.images[0]->height(), height + kOpenMargin);
    EXPECT_EQ(window.shownHeights[0], height + kSettingsMargin);
    ASSERT_TRUE(window.geometry);
    EXPECT_EQ(window.geometry->x, 0);
    EXPECT_EQ(window.geometry->y, 0);
    EXPECT_EQ(window.geometry->width, kWidth + 15);
    EXPECT_EQ(window.geometry->height, height + 100);
    EXPECT_TRUE(window.warnings.empty());

    viewer->waitForRender();
    const OffscreenImage& image = *window.images[0];
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < kWidth; ++x) ASSERT_EQ(image.at(x, y), kWallPixel) << x << ", " << y;
    }
    // The elapsed milliseconds, a bare number, at row H + 5; black around it.
    const auto texts = window.renderedTexts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_FALSE(texts[0].empty());
    EXPECT_TRUE(std::all_of(texts[0].begin(), texts[0].end(), [](unsigned char c) { return std::isdigit(c); }));
    EXPECT_EQ(image.at(0, height + 5), FakeWindow::kWhite);
    EXPECT_EQ(image.at(0, height + 4), 0u);
    EXPECT_EQ(image.at(kWidth - 1, height + 5), 0u);
    // One repaint per row, and one for the time.
    EXPECT_EQ(window.progress(), height + 1);
}

TEST_F(ViewerTest, SceneNamedAtStartUpOpensAsFileOpenAndReloadsInPlace) {
    const std::string path = writeScene("wall.txt", kWallScene);
    viewer->openPath(path);
    EXPECT_TRUE(window.dialogInitialNames.empty());
    EXPECT_EQ(window.title, "Orvanel's Ray Tracer - wall.txt");
    ASSERT_TRUE(window.geometry);
    EXPECT_EQ(window.geometry->x, 0);
    EXPECT_EQ(window.geometry->height, kWidth + 100);
    viewer->waitForRender();

    // Changed on disk: read again, sized again, but not moved.
    writeScene("wall.txt", kWideScene);
    window.geometry = FakeWindow::Geometry{70, 40, 0, 0};
    viewer->reload(path);
    EXPECT_EQ(viewer->imageHeight(), kWidth / 2);
    EXPECT_EQ(window.resizes, 1);
    EXPECT_EQ(window.geometry->x, 70);
    EXPECT_EQ(window.geometry->y, 40);
    EXPECT_EQ(window.geometry->height, kWidth / 2 + 100);
    EXPECT_EQ(window.title, "Orvanel's Ray Tracer - wall.txt");
    viewer->waitForRender();
    EXPECT_EQ(window.images.back()->at(0, 0), kWallPixel);
    EXPECT_EQ(window.renderedTexts().size(), 2u);
}

TEST_F(ViewerTest, CancellingRendersTheLoadedSceneAgainWithoutReloading) {
    const std::string path = writeScene("wall.txt", kWallScene);
    open(path);
    viewer->waitForRender();
    // Changed on disk: a cancelled dialog must not read it again.
    writeScene("wall.txt", kWideScene);

    open(std::nullopt);
    EXPECT_EQ(window.dialogInitialNames.back(), path);
    EXPECT_EQ(window.title, "Orvanel's Ray Tracer - wall.txt");
    EXPECT_EQ(viewer->imageHeight(), kWidth);
    ASSERT_EQ(window.images.size(), 2u);
    EXPECT_NE(window.images[1], window.images[0]);
    viewer->waitForRender();
    EXPECT_EQ(drawnPixels(*window.images[1], kWidth), kWidth * kWidth);
    EXPECT_EQ(window.renderedTexts().size(), 2u);
    ASSERT_TRUE(window.geometry);
    EXPECT_EQ(window.geometry->height, kWidth + 100);
}

TEST_F(ViewerTest, CancellingBeforeAnyFileRendersTheEmptyScene) {
    open(std::nullopt);
    EXPECT_EQ(window.title, "Orvanel's Ray Tracer - Untitled");
    // No camera: no picture, only the time at row 5.
    EXPECT_EQ(viewer->imageHeight(), 0);
    ASSERT_EQ(window.images.size(), 1u);
    EXPECT_EQ(window.images[0]->height(), kOpenMargin);
    viewer->waitForRender();
    EXPECT_EQ(window.images[0]->at(0, 5), FakeWindow::kWhite);
    ASSERT_TRUE(window.geometry);
    EXPECT_EQ(window.geometry->height, 100);
}

TEST_F(ViewerTest, UnreadableFileShowsItsFullPathThenRendersTheEmptyScene) {
    open(writeScene("wall.txt", kWallScene));
    viewer->waitForRender();
    ASSERT_FALSE(scene.objectList.empty());

    const std::string missing = (dir / "no such folder" / "missing.txt").string();
    open(missing);
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_EQ(window.warnings[0], "Could not read file " + missing);
    EXPECT_EQ(window.title, "Orvanel's Ray Tracer - Untitled");
    EXPECT_EQ(viewer->scenePath(), "");
    EXPECT_TRUE(scene.objectList.empty());
    EXPECT_EQ(viewer->imageHeight(), 0);
    viewer->waitForRender();
    EXPECT_EQ(window.images.back()->at(0, 5), FakeWindow::kWhite);

    // The path was emptied: the next dialog starts without a name.
    open(std::nullopt);
    EXPECT_EQ(window.dialogInitialNames.back(), "");
}

TEST_F(ViewerTest, MalformedFileWarnsWhereAndRendersWhatWasRead) {
    const std::string path =
        writeScene("broken.txt", std::string(kWallScene) + "SPHERE (0, 0, -3) oops (1, 1, 1) 0 1 (1, 1, 1) 1 1\n");
    open(path);
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_NE(window.warnings[0].find(path), std::string::npos) << window.warnings[0];
    EXPECT_NE(window.warnings[0].find("line 3, column 19"), std::string::npos) << window.warnings[0];
    EXPECT_EQ(window.title, "Orvanel's Ray Tracer - broken.txt");
    EXPECT_EQ(viewer->scenePath(), path);
    ASSERT_GE(scene.objectList.size(), 1u);
    EXPECT_EQ(scene.objectList[0].kind, ObjectKind::Polygon);
    viewer->waitForRender();
    EXPECT_EQ(window.images[0]->at(0, 0), kWallPixel);
}

TEST_F(ViewerTest, CameraTallerThanTheLimitIsRefusedWithAWarning) {
    open(writeScene("tall.txt", "CAMERA (0, 0, 0) (1, 0, 0) (0, 100000, 0) (0, 0, 2)\n"));
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_NE(window.warnings[0].find(std::to_string(kMaxImageHeight)), std::string::npos) << window.warnings[0];
    EXPECT_EQ(viewer->imageHeight(), 0);
    ASSERT_EQ(window.images.size(), 1u);
    EXPECT_EQ(window.images[0]->height(), kOpenMargin);
    viewer->waitForRender();
    EXPECT_EQ(window.renderedTexts().size(), 1u);
}

TEST_F(ViewerTest, SettingsCommandBeforeAnySceneRendersTheEmptySceneWithoutWaiting) {
    viewer->command(40017);  // Lights "On"
    EXPECT_EQ(viewer->settings().lights, LightsSetting::On);
    ASSERT_EQ(window.images.size(), 1u);
    EXPECT_EQ(window.images[0]->width(), kWidth);
    EXPECT_EQ(window.images[0]->height(), kClientHeight + kSettingsMargin);
    viewer->waitForRender();
    EXPECT_EQ(drawnPixels(*window.images[0], kClientHeight), 0);
    EXPECT_EQ(window.images[0]->at(0, kClientHeight + 5), FakeWindow::kWhite);
    // Neither the title nor the window changes.
    EXPECT_EQ(window.title, "Orvanel's Ray Tracer - Untitled");
    EXPECT_FALSE(window.geometry);
    EXPECT_GE(window.windowThreadRepaints.load(), 1);
}

TEST_F(ViewerTest, SettingsCommandDuringARenderStopsItAndRestartsOnANewBlackImage) {
    window.holdAtProgress(11);
    window.holdAtProgress(12);
    open(writeScene("wall.txt", kWallScene));
    ASSERT_TRUE(window.waitUntilHeldAt(11));
    const std::shared_ptr<OffscreenImage> first = window.images.back();

    // The old render is held after its eleventh row; it may go on once the
    // command has asked it to stop, as a render computing a pixel would.
    std::thread letGo([this] {
        while (viewer->control().running()) std::this_thread::yield();
        window.release();
    });
    viewer->command(40016);  // Recursion Depth "One"
    letGo.join();
    EXPECT_EQ(viewer->settings().recursionDepth, 1);

    // The new render holds after its first row, on a new image.
    ASSERT_TRUE(window.waitUntilHeldAt(12));
    ASSERT_EQ(window.images.size(), 2u);
    const std::shared_ptr<OffscreenImage> second = window.images.back();
    EXPECT_NE(second, first);
    EXPECT_EQ(second->height(), kWidth + kSettingsMargin);
    EXPECT_EQ(window.shownHeights.back(), kWidth + kSettingsMargin);
    EXPECT_TRUE(drawnUpTo(*second, second->height(), kWidth));

    // The stopped render drew no row after the one it was computing, and
    // no time.
    EXPECT_TRUE(drawnUpTo(*first, first->height(), 11 * kWidth));
    EXPECT_TRUE(window.renderedTexts().empty());

    window.release();
    viewer->waitForRender();
    EXPECT_EQ(drawnPixels(*second, kWidth), kWidth * kWidth);
    EXPECT_EQ(second->at(0, kWidth + 5), FakeWindow::kWhite);
    EXPECT_EQ(window.renderedTexts().size(), 1u);
    EXPECT_TRUE(drawnUpTo(*first, first->height(), 11 * kWidth));
}

TEST_F(ViewerTest, ChoosingTheCurrentValueStillRestarts) {
    open(writeScene("wall.txt", kWallScene));
    viewer->waitForRender();
    viewer->command(40018);  // Lights "Off", the default
    EXPECT_EQ(viewer->settings().lights, LightsSetting::Off);
    ASSERT_EQ(window.images.size(), 2u);
    viewer->waitForRender();
    EXPECT_EQ(drawnPixels(*window.images[1], kWidth), kWidth * kWidth);
    EXPECT_EQ(window.renderedTexts().size(), 2u);
}

TEST_F(ViewerTest, CommandsWithoutAnEntryDoNothing) {
    for (int id : {40004, 40021, 40000, 0, -1, 65535}) {
        viewer->command(id);
        EXPECT_TRUE(window.images.empty()) << id;
    }
    EXPECT_TRUE(window.dialogInitialNames.empty());
    EXPECT_TRUE(window.warnings.empty());
    EXPECT_EQ(viewer->settings().recursionDepth, 0);
    EXPECT_EQ(viewer->settings().lights, LightsSetting::Off);
    EXPECT_EQ(window.progress(), 0);
}

TEST_F(ViewerTest, ShutdownDuringARenderStopsAndJoinsIt) {
    window.holdAtProgress(5);
    open(writeScene("wall.txt", kWallScene));
    ASSERT_TRUE(window.waitUntilHeldAt(5));
    std::thread letGo([this] {
        while (viewer->control().running()) std::this_thread::yield();
        window.release();
    });
    viewer->stopRender();
    letGo.join();
    // Joined: no row after the fifth, no time, and the render's hold on
    // its image is gone.
    EXPECT_EQ(window.progress(), 5);
    EXPECT_TRUE(window.renderedTexts().empty());
    EXPECT_EQ(window.images.back().use_count(), 1);
}

// A lit sphere over a floor: soft-jitter shadows draw from the generator, so
// a picture that started from anywhere but the load's state would differ.
const char* const kLitScene = R"(CAMERA (0, 1, 4) (1, 0, 0) (0, 0.75, 0) (0, 0, 2)
# a note the camera's writer must keep
LIGHT (-2, 4, 2) (1, 1, 1) 0.5
POLYGON 4 (-8, 0, 8) (8, 0, 8) (8, 0, -8) (-8, 0, -8) (0.7, 0.7, 0.7) 0 1 (1, 1, 1) 1 1
SPHERE (0, 1, 0) 0.6 (0.3, 0.5, 0.9) 0 1 (0, 0, 0) 4 1
)";

// What orvanel-render makes of `path` at `width` with `settings`.
PixelImage referencePicture(const std::string& path, int width, const RenderSettings& settings) {
    Scene scene;
    Random generator;
    EXPECT_TRUE(loadScene(path, scene, generator));
    return renderImage({scene, settings, generator}, width, imageHeightFor(scene.camera, width));
}

PixelImage shownPicture(const Viewer& viewer, const OffscreenImage& image) {
    return image.copyRegion(viewer.imageWidth(), viewer.imageHeight());
}

TEST_F(ViewerTest, AMovedCameraIsShownExactlyOnTheSameImageAndWrittenBackIntoTheScene) {
    const std::string path = writeScene("lit.txt", kLitScene);
    for (const int id : {40017, 40020}) viewer->command(id);  // lights on, soft jitter
    viewer->openPath(path);
    viewer->waitForRender();
    const std::size_t images = window.images.size();

    // Two drags' worth of motion, the second ending where the picture rests.
    const Camera opened = viewer->camera();
    const Vec3 pivot = viewer->pivot();
    const Vec3 up = opened.screenUp;
    viewer->setCamera(orbitCamera(opened, pivot, up, 0.2f, 0.0f));
    viewer->finishCameraStep();
    viewer->setCamera(orbitCamera(viewer->camera(), pivot, up, 0.3f, 0.1f));
    viewer->finishCameraStep();
    const Camera moved = viewer->camera();
    viewer->waitForRender();
    EXPECT_EQ(window.images.size(), images) << "a moved camera draws over the picture shown";

    viewer->command(kWriteCameraCommand);
    ASSERT_TRUE(window.warnings.empty()) << window.warnings.front();
    std::ifstream written(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("# a note the camera's writer must keep\n"), std::string::npos);
    const PixelImage expected = referencePicture(path, kWidth, viewer->settings());
    EXPECT_EQ(shownPicture(*viewer, *window.images.back()).pixels, expected.pixels);

    // The watcher's news of that write: nothing to do, no new render.
    const int repaints = window.progress();
    viewer->reload(path);
    EXPECT_EQ(window.progress(), repaints);
    EXPECT_EQ(window.images.size(), images);

    // Undo goes back step by step to the camera opened; redo forward again.
    viewer->command(kUndoCameraCommand);
    viewer->command(kUndoCameraCommand);
    EXPECT_EQ(std::memcmp(&viewer->camera(), &opened, sizeof(Camera)), 0);
    viewer->command(kRedoCameraCommand);
    viewer->command(kRedoCameraCommand);
    EXPECT_EQ(std::memcmp(&viewer->camera(), &moved, sizeof(Camera)), 0);
    viewer->command(kResetCameraCommand);
    EXPECT_EQ(std::memcmp(&viewer->camera(), &opened, sizeof(Camera)), 0);
    viewer->waitForRender();
}

TEST_F(ViewerTest, WritingTheCameraIntoAFileChangedOnDiskAsksFirst) {
    const std::string path = writeScene("lit.txt", kLitScene);
    viewer->openPath(path);
    viewer->setCamera(orbitCamera(viewer->camera(), viewer->pivot(), viewer->camera().screenUp, 0.5f, 0.0f));
    const std::string edited = std::string(kLitScene) + "LIGHT (2, 4, 2) (1, 1, 1) 0.5\n";
    writeScene("lit.txt", edited);
    viewer->command(kWriteCameraCommand);  // answered No
    ASSERT_EQ(window.questions.size(), 1u);
    std::ifstream kept(path, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>()), edited);
    window.confirmAnswers.push_back(true);
    viewer->command(kWriteCameraCommand);
    Scene reread;
    Random generator;
    ASSERT_TRUE(loadScene(path, reread, generator));
    EXPECT_EQ(std::memcmp(&reread.camera, &viewer->camera(), sizeof(Camera)), 0);
    EXPECT_EQ(reread.lightList.size(), 2u);
}

TEST_F(ViewerTest, SavedPictureHoldsTheRenderedPixels) {
    const std::string path = writeScene("lit.txt", kLitScene);
    viewer->openPath(path);
    viewer->waitForRender();
    const std::string saved = (dir / "picture.ppm").string();
    std::string error;
    ASSERT_TRUE(viewer->savePicture(saved, error)) << error;
    std::ifstream in(saved, std::ios::binary);
    std::string magic;
    int width = 0, height = 0, maximum = 0;
    in >> magic >> width >> height >> maximum;
    in.get();
    ASSERT_EQ(magic, "P6");
    ASSERT_EQ(width, kWidth);
    const PixelImage expected = referencePicture(path, kWidth, viewer->settings());
    ASSERT_EQ(height, expected.height);
    for (const Pixel wanted : expected.pixels) {
        unsigned char rgb[3];
        in.read(reinterpret_cast<char*>(rgb), 3);
        ASSERT_EQ(pixelOf(rgb[0], rgb[1], rgb[2]), wanted);
    }
    EXPECT_FALSE(viewer->savePicture((dir / "picture.bmp").string(), error));
    EXPECT_FALSE(std::filesystem::exists(dir / "picture.bmp"));
}

TEST_F(ViewerTest, AWatchedFileWithProblemsKeepsTheLastPictureUntilItReadsClean) {
    const std::string path = writeScene("lit.txt", kLitScene);
    viewer->openPath(path);
    viewer->waitForRender();
    EXPECT_TRUE(window.problems.empty());
    const std::size_t images = window.images.size();

    // Half written: the sphere's record stops in the middle of a vector.
    const std::string text(kLitScene);
    writeScene("lit.txt", text.substr(0, text.find("0.6 (0.3")) + "0.6 (0.3,");
    viewer->reload(path);
    EXPECT_EQ(window.images.size(), images);
    ASSERT_FALSE(window.problems.empty());
    EXPECT_EQ(window.problems.front().rfind(path + ":5:", 0), 0u) << window.problems.front();
    EXPECT_EQ(scene.objectList.size(), 2u);

    // Saved in full: shown, and the problems go.
    writeScene("lit.txt", text);
    viewer->reload(path);
    EXPECT_EQ(window.images.size(), images + 1);
    EXPECT_TRUE(window.problems.empty());
    viewer->waitForRender();

    // Closing the problems of a broken file shows what it holds.
    writeScene("lit.txt", text.substr(0, text.find("LIGHT")) + "SPHERE (0, 1, 0) oops");
    viewer->reload(path);
    EXPECT_EQ(scene.lightList.size(), 1u);
    viewer->acceptPartialScene();
    EXPECT_EQ(scene.lightList.size(), 0u);
    EXPECT_EQ(window.images.size(), images + 2);
}

TEST_F(ViewerTest, PictureWidthCommandsSizeThePictureFromTheCamera) {
    viewer->openPath(writeScene("wide.txt", kWideScene));
    viewer->command(40303);  // 600
    EXPECT_EQ(viewer->imageWidth(), 600);
    EXPECT_EQ(viewer->imageHeight(), 300);
    EXPECT_EQ(window.images.back()->width(), 600);
    window.widthAnswer = 123;
    viewer->command(kOtherWidthCommand);
    EXPECT_EQ(viewer->imageWidth(), 123);
    EXPECT_EQ(viewer->imageHeight(), 61);
    viewer->waitForRender();
}

TEST(RenderThreadTest, CompleteRenderTellsTheControlAndStoppedOneDrawsNoTime) {
    FakeWindow window;
    Scene scene;
    Random generator;
    RenderControl control;
    auto image = std::make_shared<OffscreenImage>(4, 3 + 50);
    control.markStarting();
    renderThread({&scene, RenderSettings{}, generator, image, 4, 3, &control, &window, nullptr, 2});
    EXPECT_FALSE(control.running());
    EXPECT_TRUE(control.stopped());
    EXPECT_EQ(image->at(0, elapsedTextRow(3)), FakeWindow::kWhite);

    auto stoppedImage = std::make_shared<OffscreenImage>(4, 3 + 50);
    control.waitForStop();
    control.markStarting();
    control.requestStop();
    renderThread({&scene, RenderSettings{}, generator, stoppedImage, 4, 3, &control, &window, nullptr, 2});
    EXPECT_TRUE(control.stopped());
    EXPECT_TRUE(allBlack(*stoppedImage));
    EXPECT_EQ(window.renderedTexts().size(), 1u);
}

}  // namespace
