// The real main window driven like a user would: mouse events on the view, keys on the window,
// clicks on the panels and the menu; its layout, instruction box and mode switches; frames read
// back from the view and checked at pixels whose colour is worked out independently (lighting,
// jet colours of the fixture maps, map cells of the view).
#include "Geometry.h"
#include "RenderingSetting.h"
#include "dialog.h"
#include "extTrackball.h"
#include "geometryRenderer.h"
#include "support.h"
#include "textureManager.h"
#include "view_util.h"
#include "viewPath.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QScrollArea>
#include <QSlider>
#include <QTabWidget>

#include <array>
#include <cstring>
#include <filesystem>

using namespace viewtest;

namespace {

// Jet colour of cell (i, j) of the fixture's 72 x 36 "front" map: goodness lround(255 (1 + a.d)
// / 2), d the direction of the cell's corner, a = (0.3, -1, 0.4) normalised.
Rgb frontJet(int i, int j) {
    const double theta = 2 * M_PI * i / 72 - M_PI, phi = M_PI * j / 36;
    const double a =
        (0.3 * std::cos(theta) - std::sin(theta)) * std::sin(phi) + 0.4 * std::cos(phi);
    const auto [r, g, b] =
        mapsutil::jetEntry(static_cast<int>(std::lround(255 * (1 + a / std::sqrt(1.25)) / 2)));
    return {r, g, b};
}

void expectViewing(double theta, double phi) {
    EXPECT_NEAR(ab_quat[2], std::cos(theta) * std::sin(phi), 1e-6);
    EXPECT_NEAR(ab_quat[6], std::sin(theta) * std::sin(phi), 1e-6);
    EXPECT_NEAR(ab_quat[10], std::cos(phi), 1e-6);
}

struct Orientation {
    double m[16];
    Orientation() { std::memcpy(m, ab_quat, sizeof m); }
    bool operator==(const Orientation& o) const { return std::memcmp(m, o.m, sizeof m) == 0; }
};

// The group boxes of a panel's top row: each title with the widgets of its grid, row by row. A
// checked button or the current combo item gets a "*"; a slider shows its range, single and
// page step, tick interval (and "below"), value and "off" when disabled.
QString describe(QWidget* panel) {
    QStringList boxes;
    auto* grid = qobject_cast<QGridLayout*>(panel->layout());
    for (int c = 0; c < grid->columnCount(); ++c) {
        auto* box = qobject_cast<QGroupBox*>(grid->itemAtPosition(0, c)->widget());
        auto* inner = qobject_cast<QGridLayout*>(box->layout());
        QStringList items;
        for (int r = 0; r < inner->rowCount(); ++r) {
            QWidget* x = inner->itemAtPosition(r, 0)->widget();
            if (auto* b = qobject_cast<QAbstractButton*>(x))
                items << b->text() + (b->isChecked() ? "*" : "");
            if (auto* l = qobject_cast<QLabel*>(x)) items << l->text();
            if (auto* cb = qobject_cast<QComboBox*>(x))
                for (int i = 0; i < cb->count(); ++i)
                    items << cb->itemText(i) + (i == cb->currentIndex() ? "*" : "");
            auto* s = qobject_cast<QSlider*>(
                inner->itemAtPosition(r, inner->columnCount() - 1)->widget());
            if (s && s->orientation() == Qt::Horizontal)
                items << QString::asprintf("%d..%d/%d/%d ticks %d%s =%d%s", s->minimum(),
                                           s->maximum(), s->singleStep(), s->pageStep(),
                                           s->tickInterval(),
                                           s->tickPosition() == QSlider::TicksBelow ? " below" : "",
                                           s->value(), s->isEnabled() ? "" : " off");
        }
        boxes << box->title() + "[" + items.join(", ") + "]";
    }
    return boxes.join(" ");
}

void resetState() {
    RenderingSetting& s = RenderingSetting::_instance;
    if (s.saveViewpath) s.toggleSaveViewpath();
    s.applicationMode = 2;
    s.displayMode = s.selectedModel = s.selectedAttribute = 0;
    s.orbitType = 1;
    s.showPaths = s.throwing = s.playing = s.modelChanged = false;
    ExtTrackball::_instance.nudgeStrength = ExtTrackball::_instance.frictionStrength = 0;
    viewPath::_instance.currentIndex = 0;
}

class ViewTest : public testing::Test {
protected:
    void SetUp() override {
        resetState();
        window = openWindow();
        view = window->view();
        w = static_cast<QWidget*>(view)->width();
        h = std::min(w / 2, static_cast<QWidget*>(view)->height());
    }
    void TearDown() override {
        window.reset();
        resetState();
    }

