#include "extTrackball.h"
#include "textureManager.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The conversions read the map size from the texture manager (and ArrayIndexToCartesian from
// the transform itself); each test sets both and puts the old values back.
class Coords : public testing::Test {
protected:
    void SetUp() override {
        saved[0] = textureManager::_instance.mapWidth;
        saved[1] = textureManager::_instance.mapHeight;
        saved[2] = coordinateTransform::_instance.mapWidth;
        saved[3] = coordinateTransform::_instance.mapHeight;
        savedHalfSize = ExtTrackball::_instance.planeHalfSize;
        setSize(360, 180);
    }
    void TearDown() override {
        textureManager::_instance.mapWidth = saved[0];
        textureManager::_instance.mapHeight = saved[1];
        coordinateTransform::_instance.mapWidth = saved[2];
        coordinateTransform::_instance.mapHeight = saved[3];
        ExtTrackball::_instance.planeHalfSize = savedHalfSize;
    }
    static void setSize(int w, int h) {
        textureManager::_instance.mapWidth = w;
        textureManager::_instance.mapHeight = h;
        coordinateTransform::_instance.mapWidth = w;
        coordinateTransform::_instance.mapHeight = h;
    }
    static std::pair<int, int> cellOf(vec d) {
        int i = -7, j = -7;
        ct().CartesianToArrayIndex(d, i, j);
        return {i, j};
    }
    static std::pair<int, int> cellOf(float theta, float phi) {
        int i = -7, j = -7;
        ct().sphericalToArrayIndex(theta, phi, i, j);
        return {i, j};
    }
    static coordinateTransform& ct() { return coordinateTransform::_instance; }

    int saved[4] = {};
    float savedHalfSize = 0;
};

using Cell = std::pair<int, int>;

bool isFloat(double v) {
    return static_cast<double>(static_cast<float>(v)) == v;
}

} // namespace

TEST_F(Coords, CartesianToSphericalRoundsToFloat) {
    vec s;
    ct().cartesianToSpherical(s, vec(1, 0, 0));
    EXPECT_EQ(s.x, 1.0);
    EXPECT_EQ(s.y, 0.0);
    EXPECT_EQ(s.z, static_cast<double>(static_cast<float>(M_PI / 2)));

    ct().cartesianToSpherical(s, vec(0, 3, 4));
    EXPECT_EQ(s.x, 5.0);
    EXPECT_EQ(s.y, static_cast<double>(static_cast<float>(M_PI / 2)));
    EXPECT_EQ(s.z, static_cast<double>(static_cast<float>(std::acos(0.8))));

    // theta grows from +x towards +y; phi is measured from +z.
    ct().cartesianToSpherical(s, vec(-1, -1, -std::sqrt(2.0)));
    EXPECT_EQ(s.x, 2.0);
    EXPECT_EQ(s.y, static_cast<double>(static_cast<float>(-3 * M_PI / 4)));
    EXPECT_EQ(s.z, static_cast<double>(static_cast<float>(3 * M_PI / 4)));

    // Every part of an awkward direction is a float value held in a double.
    ct().cartesianToSpherical(s, vec(0.1, 0.7, -0.3));
    EXPECT_TRUE(isFloat(s.x) && isFloat(s.y) && isFloat(s.z));
    EXPECT_NEAR(s.x, std::sqrt(0.59), 1e-7);
    EXPECT_NEAR(s.y, std::atan2(0.7, 0.1), 1e-6);
}

TEST_F(Coords, ZeroVectorIsTheEquatorAtThetaZero) {
    vec s;
    ct().cartesianToSpherical(s, vec(0, 0, 0));
    EXPECT_EQ(s.x, 0.0);
    EXPECT_EQ(s.y, 0.0);
    EXPECT_EQ(s.z, static_cast<double>(static_cast<float>(M_PI / 2)));
    EXPECT_EQ(cellOf(vec(0, 0, 0)), Cell(180, 90));
}

