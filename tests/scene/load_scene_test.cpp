#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "scene/reader.h"

namespace fs = std::filesystem;

namespace {

const char* const kSphereScene =
    "CAMERA (0, 0, 0) (1, 0, 0) (0, 1, 0) (0, 0, 5)\n"
    "AIR 4 2 (0.5, 0.5, 0.5)\n"
    "LIGHT (0, 5, 0) (1, 1, 1) 1\n"
    "SPHERE (0, 0, -5) 1.5 (1, 0.2, 0.2) 0.3 20 (0.9, 0.9, 0.9) 2.25 1\n";

// A private folder per test, removed afterwards.
class LoadScene : public testing::Test {
protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::temp_directory_path() / ("orvanel-load-" + std::to_string(::getpid()) + "-" + info->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path write(const fs::path& relative, const std::string& text) {
        const fs::path path = folder_ / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // A scene that a failed load must leave no trace of.
    void fillWithOtherScene() {
        ASSERT_TRUE(loadScene(write("other.txt", kSphereScene).string(), scene_, generator_));
        ASSERT_EQ(scene_.objectList.size(), 1u);
    }

    void expectResetScene() const {
        EXPECT_TRUE(scene_.objectList.empty());
        EXPECT_TRUE(scene_.lightList.empty());
        EXPECT_EQ(scene_.camera.eyeOffset.z, 0.0f);
        EXPECT_EQ(scene_.air.permittivity, 1000000.0f);
        EXPECT_EQ(scene_.air.permeability, 1.0f);
        EXPECT_EQ(scene_.air.transmittance.red, 1.0f);
    }

    fs::path folder_;
    Scene scene_;
    Random generator_;
};

}  // namespace

TEST_F(LoadScene, ReadsTheFile) {
    SceneDiagnostic diagnostic{3, 4, "stale"};
    EXPECT_TRUE(loadScene(write("scene.txt", kSphereScene).string(), scene_, generator_, &diagnostic));
    EXPECT_FALSE(diagnostic) << diagnostic.message;
    ASSERT_EQ(scene_.objectList.size(), 1u);
    EXPECT_EQ(scene_.objectList[0].radius, 1.5f);
    EXPECT_EQ(scene_.lightList.size(), 1u);
    EXPECT_EQ(scene_.air.permittivity, 4.0f);
    EXPECT_EQ(scene_.camera.eyeOffset.z, 5.0f);
}

TEST_F(LoadScene, MalformedFileStillLoadsWithADiagnostic) {
    SceneDiagnostic diagnostic;
    EXPECT_TRUE(loadScene(write("bad.txt", "LIGHT (0,0,0) (1,1,1) 1\nSPHERE (0,0,0) wide\n").string(), scene_,
                          generator_, &diagnostic));
    EXPECT_EQ(diagnostic.message, "line 2, column 16: expected a number (SPHERE radius)");
    EXPECT_EQ(scene_.lightList.size(), 1u);
    EXPECT_EQ(scene_.objectList.size(), 1u);
    // The diagnostic is optional.
    EXPECT_TRUE(loadScene((folder_ / "bad.txt").string(), scene_, generator_));
}

TEST_F(LoadScene, SecondLoadReplacesTheFirst) {
    fillWithOtherScene();
    EXPECT_TRUE(loadScene(write("plain.txt", "AMBIENT (0.2, 0.2, 0.2)\n").string(), scene_, generator_));
    expectResetScene();
    EXPECT_EQ(scene_.ambient.red, 0.2f);
}

TEST_F(LoadScene, MissingFileFailsWithTheResetScene) {
    fillWithOtherScene();
    SceneDiagnostic diagnostic;
    ASSERT_TRUE(loadScene(write("bad.txt", "SPHERE (x").string(), scene_, generator_, &diagnostic));
    ASSERT_TRUE(diagnostic);
    EXPECT_FALSE(loadScene((folder_ / "missing.txt").string(), scene_, generator_, &diagnostic));
    expectResetScene();
    EXPECT_FALSE(diagnostic) << "a stale diagnostic survived: " << diagnostic.message;
}

TEST_F(LoadScene, DirectoryFails) {
    fillWithOtherScene();
    fs::create_directories(folder_ / "scene.txt");
    EXPECT_FALSE(loadScene((folder_ / "scene.txt").string(), scene_, generator_));
    expectResetScene();
    EXPECT_FALSE(loadScene(folder_.string(), scene_, generator_));
}

TEST_F(LoadScene, DevicesFailAndPipesLoad) {
    // A device would be read without end.
    EXPECT_FALSE(loadScene("/dev/zero", scene_, generator_));
    expectResetScene();

    // A named pipe is read as its writer writes it.
    const fs::path fifo = folder_ / "pipe.txt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&fifo] { std::ofstream(fifo, std::ios::binary) << kSphereScene; });
    EXPECT_TRUE(loadScene(fifo.string(), scene_, generator_));
    writer.join();
    EXPECT_EQ(scene_.objectList.size(), 1u);
    EXPECT_EQ(scene_.camera.eyeOffset.z, 5.0f);
}

TEST_F(LoadScene, SymbolicLinkToASceneLoads) {
    const fs::path target = write("scene.txt", kSphereScene);
    fs::create_symlink(target, folder_ / "link.txt");
    EXPECT_TRUE(loadScene((folder_ / "link.txt").string(), scene_, generator_));
    EXPECT_EQ(scene_.objectList.size(), 1u);
}

TEST_F(LoadScene, PathLongerThan260Characters) {
    const fs::path relative = fs::path(std::string(120, 'a')) / std::string(120, 'b') / "scene.txt";
    const std::string path = write(relative, kSphereScene).string();
    ASSERT_GT(path.size(), 260u);
    EXPECT_TRUE(loadScene(path, scene_, generator_));
    EXPECT_EQ(scene_.objectList.size(), 1u);
}

TEST_F(LoadScene, ReseedsTheGeneratorWithOne) {
    generator_.seed(12345);
    generator_.next();
    EXPECT_TRUE(loadScene(write("scene.txt", kSphereScene).string(), scene_, generator_));
    EXPECT_EQ(generator_.next(), 41);
    EXPECT_EQ(generator_.next(), 18467);
    // Also when the file cannot be opened.
    EXPECT_FALSE(loadScene((folder_ / "missing.txt").string(), scene_, generator_));
    EXPECT_EQ(generator_.next(), 41);
}
