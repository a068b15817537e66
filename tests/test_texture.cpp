#include "extTrackball.h"
#include "maps_util.h"
#include "support.h"
#include "textureManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <malloc.h>
#include <map>
#include <string>
#include <vector>

using namespace mapsutil;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace fs = std::filesystem;

namespace {

const fs::path corpusDir = fs::path(ORVALIS_SOURCE_DIR) / "tests" / "corpus";

// Everything a failed load must leave alone.
struct MapSnapshot {
    explicit MapSnapshot(const textureManager& m)
        : data(m.mapData), width(m.mapWidth), height(m.mapHeight),
          transformWidth(coordinateTransform::_instance.mapWidth),
          transformHeight(coordinateTransform::_instance.mapHeight), texture(m.textureId) {
        if (m.mapData) cells.assign(m.mapData, m.mapData + 3 * static_cast<size_t>(width) * height);
    }
    void expectUnchanged(const textureManager& m, const std::string& what) const {
        EXPECT_EQ(m.mapData, data) << what;
        EXPECT_EQ(m.mapWidth, width) << what;
        EXPECT_EQ(m.mapHeight, height) << what;
        EXPECT_EQ(coordinateTransform::_instance.mapWidth, transformWidth) << what;
        EXPECT_EQ(coordinateTransform::_instance.mapHeight, transformHeight) << what;
        EXPECT_EQ(m.textureId, texture) << what;
        if (m.mapData && m.mapData == data) {
            std::vector<float> now(m.mapData, m.mapData + cells.size());
            // Compared bit for bit so that NaN would not hide a change.
            EXPECT_EQ(0, std::memcmp(now.data(), cells.data(), cells.size() * sizeof(float)))
                << what;
        }
    }
    const float* data;
    int width, height, transformWidth, transformHeight;
    unsigned int texture;
    std::vector<float> cells;
};

struct LoadOutput {
    std::string out, err;
};

LoadOutput loadPGM(textureManager& m, const std::string& name, const std::string& bytes) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    m.LoadPGMImageFromBytes(name.c_str(), bytes);
    LoadOutput o;
    o.out = testing::internal::GetCapturedStdout();
    o.err = testing::internal::GetCapturedStderr();
    return o;
}

LoadOutput loadVGF(textureManager& m, const std::string& name, const std::string& bytes) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    m.LoadVGFImageBFromBytes(name.c_str(), bytes);
    LoadOutput o;
    o.out = testing::internal::GetCapturedStdout();
    o.err = testing::internal::GetCapturedStderr();
    return o;
}

// A 4 x 2 goodness map with distinct samples and its matching gradient, as the base that the
// malformed files must not disturb.
const std::vector<unsigned char> baseSamples = {0, 255, 51, 102, 153, 204, 17, 34};

std::vector<std::pair<float, float>> baseGradient() {
    return {{1, 0}, {0, 1}, {0, -1}, {-1, 0}, {3, 4}, {-0.5f, 0.25f}, {0, 0}, {2, -2}};
}

void loadBase(textureManager& m) {
    LoadOutput o = loadPGM(m, "base.pgm", pgmBytes(4, 2, 255, baseSamples));
    ASSERT_EQ(o.out, "Successfully load base.pgm\n");
    o = loadVGF(m, "base.vgf", vgfBytes(4, 2, baseGradient()));
    ASSERT_EQ(o.out, "Successfully load base.vgf\n");
}

float goodness(const textureManager& m, int i, int j) {
    return m.mapData[3 * (j * m.mapWidth + i)];
}
float magnitude(const textureManager& m, int k) {
    return m.mapData[3 * k + 1];
}
float angle(const textureManager& m, int k) {
    return m.mapData[3 * k + 2];
}

} // namespace

// ---- goodness images

