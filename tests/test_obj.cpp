// The OBJ library (two passes, faces, groups, materials) and its conversion into a mesh with one
// mesh vertex per position and normal index. Its refusals are in the corpus test.
#include "geom_util.h"

#include <memory>
#include <unistd.h>

using namespace geomtest;

namespace {

using Glm = ModelOwner;

// Reads text with a material source that serves mtl (none when null) and records the paths
// asked for.
Outcome readGlm(Glm& g, const std::string& text, const char* mtl = nullptr,
                std::vector<std::string>* asked = nullptr, const char* name = "t.obj") {
    return trapped([&] {
        g.reset(glmReadOBJFromBytes(name, text, [&](const char* path, std::string& bytes) {
            if (asked) asked->push_back(path);
            bytes = mtl ? mtl : "";
            return mtl != nullptr;
        }));
    });
}

// Each triangle as "positions/textures/normals ".
std::string indices(const GLMmodel& m) {
    std::string out;
    for (unsigned t = 0; t < m.numtriangles; ++t)
        for (const unsigned* a :
             {m.triangles[t].vindices, m.triangles[t].tindices, m.triangles[t].nindices})
            out += std::to_string(a[0]) + "," + std::to_string(a[1]) + "," + std::to_string(a[2]) +
                   (a == m.triangles[t].nindices ? " " : "/");
    return out;
}

std::vector<float> colours(const GLMmaterial& m) {
    std::vector<float> v(m.diffuse, m.diffuse + 4);
    v.insert(v.end(), m.ambient, m.ambient + 4);
    v.insert(v.end(), m.specular, m.specular + 4);
    v.push_back(m.shininess);
    return v;
}

std::string cwdLine() {
    char cwd[4096];
    return std::string(getcwd(cwd, sizeof cwd) ? cwd : "?") + "\n";
}

const std::string square = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n";

} // namespace

TEST(ObjLibrary, FacesInEveryCornerFormat) {
    // Fans from the first corner, read on across line ends; negative indices count back from the
    // latest entry read so far; comments, "s" and "o" lines count nothing; an unknown "v" word is
    // reported and its line passed over; a coordinate with one number gets 0 for the second.
    Glm g;
    const Outcome o = readGlm(g, "# v 1 2 3\n" + square +
                                     "vn 0 0 1\nvn 0 0 -1\nvt 0.5 0.25\nvt 1 1\nvt 0.75\n"
                                     "vp 1 2 3\ns off\no thing\nf 1 2 3 4\n"
                                     "f 1/1/2 2/2/2 3/3/1 4/1/1\nf 1//1 2//2 3//1\nf 4/2 3/3 2/1\n"
                                     "f -4 -3\n-1 # f 4 4 4\nv 9 9 9\n");
    EXPECT_EQ(o.out, "_glmFirstPass(): Unknown token \"vp\".\n");
    EXPECT_EQ(indices(*g), "1,2,3/0,0,0/0,0,0 1,3,4/0,0,0/0,0,0 1,2,3/1,2,3/2,2,1 "
                           "1,3,4/1,3,1/2,1,1 1,2,3/0,0,0/1,2,1 4,3,2/2,3,1/0,0,0 "
                           "1,2,4/0,0,0/0,0,0 ");
    EXPECT_EQ(std::vector<unsigned>({g->numvertices, g->numnormals, g->numtexcoords}),
              std::vector<unsigned>({5, 2, 3}));
    EXPECT_EQ(g->normals[3 * 2 + 2], -1.0f);
    EXPECT_EQ(std::vector<float>(g->texcoords + 2, g->texcoords + 8),
              std::vector<float>({0.5f, 0.25f, 1, 1, 0.75f, 0}));
    EXPECT_EQ(g->vertices[3 * 5 + 1], 9.0f);
}

