// The OFF reader: header, vertices, faces (fanned polygons), face colours, and its refusals.
#include "geom_util.h"

using namespace geomtest;

namespace {

struct Read {
    Outcome outcome;
    bool hasNormals = false;
};

// Reads OFF text into mesh with the given Geometry; mesh keeps what was read.
Read readOff(Geometry& g, Smesh* mesh, const std::string& text, const char* name = "t.off") {
    Read r;
    r.outcome = trapped([&] { g.readOffModelFromBytes(mesh, name, text); });
    r.hasNormals = g.hasNormals;
    return r;
}

Outcome rejectOff(const std::string& text) {
    Geometry g;
    return trapped([&] { g.readOffModelFromBytes(&g.model, "bad.off", text); });
}

} // namespace

TEST(OffReader, QuadsAreFannedFromTheirFirstCorner) {
    Geometry g;
    const Read r = readOff(g, &g.model, offText(cubeQuads()));
    ASSERT_FALSE(r.outcome.ended) << r.outcome.err;
    EXPECT_EQ(r.outcome.out,
              "      Read 12 Triangles;  8 Vertices\n      the range of volume is:\n");
    EXPECT_EQ(r.outcome.err, "");
    const Shape expected = fanned(cubeQuads());
    const auto got = corners(g.model);
    ASSERT_EQ(got.size(), expected.f.size());
    for (size_t t = 0; t < got.size(); ++t)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(got[t][k], expected.f[t][k]) << t;
    expectConsistent(g.model);
    // Bounds of the unit cube: centre 0.5, largest half side 0.5.
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(g.model.center[k], 0.5f);
    EXPECT_EQ(g.model.extent, 0.5f);
    EXPECT_FALSE(r.hasNormals);
}

TEST(OffReader, PentagonAndHexagonFans) {
    const std::string text = "OFF\n7 2 0\n0 0 0\n1 0 0\n2 1 0\n1 2 0\n0 1 0\n3 3 0\n4 4 0\n"
                             "5 0 1 2 3 4\n6 6 5 4 3 2 1\n";
    Geometry g;
    const Read r = readOff(g, &g.model, text);
    ASSERT_FALSE(r.outcome.ended) << r.outcome.err;
    const std::vector<std::array<int, 3>> expected = {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {6, 5, 4},
                                                      {6, 4, 3}, {6, 3, 2}, {6, 2, 1}};
    EXPECT_EQ(corners(g.model), expected);
}

TEST(OffReader, CoordinatesGoThroughDoubleToFloat) {
    // 1 + 2^-24 + 2^-60 lies just above the midpoint of two floats. As a double it is the
    // midpoint itself, which then rounds to even (1.0); read straight as a float it would be
    // the float above.
    const std::string x = "1.000000059604644776136907088";
    ASSERT_NE(std::strtof(x.c_str(), nullptr), viaDouble(x.c_str()));
    const std::string text = "OFF\n3 1 0\n" + x + " 0.1 -2.5e-3\n0 0 0\n1 1 1\n3 0 1 2\n";
    Geometry g;
    ASSERT_FALSE(readOff(g, &g.model, text).outcome.ended);
    EXPECT_EQ(g.model.verts[0].pos[0], viaDouble(x.c_str()));
    EXPECT_EQ(g.model.verts[0].pos[1], viaDouble("0.1"));
    EXPECT_EQ(g.model.verts[0].pos[2], viaDouble("-2.5e-3"));
}

