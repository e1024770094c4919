// The real Qt window on the offscreen platform: its menu, its commands, the
// open dialog and message box it shows, and what it paints.
#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cstdio>
#include <functional>

#include "app/menu.h"
#include "render/context.h"
#include "render/pixel_loop.h"
#include "render/sampling.h"
#include "scene/reader.h"

namespace {

const QString kScene = QStringLiteral(ORVANEL_TEST_SCENES "/e2e_scene.txt");

QString withoutMnemonic(QString text) { return text.remove(QLatin1Char('&')); }

// Answers the next modal widget of type T once it is shown.
template <class T>
void answerModal(std::function<void(T*)> answer) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (auto* modal = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        }
    });
    timer->start(10);
}

// Types the full path as the file name and accepts, as a user would.
// selectFile() would not do: while the name field has the focus it only
// selects the file in the listing, which the dialog fills in the background
// and may not hold yet under load.
void typeIntoOpenDialog(QFileDialog* dialog, const QString& path) {
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(name);
    name->setText(path);
    static_cast<QDialog*>(dialog)->accept();  // public in QDialog
}

void openThroughTheDialog(MainWindow& window, const QString& path) {
    answerModal<QFileDialog>([path](QFileDialog* dialog) { typeIntoOpenDialog(dialog, path); });
    window.viewer().command(kOpenCommand);
}