    QImage frame() { return view->grabFramebuffer().convertToFormat(QImage::Format_RGB32); }
    // Pixel of the left (right) square at world position (u, v) of the plane z = 0, which the
    // square shows 2 * 30 * tan(25 deg) units wide.
    QPoint leftAt(double u, double v) const {
        const double ppu = h / (2 * 30 * std::tan(25 * M_PI / 180));
        return {static_cast<int>(std::lround(h / 2.0 + u * ppu)),
                static_cast<int>(std::lround(h / 2.0 - v * ppu))};
    }
    QPoint rightAt(double u, double v) const { return leftAt(u, v) + QPoint(h, 0); }
    // Right-square pixel of the flat-map position of cell (i, j), or of the centre of that cell.
    QPoint cellAt(double i, double j) const {
        return rightAt(28 * (i / 72 - 0.5), -28 * (j / 36 - 0.5));
    }
    static Rgb at(const QImage& img, QPoint p) { return rgbAt(img, p.x(), p.y()); }
    int countInRight(const QImage& img, Rgb colour) const {
        int n = 0;
        for (int y = 0; y < std::min(h, img.height()); ++y)
            for (int x = h; x < std::min(2 * h, img.width()); ++x)
                n += near(rgbAt(img, x, y), colour, 30);
        return n;
    }
    static bool anyNear(const QImage& img, QPoint p, int radius, Rgb colour, int tolerance) {
        for (int dy = -radius; dy <= radius; ++dy)
            for (int dx = -radius; dx <= radius; ++dx)
                if (near(rgbAt(img, p.x() + dx, p.y() + dy), colour, tolerance)) return true;
        return false;
    }
    // The view's flat map: u = (x - h - q) / q, v = (y - q) / q with q = h / 2, cell
    // (u + 1) / 2 * (72 - 1) across, (v + 1) / 2 * (36 - 1) down; here the middle of a cell.
    QPoint flatMapPixel(int i, int j) const {
        const int q = h / 2;
        return {static_cast<int>(h + q + ((2 * i + 1) / 71.0 - 1) * q),
                static_cast<int>(q + ((2 * j + 1) / 35.0 - 1) * q)};
    }
    void waitFrames(int n) {
        const long long target = view->framesPainted() + n;
        EXPECT_TRUE(waitUntil([&] { return view->framesPainted() >= target; })) << "no frame";
    }
    void waitTicks(int n) {
        const long long target = view->ticks() + n;
        waitUntil([&] { return view->ticks() >= target; });
    }
    // Frames painted over n ticks, after two for what is pending.
    long long paintsOver(int n) {
        waitTicks(2);
        const long long frames = view->framesPainted();
        waitTicks(n);
        return view->framesPainted() - frames;
    }
    // A drag of eight moves from the starting view, released while moving or after a rest.
    void drag(QPoint p, int restMs = 0) {
        ExtTrackball::_instance.init();
        press(view, p);
        for (int k = 0; k < 8; ++k)
            move(view, p += QPoint(8, k % 2));
        if (restMs) QTest::qWait(restMs);
        release(view, p);
    }

    std::unique_ptr<MainWindow> window;
    GLWidget* view = nullptr;
    int w = 0, h = 0;
};

} // namespace

