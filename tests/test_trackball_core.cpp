// Orientation state and rotation primitives of the trackball (matrices, the rotation between two
// directions, the upright roll, the trackball plane, the map index rule) and the orientation set
// outright: from a direction, a point of the flat map, or the orbit and turntable loops.
#include "RenderingSetting.h"
#include "trackball_util.h"
#include "viewPath.h"

using namespace tbtest;
using TrackballCore = TrackballTest;

namespace {

vec randomUnit(std::mt19937_64& rng) {
    std::normal_distribution<double> g(0, 1);
    return ref::normalised(vec(g(rng), g(rng), g(rng)));
}

// A rotation about a random axis by a random angle.
ref::M randomRotation(std::mt19937_64& rng) {
    return ref::between(randomUnit(rng), randomUnit(rng));
}

} // namespace

// The increment carries a onto b (checked geometrically and against the second implementation)
// and is applied after the previous orientation, which ab_last keeps. Equal or opposite vectors
// give the identity, also for unit vectors whose dot product with themselves rounds above 1,
// where an unclamped radicand would be negative (NaN).
TEST_F(TrackballCore, UpdateRotationMatrixTurnsOneDirectionOntoTheOther) {
    std::mt19937_64 rng(5);
    int above = 0;
    for (int n = 0; n < 2000; ++n) {
        const ref::M start = randomRotation(rng);
        load(ab_quat, start);
        const vec a = randomUnit(rng), b = randomUnit(rng);
        above += ref::dotp(a, a) > 1;
        for (const vec& to : {a, a * -1.0}) {
            tb.updateRotationMatrix(a, to, ab_last);
            ASSERT_TRUE(sameMatrix(ab_quat, start)) << n;
        }
        tb.updateRotationMatrix(a, b, ab_last);
        ASSERT_TRUE(sameMatrix(ab_next, ref::between(a, b)));
        ASSERT_TRUE(sameMatrix(ab_last, start));
        ASSERT_TRUE(sameMatrix(ab_quat, ref::after(ref::between(a, b), start)));
        const double* c = ab_next; // column-major: the image of a is the columns weighted by a
        const vec image(c[0] * a.x + c[4] * a.y + c[8] * a.z, c[1] * a.x + c[5] * a.y + c[9] * a.z,
                        c[2] * a.x + c[6] * a.y + c[10] * a.z);
        EXPECT_TRUE(ref::dotp(a, b) < -0.999 || ref::dotp(image, b) > 1 - 1e-12) << n;
    }
    EXPECT_GT(above, 50);
}

TEST_F(TrackballCore, InitLooksAlongTheModelsYAxisWithZUpAndResetUndoesIt) {
    std::fill(ab_quat, ab_quat + 16, 3.0);
    std::fill(ab_last, ab_last + 16, 3.0);
    tb.init();
    // sqrt(1/2) in float is 0.70710677; 2 * its square is 0.99999997 and 1 - that is 3.4e-8.
    const float h = 0.70710677f;
    EXPECT_EQ(ab_quat[2], 0.0);
    EXPECT_NEAR(ab_quat[6], -0.99999997, 1e-8);
    EXPECT_NEAR(ab_quat[10], 3.4e-8, 1e-9);
    EXPECT_TRUE(sameMatrix(ab_quat, ref::fromQuaternion(-h, -0.0, -0.0, h)));
    EXPECT_TRUE(sameMatrix(ab_last, ref::identity()));
    tb.reset();
    EXPECT_TRUE(sameMatrix(ab_quat, ref::identity()));
    const ExtTrackball fresh; // the strengths of "Recommended Settings" and the step scale
    EXPECT_EQ(fresh.recommendedNudgeStrength, 0.56f);
    EXPECT_EQ(fresh.recommendedFrictionStrength, 0.11f);
    EXPECT_EQ(fresh.indexStepScale, 50.0f);
}

// The model's +z axis pointing exactly down the screen (turned about x by a quarter turn or
// more): the rotation between opposite vectors is the identity, so the roll must be a half turn
// instead. An axis on the line of sight stays.
TEST_F(TrackballCore, FixupRollsAnyOrientationUprightWithoutMovingTheView) {
    std::vector<ref::M> starts;
    for (const double angle : {M_PI / 2, M_PI / 2 + 0.3})
        starts.push_back(ref::fromQuaternion(std::sin(angle / 2), 0, 0, std::cos(angle / 2)));
    starts.push_back(ref::fromQuaternion(0, 0, std::sqrt(0.5), std::sqrt(0.5)));
    std::mt19937_64 rng(9);
    for (int n = 0; n < 1000; ++n)
        starts.push_back(randomRotation(rng));
    for (const ref::M& start : starts) {
        load(ab_quat, start);
        tb.fixup();
        ASSERT_TRUE(sameMatrix(ab_temp, start));
        ASSERT_TRUE(sameMatrix(ab_quat, ref::upright(start)));
        for (int k : {2, 6, 10})
            EXPECT_NEAR(ab_quat[k], start[k], 1e-12);
        // 1 + d cancels when the axis image points nearly down: residue relative to its length.
        const double image = std::hypot(start[8], start[9]);
        EXPECT_NEAR(ab_quat[8], 0, 1e-7 * image);
        EXPECT_NEAR(ab_quat[9], image, 1e-12);
    }
}

