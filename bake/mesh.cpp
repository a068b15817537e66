#include "mesh.h"

#include "meshread.h"
#include "bakeerror.h"
#include "readfile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <meshoptimizer.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string lowerExtension(const std::string& path) {
    const std::string file = fs::path(path).filename().string();
    const size_t dot = file.rfind('.');
    std::string ext = dot == std::string::npos ? "" : file.substr(dot + 1);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

double triangleArea(const float* a, const float* b, const float* c) {
    const double u[3] = {double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
    const double w[3] = {double(c[0]) - a[0], double(c[1]) - a[1], double(c[2]) - a[2]};
    const double n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2],
                         u[0] * w[1] - u[1] * w[0]};
    return 0.5 * std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
}

BakeMesh copyMesh(const Smesh& m, const std::string& path) {
    if (m.ntris <= 0 || m.tris == nullptr || m.nverts <= 0 || m.verts == nullptr)
        throw BakeError(path + ": the mesh has no triangles");
    BakeMesh out;
    out.pos.resize(static_cast<size_t>(m.nverts) * 3);
    for (int v = 0; v < m.nverts; ++v)
        for (int k = 0; k < 3; ++k) {
            const float x = m.verts[v].pos[k];
            if (!std::isfinite(x))
                throw BakeError(path + ": vertex " + std::to_string(v) +
                                " has a coordinate that is not a finite number");
            out.pos[3 * static_cast<size_t>(v) + k] = x;
        }
    out.tris.resize(static_cast<size_t>(m.ntris) * 3);
    double area = 0;
    for (int t = 0; t < m.ntris; ++t) {
        for (int k = 0; k < 3; ++k) {
            const Svertex* corner = m.tris[t].verts[k];
            const std::ptrdiff_t index = corner - m.verts;
            if (corner == nullptr || index < 0 || index >= m.nverts)
                throw BakeError(path + ": triangle " + std::to_string(t) +
                                " has a corner outside the vertex list");
            out.tris[3 * static_cast<size_t>(t) + k] = static_cast<int>(index);
        }
        const int* c = &out.tris[3 * static_cast<size_t>(t)];
        area += triangleArea(&out.pos[3 * size_t(c[0])], &out.pos[3 * size_t(c[1])],
                             &out.pos[3 * size_t(c[2])]);
    }
    if (!(area > 0))
        throw BakeError(path + ": the mesh has no area (every triangle is degenerate)");
    return out;
}

} // namespace

float BakeMesh::extent() const {
    if (pos.empty()) return 0;
    double lo[3] = {pos[0], pos[1], pos[2]}, hi[3] = {pos[0], pos[1], pos[2]};
    for (size_t i = 0; i < pos.size(); i += 3)
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], double(pos[i + k]));
            hi[k] = std::max(hi[k], double(pos[i + k]));
        }
    double e = 0;
    for (int k = 0; k < 3; ++k)
        e = std::max(e, (hi[k] - lo[k]) * 0.5);
    return static_cast<float>(e);
}

BakeMesh readMeshFile(const std::string& path) {
    {
        RegularFile file;
        const FileStatus status = file.open(path.c_str());
        const int error = errno;
        if (status == FileStatus::cannotOpen)
            throw BakeError(path + (error == ENOENT ? ": no such mesh file"
                                                    : ": cannot open the mesh file (" +
                                                          std::string(std::strerror(error)) + ")"));
        if (status != FileStatus::ok) throw BakeError(path + ": " + fileStatusText(status));
        if (file.size() == 0) throw BakeError(path + ": the mesh file is empty");
    }
    const std::string ext = lowerExtension(path);
    if (ext != "off" && ext != "obj" && ext != "ply" && ext != "smf")
        throw BakeError(path + ": unsupported mesh format '" + ext +
                        "' (orvalis-bake reads .off, .obj, .ply and .smf)");

    Smesh mesh;
    const ReadResult result = readModelFile(&mesh, path.c_str());
    const MeshOwner owner{&mesh};
    if (!result) {
        std::fprintf(result.toStdout ? stdout : stderr, "%s\n", result.message.c_str());
        throw BakeError(path + ": not a readable mesh (see the reader's message above)");
    }
    return copyMesh(mesh, path);
}

BakeMesh readOffText(const std::string& text, const std::string& label) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvalis-bake-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const char* dir = mkdtemp(buffer.data());
    if (!dir) throw BakeError(label + ": cannot make a scratch folder to check the model file");
    const fs::path file = fs::path(dir) / (label + ".off");
    struct Cleanup {
        fs::path dir;
        ~Cleanup() {
            std::error_code ignored;
            fs::remove_all(dir, ignored);
        }
    } cleanup{dir};
    {
        std::ofstream out(file, std::ios::binary);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out) throw BakeError(label + ": cannot write the scratch model file " + file.string());
    }
    return readMeshFile(file.string());
}

