// The baker's view measures on shapes whose answers are known in closed form. Every view is
// rendered offscreen (EGL without a display) exactly as the baker renders it.
#include "bake_util.h"
#include "measures.h"
#include "offscreen.h"
#include "sphere_samples.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

using namespace bakeutil;

namespace {

constexpr int imageSize = 256;

OffscreenRenderer& renderer() {
    static std::unique_ptr<OffscreenRenderer> r = std::make_unique<OffscreenRenderer>(imageSize);
    return *r;
}

// A camera so far away with so narrow a field that the view is orthographic to a few parts in a
// million; the image spans 2 * halfSpan units at the origin.
constexpr double halfSpan = 4.0;
ViewCamera farCamera(vec direction) {
    const double distance = 100000;
    return ViewCamera(direction, distance, 2 * std::atan(halfSpan / distance) * 180 / M_PI,
                      distance - 50, distance + 50);
}

ViewMeasures measureView(const BakeMesh& mesh, const ViewCamera& camera) {
    std::vector<std::uint32_t> ids;
    renderer().setMesh(mesh);
    renderer().renderIds(camera, ids);
    ViewMeasurer measurer(mesh);
    return measurer.measure(ids, imageSize, camera);
}

double entropyOf(const std::vector<double>& shares) {
    double h = 0;
    for (double p : shares)
        if (p > 0) h -= p * std::log2(p);
    return h;
}

// The viewer's camera: eye 30 units away, vertical field of view 50 degrees.
const double focalPixels = imageSize / 2.0 / std::tan(25.0 * M_PI / 180.0);

} // namespace

TEST(BakeMeasures, SphereScoresTheSameFromEveryDirection) {
    const BakeMesh sphere = icosphere(5.0, 4);
    const std::vector<vec> directions = fibonacciDirections(14);
    std::vector<ViewMeasures> m;
    for (const vec& d : directions)
        m.push_back(measureView(sphere, ViewCamera(d)));
    m.push_back(measureView(sphere, ViewCamera(vec(0, 0, 1))));
    m.push_back(measureView(sphere, ViewCamera(vec(0, 0, -1))));
    auto spread = [&](double ViewMeasures::*field) {
        double lo = 1e300, hi = -1e300;
        for (const ViewMeasures& v : m) {
            lo = std::min(lo, v.*field);
            hi = std::max(hi, v.*field);
        }
        return (hi - lo) / hi;
    };
    EXPECT_LT(spread(&ViewMeasures::area), 0.01);
    EXPECT_LT(spread(&ViewMeasures::visibility), 0.02);
    EXPECT_LT(spread(&ViewMeasures::entropy), 0.02);
    EXPECT_LT(spread(&ViewMeasures::silhouette), 0.02);
}

TEST(BakeMeasures, SphereMatchesItsClosedForms) {
    const double r = 5.0, D = 30.0;
    const ViewMeasures m = measureView(icosphere(r, 4), ViewCamera(vec(0.3, -0.8, 0.5)));
    // The outline is the cone of half angle asin(r / D) around the line of sight.
    const double rho = focalPixels * std::tan(std::asin(r / D));
    EXPECT_NEAR(m.area, M_PI * rho * rho / (imageSize * imageSize), 0.015 * m.area);
    EXPECT_NEAR(m.silhouette, 2 * M_PI * rho / imageSize, 0.02 * m.silhouette);
    // The eye sees the cap within acos(r / D) of its direction: (1 - r / D) / 2 of the surface.
    EXPECT_NEAR(m.visibility, (1 - r / D) / 2, 0.02);
}

TEST(BakeMeasures, ThinPlateAreaFollowsTheCosineOfTheAngleToItsNormal) {
    const BakeMesh p = plate(2.0);
    const double faceOn = measureView(p, farCamera(vec(0, 0, 1))).area;
    // A 4 x 4 plate in an 8 x 8 view covers a quarter of it.
    EXPECT_NEAR(faceOn, 0.25, 0.004);
    for (int degrees = 0; degrees <= 180; degrees += 15) {
        const double a = degrees * M_PI / 180;
        const vec d(std::sin(a) * std::cos(0.7), std::sin(a) * std::sin(0.7), std::cos(a));
        const double area = measureView(p, farCamera(d)).area;
        EXPECT_NEAR(area / faceOn, std::fabs(std::cos(a)), 0.012) << degrees << " degrees";
    }
}

