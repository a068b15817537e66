// Model loading: readModel's dispatch, scaling, numbering, naming and messages; the Geometry's own
// loads from the data tree; one mesh through every text format; allocation failures.
#include "geom_util.h"

#include "RenderingSetting.h"

#include <malloc.h>
#include <set>

using namespace geomtest;

namespace {

Outcome readFile(Geometry& g, const testsupport::TempDir& dir, const std::string& name,
                 const std::string& text) {
    testsupport::writeFile(dir / name, text);
    return trapped([&] { g.readModel(&g.model, (dir / name).c_str()); });
}

// The unit cube moved and scaled to corners at -half and +half.
std::string cubeOff(double half) {
    Shape s = cubeQuads();
    for (auto& p : s.v)
        for (double& c : p)
            c = c * 2 * half - half;
    return offText(s);
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(ReadModel, DispatchScalingNamingAndMessages) {
    testsupport::TempDir dir;
    Geometry g;
    Outcome o = readFile(g, dir, "cube.off", cubeOff(1));
    EXPECT_EQ(o.out, "ProgName : cube\n# Read 'cube' in 'OFF' format\n"
                     "      Read 12 Triangles;  8 Vertices\n      the range of volume is:\n"
                     "# 8 vertices, 12 triangles, extent: 1.000000\n");
    for (const auto& p : positions(g.model))
        EXPECT_EQ(std::fabs(p[0]) + std::fabs(p[1]) + std::fabs(p[2]), 3 * 10.9f);
    EXPECT_EQ(bounds(g.model), std::vector<float>({0, 0, 0, 1}));
    EXPECT_STREQ(g.model.name, "cube");
    // At or above the limit the coordinates stay; an empty model ends centred with extent 1.
    EXPECT_TRUE(has(readFile(g, dir, "big.off", cubeOff(12)).out, "12 triangles, extent: 12.0000"));
    EXPECT_EQ(g.model.verts[0].pos[0], -12.0f);
    EXPECT_TRUE(has(readFile(g, dir, "edge.off", "OFF 2 0 0 -10.9 0 0 10.9 0 0").out, "10.900000"));
    EXPECT_TRUE(has(readFile(g, dir, "none.off", "OFF 0 0 0").out, "0 triangles, extent: 1.0000"));
    EXPECT_EQ(bounds(g.model), std::vector<float>({0, 0, 0, 1}));
    // Extensions in any case; an unknown one ends the process after the previous model is gone.
    EXPECT_TRUE(has(readFile(g, dir, "a.oFF", cubeOff(1)).out, "# Read 'a' in 'OFF' format\n"));
    o = readFile(g, dir, "c.stl", "solid\n");
    EXPECT_TRUE(o.ended && o.status == -1);
    EXPECT_EQ(o.out, "ProgName : c\n# Read 'c' in 'STL' format\n# Unknown file format: STL\n");
    EXPECT_EQ(g.model.verts, nullptr);
    o = readFile(g, dir, "noext", cubeOff(1));
    EXPECT_TRUE(o.ended && has(o.out, "# Unknown file format: \n"));
    // A path component holds at most 255 bytes, so every base name fits the name's 256.
    readFile(g, dir, std::string(251, 'q') + ".off", cubeOff(1));
    EXPECT_EQ(std::string(g.model.name), std::string(251, 'q'));
    // SMF and OBJ use 9.9: half sides 0.5, 0.5, 0, so x and y become (p - 0.5) / 0.5 * 9.9.
    for (const char* name : {"tri.smf", "tri.obj"}) {
        o = readFile(g, dir, name, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
        EXPECT_EQ(positions(g.model),
                  Points({{-9.9f, -9.9f, 0}, {9.9f, -9.9f, 0}, {-9.9f, 9.9f, 0}}));
        EXPECT_TRUE(has(o.out, "# 3 vertices, 1 triangles, extent: 1.000000\n")) << o.out;
    }
}

TEST(NormalizeModel, WorkedByHandEqualPositionsAndInfiniteExtent) {
    // Box x 0..3, y 0..1, z 0..0.5: mid (1.5, 0.5, 0.25), half sides 1.5, 0.5, 0.25: e = 1.5.
    // Each coordinate becomes (p - mid) / e * size in double precision, rounded once to float.
    Geometry g;
    buildMesh(&g.model, {{{0, 0, 0}, {3, 1, 0.5}, {0.2, 0.3, 0.4}}, {{0, 1, 2}}});
    g.normalizeModel(&g.model, 10.9f);
    auto f = [](double p, double mid) {
        return static_cast<float>((double(float(p)) - mid) / 1.5 * double(10.9f));
    };
    EXPECT_EQ(positions(g.model), Points({{-10.9f, f(0, .5), f(0, .25)},
                                          {10.9f, f(1, .5), f(.5, .25)},
                                          {f(.2, 1.5), f(.3, .5), f(.4, .25)}}));
    // All positions equal: nothing to scale, and no division by the zero extent.
    testsupport::TempDir dir;
    readFile(g, dir, "point.off", "OFF 3 1 0 2 3 4 2 3 4 2 3 4 3 0 1 2");
    EXPECT_EQ(positions(g.model), Points(3, {0, 0, 0}));
    EXPECT_EQ(g.model.extent, 1.0f);
    // An infinite extent is never below the limit: the coordinates stay as read, and a NaN
    // coordinate does not enter the bounds.
    const Outcome o = readFile(g, dir, "inf.off", "OFF 4 1 0 inf 0 0 2 1 0 0 0 1 nan 5 5 3 0 1 2");
    EXPECT_TRUE(std::isinf(g.model.extent) && has(o.out, "extent: inf\n")) << o.out;
    EXPECT_EQ(g.model.verts[1].pos[0], 2.0f);
}

TEST(GeometryLoads, SphereSelectedModelAndModelChangesThatDoNotPileUpMemory) {
    // The data tree's unit sphere (its box runs from -1 to 1 on every axis) scales by 9.9 about
    // the origin, keeps one vertex per position (one normal each: an icosahedron subdivided
    // three times has 10 * 4^3 + 2) and gets outward normals. The model is the selected one.
    Geometry g;
    const int saved = RenderingSetting::_instance.selectedModel;
    RenderingSetting::_instance.selectedModel = 1; // box, corners at +-1, +-0.6, +-0.4
    const Outcome o = trapped([&] { g.load(); });
    RenderingSetting::_instance.selectedModel = saved;
    EXPECT_TRUE(has(o.out, "# Read 'sphere' in 'OBJ' format\n") &&
                has(o.out, "../Data/Models/box.off\n"))
        << o.out << o.err;
    ASSERT_EQ(g.sphere.nverts, 10 * 64 + 2);
    for (int i = 0; i < g.sphere.nverts; ++i) {
        const float* p = g.sphere.verts[i].pos;
        const float* n = g.sphere.verts[i].normal;
        EXPECT_NEAR(std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]), 9.9, 1e-5 * 9.9) << i;
        EXPECT_GT((n[0] * p[0] + n[1] * p[1] + n[2] * p[2]) / 9.9, 0.99) << i;
    }
    EXPECT_STREQ(g.model.name, "box");
    EXPECT_EQ(g.model.verts[1].pos[0], 10.9f);
    EXPECT_TRUE(g.model.verts[0].tris && g.sphereRadius == 9.9f);
    // The torus takes some 300 kB a load: thirty kept loads would hold some 9 MB more.
    auto held = [] { return mallinfo2().uordblks + mallinfo2().hblkhd; };
    testing::internal::CaptureStdout();
    g.loadModel();
    [[maybe_unused]] const size_t before = held();
    for (int k = 0; k < 30; ++k) {
        g.loadModel();
        computeEdges(&g.model);
    }
    [[maybe_unused]] const size_t after = held();
    testing::internal::GetCapturedStdout();
#if !defined(__SANITIZE_ADDRESS__) // the sanitizer keeps its own books; LeakSanitizer checks
    EXPECT_LT(after, before + 200000) << before << " -> " << after;
#endif
}

TEST(RoundTrips, OneMeshInEveryTextFormat) {
    // An irregular mesh as OFF (plain, coloured, tabs), SMF and OBJ (positions, with vn, with vt,
    // with both), with LF, CR LF or CR line ends, reads to the same positions and triangles.
    Shape s;
    for (int i = 0; i < 40; ++i)
        s.v.push_back({std::sin(0.37 * i) * 1.7 + 0.013 * i, std::cos(0.11 * i * i) * 0.9 - 0.2,
                       0.05 * i - 1.3});
    for (int i = 0; i + 2 < 40; ++i)
        s.f.push_back({i, (i * 7 + 3) % 40, (i * 13 + 5) % 40});
    auto cr = [](std::string t) {
        std::replace(t.begin(), t.end(), '\n', '\r');
        return t;
    };
    Points expected;
    for (const auto& p : s.v)
        expected.push_back({float(p[0]), float(p[1]), float(p[2])});
    for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
             {"plain.off", offText(s)},
             {"colours.off", offText(s, true, " ", "\r")},
             {"tabs.off", offText(s, false, "\t", "\r\n")},
             {"cr.smf", cr(vfText(s))},
             {"cr.obj", cr(vfText(s, true, true, true))},
             {"mesh.smf", vfText(s)},
             {"plain.obj", vfText(s, true)},
             {"vn.obj", vfText(s, true, true)},
             {"vt.obj", vfText(s, true, false, true)},
             {"both.obj", vfText(s, true, true, true)}}) {
        Geometry g;
        readBytes(g, name, text);
        EXPECT_EQ(positions(g.model), expected) << name;
        EXPECT_EQ(corners(g.model), triangles(s)) << name;
    }
}

