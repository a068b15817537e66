#include "RenderingSetting.h"
#include "extTrackball.h"
#include "maps_util.h"
#include "support.h"
#include "viewPath.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using mapsutil::ScopedChdir;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace fs = std::filesystem;

namespace {

const char* const saveName = "..\\File\\viewpath.txt";
const fs::path corpusDir = fs::path(ORVALIS_SOURCE_DIR) / "tests" / "corpus" / "orbit";

struct LoadResult {
    int result;
    std::string out, err;
};

LoadResult load(viewPath& p, const std::string& text, const char* name = "orbit.txt") {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    LoadResult r;
    r.result = p.loadViewPathFromBytes(name, text);
    r.out = testing::internal::GetCapturedStdout();
    r.err = testing::internal::GetCapturedStderr();
    return r;
}

std::string turntable(viewPath& p) {
    testing::internal::CaptureStdout();
    p.calculateTurnTablePath();
    return testing::internal::GetCapturedStdout();
}

void expectPoint(const PathPoint& p, float theta, float phi, const std::string& what) {
    EXPECT_EQ(p.theta, theta) << what;
    EXPECT_EQ(p.phi, phi) << what;
}

// Sets the viewing direction of ab_quat, (m[2], m[6], m[10]), and puts the matrix back later.
class QuatGuard {
public:
    QuatGuard() { std::memcpy(saved, ab_quat, sizeof saved); }
    ~QuatGuard() { std::memcpy(ab_quat, saved, sizeof saved); }
    QuatGuard(const QuatGuard&) = delete;
    QuatGuard& operator=(const QuatGuard&) = delete;
    static void look(double x, double y, double z) {
        ab_quat[2] = x;
        ab_quat[6] = y;
        ab_quat[10] = z;
    }

private:
    double saved[16];
};

std::string lineOf(double theta, double phi) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%f %f\n", theta, phi);
    return buffer;
}

} // namespace

TEST(OrbitLoad, MidpointsAfterEveryPointAndAClosingOne) {
    viewPath p;
    const LoadResult r = load(p, "0 1\n1 1\n2 1\n");
    EXPECT_EQ(r.result, 6);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(p.pointCount, 6);
    ASSERT_EQ(p.pathPoints.size(), 6u);
    const float expected[6][2] = {{0, 1}, {0.5f, 1}, {1, 1}, {1.5f, 1}, {2, 1}, {1, 1}};
    for (int k = 0; k < 6; ++k)
        expectPoint(p.pathPoints[k], expected[k][0], expected[k][1], "entry " + std::to_string(k));
}

TEST(OrbitLoad, AnyWhitespaceSeparatesTheNumbers) {
    viewPath a, b;
    ASSERT_EQ(load(a, "0 1\n1 1\n2 1\n").result, 6);
    ASSERT_EQ(load(b, "  0\t1 1\n\n1\r\n2   1").result, 6);
    for (int k = 0; k < 6; ++k)
        expectPoint(b.pathPoints[k], a.pathPoints[k].theta, a.pathPoints[k].phi, "entry");
}

TEST(OrbitLoad, NumbersReadAsFloats) {
    viewPath p;
    ASSERT_EQ(load(p, "0.1 0.7\n-1.25e0 +2.5\n").result, 4);
    expectPoint(p.pathPoints[0], 0.1f, 0.7f, "first");
    expectPoint(p.pathPoints[2], -1.25f, 2.5f, "second");
    // (0.1 + -1.25) * 0.5 in float, worked here in the same order.
    expectPoint(p.pathPoints[1], (0.1f + -1.25f) * 0.5f, (0.7f + 2.5f) * 0.5f, "middle");
    // Too small for a float reads as zero; values outside the angle ranges are used as read.
    ASSERT_EQ(load(p, "1e-50 5\n").result, 2);
    expectPoint(p.pathPoints[0], 0.0f, 5.0f, "tiny");
}

TEST(OrbitLoad, OnePointGivesItTwice) {
    viewPath p;
    ASSERT_EQ(load(p, "0.25 1.5\n").result, 2);
    expectPoint(p.pathPoints[0], 0.25f, 1.5f, "point");
    expectPoint(p.pathPoints[1], 0.25f, 1.5f, "closing midpoint");
}

