// The plain drag (mouse path, speed estimate, standard move, friction) and the nudged drag.
#include "trackball_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <utility>
#include <vector>

using namespace tbtest;

namespace {

class TrackballDrag : public ::testing::Test {
protected:
    void SetUp() override {
        resetEngine();
        setCameraPlane(500);
    }
    void TearDown() override { resetEngine(); }

    // Sets startPoint so that the next move to window position (mx, my) is a plane displacement
    // of exactly (dx, dy) up to one rounding of the subtraction.
    void startBefore(int mx, int my, double dx, double dy) {
        const vec p = tb.planar_coords(mx, my);
        tb.startPoint = vec(p.x - dx, p.y - dy, 0);
    }

    ExtTrackball& tb = ExtTrackball::_instance;
};

std::vector<std::pair<double, double>> pathOf(const ExtTrackball& tb) {
    std::vector<std::pair<double, double>> out;
    for (const MousePathNode* n = tb.mousePathHead; n != nullptr; n = n->next)
        out.emplace_back(n->x, n->y);
    return out;
}

// Puts the orientation onto cell (i, j) as the engine does after every handled move.
void orientAt(const Map& map, int i, int j) {
    load(ab_quat, ref::orient(ref::cellDir(i, j, map.width, map.height)));
    load(ab_last, snapshot(ab_quat));
    load(ab_temp2, snapshot(ab_quat));
}

// A map with random goodness and gradients.
Map randomMap(int w, int h, unsigned seed) {
    Map map(w, h);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> g(0, 1), m(0, 3), a(-3.14159f, 3.14159f);
    map.fill([&](int, int, float* c) {
        c[0] = g(rng);
        c[1] = m(rng);
        c[2] = a(rng);
    });
    return map;
}

// The model's +z axis points up the screen, or lies on the line of sight.
bool upright(const double* m) {
    if (std::hypot(m[8], m[9]) < 1e-9) return true;
    return std::fabs(m[8]) < 1e-12 && m[9] > 0;
}

// The viewing direction is that of the map cell it falls into.
bool onGrid(const Map& map, const double* m) {
    const ref::V d = ref::viewDir(snapshot(m));
    int i, j;
    ref::cellOf(d, map.width, map.height, i, j);
    const ref::V c = ref::cellDir(i, j, map.width, map.height);
    return std::fabs(c.x - d.x) < 1e-9 && std::fabs(c.y - d.y) < 1e-9 &&
           std::fabs(c.z - d.z) < 1e-9;
}

} // namespace

TEST_F(TrackballDrag, MousePathKeepsTheEightNewestSamplesNewestFirst) {
    for (int k = 1; k <= 9; ++k)
        tb.recordMousePath(10 * k, -k);
    EXPECT_EQ(tb.mousePathCount, 8);
    const auto p = pathOf(tb);
    ASSERT_EQ(p.size(), 8u);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(p[k].first, 10.0 * (9 - k));
        EXPECT_EQ(p[k].second, -(9.0 - k));
    }
    EXPECT_EQ(tb.mousePathHead->x, 90);
    EXPECT_EQ(tb.mousePathTail->x, 20);
    EXPECT_EQ(tb.mousePathTail->next, nullptr);
    for (int k = 0; k < 100; ++k)
        tb.recordMousePath(k, k);
    EXPECT_EQ(tb.mousePathCount, 8);
    EXPECT_EQ(tb.mousePathTail->x, 92);
    tb.clearMousePath();
    EXPECT_EQ(tb.mousePathCount, 0);
    EXPECT_EQ(tb.mousePathHead, nullptr);
    EXPECT_EQ(tb.mousePathTail, nullptr);
    tb.recordMousePath(3, 4);
    EXPECT_EQ(tb.mousePathHead, tb.mousePathTail);
    EXPECT_EQ(tb.mousePathCount, 1);
}

