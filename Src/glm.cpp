#include "Geometry.h"
// placeholder: being written
void Geometry::readObjModel(Smesh*, const char*) {}
