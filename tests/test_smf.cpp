// The SMF reader: line kinds, 1-based faces (fanned beyond three), bounds and refusals.
#include "geom_util.h"

using namespace geomtest;

namespace {

Outcome readSmf(Smesh* mesh, const std::string& text, const char* name = "t.smf") {
    Geometry g;
    return trapped([&] { g.readSmfModelFromBytes(mesh, name, text); });
}

} // namespace

TEST(SmfReader, ThreeVerticesAndOneFace) {
    OwnedMesh m;
    const Outcome o = readSmf(m.get(), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    ASSERT_FALSE(o.ended) << o.err;
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "");
    ASSERT_EQ(m->nverts, 3);
    ASSERT_EQ(m->ntris, 1);
    EXPECT_EQ(corners(m.m)[0], (std::array<int, 3>{0, 1, 2}));
    expectConsistent(m.m);
    EXPECT_EQ(m->center[0], 0.5f);
    EXPECT_EQ(m->center[2], 0.0f);
    EXPECT_EQ(m->extent, 0.5f);
}

TEST(SmfReader, LineKindsByTheirFirstCharacter) {
    const std::string text = "# comment v 9 9 9\n"
                             "\n"
                             "   v 1 2 3\n"
                             "\tv\t4 5 6\r\n"
                             "bind c face\n"
                             "c 1 0 0\n"
                             "v1e1 +2 -3.5e-1\n"
                             "  f 3 1 2\r\n"
                             "end\n";
    OwnedMesh m;
    const Outcome o = readSmf(m.get(), text);
    ASSERT_FALSE(o.ended) << o.err;
    const std::vector<std::array<float, 3>> expected = {
        {1, 2, 3}, {4, 5, 6}, {10, 2, viaDouble("-3.5e-1")}};
    EXPECT_EQ(positions(m.m), expected);
    ASSERT_EQ(m->ntris, 1);
    EXPECT_EQ(corners(m.m)[0], (std::array<int, 3>{2, 0, 1}));
}

TEST(SmfReader, PolygonsAreFanned) {
    OwnedMesh m;
    const Outcome o = readSmf(m.get(), smfText(cubeQuads()));
    ASSERT_FALSE(o.ended) << o.err;
    const Shape expected = fanned(cubeQuads());
    const auto got = corners(m.m);
    ASSERT_EQ(got.size(), expected.f.size());
    for (size_t t = 0; t < got.size(); ++t)
        EXPECT_EQ(got[t],
                  (std::array<int, 3>{expected.f[t][0], expected.f[t][1], expected.f[t][2]}));
}

TEST(SmfReader, LinesOfAnyLength) {
    // Lines far longer than any fixed buffer: one line each, read whole.
    const std::string pad(3000, ' ');
    const std::string text = "v 0 0 0" + pad + "7\nv 1 0 0\nv 0 1 0\n#" + std::string(5000, 'v') +
                             "\nf 1" + pad + "2 3\n";
    OwnedMesh m;
    const Outcome o = readSmf(m.get(), text);
    ASSERT_FALSE(o.ended) << o.err;
    EXPECT_EQ(m->nverts, 3);
    EXPECT_EQ(m->ntris, 1);
    EXPECT_EQ(m->verts[0].pos[2], 0.0f);
}

TEST(SmfReader, RefusalsNameTheFileAndTheLine) {
    struct Case {
        const char* text;
        const char* line;
    };
    const Case cases[] = {
        {"v 0 0 0\nv 1 0\n", "read_model(): bad.smf:2: vertex 1: a vertex line needs three "
                             "numbers\n"},
        {"v 0 0 0\nvn 1 0 0\n", "read_model(): bad.smf:2: vertex 1: a vertex line needs three "
                                "numbers\n"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n",
         "read_model(): bad.smf:4: vertex number 4 is outside 1..3\n"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 0 1 2\n",
         "read_model(): bad.smf:4: vertex number 0 is outside 1..3\n"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2\n",
         "read_model(): bad.smf:4: a face line needs three vertex numbers\n"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 x3\n",
         "read_model(): bad.smf:4: \"x3\" is not a vertex number\n"},
        {"f 1 2 3\nv 0 0 0\n", "read_model(): bad.smf:1: vertex number 2 is outside 1..1\n"},
    };
    for (const Case& c : cases) {
        OwnedMesh m;
        const Outcome o = readSmf(m.get(), c.text, "bad.smf");
        EXPECT_TRUE(o.ended) << c.text;
        EXPECT_EQ(o.status, -1);
        EXPECT_EQ(o.err, c.line);
        // Nothing half-read is left in the mesh.
        EXPECT_EQ(m->verts, nullptr);
        EXPECT_EQ(m->ntris, 0);
    }
}

TEST(SmfReader, EveryPrefixLoadsOrIsRefusedInOneLine) {
    const std::string full = smfText(cubeQuads());
    for (size_t n = 0; n <= full.size(); ++n) {
        OwnedMesh m;
        const Outcome o = readSmf(m.get(), full.substr(0, n), "cut.smf");
        if (o.ended) {
            expectRejected(o, "cut.smf");
            continue;
        }
        expectConsistent(m.m);
        EXPECT_LE(m->ntris, 12);
    }
}
