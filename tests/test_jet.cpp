#include "maps_util.h"
#include "textureManager.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

using mapsutil::jetEntry;

namespace {

std::array<int, 3> jet(float x) {
    textureManager maps;
    std::vector<int> colour;
    maps.jetColor(x, colour);
    EXPECT_EQ(colour.size(), 3u);
    return {colour.at(0), colour.at(1), colour.at(2)};
}

using RGB = std::array<int, 3>;

} // namespace

// The derivation in maps_util.h must agree with the rows worked out by hand before it is
// trusted for the whole table.
TEST(JetTable, IndependentDerivationMatchesHandWorkedRows) {
    struct Row {
        int n;
        RGB rgb;
    };
    const Row rows[] = {{0, {0, 0, 131}},       {31, {0, 0, 255}},    {32, {0, 4, 255}},
                        {63, {0, 128, 255}},    {95, {0, 255, 255}},  {96, {4, 255, 251}},
                        {127, {128, 255, 128}}, {159, {255, 255, 0}}, {191, {255, 128, 0}},
                        {223, {255, 0, 0}},     {255, {128, 0, 0}}};
    for (const Row& row : rows)
        EXPECT_EQ(jetEntry(row.n), row.rgb) << "entry " << row.n;
    // The ramp steps quoted by hand: 255/64 per step, rounded half up.
    EXPECT_EQ(mapsutil::rampValue(1), 4);
    EXPECT_EQ(mapsutil::rampValue(31), 124);
    EXPECT_EQ(mapsutil::rampValue(32), 128);
    EXPECT_EQ(mapsutil::rampValue(33), 131);
    EXPECT_EQ(mapsutil::rampValue(63), 251);
    EXPECT_EQ(mapsutil::rampValue(64), 255);
}

TEST(JetTable, EveryEntryIsReachedExactlyAtItsOwnValue) {
    for (int k = 0; k < 256; ++k) {
        const float x = static_cast<float>(k) / 255.0f;
        EXPECT_EQ(jet(x), jetEntry(k)) << "k = " << k;
    }
}

TEST(JetTable, EndsOfTheScale) {
    EXPECT_EQ(jet(0.0f), (RGB{0, 0, 131}));
    EXPECT_EQ(jet(1.0f), (RGB{128, 0, 0}));
    EXPECT_EQ(jet(-0.0f), (RGB{0, 0, 131}));
}

// Worked by hand: s = x * 255 in float, blend of entries floor(s) and floor(s) + 1, truncated.
TEST(JetTable, BlendsBetweenEntriesAndTruncates) {
    // s = 127.5: entries 127 (128, 255, 128) and 128 (131, 255, 124), half each.
    EXPECT_EQ(jet(0.5f), (RGB{129, 255, 126}));
    // s = 63.75: entries 63 (0, 128, 255) and 64 (0, 131, 255): 128 + 0.75 * 3 = 130.25.
    EXPECT_EQ(jet(0.25f), (RGB{0, 130, 255}));
    // s = 191.25: entries 191 (255, 128, 0) and 192 (255, 124, 0): 128 - 0.25 * 4 = 127.
    EXPECT_EQ(jet(0.75f), (RGB{255, 127, 0}));
    // s = 25.5: entries 25 (0, 0, 231) and 26 (0, 0, 235): 233.
    EXPECT_EQ(jet(0.1f), (RGB{0, 0, 233}));
    // s = 229.5: entries 229 (231, 0, 0) and 230 (227, 0, 0): 229.
    EXPECT_EQ(jet(0.9f), (RGB{229, 0, 0}));
}

// Between two entries every channel lies between the two entry values and follows the blend
// worked out here in double, then truncated; a rounding blend would differ on many of them.
TEST(JetTable, BlendAgreesWithSeparateComputationOverAFineSweep) {
    int truncatedDiffersFromRounded = 0;
    for (int step = 0; step <= 20000; ++step) {
        const float x = static_cast<float>(step) / 20000.0f;
        const float s = x * 255.0f;
        const int low = static_cast<int>(s);
        const int high = low < 255 ? low + 1 : low;
        const double t = static_cast<double>(s) - low;
        const RGB a = jetEntry(low), b = jetEntry(high);
        const RGB got = jet(x);
        for (int c = 0; c < 3; ++c) {
            const double blend = a[c] * (1 - t) + b[c] * t;
            // The float blend may land a hair either side of an integer; allow that only.
            const double floorBlend = std::floor(blend);
            const bool nearInteger = std::fabs(blend - std::round(blend)) < 1e-4;
            if (nearInteger)
                EXPECT_NEAR(got[c], blend, 1.0) << "x = " << x << " channel " << c;
            else
                EXPECT_EQ(got[c], static_cast<int>(floorBlend)) << "x = " << x << " channel " << c;
            EXPECT_GE(got[c], std::min(a[c], b[c]));
            EXPECT_LE(got[c], std::max(a[c], b[c]));
            if (!nearInteger && std::round(blend) != floorBlend) ++truncatedDiffersFromRounded;
        }
    }
    EXPECT_GT(truncatedDiffersFromRounded, 1000);
}

TEST(JetTable, ColourVectorIsResizedToThree) {
    textureManager maps;
    std::vector<int> five = {9, 9, 9, 9, 9};
    maps.jetColor(0.0f, five);
    EXPECT_EQ(five, (std::vector<int>{0, 0, 131}));
    std::vector<int> empty;
    maps.jetColor(1.0f, empty);
    EXPECT_EQ(empty, (std::vector<int>{128, 0, 0}));
}

TEST(JetTableDeathTest, ValuesOutsideTheUnitIntervalViolateThePrecondition) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    textureManager maps;
    std::vector<int> colour;
    EXPECT_DEATH(maps.jetColor(-0.001f, colour), "x >= 0 && x <= 1");
    EXPECT_DEATH(maps.jetColor(1.0001f, colour), "x >= 0 && x <= 1");
    EXPECT_DEATH(maps.jetColor(std::nanf(""), colour), "x >= 0 && x <= 1");
    EXPECT_DEATH(maps.jetColor(INFINITY, colour), "x >= 0 && x <= 1");
}
