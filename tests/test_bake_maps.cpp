// What the baker makes of its measures: the map spreading, the scaling to 0..1, the gradients,
// the orbit, the file bytes (read back through the viewer's own loaders), the list files and the
// all-or-nothing writing of a tree.
#include "bakemodel.h"
#include "gradient.h"
#include "orbit.h"
#include "progress.h"
#include "sphere_samples.h"
#include "support.h"
#include "textureManager.h"
#include "treewriter.h"
#include "viewPath.h"

#include "bake_util.h"
#include "bakeerror.h"
#include "mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

std::vector<fs::path> filesUnder(const fs::path& root) {
    std::vector<fs::path> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        out.push_back(fs::relative(e.path(), root));
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST(BakeMaps, CellDirectionsAreTheViewersCellDirections) {
    // Column i is theta = 2 pi i / W - pi, row j is phi = pi j / H, direction
    // (cos theta sin phi, sin theta sin phi, cos phi).
    const vec pole = cellDirection(0, 0, 360, 180);
    EXPECT_NEAR(pole.z, 1.0, 1e-12);
    const vec front = cellDirection(180, 90, 360, 180);
    EXPECT_NEAR(front.x, 1.0, 1e-7);
    EXPECT_NEAR(front.y, 0.0, 1e-7);
    EXPECT_NEAR(front.z, 0.0, 1e-7);
    const vec side = cellDirection(90, 60, 360, 180); // theta = -pi/2, phi = pi/3
    EXPECT_NEAR(side.x, 0.0, 1e-7);
    EXPECT_NEAR(side.y, -std::sin(M_PI / 3), 1e-7);
    EXPECT_NEAR(side.z, 0.5, 1e-7);
}

TEST(BakeMaps, FibonacciDirectionsAreUnitAndSpreadEvenly) {
    const std::vector<vec> d = fibonacciDirections(500);
    ASSERT_EQ(d.size(), 500u);
    vec mean(0, 0, 0);
    for (const vec& v : d) {
        EXPECT_NEAR(v.length(), 1.0, 1e-12);
        mean = mean + v * (1.0 / 500);
    }
    EXPECT_LT(mean.length(), 0.01);
    // Every direction of a coarse grid has a sample within twice the mean spacing.
    const double spacing = std::sqrt(4 * M_PI / 500);
    for (int k = 0; k < 100; ++k) {
        const vec probe = cellDirection(k * 7 % 36, k % 18, 36, 18);
        double best = -1;
        for (const vec& v : d)
            best = std::max(best, dot(v, probe));
        EXPECT_GT(best, std::cos(2 * spacing));
    }
}

TEST(BakeMaps, SpreadingKeepsAConstantAndFollowsASmoothField) {
    const std::vector<vec> d = fibonacciDirections(1500);
    const SphereInterpolator spread(d, 72, 36);
    std::vector<double> values(d.size(), 0.75), map;
    spread.interpolate(values, map);
    ASSERT_EQ(map.size(), 72u * 36u);
    for (double v : map)
        EXPECT_NEAR(v, 0.75, 1e-9);
    // f(d) = d.a: a kernel average of width sigma shrinks it by about sigma^2 (under 1% here).
    const vec a(0.6, -0.48, 0.64);
    for (size_t k = 0; k < d.size(); ++k)
        values[k] = dot(d[k], a);
    spread.interpolate(values, map);
    for (int j = 0; j < 36; ++j)
        for (int i = 0; i < 72; ++i)
            EXPECT_NEAR(map[j * 72 + i], dot(cellDirection(i, j, 72, 36), a), 0.02);
    // Neighbours across the azimuth seam agree as closely as any other neighbours.
    for (int j = 1; j < 35; ++j)
        EXPECT_NEAR(map[j * 72], map[j * 72 + 71], 0.1);
}

TEST(BakeMaps, NormalisingScalesToZeroOneAndCallsAFlatMapAllGood) {
    std::vector<double> m = {2, 4, 3, 6};
    normaliseMap(m);
    EXPECT_EQ(m, (std::vector<double>{0, 0.5, 0.25, 1}));
    std::vector<double> flat = {5.0, 5.14, 5.01};
    normaliseMap(flat);
    EXPECT_EQ(flat, (std::vector<double>{1, 1, 1}));
    std::vector<double> barely = {5.0, 5.2, 5.1};
    normaliseMap(barely);
    EXPECT_NEAR(barely[2], 0.5, 1e-12);
    std::vector<double> zero = {0, 0};
    normaliseMap(zero);
    EXPECT_EQ(zero, (std::vector<double>{1, 1}));
}

TEST(BakeMaps, GradientWrapsColumnsAndIsOneSidedAtThePoles) {
    // 8 x 4 map with g = column / 10 + row * row / 100.
    const int w = 8, h = 4;
    std::vector<double> g(w * h);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            g[j * w + i] = i / 10.0 + j * j / 100.0;
    std::vector<float> gx, gy;
    goodnessGradient(g, w, h, 100.0, gx, gy);
    ASSERT_EQ(gx.size(), 32u);
    // Columns: (g[i+1] - g[i-1]) / 2 = 0.1 inside; across the seam at column 0,
    // (0.1 - 0.7) / 2 = -0.3; at column 7, (0 - 0.6) / 2 = -0.3. Times 100.
    EXPECT_FLOAT_EQ(gx[1 * w + 3], 10.0f);
    EXPECT_FLOAT_EQ(gx[2 * w + 0], -30.0f);
    EXPECT_FLOAT_EQ(gx[2 * w + 7], -30.0f);
    // Rows: row 0 one-sided (0.01 - 0) = 0.01; row 1 central (0.04 - 0) / 2 = 0.02; row 2
    // (0.09 - 0.01) / 2 = 0.04; row 3 one-sided (0.09 - 0.04) = 0.05. Times 100.
    EXPECT_FLOAT_EQ(gy[0 * w + 5], 1.0f);
    EXPECT_FLOAT_EQ(gy[1 * w + 5], 2.0f);
    EXPECT_FLOAT_EQ(gy[2 * w + 5], 4.0f);
    EXPECT_FLOAT_EQ(gy[3 * w + 5], 5.0f);
}

TEST(BakeMaps, SamplingTheMapIsBilinearWithWrappedColumns) {
    // 4 x 2 map; column i at theta = pi i / 2 - pi, row j at phi = pi j / 2.
    const std::vector<double> g = {0, 1, 2, 3, 4, 5, 6, 7};
    EXPECT_DOUBLE_EQ(sampleMap(g, 4, 2, -M_PI, 0), 0.0);
    EXPECT_DOUBLE_EQ(sampleMap(g, 4, 2, -M_PI + M_PI / 4, 0), 0.5);
    EXPECT_DOUBLE_EQ(sampleMap(g, 4, 2, -M_PI, M_PI / 4), 2.0);
    // Between column 3 and column 0 (wrapped) in row 1: (7 + 4) / 2.
    EXPECT_DOUBLE_EQ(sampleMap(g, 4, 2, M_PI / 2 + M_PI / 4, M_PI / 2), 5.5);
    // Rows below the last one are clamped to it.
    EXPECT_DOUBLE_EQ(sampleMap(g, 4, 2, -M_PI, M_PI), 4.0);
}

TEST(BakeMaps, OrbitFollowsAGoodBandAroundTheModel) {
    // Goodness peaks on a band whose polar angle wanders between 60 and 100 degrees.
    const int w = 360, h = 180;
    std::vector<double> g(w * h);
    auto band = [](double theta) { return (80 + 20 * std::sin(theta)) * M_PI / 180; };
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const double theta = 2 * M_PI * i / w - M_PI, phi = M_PI * j / h;
            g[j * w + i] = std::exp(-std::pow((phi - band(theta)) / 0.15, 2));
        }
    const std::vector<OrbitPoint> orbit = bestOrbit(g, w, h, 100);
    ASSERT_EQ(orbit.size(), 100u);
    for (int k = 0; k < 100; ++k) {
        EXPECT_NEAR(orbit[k].theta, -M_PI + 2 * M_PI * (k + 0.5) / 100, 1e-6);
        EXPECT_NEAR(orbit[k].phi, band(orbit[k].theta), 4.0 * M_PI / 180) << k;
        // Closed and smooth: at most 5 degrees of polar change per step, the last to the first
        // included.
        const double step = orbit[(k + 1) % 100].phi - orbit[k].phi;
        EXPECT_LE(std::fabs(step), 5.0 * M_PI / 180 + 1e-6);
    }
}

