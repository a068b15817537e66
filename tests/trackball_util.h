#pragma once
// Helpers for the trackball tests: synthetic goodness maps installed into the map singletons,
// the camera's projection worked out by hand, and a second, separately written implementation
// of the engine's arithmetic that the tests compare with bit for bit.
#include "extTrackball.h"
#include "textureManager.h"

#include <gtest/gtest.h>

#include <GL/glu.h>

#include <array>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

namespace tbtest {

// Rounds to float through memory, so that no optimiser can pack or drop the conversion.
inline double toFloat(double v) {
    volatile float f = static_cast<float>(v);
    return f;
}

inline bool isFloat(double v) {
    return toFloat(v) == v;
}

// A goodness map: W x H cells of (goodness, gradientMagnitude, gradientAngle).
struct Map {
    int width = 0;
    int height = 0;
    std::vector<float> cells;

    Map() = default;
    Map(int w, int h) : width(w), height(h), cells(static_cast<size_t>(3) * w * h, 0.0f) {}
    float* at(int column, int row) {
        return &cells[3 * (static_cast<size_t>(row) * width + column)];
    }
    void fill(const std::function<void(int, int, float*)>& f) {
        for (int j = 0; j < height; ++j)
            for (int i = 0; i < width; ++i)
                f(i, j, at(i, j));
    }
};

// Installs a map into textureManager and coordinateTransform for the lifetime of the object and
// puts back whatever was there before.
class ScopedMap {
public:
    explicit ScopedMap(Map& map) {
        textureManager& t = textureManager::_instance;
        oldData = t.mapData;
        oldWidth = t.mapWidth;
        oldHeight = t.mapHeight;
        oldCtWidth = coordinateTransform::_instance.mapWidth;
        oldCtHeight = coordinateTransform::_instance.mapHeight;
        t.mapData = map.cells.empty() ? nullptr : map.cells.data();
        t.mapWidth = map.width;
        t.mapHeight = map.height;
        coordinateTransform::_instance.mapWidth = map.width;
        coordinateTransform::_instance.mapHeight = map.height;
    }
    ~ScopedMap() {
        textureManager& t = textureManager::_instance;
        t.mapData = oldData;
        t.mapWidth = oldWidth;
        t.mapHeight = oldHeight;
        coordinateTransform::_instance.mapWidth = oldCtWidth;
        coordinateTransform::_instance.mapHeight = oldCtHeight;
    }
    ScopedMap(const ScopedMap&) = delete;
    ScopedMap& operator=(const ScopedMap&) = delete;

private:
    float* oldData;
    int oldWidth, oldHeight, oldCtWidth, oldCtHeight;
};

// The projection the view sets up for the camera (eye (0, 0, 30) looking at the origin, y up):
// perspective with a 50 degree field of view, aspect 1, near 1, far 50, times the look-at
// transform, which for this camera is a translation by -30 along z. Column-major.
inline std::array<double, 16> cameraProjection() {
    const double half = 25.0 * M_PI / 180.0;
    const double f = std::cos(half) / std::sin(half);
    const double n = 1, fa = 50;
    std::array<double, 16> p{};
    p[0] = f;
    p[5] = f;
    p[10] = -(fa + n) / (fa - n);
    p[11] = -1;
    p[14] = -2 * fa * n / (fa - n);
    // P * T(0, 0, -30): only the last column changes, to P * (0, 0, -30, 1).
    std::array<double, 16> pv = p;
    pv[12] = 0;
    pv[13] = 0;
    pv[14] = p[10] * -30 + p[14];
    pv[15] = p[11] * -30;
    return pv;
}

// Puts the trackball plane of the view's camera in place, with the projection and viewport that
// setzoom would capture from GL.
inline void setCameraPlane(int viewportSize = 500, int viewportY = 0) {
    const std::array<double, 16> pv = cameraProjection();
    for (int k = 0; k < 16; ++k)
        ab_glp[k] = pv[k];
    ab_glv[0] = 0;
    ab_glv[1] = viewportY;
    ab_glv[2] = viewportSize;
    ab_glv[3] = viewportSize;
    ExtTrackball::_instance.setzoomPlane(-0.5f, vec(0, 0, 30), vec(0, 1, 0));
}

// Puts the engine back into the state of a freshly built process (strengths, trails, paths,
// matrices), so that tests do not depend on their order.
inline void resetEngine() {
    ExtTrackball& tb = ExtTrackball::_instance;
    tb.clearMousePath();
    tb.firstThrowStep = true;
    tb.restartPath = false;
    tb.nudgeStrength = 0;
    tb.frictionStrength = 0;
    tb.throwSpeed = 0.01f;
    tb.averageSpeed = 0;
    tb.throwStepCount = 0;
    tb.motionChange = vec(0, 0, 0);
    tb.viewpointTrail.clear();
    tb.stdDragTrail.clear();
    tb.predictedThrowPath.clear();
    tb.throwColumn = 0;
    tb.throwRow = 0;
    tb.pathStartFrame = 0;
    tb.startPoint = vec(0, 0, 1);
    tb.currentPoint = vec(0, 0, 1);
    for (double* m : {ab_quat, ab_last, ab_next, ab_temp, ab_temp2})
        for (int k = 0; k < 16; ++k)
            m[k] = (k % 5 == 0) ? 1 : 0;
}

inline std::array<double, 16> snapshot(const double* m) {
    std::array<double, 16> a;
    for (int k = 0; k < 16; ++k)
        a[k] = m[k];
    return a;
}

inline void load(double* m, const std::array<double, 16>& a) {
    for (int k = 0; k < 16; ++k)
        m[k] = a[k];
}

// ---------------------------------------------------------------------------------------------
// A second implementation of the engine's arithmetic, written from the description of each step.
namespace ref {

struct V {
    double x = 0, y = 0, z = 0;
};
using M = std::array<double, 16>;

inline M identity() {
    M m{};
    m[0] = m[5] = m[10] = m[15] = 1;
    return m;
}

inline double dotp(V a, V b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline double norm(V a) {
    return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
}
inline V normalised(V a) {
    const double l = norm(a);
    if (l == 0) return V{0, 0, 0};
    return V{a.x / l, a.y / l, a.z / l};
}

// The 3x3 block of the rotation of quaternion (x, y, z, w), the rest of the identity.
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
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            double s = left[4 * r + 0] * next[0 + c];
            s = s + left[4 * r + 1] * next[4 + c];
            s = s + left[4 * r + 2] * next[8 + c];
            d[4 * r + c] = s;
        }
    }
    return d;
}

