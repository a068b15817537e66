// The nudged throw: prediction at release (simulation, climb, blend), replay and live steps.
#include "trackball_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <utility>
#include <vector>

using namespace tbtest;

namespace {

class TrackballThrow : public ::testing::Test {
protected:
    void SetUp() override {
        resetEngine();
        setCameraPlane(500);
    }
    void TearDown() override { resetEngine(); }

    // Mouse samples, oldest first, as the view records them during a drag.
    void mouse(const std::vector<std::pair<int, int>>& oldestFirst) {
        tb.clearMousePath();
        for (const auto& p : oldestFirst)
            tb.recordMousePath(p.first, p.second);
    }

    ExtTrackball& tb = ExtTrackball::_instance;
};

void orientAt(const Map& map, int i, int j) {
    load(ab_quat, ref::orient(ref::cellDir(i, j, map.width, map.height)));
    load(ab_last, snapshot(ab_quat));
}

void cellOfView(const Map& map, int& i, int& j) {
    ref::cellOf(ref::viewDir(snapshot(ab_quat)), map.width, map.height, i, j);
}

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

// Flat goodness with no gradient; the stored angles alternate between -pi/2 (towards larger
// rows) on even rows and +pi/2 on odd rows, so a climb turns round after its first three-row
// step and, with goodness above 0.7, ends with the offset (0, 3).
Map flatMapThatStopsTheClimb(int w, int h) {
    Map map(w, h);
    map.fill([](int, int j, float* c) {
        c[0] = 0.9f;
        c[1] = 0;
        c[2] = static_cast<float>(j % 2 == 0 ? -M_PI / 2 : M_PI / 2);
    });
    return map;
}

std::vector<std::pair<int, int>> fortyPixelsLeft() {
    // The newest sample 40 pixels left of the older one: averageSpeed 40, motionChange (-40, 0).
    return {{140, 250}, {100, 250}};
}

} // namespace

TEST_F(TrackballThrow, NoFrictionPredictsNothingAndKeepsTheOldPath) {
    Map map = randomMap(72, 36, 1);
    ScopedMap installed(map);
    mouse(fortyPixelsLeft());
    // 0.0001f widened is 9.99999975e-05, still "practically off".
    for (float friction : {0.0f, 0.0001f}) {
        tb.predictedThrowPath = {vec(1, 2, 0)};
        tb.frictionStrength = friction;
        tb.calculateThrowPath();
        EXPECT_EQ(tb.predictedThrowPath.size(), 1u);
        EXPECT_EQ(tb.averageSpeed, 0.0f); // calculateMotionChange did not run
    }
    tb.frictionStrength = 0.0002f;
    tb.calculateThrowPath();
    EXPECT_EQ(tb.averageSpeed, 40.0f);
    EXPECT_FALSE(tb.predictedThrowPath.size() == 1 && tb.predictedThrowPath[0].x == 1);
}

// Friction 0.11, nudge 0.56, average speed 40: v starts at 36; the steps are 32.04, 28.52,
// 25.38, ... cells; 25 of them (the last 1.95) before the speed is down to 2.
TEST_F(TrackballThrow, ThePredictionExampleOfTwentyFiveSteps) {
    Map map = flatMapThatStopsTheClimb(360, 180);
    ScopedMap installed(map);
    tb.frictionStrength = 0.11f;
    tb.nudgeStrength = 0.56f;
    orientAt(map, 20, 90);
    mouse(fortyPixelsLeft());
    tb.calculateThrowPath();
    EXPECT_EQ(tb.averageSpeed, 40.0f);
    EXPECT_EQ(tb.motionChange, vec(-40, 0, 0));
    ASSERT_EQ(tb.predictedThrowPath.size(), 25u);

    // The speeds worked out in float, as the simulation keeps them.
    std::vector<float> speeds;
    float v = static_cast<float>(0.9 * 40.0f);
    EXPECT_EQ(v, 36.0f);
    while (v > 2.0) {
        v = (1 - 0.11f) * v;
        speeds.push_back(v);
    }
    ASSERT_EQ(speeds.size(), 25u);
    EXPECT_NEAR(speeds[0], 32.04, 1e-5);
    EXPECT_NEAR(speeds[1], 28.5156, 1e-5);
    EXPECT_NEAR(speeds[2], 25.378884, 1e-5);
    EXPECT_NEAR(speeds[24], 1.95, 0.005);

    // No gradient: each step goes straight along +columns (base step = -motionChange) and the
    // column is rounded; the climb offset (0, 3) moves only the rows.
    int column = 20;
    float length = 0;
    for (size_t k = 0; k < 25; ++k) {
        column = static_cast<int>(std::round(column + static_cast<double>(speeds[k]))) % 360;
        length = static_cast<float>(length + static_cast<double>(speeds[k]));
        EXPECT_EQ(tb.predictedThrowPath[k].x, column) << k;
        const float w = static_cast<float>(k) / 24.0f;
        const float ease = (w * w) * (w * -2.0f + 3.0f);
        EXPECT_EQ(tb.predictedThrowPath[k].y, 90 + 3 * static_cast<double>(ease)) << k;
        EXPECT_EQ(tb.predictedThrowPath[k].z, 0);
    }
    EXPECT_EQ(tb.predictedThrowPath[0].x, 52);
    EXPECT_EQ(tb.predictedThrowPath[1].x, 81);
    EXPECT_EQ(tb.predictedThrowPath[2].x, 106);
    EXPECT_EQ(tb.predictedThrowPath[0].y, 90);
    EXPECT_EQ(tb.predictedThrowPath[24].y, 93);
    EXPECT_EQ(tb.throwColumn, column);
    EXPECT_EQ(tb.throwRow, 90);
}

