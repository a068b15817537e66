#include "extTrackball.h"
#include "maps_util.h"
#include "support.h"
#include "textureManager.h"

#include <cmath>
#include <malloc.h>
#include <map>

using namespace mapsutil;
using RGB = std::array<int, 3>;
using Gradient = std::vector<std::pair<float, float>>;

namespace {

RGB jet(float x) {
    std::vector<int> c;
    textureManager().jetColor(x, c);
    return {c.at(0), c.at(1), c.at(2)};
}

const std::string prefix[] = {"LoadVGFImage(): ", "LoadPGMImage(): "};

Output loadBytes(textureManager& m, bool pgm, const char* name, std::string_view bytes) {
    return captured([&] {
        pgm ? m.LoadPGMImageFromBytes(name, bytes) : m.LoadVGFImageBFromBytes(name, bytes);
    });
}

Output loadFile(textureManager& m, bool pgm, const std::string& path) {
    return captured([&] { pgm ? m.LoadPGMImage(path.c_str()) : m.LoadVGFImageB(path.c_str()); });
}

// A 4 x 2 map and its gradient: the base that refused files must leave as it is.
void loadBase(textureManager& m) {
    const std::vector<unsigned char> samples = {0, 255, 51, 102, 153, 204, 17, 34};
    ASSERT_EQ(loadBytes(m, true, "b", pgmBytes(4, 2, 255, samples)).out, "Successfully load b\n");
    ASSERT_EQ(loadBytes(m, false, "b", vgfBytes(4, 2, Gradient(8, {3, 4}))).out,
              "Successfully load b\n");
}

// Everything a load changes.
auto state(const textureManager& m) {
    const coordinateTransform& ct = coordinateTransform::_instance;
    return std::tuple(m.mapData, m.mapWidth, m.mapHeight, ct.mapWidth, ct.mapHeight, m.textureId,
                      std::vector<float>(m.mapData, m.mapData + 3 * m.mapWidth * m.mapHeight));
}

void expectTexel(const GoodnessImage& g, int k, RGB rgb) {
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(g.texels[3 * k + c], static_cast<float>(rgb[c] / 255.0)) << "cell " << k;
}

} // namespace

// The separate derivation is checked against rows worked by hand before it is trusted for
// every entry. Between entries, worked by hand: s = 255 x in float blends entries floor(s)
// and floor(s) + 1, truncated.
TEST(JetTable, EntriesAtTheirOwnValuesAndTruncatedBlendsBetween) {
    const std::pair<int, RGB> rows[] = {
        {0, {0, 0, 131}},     {31, {0, 0, 255}},   {32, {0, 4, 255}},      {63, {0, 128, 255}},
        {95, {0, 255, 255}},  {96, {4, 255, 251}}, {127, {128, 255, 128}}, {159, {255, 255, 0}},
        {191, {255, 128, 0}}, {223, {255, 0, 0}},  {255, {128, 0, 0}}};
    for (const auto& [n, rgb] : rows)
        EXPECT_EQ(jetEntry(n), rgb) << "entry " << n;
    for (int k = 0; k < 256; ++k)
        EXPECT_EQ(jet(static_cast<float>(k) / 255.0f), jetEntry(k)) << "k = " << k;
    const float x[] = {0.5f, 0.25f, 0.75f, 0.1f, 0.9f};
    const RGB blends[] = {{129, 255, 126}, {0, 130, 255}, {255, 127, 0}, {0, 0, 233}, {229, 0, 0}};
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(jet(x[k]), blends[k]) << "x = " << x[k];
    std::vector<int> five(5, 9), none;
    textureManager().jetColor(0.0f, five);
    textureManager().jetColor(1.0f, none);
    EXPECT_EQ(five, (std::vector<int>{0, 0, 131}));
    EXPECT_EQ(none, (std::vector<int>{128, 0, 0}));
}

TEST(JetTableDeathTest, ValuesOutsideTheUnitIntervalViolateThePrecondition) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::vector<int> c;
    for (const float x : {-0.001f, 1.0001f, std::nanf("")})
        EXPECT_DEATH(textureManager().jetColor(x, c), "x >= 0 && x <= 1") << x;
}

// maxval 100: sample 50 is 0.5, the blend (129, 255, 126); samples above maxval count as the
// best. maxval 255: sample k is k / 255 and jet entry k.
TEST(GoodnessImage, SamplesBecomeGoodnessAndJetTexels) {
    const float goodness[] = {0, 0.5f, 1, 1, 1};
    const RGB colour[] = {{0, 0, 131}, {129, 255, 126}, {128, 0, 0}, {128, 0, 0}, {128, 0, 0}};
    textureManager m;
    GoodnessImage g;
    ASSERT_EQ(m.parsePGMImage(pgmBytes(5, 1, 100, {0, 50, 100, 101, 255}), g), "");
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(g.cells[3 * k], goodness[k]) << k;
        expectTexel(g, k, colour[k]);
    }
    ASSERT_EQ(m.parsePGMImage(pgmBytes(16, 16, 255, rampSamples(256)), g), "");
    ASSERT_TRUE(g.width == 16 && g.height == 16 && g.texels.size() == 768u);
    for (int k = 0; k < 256; ++k) {
        EXPECT_EQ(g.cells[3 * k], k / 255.0f) << k;
        expectTexel(g, k, jetEntry(k));
    }
}

