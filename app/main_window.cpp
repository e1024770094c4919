#include "app/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/camera_motion.h"
#include "app/menu.h"
#include "app/scene_watcher.h"

namespace {

// About the display's refresh rate.
constexpr int kRepaintIntervalMs = 16;
constexpr int kStatusIntervalMs = 200;
// How long the wheel must rest before its turns become one undo step.
constexpr int kWheelRestMs = 400;
constexpr int kRecentScenes = 8;
const char* const kRecentKey = "recentScenes";
constexpr double kZoomSteps[] = {0.125, 0.25, 0.5, 1, 2, 3, 4, 6, 8, 12, 16};
// A drag across 400 device pixels turns the camera half way round.
constexpr double kRadiansPerPixel = 3.14159265358979323846 / 400;
// One wheel notch moves a tenth of the way to the pivot.
constexpr double kDollyPerStep = 0.1;
constexpr double kFieldOfViewPerStep = 0.9;
// An arrow key turns the camera by five degrees.
constexpr float kTurnPerKey = static_cast<float>(3.14159265358979323846 / 36);

// A key's step: a move (W, A, S, D, Q, E) or a turn (the arrows).
struct KeyStep {
    std::optional<CameraKey> move;
    float yaw = 0;
    float pitch = 0;
};

std::optional<KeyStep> keyStepOf(int key) {
    switch (key) {
        case Qt::Key_W:
            return KeyStep{CameraKey::Forward};
        case Qt::Key_S:
            return KeyStep{CameraKey::Back};
        case Qt::Key_A:
            return KeyStep{CameraKey::Left};
        case Qt::Key_D:
            return KeyStep{CameraKey::Right};
        case Qt::Key_Q:
            return KeyStep{CameraKey::Down};
        case Qt::Key_E:
            return KeyStep{CameraKey::Up};
        case Qt::Key_Left:
            return KeyStep{std::nullopt, kTurnPerKey, 0};
        case Qt::Key_Right:
            return KeyStep{std::nullopt, -kTurnPerKey, 0};
        case Qt::Key_Up:
            return KeyStep{std::nullopt, 0, kTurnPerKey};
        case Qt::Key_Down:
            return KeyStep{std::nullopt, 0, -kTurnPerKey};
        default:
            return std::nullopt;
    }
}

}  // namespace

// One line that never widens the window: what does not fit ends in an
// ellipsis, and the tooltip holds the whole of it.
class ElidedLabel : public QLabel {
public:
    void setFullText(const QString& text, const QString& tip) {
        if (text == full && tip == toolTip()) return;
        full = text;
        setToolTip(tip);
        update();
    }
    QSize sizeHint() const override { return {fontMetrics().horizontalAdvance(full), fontMetrics().height()}; }
    QSize minimumSizeHint() const override { return {0, fontMetrics().height()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect room = contentsRect();
        painter.drawText(room, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         fontMetrics().elidedText(full, Qt::ElideRight, room.width()));
    }

private:
    QString full;
};

QImage toQImage(const PixelImage& image) {
    QImage result(image.width, image.height, QImage::Format_RGB32);
    for (int y = 0; y < image.height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < image.width; ++x) {
            const Pixel p = image.at(x, y);
            line[x] = qRgb(redOf(p), greenOf(p), blueOf(p));
        }
    }
    return result;
}

PixelImage fromQImage(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    PixelImage result(rgb.width(), rgb.height());
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb c = line[x];
            result.pixels[static_cast<std::size_t>(y) * result.width + x] = pixelOf(
                static_cast<unsigned>(qRed(c)), static_cast<unsigned>(qGreen(c)), static_cast<unsigned>(qBlue(c)));
        }
    }
    return result;
}

ImageView::ImageView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

void ImageView::setImage(std::shared_ptr<const OffscreenImage> newImage, int width, int height) {
    image = std::move(newImage);
    shownWidth = width;
    shownHeight = height;
    fitSize();
}

void ImageView::setZoom(double zoom) {
    zoomFactor = zoom;
    fitSize();
    update();
}