TEST_F(TrackballThrow, ReplayConsumesOneEntryPerTick) {
    Map map = flatMapThatStopsTheClimb(360, 180);
    ScopedMap installed(map);
    tb.frictionStrength = 0.11f;
    tb.nudgeStrength = 0.56f;
    orientAt(map, 20, 90);
    mouse(fortyPixelsLeft());
    tb.throwStepCount = 0;
    tb.calculateThrowPath();
    ASSERT_EQ(tb.predictedThrowPath.size(), 25u);
    for (int k = 0; k < 25; ++k) {
        tb.calStdThrow();
        tb.nudgedThrow();
        EXPECT_EQ(tb.throwStepCount, k + 1);
        const vec p = tb.predictedThrowPath[k];
        const int c = static_cast<int>(p.x), r = static_cast<int>(p.y);
        const ref::V q = ref::cellDir(c, r, 360, 180);
        ASSERT_TRUE(sameMatrix(ab_quat, ref::orient(q))) << k;
        ASSERT_EQ(tb.viewpointTrail.size(), static_cast<size_t>(k + 1));
        EXPECT_EQ(tb.viewpointTrail.back().x, q.x);
    }
    // Used up: later ticks change nothing.
    const ref::M end = snapshot(ab_quat);
    for (int k = 0; k < 5; ++k) {
        tb.calStdThrow();
        tb.nudgedThrow();
    }
    EXPECT_EQ(tb.throwStepCount, 25);
    EXPECT_TRUE(sameMatrix(ab_quat, end));
    EXPECT_EQ(tb.viewpointTrail.size(), 25u);
}

TEST_F(TrackballThrow, ReleaseWithoutMotionPredictsAnEmptyPath) {
    Map map = randomMap(72, 36, 2);
    ScopedMap installed(map);
    tb.frictionStrength = 0.2f;
    tb.nudgeStrength = 0.5f;
    orientAt(map, 10, 18);
    tb.predictedThrowPath = {vec(1, 2, 0), vec(3, 4, 0)};
    mouse({{100, 100}});
    tb.calculateThrowPath();
    EXPECT_TRUE(tb.predictedThrowPath.empty());
    const ref::M before = snapshot(ab_quat);
    tb.nudgedThrow();
    EXPECT_TRUE(sameMatrix(ab_quat, before));
}

TEST_F(TrackballThrow, SimulationEndsAtTheFirstCellInsideAPolarBand) {
    Map map = flatMapThatStopsTheClimb(360, 180);
    ScopedMap installed(map);
    tb.frictionStrength = 0.05f;
    tb.nudgeStrength = 0.56f;
    orientAt(map, 100, 40);
    // The mouse moved down the window by 30 pixels on average: base step (0, -30), towards row 0.
    mouse({{200, 200}, {200, 215}, {200, 230}, {200, 245}});
    tb.calculateThrowPath();
    // mean of 15, 30, 45 = 30; v = 27 -> rows 40 - 25.65 -> 14, then 14 - 24.37 -> -10 -> 0.
    ASSERT_EQ(tb.predictedThrowPath.size(), 2u);
    EXPECT_EQ(tb.throwRow, 0);
    EXPECT_EQ(tb.throwColumn, 100);
}

