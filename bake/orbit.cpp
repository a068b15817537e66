#include "orbit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

constexpr double lowestPolar = 20.0 * M_PI / 180.0;
constexpr double highestPolar = 160.0 * M_PI / 180.0;
constexpr double levelStep = 2.5 * M_PI / 180.0;
constexpr int maxLevelChange = 2;
// Goodness given up per squared level of polar change: a loop climbs for a clearly better band,
// not for noise.
constexpr double stepPenalty = 0.004;
// Goodness given up per radian below the horizon (polar angle over 90 degrees): a loop dips under
// the model only where the map is clearly better there (by 0.08 at 15 degrees below).
constexpr double belowHorizonPenalty = 0.3;

} // namespace

double sampleMap(const std::vector<double>& g, int width, int height, double theta, double phi) {
    double c = (theta + M_PI) / (2 * M_PI) * width;
    double r = phi / M_PI * height;
    c = std::fmod(c, static_cast<double>(width));
    if (c < 0) c += width;
    r = std::fmin(std::fmax(r, 0.0), static_cast<double>(height - 1));
    const int c0 = static_cast<int>(std::floor(c)) % width;
    const int c1 = (c0 + 1) % width;
    const int r0 = static_cast<int>(std::floor(r));
    const int r1 = r0 + 1 < height ? r0 + 1 : r0;
    const double fc = c - std::floor(c), fr = r - r0;
    auto at = [&](int i, int j) { return g[static_cast<size_t>(j) * width + i]; };
    return (1 - fr) * ((1 - fc) * at(c0, r0) + fc * at(c1, r0)) +
           fr * ((1 - fc) * at(c0, r1) + fc * at(c1, r1));
}

std::vector<OrbitPoint> bestOrbit(const std::vector<double>& g, int width, int height, int count) {
    const int levels = static_cast<int>(std::lround((highestPolar - lowestPolar) / levelStep)) + 1;
    std::vector<double> thetas(count);
    for (int k = 0; k < count; ++k)
        thetas[k] = -M_PI + 2 * M_PI * (k + 0.5) / count;
    auto polar = [&](int level) { return lowestPolar + level * levelStep; };
    std::vector<double> value(static_cast<size_t>(count) * levels);
    for (int k = 0; k < count; ++k)
        for (int l = 0; l < levels; ++l)
            value[static_cast<size_t>(k) * levels + l] =
                sampleMap(g, width, height, thetas[k], polar(l)) -
                belowHorizonPenalty * std::max(0.0, polar(l) - M_PI / 2);

    const double none = -std::numeric_limits<double>::infinity();
    double bestScore = none;
    std::vector<int> bestLevels(count, levels / 2);
    std::vector<double> score(levels), next(levels);
    std::vector<int> from(static_cast<size_t>(count) * levels);
    for (int start = 0; start < levels; ++start) {
        std::fill(score.begin(), score.end(), none);
        score[start] = value[start];
        for (int k = 1; k < count; ++k) {
            for (int l = 0; l < levels; ++l) {
                next[l] = none;
                for (int d = -maxLevelChange; d <= maxLevelChange; ++d) {
                    const int p = l + d;
                    if (p < 0 || p >= levels || score[p] == none) continue;
                    const double s = score[p] - stepPenalty * d * d;
                    if (s > next[l]) {
                        next[l] = s;
                        from[static_cast<size_t>(k) * levels + l] = p;
                    }
                }
                if (next[l] != none) next[l] += value[static_cast<size_t>(k) * levels + l];
            }
            score.swap(next);
        }
        for (int d = -maxLevelChange; d <= maxLevelChange; ++d) {
            const int last = start + d;
            if (last < 0 || last >= levels || score[last] == none) continue;
            const double s = score[last] - stepPenalty * d * d;
            if (s > bestScore) {
                bestScore = s;
                bestLevels[count - 1] = last;
                for (int k = count - 1; k > 0; --k)
                    bestLevels[k - 1] = from[static_cast<size_t>(k) * levels + bestLevels[k]];
            }
        }
    }
    std::vector<OrbitPoint> orbit(count);
    for (int k = 0; k < count; ++k)
        orbit[k] = {static_cast<float>(thetas[k]), static_cast<float>(polar(bestLevels[k]))};
    return orbit;
}

std::string orbitText(const std::vector<OrbitPoint>& orbit) {
    std::string s;
    char line[64];
    for (const OrbitPoint& p : orbit) {
        std::snprintf(line, sizeof line, "%f %f\n", double(p.theta), double(p.phi));
        s += line;
    }
    return s;
}
