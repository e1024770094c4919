// The viewer's logic around its window: the commands, File/Open and the
// render that each of them (re)starts. Runs on the window's thread; the only
// other thread is the one render it owns at a time.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/offscreen_image.h"
#include "app/render_control.h"
#include "app/window_port.h"
#include "render/bvh.h"
#include "render/settings.h"
#include "scene/random.h"
#include "scene/scene.h"

inline constexpr const char* kApplicationName = "Orvanel's Ray Tracer";

// "Orvanel's Ray Tracer - ball.txt", or "... - Untitled" without a file.
std::string windowTitle(const std::string& fileTitle);

class Viewer {
public:
    // The client area of the new window fixes the width for the whole run
    // and the first height.
    // `renderThreads` workers per render; 0: every hardware thread.
    Viewer(WindowPort& window, Scene& scene, Random& generator, int clientWidth, int clientHeight,
           int renderThreads = 0);
    ~Viewer();
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    // Sets the first title. Call once the window exists.
    void start();
    // A menu command by id; unknown ids do nothing.
    void command(int id);
    // File/Open as if the dialog had given `path`: a scene named at start-up.
    void openPath(const std::string& path);
    // File/Open with `path`, but leaving the window where it is: for a
    // watched scene that changed on disk (or appeared after a failed open).
    void reload(const std::string& path);
    // Stops a running render and joins its thread: before every new render,
    // and before the window goes away (the destructor does it too).
    void stopRender();
    // Lets the current render finish and joins its thread.
    void waitForRender();

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
    int heightForCamera();
    void startRender(std::shared_ptr<OffscreenImage> image);

    WindowPort& window;
    Scene& scene;
    Random& generator;
    int width;
    int height;
    std::string path;
    std::string fileTitle;
    RenderSettings renderSettings;
    RenderControl renderControl;
    // Rebuilt with every load, while no render runs.
    Bvh accelerator;
    int threads;
    std::thread render;
};