TEST_F(TrackballThrow, ASingleEntryPathIsNotClimbedOrBlended) {
    Map map = flatMapThatStopsTheClimb(360, 180);
    ScopedMap installed(map);
    tb.frictionStrength = 0.05f;
    tb.nudgeStrength = 0.56f;
    orientAt(map, 100, 20);
    mouse({{200, 200}, {200, 215}, {200, 230}, {200, 245}});
    tb.calculateThrowPath();
    // 20 - 25.65 rounds to -6, clamped to row 0: inside the band at once.
    ASSERT_EQ(tb.predictedThrowPath.size(), 1u);
    EXPECT_EQ(tb.predictedThrowPath[0].x, 100);
    EXPECT_EQ(tb.predictedThrowPath[0].y, 0);
}

// A climb that starts two columns before the seam and walks along +columns: the offset is the
// short way across the seam (+3 columns), not nearly a whole map width back.
TEST_F(TrackballThrow, ClimbAcrossTheColumnSeamTakesTheShortWay) {
    Map map(360, 180);
    map.fill([](int i, int, float* c) {
        c[0] = 0.5f;
        c[1] = 0;
        // Along +columns near the seam; elsewhere the gradient turns round, ending the climb
        // as soon as it has crossed.
        c[2] = (i >= 300) ? 0.0f : static_cast<float>(M_PI);
    });
    // Goodness above 0.7 only on the far side of the seam, where the angle turns round.
    map.fill([](int i, int, float* c) {
        if (i >= 300) c[0] = 0.9f;
    });
    ScopedMap installed(map);
    tb.frictionStrength = 0.11f;
    tb.nudgeStrength = 0.56f;
    // Thrown along +columns from column 81: the 25 rounded steps end at column 357.
    orientAt(map, 81, 90);
    mouse(fortyPixelsLeft());
    tb.calculateThrowPath();
    ASSERT_EQ(tb.predictedThrowPath.size(), 25u);
    // Unblended end column: 83 plus the rounded steps.
    int column = 81;
    float v = 36.0f;
    while (v > 2.0) {
        v = (1 - 0.11f) * v;
        column = static_cast<int>(std::round(column + static_cast<double>(v))) % 360;
    }
    ASSERT_EQ(column, 357);
    // Climb: 357 -> 360 = column 0 (angle there is pi, a turn of pi, goodness 0.9 at 357),
    // so it ends with the offset +3.
    const vec last = tb.predictedThrowPath.back();
    EXPECT_EQ(last.x, 360);
    EXPECT_EQ(last.y, 90);
    // Every entry moved forwards by at most three columns.
    for (size_t k = 0; k + 1 < tb.predictedThrowPath.size(); ++k)
        EXPECT_LT(tb.predictedThrowPath[k].x, tb.predictedThrowPath[k + 1].x) << k;
    // Replaying the last entry looks from column 360, which is the direction of column 0.
    tb.throwStepCount = 24;
    tb.nudgedThrow();
    const ref::V seen = ref::viewDir(snapshot(ab_quat));
    const ref::V col0 = ref::cellDir(0, 90, 360, 180);
    EXPECT_NEAR(seen.x, col0.x, 1e-9);
    EXPECT_NEAR(seen.y, col0.y, 1e-9);
}

