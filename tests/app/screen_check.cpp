// Helper of the end-to-end test, run on the same X display as the viewer.
//   viewer_screen_check check SCENE WINDOW WIDTH SCREENSHOT SECONDS [REFERENCE]
//     waits until the window is at least (WIDTH + 15) x (H + 100) and shows the
//     scene's picture with the elapsed time under it; saves the screen to
//     SCREENSHOT either way. The picture is REFERENCE (a PNG that
//     orvanel-render made at WIDTH), or without one rendered here by the core.
//   viewer_screen_check close WINDOW
//     asks the window to close, as a window manager's close button does.
//   viewer_screen_check same PICTURE REFERENCE
//     whether two picture files hold the same pixels (their bytes may differ).
//   viewer_screen_check shot SCREENSHOT [X Y WIDTH HEIGHT]
//     saves the screen, or this part of it, as a picture.
#include <QImage>
#include <QRect>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/main_window.h"
#include "render/context.h"
#include "render/pixel_loop.h"
#include "render/camera.h"
#include "render/image.h"
#include "scene/reader.h"

// Xlib last: its macros (None, Status, CursorShape...) break the headers above.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

namespace {

int channelShift(unsigned long mask) {
    int shift = 0;
    while (mask && !(mask & 1u)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

QImage grabScreen(Display* display) {
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    XImage* image = XGetImage(display, root, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    QImage result(attributes.width, attributes.height, QImage::Format_RGB32);
    if (!image) return result;
    const int red = channelShift(image->red_mask), green = channelShift(image->green_mask),
              blue = channelShift(image->blue_mask);
    for (int y = 0; y < attributes.height; ++y) {
        for (int x = 0; x < attributes.width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            result.setPixel(x, y, qRgb((p >> red) & 0xff, (p >> green) & 0xff, (p >> blue) & 0xff));
        }
    }
    XDestroyImage(image);
    return result;
}

bool samePixel(QRgb got, Pixel wanted) {
    return qRed(got) == redOf(wanted) && qGreen(got) == greenOf(wanted) && qBlue(got) == blueOf(wanted);
}

bool pictureAt(const QImage& screen, const PixelImage& picture, int left, int top) {
    if (left + picture.width > screen.width() || top + picture.height > screen.height()) return false;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            if (!samePixel(screen.pixel(left + x, top + y), picture.at(x, y))) return false;
        }
    }
    return true;
}

// Dark glyphs on white just under the picture.
bool timeTextAt(const QImage& screen, int left, int top) {
    int dark = 0, white = 0;
    for (int y = top; y < top + 15 && y < screen.height(); ++y) {
        for (int x = left; x < left + 12 && x < screen.width(); ++x) {
            const int grey = qGray(screen.pixel(x, y));
            dark += grey < 100;
            white += grey > 240;
        }
    }
    return dark > 0 && white > 0;
}

int check(Display* display, const char* scenePath, Window window, int width, const char* shotPath, int seconds,
          const char* referencePath) {
    Scene scene;
    Random generator;
    if (!loadScene(scenePath, scene, generator)) {
        std::fprintf(stderr, "cannot read %s\n", scenePath);
        return 2;
    }
    const int height = imageHeightFor(scene.camera, width);
    PixelImage picture;
    if (referencePath) {
        const QImage reference(QString::fromLocal8Bit(referencePath));
        if (reference.width() != width || reference.height() != height) {
            std::fprintf(stderr, "reference %s is %d x %d, not %d x %d\n", referencePath, reference.width(),
                         reference.height(), width, height);
            return 2;
        }
        picture = fromQImage(reference);
    } else {
        picture = renderImage({scene, RenderSettings{}, generator}, width, height);
    }

    std::string problem = "nothing checked";
    QImage screen;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        XWindowAttributes attributes;
        Window child;
        int windowX = 0, windowY = 0;
        if (!XGetWindowAttributes(display, window, &attributes) ||
            !XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &windowX, &windowY, &child)) {
            problem = "the window is gone";
            break;
        }
        screen = grabScreen(display);
        if (attributes.width < width + 15 || attributes.height < height + 100) {
            problem = "window is " + std::to_string(attributes.width) + " x " + std::to_string(attributes.height) +
                      ", smaller than " + std::to_string(width + 15) + " x " + std::to_string(height + 100);
        } else {
            problem = "the picture is not in the window";
            // The picture sits at the client area's top-left, under the menu bar.
            for (int top = windowY; top < windowY + 100; ++top) {
                if (!pictureAt(screen, picture, windowX, top)) continue;
                if (!timeTextAt(screen, windowX, top + height + 5)) {
                    problem = "the picture is there but no elapsed time under it";
                    break;
                }
                screen.save(shotPath);
                std::printf("picture %d x %d found at (%d, %d) with the elapsed time under it\n", width, height,
                            windowX, top);
                return 0;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    screen.save(shotPath);
    std::fprintf(stderr, "screen check failed: %s (screenshot %s)\n", problem.c_str(), shotPath);
    return 1;
}

int close(Display* display, Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
    return 0;
}

int same(const char* picturePath, const char* referencePath) {
    const QImage picture(QString::fromLocal8Bit(picturePath)), reference(QString::fromLocal8Bit(referencePath));
    if (picture.isNull() || reference.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", picture.isNull() ? picturePath : referencePath);
        return 2;
    }
    if (picture.size() != reference.size()) {
        std::fprintf(stderr, "%s is %d x %d, %s %d x %d\n", picturePath, picture.width(), picture.height(),
                     referencePath, reference.width(), reference.height());
        return 1;
    }
    const QImage a = picture.convertToFormat(QImage::Format_ARGB32), b = reference.convertToFormat(QImage::Format_ARGB32);
    int differing = 0, firstX = -1, firstY = -1;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) == b.pixel(x, y)) continue;
            if (differing++ == 0) firstX = x, firstY = y;
        }
    }
    if (differing) {
        std::fprintf(stderr, "%s and %s differ in %d pixels, the first at (%d, %d): #%08x, not #%08x\n", picturePath,
                     referencePath, differing, firstX, firstY, a.pixel(firstX, firstY), b.pixel(firstX, firstY));
        return 1;
    }
    std::printf("%s: the same %d x %d pixels as %s\n", picturePath, a.width(), a.height(), referencePath);
    return 0;
}

