// The real main window driven like a user would: mouse events on the view, keys on the window,
// clicks on the panels; frames read back from the view and checked at pixels whose colour is
// worked out independently (lighting, jet colours of the fixture maps, map cells of the view).
#include "Geometry.h"
#include "RenderingSetting.h"
#include "dialog.h"
#include "extTrackball.h"
#include "support.h"
#include "textureManager.h"
#include "view_util.h"
#include "viewPath.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace viewtest;

namespace {

const double unitsAcross = 2 * 30 * std::tan(25 * M_PI / 180);
constexpr int mapW = 72, mapH = 36;

void resetState() {
    RenderingSetting& s = RenderingSetting::_instance;
    if (s.saveViewpath) s.toggleSaveViewpath();
    s.applicationMode = 2;
    s.displayMode = 0;
    s.showPaths = false;
    s.selectedModel = 0;
    s.selectedAttribute = 0;
    s.orbitType = 1;
    s.throwing = false;
    s.playing = false;
    s.modelChanged = false;
    ExtTrackball& t = ExtTrackball::_instance;
    t.nudgeStrength = 0;
    t.frictionStrength = 0;
    t.restartPath = false;
    t.viewpointTrail.clear();
    t.stdDragTrail.clear();
    t.predictedThrowPath.clear();
    viewPath::_instance.currentIndex = 0;
}

struct Orientation {
    double m[16];
    Orientation() { std::memcpy(m, ab_quat, sizeof m); }
    bool operator==(const Orientation& o) const { return std::memcmp(m, o.m, sizeof m) == 0; }
    void restore() const { std::memcpy(ab_quat, m, sizeof m); }
};

template <typename T> T* childNamed(QWidget* parent, const QString& text) {
    for (T* w : parent->findChildren<T*>())
        if (w->text() == text) return w;
    return nullptr;
}

void click(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(5, w->height() / 2));
}

// Changes the working directory while alive (the data tree is found relative to it).
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::filesystem::path& dir)
        : previous(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~WorkingDirectory() { std::filesystem::current_path(previous); }

private:
    std::filesystem::path previous;
};

class ViewTest : public testing::Test {
protected:
    void SetUp() override { open(); }
    void TearDown() override {
        window.reset();
        resetState();
    }
    void open() {
        resetState();
        window = openWindow();
        view = window->view();
        h = viewWidth() / 2;
        ppu = h / unitsAcross;
    }

    // The view's own width and height members hide QWidget's accessors.
    int viewWidth() const { return static_cast<const QWidget*>(view)->width(); }
    int viewHeight() const { return static_cast<const QWidget*>(view)->height(); }

    QImage frame() { return view->grabFramebuffer().convertToFormat(QImage::Format_RGB32); }

    // Pixel of the left (right) square at world position (u, v) of the plane z = 0.
    QPoint leftAt(double u, double v) const {
        return {static_cast<int>(std::lround(h / 2.0 + u * ppu)),
                static_cast<int>(std::lround(h / 2.0 - v * ppu))};
    }
    QPoint rightAt(double u, double v) const { return leftAt(u, v) + QPoint(h, 0); }

    Rgb at(const QImage& img, QPoint p) const { return rgbAt(img, p.x(), p.y()); }

    int countInRight(const QImage& img, Rgb colour, int tolerance) const {
        int n = 0;
        // A widget lower than half its width cuts the squares at the bottom.
        for (int y = 0; y < std::min(h, img.height()); ++y)
            for (int x = h; x < std::min(2 * h, img.width()); ++x)
                n += near(rgbAt(img, x, y), colour, tolerance);
        return n;
    }
    bool anyNear(const QImage& img, QPoint p, int radius, Rgb colour, int tolerance) const {
        for (int dy = -radius; dy <= radius; ++dy)
            for (int dx = -radius; dx <= radius; ++dx)
                if (near(rgbAt(img, p.x() + dx, p.y() + dy), colour, tolerance)) return true;
        return false;
    }

