// Orvanel's Ray Tracer: one window, a menu, and the picture of a scene file.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/main_window.h"

namespace {

bool hasEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Qt ends the process when its platform plugin cannot start; without any
// display to try, say so before it gets that far.
bool displayNamed(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) return true;
    }
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) {
        const std::string name(platform);
        if (name.rfind("xcb", 0) == 0) return hasEnv("DISPLAY");
        if (name.rfind("wayland", 0) == 0) return hasEnv("WAYLAND_DISPLAY") || hasEnv("DISPLAY");
        return true;
    }
    return hasEnv("DISPLAY") || hasEnv("WAYLAND_DISPLAY");
}

// While the application starts, a fatal message (no platform plugin could
// be loaded, the display refused the connection) ends the program with a
// plain message and status 1 instead of an abort.
void startupMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
    std::fprintf(stderr, "%s\n", qPrintable(message));
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "orvanel: cannot open a window on this display\n");
        std::fflush(stderr);
        std::_Exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> answered = answerInformationRequest({argv + 1, argv + argc}, std::cout)) {
        return *answered;
    }
    if (!displayNamed(argc, argv)) {
        std::fprintf(stderr,
                     "orvanel: no display to open a window on; set DISPLAY or WAYLAND_DISPLAY "
                     "(or QT_QPA_PLATFORM, e.g. offscreen)\n");
        return 1;
    }
    const QtMessageHandler previous = qInstallMessageHandler(startupMessageHandler);
    QApplication application(argc, argv);
    qInstallMessageHandler(previous);
    // Where QSettings keeps the recent scenes.
    QApplication::setOrganizationName(QStringLiteral("Orvanel"));
    QApplication::setApplicationName(QStringLiteral("orvanel"));

    // What Qt left of the arguments once it took its own.
    std::vector<std::string> rest;
    for (const QString& argument : QApplication::arguments().mid(1))
        rest.push_back(argument.toLocal8Bit().toStdString());
    const std::optional<ViewerOptions> options = parseViewerArguments(rest, std::cerr);
    if (!options) return kViewerUsageError;

    MainWindow window(options->width);
    window.show();
    if (!options->scenePath.empty()) window.openAtStartup(options->scenePath, options->watch);
    return QApplication::exec();
}