TEST_F(ViewTest, StartShowsTheLitModelAndTheJetSphereAndSpaceTheFlatMap) {
    // Texturing left on with the map bound, as before the first frame: the model has no texture
    // coordinates and must show its lit colour, not that colour times one texel.
    view->makeCurrent();
    glEnable(GL_TEXTURE_2D);
    view->doneCurrent();
    QImage img = frame();
    // The torus seen from its -y side, +z up: at the centre its outer wall faces the viewer. Lit
    // by the four lights with OpenGL's default material (ambient 0.2, diffuse 0.8) and ambient
    // 0.2: 0.2 * 0.2 + 0.2 * (0.1, 0.1, 0.3) + 0.8 * ((0.35, 0.35, 0.5) / sqrt 3 + (0.9, 0.6, 0)
    // / sqrt 1.5 + (0.33, 0.33, 0.33)) = (1.074, 0.878, 0.595), clamped: (255, 224, 152).
    EXPECT_TRUE(near(at(img, leftAt(0, 0)), Rgb{255, 224, 152}, 8)) << at(img, leftAt(0, 0));
    EXPECT_TRUE(near(at(img, leftAt(0, 6)), white, 0)) << "above the ring";
    EXPECT_TRUE(near(at(img, rightAt(-13.5, 13.5)), white, 0)) << "outside the sphere";
    // The sphere's centre shows the jet colour of the current view's cell; the centre cross shows
    // through the sphere's near side, open between its centre and its arms.
    const double x = ab_quat[2], y = ab_quat[6], z = ab_quat[10];
    const double theta = std::atan2(y, x), phi = std::acos(z / std::hypot(x, y, z));
    const int i = std::clamp(static_cast<int>(std::round((theta + M_PI) / (2 * M_PI) * 72)), 0, 71);
    const int j = std::clamp(static_cast<int>(std::round(phi / M_PI * 36)), 0, 35);
    EXPECT_TRUE(near(at(img, rightAt(0.2, 0.2)), frontJet(i, j), 24)) << at(img, rightAt(0.2, 0.2));
    EXPECT_TRUE(near(at(img, rightAt(0.3, 0)), frontJet(i, j), 24));
    EXPECT_TRUE(near(at(img, rightAt(0.75, 0)), markerBlue, 2)) << at(img, rightAt(0.75, 0));
    EXPECT_TRUE(near(at(img, rightAt(0, -0.75)), markerBlue, 2));

    // Drawn from buffers or corner by corner, also with the model's triangles scattered through
    // its list (a vertex per corner then instead of indices), the frame is the same.
    Smesh& model = view->geometryData()->model;
    const std::vector<Striangle> tris(model.tris, model.tris + model.ntris);
    for (bool scattered : {false, true}) {
        for (size_t k = 0; scattered && k < tris.size(); ++k)
            model.tris[k] = tris[(k * 1237) % tris.size()];
        view->meshesChanged();
        view->rendererData()->useBuffers = true;
        img = frame();
        EXPECT_EQ(view->rendererData()->bufferCount(), 2);
        view->rendererData()->useBuffers = false;
        EXPECT_TRUE(frame() == img) << "buffered and corner-by-corner frames differ";
    }

    QTest::keyClick(window.get(), Qt::Key_Space);
    ASSERT_EQ(RenderingSetting::_instance.displayMode, 1);
    img = frame();
    // The marker on the current cell's corner.
    EXPECT_TRUE(anyNear(img, cellAt(i, j) + leftAt(0.75, 0) - leftAt(0, 0), 1, markerBlue, 2));
    EXPECT_TRUE(anyNear(img, cellAt(i, j) + leftAt(0, -0.75) - leftAt(0, 0), 1, markerBlue, 2));
    EXPECT_FALSE(anyNear(img, cellAt(i, j) + leftAt(3, 0) - leftAt(0, 0), 1, markerBlue, 30));
    // Texel centres show the jet colours of their cells: column 0 at the left, row 0 (the +z
    // pole) at the top.
    for (auto [ci, cj] : {std::pair{4, 6}, {30, 20}, {60, 30}}) {
        const Rgb c = at(img, cellAt(ci + 0.5, cj + 0.5));
        EXPECT_TRUE(near(c, frontJet(ci, cj), 6)) << ci << "," << cj << ": " << c;
    }
}

TEST_F(ViewTest, FlatMapPressAndDragLookFromTheCellWithoutAThrow) {
    window->tabs()->setCurrentIndex(1);
    QTest::keyClick(window.get(), Qt::Key_Space);
    const QPoint a = flatMapPixel(36, 18), b = flatMapPixel(44, 12);
    press(view, a);
    expectViewing(0, M_PI / 2);
    move(view, b);
    expectViewing(2 * M_PI * 44 / 72 - M_PI, M_PI * 12 / 36);
    release(view, b);
    const Orientation released;
    move(view, {b.x(), h + 20}); // below the map square: nothing
    waitTicks(5);
    EXPECT_TRUE(Orientation() == released);

    // Cell (36, 18) is the direction (1, 0, 0), the best view of the "side" attribute: goodness
    // 1 there and 253..255 one cell around, jet entries 253..255, red 128..135.
    press(view, a);
    release(view, a);
    window->visualizerPanel()->findChildren<QComboBox*>().at(1)->setCurrentIndex(2);
    QTest::keyClick(window.get(), Qt::Key_Space);
    const Rgb c = at(frame(), rightAt(0.2, 0.2));
    EXPECT_TRUE(c.r >= 124 && c.r <= 139 && c.g <= 4 && c.b <= 4) << c;
}

TEST_F(ViewTest, DragTurnsTheModelExactlyAsTheEngineSays) {
    window->tabs()->setCurrentIndex(1);
    ExtTrackball& t = ExtTrackball::_instance;
    // A press at x = half belongs to the left view. About 1.5 map cells per pixel: small steps,
    // mostly along the equator, so that no case runs into a pole.
    for (QPoint from : {QPoint(150, 200), QPoint(h, 150), QPoint(h + 150, 200)}) {
        SCOPED_TRACE(from.x());
        t.init();
        t.stdDragTrail.clear();
        const Orientation before;
        std::vector<QPoint> path{from};
        for (QPoint d : {QPoint(3, 1), QPoint(4, 1), QPoint(5, 0), QPoint(4, -1), QPoint(3, 0)})
            path.push_back(path.back() + d);
        press(view, path[0]);
        for (size_t k = 1; k < path.size(); ++k)
            move(view, path[k]);
        const Orientation dragged;
        const size_t trail = t.viewpointTrail.size(), stdTrail = t.stdDragTrail.size();
        release(view, path.back());
        RenderingSetting::_instance.throwing = false;
        EXPECT_FALSE(dragged == before);

        // The engine alone, fed the same positions the way the view converts them.
        std::memcpy(ab_quat, before.m, sizeof before.m);
        const int offset = from.x() > h ? h : 0;
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
        EXPECT_TRUE(Orientation() == dragged);
        EXPECT_EQ(t.viewpointTrail.size(), trail);
        EXPECT_EQ(t.stdDragTrail.size(), stdTrail);
    }
}

