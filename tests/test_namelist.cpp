// Splitting list files into names.
#include "RenderingSetting.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Names {
    std::vector<char*> items;
    int result = 0;
    explicit Names(std::string_view bytes) { result = readNameList(bytes, items); }
    ~Names() {
        for (char* p : items)
            std::free(p);
    }
    std::vector<std::string> strings() const { return {items.begin(), items.end()}; }
};

const std::vector<std::string> frontTopSide = {"front", "top", "side"};

} // namespace

TEST(NameList, AnyWhiteSpaceSeparatesNames) {
    for (const char* spelling : {"front\ntop\nside\n", "front top side", "front\ttop\r\nside",
                                 "\n\nfront\n\n top \nside\n\n\n", "  front\v\ftop side   "}) {
        Names n(spelling);
        EXPECT_EQ(n.result, 0) << spelling;
        EXPECT_EQ(n.strings(), frontTopSide) << spelling;
    }
}

TEST(NameList, EmptyAndBlankFilesGiveNoName) {
    for (const char* spelling : {"", " ", "\n\n\t\r\n"}) {
        Names n(spelling);
        EXPECT_EQ(n.result, 0);
        EXPECT_TRUE(n.items.empty());
    }
}

TEST(NameList, DuplicatesAndOrderAreKept) {
    Names n("b a b\n");
    EXPECT_EQ(n.strings(), (std::vector<std::string>{"b", "a", "b"}));
}

TEST(NameList, FortyNineCharactersFitAndFiftyDoNot) {
    const std::string fits(49, 'x');
    Names ok(fits + "\n");
    EXPECT_EQ(ok.result, 0);
    ASSERT_EQ(ok.items.size(), 1u);
    EXPECT_EQ(std::string(ok.items[0]), fits);

    Names tooLong("a " + fits + " " + std::string(50, 'y') + " z");
    EXPECT_EQ(tooLong.result, 3);
    EXPECT_EQ(tooLong.strings(), (std::vector<std::string>{"a", fits}));
}

TEST(NameList, LastNameWithoutNewlineIsComplete) {
    Names n("one\ntwo");
    EXPECT_EQ(n.strings(), (std::vector<std::string>{"one", "two"}));
}