    // Widget position whose flat-map texture cell is (column, row): the inverse of the view's
    // mapping, searched pixel by pixel with the view's formulas.
    QPoint flatMapPixel(int column, int row) const {
        const int W = viewWidth();
        const int q = static_cast<int>(0.25 * W);
        QPoint p(-1, -1);
        for (int x = h; x < W && p.x() < 0; ++x) {
            const float u = static_cast<float>(static_cast<int>(x - 0.5 * W) - q) / q;
            const int c = static_cast<int>(static_cast<double>(u + 1) * 0.5 * (mapW - 1));
            if (u >= -1 && u <= 1 && c == column) p.setX(x);
        }
        for (int y = 0; y < std::min(h, viewHeight()) && p.y() < 0; ++y) {
            const float v = static_cast<float>(y - q) / q;
            const int r = static_cast<int>(static_cast<double>(v + 1) * 0.5 * (mapH - 1));
            if (v >= -1 && v <= 1 && r == row) p.setY(y);
        }
        return p;
    }

    void waitFrames(int n) {
        const long long target = view->framesPainted() + n;
        waitUntil([&] { return view->framesPainted() >= target; });
    }

    void fastDrag(QPoint from, int steps, QPoint step) {
        press(view, from);
        QPoint p = from;
        for (int k = 0; k < steps; ++k) {
            p += step;
            move(view, p);
        }
        release(view, p);
    }

    std::unique_ptr<MainWindow> window;
    GLWidget* view = nullptr;
    int h = 0;
    double ppu = 0;
};

// Direction of the corner of cell (i, j), as the conversions build it (single-precision steps).
vec cellDirection(int i, int j) {
    const float a = static_cast<float>(i) / mapW, b = static_cast<float>(j) / mapH;
    const double theta = static_cast<double>(static_cast<float>(2 * a)) * M_PI - M_PI;
    const double phi = b * M_PI;
    return vec(std::cos(theta) * std::sin(phi), std::sin(theta) * std::sin(phi), std::cos(phi));
}

void expectViewing(vec d, double tolerance = 1e-6) {
    EXPECT_NEAR(ab_quat[2], d.x, tolerance);
    EXPECT_NEAR(ab_quat[6], d.y, tolerance);
    EXPECT_NEAR(ab_quat[10], d.z, tolerance);
}

} // namespace

TEST_F(ViewTest, StartShowsTheLitModelOnWhiteAndTheJetSphere) {
    const QImage img = frame();
    // The torus seen from its -y side, +z up: at the centre its outer wall faces the viewer.
    const Rgb lit = litColour(0, 0, 1);
    EXPECT_TRUE(near(at(img, leftAt(0, 0)), lit, 8)) << at(img, leftAt(0, 0)) << " vs " << lit;
    EXPECT_TRUE(near(at(img, leftAt(0, 6)), white, 0)) << "above the ring";
    EXPECT_TRUE(near(at(img, QPoint(3, 3)), white, 0));
    EXPECT_TRUE(near(at(img, QPoint(h + 3, 3)), white, 0)) << "outside the sphere";

    // The sphere's centre shows the jet colour of the cell of the current view.
    int i, j;
    cellOf(ab_quat[2], ab_quat[6], ab_quat[10], mapW, mapH, i, j);
    const Rgb expected = jetEntry(fixtureGoodnessByte(fixtureAxis(0), i, j, mapW, mapH));
    const QPoint centre = rightAt(0.2, 0.2);
    EXPECT_TRUE(near(at(img, centre), expected, 24)) << at(img, centre) << " vs " << expected;
    // The centre cross.
    EXPECT_TRUE(near(at(img, rightAt(0.75, 0)), markerBlue, 2)) << at(img, rightAt(0.75, 0));
    EXPECT_TRUE(near(at(img, rightAt(0, -0.75)), markerBlue, 2));
    // Below the squares the widget stays white.
    if (viewHeight() > h + 2) {
        EXPECT_TRUE(near(at(img, QPoint(h / 2, viewHeight() - 1)), white, 0));
    }
}

