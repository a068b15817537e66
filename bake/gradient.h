#pragma once
#include <vector>

// The gradient images of the viewer: per cell, gx = the change of goodness per column and gy = the
// change per row (rows counted downwards, away from the +z pole), times scale. Columns wrap round
// the azimuth seam (central differences everywhere); rows use central differences inside the map
// and one-sided differences in the first and last row.
void goodnessGradient(const std::vector<double>& goodness, int width, int height, double scale,
                      std::vector<float>& gx, std::vector<float>& gy);

// The scale that the baker writes by default. The viewer's nudged drag bends a step by
// (e^(2 nudge) - 1) * |g| * (1 + 0.05 L) cells and its throw prediction by 0.06 times that
// without the length term; with goodness in 0..1 a change per cell is of the order of 0.01, so
// per-cell differences are scaled up to let the recommended nudge strength turn steps by a useful
// part of their length near slopes. The outcome benchmark (bench/bench_outcome.cpp) measures it.
constexpr double defaultGradientScale = 60.0;