TEST_F(ViewTest, ReleasedDragTravelsOnWithItsTrailOnlyInTrackballModeAndOffStopsIt) {
    for (int tab : {0, 2, 1}) {
        SCOPED_TRACE(tab);
        window->tabs()->setCurrentIndex(tab);
        ExtTrackball::_instance.frictionStrength = 0; // a throw without friction runs on
        const Orientation before;
        QPoint p(100, 240);
        press(view, p);
        EXPECT_TRUE(tab != 2 || Orientation() == before) << "a press in Orbit mode turns nothing";
        for (int k = 0; k < 7; ++k)
            move(view, p += QPoint(6, k % 2));
        // The drag's trails show only in Trackball mode (Orbit mode shows its paths instead).
        const QImage img = frame();
        const int trail = countInRight(img, black) + countInRight(img, magenta);
        EXPECT_TRUE(tab == 2 || (tab == 1 ? trail > 20 : trail == 0)) << trail;
        move(view, p += QPoint(6, 1)); // the release comes while moving
        release(view, p);
        const Orientation released;
        waitTicks(6);
        if (tab == 1)
            EXPECT_FALSE(Orientation() == released) << "a throw keeps the view moving";
        else
            EXPECT_TRUE(Orientation() == released && ExtTrackball::_instance.throwStepCount == 0);
    }
    EXPECT_GT(countInRight(frame(), magenta), 10) << "the throw's trail";
    click(window->trackballPanel(), "Off"); // its strengths and switches: the tab walk below
    const Orientation stopped;
    waitTicks(5);
    EXPECT_TRUE(Orientation() == stopped);
}

TEST_F(ViewTest, OnlyAMovingReleaseThrowsAndTicksPaintOnlyWhatCanChange) {
    window->tabs()->setCurrentIndex(1);
    EXPECT_EQ(paintsOver(10), 0) << "idle";
    // After a rest nothing is thrown, with friction or without (Off), and nothing is painted.
    for (const char* mode : {"Recommended Settings", "Off"}) {
        click(window->trackballPanel(), mode);
        drag({100, 240}, 200);
        const Orientation rested;
        EXPECT_EQ(paintsOver(8), 0) << mode;
        EXPECT_TRUE(Orientation() == rested) << mode;
    }
    // Released while moving, a throw without friction turns on, painting every tick; with
    // friction it comes to rest on its path and painting stops, though throwing stays set.
    drag({100, 240});
    EXPECT_GE(paintsOver(10), 9) << "thrown";
    click(window->trackballPanel(), "Recommended Settings");
    drag({100, 240});
    const Orientation released;
    ExtTrackball& t = ExtTrackball::_instance;
    ASSERT_TRUE(waitUntil([&] { return t.throwStepCount >= int(t.predictedThrowPath.size()); }));
    EXPECT_EQ(paintsOver(10), 0) << "at rest";
    EXPECT_FALSE(Orientation() == released);
    click(window->trackballPanel(), "Texture");
    waitFrames(1); // a panel's change shows at the next tick

    // Playback and recording paint every tick, moving or not.
    window->tabs()->setCurrentIndex(2);
    click(window->scrubberPanel(), "play");
    EXPECT_GE(paintsOver(10), 9) << "playing";
    click(window->scrubberPanel(), "play");
    QTest::keyClick(window.get(), Qt::Key_D);
    EXPECT_GE(paintsOver(10), 9) << "recording";
    QTest::keyClick(window.get(), Qt::Key_D);
}