QAction* actionWithId(MainWindow& window, int id) {
    for (QAction* action : window.commandActions()) {
        if (action->data().toInt() == id) return action;
    }
    return nullptr;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void menuKeepsItsItemsAmongTheNewOnesAndShowsEveryTitle() {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QList<QAction*> dropDowns = window.menuBar()->actions();
        QStringList titles;
        for (QAction* dropDown : dropDowns) {
            titles << withoutMnemonic(dropDown->text());
            // In view, not behind the bar's overflow button.
            const QRect place = window.menuBar()->actionGeometry(dropDown);
            QVERIFY2(!place.isEmpty() && window.menuBar()->rect().contains(place), qPrintable(titles.last()));
        }
        QCOMPARE(titles, (QStringList{"File", "Recursion Depth", "Anti-Aliasing", "Shadows", "Lights", "Camera", "View"}));

        const QList<std::pair<QString, int>> expected{
            {"&Open", 40001}, {"Zero", 40002},  {"One", 40016},   {"Two", 40003},  {"Three", 40005},
            {"Four", 40006},  {"Five", 40007},  {"Six", 40008},   {"Seven", 40009}, {"Eight", 40010},
            {"Nine", 40011},  {"None", 40012},  {"Supersampling (10x10)", 40013},  {"Hard", 40014},
            {"Soft Axes", 40015}, {"None", 40019}, {"Soft Jitter", 40020}, {"On", 40017}, {"Off", 40018},
        };
        QList<std::pair<QString, int>> items;
        for (QAction* action : window.commandActions()) {
            const int id = action->data().toInt();
            if (id >= 40001 && id <= 40020) items.append({action->text(), id});
        }
        QCOMPARE(items, expected);
        QCOMPARE(actionWithId(window, kOpenCommand)->shortcut(), QKeySequence(QKeySequence::Open));

        // Check marks follow the settings in force, whoever changed them.
        QVERIFY(actionWithId(window, 40014)->isChecked());
        actionWithId(window, 40020)->trigger();
        QVERIFY(actionWithId(window, 40020)->isChecked());
        QVERIFY(!actionWithId(window, 40014)->isChecked());
        QVERIFY(actionWithId(window, 40301)->isChecked());  // 300 pixels wide
    }

    void startsUntitledWithTheDefaultPictureWidth() {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("Orvanel's Ray Tracer - Untitled"));
        QCOMPARE(window.viewer().imageWidth(), 300);
        const QImage shown = window.imageView()->grab().toImage();
        QCOMPARE(shown.pixelColor(5, 5), QColor(Qt::white));
    }

    void triggeringAnItemRunsItsCommand() {
        MainWindow window;
        window.show();
        QAction* one = actionWithId(window, 40016);
        QVERIFY(one);
        one->trigger();
        QCOMPARE(window.viewer().settings().recursionDepth, 1);
        QAction* soft = actionWithId(window, 40020);
        QVERIFY(soft);
        soft->trigger();
        QCOMPARE(window.viewer().settings().shadowMode, ShadowMode::SoftJitter);
        window.viewer().waitForRender();
        // The empty scene: a black picture.
        QTRY_COMPARE(window.imageView()->grab().toImage().pixelColor(5, 5), QColor(Qt::black));
    }

    void openDialogLoadsTheSceneAndTheRenderIsPaintedWithItsTime() {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QStringList filters;
        QString suffix;
        answerModal<QFileDialog>([&](QFileDialog* dialog) {
            filters = dialog->nameFilters();
            suffix = dialog->defaultSuffix();
            typeIntoOpenDialog(dialog, kScene);
        });
        QAction* open = actionWithId(window, kOpenCommand);
        QVERIFY(open);
        open->trigger();
        QCOMPARE(filters, QStringList{QStringLiteral("TextFiles (*.txt)")});
        QCOMPARE(suffix, QStringLiteral("txt"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Orvanel's Ray Tracer - e2e_scene.txt"));

        const int width = window.viewer().imageWidth();
        const int height = window.viewer().imageHeight();
        QCOMPARE(height, width / 2);
        QCOMPARE(window.frameGeometry().topLeft(), QPoint(0, 0));
        QVERIFY(window.frameGeometry().width() >= width + 15);
        QVERIFY(window.frameGeometry().height() >= height + 100);

        Scene scene;
        Random generator;
        QVERIFY(loadScene(kScene.toStdString(), scene, generator));
        const PixelImage expected = renderImage({scene, RenderSettings{}, generator}, width, height);

        window.viewer().waitForRender();
        QImage shown;
        // The repaint follows the render on the window's timer.
        QTRY_VERIFY([&] {
            shown = window.imageView()->grab().toImage().convertToFormat(QImage::Format_RGB32);
            const QRgb last = shown.pixel(width - 1, height - 1);
            const Pixel wanted = expected.at(width - 1, height - 1);
            return qRed(last) == redOf(wanted) && qGreen(last) == greenOf(wanted) && qBlue(last) == blueOf(wanted);
        }());
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const QRgb got = shown.pixel(x, y);
                const Pixel wanted = expected.at(x, y);
                QVERIFY2(qRed(got) == redOf(wanted) && qGreen(got) == greenOf(wanted) && qBlue(got) == blueOf(wanted),
                         qPrintable(QStringLiteral("pixel %1, %2").arg(x).arg(y)));
            }
        }
        // The elapsed time: dark glyphs on white from row H + 5; black
        // around it, and white beyond the image's width.
        int dark = 0, white = 0;
        for (int y = height + 5; y < height + 20; ++y) {
            for (int x = 0; x < 12; ++x) {
                const int grey = qGray(shown.pixel(x, y));
                dark += grey < 100;
                white += grey > 240;
            }
        }
        QVERIFY2(dark > 0 && white > 0, qPrintable(QStringLiteral("dark %1, white %2").arg(dark).arg(white)));
        QCOMPARE(shown.pixelColor(width / 2, height + 2), QColor(Qt::black));
        QCOMPARE(shown.pixelColor(width + 5, 10), QColor(Qt::white));
        QVERIFY(shown.height() <= height + 50 || shown.pixelColor(10, height + 50) == QColor(Qt::white));
    }

    void zoomMagnifiesPixelsIntoSharpSquaresAndTheStatusFitsTheWindow() {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.openAtStartup(kScene.toStdString(), false);
        window.viewer().waitForRender();
        const int width = window.viewer().imageWidth(), height = window.viewer().imageHeight();
        // Painted to its last pixel: neither the white before nor the black of a new image.
        QImage plain;
        QTRY_VERIFY([&] {
            plain = window.imageView()->grab().toImage().convertToFormat(QImage::Format_RGB32);
            const QColor last = plain.pixelColor(width - 1, height - 1);
            return last != QColor(Qt::white) && last != QColor(Qt::black);
        }());
        // The finished render's status, engine and all, never widens the window.
        QTRY_VERIFY(window.statusBar()->minimumSizeHint().width() < 200);
        QVERIFY(window.minimumWidth() < width + 200);

        actionWithId(window, kZoomInCommand)->trigger();
        const QImage zoomed = window.imageView()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(zoomed.width() >= 2 * width && zoomed.height() >= 2 * height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                for (const QPoint corner : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(1, 1)}) {
                    QVERIFY2(zoomed.pixel(2 * x + corner.x(), 2 * y + corner.y()) == plain.pixel(x, y),
                             qPrintable(QStringLiteral("pixel %1, %2").arg(x).arg(y)));
                }
            }
        }
        QCOMPARE(actionWithId(window, kZoomInCommand)->shortcuts().size(), 2);
        actionWithId(window, kActualSizeCommand)->trigger();
        QCOMPARE(window.imageView()->grab().toImage().convertToFormat(QImage::Format_RGB32).copy(0, 0, width, height),
                 plain.copy(0, 0, width, height));
    }

    void unreadableOrMalformedFilesAreShownInAPlainWarningBox() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("<i>broken.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("CAMERA (0, 0, 0) (1, 0, 0) (0, 1, 0) (0, 0, 2)\nSPHERE (0, 0, -3) x\n");
        file.close();

        MainWindow window;
        window.show();
        QString caption, text;
        Qt::TextFormat format = Qt::AutoText;
        answerModal<QMessageBox>([&](QMessageBox* box) {
            caption = box->windowTitle();
            text = box->text();
            format = box->textFormat();
            box->accept();
        });
        openThroughTheDialog(window, path);
        QCOMPARE(caption, QStringLiteral("Orvanel's Ray Tracer"));
        QVERIFY2(text.contains(path) && text.contains(QStringLiteral("line 2")), qPrintable(text));
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(window.windowTitle(), QStringLiteral("Orvanel's Ray Tracer - <i>broken.txt"));
        window.viewer().waitForRender();
    }

    void titleKeepsBracketedStars() {
        MainWindow window;
        window.setTitle("Orvanel's Ray Tracer - a[*]b.txt");
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowHandle()->title(), QStringLiteral("Orvanel's Ray Tracer - a[*]b.txt"));
    }

    void watchedSceneOpensAgainWhenAnEditorRenamesANewFileOverIt() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("watched.txt"));
        const auto save = [&](const QByteArray& camera) {
            // As editors save: a new file, renamed over the old one.
            QFile file(dir.filePath(QStringLiteral(".watched.txt.new")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("CAMERA (0, 0, 0) (1, 0, 0) " + camera + " (0, 0, 2)\n");
            file.close();
            QVERIFY(std::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData()) ==
                    0);
        };
        save("(0, 1, 0)");
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.openAtStartup(path.toStdString(), true);
        const int width = window.viewer().imageWidth();
        QCOMPARE(window.windowTitle(), QStringLiteral("Orvanel's Ray Tracer - watched.txt"));
        QCOMPARE(window.viewer().imageHeight(), width);
        QCOMPARE(window.frameGeometry().topLeft(), QPoint(0, 0));

        window.move(60, 40);
        QTRY_COMPARE(window.frameGeometry().topLeft(), QPoint(60, 40));
        save("(0, 0.5, 0)");
        QTRY_COMPARE_WITH_TIMEOUT(window.viewer().imageHeight(), width / 2, 30000);
        QCOMPARE(window.frameGeometry().topLeft(), QPoint(60, 40));
        QVERIFY(window.frameGeometry().height() >= width / 2 + 100);
        // And again: the new file is watched too.
        save("(0, 0.25, 0)");
        QTRY_COMPARE_WITH_TIMEOUT(window.viewer().imageHeight(), width / 4, 30000);
    }

    void problemsPanelGrowsTheWindowInsteadOfHidingThePicture() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("watched.txt"));
        QFile scene(kScene);
        QVERIFY(scene.open(QIODevice::ReadOnly));
        const QByteArray whole = scene.readAll();
        const auto save = [&](const QByteArray& text) {
            QFile file(dir.filePath(QStringLiteral(".watched.txt.new")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text);
            file.close();
            QVERIFY(std::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData()) ==
                    0);
        };
        save(whole);
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.openAtStartup(path.toStdString(), true);
        const int height = window.viewer().imageHeight(), windowHeight = window.height();
        const auto pictureInView = [&] {
            return window.imageView()->visibleRegion().boundingRect().height() >= height;
        };
        QTRY_VERIFY(pictureInView());

        save(whole.left(whole.size() * 2 / 3));  // half written
        QTRY_VERIFY_WITH_TIMEOUT(!window.problems().isEmpty(), 30000);
        QTRY_VERIFY(pictureInView());
        QVERIFY(window.height() > windowHeight);
        save(whole);
        QTRY_VERIFY_WITH_TIMEOUT(window.problems().isEmpty(), 30000);
        QTRY_COMPARE(window.height(), windowHeight);
    }

    void closingDuringARenderStopsIt() {
        MainWindow window;
        window.show();
        openThroughTheDialog(window, kScene);
        actionWithId(window, 40013)->trigger();  // supersampling: a long render
        window.close();
        QVERIFY(!window.viewer().control().running());
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
