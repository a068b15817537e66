#pragma once
#include <vector>

// The goodness map of the selected model and attribute. Shared because the trackball samples
// it, the renderer draws its texture and the panels reload it; written only by the two loaders.
// mapData holds mapWidth x mapHeight cells, row-major, three floats each:
// goodness (0..1), gradientMagnitude (>= 0), gradientAngle (radians, row axis pointing up).
class textureManager {
public:
    ~textureManager();

    void LoadPGMImage(const char* path);
    void LoadVGFImageB(const char* path);
    void jetColor(float x, std::vector<int>& colour);

    unsigned int textureId;
    float* mapData;
    int mapWidth;
    int mapHeight;

    static textureManager _instance;
};
