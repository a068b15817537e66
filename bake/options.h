#pragma once
#include <string>
#include <vector>

// What one run of orvalis-bake does, from its command line.
struct BakeOptions {
    std::vector<std::string> meshes;
    std::string root = "..";  // the data tree: <root>/Data/...
    std::string name;         // model name for a single mesh; empty: the file's base name
    int width = 360;          // goodness map columns (azimuth)
    int height = 180;         // goodness map rows (polar angle)
    int samples = 1500;       // viewing directions rendered
    int resolution = 192;     // rendered image side, pixels
    double gradientScale = 0; // 0: the default scale
    std::string up = "z";     // the meshes' up axis
    int threads = 0;          // views rendered side by side; 0: one per processor core
    std::string picture;      // PNG of the best view, written after baking; empty: none
    int pictureSize = 512;    // its side, pixels
    bool pictureOnly = false; // the arguments name models of the tree: picture, no baking
    bool quiet = false;       // no progress bar
    // "progress N 1000" lines on standard output, for a program that runs the baker
    bool progressLines = false;
    bool help = false;
};

// Parses the arguments after the program name. Throws BakeError with one line naming the bad
// option or value.
BakeOptions parseOptions(const std::vector<std::string>& args);

// The text of --help.
std::string helpText();
