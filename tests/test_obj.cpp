// The OBJ library (two passes, faces, groups, materials) and its conversion into a mesh with
// one mesh vertex per position and normal index.
#include "geom_util.h"

#include <unistd.h>

using namespace geomtest;

namespace {

struct GlmOwner {
    GLMmodel* m = nullptr;
    ~GlmOwner() {
        if (m) glmDelete(m);
    }
};

// A material source that serves one text and remembers the path asked for.
struct Materials {
    std::string text;
    bool present = true;
    std::vector<std::string> asked;
    GLMmaterialSource source() {
        return [this](const char* path, std::string& bytes) {
            asked.push_back(path);
            if (!present) return false;
            bytes = text;
            return true;
        };
    }
};

Outcome readGlm(GlmOwner& owner, const std::string& text, Materials* materials = nullptr,
                const char* name = "t.obj") {
    Materials none;
    none.present = false;
    Materials& use = materials ? *materials : none;
    return trapped([&] { owner.m = glmReadOBJFromBytes(name, text, use.source()); });
}

Outcome readObj(Smesh* mesh, const std::string& text, const char* name = "t.obj") {
    Geometry g;
    Materials none;
    none.present = false;
    return trapped([&] { g.readObjModelFromBytes(mesh, name, text, none.source()); });
}

std::array<unsigned, 3> vindices(const GLMmodel* m, int t) {
    return {m->triangles[t].vindices[0], m->triangles[t].vindices[1], m->triangles[t].vindices[2]};
}

const std::string square = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n";

} // namespace

TEST(ObjLibrary, QuadIsFannedFromItsFirstCorner) {
    GlmOwner g;
    const Outcome o = readGlm(g, square + "f 1 2 3 4\n");
    ASSERT_FALSE(o.ended) << o.err;
    ASSERT_EQ(g.m->numtriangles, 2u);
    EXPECT_EQ(vindices(g.m, 0), (std::array<unsigned, 3>{1, 2, 3}));
    EXPECT_EQ(vindices(g.m, 1), (std::array<unsigned, 3>{1, 3, 4}));
    EXPECT_EQ(g.m->numvertices, 4u);
    EXPECT_EQ(g.m->vertices[3 * 3 + 0], 1.0f);
    EXPECT_EQ(g.m->vertices[3 * 3 + 1], 1.0f);
    EXPECT_EQ(g.m->normals, nullptr);
    EXPECT_EQ(g.m->texcoords, nullptr);
    EXPECT_STREQ(g.m->pathname, "t.obj");
    EXPECT_EQ(g.m->mtllibname, nullptr);
    EXPECT_EQ(g.m->nummaterials, 0u);
}

TEST(ObjLibrary, FirstPassCountsAndPreparesTheGroups) {
    GlmOwner g;
    g.m = static_cast<GLMmodel*>(std::calloc(1, sizeof(GLMmodel)));
    g.m->pathname = static_cast<char*>(std::malloc(6));
    std::memcpy(g.m->pathname, "t.obj", 6);
    const std::string text = square + "vn 0 0 1\nvt 0 0\nvt 1 1\nf 1 2 3 4\ng side\nf 1 2 3\n";
    Materials none;
    none.present = false;
    const Outcome o = trapped([&] { _glmFirstPass(g.m, text, none.source()); });
    ASSERT_FALSE(o.ended) << o.err;
    EXPECT_EQ(g.m->numvertices, 4u);
    EXPECT_EQ(g.m->numnormals, 1u);
    EXPECT_EQ(g.m->numtexcoords, 2u);
    EXPECT_EQ(g.m->numtriangles, 3u);
    EXPECT_EQ(g.m->numgroups, 2u);
    // Each group has room for its triangles and its count starts again from 0 for the second
    // pass.
    for (GLMgroup* group = g.m->groups; group; group = group->next) {
        EXPECT_EQ(group->numtriangles, 0u);
        EXPECT_NE(group->triangles, nullptr);
    }
    EXPECT_EQ(g.m->vertices, nullptr);
}

