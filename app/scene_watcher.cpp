#include "app/scene_watcher.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>

namespace {

// How long the file must stay unchanged before a burst of changes counts as one.
constexpr int kSettleMs = 150;

}  // namespace

SceneWatcher::SceneWatcher(const QString& file, QObject* parent)
    : QObject(parent), path(QFileInfo(file).absoluteFilePath()) {
    quiet.setSingleShot(true);
    quiet.setInterval(kSettleMs);
    connect(&quiet, &QTimer::timeout, this, &SceneWatcher::settle);
    const auto restart = [this] { quiet.start(); };
    connect(&watcher, &QFileSystemWatcher::fileChanged, this, restart);
    connect(&watcher, &QFileSystemWatcher::directoryChanged, this, restart);
    watcher.addPath(QFileInfo(path).absolutePath());
    watcher.addPath(path);
    last = stampNow();
}

SceneWatcher::Stamp SceneWatcher::stampNow() const {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return {};
    return {true, static_cast<std::uint64_t>(info.st_ino), static_cast<std::int64_t>(info.st_size),
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

void SceneWatcher::settle() {
    // A file renamed over the old one is a new file: watch it again.
    if (!watcher.files().contains(path)) watcher.addPath(path);
    const Stamp now = stampNow();
    if (!now.exists || now == last) return;
    last = now;
    emit changed();
}
