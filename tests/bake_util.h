#pragma once
// Small meshes with known answers for the baker's tests, built here independently of the baker.
#include "mesh.h"

#include <array>
#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bakeutil {

inline void addVertex(BakeMesh& m, double x, double y, double z) {
    m.pos.push_back(static_cast<float>(x));
    m.pos.push_back(static_cast<float>(y));
    m.pos.push_back(static_cast<float>(z));
}

inline void addTriangle(BakeMesh& m, int a, int b, int c) {
    m.tris.push_back(a);
    m.tris.push_back(b);
    m.tris.push_back(c);
}

// One triangle in the plane z = 0, facing +z (counter-clockwise seen from +z).
inline BakeMesh triangle(double a, double b, double c, double d, double e, double f) {
    BakeMesh m;
    addVertex(m, a, b, 0);
    addVertex(m, c, d, 0);
    addVertex(m, e, f, 0);
    addTriangle(m, 0, 1, 2);
    return m;
}

// A square plate of half side h in the plane z = 0, seen from both sides: two triangles face +z
// and two coincident ones face -z.
inline BakeMesh plate(double h) {
    BakeMesh m;
    addVertex(m, -h, -h, 0);
    addVertex(m, h, -h, 0);
    addVertex(m, h, h, 0);
    addVertex(m, -h, h, 0);
    addTriangle(m, 0, 1, 2);
    addTriangle(m, 0, 2, 3);
    addTriangle(m, 0, 2, 1);
    addTriangle(m, 0, 3, 2);
    return m;
}

// An axis-aligned box of half sides hx, hy, hz, faces outwards, two triangles per face.
inline BakeMesh box(double hx, double hy, double hz) {
    BakeMesh m;
    for (int k = 0; k < 8; ++k)
        addVertex(m, k & 1 ? hx : -hx, k & 2 ? hy : -hy, k & 4 ? hz : -hz);
    const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                             {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& f : faces) {
        addTriangle(m, f[0], f[1], f[2]);
        addTriangle(m, f[0], f[2], f[3]);
    }
    return m;
}

inline BakeMesh cube(double h) {
    return box(h, h, h);
}

// A subdivided icosahedron with its vertices on the sphere of radius r, faces outwards.
inline BakeMesh icosphere(double r, int levels) {
    const double t = (1 + std::sqrt(5.0)) / 2;
    std::vector<std::array<double, 3>> v = {{-1, t, 0}, {1, t, 0}, {-1, -t, 0}, {1, -t, 0},
                                            {0, -1, t}, {0, 1, t}, {0, -1, -t}, {0, 1, -t},
                                            {t, 0, -1}, {t, 0, 1}, {-t, 0, -1}, {-t, 0, 1}};
    auto norm = [](std::array<double, 3> p) {
        const double l = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        return std::array<double, 3>{p[0] / l, p[1] / l, p[2] / l};
    };
    for (auto& p : v)
        p = norm(p);
    std::vector<std::array<int, 3>> f = {
        {0, 11, 5},  {0, 5, 1},  {0, 1, 7},  {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
        {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
        {3, 8, 9},   {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
    for (int l = 0; l < levels; ++l) {
        std::map<std::pair<int, int>, int> mid;
        auto midpoint = [&](int a, int b) {
            const auto key = std::make_pair(std::min(a, b), std::max(a, b));
            const auto it = mid.find(key);
            if (it != mid.end()) return it->second;
            v.push_back(
                norm({(v[a][0] + v[b][0]) / 2, (v[a][1] + v[b][1]) / 2, (v[a][2] + v[b][2]) / 2}));
            return mid[key] = static_cast<int>(v.size()) - 1;
        };
        std::vector<std::array<int, 3>> next;
        for (const auto& tri : f) {
            const int a = midpoint(tri[0], tri[1]), b = midpoint(tri[1], tri[2]),
                      c = midpoint(tri[2], tri[0]);
            next.push_back({tri[0], a, c});
            next.push_back({tri[1], b, a});
            next.push_back({tri[2], c, b});
            next.push_back({a, b, c});
        }
        f = next;
    }
    BakeMesh m;
    for (const auto& p : v)
        addVertex(m, r * p[0], r * p[1], r * p[2]);
    for (const auto& tri : f)
        addTriangle(m, tri[0], tri[1], tri[2]);
    return m;
}

// OFF text of a mesh, written here rather than by the baker.
inline std::string offOf(const BakeMesh& m) {
    std::string s = "OFF\n" + std::to_string(m.pos.size() / 3) + " " +
                    std::to_string(m.tris.size() / 3) + " 0\n";
    for (size_t i = 0; i < m.pos.size(); i += 3)
        s += std::to_string(m.pos[i]) + " " + std::to_string(m.pos[i + 1]) + " " +
             std::to_string(m.pos[i + 2]) + "\n";
    for (size_t i = 0; i < m.tris.size(); i += 3)
        s += "3 " + std::to_string(m.tris[i]) + " " + std::to_string(m.tris[i + 1]) + " " +
             std::to_string(m.tris[i + 2]) + "\n";
    return s;
}

} // namespace bakeutil
