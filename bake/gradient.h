#pragma once
#include <vector>

// The gradient images of the viewer: per cell, gx = the change of goodness per column and gy = the
// change per row (rows counted downwards, away from the +z pole), times scale. Columns wrap round
// the azimuth seam (central differences everywhere); rows use central differences inside the map
// and one-sided differences in the first and last row.
void goodnessGradient(const std::vector<double>& goodness, int width, int height, double scale,
                      std::vector<float>& gx, std::vector<float>& gy);

// The scale that the baker writes by default: gx and gy are 1000 times the change of goodness
// (0..1) per cell, so a slope of one grey level of the goodness image per cell has magnitude 3.9.
// The viewer's nudged drag turns a step by (e^(2 nudge) - 1) |g| (1 + 0.05 L) cells, at most
// 0.6 L, and its throw prediction by 0.06 times that without the length term, at most 0.8 L. At
// the recommended nudge 0.56 this scale makes drags follow slopes firmly and lets the predicted
// throw bend by a few cells a step, which is what brings thrown views to rest on good ones;
// bench/bench_outcome.cpp measures the effect (gradients per radian, 57 times smaller, gained
// about 5 percentile points less).
constexpr double defaultGradientScale = 1000.0;
