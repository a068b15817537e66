// The outcome benchmark: does the nudge bring thrown views to rest on good views?
//
// For every model of a data tree it bakes the model afresh (timed: reading the model file, all
// views rendered and measured, maps, gradients and orbit made, as orvalis-bake does), loads the
// first attribute's goodness and gradient images through the viewer's own loaders, and then runs
// the real trackball engine through a few hundred drag-release-throw gestures from random start
// directions, mouse directions and speeds (fixed seed): once with the recommended settings
// (nudge 0.56, friction 0.11) and once with the nudge off (same friction). Each gesture is fed to
// the engine exactly as the view does: press, mouse moves (record, standard move, nudged move),
// release (throw prediction, throw start), then 20 ms idle ticks (friction step, throw step).
//
// It prints, per model: the bake time (wall clock / CPU time of all threads; on a busy machine the
// CPU time is the better guide to what an idle one takes), the mean goodness percentile of the
// views where the throws came to rest, nudged and plain, and the share of throws that rest in the
// top fifth of all views. Percentiles weigh every map cell by the solid angle it covers, so the
// many small cells near the poles do not count more than the rest of the sphere. Goals: nudged
// throws end at least 15 percentile points higher on average than plain ones on every model; baking
// takes under 30 s per model at the default map size.
//
// usage: bench_outcome [--root DIR] [--throws N] [--seed S] [--gradient-scale S] [--no-bake]
//                      [--models A,B] [--speeds SLOWEST FASTEST]
//   --root DIR   the data tree (default: the source tree's own Data/)
//   --no-bake    use the maps in the tree instead of baking afresh (no bake times)
//   --models     only these models of the tree
//   --speeds     the range of mouse speeds, pixels per mouse event (default 1 8: 100 to 800
//                pixels a second at a hundred events a second)
#include "bakeerror.h"
#include "bakemodel.h"
#include "extTrackball.h"
#include "gradient.h"
#include "offscreen.h"
#include "RenderingSetting.h"
#include "textureManager.h"
#include "treewriter.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <time.h>
#include <vector>

#ifndef ORVALIS_SOURCE_DIR
#define ORVALIS_SOURCE_DIR "."
#endif

namespace fs = std::filesystem;

namespace {

// The view's left square in a 950 x 475 view area.
constexpr int viewHalf = 475;
constexpr int idleTicks = 300; // 6 s of the view's 20 ms timer: every throw has ended by then

struct Gesture {
    vec start;          // start viewing direction
    int pressX, pressY; // widget pixels
    double dx, dy;      // mouse motion per event, pixels
    int moves;
};

struct Outcome {
    double meanPercentile = 0;
    double topFifthShare = 0;
};

// CPU time of the whole process (every thread, the renderer's included).
double processSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<Gesture> makeGestures(int count, unsigned seed, double slowest, double fastest) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Gesture> out;
    for (int k = 0; k < count; ++k) {
        Gesture g;
        const double z = 2 * unit(rng) - 1, a = 2 * M_PI * unit(rng);
        const double r = std::sqrt(1 - z * z);
        g.start = vec(r * std::cos(a), r * std::sin(a), z);
        g.pressX = 140 + static_cast<int>(unit(rng) * 195);
        g.pressY = 140 + static_cast<int>(unit(rng) * 195);
        const double speed = slowest + (fastest - slowest) * unit(rng); // pixels per event
        const double heading = 2 * M_PI * unit(rng);
        g.dx = speed * std::cos(heading);
        g.dy = speed * std::sin(heading);
        g.moves = 5 + static_cast<int>(unit(rng) * 6);
        out.push_back(g);
    }
    return out;
}

