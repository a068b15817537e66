// Malformed and unusual model files, one fault per file. A refused file gives its one line and
// status -1 and leaves the mesh empty; read by readModel in a process of its own it ends with
// exit status 255, never a signal. The sound files load with counts worked out by hand, and every
// prefix of them loads or is refused in one line.
#include "geom_util.h"

#include <cstring>
#include <sys/stat.h>
#include <tuple>

using namespace geomtest;
using testsupport::ProcessResult;

namespace {

const char* const childVariable = "GEOM_CHILD_MODEL";

std::string corpusPath(const std::string& rel) {
    return std::string(ORVALIS_SOURCE_DIR) + "/tests/corpus/" + rel;
}

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

// File, vertices, triangles.
const std::tuple<const char*, int, int> loaded[] = {
    {"off/tabs_crlf_comments.off", 4, 2},    {"off/fewer_faces_than_announced.off", 4, 2},
    {"off/polygons_with_colours.off", 6, 4}, {"off/vertex_colours.off", 3, 1},
    {"off/no_vertices.off", 0, 0},           {"smf/quad_crlf.smf", 4, 2},
    {"obj/unknown_v_token.obj", 3, 1},       {"obj/long_words.obj", 4, 1},
    {"obj/negative_indices_quad.obj", 4, 2},
};

} // namespace

// Not a test of its own: the body that the corpus tests run in a child process.
TEST(ReaderChild, ReadModel) {
    const char* path = std::getenv(childVariable);
    if (!path) GTEST_SKIP() << "runs only as the child of the corpus tests";
    Geometry g;
    g.readModel(&g.model, path);
}

TEST(ModelCorpus, EachFaultGivesItsLineAndStatus) {
    for (const auto& [file, message] : refused) {
        const std::string path = corpusPath(file);
        const std::string line = "read_model(): " + path + ":" + message + "\n";
        Geometry g;
        const Outcome o = trapped([&] { g.readModel(&g.model, path.c_str()); });
        EXPECT_TRUE(o.ended && o.status == -1) << file;
        EXPECT_EQ(o.err, line);
        EXPECT_TRUE(g.model.verts == nullptr && g.model.ntris == 0) << file;
        const ProcessResult p = readInChild(path);
        EXPECT_TRUE(p.signal == 0 && p.exitStatus == 255) << file;
        EXPECT_EQ(p.err, line);
    }
}

TEST(ModelCorpus, MissingFilesFoldersAndUnknownFormatsEndTheProcess) {
    testsupport::TempDir tmp;
    std::filesystem::create_directory(tmp / "folder.off");
    const std::string open = "read_model(): can't open input file ";
    const std::string folder = (tmp / "folder.off").string(), stl = corpusPath("empty.stl");
    const std::array<std::string, 3> cases[] = {
        // path, standard error, part of standard output
        {"missing.off", open + "missing.off\n", ""},
        {"missing.smf", open + "missing.smf\n", ""},
        {folder, open + folder + "\n", ""},
        {"missing.obj", "glmReadOBJ() failed: can't open data file \"missing.obj\".\n", ""},
        {stl, "", "# Read 'empty' in 'STL' format\n# Unknown file format: STL\n"}};
    for (const auto& [path, err, out] : cases) {
        const ProcessResult p = readInChild(path);
        EXPECT_TRUE(p.signal == 0 && p.exitStatus == 255) << path;
        EXPECT_EQ(p.err, err);
        EXPECT_NE(p.out.find(out), std::string::npos) << p.out;
    }
}

TEST(ModelCorpus, FifosDevicesAndFoldersAreRefusedNotRead) {
    // Each would block in open() or read without end; each gets the reader's can't-open line. A
    // material file that is one of them is reported and the model read without it.
    testsupport::TempDir tmp;
    const std::string open = "read_model(): can't open input file ";
    for (const char* ext : {".off", ".smf", ".ply", ".obj"}) {
        const std::string fifo = (tmp / ("fifo" + std::string(ext))).string();
        const std::string zero = (tmp / ("zero" + std::string(ext))).string();
        const std::string folder = (tmp / ("folder" + std::string(ext))).string();
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        std::filesystem::create_symlink("/dev/zero", zero);
        std::filesystem::create_directory(folder);
        for (const std::string& path : {fifo, zero, folder}) {
            const ProcessResult p = readInChild(path);
            EXPECT_TRUE(p.signal == 0 && p.exitStatus == 255) << path;
            EXPECT_EQ(p.err, ext == std::string(".obj")
                                 ? "glmReadOBJ() failed: can't open data file \"" + path + "\".\n"
                                 : open + path + "\n");
        }
    }
    ASSERT_EQ(mkfifo((tmp / "m.mtl").c_str(), 0600), 0);
    testsupport::writeFile(tmp / "m.obj", "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    const ProcessResult p = readInChild((tmp / "m.obj").string());
    EXPECT_EQ(p.exitStatus, 0) << p.err;
    EXPECT_EQ(p.err, "_glmReadMTL() failed: can't open material file \"" +
                         (tmp / "m.mtl").string() + "\".\n");
}

TEST(ModelCorpus, SoundFilesLoadAndEveryPrefixLoadsOrIsRefused) {
    // The sound files and an OBJ with a group, a material and every corner part. A prefix that
    // loads holds the first triangles of the whole file, pointers into its own arrays, and (OFF)
    // every vertex its header announces; one that does not gets one line. Files over 4 KB (the
    // long-word file) are cut near each line end and every 997 bytes instead of at every byte.
    std::vector<std::tuple<std::string, std::string, int, int>> files = {
        {"cut.obj", "g box\nusemtl x\n" + vfText(cubeQuads(), true, true, true), 8, 12}};
    for (const auto& [file, nverts, ntris] : loaded)
        files.emplace_back(std::string("cut") + std::strrchr(file, '.'),
                           testsupport::readFile(corpusPath(file)), nverts, ntris);
    for (const auto& [name, bytes, nverts, ntris] : files) {
        Geometry g;
        readBytes(g, name, bytes);
        const Tris full = corners(g.model);
        ASSERT_EQ(std::make_pair(g.model.nverts, int(full.size())), std::make_pair(nverts, ntris))
            << name << "\n"
            << bytes.substr(0, 80);
        for (size_t n = 0; n < bytes.size(); ++n) {
            const size_t eol = bytes.find('\n', n > 2 ? n - 2 : 0);
            if (bytes.size() > 4096 && n % 997 != 0 && !(eol <= n + 2)) continue;
            const Outcome o = readBytes(g, name, bytes.substr(0, n));
            if (o.ended) {
                EXPECT_TRUE(o.status == -1 && o.err.rfind("read_model(): " + name + ":", 0) == 0)
                    << o.err;
                EXPECT_EQ(o.err.find('\n'), o.err.size() - 1) << o.err;
                continue;
            }
            const Tris got = corners(g.model);
            ASSERT_LE(got.size(), full.size()) << n;
            EXPECT_TRUE(std::equal(got.begin(), got.end(), full.begin())) << name << " " << n;
            EXPECT_TRUE(name != "cut.off" || g.model.nverts == nverts) << n;
            for (int i = 0; i < g.model.nverts; ++i)
                ASSERT_EQ(g.model.verts[i].index, i);
            for (int t = 0; t < g.model.ntris; ++t)
                ASSERT_EQ(g.model.tris[t].index, t);
            for (const auto& c : got)
                for (int i : c)
                    ASSERT_TRUE(i >= 0 && i < g.model.nverts) << n;
            computeNormals(&g.model);
        }
    }
}
