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
    int samples = 2000;
    int resolution = 256;
    double gradientScale = 0; // 0: defaultGradientScale
    int orbitPoints = 100;
    std::string up = "z"; // the mesh's up axis, turned to +z (see turnUpToZ)
};

// The attributes the baker makes, in list order; the first is the one the viewer nudges with.
const std::vector<std::string>& bakedAttributeNames();

// Weights of the first attribute, "quality", over the four measures (each already scaled to 0..1
// over the map): visibility and entropy reward views that show much of the surface in detail,
// area and silhouette views that show the model large and with a telling outline.
struct QualityWeights {
    double visibility = 0.3;
    double entropy = 0.3;
    double area = 0.2;
    double silhouette = 0.2;
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
};

// Renders the mesh from every direction and measures each view. progress (may be empty) gets
// the share done.
std::vector<ViewMeasures> measureViews(const BakeMesh& mesh, const std::vector<vec>& directions,
                                       OffscreenRenderer& renderer,
                                       const std::function<void(double)>& progress = {});

// Scales values to 0..1 (smallest to largest). A map whose values all lie within 3% of the largest
// is flat: every view is as good as any other, and every value becomes 1. (The measures of a
// sphere differ by up to 2% between views from pixel effects alone; those of real models differ
// by tens of percent.)
void normaliseMap(std::vector<double>& map);

// Everything the viewer needs for one model. mesh is the model as read from the user's file; it
// is first turned so that its up axis is +z, and a model larger than the view is scaled down to
// fit.
BakedModel bakeModel(const std::string& name, const BakeMesh& mesh, const BakeSettings& settings,
                     OffscreenRenderer& renderer, ProgressBar* progress = nullptr);

// Writes a baked model into the data tree at root and extends both list files; all or nothing
// (see TreeTransaction). A non-empty stamp (see meshStamp.h) is written beside the maps in the
// same set. Throws BakeError naming the file or folder that failed.
void writeModel(const std::filesystem::path& root, const BakedModel& model,
                const std::string& stamp = {});
