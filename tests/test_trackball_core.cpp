// Orientation state and rotation primitives of the trackball: matrices, quaternions, the rotation
// between two directions, the upright roll, the trackball plane and the map index rule.
#include "trackball_util.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>

using namespace tbtest;

namespace {

class TrackballCore : public ::testing::Test {
protected:
    void SetUp() override { resetEngine(); }
    void TearDown() override { resetEngine(); }
    ExtTrackball& tb = ExtTrackball::_instance;
};

// A random rotation from a random unit quaternion (uniform on the sphere of quaternions).
ref::M randomRotation(std::mt19937_64& rng) {
    std::normal_distribution<double> g(0, 1);
    double q[4];
    double l = 0;
    for (double& c : q) {
        c = g(rng);
        l += c * c;
    }
    l = std::sqrt(l);
    return ref::fromQuaternion(q[0] / l, q[1] / l, q[2] / l, q[3] / l);
}

ref::V randomUnit(std::mt19937_64& rng) {
    std::normal_distribution<double> g(0, 1);
    return ref::normalised(ref::V{g(rng), g(rng), g(rng)});
}

} // namespace

TEST_F(TrackballCore, FreshEngineHoldsItsInitialValues) {
    ExtTrackball fresh;
    EXPECT_EQ(fresh.recommendedNudgeStrength, 0.56f);
    EXPECT_EQ(fresh.recommendedFrictionStrength, 0.11f);
    EXPECT_TRUE(fresh.firstThrowStep);
    EXPECT_FALSE(fresh.restartPath);
    EXPECT_EQ(fresh.nudgeStrength, 0.0f);
    EXPECT_EQ(fresh.frictionStrength, 0.0f);
    EXPECT_EQ(fresh.indexStepScale, 50.0f);
    EXPECT_EQ(fresh.throwSpeed, 0.01f);
    EXPECT_EQ(fresh.averageSpeed, 0.0f);
    EXPECT_EQ(fresh.throwStepCount, 0);
    EXPECT_EQ(fresh.planeHalfSize, 14.0f);
    EXPECT_EQ(fresh.motionChange, vec(0, 0, 0));
    EXPECT_EQ(fresh.mousePathHead, nullptr);
    EXPECT_EQ(fresh.mousePathTail, nullptr);
    EXPECT_EQ(fresh.mousePathCount, 0);
    EXPECT_TRUE(fresh.viewpointTrail.empty());
    EXPECT_TRUE(fresh.stdDragTrail.empty());
    EXPECT_TRUE(fresh.predictedThrowPath.empty());
    EXPECT_EQ(fresh.throwColumn, 0);
    EXPECT_EQ(fresh.throwRow, 0);
    EXPECT_EQ(fresh.pathStartFrame, 0);
    EXPECT_EQ(fresh.planeDistance, 0.5f);
    EXPECT_EQ(fresh.eyeDistance, 1.0f);
    EXPECT_EQ(fresh.startPoint, vec(0, 0, 1));
    EXPECT_EQ(fresh.currentPoint, vec(0, 0, 1));
    EXPECT_EQ(fresh.eye, vec(0, 0, 1));
    EXPECT_EQ(fresh.eyeDir, vec(0, 0, 1));
    EXPECT_EQ(fresh.up, vec(0, 1, 0));
    EXPECT_EQ(fresh.out, vec(1, 0, 0));
    EXPECT_TRUE(sameMatrix(ab_identity, ref::identity()));
    EXPECT_TRUE(sameMatrix(ab_glm, ref::identity()));
}

TEST_F(TrackballCore, IdentityAndCopyTouchTheRightEntries) {
    double m[16];
    for (int k = 0; k < 16; ++k)
        m[k] = 100 + k;
    quatidentity(m);
    EXPECT_TRUE(sameMatrix(m, ref::identity()));

    double src[16], dst[16];
    for (int k = 0; k < 16; ++k) {
        src[k] = k + 0.5;
        dst[k] = -1 - k;
    }
    quatcopy(dst, src);
    for (int k : {0, 1, 2, 4, 5, 6, 8, 9, 10})
        EXPECT_EQ(dst[k], src[k]) << k;
    for (int k : {3, 7, 11, 12, 13, 14, 15})
        EXPECT_EQ(dst[k], -1 - k) << k;
}