void ImageView::fitSize() {
    // Zoom 1 is one device pixel per picture pixel.
    const double scale = zoomFactor / devicePixelRatioF();
    const QSize size(static_cast<int>(std::ceil(shownWidth * scale)), static_cast<int>(std::ceil(shownHeight * scale)));
    setMinimumSize(size);
    resize(size.expandedTo(room));
}

void ImageView::setRoom(QSize newRoom) {
    room = newRoom;
    fitSize();
}

void ImageView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::white);
    if (!image) return;
    // Copied under the image's lock, drawn after it is released; scaled
    // without smoothing, so that magnified pixels stay sharp squares.
    // The target rectangle carries the zoom: drawn at a point, an image
    // whose pixel ratio is below 1 comes out unmagnified.
    const QImage picture = toQImage(image->copyRegion(shownWidth, shownHeight));
    const double scale = zoomFactor / devicePixelRatioF();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRectF(0, 0, picture.width() * scale, picture.height() * scale), picture);
}

void ImageView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton && event->button() != Qt::MiddleButton) return;
    setFocus(Qt::MouseFocusReason);
    dragOrigin = event->position();
    emit dragStarted(event->button(), event->modifiers());
}

void ImageView::mouseMoveEvent(QMouseEvent* event) {
    if (!dragOrigin) return;
    emit dragMoved((event->position() - *dragOrigin) * devicePixelRatioF());
}

void ImageView::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragOrigin || (event->buttons() & (Qt::LeftButton | Qt::MiddleButton))) return;
    dragOrigin.reset();
    emit dragEnded();
}

void ImageView::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0) return;
    emit wheeled(steps, event->modifiers());
    event->accept();
}

void ImageView::keyPressEvent(QKeyEvent* event) {
    if ((event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) || !keyStepOf(event->key())) {
        QWidget::keyPressEvent(event);
        return;
    }
    emit cameraKey(event->key());
}

MainWindow::MainWindow(int pictureWidth, QWidget* parent)
    : QMainWindow(parent), view(new ImageView), scroller(new QScrollArea) {
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setBackgroundRole(QPalette::Base);
    scroller->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    scroller->setWidget(view);
    scroller->setWidgetResizable(false);
    scroller->viewport()->installEventFilter(this);

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(scroller, 1);
    setCentralWidget(central);
    buildProblemsPanel();
    layout->addWidget(problemsPanel);

    // A normal widget, not a permanent one: a message (Saved ..., Wrote the
    // camera ...) takes the whole bar for its time instead of being cut off.
    renderStatus = new ElidedLabel;
    statusBar()->addWidget(renderStatus, 1);
    buildMenu();
    setAcceptDrops(true);

    logic = std::make_unique<Viewer>(*this, theScene, theGenerator, pictureWidth, pictureWidth);
    logic->start();
    keepMenuBarVisible();
    resize(std::max(minimumWidth(), pictureWidth + 15), pictureWidth + 100);
    updateActions();

    connect(&repaintTimer, &QTimer::timeout, this, [this] {
        if (repaintPending.exchange(false, std::memory_order_relaxed)) view->update();
    });
    repaintTimer.start(kRepaintIntervalMs);
    connect(&statusTimer, &QTimer::timeout, this, &MainWindow::updateStatus);
    statusTimer.start(kStatusIntervalMs);
    wheelRest.setSingleShot(true);
    connect(&wheelRest, &QTimer::timeout, this, [this] {
        wheelPivot.reset();
        logic->finishCameraStep();
        updateActions();
    });

    connect(view, &ImageView::dragStarted, this, &MainWindow::beginDrag);
    connect(view, &ImageView::dragMoved, this, &MainWindow::drag);
    connect(view, &ImageView::dragEnded, this, [this] {
        dragging.reset();
        logic->finishCameraStep();
        updateActions();
    });
    connect(view, &ImageView::wheeled, this, &MainWindow::wheel);
    connect(view, &ImageView::cameraKey, this, &MainWindow::cameraKey);
}

MainWindow::~MainWindow() { logic->stopRender(); }