TEST(ObjLibrary, CornerFormatsAndTheirIndices) {
    const std::string text = square + "vn 0 0 1\nvn 0 0 -1\nvt 0.5 0.25\nvt 1 1\nvt 0.75\n"
                                      "f 1/1/2 2/2/2 3/3/1 4/1/1\n"
                                      "f 1//1 2//2 3//1\n"
                                      "f 4/2 3/3 2/1\n";
    GlmOwner g;
    const Outcome o = readGlm(g, text);
    ASSERT_FALSE(o.ended) << o.err;
    ASSERT_EQ(g.m->numtriangles, 4u);
    const GLMtriangle& fan = g.m->triangles[1];
    EXPECT_EQ(fan.vindices[2], 4u);
    EXPECT_EQ(fan.tindices[2], 1u);
    EXPECT_EQ(fan.nindices[0], 2u);
    EXPECT_EQ(fan.nindices[1], 1u);
    const GLMtriangle& pn = g.m->triangles[2];
    EXPECT_EQ(pn.nindices[1], 2u);
    EXPECT_EQ(pn.tindices[1], 0u);
    const GLMtriangle& pt = g.m->triangles[3];
    EXPECT_EQ(pt.tindices[0], 2u);
    EXPECT_EQ(pt.nindices[0], 0u);
    EXPECT_EQ(g.m->normals[3 * 2 + 2], -1.0f);
    EXPECT_EQ(g.m->texcoords[2 * 1 + 1], 0.25f);
    // A coordinate with only its first number gets 0 for the second.
    EXPECT_EQ(g.m->texcoords[2 * 3], 0.75f);
    EXPECT_EQ(g.m->texcoords[2 * 3 + 1], 0.0f);
}

TEST(ObjLibrary, NegativeIndicesCountBackFromTheLatestEntry) {
    const std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf -3//-1 -2//-1 -1//-1\n"
                             "v 5 5 5\nf -4 -3 -1\n";
    GlmOwner g;
    const Outcome o = readGlm(g, text);
    ASSERT_FALSE(o.ended) << o.err;
    EXPECT_EQ(vindices(g.m, 0), (std::array<unsigned, 3>{1, 2, 3}));
    EXPECT_EQ(g.m->triangles[0].nindices[2], 1u);
    EXPECT_EQ(vindices(g.m, 1), (std::array<unsigned, 3>{1, 2, 4}));
}

TEST(ObjLibrary, FacesReadOnAcrossLineEnds) {
    GlmOwner g;
    const Outcome o = readGlm(g, square + "f 1 2\n3\n4\nf 4 3 2\n");
    ASSERT_FALSE(o.ended) << o.err;
    ASSERT_EQ(g.m->numtriangles, 3u);
    EXPECT_EQ(vindices(g.m, 1), (std::array<unsigned, 3>{1, 3, 4}));
    EXPECT_EQ(vindices(g.m, 2), (std::array<unsigned, 3>{4, 3, 2}));
}

