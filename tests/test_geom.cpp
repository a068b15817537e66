// Mesh records and what is derived from them: incident lists, normals, areas, edges; allocation
// failures; number tokens.
#include "geom_util.h"
#include "textscan.h"

#include <random>
#include <set>

using namespace geomtest;

namespace {

// Random positions and triangles over all but the last position (corners may repeat).
Shape randomShape(unsigned seed, int nv, int nt) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> coord(-3, 3);
    std::uniform_int_distribution<int> pick(0, nv - 2);
    Shape s;
    for (int i = 0; i < nv; ++i)
        s.v.push_back({coord(rng), coord(rng), coord(rng)});
    for (int t = 0; t < nt; ++t)
        s.f.push_back({pick(rng), pick(rng), pick(rng)});
    return s;
}

float heronProduct(const float* p0, const float* p1, const float* p2) {
    auto side = [](const float* a, const float* b) {
        const float dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
        return std::sqrt(dx * dx + dy * dy + dz * dz);
    };
    const float d0 = side(p2, p0), d1 = side(p1, p0), d2 = side(p2, p1);
    const float s = (d0 + d1 + d2) * 0.5f;
    return (s - d0) * s * (s - d1) * (s - d2);
}

// Triangle normals and areas, then vertex areas and normals, worked out step by step in the
// precision of each step, and compared bit for bit with the mesh.
void expectDerived(const Smesh& m, const Shape& s) {
    std::vector<double> sums(4 * s.v.size(), 0); // weighted normal sums and area per vertex
    for (size_t t = 0; t < s.f.size(); ++t) {
        float p[3][3];
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k)
                p[c][k] = static_cast<float>(s.v[s.f[t][c]][k]);
        const float u[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
        const float w[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
        const float n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2],
                            u[0] * w[1] - u[1] * w[0]};
        const double len = std::sqrt(double(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]));
        const float area = std::sqrt(std::max(heronProduct(p[0], p[1], p[2]), 0.0f));
        ASSERT_EQ(m.tris[t].area, area) << t;
        for (int k = 0; k < 3; ++k) {
            const float nk = len == 0 ? 0.0f : static_cast<float>(n[k] / len);
            ASSERT_EQ(m.tris[t].normal[k], nk) << t;
            for (int c : s.f[t])
                sums[4 * c + k] += static_cast<double>(nk * area);
        }
        for (int c : s.f[t])
            sums[4 * c + 3] = static_cast<float>(sums[4 * c + 3] + double(area) / 3.0);
    }
    for (size_t i = 0; i < s.v.size(); ++i) {
        const double* q = &sums[4 * i];
        const double len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
        ASSERT_EQ(m.verts[i].area, static_cast<float>(q[3])) << i;
        for (int k = 0; k < 3; ++k)
            ASSERT_EQ(m.verts[i].normal[k], len != 0 ? static_cast<float>(q[k] / len) : 0.0f);
    }
}

std::string edgesSummary(Smesh* m) {
    testing::internal::CaptureStdout();
    computeEdges(m);
    return testing::internal::GetCapturedStdout();
}

// Every edge against a plain search over the triangle sides: each side once, from the lower to
// the higher vertex, in the order of the lower one; its first triangle holds both ends and its
// second is the first other triangle in array order that does; every vertex lists exactly the
// edges that end at it. A second computeEdges, and one after a neighbour rebuild, start over.
void checkEdges(const Shape& s) {
    OwnedMesh mesh;
    Smesh* m = &mesh;
    buildMesh(m, s);
    computeVertNeighbors(m);
    const std::string summary = edgesSummary(m);
    const Tris tris = triangles(s);
    std::set<std::pair<int, int>> sides, seen;
    for (const auto& f : tris)
        for (int k = 0; k < 3; ++k)
            if (f[k] != f[(k + 1) % 3]) sides.insert(std::minmax(f[k], f[(k + 1) % 3]));
    const std::string n = std::to_string(sides.size());
    EXPECT_EQ(summary, "# mesh: " + std::to_string(s.v.size()) + " vertices, " +
                           std::to_string(tris.size()) + " triangles, " + n + " edges=" + n + "\n");
    ASSERT_EQ(m->nedges, static_cast<int>(sides.size()));
    auto holds = [&](int t, int a, int b) {
        const auto& f = tris[t];
        return std::count(f.begin(), f.end(), a) && std::count(f.begin(), f.end(), b);
    };
    std::vector<int> ends(s.v.size(), 0);
    for (int e = 0; e < m->nedges; ++e) {
        const Sedge& edge = m->edges[e];
        const int a = edge.verts[0]->index, b = edge.verts[1]->index;
        ++ends[a], ++ends[b];
        EXPECT_TRUE(a < b && sides.count({a, b}) && seen.insert({a, b}).second) << a << "-" << b;
        EXPECT_LE(m->edges[e > 0 ? e - 1 : 0].verts[0]->index, a);
        const int first = static_cast<int>(edge.tris[0] - m->tris);
        int second = -1;
        for (int t = 0; t < m->ntris && second < 0; ++t)
            if (t != first && holds(t, a, b)) second = t;
        EXPECT_TRUE(holds(first, a, b));
        EXPECT_EQ(edge.tris[1] ? static_cast<int>(edge.tris[1] - m->tris) : -1, second) << e;
    }
    // 0: as built; 1: after a second computeEdges; 2: after a neighbour rebuild; 3: built again.
    for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < m->nverts; ++i) {
            ASSERT_EQ(m->verts[i].nedges, round == 2 ? 0 : ends[i]) << i;
            for (int j = 0; j < m->verts[i].nedges; ++j)
                EXPECT_TRUE(m->verts[i].edges[j]->verts[0] == &m->verts[i] ||
                            m->verts[i].edges[j]->verts[1] == &m->verts[i]);
        }
        if (round == 1) computeVertNeighbors(m);
        EXPECT_TRUE(round % 2 == 1 || edgesSummary(m) == summary) << round;
    }
}

} // namespace