void MainWindow::openAtStartup(const std::string& path, bool watch) {
    logic->openPath(path);
    updateActions();
    if (!watch || watcher) return;
    watcher = new SceneWatcher(QFile::decodeName(path.c_str()), this);
    connect(watcher, &SceneWatcher::changed, this, [this, path] {
        logic->reload(path);
        updateActions();
    });
}

void MainWindow::buildMenu() {
    QMenu* dropDown = nullptr;
    const char* dropDownTitle = nullptr;
    QMenu* subMenu = nullptr;
    const char* subMenuTitle = nullptr;
    QActionGroup* group = nullptr;
    for (const MenuCommand& command : menuCommands()) {
        if (!dropDown || std::strcmp(dropDownTitle, command.dropDown) != 0) {
            dropDown = menuBar()->addMenu(QStringLiteral("&") + QString::fromUtf8(command.dropDown));
            dropDownTitle = command.dropDown;
            subMenu = nullptr;
            subMenuTitle = nullptr;
            group = nullptr;
        }
        QMenu* holder = dropDown;
        if (command.subMenu) {
            if (!subMenu || std::strcmp(subMenuTitle, command.subMenu) != 0) {
                subMenu = dropDown->addMenu(QString::fromUtf8(command.subMenu));
                subMenuTitle = command.subMenu;
                group = nullptr;
            }
            holder = subMenu;
        }
        QAction* action = holder->addAction(QString::fromUtf8(command.text));
        action->setData(command.id);
        if (command.shortcut) action->setShortcut(QKeySequence(QString::fromUtf8(command.shortcut)));
        // Where + shares its key with =, Ctrl+= zooms in without the Shift.
        if (command.id == kZoomInCommand) action->setShortcuts({action->shortcut(), QKeySequence(QStringLiteral("Ctrl+="))});
        // Settings and widths are groups of check marks.
        if (command.apply || pictureWidthOf(command.id) || command.id == kOtherWidthCommand) {
            if (!group) {
                group = new QActionGroup(holder);
                group->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
            }
            action->setCheckable(true);
            group->addAction(action);
        }
        connect(action, &QAction::triggered, this, [this, id = command.id] { runCommand(id); });
        if (command.id == kOpenCommand) {
            recentMenu = dropDown->addMenu(QStringLiteral("Open &Recent"));
            rebuildRecentMenu();
        }
        if (command.id == kSavePictureCommand) dropDown->addSeparator();
        if (command.id == kWriteCameraCommand || command.id == kOtherWidthCommand) holder->addSeparator();
    }
}

void MainWindow::buildProblemsPanel() {
    problemsPanel = new QWidget;
    auto* layout = new QVBoxLayout(problemsPanel);
    layout->setContentsMargins(4, 2, 4, 4);
    auto* header = new QHBoxLayout;
    header->addWidget(new QLabel(QStringLiteral("<b>Problems</b>")));
    header->addStretch(1);
    auto* close = new QToolButton;
    close->setText(QStringLiteral("\u00d7"));
    close->setToolTip(QStringLiteral("Close: show what the file holds as far as it reads"));
    header->addWidget(close);
    layout->addLayout(header);
    problemsList = new QListWidget;
    layout->addWidget(problemsList);
    problemsPanel->hide();
    connect(close, &QToolButton::clicked, this, [this] {
        problemsPanel->hide();
        logic->acceptPartialScene();
        updateActions();
    });
}

void MainWindow::runCommand(int id) {
    switch (id) {
        case kQuitCommand:
            close();
            return;
        case kZoomInCommand:
        case kZoomOutCommand: {
            const double now = view->zoom();
            double next = now;
            for (const double step : kZoomSteps) {
                if (id == kZoomInCommand && step > now * 1.0001) {
                    next = step;
                    break;
                }
                if (id == kZoomOutCommand && step < now * 0.9999) next = step;
            }
            zoomTo(next);
            return;
        }
        case kActualSizeCommand:
            zoomTo(1);
            return;
        case kFitToWindowCommand:
            fitToWindow();
            return;
        default:
            logic->command(id);
            updateActions();
    }
}

void MainWindow::zoomTo(double zoom) {
    view->setZoom(std::clamp(zoom, kZoomSteps[0], kZoomSteps[std::size(kZoomSteps) - 1]));
}