TEST(ObjLibrary, UnknownVWordIsSkippedWithItsLine) {
    GlmOwner g;
    const Outcome o = readGlm(g, "v 0 0 0\nvp 1 2 3\nvx\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    ASSERT_FALSE(o.ended) << o.err;
    EXPECT_EQ(o.out, "_glmFirstPass(): Unknown token \"vp\".\n"
                     "_glmFirstPass(): Unknown token \"vx\".\n");
    EXPECT_EQ(g.m->numvertices, 3u);
    EXPECT_EQ(g.m->vertices[3 * 3 + 1], 1.0f);
    EXPECT_EQ(g.m->numtriangles, 1u);
}

TEST(ObjLibrary, CommentsAndUsemtlLinesDoNotCount) {
    GlmOwner g;
    const Outcome o = readGlm(g, "# v 1 2 3\n# f 1 2 3\nusemtl v\n" + square +
                                     "s off\no thing\nf 1 2 3 # f 4 4 4\n");
    ASSERT_FALSE(o.ended) << o.err;
    EXPECT_EQ(g.m->numvertices, 4u);
    EXPECT_EQ(g.m->numtriangles, 1u);
}

TEST(ObjLibrary, GroupsNewestFirstWithTheirTriangles) {
    const std::string text = square + "f 1 2 3\ng left\nf 1 3 4\ng right\nf 2 3 4\n"
                                      "g left\nf 4 3 2 1\ng\nf 1 2 4\n";
    GlmOwner g;
    const Outcome o = readGlm(g, text);
    ASSERT_FALSE(o.ended) << o.err;
    EXPECT_EQ(g.m->numgroups, 3u);
    ASSERT_NE(g.m->groups, nullptr);
    EXPECT_STREQ(g.m->groups->name, "right");
    EXPECT_STREQ(g.m->groups->next->name, "left");
    EXPECT_STREQ(g.m->groups->next->next->name, "default");
    EXPECT_EQ(g.m->groups->next->next->next, nullptr);
    GLMgroup* left = _glmFindGroup(g.m, "left");
    ASSERT_NE(left, nullptr);
    ASSERT_EQ(left->numtriangles, 3u);
    EXPECT_EQ(left->triangles[0], 1u);
    EXPECT_EQ(left->triangles[1], 3u);
    EXPECT_EQ(left->triangles[2], 4u);
    GLMgroup* def = _glmFindGroup(g.m, "default");
    ASSERT_EQ(def->numtriangles, 2u);
    EXPECT_EQ(def->triangles[1], 5u);
    EXPECT_EQ(_glmFindGroup(g.m, "Left"), nullptr);
    EXPECT_EQ(_glmAddGroup(g.m, "left"), left);
    EXPECT_EQ(g.m->numgroups, 3u);
}

TEST(ObjLibrary, MaterialFileAndUsemtl) {
    Materials mats;
    mats.text = "# two\nnewmtl red\nKd 1 0 0\nKa 0.1 0.2 0.3\nNs 500\n\n"
                "newmtl shiny\nKs 1 1 1\nillum 2\n";
    const std::string text = "mtllib lib.mtl\n" + square +
                             "usemtl shiny\nf 1 2 3\ng part\nusemtl red\nf 1 3 4\n"
                             "g other\nusemtl blue\nf 2 3 4\n";
    GlmOwner g;
    const Outcome o = readGlm(g, text, &mats);
    ASSERT_FALSE(o.ended) << o.err;
    ASSERT_EQ(mats.asked.size(), 1u);
    EXPECT_EQ(mats.asked[0], "lib.mtl");
    EXPECT_STREQ(g.m->mtllibname, "lib.mtl");
    ASSERT_EQ(g.m->nummaterials, 3u);
    const GLMmaterial* m = g.m->materials;
    EXPECT_STREQ(m[0].name, "default");
    EXPECT_STREQ(m[1].name, "red");
    EXPECT_STREQ(m[2].name, "shiny");
    EXPECT_EQ(m[0].diffuse[0], 0.8f);
    EXPECT_EQ(m[0].ambient[3], 1.0f);
    EXPECT_EQ(m[0].specular[0], 0.0f);
    EXPECT_EQ(m[1].diffuse[0], 1.0f);
    EXPECT_EQ(m[1].diffuse[1], 0.0f);
    EXPECT_EQ(m[1].diffuse[3], 1.0f);
    EXPECT_EQ(m[1].ambient[2], 0.3f);
    EXPECT_EQ(m[1].shininess, 64.0f); // 500 / 1000 * 128
    EXPECT_EQ(m[2].specular[1], 1.0f);
    EXPECT_EQ(m[2].diffuse[0], 0.8f);
    // The working directory is printed before the material file is looked for; the unknown
    // material is reported and the default used.
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(o.out, std::string(cwd) + "\n_glmFindMaterial():  can't find material \"blue\".\n");
    EXPECT_EQ(_glmFindGroup(g.m, "default")->material, 2u);
    EXPECT_EQ(_glmFindGroup(g.m, "part")->material, 1u);
    EXPECT_EQ(_glmFindGroup(g.m, "other")->material, 0u); // "blue" falls back to the default
    EXPECT_EQ(_glmFindMaterial(g.m, "shiny"), 2u);
}

TEST(ObjLibrary, RepeatedMtllibReadsItsFileOnce) {
    Materials mats;
    mats.text = "newmtl a\nKd 0 1 0\n";
    GlmOwner g;
    const Outcome o = readGlm(g,
                              "mtllib x.mtl\nmtllib x.mtl\n" + square +
                                  "mtllib x.mtl\nusemtl a\nf 1 2 3\nmtllib y.mtl\n",
                              &mats);
    ASSERT_FALSE(o.ended) << o.err;
    // x.mtl is read once though named three times (the working directory is printed each
    // time); y.mtl is read as well, and its materials replace x's.
    EXPECT_EQ(mats.asked, (std::vector<std::string>{"x.mtl", "y.mtl"}));
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    const std::string line = std::string(cwd) + "\n";
    EXPECT_EQ(o.out, line + line + line + line);
    EXPECT_STREQ(g.m->mtllibname, "y.mtl");
    ASSERT_EQ(g.m->nummaterials, 2u);
    EXPECT_EQ(g.m->materials[1].diffuse[1], 1.0f);
    EXPECT_EQ(_glmFindGroup(g.m, "default")->material, 1u);
}

TEST(ObjLibrary, ManyGroupsAndMaterials) {
    Materials mats;
    std::string text = "mtllib m.mtl\n" + square;
    for (int k = 0; k < 3000; ++k) {
        mats.text += "newmtl m" + std::to_string(k) + "\n";
        text +=
            "g part" + std::to_string(k % 1000) + "\nusemtl m" + std::to_string(k) + "\nf 1 2 3\n";
    }
    GlmOwner g;
    const Outcome o = readGlm(g, text, &mats);
    ASSERT_FALSE(o.ended) << o.err;
    EXPECT_EQ(g.m->nummaterials, 3001u);
    EXPECT_EQ(g.m->numgroups, 1001u);
    GLMgroup* part7 = _glmFindGroup(g.m, "part7");
    ASSERT_NE(part7, nullptr);
    ASSERT_EQ(part7->numtriangles, 3u);
    EXPECT_EQ(part7->triangles[0], 7u);
    EXPECT_EQ(part7->triangles[2], 2007u);
    EXPECT_EQ(part7->material, 2008u); // the material of its last usemtl, m2007
    EXPECT_EQ(_glmFindMaterial(g.m, "m2999"), 3000u);
}

TEST(ObjLibrary, MaterialFileIsLookedForBesideTheObjOnlyAfterABackslash) {
    for (const auto& [path, expected] : std::vector<std::pair<std::string, std::string>>{
             {"data/models/a.obj", "m.mtl"},
             {"data\\models\\a.obj", "data\\models\\m.mtl"},
             {"C:\\x/y.obj", "C:\\m.mtl"}}) {
        Materials mats;
        mats.present = false;
        GlmOwner g;
        const Outcome o = readGlm(g, "mtllib m.mtl\n" + square, &mats, path.c_str());
        ASSERT_FALSE(o.ended);
        ASSERT_EQ(mats.asked.size(), 1u);
        EXPECT_EQ(mats.asked[0], expected);
        EXPECT_EQ(o.err, "_glmReadMTL() failed: can't open material file \"" + expected + "\".\n");
        EXPECT_EQ(g.m->nummaterials, 0u);
    }
    char* dir = _glmDirName("a\\b\\c.obj");
    EXPECT_STREQ(dir, "a\\b\\");
    std::free(dir);
    dir = _glmDirName("a/b/c.obj");
    EXPECT_STREQ(dir, "");
    std::free(dir);
}

TEST(ObjLibrary, WorkingDirectoryThatIsGoneIsReported) {
    char saved[4096];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    testsupport::TempDir tmp;
    const std::filesystem::path gone = tmp / "gone";
    std::filesystem::create_directory(gone);
    ASSERT_EQ(chdir(gone.c_str()), 0);
    std::filesystem::remove(gone);
    Materials mats;
    mats.present = false;
    GlmOwner g;
    const Outcome o = readGlm(g, "mtllib m.mtl\n" + square, &mats);
    ASSERT_EQ(chdir(saved), 0);
    ASSERT_FALSE(o.ended);
    EXPECT_TRUE(startsWith(o.err, "_getcwd error")) << o.err;
    EXPECT_NE(o.err.find("_glmReadMTL() failed"), std::string::npos);
}

TEST(ObjLibrary, RefusalsNameTheFileAndTheLine) {
    struct Case {
        std::string text;
        const char* line;
    };
    const Case cases[] = {
        {"v 0 0 0\nv 1 0\n", "read_model(): bad.obj:2: a vertex line without its three numbers\n"},
        {"vn 0 x 1\n", "read_model(): bad.obj:1: a normal line without its three numbers\n"},
        {"vt\n", "read_model(): bad.obj:1: a texture line without its numbers\n"},
        {square + "f 1 2\n", "read_model(): bad.obj:5: a face with fewer than three corners\n"},
        {square + "f a b c\n",
         "read_model(): bad.obj:5: a face whose first corner is not a vertex index\n"},
        {square + "f 1 2 5\n",
         "read_model(): bad.obj:5: a face corner refers to position 5, outside 1..4\n"},
        {square + "f 0 1 2\n",
         "read_model(): bad.obj:5: a face corner refers to position 0, outside 1..4\n"},
        {square + "f -5 1 2\n",
         "read_model(): bad.obj:5: a face corner refers to position -5, outside 1..4\n"},
        {square + "vn 0 0 1\nf 1//1 2//2 3//1\n",
         "read_model(): bad.obj:6: a face corner refers to normal 2, outside 1..1\n"},
        {square + "f 1/1 2/1 3/1\n",
         "read_model(): bad.obj:5: a face corner refers to texture coordinate 1, outside 1..0\n"},
        {"v 0 0 0\nf -1 -1 -2\nv 1 1 1\n",
         "read_model(): bad.obj:2: a face corner refers to position -2, outside 1..2\n"},
    };
    for (const Case& c : cases) {
        GlmOwner g;
        const Outcome o = readGlm(g, c.text, nullptr, "bad.obj");
        EXPECT_TRUE(o.ended) << c.text;
        EXPECT_EQ(o.status, -1);
        EXPECT_EQ(o.err, c.line) << c.text;
    }
}

TEST(ObjLibrary, LongWordsAndLinesNeverOverflow) {
    const std::string longName(200000, 'g');
    const std::string text = "# " + std::string(100000, '#') + "\n" + square + "g " + longName +
                             "\nf 1 2 3\nusemtl " + std::string(50000, 'u') + "\nv 0 0 1 " +
                             std::string(100000, '7') + "\nf 1 2 5\n" + std::string(70000, 'q') +
                             " 1 2 3\n";
    GlmOwner g;
    const Outcome o = readGlm(g, text);
    ASSERT_FALSE(o.ended) << o.err;
    EXPECT_EQ(g.m->numvertices, 5u);
    EXPECT_EQ(g.m->numtriangles, 2u);
    EXPECT_EQ(std::strlen(g.m->groups->name), longName.size());
    EXPECT_EQ(g.m->vertices[3 * 5 + 2], 1.0f);
}

TEST(ObjLibrary, MissingFile) {
    GLMmodel* m = nullptr;
    const Outcome o = trapped([&] { m = glmReadOBJ("no/such/file.obj"); });
    EXPECT_FALSE(o.ended);
    EXPECT_EQ(m, nullptr);
    EXPECT_EQ(o.err, "glmReadOBJ() failed: can't open data file \"no/such/file.obj\".\n");
    Geometry geometry;
    const Outcome r = trapped([&] { geometry.readObjModel(&geometry.model, "no/such/file.obj"); });
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.err, o.err);
}