std::string offText(const BakeMesh& mesh) {
    std::string s = "OFF\n" + std::to_string(mesh.vertexCount()) + " " +
                    std::to_string(mesh.triangleCount()) + " 0\n";
    s.reserve(s.size() + mesh.pos.size() * 14 + mesh.tris.size() * 8);
    char line[128];
    for (size_t i = 0; i < mesh.pos.size(); i += 3) {
        std::snprintf(line, sizeof line, "%.9g %.9g %.9g\n", double(mesh.pos[i]),
                      double(mesh.pos[i + 1]), double(mesh.pos[i + 2]));
        s += line;
    }
    for (size_t i = 0; i < mesh.tris.size(); i += 3) {
        std::snprintf(line, sizeof line, "3 %d %d %d\n", mesh.tris[i], mesh.tris[i + 1],
                      mesh.tris[i + 2]);
        s += line;
    }
    return s;
}

void fitIntoView(BakeMesh& mesh) {
    if (mesh.pos.empty()) return;
    double lo[3] = {mesh.pos[0], mesh.pos[1], mesh.pos[2]}, hi[3] = {lo[0], lo[1], lo[2]};
    for (size_t i = 0; i < mesh.pos.size(); i += 3)
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], double(mesh.pos[i + k]));
            hi[k] = std::max(hi[k], double(mesh.pos[i + k]));
        }
    const double mid[3] = {(lo[0] + hi[0]) * 0.5, (lo[1] + hi[1]) * 0.5, (lo[2] + hi[2]) * 0.5};
    double radius = 0;
    for (size_t i = 0; i < mesh.pos.size(); i += 3) {
        const double x = mesh.pos[i] - mid[0], y = mesh.pos[i + 1] - mid[1],
                     z = mesh.pos[i + 2] - mid[2];
        radius = std::max(radius, std::sqrt(x * x + y * y + z * z));
    }
    const double scale = radius > 0 ? viewerFitRadius / radius : 1.0;
    for (size_t i = 0; i < mesh.pos.size(); i += 3)
        for (int k = 0; k < 3; ++k)
            mesh.pos[i + k] = static_cast<float>((mesh.pos[i + k] - mid[k]) * scale);
    if (mesh.extent() < viewerModelSize) mesh.pos.insert(mesh.pos.end(), {0, 0, 11, 0, 0, -11});
}

bool isUpAxis(const std::string& up) {
    return up == "x" || up == "y" || up == "z" || up == "-x" || up == "-y" || up == "-z";
}

void turnUpToZ(BakeMesh& mesh, const std::string& up) {
    for (size_t i = 0; i < mesh.pos.size(); i += 3) {
        const float x = mesh.pos[i], y = mesh.pos[i + 1], z = mesh.pos[i + 2];
        float* p = &mesh.pos[i];
        if (up == "y") { // a quarter turn about x: y -> z, z -> -y
            p[1] = -z;
            p[2] = y;
        } else if (up == "-y") { // y -> -z, z -> y
            p[1] = z;
            p[2] = -y;
        } else if (up == "x") { // a quarter turn about y: x -> z, z -> -x
            p[0] = -z;
            p[2] = x;
        } else if (up == "-x") { // x -> -z, z -> x
            p[0] = z;
            p[2] = -x;
        } else if (up == "-z") { // half a turn about x
            p[1] = -y;
            p[2] = -z;
        }
    }
}

std::string modelNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = file.find('.');
    return dot == std::string::npos ? file : file.substr(0, dot);
}

void checkModelName(const std::string& name, const std::string& source) {
    if (name.empty()) throw BakeError(source + ": gives an empty model name (use --name)");
    if (name.size() > 49)
        throw BakeError(source + ": model name '" + name +
                        "' is longer than 49 characters (use --name)");
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '+';
        if (!ok)
            throw BakeError(source + ": model name '" + name +
                            "' may hold only letters, digits, '_', '-' and '+' (use --name)");
    }
}

BakeMesh meshForViews(const BakeMesh& mesh, int side) {
    const double pixels = static_cast<double>(side) * side;
    const size_t target = static_cast<size_t>(std::max(2000.0, 20000.0 * pixels / (192.0 * 192.0)));
    if (static_cast<size_t>(mesh.triangleCount()) <= target || side <= 0) return mesh;
    // Corners written once per triangle are welded first: the simplifier only joins triangles
    // that share vertices.
    const size_t vertices = static_cast<size_t>(mesh.vertexCount());
    std::vector<unsigned> indices(mesh.tris.begin(), mesh.tris.end());
    std::vector<unsigned> remap(vertices);
    const size_t welded = meshopt_generateVertexRemap(remap.data(), indices.data(), indices.size(),
                                                      mesh.pos.data(), vertices, 3 * sizeof(float));
    BakeMesh simple;
    simple.pos.resize(3 * welded);
    meshopt_remapVertexBuffer(simple.pos.data(), mesh.pos.data(), vertices, 3 * sizeof(float),
                              remap.data());
    meshopt_remapIndexBuffer(indices.data(), indices.data(), indices.size(), remap.data());
    std::vector<unsigned> kept(indices.size());
    // The model spans about 0.8 of the picture; the error is relative to the mesh's extent.
    const float halfPixel = 0.5f / (0.8f * static_cast<float>(side));
    const size_t n =
        meshopt_simplify(kept.data(), indices.data(), indices.size(), simple.pos.data(), welded,
                         3 * sizeof(float), 3 * target, halfPixel, 0, nullptr);
    simple.tris.assign(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(n));
    return simple;
}
