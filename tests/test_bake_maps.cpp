// What the baker makes of its measures: the map spreading, the scaling to 0..1, the gradients,
// the orbit, the file bytes (read back through the viewer's own loaders), the list files, and the
// mesh turned and fitted for the viewer.
#include "bake_util.h"
#include "bakeerror.h"
#include "bakemodel.h"
#include "gradient.h"
#include "orbit.h"
#include "sphere_samples.h"
#include "mapimage.h"
#include "treewriter.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

TEST(BakeMaps, SpreadingFollowsASmoothField) {
    // f(d) = 0.75 + d.a: the kernel keeps the constant, and its average over a width sigma
    // shrinks d.a by about sigma^2, under 1% here.
    const std::vector<vec> d = fibonacciDirections(1500);
    const vec a(0.6, -0.48, 0.64);
    std::vector<double> linear, smooth;
    for (const vec& v : d)
        linear.push_back(0.75 + dot(v, a));
    SphereInterpolator(d, 72, 36).interpolate(linear, smooth);
    ASSERT_EQ(smooth.size(), 72u * 36);
    for (int c = 0; c < 72 * 36; ++c) {
        // The viewer's cell (i, j): theta = 2 pi i / W - pi, phi = pi j / H, the direction
        // (cos theta sin phi, sin theta sin phi, cos phi).
        const double theta = 2 * M_PI * (c % 72) / 72 - M_PI, phi = M_PI * (c / 72) / 36;
        const vec cell(std::cos(theta) * std::sin(phi), std::sin(theta) * std::sin(phi),
                       std::cos(phi));
        EXPECT_NEAR(smooth[c], 0.75 + dot(cell, a), 0.02) << c;
    }
}

TEST(BakeMaps, ScalingToZeroOneAndGradients) {
    // A map whose values all lie within 3% of the largest is flat: all 1.
    auto normalised = [](std::vector<double> m) {
        normaliseMap(m);
        return m;
    };
    EXPECT_EQ(normalised({2, 4, 3, 6}), (std::vector<double>{0, 0.5, 0.25, 1}));
    EXPECT_EQ(normalised({5, 5.14, 5.01}), (std::vector<double>{1, 1, 1}));
    EXPECT_NEAR(normalised({5, 5.2, 5.1})[2], 0.5, 1e-12);
    EXPECT_EQ(normalised({0, 0}), (std::vector<double>{1, 1}));
    // 8 x 4 map of g = column / 10 + row^2 / 100, scale 100. Columns: central differences, 0.1,
    // except across the seam: (0.1 - 0.7) / 2 at column 0, (0 - 0.6) / 2 at column 7. Rows:
    // one-sided at rows 0 and 3 (0.01 and 0.05), central at rows 1 and 2 (0.02 and 0.04).
    std::vector<double> g(32);
    for (int k = 0; k < 32; ++k)
        g[k] = k % 8 / 10.0 + (k / 8) * (k / 8) / 100.0;
    std::vector<float> gx, gy;
    goodnessGradient(g, 8, 4, 100.0, gx, gy);
    ASSERT_EQ(gx.size() + gy.size(), 64u);
    for (int k = 0; k < 32; ++k) {
        EXPECT_FLOAT_EQ(gx[k], k % 8 == 0 || k % 8 == 7 ? -30 : 10) << k;
        EXPECT_FLOAT_EQ(gy[k], (std::array{1, 2, 4, 5}[k / 8])) << k;
    }
}

