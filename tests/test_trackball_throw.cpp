// The nudged throw: prediction at release (simulation, climb, blend), replay and live steps.
#include "trackball_util.h"

using namespace tbtest;
using TrackballThrow = TrackballTest;

namespace {

// The newest sample 40 pixels left of the older one: averageSpeed 40, motionChange (-40, 0).
const std::vector<std::pair<int, int>> fortyPixelsLeft = {{140, 250}, {100, 250}};

} // namespace

TEST_F(TrackballThrow, NoFrictionOrNoMotionPredictsNothing) {
    Map map = randomMap(72, 36, 1);
    ScopedMap installed(map);
    tb.nudgeStrength = 0.5f;
    mouse(fortyPixelsLeft);
    // 0.0001f widened is 9.99999975e-05, still "practically off": the old path stays.
    for (const float friction : {0.0f, 0.0001f, 0.0002f}) {
        tb.predictedThrowPath = {vec(1, 2, 0)};
        tb.frictionStrength = friction;
        tb.calculateThrowPath();
        EXPECT_EQ(tb.averageSpeed, friction > 0.0001f ? 40.0f : 0.0f); // motion worked out or not
        EXPECT_EQ(tb.predictedThrowPath.front() == vec(1, 2, 0), friction <= 0.0001f);
    }
    // A release without motion: an empty path, and a replay tick that moves nothing.
    mouse({{100, 100}});
    tb.calculateThrowPath();
    EXPECT_TRUE(tb.predictedThrowPath.empty());
    tb.nudgedThrow();
    EXPECT_TRUE(sameMatrix(ab_quat, ref::identity()));
}

// Friction 0.11, nudge 0.56, average speed 40: v starts at 36; the steps are 32.04, 28.52,
// 25.38, ... cells; 25 of them (the last 1.95) before the speed is down to 2.
TEST_F(TrackballThrow, ThePredictionExampleOfTwentyFiveStepsAndItsReplay) {
    // Flat goodness 0.9 with no gradient; the stored angles point towards larger rows on even
    // rows and towards row 0 on odd rows, so a climb turns round after its first three-row step
    // and ends with the offset (0, 3).
    Map map(360, 180);
    map.fill([](int, int j, float* c) {
        c[0] = 0.9f;
        c[2] = static_cast<float>(j % 2 == 0 ? -M_PI / 2 : M_PI / 2);
    });
    ScopedMap installed(map);
    tb.frictionStrength = 0.11f;
    tb.nudgeStrength = 0.56f;
    orientAt(map, 20, 90);
    mouse(fortyPixelsLeft);
    tb.calculateThrowPath();
    const std::vector<vec>& path = tb.predictedThrowPath;
    ASSERT_EQ(path.size(), 25u);
    // No gradient: each step goes straight along +columns (base step = -motionChange), rounded;
    // the climb offset (0, 3) moves only the rows, blended in by the easing curve.
    const double steps[] = {32.04, 28.5156, 25.378884}, columns[] = {52, 81, 106};
    float v = static_cast<float>(0.9 * 40.0f); // the speed in float, as the simulation keeps it
    int column = 20;
    for (size_t k = 0; k < 25; ++k) {
        v = (1 - 0.11f) * v;
        column = static_cast<int>(std::round(column + static_cast<double>(v))) % 360;
        const float w = static_cast<float>(k) / 24.0f;
        const double row = 90 + 3 * static_cast<double>((w * w) * (w * -2.0f + 3.0f));
        EXPECT_EQ(path[k], vec(column, row, 0)) << k;
        EXPECT_TRUE(k >= 3 || (std::fabs(v - steps[k]) < 1e-5 && column == columns[k])) << k;
    }
    EXPECT_NEAR(v, 1.95, 0.005); // the 25th step brings the speed down to 2
    EXPECT_EQ(std::make_pair(tb.throwColumn, tb.throwRow), std::make_pair(column, 90));
    // Replay: one entry per tick, then nothing more.
    for (size_t k = 0; k < 30; ++k) {
        tb.calStdThrow();
        tb.nudgedThrow();
        const size_t e = std::min<size_t>(k, 24);
        ASSERT_EQ(tb.throwStepCount, static_cast<int>(e) + 1);
        const vec q =
            ref::cellDir(static_cast<int>(path[e].x), static_cast<int>(path[e].y), 360, 180);
        ASSERT_TRUE(sameMatrix(ab_quat, ref::orient(q))) << k;
        ASSERT_EQ(tb.viewpointTrail.size(), e + 1);
        ASSERT_EQ(tb.viewpointTrail.back(), q);
    }
}

