// orvanel-render --resume with real processes: stopped by SIGKILL, SIGINT or
// SIGTERM part-way (when a band file appears, never after a fixed sleep),
// run again, and compared with an uninterrupted render's bytes. Also the
// band layout, and a plain render stopped by a signal leaving nothing behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include "cli/pieces/bands.h"
#include "cli/pieces/png_with_text.h"
#include "cli/render_command.h"
#include "test_support.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::string kShowcase = std::string(ORVANEL_SCENES_DIR) + "/showcase.txt";

// Under the sanitizers a render crawls: smaller pictures cut in as many bands
// show the same stops and continuations.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
const std::string kWidth = "48";
const std::string kWideWidth = "64";
constexpr std::size_t kBands = 12;  // of three rows
#else
const std::string kWidth = "120";
const std::string kWideWidth = "240";
constexpr std::size_t kBands = 30;  // of three rows
#endif

// Sets an environment variable for the test's children, and restores it.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value, 1);
    }
    ~ScopedEnvironment() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// orvanel-render in a child process, its standard error to a file.
class Render {
public:
    Render(const std::vector<std::string>& arguments, const std::string& errPath) {
        std::vector<std::string> all{ORVANEL_RENDER_PATH};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Render() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            wait();
        }
    }
    Render(const Render&) = delete;
    Render& operator=(const Render&) = delete;

    bool started() const { return pid_ > 0; }
    // The processor time it has used so far, from /proc.
    double cpuSeconds() const {
        std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        double ticks = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14 || i == 15) ticks += std::stod(field);  // utime, stime
        }
        return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
    }
    void signal(int number) const { ::kill(pid_, number); }
    bool running() const {
        int status = 0;
        return pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == 0;
    }
    // The exit status, or 128 + the signal that ended it.
    int wait() {
        int status = 0;
        if (pid_ <= 0 || ::waitpid(pid_, &status, 0) != pid_) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t pid_ = -1;
};

// Polls until `ready`; the limit only guards against a hang.
bool waitFor(const std::function<bool()>& ready) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::vector<std::string> bandFiles(const std::string& folder) {
    std::vector<std::string> bands;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored)) {
        if (parseBandFileName(entry.path().filename().string())) bands.push_back(entry.path().string());
    }
    std::sort(bands.begin(), bands.end());
    return bands;
}

// Any temporary file (".NAME.tmp-...") in `folder`.
bool hasTemporary(const std::string& folder) {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored)) {
        if (entry.path().filename().string().find(".tmp-") != std::string::npos) return true;
    }
    return false;
}

// Runs to the end; the exit status.
int runToEnd(const std::vector<std::string>& arguments, const std::string& errPath) {
    Render render(arguments, errPath);
    return render.wait();
}

