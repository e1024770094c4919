// The viewer under a mouse that orbits the camera: the real Viewer and its
// render thread, behind a window of the benchmark's own (no Qt).
//
// Each run replays an orbit as a drag that moves no faster than previews
// appear: a step sets the camera, waits until the render has drawn its
// preview and asked for a repaint, then the next step follows. Previews per
// second is steps over the time they took. After the last step it waits for
// the exact picture, and checks it against renderImage with that camera.
//
//   viewer-bench [--runs N] [--steps N] [--threads N] [--widths W,W...] [--soft-jitter] [SCENE]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/camera_motion.h"
#include "app/menu.h"
#include "app/viewer.h"
#include "render/context.h"
#include "render/pixel_loop.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLightsOn = 40017;
constexpr int kDepthFive = 40007;
constexpr int kSoftJitter = 40020;
constexpr double kStepRadians = 1.8 * 3.14159265358979323846 / 180.0;

// Answers every question as a user who cancels, and tells the benchmark when
// a render thread asks for a repaint while a step is waiting for one.
class BenchWindow : public WindowPort {
public:
    void setTitle(const std::string&) override {}
    bool chooseSceneFile(std::string&) override { return false; }
    void showWarning(const std::string& text) override { std::fprintf(stderr, "warning: %s\n", text.c_str()); }
    std::shared_ptr<OffscreenImage> makeImage(int width, int height, int) override {
        shown = std::make_shared<OffscreenImage>(width, height);
        return shown;
    }
    void moveAndResize(int, int, int, int) override {}
    void resizeOuter(int, int) override {}
    bool choosePictureFile(std::string&) override { return false; }
    bool confirm(const std::string&) override { return false; }
    std::optional<int> askPictureWidth(int, int) override { return std::nullopt; }
    void setClipboardText(const std::string&) override {}
    void showProblems(const std::vector<std::string>& lines) override {
        for (const std::string& line : lines) std::fprintf(stderr, "%s\n", line.c_str());
    }
    void showStatusMessage(const std::string&) override {}
    void sceneOpened(const std::string&) override {}
    PixelImage renderText(const std::string&) override { return PixelImage(6, 4); }

    // A render's first repaint after a camera step is its preview's: the
    // progressive loop tells no pixel before the preview is drawn.
    void requestRepaint() override {
        if (std::this_thread::get_id() == windowThread || !armed.load(std::memory_order_relaxed)) return;
        {
            std::lock_guard<std::mutex> hold(lock);
            if (!armed) return;
            armed = false;
        }
        previewShown.notify_all();
    }

    // Called while no render runs: the next render thread repaint counts.
    void arm() { armed = true; }
    void waitForPreview() {
        std::unique_lock<std::mutex> hold(lock);
        previewShown.wait(hold, [this] { return !armed.load(); });
    }

    std::shared_ptr<OffscreenImage> shown;

private:
    const std::thread::id windowThread = std::this_thread::get_id();
    std::mutex lock;
    std::condition_variable previewShown;
    std::atomic<bool> armed{false};
};

struct RunResult {
    double previewsPerSecond = 0;
    double cpuMsPerPreview = 0;  // the process's CPU time: the work itself, on a busy machine
    double slowestPreviewMs = 0;
    double exactAfterLastStepMs = 0;
    double cpuMsToExact = 0;  // preview and refinement: one whole picture's work
    bool sameBytes = false;
};

RunResult replayOrbit(Viewer& viewer, BenchWindow& window, int steps) {
    // Every run starts from the opened camera, as a fresh drag does.
    viewer.command(kResetCameraCommand);
    viewer.waitForRender();
    const Camera start = viewer.camera();
    const Vec3 pivot = viewer.pivot();
    const Vec3 up = viewer.cameraHistory().opened().screenUp;

    RunResult result;
    const std::clock_t cpuStart = std::clock();
    const Clock::time_point first = Clock::now();
    Clock::time_point lastStep = first;
    std::clock_t cpuLastStep = cpuStart;
    for (int step = 1; step <= steps; ++step) {
        const Camera next = orbitCamera(start, pivot, up, static_cast<float>(step * kStepRadians), 0.0f);
        lastStep = Clock::now();
        cpuLastStep = std::clock();
        // setCamera stops the render it replaces first; stopping it here
        // instead keeps that render's repaints from passing for the preview.
        viewer.stopRender();
        window.arm();
        viewer.setCamera(next);
        window.waitForPreview();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - lastStep).count();
        result.slowestPreviewMs = std::max(result.slowestPreviewMs, ms);
    }
    const Clock::time_point previewsEnd = Clock::now();
    const std::clock_t cpuPreviews = std::clock();
    viewer.waitForRender();
    const Clock::time_point exact = Clock::now();
    const std::clock_t cpuExact = std::clock();
    viewer.finishCameraStep();

    result.previewsPerSecond = steps / std::chrono::duration<double>(previewsEnd - first).count();
    result.cpuMsPerPreview = 1000.0 * static_cast<double>(cpuPreviews - cpuStart) / CLOCKS_PER_SEC / steps;
    result.exactAfterLastStepMs = std::chrono::duration<double, std::milli>(exact - lastStep).count();
    result.cpuMsToExact = 1000.0 * static_cast<double>(cpuExact - cpuLastStep) / CLOCKS_PER_SEC;
    return result;
}

