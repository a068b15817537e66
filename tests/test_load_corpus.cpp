// Malformed and unusual model files, one fault per file, each read by readModel in a process of
// its own: a refused file gives its one line and exit status 255 (-1), never a signal; the
// others load with the counts worked out by hand. Every prefix of the files that load is also
// read in-process.
#include "geom_util.h"

#include <cstdlib>

using namespace geomtest;
using testsupport::ProcessResult;
using testsupport::runProcess;

namespace {

const char* const childVariable = "GEOM_CHILD_MODEL";

std::string corpusPath(const std::string& rel) {
    return std::string(ORVALIS_SOURCE_DIR) + "/tests/corpus/" + rel;
}

// Runs readModel on path in a child: this test binary again, running only ReaderChild.
ProcessResult readInChild(const std::string& path) {
    return runProcess({"/proc/self/exe", "--gtest_filter=ReaderChild.ReadModel"},
                      std::filesystem::current_path(), {std::string(childVariable) + "=" + path});
}

struct Refused {
    const char* file;
    const char* message; // after "read_model(): <path>:"
};

struct Loaded {
    const char* file;
    int nverts;
    int ntris;
};

const Refused refused[] = {
    {"off/empty.off", "1: no OFF header: the file holds no words"},
    {"off/only_keyword.off", "2: the header lacks its vertex count"},
    {"off/header_missing_face_count.off", "3: the header lacks its face count"},
    {"off/header_count_not_a_number.off", "2: the header lacks its vertex count"},
    {"off/negative_vertex_count.off", "2: the header announces -1 vertex records"},
    {"off/negative_face_count.off", "2: the header announces -2 face records"},
    {"off/oversized_vertex_count.off",
     "2: the header announces 2147483647 vertices, more than the 27 bytes after it can hold"},
    {"off/oversized_face_count.off", "6: the header announces 2000000000 faces, more than the 8 "
                                     "bytes after the vertices can hold"},
    {"off/ends_inside_vertex_list.off", "7: the file ends inside the vertex list (vertex 3 of 4)"},
    {"off/vertex_without_numbers.off", "4: vertex 1: \"x\" is not a number"},
    {"off/vertex_number_with_garbage.off", "4: vertex 1: \"0z\" is not a number"},
    {"off/face_index_too_large.off", "6: face 0: vertex index 3 is outside 0..2"},
    {"off/face_index_negative.off", "6: face 0: vertex index -1 is outside 0..2"},
    {"off/face_index_overflow.off", "6: face 0: \"4294967298\" is not a vertex index"},
    {"off/face_two_corners.off", "6: face 0 has 2 corners; a face needs three"},
    {"off/face_corner_count_huge.off",
     "6: face 0 announces 2000000000 corners, more than the file holds"},
    {"off/face_count_not_a_number.off", "6: face 0: \"x\" is not a corner count"},
    {"off/ends_inside_face.off", "7: the file ends inside face 1"},
    {"off/long_token.off", "5: vertex 2: \"yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy\" is not a "
                           "number"},
    {"smf/vertex_without_three_numbers.smf", "2: vertex 1: a vertex line needs three numbers"},
    {"smf/face_index_zero.smf", "4: vertex number 0 is outside 1..3"},
    {"smf/face_index_too_large.smf", "4: vertex number 4 is outside 1..3"},
    {"smf/face_two_indices.smf", "4: a face line needs three vertex numbers"},
    {"smf/face_index_not_a_number.smf", "4: \"three\" is not a vertex number"},
    {"smf/long_line_index_too_large.smf", "4: vertex number 4 is outside 1..3"},
    {"obj/vertex_without_three_numbers.obj", "2: a vertex line without its three numbers"},
    {"obj/face_two_corners.obj", "4: a face with fewer than three corners"},
    {"obj/face_index_too_large.obj", "4: a face corner refers to position 4, outside 1..3"},
    {"obj/face_index_zero.obj", "4: a face corner refers to position 0, outside 1..3"},
    {"obj/negative_index_before_start.obj", "3: a face corner refers to position -3, outside 1..3"},
    {"obj/normal_index_too_large.obj", "5: a face corner refers to normal 2, outside 1..1"},
    {"obj/face_corner_not_an_index.obj", "4: a face whose first corner is not a vertex index"},
};

const Loaded loaded[] = {
    {"off/tabs_crlf_comments.off", 4, 2},    {"off/fewer_faces_than_announced.off", 4, 2},
    {"off/polygons_with_colours.off", 6, 4}, {"off/vertex_colours.off", 3, 1},
    {"off/no_vertices.off", 0, 0},           {"smf/quad_crlf.smf", 4, 2},
    {"obj/unknown_v_token.obj", 3, 1},       {"obj/long_words.obj", 3, 1},
    {"obj/negative_indices_quad.obj", 4, 2},
};

} // namespace