int shot(Display* display, const char* shotPath, const QRect& part) {
    QImage screen = grabScreen(display);
    if (!part.isNull()) screen = screen.copy(part);
    if (!screen.save(QString::fromLocal8Bit(shotPath))) {
        std::fprintf(stderr, "cannot write %s\n", shotPath);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "same" && argc == 4) return same(argv[2], argv[3]);
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X display\n");
        return 2;
    }
    int status = 2;
    if (mode == "check" && (argc == 7 || argc == 8)) {
        status = check(display, argv[2], std::strtoul(argv[3], nullptr, 0), std::atoi(argv[4]), argv[5],
                       std::atoi(argv[6]), argc == 8 ? argv[7] : nullptr);
    } else if (mode == "close" && argc == 3) {
        status = close(display, std::strtoul(argv[2], nullptr, 0));
    } else if (mode == "shot" && (argc == 3 || argc == 7)) {
        status = shot(display, argv[2],
                      argc == 7 ? QRect(std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]))
                                : QRect());
    } else {
        std::fprintf(stderr,
                     "usage: %s check SCENE WINDOW WIDTH SCREENSHOT SECONDS [REFERENCE] | close WINDOW | "
                     "same PICTURE REFERENCE | shot SCREENSHOT [X Y WIDTH HEIGHT]\n",
                     argv[0]);
    }
    XCloseDisplay(display);
    return status;
}
