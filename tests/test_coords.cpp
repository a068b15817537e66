// The view-sphere arithmetic: spherical angles, map cells, directions and drawing positions,
// worked for a 360 x 180 map unless a test says otherwise.
#include "coords.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <type_traits>

namespace {

using Cell = std::pair<int, int>;

class Coords : public testing::Test {
protected:
    MapGrid grid{360, 180};
    float halfSize = 14;

    // The cell of a direction or of two angles.
    template <class... A> Cell cellOf(A... in) const {
        MapCell c;
        if constexpr (sizeof...(A) == 1)
            c = cartesianToArrayIndex(in..., grid);
        else
            c = sphericalToArrayIndex(in..., grid);
        return {c.column, c.row};
    }

    vec cartesian(int i, int j) const { return arrayIndexToCartesian(i, j, grid); }

    // The drawing position of a cell, or of two angles.
    template <class T> std::pair<float, float> drawPos(T a, T b) const {
        DrawPos p;
        if constexpr (std::is_same_v<T, int>)
            p = arrayIndexToDrawPos(a, b, grid, halfSize);
        else
            p = sphericalToDrawPos(a, b, grid, halfSize);
        return {p.u, p.v};
    }
};

} // namespace

// Spherical parts leave rounded to float; theta grows from +x towards +y, phi from +z.
TEST_F(Coords, CartesianAndSphericalEachWay) {
    auto f = [](double v) { return static_cast<double>(static_cast<float>(v)); };
    const std::pair<vec, vec> toSpherical[] = {
        {vec(0, 3, 4), vec(5, f(M_PI / 2), f(std::acos(0.8)))},
        {vec(-1, -1, -std::sqrt(2.0)), vec(2, f(-3 * M_PI / 4), f(3 * M_PI / 4))},
        {vec(0.1, 0.7, -0.3),
         vec(f(std::sqrt(0.59)), f(std::atan2(0.7, 0.1)), f(std::acos(-0.3 / std::sqrt(0.59))))},
        {vec(0, 0, 0), vec(0, 0, f(M_PI / 2))}};
    for (const auto& [in, out] : toSpherical)
        EXPECT_EQ(cartesianToSpherical(in), out);
    const vec c = sphericalToCartesian(vec(3, M_PI, M_PI / 3));
    EXPECT_LT((c - vec(-1.5 * std::sqrt(3.0), 0, 1.5)).length(), 1e-14);
}

// atan2(0, 0) = 0 puts the poles and the zero vector in the middle column; theta = pi is column
// 360, clamped to 359, not wrapped to 0. Cells are rounded to the nearest. Angles
// far outside their range clamp like any other, without overflowing the int.
TEST_F(Coords, DirectionsAndAnglesToCells) {
    const std::pair<vec, Cell> directions[] = {
        {vec(1, 0, 0), {180, 90}},  {vec(0, 0, 0), {180, 90}},   {vec(0, 0, 1), {180, 0}},
        {vec(-1, 0, 0), {359, 90}}, {vec(0, 0, -1), {180, 179}}, {vec(0, 1, 0), {270, 90}},
        {vec(0, -25, 0), {90, 90}}};
    for (const auto& [d, cell] : directions)
        EXPECT_EQ(cellOf(d), cell) << d.x << " " << d.y << " " << d.z;
    const float pi = static_cast<float>(M_PI);
    const std::tuple<float, float, Cell> angles[] = {
        {-pi, 0, {0, 0}},          {pi, pi, {359, 179}},       {pi - 0.01f, 1, {359, 57}},
        {-pi + 0.01f, 1, {1, 57}}, {-pi + 0.008f, 1, {0, 57}}, {1e30f, 1e30f, {359, 179}},
        {-1e30f, -0.2f, {0, 0}}};
    for (const auto& [theta, phi, cell] : angles)
        EXPECT_EQ(cellOf(theta, phi), cell) << theta << " " << phi;
}

