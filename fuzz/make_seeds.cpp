// Writes the seed corpora of the fuzz targets: small, valid files of every format the viewer
// reads, one folder per target.
//
// Usage: orvalis-fuzz-seeds CORPUS_DIR   (the repository keeps them in fuzz/corpus)
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool ok = true;

void put(const fs::path& dir, const std::string& name, const std::string& bytes) {
    fs::create_directories(dir);
    std::ofstream f(dir / name, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!f) {
        std::fprintf(stderr, "orvalis-fuzz-seeds: cannot write %s\n", (dir / name).c_str());
        ok = false;
    }
}

struct P {
    float x, y, z;
};

const std::vector<P> cubeVerts = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                  {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
const std::vector<std::vector<int>> cubeQuads = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                                 {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}};
const std::vector<P> tetraVerts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
const std::vector<std::vector<int>> tetraTris = {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}};

std::string num(float v) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", static_cast<double>(v));
    return b;
}

std::vector<std::vector<int>> cubeTris() {
    std::vector<std::vector<int>> tris;
    for (const auto& q : cubeQuads) {
        tris.push_back({q[0], q[1], q[2]});
        tris.push_back({q[0], q[2], q[3]});
    }
    return tris;
}

void offSeeds(const fs::path& dir) {
    std::string cube = "OFF\n8 12 18\n";
    for (const P& p : cubeVerts)
        cube += num(p.x) + " " + num(p.y) + " " + num(p.z) + "\n";
    for (const auto& t : cubeTris())
        cube += "3 " + std::to_string(t[0]) + " " + std::to_string(t[1]) + " " +
                std::to_string(t[2]) + "\n";
    put(dir, "cube.off", cube);

    std::string noff = "NOFF\n4 4 6\n";
    for (const P& p : tetraVerts)
        noff += num(p.x) + " " + num(p.y) + " " + num(p.z) + " 0 0 1\n";
    for (const auto& t : tetraTris)
        noff += "3 " + std::to_string(t[0]) + " " + std::to_string(t[1]) + " " +
                std::to_string(t[2]) + "\n";
    put(dir, "tetra_normals.noff", noff);

    std::string coloured = "OFF\n4 4 0\n";
    for (const P& p : tetraVerts)
        coloured += num(p.x * 20) + "\t" + num(p.y * 20) + "\t" + num(p.z * 20) + "\n";
    int c = 0;
    for (const auto& t : tetraTris) {
        coloured += "3 " + std::to_string(t[0]) + " " + std::to_string(t[1]) + " " +
                    std::to_string(t[2]) + " " + std::to_string(255 - c) + " " +
                    std::to_string(c * 60) + " 300\n";
        ++c;
    }
    put(dir, "tetra_coloured_large.off", coloured);

    put(dir, "empty_model.off", "OFF\n0 0 0\n");
    put(dir, "crlf_exponents.off",
        "OFF\r\n3 1 3\r\n0 0 0\r\n1e-3 0 0\r\n0 2.5E-3 -0.0\r\n3 0 1 2\r\n");
    put(dir, "fewer_faces.off", "OFF\n3 2 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
}

void smfSeeds(const fs::path& dir) {
    std::string tetra = "# a tetrahedron\n";
    for (const P& p : tetraVerts)
        tetra += "v " + num(p.x) + " " + num(p.y) + " " + num(p.z) + "\n";
    tetra += "\n";
    for (const auto& t : tetraTris)
        tetra += "f " + std::to_string(t[0] + 1) + " " + std::to_string(t[1] + 1) + " " +
                 std::to_string(t[2] + 1) + "\n";
    put(dir, "tetra.smf", tetra);
    std::string cube = "# cube\n";
    for (const P& p : cubeVerts)
        cube += "v " + num(p.x * 0.25f) + " " + num(p.y * 0.25f) + " " + num(p.z * 0.25f) + "\n";
    for (const auto& t : cubeTris())
        cube += "f " + std::to_string(t[0] + 1) + " " + std::to_string(t[1] + 1) + " " +
                std::to_string(t[2] + 1) + "\n";
    put(dir, "cube.smf", cube);
    put(dir, "triangle_indented.smf",
        "  v 0 0 0\n\tv 1.5 0 0\nv 0 -1.5 0\nbind c face\n f 1 2 3\n");
}

void objSeeds(const fs::path& dir) {
    std::string cube = "# cube with normals\nmtllib cube.mtl\n";
    for (const P& p : cubeVerts)
        cube += "v " + num(p.x) + " " + num(p.y) + " " + num(p.z) + "\n";
    const P normals[6] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {1, 0, 0}, {-1, 0, 0}};
    for (const P& n : normals)
        cube += "vn " + num(n.x) + " " + num(n.y) + " " + num(n.z) + "\n";
    cube += "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\ng box\nusemtl red\n";
    for (size_t f = 0; f < cubeQuads.size(); ++f) {
        if (f == 3) cube += "g lid\nusemtl blue\n";
        cube += "f";
        for (size_t k = 0; k < 4; ++k)
            cube += " " + std::to_string(cubeQuads[f][k] + 1) + "/" + std::to_string(k + 1) + "/" +
                    std::to_string(f + 1);
        cube += "\n";
    }
    const std::string mtl = "# two materials\nnewmtl red\nKd 1 0 0\nKa 0.1 0 0\nKs 1 1 1\n"
                            "Ns 500\nnewmtl blue\nKd 0 0 1\n";
    put(dir, "cube_materials.obj", cube + std::string("\0MTL\0", 5) + mtl);

    std::string split = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nv 2 0 0\n"
                        "vn 0 0 1\nvn 0 0 1\nvn 0 0 1\nvn 0 0 -1\nvn 0 0 1\n"
                        "f 1//1 2//2 3//3\nf 1//4 3//3 5//5\n";
    put(dir, "normal_split.obj", split);
    put(dir, "fan_positions.obj",
        "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0.5 1.5 0\nf 1 2 3 4\nf 4 3 5\n");
    put(dir, "texture_corners.obj",
        "v 0 0 0\nv 4 0 0\nv 0 4 0\nvt 0 0\nvt 1 0\nvt 0 1\nusemtl missing\nf 1/1 2/2 3/3\n");
    put(dir, "unused_positions.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 9 9 9\nv 8 8 8\nf 1 2 3\n");
}

