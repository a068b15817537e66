#pragma once
// Helpers for the mesh and model-loading tests: meshes built by hand, writers for the same mesh
// in each text format (written here, sharing nothing with the readers), and ways to run a reader
// so that its messages and exit status can be checked.

#include "Geometry.h"
#include "file.h"
#include "geom.h"
#include "support.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace geomtest {

using testsupport::ExitTrap;
using testsupport::ProcessExit;

// A mesh as plain lists: positions and polygons (0-based corner lists).
struct Shape {
    std::vector<std::array<double, 3>> v;
    std::vector<std::vector<int>> f;
};

// Unit cube, corners at 0 and 1, outward quads.
inline Shape cubeQuads() {
    Shape s;
    for (int k = 0; k < 8; ++k)
        s.v.push_back({double(k & 1), double((k >> 1) & 1), double((k >> 2) & 1)});
    s.f = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    return s;
}

// The cube's quads fanned into triangles (0, k, k+1).
inline Shape fanned(const Shape& s) {
    Shape t{s.v, {}};
    for (const auto& face : s.f)
        for (size_t k = 1; k + 1 < face.size(); ++k)
            t.f.push_back({face[0], face[k], face[k + 1]});
    return t;
}

// Regular-ish tetrahedron with outward faces.
inline Shape tetrahedron() {
    Shape s;
    s.v = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    s.f = {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}};
    return s;
}

// Coordinates written so that every reader parses them to the same float: the float's shortest
// round-trip decimal.
inline std::string num(double x) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(static_cast<float>(x)));
    return buf;
}

struct OffOptions {
    bool normals = false;   // NOFF with a normal per vertex line
    int colors = 0;         // 0 none, 1 integer r g b a, 2 floats r g b
    const char* sep = " ";  // between tokens
    const char* eol = "\n"; // line end
};

inline std::string offText(const Shape& s, const OffOptions& o = {}) {
    std::string t = std::string(o.normals ? "NOFF" : "OFF") + o.eol;
    t += std::to_string(s.v.size()) + o.sep + std::to_string(s.f.size()) + o.sep + "0" + o.eol;
    for (const auto& p : s.v) {
        t += num(p[0]) + o.sep + num(p[1]) + o.sep + num(p[2]);
        if (o.normals) t += std::string(o.sep) + "0" + o.sep + "0" + o.sep + "1";
        t += o.eol;
    }
    int k = 0;
    for (const auto& face : s.f) {
        t += std::to_string(face.size());
        for (int i : face)
            t += o.sep + std::to_string(i);
        if (o.colors == 1)
            t += std::string(o.sep) + std::to_string(10 * k) + o.sep + "20" + o.sep + "300" +
                 o.sep + "255";
        else if (o.colors == 2)
            t += std::string(o.sep) + "1.0" + o.sep + "0.5" + o.sep + "0";
        t += o.eol;
        ++k;
    }
    return t;
}

inline std::string smfText(const Shape& s) {
    std::string t = "# smf\n";
    for (const auto& p : s.v)
        t += "v " + num(p[0]) + " " + num(p[1]) + " " + num(p[2]) + "\n";
    for (const auto& face : s.f) {
        t += "f";
        for (int i : face)
            t += " " + std::to_string(i + 1);
        t += "\n";
    }
    return t;
}

enum class ObjCorners { positions, withNormals, withTexture, withBoth };

inline std::string objText(const Shape& s, ObjCorners c = ObjCorners::positions) {
    std::string t = "# obj\n";
    for (const auto& p : s.v)
        t += "v " + num(p[0]) + " " + num(p[1]) + " " + num(p[2]) + "\n";
    if (c == ObjCorners::withNormals || c == ObjCorners::withBoth)
        for (size_t i = 0; i < s.v.size(); ++i)
            t += "vn 0 0 1\n";
    if (c == ObjCorners::withTexture || c == ObjCorners::withBoth)
        for (size_t i = 0; i < s.v.size(); ++i)
            t += "vt 0.5 0.25\n";
    for (const auto& face : s.f) {
        t += "f";
        for (int i : face) {
            const std::string n = std::to_string(i + 1);
            switch (c) {
            case ObjCorners::positions:
                t += " " + n;
                break;
            case ObjCorners::withNormals:
                t += " " + n + "//" + n;
                break;
            case ObjCorners::withTexture:
                t += " " + n + "/" + n;
                break;
            case ObjCorners::withBoth:
                t += " " + n + "/" + n + "/" + n;
                break;
            }
        }
        t += "\n";
    }
    return t;
}

