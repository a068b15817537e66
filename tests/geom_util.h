#pragma once
// Helpers for the mesh and model-reader tests: meshes given as plain lists, writers of one mesh
// in each text format (sharing nothing with the readers), and reader runs that catch what a reader
// printed and the line and status the viewer would end the process with.

#include "geom.h"
#include "glm.h"
#include "meshread.h"
#include "readresult.h"
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace geomtest {

using Tris = std::vector<std::array<int, 3>>;
using Points = std::vector<std::array<float, 3>>;

// A mesh as plain lists: positions and polygons (0-based corner lists).
struct Shape {
    std::vector<std::array<double, 3>> v;
    std::vector<std::vector<int>> f;
};

// Unit cube, corners at 0 and 1, outward quads.
inline Shape cubeQuads() {
    return {
        {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}},
        {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}}};
}

// Polygons fanned into triangles (0, k, k+1).
inline Tris triangles(const Shape& s) {
    Tris out;
    for (const auto& f : s.f)
        for (size_t k = 1; k + 1 < f.size(); ++k)
            out.push_back({f[0], f[k], f[k + 1]});
    return out;
}

// Shortest decimal that reads back as the same float, so every reader stores the same value.
inline std::string num(double x) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(static_cast<float>(x)));
    return buf;
}

// OFF text, with integer colours r g b a on every face if asked.
inline std::string offText(const Shape& s, bool colors = false, const std::string& sep = " ",
                           const char* eol = "\n") {
    std::string t = std::string("OFF") + eol + std::to_string(s.v.size()) + sep +
                    std::to_string(s.f.size()) + sep + "0" + eol;
    for (const auto& p : s.v)
        t += num(p[0]) + sep + num(p[1]) + sep + num(p[2]) + eol;
    for (size_t k = 0; k < s.f.size(); ++k) {
        t += std::to_string(s.f[k].size());
        for (int i : s.f[k])
            t += sep + std::to_string(i);
        t += (colors ? sep + std::to_string(10 * k) + sep + "20" + sep + "300 255" : "") + eol;
    }
    return t;
}

// SMF, or OBJ when obj is set: "v" lines, then (OBJ only) one "vn" and one "vt" line per position
// as asked, then 1-based faces whose corners carry the same index for each part.
inline std::string vfText(const Shape& s, bool obj = false, bool normals = false,
                          bool texture = false) {
    std::string t = obj ? "# obj\n" : "# smf\n";
    for (const auto& p : s.v)
        t += "v " + num(p[0]) + " " + num(p[1]) + " " + num(p[2]) + "\n";
    for (size_t i = 0; i < s.v.size(); ++i)
        t += std::string(normals ? "vn 0 0 1\n" : "") + (texture ? "vt 0.5 0.25\n" : "");
    for (const auto& face : s.f) {
        t += "f";
        for (int i : face) {
            const std::string n = std::to_string(i + 1);
            t += " " + n + (texture ? "/" + n : normals ? "/" : "") + (normals ? "/" + n : "");
        }
        t += "\n";
    }
    return t;
}

// An empty mesh that frees what is put into it.
struct OwnedMesh : Smesh {
    OwnedMesh() { resetSmesh(this); }
    ~OwnedMesh() { freeSmesh(this); }
    OwnedMesh(const OwnedMesh&) = delete;
    OwnedMesh& operator=(const OwnedMesh&) = delete;
};

// Fills mesh with the shape's positions and fanned faces, read from OFF text.
inline void buildMesh(Smesh* mesh, const Shape& s) {
    testing::internal::CaptureStdout();
    const ReadResult r = readOffMesh(mesh, "shape.off", offText(s));
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(r) << r.message;
}

// Corners of each triangle as vertex numbers.
inline Tris corners(const Smesh& m) {
    Tris out;
    for (int t = 0; t < m.ntris; ++t) {
        Svertex* const* c = m.tris[t].verts;
        out.push_back({int(c[0] - m.verts), int(c[1] - m.verts), int(c[2] - m.verts)});
    }
    return out;
}

inline Points positions(const Smesh& m) {
    Points out;
    for (int i = 0; i < m.nverts; ++i)
        out.push_back({m.verts[i].pos[0], m.verts[i].pos[1], m.verts[i].pos[2]});
    return out;
}

// Centre and extent.
inline std::vector<float> bounds(const Smesh& m) {
    return {m.center[0], m.center[1], m.center[2], m.extent};
}

// What a reader run did: whether it ended the process, with which status, and what it printed.
struct Outcome {
    bool ended = false;
    int status = 0;
    std::string out, err;
};

// Runs a reader with both streams captured. A refused file counts as the viewer's end of the
// process, its line added to the stream the viewer prints it on.
inline Outcome captured(const std::function<ReadResult()>& read) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const ReadResult r = read();
    Outcome o{!r, r.status, testing::internal::GetCapturedStdout(),
              testing::internal::GetCapturedStderr()};
    if (!r) (r.toStdout ? o.out : o.err) += r.message + "\n";
    return o;
}

// The same for a step of the core that stops at the first problem (ReadAbort, MeshAllocError).
inline Outcome trapped(const std::function<void()>& step) {
    return captured([&] { return guardedRead(step); });
}

// Parses text into mesh with the reader of name's extension (off, smf, obj; no materials);
// hasNormals tells whether an OFF keyword asked for normals.
inline Outcome readBytes(Smesh& mesh, const std::string& name, const std::string& text,
                         bool* hasNormals = nullptr) {
    const std::string ext = name.substr(name.rfind('.') + 1);
    return captured([&] {
        if (ext == "off") return readOffMesh(&mesh, name.c_str(), text, hasNormals);
        if (ext == "smf") return readSmfMesh(&mesh, name.c_str(), text);
        return readObjMesh(&mesh, name.c_str(), text,
                           [](const char*, std::string&) { return false; });
    });
}

// The float a reader stores for a decimal token: parsed as a double, then rounded to float.
inline float viaDouble(const char* text) {
    return static_cast<float>(std::strtod(text, nullptr));
}

} // namespace geomtest
