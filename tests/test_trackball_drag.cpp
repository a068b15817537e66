// The plain drag (mouse path, speed estimate, standard move, friction) and the nudged drag.
#include "trackball_util.h"

using namespace tbtest;
using TrackballDrag = TrackballTest;

namespace {

// The viewing direction is that of the map cell it falls into, and the model's +z axis points up
// the screen (or lies on the line of sight).
bool onGridUpright(const Map& map, const double* m) {
    const auto [i, j] = viewCell(map, m);
    const vec c = ref::cellDir(i, j, map.width, map.height), d = ref::viewDir(snapshot(m));
    return std::hypot(c.x - d.x, c.y - d.y, c.z - d.z) < 1e-9 &&
           (std::hypot(m[8], m[9]) < 1e-9 || (std::fabs(m[8]) < 1e-12 && m[9] > 0));
}

} // namespace

TEST_F(TrackballDrag, MousePathSpeedAndFriction) {
    for (int k = 1; k <= 9; ++k)
        tb.recordMousePath(10 * k, -k);
    ASSERT_EQ(tb.mousePathCount, 8); // the eight newest, newest first
    int k = 9;
    for (const MousePathNode* n = tb.mousePathHead; n != nullptr; n = n->next, --k)
        EXPECT_EQ(std::make_pair(n->x, n->y), std::make_pair(10.0 * k, -1.0 * k));
    EXPECT_EQ(k, 1);
    EXPECT_EQ(tb.mousePathTail->x, 20);
    // Newest first: (10 + 20) / 2 = 15 along +x; one sample or none: no motion; (0, 0), (3, 4),
    // (0, 8): distances 5 and 8, mean 6.5, from (0, 8) to (0, 0), up the window.
    const std::vector<std::pair<int, int>> oldestFirst[] = {
        {{10, 5}, {20, 5}, {30, 5}}, {{7, 7}}, {}, {{0, 8}, {3, 4}, {0, 0}}};
    const vec motions[] = {vec(15, 0, 0), vec(), vec(), vec(0, -6.5, 0)};
    for (int c = 0; c < 4; ++c) {
        mouse(oldestFirst[c]);
        tb.motionChange = vec(1, 1, 1);
        tb.calculateMotionChange();
        EXPECT_EQ(tb.averageSpeed, std::abs(motions[c].x + motions[c].y)) << c;
        EXPECT_EQ(tb.motionChange, motions[c]) << c;
    }
    tb.clearMousePath();
    EXPECT_TRUE(tb.mousePathCount == 0 && !tb.mousePathHead && !tb.mousePathTail);
    tb.averageSpeed = 12.5f;
    tb.startStdThrow();
    EXPECT_EQ(tb.throwSpeed, 12.5f);
    tb.frictionStrength = 0.11f;
    tb.calStdThrow(); // each step slows the throw, not the mouse speed
    tb.calStdThrow();
    EXPECT_EQ(tb.throwSpeed, (1 - 0.11f) * ((1 - 0.11f) * 12.5f));
}

// A step of 5 columns samples (i, j), (i + 3, j) and (i + 5, j), rounding halves away from
// zero. Those carry a gradient towards larger rows; (i + 1), (i + 2) and (i + 4) carry a strong
// one towards row 0, so sampling the wrong cells bends the step the other way.
TEST_F(TrackballDrag, NudgedMoveSamplesHalfwayCellsRoundedAwayFromZero) {
    Map map(360, 180);
    const int i = 100, j = 90;
    map.fill([&](int c, int r, float* v) {
        const bool sampled = c == i || c == i + 3 || c == i + 5;
        v[1] = r != j || c < i || c > i + 5 ? 0 : sampled ? 1 : 50;
        v[2] = static_cast<float>(sampled ? -M_PI / 2 : M_PI / 2);
    });
    ScopedMap installed(map);
    tb.nudgeStrength = 0.56f;
    orientAt(map, i, j);
    const vec p = tb.planar_coords(250, 250); // a plane step of (0, 0.1): 5 columns
    tb.startPoint = vec(p.x, p.y - 0.1, 0);
    tb.nudgedMove(250, 250);
    // L = 5, N = (0, 1), sigma = 1, A = 1, e = exp(1.12) = 3.0649, gain = 2.0649 * 1.25 = 2.581
    // < 0.6 * 5, M = (5, 2.581), M / |M| * 5 = (4.443, 2.293).
    EXPECT_EQ(viewCell(map), std::make_pair(i + 4, j + 2));
    EXPECT_TRUE(onGridUpright(map, ab_quat));
}

