#include "viewPath.h"

#include "coords.h"
#include "file.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// The polar angle of the turntable: 3 pi / 8, 22.5 degrees above the model's xy plane.
const float turntablePhi = static_cast<float>(3 * M_PI / 8);

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One number of an orbit file. Any non-finite value is refused: it would reach the trackball's
// cell indices and conversions.
bool parseNumber(std::string_view token, float& value) {
    if (token.size() > 1 && token[0] == '+' && token[1] != '-') token.remove_prefix(1);
    const char* first = token.data();
    const char* last = first + token.size();
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec == std::errc::result_out_of_range) {
        // Too small for a float still reads, as zero or a subnormal; too large does not.
        double wide = 0;
        auto [widePtr, wideEc] = std::from_chars(first, last, wide);
        if (wideEc != std::errc() || widePtr != last || std::fabs(wide) >= 1) return false;
        value = static_cast<float>(wide);
        return true;
    }
    return ec == std::errc() && ptr == last && std::isfinite(value);
}

// Writes value as printf's "%f" does in the C locale, whatever locale the process runs in, so
// that a recording always reads back as an orbit file.
void appendFixed(std::string& line, double value) {
    char buffer[400];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    if (ec == std::errc())
        line.append(buffer, end);
    else
        line += "nan";
}

std::string pointLine(double theta, double phi) {
    std::string line;
    appendFixed(line, theta);
    line += ' ';
    appendFixed(line, phi);
    line += '\n';
    return line;
}

} // namespace

viewPath::~viewPath() {
    closeViewpathFileForSave();
}

PathPoint viewPath::midpoint(PathPoint previous, PathPoint next) {
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

int viewPath::loadViewPath(const char* path) {
    pathPoints.clear();
    std::string bytes;
    if (!readWholeFile(path, bytes)) {
        std::fprintf(stderr, "loadViewPath(): can't open input file %s\n", path);
        return -1;
    }
    return loadViewPathFromBytes(path, bytes);
}

int viewPath::loadViewPathFromBytes(const char* path, std::string_view bytes) {
    pathPoints.clear();
    std::vector<PathPoint> points;
    float pair[2] = {0, 0};
    int filled = 0;
    int line = 1;
    int pairLine = 1;
    size_t pos = 0;
    while (pos < bytes.size()) {
        if (isSpace(bytes[pos])) {
            if (bytes[pos] == '\n') ++line;
            ++pos;
            continue;
        }
        const size_t start = pos;
        while (pos < bytes.size() && !isSpace(bytes[pos]))
            ++pos;
        if (filled == 0) pairLine = line;
        if (!parseNumber(bytes.substr(start, pos - start), pair[filled])) {
            std::fprintf(stderr, "loadViewPath(): %s: line %d does not hold two numbers\n", path,
                         line);
            return -1;
        }
        if (++filled == 2) {
            if (points.size() >= static_cast<size_t>(INT_MAX / 2)) {
                std::fprintf(stderr, "loadViewPath(): %s: holds too many points\n", path);
                return -1;
            }
            points.push_back({pair[0], pair[1]});
            filled = 0;
        }
    }
    if (filled != 0) {
        std::fprintf(stderr, "loadViewPath(): %s: line %d does not hold two numbers\n", path,
                     pairLine);
        return -1;
    }
    if (points.empty()) {
        std::fprintf(stderr, "loadViewPath(): %s: holds no point\n", path);
        return -1;
    }

    std::vector<PathPoint> loop;
    loop.reserve(points.size() * 2);
    for (size_t k = 0; k < points.size(); ++k) {
        if (k > 0) loop.push_back(midpoint(points[k - 1], points[k]));
        loop.push_back(points[k]);
    }
    loop.push_back(midpoint(points.back(), points.front()));
    pathPoints = std::move(loop);
    pointCount = static_cast<int>(pathPoints.size());
    return pointCount;
}

void viewPath::calculateTurnTablePath() {
    if (pathPoints.empty() || pointCount <= 0) return;
    const float theta0 = pathPoints[0].theta;
    const int n = pointCount;
    turntablePoints.clear();
    turntablePoints.reserve(static_cast<size_t>(n));
    const float step = static_cast<float>(2 * M_PI / n);
    for (int i = 0; i < n; ++i) {
        float theta = static_cast<float>(i) * step + theta0;
        if (static_cast<double>(theta) > M_PI) theta = static_cast<float>(theta - 2 * M_PI);
        turntablePoints.push_back({theta, turntablePhi});
    }
    std::fputs(pointLine(turntablePoints[0].theta, theta0).c_str(), stdout);
}

void viewPath::openViewpathFileForSave() {
    closeViewpathFileForSave();
    saveFile = std::fopen(saveFileName, "w");
    savedBytes = 0;
    if (!saveFile)
        std::fprintf(stderr, "openViewpathFileForSave(): can't open output file %s\n",
                     saveFileName);
}

void viewPath::closeViewpathFileForSave() {
    if (saveFile) std::fclose(saveFile);
    saveFile = nullptr;
}

int viewPath::appendWholeLine(const std::string& line) {
    const int fd = fileno(saveFile);
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            // Whatever part of the line reached the file goes again, so that it ends after the
            // last whole line and still reads as an orbit. (A device cannot be cut; it keeps
            // nothing anyway.)
            [[maybe_unused]] const int cut = ftruncate(fd, static_cast<off_t>(savedBytes));
            return error;
        }
        done += static_cast<size_t>(n);
    }
    savedBytes += line.size();
    return 0;
}

void viewPath::saveViewPath() {
    if (!saveFile) return;
    const double* m = recordedOrientation;
    const vec spherical = cartesianToSpherical(vec(m[2], m[6], m[10]));
    // Each line goes straight to the file, so a process that ends abruptly loses nothing it
    // recorded, and a failed write is seen at the line it hits.
    const int error = appendWholeLine(pointLine(spherical.y, spherical.z));
    if (error == 0) return;
    std::fprintf(stderr, "saveViewPath(): writing %s failed (%s); recording stopped\n",
                 saveFileName, std::strerror(error));
    closeViewpathFileForSave();
    if (recordingSwitch) *recordingSwitch = false;
}
