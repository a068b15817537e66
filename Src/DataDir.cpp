#include "DataDir.h"

namespace {

std::string& dataRoot() {
    static std::string root = "../";
    return root;
}

} // namespace

std::string getResourcePath(const std::string& rel) {
    return dataRoot() + rel;
}

void setDataRoot(const std::string& root) {
    dataRoot() = root.empty() || root.back() == '/' ? root : root + "/";
}
