#pragma once
// Helpers of the view, panel and renderer tests: the application set-up of a GUI test binary,
// the start-up instruction box, mouse events, frames read back from the view, GL feedback
// capture, and reference values worked out independently of the code under test (jet colours,
// fixed-function lighting, map cells of a direction).

#include "glwidget.h"
#include "mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QSurfaceFormat>
#include <QTest>
#include <QTimer>

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace viewtest {

// The body of main() of a GUI test binary: a compatibility-profile default format (as the
// program's own main sets), the application object, then every test.
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

// The main window blocks in the modal instruction box while it is built; this closes the box as
// soon as it is up.
inline void closeInstructionBoxSoon() {
    auto* poll = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(poll, &QTimer::timeout, [poll, clock] {
        QWidget* box = QApplication::activeModalWidget();
        if (box || clock->elapsed() > 10000) {
            if (box) box->close();
            poll->stop();
            poll->deleteLater();
            delete clock;
        }
    });
    poll->start(0);
}

// A main window as the program shows it, instruction box closed and the first frame painted.
inline std::unique_ptr<MainWindow> openWindow() {
    closeInstructionBoxSoon();
    auto window = std::make_unique<MainWindow>();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_TRUE(waitUntil([&] { return window->view()->framesPainted() > 0; }));
    return window;
}

// Mouse events as the window system delivers them: moves carry the held button.
inline void sendMouse(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButtons held) {
    const QPointF local(p);
    QMouseEvent e(type, local, w->mapToGlobal(local), Qt::LeftButton, held, Qt::NoModifier);
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
inline constexpr Rgb markerBlue{0, 77, 255};
inline constexpr Rgb magenta{255, 0, 255};
inline constexpr Rgb black{0, 0, 0};
inline constexpr Rgb white{255, 255, 255};

// Entry n of the 256-entry jet table, from the ramp rule q(k) = floor(255 m / 64 + 0.5) with
// m = k clamped to [0, 64].
inline Rgb jetEntry(int n) {
    auto q = [](int k) {
        const int m = std::clamp(k, 0, 64);
        return static_cast<int>(std::floor(255.0 * m / 64 + 0.5));
    };
    return {q(std::min(n - 95, 287 - n)), q(std::min(n - 31, 223 - n)),
            q(std::min(n + 33, 159 - n))};
}

// Goodness byte of the generated fixture maps for attribute axis a and cell (i, j) of a W x H
// map: lround(255 (1 + a.d) / 2), d the direction of the cell's corner.
inline int fixtureGoodnessByte(const std::array<double, 3>& a, int i, int j, int W, int H) {
    const double theta = 2 * M_PI * i / W - M_PI, phi = M_PI * j / H;
    const double d[3] = {std::cos(theta) * std::sin(phi), std::sin(theta) * std::sin(phi),
                         std::cos(phi)};
    const double g = (1 + a[0] * d[0] + a[1] * d[1] + a[2] * d[2]) / 2;
    return static_cast<int>(std::lround(g * 255));
}

// The fixture's attribute axes: "front", "top", "side".
inline std::array<double, 3> fixtureAxis(int attribute) {
    if (attribute == 0) {
        const double l = std::sqrt(0.3 * 0.3 + 1 + 0.4 * 0.4);
        return {0.3 / l, -1 / l, 0.4 / l};
    }
    if (attribute == 1) return {0, 0, 1};
    return {1, 0, 0};
}

// Map cell of a viewing direction on a W x H map: azimuth and polar angle of the direction,
// column round((theta + pi) / 2pi * W) and row round(phi / pi * H), both clamped into the map.
inline void cellOf(double x, double y, double z, int W, int H, int& i, int& j) {
    const double r = std::sqrt(x * x + y * y + z * z);
    const float theta = static_cast<float>(std::atan2(y / r, x / r));
    const float phi = static_cast<float>(std::acos(z / r));
    i = static_cast<int>(std::round((theta + M_PI) / (2 * M_PI) * W));
    j = static_cast<int>(std::round(phi / M_PI * H));
    i = std::clamp(i, 0, W - 1);
    j = std::clamp(j, 0, H - 1);
}

// Colour of a lit surface with the given eye-space unit normal under the view's four lights and
// OpenGL's default material (ambient 0.2, diffuse 0.8, no specular) and light model ambient 0.2:
// sum over lights of ambient_l * 0.2 + max(n . L, 0) * diffuse_l * 0.8, plus 0.2 * 0.2; clamped.
inline Rgb litColour(double nx, double ny, double nz) {
    struct L {
        double amb[3], dif[3], pos[4];
    };
    const L lights[4] = {{{0, 0, 0}, {0.35, 0.35, 0.5}, {1, -1, 1, 0}},
                         {{0, 0, 0}, {0.9, 0.6, 0}, {-0.5, 0.5, 1, 0}},
                         {{0, 0, 0}, {0.33, 0.33, 0.33}, {0, 0, 1, 0}},
                         {{0.1, 0.1, 0.3}, {0, 0, 0}, {0, 0, 0, 1}}};
    double c[3] = {0.04, 0.04, 0.04};
    for (const L& l : lights) {
        double d = 0;
        if (l.pos[3] == 0) {
            const double len =
                std::sqrt(l.pos[0] * l.pos[0] + l.pos[1] * l.pos[1] + l.pos[2] * l.pos[2]);
            d = std::max(0.0, (nx * l.pos[0] + ny * l.pos[1] + nz * l.pos[2]) / len);
        }
        for (int k = 0; k < 3; ++k)
            c[k] += l.amb[k] * 0.2 + d * l.dif[k] * 0.8;
    }
    auto byte = [](double v) { return static_cast<int>(std::lround(std::min(v, 1.0) * 255)); };
    return {byte(c[0]), byte(c[1]), byte(c[2])};
}

// Primitives captured in GL feedback mode, window coordinates of the current viewport.
struct Primitive {
    enum Kind { Point, Line, Polygon } kind;
    std::vector<std::array<float, 3>> vertices;
};
inline std::vector<Primitive> captureFeedback(const std::function<void()>& draw) {
    std::vector<GLfloat> buffer(1 << 20);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint n = glRenderMode(GL_RENDER);
    std::vector<Primitive> out;
    auto vertex = [&](GLint& k) {
        std::array<float, 3> v{buffer[k], buffer[k + 1], buffer[k + 2]};
        k += 3;
        return v;
    };
    for (GLint k = 0; k < n;) {
        const auto token = static_cast<GLint>(buffer[k++]);
        if (token == GL_POINT_TOKEN) {
            out.push_back({Primitive::Point, {vertex(k)}});
        } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            auto a = vertex(k);
            auto b = vertex(k);
            out.push_back({Primitive::Line, {a, b}});
        } else if (token == GL_POLYGON_TOKEN) {
            const auto count = static_cast<int>(buffer[k++]);
            Primitive p{Primitive::Polygon, {}};
            for (int i = 0; i < count; ++i)
                p.vertices.push_back(vertex(k));
            out.push_back(p);
        } else if (token == GL_PASS_THROUGH_TOKEN) {
            ++k;
        } else {
            ADD_FAILURE() << "unexpected feedback token " << token;
            break;
        }
    }
    return out;
}

inline int countKind(const std::vector<Primitive>& ps, Primitive::Kind kind) {
    return static_cast<int>(
        std::count_if(ps.begin(), ps.end(), [kind](const Primitive& p) { return p.kind == kind; }));
}

} // namespace viewtest
