#include "bakemodel.h"

#include "bakeerror.h"
#include "readfile.h"
#include "gradient.h"
#include "sphere_samples.h"
#include "treewriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

const std::vector<std::string>& bakedAttributeNames() {
    static const std::vector<std::string> names = {"quality", "area",       "visibility",
                                                   "entropy", "silhouette", "elevation",
                                                   "offaxis", "outside"};
    return names;
}

namespace {

// Measures every threads-th view from first on: the views of one worker.
void measureShare(const BakeMesh& mesh, const std::vector<vec>& directions,
                  const std::vector<char>& findBackFaces, OffscreenRenderer& renderer, size_t first,
                  size_t threads, std::vector<ViewMeasures>& out,
                  const std::function<void(double)>& progress) {
    renderer.setMesh(mesh);
    ViewMeasurer measurer(mesh);
    const ModelAxes axes = principalAxes(mesh);
    std::vector<std::uint32_t> ids;
    for (size_t k = first; k < directions.size(); k += threads) {
        const ViewCamera camera(directions[k]);
        const bool inside = k < findBackFaces.size() && findBackFaces[k];
        renderer.renderIds(camera, ids, inside);
        ViewMeasures m = measurer.measure(ids, renderer.size(), camera);
        if (inside) m.outside = 1 - renderer.backFaceShare();
        viewPreferences(directions[k], axes, m);
        out[k] = m;
        if (progress) progress(double(k + 1) / directions.size());
    }
}

} // namespace

std::vector<ViewMeasures> measureViews(const BakeMesh& mesh, const std::vector<vec>& directions,
                                       OffscreenRenderer& renderer,
                                       const std::function<void(double)>& progress, int threads,
                                       const std::vector<char>& findBackFaces) {
    const size_t workers = static_cast<size_t>(std::clamp(threads, 1, 16));
    std::vector<ViewMeasures> out(directions.size());
    std::vector<std::exception_ptr> failures(workers);
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < workers; ++t)
        helpers.emplace_back([&, t] {
            try {
                OffscreenRenderer own(renderer.size());
                measureShare(mesh, directions, findBackFaces, own, t, workers, out, {});
                own.release();
            } catch (...) {
                failures[t] = std::current_exception();
            }
        });
    try {
        measureShare(mesh, directions, findBackFaces, renderer, 0, workers, out, progress);
    } catch (...) {
        failures[0] = std::current_exception();
    }
    for (std::thread& h : helpers)
        h.join();
    for (const std::exception_ptr& f : failures)
        if (f) std::rethrow_exception(f);
    return out;
}

void normaliseMap(std::vector<double>& map) {
    if (map.empty()) return;
    const auto [lo, hi] = std::minmax_element(map.begin(), map.end());
    const double a = *lo, b = *hi;
    const double size = std::max(std::fabs(a), std::fabs(b));
    if (!(b - a > 0.03 * size)) {
        std::fill(map.begin(), map.end(), 1.0);
        return;
    }
    for (double& v : map)
        v = (v - a) / (b - a);
}

std::vector<double> qualityMap(const std::vector<AttributeMap>& maps, const QualityWeights& w) {
    const size_t cells = maps[Area].goodness.size();
    std::vector<double> q(cells);
    for (size_t c = 0; c < cells; ++c) {
        const double content = 0.3 * maps[Visibility].goodness[c] +
                               0.3 * maps[Entropy].goodness[c] + 0.2 * maps[Area].goodness[c] +
                               0.2 * maps[Silhouette].goodness[c];
        q[c] = w.content * content + w.elevation * maps[Elevation].goodness[c] +
               w.offAxis * maps[OffAxis].goodness[c] + w.outside * maps[Outside].goodness[c];
    }
    normaliseMap(q);
    return q;
}

std::vector<int> coarseSubset(const std::vector<vec>& directions, int count) {
    std::vector<int> subset;
    std::vector<char> taken(directions.size(), 0);
    for (const vec& d : fibonacciDirections(count)) {
        int nearest = 0;
        double best = -2;
        for (size_t k = 0; k < directions.size(); ++k)
            if (dot(d, directions[k]) > best && !taken[k]) {
                best = dot(d, directions[k]);
                nearest = static_cast<int>(k);
            }
        taken[nearest] = 1;
        subset.push_back(nearest);
    }
    return subset;
}