uint32_t floatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

void putLE(std::string& out, uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k)
        out.push_back(static_cast<char>((v >> (8 * k)) & 0xff));
}

void putBE(std::string& out, uint32_t v, int bytes) {
    for (int k = bytes - 1; k >= 0; --k)
        out.push_back(static_cast<char>((v >> (8 * k)) & 0xff));
}

void plySeeds(const fs::path& dir) {
    const std::string header = "element vertex 4\nproperty float x\nproperty float y\n"
                               "property float z\nelement face 4\n"
                               "property list uchar int vertex_indices\nend_header\n";
    std::string ascii = "ply\nformat ascii 1.0\ncomment a tetrahedron\nobj_info seed\n" + header;
    for (const P& p : tetraVerts)
        ascii += num(p.x) + " " + num(p.y) + " " + num(p.z) + "\n";
    for (const auto& t : tetraTris)
        ascii += "3 " + std::to_string(t[0]) + " " + std::to_string(t[1]) + " " +
                 std::to_string(t[2]) + "\n";
    put(dir, "tetra_ascii.ply", ascii);

    for (int big = 0; big < 2; ++big) {
        std::string bin = std::string("ply\nformat ") +
                          (big ? "binary_big_endian" : "binary_little_endian") + " 1.0\n" + header;
        auto word = [&](uint32_t v, int n) { big ? putBE(bin, v, n) : putLE(bin, v, n); };
        for (const P& p : tetraVerts) {
            word(floatBits(p.x), 4);
            word(floatBits(p.y), 4);
            word(floatBits(p.z), 4);
        }
        for (const auto& t : tetraTris) {
            word(3, 1);
            for (int k = 0; k < 3; ++k)
                word(static_cast<uint32_t>(t[k]), 4);
        }
        put(dir, big ? "tetra_binary_big_endian.ply" : "tetra_binary_little_endian.ply", bin);
    }

    // Every property type, extra vertex properties, a quad, and an element the reader skips.
    std::string mixed =
        "ply\nformat ascii 1.0\ncomment   spaced comment\n"
        "element vertex 4\nproperty double x\nproperty double y\nproperty double z\n"
        "property float nx\nproperty uchar red\nproperty char c\nproperty short s\n"
        "property ushort us\nproperty uint ui\nproperty int i\n"
        "element face 1\nproperty list ushort uint vertex_index\n"
        "element edge 2\nproperty int vertex1\nproperty int vertex2\nend_header\n"
        "0 0 0 1 255 -128 -32768 65535 4294967295 -2147483648\n"
        "1\t0 0 0 0 0 0 0 0 0\n"
        "1 1 0 0 0 0 0 0 0 0\n"
        "0 1 0 0 0 0 0 0 0 0\n"
        "4 0 1 2 3\n0 1\n1 2\n";
    put(dir, "quad_all_types.ply", mixed);

    std::string le = "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty double x\n"
                     "property double y\nproperty double z\nproperty ushort flags\n"
                     "element face 1\nproperty list char short vertex_indices\nend_header\n";
    const double pos[3][3] = {{0, 0, 0}, {30, 0, 0}, {0, 30, 0}};
    for (const auto& p : pos) {
        for (double v : p) {
            uint64_t u;
            std::memcpy(&u, &v, 8);
            putLE(le, static_cast<uint32_t>(u), 4);
            putLE(le, static_cast<uint32_t>(u >> 32), 4);
        }
        putLE(le, 7, 2);
    }
    putLE(le, 3, 1);
    for (int k = 0; k < 3; ++k)
        putLE(le, static_cast<uint32_t>(k), 2);
    put(dir, "triangle_doubles_le.ply", le);
}