// The rotation carrying unit a onto unit b, with the half-angle radicands kept at zero or above.
inline M between(V a, V b) {
    const double d = dotp(a, b);
    const double s = std::sqrt(std::max(0.0, 1 - d) * 0.5);
    const double c = std::sqrt(std::max(0.0, 1 + d) * 0.5);
    const V axis =
        normalised(V{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x});
    return fromQuaternion(axis.x * s, axis.y * s, axis.z * s, c);
}

// Roll m about the line of sight so that the model's +z axis points up the screen; a +z axis
// pointing straight down gets the half turn.
inline M upright(const M& m) {
    const V w = normalised(V{m[8], m[9], 0});
    M roll;
    if (w.x == 0 && w.y < 0)
        roll = fromQuaternion(0, 0, 1, 0);
    else
        roll = between(w, V{0, 1, 0});
    return after(roll, m);
}

inline V viewDir(const M& m) {
    return V{m[2], m[6], m[10]};
}

// The orientation that turns q onto the eye axis, set upright.
inline M orient(V q) {
    return upright(after(between(q, V{0, 0, 1}), identity()));
}

// (r, theta, phi), each rounded to float.
inline V spherical(V c) {
    const double r = std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z);
    double theta = 0, phi = M_PI / 2;
    if (r != 0) {
        theta = std::atan2(c.y / r, c.x / r);
        phi = std::acos(c.z / r);
    }
    return V{toFloat(r), toFloat(theta), toFloat(phi)};
}