TEST(GoodnessImage, SamplesBecomeGoodnessAndJetTexels) {
    textureManager m;
    GoodnessImage image;
    ASSERT_EQ(m.parsePGMImage(pgmBytes(4, 2, 255, baseSamples), image), "");
    ASSERT_EQ(image.width, 4);
    ASSERT_EQ(image.height, 2);
    ASSERT_EQ(image.texels.size(), 24u);
    for (size_t k = 0; k < baseSamples.size(); ++k) {
        const int s = baseSamples[k];
        EXPECT_EQ(image.cells[3 * k], static_cast<float>(s) / 255.0f) << k;
        EXPECT_EQ(image.cells[3 * k + 1], 0.0f);
        EXPECT_EQ(image.cells[3 * k + 2], 0.0f);
        const auto rgb = jetEntry(s);
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(image.texels[3 * k + c], static_cast<float>(rgb[c] / 255.0)) << k;
    }
    EXPECT_EQ(image.cells[0], 0.0f);
    EXPECT_EQ(image.cells[3], 1.0f);
    // Sample 255 is the last jet colour, (128, 0, 0); sample 0 the first, (0, 0, 131).
    EXPECT_EQ(image.texels[3], static_cast<float>(128 / 255.0));
    EXPECT_EQ(image.texels[4], 0.0f);
    EXPECT_EQ(image.texels[2], static_cast<float>(131 / 255.0));
}