TEST_F(TrackballDrag, MotionChangeExamples) {
    // Newest first: x = 30, 20, 10 -> (10 + 20) / 2 = 15 along +x.
    tb.recordMousePath(10, 5);
    tb.recordMousePath(20, 5);
    tb.recordMousePath(30, 5);
    tb.calculateMotionChange();
    EXPECT_EQ(tb.averageSpeed, 15.0f);
    EXPECT_EQ(tb.motionChange, vec(15, 0, 0));

    tb.clearMousePath();
    tb.recordMousePath(0, 0);
    tb.recordMousePath(10, 0);
    tb.calculateMotionChange();
    EXPECT_EQ(tb.averageSpeed, 10.0f);
    EXPECT_EQ(tb.motionChange, vec(10, 0, 0));

    tb.clearMousePath();
    tb.recordMousePath(7, 7);
    tb.averageSpeed = 3;
    tb.motionChange = vec(1, 1, 1);
    tb.calculateMotionChange();
    EXPECT_EQ(tb.averageSpeed, 0.0f);
    EXPECT_EQ(tb.motionChange, vec(0, 0, 0));

    tb.clearMousePath();
    tb.calculateMotionChange();
    EXPECT_EQ(tb.averageSpeed, 0.0f);
    EXPECT_EQ(tb.motionChange, vec(0, 0, 0));

    // Newest first (0, 0), (3, 4), (0, 8): distances 5 and 8 from the newest, mean 6.5, pointing
    // from (0, 8) to (0, 0): straight up (y down in window pixels).
    tb.clearMousePath();
    tb.recordMousePath(0, 8);
    tb.recordMousePath(3, 4);
    tb.recordMousePath(0, 0);
    tb.calculateMotionChange();
    EXPECT_EQ(tb.averageSpeed, 6.5f);
    EXPECT_EQ(tb.motionChange, vec(0, -6.5, 0));
}

TEST_F(TrackballDrag, MotionChangeAgreesWithTheSecondImplementation) {
    std::mt19937 rng(21);
    std::uniform_int_distribution<int> pix(-3000, 3000), count(0, 12);
    for (int n = 0; n < 3000; ++n) {
        tb.clearMousePath();
        std::vector<std::pair<int, int>> newestFirst;
        const int c = count(rng);
        for (int k = 0; k < c; ++k) {
            const int x = pix(rng), y = pix(rng);
            tb.recordMousePath(x, y);
            newestFirst.insert(newestFirst.begin(), {x, y});
        }
        if (newestFirst.size() > 8) newestFirst.resize(8);
        float avg;
        ref::V mc;
        ref::motion(newestFirst, avg, mc);
        tb.calculateMotionChange();
        ASSERT_EQ(tb.averageSpeed, avg);
        ASSERT_EQ(tb.motionChange.x, mc.x);
        ASSERT_EQ(tb.motionChange.y, mc.y);
        ASSERT_EQ(tb.motionChange.z, 0);
    }
}

TEST_F(TrackballDrag, ThrowSpeedAndFriction) {
    tb.averageSpeed = 12.5f;
    tb.startStdThrow();
    EXPECT_EQ(tb.throwSpeed, 12.5f);
    tb.frictionStrength = 0.11f;
    tb.throwSpeed = 10;
    tb.calStdThrow();
    EXPECT_EQ(tb.throwSpeed, (1 - 0.11f) * 10.0f);
    EXPECT_NEAR(tb.throwSpeed, 8.9f, 1e-6);
}

TEST_F(TrackballDrag, StandardMoveStepsFiveColumnsForATenthOfAPlaneUnit) {
    Map map(360, 180);
    ScopedMap installed(map);
    orientAt(map, 100, 90);
    // Along out (plane y) by 0.1 -> 5 columns; the row stays.
    startBefore(250, 250, 0, 0.1);
    const vec before = tb.startPoint;
    tb.standardTrackballMove(250, 250);
    ASSERT_EQ(tb.stdDragTrail.size(), 1u);
    EXPECT_EQ(tb.startPoint, before); // the standard move never advances the start point
    int i, j;
    ref::cellOf(ref::viewDir(snapshot(ab_temp2)), 360, 180, i, j);
    const double dy = tb.currentPoint.y - tb.startPoint.y;
    const int expectColumn = static_cast<int>(dy * 50.0 + 100);
    EXPECT_EQ(i, expectColumn);
    EXPECT_TRUE(expectColumn == 105 || expectColumn == 104);
    EXPECT_EQ(j, 90);
    EXPECT_TRUE(sameMatrix(ab_temp2, ref::orient(ref::cellDir(expectColumn, 90, 360, 180))));
    // The real orientation is not touched by the standard move.
    EXPECT_TRUE(sameMatrix(ab_quat, ref::orient(ref::cellDir(100, 90, 360, 180))));

    // A move that does not change the plane point adds nothing.
    tb.startPoint = tb.planar_coords(250, 250);
    tb.standardTrackballMove(250, 250);
    EXPECT_EQ(tb.stdDragTrail.size(), 1u);
}

