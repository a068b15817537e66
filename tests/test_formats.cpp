// The SMF reader; one mesh through every text format; every prefix of the sound corpus files.
// The refusals of the readers are in the load test, one file per fault.
#include "geom_util.h"

#include <cstring>
#include <tuple>

using namespace geomtest;

namespace {

// File, vertices, triangles.
const std::tuple<const char*, int, int> loaded[] = {
    {"off/tabs_crlf_comments.off", 4, 2},    {"off/fewer_faces_than_announced.off", 4, 2},
    {"off/polygons_with_colours.off", 6, 4}, {"off/vertex_colours.off", 3, 1},
    {"off/no_vertices.off", 0, 0},           {"smf/quad_crlf.smf", 4, 2},
    {"obj/unknown_v_token.obj", 3, 1},       {"obj/long_words.obj", 4, 1},
    {"obj/negative_indices_quad.obj", 4, 2},
};

} // namespace

TEST(SmfReader, FacesFannedLineKindsAndLinesOfAnyLength) {
    OwnedMesh m;
    EXPECT_EQ(readBytes(m, "t.smf", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n").out, "");
    EXPECT_EQ(corners(m), Tris({{0, 1, 2}}));
    EXPECT_EQ(bounds(m), std::vector<float>({0.5f, 0.5f, 0, 0.5f}));
    readBytes(m, "t.smf", vfText(cubeQuads()));
    EXPECT_EQ(corners(m), triangles(cubeQuads()));
    // Lines are classified by their first character that is not white space, and are read whole
    // however long they are.
    const std::string pad(3000, ' ');
    readBytes(m, "t.smf",
              "# comment v 9 9 9\n\n   v 1 2 3" + pad + "7\n\tv\t4 5 6\r\nbind c face\nc 1 0 0\n#" +
                  std::string(5000, 'v') + "\nv1e1 +2 -3.5e-1\n  f 3" + pad + "1 2\rend\n");
    EXPECT_EQ(positions(m), Points({{1, 2, 3}, {4, 5, 6}, {10, 2, viaDouble("-3.5e-1")}}));
    EXPECT_EQ(corners(m), Tris({{2, 0, 1}}));
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
        OwnedMesh m;
        readBytes(m, name, text);
        EXPECT_EQ(positions(m), expected) << name;
        EXPECT_EQ(corners(m), triangles(s)) << name;
    }
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
                           testsupport::readFile(testsupport::corpusPath(file)), nverts, ntris);
    for (const auto& [name, bytes, nverts, ntris] : files) {
        OwnedMesh m;
        readBytes(m, name, bytes);
        const Tris full = corners(m);
        ASSERT_EQ(std::make_pair(m.nverts, int(full.size())), std::make_pair(nverts, ntris))
            << name << "\n"
            << bytes.substr(0, 80);
        for (size_t n = 0; n < bytes.size(); ++n) {
            const size_t eol = bytes.find('\n', n > 2 ? n - 2 : 0);
            if (bytes.size() > 4096 && n % 997 != 0 && !(eol <= n + 2)) continue;
            const Outcome o = readBytes(m, name, bytes.substr(0, n));
            if (o.ended) {
                EXPECT_TRUE(o.status == -1 && o.err.rfind("read_model(): " + name + ":", 0) == 0)
                    << o.err;
                EXPECT_EQ(o.err.find('\n'), o.err.size() - 1) << o.err;
                continue;
            }
            const Tris got = corners(m);
            ASSERT_LE(got.size(), full.size()) << n;
            EXPECT_TRUE(std::equal(got.begin(), got.end(), full.begin())) << name << " " << n;
            EXPECT_TRUE(name != "cut.off" || m.nverts == nverts) << n;
            for (int i = 0; i < m.nverts; ++i)
                ASSERT_EQ(m.verts[i].index, i);
            for (int t = 0; t < m.ntris; ++t)
                ASSERT_EQ(m.tris[t].index, t);
            for (const auto& c : got)
                for (int i : c)
                    ASSERT_TRUE(i >= 0 && i < m.nverts) << n;
            computeNormals(&m);
        }
    }
}