// The quotients i / W and j / H are taken in float, worked here for a cell that does not divide
// evenly, where the double route differs in the last bit.
TEST_F(Coords, CellsToUnitDirections) {
    EXPECT_EQ(cartesian(0, 0), vec(0, 0, 1));
    const float a = 7.0f / 360.0f, b = 13.0f / 180.0f;
    const double theta = static_cast<double>(2 * a) * M_PI - M_PI;
    const double phi = static_cast<double>(b) * M_PI;
    ASSERT_NE(theta, 2.0 * 7 / 360 * M_PI - M_PI);
    EXPECT_EQ(cartesian(7, 13),
              vec(std::cos(theta) * std::sin(phi), std::sin(theta) * std::sin(phi), std::cos(phi)));
    grid = {4, 2};
    EXPECT_LT((cartesian(2, 1) - vec(1, 0, 0)).length(), 1e-15);
    EXPECT_EQ(cellOf(vec(1, 0, 0)), Cell(2, 1));
}

// Off the pole every cell comes back. At the pole x and y are zeros with the signs of
// cos(theta) and sin(theta); atan2 of signed zeros gives +-0 or +-pi: column 180, 359 or 0.
TEST_F(Coords, RoundTripsOverEveryCell) {
    int failures = 0;
    for (int j = 1; j < 180; ++j)
        for (int i = 0; i < 360; ++i)
            if (cellOf(cartesian(i, j)) != Cell(i, j) && ++failures < 10)
                ADD_FAILURE() << "cell (" << i << ", " << j << ")";
    EXPECT_EQ(failures, 0);
    for (int i = 0; i < 360; ++i) {
        const double theta = static_cast<double>(2 * (static_cast<float>(i) / 360)) * M_PI - M_PI;
        const int column = std::cos(theta) >= 0 ? 180 : std::sin(theta) < 0 ? 0 : 359;
        EXPECT_EQ(cellOf(cartesian(i, 0)), Cell(column, 0)) << "column " << i;
    }
}

// 2 S (i / W - 0.5), the quotient in float, the rest in double, rounded to float. Angles snap
// to the nearest corner without clamping: theta 0.01 is column 180.57.
TEST_F(Coords, DrawPositions) {
    using UV = std::pair<float, float>;
    const UV q{static_cast<float>(28.0 * (static_cast<double>(1.0f / 360.0f) - 0.5)),
               static_cast<float>(-28.0 * (static_cast<double>(1.0f / 180.0f) - 0.5))};
    EXPECT_EQ(drawPos(1, 1), q);
    const int cells[][4] = {
        {0, 0, -14, 14}, {180, 90, 0, 0}, {360, 180, 14, -14}, {90, 135, -7, -7}};
    for (const auto& c : cells)
        EXPECT_EQ(drawPos(c[0], c[1]), UV(c[2], c[3])) << c[0] << " " << c[1];
    const float pi = static_cast<float>(M_PI);
    EXPECT_EQ(drawPos(pi, pi), UV(14, -14));
    EXPECT_EQ(drawPos(-pi, 0.0f), UV(-14, 14));
    EXPECT_EQ(drawPos(0.01f, pi / 2), drawPos(181, 90));
    EXPECT_GT(drawPos(4.0f, pi / 2).first, 14.0f);
    halfSize = 2.5f;
    EXPECT_EQ(drawPos(0, 180), UV(-2.5f, -2.5f));
}

TEST_F(Coords, ZeroSizeMapNeverDividesByZero) {
    grid = {0, 0};
    EXPECT_TRUE(cellOf(vec(1, 0, 0)) == Cell(0, 0) && cellOf(2.0f, 2.0f) == Cell(0, 0));
    EXPECT_NEAR(cartesian(5, 5).length(), 1.0, 1e-15);
    for (const auto& [u, v] : {drawPos(3, 3), drawPos(1.0f, 1.0f)})
        EXPECT_TRUE(std::isfinite(u) && std::isfinite(v));
}

// 0.0625 * 2.5 and 0.5625 * 1.5 are exact; 0.3 is worked in float in the same order.
TEST(Smoothstep, ExactFloatValues) {
    const float x = 0.3f, in[] = {0, 0.5f, 1, 0.25f, 0.75f, x};
    const float out[] = {0, 0.5f, 1, 0.15625f, 0.84375f, (x * x) * (x * -2.0f + 3.0f)};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(smoothstep(in[k]), out[k]) << in[k];
}

TEST(SmoothstepDeathTest, ArgumentsOutsideTheUnitIntervalViolateThePrecondition) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const float x : {-0.01f, 1.01f, std::nanf("")})
        EXPECT_DEATH(smoothstep(x), "x>=0 && x<=1") << x;
}