TEST(BakeMeasures, ThinPlateAreaUnderTheViewersPerspective) {
    const double h = 6.0;
    const BakeMesh p = plate(h);
    for (double tilt : {0.0, 0.5, 1.0, 2.4}) {
        const vec d(std::sin(tilt), 0, std::cos(tilt));
        const double area = measureView(p, ViewCamera(d)).area;
        // Pinhole projection of the four corners, worked out here: eye at 30 d, image axes side
        // and up, focal length in pixels; then the shoelace formula.
        const vec eye = d * 30.0, forward = d * -1.0;
        const vec up0 = std::fabs(d.z) > 0.999 ? vec(0, 1, 0) : vec(0, 0, 1);
        const vec side = cross(forward, up0).unit(), up = cross(side, forward);
        const double corners[4][2] = {{-h, -h}, {h, -h}, {h, h}, {-h, h}};
        double xs[4], ys[4];
        for (int k = 0; k < 4; ++k) {
            const vec q = vec(corners[k][0], corners[k][1], 0) - eye;
            const double depth = dot(q, forward);
            xs[k] = focalPixels * dot(q, side) / depth;
            ys[k] = focalPixels * dot(q, up) / depth;
        }
        double twice = 0;
        for (int k = 0; k < 4; ++k)
            twice += xs[k] * ys[(k + 1) % 4] - xs[(k + 1) % 4] * ys[k];
        const double expected = std::fabs(twice) / 2 / (imageSize * imageSize);
        EXPECT_NEAR(area, expected, 0.01 * expected) << "tilt " << tilt;
    }
}

TEST(BakeMeasures, CubeAreaIsGreatestAlongASpaceDiagonal) {
    const BakeMesh c = cube(2.0);
    const double faceOn = measureView(c, farCamera(vec(1, 0, 0))).area;
    EXPECT_NEAR(faceOn, 16.0 / 64.0, 0.002);
    double diagonal = 0;
    for (int k = 0; k < 8; ++k) {
        const vec d(k & 1 ? 1 : -1, k & 2 ? 1 : -1, k & 4 ? 1 : -1);
        const double a = measureView(c, farCamera(d)).area;
        EXPECT_NEAR(a / faceOn, std::sqrt(3.0), 0.015) << "diagonal " << k;
        diagonal = std::max(diagonal, a);
    }
    // Seen along a unit direction d, the cube shows its three faces that face d, each foreshortened
    // by the cosine to its normal: 16 (|dx| + |dy| + |dz|), which is greatest, 16 sqrt 3, exactly
    // along the diagonals.
    for (const vec& d : fibonacciDirections(150)) {
        const double a = measureView(c, farCamera(d)).area;
        const double expected = 16 * (std::fabs(d.x) + std::fabs(d.y) + std::fabs(d.z)) / 64.0;
        EXPECT_NEAR(a, expected, 0.01 * expected);
        EXPECT_LE(a, diagonal * 1.005);
    }
}

TEST(BakeMeasures, EntropyOfAViewThatSeesOneFace) {
    // One triangle facing the eye: the image holds that face and the background.
    const BakeMesh t = triangle(-3, -2, 3, -2, 0, 3);
    const double a = 0.5 * 6 * 5 / 64.0; // its area over the 8 x 8 view
    const ViewMeasures m = measureView(t, farCamera(vec(0, 0, 1)));
    EXPECT_NEAR(m.area, a, 0.005);
    EXPECT_NEAR(m.entropy, entropyOf({a, 1 - a}), 0.01);
    // From behind it is culled: the image is all background, entropy 0.
    const ViewMeasures back = measureView(t, farCamera(vec(0, 0, -1)));
    EXPECT_EQ(back.area, 0.0);
    EXPECT_EQ(back.entropy, 0.0);
    EXPECT_EQ(back.visibility, 0.0);
    EXPECT_EQ(back.silhouette, 0.0);
}

TEST(BakeMeasures, CubeFaceOnSeesOneSquareFaceOfTwoHalves) {
    const ViewMeasures m = measureView(cube(1.0), farCamera(vec(0, 0, 1)));
    const double a = 4.0 / 64.0;
    EXPECT_NEAR(m.entropy, entropyOf({a / 2, a / 2, 1 - a}), 0.01);
    EXPECT_NEAR(m.visibility, 1.0 / 6.0, 0.003);
    // Outline: the square's perimeter, 8 units, in units of the 8-unit image side. The estimate
    // is exact for round outlines and within 1.5% for straight ones, whatever their direction.
    EXPECT_NEAR(m.silhouette, 1.0, 0.025);
}

