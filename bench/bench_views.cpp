// Where the maps of a data tree put the good views: for every model and attribute, the elevation
// (degrees above the model's horizon, 90 - the polar angle of the map row's centre) of the best
// cell, the mean elevation of the best tenth of the cells (by cell count), and the mean, lowest and
// highest elevation of the stored orbit. The model's horizon is the plane normal to its +z axis,
// which is up after orvalis-bake --up, so the figures mean the same for every baked model.
//
// Goals for upright animals (bunny00, elephant, cow, armadillo baked with --up y): best cell
// +5..+60, best tenth +10..+50, orbit mean +5..+45 and no orbit point below -15.
//
// usage: bench_views [--root DIR] [--models A,B] [--attributes A,B]
// bench/elevations.sh bakes the four CGAL animals into a scratch tree and runs it there.
//   --root DIR   the data tree (default: build/bundled)
#include "mapimage.h"
#include "orbitfile.h"
#include "treewriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct ElevationFigures {
    double bestCell = 0;  // ties averaged
    double bestTenth = 0; // mean over the best tenth of the cells
};

struct OrbitFigures {
    double mean = 0, lowest = 0, highest = 0;
};

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

double rowElevation(int row, int height) {
    return 90.0 - 180.0 * (row + 0.5) / height;
}

ElevationFigures mapFigures(const GoodnessImage& image) {
    const size_t cells = static_cast<size_t>(image.width) * image.height;
    std::vector<size_t> order(cells);
    std::iota(order.begin(), order.end(), size_t{0});
    auto goodness = [&](size_t c) { return image.cells[3 * c]; };
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return goodness(a) > goodness(b); });
    auto elevation = [&](size_t c) {
        return rowElevation(static_cast<int>(c / image.width), image.height);
    };
    ElevationFigures f;
    size_t ties = 0;
    while (ties < cells && goodness(order[ties]) == goodness(order[0]))
        f.bestCell += elevation(order[ties++]);
    f.bestCell /= static_cast<double>(ties);
    const size_t tenth = std::max<size_t>(1, cells / 10);
    for (size_t k = 0; k < tenth; ++k)
        f.bestTenth += elevation(order[k]);
    f.bestTenth /= static_cast<double>(tenth);
    return f;
}

// The loader inserts a midpoint after every point of the file; the file's own points are the
// even entries.
bool orbitFigures(const fs::path& path, OrbitFigures& f) {
    std::vector<PathPoint> loop;
    const std::string bytes = readText(path);
    if (!parseOrbitLoop(path.c_str(), bytes, loop)) return false;
    double sum = 0;
    int count = 0;
    f.lowest = 90;
    f.highest = -90;
    for (size_t k = 0; k < loop.size(); k += 2) {
        const double e = 90.0 - loop[k].phi * 180.0 / M_PI;
        sum += e;
        ++count;
        f.lowest = std::min(f.lowest, e);
        f.highest = std::max(f.highest, e);
    }
    f.mean = sum / count;
    return true;
}

std::vector<std::string> commaList(std::string list) {
    std::replace(list.begin(), list.end(), ',', ' ');
    return listNames(list);
}

bool inRange(double v, double lo, double hi) {
    return v >= lo && v <= hi;
}

} // namespace

int main(int argc, char** argv) {
    fs::path root = "build/bundled";
    std::vector<std::string> onlyModels, onlyAttributes;
    for (int k = 1; k < argc; ++k) {
        const std::string a = argv[k];
        if (a == "--root" && k + 1 < argc)
            root = argv[++k];
        else if (a == "--models" && k + 1 < argc)
            onlyModels = commaList(argv[++k]);
        else if (a == "--attributes" && k + 1 < argc)
            onlyAttributes = commaList(argv[++k]);
        else {
            std::fprintf(stderr, "usage: bench_views [--root DIR] [--models A,B] "
                                 "[--attributes A,B]\n");
            return 2;
        }
    }
    const std::vector<std::string> models =
        onlyModels.empty() ? listNames(readText(root / "Data/Models/modelList.txt")) : onlyModels;
    const std::vector<std::string> attributes =
        onlyAttributes.empty() ? listNames(readText(root / "Data/Attributes/attributeList.txt"))
                               : onlyAttributes;
    std::printf("tree %s; elevations in degrees above the model's horizon\n", root.c_str());
    std::printf("%-12s %-12s %9s %10s %11s %11s %11s\n", "model", "attribute", "best cell",
                "best tenth", "orbit mean", "orbit min", "orbit max");
    bool goalsMet = true;
    for (const std::string& model : models) {
        OrbitFigures orbit;
        const bool hasOrbit = orbitFigures(root / "Data/Orbits" / (model + "_orbit.txt"), orbit);
        for (const std::string& attribute : attributes) {
            const fs::path pgm =
                root / "Data/Attributes" / model / (model + "_" + attribute + ".pgm");
            if (!fs::exists(pgm)) continue;
            GoodnessImage image;
            const std::string why = parsePGMImage(readText(pgm), image);
            if (!why.empty()) {
                std::printf("%-12s %-12s %s: %s\n", model.c_str(), attribute.c_str(), pgm.c_str(),
                            why.c_str());
                continue;
            }
            const ElevationFigures f = mapFigures(image);
            const bool first = attribute == attributes.front();
            std::printf("%-12s %-12s %+9.1f %+10.1f", model.c_str(), attribute.c_str(), f.bestCell,
                        f.bestTenth);
            if (first && hasOrbit)
                std::printf(" %+11.1f %+11.1f %+11.1f", orbit.mean, orbit.lowest, orbit.highest);
            std::printf("\n");
            if (first)
                goalsMet = goalsMet && inRange(f.bestCell, 5, 60) && inRange(f.bestTenth, 10, 50) &&
                           hasOrbit && inRange(orbit.mean, 5, 45) && orbit.lowest >= -15;
        }
    }
    std::printf("goals for upright models, first attribute (best cell +5..+60, best tenth "
                "+10..+50, orbit mean +5..+45, no orbit point below -15): %s\n",
                goalsMet ? "met" : "NOT met");
    return 0;
}