void MainWindow::fitToWindow() {
    const QSize shown = view->shownSize();
    if (shown.isEmpty()) return;
    const QSize room = scroller->viewport()->size() * view->devicePixelRatioF();
    zoomTo(std::min(static_cast<double>(room.width()) / shown.width(),
                    static_cast<double>(room.height()) / shown.height()));
}

void MainWindow::updateActions() {
    const Viewer& viewer = *logic;
    const bool hasFile = !viewer.scenePath().empty();
    for (QAction* action : commandActions()) {
        const int id = action->data().toInt();
        const MenuCommand* command = findCommand(id);
        if (!command) continue;
        if (command->apply) {
            action->setChecked(inForce(*command, viewer.settings()));
        } else if (const std::optional<int> width = pictureWidthOf(id)) {
            action->setChecked(*width == viewer.imageWidth());
        } else if (id == kOtherWidthCommand) {
            bool listed = false;
            for (int k = 40301; pictureWidthOf(k); ++k) listed = listed || *pictureWidthOf(k) == viewer.imageWidth();
            action->setChecked(!listed);
        }
        switch (id) {
            case kReloadCommand:
            case kWriteCameraCommand:
                action->setEnabled(hasFile);
                break;
            case kSavePictureCommand:
                action->setEnabled(viewer.hasPicture());
                break;
            case kUndoCameraCommand:
                action->setEnabled(viewer.cameraHistory().canUndo());
                break;
            case kRedoCameraCommand:
                action->setEnabled(viewer.cameraHistory().canRedo());
                break;
            default:
                break;
        }
    }
}

void MainWindow::updateStatus() {
    const StatusSnapshot status = logic->status();
    renderStatus->setFullText(QString::fromStdString(statusText(status)), QString::fromStdString(status.engine));
    // A render that finished since: Save is possible now.
    if (QAction* save = commandAction(kSavePictureCommand)) save->setEnabled(logic->hasPicture());
}

QList<QAction*> MainWindow::commandActions() const {
    QList<QAction*> actions;
    QList<QMenu*> menus;
    for (QAction* dropDown : menuBar()->actions()) {
        if (dropDown->menu()) menus += dropDown->menu();
    }
    while (!menus.isEmpty()) {
        QMenu* menu = menus.takeFirst();
        for (QAction* action : menu->actions()) {
            if (action->menu() && action->menu() != recentMenu) {
                menus.prepend(action->menu());
            } else if (action->data().isValid() && action->data().typeId() == QMetaType::Int) {
                actions += action;
            }
        }
    }
    return actions;
}

QAction* MainWindow::commandAction(int id) const {
    for (QAction* action : commandActions()) {
        if (action->data().toInt() == id) return action;
    }
    return nullptr;
}

QStringList MainWindow::problems() const {
    QStringList lines;
    if (problemsPanel->isHidden()) return lines;
    for (int i = 0; i < problemsList->count(); ++i) lines += problemsList->item(i)->text();
    return lines;
}

void MainWindow::keepMenuBarVisible() {
    // Every title in view when the window opens: never narrower than the bar.
    int barWidth = 0;
    for (QAction* dropDown : menuBar()->actions()) barWidth += menuBar()->actionGeometry(dropDown).width();
    setMinimumWidth(std::max(barWidth, menuBar()->sizeHint().width()) + 8);
}

void MainWindow::rebuildRecentMenu() {
    recentMenu->clear();
    const QStringList recent = QSettings().value(QString::fromLatin1(kRecentKey)).toStringList();
    for (const QString& path : recent) {
        QAction* action = recentMenu->addAction(path);
        connect(action, &QAction::triggered, this, [this, path] {
            logic->openPath(QFile::encodeName(path).toStdString());
            updateActions();
        });
    }
    recentMenu->setEnabled(!recent.isEmpty());
}

void MainWindow::sceneOpened(const std::string& path) {
    QSettings settings;
    QStringList recent = settings.value(QString::fromLatin1(kRecentKey)).toStringList();
    const QString absolute = QFileInfo(QFile::decodeName(path.c_str())).absoluteFilePath();
    recent.removeAll(absolute);
    recent.prepend(absolute);
    while (recent.size() > kRecentScenes) recent.removeLast();
    settings.setValue(QString::fromLatin1(kRecentKey), recent);
    rebuildRecentMenu();
}