// The same the other way round: a climb from column 2 across the seam backwards to column 359
// has the offset -3.
TEST_F(TrackballThrow, ClimbBackwardsAcrossTheSeamTakesTheShortWay) {
    Map map(360, 180);
    map.fill([](int i, int, float* c) {
        c[0] = i < 60 ? 0.9f : 0.5f;
        c[1] = 0;
        c[2] = i < 60 ? static_cast<float>(M_PI) : 0.0f;
    });
    ScopedMap installed(map);
    tb.frictionStrength = 0.11f;
    tb.nudgeStrength = 0.56f;
    orientAt(map, 278, 90);
    mouse({{100, 250}, {140, 250}}); // motionChange (40, 0): thrown along -columns
    tb.calculateThrowPath();
    ASSERT_EQ(tb.predictedThrowPath.size(), 25u);
    EXPECT_EQ(tb.throwColumn, 2);
    const vec last = tb.predictedThrowPath.back();
    EXPECT_EQ(last.x, -1);
    EXPECT_EQ(last.y, 90);
    for (size_t k = 0; k + 1 < tb.predictedThrowPath.size(); ++k)
        EXPECT_GT(tb.predictedThrowPath[k].x, tb.predictedThrowPath[k + 1].x) << k;
    // Replaying the last entry looks from column -1, the direction of column 359 (up to the
    // float cell fractions: -1/360 and 359/360 round differently).
    tb.throwStepCount = 24;
    tb.nudgedThrow();
    const ref::V seen = ref::viewDir(snapshot(ab_quat));
    const ref::V col359 = ref::cellDir(359, 90, 360, 180);
    EXPECT_NEAR(seen.x, col359.x, 1e-6);
    EXPECT_NEAR(seen.y, col359.y, 1e-6);
}

// The polar walks read up to 150 rows from the start row; on a small map they stop at the last
// (or first) row instead of leaving the cell array.
TEST_F(TrackballThrow, PolarWalksStopAtTheMapsEdgeRows) {
    for (int h : {36, 48}) {
        Map map(72, h);
        // Every gradient points at row 0: the walk near the +z pole goes down the map.
        map.fill([](int, int, float* c) {
            c[0] = 0.2f;
            c[1] = 0;
            c[2] = static_cast<float>(M_PI / 2);
        });
        ScopedMap installed(map);
        tb.frictionStrength = 0.3f;
        tb.nudgeStrength = 0.5f;
        // Thrown towards row 0 at speed 30 from six rows above the bottom: the path ends within
        // the polar band near row 0 after two or three steps.
        orientAt(map, 30, h - 6);
        mouse({{200, 200}, {200, 230}});
        tb.calculateThrowPath();
        const ref::Prediction want = ref::predict(map, 0.5f, 0.3f, 30, h - 6, ref::V{0, 30, 0}, 30);
        ASSERT_EQ(tb.predictedThrowPath.size(), want.path.size());
        ASSERT_GE(want.path.size(), 2u);
        for (size_t k = 0; k < want.path.size(); ++k) {
            EXPECT_EQ(tb.predictedThrowPath[k].x, want.path[k].x);
            EXPECT_EQ(tb.predictedThrowPath[k].y, want.path[k].y);
        }
        // The climb started near row 0, walked down to the last row (not 150 rows), then
        // stepped 3 rows back up; the offset is measured from the path's end.
        const int endRow = static_cast<int>(tb.predictedThrowPath.back().y);
        const int simulatedEnd = h == 36 ? 0 : 1;
        EXPECT_EQ(endRow, h - 1 - 3) << h;
        EXPECT_EQ(want.offsetRow, h - 1 - 3 - simulatedEnd);
        for (const vec& p : tb.predictedThrowPath)
            EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
    }
}

TEST_F(TrackballThrow, PredictionAgreesBitForBitWithTheSecondImplementation) {
    struct Case {
        int w, h;
        unsigned seed;
    };
    for (const Case& cs : {Case{360, 180, 3}, Case{72, 36, 4}, Case{16, 10, 5}, Case{3, 2, 6}}) {
        Map map = randomMap(cs.w, cs.h, cs.seed);
        // Some plateaus of high goodness so that the ridge test ends some climbs.
        map.fill([&](int i, int j, float* c) {
            if ((i / 5 + j / 5) % 3 == 0) c[0] = 0.95f;
        });
        ScopedMap installed(map);
        std::mt19937 rng(cs.seed * 31);
        std::uniform_int_distribution<int> col(0, cs.w - 1), row(0, cs.h - 1), pix(-90, 90);
        std::uniform_int_distribution<int> strength(0, 100), count(1, 8);
        for (int n = 0; n < 3000; ++n) {
            tb.frictionStrength = (strength(rng) + 1) / 100.0f;
            tb.nudgeStrength = strength(rng) / 100.0f;
            const int i = col(rng), j = row(rng);
            orientAt(map, i, j);
            int a, b;
            cellOfView(map, a, b);
            std::vector<std::pair<int, int>> samples;
            int x = 300, y = 300;
            const int c = count(rng);
            for (int k = 0; k < c; ++k) {
                samples.emplace_back(x, y);
                x += pix(rng);
                y += pix(rng);
            }
            mouse(samples);
            std::vector<std::pair<int, int>> newestFirst(samples.rbegin(), samples.rend());
            float avg;
            ref::V mc;
            ref::motion(newestFirst, avg, mc);
            const ref::Prediction want =
                ref::predict(map, tb.nudgeStrength, tb.frictionStrength, a, b, mc, avg);
            tb.calculateThrowPath();
            ASSERT_EQ(tb.predictedThrowPath.size(), want.path.size()) << n;
            for (size_t k = 0; k < want.path.size(); ++k) {
                ASSERT_EQ(tb.predictedThrowPath[k].x, want.path[k].x) << n << "/" << k;
                ASSERT_EQ(tb.predictedThrowPath[k].y, want.path[k].y) << n << "/" << k;
            }
            if (!want.path.empty()) {
                ASSERT_EQ(tb.throwColumn, want.lastColumn);
                ASSERT_EQ(tb.throwRow, want.lastRow);
                ASSERT_GE(tb.throwColumn, 0);
                ASSERT_LT(tb.throwColumn, cs.w);
            }
        }
    }
}

