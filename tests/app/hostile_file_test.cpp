// File/Open with the files nobody means to open: each ends in a warning that
// names the path and the fault, or in a picture, and the viewer stays usable.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "app/menu.h"
#include "app/viewer.h"
#include "fake_window.h"
#include "render/image.h"
#include "tests/unprivileged.h"

namespace {

namespace fs = std::filesystem;

// A wall filling the view; lights are off by default, so every pixel is its
// flat colour.
const std::string kWall =
    "CAMERA (0,0,0) (1,0,0) (0,1,0) (0,0,2)\n"
    "POLYGON 4 (-50,-50,-5) (50,-50,-5) (50,50,-5) (-50,50,-5) (0.6,0.4,0.2) 0 1 (1,1,1) 1 1\n";
constexpr Pixel kWallPixel = pixelOf(153, 102, 51);
const std::string kMaterial = " (1,1,1) 0 1 (1,1,1) 1 1\n";

// With `vanish` set, the dialog hands over a path whose file is gone by the
// time it is read.
class HostileWindow : public FakeWindow {
public:
    bool vanish = false;

    bool chooseSceneFile(std::string& path) override {
        const bool chosen = FakeWindow::chooseSceneFile(path);
        if (chosen && vanish) fs::remove(path);
        return chosen;
    }
};

class HostileFileTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 8;

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "orvanel-viewer-hostile-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        viewer->start();
    }

    void TearDown() override {
        window.releaseAll();
        viewer.reset();
        std::error_code error;
        fs::remove_all(dir, error);
    }

    std::string write(const std::string& name, const std::string& text) {
        const fs::path path = dir / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    void open(const std::string& path) {
        window.dialogAnswers.push_back(path);
        viewer->command(kOpenCommand);
    }

    // Opens `text` and expects exactly `warning` (none when empty), then a
    // finished render `height` pixels tall.
    void expectOpened(const std::string& name, const std::string& text, const std::string& warning, int height) {
        SCOPED_TRACE(name);
        const std::string path = write(name, text);
        const std::size_t before = window.warnings.size();
        open(path);
        if (warning.empty()) {
            EXPECT_EQ(window.warnings.size(), before) << window.warnings.back();
        } else {
            ASSERT_EQ(window.warnings.size(), before + 1);
            EXPECT_EQ(window.warnings.back(),
                      "The file " + path + " was read only in part: " + warning +
                          ". Shown: what came before it, and the record it is in, as far as it was read.");
        }
        EXPECT_EQ(window.title, "Orvanel's Ray Tracer - " + name);
        EXPECT_EQ(viewer->imageHeight(), height);
        viewer->waitForRender();
        EXPECT_FALSE(viewer->control().running());
        if (height > 0) {
            EXPECT_EQ(window.images.back()->at(0, 0), kWallPixel);
        }
    }

    void expectRefused(const std::string& path) {
        const std::size_t before = window.warnings.size();
        open(path);
        ASSERT_EQ(window.warnings.size(), before + 1);
        EXPECT_EQ(window.warnings.back(), "Could not read file " + path);
        EXPECT_EQ(window.title, "Orvanel's Ray Tracer - Untitled");
        EXPECT_TRUE(scene.objectList.empty());
        viewer->waitForRender();
    }

    fs::path dir;
    HostileWindow window;
    Scene scene;
    Random generator;
    std::unique_ptr<Viewer> viewer = std::make_unique<Viewer>(window, scene, generator, kWidth, kWidth);
};

TEST_F(HostileFileTest, FilesWithoutAnyRecordRenderTheEmptySceneSilently) {
    std::mt19937 random(7);
    std::string garbage(64 * 1024, '\0');
    for (char& c : garbage) c = static_cast<char>(random() & 0xff);
    expectOpened("empty.txt", "", "", 0);
    expectOpened("blank.txt", "  \n\t\r\n  ", "", 0);
    expectOpened("garbage.bin", garbage, "", 0);
    expectOpened("zeros.bin", std::string(4096, '\0'), "", 0);
}