TEST_F(ViewTest, BothSquaresAreWholeAndTheViewGrowsWithTheWindow) {
    // Stretched six times up the screen (+z), the model reaches below the square at its centre
    // column; lit, it is never white (blue under 200).
    Smesh& model = view->geometryData()->model;
    for (int k = 0; k < model.nverts; ++k)
        model.verts[k].pos[2] *= 6;
    view->meshesChanged();
    QTest::keyClick(window.get(), Qt::Key_Space); // the flat map fills the right square
    const QSize first = static_cast<QWidget*>(view)->size();
    for (QSize size : {QSize(1400, 1000), QSize(1400, 700), QSize(1000, 700)}) {
        window->resize(size);
        QTest::qWait(100);
        const QSize v = static_cast<QWidget*>(view)->size();
        EXPECT_TRUE(size.height() != 1000 || v - first == QSize(400, 300)) << "grows with it";
        h = std::min(v.width() / 2, v.height());
        const QImage img = frame();
        // Bottom rows: the model, the map's last row of cells (not one nearer the equator).
        EXPECT_FALSE(near(at(img, {h / 2, h - 1}), white, 20)) << h;
        EXPECT_TRUE(near(at(img, cellAt(36.5, 35.5)), frontJet(36, 35), 16)) << h;
        EXPECT_TRUE(v.height() == h || near(at(img, {h / 2, h}), white, 0)) << "below";
        press(view, flatMapPixel(44, 12));
        release(view, flatMapPixel(44, 12));
        expectViewing(2 * M_PI * 44 / 72 - M_PI, M_PI * 12 / 36);
    }
}

TEST_F(ViewTest, OrbitPlaysPausesAndResumesAtTheCurrentPoint) {
    window->tabs()->setCurrentIndex(2);
    viewPath& path = viewPath::_instance;
    ASSERT_EQ(path.pathPoints.size(), 200u);
    auto* play = childNamed<QCheckBox>(window->scrubberPanel(), "play");
    // 200 points played at 1.5 paths a second: a point every 400 / 3 ms. Measured against the
    // clock that passed while playing: the frame that takes up the play ran within [0, t0], the
    // last frame painted within [t1, t2], and each end may be part way through a point.
    auto expectPace = [&](int from) {
        QElapsedTimer clock;
        clock.start();
        play->click();
        ASSERT_TRUE(RenderingSetting::_instance.playing);
        waitFrames(2);
        const double t0 = double(clock.elapsed());
        QTest::qWait(800);
        const double t1 = double(clock.elapsed());
        waitFrames(2);
        const double t2 = double(clock.elapsed());
        const int moved = path.currentIndex - from;
        EXPECT_GT(moved, (t1 - t0) * 3 / 400 - 1) << t0 << " " << t1;
        EXPECT_LT(moved, t2 * 3 / 400 + 1) << t2;
    };
    expectPace(path.currentIndex);
    play->click();
    waitTicks(2);
    const int paused = path.currentIndex;
    QTest::qWait(400);
    EXPECT_EQ(path.currentIndex, paused);
    expectViewing(path.pathPoints[size_t(paused)].theta, path.pathPoints[size_t(paused)].phi);
    play->click();
    waitFrames(2);
    // A jump to the clock's point would land 3 or more points on (the pause took 400 ms).
    EXPECT_TRUE(path.currentIndex >= paused && path.currentIndex <= paused + 2)
        << "resumes where it paused";
    play->click();
    // The turntable plays through the same index.
    click(window->scrubberPanel(), "turntable");
    waitFrames(1);
    const PathPoint q = path.turntablePoints[size_t(path.currentIndex)];
    expectViewing(q.theta, q.phi);
}

TEST_F(ViewTest, ScrubbingMovesTheIndexByTheDragLengthAndWrapsWithinThePath) {
    window->tabs()->setCurrentIndex(2);
    viewPath& path = viewPath::_instance;
    ASSERT_EQ(path.pathPoints.size(), 200u);
    window->scrubberPanel()->findChild<QSlider*>()->setValue(198);
    press(view, {300, 200});
    // A move of length d steps s = trunc(d * 6 / n + 0.5) points, forwards when leftwards.
    // (-30, 40): d = 50, s = 2, 198 + 2 wraps to 0. (3, 4): s = trunc(0.15 + 0.5) = 0.
    // (30, -40): backwards, 0 - 2 wraps to 198. (-300, 400): s = 15. Then a path of 4 points:
    // (-30, 40): s = 75, 13 + 75 is 0 round it; (300, -400): s = 750, 0 - 750 is 2 round it.
    const int moves[][4] = {{270, 240, 0, 200}, {273, 244, 0, 200}, {303, 204, 198, 200},
                            {3, 604, 13, 200},  {-27, 644, 0, 4},   {273, 244, 2, 4}};
    for (auto [x, y, index, size] : moves) {
        path.pathPoints.resize(size_t(size));
        move(view, {x, y});
        EXPECT_EQ(path.currentIndex, index) << x << "," << y;
    }
    release(view, {273, 244});
    // The panel's slider follows the index.
    EXPECT_TRUE(waitUntil(
        [&] { return window->scrubberPanel()->findChild<QSlider*>()->value() == 2; }, 500));
}

