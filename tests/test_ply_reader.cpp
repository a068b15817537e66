#include "Geometry.h"
#include "ply_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace plytest;

namespace {

const Encoding kEncodings[] = {Encoding::Ascii, Encoding::BinaryLE, Encoding::BinaryBE};

// A pyramid on a square base whose coordinates fit every PLY type (small non-negative
// integers), with the base as one quad.
Shape intPyramid() {
    return {{{0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, 0}, {50, 50, 120}},
            {{0, 3, 2, 1}, {0, 1, 4}, {1, 2, 4}, {2, 3, 4}, {3, 0, 4}}};
}

// Coordinates that only float and double can hold, some not exact in either.
Shape fractionalTriangles() {
    return {{{0.1, -2.75, 1e-3},
             {123456.789, -0.3333333333333333, 7.5e-5},
             {-1e6, 2.0000001, 3.14159265358979},
             {0.5, 0.25, -0.125}},
            {{0, 1, 2}, {0, 2, 3}, {3, 2, 1}}};
}

Doc meshDoc(Encoding enc, const Shape& shape, const std::string& posType,
            const std::string& indexType, const std::string& countType = "uchar") {
    Doc doc;
    doc.enc = enc;
    doc.elems = {vertexElem(shape, posType), faceElem(shape, indexType, countType)};
    return doc;
}

} // namespace

TEST(PlyRoundTrip, EveryEncodingAndEveryTypeForPositionsAndIndices) {
    const Shape shape = intPyramid();
    const auto& types = allTypes();
    int combination = 0;
    for (Encoding enc : kEncodings) {
        for (const std::string& posType : types) {
            for (const std::string& indexType : types) {
                // The list count type cycles through all eight types as well.
                const std::string& countType = types[combination++ % types.size()];
                SCOPED_TRACE(std::string(formatName(enc)) + " positions " + posType + " indices " +
                             indexType + " counts " + countType);
                LoadedMesh m;
                const LoadOutcome r =
                    loadBytes(m, write(meshDoc(enc, shape, posType, indexType, countType)));
                ASSERT_FALSE(r.exited) << r.err;
                EXPECT_EQ(r.err, "");
                expectShape(m, shape);
                // Box 0..100 x 0..100 x 0..120.
                EXPECT_EQ(m.mesh.center[0], 50.0f);
                EXPECT_EQ(m.mesh.center[1], 50.0f);
                EXPECT_EQ(m.mesh.center[2], 60.0f);
                EXPECT_EQ(m.mesh.extent, 60.0f);
            }
        }
    }
}

TEST(PlyRoundTrip, FractionalCoordinatesAreRoundedToFloatOnce) {
    const Shape shape = fractionalTriangles();
    for (Encoding enc : kEncodings) {
        for (const char* posType : {"float", "double"}) {
            SCOPED_TRACE(std::string(formatName(enc)) + " " + posType);
            LoadedMesh m;
            const LoadOutcome r = loadBytes(m, write(meshDoc(enc, shape, posType, "int")));
            ASSERT_FALSE(r.exited) << r.err;
            expectShape(m, shape);
            // Bounds from the stored floats, in double: x from -1e6 to 123456.789.
            const double lo = static_cast<float>(-1e6), hi = static_cast<float>(123456.789);
            EXPECT_EQ(m.mesh.center[0], static_cast<float>((lo + hi) * 0.5));
            EXPECT_EQ(m.mesh.extent, static_cast<float>((hi - lo) * 0.5));
        }
    }
}

TEST(PlyRoundTrip, BothByteOrdersGiveTheSameMesh) {
    const Shape shape = fractionalTriangles();
    LoadedMesh le, be;
    ASSERT_FALSE(loadBytes(le, write(meshDoc(Encoding::BinaryLE, shape, "double", "uint"))).exited);
    ASSERT_FALSE(loadBytes(be, write(meshDoc(Encoding::BinaryBE, shape, "double", "uint"))).exited);
    ASSERT_EQ(le.mesh.nverts, be.mesh.nverts);
    EXPECT_EQ(0, std::memcmp(le.mesh.verts[2].pos, be.mesh.verts[2].pos, sizeof(float) * 3));
    for (int t = 0; t < le.mesh.ntris; ++t)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(le.corner(t, k), be.corner(t, k));
}