// The view's reset_view: left viewport, camera projection, trackball plane.
void resetView() {
    glViewport(0, 0, viewHalf, viewHalf);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    camera::_instance.setupCamera();
    ExtTrackball::_instance.setzoom(-0.5f, camera::_instance.eye, camera::_instance.up);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// Plays one gesture through the engine; returns the resting viewing direction.
vec throwOnce(const Gesture& g) {
    ExtTrackball& tb = ExtTrackball::_instance;
    tb.orientToDirection(g.start);
    tb.predictedThrowPath.clear();
    // Press.
    resetView();
    tb.firstThrowStep = true;
    tb.averageSpeed = 0;
    tb.clearMousePath();
    tb.recordMousePath(g.pressX, g.pressY);
    tb.viewpointTrail.assign(1, vec(ab_quat[2], ab_quat[6], ab_quat[10]));
    tb.start(g.pressX, viewHalf - g.pressY - 1);
    // Moves.
    for (int m = 1; m <= g.moves; ++m) {
        const int x = g.pressX + static_cast<int>(std::lround(g.dx * m));
        const int y = g.pressY + static_cast<int>(std::lround(g.dy * m));
        tb.recordMousePath(x, y);
        tb.standardTrackballMove(x, viewHalf - y - 1);
        tb.nudgedMove(x, viewHalf - y - 1);
    }
    // Release.
    tb.throwStepCount = 0;
    tb.viewpointTrail.clear();
    tb.stdDragTrail.clear();
    tb.calculateThrowPath();
    tb.startStdThrow();
    // Idle ticks.
    for (int t = 0; t < idleTicks; ++t) {
        tb.calStdThrow();
        tb.nudgedThrow();
    }
    return vec(ab_quat[2], ab_quat[6], ab_quat[10]);
}

// Percentile of each goodness value among all cells, weighted by the cells' solid angles.
class PercentileTable {
public:
    PercentileTable(const float* cells, int width, int height) {
        std::vector<std::pair<float, double>> v;
        for (int j = 0; j < height; ++j) {
            const double weight = std::cos(M_PI * j / height) - std::cos(M_PI * (j + 1) / height);
            for (int i = 0; i < width; ++i)
                v.push_back({cells[3 * (static_cast<size_t>(j) * width + i)], weight});
        }
        std::sort(v.begin(), v.end());
        double total = 0;
        for (auto& e : v)
            total += e.second;
        double below = 0;
        for (size_t k = 0; k < v.size();) {
            size_t e = k;
            double same = 0;
            while (e < v.size() && v[e].first == v[k].first)
                same += v[e++].second;
            values.push_back(v[k].first);
            percentiles.push_back(100.0 * (below + 0.5 * same) / total);
            below += same;
            k = e;
        }
    }
    // Resting views are cells of the same map, so g is one of the values.
    double of(float g) const {
        const auto it = std::upper_bound(values.begin(), values.end(), g);
        return it == values.begin() ? 0.0 : percentiles[it - values.begin() - 1];
    }

private:
    std::vector<float> values;
    std::vector<double> percentiles;
};

Outcome runThrows(const std::vector<Gesture>& gestures, float nudge, float friction) {
    ExtTrackball& tb = ExtTrackball::_instance;
    tb.nudgeStrength = nudge;
    tb.frictionStrength = friction;
    const textureManager& maps = textureManager::_instance;
    const PercentileTable table(maps.mapData, maps.mapWidth, maps.mapHeight);
    Outcome o;
    int top = 0;
    for (const Gesture& g : gestures) {
        int i, j;
        coordinateTransform::_instance.CartesianToArrayIndex(throwOnce(g), i, j);
        const double p = table.of(maps.mapData[3 * (static_cast<size_t>(j) * maps.mapWidth + i)]);
        o.meanPercentile += p;
        if (p >= 80.0) ++top;
    }
    o.meanPercentile /= gestures.size();
    o.topFifthShare = 100.0 * top / gestures.size();
    return o;
}

} // namespace

// The engine lives in the viewer's library, whose settings object would read a data tree's lists
// while static objects are built; this program reads its maps itself and needs none of them.
__attribute__((constructor(101))) static void skipTheLists() {
    RenderingSetting::listsReadLater = true;
}