TEST(GoodnessImage, InstallsMapSizesAndReportsSuccess) {
    textureManager m;
    coordinateTransform::_instance.mapWidth = 0;
    coordinateTransform::_instance.mapHeight = 0;
    TempDir dir;
    const std::string path = (dir / "goodness.pgm").string();
    writeFile(path, pgmBytes(4, 2, 255, baseSamples));
    testing::internal::CaptureStdout();
    m.LoadPGMImage(path.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Successfully load " + path + "\n");
    EXPECT_EQ(m.mapWidth, 4);
    EXPECT_EQ(m.mapHeight, 2);
    EXPECT_EQ(coordinateTransform::_instance.mapWidth, 4);
    EXPECT_EQ(coordinateTransform::_instance.mapHeight, 2);
    ASSERT_NE(m.mapData, nullptr);
    // Row-major: cell (i, j) is sample j * 4 + i.
    EXPECT_EQ(goodness(m, 1, 0), 1.0f);
    EXPECT_EQ(goodness(m, 0, 1), 153 / 255.0f);
    EXPECT_EQ(goodness(m, 3, 1), 34 / 255.0f);
}

TEST(GoodnessImage, CommentsBetweenMagicAndWidthChangeNothing) {
    textureManager m;
    GoodnessImage plain, commented, tight, boundary;
    ASSERT_EQ(m.parsePGMImage(pgmBytes(4, 2, 255, baseSamples), plain), "");
    ASSERT_EQ(
        m.parsePGMImage(pgmBytes("P5\n# one\n#two words\n#\n  # three\n4 2\n255\n", baseSamples),
                        commented),
        "");
    ASSERT_EQ(m.parsePGMImage(pgmBytes("P5 #c\n4\t2 255 ", baseSamples), tight), "");
    // The rest of a comment line is discarded up to 511 characters, newline included.
    ASSERT_EQ(
        m.parsePGMImage(pgmBytes("P5\n#" + std::string(510, 'z') + "\n4 2\n255\n", baseSamples),
                        boundary),
        "");
    for (const GoodnessImage* g : {&commented, &tight, &boundary}) {
        ASSERT_EQ(g->width, 4);
        ASSERT_EQ(g->height, 2);
        for (size_t k = 0; k < 24; ++k) {
            EXPECT_EQ(g->cells[k], plain.cells[k]);
            EXPECT_EQ(g->texels[k], plain.texels[k]);
        }
    }
}

TEST(GoodnessImage, OtherMaxvalsScaleTheSamples) {
    textureManager m;
    GoodnessImage image;
    ASSERT_EQ(m.parsePGMImage(pgmBytes(3, 1, 100, {0, 50, 100}), image), "");
    EXPECT_EQ(image.cells[0], 0.0f);
    EXPECT_EQ(image.cells[3], 0.5f);
    EXPECT_EQ(image.cells[6], 1.0f);
    // 0.5 blends entries 127 and 128: (129, 255, 126), worked by hand.
    EXPECT_EQ(image.texels[3], static_cast<float>(129 / 255.0));
    EXPECT_EQ(image.texels[4], 1.0f);
    EXPECT_EQ(image.texels[5], static_cast<float>(126 / 255.0));

    ASSERT_EQ(m.parsePGMImage(pgmBytes(2, 1, 1, {0, 1}), image), "");
    EXPECT_EQ(image.cells[0], 0.0f);
    EXPECT_EQ(image.cells[3], 1.0f);

    ASSERT_EQ(m.parsePGMImage(pgmBytes(1, 1, 3, {1}), image), "");
    EXPECT_EQ(image.cells[0], 1.0f / 3.0f);
}

TEST(GoodnessImage, SamplesAboveMaxvalAreClampedToOne) {
    textureManager m;
    GoodnessImage image;
    ASSERT_EQ(m.parsePGMImage(pgmBytes(3, 1, 100, {101, 255, 99}), image), "");
    EXPECT_EQ(image.cells[0], 1.0f);
    EXPECT_EQ(image.cells[3], 1.0f);
    EXPECT_EQ(image.cells[6], 99 / 100.0f);
    EXPECT_EQ(image.texels[0], static_cast<float>(128 / 255.0));
    EXPECT_EQ(image.texels[1], 0.0f);
    EXPECT_EQ(image.texels[2], 0.0f);
}

TEST(GoodnessImage, RasterStartsRightAfterTheOneByteThatEndsTheHeader) {
    textureManager m;
    GoodnessImage image;
    // The first samples are whitespace bytes (10, 32, 9) and must not be skipped; the last
    // sample is the last byte of the file.
    const std::vector<unsigned char> samples = {10, 32, 9, 13, 0, 200};
    const std::string bytes = pgmBytes(3, 2, 255, samples);
    ASSERT_EQ(static_cast<unsigned char>(bytes.back()), 200);
    ASSERT_EQ(m.parsePGMImage(bytes, image), "");
    for (size_t k = 0; k < samples.size(); ++k)
        EXPECT_EQ(image.cells[3 * k], samples[k] / 255.0f) << k;
    // The ending byte may be any whitespace, here a tab.
    ASSERT_EQ(m.parsePGMImage(pgmBytes("P5 3 2 255\t", samples), image), "");
    EXPECT_EQ(image.cells[0], 10 / 255.0f);
    // Bytes beyond the raster are ignored.
    ASSERT_EQ(m.parsePGMImage(bytes + "trailing", image), "");
    EXPECT_EQ(image.cells[15], 200 / 255.0f);
}

TEST(GoodnessImage, MissingFileKeepsEverything) {
    textureManager m;
    loadBase(m);
    const MapSnapshot before(m);
    TempDir dir;
    const std::string path = (dir / "absent.pgm").string();
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    m.LoadPGMImage(path.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "LoadPGMImage(): can't open input file " + path + "\n");
    before.expectUnchanged(m, "missing file");
}

// Each file of the corpus holds one fault; the reason printed and the untouched map are checked.
TEST(GoodnessImage, MalformedFilesAreRefusedAndTheMapStays) {
    const std::map<std::string, std::string> expected = {
        {"empty.pgm", "no magic number"},
        {"whitespace_only.pgm", "no magic number"},
        {"missing_magic.pgm", "magic number is not P5"},
        {"wrong_magic_P2.pgm", "magic number is not P5"},
        {"wrong_magic_P6.pgm", "magic number is not P5"},
        {"zero_width.pgm", "size 0 x 2 is not positive"},
        {"negative_height.pgm", "size 4 x -2 is not positive"},
        {"maxval_zero.pgm", "maxval 0 is outside 1..255"},
        {"maxval_256.pgm", "maxval 256 is outside 1..255"},
        {"maxval_65535.pgm", "maxval 65535 is outside 1..255"},
        {"short_raster.pgm", "raster holds 7 bytes, the header promises 8"},
        {"no_raster.pgm", "raster holds 0 bytes, the header promises 8"},
        {"missing_maxval.pgm", "maxval is not a number"},
        {"width_not_a_number.pgm", "width is not a number"},
        {"width_with_letters.pgm", "width is not a number"},
        {"width_out_of_range.pgm", "width is out of range"},
        {"size_too_large.pgm", "size 100000 x 100000 is too large"},
        {"long_comment_token.pgm", "header token longer than 511 characters"},
        {"long_number_token.pgm", "header token longer than 511 characters"},
        {"comment_after_size.pgm", "maxval is not a number"},
        // Only 511 characters of a comment line are discarded; the rest is read as the width.
        {"long_comment_line.pgm", "width is not a number"},
    };
    size_t seen = 0;
    for (const auto& entry : fs::directory_iterator(corpusDir / "pgm")) {
        const std::string name = entry.path().filename().string();
        auto it = expected.find(name);
        ASSERT_NE(it, expected.end()) << "no expectation for corpus file " << name;
        ++seen;
        textureManager m;
        loadBase(m);
        const MapSnapshot before(m);
        const std::string path = entry.path().string();
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        m.LoadPGMImage(path.c_str());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "LoadPGMImage(): " + path + ": " + it->second + "\n");
        before.expectUnchanged(m, name);
    }
    EXPECT_EQ(seen, expected.size());
}

