#pragma once
#include <string>
#include <vector>

// The viewer's own command line: orvalis [--up AXIS] [FILE...], beside Qt's options (single-dash
// words such as -platform NAME or -style NAME), which are left to Qt.
struct CommandLine {
    bool help = false;
    bool version = false;
    std::string up; // x, y, z, -x, -y or -z; empty: each file format's usual axis
    std::vector<std::string> files;
    std::string error; // one line naming what is wrong; empty when nothing is
};

CommandLine parseCommandLine(int argc, const char* const* argv);
std::string helpText();
std::string versionText();
