// `orvalis [--up AXIS] [FILE...]` as a user types it, from a folder without a data tree above it:
// answers that touch no tree, refusals before any window, and files in each format baked into
// the user's own tree once.
#include "mesh_util.h"
#include "meshOpener.h"
#include "meshStamp.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

class CommandLine : public testing::Test {
protected:
    void SetUp() override { fs::create_directories(home / "work/here"); }
    ProcessResult run(std::vector<std::string> args) {
        args.insert(args.begin(), orvalisBinary());
        return runProcess(args, home / "work/here",
                          {"HOME=" + home.path().string(), "XDG_DATA_HOME=" + xdg().string(),
                           "ORVALIS_QUIT_WHEN_BAKED=1",
                           std::string("ORVALIS_BAKE=") + ORVALIS_BAKE_BIN});
    }
    fs::path xdg() { return home / "data"; }
    fs::path userTree() { return xdg() / "orvalis"; }
    TempDir home;
};

ino_t inode(const fs::path& p) {
    struct stat s {};
    return stat(p.c_str(), &s) == 0 ? s.st_ino : 0;
}

TEST(ModelNames, ShortenedToAListEntryNeverRefused) {
    const std::string fifty(50, 'a');
    EXPECT_EQ(modelNameBase("/x/" + fifty + "b.tar.ply"), std::string(49, 'a'));
    EXPECT_EQ(numberedName(std::string(49, 'a'), 12), std::string(46, 'a') + "-12");
    EXPECT_EQ(modelNameBase("my scan (2).obj"), "my_scan__2_");
    EXPECT_EQ(modelNameBase(".obj"), "model");
}

TEST_F(CommandLine, HelpVersionAndRefusalsTouchNoTree) {
    ProcessResult help = run({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.out.rfind("usage: orvalis [--up AXIS] [FILE...]\n", 0), 0u);
    ProcessResult version = run({"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out.rfind("orvalis ", 0), 0u);
    ProcessResult unknown = run({"--upp", "y"});
    EXPECT_EQ(unknown.exitStatus, 2);
    EXPECT_EQ(unknown.err, "orvalis: unknown option --upp (see orvalis --help)\n");
    ProcessResult axis = run({"--up", "w", "a.off"});
    EXPECT_EQ(axis.exitStatus, 2);
    ProcessResult missing = run({"nothere.ply", "notes.txt"});
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_EQ(missing.err,
              "orvalis: nothere.ply: no such file\norvalis: notes.txt: not a mesh file "
              "(Orvalis opens .off, .obj, .ply and .smf)\n");
    EXPECT_FALSE(fs::exists(xdg()));
}

TEST_F(CommandLine, EachFormatIsBakedIntoTheUsersTreeOnce) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    const std::vector<std::string> names = {"cap.off", "cap.obj", "lump.ply", "lump.smf"};
    for (size_t k = 0; k < names.size(); ++k)
        writeFile(home / "work/here" / names[k],
                  meshtest::lumpText(names[k].substr(names[k].find('.') + 1), 0.1 * k, 6, 8));
    ProcessResult first = run(names);
    ASSERT_EQ(first.exitStatus, 0) << first.err;
    EXPECT_EQ(readFile(userTree() / "Data/Models/modelList.txt"), "cap\ncap-2\nlump\nlump-2\n");
    EXPECT_TRUE(fs::exists(userTree() / "instructions.htm"));
    EXPECT_TRUE(fs::exists(userTree() / "Data/Models/sphere.obj"));
    EXPECT_EQ(readFile(userTree() / "Data/Attributes/lump-2/lump-2.source"),
              "hash " + contentHash(readFile(home / "work/here/lump.smf")) + "\nbaker " +
                  std::to_string(bakerRevision) + "\nup z\n");
    EXPECT_EQ(readFile(userTree() / "Data/Attributes/cap-2/cap-2.source").substr(38),
              "baker " + std::to_string(bakerRevision) + "\nup y\n");

    const fs::path map = userTree() / "Data/Attributes/lump/lump_quality.pgm";
    const ino_t bakedOnce = inode(map);
    ProcessResult again = run({"lump.ply", "cap.obj"});
    ASSERT_EQ(again.exitStatus, 0) << again.err;
    EXPECT_EQ(inode(map), bakedOnce);
    EXPECT_EQ(readFile(userTree() / "Data/Models/modelList.txt"), "cap\ncap-2\nlump\nlump-2\n");
}

} // namespace
