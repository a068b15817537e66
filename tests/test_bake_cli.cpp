// The orvalis-bake program as a user runs it: its help, its one-line refusals of bad options and
// bad meshes (leaving the tree as it was), and a small complete bake into a data tree.
#include "bake_util.h"
#include "support.h"
#include "textureManager.h"
#include "treewriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> attributes = {"quality", "area", "visibility", "entropy",
                                             "silhouette"};

// Every file of a tree with its bytes, and every folder.
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        out[fs::relative(e.path(), root).string()] =
            e.is_regular_file() ? readFile(e.path()) : std::string("<folder>");
    return out;
}

int lineCount(const std::string& s) {
    return static_cast<int>(std::count(s.begin(), s.end(), '\n'));
}

class BakeCli : public testing::Test {
protected:
    void SetUp() override {
        copyFixtureTree(tree.path());
        fs::create_directories(tree / "run");
        // A flat box: its views differ clearly in every measure.
        writeFile(tree / "meshes/cube.off", bakeutil::offOf(bakeutil::box(1.0, 0.6, 0.2)));
    }
    ProcessResult bake(std::vector<std::string> args, const fs::path& cwd = {}) {
        args.insert(args.begin(), ORVALIS_BAKE_BIN);
        return runProcess(args, cwd.empty() ? tree / "run" : cwd);
    }
    // A quick bake: few views, small images and maps.
    std::vector<std::string> quick(std::vector<std::string> more) {
        std::vector<std::string> args = {"--quiet", "--samples", "60",   "--resolution",
                                         "48",      "--size",    "36x18"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    void expectRefusal(const std::vector<std::string>& args, int status, const std::string& line) {
        const auto before = snapshot(tree.path());
        const ProcessResult r = bake(args);
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.exitStatus, status) << r.err;
        EXPECT_EQ(r.err, "orvalis-bake: " + line + "\n");
        EXPECT_EQ(snapshot(tree.path()), before);
    }
    TempDir tree;
};

} // namespace