TEST(ObjConversion, PositionWithTwoNormalsBecomesTwoVertices) {
    const std::string text = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 2 0\n"
                             "vn 1 0 0\nvn 0 1 0\nvn 0 0 1\nvn 1 1 0\nvn 1 1 1\n"
                             "f 1//1 2//2 3//3\nf 1//4 3//3 5//5\n";
    OwnedMesh m;
    const Outcome o = readObj(m.get(), text);
    ASSERT_FALSE(o.ended) << o.err;
    // Five positions first, then the copy of position 1 (index 0) for normal 4 (index 3).
    ASSERT_EQ(m->nverts, 6);
    ASSERT_EQ(m->ntris, 2);
    EXPECT_EQ(corners(m.m)[0], (std::array<int, 3>{0, 1, 2}));
    EXPECT_EQ(corners(m.m)[1], (std::array<int, 3>{5, 2, 4}));
    EXPECT_EQ(m->verts[5].pos[0], 0.0f);
    EXPECT_EQ(m->verts[5].pos[1], 0.0f);
    expectConsistent(m.m);
    // The bounds come from the file's positions.
    EXPECT_EQ(m->center[0], 1.0f);
    EXPECT_EQ(m->extent, 1.0f);
}

TEST(ObjConversion, FindNormalLooksInThePositionsOwnList) {
    ClinkedList<Svector3> lists[2];
    Svector3 key;
    key.vindex = 1;
    key.nindex = 4;
    EXPECT_EQ(Geometry::findNormal(lists, &key), -1);
    Svector3 a, b;
    a.vindex = 1;
    a.nindex = 2;
    b.vindex = 7;
    b.nindex = 4;
    lists[1].append(a);
    lists[1].append(b);
    EXPECT_EQ(Geometry::findNormal(lists, &key), 7);
    key.nindex = 2;
    EXPECT_EQ(Geometry::findNormal(lists, &key), 1);
    key.vindex = 0;
    EXPECT_EQ(Geometry::findNormal(lists, &key), -1);
    EXPECT_EQ(lists[1].size(), 2);
    EXPECT_FALSE(lists[1].isEmpty());
    EXPECT_TRUE(lists[0].isEmpty());
}

