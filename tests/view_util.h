#pragma once
// Helpers of the GUI tests: the application set-up of a test binary, a main window with its
// start-up instruction box closed, mouse events, pixels, and the jet colours worked out
// independently of the code under test.

#include "glwidget.h"
#include "maps_util.h"
#include "mainwindow.h"
#include "support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSurfaceFormat>
#include <QTest>
#include <QTimer>

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>

namespace viewtest {

// The body of main(): a compatibility-profile default format, as the program sets, then the tests.
inline int runGuiTests(int argc, char** argv) {
    QSurfaceFormat format;
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// Waits, handling events, until ready() holds or ms have passed. Returns ready().
inline bool waitUntil(const std::function<bool()>& ready, int ms = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!ready() && clock.elapsed() < ms)
        QTest::qWait(5);
    return ready();
}

// What the last modal box closed by closeNextBox showed, and whether a main window stood visible
// under it.
struct SeenBox {
    QString title, text;
    bool overVisibleWindow = false;
    int count = 0;
};
inline SeenBox seenBox;

// Closes the next modal box once it is up (giving up after 10 s), noting what it showed.
inline void closeNextBox() {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box) return;
        if (auto* message = qobject_cast<QMessageBox*>(box)) {
            seenBox.title = message->windowTitle();
            seenBox.text = message->text();
        }
        const auto windows = QApplication::topLevelWidgets();
        seenBox.overVisibleWindow = std::any_of(windows.begin(), windows.end(), [](QWidget* w) {
            return qobject_cast<MainWindow*>(w) && w->isVisible();
        });
        ++seenBox.count;
        box->close();
        poll->stop();
        poll->deleteLater();
    });
    QTimer::singleShot(10000, poll, &QObject::deleteLater);
    poll->start(0);
}

// A main window as the program shows it, first frame painted. Its constructor blocks in the modal
// instruction box, which closeNextBox closes.
inline std::unique_ptr<MainWindow> openWindow() {
    seenBox = {};
    closeNextBox();
    auto window = std::make_unique<MainWindow>();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_TRUE(waitUntil([&] { return window->view()->framesPainted() > 0; }));
    return window;
}

// The panel's child of that type showing that text, and a click on such a button.
template <typename T> T* childNamed(QWidget* parent, const QString& text) {
    for (T* w : parent->findChildren<T*>())
        if (w->text() == text) return w;
    return nullptr;
}
inline void click(QWidget* panel, const QString& button) {
    auto* b = childNamed<QAbstractButton>(panel, button);
    ASSERT_NE(b, nullptr) << button.toStdString();
    b->click();
}

// A copy of the fixture tree, the working directory its run/ folder until it is destroyed.
struct ScratchTree {
    testsupport::TempDir dir;
    std::filesystem::path back = std::filesystem::current_path();
    ScratchTree() {
        testsupport::copyFixtureTree(dir.path());
        std::filesystem::create_directories(dir / "run");
        std::filesystem::current_path(dir / "run");
    }
    ~ScratchTree() { std::filesystem::current_path(back); }
};

// Mouse events as the window system delivers them: moves carry the held button.
inline void sendMouse(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(p), w->mapToGlobal(QPointF(p)), Qt::LeftButton, held, {});
    QApplication::sendEvent(w, &e);
}
inline void press(QWidget* w, QPoint p) {
    sendMouse(w, QEvent::MouseButtonPress, p, Qt::LeftButton);
}
inline void move(QWidget* w, QPoint p) {
    sendMouse(w, QEvent::MouseMove, p, Qt::LeftButton);
}
inline void release(QWidget* w, QPoint p) {
    sendMouse(w, QEvent::MouseButtonRelease, p, Qt::NoButton);
}

struct Rgb {
    int r, g, b;
};
inline Rgb rgbAt(const QImage& image, int x, int y) {
    const QRgb c = image.pixel(x, y);
    return {qRed(c), qGreen(c), qBlue(c)};
}
inline bool near(Rgb a, Rgb b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}
inline std::ostream& operator<<(std::ostream& os, Rgb c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

// Marker blue (0, 0.3, 1) and the overlay colours as 8-bit channels.
inline constexpr Rgb markerBlue{0, 77, 255}, magenta{255, 0, 255}, black{0, 0, 0},
    white{255, 255, 255};

} // namespace viewtest
