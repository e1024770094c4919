// orvanel-render given the scene files nobody means to give it. Each run ends
// in a message that names the file and the fault, or in a picture; a picture
// already at the output path survives every run that fails.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>

#include "cli/render_command.h"
#include "test_support.h"
#include "tests/unprivileged.h"

namespace {

namespace fs = std::filesystem;

const std::string kCamera = "CAMERA (0,0,5) (1,0,0) (0,1,0) (0,0,1)\nLIGHT (0,5,5) (1,1,1) 0.5\n";
const std::string kMaterial = " (1,0.2,0.2) 0.3 20 (0.9,0.9,0.9) 2.25 1\n";
const std::string kNoPicture =
    ": the camera gives no picture (no CAMERA record, or a zero-length screenUp or screenRight)\n";
const std::string kPrevious = "the picture of an earlier run";

struct Finished {
    int status;
    std::string err;
};

class CliFailure : public ::testing::Test {
protected:
    void SetUp() override { std::ofstream(output, std::ios::binary) << kPrevious; }

    Finished render(const std::string& scene) {
        std::ostringstream out, err;
        const int status = runCommandLine({scene, "-o", output, "--width", "8", "--lights", "on"}, out, err, false);
        EXPECT_EQ(out.str(), "");
        return {status, err.str()};
    }

    // A run that must fail with exactly `message` and leave the earlier
    // picture as it was.
    void expectRefused(const std::string& scene, int status, const std::string& message) {
        const Finished result = render(scene);
        EXPECT_EQ(result.status, status) << scene;
        EXPECT_EQ(result.err, message);
        EXPECT_EQ(slurp(output), kPrevious) << "the earlier picture was lost";
    }

    // A run that must warn with exactly `warning` (or stay silent) and
    // replace the earlier picture with a new one.
    void expectPicture(const std::string& scene, const std::string& warning) {
        const Finished result = render(scene);
        EXPECT_EQ(result.status, kExitSuccess) << result.err;
        EXPECT_EQ(result.err, warning.empty() ? "" : "warning: " + scene + ": " + warning + "\n");
        const PixelImage picture = readPng(output);
        EXPECT_EQ(picture.width, 8);
        EXPECT_EQ(picture.height, 8);
        std::ofstream(output, std::ios::binary) << kPrevious;
    }

    TempDir dir;
    std::string output = dir.path("out.png");
};

TEST_F(CliFailure, FilesWithoutACameraNameTheFileAndWriteNothing) {
    std::mt19937 random(99);
    std::string garbage(64 * 1024, '\0');
    for (char& c : garbage) c = static_cast<char>(random() & 0xff);
    for (const auto& [name, text] : {std::pair<std::string, std::string>{"empty.txt", ""},
                                     {"blank.txt", " \n\t\r\n\f\v  "},
                                     {"garbage.bin", garbage},
                                     {"zeros.bin", std::string(1000, '\0')}}) {
        const std::string scene = dir.write(name, text);
        expectRefused(scene, kExitBadImageSize, "error: " + scene + kNoPicture);
    }
}

TEST_F(CliFailure, MalformedValuesWarnWhereAndRenderWhatWasRead) {
    struct Case {
        const char* name;
        std::string text;
        std::string warning;
    };
    const Case cases[] = {
        {"huge-count.txt", kCamera + "POLYGON 2147483647 (0,0,-5) (1,0,-5) (0,1,-5)",
         "line 3, column 46: the file ends inside a POLYGON record (expected vertex)"},
        {"overflowing-count.txt", kCamera + "POLYGON 99999999999 (0,0,0)" + kMaterial,
         "line 3, column 9: expected a whole number within range (POLYGON vertex count)"},
        {"big-float.txt", kCamera + "SPHERE (0,0,-5) 1e39" + kMaterial,
         "line 3, column 17: expected a number within range (SPHERE radius)"},
        {"small-float.txt", kCamera + "SPHERE (0,0,-5) -3.5e38" + kMaterial,
         "line 3, column 17: expected a number within range (SPHERE radius)"},
        {"nan.txt", kCamera + "SPHERE (0,0,-5) nan" + kMaterial,
         "line 3, column 17: expected a number (SPHERE radius)"},
        {"inf.txt", kCamera + "SPHERE (0,0,-5) 1 (inf,0,0)" + kMaterial,
         "line 3, column 20: expected a number (SPHERE color)"},
        {"nul.txt", kCamera + "SPHERE (0,0,-5) " + std::string(1, '\0') + kMaterial,
         "line 3, column 17: expected a number (SPHERE radius)"},
        {"negative-counts.txt", kCamera + "POLYGON -1" + kMaterial + "POLYGON -2147483648" + kMaterial, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectPicture(dir.write(c.name, c.text), c.warning);
    }
}

TEST_F(CliFailure, PathsThatCannotBeReadAreRefusedAsGiven) {
    expectRefused(dir.path(""), kExitUnreadableScene, "Could not read file " + dir.path("") + "\n");

    // Named on the command line, gone before the program reads it.
    const std::string vanished = dir.write("vanished.txt", kCamera);
    fs::remove(vanished);
    expectRefused(vanished, kExitUnreadableScene, "Could not read file " + vanished + "\n");
}

TEST_F(CliFailure, FileWithoutReadPermissionIsRefused) {
    const std::string scene = dir.write("secret.txt", kCamera + "SPHERE (0,0,-5) 1" + kMaterial);
    ASSERT_EQ(chmod(scene.c_str(), 0), 0);
    const std::string message = "Could not read file " + scene + "\n";
    if (geteuid() != 0) {
        expectRefused(scene, kExitUnreadableScene, message);
        return;
    }
    // Root reads any file: run the command as an unprivileged user in a child
    // process, with the directory and the earlier picture open to that user.
    ASSERT_EQ(chmod(fs::path(output).parent_path().c_str(), 0777), 0);
    ASSERT_EQ(chmod(output.c_str(), 0666), 0);
    const std::optional<int> status = runAsNobody([&] {
        std::ostringstream out, err;
        const int code = runCommandLine({scene, "-o", output}, out, err, false);
        return code == kExitUnreadableScene && err.str() == message && out.str().empty() ? 0 : 1;
    });
    if (!status) GTEST_SKIP() << "running as root and cannot drop to an unprivileged user";
    EXPECT_EQ(*status, 0) << "the unreadable file was not refused with \"" << message << "\"";
    EXPECT_EQ(slurp(output), kPrevious);
}

TEST_F(CliFailure, HundredMegabyteWordIsSkipped) {
    const std::string scene = dir.path("word.txt");
    {
        std::ofstream out(scene, std::ios::binary);
        const std::string chunk(1 << 20, '7');
        for (int i = 0; i < 100; ++i) out << chunk;
        out << "\n" << kCamera << "SPHERE (0,0,-5) 1" << kMaterial;
    }
    expectPicture(scene, "");
}

TEST_F(CliFailure, MillionSpheresRender) {
    const std::string scene = dir.path("spheres.txt");
    {
        std::ofstream out(scene, std::ios::binary);
        out << "CAMERA (0,0,5) (1,0,0) (0,1,0) (0,0,1)\n";
        for (int i = 0; i < 1'000'000; ++i) out << "SPHERE (" << i % 100 << ",0,-9)1(1,1,1)0 0(0,0,0)1 1\n";
    }
    std::ostringstream out, err;
    EXPECT_EQ(runCommandLine({scene, "-o", output, "--width", "2"}, out, err, false), kExitSuccess) << err.str();
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(readPng(output).width, 2);
}

}  // namespace
