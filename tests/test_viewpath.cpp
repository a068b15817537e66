#include "RenderingSetting.h"
#include "extTrackball.h"
#include "maps_util.h"
#include "support.h"
#include "viewPath.h"

#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <map>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using mapsutil::captured;
namespace fs = std::filesystem;

bool operator==(const PathPoint& a, const PathPoint& b) {
    return a.theta == b.theta && a.phi == b.phi;
}
void PrintTo(const PathPoint& p, std::ostream* os) {
    *os << std::setprecision(9) << "(" << p.theta << ", " << p.phi << ")";
}

namespace {

using Points = std::vector<PathPoint>;
const char* const saveName = "..\\File\\viewpath.txt";

int load(viewPath& p, std::string_view text) {
    int result = 0;
    EXPECT_EQ(captured([&] { result = p.loadViewPathFromBytes("orbit.txt", text); }).err, "");
    return result;
}

} // namespace

TEST(OrbitLoad, MidpointAfterEveryPointAndAClosingOne) {
    viewPath p, q;
    EXPECT_EQ(load(p, "0 1\n1 1\n2 1\n"), 6);
    EXPECT_EQ(p.pathPoints, (Points{{0, 1}, {0.5f, 1}, {1, 1}, {1.5f, 1}, {2, 1}, {1, 1}}));
    // Any whitespace separates the numbers.
    EXPECT_EQ(load(q, "  0\t1 1\n\n1\r\n2   1"), 6);
    EXPECT_EQ(q.pathPoints, p.pathPoints);
    EXPECT_EQ(load(q, "0.25 1.5\n"), 2);
    EXPECT_EQ(q.pathPoints, (Points{{0.25f, 1.5f}, {0.25f, 1.5f}}));
    // Read as floats; too small for a float is zero; values outside the angle ranges stay.
    EXPECT_EQ(load(q, "0.1 0.7\n-1.25e0 +2.5\n"), 4);
    const PathPoint m{(0.1f + -1.25f) * 0.5f, (0.7f + 2.5f) * 0.5f};
    EXPECT_EQ(q.pathPoints, (Points{{0.1f, 0.7f}, m, {-1.25f, 2.5f}, m}));
    EXPECT_EQ(load(q, "1e-50 5\n"), 2);
    EXPECT_EQ(q.pathPoints[0], (PathPoint{0, 5}));
}

// Worked by hand: from 3.0 to -2.9 half the gap across the seam is d = ((pi - 2.9) + (pi -
// 3.0)) / 2 = 0.1916 and |-2.9| + d < pi, so the midpoint is -2.9 - d = -3.0916, not the mean
// 0.05; the closing step back crosses the seam too. From 3.0 to -3.1 only 3.0 + d stays below
// pi. -1.5 to 1.6 is 3.1 apart: the mean. Ends equally far from the seam meet on it, not on
// the opposite side of the sphere.
TEST(OrbitLoad, SeamAwareMidpoints) {
    const float d1 = static_cast<float>(((M_PI - 2.9f) + (M_PI - 3.0f)) * 0.5);
    const float d2 = static_cast<float>(((M_PI - 3.1f) + (M_PI - 3.0f)) * 0.5);
    viewPath p;
    ASSERT_EQ(load(p, "3.0 0.5\n-2.9 1.5\n"), 4);
    EXPECT_EQ(p.pathPoints[1], (PathPoint{-2.9f - d1, 1}));
    EXPECT_EQ(p.pathPoints[3], (PathPoint{-2.9f - d1, 1}));
    EXPECT_NEAR(p.pathPoints[1].theta, -3.0916, 1e-4);
    const std::tuple<float, float, float> cases[] = {{3.0f, -3.1f, 3.0f + d2},
                                                     {-1.5f, 1.6f, (-1.5f + 1.6f) * 0.5f},
                                                     {3.0f, -3.0f, static_cast<float>(M_PI)},
                                                     {-3.0f, 3.0f, static_cast<float>(M_PI)}};
    for (const auto& [from, to, theta] : cases)
        EXPECT_EQ(viewPath::midpoint({from, 0.5f}, {to, 1.5f}), (PathPoint{theta, 1})) << from;
}

// Steps of 2 pi / 20 in float from the first azimuth, at phi = 3 pi / 8: from 3.0 the second
// point, 3.314159, passes pi and wraps to -2.969026. A refused file then empties the stored
// path; the count and the turntable stay, and with no stored point the turntable is not
// rebuilt. absent.txt does not exist.
TEST(OrbitLoad, TurntableOfTwentyAndRefusedFilesThatLeaveIt) {
    viewPath p;
    std::string text = "3 1.2\n";
    for (int k = 1; k < 10; ++k)
        text += "0 1\n";
    ASSERT_EQ(load(p, text), 20);
    EXPECT_EQ(captured([&] { p.calculateTurnTablePath(); }).out, "3.000000 3.000000\n");
    ASSERT_EQ(p.turntablePoints.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        float theta = static_cast<float>(i) * static_cast<float>(2 * M_PI / 20) + 3.0f;
        if (theta > M_PI) theta = static_cast<float>(theta - 2 * M_PI);
        EXPECT_EQ(p.turntablePoints[i], (PathPoint{theta, 1.1780972f})) << i;
    }
    EXPECT_NEAR(p.turntablePoints[1].theta, -2.969026, 1e-6);
    const Points table = p.turntablePoints;
    const std::map<std::string, std::string> reasons = {
        {"absent.txt", ""},
        {"empty.txt", "holds no point"},
        {"odd_count.txt", "line 2 does not hold two numbers"},
        {"not_a_number.txt", "line 2 does not hold two numbers"},
        {"nan_value.txt", "line 1 does not hold two numbers"},
        {"infinite_value.txt", "line 2 does not hold two numbers"},
        {"comma_decimal.txt", "line 1 does not hold two numbers"},
        {"nul_byte.txt", "line 2 does not hold two numbers"},
        {"number_too_large.txt", "line 1 does not hold two numbers"}};
    for (const auto& [name, reason] : reasons) {
        const std::string path = testsupport::corpusPath("orbit/" + name);
        int result = 0;
        EXPECT_EQ(captured([&] { result = p.loadViewPath(path.c_str()); }).err,
                  "loadViewPath(): " +
                      (reason.empty() ? "can't open input file " + path : path + ": " + reason) +
                      "\n");
        EXPECT_TRUE(result == -1 && p.pathPoints.empty() && p.pointCount == 20) << path;
        EXPECT_EQ(captured([&] { p.calculateTurnTablePath(); }).out, "");
        EXPECT_EQ(p.turntablePoints, table) << path;
    }
}