std::vector<std::string> with(std::vector<std::string> base, const std::vector<std::string>& more) {
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

// Starts a --resume render and stops it with `signal` once `bands` band
// files exist; the exit status. Fails the test if the render ended first.
int stopWhenBandsAppear(const std::vector<std::string>& arguments, const std::string& folder, std::size_t bands,
                        int signal, const std::string& errPath) {
    Render render(arguments, errPath);
    EXPECT_TRUE(render.started());
    const bool seen = waitFor([&] { return bandFiles(folder).size() >= bands || !render.running(); });
    EXPECT_TRUE(seen);
    render.signal(signal);
    const int status = render.wait();
    EXPECT_NE(status, 0) << "the render ended before it could be stopped: " << slurp(errPath);
    return status;
}

TEST(ResumeBands, NamesAndLayout) {
    EXPECT_EQ(bandFileName({3, 40}), "band-3-of-40.png");
    ASSERT_TRUE(parseBandFileName("band-3-of-40.png"));
    EXPECT_EQ(*parseBandFileName("band-3-of-40.png"), (TileSpec{3, 40}));
    for (const char* other : {"band-40-of-40.png", "band-03-of-40.png", "band--1-of-4.png", "band-1-of-4.PNG",
                              ".band-1-of-4.png.tmp-12-0", "piece-1-of-4.png", "band-1-of-4.png~"}) {
        EXPECT_FALSE(parseBandFileName(other)) << other;
    }
    RenderSettings plain;
    plain.lights = LightsSetting::On;
    EXPECT_EQ(bandCount(800, 600, plain), 1);  // under a second: one band
    RenderSettings poster = plain;
    poster.antiAliasing = AntiAliasingMode::Supersampling;
    poster.shadowMode = ShadowMode::SoftJitter;
    EXPECT_EQ(bandCount(16000, 12000, poster), 12000);  // a band a row, the least there is
    EXPECT_EQ(bandCount(200, 150, poster), 38);         // 4 rows, about 3 s each here
    EXPECT_EQ(bandCount(200, 150, poster, 7), 22);
    EXPECT_EQ(partsFolderFor("out/poster.png"), "out/poster.png.parts");
}

TEST(ResumeOptions, RefusedWhereBandsCannotWork) {
    TempDir dir;
    const auto status = [&](std::vector<std::string> arguments) {
        std::ostringstream out, err;
        return runCommandLine(arguments, out, err, false);
    };
    EXPECT_EQ(status({kShowcase, "-o", dir.path("o.exr"), "--resume"}), 2);
    EXPECT_EQ(status({kShowcase, "-o", dir.path("o.pfm"), "--resume"}), 2);
    EXPECT_EQ(status({kShowcase, "-o", dir.path("o.png"), "--resume", "--tile", "0/2"}), 2);
    EXPECT_EQ(status({"-", "-o", dir.path("o.png"), "--resume"}), 2);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{});
}

// A folder that cannot be made is status 4 before any work; so is one that
// another run holds.
TEST(ResumeFolder, UnwritableOrBusyIsStatus4BeforeAnyWork) {
    TempDir dir;
    const std::string out = dir.path("out.png");
    dir.write("out.png.parts", "a file where the folder would go");
    std::ostringstream stdOut, err;
    EXPECT_EQ(runCommandLine({kShowcase, "-o", out, "--resume", "--width", "16"}, stdOut, err, false), 4);
    EXPECT_NE(err.str().find("Could not write " + out + ".parts"), std::string::npos) << err.str();
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.png.parts"});

    const std::string busy = dir.path("busy.png");
    const ScopedEnvironment rows("ORVANEL_BAND_ROWS", "4");
    const std::vector<std::string> slow{kShowcase, "-o", busy, "--resume", "--width", kWidth, "--lights",
                                        "on",      "--aa", "10x10", "--threads", "1"};
    Render first(slow, dir.path("first.err"));
    ASSERT_TRUE(waitFor([&] { return !bandFiles(busy + ".parts").empty() || !first.running(); }));
    EXPECT_EQ(runToEnd(slow, dir.path("second.err")), 4);
    EXPECT_NE(slurp(dir.path("second.err")).find("another orvanel-render --resume is using it"), std::string::npos)
        << slurp(dir.path("second.err"));
    first.signal(SIGKILL);
    first.wait();
}


// The uninterrupted render of `options`, with `extra` (e.g. --threads 1 --no-accel).
std::string referenceBytes(const TempDir& dir, const std::vector<std::string>& options,
                           const std::vector<std::string>& extra = {}) {
    const std::string path = dir.path("reference.png");
    EXPECT_EQ(runToEnd(with(with({kShowcase, "-o", path, "--quiet"}, options), extra), dir.path("reference.err")), 0);
    return slurp(path);
}

// After the runs: the picture has the reference's bytes, and nothing else is left.
void expectFinished(const std::string& out, const std::string& reference) {
    EXPECT_EQ(slurp(out), reference) << "the resumed picture differs from the uninterrupted render";
    EXPECT_FALSE(fs::exists(out + ".parts")) << "the bands' folder was not removed";
    EXPECT_FALSE(hasTemporary(fs::path(out).parent_path().string()));
}

