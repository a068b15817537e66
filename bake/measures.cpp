#include "measures.h"

#include <algorithm>
#include <cmath>

namespace {

// A triangle counts with at most this many times its area, so that a nearly edge-on triangle
// that happens to own a pixel cannot swamp the sum.
constexpr double maxCoverageRatio = 8.0;

// Area in pixels of a triangle from its corners' window positions; 0 when it faces away (OpenGL
// culls triangles that run clockwise in the window) or a corner lies behind the eye.
double frontArea(const double* x, const double* y, const double* w) {
    if (!(w[0] > 0 && w[1] > 0 && w[2] > 0)) return 0;
    const double twice = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
    return twice > 0 ? 0.5 * twice : 0;
}

} // namespace

ViewMeasurer::ViewMeasurer(const BakeMesh& m) : mesh(m) {
    const int n = mesh.triangleCount();
    triangleArea.resize(n);
    for (int t = 0; t < n; ++t) {
        const float* a = &mesh.pos[3 * size_t(mesh.tris[3 * size_t(t)])];
        const float* b = &mesh.pos[3 * size_t(mesh.tris[3 * size_t(t) + 1])];
        const float* c = &mesh.pos[3 * size_t(mesh.tris[3 * size_t(t) + 2])];
        const double u[3] = {double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
        const double w[3] = {double(c[0]) - a[0], double(c[1]) - a[1], double(c[2]) - a[2]};
        const double x = u[1] * w[2] - u[2] * w[1], y = u[2] * w[0] - u[0] * w[2],
                     z = u[0] * w[1] - u[1] * w[0];
        triangleArea[t] = 0.5 * std::sqrt(x * x + y * y + z * z);
        totalArea += triangleArea[t];
    }
    pixelCount.assign(static_cast<size_t>(n) + 1, 0);
}

double ViewMeasurer::projectedPixels(int t, int size, const ViewCamera& camera) const {
    double x[3], y[3], w[3];
    for (int k = 0; k < 3; ++k)
        camera.project(&mesh.pos[3 * size_t(mesh.tris[3 * size_t(t) + k])], size, x[k], y[k], w[k]);
    return frontArea(x, y, w);
}

ViewMeasures ViewMeasurer::measure(const std::vector<std::uint32_t>& ids, int size,
                                   const ViewCamera& camera) {
    ViewMeasures m;
    const size_t n = ids.size();
    const int triangles = mesh.triangleCount();
    size_t background = 0;
    seen.clear();
    foreground.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const std::uint32_t id = ids[i];
        const bool model = id != 0 && id <= static_cast<std::uint32_t>(triangles);
        foreground[i] = model;
        if (!model)
            ++background;
        else if (pixelCount[id]++ == 0)
            seen.push_back(id);
    }
    const double total = static_cast<double>(n);
    m.area = n ? (total - background) / total : 0;

    double entropy = 0;
    if (background > 0) {
        const double p = background / total;
        entropy -= p * std::log2(p);
    }
    // Every vertex is projected once; triangles then only look their corners up.
    const int vertices = mesh.vertexCount();
    if (!seen.empty()) {
        windowX.resize(vertices);
        windowY.resize(vertices);
        clipW.resize(vertices);
        for (int v = 0; v < vertices; ++v)
            camera.project(&mesh.pos[3 * size_t(v)], size, windowX[v], windowY[v], clipW[v]);
    }
    double visible = 0;
    for (std::uint32_t id : seen) {
        const int count = pixelCount[id];
        const double p = count / total;
        entropy -= p * std::log2(p);
        const int* corner = &mesh.tris[3 * size_t(id - 1)];
        const double x[3] = {windowX[corner[0]], windowX[corner[1]], windowX[corner[2]]};
        const double y[3] = {windowY[corner[0]], windowY[corner[1]], windowY[corner[2]]};
        const double w[3] = {clipW[corner[0]], clipW[corner[1]], clipW[corner[2]]};
        const int t = static_cast<int>(id) - 1;
        const double full = frontArea(x, y, w);
        const double ratio = full > 0 ? std::min(count / full, maxCoverageRatio) : 1.0;
        visible += triangleArea[t] * ratio;
        pixelCount[id] = 0;
    }
    m.entropy = entropy;
    m.visibility = totalArea > 0 ? std::min(1.0, visible / totalArea) : 0;
    m.silhouette = size > 0 ? outlineLength(foreground, size) / size : 0;
    return m;
}