namespace {

// Every attribute's map and gradient from the measured views.
std::vector<AttributeMap> attributeMaps(const std::vector<ViewMeasures>& measures,
                                        const std::vector<vec>& directions,
                                        const std::vector<int>& insideViews,
                                        const BakeSettings& settings, const QualityWeights& w) {
    const SphereInterpolator spread(directions, settings.width, settings.height);
    std::vector<vec> coarse;
    std::vector<double> outside;
    for (int k : insideViews) {
        coarse.push_back(directions[k]);
        outside.push_back(measures[k].outside);
    }
    std::vector<AttributeMap> maps(BakedAttributeCount);
    for (size_t a = 0; a < maps.size(); ++a)
        maps[a].name = bakedAttributeNames()[a];
    static constexpr double ViewMeasures::*field[BakedAttributeCount] = {nullptr,
                                                                         &ViewMeasures::area,
                                                                         &ViewMeasures::visibility,
                                                                         &ViewMeasures::entropy,
                                                                         &ViewMeasures::silhouette,
                                                                         &ViewMeasures::elevation,
                                                                         &ViewMeasures::offAxis,
                                                                         &ViewMeasures::outside};
    std::vector<double> values(measures.size());
    for (int a = Area; a < Outside; ++a) {
        for (size_t k = 0; k < measures.size(); ++k)
            values[k] = measures[k].*field[a];
        spread.interpolate(values, maps[a].goodness);
        normaliseMap(maps[a].goodness);
    }
    // The share of the inside seen is kept as it is: a closed model sees none from anywhere, and
    // scaling would turn a few stray pixels into the worst view.
    SphereInterpolator(coarse, settings.width, settings.height)
        .interpolate(outside, maps[Outside].goodness);
    maps[Quality].goodness = qualityMap(maps, w);
    const double scale = settings.gradientScale > 0 ? settings.gradientScale : defaultGradientScale;
    for (AttributeMap& m : maps)
        goodnessGradient(m.goodness, settings.width, settings.height, scale, m.gx, m.gy);
    return maps;
}

} // namespace

BakedModel bakeModel(const std::string& name, const BakeMesh& input, const BakeSettings& settings,
                     OffscreenRenderer& renderer, ProgressBar* progress,
                     const QualityWeights& weights) {
    auto report = [&](const std::string& what, double fraction) {
        if (progress) progress->update(name + ": " + what, fraction);
    };
    BakedModel model;
    model.name = name;
    model.width = settings.width;
    model.height = settings.height;
    BakeMesh written = input;
    turnUpToZ(written, settings.up);
    fitIntoView(written);
    model.off = offText(written);
    // Measure exactly what the viewer will show: the written file, read back by its own reader.
    model.mesh = readOffText(model.off, name);

    model.directions = fibonacciDirections(settings.samples);
    report("rendering views", 0);
    model.insideViews = coarseSubset(model.directions, std::max(1, settings.samples / 4));
    std::vector<char> findBackFaces(model.directions.size(), 0);
    for (int k : model.insideViews)
        findBackFaces[k] = 1;
    const BakeMesh viewed = meshForViews(model.mesh, settings.resolution);
    model.measures = measureViews(
        viewed, model.directions, renderer, [&](double f) { report("rendering views", 0.9 * f); },
        settings.threads, findBackFaces);

    report("making maps", 0.9);
    model.attributes =
        attributeMaps(model.measures, model.directions, model.insideViews, settings, weights);

    report("finding the orbit", 0.97);
    model.orbit = bestOrbit(model.attributes[0].goodness, settings.width, settings.height,
                            settings.orbitPoints);
    report("done", 1.0);
    return model;
}

namespace {

std::string readExisting(const fs::path& path) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(path, ec))) return "";
    std::string bytes;
    const FileStatus status = readFileBytes(path.c_str(), bytes);
    if (status != FileStatus::ok)
        throw BakeError("cannot read " + path.string() + " (" + fileStatusText(status) + ")");
    return bytes;
}

} // namespace

void writeModel(const fs::path& root, const BakedModel& model, const std::string& stamp) {
    std::error_code ec;
    if (!fs::is_directory(root, ec))
        throw BakeError("the data tree root " + root.string() + " is not a folder");
    const fs::path data = root / "Data";
    TreeTransaction files(data);
    files.stage(data / "Models" / (model.name + ".off"), model.off);
    const fs::path attributes = data / "Attributes" / model.name;
    for (const AttributeMap& m : model.attributes) {
        const std::string base = model.name + "_" + m.name;
        files.stage(attributes / (base + ".pgm"),
                    pgmBytes(m.goodness, model.width, model.height,
                             "orvalis-bake " + model.name + " " + m.name));
        files.stage(attributes / (base + ".vgf"), vgfBytes(m.gx, m.gy, model.width, model.height));
    }
    files.stage(data / "Orbits" / (model.name + "_orbit.txt"), orbitText(model.orbit));
    if (!stamp.empty()) files.stage(attributes / (model.name + ".source"), stamp);
    const fs::path attributeList = data / "Attributes" / "attributeList.txt";
    const fs::path modelList = data / "Models" / "modelList.txt";
    files.stage(attributeList, extendedList(readExisting(attributeList), bakedAttributeNames()));
    files.stage(modelList, extendedList(readExisting(modelList), {model.name}));
    files.commit();
}