// A mesh that releases itself.
struct OwnedMesh {
    Smesh m;
    OwnedMesh() = default;
    OwnedMesh(const OwnedMesh&) = delete;
    OwnedMesh& operator=(const OwnedMesh&) = delete;
    ~OwnedMesh() { freeSmesh(&m); }
    Smesh* operator->() { return &m; }
    Smesh* get() { return &m; }
};

// Fills mesh with the shape's positions and triangles the way a reader does (lists cleared,
// indices set). Polygons must already be triangles.
inline void buildMesh(Smesh* mesh, const Shape& s) {
    freeSmesh(mesh);
    mesh->nverts = static_cast<int>(s.v.size());
    mesh->verts = static_cast<Svertex*>(meshAlloc(s.v.size(), sizeof(Svertex), "test verts"));
    for (int i = 0; i < mesh->nverts; ++i) {
        Svertex& v = mesh->verts[i];
        for (int k = 0; k < 3; ++k) {
            v.pos[k] = static_cast<float>(s.v[i][k]);
            v.normal[k] = 0;
        }
        v.index = i;
        resetSvertex(&v);
        v.area = 0;
    }
    mesh->ntris = static_cast<int>(s.f.size());
    mesh->tris = static_cast<Striangle*>(meshAlloc(s.f.size(), sizeof(Striangle), "test tris"));
    for (int t = 0; t < mesh->ntris; ++t) {
        Striangle& tri = mesh->tris[t];
        tri = Striangle{};
        for (int k = 0; k < 3; ++k)
            tri.verts[k] = &mesh->verts[s.f[t][k]];
        tri.index = t;
    }
}

// Corner positions of each triangle of a mesh, as vertex numbers.
inline std::vector<std::array<int, 3>> corners(const Smesh& m) {
    std::vector<std::array<int, 3>> out;
    for (int t = 0; t < m.ntris; ++t)
        out.push_back({static_cast<int>(m.tris[t].verts[0] - m.verts),
                       static_cast<int>(m.tris[t].verts[1] - m.verts),
                       static_cast<int>(m.tris[t].verts[2] - m.verts)});
    return out;
}

inline std::vector<std::array<float, 3>> positions(const Smesh& m) {
    std::vector<std::array<float, 3>> out;
    for (int i = 0; i < m.nverts; ++i)
        out.push_back({m.verts[i].pos[0], m.verts[i].pos[1], m.verts[i].pos[2]});
    return out;
}

// Every pointer of a filled mesh lands in its own arrays and every index is its position.
inline void expectConsistent(const Smesh& m) {
    for (int i = 0; i < m.nverts; ++i)
        EXPECT_EQ(m.verts[i].index, i);
    for (int t = 0; t < m.ntris; ++t) {
        EXPECT_EQ(m.tris[t].index, t);
        for (Svertex* c : m.tris[t].verts) {
            EXPECT_GE(c, m.verts);
            EXPECT_LT(c, m.verts + m.nverts);
        }
    }
}

// What running a reader did: whether it ended the process, with which status, and what it
// printed on each stream.
struct Outcome {
    bool ended = false;
    int status = 0;
    std::string out;
    std::string err;
};

// Runs f with endProcess trapped and both streams captured.
inline Outcome trapped(const std::function<void()>& f) {
    Outcome o;
    ExitTrap trap;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    try {
        f();
    } catch (const ProcessExit& e) {
        o.ended = true;
        o.status = e.status;
    }
    o.out = testing::internal::GetCapturedStdout();
    o.err = testing::internal::GetCapturedStderr();
    return o;
}

inline int countLines(const std::string& s) {
    int n = 0;
    for (char c : s)
        n += c == '\n';
    return n;
}

inline bool startsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// A reader's verdict on bad input: one line on standard error that names the file, then
// status -1.
inline void expectRejected(const Outcome& o, const std::string& name) {
    EXPECT_TRUE(o.ended);
    EXPECT_EQ(o.status, -1);
    EXPECT_EQ(countLines(o.err), 1) << o.err;
    EXPECT_TRUE(startsWith(o.err, "read_model(): " + name + ":")) << o.err;
}

// The same stored float a reader gets from a decimal token (double first, then float).
inline float viaDouble(const char* text) {
    return static_cast<float>(std::strtod(text, nullptr));
}

} // namespace geomtest