TEST_F(ViewTest, SpaceShowsTheFlatMapWithTheMarkerOnTheCurrentCell) {
    QTest::keyClick(window.get(), Qt::Key_Space);
    ASSERT_EQ(RenderingSetting::_instance.displayMode, 1);
    const QImage img = frame();
    int i, j;
    cellOf(ab_quat[2], ab_quat[6], ab_quat[10], mapW, mapH, i, j);
    const double u = 28.0 * (static_cast<double>(i) / mapW - 0.5);
    const double v = -28.0 * (static_cast<double>(j) / mapH - 0.5);
    EXPECT_TRUE(anyNear(img, rightAt(u + 0.75, v), 1, markerBlue, 2))
        << at(img, rightAt(u + 0.75, v));
    EXPECT_TRUE(anyNear(img, rightAt(u, v - 0.75), 1, markerBlue, 2));
    EXPECT_FALSE(anyNear(img, rightAt(u + 3, v), 1, markerBlue, 30));

    // Texel centres of the map show the jet colours of their cells: column 0 at the left, row 0
    // (the +z pole) at the top.
    for (auto [ci, cj] : {std::pair{4, 6}, {30, 20}, {60, 30}, {70, 10}}) {
        const double tu = 28.0 * (ci + 0.5) / mapW - 14, tv = 14 - 28.0 * (cj + 0.5) / mapH;
        const Rgb texel = jetEntry(fixtureGoodnessByte(fixtureAxis(0), ci, cj, mapW, mapH));
        EXPECT_TRUE(near(at(img, rightAt(tu, tv)), texel, 6))
            << ci << "," << cj << ": " << at(img, rightAt(tu, tv)) << " vs " << texel;
    }
    QTest::keyClick(window.get(), Qt::Key_Space);
    EXPECT_EQ(RenderingSetting::_instance.displayMode, 0);
}

TEST_F(ViewTest, ClickOnTheFlatMapLooksFromThatCell) {
    QTest::keyClick(window.get(), Qt::Key_Space);
    // Cell (36, 18) is the direction (1, 0, 0), the best view of the "side" attribute.
    const QPoint p = flatMapPixel(36, 18);
    ASSERT_GE(p.x(), 0);
    ASSERT_GE(p.y(), 0);
    press(view, p);
    release(view, p);
    expectViewing(cellDirection(36, 18));
    const Orientation clicked;

    auto* attributes = window->visualizerPanel()->findChildren<QComboBox*>().at(1);
    attributes->setCurrentIndex(2);
    ASSERT_EQ(RenderingSetting::_instance.selectedAttribute, 2);
    QTest::keyClick(window.get(), Qt::Key_Space);
    const QImage img = frame();
    // Goodness 1 there and 253..255 one cell around: jet entries 253..255, red 128..135.
    const Rgb c = at(img, rightAt(0.2, 0.2));
    EXPECT_GE(c.r, 124);
    EXPECT_LE(c.r, 139);
    EXPECT_LE(c.g, 4);
    EXPECT_LE(c.b, 4);
    // Outside Trackball mode the released click does not travel on.
    waitFrames(5);
    EXPECT_TRUE(Orientation() == clicked);
}

TEST_F(ViewTest, DragTurnsTheModelExactlyAsTheEngineSays) {
    window->tabs()->setCurrentIndex(1);
    ASSERT_EQ(RenderingSetting::_instance.applicationMode, 1);
    ExtTrackball& t = ExtTrackball::_instance;
    struct Case {
        const char* name;
        QPoint from;
        bool rightView;
    };
    // A press at x = half belongs to the left view.
    for (const Case& c : {Case{"left", {150, 200}, false}, Case{"edge", {h, 150}, false},
                          Case{"sphere", {h + 150, 200}, true}}) {
        t.init();
        const Orientation before;
        // About 1.5 map cells per pixel on the fixture's 72 x 36 maps: small steps, mostly along
        // the equator, so that no case runs into a pole.
        std::vector<QPoint> path{c.from};
        for (QPoint d : {QPoint(3, 1), QPoint(4, 1), QPoint(5, 0), QPoint(4, -1), QPoint(3, 0)})
            path.push_back(path.back() + d);

        press(view, path[0]);
        for (size_t k = 1; k < path.size(); ++k)
            move(view, path[k]);
        const Orientation dragged;
        const size_t trail = t.viewpointTrail.size(), stdTrail = t.stdDragTrail.size();
        release(view, path.back());
        RenderingSetting::_instance.throwing = false;
        EXPECT_FALSE(dragged == before) << c.name;

        // The engine alone, fed the same positions the way the view converts them.
        before.restore();
        const int offset = c.rightView ? h : 0;
        view->makeCurrent();
        view->reset_view();
        t.clearMousePath();
        t.firstThrowStep = true;
        t.averageSpeed = 0;
        t.recordMousePath(path[0].x(), path[0].y());
        t.viewpointTrail.assign(1, vec(ab_quat[2], ab_quat[6], ab_quat[10]));
        t.stdDragTrail.clear();
        t.start(path[0].x() - offset, h - path[0].y() - 1);
        for (size_t k = 1; k < path.size(); ++k) {
            t.recordMousePath(path[k].x(), path[k].y());
            t.standardTrackballMove(path[k].x() - offset, h - path[k].y() - 1);
            t.nudgedMove(path[k].x() - offset, h - path[k].y() - 1);
        }
        view->doneCurrent();
        EXPECT_TRUE(Orientation() == dragged) << c.name;
        EXPECT_EQ(t.viewpointTrail.size(), trail) << c.name;
        EXPECT_EQ(t.stdDragTrail.size(), stdTrail) << c.name;
        t.viewpointTrail.clear();
        t.stdDragTrail.clear();
    }
}

