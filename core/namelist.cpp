#include "namelist.h"

#include "textscan.h"

int parseNameList(std::string_view bytes, std::vector<std::string_view>& names) {
    WordScanner words(bytes);
    std::string_view word;
    for (int position = 1; words.next(word); ++position) {
        if (word.size() > static_cast<size_t>(longestListName)) return position;
        names.push_back(word);
    }
    return 0;
}
