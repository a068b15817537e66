#pragma once
#include "measures.h"
#include "mesh.h"
#include "offscreen.h"
#include "orbit.h"
#include "progress.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct BakeSettings {
    int width = 360;
    int height = 180;
    int samples = 1500;
    int resolution = 192;
    double gradientScale = 0; // 0: defaultGradientScale
    int orbitPoints = 100;
    std::string up = "z"; // the mesh's up axis, turned to +z (see turnUpToZ)
    int threads = 2;      // views are rendered and measured by this many contexts side by side
};

// The attributes the baker makes, in list order; the first is the one the viewer nudges with.
const std::vector<std::string>& bakedAttributeNames();

// Weights of the first attribute, "quality". The four measures of what a view shows (each scaled
// to 0..1 over the map) make up the content term, in fixed proportions: visibility and entropy
// reward views that show much of the surface in detail, area and silhouette views that show the
// model large and with a telling outline. The other three terms are what people prefer in views
// of objects: from above the horizon, off the principal axes, and never into the model. The
// weights are those chosen by bench/bench_quality.cpp (see docs/baking.md): the least say for the
// preferences that puts the best views of the CGAL animals comfortably above their horizon, off
// their axes and out of their holes. The off-axis term gets none: the content measures alone
// already keep the best views at least 25 degrees off every axis.
struct QualityWeights {
    double content = 0.70;
    double elevation = 0.25;
    double offAxis = 0.0;
    double outside = 0.05;
};

// Map indices of the attributes in bakedAttributeNames().
enum BakedAttribute {
    Quality,
    Area,
    Visibility,
    Entropy,
    Silhouette,
    Elevation,
    OffAxis,
    Outside,
    BakedAttributeCount
};

struct AttributeMap {
    std::string name;
    std::vector<double> goodness; // width * height, 0..1
    std::vector<float> gx, gy;
};

struct BakedModel {
    std::string name;
    std::string off; // the model file as written
    BakeMesh mesh;   // the model as the viewer loads that file
    int width = 0, height = 0;
    std::vector<AttributeMap> attributes; // in bakedAttributeNames() order
    std::vector<OrbitPoint> orbit;
    std::vector<vec> directions;        // the sampled viewing directions
    std::vector<ViewMeasures> measures; // raw measures, one per direction
    std::vector<int> insideViews;       // the directions whose back faces were looked for
};

// Renders the mesh from every direction and measures each view; the share of the inside seen
// (ViewMeasures::outside) only in the views k with findBackFaces[k] set. Up to threads - 1 more
// renderers, each in a thread of its own, share the work with renderer. progress (may be empty)
// gets the share done.
std::vector<ViewMeasures> measureViews(const BakeMesh& mesh, const std::vector<vec>& directions,
                                       OffscreenRenderer& renderer,
                                       const std::function<void(double)>& progress = {},
                                       int threads = 1,
                                       const std::vector<char>& findBackFaces = {});

// A quarter of the views are enough for the share of the inside seen, which changes slowly
// over the sphere: for each of count directions spread evenly (fibonacciDirections), the index of
// the nearest of directions not taken yet.
std::vector<int> coarseSubset(const std::vector<vec>& directions, int count);

// The quality map from the other attributes' maps (indexed by BakedAttribute), scaled to 0..1.
std::vector<double> qualityMap(const std::vector<AttributeMap>& maps, const QualityWeights& w);

// Scales values to 0..1 (smallest to largest). A map whose values all lie within 3% of the largest
// is flat: every view is as good as any other, and every value becomes 1. (The measures of a
// sphere differ by up to 2% between views from pixel effects alone; those of real models differ
// by tens of percent.)
void normaliseMap(std::vector<double>& map);

// Everything the viewer needs for one model. mesh is the model as read from the user's file; it
// is first turned so that its up axis is +z, and a model larger than the view is scaled down to
// fit.
BakedModel bakeModel(const std::string& name, const BakeMesh& mesh, const BakeSettings& settings,
                     OffscreenRenderer& renderer, ProgressBar* progress = nullptr,
                     const QualityWeights& weights = {});

// Writes a baked model into the data tree at root and extends both list files; all or nothing
// (see TreeTransaction). A non-empty stamp (see meshStamp.h) is written beside the maps in the
// same set. Throws BakeError naming the file or folder that failed.
void writeModel(const std::filesystem::path& root, const BakedModel& model,
                const std::string& stamp = {});