TEST(GoodnessImage, EveryTruncationIsRefusedAndTheMapStays) {
    const std::string whole = pgmBytes("P5\n# c\n3 2\n255\n", {1, 2, 3, 4, 5, 6});
    textureManager m;
    loadBase(m);
    const MapSnapshot before(m);
    for (size_t length = 0; length < whole.size(); ++length) {
        const LoadOutput o = loadPGM(m, "cut.pgm", whole.substr(0, length));
        EXPECT_EQ(o.out, "") << length;
        EXPECT_EQ(o.err.rfind("LoadPGMImage(): cut.pgm: ", 0), 0u) << length << ": " << o.err;
        EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << length;
        before.expectUnchanged(m, "length " + std::to_string(length));
    }
    const LoadOutput o = loadPGM(m, "whole.pgm", whole);
    EXPECT_EQ(o.out, "Successfully load whole.pgm\n");
    EXPECT_EQ(m.mapWidth, 3);
    EXPECT_EQ(goodness(m, 2, 1), 6 / 255.0f);
}

// Arbitrary bytes never crash, read outside the buffer (the sanitizer build checks) or leave a
// half-installed map.
TEST(GoodnessImage, ScrambledHeadersNeverHalfInstall) {
    const std::string whole = pgmBytes("P5\n# c\n3 2\n255\n", {1, 2, 3, 4, 5, 6});
    unsigned state = 12345;
    textureManager m;
    loadBase(m);
    for (int round = 0; round < 3000; ++round) {
        std::string bytes = whole;
        for (int flips = 0; flips < 3; ++flips) {
            state = state * 1103515245u + 12345u;
            bytes[(state >> 8) % bytes.size()] = static_cast<char>(state >> 24);
        }
        const MapSnapshot before(m);
        const LoadOutput o = loadPGM(m, "scrambled.pgm", bytes);
        if (o.out.empty()) {
            before.expectUnchanged(m, "scrambled");
        } else {
            ASSERT_NE(m.mapData, nullptr);
            EXPECT_GT(m.mapWidth, 0);
            EXPECT_GT(m.mapHeight, 0);
            for (int k = 0; k < m.mapWidth * m.mapHeight; ++k) {
                EXPECT_GE(m.mapData[3 * k], 0.0f);
                EXPECT_LE(m.mapData[3 * k], 1.0f);
            }
        }
    }
}

// ---- gradient images

