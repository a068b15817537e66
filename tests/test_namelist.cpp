// Splitting list files into names.
#include "namelist.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

struct Names {
    std::vector<std::string_view> items;
    int result = 0;
    explicit Names(std::string_view bytes) { result = parseNameList(bytes, items); }
    std::vector<std::string> strings() const { return {items.begin(), items.end()}; }
};

} // namespace

TEST(NameList, WhiteSpaceSeparatesNamesInFileOrderUpToFortyNineCharacters) {
    // Any white space separates; blank files give no name; duplicates, order and
    // a last name without a line end are kept. A name of 50 characters stops the
    // list: the result is its position (from 1) and the names before it stay.
    const std::vector<std::string> fts = {"front", "top", "side"}, none;
    const std::string fits(49, 'x');
    const std::tuple<std::string, int, std::vector<std::string>> cases[] = {
        {"front\ntop\nside\n", 0, fts},
        {"front top side", 0, fts},
        {"front\ttop\r\nside", 0, fts},
        {"\n\nfront\n\n top \nside\n\n\n", 0, fts},
        {"  front\v\ftop side   ", 0, fts},
        {"", 0, none},
        {" ", 0, none},
        {"\n\n\t\r\n", 0, none},
        {"b a b\n", 0, {"b", "a", "b"}},
        {"one\ntwo", 0, {"one", "two"}},
        {fits + "\n", 0, {fits}},
        {"a " + fits + " " + std::string(50, 'y') + " z", 3, {"a", fits}},
    };
    for (const auto& [bytes, result, names] : cases) {
        Names n(bytes);
        EXPECT_EQ(n.result, result) << bytes;
        EXPECT_EQ(n.strings(), names) << bytes;
    }
}