// Friction 0 means a live throw: its speed falls by (1 - friction) twice per tick (the plain
// friction step and the live step), except on the first tick where the live step restarts
// from the mouse speed.
TEST_F(TrackballThrow, LiveThrowDecaysByTheSquareOfTheFrictionFactor) {
    Map map(360, 180); // no gradient anywhere
    ScopedMap installed(map);
    tb.frictionStrength = 0.05f;
    tb.nudgeStrength = 0; // below 0.01: live even with friction on
    orientAt(map, 10, 90);
    mouse(fortyPixelsLeft());
    tb.calculateThrowPath();
    tb.startStdThrow();
    EXPECT_EQ(tb.throwSpeed, 40.0f);
    tb.firstThrowStep = true;
    float expected = 40.0f;
    int column = 10;
    for (int tick = 0; tick < 40; ++tick) {
        tb.calStdThrow();
        const float afterPlain = (1 - 0.05f) * expected;
        EXPECT_EQ(tb.throwSpeed, afterPlain);
        tb.nudgedThrow();
        if (tick == 0)
            expected = (1 - 0.05f) * 40.0f;
        else
            expected = (1 - 0.05f) * afterPlain;
        EXPECT_EQ(tb.throwSpeed, expected) << tick;
        if (expected < 2.0f) break;
        column = static_cast<int>(std::round(column + static_cast<double>(expected))) % 360;
        int c, r;
        cellOfView(map, c, r);
        EXPECT_EQ(c, column) << tick;
        EXPECT_EQ(r, 90);
        // The next tick continues in the same direction with the current speed as its length.
        EXPECT_EQ(tb.motionChange.x, -static_cast<double>(expected));
        EXPECT_EQ(tb.motionChange.y, 0);
    }
    EXPECT_LT(tb.throwSpeed, 2.0f);
    // Once the speed is below 2 nothing moves.
    const ref::M end = snapshot(ab_quat);
    tb.calStdThrow();
    tb.nudgedThrow();
    EXPECT_TRUE(sameMatrix(ab_quat, end));
}