// handleBoundaryIndices wraps a column once; keepInMap wraps it fully. Both clamp the row.
TEST_F(TrackballCore, BoundaryIndicesWrapOnceKeepInMapWrapsFully) {
    Map map(360, 180);
    ScopedMap installed(map);
    const int cases[][4] = {{360, 5, 0, 5},   {-1, 5, 359, 5},    {720, 5, 360, 5},
                            {-361, 5, -1, 5}, {10, 180, 10, 179}, {10, -5, 10, 0}};
    for (const auto& [c0, r0, c1, r1] : cases) {
        int c = c0, r = r0;
        tb.handleBoundaryIndices(c, r);
        EXPECT_EQ(std::make_pair(c, r), std::make_pair(c1, r1)) << c0 << "," << r0;
    }
    for (int c : {-100000, -721, -361, -1, 359, 360, 720, 1081, 99999}) {
        int col = c, row = 1000;
        tb.keepInMap(col, row);
        EXPECT_EQ(std::make_pair(col, row), std::make_pair(((c % 360) + 360) % 360, 179)) << c;
    }
}

TEST_F(TrackballCore, PlaneOfTheViewsCameraAndPlanarCoords) {
    EXPECT_EQ(std::make_pair(tb.eyeDistance, tb.planeDistance), std::make_pair(30.0f, 15.0f));
    EXPECT_EQ(tb.out, vec(-1, 0, 0));
    // By similar triangles: the near plane, 1 from the eye, is tan 25 deg high per half viewport;
    // the trackball plane lies 15 from the eye. Up is plane x, out (to the left) plane y.
    const double e = 150.0 / 250.0 * std::tan(25 * M_PI / 180) * 15;
    EXPECT_NEAR(std::hypot(tb.planar_coords(250, 250).x, tb.planar_coords(250, 250).y), 0, 1e-6);
    EXPECT_NEAR(tb.planar_coords(250, 400).x, e, 1e-5);
    EXPECT_NEAR(tb.planar_coords(400, 250).y, -e, 1e-5);
    // start remembers the orientation and the press point.
    std::mt19937_64 rng(13);
    const ref::M start = randomRotation(rng);
    load(ab_quat, start);
    tb.start(300, 120);
    EXPECT_TRUE(sameMatrix(ab_last, start));
    EXPECT_TRUE(sameMatrix(ab_temp2, start));
    EXPECT_EQ(tb.startPoint, ref::planar(300, 120));
    // An eye at a distance that is not whole: a float square root of the float squared length.
    tb.setzoomPlane(-0.5f, vec(1, 2, 2.5), vec(0, 1, 0));
    const float d = std::sqrt(11.25f);
    EXPECT_EQ(std::make_pair(tb.eyeDistance, tb.planeDistance),
              std::make_pair(d, static_cast<float>(0.5 * d)));
    EXPECT_EQ(tb.eyeDir.z, 2.5 * (1.0 / d));
}

// g++ 12 at -O2 packs side-by-side (double)(float)x conversions into vector code that drops the
// rounding of some of them unless the SLP vectorizer is off. The near-plane point must come back
// with all three coordinates rounded to float, and the plane point must agree bit for bit.
TEST_F(TrackballCore, NearPlanePointIsRoundedToFloatInEveryCoordinate) {
    setCameraPlane(475, 37);
    int unrounded = 0;
    for (int mx = -50; mx < 500; mx += 7)
        for (int my = -50; my < 500; my += 11) {
            double px, py, pz;
            gluUnProject(mx, my, 0, ab_glm, ab_glp, ab_glv, &px, &py, &pz);
            unrounded += toFloat(px) != px || toFloat(py) != py;
            ASSERT_EQ(tb.unprojectNear(mx, my), vec(toFloat(px), toFloat(py), toFloat(pz)))
                << mx << "," << my;
            ASSERT_EQ(tb.planar_coords(mx, my), ref::planar(mx, my)) << mx << "," << my;
        }
    EXPECT_GT(unrounded, 1000); // the values do need the rounding
}

