#include "Geometry.h"
// placeholder: being written
void Geometry::readPlyModel(Smesh*, const char*) {}