TEST_F(ViewTest, VShowsTheOrbitAndTurntableOverlays) {
    window->tabs()->setCurrentIndex(2);
    ASSERT_TRUE(RenderingSetting::_instance.showPaths);
    QImage img = frame();
    EXPECT_TRUE(countInRight(img, magenta) > 40 && countInRight(img, black) > 40);
    QTest::keyClick(window.get(), Qt::Key_V);
    img = frame();
    EXPECT_EQ(countInRight(img, magenta) + countInRight(img, black), 0);

    QTest::keyClick(window.get(), Qt::Key_V);
    QTest::keyClick(window.get(), Qt::Key_Space);
    img = frame();
    EXPECT_TRUE(countInRight(img, magenta) > 40 && countInRight(img, black) > 40) << "flat map";
}

TEST_F(ViewTest, ModelChangeCarriesOverAndReloadsBeforeTheNextFrame) {
    // 12.8 units right of the centre lies the box's near face but no part of the torus.
    ASSERT_TRUE(near(at(frame(), leftAt(12.8, 0)), white, 0));
    const float* mapsBefore = textureManager::_instance.mapData;
    ExtTrackball::_instance.predictedThrowPath.assign(3, vec());
    window->visualizerPanel()->findChild<QComboBox*>()->setCurrentIndex(1);
    EXPECT_TRUE(RenderingSetting::_instance.modelChanged);
    EXPECT_TRUE(ExtTrackball::_instance.predictedThrowPath.empty());
    const QImage img = frame();
    EXPECT_FALSE(RenderingSetting::_instance.modelChanged);
    EXPECT_EQ(view->geometryData()->model.nverts, 8);
    EXPECT_NE(textureManager::_instance.mapData, mapsBefore);
    EXPECT_FALSE(near(at(img, leftAt(12.8, 0)), white, 10)) << at(img, leftAt(12.8, 0));
    for (int tab : {1, 2}) {
        window->tabs()->setCurrentIndex(tab);
        EXPECT_EQ(window->tabs()->currentWidget()->findChild<QComboBox*>()->currentIndex(), 1);
    }
    EXPECT_EQ(RenderingSetting::_instance.selectedModel, 1);
    // The Orbit panel's choice also loads that model's orbit: 100 points and their midpoints.
    auto* slider = window->scrubberPanel()->findChild<QSlider*>();
    slider->setRange(0, 150);
    viewPath::_instance.pathPoints.clear();
    window->scrubberPanel()->findChild<QComboBox*>()->setCurrentIndex(0);
    EXPECT_EQ(viewPath::_instance.pathPoints.size(), 200u);
    EXPECT_EQ(viewPath::_instance.turntablePoints.size(), 200u);
    EXPECT_TRUE(slider->maximum() == 199 && slider->value() == 0 &&
                viewPath::_instance.currentIndex == 0);
}

TEST_F(ViewTest, PanelsHoldTheirGroupsWidgetsAndStartingStates) {
    EXPECT_EQ(describe(window->visualizerPanel()),
              "Model[torus*, box] Attribute[front*, top, side] Visualization[Sphere*, Texture]");
    EXPECT_EQ(describe(window->trackballPanel()),
              "Model[torus*, box] Nudge Mode[Off, Recommended Settings*, Slider Settings] "
              "Strength[Nudge:, 0..100/1/10 ticks 10 below =0 off, Friction:, 0..40/1/4 ticks 4 "
              "below =0 off] Visualization[Sphere*, Texture]");
    EXPECT_EQ(describe(window->scrubberPanel()),
              "Model[torus*, box] Orbit Mode[turntable, our orbit*] Orbit[play, 0..199/1/10 ticks "
              "10 below =0] Visualization[Sphere*, Texture]");
    // Each panel's display buttons set the display mode.
    click(window->visualizerPanel(), "Texture");
    EXPECT_EQ(RenderingSetting::_instance.displayMode, 1);
    click(window->scrubberPanel(), "Sphere");
    EXPECT_EQ(RenderingSetting::_instance.displayMode, 0);
}

