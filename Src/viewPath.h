#pragma once
#include <cstdio>
#include <string_view>
#include <vector>

#include "orbitfile.h"

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
    // The same on bytes already in memory; path is used in messages only.
    int loadViewPathFromBytes(const char* path, std::string_view bytes);
    void calculateTurnTablePath();
    // Opens the file named ..\File\viewpath.txt (backslashes included, whatever the platform's
    // separator) for writing, emptying it. When it cannot be opened nothing is recorded.
    void openViewpathFileForSave();
    void closeViewpathFileForSave();
    // Appends the viewing direction of recordedOrientation (ab_quat) as "theta phi"; each line
    // reaches the file at once. A write that fails (a full disk) takes back any part of its line,
    // so the file holds only whole lines, and stops the recording (recordingSwitch, the settings'
    // saveViewpath, off) with one line naming the file.
    void saveViewPath();

    // The azimuth-seam-aware midpoint of a path step from previous to next.
    static PathPoint midpoint(PathPoint previous, PathPoint next);

    std::vector<PathPoint> pathPoints;
    std::vector<PathPoint> turntablePoints;
    std::FILE* saveFile = nullptr; // written through its descriptor only, one whole line a time
    size_t savedBytes = 0;         // the length of the whole lines in saveFile
    static constexpr const char* saveFileName = "..\\File\\viewpath.txt";
    int pointCount = 0;
    int currentIndex = 0;
    // The switch saveViewPath turns off when a write fails; its owner (the settings, for their
    // recorder) hands it in.
    bool* recordingSwitch = nullptr;
    // The orientation whose viewing direction saveViewPath records: the trackball's ab_quat, handed
    // in where the process-wide objects are defined so that paths do not depend on the trackball.
    static const double* recordedOrientation;

    static viewPath _instance;

private:
    // 0, or the errno of the write that failed.
    int appendWholeLine(const std::string& line);
};
