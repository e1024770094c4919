// Tells when a scene file has changed on disk, also when an editor saves by
// renaming a new file over it: the folder is watched beside the file, and a
// burst of changes is told once, after it has settled.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>

class SceneWatcher : public QObject {
    Q_OBJECT
public:
    explicit SceneWatcher(const QString& path, QObject* parent = nullptr);

signals:
    // The file is there and differs from when it was last told (or watched).
    void changed();

private:
    struct Stamp {
        bool exists = false;
        std::uint64_t inode = 0;
        std::int64_t size = 0;
        std::int64_t modified = 0;  // nanoseconds
        friend bool operator==(const Stamp&, const Stamp&) = default;
    };
    Stamp stampNow() const;
    void settle();

    QString path;
    QFileSystemWatcher watcher;
    QTimer quiet;
    Stamp last;
};