TEST_F(TrackballDrag, StandardMoveWrapsPastTheLastColumn) {
    Map map(360, 180);
    ScopedMap installed(map);
    orientAt(map, 357, 90);
    startBefore(250, 250, 0, 0.1);
    tb.standardTrackballMove(250, 250);
    int i, j;
    ref::cellOf(ref::viewDir(snapshot(ab_temp2)), 360, 180, i, j);
    EXPECT_TRUE(i == 2 || i == 1) << i;
    EXPECT_EQ(j, 90);
}

TEST_F(TrackballDrag, StandardMoveAgreesWithTheSecondImplementation) {
    Map map = randomMap(360, 180, 3);
    ScopedMap installed(map);
    std::mt19937 rng(22);
    std::uniform_int_distribution<int> cell(0, 359), row(0, 179), pix(0, 499);
    for (int n = 0; n < 2000; ++n) {
        orientAt(map, cell(rng), row(rng));
        const ref::M start = snapshot(ab_temp2);
        const int x0 = pix(rng), y0 = pix(rng), x1 = pix(rng), y1 = pix(rng);
        tb.start(x0, y0);
        tb.standardTrackballMove(x1, y1);
        // Second implementation.
        const ref::Plane pl = ref::cameraPlane();
        const ref::V p0 = ref::planar(pl, x0, y0), p1 = ref::planar(pl, x1, y1);
        if (p0.x == p1.x && p0.y == p1.y) {
            ASSERT_TRUE(sameMatrix(ab_temp2, start));
            continue;
        }
        double dx = p1.x - p0.x, dy = p1.y - p0.y;
        if (ab_quat[9] <= 0.2 && ((ab_quat[10] > 0 && dx < 0) || (ab_quat[10] < 0 && dx > 0))) {
            dy = dy * 0.2;
            dx = 0;
        }
        int a, b;
        ref::cellOf(ref::viewDir(start), 360, 180, a, b);
        int c = static_cast<int>(dy * 50.0 + a), r = static_cast<int>(dx * 50.0 + b);
        ref::inside(map, c, r);
        ASSERT_TRUE(sameMatrix(ab_temp2, ref::orient(ref::cellDir(c, r, 360, 180))));
        ASSERT_EQ(tb.stdDragTrail.back().x, start[2]);
        ASSERT_EQ(tb.stdDragTrail.back().z, start[10]);
    }
}

TEST_F(TrackballDrag, PoleGuardDropsMotionTowardsThePole) {
    Map map(360, 180);
    ScopedMap installed(map);
    // Row 6 of 180: 6 degrees from the +z pole, ab_quat[9] = sin 6 deg ~ 0.1, ab_quat[10] > 0.
    orientAt(map, 40, 6);
    ASSERT_LE(ab_quat[9], 0.2);
    ASSERT_GT(ab_quat[10], 0);
    // Towards the pole (dx < 0) and sideways: the row stays, the column moves a fifth.
    startBefore(250, 250, -0.1, 0.2);
    tb.nudgedMove(250, 250);
    int i, j;
    ref::cellOf(ref::viewDir(snapshot(ab_quat)), 360, 180, i, j);
    EXPECT_EQ(j, 6);
    EXPECT_TRUE(i == 42 || i == 41) << i; // 0.2 * 0.2 * 50 = 2 columns
    // Away from the pole: unguarded, 5 rows further.
    orientAt(map, 40, 6);
    startBefore(250, 250, 0.1, 0);
    tb.nudgedMove(250, 250);
    ref::cellOf(ref::viewDir(snapshot(ab_quat)), 360, 180, i, j);
    EXPECT_TRUE(j == 11 || j == 10) << j;
    EXPECT_EQ(i, 40);
}

