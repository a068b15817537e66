#pragma once
// Small meshes with known answers for the baker's tests, built here independently of the baker.
#include "coords.h"
#include "mesh.h"

#include <cmath>
#include <sstream>

namespace bakeutil {

// x, y, z per vertex; triangles run counter-clockwise seen from outside.
inline BakeMesh mesh(const std::vector<double>& xyz, const std::vector<int>& tris) {
    return BakeMesh{std::vector<float>(xyz.begin(), xyz.end()), tris};
}

// An axis-aligned box of half sides hx, hy, hz, two triangles per face.
inline BakeMesh box(double hx, double hy, double hz) {
    std::vector<double> v;
    for (int k = 0; k < 8; ++k)
        v.insert(v.end(), {k & 1 ? hx : -hx, k & 2 ? hy : -hy, k & 4 ? hz : -hz});
    return mesh(v, {0, 2, 3, 0, 3, 1, 4, 5, 7, 4, 7, 6, 0, 1, 5, 0, 5, 4,
                    2, 6, 7, 2, 7, 3, 0, 4, 6, 0, 6, 2, 1, 3, 7, 1, 7, 5});
}

// a with the closed part b, moved by (dx, 0, dz), added as a separate shell.
inline BakeMesh joined(BakeMesh a, BakeMesh b, double dx, double dz) {
    for (size_t k = 0; k < b.pos.size(); k += 3) {
        b.pos[k] += static_cast<float>(dx);
        b.pos[k + 2] += static_cast<float>(dz);
    }
    for (int i : b.tris)
        a.tris.push_back(i + a.vertexCount());
    a.pos.insert(a.pos.end(), b.pos.begin(), b.pos.end());
    return a;
}

// An L-shaped block: a 4 x 2 x 1 slab (x -2..2, y -1..1, z -1..0) and a 2 x 2 x 2 block on its +x
// half, as two closed boxes.
inline BakeMesh lBlock() {
    return joined(joined(BakeMesh{}, box(2, 1, 0.5), 0, -0.5), box(1, 1, 1), 1, 1);
}

// A subdivided icosahedron with its corners on the sphere of radius r; corners are not shared,
// but those of one point are computed alike and so coincide.
inline BakeMesh icosphere(double r, int levels) {
    const double t = (1 + std::sqrt(5.0)) / 2;
    const vec v[12] = {{-1, t, 0},  {1, t, 0},  {-1, -t, 0}, {1, -t, 0}, {0, -1, t},  {0, 1, t},
                       {0, -1, -t}, {0, 1, -t}, {t, 0, -1},  {t, 0, 1},  {-t, 0, -1}, {-t, 0, 1}};
    std::vector<vec> c;
    for (int k : {0, 11, 5,  0, 5,  1, 0, 1, 7, 0, 7,  10, 0, 10, 11, 1, 5, 9, 5, 11,
                  4, 11, 10, 2, 10, 7, 6, 7, 1, 8, 3,  9,  4, 3,  4,  2, 3, 2, 6, 3,
                  6, 8,  3,  8, 9,  4, 9, 5, 2, 4, 11, 6,  2, 10, 8,  6, 7, 9, 8, 1})
        c.push_back(v[k].unit());
    for (int l = 0; l < levels; ++l) {
        std::vector<vec> next;
        for (size_t k = 0; k < c.size(); k += 3) {
            const vec a = c[k], b = c[k + 1], d = c[k + 2];
            const vec ab = (a + b).unit(), bd = (b + d).unit(), da = (d + a).unit();
            next.insert(next.end(), {a, ab, da, b, bd, ab, d, da, bd, ab, bd, da});
        }
        c = next;
    }
    BakeMesh m;
    for (const vec& p : c) {
        m.tris.push_back(m.vertexCount());
        m.pos.insert(m.pos.end(), {float(r * p.x), float(r * p.y), float(r * p.z)});
    }
    return m;
}

// OFF text of a mesh, written here rather than by the baker.
inline std::string offOf(const BakeMesh& m) {
    std::ostringstream s;
    s << "OFF\n" << m.vertexCount() << " " << m.triangleCount() << " 0\n";
    for (size_t i = 0; i < m.pos.size(); ++i)
        s << m.pos[i] << (i % 3 == 2 ? "\n" : " ");
    for (size_t i = 0; i < m.tris.size(); ++i)
        s << (i % 3 ? " " : "3 ") << m.tris[i] << (i % 3 == 2 ? "\n" : "");
    return s.str();
}

} // namespace bakeutil