TEST(ObjLibrary, GroupsNewestFirstWithTheirTriangles) {
    Glm g;
    readGlm(g, square + "f 1 2 3\ng left\nf 1 3 4\ng right\nf 2 3 4\ng left\nf 4 3 2 1\ng\n"
                        "f 1 2 4\n");
    std::string groups;
    for (GLMgroup* x = g->groups; x; x = x->next)
        for (unsigned t = 0; t < x->numtriangles; ++t)
            groups += x->name + std::to_string(x->triangles[t]) + " ";
    EXPECT_EQ(groups, "right2 left1 left3 left4 default0 default5 ");
    EXPECT_EQ(_glmFindGroup(g.get(), "Left"), nullptr);
    EXPECT_EQ(_glmAddGroup(g.get(), "left"), g->groups->next);
    EXPECT_EQ(g->numgroups, 3u);
}

TEST(ObjLibrary, MaterialFilesAndUsemtl) {
    // The working directory is printed before the material file is looked for; an unknown
    // material is reported and the default used.
    std::vector<std::string> asked;
    Glm g;
    const Outcome o = readGlm(g,
                              "mtllib lib.mtl\n" + square +
                                  "usemtl shiny\nf 1 2 3\ng part\nusemtl red\nf 1 3 4\n"
                                  "g other\nusemtl blue\nf 2 3 4\n",
                              "# two\nnewmtl red\nKd 1 0 0\nKa 0.1 0.2 0.3\nNs 500\n\n"
                              "newmtl shiny\nKs 1 1 1\nillum 2\n",
                              &asked);
    EXPECT_EQ(o.out, cwdLine() + "_glmFindMaterial():  can't find material \"blue\".\n");
    EXPECT_EQ(asked, std::vector<std::string>({"lib.mtl"}));
    EXPECT_STREQ(g->mtllibname, "lib.mtl");
    ASSERT_EQ(g->nummaterials, 3u);
    const GLMmaterial* m = g->materials;
    EXPECT_EQ(std::string(m[0].name) + m[1].name + m[2].name, "defaultredshiny");
    std::vector<float> defaults = {.8f, .8f, .8f, 1, .2f, .2f, .2f, 1, 0, 0, 0, 1, 0};
    EXPECT_EQ(colours(m[0]), defaults);
    EXPECT_EQ(colours(m[1]), std::vector<float>({1, 0, 0, 1, .1f, .2f, .3f, 1, 0, 0, 0, 1, 64}));
    std::fill(defaults.begin() + 8, defaults.begin() + 11, 1.0f);
    EXPECT_EQ(colours(m[2]), defaults);
    EXPECT_EQ(_glmFindGroup(g.get(), "default")->material, 2u);
    EXPECT_EQ(_glmFindGroup(g.get(), "part")->material, 1u);
    EXPECT_EQ(_glmFindGroup(g.get(), "other")->material, 0u);
    EXPECT_EQ(_glmFindMaterial(g.get(), "shiny"), 2u);
    // x.mtl is read once though named three times (the directory is printed each time); y.mtl
    // is read as well and its materials replace x's.
    asked.clear();
    const Outcome r = readGlm(g,
                              "mtllib x.mtl\nmtllib x.mtl\n" + square +
                                  "mtllib x.mtl\nusemtl a\nf 1 2 3\nmtllib y.mtl\n",
                              "newmtl a\n", &asked);
    EXPECT_EQ(asked, std::vector<std::string>({"x.mtl", "y.mtl"}));
    EXPECT_EQ(r.out, cwdLine() + cwdLine() + cwdLine() + cwdLine());
    EXPECT_STREQ(g->mtllibname, "y.mtl");
    EXPECT_EQ(_glmFindGroup(g.get(), "default")->material, 1u);
    // Named 20,000 times in turn, each of two files is fetched once.
    std::string alternating;
    for (int k = 0; k < 10000; ++k)
        alternating += "mtllib a.mtl\nmtllib b.mtl\n";
    asked.clear();
    readGlm(g, alternating + square, "newmtl a\n", &asked);
    EXPECT_EQ(asked, std::vector<std::string>({"a.mtl", "b.mtl"}));
    // The material file is looked for beside the OBJ file (after either separator), then in the
    // working folder.
    for (const auto& [path, expected] : std::vector<std::pair<std::string, std::string>>{
             {"a.obj", "m.mtl"},
             {"data/models/a.obj", "data/models/m.mtl"},
             {"data\\models\\a.obj", "data\\models\\m.mtl"},
             {"C:\\x/y.obj", "C:\\x/m.mtl"}}) {
        asked.clear();
        const Outcome e = readGlm(g, "mtllib m.mtl\n" + square, nullptr, &asked, path.c_str());
        const std::vector<std::string> both = {expected, "m.mtl"}, one = {"m.mtl"};
        EXPECT_EQ(asked, path == "a.obj" ? one : both);
        EXPECT_EQ(e.err, "_glmReadMTL() failed: can't open material file \"" + expected + "\".\n");
    }
    // A working directory that is gone is reported through perror.
    const std::string saved = cwdLine();
    testsupport::TempDir tmp;
    std::filesystem::create_directory(tmp / "gone");
    ASSERT_EQ(chdir((tmp / "gone").c_str()), 0);
    std::filesystem::remove(tmp / "gone");
    const Outcome gone = readGlm(g, "mtllib m.mtl\n" + square);
    ASSERT_EQ(chdir(saved.substr(0, saved.size() - 1).c_str()), 0);
    EXPECT_EQ(gone.err.rfind("_getcwd error", 0), 0u) << gone.err;
    EXPECT_NE(gone.err.find("_glmReadMTL() failed"), std::string::npos);
}