TEST_F(TrackballCore, QuaternionMatrixWritesOnlyTheBlock) {
    for (int k = 0; k < 16; ++k)
        ab_next[k] = 7;
    // A quarter turn about z: x goes to y.
    const double h = std::sqrt(0.5);
    quaternionToMatrix(0, 0, h, h);
    EXPECT_NEAR(ab_next[0], 0, 1e-15);
    EXPECT_NEAR(ab_next[1], 1, 1e-15); // column 0 = image of x = (0, 1, 0)
    EXPECT_NEAR(ab_next[4], -1, 1e-15);
    EXPECT_NEAR(ab_next[10], 1, 1e-15);
    for (int k : {3, 7, 11, 12, 13, 14, 15})
        EXPECT_EQ(ab_next[k], 7) << k;
    // The zero quaternion gives the identity block.
    quaternionToMatrix(0, 0, 0, 0);
    for (int k : {0, 5, 10})
        EXPECT_EQ(ab_next[k], 1);
    for (int k : {1, 2, 4, 6, 8, 9})
        EXPECT_EQ(ab_next[k], 0);
}

TEST_F(TrackballCore, QuaternionAndComposeAgreeWithTheSecondImplementation) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int n = 0; n < 2000; ++n) {
        const double x = u(rng), y = u(rng), z = u(rng), w = u(rng);
        quatidentity(ab_next);
        quaternionToMatrix(x, y, z, w);
        const ref::M next = ref::fromQuaternion(x, y, z, w);
        ASSERT_TRUE(sameMatrix(ab_next, next));
        const ref::M left = randomRotation(rng);
        double l[16], d[16];
        load(l, left);
        quatidentity(d);
        composeWithNext(d, l);
        ASSERT_TRUE(sameMatrix(d, ref::after(next, left)));
    }
}

TEST_F(TrackballCore, ComposeAppliesTheIncrementAfterTheOldOrientation) {
    // left: a quarter turn about z (x -> y); next: a quarter turn about x (y -> z).
    const double h = std::sqrt(0.5);
    quaternionToMatrix(0, 0, h, h);
    double left[16];
    quatidentity(left);
    quatcopy(left, ab_next);
    quaternionToMatrix(h, 0, 0, h);
    double d[16];
    quatidentity(d);
    composeWithNext(d, left);
    // next * left takes x to y, then y to z: column 0 of the product is (0, 0, 1).
    EXPECT_NEAR(d[0], 0, 1e-15);
    EXPECT_NEAR(d[1], 0, 1e-15);
    EXPECT_NEAR(d[2], 1, 1e-15);
}

TEST_F(TrackballCore, RotationBetweenCarriesOneDirectionOntoTheOther) {
    std::mt19937_64 rng(5);
    for (int n = 0; n < 1000; ++n) {
        const ref::V a = randomUnit(rng), b = randomUnit(rng);
        rotationBetween(vec(a.x, a.y, a.z), vec(b.x, b.y, b.z));
        ASSERT_TRUE(sameMatrix(ab_next, ref::between(a, b)));
        // OpenGL reads column-major: image = sum over columns.
        const double ix = ab_next[0] * a.x + ab_next[4] * a.y + ab_next[8] * a.z;
        const double iy = ab_next[1] * a.x + ab_next[5] * a.y + ab_next[9] * a.z;
        const double iz = ab_next[2] * a.x + ab_next[6] * a.y + ab_next[10] * a.z;
        if (ref::dotp(a, b) > -0.999) {
            EXPECT_NEAR(ix, b.x, 1e-9);
            EXPECT_NEAR(iy, b.y, 1e-9);
            EXPECT_NEAR(iz, b.z, 1e-9);
        }
    }
}

TEST_F(TrackballCore, RotationBetweenEqualOrOppositeVectorsLeavesTheOrientationAlone) {
    std::mt19937_64 rng(6);
    for (int n = 0; n < 200; ++n) {
        const ref::M start = randomRotation(rng);
        load(ab_quat, start);
        const ref::V a = randomUnit(rng);
        const vec va(a.x, a.y, a.z);
        tb.updateRotationMatrix(va, va, ab_last);
        for (int k = 0; k < 16; ++k)
            ASSERT_NEAR(ab_quat[k], start[k], 0) << k;
        tb.updateRotationMatrix(va, va * -1.0, ab_last);
        for (int k = 0; k < 16; ++k)
            ASSERT_NEAR(ab_quat[k], start[k], 0) << k;
        EXPECT_TRUE(sameMatrix(ab_last, start));
    }
}