TEST_F(TrackballDrag, NudgedMoveAtZeroNudgeTakesTheStandardStep) {
    Map map = randomMap(360, 180, 4);
    ScopedMap installed(map);
    std::mt19937 rng(23);
    std::uniform_int_distribution<int> cell(0, 359), row(20, 160), pix(0, 499);
    int same = 0, total = 0;
    for (int n = 0; n < 2000; ++n) {
        orientAt(map, cell(rng), row(rng));
        const int x0 = pix(rng), y0 = pix(rng), x1 = pix(rng), y1 = pix(rng);
        tb.start(x0, y0);
        tb.standardTrackballMove(x1, y1);
        tb.nudgedMove(x1, y1);
        int a, b, c, d;
        ref::cellOf(ref::viewDir(snapshot(ab_temp2)), 360, 180, a, b);
        ref::cellOf(ref::viewDir(snapshot(ab_quat)), 360, 180, c, d);
        ++total;
        if (a == c && b == d) ++same;
        // Where the two differ, it is by the rounding at a cell boundary.
        const int dc = std::abs(a - c);
        EXPECT_TRUE(dc <= 1 || dc == 359) << a << " " << c;
        EXPECT_LE(std::abs(b - d), 1);
    }
    EXPECT_GT(same, total * 9 / 10);
}

TEST_F(TrackballDrag, NudgedMoveSamplesHalfwayCellsRoundedAwayFromZero) {
    // A step of 5 columns samples (i, j), (i + 3, j) and (i + 5, j). Those three carry a
    // gradient towards larger rows; (i + 1), (i + 2) and (i + 4) carry a strong one towards
    // row 0, so sampling the wrong cells bends the step the other way.
    Map map(360, 180);
    const int i = 100, j = 90;
    map.fill([&](int c, int r, float* v) {
        v[0] = 0.5f;
        v[1] = 0;
        v[2] = 0;
        if (r != j) return;
        if (c == i || c == i + 3 || c == i + 5) {
            v[1] = 1;
            v[2] = static_cast<float>(-M_PI / 2);
        } else if (c == i + 1 || c == i + 2 || c == i + 4) {
            v[1] = 50;
            v[2] = static_cast<float>(M_PI / 2);
        }
    });
    ScopedMap installed(map);
    tb.nudgeStrength = 0.56f;
    orientAt(map, i, j);
    tb.start(250, 250);
    startBefore(250, 250, 0, 0.1);
    tb.nudgedMove(250, 250);
    int c, r;
    ref::cellOf(ref::viewDir(snapshot(ab_quat)), 360, 180, c, r);
    // Hand calculation: L = 5, N = (0, 1), sigma = 1, A = 1, e = exp(1.12) = 3.0649,
    // gain = 2.0649 * 1.25 = 2.581 < 0.6 * 5, M = (5, 2.581), M / |M| * 5 = (4.443, 2.293).
    EXPECT_EQ(c, i + 4);
    EXPECT_EQ(r, j + 2);
    EXPECT_TRUE(upright(ab_quat));
}

TEST_F(TrackballDrag, NudgeBendsTowardsTheGradientSideAtMostAtanPointSix) {
    Map map(360, 180);
    for (float angle : {static_cast<float>(-M_PI / 2), static_cast<float>(M_PI / 2)}) {
        for (float magnitude : {0.05f, 0.3f, 1.0f, 20.0f}) {
            map.fill([&](int, int, float* v) {
                v[0] = 0.5f;
                v[1] = magnitude;
                v[2] = angle;
            });
            ScopedMap installed(map);
            tb.nudgeStrength = 1.0f;
            orientAt(map, 50, 90);
            tb.start(250, 250);
            startBefore(250, 250, 0, 1.0); // 50 columns
            tb.nudgedMove(250, 250);
            int c, r;
            ref::cellOf(ref::viewDir(snapshot(ab_quat)), 360, 180, c, r);
            const int dc = c - 50, dr = r - 90;
            EXPECT_GT(dc, 0);
            // -pi/2 points towards larger rows, +pi/2 towards row 0.
            if (angle < 0)
                EXPECT_GT(dr, 0) << magnitude;
            else
                EXPECT_LT(dr, 0) << magnitude;
            // The step keeps its length and turns by at most atan 0.6, up to the truncation to
            // whole cells.
            EXPECT_LE(std::atan2(std::abs(dr), dc), std::atan(0.6) + 0.03) << magnitude;
            EXPECT_LE(std::hypot(dc, dr), 50.0 + 1e-9);
            EXPECT_GE(std::hypot(dc, dr), 48.5);
        }
    }
    // The last drag (towards row 0, largest magnitude) hits the clamp: M = (50, -30),
    // M / |M| * 50 = (42.87, -25.72), truncated from (92.87, 64.28).
    int c, r;
    ref::cellOf(ref::viewDir(snapshot(ab_quat)), 360, 180, c, r);
    EXPECT_EQ(c, 92);
    EXPECT_EQ(r, 64);
}

