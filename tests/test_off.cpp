// The OFF reader: header, vertices, fanned polygons, face colours. Its refusals are in the corpus
// test, one file per fault.
#include "geom_util.h"

using namespace geomtest;

TEST(OffReader, QuadsAreFannedFromTheirFirstCorner) {
    OwnedMesh m;
    bool normals = true;
    const Outcome o = readBytes(m, "t.off", offText(cubeQuads()), &normals);
    EXPECT_EQ(o.out, "      Read 12 Triangles;  8 Vertices\n      the range of volume is:\n");
    EXPECT_EQ(corners(m), triangles(cubeQuads()));
    EXPECT_EQ(bounds(m), std::vector<float>(4, 0.5f));
    EXPECT_FALSE(normals);
    // Faces beyond the announced count are not read.
    ASSERT_FALSE(readBytes(m, "t.off", "OFF 3 1 0 0 0 0 1 0 0 0 1 0 3 0 1 2 3 2 1 0 x").ended);
    EXPECT_EQ(m.ntris, 1);
}

TEST(OffReader, CoordinatesGoThroughDoubleToFloat) {
    // 1 + 2^-24 + 2^-60 lies just above the midpoint of two floats. As a double it is the
    // midpoint itself, which then rounds to even; read straight as a float it would round up.
    // A coordinate of 5000 digits is still one number.
    const char* x = "1.000000059604644776136907088";
    ASSERT_NE(std::strtof(x, nullptr), viaDouble(x));
    const std::string digits = "1" + std::string(4999, '0');
    OwnedMesh m;
    ASSERT_FALSE(readBytes(m, "t.off",
                           "OFF\n3 1 0\n" + std::string(x) + " 0.1 -2.5e-3\n0 0 0\n" + digits +
                               " 1 1\n3 0 1 2\n")
                     .ended);
    EXPECT_EQ(positions(m)[0],
              (std::array<float, 3>{viaDouble(x), viaDouble("0.1"), viaDouble("-2.5e-3")}));
    EXPECT_EQ(m.verts[2].pos[0], viaDouble(digits.c_str()));
}

TEST(OffReader, FaceColours) {
    // Three integers keep their low eight bits, reals from 0 to 1 are scaled and rounded, an
    // alpha value is passed over, a space before the line end is no colour, and the next face is
    // always read from its own line. A colour on a quad colours both of its triangles.
    const std::string head = "OFF\n4 2 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n";
    const std::pair<std::string, std::vector<int>> cases[] = {
        {"3 0 1 2 255 0 0\n3 2 1 0 1 2 3\n", {255, 0, 0, 1, 2, 3}},
        {"3 0 1 2 300 -1 256 77\n3 2 1 0 1 1 1 1\n", {44, 255, 0, 1, 1, 1}},
        {"3\t0\t1\t2\t1.0\t0.5\t0.2\n3 2 1 0 0 0.25 1 1\n", {255, 128, 51, 0, 64, 255}},
        {"3 0 1 2 \n3 2 1 0 9 9 9\n", {0, 0, 0, 0, 0, 0}},
        {"4 0 1 2 3 10 20 30\n", {10, 20, 30, 10, 20, 30}},
    };
    for (const auto& [faces, colours] : cases) {
        OwnedMesh m;
        readBytes(m, "t.off", head + faces);
        ASSERT_EQ(m.ntris, 2) << faces;
        const unsigned char* c[2] = {m.tris[0].color, m.tris[1].color};
        EXPECT_EQ(std::vector<int>({c[0][0], c[0][1], c[0][2], c[1][0], c[1][1], c[1][2]}), colours)
            << faces;
        EXPECT_EQ(corners(m)[1][0], faces[0] == '4' ? 0 : 2);
    }
}

TEST(OffReader, EveryVertexLayoutReadsItsPositionsAndNormals) {
    // Only an upper-case N in the keyword means normals; values beyond those on the first
    // vertex's own line (colours as integers or reals, with or without alpha) are passed over on
    // every vertex line, whatever the keyword says, and a later file starts afresh.
    const std::pair<const char*, const char*> layouts[] = {
        {"OFF", ""},
        {"NOFF", " 0 0.25 1"},
        {"COFF", " 255 128 0 255"},
        {"COFF", " 0.9 0.5 0"},
        {"NCOFF", " 0 0.25 1 0.9 0.5 0 1"},
        {"CNOFF", " 0 0.25 1 255 0 0"},
        {"OFF", " 255 255 255"},
        {"COFF", ""},
        {"OFF", " 7"},
    };
    const Points expected = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    OwnedMesh m;
    bool normals = false;
    for (const auto& [keyword, extra] : layouts) {
        std::string text = std::string(keyword) + "\n3 1 0\n";
        for (const auto& p : expected)
            text += num(p[0]) + " " + num(p[1]) + " " + num(p[2]) + extra + "\n";
        ASSERT_FALSE(readBytes(m, "t.off", text + "3 0 1 2\n", &normals).ended) << text;
        EXPECT_EQ(positions(m), expected) << text;
        EXPECT_EQ(corners(m), Tris({{0, 1, 2}})) << text;
        EXPECT_EQ(normals, std::string_view(keyword).find('N') != std::string_view::npos);
        EXPECT_TRUE(!normals || m.verts[0].normal[1] == 0.25f) << text;
    }
    ASSERT_FALSE(readBytes(m, "t.off", "CNOFF 1 0 0 1 2 3 4 5 6", &normals).ended);
    EXPECT_TRUE(normals && m.verts[0].normal[2] == 6.0f);
}

TEST(OffReader, CommentsLineEndsAndVertexColours) {
    OwnedMesh m;
    // Comments before the keyword and between sections, CR LF line ends, and a colour after each
    // vertex (COFF), with comments behind some of them.
    readBytes(m, "t.off",
              "# made by hand\r\n\r\nCOFF\r\n4 2 0\r\n# vertices\r\n0 0 0 0.9 0 0 #red\r\n"
              "2 0 0 0 0.9 0\r\n2 2 0 0 0 0.9 1#blue\r\n\r\n0 2 0 1 1 1 1\r\n# faces\r\n"
              "3 0 1 2 0.5 0.5 0.5 # grey\r\n3\t0\t2\t3\r\n");
    EXPECT_EQ(positions(m), Points({{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}));
    ASSERT_EQ(corners(m), Tris({{0, 1, 2}, {0, 2, 3}}));
    EXPECT_EQ(m.tris[0].color[0], 128);
}