// Unit vectors whose dot product with themselves rounds above 1: without a floor on 1 - d and
// 1 + d the half-angle square roots are NaN and so is the whole orientation.
TEST_F(TrackballCore, RotationBetweenSurvivesDotProductsRoundingPastOne) {
    std::mt19937_64 rng(7);
    int above = 0;
    for (int n = 0; n < 5000 && above < 200; ++n) {
        const ref::V a = randomUnit(rng);
        if (!(ref::dotp(a, a) > 1)) continue;
        ++above;
        const vec va(a.x, a.y, a.z);
        rotationBetween(va, va);
        for (int k : {0, 5, 10})
            ASSERT_EQ(ab_next[k], 1);
        for (int k : {1, 2, 4, 6, 8, 9})
            ASSERT_EQ(ab_next[k], 0);
        rotationBetween(va, va * -1.0);
        for (int k = 0; k < 16; ++k)
            ASSERT_TRUE(std::isfinite(ab_next[k])) << k;
        EXPECT_EQ(ab_next[0], 1);
        EXPECT_EQ(ab_next[10], 1);
    }
    EXPECT_GT(above, 50);
}

TEST_F(TrackballCore, UpdateRotationMatrixKeepsThePreviousOrientation) {
    std::mt19937_64 rng(8);
    for (int n = 0; n < 500; ++n) {
        const ref::M start = randomRotation(rng);
        load(ab_quat, start);
        const ref::V a = randomUnit(rng), b = randomUnit(rng);
        tb.updateRotationMatrix(vec(a.x, a.y, a.z), vec(b.x, b.y, b.z), ab_last);
        ASSERT_TRUE(sameMatrix(ab_last, start));
        ASSERT_TRUE(sameMatrix(ab_quat, ref::after(ref::between(a, b), start)));
    }
}

TEST_F(TrackballCore, InitLooksAlongTheModelsYAxisWithZUp) {
    for (int k = 0; k < 16; ++k)
        ab_quat[k] = ab_last[k] = 3;
    tb.init();
    // sqrt(1/2) in float is 0.70710677; 2 * its square is 0.99999997 and 1 - that is 3.4e-8.
    const float h = 0.70710677f;
    const double hh = static_cast<double>(h) * h;
    EXPECT_EQ(ab_quat[2], 0.0);
    EXPECT_EQ(ab_quat[6], -2 * hh);
    EXPECT_EQ(ab_quat[10], 1 - 2 * hh);
    EXPECT_NEAR(ab_quat[6], -0.99999997, 1e-8);
    EXPECT_NEAR(ab_quat[10], 3.4e-8, 1e-9);
    // The model's +z axis (column 2) points up the screen; its -y side faces the viewer.
    EXPECT_EQ(ab_quat[8], 0.0);
    EXPECT_GT(ab_quat[9], 0.99999);
    EXPECT_LT(ab_quat[6], -0.99999); // -y maps onto +z (eye axis) since row 2 is (0, -1, 0)
    EXPECT_TRUE(sameMatrix(ab_last, ref::identity()));
    EXPECT_TRUE(
        sameMatrix(ab_quat, ref::after(ref::fromQuaternion(-h, -0.0, -0.0, h), ref::identity())));
}

TEST_F(TrackballCore, ResetGivesTheIdentity) {
    for (int k = 0; k < 16; ++k)
        ab_quat[k] = ab_last[k] = k;
    tb.reset();
    EXPECT_TRUE(sameMatrix(ab_quat, ref::identity()));
    EXPECT_TRUE(sameMatrix(ab_last, ref::identity()));
}

TEST_F(TrackballCore, FixupRollsAnyOrientationUprightWithoutMovingTheView) {
    std::mt19937_64 rng(9);
    for (int n = 0; n < 3000; ++n) {
        const ref::M start = randomRotation(rng);
        load(ab_quat, start);
        tb.fixup();
        ASSERT_TRUE(sameMatrix(ab_temp, start));
        ASSERT_TRUE(sameMatrix(ab_quat, ref::upright(start)));
        // The viewing direction stays, the model's +z axis points straight up the screen.
        EXPECT_NEAR(ab_quat[2], start[2], 1e-12);
        EXPECT_NEAR(ab_quat[6], start[6], 1e-12);
        EXPECT_NEAR(ab_quat[10], start[10], 1e-12);
        // The half-angle formulas lose accuracy when the axis image points nearly down (1 + d
        // cancels), so the residue is relative to the length of that image.
        const double image = std::hypot(start[8], start[9]);
        EXPECT_NEAR(ab_quat[8], 0, 1e-7 * image);
        EXPECT_GT(ab_quat[9], 0);
        EXPECT_NEAR(ab_quat[9], std::hypot(start[8], start[9]), 1e-12);
        // Still a rotation: orthonormal columns.
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b) {
                const double d = ab_quat[4 * a] * ab_quat[4 * b] +
                                 ab_quat[4 * a + 1] * ab_quat[4 * b + 1] +
                                 ab_quat[4 * a + 2] * ab_quat[4 * b + 2];
                EXPECT_NEAR(d, a == b ? 1 : 0, 1e-12);
            }
    }
}

