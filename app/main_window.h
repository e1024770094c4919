// The Qt window around the viewer's logic: the menu, the picture, the
// status bar and the problems, and the platform side of every window
// operation the logic asks for.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>
#include <optional>

#include "app/viewer.h"
#include "app/window_port.h"

class ElidedLabel;
class QAction;
class QLabel;
class QListWidget;
class QMenu;
class QScrollArea;
class SceneWatcher;

// The picture at the top-left, white beyond it, each picture pixel a sharp
// square of `zoom` screen pixels (device pixels on a high-density screen).
// The mouse and the keys that steer the camera arrive here first.
class ImageView : public QWidget {
    Q_OBJECT
public:
    explicit ImageView(QWidget* parent = nullptr);
    void setImage(std::shared_ptr<const OffscreenImage> image, int shownWidth, int shownHeight);
    void setZoom(double zoom);
    double zoom() const { return zoomFactor; }
    // The picture's size in device pixels, as shown at zoom 1.
    QSize shownSize() const { return {shownWidth, shownHeight}; }
    // The room around it, which stays white: the scroll area's viewport.
    void setRoom(QSize room);

signals:
    void dragStarted(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    // Device pixels from where the drag started.
    void dragMoved(QPointF offset);
    void dragEnded();
    // Wheel steps (positive: away from the user), with the modifiers.
    void wheeled(double steps, Qt::KeyboardModifiers modifiers);
    void cameraKey(int key);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fitSize();

    std::shared_ptr<const OffscreenImage> image;
    int shownWidth = 0;
    int shownHeight = 0;
    double zoomFactor = 1.0;
    std::optional<QPointF> dragOrigin;
    QSize room;
};

class MainWindow : public QMainWindow, public WindowPort {
    Q_OBJECT
public:
    // `pictureWidth` until View > Picture Width changes it.
    explicit MainWindow(int pictureWidth = kDefaultPictureWidth, QWidget* parent = nullptr);
    ~MainWindow() override;

    Viewer& viewer() { return *logic; }
    // Opens `path` as File/Open would; with `watch`, opens it again whenever
    // it changes on disk.
    void openAtStartup(const std::string& path, bool watch);
    ImageView* imageView() const { return view; }
    // The menu's items that carry a command id as data.
    QList<QAction*> commandActions() const;
    QAction* commandAction(int id) const;
    // The problems panel's lines, empty while it is hidden.
    QStringList problems() const;

    void setTitle(const std::string& title) override;
    bool chooseSceneFile(std::string& path) override;
    void showWarning(const std::string& text) override;
    std::shared_ptr<OffscreenImage> makeImage(int width, int height, int shownHeight) override;
    void moveAndResize(int x, int y, int outerWidth, int outerHeight) override;
    void resizeOuter(int outerWidth, int outerHeight) override;
    void requestRepaint() override;
    PixelImage renderText(const std::string& text) override;
    bool choosePictureFile(std::string& path) override;
    bool confirm(const std::string& question) override;
    std::optional<int> askPictureWidth(int current, int largest) override;
    void setClipboardText(const std::string& text) override;
    void showProblems(const std::vector<std::string>& lines) override;
    void showStatusMessage(const std::string& text) override;
    void sceneOpened(const std::string& path) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenu();
    void buildProblemsPanel();
    void runCommand(int id);
    void updateActions();
    void updateStatus();
    void rebuildRecentMenu();
    void zoomTo(double zoom);
    void fitToWindow();
    void keepMenuBarVisible();
    void beginDrag(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    void drag(QPointF offset);
    void wheel(double steps, Qt::KeyboardModifiers modifiers);
    void cameraKey(int key);

    ImageView* view;
    QScrollArea* scroller;
    QWidget* problemsPanel = nullptr;
    QListWidget* problemsList = nullptr;
    ElidedLabel* renderStatus = nullptr;
    QMenu* recentMenu = nullptr;
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
    QTimer statusTimer;
    // A burst of wheel turns is one undo step: it ends when the wheel rests.
    QTimer wheelRest;

    // The drag in progress: what it started from.
    enum class DragKind { Orbit, Pan };
    struct Drag {
        DragKind kind;
        Camera start;
        Vec3 pivot;
    };
    std::optional<Drag> dragging;
    std::optional<Vec3> wheelPivot;
};

// Pixels 0x00BBGGRR to an opaque QImage and back.
QImage toQImage(const PixelImage& image);
PixelImage fromQImage(const QImage& image);
