#include "app/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFont>
#include <QFontMetrics>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cstring>

#include "app/menu.h"
#include "app/scene_watcher.h"

namespace {

constexpr int kInitialSize = 300;
// About the display's refresh rate.
constexpr int kRepaintIntervalMs = 16;

}  // namespace

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

ImageView::ImageView(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void ImageView::setImage(std::shared_ptr<const OffscreenImage> newImage, int width, int height) {
    image = std::move(newImage);
    shownWidth = width;
    shownHeight = height;
}

void ImageView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::white);
    // Copied under the image's lock, drawn after it is released.
    if (image) painter.drawImage(0, 0, toQImage(image->copyRegion(shownWidth, shownHeight)));
}

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), view(new ImageView(this)) {
    setCentralWidget(view);
    buildMenu();
    resize(kInitialSize, kInitialSize);
    // The client area's size fixes the picture's width: lay the window out
    // now, before it is shown, to learn it.
    layout()->activate();
    logic = std::make_unique<Viewer>(*this, theScene, theGenerator, view->width(), view->height());
    logic->start();

    connect(&repaintTimer, &QTimer::timeout, this, [this] {
        if (repaintPending.exchange(false, std::memory_order_relaxed)) view->update();
    });
    repaintTimer.start(kRepaintIntervalMs);
}

MainWindow::~MainWindow() { logic->stopRender(); }

void MainWindow::openAtStartup(const std::string& path, bool watch) {
    logic->openPath(path);
    if (!watch || watcher) return;
    watcher = new SceneWatcher(QFile::decodeName(path.c_str()), this);
    connect(watcher, &SceneWatcher::changed, this, [this, path] { logic->reload(path); });
}

void MainWindow::buildMenu() {
    QMenu* dropDown = nullptr;
    const char* dropDownTitle = nullptr;
    for (const MenuCommand& command : menuCommands()) {
        if (!dropDown || std::strcmp(dropDownTitle, command.dropDown) != 0) {
            // A mnemonic on every title: at the window's first width the bar
            // may not hold all five, and Alt+letter reaches the hidden ones.
            dropDown = menuBar()->addMenu(QStringLiteral("&") + QString::fromUtf8(command.dropDown));
            dropDownTitle = command.dropDown;
        }
        QAction* action = dropDown->addAction(QString::fromUtf8(command.text));
        action->setData(command.id);
        connect(action, &QAction::triggered, this, [this, id = command.id] { logic->command(id); });
    }
}

QList<QAction*> MainWindow::commandActions() const {
    QList<QAction*> actions;
    for (QAction* dropDown : menuBar()->actions()) {
        if (dropDown->menu()) actions += dropDown->menu()->actions();
    }
    return actions;
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

void MainWindow::showWarning(const std::string& text) {
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kApplicationName), QString::fromStdString(text),
                    QMessageBox::Ok, this);
    // A file name is not markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

std::shared_ptr<OffscreenImage> MainWindow::makeImage(int width, int height, int shownHeight) {
    auto image = std::make_shared<OffscreenImage>(width, height);
    view->setImage(image, width, shownHeight);
    return image;
}

void MainWindow::moveAndResize(int x, int y, int outerWidth, int outerHeight) {
    const QSize frame = frameGeometry().size() - geometry().size();
    resize(std::max(1, outerWidth - frame.width()), std::max(1, outerHeight - frame.height()));
    move(x, y);
}

void MainWindow::resizeOuter(int outerWidth, int outerHeight) {
    const QSize frame = frameGeometry().size() - geometry().size();
    resize(std::max(1, outerWidth - frame.width()), std::max(1, outerHeight - frame.height()));
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

void MainWindow::closeEvent(QCloseEvent* event) {
    logic->stopRender();
    event->accept();
}