inline V cartesian(V s) {
    return V{s.x * std::cos(s.y) * std::sin(s.z), s.x * std::sin(s.y) * std::sin(s.z),
             s.x * std::cos(s.z)};
}

inline void cellOf(V dir, int w, int h, int& i, int& j) {
    const V s = spherical(dir);
    i = static_cast<int>(std::round((s.y + M_PI) / (2 * M_PI) * w));
    j = static_cast<int>(std::round(s.z / M_PI * h));
    i = std::min(std::max(i, 0), w - 1);
    j = std::min(std::max(j, 0), h - 1);
}

inline V cellDir(int i, int j, int w, int h) {
    const float a = static_cast<float>(i) / static_cast<float>(w);
    const float b = static_cast<float>(j) / static_cast<float>(h);
    const float twoA = 2 * a;
    return cartesian(V{1, static_cast<double>(twoA) * M_PI - M_PI, static_cast<double>(b) * M_PI});
}

// Column wrapped as often as needed, row clamped.
inline void inside(const Map& map, int& i, int& j) {
    i %= map.width;
    if (i < 0) i += map.width;
    j = std::min(std::max(j, 0), map.height - 1);
}

inline const float* cell(const Map& map, int i, int j) {
    if (i < 0 || i >= map.width || j < 0 || j >= map.height) {
        ADD_FAILURE() << "reference read outside the map: " << i << ", " << j;
        static const float zero[3] = {0, 0, 0};
        return zero;
    }
    return &map.cells[3 * (static_cast<size_t>(j) * map.width + i)];
}

// Trackball plane of the view's camera.
struct Plane {
    V eye{0, 0, 30};
    float eyeDistance = 0;
    V eyeDir;
    float planeDistance = 0;
    V up{0, 1, 0};
    V out;
};

inline Plane cameraPlane() {
    Plane p;
    p.eyeDistance = std::sqrt(static_cast<float>(dotp(p.eye, p.eye)));
    const double inv = 1.0 / p.eyeDistance;
    p.eyeDir = V{p.eye.x * inv, p.eye.y * inv, p.eye.z * inv};
    p.out = V{p.eyeDir.y * p.up.z - p.eyeDir.z * p.up.y, p.eyeDir.z * p.up.x - p.eyeDir.x * p.up.z,
              p.eyeDir.x * p.up.y - p.eyeDir.y * p.up.x};
    p.planeDistance = static_cast<float>(0.5 * p.eyeDistance);
    return p;
}

inline V planar(const Plane& pl, double mx, double my) {
    const M glm = identity();
    double px, py, pz;
    gluUnProject(mx, my, 0, glm.data(), ab_glp, ab_glv, &px, &py, &pz);
    const V p{toFloat(px), toFloat(py), toFloat(pz)};
    const V m{p.x - pl.eye.x, p.y - pl.eye.y, p.z - pl.eye.z};
    const float gap = pl.planeDistance - pl.eyeDistance;
    const double t = static_cast<double>(gap) / dotp(pl.eyeDir, m);
    const V d{pl.eye.x + m.x * t, pl.eye.y + m.y * t, pl.eye.z + m.z * t};
    return V{dotp(d, pl.up), dotp(d, pl.out), 0};
}

// Gradient sampled along a step: unit sum direction, average magnitude, sample count.
struct Sampled {
    V dir;
    float average = 0;
    int n = 0;
};

inline Sampled sample(const Map& map, int i, int j, double dc, double dr) {
    const double len = std::sqrt(dc * dc + dr * dr);
    Sampled s;
    s.n = static_cast<int>(std::floor(len * 0.5));
    double gx = 0, gy = 0;
    float mags = 0;
    for (int k = 0; k <= s.n; ++k) {
        int c = i, r = j;
        if (k > 0) {
            c = static_cast<int>(std::round(dc * k / s.n + i));
            r = static_cast<int>(std::round(dr * k / s.n + j));
            inside(map, c, r);
        }
        const float* v = cell(map, c, r);
        const float m = v[1];
        const float a = v[2];
        const float cx = m * std::cos(a);
        const float cy = -m * std::sin(a);
        gx = gx + cx;
        gy = gy + cy;
        mags = mags + m;
    }
    s.dir = normalised(V{gx, gy, 0});
    s.average = mags / static_cast<float>(s.n + 1);
    return s;
}

