#include "DataDir.h"
#include "RenderingSetting.h"
#include "file.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

using namespace testsupport;

namespace {

std::string progName(const char* path) {
    char out[256];
    getProgName(out, path);
    return out;
}

std::string extension(const char* path) {
    char out[256];
    getExtension(out, path);
    return out;
}

} // namespace

TEST(FileNames, ProgNameIsTheLastComponentUpToItsFirstDot) {
    EXPECT_EQ(progName("../Data/Models/bunny.off"), "bunny");
    EXPECT_EQ(progName("a.b.txt"), "a");
    EXPECT_EQ(progName(".hidden"), "");
    // The character after a separator is taken without looking at it, even a '.'.
    EXPECT_EQ(progName("../Data/.hidden"), ".hidden");
    EXPECT_EQ(progName("../Data/..x.y"), ".");
    EXPECT_EQ(progName("plain"), "plain");
    EXPECT_EQ(progName("dir\\win.obj"), "win");
    EXPECT_EQ(progName("a.b/c.d"), "c");
    // A path ending in a separator has no component after it.
    EXPECT_EQ(progName("../Data/"), "");
    EXPECT_EQ(progName(""), "");
}

TEST(FileNames, ProgNamePrintsItsResult) {
    testing::internal::CaptureStdout();
    progName("../Data/Models/bunny.off");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ProgName : bunny\n");
}

TEST(FileNames, ExtensionIsWhatFollowsTheLastDotOfTheLastComponent) {
    EXPECT_EQ(extension("../Data/Models/bunny.off"), "off");
    EXPECT_EQ(extension("a.b.txt"), "txt");
    EXPECT_EQ(extension("../x"), "");
    EXPECT_EQ(extension("name"), "");
    EXPECT_EQ(extension("../a.b/c"), "");
    EXPECT_EQ(extension("model.Off"), "Off");
    EXPECT_EQ(extension("dir\\model.PLY"), "PLY");
    EXPECT_EQ(extension("trailing."), "");
    EXPECT_EQ(extension("trailing/"), "");
}

// An instruction text too long for the box is cut at a line break within 1 MB and says so; a
// shorter one is read whole.
TEST(FileReading, TextForDisplayIsCutAtALineBreakWithANote) {
    testsupport::TempDir dir;
    const std::string line = "<p>" + std::string(95, 'x') + "</p>\n";
    std::string big;
    while (big.size() < (size_t(20) << 20))
        big += line;
    for (const std::string& text : {big, line}) {
        testsupport::writeFile(dir / "t.htm", text);
        char* read = nullptr;
        ASSERT_EQ(readTextForDisplay((dir / "t.htm").c_str(), 1 << 20, "[cut]", &read),
                  FileStatus::ok);
        EXPECT_TRUE(read == (text == line ? line : big.substr(0, (1 << 20) / 103 * 103) + "[cut]"));
        std::free(read);
    }
}

TEST(Settings, ResourcePathsHangOffTheParentFolder) {
    EXPECT_EQ(getResourcePath("instructions.htm"), "../instructions.htm");
    EXPECT_EQ(getResourcePath(""), "../");
}

TEST(Settings, ListsOfTheFixtureTreeAreReadInFileOrder) {
    const RenderingSetting& s = RenderingSetting::_instance;
    ASSERT_EQ(s.modelNames.size(), 2u);
    EXPECT_STREQ(s.modelNames[0], "torus");
    EXPECT_STREQ(s.modelNames[1], "box");
    ASSERT_EQ(s.attributeNames.size(), 3u);
    EXPECT_STREQ(s.attributeNames[0], "front");
    EXPECT_STREQ(s.attributeNames[1], "top");
    EXPECT_STREQ(s.attributeNames[2], "side");
}

TEST(Settings, InitialSwitches) {
    const RenderingSetting& s = RenderingSetting::_instance;
    EXPECT_FALSE(s.showPaths);
    EXPECT_FALSE(s.saveViewpath);
    EXPECT_EQ(s.displayMode, 0);
    EXPECT_EQ(s.selectedModel, 0);
    EXPECT_EQ(s.selectedAttribute, 0);
    EXPECT_EQ(s.orbitType, 1);
    EXPECT_FALSE(s.throwing);
    EXPECT_FALSE(s.playing);
    EXPECT_FALSE(s.modelChanged);
    EXPECT_EQ(s.applicationMode, 2);
    EXPECT_NE(s.viewpathRecorder, nullptr);
}

TEST(Settings, PathBuildersComposeTheSelectedModelAndAttribute) {
    RenderingSetting& s = RenderingSetting::_instance;
    s.selectedModel = 1;
    s.selectedAttribute = 2;
    EXPECT_STREQ(s.goodnessFilePath(), "../Data/Attributes/box/box_side.pgm");
    EXPECT_STREQ(s.gradientFilePath(), "../Data/Attributes/box/box_side.vgf");
    EXPECT_STREQ(s.viewpointFilePath(), "../Data/Orbits/box_orbit.txt");
    testing::internal::CaptureStdout();
    EXPECT_STREQ(s.modelFilePath(), "../Data/Models/box.off");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "../Data/Models/box.off\n");
    // Each builder owns its buffer: a later call of another builder leaves it alone.
    char* goodness = s.goodnessFilePath();
    s.selectedModel = 0;
    s.selectedAttribute = 0;
    s.viewpointFilePath();
    EXPECT_STREQ(goodness, "../Data/Attributes/box/box_side.pgm");
    EXPECT_STREQ(s.goodnessFilePath(), "../Data/Attributes/torus/torus_front.pgm");
}
