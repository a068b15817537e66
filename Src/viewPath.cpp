#include "viewPath.h"

#include "coords.h"
#include "file.h"
#include "orbitfile.h"

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

} // namespace

viewPath::~viewPath() {
    closeViewpathFileForSave();
}

PathPoint viewPath::midpoint(PathPoint previous, PathPoint next) {
    return pathMidpoint(previous, next);
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
    std::vector<PathPoint> loop;
    const ReadResult result = parseOrbitLoop(path, bytes, loop);
    if (!result) {
        printFault(result);
        return -1;
    }
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
    std::fputs(orbitPointLine(turntablePoints[0].theta, theta0).c_str(), stdout);
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
    const int error = appendWholeLine(orbitPointLine(spherical.y, spherical.z));
    if (error == 0) return;
    std::fprintf(stderr, "saveViewPath(): writing %s failed (%s); recording stopped\n",
                 saveFileName, std::strerror(error));
    closeViewpathFileForSave();
    if (recordingSwitch) *recordingSwitch = false;
}