// Worked by hand: from 3.0 to -2.9 the seam gap is (pi - 2.9) + (pi - 3.0) = 0.3832, half of
// it d = 0.1916; |-2.9| + d < pi, so the midpoint is -2.9 - d = -3.0916, not the mean 0.05.
TEST(OrbitLoad, StepsAcrossTheSeamMeetOnTheFarSide) {
    viewPath p;
    ASSERT_EQ(load(p, "3.0 1\n-2.9 1\n").result, 4);
    const float d = static_cast<float>(((M_PI - 2.9f) + (M_PI - 3.0f)) * 0.5);
    EXPECT_NEAR(d, 0.1916, 1e-4);
    expectPoint(p.pathPoints[1], -2.9f - d, 1.0f, "seam midpoint");
    EXPECT_NEAR(p.pathPoints[1].theta, -3.0916, 1e-4);
    // The closing step from -2.9 back to 3.0 crosses the seam too; 2.9 + d < pi again picks the
    // -2.9 side.
    expectPoint(p.pathPoints[3], -2.9f - d, 1.0f, "closing seam midpoint");
    // The polar angle is the plain mean.
    ASSERT_EQ(load(p, "3.0 0.5\n-3.1 1.5\n").result, 4);
    const float d2 = static_cast<float>(((M_PI - 3.1f) + (M_PI - 3.0f)) * 0.5);
    // |-3.1| + d2 > pi but |3.0| + d2 < pi: the midpoint lies on the 3.0 side.
    expectPoint(p.pathPoints[1], 3.0f + d2, 1.0f, "positive side");
    EXPECT_GT(p.pathPoints[1].theta, 3.0f);
    EXPECT_LT(p.pathPoints[1].theta, static_cast<float>(M_PI));
}

TEST(OrbitLoad, StepsThatDoNotCrossTheSeamUseTheMean) {
    // |a - pa| = 3.1 < pi: no correction even though the points are far apart.
    EXPECT_EQ(viewPath::midpoint({-1.5f, 1}, {1.6f, 2}).theta, (-1.5f + 1.6f) * 0.5f);
    EXPECT_EQ(viewPath::midpoint({-1.5f, 1}, {1.6f, 2}).phi, 1.5f);
}

// Ends equally far from the seam (3.0 and -3.0) meet on the seam itself: pi, not the mean 0,
// which is the opposite side of the sphere.
TEST(OrbitLoad, SymmetricSeamStepMeetsOnTheSeam) {
    const PathPoint m = viewPath::midpoint({3.0f, 1}, {-3.0f, 1});
    EXPECT_NEAR(std::fabs(m.theta), M_PI, 1e-6);
    const PathPoint back = viewPath::midpoint({-3.0f, 1}, {3.0f, 1});
    EXPECT_NEAR(std::fabs(back.theta), M_PI, 1e-6);
    EXPECT_EQ(m.phi, 1.0f);
}

TEST(OrbitLoad, MissingFileKeepsTheTurntable) {
    viewPath p;
    ASSERT_EQ(load(p, "0 1\n1 1\n").result, 4);
    turntable(p);
    const std::vector<PathPoint> table = p.turntablePoints;
    ASSERT_EQ(table.size(), 4u);
    TempDir dir;
    const std::string path = (dir / "absent_orbit.txt").string();
    testing::internal::CaptureStderr();
    EXPECT_EQ(p.loadViewPath(path.c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "loadViewPath(): can't open input file " + path + "\n");
    EXPECT_TRUE(p.pathPoints.empty());
    EXPECT_EQ(p.pointCount, 4);
    ASSERT_EQ(p.turntablePoints.size(), 4u);
    for (int k = 0; k < 4; ++k)
        expectPoint(p.turntablePoints[k], table[k].theta, table[k].phi, "turntable");
    // With no stored points the turntable is not rebuilt.
    turntable(p);
    EXPECT_EQ(p.turntablePoints.size(), 4u);
}

TEST(OrbitLoad, FilesWithoutAPointListAreReportedAndNothingChanges) {
    const std::map<std::string, std::string> expected = {
        {"empty.txt", "holds no point"},
        {"whitespace_only.txt", "holds no point"},
        {"odd_count.txt", "line 2 does not hold two numbers"},
        {"not_a_number.txt", "line 2 does not hold two numbers"},
        {"trailing_word.txt", "line 2 does not hold two numbers"},
        {"nan_value.txt", "line 1 does not hold two numbers"},
        {"infinite_value.txt", "line 2 does not hold two numbers"},
        {"comma_decimal.txt", "line 1 does not hold two numbers"},
        {"nul_byte.txt", "line 2 does not hold two numbers"},
        {"number_too_large.txt", "line 1 does not hold two numbers"},
    };
    size_t seen = 0;
    for (const auto& entry : fs::directory_iterator(corpusDir)) {
        const std::string name = entry.path().filename().string();
        auto it = expected.find(name);
        ASSERT_NE(it, expected.end()) << "no expectation for corpus file " << name;
        ++seen;
        viewPath p;
        ASSERT_EQ(load(p, "1 1\n2 1\n3 1\n").result, 6);
        turntable(p);
        const std::vector<PathPoint> table = p.turntablePoints;
        const std::string path = entry.path().string();
        testing::internal::CaptureStderr();
        EXPECT_EQ(p.loadViewPath(path.c_str()), -1) << name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "loadViewPath(): " + path + ": " + it->second + "\n");
        EXPECT_TRUE(p.pathPoints.empty()) << name;
        EXPECT_EQ(p.pointCount, 6) << name;
        ASSERT_EQ(p.turntablePoints.size(), table.size());
        for (size_t k = 0; k < table.size(); ++k)
            expectPoint(p.turntablePoints[k], table[k].theta, table[k].phi, name);
    }
    EXPECT_EQ(seen, expected.size());
}

