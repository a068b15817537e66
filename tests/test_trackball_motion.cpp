// Orientation set outright: from a spherical direction, from a point of the flat map, and from
// the stored orbit or turntable loop during Orbit-mode playback.
#include "RenderingSetting.h"
#include "trackball_util.h"
#include "viewPath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace tbtest;

namespace {

class TrackballMotion : public ::testing::Test {
protected:
    void SetUp() override {
        resetEngine();
        savedPath = viewPath::_instance.pathPoints;
        savedTurntable = viewPath::_instance.turntablePoints;
        savedIndex = viewPath::_instance.currentIndex;
        savedPlaying = RenderingSetting::_instance.playing;
    }
    void TearDown() override {
        viewPath::_instance.pathPoints = savedPath;
        viewPath::_instance.turntablePoints = savedTurntable;
        viewPath::_instance.currentIndex = savedIndex;
        RenderingSetting::_instance.playing = savedPlaying;
        resetEngine();
    }

    // A loop of n points whose k-th point is easy to recognise: theta = 0.01 k - 1, phi = 0.5 +
    // 0.02 k.
    static std::vector<PathPoint> loop(int n, float offset = 0) {
        std::vector<PathPoint> p;
        for (int k = 0; k < n; ++k)
            p.push_back({0.01f * k - 1 + offset, 0.5f + 0.02f * k});
        return p;
    }

    // The orientation that looks from path point p.
    static ref::M at(PathPoint p) {
        return ref::orient(ref::cartesian(ref::V{1, static_cast<double>(p.theta), p.phi}));
    }

    ExtTrackball& tb = ExtTrackball::_instance;
    viewPath& paths = viewPath::_instance;

private:
    std::vector<PathPoint> savedPath, savedTurntable;
    int savedIndex = 0;
    bool savedPlaying = false;
};

} // namespace

TEST_F(TrackballMotion, MoveLooksFromTheGivenDirectionUpright) {
    tb.init();
    tb.move(vec(1, 0, M_PI / 2));
    EXPECT_NEAR(ab_quat[2], 1, 1e-15);
    EXPECT_NEAR(ab_quat[6], 0, 1e-15);
    EXPECT_NEAR(ab_quat[10], 0, 1e-15);
    EXPECT_GT(ab_quat[9], 0);
    EXPECT_NEAR(ab_quat[8], 0, 1e-15);
    EXPECT_TRUE(sameMatrix(ab_last, ref::identity()));

    // The previous orientation plays no part.
    std::mt19937 rng(51);
    std::uniform_real_distribution<double> th(-M_PI, M_PI), ph(0.01, M_PI - 0.01);
    for (int n = 0; n < 1000; ++n) {
        const double theta = th(rng), phi = ph(rng);
        tb.move(vec(1, th(rng), ph(rng)));
        tb.move(vec(1, theta, phi));
        ASSERT_TRUE(sameMatrix(ab_quat, ref::orient(ref::cartesian(ref::V{1, theta, phi}))));
        EXPECT_NEAR(ab_quat[8], 0, 1e-12);
        EXPECT_GT(ab_quat[9], 0);
    }
}

TEST_F(TrackballMotion, FlatMapCornersAndCentre) {
    Map map(360, 180);
    ScopedMap installed(map);
    tb.init();
    // Top-left corner: column 0, row 0, the +z pole: the identity, nothing to roll.
    tb.moveontexture(-1, -1);
    EXPECT_TRUE(sameMatrix(ab_quat, ref::identity()));

    // Centre: column trunc(0.5 * 359) = 179, row trunc(0.5 * 179) = 89.
    tb.moveontexture(0, 0);
    EXPECT_TRUE(sameMatrix(ab_quat, ref::orient(ref::cellDir(179, 89, 360, 180))));
    int c, r;
    ref::cellOf(ref::viewDir(snapshot(ab_quat)), 360, 180, c, r);
    EXPECT_EQ(c, 179);
    EXPECT_EQ(r, 89);

    // Bottom-right corner: the last column and row.
    tb.moveontexture(1, 1);
    EXPECT_TRUE(sameMatrix(ab_quat, ref::orient(ref::cellDir(359, 179, 360, 180))));
    tb.moveontexture(1, -1);
    EXPECT_TRUE(sameMatrix(ab_quat, ref::orient(ref::cellDir(359, 0, 360, 180))));
}

TEST_F(TrackballMotion, FlatMapPointsAgreeWithTheSecondImplementation) {
    Map map(72, 36);
    ScopedMap installed(map);
    std::mt19937 rng(52);
    std::uniform_real_distribution<float> u(-1, 1);
    for (int n = 0; n < 3000; ++n) {
        const float a = u(rng), b = u(rng);
        tb.moveontexture(a, b);
        const float a1 = a + 1.0f, b1 = b + 1.0f;
        const int c = static_cast<int>(static_cast<double>(a1) * 0.5 * 71);
        const int r = static_cast<int>(static_cast<double>(b1) * 0.5 * 35);
        ASSERT_TRUE(sameMatrix(ab_quat, ref::orient(ref::cellDir(c, r, 72, 36)))) << a << "," << b;
    }
}