TEST(PlyAscii, TabsAndCrlfLineEndsReadAsSpacesAndNewlines) {
    const Shape shape = fractionalTriangles();
    LoadedMesh plain;
    ASSERT_FALSE(loadBytes(plain, write(meshDoc(Encoding::Ascii, shape, "float", "int"))).exited);
    Doc tabs = meshDoc(Encoding::Ascii, shape, "float", "int");
    tabs.sep = "\t \t";
    Doc crlf = meshDoc(Encoding::Ascii, shape, "float", "int");
    crlf.eol = "\r\n";
    crlf.headerExtra = {"comment\twritten on another system"};
    for (const Doc* doc : {&tabs, &crlf}) {
        LoadedMesh m;
        const LoadOutcome r = loadBytes(m, write(*doc));
        ASSERT_FALSE(r.exited) << r.err;
        expectShape(m, shape);
        for (int i = 0; i < m.mesh.nverts; ++i)
            EXPECT_EQ(0, std::memcmp(m.mesh.verts[i].pos, plain.mesh.verts[i].pos, 12));
    }
    LoadedMesh m;
    const LoadOutcome r = loadBytes(m, write(crlf));
    EXPECT_NE(r.out.find("comment = 'written on another system'\n"), std::string::npos) << r.out;
}

TEST(PlyAscii, ALeadingPlusSignAndExtraWordsAtTheLineEnd) {
    const std::string text = "ply\nformat ascii 1.0\nelement vertex 3\n"
                             "property float x\nproperty float y\nproperty float z\n"
                             "element face 1\nproperty list uchar int vertex_indices\n"
                             "end_header\n+1.5 -2 +3e1\n0 0 0 7 7\n1 1 1\n3 2 1 0 255 0 0\n";
    LoadedMesh m;
    const LoadOutcome r = loadBytes(m, text);
    ASSERT_FALSE(r.exited) << r.err;
    EXPECT_EQ(m.mesh.verts[0].pos[0], 1.5f);
    EXPECT_EQ(m.mesh.verts[0].pos[1], -2.0f);
    EXPECT_EQ(m.mesh.verts[0].pos[2], 30.0f);
    EXPECT_EQ(m.corner(0, 0), 2);
    EXPECT_EQ(m.corner(0, 2), 0);
}

TEST(PlyAscii, LinesLongerThan4095CharactersAreReadWhole) {
    // A polygon of 3000 corners (over 15000 characters on its line) and a long comment.
    Shape shape;
    std::vector<double> polygon;
    for (int i = 0; i < 3000; ++i) {
        shape.pos.push_back({double(i), double(i % 7), 1.0});
        polygon.push_back(2999 - i);
    }
    shape.faces = {polygon, {5, 6, 7}};
    Doc doc = meshDoc(Encoding::Ascii, shape, "float", "int", "ushort");
    const std::string longComment(5000, 'c');
    doc.headerExtra = {"comment " + longComment};
    LoadedMesh m;
    const LoadOutcome r = loadBytes(m, write(doc));
    ASSERT_FALSE(r.exited) << r.err;
    expectShape(m, shape);
    EXPECT_EQ(m.corner(0, 0), 2999);
    EXPECT_EQ(m.corner(1, 0), 5);
    EXPECT_NE(r.out.find("comment = '" + longComment + "'\n"), std::string::npos);
}

