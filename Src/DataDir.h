#pragma once
#include <string>

// Every data file lives in one data tree: by default the tree one level above the working
// directory. The viewer started with mesh files may choose another tree (the user's own) before
// anything reads from it.
// Returns the tree's root followed by rel ("../" + rel by default).
std::string getResourcePath(const std::string& rel);

// root: the tree's folder, with or without a trailing '/'.
void setDataRoot(const std::string& root);