TEST_F(TrackballMotion, PlaybackRestartsAtTheCurrentPoint) {
    paths.pathPoints = loop(20);
    paths.currentIndex = 7;
    RenderingSetting::_instance.playing = true;
    tb.restartPath = true;
    tb.moveOnViewpath(100);
    EXPECT_FALSE(tb.restartPath);
    EXPECT_EQ(tb.pathStartFrame, 93);
    EXPECT_EQ(paths.currentIndex, 7);
    EXPECT_TRUE(sameMatrix(ab_quat, at(paths.pathPoints[7])));

    tb.moveOnViewpath(105);
    EXPECT_EQ(paths.currentIndex, 12);
    EXPECT_TRUE(sameMatrix(ab_quat, at(paths.pathPoints[12])));
    tb.moveOnViewpath(93 + 20 + 3);
    EXPECT_EQ(paths.currentIndex, 3);

    // With ten points frame 105 is point (105 - 93) mod 10 = 2.
    paths.pathPoints = loop(10);
    tb.moveOnViewpath(105);
    EXPECT_EQ(paths.currentIndex, 2);
    EXPECT_TRUE(sameMatrix(ab_quat, at(paths.pathPoints[2])));
}

TEST_F(TrackballMotion, PausedPlaybackFollowsTheSlider) {
    paths.pathPoints = loop(20);
    RenderingSetting::_instance.playing = false;
    for (int index : {0, 5, 19, 4}) {
        paths.currentIndex = index;
        tb.moveOnViewpath(1000 + index);
        EXPECT_EQ(paths.currentIndex, index);
        EXPECT_TRUE(sameMatrix(ab_quat, at(paths.pathPoints[index])));
    }
}

TEST_F(TrackballMotion, AnIndexOutsideThePathChangesNothing) {
    tb.init();
    const ref::M before = snapshot(ab_quat);
    RenderingSetting::_instance.playing = true;
    paths.pathPoints = loop(5);
    paths.turntablePoints = loop(5, 0.5f);
    paths.currentIndex = 5;
    tb.moveOnViewpath(50);
    tb.moveOnTurntable(50);
    EXPECT_TRUE(sameMatrix(ab_quat, before));
    EXPECT_EQ(paths.currentIndex, 5);
    paths.currentIndex = -1;
    tb.moveOnViewpath(50);
    tb.moveOnTurntable(50);
    EXPECT_TRUE(sameMatrix(ab_quat, before));
    paths.pathPoints.clear();
    paths.turntablePoints.clear();
    paths.currentIndex = 0;
    tb.restartPath = true;
    tb.moveOnViewpath(50);
    tb.moveOnTurntable(50);
    EXPECT_TRUE(sameMatrix(ab_quat, before));
}

TEST_F(TrackballMotion, TurntableSharesTheIndexAndTheStartFrame) {
    paths.pathPoints = loop(30);
    paths.turntablePoints = loop(30, 0.25f);
    paths.currentIndex = 4;
    RenderingSetting::_instance.playing = true;
    tb.restartPath = true;
    tb.moveOnTurntable(40);
    EXPECT_EQ(tb.pathStartFrame, 36);
    EXPECT_TRUE(sameMatrix(ab_quat, at(paths.turntablePoints[4])));
    tb.moveOnViewpath(41);
    EXPECT_EQ(paths.currentIndex, 5);
    EXPECT_TRUE(sameMatrix(ab_quat, at(paths.pathPoints[5])));
    tb.moveOnTurntable(46);
    EXPECT_EQ(paths.currentIndex, 10);
    EXPECT_TRUE(sameMatrix(ab_quat, at(paths.turntablePoints[10])));
}

// The playback frame is derived from the stored path's length, so after a model change it can
// be smaller than the start frame; the remainder of a negative difference is negative and must
// not index before the path.
TEST_F(TrackballMotion, AFrameBeforeTheStartFrameStaysInsideThePath) {
    paths.pathPoints = loop(10);
    paths.currentIndex = 3;
    RenderingSetting::_instance.playing = true;
    tb.restartPath = true;
    tb.moveOnViewpath(500);
    EXPECT_EQ(tb.pathStartFrame, 497);
    tb.moveOnViewpath(120); // 120 - 497 = -377: -377 mod 10 is 3 on the loop
    EXPECT_EQ(paths.currentIndex, 3);
    EXPECT_TRUE(sameMatrix(ab_quat, at(paths.pathPoints[3])));
    tb.moveOnViewpath(496);
    EXPECT_EQ(paths.currentIndex, 9);
}