TEST(PlyReader, PrintsTheFileTypeThenCommentsThenObjInfoInFileOrder) {
    const Shape shape = intPyramid();
    const std::pair<Encoding, int> cases[] = {
        {Encoding::Ascii, 1}, {Encoding::BinaryBE, 2}, {Encoding::BinaryLE, 3}};
    for (auto [enc, code] : cases) {
        Doc doc = meshDoc(enc, shape, "float", "int");
        doc.headerExtra = {"comment   made by hand", "obj_info first info", "comment second\tone",
                           "obj_info\t\tsecond info"};
        LoadedMesh m;
        const LoadOutcome r = loadBytes(m, write(doc));
        ASSERT_FALSE(r.exited) << r.err;
        EXPECT_EQ(r.out, "type " + std::to_string(code) +
                             "\n"
                             "comment = 'made by hand'\n"
                             "comment = 'second one'\n"
                             "obj_info = 'first info'\n"
                             "obj_info = 'second info'\n");
        EXPECT_EQ(r.err, "");
    }
}

TEST(PlyReader, ExtraPropertiesAreConsumedAndDropped) {
    const Shape shape = intPyramid();
    for (Encoding enc : kEncodings) {
        SCOPED_TRACE(formatName(enc));
        Doc doc;
        doc.enc = enc;
        Elem v{"vertex",
               {{"confidence", "double", ""},
                {"x", "float", ""},
                {"nx", "float", ""},
                {"y", "short", ""},
                {"ny", "float", ""},
                {"tags", "int", "uchar"},
                {"z", "uint", ""},
                {"nz", "float", ""},
                {"red", "uchar", ""}},
               {}};
        for (size_t i = 0; i < shape.pos.size(); ++i) {
            const auto& p = shape.pos[i];
            v.rows.push_back({{0.5 * double(i)},
                              {p[0]},
                              {-1},
                              {p[1]},
                              {0.25},
                              {1, 2, double(i)},
                              {p[2]},
                              {1},
                              {200}});
        }
        Elem f{"face",
               {{"flags", "uchar", ""},
                {"vertex_indices", "int", "uchar"},
                {"texcoord", "float", "uchar"},
                {"material", "int", ""}},
               {}};
        for (const auto& face : shape.faces)
            f.rows.push_back({{7}, face, {0.5, 0.5, 0.25, 0.25, 0, 1}, {3}});
        doc.elems = {v, f};
        LoadedMesh m;
        const LoadOutcome r = loadBytes(m, write(doc));
        ASSERT_FALSE(r.exited) << r.err;
        EXPECT_EQ(r.err, "");
        expectShape(m, shape);
    }
}

TEST(PlyReader, ElementsTheMeshDoesNotUseAreSteppedOverWhereverTheyLie) {
    const Shape shape = intPyramid();
    for (Encoding enc : kEncodings) {
        SCOPED_TRACE(formatName(enc));
        Doc doc;
        doc.enc = enc;
        Elem material{"material", {{"shine", "double", ""}, {"name", "uchar", "int"}}, {}};
        material.rows = {{{0.5}, {65, 66}}, {{2.0}, {}}};
        Elem edge{"edge", {{"vertex1", "int", ""}, {"vertex2", "int", ""}}, {}};
        edge.rows = {{{0}, {1}}, {{1}, {2}}, {{2}, {3}}};
        // A trailing element with a type the library does not know is never read.
        Elem trailing{"range_grid", {{"i", "uint8", ""}}, {{{1}}}};
        doc.elems = {material, faceElem(shape, "int"), edge, vertexElem(shape, "float"), trailing};
        std::string bytes = write(doc);
        LoadedMesh m;
        const LoadOutcome r = loadBytes(m, bytes);
        ASSERT_FALSE(r.exited) << r.err;
        EXPECT_EQ(r.err, "");
        expectShape(m, shape);
    }
}

TEST(PlyReader, AFaceRecordUsesTheFirstThreeCornersAndMayNameItsListVertexIndex) {
    Shape shape = intPyramid();
    for (Encoding enc : kEncodings) {
        Doc doc;
        doc.enc = enc;
        doc.elems = {vertexElem(shape, "float"), faceElem(shape, "uint", "uchar", "vertex_index")};
        LoadedMesh m;
        const LoadOutcome r = loadBytes(m, write(doc));
        ASSERT_FALSE(r.exited) << r.err;
        expectShape(m, shape);
        // The quad 0 3 2 1 became the one triangle 0 3 2.
        EXPECT_EQ(m.corner(0, 1), 3);
        EXPECT_EQ(m.corner(0, 2), 2);
        EXPECT_EQ(m.mesh.tris[0].index, 0);
        EXPECT_EQ(m.mesh.tris[4].index, 4);
    }
}

