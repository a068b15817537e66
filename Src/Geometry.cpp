#include "Geometry.h"
// placeholder: being written
Geometry::Geometry() { resetSmesh(&sphere); resetSmesh(&model); }
Geometry::~Geometry() {}
void Geometry::load() {}
void Geometry::loadSphere() {}
void Geometry::loadModel() {}
void Geometry::readModel(Smesh*, const char*) {}
void Geometry::normalizeModel(Smesh*, float) {}
void Geometry::readOffModel(Smesh*, const char*) {}
void Geometry::readSmfModel(Smesh*, const char*) {}
