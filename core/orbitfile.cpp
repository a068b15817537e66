#include "orbitfile.h"

#include "textscan.h"

#include <charconv>
#include <cfloat>
#include <climits>
#include <cmath>

namespace {

constexpr float largestOrbitValue = FLT_MAX / 2;

} // namespace

PathPoint pathMidpoint(PathPoint previous, PathPoint next) {
    const float pa = previous.theta, pb = previous.phi;
    const float a = next.theta, b = next.phi;
    PathPoint m{(pa + a) * 0.5f, (pb + b) * 0.5f};
    if (static_cast<double>(std::fabs(a - pa)) > M_PI) {
        // The step crosses the azimuth seam at +-pi: the midpoint lies half the gap across it.
        const float d = static_cast<float>(((M_PI - static_cast<double>(std::fabs(a))) +
                                            (M_PI - static_cast<double>(std::fabs(pa)))) *
                                           0.5);
        bool corrected = false;
        if (static_cast<double>(std::fabs(a) + d) < M_PI) {
            m.theta = a > 0 ? a + d : a - d;
            corrected = true;
        }
        if (static_cast<double>(std::fabs(pa) + d) < M_PI) {
            m.theta = pa > 0 ? pa + d : pa - d;
            corrected = true;
        }
        // Ends equally far from the seam put the midpoint on it; the plain mean would be the
        // opposite side of the sphere.
        if (!corrected) m.theta = static_cast<float>(M_PI);
    }
    return m;
}

ReadResult parseOrbitLoop(const char* path, std::string_view bytes, std::vector<PathPoint>& loop) {
    loop.clear();
    std::vector<PathPoint> points;
    float pair[2] = {0, 0};
    int filled = 0;
    long pairLine = 1;
    WordScanner words(bytes);
    std::string_view word;
    while (words.next(word)) {
        if (filled == 0) pairLine = words.line();
        // Any non-finite value is refused: it would reach the trackball's cell indices and
        // conversions. So is one beyond half the largest float, whose sum with its neighbour in a
        // midpoint would overflow to infinity.
        if (!parseFloat(word, pair[filled]) || !(std::fabs(pair[filled]) <= largestOrbitValue))
            return readFailure(path, words.line(), -1,
                               "loadViewPath(): %s: line %ld does not hold two numbers", path,
                               words.line());
        if (++filled == 2) {
            if (points.size() >= static_cast<size_t>(INT_MAX / 2))
                return readFailure(path, 0, -1, "loadViewPath(): %s: holds too many points", path);
            points.push_back({pair[0], pair[1]});
            filled = 0;
        }
    }
    if (filled != 0)
        return readFailure(path, pairLine, -1,
                           "loadViewPath(): %s: line %ld does not hold two numbers", path,
                           pairLine);
    if (points.empty()) return readFailure(path, 0, -1, "loadViewPath(): %s: holds no point", path);

    loop.reserve(points.size() * 2);
    for (size_t k = 0; k < points.size(); ++k) {
        if (k > 0) loop.push_back(pathMidpoint(points[k - 1], points[k]));
        loop.push_back(points[k]);
    }
    loop.push_back(pathMidpoint(points.back(), points.front()));
    return {};
}

// Writes value as printf's "%f" does in the C locale, whatever locale the process runs in, so
// that a recording always reads back as an orbit file.
static void appendFixed(std::string& line, double value) {
    char buffer[400];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    if (ec == std::errc())
        line.append(buffer, end);
    else
        line += "nan";
}

std::string orbitPointLine(double theta, double phi) {
    std::string line;
    appendFixed(line, theta);
    line += ' ';
    appendFixed(line, phi);
    line += '\n';
    return line;
}
