// Loading models the viewer's way: readModel's dispatch, scaling, naming and messages; the
// Geometry's own loads from the data tree; allocation failures; and malformed and unusual model
// files, one fault per file. A refused file gives its one line and status -1 and leaves the mesh
// empty; read by readModel in a process of its own it ends with exit status 255, never a signal.
// The sound files load with counts worked out by hand, and every prefix of them loads or is
// refused in one line.
#include "Geometry.h"
#include "RenderingSetting.h"
#include "file.h"
#include "geom_util.h"

#include <malloc.h>
#include <set>
#include <sys/stat.h>
#include <tuple>

using namespace geomtest;
using testsupport::ProcessResult;

namespace {

// Runs viewer code with its end of the process trapped and both streams captured. A core step
// called directly that stops at a problem counts as the viewer's end with the line it prints.
Outcome viewerRun(const std::function<void()>& f) {
    Outcome o;
    const ReaderExitTrap trap;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    try {
        try {
            f();
        } catch (const MeshAllocError& error) {
            endOnFault(allocationFailure(error));
        }
    } catch (const ReaderEnded& e) {
        o.ended = true;
        o.status = e.status;
    }
    o.out = testing::internal::GetCapturedStdout();
    o.err = testing::internal::GetCapturedStderr();
    return o;
}

Outcome readFile(Geometry& g, const testsupport::TempDir& dir, const std::string& name,
                 const std::string& text) {
    testsupport::writeFile(dir / name, text);
    return viewerRun([&] { g.readModel(&g.model, (dir / name).c_str()); });
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

const char* const childVariable = "GEOM_CHILD_MODEL";

// Runs readModel on path in a child: this test binary again, running only ReaderChild.
ProcessResult readInChild(const std::string& path) {
    return testsupport::runProcess({"/proc/self/exe", "--gtest_filter=ReaderChild.ReadModel"},
                                   std::filesystem::current_path(),
                                   {std::string(childVariable) + "=" + path});
}

// File, then the rest of its line after "read_model(): <path>:".
const std::pair<const char*, const char*> refused[] = {
    {"off/empty.off", "1: no OFF header: the file holds no words"},
    {"off/only_keyword.off", "2: the header lacks its vertex count"},
    {"off/header_missing_edge_count.off", "3: the header lacks its edge count"},
    {"off/negative_vertex_count.off", "2: the header announces -1 vertex records"},
    {"off/negative_face_count.off", "2: the header announces -2 face records"},
    {"off/oversized_vertex_count.off",
     "2: the header announces 2147483647 vertices, more than the 27 bytes after it can hold"},
    {"off/oversized_face_count.off", "6: the header announces 2000000000 faces, more than the 8 "
                                     "bytes after the vertices can hold"},
    {"off/ends_inside_vertex_list.off", "7: the file ends inside the vertex list (vertex 3 of 4)"},
    {"off/vertex_number_with_garbage.off", "4: vertex 1: \"0z\" is not a number"},
    {"off/face_index_too_large.off", "6: face 0: vertex index 3 is outside 0..2"},
    {"off/face_index_negative.off", "6: face 0: vertex index -1 is outside 0..2"},
    {"off/face_index_overflow.off", "6: face 0: \"4294967298\" is not a vertex index"},
    {"off/face_two_corners.off", "6: face 0 has 2 corners; a face needs three"},
    {"off/face_corner_count_huge.off",
     "6: face 0 announces 2000000000 corners, more than the file holds"},
    {"off/face_count_not_a_number.off", "6: face 0: \"x\" is not a corner count"},
    {"off/ends_inside_face.off", "7: the file ends inside face 1"},
    {"off/count_out_of_range.off",
     "2: the header's vertex count 3000000000 is out of range (at most 2147483647)"},
    {"off/noff_without_normals.off",
     "3: the header says NOFF, so every vertex needs a position and a normal (six numbers), but "
     "the first vertex line holds three"},
    {"off/nul_inside_number.off", "4: vertex 1: \"1\\x00x\" is not a number"},
    {"off/long_token.off", "5: vertex 2: \"yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy\" is not a "
                           "number"},
    {"smf/vertex_without_three_numbers.smf", "2: vertex 1: a vertex line needs three numbers"},
    {"smf/vertex_line_with_a_word.smf", "2: vertex 1: a vertex line needs three numbers"},
    {"smf/face_index_zero.smf", "4: vertex number 0 is outside 1..3"},
    {"smf/face_index_too_large.smf", "4: vertex number 4 is outside 1..3"},
    {"smf/face_two_indices.smf", "4: a face line needs three vertex numbers"},
    {"smf/face_index_not_a_number.smf", "4: \"three\" is not a vertex number"},
    {"obj/vertex_without_three_numbers.obj", "2: a vertex line without its three numbers"},
    {"obj/normal_without_three_numbers.obj", "1: a normal line without its three numbers"},
    {"obj/texture_without_numbers.obj", "1: a texture line without its numbers"},
    {"obj/face_two_corners.obj", "4: a face with fewer than three corners"},
    {"obj/face_index_too_large.obj", "4: a face corner refers to position 4, outside 1..3"},
    {"obj/negative_index_before_start.obj", "3: a face corner refers to position -3, outside 1..3"},
    {"obj/normal_index_too_large.obj", "5: a face corner refers to normal 2, outside 1..1"},
    {"obj/texture_index_without_coordinates.obj",
     "5: a face corner refers to texture coordinate 1, outside 1..0"},
    {"obj/face_corner_not_an_index.obj", "4: a face whose first corner is not a vertex index"},
};

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
    // So does PLY: the cube of corners -1 and 1 grows to -9.9 and 9.9, its quads fanned in two.
    const std::string ply = testsupport::corpusPath("ply/cube_of_quads.ply");
    o = viewerRun([&] { g.readModel(&g.model, ply.c_str()); });
    EXPECT_EQ(o.out, "ProgName : cube_of_quads\n# Read 'cube_of_quads' in 'PLY' format\ntype 1\n"
                     "# 8 vertices, 12 triangles, extent: 1.000000\n");
    EXPECT_EQ(positions(g.model)[0], (std::array<float, 3>{-9.9f, -9.9f, -9.9f}));
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
    const Outcome o = viewerRun([&] { g.load(); });
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
            const Outcome o = viewerRun([&] {
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

// Not a test of its own: the body that the corpus tests run in a child process.
TEST(ReaderChild, ReadModel) {
    const char* path = std::getenv(childVariable);
    if (!path) GTEST_SKIP() << "runs only as the child of the corpus tests";
    Geometry g;
    g.readModel(&g.model, path);
}

TEST(ModelCorpus, EachFaultGivesItsLineAndStatus) {
    for (const auto& [file, message] : refused) {
        const std::string path = testsupport::corpusPath(file);
        const std::string line = "read_model(): " + path + ":" + message + "\n";
        Geometry g;
        const Outcome o = viewerRun([&] { g.readModel(&g.model, path.c_str()); });
        EXPECT_TRUE(o.ended && o.status == -1) << file;
        EXPECT_EQ(o.err, line);
        EXPECT_TRUE(g.model.verts == nullptr && g.model.ntris == 0) << file;
        const ProcessResult p = readInChild(path);
        EXPECT_TRUE(p.signal == 0 && p.exitStatus == 255) << file;
        EXPECT_EQ(p.err, line);
    }
}

TEST(ModelCorpus, MissingFilesFifosDevicesFoldersAndUnknownFormatsEndTheProcess) {
    // A FIFO, a device or a folder would block in open() or read without end; each gets the
    // reader's can't-open line, as a missing file does. A material file that is one of them is
    // reported and the model read without it.
    testsupport::TempDir tmp;
    const std::string open = "read_model(): can't open input file ";
    for (const char* ext : {".off", ".smf", ".ply", ".obj"}) {
        const std::string fifo = (tmp / ("fifo" + std::string(ext))).string();
        const std::string zero = (tmp / ("zero" + std::string(ext))).string();
        const std::string folder = (tmp / ("folder" + std::string(ext))).string();
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        std::filesystem::create_symlink("/dev/zero", zero);
        std::filesystem::create_directory(folder);
        for (const std::string& path : {"missing" + std::string(ext), fifo, zero, folder}) {
            const ProcessResult p = readInChild(path);
            EXPECT_TRUE(p.signal == 0 && p.exitStatus == 255) << path;
            EXPECT_EQ(p.err, ext == std::string(".obj")
                                 ? "glmReadOBJ() failed: can't open data file \"" + path + "\".\n"
                                 : open + path + "\n");
        }
    }
    const ProcessResult stl = readInChild(testsupport::corpusPath("empty.stl"));
    EXPECT_TRUE(stl.signal == 0 && stl.exitStatus == 255 && stl.err.empty()) << stl.err;
    EXPECT_TRUE(stl.out.ends_with("# Read 'empty' in 'STL' format\n# Unknown file format: STL\n"));
    ASSERT_EQ(mkfifo((tmp / "m.mtl").c_str(), 0600), 0);
    testsupport::writeFile(tmp / "m.obj", "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    const ProcessResult p = readInChild((tmp / "m.obj").string());
    EXPECT_EQ(p.exitStatus, 0) << p.err;
    EXPECT_EQ(p.err, "_glmReadMTL() failed: can't open material file \"" +
                         (tmp / "m.mtl").string() + "\".\n");
}