TEST_F(TrackballDrag, GradientAlongTheStepGivesNoNudge) {
    Map map(360, 180);
    map.fill([&](int, int, float* v) {
        v[0] = 0.5f;
        v[1] = 5;
        v[2] = 0; // along +columns
    });
    ScopedMap installed(map);
    tb.nudgeStrength = 1.0f;
    orientAt(map, 50, 90);
    tb.start(250, 250);
    startBefore(250, 250, 0, 0.5); // 25 columns
    tb.nudgedMove(250, 250);
    int c, r;
    ref::cellOf(ref::viewDir(snapshot(ab_quat)), 360, 180, c, r);
    EXPECT_TRUE(c == 75 || c == 74) << c;
    EXPECT_EQ(r, 90);
}

TEST_F(TrackballDrag, NudgedMoveAgreesBitForBitWithTheSecondImplementation) {
    for (unsigned seed : {1u, 2u}) {
        Map map = randomMap(seed == 1 ? 360 : 72, seed == 1 ? 180 : 36, seed);
        ScopedMap installed(map);
        std::mt19937 rng(24 + seed);
        std::uniform_int_distribution<int> cell(0, map.width - 1), row(0, map.height - 1);
        std::uniform_int_distribution<int> pix(-100, 600), strength(0, 100);
        const ref::Plane pl = ref::cameraPlane();
        for (int n = 0; n < 3000; ++n) {
            tb.nudgeStrength = strength(rng) / 100.0f;
            orientAt(map, cell(rng), row(rng));
            const ref::M before = snapshot(ab_quat);
            const int x0 = pix(rng), y0 = pix(rng);
            tb.start(x0, y0);
            ref::V start = ref::planar(pl, x0, y0);
            // A short drag of a few moves, each measured from the previous one.
            for (int m = 0; m < 4; ++m) {
                const int x1 = pix(rng), y1 = pix(rng);
                const ref::M current = snapshot(ab_quat);
                const size_t trail = tb.viewpointTrail.size();
                tb.nudgedMove(x1, y1);
                const ref::V now = ref::planar(pl, x1, y1);
                const ref::DragResult want =
                    ref::nudgedDrag(map, tb.nudgeStrength, current, start, now);
                ASSERT_EQ(tb.viewpointTrail.size(), trail + 1);
                ASSERT_EQ(tb.viewpointTrail.back().y, current[6]);
                ASSERT_TRUE(sameMatrix(ab_quat, want.orientation)) << n << "/" << m;
                if (want.moved) {
                    ASSERT_TRUE(sameMatrix(ab_last, want.orientation));
                    ASSERT_EQ(tb.startPoint.x, now.x);
                    ASSERT_EQ(tb.startPoint.y, now.y);
                    start = now;
                }
            }
            (void)before;
        }
    }
}

// After every handled move the view is on a map cell and the model stands upright.
TEST_F(TrackballDrag, RandomDragsStayOnTheGridAndUpright) {
    for (int size : {0, 1}) {
        Map map = size == 0 ? randomMap(360, 180, 5) : randomMap(72, 36, 6);
        ScopedMap installed(map);
        std::mt19937 rng(25 + size);
        std::uniform_int_distribution<int> step(-60, 60), strength(0, 100);
        for (int drag = 0; drag < 300; ++drag) {
            tb.nudgeStrength = strength(rng) / 100.0f;
            int x = 250, y = 250;
            tb.start(x, y);
            for (int m = 0; m < 30; ++m) {
                x += step(rng);
                y += step(rng);
                tb.standardTrackballMove(x, y);
                tb.nudgedMove(x, y);
                ASSERT_TRUE(onGrid(map, ab_quat)) << drag << "/" << m;
                ASSERT_TRUE(upright(ab_quat)) << drag << "/" << m;
                ASSERT_TRUE(onGrid(map, ab_temp2));
                ASSERT_TRUE(upright(ab_temp2));
            }
        }
    }
}