TEST(ObjConversion, OneMeshVertexPerPositionAndNormalIndexAndFirstTenEchoed) {
    // Position 1 with normals 1 and 4 becomes two vertices, the copy after all eleven positions
    // (six used by no face: the array must hold more than three vertices per triangle, which
    // AddressSanitizer watches), while position 3 with normal 3 twice stays one. The first ten
    // positions are echoed.
    std::string text = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 2 0\n";
    std::string echo = "0, 0, 0\n1, 0, 0\n1, 1, 0\n0, 1, 0\n2, 2, 0\n";
    for (int k = 0; k < 6; ++k) {
        text += "v -0.5 0.25 0\n";
        echo += k < 5 ? "-0.5, 0.25, 0\n" : "";
    }
    OwnedMesh m;
    const Outcome o = readBytes(m, "t.obj",
                                text + "vn 1 0 0\nvn 0 1 0\nvn 0 0 1\nvn 1 1 0\nvn 1 1 1\n"
                                       "f 1//1 2//2 3//3\nf 1//4 3//3 5//5\n");
    EXPECT_EQ(o.out, echo);
    EXPECT_EQ(corners(m), Tris({{0, 1, 2}, {11, 2, 4}}));
    EXPECT_EQ(positions(m)[11], positions(m)[0]);
    EXPECT_EQ(bounds(m), std::vector<float>({0.75f, 1, 0, 1.25f}));
    // A file without positions keeps the bounds' starting values.
    readBytes(m, "t.obj", "# nothing\n");
    EXPECT_EQ(bounds(m), std::vector<float>({0, 0, 0, static_cast<float>(-8e30)}));
    // Position 1 with 100 normals, then again in reverse and in shuffled order: the first use of
    // each normal makes a new vertex (after the three positions), every later use finds it.
    text = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    for (int k = 1; k <= 100; ++k)
        text += "vn 0 0 " + std::to_string(k) + "\n";
    std::vector<int> order, vertexOf(101, -1);
    for (int k = 0; k < 300; ++k) {
        order.push_back(k < 100 ? k + 1 : k < 200 ? 200 - k : (k * 37) % 100 + 1);
        text += "f 1//" + std::to_string(order.back()) + " 2//1 3//1\n";
    }
    readBytes(m, "t.obj", text);
    EXPECT_EQ(m.nverts, 102);
    ASSERT_EQ(m.ntris, 300);
    for (size_t t = 0, next = 3; t < order.size(); ++t) {
        int& v = vertexOf[order[t]];
        v = v >= 0 ? v : order[t] == 1 ? 0 : static_cast<int>(next++);
        ASSERT_EQ(m.tris[t].verts[0] - m.verts, v) << t;
    }
}