TEST_F(ViewTest, ReleasedDragTravelsOnOnlyInTrackballMode) {
    for (int tab : {1, 0, 2}) {
        window->tabs()->setCurrentIndex(tab);
        if (tab == 2) {
            // In Orbit mode a press does not touch the trackball.
            const Orientation before;
            press(view, {150, 200});
            EXPECT_TRUE(Orientation() == before);
            release(view, {150, 200});
        }
        fastDrag({60, 240}, 6, {12, 0});
        const Orientation released;
        waitFrames(10);
        if (tab == 1)
            EXPECT_FALSE(Orientation() == released) << "a throw keeps the view moving";
        else if (tab == 0)
            EXPECT_TRUE(Orientation() == released) << "no throw in the Visualizer";
        else
            EXPECT_TRUE(ExtTrackball::_instance.throwStepCount == 0) << "no throw steps in Orbit";
    }
}

TEST_F(ViewTest, OffStopsAThrowAtOnce) {
    window->tabs()->setCurrentIndex(1);
    fastDrag({60, 240}, 6, {12, 0});
    const Orientation released;
    ASSERT_TRUE(waitUntil([&] { return !(Orientation() == released); }, 1000));
    click(childNamed<QRadioButton>(window->trackballPanel(), "Off"));
    EXPECT_FALSE(RenderingSetting::_instance.throwing);
    EXPECT_EQ(ExtTrackball::_instance.nudgeStrength, 0.0f);
    EXPECT_EQ(ExtTrackball::_instance.frictionStrength, 0.0f);
    const Orientation stopped;
    waitFrames(8);
    EXPECT_TRUE(Orientation() == stopped);
}

TEST_F(ViewTest, FlatMapDragSetsTheViewAndDoesNotThrow) {
    window->tabs()->setCurrentIndex(1);
    QTest::keyClick(window.get(), Qt::Key_Space);
    const QPoint a = flatMapPixel(36, 18), b = flatMapPixel(44, 12);
    press(view, a);
    expectViewing(cellDirection(36, 18));
    move(view, b);
    expectViewing(cellDirection(44, 12));
    release(view, b);
    const Orientation released;
    waitFrames(8);
    EXPECT_TRUE(Orientation() == released);
    // A move off the map square (below it, beyond the widget while the button is held) changes
    // nothing but is still followed by a frame.
    press(view, a);
    const Orientation pressed;
    const long long frames = view->framesPainted();
    move(view, {a.x(), static_cast<int>(0.25 * viewWidth()) * 2 + 20});
    EXPECT_TRUE(Orientation() == pressed);
    EXPECT_TRUE(waitUntil([&] { return view->framesPainted() > frames; }, 1000));
    release(view, a);
}

