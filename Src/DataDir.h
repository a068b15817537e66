#pragma once
#include <string>

// Every data file lives in the tree one level above the working directory.
// Returns "../" followed by rel.
std::string getResourcePath(const std::string& rel);