TEST_F(ViewTest, EachTabSetsItsModeAndPathsAndNudgeModesTheStrengthsAndSliders) {
    RenderingSetting& s = RenderingSetting::_instance;
    ExtTrackball& t = ExtTrackball::_instance;
    QWidget* panel = window->trackballPanel();
    QSlider* nudge = panel->findChildren<QSlider*>().at(0);
    QSlider* friction = panel->findChildren<QSlider*>().at(1);
    // Trackball: the recommended strengths, on the sliders too, no paths, no predicted throw.
    s.showPaths = true;
    t.predictedThrowPath.assign(3, vec(1, 2, 0));
    window->tabs()->setCurrentIndex(1);
    EXPECT_TRUE(s.applicationMode == 1 && t.nudgeStrength == 0.56f && t.frictionStrength == 0.11f);
    EXPECT_TRUE(!s.showPaths && t.predictedThrowPath.empty() && s.selectedAttribute == 0);
    EXPECT_TRUE(nudge->value() == 56 && friction->value() == 11);
    // Off zeroes and disables both, stops a throw and forgets the predicted path.
    s.throwing = true;
    t.predictedThrowPath.assign(5, vec());
    click(panel, "Off");
    EXPECT_TRUE(!s.throwing && t.predictedThrowPath.empty());
    EXPECT_TRUE(t.nudgeStrength == 0 && t.frictionStrength == 0 && nudge->value() == 0 &&
                friction->value() == 0);
    EXPECT_TRUE(!nudge->isEnabled() && !friction->isEnabled());
    // Entering the tab again brings the recommended strengths back behind sliders left at 0, where
    // no slider signal can zero them: Off clicked again must.
    window->tabs()->setCurrentIndex(0);
    window->tabs()->setCurrentIndex(1);
    ASSERT_TRUE(t.nudgeStrength == 0.56f && t.frictionStrength == 0.11f && friction->value() == 0);
    click(panel, "Off");
    EXPECT_TRUE(t.nudgeStrength == 0 && t.frictionStrength == 0);
    // 0.56 * 100 and 100 * 0.11 in float, truncated: 56 and 11 (in double the second gives 10).
    click(panel, "Recommended Settings");
    EXPECT_TRUE(nudge->value() == 56 && friction->value() == 11 && !nudge->isEnabled() &&
                !friction->isEnabled());
    EXPECT_TRUE(t.nudgeStrength == 0.56f && t.frictionStrength == 0.11f);
    click(panel, "Slider Settings");
    EXPECT_TRUE(nudge->isEnabled() && friction->isEnabled() && nudge->value() == 56);
    // The user's own slider moves set the strengths, friction up to 0.40.
    QTest::keyClick(friction, Qt::Key_End);
    EXPECT_EQ(t.frictionStrength, 0.4f);
    QTest::keyClick(nudge, Qt::Key_PageUp);
    EXPECT_EQ(t.nudgeStrength, 0.66f);
    QTest::keyClick(nudge, Qt::Key_Left);
    EXPECT_EQ(t.nudgeStrength, 0.65f);
    // Slider mode restarts from the recommended values.
    click(panel, "Recommended Settings");
    click(panel, "Slider Settings");
    EXPECT_TRUE(friction->value() == 11 && t.frictionStrength == 0.11f);
    // Orbit, entered with the nudge on: paths shown, nudge off.
    window->tabs()->setCurrentIndex(2);
    EXPECT_TRUE(s.applicationMode == 3 && t.nudgeStrength == 0.0f && s.showPaths);
    // Visualizer, entered from Trackball with the nudge on and the paths shown.
    window->tabs()->setCurrentIndex(1);
    ASSERT_EQ(t.nudgeStrength, 0.56f);
    s.showPaths = true;
    s.selectedAttribute = 1;
    window->tabs()->setCurrentIndex(0);
    EXPECT_TRUE(s.applicationMode == 2 && t.nudgeStrength == 0.0f);
    EXPECT_TRUE(s.selectedAttribute == 0 && !s.showPaths);
}

TEST_F(ViewTest, InstructionBoxShowsTheFileOverTheVisibleWindowAtStartAndFromHelpAbout) {
    const QString instructions =
        QString::fromStdString(testsupport::readFile("../instructions.htm"));
    ASSERT_EQ(seenBox.count, 1);
    EXPECT_TRUE(seenBox.overVisibleWindow);
    EXPECT_EQ(seenBox.title, "Instructions");
    EXPECT_EQ(seenBox.text, instructions);
    QList<QAction*> menus = window->menuBar()->actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), "&File");
    EXPECT_EQ(menus[1]->text(), "&Help");
    ASSERT_NE(menus[1]->menu(), nullptr);
    QList<QAction*> items = menus[1]->menu()->actions();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0]->text(), "&About");
    seenBox = {};
    closeNextBox();
    items[0]->trigger();
    EXPECT_EQ(seenBox.count, 1);
    EXPECT_EQ(seenBox.title, "Instructions");
    EXPECT_EQ(seenBox.text, instructions);
}