// Not a test of its own: the body that the corpus tests run in a child process.
TEST(ReaderChild, ReadModel) {
    const char* path = std::getenv(childVariable);
    if (!path) GTEST_SKIP() << "runs only as the child of the corpus tests";
    Geometry g;
    g.readModel(&g.model, path);
    computeNormals(&g.model);
    std::printf("child loaded %d %d\n", g.model.nverts, g.model.ntris);
}

TEST(ModelCorpus, EachFaultGivesItsLineAndStatus) {
    for (const Refused& r : refused) {
        const std::string path = corpusPath(r.file);
        ASSERT_TRUE(std::filesystem::exists(path)) << path;
        const ProcessResult p = readInChild(path);
        EXPECT_EQ(p.signal, 0) << r.file;
        EXPECT_EQ(p.exitStatus, 255) << r.file;
        EXPECT_EQ(p.err, "read_model(): " + path + ":" + r.message + "\n") << r.file;
        EXPECT_EQ(p.out.find("child loaded"), std::string::npos) << r.file;
    }
}

TEST(ModelCorpus, UnusualButSoundFilesLoad) {
    for (const Loaded& l : loaded) {
        const std::string path = corpusPath(l.file);
        const ProcessResult p = readInChild(path);
        EXPECT_EQ(p.signal, 0) << l.file;
        EXPECT_EQ(p.exitStatus, 0) << l.file << "\n" << p.err;
        const std::string counts =
            "child loaded " + std::to_string(l.nverts) + " " + std::to_string(l.ntris) + "\n";
        EXPECT_NE(p.out.find(counts), std::string::npos) << l.file << "\n" << p.out;
    }
    const ProcessResult v = readInChild(corpusPath("obj/unknown_v_token.obj"));
    EXPECT_NE(v.out.find("_glmFirstPass(): Unknown token \"vp\".\n"), std::string::npos);
}

TEST(ModelCorpus, MissingFilesAndUnknownFormats) {
    for (const char* ext : {"off", "smf"}) {
        const std::string path = std::string("../Data/Models/missing.") + ext;
        const ProcessResult p = readInChild(path);
        EXPECT_EQ(p.signal, 0);
        EXPECT_EQ(p.exitStatus, 255);
        EXPECT_EQ(p.err, "read_model(): can't open input file " + path + "\n");
    }
    const ProcessResult obj = readInChild("../Data/Models/missing.obj");
    EXPECT_EQ(obj.exitStatus, 255);
    EXPECT_EQ(obj.err,
              "glmReadOBJ() failed: can't open data file \"../Data/Models/missing.obj\".\n");
    // A folder is no model file either.
    const ProcessResult dir = readInChild("../Data/Models.off");
    EXPECT_EQ(dir.exitStatus, 255);
    testsupport::TempDir tmp;
    std::filesystem::create_directory(tmp / "folder.off");
    const ProcessResult folder = readInChild((tmp / "folder.off").string());
    EXPECT_EQ(folder.signal, 0);
    EXPECT_EQ(folder.exitStatus, 255);
    EXPECT_EQ(folder.err,
              "read_model(): can't open input file " + (tmp / "folder.off").string() + "\n");
    const ProcessResult stl = readInChild(corpusPath("off/empty.off") + ".stl");
    EXPECT_EQ(stl.signal, 0);
    EXPECT_EQ(stl.exitStatus, 255);
    EXPECT_NE(stl.out.find("# Read 'empty' in 'STL' format\n# Unknown file format: STL\n"),
              std::string::npos)
        << stl.out;
    EXPECT_EQ(stl.err, "");
}

TEST(ModelCorpus, EveryPrefixOfTheSoundFilesLoadsOrIsRefused) {
    for (const Loaded& l : loaded) {
        const std::string bytes = testsupport::readFile(corpusPath(l.file));
        const std::string ext = std::string(l.file).substr(std::string(l.file).rfind('.') + 1);
        const std::string name = "cut." + ext;
        for (size_t n = 0; n <= bytes.size(); ++n) {
            const std::string prefix = bytes.substr(0, n);
            Geometry g;
            const Outcome o = trapped([&] {
                if (ext == "off")
                    g.readOffModelFromBytes(&g.model, name.c_str(), prefix);
                else if (ext == "smf")
                    g.readSmfModelFromBytes(&g.model, name.c_str(), prefix);
                else
                    g.readObjModelFromBytes(&g.model, name.c_str(), prefix,
                                            [](const char*, std::string&) { return false; });
                computeNormals(&g.model);
            });
            if (o.ended) {
                expectRejected(o, name);
                continue;
            }
            expectConsistent(g.model);
            EXPECT_LE(g.model.ntris, l.ntris) << l.file << " " << n;
            if (n == bytes.size()) {
                EXPECT_EQ(g.model.nverts, l.nverts);
                EXPECT_EQ(g.model.ntris, l.ntris);
            }
        }
    }
}