TEST(OrbitLoad, FixtureOrbitLoads) {
    viewPath p;
    testing::internal::CaptureStderr();
    EXPECT_EQ(p.loadViewPath("../Data/Orbits/torus_orbit.txt"), 200);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    // The generator's first point: theta = -pi + 2 pi 0.5 / 100, printed with six decimals.
    EXPECT_EQ(p.pathPoints[0].theta, -3.110177f);
}

// ---- turntable

TEST(Turntable, TwentyEqualStepsAtThreeEighthsPi) {
    std::string text;
    for (int k = 0; k < 10; ++k)
        text += std::to_string(0.1 * k - 0.5) + " 1.2\n";
    viewPath p;
    ASSERT_EQ(load(p, text).result, 20);
    const std::string printed = turntable(p);
    ASSERT_EQ(p.turntablePoints.size(), 20u);
    const float step = static_cast<float>(2 * M_PI / 20);
    const float theta0 = -0.5f;
    for (int i = 0; i < 20; ++i) {
        float theta = static_cast<float>(i) * step + theta0;
        if (theta > M_PI) theta = static_cast<float>(theta - 2 * M_PI);
        expectPoint(p.turntablePoints[i], theta, 1.1780972f, "turntable " + std::to_string(i));
    }
    EXPECT_NEAR(p.turntablePoints[1].theta - p.turntablePoints[0].theta, M_PI / 10, 1e-6);
    EXPECT_EQ(printed, "-0.500000 -0.500000\n");
}

TEST(Turntable, AzimuthsBeyondPiWrap) {
    viewPath p;
    ASSERT_EQ(load(p, "3.0 1\n2.0 1\n1.0 1\n0.0 1\n0.5 1\n1 1\n2 1\n3 1\n2 1\n1 1\n").result, 20);
    EXPECT_EQ(turntable(p), "3.000000 3.000000\n");
    ASSERT_EQ(p.turntablePoints.size(), 20u);
    EXPECT_EQ(p.turntablePoints[0].theta, 3.0f);
    // 3.0 + 0.314159 = 3.314159 > pi, wrapped to -2.969026.
    EXPECT_NEAR(p.turntablePoints[1].theta, -2.969026, 1e-6);
    EXPECT_NEAR(p.turntablePoints[10].theta, 3.0 - M_PI, 1e-6);
    for (const PathPoint& q : p.turntablePoints) {
        EXPECT_LE(q.theta, M_PI);
        EXPECT_GT(q.theta, -M_PI);
    }
}

TEST(Turntable, EmptyPathLeavesItAlone) {
    viewPath p;
    EXPECT_EQ(turntable(p), "");
    EXPECT_TRUE(p.turntablePoints.empty());
}

// ---- recorder

class Recorder : public testing::Test {
protected:
    void SetUp() override { chdir = std::make_unique<ScopedChdir>(dir.path()); }
    void TearDown() override {
        RenderingSetting& s = RenderingSetting::_instance;
        if (s.saveViewpath) s.toggleSaveViewpath();
        chdir.reset();
    }
    std::string saved() const { return readFile(dir / saveName); }

    TempDir dir;
    std::unique_ptr<ScopedChdir> chdir;
    QuatGuard quat;
};

TEST_F(Recorder, TheDKeyTogglesRecordingIntoTheNamedFile) {
    RenderingSetting& s = RenderingSetting::_instance;
    ASSERT_FALSE(s.saveViewpath);
    s.toggleSaveViewpath();
    EXPECT_TRUE(s.saveViewpath);
    ASSERT_TRUE(fs::exists(dir / saveName)) << "the name is used exactly as written";
    EXPECT_EQ(saved(), "");
    QuatGuard::look(1, 0, 0);
    s.viewpathRecorder->saveViewPath();
    QuatGuard::look(0, 1, 0);
    s.viewpathRecorder->saveViewPath();
    QuatGuard::look(0, 0, 1);
    s.viewpathRecorder->saveViewPath();
    QuatGuard::look(-1, 0, 0);
    s.viewpathRecorder->saveViewPath();
    QuatGuard::look(0, -2, -2);
    s.viewpathRecorder->saveViewPath();
    s.toggleSaveViewpath();
    EXPECT_FALSE(s.saveViewpath);
    // theta and phi of each direction, worked by hand and printed with six decimals.
    EXPECT_EQ(saved(), "0.000000 1.570796\n"
                       "1.570796 1.570796\n"
                       "0.000000 0.000000\n"
                       "3.141593 1.570796\n"
                       "-1.570796 2.356194\n");
    // A new recording empties the file.
    s.toggleSaveViewpath();
    EXPECT_EQ(saved(), "");
    s.toggleSaveViewpath();
}