// The first samples are whitespace bytes: the raster starts right after the one byte that ends
// maxval, whatever that byte is. Comments between the magic and the width change nothing; a
// 511-character comment token still fits the line buffer.
TEST(GoodnessImage, HeaderVariantsReadTheSameRaster) {
    const std::vector<unsigned char> s = {10, 32, 9, 13, 0, 200, 7, 255};
    const std::string headers[] = {
        "P5\n4 2\n255\n", "P5\n# one\n#two words\n#\n  # three\n4 2\n255\n", "P5 #c\n4\t2 255\t",
        "P5\n#" + std::string(510, 'z') + "\n4 2 255 "};
    for (const std::string& header : headers) {
        textureManager m;
        GoodnessImage g;
        ASSERT_EQ(m.parsePGMImage(pgmBytes(4, 2, 255, s, header) + "trailing", g), "") << header;
        ASSERT_TRUE(g.width == 4 && g.height == 2) << header;
        for (size_t k = 0; k < s.size(); ++k)
            EXPECT_EQ(g.cells[3 * k], s[k] / 255.0f) << header << " cell " << k;
    }
}

// Worked by hand from atan2(-gy, gx): the sign change turns the downward row axis up, and a
// zero row component keeps its sign into the angle.
TEST(GradientImage, MagnitudeAndAngleWithTheRowAxisTurnedUp) {
    const float pi = static_cast<float>(M_PI);
    const std::array<float, 4> cases[] = {{0, 1, 1, -pi / 2},      {0, -1, 1, pi / 2},
                                          {-1, 0, 1, -pi},         {-1, -0.0f, 1, pi},
                                          {0, 0, 0, -0.0f},        {0, -0.0f, 0, 0},
                                          {3, 4, 5, -0.92729522f}, {2, -2, 2.8284271f, pi / 4}};
    Gradient g;
    for (const auto& c : cases)
        g.push_back({c[0], c[1]});
    textureManager m;
    EXPECT_EQ(loadBytes(m, false, "v", vgfBytes(4, 2, g)).err,
              "LoadVGFImage(): v: no goodness map is loaded for this gradient\n");
    loadBase(m);
    ASSERT_EQ(loadBytes(m, false, "v", vgfBytes(4, 2, g)).out, "Successfully load v\n");
    for (int k = 0; k < 8; ++k) {
        EXPECT_NEAR(m.mapData[3 * k + 1], cases[k][2], 1e-6) << k;
        EXPECT_NEAR(m.mapData[3 * k + 2], cases[k][3], 1e-6) << k;
        EXPECT_EQ(std::signbit(m.mapData[3 * k + 2]), std::signbit(cases[k][3])) << k;
    }
    EXPECT_TRUE(m.mapData[0] == 0 && m.mapData[3] == 1) << "the goodness stays";
}

// "V 4 2" followed by ten ignored bytes, and a header whose height ends exactly at byte 15.
TEST(GradientImage, FloatsStartAtByte15WhateverTheHeaderLength) {
    for (std::string bytes :
         {std::string("V 4 2\x01\x02junk\xff\x7f!?", 15), std::string("V\n#comments\n4 2")}) {
        for (int k = 0; k < 8; ++k) {
            appendFloatLE(bytes, 0);
            appendFloatLE(bytes, static_cast<float>(k));
        }
        textureManager m;
        loadBase(m);
        ASSERT_EQ(loadBytes(m, false, "v", bytes).out, "Successfully load v\n");
        for (int k = 0; k < 8; ++k)
            EXPECT_EQ(m.mapData[3 * k + 1], static_cast<float>(k)) << bytes;
    }
}