TEST(BakeMeasures, CubeAlongADiagonalShowsHalfItsSurfaceInAHexagon) {
    const ViewMeasures m = measureView(cube(1.0), farCamera(vec(1, 1, 1)));
    EXPECT_NEAR(m.visibility, 0.5, 0.01);
    // Regular hexagon of circumradius sqrt(8/3): perimeter 6 sqrt(8/3) units over an 8-unit side.
    EXPECT_NEAR(m.silhouette, 6 * std::sqrt(8.0 / 3.0) / 8.0, 0.025 * 1.2247);
    // Six triangles of equal projected area (each face shows two halves of equal size).
    const double a = m.area;
    EXPECT_NEAR(m.entropy, entropyOf({a / 6, a / 6, a / 6, a / 6, a / 6, a / 6, 1 - a}), 0.02);
}

TEST(BakeMeasures, PlateShowsHalfItsTwoSidedSurfaceFromEitherSide) {
    const BakeMesh p = plate(2.0);
    EXPECT_NEAR(measureView(p, farCamera(vec(0.2, 0.1, 1))).visibility, 0.5, 0.01);
    EXPECT_NEAR(measureView(p, farCamera(vec(-0.3, 0.2, -1))).visibility, 0.5, 0.01);
}

TEST(BakeMeasures, HiddenPartsDoNotCountAsVisible) {
    // A small plate 1 unit behind a large one, both facing +z: from +z only the large one shows.
    BakeMesh m = triangle(-3, -3, 3, -3, 3, 3);
    addTriangle(m, 0, 2, 3);
    addVertex(m, -3, 3, 0);
    const int base = m.vertexCount();
    addVertex(m, -1, -1, -1);
    addVertex(m, 1, -1, -1);
    addVertex(m, 1, 1, -1);
    addTriangle(m, base, base + 1, base + 2);
    const double front = 36.0, hidden = 2.0;
    EXPECT_NEAR(measureView(m, farCamera(vec(0, 0, 1))).visibility, front / (front + hidden),
                0.005);
    // Tilted by 1 radian about y, the large plate's image spans 3 cos 1 = 1.62 units either side
    // and the small one's image (x cos 1 + sin 1 for x in -1..1) spans 0.30..1.38: still hidden.
    const vec side(std::sin(1.0), 0, std::cos(1.0));
    EXPECT_NEAR(measureView(m, farCamera(side)).visibility, front / (front + hidden), 0.01);
}

TEST(BakeMeasures, OutlineLengthOfDrawnShapes) {
    const int n = 200;
    std::vector<std::uint32_t> img(n * n);
    auto fill = [&](auto inside) {
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                img[y * n + x] = inside(x + 0.5 - n / 2.0, y + 0.5 - n / 2.0) ? 1 : 0;
    };
    fill([](double x, double y) { return x * x + y * y < 60.0 * 60.0; });
    EXPECT_NEAR(outlineLength(img, n), 2 * M_PI * 60, 0.01 * 2 * M_PI * 60);
    fill([](double x, double y) { return std::fabs(x) < 50 && std::fabs(y) < 50; });
    EXPECT_NEAR(outlineLength(img, n), 400, 0.02 * 400);
    const double c = std::cos(0.4), s = std::sin(0.4);
    fill([&](double x, double y) {
        return std::fabs(c * x + s * y) < 50 && std::fabs(-s * x + c * y) < 50;
    });
    EXPECT_NEAR(outlineLength(img, n), 400, 0.02 * 400);
    // The image edge is not an outline: a full image has none, a half-filled one has one side.
    fill([](double, double) { return true; });
    EXPECT_EQ(outlineLength(img, n), 0.0);
    fill([](double x, double) { return x < 0; });
    EXPECT_NEAR(outlineLength(img, n), n, 0.025 * n);
}

TEST(BakeMeasures, ProjectedPixelsOfAFrontAndABackFacingTriangle) {
    const BakeMesh t = triangle(-3, -2, 3, -2, 0, 3);
    ViewMeasurer measurer(t);
    const double expected = 15.0 / 64.0 * imageSize * imageSize;
    EXPECT_NEAR(measurer.projectedPixels(0, imageSize, farCamera(vec(0, 0, 1))), expected,
                1e-6 * expected);
    EXPECT_EQ(measurer.projectedPixels(0, imageSize, farCamera(vec(0, 0, -1))), 0.0);
}
