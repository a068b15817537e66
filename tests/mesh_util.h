#pragma once
// A small lumpy closed mesh written in each format the viewer opens, for the tests of opening
// users' files.
#include <cmath>
#include <string>
#include <vector>

namespace meshtest {

// A sphere of rows x columns quads (two triangles each), stretched along y and dented by bend, so
// that its views differ: 2 * rows * columns triangles, counter-clockwise seen from outside.
inline std::string lumpText(const std::string& format, double bend, int rows = 12,
                            int columns = 16) {
    std::vector<double> v;
    for (int i = 0; i <= rows; ++i)
        for (int j = 0; j < columns; ++j) {
            const double t = M_PI * i / rows, p = 2 * M_PI * j / columns;
            const double r = 1 + bend * std::cos(3 * p) * std::sin(t);
            v.insert(v.end(), {r * std::sin(t) * std::cos(p), 2.5 * std::cos(t),
                               0.6 * r * std::sin(t) * std::sin(p)});
        }
    std::vector<int> f;
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < columns; ++j) {
            const int a = i * columns + j, b = i * columns + (j + 1) % columns;
            f.insert(f.end(), {a, b, a + columns, b, b + columns, a + columns});
        }
    const size_t nv = v.size() / 3, nf = f.size() / 3;
    std::string s;
    if (format == "off") s = "OFF\n" + std::to_string(nv) + " " + std::to_string(nf) + " 0\n";
    if (format == "ply")
        s = "ply\nformat ascii 1.0\nelement vertex " + std::to_string(nv) +
            "\nproperty float x\nproperty float y\nproperty float z\nelement face " +
            std::to_string(nf) + "\nproperty list uchar int vertex_indices\nend_header\n";
    const char* vertex = format == "obj" || format == "smf" ? "v " : "";
    for (size_t k = 0; k < nv; ++k)
        s += vertex + std::to_string(v[3 * k]) + " " + std::to_string(v[3 * k + 1]) + " " +
             std::to_string(v[3 * k + 2]) + "\n";
    const bool oneBased = format == "obj" || format == "smf";
    for (size_t k = 0; k < nf; ++k)
        s += std::string(oneBased ? "f " : "3 ") + std::to_string(f[3 * k] + oneBased) + " " +
             std::to_string(f[3 * k + 1] + oneBased) + " " +
             std::to_string(f[3 * k + 2] + oneBased) + "\n";
    return s;
}

} // namespace meshtest
