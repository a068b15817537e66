#include "DataDir.h"

std::string getResourcePath(const std::string& rel) {
    return "../" + rel;
}
