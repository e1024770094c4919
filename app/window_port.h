// What the viewer's logic needs of its window. The Qt window implements it;
// the tests implement it with a fake, so the logic runs without a display.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/offscreen_image.h"
#include "render/image.h"

class WindowPort {
public:
    virtual ~WindowPort() = default;

    // Window's thread only.
    virtual void setTitle(const std::string& title) = 0;
    // The open dialog. `path` is the initial name and receives the full path
    // of the chosen file; false when the user cancelled.
    virtual bool chooseSceneFile(std::string& path) = 0;
    // A modal warning box with the application name as caption.
    virtual void showWarning(const std::string& text) = 0;
    // A new black image, from now on the one the window paints: its top-left
    // width x shownHeight pixels at the client area's top-left, white beyond.
    virtual std::shared_ptr<OffscreenImage> makeImage(int width, int height, int shownHeight) = 0;
    // Outer position and size, where the platform lets a program set them.
    virtual void moveAndResize(int x, int y, int outerWidth, int outerHeight) = 0;
    // The outer size only, the window staying where it is.
    virtual void resizeOuter(int outerWidth, int outerHeight) = 0;

    // The save dialog for a picture: as chooseSceneFile.
    virtual bool choosePictureFile(std::string& path) = 0;
    // A question answered Yes (true) or No.
    virtual bool confirm(const std::string& question) = 0;
    // A picture width from 1 to `largest`, starting from `current`; nullopt
    // when the user cancelled.
    virtual std::optional<int> askPictureWidth(int current, int largest) = 0;
    virtual void setClipboardText(const std::string& text) = 0;
    // The scene's problems, one PATH:LINE:COLUMN: TEXT each; none hides them.
    virtual void showProblems(const std::vector<std::string>& lines) = 0;
    // A passing word in the status bar: what a command did.
    virtual void showStatusMessage(const std::string& text) = 0;
    // A scene file that opened, for the list of recent ones.
    virtual void sceneOpened(const std::string& path) = 0;

    // Any thread. Cheap and coalescing: a render calls it after every row.
    virtual void requestRepaint() = 0;
    // Any thread: `text` in the default font, black on opaque white, as an
    // image just large enough to hold it.
    virtual PixelImage renderText(const std::string& text) = 0;
};