// A fast mouse: one move covers several map widths. Every sampled and target cell stays inside
// the map (the reference flags any read outside it; the sanitizer build checks the engine).
TEST_F(TrackballDrag, StepsLongerThanTheMapWrapFully) {
    Map map = randomMap(8, 6, 7);
    ScopedMap installed(map);
    const ref::Plane pl = ref::cameraPlane();
    std::mt19937 rng(26);
    std::uniform_int_distribution<int> pix(-2000, 2500), strength(0, 100);
    for (int n = 0; n < 2000; ++n) {
        tb.nudgeStrength = strength(rng) / 100.0f;
        orientAt(map, n % 8, 3);
        const int x0 = pix(rng), y0 = pix(rng), x1 = pix(rng), y1 = pix(rng);
        const ref::M current = snapshot(ab_quat);
        tb.start(x0, y0);
        tb.standardTrackballMove(x1, y1);
        tb.nudgedMove(x1, y1);
        const ref::DragResult want = ref::nudgedDrag(
            map, tb.nudgeStrength, current, ref::planar(pl, x0, y0), ref::planar(pl, x1, y1));
        ASSERT_TRUE(sameMatrix(ab_quat, want.orientation));
        ASSERT_GE(want.column, 0);
        ASSERT_LT(want.column, 8);
        ASSERT_TRUE(onGrid(map, ab_quat));
        ASSERT_TRUE(onGrid(map, ab_temp2));
    }
    // A plain 4-map-width step along the columns lands where the wrapped arithmetic says.
    tb.nudgeStrength = 0;
    orientAt(map, 3, 3);
    tb.start(250, 250);
    startBefore(250, 250, 0, 4 * 8 / 50.0 + 0.03); // 33.5 columns
    tb.nudgedMove(250, 250);
    int c, r;
    ref::cellOf(ref::viewDir(snapshot(ab_quat)), 8, 6, c, r);
    EXPECT_EQ(c, (3 + 33) % 8);
    EXPECT_EQ(r, 3);
}

TEST_F(TrackballDrag, StepPastTheLastRowStopsThere) {
    Map map(360, 180);
    ScopedMap installed(map);
    // Row 160 is far enough from the pole for the guard to let the step through.
    orientAt(map, 30, 160);
    tb.start(250, 250);
    startBefore(250, 250, 0.6, 0); // 30 rows down
    tb.nudgedMove(250, 250);
    int c, r;
    ref::cellOf(ref::viewDir(snapshot(ab_quat)), 360, 180, c, r);
    EXPECT_EQ(r, 179);
    EXPECT_EQ(c, 30);
}

// Before a map is loaded, or with one too small to move on, the drags leave the orientation as
// it is (only the trail records the call), and nothing reads the missing cells.
TEST_F(TrackballDrag, NoMapOrATinyMapMovesNothing) {
    Map none;
    Map tiny(1, 1);
    tiny.cells = {0.5f, 1, 0};
    Map thin(5, 1);
    thin.fill([](int, int, float* v) { v[1] = 1; });
    for (Map* map : {&none, &tiny, &thin}) {
        ScopedMap installed(*map);
        tb.init();
        const ref::M before = snapshot(ab_quat);
        tb.nudgeStrength = 0.5f;
        tb.start(100, 100);
        const size_t trail = tb.viewpointTrail.size();
        tb.standardTrackballMove(300, 200);
        tb.nudgedMove(300, 200);
        EXPECT_TRUE(sameMatrix(ab_quat, before));
        EXPECT_EQ(tb.viewpointTrail.size(), trail + 1);
        for (int k = 0; k < 16; ++k) {
            EXPECT_TRUE(std::isfinite(ab_quat[k]));
            EXPECT_TRUE(std::isfinite(ab_temp2[k]));
        }
    }
}

// Before the view has set up the plane (no viewport yet) the window position cannot be
// unprojected; such a move must not turn the model into NaN or jump to column 0.
TEST_F(TrackballDrag, MovesWithoutAViewportMoveNothing) {
    Map map = randomMap(72, 36, 8);
    ScopedMap installed(map);
    tb.init();
    const ref::M before = snapshot(ab_quat);
    for (int k = 0; k < 4; ++k)
        ab_glv[k] = 0;
    tb.nudgeStrength = 0.5f;
    tb.start(10, 10);
    tb.standardTrackballMove(200, 100);
    tb.nudgedMove(200, 100);
    EXPECT_TRUE(sameMatrix(ab_quat, before));
    EXPECT_TRUE(sameMatrix(ab_temp2, before));
    EXPECT_TRUE(tb.stdDragTrail.empty());
}