TEST(PlyReader, AMissingCoordinateIsWarnedAboutAndReadsAsZero) {
    Doc doc;
    Elem v{"vertex", {{"x", "float", ""}, {"y", "float", ""}}, {{{1}, {2}}, {{3}, {-4}}}};
    doc.elems = {v};
    LoadedMesh m;
    const LoadOutcome r = loadBytes(m, write(doc));
    ASSERT_FALSE(r.exited) << r.err;
    EXPECT_EQ(r.err, "Warning:  Can't find property 'z' in element 'vertex'\n");
    ASSERT_EQ(m.mesh.nverts, 2);
    EXPECT_EQ(m.mesh.verts[1].pos[0], 3.0f);
    EXPECT_EQ(m.mesh.verts[1].pos[1], -4.0f);
    EXPECT_EQ(m.mesh.verts[1].pos[2], 0.0f);
    EXPECT_EQ(m.mesh.ntris, 0);
    EXPECT_EQ(m.mesh.tris, nullptr);
    // Box 1..3 x -4..2 x 0..0: the y half side 3 is the greatest.
    EXPECT_EQ(m.mesh.center[1], -1.0f);
    EXPECT_EQ(m.mesh.extent, 3.0f);
}

TEST(PlyReader, AFileWithoutVertexElementLeavesAValidEmptyMesh) {
    for (Encoding enc : kEncodings) {
        Doc doc;
        doc.enc = enc;
        Elem other{"camera", {{"view_px", "float", ""}}, {{{1}}, {{2}}}};
        Elem noFaces{"face", {{"vertex_indices", "int", "uchar"}}, {}};
        doc.elems = {other, noFaces};
        LoadedMesh m;
        m.mesh.center[0] = 9;
        m.mesh.extent = 9;
        const LoadOutcome r = loadBytes(m, write(doc));
        ASSERT_FALSE(r.exited) << r.err;
        EXPECT_EQ(m.mesh.nverts, 0);
        EXPECT_EQ(m.mesh.verts, nullptr);
        EXPECT_EQ(m.mesh.ntris, 0);
        EXPECT_EQ(m.mesh.tris, nullptr);
        EXPECT_EQ(m.mesh.center[0], 0.0f);
        EXPECT_EQ(m.mesh.extent, 0.0f);
    }
}

TEST(PlyReader, ReadsFromDiskThroughGeometry) {
    testsupport::TempDir dir;
    const Shape shape = intPyramid();
    testsupport::writeFile(dir / "pyramid.ply",
                           write(meshDoc(Encoding::BinaryBE, shape, "double", "short")));
    Geometry geometry;
    LoadedMesh m;
    const std::string path = (dir / "pyramid.ply").string();
    const LoadOutcome r = capture([&] { geometry.readPlyModel(&m.mesh, path.c_str()); });
    ASSERT_FALSE(r.exited) << r.err;
    EXPECT_EQ(r.out, "type 2\n");
    expectShape(m, shape);
}

TEST(PlyReader, TheSuffixIsAddedUnlessTheNameEndsInExactlyDotPly) {
    testsupport::TempDir dir;
    const Shape shape = intPyramid();
    const std::string bytes = write(meshDoc(Encoding::Ascii, shape, "float", "int"));
    testsupport::writeFile(dir / "model.ply", bytes);
    testsupport::writeFile(dir / "upper.PLY", bytes);
    Geometry geometry;
    for (const char* name : {"model.ply", "model"}) {
        LoadedMesh m;
        const std::string path = (dir / name).string();
        const LoadOutcome r = capture([&] { geometry.readPlyModel(&m.mesh, path.c_str()); });
        ASSERT_FALSE(r.exited) << name << ": " << r.err;
        expectShape(m, shape);
    }
    // upper.PLY does not carry the suffix, so upper.PLY.ply is tried, and it does not exist.
    LoadedMesh m;
    const std::string path = (dir / "upper.PLY").string();
    const LoadOutcome r = capture([&] { geometry.readPlyModel(&m.mesh, path.c_str()); });
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.err, "read_model(): can't open input file " + path + "\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(m.mesh.verts, nullptr);
}

