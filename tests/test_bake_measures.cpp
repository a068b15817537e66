// The baker's view measures on shapes whose answers are known in closed form. Every view is
// rendered offscreen (EGL without a display) exactly as the baker renders it.
#include "bake_util.h"
#include "measures.h"
#include "sphere_samples.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace bakeutil;

namespace {

constexpr int imageSize = 256;

// So far away with so narrow a field that the view is orthographic to a few parts in a million;
// the image spans 8 units at the origin.
ViewCamera farCamera(vec direction) {
    const double d = 100000;
    return ViewCamera(direction.unit(), d, 2 * std::atan(4.0 / d) * 180 / M_PI, d - 50, d + 50);
}

ViewMeasures measureView(const BakeMesh& mesh, const ViewCamera& camera) {
    static OffscreenRenderer renderer(imageSize);
    std::vector<std::uint32_t> ids;
    renderer.setMesh(mesh);
    renderer.renderIds(camera, ids, true);
    ViewMeasures m = ViewMeasurer(mesh).measure(ids, imageSize, camera);
    m.outside = 1 - renderer.backFaceShare();
    return m;
}

} // namespace

// The viewer's camera (30 units away, 50 degrees) sees a sphere's outline as the cone of half
// angle asin(r / D) about the line of sight, and the cap within acos(r / D) of its direction:
// (1 - r / D) / 2 of the surface. A fine mesh is measured from a coarser copy that keeps those
// measures: triangles smaller than a pixel are often seen in no pixel at all, so the fine mesh
// under-counts the surface seen; its copy comes nearer the true share.
TEST(BakeMeasures, SphereMatchesItsClosedFormsFromEveryDirectionAlsoAsACoarserCopy) {
    const double r = 5.0, D = 30.0, seen = (1 - r / D) / 2;
    const double rho = imageSize / 2.0 / std::tan(25 * M_PI / 180) * std::tan(std::asin(r / D));
    const BakeMesh sphere = icosphere(r, 4), fine = icosphere(r, 6); // 81,920 triangles
    const BakeMesh coarse = meshForViews(fine, 192);
    EXPECT_LE(coarse.triangleCount(), 20000);
    EXPECT_GT(coarse.triangleCount(), 1000);
    const BakeMesh small = icosphere(r, 3);
    EXPECT_EQ(meshForViews(small, 192).tris, small.tris);
    for (const vec& d : fibonacciDirections(16)) {
        const ViewMeasures m = measureView(sphere, ViewCamera(d));
        EXPECT_NEAR(m.area, M_PI * rho * rho / (imageSize * imageSize), 0.015 * m.area);
        EXPECT_NEAR(m.silhouette, 2 * M_PI * rho / imageSize, 0.02 * m.silhouette);
        EXPECT_NEAR(m.visibility, seen, 0.012);
        const ViewMeasures a = measureView(fine, ViewCamera(d)),
                           b = measureView(coarse, ViewCamera(d));
        EXPECT_NEAR(b.area, a.area, 0.01 * a.area);
        EXPECT_NEAR(b.silhouette, 2 * M_PI * rho / imageSize, 0.03 * b.silhouette);
        EXPECT_NEAR(b.visibility, seen, 0.03);
        EXPECT_LT(std::fabs(b.visibility - seen), std::fabs(a.visibility - seen));
    }
}

TEST(BakeMeasures, TwoSidedPlateShowsItsAreaTimesTheCosineAndHalfItsSurface) {
    // A 4 x 4 square seen from both sides: two triangles face +z, two coincident ones face -z.
    const BakeMesh p =
        mesh({-2, -2, 0, 2, -2, 0, 2, 2, 0, -2, 2, 0}, {0, 1, 2, 0, 2, 3, 0, 2, 1, 0, 3, 2});
    // Face-on, the plate covers a quarter of the 8 x 8 view; tilted by a, |cos a| of that.
    // From either side the view shows the one side facing it: half of the two-sided surface.
    for (int degrees = 0; degrees <= 180; degrees += 15) {
        const double a = degrees * M_PI / 180;
        const vec d(std::sin(a) * std::cos(0.7), std::sin(a) * std::sin(0.7), std::cos(a));
        const ViewMeasures m = measureView(p, farCamera(d));
        EXPECT_NEAR(m.area, 0.25 * std::fabs(std::cos(a)), 0.002) << degrees << " degrees";
        EXPECT_NEAR(m.visibility, degrees == 90 ? 0.0 : 0.5, 0.01) << degrees << " degrees";
    }
}

TEST(BakeMeasures, CubeAreaIsGreatestAlongASpaceDiagonal) {
    // Seen along a unit d, the 4 x 4 x 4 cube shows the three faces facing d, each foreshortened
    // by the cosine to its normal: 16 (|dx| + |dy| + |dz|) of the view's 64, which is 16 face-on
    // and greatest, 16 sqrt 3, exactly along the diagonals.
    std::vector<vec> directions = fibonacciDirections(40);
    for (const vec& d : {vec(1, 0, 0), vec(1, 1, 1), vec(-1, 1, -1), vec(1, -1, 1)})
        directions.push_back(d.unit());
    for (const vec& d : directions) {
        const double expected = (std::fabs(d.x) + std::fabs(d.y) + std::fabs(d.z)) / 4;
        EXPECT_NEAR(measureView(box(2, 2, 2), farCamera(d)).area, expected, 0.01 * expected)
            << d.x << " " << d.y << " " << d.z;
    }
}

