#include "app/scene_file_rewrite.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <string>

#include "scene/camera_record.h"
#include "tests/unprivileged.h"

namespace fs = std::filesystem;

namespace {

const std::string kScene =
    "\xEF\xBB\xBF" "A test scene\r\nCAMERA (0,0,10) (1,0,0) (0,1,0) (0,0,5)\r\n"
    "LIGHT (0,5,0) (1,1,1) 0.5\r\nSPHERE (0,0,-5) 1.5 (1,0.2,0.2) 0.3 20 (0.9,0.9,0.9) 2.25 1\r\n";
const Camera kCamera{{0, 1, 10}, {2, 0, 0}, {0, 1.5f, 0}, {0.25f, 0, 6}};

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "orvanel-rewrite-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code error;
        fs::remove_all(path_, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string write(const std::string& name, const std::string& text, fs::perms mode) const {
        const fs::path file = path_ / name;
        std::ofstream(file, std::ios::binary) << text;
        fs::permissions(file, mode);
        return file.string();
    }
    std::set<std::string> names() const {
        std::set<std::string> result;
        for (const fs::directory_entry& entry : fs::directory_iterator(path_)) {
            result.insert(entry.path().filename().string());
        }
        return result;
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

std::string contentOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::perms modeOf(const std::string& path) { return fs::status(path).permissions(); }

std::string expectedText(const std::string& old) {
    std::string error;
    return withCameraRecord(old, kCamera, error).value();
}

// `body` in a forked child, as nobody when running as root, so that
// permissions count and limits stay with the child.
std::optional<int> runInChild(const std::function<int()>& body) {
    if (::geteuid() == 0) return runAsNobody(body);
    const pid_t child = ::fork();
    if (child < 0) return std::nullopt;
    if (child == 0) _exit(body());
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return std::nullopt;
    return WEXITSTATUS(status);
}

}  // namespace

TEST(WriteCameraToScene, ReplacesTheFileKeepingItsPermissions) {
    TempFolder folder;
    const std::string path = folder.write("scene.txt", kScene, fs::perms(0640));
    const std::optional<SceneFileStamp> before = takeSceneFileStamp(path);
    ASSERT_TRUE(before);

    std::string error;
    SceneFileStamp written;
    ASSERT_TRUE(writeCameraToScene(path, kCamera, error, &written)) << error;
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(contentOf(path), expectedText(kScene));
    EXPECT_EQ(modeOf(path), fs::perms(0640));
    EXPECT_EQ(folder.names(), std::set<std::string>{"scene.txt"});
    // The viewer takes the written file as the one it has open.
    EXPECT_EQ(takeSceneFileStamp(path), written);
    EXPECT_NE(written, *before);
}

TEST(WriteCameraToScene, ASymbolicLinkStaysALink) {
    TempFolder folder;
    const std::string target = folder.write("scene.txt", kScene, fs::perms(0644));
    const fs::path link = folder.path() / "link.txt";
    fs::create_symlink("scene.txt", link);
    std::string error;
    ASSERT_TRUE(writeCameraToScene(link.string(), kCamera, error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(contentOf(target), expectedText(kScene));
}

TEST(WriteCameraToScene, FailuresLeaveTheFileAsItWas) {
    struct Case {
        const char* what;
        fs::perms folderMode;
        fs::perms fileMode;
        std::string text;
        bool inChild;  // as an unprivileged user, with the write limit below
        long fileSizeLimit;
        const char* error;
    };
    const std::string broken = "CAMERA (0,0,10) (1,x,0) (0,1,0) (0,0,5)\nLIGHT (0,5,0) (1,1,1) 0.5\n";
    const Case cases[] = {
        {"unwritable folder", fs::perms(0755), fs::perms(0666), kScene, true, 0, "cannot create a file in its folder"},
        {"read-only file in a writable folder", fs::perms(0777), fs::perms(0444), kScene, true, 0,
         "not writable"},
        {"the disk refuses the new version", fs::perms(0777), fs::perms(0666), kScene, true, 64,
         "cannot write its new version"},
        {"broken camera record", fs::perms(0700), fs::perms(0644), broken, false, 0, "malformed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        const std::string path = folder.write("scene.txt", c.text, c.fileMode);
        fs::permissions(folder.path(), c.folderMode);

        auto attempt = [&path, &c] {
            if (c.fileSizeLimit > 0) {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{static_cast<rlim_t>(c.fileSizeLimit), static_cast<rlim_t>(c.fileSizeLimit)};
                if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
            }
            std::string error;
            if (writeCameraToScene(path, kCamera, error)) return 1;
            if (error.find(c.error) == std::string::npos || error.find(path) == std::string::npos) {
                std::fprintf(stderr, "unexpected error: %s\n", error.c_str());
                return 2;
            }
            return 0;
        };
        if (c.inChild) {
            const std::optional<int> status = runInChild(attempt);
            if (!status) GTEST_SKIP() << "cannot run as an unprivileged user";
            EXPECT_EQ(*status, 0) << "1: written; 2: the error does not say what failed; 3: no write limit";
        } else {
            EXPECT_EQ(attempt(), 0);
        }
        EXPECT_EQ(contentOf(path), c.text);
        EXPECT_EQ(modeOf(path), c.fileMode);
        EXPECT_EQ(folder.names(), std::set<std::string>{"scene.txt"});
        fs::permissions(folder.path(), fs::perms::owner_all, fs::perm_options::add);
    }

    std::string error;
    EXPECT_FALSE(writeCameraToScene("/nonexistent/scene.txt", kCamera, error));
    EXPECT_EQ(error, "cannot write the camera to /nonexistent/scene.txt: cannot read it: No such file or directory");
}