TEST(PlyReader, ALoadThatEndsLeavesTheMeshEmptyAndFreesWhatItHeld) {
    // Faces read, then a bad corner: nothing may stay half-built in the mesh (and under the
    // address sanitizer nothing may leak).
    Shape shape = intPyramid();
    shape.faces.push_back({0, 1, 5});
    LoadedMesh m;
    const LoadOutcome r = loadBytes(m, write(meshDoc(Encoding::BinaryLE, shape, "float", "int")));
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.err, "read_model(): mesh.ply: face 5 refers to vertex 5, outside the 5 vertices\n");
    EXPECT_EQ(m.mesh.verts, nullptr);
    EXPECT_EQ(m.mesh.tris, nullptr);
    EXPECT_EQ(m.mesh.nverts, 0);
}

TEST(PlyReader, TheProcessEndsWithStatusMinusOneOnBadInput) {
    // Real process ends, not the trapped ones: the status the shell sees is 255.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    LoadedMesh m;
    EXPECT_EXIT(readPlyModelFromBytes(&m.mesh, "cut.ply", "ply\nformat ascii 1.0\n"),
                testing::ExitedWithCode(255), "read_model\\(\\): can't open input file cut.ply");
    EXPECT_EXIT(readPlyModelFromBytes(&m.mesh, "cut.ply",
                                      "ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\n"
                                      "end_header\n1 2 3 4 5 6 7 8 9\n"),
                testing::ExitedWithCode(255), "ply_get_element: unexpected end of file");
    Geometry geometry;
    EXPECT_EXIT(geometry.readPlyModel(&m.mesh, "no/such/dir/model.ply"),
                testing::ExitedWithCode(255),
                "read_model\\(\\): can't open input file no/such/dir/model.ply");
}

TEST(PlyReader, ReadModelSendsPlyFilesHereAndScalesThemLikeAnyModel) {
    testsupport::TempDir dir;
    // A corner of the unit cube scaled by 2: box 0..2 on every axis, centre 1, half side 1.
    const Shape tet{{{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 2}},
                    {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}}};
    testsupport::writeFile(dir / "tet.ply",
                           write(meshDoc(Encoding::BinaryLE, tet, "float", "int")));
    testsupport::writeFile(dir / "tet.PLY", write(meshDoc(Encoding::Ascii, tet, "float", "int")));
    Geometry geometry;
    const std::string path = (dir / "tet.ply").string();
    const LoadOutcome r = capture([&] { geometry.readModel(&geometry.model, path.c_str()); });
    ASSERT_FALSE(r.exited) << r.err;
    EXPECT_EQ(r.out, "ProgName : tet\n"
                     "# Read 'tet' in 'PLY' format\n"
                     "type 3\n"
                     "# 4 vertices, 4 triangles, extent: 1.000000\n");
    const Smesh& m = geometry.model;
    ASSERT_EQ(m.nverts, 4);
    // (p - 1) / 1 * 9.9 on every axis.
    EXPECT_EQ(m.verts[0].pos[0], -9.9f);
    EXPECT_EQ(m.verts[1].pos[0], 9.9f);
    EXPECT_EQ(m.verts[3].pos[2], 9.9f);
    EXPECT_EQ(m.tris[3].verts[2], &m.verts[3]);
    EXPECT_STREQ(m.name, "tet");

    // The extension is matched in any letter case, but the reader adds ".ply" to a name that
    // does not end in exactly that, so tet.PLY.ply is looked for.
    const std::string upper = (dir / "tet.PLY").string();
    const LoadOutcome u = capture([&] { geometry.readModel(&geometry.model, upper.c_str()); });
    EXPECT_TRUE(u.exited);
    EXPECT_EQ(u.status, -1);
    EXPECT_EQ(u.err, "read_model(): can't open input file " + upper + "\n");
}