// The polar walks read up to 150 rows from the start row; on a small map they stop at the last
// (or first) row instead of leaving the cell array.
TEST_F(TrackballThrow, PolarWalksStopAtTheMapsEdgeRows) {
    for (const int h : {36, 48}) {
        Map map(72, h);
        map.fill([](int, int, float* c) { // every gradient points at row 0
            c[0] = 0.2f;
            c[2] = static_cast<float>(M_PI / 2);
        });
        ScopedMap installed(map);
        tb.frictionStrength = 0.3f;
        tb.nudgeStrength = 0.5f;
        // Thrown towards row 0 at speed 30 from six rows above the bottom: the path ends in the
        // polar band near row 0 after two or three steps.
        orientAt(map, 30, h - 6);
        mouse({{200, 200}, {200, 230}});
        tb.calculateThrowPath();
        const ref::Prediction want = ref::predict(map, 0.5f, 0.3f, 30, h - 6, vec(0, 30, 0), 30);
        ASSERT_GE(want.path.size(), 2u);
        EXPECT_EQ(tb.predictedThrowPath, want.path);
        // The climb walked down to the last row (not 150 rows), then stepped 3 rows back up.
        EXPECT_EQ(tb.predictedThrowPath.back().y, h - 1 - 3) << h;
    }
}

// Some of the climbs cross the column seam.
TEST_F(TrackballThrow, PredictionAgreesBitForBitWithTheSecondImplementation) {
    const int sizes[][3] = {{360, 180, 3}, {72, 36, 4}, {16, 10, 5}, {3, 2, 6}};
    int acrossSeam = 0;
    for (const auto& [w, h, seed] : sizes) {
        Map map = randomMap(w, h, seed);
        // Some plateaus of high goodness so that the ridge test ends some climbs.
        map.fill([&](int i, int j, float* c) {
            if ((i / 5 + j / 5) % 3 == 0) c[0] = 0.95f;
        });
        ScopedMap installed(map);
        std::mt19937 rng(seed * 31);
        std::uniform_int_distribution<int> col(0, w - 1), row(0, h - 1), pix(-150, 150);
        std::uniform_int_distribution<int> strength(0, 100);
        for (int n = 0; n < 1000; ++n) {
            tb.frictionStrength = (strength(rng) + 1) / 100.0f;
            tb.nudgeStrength = strength(rng) / 100.0f;
            orientAt(map, col(rng), row(rng));
            const auto [a, b] = viewCell(map);
            const std::pair<int, int> older{300, 300}, newest{300 + pix(rng), 300 + pix(rng)};
            mouse({older, newest});
            float avg;
            vec mc;
            ref::motion(newest, older, avg, mc);
            const ref::Prediction want =
                ref::predict(map, tb.nudgeStrength, tb.frictionStrength, a, b, mc, avg);
            tb.calculateThrowPath();
            ASSERT_EQ(std::make_pair(tb.averageSpeed, tb.motionChange), std::make_pair(avg, mc))
                << n;
            ASSERT_EQ(tb.predictedThrowPath, want.path) << n;
            acrossSeam += want.acrossSeam;
            if (want.path.empty()) continue;
            ASSERT_EQ(std::make_pair(tb.throwColumn, tb.throwRow),
                      std::make_pair(want.lastColumn, want.lastRow));
        }
    }
    EXPECT_GT(acrossSeam, 20);
}

// Live steps tick by tick, on a map and on one so small (4 x 3) that every step is longer than
// the map: the columns wrap fully and the rows clamp.
TEST_F(TrackballThrow, LiveStepsAgreeBitForBitWithTheSecondImplementation) {
    for (const int w : {72, 4}) {
        Map map = randomMap(w, w == 4 ? 3 : 36, w);
        ScopedMap installed(map);
        std::mt19937 rng(41);
        std::uniform_int_distribution<int> col(0, w - 1), row(0, map.height - 1);
        std::uniform_int_distribution<int> pix(-400, 400), strength(0, 100);
        int moved = 0;
        for (int n = 0; n < 300; ++n) {
            // Live: either friction off, or nudging below 0.01.
            tb.frictionStrength = n % 2 == 0 ? 0 : strength(rng) / 1000.0f;
            tb.nudgeStrength = n % 2 == 0 ? strength(rng) / 100.0f : 0.009f;
            orientAt(map, col(rng), row(rng));
            const std::pair<int, int> older{300, 300}, newest{300 + pix(rng), 300 + pix(rng)};
            mouse({older, newest});
            tb.firstThrowStep = true;
            tb.throwSpeed = 0;
            ref::Live s{0, vec(), tb.throwColumn, tb.throwRow};
            for (int tick = 0; tick < 30; ++tick) {
                tb.calStdThrow();
                s.speed = (1 - tb.frictionStrength) * s.speed;
                if (tick == 0) ref::motion(newest, older, s.speed, s.mc);
                const ref::M before = snapshot(ab_quat);
                const ref::M want =
                    ref::liveTick(map, tb.nudgeStrength, tb.frictionStrength, before, s);
                tb.nudgedThrow();
                ASSERT_EQ(tb.throwSpeed, s.speed) << n << "/" << tick;
                ASSERT_TRUE(sameMatrix(ab_quat, want)) << n << "/" << tick;
                ASSERT_EQ(std::make_pair(tb.throwColumn, tb.throwRow),
                          std::make_pair(s.column, s.row));
                ASSERT_EQ(tb.motionChange, s.mc);
                moved += before != want;
            }
        }
        EXPECT_GT(moved, 100);
    }
}