TEST(ObjConversion, PositionWithManyNormalsKeepsOneVertexPerNormal) {
    // Position 1 is used with 100 normals, then again with them in reverse and shuffled order:
    // the first use of each normal makes a new vertex (after the three positions), every later
    // use finds that same vertex. The expected numbers are worked out here with a plain table.
    std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    for (int k = 1; k <= 100; ++k)
        text += "vn 0 0 " + std::to_string(k) + "\n";
    std::vector<int> order;
    for (int k = 1; k <= 100; ++k)
        order.push_back(k);
    for (int k = 100; k >= 1; --k)
        order.push_back(k);
    for (int k = 0; k < 100; ++k)
        order.push_back((k * 37) % 100 + 1);
    for (int k : order)
        text += "f 1//" + std::to_string(k) + " 2//1 3//1\n";
    OwnedMesh m;
    const Outcome o = readObj(m.get(), text);
    ASSERT_FALSE(o.ended) << o.err;
    std::vector<int> vertexOf(101, -1);
    int next = 3;
    for (size_t t = 0; t < order.size(); ++t) {
        const int k = order[t];
        if (vertexOf[k] < 0) vertexOf[k] = k == 1 ? 0 : next++;
        EXPECT_EQ(corners(m.m)[t][0], vertexOf[k]) << t;
    }
    EXPECT_EQ(m->nverts, 102);
}

