#pragma once
#include <string>
#include <vector>

// A viewing direction of an orbit: azimuth theta and polar angle phi in radians.
struct OrbitPoint {
    float theta;
    float phi;
};

// Goodness at (theta, phi), bilinear between the cells of a width x height map (columns wrap,
// rows are clamped), with the cells' own convention: column i at theta = 2 pi i / width - pi,
// row j at phi = pi j / height.
double sampleMap(const std::vector<double>& goodness, int width, int height, double theta,
                 double phi);

// A closed loop of count directions, one per azimuth step of 2 pi / count, that follows the good
// views: among all loops whose polar angle keeps between 20 and 160 degrees and changes by at most
// 5 degrees per step (the last step back to the first included), the one with the greatest summed
// goodness less a penalty on the polar steps and on the depth below the horizon (polar angles
// over 90 degrees), found by dynamic programming from every start.
std::vector<OrbitPoint> bestOrbit(const std::vector<double>& goodness, int width, int height,
                                  int count);

// The orbit file: one "%f %f\n" line (theta, phi) per point.
std::string orbitText(const std::vector<OrbitPoint>& orbit);