TEST_F(Coords, SphericalToCartesian) {
    vec c;
    ct().sphericalToCartesian(c, vec(2, M_PI / 2, M_PI / 2));
    EXPECT_NEAR(c.x, 0, 1e-15);
    EXPECT_NEAR(c.y, 2, 1e-15);
    EXPECT_NEAR(c.z, 0, 1e-15);
    ct().sphericalToCartesian(c, vec(1, 0, 0));
    EXPECT_EQ(c, vec(0, 0, 1));
    ct().sphericalToCartesian(c, vec(3, M_PI, M_PI / 3));
    EXPECT_NEAR(c.x, -3 * std::sqrt(3.0) / 2, 1e-14);
    EXPECT_NEAR(c.y, 0, 1e-14);
    EXPECT_NEAR(c.z, 1.5, 1e-14);
}

TEST_F(Coords, TellingDirectionsOfA360By180Map) {
    EXPECT_EQ(cellOf(vec(1, 0, 0)), Cell(180, 90));
    // atan2(0, 0) = 0 puts the pole in the middle column.
    EXPECT_EQ(cellOf(vec(0, 0, 1)), Cell(180, 0));
    // theta = pi would be column 360: clamped to 359, not wrapped to 0.
    EXPECT_EQ(cellOf(vec(-1, 0, 0)), Cell(359, 90));
    // phi = pi would be row 180: clamped to 179.
    EXPECT_EQ(cellOf(vec(0, 0, -1)), Cell(180, 179));
    EXPECT_EQ(cellOf(vec(0, 1, 0)), Cell(270, 90));
    EXPECT_EQ(cellOf(vec(0, -1, 0)), Cell(90, 90));
    // Length does not matter.
    EXPECT_EQ(cellOf(vec(0, -25, 0)), Cell(90, 90));
}

TEST_F(Coords, AnglesRoundHalfAwayAndClamp) {
    EXPECT_EQ(cellOf(static_cast<float>(-M_PI), 0.0f), Cell(0, 0));
    EXPECT_EQ(cellOf(static_cast<float>(M_PI), static_cast<float>(M_PI)), Cell(359, 179));
    EXPECT_EQ(cellOf(-4.0f, -0.2f), Cell(0, 0));
    EXPECT_EQ(cellOf(4.0f, 4.0f), Cell(359, 179));
    // One degree is one column: 10.4 degrees rounds to column 190, 10.6 to 191.
    const float deg = static_cast<float>(M_PI / 180);
    EXPECT_EQ(cellOf(10.4f * deg, 45.4f * deg), Cell(190, 45));
    EXPECT_EQ(cellOf(10.6f * deg, 45.6f * deg), Cell(191, 46));
    // Just short of the seam stays in the last column; a hair past -pi in the first.
    EXPECT_EQ(cellOf(static_cast<float>(M_PI) - 0.01f, 1.0f).first, 359);
    EXPECT_EQ(cellOf(static_cast<float>(-M_PI) + 0.01f, 1.0f).first, 1);
    EXPECT_EQ(cellOf(static_cast<float>(-M_PI) + 0.008f, 1.0f).first, 0);
}

// Values far outside the angle range still clamp like any other out-of-range value.
TEST_F(Coords, HugeAnglesClampToTheLastCell) {
    EXPECT_EQ(cellOf(1e30f, 1e30f), Cell(359, 179));
    EXPECT_EQ(cellOf(-1e30f, -1e30f), Cell(0, 0));
}

TEST_F(Coords, ArrayIndexToCartesian) {
    vec d;
    ct().ArrayIndexToCartesian(0, 0, d);
    EXPECT_EQ(d.z, 1.0);
    EXPECT_EQ(d.x, 0.0);
    EXPECT_EQ(d.y, 0.0);
    ct().ArrayIndexToCartesian(180, 90, d);
    EXPECT_NEAR(d.x, 1, 1e-15);
    EXPECT_NEAR(d.y, 0, 1e-15);
    EXPECT_NEAR(d.z, 0, 1e-15);
    ct().ArrayIndexToCartesian(270, 45, d);
    EXPECT_NEAR(d.x, 0, 1e-7);
    EXPECT_NEAR(d.y, std::sqrt(0.5), 1e-7);
    EXPECT_NEAR(d.z, std::sqrt(0.5), 1e-7);
    // Column 360 is theta = +pi, the same direction as column 0 away from the poles.
    vec a, b;
    ct().ArrayIndexToCartesian(0, 60, a);
    ct().ArrayIndexToCartesian(360, 60, b);
    EXPECT_NEAR(a.x, b.x, 1e-7);
    EXPECT_NEAR(a.y, b.y, 1e-6);
    EXPECT_NEAR(a.z, b.z, 1e-15);
    for (int j = 0; j <= 180; j += 15) {
        ct().ArrayIndexToCartesian(37, j, d);
        EXPECT_NEAR(d.length(), 1.0, 1e-15);
    }
}