TEST(BakeMeasures, EntropyVisibilityAndOutlineWorkedByHand) {
    // One triangle facing the eye covers 15 of the view's 64 square units: the image holds that
    // face and the background. From behind it is culled: all background, every measure 0.
    const BakeMesh t = mesh({-3, -2, 0, 3, -2, 0, 0, 3, 0}, {0, 1, 2});
    const double a = 15.0 / 64;
    auto bits = [](double p) { return -p * std::log2(p); }; // one share's part of an entropy
    ViewMeasures m = measureView(t, farCamera(vec(0, 0, 1)));
    EXPECT_NEAR(m.area, a, 0.005);
    EXPECT_NEAR(m.entropy, bits(a) + bits(1 - a), 0.01);
    m = measureView(t, farCamera(vec(0, 0, -1)));
    EXPECT_EQ(std::max({m.area, m.entropy, m.visibility, m.silhouette}), 0.0);
    // The 2 x 2 x 2 cube face-on: one face of two halves, a sixth of the surface, an outline of 8
    // units in units of the 8-unit image side.
    m = measureView(box(1, 1, 1), farCamera(vec(0, 0, 1)));
    EXPECT_NEAR(m.entropy, 2 * bits(2.0 / 64) + bits(60.0 / 64), 0.01);
    EXPECT_NEAR(m.visibility, 1.0 / 6, 0.003);
    EXPECT_NEAR(m.silhouette, 1.0, 0.025);
    // A 5 x 5 square and, one unit behind it, a triangle of area 6.125 that shows only where
    // x > 2.5: 3 of its square units. The view shows 28 of the 31.125 units of surface.
    const BakeMesh hiding = mesh({-2.5, -2.5, 0,  2.5, -2.5, 0,  2.5, 2.5, 0,   -2.5, 2.5,
                                  0,    0,    -2, -1,  3.5,  -2, -1,  3.5, 1.5, -1},
                                 {0, 1, 2, 0, 2, 3, 4, 5, 6});
    EXPECT_NEAR(measureView(hiding, farCamera(vec(0, 0, 1))).visibility, 28 / 31.125, 0.005);
    // The image edge is no outline: a full image has none; one filled left of its middle has one
    // side.
    const int n = 200;
    std::vector<std::uint32_t> img(n * n, 1);
    EXPECT_EQ(outlineLength(img, n), 0.0);
    for (int k = 0; k < n * n; ++k)
        img[k] = k % n < n / 2;
    EXPECT_NEAR(outlineLength(img, n), n, 5);
}

TEST(BakeMeasures, AnOpenBoxShowsItsInsideOnlyThroughItsOpenSide) {
    // The 2 x 2 x 2 box without its +x face. From +x every pixel of its square outline shows an
    // inner wall; from -x the closed wall hides them. From (1, 0, 1) the top and the opening are
    // foreshortened alike: half the outline is inside. The inside is no part of what is shown:
    // the top's share of the view and its fifth of the surface.
    BakeMesh open = box(1, 1, 1);
    open.tris.resize(30);
    EXPECT_NEAR(measureView(open, farCamera(vec(1, 0, 0))).outside, 0.0, 0.01);
    EXPECT_EQ(measureView(open, farCamera(vec(-1, 0.2, 0.1))).outside, 1.0);
    const ViewMeasures m = measureView(open, farCamera(vec(1, 0, 1)));
    EXPECT_NEAR(m.outside, 0.5, 0.01);
    EXPECT_NEAR(m.area, 4 * std::sqrt(0.5) / 64, 0.002);
    EXPECT_NEAR(m.visibility, 0.2, 0.005);
}

TEST(BakeMeasures, PreferencesForElevationAndForViewsOffThePrincipalAxes) {
    EXPECT_DOUBLE_EQ(elevationPreference(30), 1.0);
    EXPECT_NEAR(elevationPreference(0), std::exp(-1.44), 1e-12);
    EXPECT_DOUBLE_EQ(elevationPreference(65), std::exp(-1.0));
    // A block long in the direction (3, 4) of the horizontal plane: axes up, (3, 4) / 5, and the
    // horizontal normal to it (either sign).
    BakeMesh block = box(4, 1, 0.5);
    for (size_t k = 0; k < block.pos.size(); k += 3) {
        const float x = block.pos[k], y = block.pos[k + 1];
        block.pos[k] = 0.6f * x - 0.8f * y;
        block.pos[k + 1] = 0.8f * x + 0.6f * y;
    }
    const ModelAxes axes = principalAxes(block);
    EXPECT_NEAR(std::fabs(dot(axes.axis[1], vec(0.6, 0.8, 0))), 1.0, 1e-6);
    EXPECT_NEAR(std::fabs(dot(axes.axis[2], vec(-0.8, 0.6, 0))), 1.0, 1e-6);
    EXPECT_NEAR(offAxisPreference(vec(0.6, 0.8, 0), axes), 0.0, 1e-9);
    EXPECT_NEAR(offAxisPreference(vec(0, 0, -1), axes), 0.0, 1e-9);
    EXPECT_NEAR(
        offAxisPreference((vec(0.6, 0.8, 0) + vec(-0.8, 0.6, 0) + vec(0, 0, 1)).unit(), axes), 1.0,
        1e-9);
    // Half way between two axes: 1.5 (1 - 2 / 4).
    EXPECT_NEAR(offAxisPreference((vec(0.6, 0.8, 0) + vec(0, 0, 1)).unit(), axes), 0.75, 1e-9);
}
