#pragma once
#include "coords.h"

#include <vector>

// n directions spread evenly over the unit sphere (a Fibonacci spiral), ordered from +z to -z.
std::vector<vec> fibonacciDirections(int n);

// The direction of map cell (i, j) of a width x height map: the model-space direction that the
// viewer turns towards the eye when the trackball stands on that cell.
vec cellDirection(int i, int j, int width, int height);

// Spreads values known at sample directions smoothly over every cell of a width x height map: a
// cell gets the average of the samples near its direction, weighted by a spherical Gaussian
// (von Mises-Fisher) kernel whose width is the mean spacing of the samples. The result is smooth
// across the azimuth seam and at the poles, since it works with directions, not angles.
class SphereInterpolator {
public:
    SphereInterpolator(const std::vector<vec>& samples, int width, int height);
    // map receives width * height values, row-major, row 0 at the +z pole.
    void interpolate(const std::vector<double>& values, std::vector<double>& map) const;

    // The kernel width in radians.
    double bandwidth() const { return sigma; }

private:
    struct Weight {
        int sample;
        float weight;
    };
    int cells = 0;
    double sigma = 0;
    std::vector<int> firstWeight; // per cell, into weights; one extra entry at the end
    std::vector<Weight> weights;
};