int main(int argc, char** argv) {
    fs::path root = ORVALIS_SOURCE_DIR;
    int throws = 400;
    unsigned seed = 20261206;
    bool bake = true;
    std::vector<std::string> only;
    double slowest = 1, fastest = 8;
    BakeSettings settings;
    for (int k = 1; k < argc; ++k) {
        const std::string a = argv[k];
        if (a == "--root" && k + 1 < argc)
            root = argv[++k];
        else if (a == "--throws" && k + 1 < argc)
            throws = std::max(1, std::atoi(argv[++k]));
        else if (a == "--seed" && k + 1 < argc)
            seed = static_cast<unsigned>(std::strtoul(argv[++k], nullptr, 10));
        else if (a == "--gradient-scale" && k + 1 < argc)
            settings.gradientScale = std::atof(argv[++k]);
        else if (a == "--speeds" && k + 2 < argc) {
            slowest = std::atof(argv[++k]);
            fastest = std::atof(argv[++k]);
        } else if (a == "--no-bake")
            bake = false;
        else if (a == "--models" && k + 1 < argc) {
            std::string list = argv[++k];
            for (char& c : list)
                if (c == ',') c = ' ';
            only = listNames(list);
        } else {
            std::fprintf(
                stderr,
                "usage: bench_outcome [--root DIR] [--throws N] [--seed S] "
                "[--gradient-scale S] [--no-bake] [--models A,B] [--speeds SLOWEST FASTEST]\n");
            return 2;
        }
    }
    const std::vector<std::string> models = listNames(readText(root / "Data/Models/modelList.txt"));
    const std::vector<std::string> attributes =
        listNames(readText(root / "Data/Attributes/attributeList.txt"));
    if (models.empty() || attributes.empty()) {
        std::fprintf(stderr, "bench_outcome: no model or attribute list under %s/Data\n",
                     root.c_str());
        return 1;
    }
    const std::string attribute = bake ? bakedAttributeNames().front() : attributes.front();
    const std::vector<Gesture> gestures = makeGestures(throws, seed, slowest, fastest);
    std::printf("tree %s, attribute '%s', %d throws per setting, seed %u, %s\n", root.c_str(),
                attribute.c_str(), throws, seed, bake ? "maps baked afresh" : "maps from the tree");
    std::printf("%-14s %9s %9s %9s %7s %10s %10s\n", "model", "bake s", "nudged", "plain", "gain",
                "top5 nudg", "top5 plain");

    try {
        OffscreenRenderer renderer(settings.resolution);
        bool goalsMet = true;
        for (const std::string& name : models) {
            if (!only.empty() && std::find(only.begin(), only.end(), name) == only.end()) continue;
            const fs::path modelFile = root / "Data/Models" / (name + ".off");
            const fs::path base = root / "Data/Attributes" / name / (name + "_" + attribute);
            std::string pgm, vgf;
            double seconds = 0, cpuSeconds = 0;
            if (bake) {
                const auto t0 = std::chrono::steady_clock::now();
                const double c0 = processSeconds();
                const BakeMesh mesh = readMeshFile(modelFile.string());
                const BakedModel baked = bakeModel(name, mesh, settings, renderer);
                seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
                cpuSeconds = processSeconds() - c0;
                const AttributeMap& first = baked.attributes.front();
                pgm = pgmBytes(first.goodness, baked.width, baked.height, name);
                vgf = vgfBytes(first.gx, first.gy, baked.width, baked.height);
            } else {
                pgm = readText(base.string() + ".pgm");
                vgf = readText(base.string() + ".vgf");
            }
            renderer.makeCurrent();
            textureManager::_instance.LoadPGMImageFromBytes((base.string() + ".pgm").c_str(), pgm);
            textureManager::_instance.LoadVGFImageBFromBytes((base.string() + ".vgf").c_str(), vgf);
            const ExtTrackball& tb = ExtTrackball::_instance;
            const Outcome nudged =
                runThrows(gestures, tb.recommendedNudgeStrength, tb.recommendedFrictionStrength);
            const Outcome plain = runThrows(gestures, 0.0f, tb.recommendedFrictionStrength);
            const double gain = nudged.meanPercentile - plain.meanPercentile;
            char bakeText[32] = "-";
            if (bake) std::snprintf(bakeText, sizeof bakeText, "%.1f/%.1f", seconds, cpuSeconds);
            std::printf("%-14s %11s %9.1f %9.1f %+7.1f %9.1f%% %9.1f%%\n", name.c_str(), bakeText,
                        nudged.meanPercentile, plain.meanPercentile, gain, nudged.topFifthShare,
                        plain.topFifthShare);
            std::fflush(stdout);
            goalsMet = goalsMet && gain >= 15.0 && (!bake || seconds < 30.0);
        }
        std::printf("goals (nudged at least 15 points above plain on every model%s): %s\n",
                    bake ? ", bake under 30 s" : "", goalsMet ? "met" : "NOT met");
    } catch (const BakeError& e) {
        std::fprintf(stderr, "bench_outcome: %s\n", e.what());
        return 1;
    }
    return 0;
}