enum class Kind { Drag, Live, Predict };

// The base step turned towards the gradient: the nudged step before normalisation.
inline V nudged(const Map& map, float nudge, int i, int j, double dc, double dr, Kind kind) {
    const double len = std::sqrt(dc * dc + dr * dr);
    const Sampled s = sample(map, i, j, dc, dr);
    V side{0, 0, 0};
    if (len != 0) side = V{-dr / len, dc / len, 0};
    const float sigma = static_cast<float>(s.dir.x * side.x + s.dir.y * side.y);
    const float e = std::exp(nudge * 2.0f);
    const float em1A = (e - 1.0f) * s.average;
    float gain;
    double h;
    if (kind == Kind::Drag) {
        gain = static_cast<float>(em1A * (1.0 + 0.05 * len));
        h = 0.6;
    } else if (kind == Kind::Live) {
        gain = em1A * 0.5f;
        h = 0.8;
    } else {
        gain = static_cast<float>(em1A * 0.06);
        h = 0.8;
    }
    double px = side.x * sigma;
    px = px * gain;
    double py = side.y * sigma;
    py = py * gain;
    const double pl = std::sqrt(px * px + py * py);
    if (pl > h * len) {
        px = px / pl * len * h;
        py = py / pl * len * h;
    }
    return V{dc + px, dr + py, 0};
}

// Everything the nudged drag needs to know and everything it changes.
struct DragResult {
    bool moved = false;
    int column = 0, row = 0;
    M orientation;
};

inline DragResult nudgedDrag(const Map& map, float nudge, const M& current, V start, V now) {
    DragResult res;
    res.orientation = current;
    if (start.x == now.x && start.y == now.y && start.z == now.z) return res;
    double dx = now.x - start.x, dy = now.y - start.y;
    const double dz = now.z - start.z;
    if (current[9] <= 0.2 && ((current[10] > 0 && dx < 0) || (current[10] < 0 && dx > 0))) {
        dy = 0.2 * dy;
        dx = 0;
    }
    int i, j;
    cellOf(viewDir(current), map.width, map.height, i, j);
    const double s = 50.0f;
    const double dc = dy * s, dr = dx * s;
    const V m = nudged(map, nudge, i, j, dc, dr, Kind::Drag);
    const V mhat = normalised(m);
    const double dist = std::sqrt(dx * dx + dy * dy + dz * dz) * s;
    int c = static_cast<int>(i + mhat.x * dist);
    int r = static_cast<int>(j + mhat.y * dist);
    inside(map, c, r);
    res.moved = true;
    res.column = c;
    res.row = r;
    res.orientation = orient(cellDir(c, r, map.width, map.height));
    return res;
}

// The predicted throw: the slowing, nudged simulation, the climb and the blend.
struct Prediction {
    std::vector<V> path;
    int lastColumn = 0, lastRow = 0;
    int offsetColumn = 0, offsetRow = 0;
    std::vector<float> stepLengths;
};

inline float easing(float x) {
    return (x * x) * (x * -2.0f + 3.0f);
}

