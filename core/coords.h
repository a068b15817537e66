#pragma once
#include <array>
#include <cmath>

// The view-sphere arithmetic: directions, spherical angles, goodness-map cells, drawing positions
// on the flat map, the easing curve and the jet colour scale. Everything here is a pure function
// of its arguments; the map size is passed in, never looked up. Where a value is rounded to float
// is part of the result: the trackball, the maps and the overlays compare these values exactly.

// Three doubles: a direction, a trackball-plane point, a spherical triple (r, theta, phi) or a
// mouse motion, depending on the caller.
struct vec {
    double x = 0, y = 0, z = 0;
    vec() = default;
    vec(double a, double b, double c) : x(a), y(b), z(c) {}
    double length() const { return std::sqrt(x * x + y * y + z * z); }
    // The vector divided by its length, or (0, 0, 0) when the length is exactly 0.
    vec unit() const {
        double l = length();
        return l == 0 ? vec(0, 0, 0) : vec(x / l, y / l, z / l);
    }
    vec operator+(vec o) const { return vec(x + o.x, y + o.y, z + o.z); }
    vec operator-(vec o) const { return vec(x - o.x, y - o.y, z - o.z); }
    vec operator*(double s) const { return vec(x * s, y * s, z * s); }
    bool operator==(const vec& o) const { return x == o.x && y == o.y && z == o.z; }
};

inline double dot(vec a, vec b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline vec cross(vec a, vec b) {
    return vec(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

// The size of a goodness map: width columns of azimuth, height rows of polar angle. Column i
// stands for theta = 2 pi i / width - pi, row j for phi = pi j / height (row 0 the +z pole).
struct MapGrid {
    int width = 0;
    int height = 0;
};

struct MapCell {
    int column = 0;
    int row = 0;
    bool operator==(const MapCell&) const = default;
};

// A point of the flat map's square, from -halfSize to +halfSize each way; u grows with the
// column, v shrinks with the row.
struct DrawPos {
    float u = 0;
    float v = 0;
    bool operator==(const DrawPos&) const = default;
};

// (r, theta, phi) with theta from +x towards +y and phi from +z, each rounded to float. The zero
// vector gives (0, 0, pi/2).
vec cartesianToSpherical(vec in);
vec sphericalToCartesian(vec spherical);

// round(value) half away from zero as an int; values too large for an int are held where they
// still clamp to the first or last cell, and NaN counts as 0.
int roundedIndex(double value);
// The cell of two angles before clamping, worked in double from the float angles.
MapCell unclampedArrayIndex(float theta, float phi, MapGrid grid);
// index held in 0 .. size - 1; 0 when size is 0.
int clampIndex(int index, int size);
// index / size in float; 0 for an empty map, so that no conversion divides by zero.
float cellFraction(int index, int size);

// The azimuth is clamped, not wrapped: theta = pi stays in the last column.
MapCell sphericalToArrayIndex(float theta, float phi, MapGrid grid);
MapCell cartesianToArrayIndex(vec in, MapGrid grid);
// The unit direction of a cell's corner.
vec arrayIndexToCartesian(int i, int j, MapGrid grid);
DrawPos arrayIndexToDrawPos(int i, int j, MapGrid grid, float halfSize);
// The drawing position of the cell corner nearest to two angles, without clamping.
DrawPos sphericalToDrawPos(float theta, float phi, MapGrid grid, float halfSize);

// The easing curve x*x*(3 - 2x) for 0 <= x <= 1, in float.
float smoothstep(float x);

// One entry of the jet colour table: red, green, blue, 0..255 each.
struct PellixColor {
    unsigned char red;
    unsigned char green;
    unsigned char blue;
};

// Entry n of the 256-entry jet table: dark blue at 0 through cyan and yellow to dark red at 255.
PellixColor jetTableEntry(int n);
// The jet colour of a goodness value 0 <= x <= 1 as red, green, blue, 0..255: x = k / 255 gives
// entry k; between entries the blend is linear in float and truncated.
std::array<int, 3> jetColor(float x);
