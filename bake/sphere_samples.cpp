#include "sphere_samples.h"

#include <algorithm>
#include <cmath>

std::vector<vec> fibonacciDirections(int n) {
    std::vector<vec> out;
    out.reserve(n > 0 ? n : 0);
    const double golden = M_PI * (3.0 - std::sqrt(5.0));
    for (int k = 0; k < n; ++k) {
        const double z = 1.0 - (2.0 * k + 1.0) / n;
        const double r = std::sqrt(std::max(0.0, 1.0 - z * z));
        const double a = golden * k;
        out.emplace_back(r * std::cos(a), r * std::sin(a), z);
    }
    return out;
}

vec cellDirection(int i, int j, int width, int height) {
    // The viewer's own conversion, for this map's size.
    return arrayIndexToCartesian(i, j, MapGrid{width, height});
}

SphereInterpolator::SphereInterpolator(const std::vector<vec>& samples, int width, int height) {
    cells = width * height;
    const int n = static_cast<int>(samples.size());
    sigma = std::sqrt(4 * M_PI / std::max(n, 1));
    // Weights below exp(-8) are left out: they change no value by more than a few parts in 10^4.
    const double reach = 8.0 * sigma * sigma;
    const double minDot = 1.0 - reach;
    // Samples sorted by z let each cell look only at the band of z that can reach it.
    std::vector<int> order(n);
    for (int k = 0; k < n; ++k)
        order[k] = k;
    std::sort(order.begin(), order.end(),
              [&](int a, int b) { return samples[a].z < samples[b].z; });
    std::vector<double> zs(n);
    for (int k = 0; k < n; ++k)
        zs[k] = samples[order[k]].z;
    // |dz| is at most the angle between two directions.
    const double bandHalfWidth = std::acos(std::max(-1.0, minDot)) + 1e-9;

    firstWeight.assign(static_cast<size_t>(cells) + 1, 0);
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i) {
            const vec d = cellDirection(i, j, width, height);
            const int cell = j * width + i;
            firstWeight[cell] = static_cast<int>(weights.size());
            const auto lo = std::lower_bound(zs.begin(), zs.end(), d.z - bandHalfWidth);
            const auto hi = std::upper_bound(zs.begin(), zs.end(), d.z + bandHalfWidth);
            for (auto it = lo; it != hi; ++it) {
                const int s = order[it - zs.begin()];
                const double c = dot(d, samples[s]);
                if (c < minDot) continue;
                weights.push_back({s, static_cast<float>(std::exp((c - 1.0) / (sigma * sigma)))});
            }
        }
    firstWeight[cells] = static_cast<int>(weights.size());
}

void SphereInterpolator::interpolate(const std::vector<double>& values,
                                     std::vector<double>& map) const {
    map.assign(cells, 0.0);
    for (int cell = 0; cell < cells; ++cell) {
        double sum = 0, total = 0;
        for (int k = firstWeight[cell]; k < firstWeight[cell + 1]; ++k) {
            sum += weights[k].weight * values[weights[k].sample];
            total += weights[k].weight;
        }
        map[cell] = total > 0 ? sum / total : 0.0;
    }
}
