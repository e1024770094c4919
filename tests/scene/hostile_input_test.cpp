// Scene files as they arrive from anywhere: empty, truncated, binary, huge,
// unreadable or gone. Each must end in a scene that renders, a diagnostic
// that says where the file went wrong, or a refused load; never a crash, a
// hang or memory beyond a fixed multiple of the file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <random>
#include <sstream>
#include <string>

#include "render/context.h"
#include "render/pixel_loop.h"
#include "render/camera.h"
#include "render/image.h"
#include "scene/reader.h"
#include "tests/unprivileged.h"

namespace {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "orvanel-hostile-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code error;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
        fs::remove_all(path_, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string write(const std::string& name, const std::string& content) const {
        const std::string file = (path_ / name).string();
        std::ofstream out(file, std::ios::binary);
        out << content;
        return file;
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

struct Loaded {
    bool opened = false;
    Scene scene;
    SceneDiagnostic diagnostic;
};

Loaded loadFile(const std::string& path) {
    Loaded result;
    Random generator;
    result.opened = loadScene(path, result.scene, generator, &result.diagnostic);
    return result;
}

Loaded readText(const std::string& text) {
    Loaded result;
    std::istringstream in(text);
    result.diagnostic = readScene(in, result.scene);
    result.opened = true;
    return result;
}

// A picture of whatever was read, with every light casting hard shadows.
PixelImage renderSmall(const Scene& scene) {
    RenderSettings settings;
    settings.recursionDepth = 2;
    settings.lights = LightsSetting::On;
    Random generator;
    const TraceContext context{scene, settings, generator};
    return renderImage(context, 4, 3);
}

const std::string kMaterial = " (1,0.2,0.2) 0.3 20 (0.9,0.9,0.9) 2.25 1\n";
const std::string kCamera = "CAMERA (0,0,5) (1,0,0) (0,1,0) (0,0,1)\nLIGHT (0,5,5) (1,1,1) 0.5\n";

void expectEmptyScene(const Scene& scene) {
    EXPECT_TRUE(scene.objectList.empty());
    EXPECT_TRUE(scene.lightList.empty());
    EXPECT_EQ(scene.camera.screenRight.x, 0.0f);
    EXPECT_EQ(scene.air.permittivity, kDefaultAir.permittivity);
}

// A size in kB from /proc/self/status: VmRSS now, or VmHWM, the peak since
// the last reset.
long statusKb(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}

bool resetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

// AddressSanitizer keeps freed blocks resident in its quarantine, 256 MB by
// default, on top of what the program holds.
#if defined(__SANITIZE_ADDRESS__)
constexpr double kAllowanceKb = (64 + 256) * 1024;
#else
constexpr double kAllowanceKb = 64 * 1024;
#endif

// Loading `path` may raise the resident set by at most `factor` times the
// file's size plus a fixed allowance for the allocator and the sanitizers.
void expectMemoryProportionalToFile(const std::string& path, double factor, Loaded& loaded) {
    const auto fileKb = static_cast<double>(fs::file_size(path)) / 1024.0;
    if (!resetPeakResident()) GTEST_SKIP() << "cannot reset the resident-set peak on this system";
    const long before = statusKb("VmRSS");
    loaded = loadFile(path);
    const long growth = statusKb("VmHWM") - before;
    EXPECT_LT(static_cast<double>(growth), factor * fileKb + kAllowanceKb)
        << "grew by " << growth << " kB for a file of " << fileKb << " kB";
}

}  // namespace

TEST(HostileInput, EmptyAndWhitespaceOnlyFilesLoadTheEmptyScene) {
    TempDir dir;
    for (const std::string& content : {std::string(), std::string(" \t\r\n\v\f\n\n   \n")}) {
        const Loaded loaded = loadFile(dir.write("blank.txt", content));
        EXPECT_TRUE(loaded.opened);
        EXPECT_FALSE(loaded.diagnostic) << loaded.diagnostic.message;
        expectEmptyScene(loaded.scene);
        // No camera: no height to render at, which callers must refuse.
        EXPECT_EQ(imageHeightFor(loaded.scene.camera, 300), 0);
    }
}

TEST(HostileInput, BinaryGarbageIsSkippedWordByWord) {
    std::mt19937 random(20240611);
    std::string garbage(256 * 1024, '\0');
    for (char& c : garbage) c = static_cast<char>(random() & 0xff);
    const Loaded loaded = readText(garbage);
    EXPECT_FALSE(loaded.diagnostic) << loaded.diagnostic.message;
    expectEmptyScene(loaded.scene);
    EXPECT_EQ(renderSmall(loaded.scene).pixels.size(), 12u);
}

TEST(HostileInput, GarbageWhereAValueBelongsIsPlacedByLineAndColumn) {
    const Loaded loaded = readText(kCamera + "SPHERE (0,0,-5) \x89PNG\r\n\x1a\n" + kMaterial);
    EXPECT_EQ(loaded.diagnostic.message, "line 3, column 17: expected a number (SPHERE radius)");
    // What came before the fault stays; the broken record is kept, not half-read memory.
    EXPECT_EQ(loaded.scene.lightList.size(), 1u);
    ASSERT_EQ(loaded.scene.objectList.size(), 1u);
    EXPECT_EQ(loaded.scene.objectList[0].center.z, -5.0f);
    EXPECT_EQ(renderSmall(loaded.scene).pixels.size(), 12u);
}

TEST(HostileInput, NulBytesAreOrdinaryCharacters) {
    // A file of NULs is one unknown word.
    const Loaded zeros = readText(std::string(4096, '\0'));
    EXPECT_FALSE(zeros.diagnostic);
    expectEmptyScene(zeros.scene);

    // A NUL serves as a delimiter like any other character...
    const std::string nulTriple =
        std::string("SPHERE ") + '\0' + "0" + '\0' + "0" + '\0' + "-5" + '\0' + " 1.5" + kMaterial;
    const Loaded delimited = readText(nulTriple);
    EXPECT_FALSE(delimited.diagnostic) << delimited.diagnostic.message;
    ASSERT_EQ(delimited.scene.objectList.size(), 1u);
    EXPECT_EQ(delimited.scene.objectList[0].radius, 1.5f);

    // ...and is not a number.
    const Loaded broken = readText("SPHERE (0,0,-5) " + std::string(1, '\0') + kMaterial);
    EXPECT_EQ(broken.diagnostic.message, "line 1, column 17: expected a number (SPHERE radius)");
}

TEST(HostileInput, TruncatedFileSaysWhichRecordWasCutShort) {
    const std::string whole = kCamera + "SPHERE (0,0,-5) 1.5" + kMaterial;
    const Loaded cut = readText(whole.substr(0, whole.find("1.5")));
    EXPECT_EQ(cut.diagnostic.message, "line 3, column 17: the file ends inside a SPHERE record (expected radius)");
    EXPECT_EQ(cut.scene.objectList.size(), 1u);
    EXPECT_EQ(renderSmall(cut.scene).pixels.size(), 12u);
}

TEST(HostileInput, VertexCountsBeyondTheFileOrBeyondRange) {
    // Far more vertices announced than the file holds: only those present
    // are kept, and the count says so.
    const Loaded huge = readText("POLYGON 2147483647 (0,0,0) (1,0,0) (0,1,0)");
    EXPECT_EQ(huge.diagnostic.message, "line 1, column 43: the file ends inside a POLYGON record (expected vertex)");
    ASSERT_EQ(huge.scene.objectList.size(), 1u);
    EXPECT_EQ(huge.scene.objectList[0].vertexCount, 3);
    EXPECT_EQ(huge.scene.objectList[0].vertices.size(), 3u);

    // A count beyond a 32-bit integer is refused where it stands.
    const Loaded overflow = readText("POLYGON 99999999999 (0,0,0) (1,0,0) (0,1,0)" + kMaterial);
    EXPECT_EQ(overflow.diagnostic.message,
              "line 1, column 9: expected a whole number within range (POLYGON vertex count)");
    ASSERT_EQ(overflow.scene.objectList.size(), 1u);
    EXPECT_TRUE(overflow.scene.objectList[0].vertices.empty());
    EXPECT_LE(overflow.scene.objectList[0].vertexCount, 0);

    const Loaded negativeOverflow = readText("POLYGON -99999999999" + kMaterial);
    EXPECT_EQ(negativeOverflow.diagnostic.message,
              "line 1, column 9: expected a whole number within range (POLYGON vertex count)");

    for (const auto& record :
         {kCamera + "POLYGON 2147483647 (0,0,0) (1,0,0) (0,1,0)", kCamera + "POLYGON 99999999999 (0,0,0)"}) {
        EXPECT_EQ(renderSmall(readText(record).scene).pixels.size(), 12u);
    }
}

TEST(HostileInput, NegativeVertexCountsMakeEmptyPolygons) {
    for (const std::string count : {"-1", "-3", "-2147483648"}) {
        const Loaded loaded = readText(kCamera + "POLYGON " + count + kMaterial + "SPHERE (0,0,0) 1" + kMaterial);
        EXPECT_FALSE(loaded.diagnostic) << count << ": " << loaded.diagnostic.message;
        ASSERT_EQ(loaded.scene.objectList.size(), 2u) << count;
        EXPECT_TRUE(loaded.scene.objectList[0].vertices.empty());
        // The material follows the count directly, so the next record is intact.
        EXPECT_EQ(loaded.scene.objectList[0].shininess, 20.0f);
        EXPECT_EQ(loaded.scene.objectList[1].kind, ObjectKind::Sphere);
        EXPECT_EQ(renderSmall(loaded.scene).pixels.size(), 12u);
    }
}

TEST(HostileInput, NumbersBeyondAFloatAreRefused) {
    for (const std::string& radius : {std::string("1e39"), std::string("-1e39"), std::string("3.5e38"),
                                      std::string("1e99999"), "1" + std::string(60, '0')}) {
        const Loaded loaded = readText("SPHERE (0,0,-5) " + radius + kMaterial);
        EXPECT_EQ(loaded.diagnostic.message, "line 1, column 17: expected a number within range (SPHERE radius)")
            << radius;
    }
    // The largest float is still a number.
    EXPECT_FALSE(readText("SPHERE (0,0,-5) 3.4e38" + kMaterial).diagnostic);
}

TEST(HostileInput, NanAndInfAreNotNumbers) {
    for (const std::string word : {"nan", "NaN", "-nan", "inf", "-inf", "INF", "infinity"}) {
        const Loaded loaded = readText(kCamera + "LIGHT (0,0,0) (1,1,1) 1\nSPHERE (0,0,-5) " + word + kMaterial);
        EXPECT_EQ(loaded.diagnostic.message, "line 4, column 17: expected a number (SPHERE radius)") << word;
        EXPECT_EQ(renderSmall(loaded.scene).pixels.size(), 12u);
    }
    const Loaded inTriple = readText("CAMERA (0,nan,5) (1,0,0) (0,1,0) (0,0,1)");
    EXPECT_EQ(inTriple.diagnostic.message, "line 1, column 11: expected a number (CAMERA screen center)");
}

TEST(HostileInput, PathsThatCannotBeReadAreRefusedAndLeaveTheEmptyScene) {
    TempDir dir;
    Loaded loaded = loadFile(dir.path().string());
    EXPECT_FALSE(loaded.opened) << "a directory";
    expectEmptyScene(loaded.scene);

    // A file chosen, then deleted before it is loaded.
    const std::string vanished = dir.write("vanished.txt", kCamera + "SPHERE (0,0,-5) 1" + kMaterial);
    fs::remove(vanished);
    Scene scene = readText(kCamera + "SPHERE (0,0,-5) 1" + kMaterial).scene;
    Random generator;
    generator.next();
    SceneDiagnostic diagnostic;
    diagnostic.line = 7;
    EXPECT_FALSE(loadScene(vanished, scene, generator, &diagnostic));
    expectEmptyScene(scene);
    EXPECT_FALSE(diagnostic);
    EXPECT_EQ(generator.state, 1u);
}

TEST(HostileInput, FileWithoutReadPermissionIsRefused) {
    TempDir dir;
    const std::string path = dir.write("secret.txt", kCamera + "SPHERE (0,0,-5) 1" + kMaterial);
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    if (geteuid() != 0) {
        const Loaded loaded = loadFile(path);
        EXPECT_FALSE(loaded.opened);
        expectEmptyScene(loaded.scene);
        return;
    }
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    const std::optional<int> status = runAsNobody([&path] {
        const Loaded loaded = loadFile(path);
        return loaded.opened ? 1 : (loaded.scene.objectList.empty() ? 0 : 2);
    });
    if (!status) GTEST_SKIP() << "running as root and cannot drop to an unprivileged user";
    EXPECT_EQ(*status, 0) << "1: the file was read; 2: the scene was not reset";
}

TEST(HostileInput, HundredMegabyteWordLoadsInMemoryProportionalToTheFile) {
    TempDir dir;
    const std::string path = (dir.path() / "word.txt").string();
    {
        std::ofstream out(path, std::ios::binary);
        const std::string chunk(1 << 20, 'A');
        for (int i = 0; i < 100; ++i) out << chunk;
        out << "\n" << kCamera;  // the record after the word still counts
    }
    Loaded loaded;
    expectMemoryProportionalToFile(path, 4.0, loaded);
    EXPECT_TRUE(loaded.opened);
    EXPECT_FALSE(loaded.diagnostic) << loaded.diagnostic.message;
    EXPECT_EQ(loaded.scene.lightList.size(), 1u);
    EXPECT_EQ(loaded.scene.camera.screenCenter.z, 5.0f);
}

TEST(HostileInput, MillionSpheresLoadInMemoryProportionalToTheFile) {
    TempDir dir;
    const std::string path = (dir.path() / "spheres.txt").string();
    constexpr int kSpheres = 1'000'000;
    {
        std::ofstream out(path, std::ios::binary);
        out << kCamera;
        for (int i = 0; i < kSpheres; ++i) out << "SPHERE (" << i % 100 << ",0,-9)1(1,1,1)0 0(0,0,0)1 1\n";
    }
    Loaded loaded;
    // A sphere takes some 37 bytes of text and 184 of SceneObject, and the
    // object list holds its old and new arrays at once while it grows.
    expectMemoryProportionalToFile(path, 16.0, loaded);
    EXPECT_FALSE(loaded.diagnostic) << loaded.diagnostic.message;
    ASSERT_EQ(loaded.scene.objectList.size(), static_cast<std::size_t>(kSpheres));
    EXPECT_EQ(loaded.scene.objectList.back().center.x, static_cast<float>((kSpheres - 1) % 100));

    RenderSettings settings;
    Random generator;
    const TraceContext context{loaded.scene, settings, generator};
    const PixelImage image = renderImage(context, 2, 2);
    EXPECT_EQ(image.pixels.size(), 4u);
}

namespace {

// `size` bytes of `filler` then `tail`, made as they are read: a pipe's
// worth of input that no file on disk holds.
class GeneratedInput : public std::streambuf {
public:
    GeneratedInput(std::uint64_t size, char filler, std::string tail) : left_(size), tail_(std::move(tail)) {
        block_.assign(1 << 16, filler);
    }

protected:
    int_type underflow() override {
        if (left_ > 0) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left_, block_.size()));
            left_ -= n;
            setg(block_.data(), block_.data(), block_.data() + n);
        } else if (!tail_.empty()) {
            block_ = std::move(tail_);
            tail_.clear();
            setg(block_.data(), block_.data(), block_.data() + block_.size());
        } else {
            return traits_type::eof();
        }
        return traits_type::to_int_type(*gptr());
    }

private:
    std::uint64_t left_;
    std::string tail_;
    std::string block_;
};

}  // namespace

TEST(HostileInput, GigabyteOfBlanksOrOneWordIsReadInAFewMegabytes) {
    constexpr std::uint64_t kGigabyte = 1ull << 30;
    for (const char filler : {' ', 'w'}) {
        SCOPED_TRACE(filler == ' ' ? "blanks" : "one word");
        if (!resetPeakResident()) GTEST_SKIP() << "cannot reset the resident-set peak on this system";
        const long before = statusKb("VmRSS");
        GeneratedInput source(kGigabyte, filler, "\n\n" + kCamera + "SPHERE (0,0,-5) x" + kMaterial);
        std::istream in(&source);
        Scene scene;
        const SceneDiagnostic diagnostic = readScene(in, scene);
        EXPECT_LT(statusKb("VmHWM") - before, 8 * 1024 + kAllowanceKb - 64 * 1024);
        // Lines and columns still count from the true start.
        EXPECT_EQ(diagnostic.message, "line 5, column 17: expected a number (SPHERE radius)");
        EXPECT_EQ(scene.lightList.size(), 1u);
        ASSERT_EQ(scene.objectList.size(), 1u);
    }
}