void pgmSeeds(const fs::path& dir) {
    std::string small = "P5\n4 2\n255\n";
    for (int k = 0; k < 8; ++k)
        small.push_back(static_cast<char>(k * 36));
    put(dir, "map_4x2.pgm", small);
    std::string commented = "P5\n# a comment\n# another\n3 3\n15\n";
    for (int k = 0; k < 9; ++k)
        commented.push_back(static_cast<char>(k * 2));
    put(dir, "comments_maxval_15.pgm", commented);
    std::string wide = "P5 16\t1 255 ";
    for (int k = 0; k < 16; ++k)
        wide.push_back(static_cast<char>(255 - k * 16));
    put(dir, "one_row.pgm", wide);
}

std::string vgf(const std::string& header, int w, int h) {
    std::string out = header;
    out.resize(15, ' ');
    out[14] = '\n';
    for (int k = 0; k < w * h; ++k) {
        const float gx = std::cos(0.7f * static_cast<float>(k));
        const float gy = (k % 3 == 0) ? 0.0f : -0.5f * static_cast<float>(k % 5);
        putLE(out, floatBits(gx), 4);
        putLE(out, floatBits(gy), 4);
    }
    return out;
}

void vgfSeeds(const fs::path& dir) {
    put(dir, "map_4x2.vgf", vgf("VGF\n4 2", 4, 2));
    put(dir, "map_3x3.vgf", vgf("V\n3\t3", 3, 3));
    put(dir, "comment_1x2.vgf", vgf("V\n#c\n1 2", 1, 2));
    put(dir, "map_16x1.vgf", vgf("VGF 16 1", 16, 1));
}

void orbitSeeds(const fs::path& dir) {
    put(dir, "three_points.txt", "0.000000 1.000000\n1.000000 1.000000\n2.000000 1.000000\n");
    put(dir, "seam.txt", "3.0 1\n-2.9 1\n-3.1 0.5\n3.1 2.5\n");
    put(dir, "one_point.txt", "-1.5 0.25");
    put(dir, "spaces_and_exponents.txt", "  1e-1\t2.5E-1\r\n-0.5 +3\n\n");
}

void listSeeds(const fs::path& dir) {
    put(dir, "models.txt", "torus\nbox\n");
    put(dir, "attributes_one_line.txt", "front top side");
    put(dir, "blank_lines_tabs.txt", "\n\nbunny\t\tdragon\r\n\n  vq  \n");
    put(dir, "name_49.txt", std::string(49, 'n') + "\nshort\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    offSeeds(root / "off");
    smfSeeds(root / "smf");
    objSeeds(root / "obj");
    plySeeds(root / "ply");
    pgmSeeds(root / "pgm");
    vgfSeeds(root / "vgf");
    orbitSeeds(root / "orbit");
    listSeeds(root / "lists");
    return ok ? 0 : 1;
}