TEST_F(ViewTest, TitleSizeAndLayout) {
    EXPECT_EQ(window->windowTitle(), "Orvalis");
    QTabWidget* tabs = window->tabs();
    const std::pair<const char*, QWidget*> panels[] = {{"Visualizer", window->visualizerPanel()},
                                                       {"Trackball", window->trackballPanel()},
                                                       {"Orbit", window->scrubberPanel()}};
    ASSERT_EQ(tabs->count(), 3);
    for (int k = 0; k < 3; ++k)
        EXPECT_TRUE(tabs->tabText(k) == panels[k].first && tabs->widget(k) == panels[k].second);
    EXPECT_FALSE(tabs->tabsClosable());
    auto* scroll = window->findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    EXPECT_EQ(scroll->widget(), window->view());
    EXPECT_EQ(scroll->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(scroll->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_GE(scroll->width(), 950);
    EXPECT_GE(scroll->height(), 480);
    // The view area stands above the tabs.
    EXPECT_LT(scroll->mapTo(window.get(), QPoint(0, 0)).y(),
              tabs->mapTo(window.get(), QPoint(0, 0)).y());
}

TEST_F(ViewTest, SpaceVAndDEachFlipTheirOwnSwitchAndOtherKeysChangeNothing) {
    RenderingSetting& s = RenderingSetting::_instance;
    auto state = [&] {
        return std::array<int, 4>{s.displayMode, s.showPaths, s.saveViewpath, s.applicationMode};
    };
    const auto start = state();
    for (auto [key, k] : {std::pair{Qt::Key_Space, 0}, {Qt::Key_V, 1}, {Qt::Key_D, 2}}) {
        auto flipped = start;
        flipped[size_t(k)] = 1 - flipped[size_t(k)];
        QTest::keyClick(window->view(), key);
        EXPECT_EQ(state(), flipped) << k;
        QTest::keyClick(window->view(), key);
        EXPECT_EQ(state(), start) << k;
    }
    s.displayMode = 1;
    s.showPaths = true;
    const auto changed = state();
    for (Qt::Key key : {Qt::Key_A, Qt::Key_Escape, Qt::Key_Return, Qt::Key_1, Qt::Key_Left}) {
        QTest::keyClick(window->view(), key);
        EXPECT_EQ(state(), changed) << key;
    }
}

TEST_F(ViewTest, LeavingVisualizerWithAnotherAttributeReloadsTheFirst) {
    RenderingSetting& s = RenderingSetting::_instance;
    const std::string front = "Successfully load ../Data/Attributes/torus/torus_front.";
    window->tabs()->setCurrentIndex(0);
    s.selectedAttribute = 2;
    const mapsutil::Output first = mapsutil::captured([&] { window->tabs()->setCurrentIndex(1); });
    EXPECT_EQ(s.selectedAttribute, 0);
    // The reload reaches the texture the view draws with, not only the numbers.
    EXPECT_EQ(first.err, "");
    EXPECT_NE(first.out.find(front + "pgm"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find(front + "vgf"), std::string::npos) << first.out;

    // With the first attribute already selected only the gradient is reloaded.
    window->tabs()->setCurrentIndex(0);
    const mapsutil::Output second = mapsutil::captured([&] { window->tabs()->setCurrentIndex(1); });
    EXPECT_EQ(second.out.find(".pgm"), std::string::npos) << second.out;
    EXPECT_NE(second.out.find(front + "vgf"), std::string::npos) << second.out;
}

// A tree whose model has no orbit file and no "top" goodness file.
class ViewWithoutAnOrbitOrAMap : public ViewTest {
protected:
    void SetUp() override {
        std::filesystem::remove(tree.dir / "Data/Orbits/torus_orbit.txt");
        std::filesystem::remove(tree.dir / "Data/Attributes/torus/torus_top.pgm");
        // As in a fresh process: no points and no storage behind them.
        viewPath::_instance.pathPoints = std::vector<PathPoint>();
        viewPath::_instance.turntablePoints = std::vector<PathPoint>();
        ViewTest::SetUp();
    }
    ScratchTree tree;
};

TEST_F(ViewWithoutAnOrbitOrAMap, AFailedAttributeLoadKeepsTheOldMapAndNothingPlaysOrScrubs) {
    // The load of "top" fails and the "front" map stays, numbers and picture.
    const Rgb before = at(frame(), rightAt(0.2, 0.2));
    ASSERT_FALSE(near(before, white, 30));
    const float* cells = textureManager::_instance.mapData;
    window->visualizerPanel()->findChildren<QComboBox*>().at(1)->setCurrentIndex(1);
    EXPECT_EQ(textureManager::_instance.mapData, cells);
    EXPECT_TRUE(near(at(frame(), rightAt(0.2, 0.2)), before, 2));

    // Orbit mode shows its empty paths: nothing on the sphere or the flat map.
    window->tabs()->setCurrentIndex(2);
    ASSERT_TRUE(viewPath::_instance.pathPoints.empty());
    EXPECT_EQ(countInRight(frame(), magenta) + countInRight(frame(), black), 0);
    QTest::keyClick(window.get(), Qt::Key_Space);
    EXPECT_EQ(countInRight(frame(), magenta) + countInRight(frame(), black), 0);
    const Orientation start;
    click(window->scrubberPanel(), "play");
    EXPECT_EQ(paintsOver(15), 0) << "nothing to play";
    press(view, {300, 200});
    move(view, {270, 240});
    release(view, {270, 240});
    EXPECT_EQ(viewPath::_instance.currentIndex, 0);
    EXPECT_TRUE(Orientation() == start);
}

int main(int argc, char** argv) {
    return runGuiTests(argc, argv);
}
