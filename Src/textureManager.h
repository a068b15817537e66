#pragma once
#include <QPointer>

#include "mapimage.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QOpenGLContext;

// The goodness map of the selected model and attribute. Shared because the trackball samples
// it, the renderer draws its texture and the panels reload it; written only by the two loaders.
// mapData holds mapWidth x mapHeight cells, row-major, three floats each:
// goodness (0..1), gradientMagnitude (>= 0), gradientAngle (radians, row axis pointing up).
//
// A loader that meets a bad file prints one line naming it and leaves the map, the texture and
// both sizes exactly as they were. Parsing never touches GL: the texture is created only while a
// GL context is current, so the numbers can be loaded and checked without one.
class textureManager {
public:
    textureManager() = default;
    ~textureManager();
    textureManager(const textureManager&) = delete;
    textureManager& operator=(const textureManager&) = delete;

    void LoadPGMImage(const char* path);
    void LoadVGFImageB(const char* path);
    void jetColor(float x, std::vector<int>& colour);

    // The loaders' work on bytes already in memory; path is used in messages only.
    void LoadPGMImageFromBytes(const char* path, std::string_view bytes);
    void LoadVGFImageBFromBytes(const char* path, std::string_view bytes);

    // Decode without installing anything. Each returns an empty text on success, otherwise the
    // reason the bytes were refused (no path, no newline).
    std::string parsePGMImage(std::string_view bytes, GoodnessImage& image);
    // width and height are the sizes of the goodness map the gradient must match (0 when none).
    static std::string parseVGFImage(std::string_view bytes, int width, int height,
                                     GradientImage& image);

    unsigned int textureId = 0;
    float* mapData = nullptr;
    // The only copy of the map's size: coordinateTransform::_instance names these fields of the
    // shared instance.
    int mapWidth = 0;
    int mapHeight = 0;
    // The context textureId belongs to; the name is released only while it is current.
    QPointer<QOpenGLContext> textureContext;

    static textureManager _instance;

private:
    bool uploadTexture(const char* path, const GoodnessImage& image, unsigned int& name);
};