TEST(GradientImage, MagnitudeAndAngleWithTheRowAxisTurnedUp) {
    textureManager m;
    loadBase(m);
    // (1, 0): 0.  (0, 1): -pi/2.  (0, -1): +pi/2.  (-1, 0): the negated zero row component is
    // -0, so -pi.  (3, 4): 5 and atan2(-4, 3).  (-0.5, 0.25).  (0, 0): 0 and 0.  (2, -2).
    EXPECT_EQ(magnitude(m, 0), 1.0f);
    EXPECT_EQ(angle(m, 0), 0.0f);
    EXPECT_EQ(magnitude(m, 1), 1.0f);
    EXPECT_EQ(angle(m, 1), static_cast<float>(-M_PI / 2));
    EXPECT_EQ(magnitude(m, 2), 1.0f);
    EXPECT_EQ(angle(m, 2), static_cast<float>(M_PI / 2));
    EXPECT_EQ(magnitude(m, 3), 1.0f);
    EXPECT_EQ(angle(m, 3), static_cast<float>(-M_PI));
    EXPECT_EQ(magnitude(m, 4), 5.0f);
    EXPECT_FLOAT_EQ(angle(m, 4), static_cast<float>(std::atan2(-4.0, 3.0)));
    EXPECT_FLOAT_EQ(magnitude(m, 5), static_cast<float>(std::sqrt(0.3125)));
    EXPECT_FLOAT_EQ(angle(m, 5), static_cast<float>(std::atan2(-0.25, -0.5)));
    EXPECT_EQ(magnitude(m, 6), 0.0f);
    // (0, 0): atan2(-0, +0) is a zero; negated, the row component makes it -0.
    EXPECT_EQ(angle(m, 6), 0.0f);
    EXPECT_TRUE(std::signbit(angle(m, 6)));
    EXPECT_FLOAT_EQ(magnitude(m, 7), static_cast<float>(std::sqrt(8.0)));
    EXPECT_EQ(angle(m, 7), static_cast<float>(M_PI / 4));
    // The goodness written by the goodness load is untouched.
    for (size_t k = 0; k < baseSamples.size(); ++k)
        EXPECT_EQ(m.mapData[3 * k], baseSamples[k] / 255.0f);
}

TEST(GradientImage, SignedZeroRowComponents) {
    textureManager m;
    loadBase(m);
    const std::vector<std::pair<float, float>> g = {{-1, -0.0f},    {-1, 0.0f},    {0.0f, -0.0f},
                                                    {-0.0f, -0.0f}, {-0.0f, 0.0f}, {1, -0.0f},
                                                    {0, 1},         {0, -1}};
    ASSERT_EQ(loadVGF(m, "zeros.vgf", vgfBytes(4, 2, g)).out, "Successfully load zeros.vgf\n");
    // atan2(-gy, gx): (-1, -0) gives atan2(+0, -1) = +pi; (-1, +0) gives atan2(-0, -1) = -pi.
    EXPECT_EQ(angle(m, 0), static_cast<float>(M_PI));
    EXPECT_EQ(angle(m, 1), static_cast<float>(-M_PI));
    // (+0, -0): atan2(+0, +0) = +0.  (-0, -0): atan2(+0, -0) = +pi.  (-0, +0): atan2(-0, -0) = -pi.
    EXPECT_EQ(angle(m, 2), 0.0f);
    EXPECT_FALSE(std::signbit(angle(m, 2)));
    EXPECT_EQ(angle(m, 3), static_cast<float>(M_PI));
    EXPECT_EQ(angle(m, 4), static_cast<float>(-M_PI));
    // (1, -0): atan2(+0, 1) = +0.
    EXPECT_EQ(angle(m, 5), 0.0f);
    EXPECT_FALSE(std::signbit(angle(m, 5)));
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(magnitude(m, k), k < 2 || k == 5 ? 1.0f : 0.0f) << k;
}

