// The viewer's logic around its window: the commands, File/Open, the camera
// the mouse steers and the render that each of them (re)starts. Runs on the
// window's thread; the only other thread is the one render it owns at a time.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/camera_history.h"
#include "app/offscreen_image.h"
#include "app/render_control.h"
#include "app/render_status.h"
#include "app/window_port.h"
#include "render/bvh/bvh.h"
#include "render/settings.h"
#include "scene/random.h"
#include "scene/scene.h"

inline constexpr const char* kApplicationName = "Orvanel's Ray Tracer";

// The picture's width when nothing else chooses it.
inline constexpr int kDefaultPictureWidth = 300;
// Widest picture the viewer makes, as orvanel-render.
inline constexpr int kMaxPictureWidth = 16384;

// "Orvanel's Ray Tracer - ball.txt", or "... - Untitled" without a file.
std::string windowTitle(const std::string& fileTitle);

class Viewer {
public:
    // `width` is the picture's width until a View command changes it;
    // `clientHeight` the first height, before any scene.
    // `renderThreads` workers per render; 0: every hardware thread.
    Viewer(WindowPort& window, Scene& scene, Random& generator, int width, int clientHeight, int renderThreads = 0);
    ~Viewer();
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    // Sets the first title. Call once the window exists.
    void start();
    // A menu command by id; unknown ids, and those the window handles
    // itself (zoom, quit), do nothing.
    void command(int id);
    // File/Open as if the dialog had given `path`: a scene named at start-up,
    // a recent one or one dropped on the window.
    void openPath(const std::string& path);
    // The watched scene changed on disk: opened again in place. A file that
    // reads with problems (an editor half way through saving) keeps the last
    // good picture and shows the problems until it reads clean, or until
    // acceptPartialScene.
    void reload(const std::string& path);
    // Shows what a watched file with problems held, as File/Open would.
    void acceptPartialScene();
    // Stops a running render and joins its thread: before every new render,
    // and before the window goes away (the destructor does it too).
    void stopRender();
    // Lets the current render finish and joins its thread.
    void waitForRender();

    // The camera. setCamera shows a camera at once, a coarse preview first;
    // finishCameraStep makes the moves since the last step one undo step.
    const Camera& camera() const { return scene.camera; }
    // The point the ray through the picture's centre hits, else screenCenter.
    Vec3 pivot() const;
    void setCamera(const Camera& camera);
    void finishCameraStep();
    const CameraHistory& cameraHistory() const { return history; }

    // A new width (1 to kMaxPictureWidth): the height follows the camera.
    void setPictureWidth(int width);
    // The last complete picture through orvanel-render's writers, the format
    // by the extension; false with the reason.
    bool savePicture(const std::string& path, std::string& error) const;
    bool hasPicture() const { return status_.picture() != nullptr; }
    StatusSnapshot status() const { return status_.snapshot(); }

    const RenderSettings& settings() const { return renderSettings; }
    int imageWidth() const { return width; }
    int imageHeight() const { return height; }
    const std::string& scenePath() const { return path; }
    const RenderControl& control() const { return renderControl; }

private:
    void openScene();
    enum class WindowPlace { TopLeft, Kept };
    // Loads `chosen` (none: the scene that is loaded) and renders it.
    void load(const std::optional<std::string>& chosen, WindowPlace place);
    // What every successful read shares: the camera's history, the
    // generator's start, the bytes read and the problems panel.
    void adoptFile(const std::string& text);
    // The scene just read: the generator's start and the camera's history.
    void adoptScene();
    void showPicture(WindowPlace place);
    // A scene read from a watched file, in place of the one shown.
    void showReadScene(Scene&& read);
    void refreshProblems(const std::string& file, const std::string& text);
    int heightForCamera();
    enum class Preview { None, Coarse };
    void startRender(std::shared_ptr<OffscreenImage> image, Preview preview = Preview::None);
    void showCamera(const Camera& camera);
    // A camera from the history: shown, and where the next step starts.
    void showStep(const Camera& camera);
    void copyCameraRecord();
    void writeCameraToScene();
    void savePictureAs();
    void choosePictureWidth(int id);

    WindowPort& window;
    Scene& scene;
    Random& generator;
    int width;
    int height;
    std::string path;
    std::string fileTitle;
    RenderSettings renderSettings;
    RenderControl renderControl;
    RenderStatus status_;
    // Rebuilt with every load, while no render runs.
    Bvh accelerator;
    int threads;
    std::thread render;
    // The image the window shows, which a moved camera draws over.
    std::weak_ptr<OffscreenImage> image;

    // Every render starts from the generator as the load left it, so a
    // picture depends on the scene, the camera and the settings alone.
    Random loadedGenerator;
    CameraHistory history;
    Camera stepStart{};
    // A hash of the bytes last read from or written to `path`: a watched
    // change to the same bytes (the viewer's own write) changes nothing.
    std::size_t knownBytes = 0;
    // A watched file that read with problems, shown only when accepted.
    std::optional<Scene> pendingScene;
};