TEST(OffReader, NoffReadsSixNumbersAndPlainOffThreeWithTheSameGeometry) {
    Geometry g;
    OwnedMesh first, second;
    const std::string noff = "NOFF\n3 1 0\n0 0 0 0.5 0.25 1\n1 0 0 0 1 0\n0 1 0 1 0 0\n3 0 1 2\n";
    const Read a = readOff(g, first.get(), noff);
    ASSERT_FALSE(a.outcome.ended) << a.outcome.err;
    EXPECT_TRUE(a.hasNormals);
    EXPECT_EQ(first->verts[0].normal[0], 0.5f);
    EXPECT_EQ(first->verts[0].normal[1], 0.25f);
    EXPECT_EQ(first->verts[1].pos[0], 1.0f);
    EXPECT_EQ(first->verts[2].pos[1], 1.0f);
    const Read b = readOff(g, second.get(), "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
    ASSERT_FALSE(b.outcome.ended) << b.outcome.err;
    EXPECT_FALSE(b.hasNormals);
    EXPECT_EQ(second->verts[1].pos[0], 1.0f);
    EXPECT_EQ(second->ntris, 1);
    // Any upper-case N in the keyword means normals.
    OwnedMesh third;
    const Read c = readOff(g, third.get(), "CNOFF 1 0 0 1 2 3 4 5 6");
    ASSERT_FALSE(c.outcome.ended) << c.outcome.err;
    EXPECT_TRUE(c.hasNormals);
    EXPECT_EQ(third->verts[0].normal[2], 6.0f);
}

TEST(OffReader, FaceColours) {
    const std::string head = "OFF\n3 2 0\n0 0 0\n1 0 0\n0 1 0\n";
    Geometry g;
    {
        OwnedMesh m;
        ASSERT_FALSE(readOff(g, m.get(), head + "3 0 1 2 255 0 0\n3 2 1 0 1 2 3\n").outcome.ended);
        EXPECT_EQ(m->tris[0].color[0], 255);
        EXPECT_EQ(m->tris[0].color[1], 0);
        EXPECT_EQ(m->tris[1].color[2], 3);
        // The next face is read from its own line.
        EXPECT_EQ(corners(m.m)[1], (std::array<int, 3>{2, 1, 0}));
    }
    {
        // Integers keep their low eight bits; an alpha value after them is passed over.
        OwnedMesh m;
        ASSERT_FALSE(
            readOff(g, m.get(), head + "3 0 1 2 300 -1 256 77\n3 0 2 1 1 1 1 1\n").outcome.ended);
        EXPECT_EQ(m->tris[0].color[0], 44);
        EXPECT_EQ(m->tris[0].color[1], 255);
        EXPECT_EQ(m->tris[0].color[2], 0);
        EXPECT_EQ(corners(m.m)[1], (std::array<int, 3>{0, 2, 1}));
    }
    {
        // Numbers between 0 and 1 are scaled to 0..255 (rounded); tabs separate as well as spaces.
        OwnedMesh m;
        ASSERT_FALSE(readOff(g, m.get(), head + "3\t0\t1\t2\t1.0\t0.5\t0.2\n3 2 0 1 0 0.25 1 1\n")
                         .outcome.ended);
        EXPECT_EQ(m->tris[0].color[0], 255);
        EXPECT_EQ(m->tris[0].color[1], 128);
        EXPECT_EQ(m->tris[0].color[2], 51);
        EXPECT_EQ(m->tris[1].color[1], 64);
        EXPECT_EQ(m->tris[1].color[2], 255);
    }
    {
        // A space before the line end is no colour.
        OwnedMesh m;
        ASSERT_FALSE(readOff(g, m.get(), head + "3 0 1 2 \n3 0 2 1 9 9 9\n").outcome.ended);
        EXPECT_EQ(m->tris[1].color[0], 0);
        EXPECT_EQ(corners(m.m)[1], (std::array<int, 3>{0, 2, 1}));
    }
    {
        // A colour on a quad colours both of its triangles.
        OwnedMesh m;
        const std::string quad = "OFF\n4 1 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n4 0 1 2 3 10 20 30\n";
        ASSERT_FALSE(readOff(g, m.get(), quad).outcome.ended);
        ASSERT_EQ(m->ntris, 2);
        EXPECT_EQ(m->tris[1].color[0], 10);
        EXPECT_EQ(m->tris[1].color[2], 30);
    }
}

TEST(OffReader, CommentsBlankLinesCarriageReturnsAndVertexColours) {
    // Comment lines before the keyword and between sections, CRLF line ends, and a colour after
    // each vertex (COFF) with comments behind some of them.
    const std::string text = "# made by hand\r\n\r\nCOFF\r\n4 2 0\r\n# vertices\r\n"
                             "0 0 0 0.9 0 0 #red\r\n"
                             "2 0 0 0 0.9 0\r\n"
                             "2 2 0 0 0 0.9 1#blue\r\n"
                             "\r\n"
                             "0 2 0 1 1 1 1\r\n"
                             "# faces\r\n"
                             "3 0 1 2 0.5 0.5 0.5 # grey\r\n"
                             "3\t0\t2\t3\r\n";
    Geometry g;
    const Read r = readOff(g, &g.model, text);
    ASSERT_FALSE(r.outcome.ended) << r.outcome.err;
    ASSERT_EQ(g.model.nverts, 4);
    const std::vector<std::array<float, 3>> expected = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
    EXPECT_EQ(positions(g.model), expected);
    const std::vector<std::array<int, 3>> tris = {{0, 1, 2}, {0, 2, 3}};
    EXPECT_EQ(corners(g.model), tris);
    EXPECT_EQ(g.model.tris[0].color[0], 128);
}

TEST(OffReader, FewerFacesThanAnnouncedLoadsThosePresent) {
    Geometry g;
    const Read r =
        readOff(g, &g.model, "OFF\n4 3 0\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n3 0 1 2\n3 0 1 3\n");
    ASSERT_FALSE(r.outcome.ended) << r.outcome.err;
    EXPECT_EQ(g.model.ntris, 2);
    EXPECT_EQ(r.outcome.out,
              "      Read 2 Triangles;  4 Vertices\n      the range of volume is:\n");
}

TEST(OffReader, FacesBeyondTheAnnouncedCountAreNotRead) {
    Geometry g;
    const Read r = readOff(g, &g.model, "OFF 3 1 0 0 0 0 1 0 0 0 1 0 3 0 1 2 3 2 1 0 junk");
    ASSERT_FALSE(r.outcome.ended) << r.outcome.err;
    EXPECT_EQ(g.model.ntris, 1);
}

TEST(OffReader, EmptyModel) {
    Geometry g;
    const Read r = readOff(g, &g.model, "OFF\n0 0 0\n");
    ASSERT_FALSE(r.outcome.ended) << r.outcome.err;
    EXPECT_EQ(g.model.nverts, 0);
    EXPECT_EQ(g.model.ntris, 0);
}

TEST(OffReader, ReReadingReleasesThePreviousMesh) {
    // LeakSanitizer would report the first read's arrays and lists if they were dropped.
    Geometry g;
    for (int k = 0; k < 3; ++k) {
        ASSERT_FALSE(readOff(g, &g.model, offText(cubeQuads())).outcome.ended);
        computeNormals(&g.model);
        computeEdges(&g.model);
    }
    EXPECT_EQ(g.model.ntris, 12);
}

TEST(OffReader, RefusalsNameTheFileAndTheFault) {
    struct Case {
        const char* text;
        const char* line;
    };
    const Case cases[] = {
        {"", "read_model(): bad.off:1: no OFF header: the file holds no words\n"},
        {"OFF\n", "read_model(): bad.off:2: the header lacks its vertex count\n"},
        {"OFF\n3 x 0\n", "read_model(): bad.off:2: the header lacks its face count\n"},
        {"OFF\n3 1\n", "read_model(): bad.off:3: the header lacks its edge count\n"},
        {"OFF\n-3 1 0\n", "read_model(): bad.off:2: the header announces -3 vertex records\n"},
        {"OFF\n3 -1 0\n0 0 0\n1 0 0\n0 1 0\n",
         "read_model(): bad.off:2: the header announces -1 face records\n"},
        {"OFF\n1000000 1 0\n0 0 0\n",
         "read_model(): bad.off:2: the header announces 1000000 vertices, more than the 7 bytes "
         "after it can hold\n"},
        {"OFF\n3 2147483647 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n",
         "read_model(): bad.off:6: the header announces 2147483647 faces, more than the 8 bytes "
         "after the vertices can hold\n"},
        {"OFF\n2 0 0\n0 0 0\n1 0\n", "read_model(): bad.off:5: the file ends inside the vertex "
                                     "list (vertex 1 of 2)\n"},
        {"OFF\n2 0 0\n0 0 0\n1 zero 0\n",
         "read_model(): bad.off:4: vertex 1: \"zero\" is not a number\n"},
        {"OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 3\n",
         "read_model(): bad.off:6: face 0: vertex index 3 is outside 0..2\n"},
        {"OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 -1 2\n",
         "read_model(): bad.off:6: face 0: vertex index -1 is outside 0..2\n"},
        {"OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n2 0 1\n",
         "read_model(): bad.off:6: face 0 has 2 corners; a face needs three\n"},
        {"OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\nthree 0 1 2\n",
         "read_model(): bad.off:6: face 0: \"three\" is not a corner count\n"},
        {"OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1.5 2\n",
         "read_model(): bad.off:6: face 0: \"1.5\" is not a vertex index\n"},
        {"OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1",
         "read_model(): bad.off:6: the file ends inside face 0\n"},
        {"OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n1000 0 1 2\n",
         "read_model(): bad.off:6: face 0 announces 1000 corners, more than the file holds\n"},
        {"OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 99999999999\n",
         "read_model(): bad.off:6: face 0: \"99999999999\" is not a vertex index\n"},
    };
    for (const Case& c : cases) {
        const Outcome o = rejectOff(c.text);
        EXPECT_TRUE(o.ended) << c.text;
        EXPECT_EQ(o.status, -1) << c.text;
        EXPECT_EQ(o.err, c.line) << c.text;
    }
}

TEST(OffReader, LongTokensAreQuotedShortAndNeverOverflow) {
    const std::string longWord(100000, 'x');
    const Outcome o = rejectOff("OFF\n1 0 0\n0 " + longWord + " 0\n");
    expectRejected(o, "bad.off");
    EXPECT_EQ(o.err, "read_model(): bad.off:3: vertex 0: \"" + std::string(40, 'x') +
                         "\" is not a number\n");
    // A coordinate of 5000 digits is still one number.
    const std::string digits = "1" + std::string(4999, '0');
    Geometry g;
    const Read r = readOff(g, &g.model, "OFF 1 0 0 " + digits + " 0 0\n");
    ASSERT_FALSE(r.outcome.ended) << r.outcome.err;
    EXPECT_EQ(g.model.verts[0].pos[0], viaDouble(digits.c_str()));
}

TEST(OffReader, EveryPrefixOfAFileLoadsOrIsRefusedInOneLine) {
    // Cut a small coloured file with comments after every byte. A cut before the last vertex is
    // complete must be refused; any other cut loads the complete faces before it or is refused.
    OffOptions o;
    o.colors = 1;
    const std::string full = "# cube\n" + offText(cubeQuads(), o);
    const size_t facesStart = full.find("\n4 ") + 1;
    const auto fullCorners = [&] {
        Geometry g;
        readOff(g, &g.model, full);
        return corners(g.model);
    }();
    ASSERT_EQ(fullCorners.size(), 12u);
    for (size_t n = 0; n <= full.size(); ++n) {
        Geometry g;
        const Read r = readOff(g, &g.model, full.substr(0, n), "cut.off");
        if (r.outcome.ended) {
            expectRejected(r.outcome, "cut.off");
            continue;
        }
        EXPECT_GE(n, facesStart - 1) << n;
        expectConsistent(g.model);
        const auto got = corners(g.model);
        ASSERT_LE(got.size(), fullCorners.size());
        for (size_t t = 0; t < got.size(); ++t)
            EXPECT_EQ(got[t], fullCorners[t]) << n;
        if (n == full.size()) {
            EXPECT_EQ(got.size(), 12u);
        }
    }
}