// The angles go through i / W in float: theta = (2 a as float) pi - pi, phi = b pi, with a and
// b the float quotients. Worked here for one cell that does not divide evenly.
TEST_F(Coords, ArrayIndexToCartesianTakesTheQuotientsInFloat) {
    vec d;
    ct().ArrayIndexToCartesian(7, 13, d);
    const float a = 7.0f / 360.0f, b = 13.0f / 180.0f;
    const double theta = static_cast<double>(2 * a) * M_PI - M_PI;
    const double phi = static_cast<double>(b) * M_PI;
    EXPECT_EQ(d.x, std::cos(theta) * std::sin(phi));
    EXPECT_EQ(d.y, std::sin(theta) * std::sin(phi));
    EXPECT_EQ(d.z, std::cos(phi));
    // The double route gives a different last bit for this cell's azimuth.
    EXPECT_NE(theta, 2.0 * 7 / 360 * M_PI - M_PI);
}

TEST_F(Coords, ArrayIndexToCartesianReadsItsOwnMapSize) {
    textureManager::_instance.mapWidth = 4;
    textureManager::_instance.mapHeight = 2;
    vec d;
    ct().ArrayIndexToCartesian(180, 90, d);
    EXPECT_NEAR(d.x, 1, 1e-15);
    // The cell lookups follow the texture manager's size.
    EXPECT_EQ(cellOf(vec(1, 0, 0)), Cell(2, 1));
}

TEST_F(Coords, RoundTripOverEveryCellOffThePole) {
    int failures = 0;
    for (int j = 1; j < 180; ++j)
        for (int i = 0; i < 360; ++i) {
            vec d;
            ct().ArrayIndexToCartesian(i, j, d);
            if (cellOf(d) != Cell(i, j) && ++failures < 10)
                ADD_FAILURE() << "cell (" << i << ", " << j << ") came back as (" << cellOf(d).first
                              << ", " << cellOf(d).second << ")";
        }
    EXPECT_EQ(failures, 0);
}

// At the pole x and y are zeros whose signs are those of cos(theta) and sin(theta); atan2 of
// signed zeros gives +-0 or +-pi, hence column 180, 359 or 0.
TEST_F(Coords, RoundTripAtThePoleFollowsTheSignsOfTheZeros) {
    for (int i = 0; i < 360; ++i) {
        const double theta = static_cast<double>(2 * (i / 360.0f)) * M_PI - M_PI;
        const bool xNegative = std::cos(theta) < 0;
        const bool yNegative = std::sin(theta) < 0;
        int expected = 180;
        if (xNegative) expected = yNegative ? 0 : 359;
        vec d;
        ct().ArrayIndexToCartesian(i, 0, d);
        EXPECT_EQ(cellOf(d), Cell(expected, 0)) << "column " << i;
    }
    vec d;
    ct().ArrayIndexToCartesian(0, 0, d);
    EXPECT_EQ(cellOf(d), Cell(0, 0));
}