TEST(GradientImage, FloatsStartAtByte15WhateverTheHeaderLength) {
    textureManager m;
    loadBase(m);
    // "V 4 2" ends at byte 5; bytes 5..14 are ignored, here binary junk that is not whitespace.
    std::string bytes = "V 4 2";
    bytes += std::string("\x01\x02junk\xff\x7f!?", 10);
    ASSERT_EQ(bytes.size(), 15u);
    for (int k = 0; k < 8; ++k) {
        appendFloatLE(bytes, static_cast<float>(k));
        appendFloatLE(bytes, 0.0f);
    }
    ASSERT_EQ(bytes.size(), 15u + 64u);
    ASSERT_EQ(loadVGF(m, "short.vgf", bytes).out, "Successfully load short.vgf\n");
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(magnitude(m, k), static_cast<float>(k));
    // A header with a comment whose height ends exactly at byte 15 is still whole.
    bytes = "V\n#comments\n4 2";
    ASSERT_EQ(bytes.size(), 15u);
    for (int k = 0; k < 8; ++k) {
        appendFloatLE(bytes, 0.0f);
        appendFloatLE(bytes, static_cast<float>(k));
    }
    ASSERT_EQ(loadVGF(m, "exact.vgf", bytes).out, "Successfully load exact.vgf\n");
    for (int k = 1; k < 8; ++k)
        EXPECT_EQ(magnitude(m, k), static_cast<float>(k));
}

TEST(GradientImage, ReloadingTheGoodnessKeepsSizesAndTheGradientFollows) {
    textureManager m;
    loadBase(m);
    std::vector<unsigned char> other(8, 255);
    ASSERT_EQ(loadPGM(m, "other.pgm", pgmBytes(4, 2, 255, other)).out,
              "Successfully load other.pgm\n");
    ASSERT_EQ(loadVGF(m, "base.vgf", vgfBytes(4, 2, baseGradient())).out,
              "Successfully load base.vgf\n");
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(m.mapData[3 * k], 1.0f);
    EXPECT_EQ(magnitude(m, 4), 5.0f);
}

TEST(GradientImage, MissingFileKeepsEverything) {
    textureManager m;
    loadBase(m);
    const MapSnapshot before(m);
    TempDir dir;
    const std::string path = (dir / "absent.vgf").string();
    testing::internal::CaptureStderr();
    m.LoadVGFImageB(path.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "LoadVGFImage(): can't open input file " + path + "\n");
    before.expectUnchanged(m, "missing file");
}

TEST(GradientImage, WithoutAGoodnessMapNothingIsWritten) {
    textureManager m;
    const LoadOutput o = loadVGF(m, "alone.vgf", vgfBytes(4, 2, baseGradient()));
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "LoadVGFImage(): alone.vgf: no goodness map is loaded for this gradient\n");
    EXPECT_EQ(m.mapData, nullptr);
    EXPECT_EQ(m.mapWidth, 0);
}

TEST(GradientImage, MalformedFilesAreRefusedAndTheMapStays) {
    const std::map<std::string, std::string> expected = {
        {"empty.vgf", "no magic token"},
        {"missing_magic.vgf", "no magic token before the size"},
        {"header_past_15.vgf", "text header runs past byte 15"},
        {"smaller_than_map.vgf", "size 3 x 2 differs from the goodness map's 4 x 2"},
        {"larger_than_map.vgf", "size 8 x 2 differs from the goodness map's 4 x 2"},
        {"short_floats.vgf", "float data holds 63 bytes, the header promises 64"},
        {"zero_size.vgf", "size 0 x 2 is not positive"},
        {"nan_gradient.vgf", "gradient of cell 3 is not finite"},
        {"infinite_gradient.vgf", "gradient of cell 5 is not finite"},
        {"overflowing_magnitude.vgf", "gradient of cell 7 is not finite"},
        {"long_magic_token.vgf", "header token longer than 511 characters"},
        {"height_not_a_number.vgf", "height is not a number"},
    };
    size_t seen = 0;
    for (const auto& entry : fs::directory_iterator(corpusDir / "vgf")) {
        const std::string name = entry.path().filename().string();
        auto it = expected.find(name);
        ASSERT_NE(it, expected.end()) << "no expectation for corpus file " << name;
        ++seen;
        textureManager m;
        loadBase(m);
        const MapSnapshot before(m);
        const std::string path = entry.path().string();
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        m.LoadVGFImageB(path.c_str());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "LoadVGFImage(): " + path + ": " + it->second + "\n");
        before.expectUnchanged(m, name);
    }
    EXPECT_EQ(seen, expected.size());
}

