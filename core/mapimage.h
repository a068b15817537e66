#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The per-model map images: the goodness image (binary PGM, "P5", one byte per cell, maxval at
// most 255, coloured with the jet scale of coords.h) and the gradient image (VGF: a short text
// header, then two little-endian floats per cell from byte 15 on). A map is width x height cells,
// row-major, row 0 at the +z pole.

// A goodness image turned into map cells and texels, not yet installed.
struct GoodnessImage {
    int width = 0;
    int height = 0;
    std::unique_ptr<float[]> cells; // 3 floats per cell: goodness set, gradient parts 0
    std::vector<float> texels;      // 3 floats per cell: jet colour, channels in 0..1
};

// A gradient image turned into per-cell magnitude and angle, not yet installed.
struct GradientImage {
    int width = 0;
    int height = 0;
    std::vector<float> magnitudeAngle; // 2 floats per cell
};

// Decode without installing anything. Each returns an empty text on success, otherwise the reason
// the bytes were refused (no file name, no newline); image is then unspecified.
std::string parsePGMImage(std::string_view bytes, GoodnessImage& image);
// width and height are the sizes of the goodness map the gradient must match (0 when none).
std::string parseVGFImage(std::string_view bytes, int width, int height, GradientImage& image);

// The two images as the readers take them. The goodness image: "P5", the comment line, the
// size and maxval 255, then each cell's goodness clamped to [0, 1] and rounded to the nearest of
// 0..255. The gradient image: "VGF", the size, padded to 15 bytes, then gx and gy of each cell as
// little-endian floats; empty when the size does not fit the 15-byte header.
std::string pgmImageBytes(int width, int height, const std::vector<double>& goodness,
                          const std::string& comment);
std::string vgfImageBytes(int width, int height, const std::vector<float>& gx,
                          const std::vector<float>& gy);