TEST(BakeMaps, OrbitStaysOutOfThePoleCaps) {
    // The best views are straight down the poles; the loop keeps 20 degrees away from them.
    std::vector<double> g(72 * 36);
    for (int j = 0; j < 36; ++j)
        for (int i = 0; i < 72; ++i)
            g[j * 72 + i] = std::fabs(std::cos(M_PI * j / 36));
    for (const OrbitPoint& p : bestOrbit(g, 72, 36, 100)) {
        EXPECT_GE(p.phi, 20 * M_PI / 180 - 1e-6);
        EXPECT_LE(p.phi, 160 * M_PI / 180 + 1e-6);
    }
}

TEST(BakeMaps, OrbitFileReadsBackThroughTheViewersLoader) {
    const std::vector<OrbitPoint> orbit = {{-3.1f, 1.2f}, {0.5f, 0.7853982f}, {2.9f, 2.0f}};
    const std::string text = orbitText(orbit);
    EXPECT_EQ(text, "-3.100000 1.200000\n0.500000 0.785398\n2.900000 2.000000\n");
    TempDir dir;
    writeFile(dir / "o.txt", text);
    viewPath path;
    // Three points and the midpoints after each of them.
    ASSERT_EQ(path.loadViewPath((dir / "o.txt").c_str()), 6);
    EXPECT_FLOAT_EQ(path.pathPoints[0].theta, -3.1f);
    EXPECT_FLOAT_EQ(path.pathPoints[2].phi, 0.785398f);
    EXPECT_FLOAT_EQ(path.pathPoints[4].theta, 2.9f);
}