TEST(BakeMaps, OrbitSamplesTheMapFollowsAGoodBandAndStaysOutOfThePoleCaps) {
    // Sampling is bilinear: a 4 x 2 map has column i at theta = pi i / 2 - pi, row j at
    // phi = pi j / 2.
    const std::vector<double> small = {0, 1, 2, 3, 4, 5, 6, 7};
    EXPECT_DOUBLE_EQ(sampleMap(small, 4, 2, -M_PI, M_PI / 4), 2.0);
    // Between column 3 and column 0 (wrapped) in row 1; below the last row, clamped to it.
    EXPECT_DOUBLE_EQ(sampleMap(small, 4, 2, M_PI / 2 + M_PI / 4, M_PI / 2), 5.5);
    EXPECT_DOUBLE_EQ(sampleMap(small, 4, 2, -M_PI, M_PI), 4.0);
    // Goodness peaks on a band whose polar angle wanders between 60 and 100 degrees.
    const int w = 360, h = 180;
    std::vector<double> g(w * h), poles(w * h);
    auto band = [](double theta) { return (80 + 20 * std::sin(theta)) * M_PI / 180; };
    for (int k = 0; k < w * h; ++k) {
        const double theta = 2 * M_PI * (k % w) / w - M_PI, phi = M_PI * (k / w) / h;
        g[k] = std::exp(-std::pow((phi - band(theta)) / 0.15, 2));
        poles[k] = std::fabs(std::cos(phi));
    }
    const std::vector<OrbitPoint> orbit = bestOrbit(g, w, h, 100);
    ASSERT_EQ(orbit.size(), 100u);
    for (int k = 0; k < 100; ++k) {
        EXPECT_NEAR(orbit[k].theta, -M_PI + 2 * M_PI * (k + 0.5) / 100, 1e-6);
        EXPECT_NEAR(orbit[k].phi, band(orbit[k].theta), 4.0 * M_PI / 180) << k;
        // Closed and smooth: at most 5 degrees of polar change per step, last to first included.
        EXPECT_LE(std::fabs(orbit[(k + 1) % 100].phi - orbit[k].phi), 5 * M_PI / 180 + 1e-6);
    }
    // The best views are straight down the poles; the loop keeps 20 degrees away from them.
    for (const OrbitPoint& p : bestOrbit(poles, w, h, 100))
        EXPECT_NEAR(p.phi, M_PI / 2, 70 * M_PI / 180 + 1e-6);
}

TEST(BakeMaps, FilesReadBackThroughTheReaders) {
    const std::string text = orbitText({{-3.1f, 1.2f}, {0.5f, 0.7853982f}, {2.9f, 2.0f}});
    EXPECT_EQ(text, "-3.100000 1.200000\n0.500000 0.785398\n2.900000 2.000000\n");

    const int w = 12, h = 6;
    std::vector<double> g(w * h);
    std::vector<float> gx(w * h), gy(w * h);
    for (int k = 0; k < w * h; ++k) {
        g[k] = k % 19 / 16.0 - 0.1; // from -0.1 to 1.025, clamped to 0..1
        gx[k] = 0.25f * float(k % 5) - 0.5f;
        gy[k] = 1.5f - 0.125f * float(k % 7);
    }
    const std::string pgm = pgmBytes(g, w, h, "test map"), vgf = vgfBytes(gx, gy, w, h);
    EXPECT_EQ(pgm.substr(0, 23), "P5\n# test map\n12 6\n255\n");
    EXPECT_EQ(vgf.substr(0, 15), "VGF\n12 6      \n");
    ASSERT_EQ(vgf.size(), 15u + 8u * w * h);
    GoodnessImage goodness;
    ASSERT_EQ(parsePGMImage(pgm, goodness), "");
    GradientImage gradient;
    ASSERT_EQ(parseVGFImage(vgf, w, h, gradient), "");
    ASSERT_EQ(std::pair(goodness.width, goodness.height), std::pair(w, h));
    for (int k = 0; k < w * h; ++k) {
        const long byte = std::lround(std::fmin(1.0, std::fmax(0.0, g[k])) * 255);
        EXPECT_EQ(goodness.cells[3 * k], static_cast<float>(byte) / 255.0f) << k;
        EXPECT_EQ(gradient.magnitudeAngle[2 * k], std::sqrt(gx[k] * gx[k] + gy[k] * gy[k])) << k;
        EXPECT_EQ(gradient.magnitudeAngle[2 * k + 1], std::atan2(-gy[k], gx[k])) << k;
    }
    // "VGF\n4096 2048" leaves room for the newline; "VGF\n123456 1234" does not.
    EXPECT_THROW(vgfBytes({}, {}, 123456, 1234), BakeError);
}