TEST(AllocationFailures, EveryRequestOfEveryReaderFailsInOneLine) {
    // Fail the first request, then the second, and so on until the read goes through: each
    // failure ends with status 0 after its one line, leaves the mesh empty if the reader failed,
    // and leaks nothing (LeakSanitizer watches). The OFF quads outgrow the first triangle array.
    testsupport::TempDir dir;
    const std::string mb = "Memory allocation error for \"";
    const std::vector<std::string> files[] = {
        {"quads.off", offText(cubeQuads()), "mesh->tris\" 0.000", "mesh->tris\" 0.001"},
        {"mesh.smf", vfText(cubeQuads()), "mesh->tris\" 0.001"},
        {"mesh.obj",
         "g part\nusemtl x\n" + vfText(cubeQuads(), true, true) + "vn 1 0 0\nf 1//9 2//9 3//9\n",
         "mesh->tris\" 0.001", "normals\" 0.000"}};
    for (const auto& file : files) {
        testsupport::writeFile(dir / file[0], file[1]);
        std::set<std::string> lines;
        bool loaded = false;
        for (long n = 0; n < 100 && !loaded; ++n) {
            Geometry g;
            const Outcome o = trapped([&] {
                setMeshAllocFailAfter(n);
                g.readModel(&g.model, (dir / file[0]).c_str());
                computeNormals(&g.model);
            });
            setMeshAllocFailAfter(-1);
            loaded = !o.ended;
            EXPECT_TRUE(!loaded || g.model.ntris == (file[0] == "mesh.obj" ? 13 : 12));
            if (loaded) continue;
            EXPECT_EQ(o.status, 0) << file[0] << " " << n;
            const size_t at = o.out.find(mb);
            ASSERT_NE(at, std::string::npos) << file[0] << " " << n << "\n" << o.out;
            EXPECT_EQ(o.out.find('\n', at), o.out.size() - 1) << o.out;
            lines.insert(o.out.substr(at + mb.size(), o.out.size() - at - mb.size() - 4));
            EXPECT_TRUE(o.out.find(mb + "mesh->") != at || has(o.out, "mesh->name") ||
                        !g.model.verts)
                << o.out;
        }
        EXPECT_TRUE(loaded) << file[0];
        for (const char* line :
             {"mesh->verts\" 0.001", "mesh->name\" 0.000", "surf->verts[i].tris\" 0.000"})
            EXPECT_EQ(lines.count(line), 1u) << file[0] << " " << line;
        for (size_t k = 2; k < file.size(); ++k)
            EXPECT_EQ(lines.count(file[k]), 1u) << file[0] << " " << file[k];
    }
}