TEST(BakeMaps, GoodnessAndGradientImagesLoadBackThroughTheViewersLoaders) {
    const int w = 12, h = 6;
    std::vector<double> g(w * h);
    std::vector<float> gx(w * h), gy(w * h);
    for (int k = 0; k < w * h; ++k) {
        g[k] = (k % 17) / 16.0;
        gx[k] = 0.25f * static_cast<float>(k % 5) - 0.5f;
        gy[k] = 1.5f - 0.125f * static_cast<float>(k % 7);
    }
    g[5] = 1.3;  // clamped to 1
    g[6] = -0.2; // clamped to 0
    const std::string pgm = pgmBytes(g, w, h, "test map");
    EXPECT_EQ(pgm.substr(0, 23), "P5\n# test map\n12 6\n255\n");
    ASSERT_EQ(pgm.size(), 23u + w * h);
    const std::string vgf = vgfBytes(gx, gy, w, h);
    ASSERT_EQ(vgf.size(), 15u + 8u * w * h);
    EXPECT_EQ(vgf.substr(0, 15), "VGF\n12 6      \n");

    TempDir dir;
    writeFile(dir / "m.pgm", pgm);
    writeFile(dir / "m.vgf", vgf);
    textureManager& maps = textureManager::_instance;
    maps.LoadPGMImage((dir / "m.pgm").c_str());
    maps.LoadVGFImageB((dir / "m.vgf").c_str());
    ASSERT_EQ(maps.mapWidth, w);
    ASSERT_EQ(maps.mapHeight, h);
    ASSERT_NE(maps.mapData, nullptr);
    for (int k = 0; k < w * h; ++k) {
        const double clamped = std::min(1.0, std::max(0.0, g[k]));
        const unsigned char byte = static_cast<unsigned char>(std::lround(clamped * 255));
        EXPECT_EQ(maps.mapData[3 * k], static_cast<float>(byte) / 255.0f) << k;
        EXPECT_EQ(maps.mapData[3 * k + 1], std::sqrt(gx[k] * gx[k] + gy[k] * gy[k])) << k;
        EXPECT_EQ(maps.mapData[3 * k + 2], std::atan2(-gy[k], gx[k])) << k;
    }
}

