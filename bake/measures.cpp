#include "measures.h"

#include <algorithm>
#include <cmath>

namespace {

// A triangle counts with at most this many times its area, so that a nearly edge-on triangle
// that happens to own a pixel cannot swamp the sum.
constexpr double maxCoverageRatio = 8.0;

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
    for (int k = 0; k < 3; ++k) {
        camera.project(&mesh.pos[3 * size_t(mesh.tris[3 * size_t(t) + k])], size, x[k], y[k], w[k]);
        if (!(w[k] > 0)) return 0;
    }
    // Counter-clockwise in the window is the front side, as OpenGL culls.
    const double twice = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
    return twice > 0 ? 0.5 * twice : 0;
}

ViewMeasures ViewMeasurer::measure(const std::vector<std::uint32_t>& ids, int size,
                                   const ViewCamera& camera) {
    ViewMeasures m;
    const size_t n = ids.size();
    const int triangles = mesh.triangleCount();
    size_t background = 0;
    seen.clear();
    for (size_t i = 0; i < n; ++i) {
        const std::uint32_t id = ids[i];
        if (id == 0 || id > static_cast<std::uint32_t>(triangles)) {
            ++background;
            continue;
        }
        if (pixelCount[id]++ == 0) seen.push_back(id);
    }
    const double total = static_cast<double>(n);
    m.area = n ? (total - background) / total : 0;

    double entropy = 0;
    if (background > 0) {
        const double p = background / total;
        entropy -= p * std::log2(p);
    }
    double visible = 0;
    for (std::uint32_t id : seen) {
        const int count = pixelCount[id];
        const double p = count / total;
        entropy -= p * std::log2(p);
        const int t = static_cast<int>(id) - 1;
        const double full = projectedPixels(t, size, camera);
        const double ratio = full > 0 ? std::min(count / full, maxCoverageRatio) : 1.0;
        visible += triangleArea[t] * ratio;
        pixelCount[id] = 0;
    }
    m.entropy = entropy;
    m.visibility = totalArea > 0 ? std::min(1.0, visible / totalArea) : 0;
    m.silhouette = size > 0 ? outlineLength(ids, size) / size : 0;
    return m;
}

double outlineLength(const std::vector<std::uint32_t>& ids, int size) {
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
    auto fg = [&](int x, int y) { return ids[static_cast<size_t>(y) * size + x] != 0; };
    double length = 0;
    for (const Direction& d : directions) {
        long crossings = 0;
        for (int y = 0; y + d.dy < size; ++y)
            for (int x = std::max(0, -d.dx); x < size && x + d.dx < size; ++x)
                if (fg(x, y) != fg(x + d.dx, y + d.dy)) ++crossings;
        length += d.span * static_cast<double>(crossings) / std::hypot(d.dx, d.dy);
    }
    return 0.5 * length;
}
