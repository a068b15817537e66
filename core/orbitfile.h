#pragma once
#include "readresult.h"

#include <string>
#include <string_view>
#include <vector>

// Orbit files: lines of azimuth and polar angle, radians, "%f %f" as the recorder writes them.

// A viewing direction on a path: azimuth theta in (-pi, pi] and polar angle phi in [0, pi],
// radians, single precision as stored in orbit files.
struct PathPoint {
    float theta;
    float phi;
};

// The azimuth-seam-aware midpoint of a path step from previous to next.
PathPoint pathMidpoint(PathPoint previous, PathPoint next);

// The closed loop of an orbit file's bytes: its points in order with a midpoint after each (the
// last one closing the loop). The numbers are taken two by two across lines; a token that is not
// a finite number (or one beyond half the largest float, which no midpoint could hold), an odd
// count or no number at all refuses the file ("loadViewPath(): <path>:
// ..."), and loop is then empty.
ReadResult parseOrbitLoop(const char* path, std::string_view bytes, std::vector<PathPoint>& loop);

// One recorded direction, "theta phi\n", as printf's "%f %f\n" writes it in the C locale,
// whatever locale the process runs in, so that a recording always reads back as an orbit file.
std::string orbitPointLine(double theta, double phi);