TEST_F(ViewTest, TrailsShowWhileDraggingAndTheThrowAfterRelease) {
    window->tabs()->setCurrentIndex(1);
    // Without friction the throw is stepped live and runs on: its trail grows every tick.
    click(childNamed<QRadioButton>(window->trackballPanel(), "Slider Settings"));
    for (QSlider* s : window->trackballPanel()->findChildren<QSlider*>())
        if (s->maximum() == 40) s->setValue(0);
    ASSERT_EQ(ExtTrackball::_instance.frictionStrength, 0.0f);
    press(view, {100, 240});
    QPoint p(100, 240);
    for (int k = 0; k < 8; ++k) {
        p += QPoint(6, k % 2);
        move(view, p);
    }
    QImage img = frame();
    EXPECT_GT(countInRight(img, black, 30) + countInRight(img, magenta, 30), 20);
    release(view, p);
    EXPECT_TRUE(ExtTrackball::_instance.stdDragTrail.empty());
    waitFrames(8);
    EXPECT_GT(ExtTrackball::_instance.viewpointTrail.size(), 3u);
    img = frame();
    EXPECT_GT(countInRight(img, magenta, 30), 10) << "the throw's trail";

    // Other modes draw no trails.
    window->tabs()->setCurrentIndex(0);
    press(view, {100, 240});
    move(view, {140, 230});
    move(view, {180, 220});
    img = frame();
    EXPECT_EQ(countInRight(img, magenta, 30), 0);
    EXPECT_EQ(countInRight(img, black, 30), 0);
    release(view, {180, 220});
}

TEST_F(ViewTest, OrbitPlaysPausesAndResumesAtTheCurrentPoint) {
    window->tabs()->setCurrentIndex(2);
    viewPath& path = viewPath::_instance;
    ASSERT_EQ(path.pathPoints.size(), 200u);
    auto* play = childNamed<QCheckBox>(window->scrubberPanel(), "play");
    ASSERT_NE(play, nullptr);
    click(play);
    ASSERT_TRUE(RenderingSetting::_instance.playing);
    // 200 points: one point every 200 / 1.5 = 133 ms.
    EXPECT_TRUE(waitUntil([&] { return path.currentIndex >= 3; }, 3000));

    click(play);
    waitFrames(2);
    const int paused = path.currentIndex;
    QTest::qWait(400);
    EXPECT_EQ(path.currentIndex, paused);
    const PathPoint p = path.pathPoints[paused];
    expectViewing(vec(std::cos(double(p.theta)) * std::sin(double(p.phi)),
                      std::sin(double(p.theta)) * std::sin(double(p.phi)),
                      std::cos(double(p.phi))));

    click(play);
    waitFrames(2);
    EXPECT_GE(path.currentIndex, paused);
    // A jump to the clock's point would land 3 or more points on (the pause took 400 ms).
    EXPECT_LE(path.currentIndex, paused + 2) << "resumes where it paused";
    EXPECT_TRUE(waitUntil([&] { return path.currentIndex >= paused + 3; }, 3000));
    click(play);

    // The turntable plays through the same index.
    click(childNamed<QRadioButton>(window->scrubberPanel(), "turntable"));
    waitFrames(2);
    const PathPoint q = path.turntablePoints[path.currentIndex];
    expectViewing(vec(std::cos(double(q.theta)) * std::sin(double(q.phi)),
                      std::sin(double(q.theta)) * std::sin(double(q.phi)),
                      std::cos(double(q.phi))));
}

TEST_F(ViewTest, ScrubbingMovesTheIndexByTheDragLength) {
    window->tabs()->setCurrentIndex(2);
    viewPath& path = viewPath::_instance;
    ASSERT_EQ(path.pathPoints.size(), 200u);
    window->scrubberPanel()->findChild<QSlider*>()->setValue(198);
    ASSERT_EQ(path.currentIndex, 198);
    press(view, {300, 200});
    // (-30, 40): d = 50, s = trunc(50 * 6 / 200 + 0.5) = 2, leftwards forwards: 198 + 2 wraps to 0.
    move(view, {270, 240});
    EXPECT_EQ(path.currentIndex, 0);
    // (3, 4): d = 5, s = trunc(0.15 + 0.5) = 0.
    move(view, {273, 244});
    EXPECT_EQ(path.currentIndex, 0);
    // (30, -40): rightwards goes back, 0 - 2 wraps to 198.
    move(view, {303, 204});
    EXPECT_EQ(path.currentIndex, 198);
    // (-300, 400): d = 500, s = 15.
    move(view, {3, 604});
    EXPECT_EQ(path.currentIndex, 13);
    release(view, {3, 604});
}

