// Writes a small, complete data tree for the viewer: the view sphere, generated models, goodness
// and gradient maps from a closed-form goodness function, orbit files, both lists and the
// instruction text.
//
// Goodness of attribute k for the viewing direction d (a unit vector) is
//     g(d) = (1 + a_k . d) / 2,
// with a fixed unit axis a_k per attribute, so it is 1 looking from a_k and 0 from -a_k.
// Cell (i, j) of a W x H map stands for theta = 2 pi i / W - pi and phi = pi j / H, and
// d = (cos theta sin phi, sin theta sin phi, cos phi). The gradient image stores the exact
// derivatives per radian:
//     gx = dg/dtheta = (a . dd/dtheta) / 2,   gy = dg/dphi = (a . dd/dphi) / 2,
// gx along the columns and gy along the rows (rows counted downwards, as phi grows).
//
// Usage: orvalis-gendata ROOT [--fixture]
//   ROOT       the folder that receives Data/ and instructions.htm (created if missing)
//   --fixture  the tree the tests run on: two models, three attributes, 72 x 36 maps
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "mapimage.h"

namespace fs = std::filesystem;

namespace {

struct P3 {
    double x, y, z;
};

P3 normalized(P3 p) {
    double l = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
    return {p.x / l, p.y / l, p.z / l};
}

struct Attribute {
    std::string name;
    P3 axis;
};

bool writeBytes(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!f) {
        std::fprintf(stderr, "orvalis-gendata: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

// Level-n subdivided icosahedron on the unit sphere; normals equal positions.
std::string sphereObj(int levels) {
    const double t = (1 + std::sqrt(5.0)) / 2;
    std::vector<P3> v = {{-1, t, 0},  {1, t, 0},  {-1, -t, 0}, {1, -t, 0}, {0, -1, t},  {0, 1, t},
                         {0, -1, -t}, {0, 1, -t}, {t, 0, -1},  {t, 0, 1},  {-t, 0, -1}, {-t, 0, 1}};
    for (auto& p : v)
        p = normalized(p);
    std::vector<std::array<int, 3>> f = {
        {0, 11, 5},  {0, 5, 1},  {0, 1, 7},  {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
        {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
        {3, 8, 9},   {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
    for (int l = 0; l < levels; ++l) {
        std::map<std::pair<int, int>, int> mid;
        auto midpoint = [&](int a, int b) {
            auto key = std::make_pair(std::min(a, b), std::max(a, b));
            auto it = mid.find(key);
            if (it != mid.end()) return it->second;
            P3 m =
                normalized({(v[a].x + v[b].x) / 2, (v[a].y + v[b].y) / 2, (v[a].z + v[b].z) / 2});
            v.push_back(m);
            return mid[key] = static_cast<int>(v.size()) - 1;
        };
        std::vector<std::array<int, 3>> next;
        for (auto& tri : f) {
            int a = midpoint(tri[0], tri[1]), b = midpoint(tri[1], tri[2]),
                c = midpoint(tri[2], tri[0]);
            next.push_back({tri[0], a, c});
            next.push_back({tri[1], b, a});
            next.push_back({tri[2], c, b});
            next.push_back({a, b, c});
        }
        f = next;
    }
    std::string s = "# unit view sphere: subdivided icosahedron\n";
    char line[128];
    for (auto& p : v) {
        std::snprintf(line, sizeof line, "v %.7f %.7f %.7f\n", p.x, p.y, p.z);
        s += line;
    }
    for (auto& p : v) {
        std::snprintf(line, sizeof line, "vn %.7f %.7f %.7f\n", p.x, p.y, p.z);
        s += line;
    }
    for (auto& tri : f) {
        std::snprintf(line, sizeof line, "f %d//%d %d//%d %d//%d\n", tri[0] + 1, tri[0] + 1,
                      tri[1] + 1, tri[1] + 1, tri[2] + 1, tri[2] + 1);
        s += line;
    }
    return s;
}

std::string offFile(const std::vector<P3>& v, const std::vector<std::array<int, 3>>& f) {
    std::string s = "OFF\n" + std::to_string(v.size()) + " " + std::to_string(f.size()) + " 0\n";
    char line[128];
    for (auto& p : v) {
        std::snprintf(line, sizeof line, "%.6f %.6f %.6f\n", p.x, p.y, p.z);
        s += line;
    }
    for (auto& t : f) {
        std::snprintf(line, sizeof line, "3 %d %d %d\n", t[0], t[1], t[2]);
        s += line;
    }
    return s;
}

// A torus around the z axis with a bump on its +x side, so that views differ visibly.
std::string torusOff(int rings, int sides) {
    std::vector<P3> v;
    std::vector<std::array<int, 3>> f;
    for (int i = 0; i < rings; ++i) {
        double u = 2 * M_PI * i / rings;
        double bump = 1 + 0.35 * std::exp(-4 * (1 - std::cos(u)));
        for (int j = 0; j < sides; ++j) {
            double w = 2 * M_PI * j / sides;
            double r = 0.35 * bump;
            v.push_back({(1 + r * std::cos(w)) * std::cos(u), (1 + r * std::cos(w)) * std::sin(u),
                         r * std::sin(w)});
        }
    }
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < sides; ++j) {
            int a = i * sides + j, b = ((i + 1) % rings) * sides + j;
            int c = ((i + 1) % rings) * sides + (j + 1) % sides, d = i * sides + (j + 1) % sides;
            f.push_back({a, b, c});
            f.push_back({a, c, d});
        }
    return offFile(v, f);
}

// An axis-aligned box with corners at +-1, +-0.6, +-0.4: extent 1.
std::string boxOff() {
    std::vector<P3> v;
    for (int k = 0; k < 8; ++k)
        v.push_back({k & 1 ? 1.0 : -1.0, k & 2 ? 0.6 : -0.6, k & 4 ? 0.4 : -0.4});
    std::vector<std::array<int, 3>> f = {{0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6},
                                         {0, 1, 5}, {0, 5, 4}, {2, 6, 7}, {2, 7, 3},
                                         {0, 4, 6}, {0, 6, 2}, {1, 3, 7}, {1, 7, 5}};
    return offFile(v, f);
}

P3 direction(double theta, double phi) {
    return {std::cos(theta) * std::sin(phi), std::sin(theta) * std::sin(phi), std::cos(phi)};
}

std::string pgmImage(int w, int h, P3 a) {
    std::vector<double> goodness;
    goodness.reserve(static_cast<size_t>(w) * h);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            P3 d = direction(2 * M_PI * i / w - M_PI, M_PI * j / h);
            goodness.push_back((1 + a.x * d.x + a.y * d.y + a.z * d.z) / 2);
        }
    return pgmImageBytes(w, h, goodness, "goodness (1 + a.d) / 2");
}

std::string vgfImage(int w, int h, P3 a) {
    std::vector<float> gx, gy;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            double theta = 2 * M_PI * i / w - M_PI, phi = M_PI * j / h;
            P3 dTheta = {-std::sin(theta) * std::sin(phi), std::cos(theta) * std::sin(phi), 0};
            P3 dPhi = {std::cos(theta) * std::cos(phi), std::sin(theta) * std::cos(phi),
                       -std::sin(phi)};
            gx.push_back(static_cast<float>((a.x * dTheta.x + a.y * dTheta.y) / 2));
            gy.push_back(static_cast<float>((a.x * dPhi.x + a.y * dPhi.y + a.z * dPhi.z) / 2));
        }
    return vgfImageBytes(w, h, gx, gy);
}

// 100 points, one per azimuth step, with a gentle wave in the polar angle.
std::string orbitFile() {
    std::string s;
    char line[64];
    for (int k = 0; k < 100; ++k) {
        double theta = -M_PI + 2 * M_PI * (k + 0.5) / 100;
        double phi = 1.2 + 0.3 * std::sin(2 * theta);
        std::snprintf(line, sizeof line, "%f %f\n", theta, phi);
        s += line;
    }
    return s;
}

const char* instructions =
    "<h2>Orvalis</h2>\n"
    "<p>The left square shows the model; the right square shows how good each viewing direction "
    "is, as a coloured sphere (blue poor, red good) or, after <b>Space</b>, as a flat map.</p>\n"
    "<h3>Modes (the tabs below the view)</h3>\n"
    "<ul><li><b>Visualizer</b>: pick a model and a goodness attribute and look at its map. A drag "
    "turns the model plainly and stops when you let go.</li>\n"
    "<li><b>Trackball</b>: drag to turn the model; the drag is bent towards better views, and a "
    "drag released while moving keeps travelling, slowed by friction, and comes to rest on a good "
    "view; a drag held still before you let go stays where it is. <i>Off</i> turns nudging and "
    "friction off: a drag released while moving then keeps turning at its release speed until "
    "the next press. <i>Slider Settings</i> lets you set the nudge and friction strengths.</li>\n"
    "<li><b>Orbit</b>: choose the model's stored orbit (<i>our orbit</i>) or a turntable loop "
    "(<i>turntable</i>), start or pause it with <i>play</i>, or scrub along it with the slider or "
    "by dragging in the view.</li></ul>\n"
    "<h3>Mouse</h3>\n"
    "<p>Drag in the left square or on the sphere to turn the model. On the flat map, click or "
    "drag to look from the direction under the pointer.</p>\n"
    "<h3>Keys</h3>\n"
    "<ul><li><b>D</b>: start or stop recording the viewing direction of every frame.</li>\n"
    "<li><b>V</b>: show or hide the orbit (magenta) and turntable (black) paths.</li>\n"
    "<li><b>Space</b>: switch the right square between the sphere and the flat map.</li></ul>\n";

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: orvalis-gendata ROOT [--fixture]\n");
        return argc < 2 ? 2 : 0;
    }
    const fs::path root = argv[1];
    const bool fixture = argc > 2 && std::strcmp(argv[2], "--fixture") == 0;
    const int w = fixture ? 72 : 360, h = fixture ? 36 : 180;
    std::vector<std::pair<std::string, std::string>> models = {{"torus", torusOff(48, 24)}};
    if (fixture) models.push_back({"box", boxOff()});
    std::vector<Attribute> attributes = {{"front", normalized({0.3, -1, 0.4})}, {"top", {0, 0, 1}}};
    if (fixture) attributes.push_back({"side", {1, 0, 0}});

    bool ok = writeBytes(root / "instructions.htm", instructions) &&
              writeBytes(root / "Data/Models/sphere.obj", sphereObj(3));
    std::string modelList, attributeList;
    for (auto& a : attributes)
        attributeList += a.name + "\n";
    for (auto& [name, off] : models) {
        modelList += name + "\n";
        ok = ok && writeBytes(root / "Data/Models" / (name + ".off"), off) &&
             writeBytes(root / "Data/Orbits" / (name + "_orbit.txt"), orbitFile());
        for (auto& a : attributes) {
            fs::path base = root / "Data/Attributes" / name / (name + "_" + a.name);
            ok = ok && writeBytes(base.string() + ".pgm", pgmImage(w, h, a.axis)) &&
                 writeBytes(base.string() + ".vgf", vgfImage(w, h, a.axis));
        }
    }
    ok = ok && writeBytes(root / "Data/Models/modelList.txt", modelList) &&
         writeBytes(root / "Data/Attributes/attributeList.txt", attributeList);
    if (fixture) fs::create_directories(root / "run");
    return ok ? 0 : 1;
}
