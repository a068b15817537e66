#pragma once
// Helpers for the trackball tests: synthetic goodness maps installed into the map singletons,
// the camera's projection worked out by hand, and a second, separately written implementation
// of the engine's arithmetic that the tests compare with bit for bit.
#include "extTrackball.h"
#include "textureManager.h"

#include <gtest/gtest.h>

#include <GL/glu.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <new>
#include <random>
#include <utility>
#include <vector>

namespace tbtest {

// Rounds to float through memory, so that no optimiser can pack or drop the conversion.
inline double toFloat(double v) {
    volatile float f = static_cast<float>(v);
    return f;
}

// A goodness map: W x H cells of (goodness, gradientMagnitude, gradientAngle).
struct Map {
    int width = 0, height = 0;
    std::vector<float> cells;
    Map() = default;
    Map(int w, int h) : width(w), height(h), cells(static_cast<size_t>(3) * w * h, 0.0f) {}
    void fill(const std::function<void(int, int, float*)>& f) {
        for (int j = 0; j < height; ++j)
            for (int i = 0; i < width; ++i)
                f(i, j, &cells[3 * (static_cast<size_t>(j) * width + i)]);
    }
};

inline Map randomMap(int w, int h, unsigned seed) {
    Map map(w, h);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> g(0, 1), m(0, 3), a(-3.14159f, 3.14159f);
    map.fill([&](int, int, float* c) {
        c[0] = g(rng);
        c[1] = m(rng);
        c[2] = a(rng);
    });
    return map;
}

// Installs a map into textureManager (whose size the conversions read) while alive; restores the
// old one.
struct ScopedMap {
    textureManager& t = textureManager::_instance;
    float* old = t.mapData;
    int oldW = t.mapWidth, oldH = t.mapHeight;
    explicit ScopedMap(Map& map) {
        set(map.cells.empty() ? nullptr : map.cells.data(), map.width, map.height);
    }
    ~ScopedMap() { set(old, oldW, oldH); }
    void set(float* data, int w, int h) {
        t.mapData = data;
        t.mapWidth = w;
        t.mapHeight = h;
    }
};

// The view's camera: perspective (50 degrees, aspect 1, near 1, far 50) times the look-at from
// (0, 0, 30), which for this camera is a translation by -30 along z. Column-major.
inline std::array<double, 16> cameraProjection() {
    const double f = 1 / std::tan(25.0 * M_PI / 180.0), c = -51.0 / 49.0, d = -100.0 / 49.0;
    return {f, 0, 0, 0, 0, f, 0, 0, 0, 0, c, -1, 0, 0, c * -30 + d, 30};
}

// The trackball plane of the view's camera, with the projection and viewport that setzoom would
// capture from GL.
inline void setCameraPlane(int size = 500, int y = 0) {
    const std::array<double, 16> pv = cameraProjection();
    std::copy(pv.begin(), pv.end(), ab_glp);
    ab_glv[0] = 0;
    ab_glv[1] = y;
    ab_glv[2] = ab_glv[3] = size;
    ExtTrackball::_instance.setzoomPlane(-0.5f, vec(0, 0, 30), vec(0, 1, 0));
}

// The engine as a fresh process has it, so that tests do not depend on their order.
inline void resetEngine() {
    ExtTrackball& tb = ExtTrackball::_instance;
    tb.~ExtTrackball();
    new (&tb) ExtTrackball;
    for (double* m : {ab_quat, ab_last, ab_next, ab_temp, ab_temp2})
        quatidentity(m);
}

inline void load(double* m, const std::array<double, 16>& a) {
    std::copy(a.begin(), a.end(), m);
}
inline std::array<double, 16> snapshot(const double* m) {
    std::array<double, 16> a;
    std::copy(m, m + 16, a.begin());
    return a;
}

// ---------------------------------------------------------------------------------------------
// A second implementation of the engine's arithmetic, written from the description of each step.
namespace ref {

using V = vec; // its fields only: the arithmetic below is this file's own
using M = std::array<double, 16>;

inline double dotp(V a, V b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline V normalised(V a) {
    const double l = std::sqrt(dotp(a, a));
    return l == 0 ? V{} : V{a.x / l, a.y / l, a.z / l};
}

inline M identity() {
    return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}
// The rotation of quaternion (x, y, z, w) in the 3x3 block, the rest of the identity.
inline M fromQuaternion(double x, double y, double z, double w) {
    M m = identity();
    m[0] = 1 - 2 * y * y - 2 * z * z;
    m[5] = 1 - 2 * x * x - 2 * z * z;
    m[10] = 1 - 2 * x * x - 2 * y * y;
    m[1] = 2 * x * y + 2 * z * w;
    m[4] = 2 * x * y - 2 * z * w;
    m[2] = 2 * x * z - 2 * y * w;
    m[8] = 2 * x * z + 2 * y * w;
    m[6] = 2 * y * z + 2 * x * w;
    m[9] = 2 * y * z - 2 * x * w;
    return m;
}

// next applied after left: entry (r, c) of the array is the sum over k of left(r, k) next(k, c).
inline M after(const M& next, const M& left) {
    M d = left;
    for (int e = 0; e < 9; ++e) {
        const int r = 4 * (e / 3), c = e % 3;
        d[r + c] = left[r] * next[c] + left[r + 1] * next[4 + c] + left[r + 2] * next[8 + c];
    }
    return d;
}

// The rotation carrying unit a onto unit b, with the half-angle radicands kept at zero or above.
inline M between(V a, V b) {
    const double d = dotp(a, b);
    const double s = std::sqrt(std::max(0.0, 1 - d) * 0.5),
                 c = std::sqrt(std::max(0.0, 1 + d) * 0.5);
    const V n = normalised(V{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x});
    return fromQuaternion(n.x * s, n.y * s, n.z * s, c);
}

// Roll m about the line of sight so that the model's +z axis points up the screen; an axis
// pointing straight down gets the half turn.
inline M upright(const M& m) {
    const V w = normalised(V{m[8], m[9], 0});
    return after(w.x == 0 && w.y < 0 ? fromQuaternion(0, 0, 1, 0) : between(w, V{0, 1, 0}), m);
}

inline V viewDir(const M& m) {
    return V{m[2], m[6], m[10]};
}
// The orientation that turns q onto the eye axis, set upright.
inline M orient(V q) {
    return upright(after(between(q, V{0, 0, 1}), identity()));
}
inline V cartesian(V s) {
    return V{s.x * std::cos(s.y) * std::sin(s.z), s.x * std::sin(s.y) * std::sin(s.z),
             s.x * std::cos(s.z)};
}

// Map cell of a direction: angles rounded to float, indices rounded and clamped.
inline std::pair<int, int> cellOf(V d, int w, int h) {
    const double r = std::sqrt(dotp(d, d));
    const double theta = toFloat(std::atan2(d.y / r, d.x / r)), phi = toFloat(std::acos(d.z / r));
    const int i = static_cast<int>(std::round((theta + M_PI) / (2 * M_PI) * w));
    const int j = static_cast<int>(std::round(phi / M_PI * h));
    return {std::clamp(i, 0, w - 1), std::clamp(j, 0, h - 1)};
}

inline V cellDir(int i, int j, int w, int h) {
    const float twoA = 2 * (static_cast<float>(i) / static_cast<float>(w));
    const float b = static_cast<float>(j) / static_cast<float>(h);
    return cartesian(V{1, static_cast<double>(twoA) * M_PI - M_PI, static_cast<double>(b) * M_PI});
}

// Column wrapped as often as needed, row clamped.
inline void inside(const Map& map, int& i, int& j) {
    i = (i % map.width + map.width) % map.width;
    j = std::clamp(j, 0, map.height - 1);
}

// A cell that must be inside the map (the engine's mends keep every index there).
inline const float* cell(const Map& map, int i, int j) {
    EXPECT_TRUE(i >= 0 && i < map.width && j >= 0 && j < map.height) << "cell " << i << "," << j;
    i = std::clamp(i, 0, map.width - 1);
    return &map.cells[3 * (static_cast<size_t>(std::clamp(j, 0, map.height - 1)) * map.width + i)];
}

// Trackball-plane point of a window position for the camera at (0, 0, 30): eye distance 30,
// plane distance 15, up (0, 1, 0), out (-1, 0, 0).
inline V planar(double mx, double my) {
    const M glm = identity();
    double px, py, pz;
    gluUnProject(mx, my, 0, glm.data(), ab_glp, ab_glv, &px, &py, &pz);
    const V m{toFloat(px), toFloat(py), toFloat(pz) - 30};
    const double t = -15.0 / m.z;
    return V{m.y * t, -(m.x * t), 0};
}

enum class Kind { Drag, Live, Predict };

// The base step (dc, dr) from cell (i, j) turned towards the gradient sampled along it: the
// nudged step before normalisation.
inline V nudged(const Map& map, float nudge, int i, int j, double dc, double dr, Kind kind) {
    const double len = std::sqrt(dc * dc + dr * dr);
    const int n = static_cast<int>(std::floor(len * 0.5));
    double gx = 0, gy = 0;
    float mags = 0;
    for (int k = 0; k <= n; ++k) {
        int c = i, r = j;
        if (k > 0) {
            c = static_cast<int>(std::round(dc * k / n + i));
            r = static_cast<int>(std::round(dr * k / n + j));
            inside(map, c, r);
        }
        const float* v = cell(map, c, r);
        gx = gx + static_cast<float>(v[1] * std::cos(v[2]));
        gy = gy + static_cast<float>(-v[1] * std::sin(v[2]));
        mags = mags + v[1];
    }
    const V g = normalised(V{gx, gy, 0});
    const V side = len == 0 ? V{} : V{-dr / len, dc / len, 0};
    const float sigma = static_cast<float>(g.x * side.x + g.y * side.y);
    const float base = (std::exp(nudge * 2.0f) - 1.0f) * (mags / static_cast<float>(n + 1));
    const float gain =
        kind == Kind::Live
            ? base * 0.5f
            : static_cast<float>(base * (kind == Kind::Drag ? 1 + 0.05 * len : 0.06));
    const double h = kind == Kind::Drag ? 0.6 : 0.8;
    double px = side.x * sigma * gain, py = side.y * sigma * gain;
    const double pl = std::sqrt(px * px + py * py);
    if (pl > h * len) {
        px = px / pl * len * h;
        py = py / pl * len * h;
    }
    return V{dc + px, dr + py, 0};
}

// Near a pole only motion away from it or sideways (a fifth) counts.
inline void poleGuard(const M& m, double& dx, double& dy) {
    if (m[9] <= 0.2 && ((m[10] > 0 && dx < 0) || (m[10] < 0 && dx > 0))) {
        dy = 0.2 * dy;
        dx = 0;
    }
}

// The plain drag from plane point s to p: the orientation it gives ab_temp2 (from which it steps),
// the real orientation quat guarding the poles.
inline M standardDrag(const Map& map, const M& quat, const M& temp2, V s, V p) {
    double dx = p.x - s.x, dy = p.y - s.y;
    if (dx == 0 && dy == 0) return temp2;
    poleGuard(quat, dx, dy);
    auto [c, r] = cellOf(viewDir(temp2), map.width, map.height);
    c = static_cast<int>(dy * 50.0 + c);
    r = static_cast<int>(dx * 50.0 + r);
    inside(map, c, r);
    return orient(cellDir(c, r, map.width, map.height));
}

// One nudged drag move from plane point s to plane point p, from orientation now.
inline M nudgedDrag(const Map& map, float nudge, const M& now, V s, V p) {
    double dx = p.x - s.x, dy = p.y - s.y;
    const double dz = p.z - s.z;
    if (dx == 0 && dy == 0 && dz == 0) return now;
    poleGuard(now, dx, dy);
    const auto [i, j] = cellOf(viewDir(now), map.width, map.height);
    const V u = normalised(nudged(map, nudge, i, j, dy * 50, dx * 50, Kind::Drag));
    const double dist = std::sqrt(dx * dx + dy * dy + dz * dz) * 50;
    int c = static_cast<int>(i + u.x * dist), r = static_cast<int>(j + u.y * dist);
    inside(map, c, r);
    return orient(cellDir(c, r, map.width, map.height));
}

// One live throw tick after the plain friction step, from orientation now: the speed, the
// motion and the throw cell as the engine keeps them, and the orientation that results.
struct Live {
    float speed = 0;
    V mc;
    int column = 0, row = 0;
};

inline M liveTick(const Map& map, float nudge, float friction, const M& now, Live& s) {
    const auto [i, j] = cellOf(viewDir(now), map.width, map.height);
    const double dc = -s.mc.x, dr = -s.mc.y;
    const V u = normalised(nudged(map, nudge, i, j, dc, dr, Kind::Live));
    s.speed = (1 - friction) * s.speed;
    if (s.speed < 2.0 || std::sqrt(dc * dc + dr * dr) < 0.1) return now;
    const V st{u.x * s.speed, u.y * s.speed, 0};
    s.column = static_cast<int>(std::round(i + st.x));
    s.row = static_cast<int>(std::round(j + st.y));
    s.mc = V{-st.x, -st.y, 0};
    if (now[9] <= 0.2 && ((now[10] > 0 && st.y < 0) || (now[10] < 0 && st.y > 0))) return now;
    inside(map, s.column, s.row);
    return orient(cellDir(s.column, s.row, map.width, map.height));
}

// The mouse speed and motion of two samples: their distance, along the newer one's offset.
inline void motion(std::pair<int, int> newest, std::pair<int, int> older, float& average, V& mc) {
    const V d(newest.first - older.first, newest.second - older.second, 0);
    average = static_cast<float>(std::sqrt(dotp(d, d)));
    const V u = normalised(d);
    mc = V{u.x * average, u.y * average, 0};
}

// The predicted throw: the slowing, nudged simulation, the climb and the blend.
struct Prediction {
    std::vector<V> path;
    int lastColumn = 0, lastRow = 0;
    bool acrossSeam = false; // whether the climb met the column seam, for the tests' coverage
};

inline Prediction predict(const Map& map, float nudge, float friction, int i, int j, V mc,
                          float average) {
    Prediction p;
    float v = static_cast<float>(0.9 * average), total = 0;
    double dc = -mc.x, dr = -mc.y;
    while (v > 2.0) {
        const V u = normalised(nudged(map, nudge, i, j, dc, dr, Kind::Predict));
        v = (1 - friction) * v;
        const V st{u.x * v, u.y * v, 0};
        total = static_cast<float>(total + std::sqrt(st.x * st.x + st.y * st.y));
        i = static_cast<int>(std::round(i + st.x));
        j = static_cast<int>(std::round(j + st.y));
        inside(map, i, j);
        p.path.push_back(V{static_cast<double>(i), static_cast<double>(j), 0});
        if (dc * mc.x + dr * mc.y > 0 || j <= 9 || j >= map.height - 10) break;
        dc = st.x;
        dr = st.y;
    }
    p.lastColumn = i;
    p.lastRow = j;
    if (p.path.size() < 2) return p;
    const int c0 = i, r0 = j;
    int c = c0, r = r0, oc = 0, orow = 0;
    float a = cell(map, c, r)[2];
    for (int step = 1; step <= 100; ++step) {
        const float g = cell(map, c, r)[0];
        // Near a pole the gradient may point over it: walk away from the pole first.
        const int r1 = r;
        while (r1 <= 14 && -3.0f * std::sin(a) < 0 && r < r1 + 150 && r < map.height - 1)
            a = cell(map, c, r = std::min(r + 3, map.height - 1))[2];
        while (r1 > 14 && r1 >= map.height - 15 && -3.0f * std::sin(a) > 0 && r > r1 - 150 && r > 0)
            a = cell(map, c, r = std::max(r - 3, 0))[2];
        int c2 = static_cast<int>(std::round(c + static_cast<double>(3.0f * std::cos(a))));
        int r2 = static_cast<int>(std::round(r + static_cast<double>(-3.0f * std::sin(a))));
        inside(map, c2, r2);
        oc = c2 - c0;
        const int seam = 2 * oc > map.width ? -map.width : 2 * oc < -map.width ? map.width : 0;
        oc += seam;
        p.acrossSeam |= seam != 0;
        orow = r2 - r0;
        if (static_cast<float>(std::sqrt(static_cast<double>(oc * oc + orow * orow))) > 0.5 * total)
            break;
        const float a2 = cell(map, c2, r2)[2];
        const double turn = std::fabs(static_cast<double>(a2) - static_cast<double>(a));
        if (g > 0.7 && turn > 0.75 * M_PI && turn < 1.25 * M_PI) break;
        c = c2;
        r = r2;
        a = a2;
    }
    const size_t k1 = p.path.size() - 1;
    for (size_t k = 0; k < p.path.size(); ++k) {
        const float x = static_cast<float>(k) / static_cast<float>(k1);
        const float w = (x * x) * (x * -2.0f + 3.0f);
        p.path[k].x += oc * static_cast<double>(w);
        p.path[k].y += orow * static_cast<double>(w);
    }
    return p;
}

} // namespace ref

// Matrices equal in all 16 entries, bit for bit (0 and -0 count as equal).
inline ::testing::AssertionResult sameMatrix(const double* got, const ref::M& want) {
    const auto k = std::mismatch(want.begin(), want.end(), got).first - want.begin();
    if (k == 16) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "entry " << k << ": " << got[k] << " != " << want[k];
}

// The cell of the current viewing direction (of ab_quat unless another matrix is named).
inline std::pair<int, int> viewCell(const Map& map, const double* m = ab_quat) {
    return ref::cellOf(ref::viewDir(snapshot(m)), map.width, map.height);
}

// Puts the orientation onto cell (i, j) as the engine does after every handled move.
inline void orientAt(const Map& map, int i, int j) {
    for (double* d : {ab_quat, ab_last, ab_temp2})
        load(d, ref::orient(ref::cellDir(i, j, map.width, map.height)));
}

struct TrackballTest : ::testing::Test {
    void SetUp() override {
        resetEngine();
        setCameraPlane(500);
    }
    // Mouse samples, oldest first, as the view records them during a drag.
    void mouse(const std::vector<std::pair<int, int>>& oldestFirst) {
        tb.clearMousePath();
        for (const auto& [x, y] : oldestFirst)
            tb.recordMousePath(x, y);
    }
    ExtTrackball& tb = ExtTrackball::_instance;
};

} // namespace tbtest
