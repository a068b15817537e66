// The orvalis-bake program as a user runs it: its help, its one-line refusals of bad options and
// bad meshes (leaving the tree as it was), and complete bakes into data trees.
#include "bake_util.h"
#include "bakemodel.h"
#include "support.h"

#include <QImage>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <future>
#include <map>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// chattr's flag (i: the file cannot be changed, a: the folder only grows) on or off; false where
// the file system has no such flags.
bool setFlag(const fs::path& path, const char* flag) {
    return runProcess({"/usr/bin/chattr", flag, path.string()}, path.parent_path()).exitStatus == 0;
}

class BakeCli : public testing::Test {
protected:
    void SetUp() override {
        copyFixtureTree(tree.path());
        // A flat box: its views differ clearly in every measure.
        writeFile(tree / "m/cube.off", bakeutil::offOf(bakeutil::box(1.0, 0.6, 0.2)));
    }
    // A quick bake, unless the arguments say otherwise: few views, small images and maps. It runs
    // in the folder of the meshes, one level below the tree, as the viewer runs.
    ProcessResult bake(std::vector<std::string> args, const fs::path& cwd = {},
                       const std::vector<std::string>& env = {}) {
        args.insert(args.begin(), {ORVALIS_BAKE_BIN, "--quiet", "--samples", "60", "--resolution",
                                   "48", "--size", "36x18"});
        return runProcess(args, cwd.empty() ? tree / "m" : cwd, env);
    }
    // One line (after the reader's own, where it has one) and the tree as it was.
    void expectRefusal(const std::vector<std::string>& args, int status, const std::string& line,
                       int lines = 1) {
        const auto before = treeSnapshot(tree.path());
        const ProcessResult r = bake(args);
        EXPECT_EQ(r.exitStatus, status) << r.err;
        EXPECT_TRUE(r.err.ends_with("orvalis-bake: " + line + "\n")) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), lines) << r.err;
        EXPECT_EQ(treeSnapshot(tree.path()), before);
    }
    TempDir tree;
};

} // namespace

