#pragma once
#include "mesh.h"
#include "offscreen.h"

#include <cstdint>
#include <vector>

// Viewpoint-quality measures of one rendered view, each larger for the better view in its own
// sense. They are computed from the image of triangle numbers (OffscreenRenderer::renderIds).
struct ViewMeasures {
    // Projected area: the share of the image that the model covers (0..1).
    double area = 0;
    // Visible surface fraction: the share of the model's surface area that the view shows (0..1).
    // A triangle seen in c pixels whose whole projection would cover p pixels counts with the
    // share c / p of its area, so partly hidden triangles count in part and triangles smaller
    // than a pixel count on average with their true share.
    double visibility = 0;
    // Viewpoint entropy (Vazquez et al. 2001), in bits: the Shannon entropy of the relative
    // projected areas of the visible triangles and of the background, over the whole image.
    double entropy = 0;
    // Silhouette length: the length of the outline between the model and the background, in
    // units of the image side, estimated with the Cauchy-Crofton formula from the crossings of
    // lines in eight directions (rows, columns, diagonals and knight's moves), so that it hardly
    // depends on how the outline is turned in the image (within about 1.5% for a square).
    double silhouette = 0;
    // Seeing only the outside: 1 - the share of the model's pixels, drawn without culling, where
    // the nearest surface is a back face (the inside, through a hole or an open side).
    double outside = 1;
    // Preferences that depend on the viewing direction alone (see viewPreferences).
    double elevation = 0;
    double offAxis = 0;
};

// The directions that make a view of the model an axis view: the up axis (+z, after the baker
// has turned the model upright) and the two principal axes of the surface's spread across the
// horizontal plane (its length and width), in that order.
struct ModelAxes {
    vec axis[3];
};
ModelAxes principalAxes(const BakeMesh& mesh);

// Preference for looking from the elevation e above the model's horizon: a smooth bump, 1 at
// preferredElevation (30 degrees) and falling off as a Gaussian of width 25 degrees below it and
// 35 degrees above it (0.24 at the horizon, 0.05 from straight above, 0.003 at -30 degrees).
constexpr double preferredElevation = 30.0;
double elevationPreference(double elevationDegrees);
// Preference for views off the principal axes: 1 - sum of (d.axis)^4, scaled so that the
// three-quarter view (equally far from all three axes) scores 1 and an axis view 0.
double offAxisPreference(vec direction, const ModelAxes& axes);
// Fills elevation and offAxis of m for the unit viewing direction d.
void viewPreferences(vec d, const ModelAxes& axes, ViewMeasures& m);

class ViewMeasurer {
public:
    explicit ViewMeasurer(const BakeMesh& mesh);
    ViewMeasures measure(const std::vector<std::uint32_t>& ids, int size, const ViewCamera& camera);

    // Projected area in pixels of triangle t under the camera (0 when it faces away or a corner
    // lies behind the eye).
    double projectedPixels(int t, int size, const ViewCamera& camera) const;

private:
    const BakeMesh& mesh;
    std::vector<double> triangleArea;
    double totalArea = 0;
    std::vector<int> pixelCount; // per triangle number, reset after each view
    std::vector<std::uint32_t> seen;
    std::vector<double> windowX, windowY, clipW; // per vertex, for the current view
    std::vector<unsigned char> foreground;       // per pixel, for the current view
};

// Crofton estimate of the outline length, in pixels, of the foreground (id != 0) of a size x size
// image. Crossings at the image border are not counted: the image edge is not an outline.
double outlineLength(const std::vector<std::uint32_t>& ids, int size);
double outlineLength(const std::vector<unsigned char>& foreground, int size);
