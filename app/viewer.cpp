#include "app/viewer.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "app/menu.h"
#include "app/render_thread.h"
#include "render/camera.h"
#include "scene/reader.h"

namespace {

// Below the picture: room for the elapsed time on a new scene, and what the
// window shows of an image.
constexpr int kOpenImageMargin = 100;
constexpr int kShownMargin = 50;
// The outer window around a picture W x H is (W + 15) x (H + 100).
constexpr int kFrameWidth = 15;
constexpr int kFrameHeight = 100;

}  // namespace

std::string windowTitle(const std::string& fileTitle) {
    return std::string(kApplicationName) + " - " + (fileTitle.empty() ? "Untitled" : fileTitle);
}

Viewer::Viewer(WindowPort& window, Scene& scene, Random& generator, int clientWidth, int clientHeight,
               int renderThreads)
    : window(window),
      scene(scene),
      generator(generator),
      width(std::max(clientWidth, 0)),
      height(std::clamp(clientHeight, 0, kMaxImageHeight)),
      accelerator(buildBvh(scene)),
      threads(renderThreads) {}

Viewer::~Viewer() { stopRender(); }

void Viewer::start() { window.setTitle(windowTitle(fileTitle)); }

void Viewer::command(int id) {
    const MenuCommand* chosen = findCommand(id);
    if (!chosen) return;
    if (!chosen->apply) {
        openScene();
        return;
    }
    // The settings are copied when a render starts, so this write never
    // reaches the render that is being stopped.
    chosen->apply(renderSettings);
    window.requestRepaint();
    stopRender();
    startRender(window.makeImage(width, height + kShownMargin, height + kShownMargin));
}

void Viewer::openScene() {
    // The render goes on while the dialog is open.
    std::string chosen = path;
    const bool picked = window.chooseSceneFile(chosen) && !chosen.empty();
    load(picked ? std::optional<std::string>(chosen) : std::nullopt, WindowPlace::TopLeft);
}

void Viewer::openPath(const std::string& chosen) { load(chosen, WindowPlace::TopLeft); }

void Viewer::reload(const std::string& changed) { load(changed, WindowPlace::Kept); }

void Viewer::load(const std::optional<std::string>& chosen, WindowPlace place) {
    stopRender();
    if (chosen) {
        path = *chosen;
        fileTitle = std::filesystem::path(path).filename().string();
        SceneDiagnostic diagnostic;
        if (!loadScene(path, scene, generator, &diagnostic)) {
            window.showWarning("Could not read file " + path);
            path.clear();
            fileTitle.clear();
        } else if (diagnostic) {
            window.showWarning("The file " + path + " was read only in part: " + diagnostic.message +
                               ". Shown: what came before it, and the record it is in, as far as it was read.");
        }
    }
    accelerator = buildBvh(scene);
    window.setTitle(windowTitle(fileTitle));
    height = heightForCamera();
    startRender(window.makeImage(width, height + kOpenImageMargin, height + kShownMargin));
    if (place == WindowPlace::TopLeft) {
        window.moveAndResize(0, 0, width + kFrameWidth, height + kFrameHeight);
    } else {
        window.resizeOuter(width + kFrameWidth, height + kFrameHeight);
    }
    window.requestRepaint();
}

int Viewer::heightForCamera() {
    const int wanted = imageHeightFor(scene.camera, width);
    if (wanted <= kMaxImageHeight) return wanted;
    window.showWarning("The camera asks for a picture " + std::to_string(wanted) + " pixels tall; at most " +
                       std::to_string(kMaxImageHeight) + " are possible. Nothing is drawn.");
    return 0;
}

void Viewer::stopRender() {
    renderControl.requestStop();
    waitForRender();
}

void Viewer::waitForRender() {
    if (render.joinable()) render.join();
}

void Viewer::startRender(std::shared_ptr<OffscreenImage> image) {
    renderControl.markStarting();
    render = std::thread(renderThread, RenderJob{&scene, renderSettings, &generator, std::move(image), width, height,
                                                 &renderControl, &window, &accelerator, threads});
}
