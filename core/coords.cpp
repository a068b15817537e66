#include "coords.h"

#include <algorithm>
#include <cassert>

vec cartesianToSpherical(vec in) {
    const double r = std::sqrt(in.x * in.x + in.y * in.y + in.z * in.z);
    double theta, phi;
    if (r == 0) {
        theta = std::atan2(0.0, 0.0);
        phi = std::acos(0.0);
    } else {
        theta = std::atan2(in.y / r, in.x / r);
        phi = std::acos(in.z / r);
    }
    // Angles leave here rounded to float: the maps, the paths and the recorder all hold floats.
    return vec(static_cast<float>(r), static_cast<float>(theta), static_cast<float>(phi));
}

vec sphericalToCartesian(vec spherical) {
    const double r = spherical.x, theta = spherical.y, phi = spherical.z;
    return vec(r * std::cos(theta) * std::sin(phi), r * std::sin(theta) * std::sin(phi),
               r * std::cos(phi));
}

int roundedIndex(double value) {
    if (std::isnan(value)) return 0;
    return static_cast<int>(std::round(std::clamp(value, -1e9, 1e9)));
}

MapCell unclampedArrayIndex(float theta, float phi, MapGrid grid) {
    return {roundedIndex((static_cast<double>(theta) + M_PI) / (2 * M_PI) * grid.width),
            roundedIndex(static_cast<double>(phi) / M_PI * grid.height)};
}

int clampIndex(int index, int size) {
    if (index >= size) index = size - 1;
    return index < 0 ? 0 : index;
}

float cellFraction(int index, int size) {
    return size > 0 ? static_cast<float>(index) / static_cast<float>(size) : 0.0f;
}

MapCell sphericalToArrayIndex(float theta, float phi, MapGrid grid) {
    const MapCell cell = unclampedArrayIndex(theta, phi, grid);
    return {clampIndex(cell.column, grid.width), clampIndex(cell.row, grid.height)};
}

MapCell cartesianToArrayIndex(vec in, MapGrid grid) {
    const vec sph = cartesianToSpherical(in);
    return sphericalToArrayIndex(static_cast<float>(sph.y), static_cast<float>(sph.z), grid);
}

vec arrayIndexToCartesian(int i, int j, MapGrid grid) {
    const float a = cellFraction(i, grid.width);
    const float b = cellFraction(j, grid.height);
    const double theta = static_cast<double>(static_cast<float>(2 * a)) * M_PI - M_PI;
    const double phi = static_cast<double>(b) * M_PI;
    return sphericalToCartesian(vec(1, theta, phi));
}

DrawPos arrayIndexToDrawPos(int i, int j, MapGrid grid, float halfSize) {
    const double s = halfSize;
    return {static_cast<float>(2 * s * (static_cast<double>(cellFraction(i, grid.width)) - 0.5)),
            static_cast<float>(-2 * s * (static_cast<double>(cellFraction(j, grid.height)) - 0.5))};
}

DrawPos sphericalToDrawPos(float theta, float phi, MapGrid grid, float halfSize) {
    const MapCell cell = unclampedArrayIndex(theta, phi, grid);
    return arrayIndexToDrawPos(cell.column, cell.row, grid, halfSize);
}

float smoothstep(float x) {
    // clang-format off
    assert(x>=0 && x<=1);
    // clang-format on
    return (x * x) * (x * -2.0f + 3.0f);
}

PellixColor jetTableEntry(int n) {
    // Each channel ramps in 64 steps of 255/64, rounded half up.
    auto ramp = [](int k) {
        const int m = std::clamp(k, 0, 64);
        return static_cast<unsigned char>(std::floor(255.0 * m / 64 + 0.5));
    };
    return {ramp(std::min(n - 95, 287 - n)), ramp(std::min(n - 31, 223 - n)),
            ramp(std::min(n + 33, 159 - n))};
}

namespace {

struct JetTable {
    std::array<PellixColor, 256> entries;
    JetTable() {
        for (int n = 0; n < 256; ++n)
            entries[n] = jetTableEntry(n);
    }
};

} // namespace

std::array<int, 3> jetColor(float x) {
    // clang-format off
    assert(x >= 0 && x <= 1);
    // clang-format on
    static const JetTable table;
    const std::array<PellixColor, 256>& jet = table.entries;
    const unsigned N = static_cast<unsigned>(jet.size());
    const float s = x * static_cast<float>(N - 1);
    const unsigned lowIndex = static_cast<unsigned>(s);
    const unsigned highIndex = lowIndex < N - 1 ? lowIndex + 1 : lowIndex;
    // clang-format off
    assert(highIndex < N);
    // clang-format on
    const float t = s - static_cast<float>(lowIndex);
    // clang-format off
    assert(t >= 0 && t <= 1);
    // clang-format on
    const PellixColor& low = jet[lowIndex];
    const PellixColor& high = jet[highIndex];
    return {static_cast<int>(low.red * (1 - t) + high.red * t),
            static_cast<int>(low.green * (1 - t) + high.green * t),
            static_cast<int>(low.blue * (1 - t) + high.blue * t)};
}