// One fault per corpus file (the absent ones do not exist): one line naming the file and the
// reason, and nothing changes.
TEST(MapFiles, MalformedFilesAreRefusedAndTheMapStays) {
    const std::map<std::string, std::string> expected = {
        {"pgm/absent.pgm", ""},
        {"vgf/absent.vgf", ""},
        {"pgm/wrong_magic_P2.pgm", "magic number is not P5"},
        {"pgm/zero_width.pgm", "size 0 x 2 is not positive"},
        {"pgm/maxval_zero.pgm", "maxval 0 is outside 1..255"},
        {"pgm/maxval_256.pgm", "maxval 256 is outside 1..255"},
        {"pgm/short_raster.pgm", "raster holds 7 bytes, the header promises 8"},
        {"pgm/width_not_a_number.pgm", "width is not a number"},
        {"pgm/width_with_letters.pgm", "width is not a number"},
        {"pgm/width_out_of_range.pgm", "width is out of range"},
        {"pgm/size_too_large.pgm", "size 100000 x 100000 is too large"},
        {"pgm/long_comment_token.pgm", "header token longer than 511 characters"},
        {"pgm/long_number_token.pgm", "header token longer than 511 characters"},
        {"pgm/comment_after_size.pgm", "maxval is not a number"},
        // Only 511 characters of a comment line are discarded; the rest is read as the width.
        {"pgm/long_comment_line.pgm", "width is not a number"},
        {"vgf/missing_magic.vgf", "no magic token before the size"},
        {"vgf/header_past_15.vgf", "text header runs past byte 15"},
        {"vgf/smaller_than_map.vgf", "size 3 x 2 differs from the goodness map's 4 x 2"},
        {"vgf/larger_than_map.vgf", "size 8 x 2 differs from the goodness map's 4 x 2"},
        {"vgf/short_floats.vgf", "float data holds 63 bytes, the header promises 64"},
        {"vgf/nan_gradient.vgf", "gradient of cell 3 is not finite"},
        {"vgf/infinite_gradient.vgf", "gradient of cell 5 is not finite"},
        {"vgf/overflowing_magnitude.vgf", "gradient of cell 7 is not finite"},
        {"vgf/height_not_a_number.vgf", "height is not a number"}};
    for (const auto& [name, reason] : expected) {
        const std::string path = testsupport::corpusPath(name);
        textureManager m;
        loadBase(m);
        const auto before = state(m);
        const Output o = loadFile(m, name[0] == 'p', path);
        EXPECT_EQ(o.out + o.err,
                  prefix[name[0] == 'p'] +
                      (reason.empty() ? "can't open input file " + path : path + ": " + reason) +
                      "\n");
        EXPECT_EQ(state(m), before) << name;
    }
}

// Every prefix of a whole file is refused with one line and changes nothing. The whole file,
// read through the file-name entry point, loads.
TEST(MapFiles, EveryTruncationIsRefusedAndTheWholeFileLoads) {
    testsupport::TempDir dir;
    for (const bool pgm : {true, false}) {
        const std::string whole = pgm ? pgmBytes(3, 2, 255, rampSamples(6), "P5\n# c\n3 2\n255\n")
                                      : vgfBytes(4, 2, Gradient(8, {7, -7}));
        textureManager m;
        loadBase(m);
        const auto before = state(m);
        for (size_t n = 0; n < whole.size(); ++n) {
            const Output o = loadBytes(m, pgm, "cut", std::string_view(whole).substr(0, n));
            EXPECT_EQ(o.err.rfind(prefix[pgm] + "cut: ", 0), 0u) << n << ": " << o.err;
            // Nothing on standard output, one line on standard error.
            EXPECT_EQ(o.out + std::to_string(std::count(o.err.begin(), o.err.end(), '\n')), "1");
            EXPECT_EQ(state(m), before) << n;
        }
        const std::string path = (dir / (pgm ? "w.pgm" : "w.vgf")).string();
        testsupport::writeFile(path, whole);
        EXPECT_EQ(loadFile(m, pgm, path).out, "Successfully load " + path + "\n");
        EXPECT_TRUE(m.mapWidth == (pgm ? 3 : 4) && m.mapHeight == 2);
        // The last sample is the file's last byte; (7, -7) points up and right.
        EXPECT_EQ(m.mapData[pgm ? 15 : 2], pgm ? 5 / 255.0f : static_cast<float>(M_PI / 4));
    }
}

// A reload releases the previous cell array: a hundred kept 72 x 36 maps would be 3 MB.
TEST(MapFiles, ReloadsDoNotGrowMemory) {
    textureManager m;
    const std::string pgm = pgmBytes(72, 36, 255, rampSamples(72 * 36));
    size_t before = 0;
    for (int k = 0; k <= 100; ++k) {
        loadBytes(m, true, "m", pgm);
        if (k == 0) before = mallinfo2().uordblks;
    }
    EXPECT_LT(mallinfo2().uordblks, before + 1000 * 1000);
}

// A second map object loading a map of another size (a preview, a test's own) leaves the
// viewer's map and the conversions agreeing on its size, so every cell off the poles still comes
// back from its direction.
TEST(MapSize, TheConversionsFollowTheViewersMapAndNoOtherLoad) {
    textureManager& maps = textureManager::_instance;
    coordinateTransform& ct = coordinateTransform::_instance;
    const Output o = captured([&] {
        maps.LoadPGMImageFromBytes("a.pgm", pgmBytes(6, 4, 255, rampSamples(24)));
        maps.LoadVGFImageBFromBytes("a.vgf", vgfBytes(6, 4, {24, {1.0f, 0.0f}}));
        textureManager other;
        other.LoadPGMImageFromBytes("b.pgm", pgmBytes(10, 8, 255, rampSamples(80)));
    });
    ASSERT_EQ(o.out, "Successfully load a.pgm\nSuccessfully load a.vgf\nSuccessfully load b.pgm\n");
    EXPECT_EQ(std::pair(ct.mapWidth, ct.mapHeight), std::pair(6, 4));
    for (int j = 1; j < 4; ++j)
        for (int i = 0; i < 6; ++i) {
            vec d;
            int column = -1, row = -1;
            ct.ArrayIndexToCartesian(i, j, d);
            ct.CartesianToArrayIndex(d, column, row);
            EXPECT_EQ(std::pair(column, row), std::pair(i, j));
        }
    delete[] maps.mapData;
    maps.mapData = nullptr;
}