TEST_F(HostileFileTest, HundredMegabyteWordIsSkippedAndTheSceneAfterItShown) {
    const std::string path = (dir / "word.txt").string();
    {
        std::ofstream out(path, std::ios::binary);
        const std::string chunk(1 << 20, 'x');
        for (int i = 0; i < 100; ++i) out << chunk;
        out << '\n' << kWall;
    }
    open(path);
    EXPECT_TRUE(window.warnings.empty());
    EXPECT_EQ(viewer->imageHeight(), kWidth);
    viewer->waitForRender();
    EXPECT_EQ(window.images.back()->at(kWidth - 1, kWidth - 1), kWallPixel);
}

TEST_F(HostileFileTest, MalformedNumbersWarnWhereAndShowWhatCameBefore) {
    expectOpened("huge-count.txt", kWall + "POLYGON 2147483647 (0,0,0) (1,0,0)",
                 "line 3, column 35: the file ends inside a POLYGON record (expected vertex)", kWidth);
    expectOpened("overflowing-count.txt", kWall + "POLYGON 99999999999 (0,0,0)" + kMaterial,
                 "line 3, column 9: expected a whole number within range (POLYGON vertex count)", kWidth);
    expectOpened("big-float.txt", kWall + "SPHERE (0,0,-3) 1e39" + kMaterial,
                 "line 3, column 17: expected a number within range (SPHERE radius)", kWidth);
    expectOpened("nan.txt", kWall + "SPHERE (0,0,-3) nan" + kMaterial,
                 "line 3, column 17: expected a number (SPHERE radius)", kWidth);
    expectOpened("inf.txt", kWall + "LIGHT (0,0,0) (inf,1,1) 1\n", "line 3, column 16: expected a number (LIGHT color)",
                 kWidth);
    expectOpened("nul.txt", kWall + "SPHERE (0,0,-3) " + std::string(1, '\0') + kMaterial,
                 "line 3, column 17: expected a number (SPHERE radius)", kWidth);
}

TEST_F(HostileFileTest, NegativeVertexCountsGiveEmptyPolygonsAndThePicture) {
    expectOpened("negative.txt", kWall + "POLYGON -1" + kMaterial + "POLYGON -2147483648" + kMaterial, "", kWidth);
    EXPECT_EQ(scene.objectList.size(), 3u);
}

TEST_F(HostileFileTest, DirectoryIsRefusedAndTheNextFileOpens) {
    expectRefused(dir.string());
    expectOpened("wall.txt", kWall, "", kWidth);
}

TEST_F(HostileFileTest, FileThatVanishesAfterChoosingIsRefused) {
    window.vanish = true;
    expectRefused(write("vanishing.txt", kWall));
    EXPECT_FALSE(fs::exists(dir / "vanishing.txt"));
    EXPECT_EQ(viewer->scenePath(), "");
}

TEST_F(HostileFileTest, FileWithoutReadPermissionIsRefused) {
    const std::string path = write("secret.txt", kWall);
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    if (geteuid() != 0) {
        expectRefused(path);
        return;
    }
    // Opened as an unprivileged user in a child process, which runs no
    // thread yet at the fork.
    ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
    const std::optional<int> status = runAsNobody([&] {
        open(path);
        viewer->waitForRender();
        return window.warnings.size() == 1 && window.warnings[0] == "Could not read file " + path ? 0 : 1;
    });
    if (!status) GTEST_SKIP() << "running as root and cannot drop to an unprivileged user";
    EXPECT_EQ(*status, 0) << "the unreadable file was not refused with its message";
}

TEST_F(HostileFileTest, MillionSpheresLoadAndTheRenderStopsOnClosing) {
    const std::string path = (dir / "spheres.txt").string();
    {
        std::ofstream out(path, std::ios::binary);
        out << kWall;
        for (int i = 0; i < 1'000'000; ++i) out << "SPHERE (" << i % 100 << ",0,-90)1(1,1,1)0 0(0,0,0)1 1\n";
    }
    open(path);
    EXPECT_TRUE(window.warnings.empty());
    EXPECT_EQ(scene.objectList.size(), 1'000'001u);
    viewer->stopRender();
    EXPECT_FALSE(viewer->control().running());
}

}  // namespace
