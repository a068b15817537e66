#pragma once
#include "coords.h"

#include <filesystem>
#include <string>

// The cell of a goodness image (binary PGM bytes) with the highest value, the first in row order
// among equals. Throws BakeError naming path when the bytes are no goodness image.
void bestCell(const std::string& pgm, const std::string& path, int& i, int& j, int& width,
              int& height);

// Writes a size x size PNG picture of the model NAME of the data tree at root, seen as the viewer
// shows it when its trackball stands on the best cell of the model's first baked attribute
// ("quality"): the model file read by the viewer's reader, its normals, lights, material, white
// background, camera and upright orientation. Edges are smoothed by drawing at twice the size.
// Throws BakeError naming the file that cannot be read or written.
void writeBestViewPicture(const std::filesystem::path& root, const std::string& name,
                          const std::filesystem::path& png, int size);

// The same from a given viewing direction (the model-space direction turned towards the eye).
void writeViewPicture(const std::filesystem::path& modelFile, vec direction,
                      const std::filesystem::path& png, int size);