TEST(ObjConversion, NoNormalsOrTextureOnlyMeansNoSplits) {
    for (ObjCorners c : {ObjCorners::positions, ObjCorners::withTexture}) {
        OwnedMesh m;
        const Outcome o = readObj(m.get(), objText(fanned(cubeQuads()), c));
        ASSERT_FALSE(o.ended) << o.err;
        EXPECT_EQ(m->nverts, 8);
        EXPECT_EQ(m->ntris, 12);
    }
}

TEST(ObjConversion, UnusedPositionsStillGetRoomWithTheSplitCopies) {
    // Twelve positions, one face, which uses positions 1 to 3 with two normals each: every
    // position plus the copies must fit (AddressSanitizer watches the writes).
    std::string text;
    for (int i = 0; i < 12; ++i)
        text += "v " + std::to_string(i) + " 0 0\n";
    text += "vn 1 0 0\nvn 0 1 0\nf 1//1 2//1 3//1\nf 1//2 2//2 3//2\nf 3//2 2//1 1//1\n";
    OwnedMesh m;
    const Outcome o = readObj(m.get(), text);
    ASSERT_FALSE(o.ended) << o.err;
    ASSERT_EQ(m->nverts, 15);
    EXPECT_EQ(corners(m.m)[1], (std::array<int, 3>{12, 13, 14}));
    EXPECT_EQ(corners(m.m)[2], (std::array<int, 3>{14, 1, 0}));
    EXPECT_EQ(m->verts[14].pos[0], 2.0f);
}

TEST(ObjConversion, FirstTenPositionsAreEchoed) {
    std::string text;
    for (int i = 0; i < 11; ++i)
        text += "v " + std::to_string(i) + ".5 " + (i ? "-" : "") + std::to_string(i) + " 0.1\n";
    OwnedMesh m;
    const Outcome o = readObj(m.get(), text);
    ASSERT_FALSE(o.ended) << o.err;
    std::string expected;
    for (int i = 0; i < 10; ++i)
        expected += std::to_string(i) + ".5, " + (i ? "-" : "") + std::to_string(i) + ", 0.1\n";
    EXPECT_EQ(o.out, expected);
    // No faces: the mesh still holds every position.
    EXPECT_EQ(m->nverts, 11);
    EXPECT_EQ(m->ntris, 0);
}

TEST(ObjConversion, EmptyFileKeepsTheOpenBounds) {
    OwnedMesh m;
    const Outcome o = readObj(m.get(), "# nothing\n");
    ASSERT_FALSE(o.ended) << o.err;
    EXPECT_EQ(m->nverts, 0);
    EXPECT_EQ(m->center[0], 0.0f);
    EXPECT_EQ(m->extent, static_cast<float>(-8e30));
}

TEST(ObjConversion, EveryPrefixLoadsOrIsRefusedInOneLine) {
    const std::string full =
        "# cube\ng box\nusemtl x\n" + objText(fanned(cubeQuads()), ObjCorners::withBoth);
    for (size_t n = 0; n <= full.size(); ++n) {
        OwnedMesh m;
        const Outcome o = readObj(m.get(), full.substr(0, n), "cut.obj");
        if (o.ended) {
            expectRejected(o, "cut.obj");
            continue;
        }
        expectConsistent(m.m);
        EXPECT_LE(m->ntris, 12);
    }
}
