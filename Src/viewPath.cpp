#include "viewPath.h"
// placeholder: being written
viewPath::~viewPath() {}
int viewPath::loadViewPath(const char*) { return -1; }
void viewPath::calculateTurnTablePath() {}
void viewPath::openViewpathFileForSave() {}
void viewPath::closeViewpathFileForSave() {}
void viewPath::saveViewPath() {}