TEST(NormalsAndAreas, CubeWorkedByHandThenFreed) {
    // Cube fan: vertex 0 is the fan centre of three faces (six half-unit triangles, normal the
    // sum of -x, -y, -z); vertex 3 has both triangles of -z and one each of +y and +x (weights
    // 1, 0.5, 0.5). The vertex areas add up to the surface, 6.
    OwnedMesh m;
    buildMesh(&m, cubeQuads());
    computeNormals(&m);
    const Svertex* v = m.verts;
    EXPECT_FLOAT_EQ(v[0].area, 1.0f);
    for (int k = 0; k < 3; ++k)
        EXPECT_FLOAT_EQ(v[0].normal[k], static_cast<float>(-1 / std::sqrt(3.0)));
    EXPECT_FLOAT_EQ(v[3].area, 2.0f / 3);
    EXPECT_FLOAT_EQ(v[3].normal[0], static_cast<float>(0.5 / std::sqrt(1.5)));
    EXPECT_FLOAT_EQ(v[3].normal[2], static_cast<float>(-1 / std::sqrt(1.5)));
    double total = 0;
    for (int i = 0; i < 8; ++i)
        total += v[i].area;
    EXPECT_NEAR(total, 6.0, 1e-5);
    // Freeing returns the mesh to empty, and an empty mesh frees to empty again.
    computeEdges(&m);
    freeSmesh(&m);
    EXPECT_TRUE(!m.verts && !m.tris && !m.edges && !m.trisPool && !m.edgesPool);
    EXPECT_EQ(m.nverts + m.ntris + m.nedges, 0);
    EXPECT_STREQ(m.name, "");
    freeSmesh(&m);
}

TEST(NormalsAndAreas, BitForBitAsWorkedOutStepByStep) {
    // A random mesh with repeated corners, an unused vertex and a sliver whose corners are in
    // line and whose single-precision Heron product comes out below zero: its area must be 0,
    // not NaN. computeNormals, the steps one by one, and computeNormals again all agree (the
    // vertex sums run over the incident lists: each triangle once per corner slot, in order).
    Shape s = randomShape(7, 200, 700);
    const float a[3] = {0.2f, 0, 0}, b[3] = {0.221428573f, 0, 0}, c[3] = {10.0214291f, 0, 0};
    ASSERT_LT(heronProduct(a, b, c), 0);
    s.v.insert(s.v.end(), {{a[0], 0, 0}, {b[0], 0, 0}, {c[0], 0, 0}});
    s.f.insert(s.f.end(), {{200, 201, 202}, {200, 202, 3}});
    OwnedMesh m, steps;
    buildMesh(&m, s);
    buildMesh(&steps, s);
    computeNormals(&m);
    expectDerived(m, s);
    EXPECT_EQ(m.tris[700].area, 0.0f);
    computeTriNormals(&steps);
    computeVertNormals(&steps);
    expectDerived(steps, s);
    computeNormals(&m);
    expectDerived(m, s);
    EXPECT_EQ(m.verts[199].tris, nullptr);
}