inline Prediction predict(const Map& map, float nudge, float friction, int i, int j, V mc,
                          float average) {
    Prediction p;
    float v = static_cast<float>(0.9 * average);
    if (v <= 2.0) return p;
    float total = 0;
    double dc = -mc.x, dr = -mc.y;
    for (;;) {
        const V m = nudged(map, nudge, i, j, dc, dr, Kind::Predict);
        v = (1 - friction) * v;
        const V u = normalised(m);
        const V st{u.x * v, u.y * v, 0};
        const double sl = std::sqrt(st.x * st.x + st.y * st.y);
        p.stepLengths.push_back(static_cast<float>(sl));
        total = static_cast<float>(total + sl);
        int c = static_cast<int>(std::round(i + st.x));
        int r = static_cast<int>(std::round(j + st.y));
        inside(map, c, r);
        p.lastColumn = c;
        p.lastRow = r;
        i = c;
        j = r;
        p.path.push_back(V{static_cast<double>(c), static_cast<double>(r), 0});
        const bool turned = dc * mc.x + dr * mc.y > 0;
        if (turned || r <= 9 || r >= map.height - 10 || !(v > 2.0)) break;
        dc = st.x;
        dr = st.y;
    }
    if (p.path.size() < 2) return p;
    const int c0 = static_cast<int>(p.path.back().x);
    const int r0 = static_cast<int>(p.path.back().y);
    int c = c0, r = r0;
    float a = cell(map, c, r)[2];
    int oc = 0, orow = 0;
    for (int step = 1; step <= 100; ++step) {
        const float g = cell(map, c, r)[0];
        if (r <= 14) {
            const int r1 = r;
            while (-3.0f * std::sin(a) < 0 && r < r1 + 150 && r < map.height - 1) {
                r = std::min(r + 3, map.height - 1);
                a = cell(map, c, r)[2];
            }
        } else if (r >= map.height - 15) {
            const int r1 = r;
            while (-3.0f * std::sin(a) > 0 && r > r1 - 150 && r > 0) {
                r = std::max(r - 3, 0);
                a = cell(map, c, r)[2];
            }
        }
        const float sc = 3.0f * std::cos(a);
        const float sr = -3.0f * std::sin(a);
        int c2 = static_cast<int>(std::round(c + static_cast<double>(sc)));
        int r2 = static_cast<int>(std::round(r + static_cast<double>(sr)));
        inside(map, c2, r2);
        oc = c2 - c0;
        if (2 * oc > map.width) oc -= map.width;
        if (2 * oc < -map.width) oc += map.width;
        orow = r2 - r0;
        const float dist =
            static_cast<float>(std::sqrt(static_cast<double>(oc * oc + orow * orow)));
        if (dist > 0.5 * total) break;
        const float a2 = cell(map, c2, r2)[2];
        const double turn = std::fabs(static_cast<double>(a2) - static_cast<double>(a));
        if (g > 0.7 && turn > 0.75 * M_PI && turn < 1.25 * M_PI) break;
        c = c2;
        r = r2;
        a = a2;
    }
    p.offsetColumn = oc;
    p.offsetRow = orow;
    const size_t k1 = p.path.size() - 1;
    for (size_t k = 0; k < p.path.size(); ++k) {
        const float w = easing(static_cast<float>(k) / static_cast<float>(k1));
        p.path[k].x += oc * static_cast<double>(w);
        p.path[k].y += orow * static_cast<double>(w);
    }
    return p;
}

// Mean distance of the older samples from the newest and the motion direction scaled to it;
// samples newest first, window pixels.
inline void motion(const std::vector<std::pair<int, int>>& newestFirst, float& average, V& mc) {
    average = 0;
    double sx = 0, sy = 0;
    for (size_t k = 1; k < newestFirst.size(); ++k) {
        sx = static_cast<double>(newestFirst[0].first) - newestFirst[k].first;
        sy = static_cast<double>(newestFirst[0].second) - newestFirst[k].second;
        average = static_cast<float>(average + std::sqrt(sx * sx + sy * sy));
    }
    if (newestFirst.size() > 1) average = average / static_cast<float>(newestFirst.size() - 1);
    const V u = normalised(V{sx, sy, 0});
    mc = V{u.x * average, u.y * average, 0};
}

} // namespace ref

inline ref::V rv(vec v) {
    return ref::V{v.x, v.y, v.z};
}

// Matrices equal in all 16 entries, bit for bit (0 and -0 count as equal).
inline ::testing::AssertionResult sameMatrix(const double* got, const ref::M& want) {
    for (int k = 0; k < 16; ++k)
        if (!(got[k] == want[k]))
            return ::testing::AssertionFailure()
                   << "entry " << k << ": " << got[k] << " != " << want[k] << " (diff "
                   << got[k] - want[k] << ")";
    return ::testing::AssertionSuccess();
}

} // namespace tbtest