TEST(GradientImage, EveryTruncationIsRefusedAndTheMapStays) {
    std::vector<std::pair<float, float>> other(8, {7.0f, -7.0f});
    const std::string whole = vgfBytes(4, 2, other);
    textureManager m;
    loadBase(m);
    const MapSnapshot before(m);
    for (size_t length = 0; length < whole.size(); ++length) {
        const LoadOutput o = loadVGF(m, "cut.vgf", whole.substr(0, length));
        EXPECT_EQ(o.out, "") << length;
        EXPECT_EQ(o.err.rfind("LoadVGFImage(): cut.vgf: ", 0), 0u) << length << ": " << o.err;
        before.expectUnchanged(m, "length " + std::to_string(length));
    }
    EXPECT_EQ(loadVGF(m, "whole.vgf", whole).out, "Successfully load whole.vgf\n");
    EXPECT_EQ(angle(m, 0), static_cast<float>(M_PI / 4));
}

TEST(GradientImage, ScrambledBytesNeverHalfInstall) {
    const std::string whole = vgfBytes(4, 2, baseGradient());
    unsigned state = 777;
    textureManager m;
    loadBase(m);
    for (int round = 0; round < 3000; ++round) {
        std::string bytes = whole;
        for (int flips = 0; flips < 2; ++flips) {
            state = state * 1103515245u + 12345u;
            bytes[(state >> 8) % bytes.size()] = static_cast<char>(state >> 24);
        }
        const MapSnapshot before(m);
        const LoadOutput o = loadVGF(m, "scrambled.vgf", bytes);
        if (o.out.empty()) {
            before.expectUnchanged(m, "scrambled");
        } else {
            EXPECT_EQ(m.mapWidth, 4);
            EXPECT_EQ(m.mapHeight, 2);
            for (int k = 0; k < 8; ++k) {
                EXPECT_TRUE(std::isfinite(magnitude(m, k)));
                EXPECT_GE(magnitude(m, k), 0.0f);
                EXPECT_LE(std::fabs(angle(m, k)), static_cast<float>(M_PI));
            }
        }
    }
}

// ---- reloads

TEST(Reload, AThousandLoadsDoNotGrowMemory) {
    textureManager m;
    const std::string pgm = pgmBytes(72, 36, 255, rampSamples(72 * 36));
    std::vector<std::pair<float, float>> g(72 * 36, {0.5f, 0.5f});
    const std::string vgf = vgfBytes(72, 36, g);
    auto loadPair = [&] {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        m.LoadPGMImageFromBytes("m.pgm", pgm);
        m.LoadVGFImageBFromBytes("m.vgf", vgf);
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
    };
    for (int k = 0; k < 10; ++k)
        loadPair();
    const size_t before = mallinfo2().uordblks;
    for (int k = 0; k < 1000; ++k)
        loadPair();
    const size_t after = mallinfo2().uordblks;
    // One map is 72 * 36 * 12 bytes (about 31 kB); a thousand kept ones would be 31 MB.
    EXPECT_LT(after, before + 1000 * 1000) << before << " -> " << after;
    EXPECT_EQ(m.mapWidth, 72);
}

// The bundled maps of the fixture tree load as a matching pair.
TEST(Reload, FixtureMapsLoad) {
    textureManager m;
    const std::string base = "../Data/Attributes/torus/torus_front";
    testing::internal::CaptureStdout();
    m.LoadPGMImage((base + ".pgm").c_str());
    m.LoadVGFImageB((base + ".vgf").c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Successfully load " + base + ".pgm\nSuccessfully load " + base + ".vgf\n");
    EXPECT_EQ(m.mapWidth, 72);
    EXPECT_EQ(m.mapHeight, 36);
    float best = 0;
    for (int k = 0; k < 72 * 36; ++k)
        best = std::max(best, m.mapData[3 * k]);
    EXPECT_GT(best, 0.95f);
}
