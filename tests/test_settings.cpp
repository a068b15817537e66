#include "DataDir.h"
#include "RenderingSetting.h"
#include "file.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

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

TEST(FileNames, ProgNameIsUpToTheFirstDotAndExtensionAfterTheLastOfTheLastComponent) {
    // The character after a separator is taken without looking at it, even a '.';
    // a path ending in a separator has no component after it.
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"../Data/Models/bunny.off", "bunny", "off"},
        {"a.b.txt", "a", "txt"},
        {".hidden", "", "hidden"},
        {"../Data/.hidden", ".hidden", ""},
        {"../Data/..x.y", ".", "y"},
        {"plain", "plain", ""},
        {"dir\\win.obj", "win", "obj"},
        {"a.b/c.d", "c", "d"},
        {"../a.b/c", "c", ""},
        {"../Data/", "", ""},
        {"", "", ""},
        {"model.Off", "model", "Off"},
        {"trailing.", "trailing", ""},
    };
    for (const auto& [path, name, ext] : cases) {
        EXPECT_EQ(progName(path), name) << path;
        EXPECT_EQ(extension(path), ext) << path;
    }
    testing::internal::CaptureStdout();
    progName("../Data/Models/bunny.off");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ProgName : bunny\n");
}

// An instruction text too long for the box is cut at a line break within 1 MB
// and says so; a shorter one is read whole.
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

TEST(Settings, ListsOfTheFixtureTreeInFileOrderAndInitialSwitches) {
    const RenderingSetting& s = RenderingSetting::_instance;
    EXPECT_EQ(std::vector<std::string>(s.modelNames.begin(), s.modelNames.end()),
              (std::vector<std::string>{"torus", "box"}));
    EXPECT_EQ(std::vector<std::string>(s.attributeNames.begin(), s.attributeNames.end()),
              (std::vector<std::string>{"front", "top", "side"}));
    EXPECT_EQ(std::vector<int>({s.showPaths, s.saveViewpath, s.displayMode, s.selectedModel,
                                s.selectedAttribute, s.orbitType, s.throwing, s.playing,
                                s.modelChanged, s.applicationMode}),
              std::vector<int>({0, 0, 0, 0, 0, 1, 0, 0, 0, 2}));
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
    // Each builder owns its buffer: a later call of another builder leaves it
    // alone.
    char* goodness = s.goodnessFilePath();
    s.selectedModel = 0;
    s.selectedAttribute = 0;
    s.viewpointFilePath();
    EXPECT_STREQ(goodness, "../Data/Attributes/box/box_side.pgm");
    EXPECT_STREQ(s.goodnessFilePath(), "../Data/Attributes/torus/torus_front.pgm");
}