void MainWindow::beginDrag(Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
    const bool pan = button == Qt::MiddleButton || (modifiers & Qt::ShiftModifier);
    dragging = Drag{pan ? DragKind::Pan : DragKind::Orbit, logic->camera(), logic->pivot()};
}

void MainWindow::drag(QPointF offset) {
    if (!dragging) return;
    if (dragging->kind == DragKind::Orbit) {
        const Vec3 up = logic->cameraHistory().opened().screenUp;
        logic->setCamera(orbitCamera(dragging->start, dragging->pivot, up,
                                      static_cast<float>(-offset.x() * kRadiansPerPixel),
                                      static_cast<float>(-offset.y() * kRadiansPerPixel)));
    } else {
        // The scene follows the mouse: a drag across the picture pans it by
        // about the distance to the pivot.
        const double across = std::max(1, logic->imageWidth());
        logic->setCamera(panCamera(dragging->start, dragging->pivot, static_cast<float>(-offset.x() / across),
                                    static_cast<float>(offset.y() / across)));
    }
}

void MainWindow::wheel(double steps, Qt::KeyboardModifiers modifiers) {
    if (modifiers & Qt::ControlModifier) {
        logic->setCamera(
            scaleFieldOfView(logic->camera(), static_cast<float>(std::pow(kFieldOfViewPerStep, steps))));
    } else {
        if (!wheelPivot) wheelPivot = logic->pivot();
        logic->setCamera(dollyCamera(logic->camera(), *wheelPivot, static_cast<float>(steps * kDollyPerStep)));
    }
    wheelRest.start(kWheelRestMs);
}

void MainWindow::cameraKey(int key) {
    const std::optional<KeyStep> step = keyStepOf(key);
    if (!step) return;
    // A wheel burst still open ends here: one step each.
    wheelRest.stop();
    wheelPivot.reset();
    logic->finishCameraStep();
    const Camera& camera = logic->camera();
    if (step->move) {
        logic->setCamera(moveCamera(camera, logic->pivot(), *step->move));
    } else {
        logic->setCamera(turnCamera(camera, logic->cameraHistory().opened().screenUp, step->yaw, step->pitch));
    }
    logic->finishCameraStep();
    updateActions();
}