TEST_F(TrackballCore, FixupLeavesAnAxisOnTheLineOfSightAlone) {
    // Quarter turn about z: the model's +z axis stays on the line of sight (m[8] = m[9] = 0).
    const double h = std::sqrt(0.5);
    const ref::M start = ref::fromQuaternion(0, 0, h, h);
    load(ab_quat, start);
    ASSERT_EQ(ab_quat[8], 0);
    ASSERT_EQ(ab_quat[9], 0);
    tb.fixup();
    EXPECT_TRUE(sameMatrix(ab_quat, start));
}

// The model's +z axis pointing exactly down the screen: the rotation between opposite vectors
// is the identity, so the roll must be a half turn instead.
TEST_F(TrackballCore, FixupTurnsAnUpsideDownModelTheRightWayUp) {
    // Rotation by +90 degrees about x: y -> z, z -> -y. Column 2 is (0, -1, 0).
    ref::M start = ref::identity();
    start[5] = 0;
    start[6] = 1;
    start[9] = -1;
    start[10] = 0;
    load(ab_quat, start);
    tb.fixup();
    EXPECT_EQ(ab_quat[8], 0);
    EXPECT_EQ(ab_quat[9], 1);
    // Same viewing direction (the model's +y side faces the viewer), rolled by half a turn.
    EXPECT_EQ(ab_quat[2], 0);
    EXPECT_EQ(ab_quat[6], 1);
    EXPECT_EQ(ab_quat[10], 0);
    EXPECT_EQ(ab_quat[0], -1);
    EXPECT_TRUE(sameMatrix(ab_temp, start));

    // Also with a negative zero in m[8] and a longer axis image.
    start = ref::identity();
    const double c = std::cos(0.3), s = std::sin(0.3);
    // Rotation about x by 90 degrees, then tilted about the screen x axis: m[8] stays 0.
    start[5] = 0;
    start[6] = 1;
    start[9] = -c;
    start[10] = s;
    start[8] = -0.0;
    load(ab_quat, start);
    tb.fixup();
    EXPECT_EQ(ab_quat[8], 0);
    EXPECT_GT(ab_quat[9], 0);
}

TEST_F(TrackballCore, HandleBoundaryIndicesWrapsOnceAndClamps) {
    Map map(360, 180);
    ScopedMap installed(map);
    auto h = [&](int c, int r) {
        tb.handleBoundaryIndices(c, r);
        return std::make_pair(c, r);
    };
    EXPECT_EQ(h(360, 5), std::make_pair(0, 5));
    EXPECT_EQ(h(-1, 5), std::make_pair(359, 5));
    EXPECT_EQ(h(720, 5), std::make_pair(360, 5));
    EXPECT_EQ(h(-361, 5), std::make_pair(-1, 5));
    EXPECT_EQ(h(10, 180), std::make_pair(10, 179));
    EXPECT_EQ(h(10, -5), std::make_pair(10, 0));
    EXPECT_EQ(h(359, 179), std::make_pair(359, 179));
    EXPECT_EQ(h(0, 0), std::make_pair(0, 0));
}

TEST_F(TrackballCore, KeepInMapWrapsAnyColumn) {
    Map map(360, 180);
    ScopedMap installed(map);
    for (int c : {-100000, -721, -720, -361, -360, -1, 0, 359, 360, 719, 720, 1081, 99999}) {
        int col = c, row = 1000;
        tb.keepInMap(col, row);
        EXPECT_EQ(col, ((c % 360) + 360) % 360) << c;
        EXPECT_EQ(row, 179);
    }
}

TEST_F(TrackballCore, SetzoomPlaneOfTheViewsCamera) {
    tb.setzoomPlane(-0.5f, vec(0, 0, 30), vec(0, 1, 0));
    EXPECT_EQ(tb.eye, vec(0, 0, 30));
    EXPECT_EQ(tb.eyeDistance, 30.0f);
    EXPECT_EQ(tb.planeDistance, 15.0f);
    EXPECT_EQ(tb.eyeDir, vec(0, 0, 1));
    EXPECT_EQ(tb.up, vec(0, 1, 0));
    EXPECT_EQ(tb.out, vec(-1, 0, 0));

    // An eye whose distance is not a whole number: the distance is a float square root of the
    // float-rounded squared length.
    tb.setzoomPlane(-0.5f, vec(1, 2, 2.5), vec(0, 1, 0));
    const float d = std::sqrt(static_cast<float>(1 + 4 + 6.25));
    EXPECT_EQ(tb.eyeDistance, d);
    EXPECT_EQ(tb.eyeDir.x, 1 * (1.0 / d));
    EXPECT_EQ(tb.eyeDir.z, 2.5 * (1.0 / d));
    EXPECT_EQ(tb.planeDistance, static_cast<float>(0.5 * d));
    EXPECT_EQ(tb.out.x, tb.eyeDir.y * 0 - tb.eyeDir.z * 1);
    EXPECT_EQ(tb.out.z, tb.eyeDir.x * 1 - tb.eyeDir.y * 0);
}