TEST(Edges, EveryEdgeAgainstAPlainSearch) {
    // Repeated corners and the same triangle twice: no edge from a vertex to itself, every list
    // within its count (AddressSanitizer watches the writes). A non-manifold side, a tetrahedron,
    // a vertex in 300 triangles, the cube.
    const Shape single{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}};
    const Shape repeated{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}},
                         {{0, 0, 1}, {1, 2, 2}, {3, 3, 3}, {0, 1, 2}, {0, 1, 2}, {2, 0, 0}}};
    const Shape nonManifold{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}},
                            {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}}};
    const Shape tetra{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                      {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}}};
    Shape fan = randomShape(11, 351, 400);
    for (int i = 1; i < 301; ++i)
        fan.f.push_back({0, i, i + 1});
    for (const Shape& s : {single, repeated, nonManifold, tetra, fan, cubeQuads()})
        checkEdges(s);
    OwnedMesh m;
    EXPECT_EQ(edgesSummary(&m), "# mesh: 0 vertices, 0 triangles, 0 edges=0\n");
    // One triangle: vertex 0's edges follow its corner order, 0-1 then 0-2; 1-2 comes with 1.
    buildMesh(&m, single);
    computeVertNeighbors(&m);
    edgesSummary(&m);
    for (int e = 0; e < 3; ++e)
        EXPECT_EQ(m.edges[e].verts[1] - m.verts, e == 0 ? 1 : 2);
}

TEST(Allocation, ZeroEntriesOverflowAndEveryFailureLineOfTheMeshFunctions) {
    EXPECT_EQ(meshAlloc(0, 64, "nothing"), nullptr);
    char expected[128];
    std::snprintf(expected, sizeof expected, "Memory allocation error for \"huge\" %.3f MB\n",
                  static_cast<double>(SIZE_MAX / 8) * 64 / 1e6);
    const Outcome huge = trapped([] { meshAlloc(SIZE_MAX / 8, 64, "huge"); });
    EXPECT_TRUE(huge.ended && huge.status == 0);
    EXPECT_EQ(huge.out, expected);
    // A 100 x 100 grid: 10201 vertices, 20000 triangles, 60000 incident entries, 30200 edges.
    // computeVertNeighbors asks once (8-byte pointers); computeEdges for visited, added, intbuf
    // (2 x 6 ints), the edge lists (60400 pointers) and the edge array (30200 x 1.1 in single
    // precision, truncated: 33220).
    Shape s;
    for (int a = 0; a < 10201; ++a)
        s.v.push_back({double(a % 101), double(a / 101), 0});
    for (int a = 0; a + 102 < 10201; ++a)
        if (a % 101 != 100) s.f.insert(s.f.end(), {{a, a + 1, a + 102}, {a, a + 102, a + 101}});
    const char* what[] = {"surf->verts[i].tris",  "visited",    "added", "intbuf",
                          "mesh->verts[i].edges", "mesh->edges"};
    const double bytes[] = {60000 * 8, 10201, 10201, 48, 60400 * 8, 33220.0 * sizeof(Sedge)};
    for (long n = 0; n < 6; ++n) {
        OwnedMesh m;
        buildMesh(&m, s);
        const Outcome o = trapped([&] {
            setMeshAllocFailAfter(n);
            computeVertNeighbors(&m);
            computeEdges(&m);
        });
        setMeshAllocFailAfter(-1);
        EXPECT_TRUE(o.ended && o.status == 0) << n;
        char line[96];
        std::snprintf(line, sizeof line, "Memory allocation error for \"%s\" %.3f MB\n", what[n],
                      bytes[n] / 1e6);
        EXPECT_EQ(o.out, line);
    }
}

TEST(Numbers, TokensParseAsTheCLibraryParsesThem) {
    double d = 0;
    float f = 0;
    int i = 0;
    for (const char* r : {"0.1", "-2.5e3", "+7", "1e-320", "1e400", "-1e400", ".5", "5.", "inf",
                          "-nan", "3.14159265358979323846264338327950288", "1e-50"}) {
        ASSERT_TRUE(parseDouble(r, d) && parseFloat(r, f)) << r;
        EXPECT_TRUE(d == std::strtod(r, nullptr) || (std::isnan(d) && r[1] == 'n')) << r;
        EXPECT_TRUE(f == std::strtof(r, nullptr) || (std::isnan(f) && r[1] == 'n')) << r;
    }
    for (const char* bad : {"", "-", "+", "1.5x", "1,5", "--1", "+-1", "e5", "1e", "abc"})
        EXPECT_FALSE(parseDouble(bad, d)) << bad;
    EXPECT_TRUE(parseInt("+42", i) && i == 42 && parseInt("-2147483648", i) && i == INT32_MIN &&
                parseInt("0000000000012", i) && i == 12);
    for (const char* bad : {"2147483648", "1.0", "12a", "", "-", "99999999999999999999"})
        EXPECT_FALSE(parseInt(bad, i)) << bad;
    const std::string line = "17#x"; // a number runs up to white space, a comment or the end
    EXPECT_TRUE(scanInt(line.data(), line.data() + 4, i) == line.data() + 2 && i == 17);
}