TEST_F(Recorder, EveryLineReachesTheFileAtOnce) {
    RenderingSetting& s = RenderingSetting::_instance;
    s.toggleSaveViewpath();
    QuatGuard::look(0.6, 0.8, 0);
    s.viewpathRecorder->saveViewPath();
    // Read while the file is still open: nothing waits in a buffer.
    EXPECT_EQ(saved(),
              lineOf(static_cast<float>(std::atan2(0.8, 0.6)), static_cast<float>(M_PI / 2)));
    s.toggleSaveViewpath();
}

TEST_F(Recorder, AProcessThatEndsAbruptlyLosesNothing) {
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        viewPath recorder;
        recorder.openViewpathFileForSave();
        QuatGuard::look(0, 0, -1);
        recorder.saveViewPath();
        recorder.saveViewPath();
        _exit(0); // no close, no exit handlers, no stdio flush
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(saved(), "0.000000 3.141593\n0.000000 3.141593\n");
}

TEST_F(Recorder, AnUnopenableFileRecordsNothingAndDoesNotFail) {
    fs::create_directory(dir / saveName); // a directory cannot be opened for writing
    RenderingSetting& s = RenderingSetting::_instance;
    testing::internal::CaptureStderr();
    s.toggleSaveViewpath();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(saveName), std::string::npos) << err;
    EXPECT_TRUE(s.saveViewpath);
    EXPECT_EQ(s.viewpathRecorder->saveFile, nullptr);
    s.viewpathRecorder->saveViewPath();
    s.viewpathRecorder->saveViewPath();
    s.toggleSaveViewpath();
    EXPECT_FALSE(s.saveViewpath);
    EXPECT_TRUE(fs::is_directory(dir / saveName));
    EXPECT_TRUE(fs::is_empty(dir / saveName));
}

TEST_F(Recorder, RecordingReadsBackAsAnOrbit) {
    RenderingSetting& s = RenderingSetting::_instance;
    s.toggleSaveViewpath();
    const double directions[4][3] = {{1, 0, 0.2}, {0, 1, 0.1}, {-1, 0.2, 0}, {0.3, -1, -0.4}};
    std::vector<PathPoint> recorded;
    for (const auto& d : directions) {
        QuatGuard::look(d[0], d[1], d[2]);
        s.viewpathRecorder->saveViewPath();
        const double r = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        recorded.push_back({static_cast<float>(std::atan2(d[1] / r, d[0] / r)),
                            static_cast<float>(std::acos(d[2] / r))});
    }
    s.toggleSaveViewpath();
    viewPath orbit;
    testing::internal::CaptureStderr();
    ASSERT_EQ(orbit.loadViewPath(saveName), 8);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    for (size_t k = 0; k < recorded.size(); ++k) {
        // Six decimals survive the text.
        EXPECT_NEAR(orbit.pathPoints[2 * k].theta, recorded[k].theta, 5.1e-7);
        EXPECT_NEAR(orbit.pathPoints[2 * k].phi, recorded[k].phi, 5.1e-7);
    }
    // From theta 2.944 to -1.279 the azimuths differ by more than pi: the midpoint lies half
    // the gap across the seam, 2.944 + 1.030 - 2 pi, not at the mean 0.83.
    const double from = recorded[2].theta, to = recorded[3].theta;
    const double across = from + (2 * M_PI - (from - to)) / 2 - 2 * M_PI;
    EXPECT_NEAR(across, -2.309, 1e-3);
    EXPECT_NEAR(orbit.pathPoints[5].theta, across, 2e-6);
}

TEST_F(Recorder, RecordingIgnoresTheNumericLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string keep = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    RenderingSetting& s = RenderingSetting::_instance;
    s.toggleSaveViewpath();
    QuatGuard::look(0, 1, 0);
    s.viewpathRecorder->saveViewPath();
    s.toggleSaveViewpath();
    std::setlocale(LC_NUMERIC, keep.c_str());
    EXPECT_EQ(saved(), "1.570796 1.570796\n");
}