double outlineLength(const std::vector<std::uint32_t>& ids, int size) {
    std::vector<unsigned char> foreground(ids.size());
    for (size_t i = 0; i < ids.size(); ++i)
        foreground[i] = ids[i] != 0;
    return outlineLength(foreground, size);
}

double outlineLength(const std::vector<unsigned char>& foreground, int size) {
    // Cauchy-Crofton: a curve's length is half the integral, over all line directions and
    // offsets, of the number of times the lines cross it. Lines run through pixel centres in
    // eight directions; each direction stands for the span of angles half-way to its neighbours,
    // and parallel lines of one direction lie 1 / |step| apart.
    struct Direction {
        int dx, dy;
        double span; // radians
    };
    const double axis = std::atan2(1.0, 2.0);      // 26.57 degrees
    const double diagonal = M_PI / 4 - axis;       // 18.43 degrees
    const double knight = (axis + diagonal) * 0.5; // 22.5 degrees
    const Direction directions[8] = {{1, 0, axis},      {0, 1, axis},   {1, 1, diagonal},
                                     {-1, 1, diagonal}, {2, 1, knight}, {1, 2, knight},
                                     {-2, 1, knight},   {-1, 2, knight}};
    double length = 0;
    for (const Direction& d : directions) {
        long crossings = 0;
        const int offset = d.dy * size + d.dx;
        const int first = std::max(0, -d.dx), last = std::min(size, size - d.dx);
        for (int y = 0; y + d.dy < size; ++y) {
            const unsigned char* row = &foreground[static_cast<size_t>(y) * size];
            for (int x = first; x < last; ++x)
                crossings += row[x] != row[x + offset];
        }
        length += d.span * static_cast<double>(crossings) / std::hypot(d.dx, d.dy);
    }
    return 0.5 * length;
}

ModelAxes principalAxes(const BakeMesh& mesh) {
    // Second moments of the surface: over a triangle of area A with corners a, b, c, the integral
    // of x y is A / 12 (sum of the corners' x y + (a + b + c)x (a + b + c)y), whatever the
    // triangulation.
    double total = 0, mx = 0, my = 0, sxx = 0, sxy = 0, syy = 0;
    for (int t = 0; t < mesh.triangleCount(); ++t) {
        vec c[3];
        for (int k = 0; k < 3; ++k) {
            const float* p = &mesh.pos[3 * size_t(mesh.tris[3 * size_t(t) + k])];
            c[k] = vec(p[0], p[1], p[2]);
        }
        const double area = 0.5 * cross(c[1] - c[0], c[2] - c[0]).length();
        const vec s = c[0] + c[1] + c[2];
        total += area;
        mx += area * s.x / 3;
        my += area * s.y / 3;
        sxx += area / 12 * (c[0].x * c[0].x + c[1].x * c[1].x + c[2].x * c[2].x + s.x * s.x);
        sxy += area / 12 * (c[0].x * c[0].y + c[1].x * c[1].y + c[2].x * c[2].y + s.x * s.y);
        syy += area / 12 * (c[0].y * c[0].y + c[1].y * c[1].y + c[2].y * c[2].y + s.y * s.y);
    }
    ModelAxes axes;
    axes.axis[0] = vec(0, 0, 1);
    double angle = 0;
    if (total > 0) {
        mx /= total;
        my /= total;
        const double cxx = sxx / total - mx * mx, cxy = sxy / total - mx * my,
                     cyy = syy / total - my * my;
        angle = 0.5 * std::atan2(2 * cxy, cxx - cyy); // direction of the larger spread
    }
    axes.axis[1] = vec(std::cos(angle), std::sin(angle), 0);
    axes.axis[2] = vec(-std::sin(angle), std::cos(angle), 0);
    return axes;
}

double elevationPreference(double e) {
    const double width = e < preferredElevation ? 25.0 : 35.0;
    const double u = (e - preferredElevation) / width;
    return std::exp(-u * u);
}

double offAxisPreference(vec d, const ModelAxes& axes) {
    double sum = 0;
    for (const vec& a : axes.axis) {
        const double c = dot(d, a);
        sum += c * c * c * c;
    }
    // sum is 1 on an axis and 1/3 at the three-quarter view.
    return std::clamp(1.5 * (1 - sum), 0.0, 1.0);
}

void viewPreferences(vec d, const ModelAxes& axes, ViewMeasures& m) {
    const vec u = d.unit();
    m.elevation = elevationPreference(std::asin(std::clamp(u.z, -1.0, 1.0)) * 180 / M_PI);
    m.offAxis = offAxisPreference(u, axes);
}