class Recorder : public testing::Test {
protected:
    Recorder() : previous(fs::current_path()) { fs::current_path(dir.path()); }
    ~Recorder() override {
        if (settings().saveViewpath) settings().toggleSaveViewpath();
        std::setlocale(LC_NUMERIC, "C");
        fs::current_path(previous);
    }
    static RenderingSetting& settings() { return RenderingSetting::_instance; }
    // Records the viewing direction (m[2], m[6], m[10]) of ab_quat.
    static void record(vec d) {
        ab_quat[2] = d.x;
        ab_quat[6] = d.y;
        ab_quat[10] = d.z;
        settings().viewpathRecorder->saveViewPath();
    }
    std::string saved() const { return testsupport::readFile(dir / saveName); }

    testsupport::TempDir dir;
    fs::path previous;
};

// Recorded under a numeric locale with a decimal comma (compiled for the test where localedef
// can), the file keeps the C format, so it reads back as an orbit.
TEST_F(Recorder, TheDKeyRecordsEachFrameIntoTheFileNamedWithBackslashes) {
    testsupport::runProcess(
        {"/usr/bin/localedef", "-i", "de_DE", "-f", "UTF-8", (dir / "de_DE.UTF-8").string()},
        dir.path());
    setenv("LOCPATH", dir.path().c_str(), 1);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    unsetenv("LOCPATH");
    settings().toggleSaveViewpath();
    ASSERT_TRUE(settings().saveViewpath && fs::exists(dir / saveName));
    record(vec(1, 0, 0));
    EXPECT_EQ(saved(), "0.000000 1.570796\n") << "read while open: nothing waits in a buffer";
    for (const vec& d : {vec(0, 1, 0), vec(0, 0, 1), vec(-1, 0, 0), vec(0, -2, -2)})
        record(d);
    settings().toggleSaveViewpath();
    EXPECT_FALSE(settings().saveViewpath);
    // theta and phi of each direction, worked by hand.
    EXPECT_EQ(saved(), "0.000000 1.570796\n1.570796 1.570796\n0.000000 0.000000\n"
                       "3.141593 1.570796\n-1.570796 2.356194\n");
    // It reads back as an orbit. From pi to -pi/2 the step crosses the seam: the midpoint is
    // -pi/2 - d with d = ((pi - pi/2) + (pi - pi)) / 2, that is -3 pi / 4, not the mean pi / 4.
    viewPath orbit;
    ASSERT_EQ(orbit.loadViewPath(saveName), 10);
    EXPECT_EQ(orbit.pathPoints[8], (PathPoint{-1.570796f, 2.356194f}));
    EXPECT_NEAR(orbit.pathPoints[7].theta, -3 * M_PI / 4, 1e-6);
    settings().toggleSaveViewpath();
    EXPECT_EQ(saved(), "") << "a new recording empties the file";
}

// A write that fails part-way through a line (here the file size limit, as a full disk would)
// takes the part back, stops the recording and says so once; the file then loads as an orbit.
TEST_F(Recorder, AFailedWriteKeepsOnlyWholeLinesAndStopsWithOneLine) {
    const pid_t child = fork();
    if (child == 0) {
        std::freopen("err.txt", "w", stderr);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        settings().toggleSaveViewpath();
        for (int k = 0; k < 20; ++k)
            record(vec(1, 0, 0));
        std::fflush(stderr);
        std::_Exit(settings().saveViewpath ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "recording went on";
    EXPECT_EQ(saved().size(), 90u); // five whole lines of 18 bytes
    EXPECT_EQ(testsupport::readFile(dir / "err.txt"),
              "saveViewPath(): writing ..\\File\\viewpath.txt failed (File too large); recording "
              "stopped\n");
    viewPath orbit;
    EXPECT_EQ(orbit.loadViewPath(saveName), 10);
}

TEST_F(Recorder, AnUnopenableFileRecordsNothingAndDoesNotFail) {
    fs::create_directory(dir / saveName);
    EXPECT_NE(captured([] { settings().toggleSaveViewpath(); }).err.find(saveName),
              std::string::npos);
    EXPECT_TRUE(settings().saveViewpath && settings().viewpathRecorder->saveFile == nullptr);
    record(vec(1, 0, 0));
    settings().toggleSaveViewpath();
    EXPECT_TRUE(fs::is_empty(dir / saveName));
}