TEST(BakeMaps, MeshIsTurnedUprightFittedIntoTheViewAndNamed) {
    // Each turn is a rotation (faces stay outward) taking the named axis to +z; here, of the
    // point (1, 2, 3).
    std::vector<float> images;
    for (const char* up : {"y", "-y", "x", "-x", "z", "-z"}) {
        BakeMesh m = bakeutil::mesh({1, 2, 3}, {});
        turnUpToZ(m, up);
        images.insert(images.end(), m.pos.begin(), m.pos.end());
    }
    EXPECT_EQ(images,
              (std::vector<float>{1, -3, 2, 1, 3, -2, -3, 2, 1, 3, 2, -1, 1, 2, 3, 1, -2, -3}));
    EXPECT_TRUE(isUpAxis("-z") && !isUpAxis("up"));
    // Fitted: centred, its farthest vertex 11.9 from the centre, whole in the 50 degree view from
    // 30 units away (30 sin 25 = 12.68). A compact box gets two guard vertices so that the viewer,
    // reading the file, does not scale it up again; a long bar needs none.
    for (const auto& [size, vertices] :
         {std::pair(vec(40, 20, 10), 10), std::pair(vec(40, 1, 1), 8)}) {
        BakeMesh m = bakeutil::box(size.x / 2, size.y / 2, size.z / 2);
        for (size_t k = 0; k < m.pos.size(); k += 3)
            m.pos[k] += 7;
        fitIntoView(m);
        const BakeMesh read = readOffText(offText(m), "fitted");
        ASSERT_EQ(read.vertexCount(), vertices);
        for (int v = 0; v < 8; ++v) {
            const float* p = &read.pos[3 * v];
            EXPECT_NEAR(std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]), 11.9, 1e-4) << v;
        }
    }
    EXPECT_EQ(modelNameOf("/a/b.c/bunny.00.off"), "bunny");
    EXPECT_EQ(modelNameOf("dir\\elk.ply"), "elk");
    EXPECT_NO_THROW(checkModelName("Bunny_2-b+" + std::string(39, 'a'), "x"));
    EXPECT_THROW(checkModelName(std::string(50, 'a'), "x"), BakeError);
}

TEST(BakeMaps, ListsGainMissingNamesOnceAndTheProgressBarShowsTheShareDone) {
    EXPECT_EQ(listNames("  a\tb\n\nc  "), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(extendedList("", {"x", "y", "x"}), "x\ny\n");
    EXPECT_EQ(extendedList("a b", {"b", "c"}), "a b\nc\n");
    // A list has no comments: any run of non-blank characters is a name.
    EXPECT_EQ(extendedList("a\n# b\n", {"a", "b", "#"}), "a\n# b\n");
    EXPECT_EQ(ProgressBar::render("cow: rendering views", 0.5, 10),
              "[#####.....]  50% cow: rendering views");
    EXPECT_EQ(ProgressBar::render("x", 1.7, 4), "[####] 100% x");
    EXPECT_EQ(ProgressBar::render("x", -1, 4), "[....]   0% x");
}

TEST(BakeMaps, QualityRanksNamedViewsAsPeopleDo) {
    // Baked as a user bakes them (both contexts at work): an L-shaped block is best seen three-
    // quarter from above, where all three faces of its step show, rather than along an axis; an
    // open box is a worse view into its opening than from its closed side.
    BakeSettings settings;
    settings.samples = 400;
    settings.resolution = 96;
    settings.width = 72;
    settings.height = 36;
    settings.threads = 2;
    OffscreenRenderer renderer(settings.resolution);
    auto at = [](const BakedModel& m, int attribute, vec d) {
        d = d.unit();
        return sampleMap(m.attributes[attribute].goodness, m.width, m.height, std::atan2(d.y, d.x),
                         std::acos(d.z));
    };
    const BakedModel l = bakeModel("l", bakeutil::lBlock(), settings, renderer);
    for (const vec& axis :
         {vec(1, 0, 0), vec(-1, 0, 0), vec(0, 1, 0), vec(0, -1, 0), vec(0, 0, 1), vec(0, 0, -1)})
        EXPECT_LT(at(l, Quality, axis), at(l, Quality, vec(1, -1, 1)))
            << axis.x << axis.y << axis.z;
    // Closed: no inside from anywhere, but for a flicker where the two blocks' faces meet.
    EXPECT_GT(at(l, Outside, vec(0.3, 0.2, -1)), 0.999);
    BakeMesh open = bakeutil::box(1, 1, 1);
    open.tris.resize(30);
    const BakedModel o = bakeModel("o", open, settings, renderer);
    EXPECT_LT(at(o, Quality, vec(1, 0, 0.3)), at(o, Quality, vec(-1, 0, 0.3)));
    EXPECT_LT(at(o, Outside, vec(1, 0, 0)), 0.3);
    EXPECT_GT(at(o, Outside, vec(-1, 0, 0)), 0.9);
}