const std::vector<std::string> kSupersampled{"--width", kWidth, "--lights", "on", "--depth", "3", "--aa", "10x10"};

// The showcase with supersampling in kBands bands of 3 rows, the uninterrupted
// render's bytes, and the --resume command for out.png.
class ResumeAfterStop : public ::testing::Test {
protected:
    TempDir dir;
    const ScopedEnvironment rows{"ORVANEL_BAND_ROWS", "3"};
    const std::string reference = referenceBytes(dir, kSupersampled);
    const std::string out = dir.path("out.png");
    const std::string folder = out + ".parts";
    const std::vector<std::string> command = with({kShowcase, "-o", out, "--resume"}, kSupersampled);
};

TEST_F(ResumeAfterStop, KilledPartWayThenRunAgainGivesTheWholeRendersBytes) {

    EXPECT_EQ(stopWhenBandsAppear(with(command, {"--threads", "2"}), out + ".parts", 1, SIGKILL, dir.path("1.err")),
              128 + SIGKILL);
    const std::size_t kept = bandFiles(out + ".parts").size();
    ASSERT_GE(kept, 1u);
    ASSERT_LT(kept, kBands);
    EXPECT_FALSE(fs::exists(out));

    ASSERT_EQ(runToEnd(with(command, {"--threads", "3"}), dir.path("2.err")), 0) << slurp(dir.path("2.err"));
    // Only what was missing is rendered.
    EXPECT_NE(slurp(dir.path("2.err")).find(std::to_string(kBands) + " bands in " + out + ".parts, " +
                                            std::to_string(kept) + " already done, " +
                                            std::to_string(kBands - kept) + " to render"),
              std::string::npos)
        << slurp(dir.path("2.err"));
    expectFinished(out, reference);
}

TEST(ResumeSoftJitter, ThroughTwoKillsMatchesTheOneThreadReference) {
    TempDir dir;
    const ScopedEnvironment rows("ORVANEL_BAND_ROWS", "4");
    const std::vector<std::string> options{"--width", kWideWidth, "--lights", "on", "--depth", "2", "--shadows",
                                           "soft-jitter"};
    const std::string reference = referenceBytes(dir, options, {"--threads", "1", "--no-accel"});
    const std::string out = dir.path("out.png");
    const std::vector<std::string> command = with({kShowcase, "-o", out, "--resume"}, options);

    stopWhenBandsAppear(with(command, {"--threads", "2"}), out + ".parts", 1, SIGKILL, dir.path("1.err"));
    const std::size_t first = bandFiles(out + ".parts").size();
    stopWhenBandsAppear(with(command, {"--threads", "3"}), out + ".parts", first + 3, SIGKILL, dir.path("2.err"));
    ASSERT_LT(bandFiles(out + ".parts").size(), 45u);  // 180 rows in bands of 4
    ASSERT_EQ(runToEnd(with(command, {"--threads", "2"}), dir.path("3.err")), 0) << slurp(dir.path("3.err"));
    expectFinished(out, reference);
}

TEST_F(ResumeAfterStop, CtrlCKeepsTheDoneBandsSaysHowToContinueAndLeavesNoPicture) {

    for (const int signal : {SIGINT, SIGTERM}) {
        const std::size_t before = bandFiles(out + ".parts").size();
        EXPECT_EQ(stopWhenBandsAppear(command, out + ".parts", before + 1, signal, dir.path("stopped.err")), 130);
        const std::string err = slurp(dir.path("stopped.err"));
        EXPECT_NE(err.find("bands are done in " + out + ".parts; run the same command again"), std::string::npos)
            << err;
        EXPECT_FALSE(fs::exists(out));
        EXPECT_FALSE(hasTemporary(dir.path("")));
        EXPECT_FALSE(hasTemporary(out + ".parts"));
        EXPECT_GT(bandFiles(out + ".parts").size(), before);
    }
    ASSERT_EQ(runToEnd(command, dir.path("last.err")), 0) << slurp(dir.path("last.err"));
    expectFinished(out, reference);
}