// The 1, 5 and 15 minute load averages.
std::string loadAverage() {
    std::FILE* file = std::fopen("/proc/loadavg", "r");
    if (!file) return "?";
    double one = 0, five = 0, fifteen = 0;
    const int read = std::fscanf(file, "%lf %lf %lf", &one, &five, &fifteen);
    std::fclose(file);
    if (read != 3) return "?";
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", one, five, fifteen);
    return text;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string summarize(int width, const std::vector<RunResult>& results) {
    std::vector<double> rates, exact;
    for (const RunResult& r : results) {
        rates.push_back(r.previewsPerSecond);
        exact.push_back(r.exactAfterLastStepMs);
    }
    char line[200];
    std::snprintf(line, sizeof line, "| %d | %.1f (%.1f to %.1f) | %.1f (%.1f to %.1f) |", width, median(rates),
                  *std::min_element(rates.begin(), rates.end()), *std::max_element(rates.begin(), rates.end()),
                  median(exact), *std::min_element(exact.begin(), exact.end()),
                  *std::max_element(exact.begin(), exact.end()));
    return line;
}

std::vector<int> parseWidths(const char* text) {
    std::vector<int> widths;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) widths.push_back(std::atoi(item.c_str()));
    return widths;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 3, steps = 200, threads = 2;
    bool softJitter = false;
    std::vector<int> widths{300, 600};
    std::string scenePath = "scenes/showcase.txt";
    for (int i = 1; i < argc; ++i) {
        const auto value = [&](const char* name) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        if (!std::strcmp(argv[i], "--runs")) {
            runs = std::max(1, std::atoi(value("--runs")));
        } else if (!std::strcmp(argv[i], "--steps")) {
            steps = std::max(1, std::atoi(value("--steps")));
        } else if (!std::strcmp(argv[i], "--threads")) {
            threads = std::max(1, std::atoi(value("--threads")));
        } else if (!std::strcmp(argv[i], "--widths")) {
            widths = parseWidths(value("--widths"));
        } else if (!std::strcmp(argv[i], "--soft-jitter")) {
            softJitter = true;
        } else if (argv[i][0] == '-') {
            std::fprintf(stderr,
                         "usage: viewer-bench [--runs N] [--steps N] [--threads N] [--widths W,W...] "
                         "[--soft-jitter] [SCENE]\n");
            return 2;
        } else {
            scenePath = argv[i];
        }
    }

    std::string command = "viewer-bench";
    for (int i = 1; i < argc; ++i) command += std::string(" ") + argv[i];
    std::printf("# %s\n", command.c_str());
    std::printf("# %s, lights on, depth 5, shadows %s, %d render threads, %d steps of 1.8 degrees about the pivot; "
                "load average %s\n\n",
                scenePath.c_str(), softJitter ? "soft jitter" : "hard", threads, steps,
                loadAverage().c_str());
    std::printf("| width | run | previews/s | cpu ms per preview | slowest preview ms | exact picture ms after the last step | "
                "cpu ms to the exact picture | same bytes as renderImage |\n|---:|---:|---:|---:|---:|---:|---:|---|\n");

    bool allSame = true;
    std::vector<std::string> summaries;
    for (const int width : widths) {
        BenchWindow window;
        Scene scene;
        Random generator;
        Viewer viewer(window, scene, generator, width, width, threads);
        viewer.start();
        viewer.command(kLightsOn);
        viewer.command(kDepthFive);
        if (softJitter) viewer.command(kSoftJitter);
        viewer.openPath(scenePath);
        viewer.waitForRender();
        if (!viewer.hasPicture()) {
            std::fprintf(stderr, "could not render %s\n", scenePath.c_str());
            return 1;
        }
        std::vector<RunResult> results;
        for (int run = 1; run <= runs; ++run) {
            RunResult r = replayOrbit(viewer, window, steps);
            // The picture the window shows is the one the final camera gives.
            Random loaded = generator;  // renders start from the generator as the load left it
            const TraceContext context{scene, viewer.settings(), loaded};
            const PixelImage expected = renderImage(context, width, viewer.imageHeight(), threads);
            r.sameBytes = window.shown->copyRegion(width, viewer.imageHeight()).pixels == expected.pixels;
            allSame = allSame && r.sameBytes;
            std::printf("| %d | %d | %.1f | %.1f | %.1f | %.1f | %.1f | %s |\n", width, run, r.previewsPerSecond,
                        r.cpuMsPerPreview, r.slowestPreviewMs, r.exactAfterLastStepMs, r.cpuMsToExact,
                        r.sameBytes ? "yes" : "NO");
            std::fflush(stdout);
            results.push_back(r);
        }
        summaries.push_back(summarize(width, results));
    }
    std::printf("\n| width | previews/s, median (range) | exact picture ms after the last step, median (range) |\n"
                "|---:|---|---|\n");
    for (const std::string& line : summaries) std::printf("%s\n", line.c_str());
    return allSame ? 0 : 1;
}