TEST_F(BakeCli, HelpAndBadCommandLines) {
    const ProcessResult r = bake({"--help"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out.rfind("usage: orvalis-bake [options] MESH...\n", 0), 0u);
    for (const char* s : {"--root DIR",         "--name NAME",   "--up AXIS",
                          "--size WxH",         "--samples N",   "--resolution N",
                          "--gradient-scale S", "--quiet",       "--help",
                          "  quality ",         "  area ",       "  visibility ",
                          "  entropy ",         "  silhouette ", "  elevation ",
                          "  offaxis ",         "  outside ",    "--picture FILE.png",
                          "--picture-only",     "--threads N"})
        EXPECT_NE(r.out.find(s), std::string::npos) << s;
    // Bad command lines get one line and status 2.
    for (const auto& [args, line] : std::map<std::vector<std::string>, std::string>{
             {{}, "no mesh file given"},
             {{"--bogus", "a.off"}, "unknown option --bogus"},
             {{"a.off", "--root"}, "--root needs a value"},
             {{"--size", "360-180", "a.off"},
              "--size needs WIDTHxHEIGHT, as in 360x180, not '360-180'"},
             {{"--size=3x180", "a.off"}, "--size width must lie between 8 and 4096, not 3"},
             {{"--samples", "12x", "a.off"}, "--samples needs a whole number, not '12x'"},
             {{"--resolution", "99999", "a.off"},
              "--resolution must lie between 32 and 2048, not 99999"},
             {{"--up", "w", "a.off"}, "--up needs one of x, y, z, -x, -y, -z, not 'w'"},
             {{"--gradient-scale", "-1", "a.off"},
              "--gradient-scale needs a positive number, not '-1'"},
             {{"--quiet=yes", "a.off"}, "--quiet takes no value"},
             {{"--name", "x", "a.off", "b.off"},
              "--name names one model, but 2 mesh files are given"}})
        expectRefusal(args, 2, line + " (see orvalis-bake --help)");
}

TEST_F(BakeCli, BadMeshesAndAFailedWriteGetOneLineAndLeaveTheTreeAlone) {
    const std::string d = (tree / "m").string(), m = d + "/", tri = "OFF\n3 1 0\n0 0 0\n";
    writeFile(m + "empty.off", "");
    writeFile(m + "shape.stl", "solid x\n");
    writeFile(m + "nofaces.off", "OFF\n3 0 0\n0 0 0\n1 0 0\n0 1 0\n");
    writeFile(m + "flat.off", tri + "1 0 0\n2 0 0\n3 0 1 2\n");
    writeFile(m + "nan.off", tri + "1 nan 0\n0 1 0\n3 0 1 2\n");
    writeFile(m + "truncated.off", "OFF\n4 2 0\n0 0 0\n1 0 0\n");
    // The OFF reader takes "nan" for a number; the baker does not. Every mesh is read before any
    // is baked, so a good one before a bad one is not baked either.
    for (const auto& [args, line] : std::map<std::vector<std::string>, std::string>{
             {{m + "none.off"}, m + "none.off: no such mesh file"},
             {{d}, d + ": not a regular file"},
             {{m + "shape.stl"},
              m + "shape.stl: unsupported mesh format 'stl' (orvalis-bake reads .off, .obj, .ply "
                  "and .smf)"},
             {{m + "nofaces.off"}, m + "nofaces.off: the mesh has no triangles"},
             {{m + "flat.off"},
              m + "flat.off: the mesh has no area (every triangle is degenerate)"},
             {{m + "nan.off"},
              m + "nan.off: vertex 1 has a coordinate that is not a finite number"},
             {{m + "my model.off"},
              m + "my model.off: model name 'my model' may hold only letters, digits, '_', '-' and "
                  "'+' (use --name)"},
             {{m + ".off"}, m + ".off: gives an empty model name (use --name)"},
             {{m + "cube.off", m + "cube.off"},
              m + "cube.off: a second mesh for the model 'cube' (use --name, one mesh at a time)"},
             {{"--root", m + "nowhere", m + "cube.off"},
              "the data tree root " + m + "nowhere does not exist"},
             {{m + "cube.off", m + "empty.off"}, m + "empty.off: the mesh file is empty"}})
        expectRefusal(args, 1, line);
    expectRefusal({m + "truncated.off"}, 1,
                  m + "truncated.off: not a readable mesh (see the reader's message above)", 2);
    fs::remove_all(tree / "Data/Orbits");
    writeFile(tree / "Data/Orbits", "not a folder");
    expectRefusal({m + "cube.off"}, 1,
                  "cannot write ../Data/Orbits/cube_orbit.txt: ../Data/Orbits is not a folder");
}

TEST_F(BakeCli, BakesAModelIntoTheTreeAboveTheWorkingFolder) {
    const fs::path data = tree / "Data";
    const std::string lists = readFile(data / "Models/modelList.txt") + "cube\n" +
                              readFile(data / "Attributes/attributeList.txt") +
                              "quality\narea\nvisibility\nentropy\nsilhouette\nelevation\noffaxis\n"
                              "outside\n";
    for (int run = 0; run < 2; ++run) { // the second replaces the files, adds nothing to the lists
        const ProcessResult r = bake({(tree / "m/cube.off").string()});
        ASSERT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_NE(r.out.find("baked cube: 12 triangles, 60 views, 36x18 maps"), std::string::npos);
        // The fixture's attribute list starts with an attribute the baker does not make.
        EXPECT_NE(r.err.find("lists 'front' first"), std::string::npos) << r.err;
        EXPECT_EQ(readFile(data / "Models/modelList.txt") +
                      readFile(data / "Attributes/attributeList.txt"),
                  lists);
    }
    for (const std::string a :
         {"quality", "area", "visibility", "entropy", "silhouette", "elevation", "offaxis"}) {
        // Each attribute spans 0..1 over the map: its image holds both 0 and 255.
        const std::string base = (data / "Attributes/cube/cube_").string() + a;
        const std::string header = "P5\n# orvalis-bake cube " + a + "\n36 18\n255\n";
        const std::string pgm = readFile(base + ".pgm"), raster = pgm.substr(header.size());
        EXPECT_EQ(pgm.substr(0, header.size()), header);
        EXPECT_TRUE(raster.find('\0') != raster.npos && raster.find('\xff') != raster.npos) << a;
        EXPECT_EQ(readFile(base + ".vgf").size(), 15u + 8 * 36 * 18);
    }
    // 100 orbit points, one per azimuth step of 3.6 degrees, the first half a step after -pi.
    const std::string orbit = readFile(data / "Orbits/cube_orbit.txt");
    EXPECT_EQ(std::count(orbit.begin(), orbit.end(), '\n'), 100);
    EXPECT_EQ(orbit.rfind("-3.110177 ", 0), 0u) << orbit;
    // The closed box shows no inside from anywhere; its file holds two guard vertices.
    const std::string outside = readFile(data / "Attributes/cube/cube_outside.pgm");
    EXPECT_EQ(outside.substr(outside.size() - 36 * 18), std::string(36 * 18, '\xff'));
    EXPECT_EQ(readFile(data / "Models/cube.off").rfind("OFF\n10 12 0\n", 0), 0u);
}

TEST_F(BakeCli, ASphereBakedIntoAFreshTreeIsEquallyGoodFromEveryDirection) {
    // No tree above the working folder and none yet at the root: the baker makes one, and says
    // what else the viewer needs there.
    TempDir fresh;
    writeFile(tree / "m/ball.off", bakeutil::offOf(bakeutil::icosphere(1.0, 3)));
    const ProcessResult r =
        bake({"--samples", "200", "--resolution", "128", "--root", fresh.path().string(), "--name",
              "b", (tree / "m/ball.off").string()},
             fresh.path());
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(readFile(fresh / "Data/Models/modelList.txt"), "b\n");
    EXPECT_NE(r.err.find("Data/Models/sphere.obj, which this tree lacks"), std::string::npos);
    EXPECT_NE(r.err.find("instructions.htm, which this tree lacks"), std::string::npos);
    EXPECT_EQ(r.err.find("lists '"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(fresh / "run"));
    EXPECT_NE(r.out.find("start it there: cd " + (fresh / "run").string() + " && orvalis"),
              std::string::npos)
        << r.out;
    // Every measure's map is all 1 and its gradient 0: 15 header bytes, then 8 zero bytes per
    // cell. (Elevation and views off the axes are preferred for any model, and so is quality.)
    for (const std::string a : {"area", "visibility", "entropy", "silhouette"}) {
        const std::string pgm = readFile(fresh / ("Data/Attributes/b/b_" + a + ".pgm"));
        EXPECT_EQ(pgm.substr(pgm.size() - 36 * 18), std::string(36 * 18, '\xff')) << a;
        const std::string vgf = readFile(fresh / ("Data/Attributes/b/b_" + a + ".vgf"));
        EXPECT_EQ(vgf.substr(15), std::string(8 * 36 * 18, '\0')) << a;
    }
}

// Two bakes into one tree at once: the second waits for the first, and both models are listed
// in the model list, kept here as a link to a shared file of mode 600, which it stays.
TEST_F(BakeCli, TwoBakesAtOnceBothLandInAListKeptAsALink) {
    const fs::path list = tree / "Data/Models/modelList.txt", shared = tree / "shared.txt";
    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write;
    fs::rename(list, shared);
    fs::permissions(shared, mode);
    fs::create_symlink("../../shared.txt", list);
    auto start = [&](const char* name) {
        return std::async(std::launch::async, [this, name] {
            return bake({"--name", name, (tree / "m/cube.off").string()});
        });
    };
    auto a = start("one"), b = start("two");
    const ProcessResult ra = a.get(), rb = b.get();
    ASSERT_TRUE(ra.exitStatus == 0 && rb.exitStatus == 0) << ra.err << rb.err;
    const std::string names = readFile(shared);
    EXPECT_TRUE(names.ends_with("one\ntwo\n") || names.ends_with("two\none\n")) << names;
    EXPECT_TRUE(fs::is_symlink(list) && fs::status(shared).permissions() == mode);
    EXPECT_FALSE(fs::exists(tree / "Data/.bake.lock"));
}

// A commit that cannot be completed leaves the tree as it was, byte for byte: a folder in the way
// of the orbit, a map that cannot be replaced, an orbit folder where nothing can be replaced (so
// the mesh and the maps are in place before the orbit fails).
TEST_F(BakeCli, AFailedCommitRestoresTheTree) {
    const std::string cube = (tree / "m/cube.off").string();
    ASSERT_EQ(bake({cube}).exitStatus, 0);
    const fs::path orbit = tree / "Data/Orbits/cube_orbit.txt";
    fs::remove(orbit);
    fs::create_directory(orbit);
    expectRefusal({"--size", "40x20", cube}, 1,
                  "cannot put ../Data/Orbits/cube_orbit.txt in place: something other than a file "
                  "is in the way");
    fs::remove(orbit);
    ASSERT_EQ(bake({cube}).exitStatus, 0);
    const fs::path map = tree / "Data/Attributes/cube/cube_area.pgm";
    if (!setFlag(map, "+i")) GTEST_SKIP() << "no chattr flags on this file system";
    expectRefusal({"--size", "40x20", cube}, 1,
                  "cannot keep a copy of ../Data/Attributes/cube/cube_area.pgm while replacing it: "
                  "Operation not permitted; the tree is as it was");
    setFlag(map, "-i");
    const auto before = treeSnapshot(tree.path());
    ASSERT_TRUE(setFlag(orbit.parent_path(), "+a"));
    const ProcessResult r = bake({"--size", "40x20", cube});
    setFlag(orbit.parent_path(), "-a");
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(r.err.ends_with("orvalis-bake: cannot put ../Data/Orbits/cube_orbit.txt in place: "
                                "Operation not permitted; the tree is as it was\n"))
        << r.err;
    // The append-only folder kept the new orbit and its backup; the next bake removes them.
    const ProcessResult next = bake({"missing.off"});
    EXPECT_NE(next.err.find("removed 2 files left in ../Data by an interrupted bake"),
              std::string::npos)
        << next.err;
    EXPECT_EQ(treeSnapshot(tree.path()), before);
}

// A bake killed at any step of its commit: the next bake undoes it, or (after the journal is
// gone) finds it complete; either way no file of the bake is left behind.
TEST_F(BakeCli, AKillAtEveryStepOfTheCommitIsUndoneOrComplete) {
    const std::string cube = (tree / "m/cube.off").string();
    ASSERT_EQ(bake({cube}).exitStatus, 0);
    const auto before = treeSnapshot(tree.path());
    TempDir copy;
    fs::copy(tree.path(), copy.path(), fs::copy_options::recursive);
    ASSERT_EQ(bake({"--size", "40x20", cube}, copy / "m").exitStatus, 0);
    const auto after = treeSnapshot(copy.path());
    // The files of one bake: the mesh, a map and a gradient per attribute, the orbit, the source
    // stamp and both lists. Steps: the journal, a backup of each file, a rename of each, the
    // journal's removal (the commit), each backup removed.
    const int files = 1 + 2 * static_cast<int>(bakedAttributeNames().size()) + 1 + 1 + 2;
    const int committed = 1 + files + files + 1;
    const int steps = committed + files;
    for (int step = 1; step <= steps; ++step) {
        const ProcessResult killed = bake({"--size", "40x20", cube}, {},
                                          {"ORVALIS_BAKE_STOP_AT_STEP=" + std::to_string(step)});
        ASSERT_EQ(killed.signal, SIGKILL) << step;
        const ProcessResult next = bake({"missing.off"});
        EXPECT_TRUE(next.err.ends_with("missing.off: no such mesh file\n")) << next.err;
        EXPECT_EQ(treeSnapshot(tree.path()), step < committed ? before : after) << "step " << step;
        if (step >= committed) {
            ASSERT_EQ(bake({cube}).exitStatus, 0);
        }
    }
}

TEST_F(BakeCli, ThePictureLooksFromTheBestCellOfTheQualityMap) {
    // A tall post with a small block at its foot on the +x side. The one best cell of a 36 x 18
    // map looks from -y (column 9, theta -pi/2) or from +y (column 27), just above the horizon
    // (row 8): the block shows right of the post from -y and left of it from +y (the viewer
    // centres the pair's box, so the post's greater mass lies on the other side), and the post
    // stands upright.
    const BakeMesh post =
        bakeutil::joined(bakeutil::box(0.5, 0.5, 3), bakeutil::box(0.5, 0.5, 0.5), 2.5, -2.5);
    writeFile(tree / "Data/Models/post.off", bakeutil::offOf(post));
    for (const auto& [column, blockOnTheRight] : {std::pair(9, true), std::pair(27, false)}) {
        std::string pgm = "P5\n36 18\n255\n" + std::string(36 * 18, '\x10');
        pgm[pgm.size() - 36 * 18 + 8 * 36 + column] = '\xff';
        writeFile(tree / "Data/Attributes/post/post_quality.pgm", pgm);
        const std::string png = (tree / "post.png").string();
        const ProcessResult r =
            bake({"--picture-only", "--picture", png, "--picture-size", "64", "post"});
        ASSERT_EQ(r.exitStatus, 0) << r.err;
        const QImage image(QString::fromStdString(png));
        ASSERT_EQ(image.size(), QSize(64, 64));
        int left = 64, right = -1, top = 64, bottom = -1, count = 0;
        double sumX = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                if (image.pixel(x, y) != qRgb(255, 255, 255)) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                    sumX += x + 0.5;
                    ++count;
                }
        EXPECT_EQ(sumX / count < 32, blockOnTheRight) << sumX / count;
        EXPECT_GT(bottom - top, 2 * (right - left) / 3) << column;
        EXPECT_GT(top, 0);
        EXPECT_LT(bottom, 63);
    }
    expectRefusal({"--picture-only", "--picture", "x.png", "nomodel"}, 1,
                  "../Data/Attributes/nomodel/nomodel_quality.pgm: cannot be read");
}