TEST_F(TrackballCore, PlanarCoordsOfTheCentreAndTheSides) {
    setCameraPlane(500);
    // Window centre: the ray along the eye axis meets the plane at its origin.
    const vec c = tb.planar_coords(250, 250);
    EXPECT_NEAR(c.x, 0, 1e-6);
    EXPECT_NEAR(c.y, 0, 1e-6);
    EXPECT_EQ(c.z, 0);
    // Right of the centre: negative y (out points to -x); above: positive x (along up).
    const vec r = tb.planar_coords(400, 250);
    EXPECT_LT(r.y, -1);
    EXPECT_NEAR(r.x, 0, 1e-6);
    const vec a = tb.planar_coords(250, 400);
    EXPECT_GT(a.x, 1);
    EXPECT_NEAR(a.y, 0, 1e-6);
    // By similar triangles: the near plane (distance 1 from the eye) is tan 25 deg high per
    // half viewport; the trackball plane lies 15 from the eye.
    const double expected = 150.0 / 250.0 * std::tan(25 * M_PI / 180) * 15;
    EXPECT_NEAR(a.x, expected, 1e-5);
    EXPECT_NEAR(r.y, -expected, 1e-5);
}

TEST_F(TrackballCore, PlanarCoordsAgreesBitForBitWithTheSecondImplementation) {
    setCameraPlane(475, 37);
    const ref::Plane pl = ref::cameraPlane();
    std::mt19937_64 rng(12);
    std::uniform_real_distribution<double> u(-200, 700);
    for (int n = 0; n < 5000; ++n) {
        const double mx = std::floor(u(rng)), my = std::floor(u(rng));
        const vec got = tb.planar_coords(mx, my);
        const ref::V want = ref::planar(pl, mx, my);
        ASSERT_EQ(got.x, want.x) << mx << "," << my;
        ASSERT_EQ(got.y, want.y) << mx << "," << my;
        ASSERT_EQ(got.z, 0);
    }
}

// g++ 12 at -O2 packs side-by-side (double)(float)x conversions into vector code that drops the
// rounding of some of them unless the SLP vectorizer is off. The near-plane point must come back
// with all three coordinates rounded to float.
TEST_F(TrackballCore, NearPlanePointIsRoundedToFloatInEveryCoordinate) {
    setCameraPlane(475, 37);
    int unrounded = 0;
    for (int mx = -50; mx < 500; mx += 7)
        for (int my = -50; my < 500; my += 11) {
            double px, py, pz;
            gluUnProject(mx, my, 0, ab_glm, ab_glp, ab_glv, &px, &py, &pz);
            if (!isFloat(px) || !isFloat(py)) ++unrounded;
            const vec p = tb.unprojectNear(mx, my);
            ASSERT_TRUE(isFloat(p.x)) << mx << "," << my;
            ASSERT_TRUE(isFloat(p.y)) << mx << "," << my;
            ASSERT_TRUE(isFloat(p.z)) << mx << "," << my;
            ASSERT_EQ(p.x, toFloat(px));
            ASSERT_EQ(p.y, toFloat(py));
            ASSERT_EQ(p.z, toFloat(pz));
        }
    // The check is only meaningful if the unprojected values need the rounding.
    EXPECT_GT(unrounded, 1000);
}

TEST_F(TrackballCore, StartRemembersTheOrientationAndThePressPoint) {
    setCameraPlane(500);
    std::mt19937_64 rng(13);
    const ref::M start = randomRotation(rng);
    load(ab_quat, start);
    tb.start(300, 120);
    EXPECT_TRUE(sameMatrix(ab_last, start));
    EXPECT_TRUE(sameMatrix(ab_temp2, start));
    const ref::V p = ref::planar(ref::cameraPlane(), 300, 120);
    EXPECT_EQ(tb.startPoint.x, p.x);
    EXPECT_EQ(tb.startPoint.y, p.y);
    EXPECT_EQ(tb.startPoint.z, 0);
}