TEST_F(ViewTest, VShowsTheOrbitAndTurntableOverlays) {
    window->tabs()->setCurrentIndex(2);
    ASSERT_TRUE(RenderingSetting::_instance.showPaths);
    QImage img = frame();
    EXPECT_GT(countInRight(img, magenta, 40), 40);
    EXPECT_GT(countInRight(img, black, 40), 40);
    QTest::keyClick(window.get(), Qt::Key_V);
    img = frame();
    EXPECT_EQ(countInRight(img, magenta, 40), 0);
    EXPECT_EQ(countInRight(img, black, 40), 0);

    QTest::keyClick(window.get(), Qt::Key_V);
    QTest::keyClick(window.get(), Qt::Key_Space);
    img = frame();
    // The turntable runs at phi = 3 pi / 8: row round(13.5) = 14 on a 36-row map.
    const double tv = -28.0 * (14.0 / mapH - 0.5);
    for (double u : {-10.0, -3.0, 5.0, 12.0})
        EXPECT_TRUE(anyNear(img, rightAt(u, tv), 1, black, 40)) << "turntable at u = " << u;
    // The orbit passes through the cell corners of the fixture orbit's points.
    for (int k : {5, 30, 55, 80}) {
        char line[64];
        const double theta0 = -M_PI + 2 * M_PI * (k + 0.5) / 100;
        std::snprintf(line, sizeof line, "%f %f", theta0, 1.2 + 0.3 * std::sin(2 * theta0));
        float theta, phi;
        std::sscanf(line, "%f %f", &theta, &phi);
        const int i = static_cast<int>(std::round((theta + M_PI) / (2 * M_PI) * mapW));
        const int j = static_cast<int>(std::round(phi / M_PI * mapH));
        const double u = 28.0 * (static_cast<double>(i) / mapW - 0.5);
        const double v = -28.0 * (static_cast<double>(j) / mapH - 0.5);
        EXPECT_TRUE(anyNear(img, rightAt(u, v), 2, magenta, 40)) << "orbit point " << k;
    }
}

TEST_F(ViewTest, DRecordsOneLinePerFrame) {
    const std::filesystem::path file = "..\\File\\viewpath.txt";
    std::filesystem::remove(file);
    QTest::keyClick(window.get(), Qt::Key_D);
    ASSERT_TRUE(RenderingSetting::_instance.saveViewpath);
    const long long first = view->framesPainted();
    waitFrames(8);
    QTest::keyClick(window.get(), Qt::Key_D);
    const long long frames = view->framesPainted() - first;
    ASSERT_FALSE(RenderingSetting::_instance.saveViewpath);

    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    EXPECT_EQ(static_cast<long long>(lines.size()), frames);
    ASSERT_FALSE(lines.empty());
    // Each line is the view's azimuth and polar angle.
    const double x = ab_quat[2], y = ab_quat[6], z = ab_quat[10];
    const double r = std::sqrt(x * x + y * y + z * z);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%f %f", double(float(std::atan2(y / r, x / r))),
                  double(float(std::acos(z / r))));
    EXPECT_EQ(lines.back(), expected);
    std::filesystem::remove(file);
}

TEST_F(ViewTest, ModelChangeCarriesOverAndReloadsBeforeTheNextFrame) {
    // 12.8 units right of the centre lies the box's near face but no part of the torus.
    QImage img = frame();
    ASSERT_TRUE(near(at(img, leftAt(12.8, 0)), white, 0));
    const float* mapsBefore = textureManager::_instance.mapData;
    window->visualizerPanel()->findChild<QComboBox*>()->setCurrentIndex(1);
    EXPECT_TRUE(RenderingSetting::_instance.modelChanged);
    img = frame();
    EXPECT_FALSE(RenderingSetting::_instance.modelChanged);
    EXPECT_EQ(view->geometryData()->model.nverts, 8);
    EXPECT_NE(textureManager::_instance.mapData, mapsBefore);
    EXPECT_FALSE(near(at(img, leftAt(12.8, 0)), white, 10)) << at(img, leftAt(12.8, 0));
    EXPECT_FALSE(near(at(img, leftAt(0, 3.5)), white, 10));

    window->tabs()->setCurrentIndex(1);
    EXPECT_EQ(window->trackballPanel()->findChild<QComboBox*>()->currentIndex(), 1);
    window->tabs()->setCurrentIndex(2);
    EXPECT_EQ(window->scrubberPanel()->findChild<QComboBox*>()->currentIndex(), 1);
    EXPECT_EQ(RenderingSetting::_instance.selectedModel, 1);
}