TEST_F(TrackballThrow, LiveStepsAgreeBitForBitWithTheSecondImplementation) {
    Map map = randomMap(72, 36, 8);
    ScopedMap installed(map);
    std::mt19937 rng(41);
    std::uniform_int_distribution<int> col(0, 71), row(0, 35), pix(-400, 400), strength(0, 100);
    for (int n = 0; n < 300; ++n) {
        // Live: either friction off, or nudging below 0.01.
        tb.frictionStrength = strength(rng) / 1000.0f;
        tb.nudgeStrength = strength(rng) / 100.0f;
        if (n % 2 == 0)
            tb.frictionStrength = 0;
        else
            tb.nudgeStrength = 0.009f;
        orientAt(map, col(rng), row(rng));
        mouse({{300, 300}, {300 + pix(rng), 300 + pix(rng)}});
        tb.firstThrowStep = true;
        tb.throwSpeed = 0;
        // Second implementation, tick by tick.
        float speed = 0;
        ref::V mc;
        bool first = true;
        for (int tick = 0; tick < 30; ++tick) {
            tb.calStdThrow();
            speed = (1 - tb.frictionStrength) * speed;
            const ref::M current = snapshot(ab_quat);
            int i, j;
            cellOfView(map, i, j);
            if (first) {
                first = false;
                const std::pair<int, int> newest{static_cast<int>(tb.mousePathHead->x),
                                                 static_cast<int>(tb.mousePathHead->y)};
                const std::pair<int, int> older{static_cast<int>(tb.mousePathTail->x),
                                                static_cast<int>(tb.mousePathTail->y)};
                float avg;
                ref::motion({newest, older}, avg, mc);
                speed = avg;
            }
            const double dc = -mc.x, dr = -mc.y;
            const double len = std::sqrt(dc * dc + dr * dr);
            const ref::V m = ref::nudged(map, tb.nudgeStrength, i, j, dc, dr, ref::Kind::Live);
            speed = (1 - tb.frictionStrength) * speed;
            ref::M want = current;
            int wantColumn = tb.throwColumn, wantRow = tb.throwRow;
            if (!(speed < 2.0) && !(len < 0.1)) {
                const ref::V u = ref::normalised(m);
                const ref::V s{u.x * speed, u.y * speed, 0};
                wantColumn = static_cast<int>(std::round(i + s.x));
                wantRow = static_cast<int>(std::round(j + s.y));
                mc = ref::V{-s.x, -s.y, 0};
                const bool guard = current[9] <= 0.2 &&
                                   ((current[10] > 0 && s.y < 0) || (current[10] < 0 && s.y > 0));
                if (!guard) {
                    ref::inside(map, wantColumn, wantRow);
                    want = ref::orient(ref::cellDir(wantColumn, wantRow, 72, 36));
                }
            }
            tb.nudgedThrow();
            ASSERT_EQ(tb.throwSpeed, speed) << n << "/" << tick;
            ASSERT_TRUE(sameMatrix(ab_quat, want)) << n << "/" << tick;
            ASSERT_EQ(tb.throwColumn, wantColumn);
            ASSERT_EQ(tb.throwRow, wantRow);
            ASSERT_EQ(tb.motionChange.x, mc.x);
            ASSERT_EQ(tb.motionChange.y, mc.y);
        }
    }
}

// A live throw whose step is longer than the map: columns wrap fully, rows clamp.
TEST_F(TrackballThrow, LiveStepsLongerThanTheMapStayInside) {
    Map map = randomMap(4, 3, 9);
    ScopedMap installed(map);
    tb.frictionStrength = 0;
    tb.nudgeStrength = 1.0f;
    orientAt(map, 1, 1);
    mouse({{0, 300}, {1000, 290}});
    tb.firstThrowStep = true;
    int moved = 0;
    for (int tick = 0; tick < 10; ++tick) {
        const ref::M before = snapshot(ab_quat);
        tb.calStdThrow();
        tb.nudgedThrow();
        for (int k = 0; k < 16; ++k)
            ASSERT_TRUE(std::isfinite(ab_quat[k]));
        // Wherever it went, the view is on one of the 4 x 3 cells.
        int c, r;
        cellOfView(map, c, r);
        const ref::V d = ref::viewDir(snapshot(ab_quat));
        const ref::V want = ref::cellDir(c, r, 4, 3);
        EXPECT_NEAR(d.x, want.x, 1e-9);
        EXPECT_NEAR(d.y, want.y, 1e-9);
        EXPECT_NEAR(d.z, want.z, 1e-9);
        if (!sameMatrix(ab_quat, before)) ++moved;
    }
    EXPECT_GT(moved, 0);
}

TEST_F(TrackballThrow, NoMapOrATinyMapThrowsNothing) {
    Map none;
    Map tiny(1, 1);
    tiny.cells = {0.9f, 1, 0};
    for (Map* map : {&none, &tiny}) {
        ScopedMap installed(*map);
        tb.init();
        const ref::M before = snapshot(ab_quat);
        tb.frictionStrength = 0.11f;
        tb.nudgeStrength = 0.56f;
        mouse(fortyPixelsLeft());
        tb.calculateThrowPath();
        EXPECT_TRUE(tb.predictedThrowPath.empty());
        tb.nudgedThrow();
        tb.frictionStrength = 0;
        tb.firstThrowStep = true;
        for (int k = 0; k < 3; ++k) {
            tb.calStdThrow();
            tb.nudgedThrow();
        }
        EXPECT_TRUE(sameMatrix(ab_quat, before));
    }
}