// Random drags of a few moves on maps of several sizes, down to one that a fast mouse crosses
// several times in one move (the reference flags any read outside the map; the sanitizer build
// checks the engine): the plain and the nudged drag agree bit for bit with the second
// implementation, and after every move the view is on a map cell with the model upright.
TEST_F(TrackballDrag, DragsAgreeBitForBitAndStayOnTheGridUpright) {
    const int cases[][4] = {{360, 180, -100, 600}, {72, 36, -100, 600}, {8, 6, -2000, 2500}};
    for (const auto& [w, h, lo, hi] : cases) {
        Map map = randomMap(w, h, w);
        ScopedMap installed(map);
        std::mt19937 rng(w);
        std::uniform_int_distribution<int> col(0, w - 1), row(0, h - 1), pix(lo, hi),
            strength(0, 100);
        for (int n = 0; n < 600; ++n) {
            tb.nudgeStrength = strength(rng) / 100.0f;
            orientAt(map, col(rng), row(rng));
            const int x0 = pix(rng), y0 = pix(rng);
            tb.start(x0, y0);
            vec start = ref::planar(x0, y0);
            for (int m = 0; m < 4; ++m) { // each move measured from the last one handled
                const int x = pix(rng), y = pix(rng);
                const ref::M quat = snapshot(ab_quat), temp2 = snapshot(ab_temp2);
                const vec now = ref::planar(x, y);
                tb.standardTrackballMove(x, y);
                ASSERT_TRUE(sameMatrix(ab_temp2, ref::standardDrag(map, quat, temp2, start, now)));
                tb.nudgedMove(x, y);
                const ref::M want = ref::nudgedDrag(map, tb.nudgeStrength, quat, start, now);
                ASSERT_TRUE(sameMatrix(ab_quat, want)) << w << ":" << n << "/" << m;
                ASSERT_EQ(tb.viewpointTrail.back(), vec(quat[2], quat[6], quat[10]));
                for (const double* o : {ab_quat, ab_temp2})
                    ASSERT_TRUE(onGridUpright(map, o)) << w << ":" << n << "/" << m;
                if (now == start) continue;
                ASSERT_TRUE(sameMatrix(ab_last, want));
                ASSERT_EQ(tb.startPoint, now);
                start = now;
            }
        }
    }
}

// Before a map is loaded, with one too small to move on, or before the view has a viewport (the
// window position cannot be unprojected), drags and throws leave the orientation as it is:
// nothing reads missing cells, divides by zero, turns into NaN or jumps to column 0.
TEST_F(TrackballDrag, NoUsableMapOrViewportMovesNothing) {
    Map none, tiny(1, 1), thin(5, 1), fine = randomMap(72, 36, 8);
    tiny.cells = {0.5f, 1, 0};
    thin.fill([](int, int, float* v) { v[1] = 1; });
    for (Map* map : {&none, &tiny, &thin, &fine}) {
        ScopedMap installed(*map);
        if (map == &fine) std::fill(ab_glv, ab_glv + 4, 0);
        tb.init();
        const ref::M before = snapshot(ab_quat);
        tb.nudgeStrength = 0.56f;
        tb.frictionStrength = 0.11f;
        tb.start(100, 100);
        tb.standardTrackballMove(300, 200);
        tb.nudgedMove(300, 200);
        EXPECT_TRUE(tb.stdDragTrail.empty());
        EXPECT_FALSE(tb.viewpointTrail.empty()); // the trail records the call all the same
        mouse({{140, 250}, {100, 250}});
        for (int k = 0; k < 4 && map != &fine; ++k) { // a predicted throw, then a live one
            if (k == 0) tb.calculateThrowPath();
            EXPECT_TRUE(tb.predictedThrowPath.empty());
            tb.calStdThrow();
            tb.nudgedThrow();
            tb.frictionStrength = 0;
        }
        EXPECT_TRUE(sameMatrix(ab_quat, before));
        EXPECT_TRUE(sameMatrix(ab_temp2, before));
    }
}