TEST_F(BakeCli, HelpExplainsEveryOption) {
    const ProcessResult r = bake({"--help"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("usage: orvalis-bake [options] MESH...\n", 0), 0u);
    for (const char* option :
         {"--root DIR", "--name NAME", "--up AXIS", "--size WxH", "--samples N", "--resolution N",
          "--gradient-scale S", "--quiet", "--help"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
    for (const std::string& a : attributes)
        EXPECT_NE(r.out.find("  " + a + " "), std::string::npos) << a;
}

TEST_F(BakeCli, BadCommandLinesGetOneLineAndStatusTwo) {
    const std::string see = " (see orvalis-bake --help)";
    expectRefusal({}, 2, "no mesh file given" + see);
    expectRefusal({"--bogus", "a.off"}, 2, "unknown option --bogus" + see);
    expectRefusal({"a.off", "--root"}, 2, "--root needs a value" + see);
    expectRefusal({"--size", "360-180", "a.off"}, 2,
                  "--size needs WIDTHxHEIGHT, as in 360x180, not '360-180'" + see);
    expectRefusal({"--size=3x180", "a.off"}, 2,
                  "--size width must lie between 8 and 4096, not 3" + see);
    expectRefusal({"--samples", "12x", "a.off"}, 2,
                  "--samples needs a whole number, not '12x'" + see);
    expectRefusal({"--resolution", "99999", "a.off"}, 2,
                  "--resolution must lie between 32 and 2048, not 99999" + see);
    expectRefusal({"--up", "w", "a.off"}, 2,
                  "--up needs one of x, y, z, -x, -y, -z, not 'w'" + see);
    expectRefusal({"--gradient-scale", "-1", "a.off"}, 2,
                  "--gradient-scale needs a positive number, not '-1'" + see);
    expectRefusal({"--quiet=yes", "a.off"}, 2, "--quiet takes no value" + see);
    expectRefusal({"--name", "x", "a.off", "b.off"}, 2,
                  "--name names one model, but 2 mesh files are given" + see);
}

TEST_F(BakeCli, BadMeshesGetOneLineAndLeaveTheTreeAlone) {
    const std::string m = (tree / "meshes").string();
    writeFile(tree / "meshes/empty.off", "");
    writeFile(tree / "meshes/shape.stl", "solid x\n");
    writeFile(tree / "meshes/nofaces.off", "OFF\n3 0 0\n0 0 0\n1 0 0\n0 1 0\n");
    writeFile(tree / "meshes/flat.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n2 0 0\n3 0 1 2\n");
    writeFile(tree / "meshes/my model.off", bakeutil::offOf(bakeutil::cube(1.0)));
    writeFile(tree / "meshes/nan.off", "OFF\n3 1 0\n0 0 0\n1 nan 0\n0 1 0\n3 0 1 2\n");
    writeFile(tree / "meshes/inf.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 -inf\n3 0 1 2\n");
    writeFile(tree / "meshes/.off", bakeutil::offOf(bakeutil::cube(1.0)));
    expectRefusal({m + "/none.off"}, 1, m + "/none.off: no such mesh file");
    expectRefusal({m}, 1, m + ": not a regular file");
    expectRefusal({m + "/empty.off"}, 1, m + "/empty.off: the mesh file is empty");
    expectRefusal({m + "/shape.stl"}, 1,
                  m + "/shape.stl: unsupported mesh format 'stl' (orvalis-bake reads .off, .obj, "
                      ".ply and .smf)");
    expectRefusal({m + "/nofaces.off"}, 1, m + "/nofaces.off: the mesh has no triangles");
    expectRefusal({m + "/flat.off"}, 1,
                  m + "/flat.off: the mesh has no area (every triangle is degenerate)");
    // The OFF reader takes "nan" and "inf" for numbers; the baker refuses them.
    expectRefusal({m + "/nan.off"}, 1,
                  m + "/nan.off: vertex 1 has a coordinate that is not a finite number");
    expectRefusal({m + "/inf.off"}, 1,
                  m + "/inf.off: vertex 2 has a coordinate that is not a finite number");
    expectRefusal({m + "/my model.off"}, 1,
                  m + "/my model.off: model name 'my model' may hold only letters, digits, '_', "
                      "'-' and '+' (use --name)");
    expectRefusal({m + "/.off"}, 1, m + "/.off: gives an empty model name (use --name)");
    expectRefusal({m + "/cube.off", m + "/cube.off"}, 1,
                  m + "/cube.off: a second mesh for the model 'cube' (use --name, one mesh at a "
                      "time)");
    expectRefusal({"--root", m + "/nowhere", m + "/cube.off"}, 1,
                  "the data tree root " + m + "/nowhere does not exist");
    // A good mesh before a bad one is not baked either: every mesh is read first.
    expectRefusal({m + "/cube.off", m + "/empty.off"}, 1, m + "/empty.off: the mesh file is empty");
}

TEST_F(BakeCli, AMalformedMeshIsReportedByTheReaderAndNamedAgain) {
    const fs::path bad = tree / "meshes/truncated.off";
    writeFile(bad, "OFF\n4 2 0\n0 0 0\n1 0 0\n");
    const auto before = snapshot(tree.path());
    const ProcessResult r = bake({bad.string()});
    EXPECT_EQ(r.exitStatus, 1);
    const std::string last = "orvalis-bake: " + bad.string() +
                             ": not a readable mesh (see the reader's message above)\n";
    ASSERT_GE(r.err.size(), last.size()) << r.err;
    EXPECT_EQ(r.err.substr(r.err.size() - last.size()), last);
    EXPECT_EQ(snapshot(tree.path()), before);
}

TEST_F(BakeCli, AFailedWriteLeavesTheTreeAsItWas) {
    fs::remove_all(tree / "Data/Orbits");
    writeFile(tree / "Data/Orbits", "not a folder");
    const auto before = snapshot(tree.path());
    const ProcessResult r = bake(quick({(tree / "meshes/cube.off").string()}));
    EXPECT_EQ(r.exitStatus, 1);
    const std::string orbits = (fs::path("..") / "Data/Orbits").string();
    EXPECT_NE(r.err.find("orvalis-bake: cannot write ../Data/Orbits/cube_orbit.txt: " + orbits +
                         " is not a folder\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(snapshot(tree.path()), before);
}

TEST_F(BakeCli, BakesAModelIntoTheTreeAboveTheWorkingFolder) {
    const std::string oldModels = readFile(tree / "Data/Models/modelList.txt");
    const std::string oldAttributes = readFile(tree / "Data/Attributes/attributeList.txt");
    const ProcessResult r = bake(quick({(tree / "meshes/cube.off").string()}));
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.out.find("baked cube: 12 triangles, 60 views, 36x18 maps"), std::string::npos)
        << r.out;
    // The fixture's attribute list starts with an attribute the baker does not make.
    EXPECT_NE(r.err.find("lists 'front' first"), std::string::npos) << r.err;

    const fs::path data = tree / "Data";
    EXPECT_EQ(readFile(data / "Models/modelList.txt"), oldModels + "cube\n");
    std::string added;
    for (const std::string& a : attributes)
        added += a + "\n";
    EXPECT_EQ(readFile(data / "Attributes/attributeList.txt"), oldAttributes + added);

    for (const std::string& a : attributes) {
        const fs::path base = data / "Attributes/cube" / ("cube_" + a);
        const std::string pgm = readFile(base.string() + ".pgm");
        const std::string header = "P5\n# orvalis-bake cube " + a + "\n36 18\n255\n";
        ASSERT_EQ(pgm.substr(0, header.size()), header);
        EXPECT_EQ(pgm.size(), header.size() + 36 * 18);
        EXPECT_EQ(readFile(base.string() + ".vgf").size(), 15u + 8 * 36 * 18);
        // Each attribute spans 0..1 over the map: its image holds both 0 and 255.
        const std::string raster = pgm.substr(header.size());
        EXPECT_NE(raster.find('\0'), std::string::npos) << a;
        EXPECT_NE(raster.find('\xff'), std::string::npos) << a;
    }
    const std::string orbit = readFile(data / "Orbits/cube_orbit.txt");
    EXPECT_EQ(lineCount(orbit), 100);
    // One point per azimuth step of 3.6 degrees, the first half a step after -pi.
    EXPECT_EQ(orbit.rfind("-3.110177 ", 0), 0u) << orbit;

    // The model file is the box as the viewer shows it: extent 1 scaled up to the float size 10.9
    // about its centre (the origin), each coordinate scaled in double from the float read and
    // stored as a float; its first corner (-1, -0.6, -0.2) thus becomes about (-10.9, -6.54,
    // -2.18).
    auto scaled = [](float v) {
        return static_cast<double>(static_cast<float>(double(v) * double(10.9f)));
    };
    char corner[96];
    std::snprintf(corner, sizeof corner, "\n%.9g %.9g %.9g\n", scaled(-1.0f), scaled(-0.6f),
                  scaled(-0.2f));
    const std::string off = readFile(data / "Models/cube.off");
    EXPECT_EQ(off.rfind("OFF\n8 12 0\n", 0), 0u);
    EXPECT_NE(off.find(corner), std::string::npos) << corner << off;

    // A second run replaces the files and adds nothing to the lists.
    const ProcessResult again = bake(quick({(tree / "meshes/cube.off").string()}));
    ASSERT_EQ(again.exitStatus, 0) << again.err;
    EXPECT_EQ(readFile(data / "Models/modelList.txt"), oldModels + "cube\n");
    EXPECT_EQ(readFile(data / "Attributes/attributeList.txt"), oldAttributes + added);
    for (const auto& [name, bytes] : snapshot(tree.path()))
        EXPECT_EQ(name.find(".bake-"), std::string::npos) << name;
}

TEST_F(BakeCli, BakesIntoAFreshTreeFromAnywhere) {
    // No tree above the working folder, and none yet at the root: the baker makes one.
    TempDir elsewhere;
    fs::create_directories(elsewhere / "fresh");
    const ProcessResult r = bake(quick({"--root", (elsewhere / "fresh").string(), "--name", "box1",
                                        (tree / "meshes/cube.off").string()}),
                                 elsewhere.path());
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(readFile(elsewhere / "fresh/Data/Models/modelList.txt"), "box1\n");
    EXPECT_EQ(readFile(elsewhere / "fresh/Data/Attributes/attributeList.txt"),
              "quality\narea\nvisibility\nentropy\nsilhouette\n");
    EXPECT_TRUE(fs::exists(elsewhere / "fresh/Data/Attributes/box1/box1_quality.vgf"));
    // It says what else the viewer needs there.
    EXPECT_NE(r.err.find("Data/Models/sphere.obj, which this tree lacks"), std::string::npos);
    EXPECT_NE(r.err.find("instructions.htm, which this tree lacks"), std::string::npos);
    EXPECT_EQ(r.err.find("lists '"), std::string::npos);
}

TEST_F(BakeCli, ASphereIsEquallyGoodFromEveryDirection) {
    writeFile(tree / "meshes/ball.off", bakeutil::offOf(bakeutil::icosphere(1.0, 3)));
    const ProcessResult r = bake({"--quiet", "--samples", "200", "--resolution", "128", "--size",
                                  "36x18", (tree / "meshes/ball.off").string()});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    for (const std::string& a : attributes) {
        const fs::path base = tree / "Data/Attributes/ball" / ("ball_" + a);
        const std::string pgm = readFile(base.string() + ".pgm");
        EXPECT_EQ(pgm.substr(pgm.size() - 36 * 18), std::string(36 * 18, '\xff')) << a;
        // All gradients zero: 15 header bytes, then 8 zero bytes per cell.
        const std::string vgf = readFile(base.string() + ".vgf");
        EXPECT_EQ(vgf.substr(15), std::string(8 * 36 * 18, '\0')) << a;
    }
}

TEST_F(BakeCli, TheBakedImagesLoadInTheViewersLoaders) {
    const ProcessResult r = bake(quick({(tree / "meshes/cube.off").string()}));
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const fs::path base = tree / "Data/Attributes/cube/cube_quality";
    textureManager& maps = textureManager::_instance;
    maps.LoadPGMImage((base.string() + ".pgm").c_str());
    maps.LoadVGFImageB((base.string() + ".vgf").c_str());
    ASSERT_EQ(maps.mapWidth, 36);
    ASSERT_EQ(maps.mapHeight, 18);
    const std::string pgm = readFile(base.string() + ".pgm");
    const std::string raster = pgm.substr(pgm.size() - 36 * 18);
    for (int k = 0; k < 36 * 18; ++k)
        EXPECT_EQ(maps.mapData[3 * k],
                  static_cast<float>(static_cast<unsigned char>(raster[k])) / 255.0f);
}
