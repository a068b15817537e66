#include "bakemodel.h"

#include "bakeerror.h"
#include "file.h"
#include "gradient.h"
#include "sphere_samples.h"
#include "treewriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

const std::vector<std::string>& bakedAttributeNames() {
    static const std::vector<std::string> names = {"quality", "area", "visibility", "entropy",
                                                   "silhouette"};
    return names;
}

std::vector<ViewMeasures> measureViews(const BakeMesh& mesh, const std::vector<vec>& directions,
                                       OffscreenRenderer& renderer,
                                       const std::function<void(double)>& progress) {
    renderer.setMesh(mesh);
    ViewMeasurer measurer(mesh);
    std::vector<std::uint32_t> ids;
    std::vector<ViewMeasures> out;
    out.reserve(directions.size());
    for (size_t k = 0; k < directions.size(); ++k) {
        const ViewCamera camera(directions[k]);
        renderer.renderIds(camera, ids);
        out.push_back(measurer.measure(ids, renderer.size(), camera));
        if (progress) progress(double(k + 1) / directions.size());
    }
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

BakedModel bakeModel(const std::string& name, const BakeMesh& input, const BakeSettings& settings,
                     OffscreenRenderer& renderer, ProgressBar* progress) {
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
    model.measures = measureViews(model.mesh, model.directions, renderer,
                                  [&](double f) { report("rendering views", 0.9 * f); });

    report("making maps", 0.9);
    const SphereInterpolator spread(model.directions, settings.width, settings.height);
    const size_t n = model.measures.size();
    std::vector<double> area(n), visibility(n), entropy(n), silhouette(n);
    for (size_t k = 0; k < n; ++k) {
        area[k] = model.measures[k].area;
        visibility[k] = model.measures[k].visibility;
        entropy[k] = model.measures[k].entropy;
        silhouette[k] = model.measures[k].silhouette;
    }
    std::vector<AttributeMap> maps(5);
    for (size_t a = 0; a < maps.size(); ++a)
        maps[a].name = bakedAttributeNames()[a];
    spread.interpolate(area, maps[1].goodness);
    spread.interpolate(visibility, maps[2].goodness);
    spread.interpolate(entropy, maps[3].goodness);
    spread.interpolate(silhouette, maps[4].goodness);
    for (size_t a = 1; a < maps.size(); ++a)
        normaliseMap(maps[a].goodness);
    const QualityWeights w;
    const size_t cells = static_cast<size_t>(settings.width) * settings.height;
    maps[0].goodness.resize(cells);
    for (size_t c = 0; c < cells; ++c)
        maps[0].goodness[c] = w.area * maps[1].goodness[c] + w.visibility * maps[2].goodness[c] +
                              w.entropy * maps[3].goodness[c] + w.silhouette * maps[4].goodness[c];
    normaliseMap(maps[0].goodness);

    const double scale = settings.gradientScale > 0 ? settings.gradientScale : defaultGradientScale;
    for (AttributeMap& m : maps)
        goodnessGradient(m.goodness, settings.width, settings.height, scale, m.gx, m.gy);
    model.attributes = std::move(maps);

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