TEST_F(Coords, DrawPositions) {
    float u = 99, v = 99;
    ct().arrayIndexToDrawPos(0, 0, u, v);
    EXPECT_EQ(u, -14.0f);
    EXPECT_EQ(v, 14.0f);
    ct().arrayIndexToDrawPos(180, 90, u, v);
    EXPECT_EQ(u, 0.0f);
    EXPECT_EQ(v, 0.0f);
    ct().arrayIndexToDrawPos(360, 180, u, v);
    EXPECT_EQ(u, 14.0f);
    EXPECT_EQ(v, -14.0f);
    ct().arrayIndexToDrawPos(90, 135, u, v);
    EXPECT_EQ(u, -7.0f);
    EXPECT_EQ(v, -7.0f);
    // 1 / 360 in float, then 28 * (q - 0.5) in double, rounded to float.
    ct().arrayIndexToDrawPos(1, 1, u, v);
    EXPECT_EQ(u, static_cast<float>(28.0 * (static_cast<double>(1.0f / 360.0f) - 0.5)));
    EXPECT_EQ(v, static_cast<float>(-28.0 * (static_cast<double>(1.0f / 180.0f) - 0.5)));
    EXPECT_NEAR(u, -13.922222, 1e-5);
    ExtTrackball::_instance.planeHalfSize = 2.5f;
    ct().arrayIndexToDrawPos(0, 180, u, v);
    EXPECT_EQ(u, -2.5f);
    EXPECT_EQ(v, -2.5f);
}

TEST_F(Coords, SphericalDrawPositionsSnapToCornersWithoutClamping) {
    float u = 99, v = 99;
    ct().sphericalToDrawPos(static_cast<float>(M_PI), static_cast<float>(M_PI), u, v);
    EXPECT_EQ(u, 14.0f);
    EXPECT_EQ(v, -14.0f);
    ct().sphericalToDrawPos(static_cast<float>(-M_PI), 0.0f, u, v);
    EXPECT_EQ(u, -14.0f);
    EXPECT_EQ(v, 14.0f);
    // theta 0.01 is column 180.57, snapped to 181; phi pi / 2 is row 90.
    ct().sphericalToDrawPos(0.01f, static_cast<float>(M_PI / 2), u, v);
    EXPECT_EQ(u, static_cast<float>(28.0 * (static_cast<double>(181.0f / 360.0f) - 0.5)));
    EXPECT_EQ(v, 0.0f);
    // Beyond the seam the position runs off the square instead of clamping.
    ct().sphericalToDrawPos(4.0f, static_cast<float>(M_PI / 2), u, v);
    EXPECT_GT(u, 14.0f);
}

TEST_F(Coords, ZeroSizeMapNeverDividesByZero) {
    setSize(0, 0);
    EXPECT_EQ(cellOf(vec(1, 0, 0)), Cell(0, 0));
    EXPECT_EQ(cellOf(2.0f, 2.0f), Cell(0, 0));
    vec d;
    ct().ArrayIndexToCartesian(5, 5, d);
    EXPECT_TRUE(std::isfinite(d.x) && std::isfinite(d.y) && std::isfinite(d.z));
    EXPECT_NEAR(d.length(), 1.0, 1e-15);
    float u = 99, v = 99;
    ct().arrayIndexToDrawPos(3, 3, u, v);
    EXPECT_TRUE(std::isfinite(u) && std::isfinite(v));
    ct().sphericalToDrawPos(1.0f, 1.0f, u, v);
    EXPECT_TRUE(std::isfinite(u) && std::isfinite(v));
}

TEST(Smoothstep, EndsMiddleAndExactFloatValues) {
    EXPECT_EQ(smoothstep(0.0f), 0.0f);
    EXPECT_EQ(smoothstep(0.5f), 0.5f);
    EXPECT_EQ(smoothstep(1.0f), 1.0f);
    // 0.0625 * 2.5 and 0.5625 * 1.5, exact in binary.
    EXPECT_EQ(smoothstep(0.25f), 0.15625f);
    EXPECT_EQ(smoothstep(0.75f), 0.84375f);
    // (x x)(x (-2) + 3) in float for an inexact argument, worked here in the same order.
    const float x = 0.3f;
    const float xx = x * x;
    const float tail = x * -2.0f + 3.0f;
    EXPECT_EQ(smoothstep(x), xx * tail);
    float previous = 0;
    for (int k = 1; k <= 100; ++k) {
        const float now = smoothstep(k / 100.0f);
        EXPECT_GT(now, previous);
        previous = now;
    }
}

TEST(SmoothstepDeathTest, ArgumentsOutsideTheUnitIntervalViolateThePrecondition) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(smoothstep(-0.01f), "x>=0 && x<=1");
    EXPECT_DEATH(smoothstep(1.01f), "x>=0 && x<=1");
    EXPECT_DEATH(smoothstep(std::nanf("")), "x>=0 && x<=1");
}