void MainWindow::setTitle(const std::string& title) {
    // "[*]" is Qt's modified-marker placeholder; doubled it stands for itself.
    setWindowTitle(QString::fromStdString(title).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")));
}

bool MainWindow::chooseSceneFile(std::string& path) {
    QFileDialog dialog(this);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("TextFiles (*.txt)"));
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (!path.empty()) dialog.selectFile(QFile::decodeName(path.c_str()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
    return true;
}

bool MainWindow::choosePictureFile(std::string& path) {
    QFileDialog dialog(this, QStringLiteral("Save Picture As"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({QStringLiteral("Pictures (*.png *.ppm *.pfm *.exr)"), QStringLiteral("PNG (*.png)"),
                           QStringLiteral("PPM (*.ppm)"), QStringLiteral("PFM, floating point (*.pfm)"),
                           QStringLiteral("OpenEXR, floating point (*.exr)")});
    dialog.setDefaultSuffix(QStringLiteral("png"));
    if (!path.empty()) dialog.selectFile(QFile::decodeName(path.c_str()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
    return true;
}

void MainWindow::showWarning(const std::string& text) {
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kApplicationName), QString::fromStdString(text),
                    QMessageBox::Ok, this);
    // A file name is not markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool MainWindow::confirm(const std::string& question) {
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(kApplicationName), QString::fromStdString(question),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<int> MainWindow::askPictureWidth(int current, int largest) {
    bool accepted = false;
    const int chosen = QInputDialog::getInt(this, QStringLiteral("Picture Width"),
                                            QStringLiteral("Width of the picture in pixels:"), current, 1, largest, 1,
                                            &accepted);
    if (!accepted) return std::nullopt;
    return chosen;
}

void MainWindow::setClipboardText(const std::string& text) {
    QApplication::clipboard()->setText(QString::fromStdString(text));
}

void MainWindow::showProblems(const std::vector<std::string>& lines) {
    problemsList->clear();
    for (const std::string& line : lines) {
        auto* item = new QListWidgetItem(QString::fromStdString(line), problemsList);
        item->setToolTip(item->text());
    }
    // A row for each problem up to five, the rest scroll; room for the
    // horizontal scroll bar that a long line brings.
    const int rows = std::clamp(static_cast<int>(lines.size()), 1, 5);
    problemsList->setFixedHeight(rows * std::max(problemsList->sizeHintForRow(0), fontMetrics().height()) +
                                 2 * problemsList->frameWidth() +
                                 problemsList->horizontalScrollBar()->sizeHint().height());
    const bool wasShown = !problemsPanel->isHidden();
    problemsPanel->setVisible(!lines.empty());
    // The panel takes its room from the window's growth, not from the
    // picture, which would otherwise shrink to a strip when a watched file
    // goes bad.
    if (wasShown != lines.empty()) return;
    // The news that the last good picture stays is old news now.
    if (lines.empty()) statusBar()->clearMessage();
    const int change = problemsPanel->sizeHint().height();
    QSize wanted(width(), height() + (lines.empty() ? -change : change));
    if (const QScreen* where = screen()) {
        const QSize frame = frameGeometry().size() - geometry().size();
        wanted = wanted.boundedTo(where->availableGeometry().size() - frame);
    }
    resize(wanted);
}

void MainWindow::showStatusMessage(const std::string& text) {
    // A long path loses its middle, not the file's name at its end.
    const QString message = QString::fromStdString(text);
    const int room = std::max(40, statusBar()->width() - 24);
    statusBar()->setToolTip(message);
    statusBar()->showMessage(statusBar()->fontMetrics().elidedText(message, Qt::ElideMiddle, room), 8000);
}

std::shared_ptr<OffscreenImage> MainWindow::makeImage(int width, int height, int shownHeight) {
    auto image = std::make_shared<OffscreenImage>(width, height);
    view->setImage(image, width, shownHeight);
    return image;
}

void MainWindow::moveAndResize(int x, int y, int outerWidth, int outerHeight) {
    resizeOuter(outerWidth, outerHeight);
    move(x, y);
}

void MainWindow::resizeOuter(int outerWidth, int outerHeight) {
    // Room for the picture at its size on the screen, within the screen.
    const QSize frame = frameGeometry().size() - geometry().size();
    const double scale = view->zoom() / view->devicePixelRatioF();
    QSize wanted(static_cast<int>(std::ceil((outerWidth - frame.width()) * scale)),
                 static_cast<int>(std::ceil((outerHeight - frame.height()) * scale)) +
                     (statusBar()->isVisible() ? statusBar()->sizeHint().height() : 0) +
                     (problemsPanel->isVisible() ? problemsPanel->sizeHint().height() : 0));
    wanted = wanted.expandedTo(QSize(minimumWidth(), 1));
    if (const QScreen* where = screen()) wanted = wanted.boundedTo(where->availableGeometry().size() - frame);
    resize(wanted);
}

void MainWindow::requestRepaint() { repaintPending.store(true, std::memory_order_relaxed); }

PixelImage MainWindow::renderText(const std::string& text) {
    // Runs on the render thread: painting on a QImage is safe off the GUI thread.
    const QString line = QString::fromStdString(text);
    const QFont font;
    const QSize size = QFontMetrics(font).size(Qt::TextSingleLine, line);
    QImage image(std::max(1, size.width()), std::max(1, size.height()), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(image.rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, line);
    painter.end();
    return fromQImage(image);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == scroller->viewport() && event->type() == QEvent::Resize) view->setRoom(scroller->viewport()->size());
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    logic->stopRender();
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.first().isLocalFile()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile()) return;
    event->acceptProposedAction();
    logic->openPath(QFile::encodeName(urls.first().toLocalFile()).toStdString());
    updateActions();
}