TEST_F(ResumeAfterStop, CutShortDamagedAndForeignBandsAreRenderedAgainEachSaidInALine) {
    stopWhenBandsAppear(command, folder, 3, SIGKILL, dir.path("1.err"));
    const std::vector<std::string> bands = bandFiles(folder);
    ASSERT_GE(bands.size(), 3u);

    // Cut short, as a crash in the middle of a copy would leave it.
    fs::resize_file(bands[0], fs::file_size(bands[0]) / 2);
    // A complete PNG whose pixels no longer match their checksum.
    {
        PngWithText png;
        std::string error;
        ASSERT_TRUE(readPngWithText(bands[1], png, error)) << error;
        png.image.pixels[0] ^= 1;
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(bands[1].c_str(), "wb"), std::fclose);
        ASSERT_TRUE(file && writePngWithText(png.image, png.text, file.get(), error)) << error;
    }
    // The same band of other settings, as --tile writes it.
    const std::optional<TileSpec> third = parseBandFileName(fs::path(bands[2]).filename().string());
    ASSERT_TRUE(third);
    std::vector<std::string> other = kSupersampled;
    other[5] = "1";  // --depth 1
    ASSERT_EQ(runToEnd(with({kShowcase, "-o", bands[2], "--tile",
                             std::to_string(third->index) + "/" + std::to_string(third->count)},
                            other),
                       dir.path("tile.err")),
              0);
    // A band of another layout, and a stopped write's temporary file.
    std::ofstream(folder + "/band-0-of-7.png") << "old";
    std::ofstream(folder + "/.band-5-of-" + std::to_string(kBands) + ".png.tmp-99999-0") << "half";

    ASSERT_EQ(runToEnd(command, dir.path("2.err")), 0) << slurp(dir.path("2.err"));
    const std::string err = slurp(dir.path("2.err"));
    const auto said = [&](const std::string& path, const std::string& why) {
        const std::size_t at = err.find("resume: " + path + " is not used (");
        ASSERT_NE(at, std::string::npos) << err;
        const std::string line = err.substr(at, err.find('\n', at) - at);
        EXPECT_NE(line.find(why), std::string::npos) << line;
        EXPECT_NE(line.find("rendering it again"), std::string::npos) << line;
    };
    said(bands[0], "damaged or incomplete PNG");
    said(bands[1], "do not match their checksum");
    said(bands[2], "settings width=" + kWidth + " depth=1");
    EXPECT_NE(err.find("band-0-of-7.png is of 7 bands, not " + std::to_string(kBands)), std::string::npos) << err;
    expectFinished(out, reference);
}

// Without --resume: a signal part-way leaves neither the picture nor its
// temporary file, and exits 130 (the farm scripts rely on it).
TEST(StopWithoutResume, SigintAndSigtermExit130AndLeaveNoFile) {
    for (const int signal : {SIGINT, SIGTERM}) {
        TempDir dir;
        Render render({kShowcase, "-o", dir.path("out.png"), "--width", "200", "--lights", "on", "--aa", "10x10",
                       "--shadows", "soft-jitter", "--threads", "2"},
                      dir.path("err"));
        ASSERT_TRUE(render.started());
        // The temporary picture is claimed before the render begins; a
        // fifth of a second of work later it is well under way.
        ASSERT_TRUE(waitFor([&] { return hasTemporary(dir.path("")) || !render.running(); }));
        ASSERT_TRUE(waitFor([&] { return render.cpuSeconds() > 0.2 || !render.running(); }));
        render.signal(signal);
        EXPECT_EQ(render.wait(), 130) << slurp(dir.path("err"));
        EXPECT_NE(slurp(dir.path("err")).find("interrupted: " + dir.path("out.png") + " not written"),
                  std::string::npos);
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"err"});
    }
}

}  // namespace
