#pragma once
#include <string_view>
#include <vector>

// The model and attribute lists: names separated by white space, in file order.

// The viewer keeps each name in a 50-byte buffer.
inline constexpr int longestListName = 49;

// Appends the names of a list file's bytes to names (views into bytes). Returns 0, or the
// 1-based position of the first name longer than longestListName characters: the names before
// it are appended, nothing from it on.
int parseNameList(std::string_view bytes, std::vector<std::string_view>& names);