TEST_F(TrackballCore, MoveAndFlatMapPointsLookFromTheirDirectionUpright) {
    std::mt19937 rng(51);
    std::uniform_real_distribution<double> th(-M_PI, M_PI), ph(0.01, M_PI - 0.01);
    for (int n = 0; n < 500; ++n) { // the previous orientation plays no part
        const double theta = th(rng), phi = ph(rng);
        tb.move(vec(1, th(rng), ph(rng)));
        tb.move(vec(1, theta, phi));
        ASSERT_TRUE(sameMatrix(ab_quat, ref::orient(ref::cartesian(vec(1, theta, phi)))));
        ASSERT_TRUE(sameMatrix(ab_last, ref::identity()));
    }
    Map map(360, 180);
    ScopedMap installed(map);
    tb.moveontexture(-1, -1); // column 0, row 0: the +z pole, nothing to roll
    EXPECT_TRUE(sameMatrix(ab_quat, ref::identity()));
    tb.moveontexture(0, 0); // column trunc(0.5 * 359) = 179, row trunc(0.5 * 179) = 89
    EXPECT_EQ(viewCell(map), std::make_pair(179, 89));
    std::uniform_real_distribution<float> u(-1, 1);
    for (int n = 0; n < 1000; ++n) {
        const float a = n == 0 ? 1 : u(rng), b = n == 0 ? 1 : u(rng);
        tb.moveontexture(a, b);
        const int c = static_cast<int>(static_cast<double>(a + 1.0f) * 0.5 * 359);
        const int r = static_cast<int>(static_cast<double>(b + 1.0f) * 0.5 * 179);
        ASSERT_TRUE(sameMatrix(ab_quat, ref::orient(ref::cellDir(c, r, 360, 180))))
            << a << "," << b;
    }
}

// Orbit playback from loops of 20 (or 10) easily told apart points: a restart keeps the current
// point, the orbit and the turntable share one clock, and a pause shows the slider's point.
TEST_F(TrackballCore, PlaybackRestartsAtTheCurrentPointAndSharesItsClock) {
    viewPath& paths = viewPath::_instance;
    const auto loop = [](int n, float offset) {
        std::vector<PathPoint> p;
        for (int k = 0; k < n; ++k)
            p.push_back({0.01f * k - 1 + offset, 0.5f + 0.02f * k});
        return p;
    };
    paths.pathPoints = loop(20, 0);
    paths.turntablePoints = loop(20, 0.25f);
    paths.currentIndex = 7;
    tb.restartPath = true;
    // Frame, turntable, playing, index: (105 - 93) mod 10 = 2 once the orbit is 10 long; the
    // frame clock follows the stored path's length, so after a change of path it can fall before
    // the start frame, and -377 mod 10 is 3.
    const int steps[][4] = {{100, 0, 1, 7},      {105, 1, 1, 12}, {116, 0, 1, 3}, {105, 0, 1, 2},
                            {93 - 377, 0, 1, 3}, {1005, 1, 0, 3}, {1009, 0, 0, 3}};
    for (const auto& [frame, turntable, playing, index] : steps) {
        if (frame == 105 && !turntable) paths.pathPoints = loop(10, 0);
        RenderingSetting::_instance.playing = playing;
        turntable ? tb.moveOnTurntable(frame) : tb.moveOnViewpath(frame);
        const PathPoint p = (turntable ? paths.turntablePoints : paths.pathPoints)[index];
        EXPECT_EQ(paths.currentIndex, index) << frame;
        EXPECT_TRUE(sameMatrix(ab_quat, ref::orient(ref::cartesian(vec(1, p.theta, p.phi)))))
            << frame;
    }
    EXPECT_EQ(tb.pathStartFrame, 93);
    EXPECT_FALSE(tb.restartPath);
    // An index outside the loop, or an empty loop, changes nothing.
    const ref::M before = snapshot(ab_quat);
    RenderingSetting::_instance.playing = true;
    const int cases[][2] = {{10, -1}, {10, 10}, {0, 0}};
    for (const auto& [n, index] : cases) {
        paths.pathPoints = paths.turntablePoints = loop(n, 0);
        paths.currentIndex = index;
        tb.restartPath = true;
        tb.moveOnViewpath(50);
        tb.moveOnTurntable(50);
        EXPECT_TRUE(sameMatrix(ab_quat, before)) << n << "/" << index;
        EXPECT_EQ(paths.currentIndex, index);
    }
}