TEST(BakeMaps, GradientHeaderMustFitFifteenBytes) {
    // "VGF\n4096 2048" leaves room for the newline; "VGF\n123456 1234" does not.
    const std::vector<float> cells(8 * 4);
    EXPECT_EQ(vgfBytes(cells, cells, 8, 4).size(), 15u + 8u * 32);
    EXPECT_THROW(vgfBytes({}, {}, 123456, 1234), BakeError);
}

TEST(BakeLists, NewNamesAreAppendedOnceAndOldBytesKept) {
    EXPECT_EQ(listNames("  a\tb\n\nc  "), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(extendedList("", {"x", "y"}), "x\ny\n");
    EXPECT_EQ(extendedList("a b", {"b", "c"}), "a b\nc\n");
    // A list has no comments: any run of non-blank characters is a name.
    EXPECT_EQ(extendedList("a\n# b\n", {"a", "b", "#"}), "a\n# b\n");
    EXPECT_EQ(extendedList("a\nb", {"c"}), "a\nb\nc\n");
    EXPECT_EQ(extendedList("a\nb\n", {"b", "a"}), "a\nb\n");
    EXPECT_EQ(extendedList("", {"x", "x"}), "x\n");
}

TEST(BakeTree, CommittedFilesAppearWhole) {
    TempDir dir;
    {
        TreeTransaction t;
        t.stage(dir / "Data/Models/a.off", "A");
        t.stage(dir / "Data/Attributes/a/a_q.pgm", "B");
        // Nothing is in place before the commit.
        EXPECT_FALSE(fs::exists(dir / "Data/Models/a.off"));
        t.commit();
    }
    EXPECT_EQ(readFile(dir / "Data/Models/a.off"), "A");
    EXPECT_EQ(readFile(dir / "Data/Attributes/a/a_q.pgm"), "B");
    EXPECT_EQ(filesUnder(dir.path()).size(), 6u); // 4 folders, 2 files, no temporary file
}

TEST(BakeTree, AnAbandonedSetLeavesTheTreeAsItWas) {
    TempDir dir;
    writeFile(dir / "Data/Models/modelList.txt", "old\n");
    const auto before = filesUnder(dir.path());
    {
        TreeTransaction t;
        t.stage(dir / "Data/Models/modelList.txt", "old\nnew\n");
        t.stage(dir / "Data/Attributes/new/new_q.pgm", "P5");
    }
    EXPECT_EQ(filesUnder(dir.path()), before);
    EXPECT_EQ(readFile(dir / "Data/Models/modelList.txt"), "old\n");
}

TEST(BakeTree, AFailedStageThrowsNamingTheFileAndCleansUp) {
    TempDir dir;
    writeFile(dir / "Data/Orbits", "a file where a folder should be");
    const auto before = filesUnder(dir.path());
    try {
        TreeTransaction t;
        t.stage(dir / "Data/Attributes/m/m_q.pgm", "P5");
        t.stage(dir / "Data/Orbits/m_orbit.txt", "0 1\n");
        FAIL() << "staging into a file did not fail";
    } catch (const BakeError& e) {
        EXPECT_NE(std::string(e.what()).find("Data/Orbits"), std::string::npos) << e.what();
    }
    EXPECT_EQ(filesUnder(dir.path()), before);
}

TEST(BakeMesh, AModelTooLargeForTheViewIsScaledDownAboutItsCentre) {
    // Box from (0, 0, 0) to (40, 20, 10): extent 20, centre (20, 10, 5).
    BakeMesh big = bakeutil::box(20, 10, 5);
    for (size_t i = 0; i < big.pos.size(); i += 3) {
        big.pos[i] += 20;
        big.pos[i + 1] += 10;
        big.pos[i + 2] += 5;
    }
    EXPECT_FLOAT_EQ(big.extent(), 20.0f);
    EXPECT_TRUE(fitIntoView(big));
    EXPECT_FLOAT_EQ(big.extent(), 10.9f);
    // The first corner (0, 0, 0) moves to (-20, -10, -5) * 10.9 / 20.
    EXPECT_FLOAT_EQ(big.pos[0], -10.9f);
    EXPECT_FLOAT_EQ(big.pos[1], -5.45f);
    EXPECT_FLOAT_EQ(big.pos[2], -2.725f);
    BakeMesh small = bakeutil::cube(3.0);
    const BakeMesh before = small;
    EXPECT_FALSE(fitIntoView(small));
    EXPECT_EQ(small.pos, before.pos);
}

TEST(BakeMesh, TurningUpToZKeepsFacesOutward) {
    // A triangle facing +y, counter-clockwise seen from +y: (0,0,0), (0,0,1), (1,0,0).
    const std::vector<float> facingY = {0, 0, 0, 0, 0, 1, 1, 0, 0};
    auto normalOf = [](const BakeMesh& m) {
        const vec a(m.pos[0], m.pos[1], m.pos[2]), b(m.pos[3], m.pos[4], m.pos[5]),
            c(m.pos[6], m.pos[7], m.pos[8]);
        return cross(b - a, c - a).unit();
    };
    struct Case {
        const char* up;
        vec normalAfter;
    };
    // Turning "y" up sends +y to +z; turning "-y" up sends -y to +z (so +y to -z); "x" and
    // "-x" keep y where it is; "-z" sends +y to -y; "z" changes nothing.
    for (const Case& c :
         {Case{"y", vec(0, 0, 1)}, Case{"-y", vec(0, 0, -1)}, Case{"x", vec(0, 1, 0)},
          Case{"-x", vec(0, 1, 0)}, Case{"z", vec(0, 1, 0)}, Case{"-z", vec(0, -1, 0)}}) {
        BakeMesh m;
        m.pos = facingY;
        m.tris = {0, 1, 2};
        turnUpToZ(m, c.up);
        const vec n = normalOf(m);
        EXPECT_NEAR(n.x, c.normalAfter.x, 1e-6) << c.up;
        EXPECT_NEAR(n.y, c.normalAfter.y, 1e-6) << c.up;
        EXPECT_NEAR(n.z, c.normalAfter.z, 1e-6) << c.up;
    }
    // "x" up: the point (1, 0, 0) ends on +z, and (0, 0, 1) on -x.
    BakeMesh m;
    m.pos = {1, 0, 0, 0, 0, 1};
    turnUpToZ(m, "x");
    EXPECT_EQ(m.pos, (std::vector<float>{0, 0, 1, -1, 0, 0}));
    EXPECT_TRUE(isUpAxis("-z"));
    EXPECT_FALSE(isUpAxis("up"));
}

TEST(BakeMesh, ModelNamesComeFromTheFileName) {
    EXPECT_EQ(modelNameOf("/a/b.c/bunny.00.off"), "bunny");
    EXPECT_EQ(modelNameOf("cow.OBJ"), "cow");
    EXPECT_EQ(modelNameOf("dir\\elk.ply"), "elk");
    EXPECT_NO_THROW(checkModelName("Bunny_2-b+", "x"));
    EXPECT_THROW(checkModelName(std::string(50, 'a'), "x"), BakeError);
    EXPECT_NO_THROW(checkModelName(std::string(49, 'a'), "x"));
    EXPECT_THROW(checkModelName("a/b", "x"), BakeError);
}

TEST(BakeProgress, BarShowsTheShareDone) {
    EXPECT_EQ(ProgressBar::render("cow: rendering views", 0.5, 10),
              "[#####.....]  50% cow: rendering views");
    EXPECT_EQ(ProgressBar::render("x", 1.7, 4), "[####] 100% x");
    EXPECT_EQ(ProgressBar::render("x", -1, 4), "[....]   0% x");
}