// A tree whose model has no orbit file, and one whose orbit holds two points.
TEST(ViewWithoutAPath, NothingScrubsOrPlays) {
    testsupport::TempDir dir;
    testsupport::copyFixtureTree(dir.path());
    std::filesystem::remove(dir / "Data/Orbits/torus_orbit.txt");
    std::filesystem::create_directories(dir / "run");
    WorkingDirectory cwd(dir / "run");
    resetState();
    viewPath::_instance.pathPoints.clear();
    auto window = openWindow();
    GLWidget* view = window->view();
    window->tabs()->setCurrentIndex(2);
    ASSERT_TRUE(viewPath::_instance.pathPoints.empty());
    waitUntil([&] { return view->framesPainted() > 3; });
    const Orientation start;
    click(childNamed<QCheckBox>(window->scrubberPanel(), "play"));
    QTest::qWait(300);
    EXPECT_TRUE(Orientation() == start);
    EXPECT_EQ(viewPath::_instance.currentIndex, 0);
    press(view, {300, 200});
    move(view, {270, 240});
    release(view, {270, 240});
    EXPECT_EQ(viewPath::_instance.currentIndex, 0);
    EXPECT_TRUE(Orientation() == start);
    window.reset();
    resetState();
}

TEST(ViewWithAShortPath, ScrubStepsLongerThanThePathWrapInside) {
    testsupport::TempDir dir;
    testsupport::copyFixtureTree(dir.path());
    testsupport::writeFile(dir / "Data/Orbits/torus_orbit.txt", "0.5 1.0\n1.5 1.2\n");
    std::filesystem::create_directories(dir / "run");
    WorkingDirectory cwd(dir / "run");
    resetState();
    auto window = openWindow();
    GLWidget* view = window->view();
    window->tabs()->setCurrentIndex(2);
    ASSERT_EQ(viewPath::_instance.pathPoints.size(), 4u);
    press(view, {300, 200});
    // d = 50, s = trunc(50 * 6 / 4 + 0.5) = 75: 0 + 75 is 3 round a path of 4.
    move(view, {270, 240});
    EXPECT_EQ(viewPath::_instance.currentIndex, 3);
    // d = 500, s = 750 backwards: 3 - 750 is 1 round the path.
    move(view, {570, -160});
    EXPECT_EQ(viewPath::_instance.currentIndex, 1);
    release(view, {570, -160});
    window.reset();
    resetState();
}

TEST(ViewWithAMissingMap, AFailedAttributeLoadKeepsShowingTheOldMap) {
    testsupport::TempDir dir;
    testsupport::copyFixtureTree(dir.path());
    std::filesystem::remove(dir / "Data/Attributes/torus/torus_top.pgm");
    std::filesystem::create_directories(dir / "run");
    WorkingDirectory cwd(dir / "run");
    resetState();
    auto window = openWindow();
    GLWidget* view = window->view();
    const int h = static_cast<QWidget*>(view)->width() / 2;
    const double ppu = h / unitsAcross;
    const QPoint centre(h + h / 2 + static_cast<int>(0.2 * ppu),
                        h / 2 - static_cast<int>(0.2 * ppu));
    const Rgb before = rgbAt(view->grabFramebuffer(), centre.x(), centre.y());
    ASSERT_FALSE(near(before, white, 30));
    const float* cells = textureManager::_instance.mapData;
    // "top" has no goodness file in this tree: the load fails and the "front" map stays, both
    // its numbers and its picture.
    window->visualizerPanel()->findChildren<QComboBox*>().at(1)->setCurrentIndex(1);
    EXPECT_EQ(textureManager::_instance.mapData, cells);
    const Rgb after = rgbAt(view->grabFramebuffer(), centre.x(), centre.y());
    EXPECT_TRUE(near(after, before, 2)) << after << " vs " << before;
    window.reset();
    resetState();
}

int main(int argc, char** argv) {
    return runGuiTests(argc, argv);
}
