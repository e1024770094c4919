#include "app/viewer.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string_view>
#include <utility>

#include "app/menu.h"
#include "app/render_thread.h"
#include "app/scene_file_rewrite.h"
#include "cli/image_writer.h"
#include "cli/options.h"
#include "cli/scene_check.h"
#include "render/camera.h"
#include "render/hits.h"
#include "scene/camera_record.h"
#include "scene/reader.h"

namespace {

// Below the picture: room for the elapsed time on a new scene, and what the
// window shows of an image.
constexpr int kOpenImageMargin = 100;
constexpr int kShownMargin = 50;
// The outer window around a picture W x H is (W + 15) x (H + 100).
constexpr int kFrameWidth = 15;
constexpr int kFrameHeight = 100;
// A moving camera's preview: one pixel of every square this wide.
constexpr int kPreviewStride = 4;

// Regular files only: a pipe would give its bytes to nobody else, or block
// the window until something writes to it.
bool readFile(const std::string& path, std::string& text) {
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(path, ignored)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::size_t hashOf(const std::string& text) { return std::hash<std::string_view>{}(text); }

bool sameCamera(const Camera& a, const Camera& b) { return std::memcmp(&a, &b, sizeof(Camera)) == 0; }

}  // namespace

std::string windowTitle(const std::string& fileTitle) {
    return std::string(kApplicationName) + " - " + (fileTitle.empty() ? "Untitled" : fileTitle);
}

Viewer::Viewer(WindowPort& window, Scene& scene, Random& generator, int pictureWidth, int clientHeight,
               int renderThreads)
    : window(window),
      scene(scene),
      generator(generator),
      width(std::clamp(pictureWidth, 0, kMaxPictureWidth)),
      height(std::clamp(clientHeight, 0, kMaxImageHeight)),
      accelerator(buildBvh(scene)),
      threads(renderThreads),
      loadedGenerator(generator) {
    history.reset(scene.camera);
    stepStart = scene.camera;
}

Viewer::~Viewer() { stopRender(); }

void Viewer::start() { window.setTitle(windowTitle(fileTitle)); }

void Viewer::command(int id) {
    const MenuCommand* chosen = findCommand(id);
    if (!chosen) return;
    if (chosen->apply) {
        // The settings are copied when a render starts, so this write never
        // reaches the render that is being stopped.
        chosen->apply(renderSettings);
        window.requestRepaint();
        stopRender();
        startRender(window.makeImage(width, height + kShownMargin, height + kShownMargin));
        return;
    }
    switch (id) {
        case kOpenCommand:
            openScene();
            break;
        case kReloadCommand:
            if (!path.empty()) load(path, WindowPlace::Kept);
            break;
        case kSavePictureCommand:
            savePictureAs();
            break;
        case kResetCameraCommand:
            finishCameraStep();
            showStep(history.resetToOpened(scene.camera));
            break;
        case kUndoCameraCommand:
            finishCameraStep();
            if (const std::optional<Camera> earlier = history.undo()) showStep(*earlier);
            break;
        case kRedoCameraCommand:
            finishCameraStep();
            if (const std::optional<Camera> later = history.redo()) showStep(*later);
            break;
        case kCopyCameraCommand:
            copyCameraRecord();
            break;
        case kWriteCameraCommand:
            writeCameraToScene();
            break;
        default:
            choosePictureWidth(id);
            break;
    }
}

void Viewer::openScene() {
    // The render goes on while the dialog is open.
    std::string chosen = path;
    const bool picked = window.chooseSceneFile(chosen) && !chosen.empty();
    load(picked ? std::optional<std::string>(chosen) : std::nullopt, WindowPlace::TopLeft);
}

void Viewer::openPath(const std::string& chosen) { load(chosen, WindowPlace::TopLeft); }

void Viewer::load(const std::optional<std::string>& chosen, WindowPlace place) {
    stopRender();
    if (chosen) {
        path = *chosen;
        fileTitle = std::filesystem::path(path).filename().string();
        SceneDiagnostic diagnostic;
        std::string text;
        if (!loadScene(path, scene, generator, &diagnostic)) {
            window.showWarning("Could not read file " + path);
            path.clear();
            fileTitle.clear();
        } else {
            if (diagnostic) {
                window.showWarning("The file " + path + " was read only in part: " + diagnostic.message +
                                   ". Shown: what came before it, and the record it is in, as far as it was read.");
            }
            // A pipe gives its bytes once: the problems then go unlisted.
            readFile(path, text);
            window.sceneOpened(path);
        }
        pendingScene.reset();
        adoptFile(text);
    }
    accelerator = buildBvh(scene);
    showPicture(place);
}

void Viewer::adoptScene() {
    loadedGenerator = generator;
    history.reset(scene.camera);
    stepStart = scene.camera;
}

void Viewer::adoptFile(const std::string& text) {
    adoptScene();
    knownBytes = hashOf(text);
    refreshProblems(path, text);
}

void Viewer::refreshProblems(const std::string& file, const std::string& text) {
    std::vector<std::string> lines;
    if (!file.empty()) {
        const SceneCheck check = checkSceneForPicture(text, width);
        for (const SceneProblem& problem : check.problems) lines.push_back(formatProblem(file, problem));
    }
    window.showProblems(lines);
}

void Viewer::showPicture(WindowPlace place) {
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

void Viewer::reload(const std::string& changed) {
    std::string text;
    // Gone or unreadable half way through an editor's save: the next change
    // brings it back.
    if (!readFile(changed, text)) return;
    if (changed == path && hashOf(text) == knownBytes && !pendingScene) return;
    Scene fresh;
    std::istringstream in(text);
    const SceneDiagnostic diagnostic = readScene(in, fresh);
    if (diagnostic) {
        refreshProblems(changed, text);
        window.showStatusMessage("The file " + changed + " was read only in part: " + diagnostic.message +
                                 "; the last good picture stays.");
        pendingScene = std::move(fresh);
        knownBytes = hashOf(text);
        return;
    }
    path = changed;
    fileTitle = std::filesystem::path(path).filename().string();
    knownBytes = hashOf(text);
    refreshProblems(path, text);
    showReadScene(std::move(fresh));
}

void Viewer::acceptPartialScene() {
    if (pendingScene) showReadScene(std::move(*pendingScene));
}

void Viewer::showReadScene(Scene&& read) {
    stopRender();
    scene = std::move(read);
    pendingScene.reset();
    // As a load does.
    generator.seed(1);
    adoptScene();
    accelerator = buildBvh(scene);
    showPicture(WindowPlace::Kept);
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

void Viewer::startRender(std::shared_ptr<OffscreenImage> newImage, Preview preview) {
    image = newImage;
    status_.begin(static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height));
    renderControl.markStarting();
    RenderJob job{&scene,   renderSettings, loadedGenerator, std::move(newImage), width, height, &renderControl,
                  &window, &accelerator,   threads,         kPreviewStride, &status_};
    if (preview == Preview::None) job.previewStride = 1;
    render = std::thread(renderThread, std::move(job));
}

Vec3 Viewer::pivot() const {
    const Camera& camera = scene.camera;
    Random unused;
    const TraceContext context{scene, renderSettings, unused, nullptr, &accelerator};
    const Ray ray = primaryRay(camera, width, height, static_cast<float>(width / 2), static_cast<float>(height / 2));
    int object = -1;
    Vec3 normal{};
    const float t = findNearestHit(context, ray, object, normal);
    if (object < 0 || !(t < kNoHit)) return camera.screenCenter;
    return ray.origin + t * ray.direction;
}

void Viewer::setCamera(const Camera& camera) { showCamera(camera); }

void Viewer::showCamera(const Camera& camera) {
    if (sameCamera(camera, scene.camera)) return;
    stopRender();
    scene.camera = camera;
    const int wanted = imageHeightFor(camera, width);
    std::shared_ptr<OffscreenImage> shown = image.lock();
    if (wanted != height || !shown) {
        // Camera motions keep the picture's size; a camera from the history
        // of another width may not.
        showPicture(WindowPlace::Kept);
        return;
    }
    // The old picture stays until the preview covers it: no flicker.
    shown->clearFromRow(height);
    startRender(std::move(shown), Preview::Coarse);
}

void Viewer::showStep(const Camera& camera) {
    showCamera(camera);
    stepStart = camera;
}

void Viewer::finishCameraStep() {
    if (sameCamera(stepStart, scene.camera)) return;
    history.record(stepStart, scene.camera);
    stepStart = scene.camera;
}

void Viewer::copyCameraRecord() {
    const std::optional<std::string> record = cameraRecordText(scene.camera);
    if (!record) {
        window.showWarning("The camera holds a value that a scene file cannot: nothing was copied.");
        return;
    }
    window.setClipboardText(*record);
    window.showStatusMessage("Copied: " + *record);
}

void Viewer::writeCameraToScene() {
    finishCameraStep();
    if (path.empty()) {
        window.showWarning("No scene file is open to write the camera to.");
        return;
    }
    std::string text;
    if (readFile(path, text) && hashOf(text) != knownBytes &&
        !window.confirm("The file " + path +
                        " has changed on disk since it was opened. Write the camera into it anyway? Everything "
                        "else in the file stays as it is now on disk.")) {
        return;
    }
    std::string error;
    if (!::writeCameraToScene(path, scene.camera, error)) {
        window.showWarning(error);
        return;
    }
    // Known, so the watcher's news of this very write changes nothing.
    std::string written;
    if (readFile(path, written)) knownBytes = hashOf(written);
    window.showStatusMessage("Wrote the camera to " + path);
}

void Viewer::savePictureAs() {
    if (!hasPicture()) {
        window.showWarning("There is no complete picture to save yet.");
        return;
    }
    std::string chosen = path.empty() ? std::string("picture.png")
                                      : std::filesystem::path(path).replace_extension(".png").string();
    if (!window.choosePictureFile(chosen) || chosen.empty()) return;
    std::string error;
    if (!savePicture(chosen, error)) {
        window.showWarning("Could not save the picture to " + chosen + ": " + error);
        return;
    }
    window.showStatusMessage("Saved " + chosen);
}

bool Viewer::savePicture(const std::string& target, std::string& error) const {
    const std::shared_ptr<const FinishedPicture> picture = status_.picture();
    if (!picture) {
        error = "no complete picture";
        return false;
    }
    const std::optional<ImageFormat> format = imageFormatFor(target);
    if (!format) {
        error = "unknown picture format; use .png, .ppm, .pfm or .exr";
        return false;
    }
    PendingImageFile file;
    if (!file.open(target, error)) return false;
    const ColorPicture colors{picture->pixels.width, picture->pixels.height, picture->colors};
    return file.commit(picture->pixels, colors, *format, error);
}

void Viewer::setPictureWidth(int newWidth) {
    newWidth = std::clamp(newWidth, 1, kMaxPictureWidth);
    if (newWidth == width) return;
    stopRender();
    width = newWidth;
    std::string text;
    if (!path.empty()) readFile(path, text);
    refreshProblems(path, text);
    showPicture(WindowPlace::Kept);
}

void Viewer::choosePictureWidth(int id) {
    if (const std::optional<int> chosen = pictureWidthOf(id)) {
        setPictureWidth(*chosen);
    } else if (id == kOtherWidthCommand) {
        if (const std::optional<int> asked = window.askPictureWidth(width, kMaxPictureWidth)) setPictureWidth(*asked);
    }
}
