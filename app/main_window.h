// The Qt window around the viewer's logic: the menu, the picture and the
// platform side of every window operation the logic asks for.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>

#include "app/viewer.h"
#include "app/window_port.h"

class QAction;
class SceneWatcher;

// The client area: the current image at the top-left, white beyond it.
class ImageView : public QWidget {
    Q_OBJECT
public:
    explicit ImageView(QWidget* parent = nullptr);
    void setImage(std::shared_ptr<const OffscreenImage> image, int shownWidth, int shownHeight);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<const OffscreenImage> image;
    int shownWidth = 0;
    int shownHeight = 0;
};

class MainWindow : public QMainWindow, public WindowPort {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    Viewer& viewer() { return *logic; }
    // Opens `path` as File/Open would; with `watch`, opens it again whenever
    // it changes on disk.
    void openAtStartup(const std::string& path, bool watch);
    ImageView* imageView() const { return view; }
    // The menu's items, each carrying its command id as data.
    QList<QAction*> commandActions() const;

    void setTitle(const std::string& title) override;
    bool chooseSceneFile(std::string& path) override;
    void showWarning(const std::string& text) override;
    std::shared_ptr<OffscreenImage> makeImage(int width, int height, int shownHeight) override;
    void moveAndResize(int x, int y, int outerWidth, int outerHeight) override;
    void resizeOuter(int outerWidth, int outerHeight) override;
    void requestRepaint() override;
    PixelImage renderText(const std::string& text) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenu();

    ImageView* view;
    // The one scene of the program, and the generator that every load
    // reseeds and the soft-jitter shadows draw from.
    Scene theScene;
    Random theGenerator;
    std::unique_ptr<Viewer> logic;
    SceneWatcher* watcher = nullptr;
    // Set by any thread, taken by the timer: one repaint per tick at most,
    // however many pixels a render wrote in between.
    std::atomic<bool> repaintPending{false};
    QTimer repaintTimer;
};

// Pixels 0x00BBGGRR to an opaque QImage and back.
QImage toQImage(const PixelImage& image);
PixelImage fromQImage(const QImage& image);
