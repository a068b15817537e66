// Cost of the trackball's input handling on a 360 x 180 goodness map: one nudged drag move, one
// whole drag event (record, standard move, nudged move), one live nudged throw step, and the
// throw prediction at release. Goals: a drag event well under 0.1 ms, the prediction under 1 ms.
//
// The settings object reads ../Data/... before main, so run it one level below a data tree, e.g.
//   cd build/tests/fixture/run && ../../../bench/bench_trackball
#include "extTrackball.h"
#include "textureManager.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

// Goodness (1 + a.d) / 2 for a fixed axis a, with its gradient per radian along the columns
// (theta) and rows (phi), stored as magnitude and angle with the row axis turned upwards.
std::vector<float> smoothMap(int w, int h) {
    std::vector<float> cells(static_cast<size_t>(3) * w * h);
    const double ax = 0.3, ay = -0.5, az = 0.81;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const double t = 2 * M_PI * i / w - M_PI, p = M_PI * j / h;
            const double dx = std::cos(t) * std::sin(p), dy = std::sin(t) * std::sin(p);
            const double dz = std::cos(p);
            const double g = (1 + ax * dx + ay * dy + az * dz) / 2;
            const double gt =
                (ax * -std::sin(t) * std::sin(p) + ay * std::cos(t) * std::sin(p)) / 2;
            const double gp = (ax * std::cos(t) * std::cos(p) + ay * std::sin(t) * std::cos(p) -
                               az * std::sin(p)) /
                              2;
            float* c = &cells[3 * (static_cast<size_t>(j) * w + i)];
            c[0] = static_cast<float>(g);
            c[1] = static_cast<float>(std::sqrt(gt * gt + gp * gp));
            c[2] = static_cast<float>(std::atan2(-gp, gt));
        }
    return cells;
}

std::vector<float>& installMap() {
    static std::vector<float> cells = smoothMap(360, 180);
    textureManager::_instance.mapData = cells.data();
    textureManager::_instance.mapWidth = 360;
    textureManager::_instance.mapHeight = 180;
    coordinateTransform::_instance.mapWidth = 360;
    coordinateTransform::_instance.mapHeight = 180;
    return cells;
}

// The left view of a 950-pixel-wide window with the camera's projection, as setzoom captures it.
void installPlane() {
    const double half = 25.0 * M_PI / 180.0;
    const double f = std::cos(half) / std::sin(half);
    for (int k = 0; k < 16; ++k)
        ab_glp[k] = 0;
    ab_glp[0] = f;
    ab_glp[5] = f;
    ab_glp[10] = -51.0 / 49.0;
    ab_glp[11] = -1;
    ab_glp[14] = ab_glp[10] * -30 - 100.0 / 49.0;
    ab_glp[15] = 30;
    ab_glv[0] = 0;
    ab_glv[1] = 0;
    ab_glv[2] = 475;
    ab_glv[3] = 475;
    ExtTrackball::_instance.setzoomPlane(-0.5f, vec(0, 0, 30), vec(0, 1, 0));
}

void setUp(float nudge, float friction) {
    installMap();
    installPlane();
    ExtTrackball& tb = ExtTrackball::_instance;
    tb.nudgeStrength = nudge;
    tb.frictionStrength = friction;
    tb.init();
    tb.move(vec(1, 0.4, 1.2));
}

// One nudged move per call, the mouse going back and forth by 24 pixels (a fast drag: about
// 35 map cells per event in a 475-pixel view).
void BM_nudgedMove(benchmark::State& state) {
    setUp(0.56f, 0.11f);
    ExtTrackball& tb = ExtTrackball::_instance;
    tb.start(200, 240);
    int k = 0;
    for (auto _ : state) {
        const int x = (k++ & 1) ? 200 : 224;
        tb.nudgedMove(x, 240 + (k & 2));
        if (tb.viewpointTrail.size() > 4096) tb.viewpointTrail.clear();
    }
    benchmark::DoNotOptimize(ab_quat[2]);
}
BENCHMARK(BM_nudgedMove);

// The whole work of one mouse-move event of a drag in Trackball mode.
void BM_dragEvent(benchmark::State& state) {
    setUp(0.56f, 0.11f);
    ExtTrackball& tb = ExtTrackball::_instance;
    tb.clearMousePath();
    tb.recordMousePath(200, 240);
    tb.start(200, 240);
    int k = 0;
    for (auto _ : state) {
        const int x = (k++ & 1) ? 200 : 224;
        const int y = 240 + (k & 2);
        tb.recordMousePath(x, 475 - y - 1);
        tb.standardTrackballMove(x, y);
        tb.nudgedMove(x, y);
        if (tb.viewpointTrail.size() > 4096) {
            tb.viewpointTrail.clear();
            tb.stdDragTrail.clear();
        }
    }
    benchmark::DoNotOptimize(ab_quat[2]);
}
BENCHMARK(BM_dragEvent);

// A live throw step (friction off, so the speed stays at 20 cells per tick and the throw never
// dies out): the friction step and the nudged step of one idle tick.
void BM_liveThrowStep(benchmark::State& state) {
    setUp(0.56f, 0.0f);
    ExtTrackball& tb = ExtTrackball::_instance;
    tb.firstThrowStep = false;
    tb.throwSpeed = 20;
    tb.motionChange = vec(-20, -3, 0);
    for (auto _ : state) {
        tb.calStdThrow();
        tb.nudgedThrow();
        if (tb.viewpointTrail.size() > 4096) tb.viewpointTrail.clear();
    }
    benchmark::DoNotOptimize(ab_quat[2]);
}
BENCHMARK(BM_liveThrowStep);

// The prediction at release: the recommended strengths (friction 0.11, nudge 0.56) and a mouse
// speed of 40 pixels (25 simulated steps), and a slow-friction fast throw (friction 0.02, mouse
// speed 120 pixels: about 200 steps).
void BM_calculateThrowPath(benchmark::State& state) {
    const float friction = static_cast<float>(state.range(0)) / 100.0f;
    const int speed = static_cast<int>(state.range(1));
    setUp(0.56f, friction);
    ExtTrackball& tb = ExtTrackball::_instance;
    tb.clearMousePath();
    tb.recordMousePath(300 + speed, 250);
    tb.recordMousePath(300, 250);
    size_t entries = 0;
    for (auto _ : state) {
        tb.move(vec(1, 0.4, 1.2));
        tb.calculateThrowPath();
        entries = tb.predictedThrowPath.size();
    }
    state.counters["entries"] = static_cast<double>(entries);
}
BENCHMARK(BM_calculateThrowPath)->Args({11, 40})->Args({2, 120});

// Replaying one entry of the predicted path per tick.
void BM_replayStep(benchmark::State& state) {
    setUp(0.56f, 0.11f);
    ExtTrackball& tb = ExtTrackball::_instance;
    tb.clearMousePath();
    tb.recordMousePath(340, 250);
    tb.recordMousePath(300, 250);
    tb.calculateThrowPath();
    for (auto _ : state) {
        if (static_cast<size_t>(tb.throwStepCount) >= tb.predictedThrowPath.size()) {
            tb.throwStepCount = 0;
            tb.viewpointTrail.clear();
        }
        tb.calStdThrow();
        tb.nudgedThrow();
    }
    benchmark::DoNotOptimize(ab_quat[2]);
}
BENCHMARK(BM_replayStep);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The map array belongs to this program, not to the map singleton that frees its own at exit.
    textureManager::_instance.mapData = nullptr;
    textureManager::_instance.mapWidth = 0;
    textureManager::_instance.mapHeight = 0;
    return 0;
}
