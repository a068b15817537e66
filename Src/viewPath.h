#pragma once
#include <cstdio>
#include <vector>

// A viewing direction on a path: azimuth theta in (-pi, pi] and polar angle phi in [0, pi],
// radians, single precision as stored in orbit files.
struct PathPoint {
    float theta;
    float phi;
};

// Closed loops of viewing directions (the stored orbit and the turntable) and the recorder of
// the D key. viewPath::_instance holds the loops for Orbit mode and is written by the main
// window, the Orbit panel, the view (scrubbing) and the trackball (playback);
// RenderingSetting::viewpathRecorder is a second object that only records.
class viewPath {
public:
    viewPath() = default;
    ~viewPath();
    viewPath(const viewPath&) = delete;
    viewPath& operator=(const viewPath&) = delete;

    // Replaces pathPoints with the file's loop, a midpoint inserted after every point. Returns
    // the number of entries, or -1 (with one line on stderr) when the file cannot be opened or
    // holds no valid point list.
    int loadViewPath(const char* path);
    void calculateTurnTablePath();
    void openViewpathFileForSave();
    void closeViewpathFileForSave();
    void saveViewPath();

    std::vector<PathPoint> pathPoints;
    std::vector<PathPoint> turntablePoints;
    std::FILE* saveFile = nullptr;
    int pointCount = 0;
    int currentIndex = 0;

    static viewPath _instance;
};
