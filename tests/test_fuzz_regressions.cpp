// Every seed of the fuzz targets and every input that ever broke one, run through the same
// target bodies in the ordinary build. The bodies check what came out (mesh corners inside the
// vertex array, maps and paths untouched after a refusal, ...) and abort when a check fails.
//
// The bodies are compiled into this test so that it needs no library of its own.
#include "../fuzz/fuzz_targets.cpp"

#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Body = FuzzResult (*)(const uint8_t*, size_t);

struct Target {
    const char* name;
    Body body;
    // Loaders of per-model data report and carry on; model and list readers end the process.
    bool endsProcess;
    // No file of the format fits in this many bytes: a cut there never loads.
    size_t shortestFile;
};

const Target kTargets[] = {
    {"off", fuzzOff, true, 6},      {"smf", fuzzSmf, true, 0},      {"obj", fuzzObj, true, 0},
    {"ply", fuzzPly, true, 6},      {"pgm", fuzzPgm, false, 6},     {"vgf", fuzzVgf, false, 6},
    {"orbit", fuzzOrbit, false, 0}, {"lists", fuzzLists, false, 0},
};

const fs::path kFuzzDir = fs::path(ORVALIS_SOURCE_DIR) / "fuzz";

// The intended outcome of every saved regression input, by "<target>/<file>".
struct Expected {
    FuzzOutcome outcome;
    int status;
};
const std::map<std::string, Expected> kRegressions = {
    // An element type whose name holds a NUL: the mesh is read from the vertex records.
    {"ply/element_name_with_nul.ply", {FuzzOutcome::Loaded, 0}},
    // A group whose name holds a NUL: both passes over the file take the name up to the NUL, so
    // the face lands in group "a" instead of the second pass finding no group at all.
    {"obj/group_name_with_nul.obj", {FuzzOutcome::Loaded, 0}},
    // A polar angle of 3.3e38: finite, but the closing midpoint of the one-point loop, (x + x) / 2
    // in float, overflowed to infinity and reached the trackball. Such values are refused.
    {"orbit/value_whose_midpoint_overflows.txt", {FuzzOutcome::Refused, 0}},
};

std::vector<fs::path> filesIn(const fs::path& dir) {
    std::vector<fs::path> files;
    if (fs::is_directory(dir))
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

FuzzResult run(const Target& target, const std::string& bytes) {
    return target.body(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

const char* outcomeName(FuzzOutcome o) {
    static const char* const names[] = {"loaded", "refused", "ended"};
    return names[static_cast<int>(o)];
}

// A refusal is the answer of the loaders that carry on; an end of the process that of the others.
void expectIntendedKind(const Target& target, FuzzResult r, const std::string& what) {
    if (target.endsProcess) {
        EXPECT_NE(r.outcome, FuzzOutcome::Refused) << what;
    } else {
        EXPECT_NE(r.outcome, FuzzOutcome::Ended) << what;
    }
}

TEST(FuzzSeeds, EveryTargetHasSeeds) {
    for (const Target& t : kTargets)
        EXPECT_GE(filesIn(kFuzzDir / "corpus" / t.name).size(), 3u) << t.name;
}

TEST(FuzzSeeds, EverySeedLoads) {
    for (const Target& t : kTargets)
        for (const fs::path& seed : filesIn(kFuzzDir / "corpus" / t.name)) {
            const FuzzResult r = run(t, testsupport::readFile(seed));
            EXPECT_EQ(r.outcome, FuzzOutcome::Loaded)
                << seed << " was " << outcomeName(r.outcome) << " (status " << r.status << ")";
        }
}

// Every prefix of every seed: the readers meet a file cut at each byte, and a cut shorter than
// any file of its format never passes for one.
TEST(FuzzSeeds, TruncatedSeedsGetTheIntendedResponse) {
    for (const Target& t : kTargets)
        for (const fs::path& seed : filesIn(kFuzzDir / "corpus" / t.name)) {
            const std::string bytes = testsupport::readFile(seed);
            for (size_t n = 0; n < bytes.size(); ++n) {
                const FuzzResult r = run(t, bytes.substr(0, n));
                expectIntendedKind(t, r, seed.string() + " cut to " + std::to_string(n));
                if (n < t.shortestFile) {
                    EXPECT_NE(r.outcome, FuzzOutcome::Loaded) << seed << " cut to " << n;
                }
                if (r.outcome == FuzzOutcome::Ended) {
                    EXPECT_EQ(r.status, -1) << seed << " cut to " << n;
                }
            }
        }
}

TEST(FuzzRegressions, EverySavedInputHasItsIntendedOutcome) {
    int seen = 0;
    for (const Target& t : kTargets)
        for (const fs::path& input : filesIn(kFuzzDir / "regressions" / t.name)) {
            const std::string key = std::string(t.name) + "/" + input.filename().string();
            const auto expected = kRegressions.find(key);
            ASSERT_NE(expected, kRegressions.end()) << key << " has no expected outcome here";
            const FuzzResult r = run(t, testsupport::readFile(input));
            EXPECT_EQ(r.outcome, expected->second.outcome)
                << key << " was " << outcomeName(r.outcome);
            EXPECT_EQ(r.status, expected->second.status) << key;
            ++seen;
        }
    EXPECT_EQ(seen, static_cast<int>(kRegressions.size())) << "a listed regression file is missing";
}

// The fault corpora of the readers' own tests, through the bodies' checks.
TEST(FuzzRegressions, ReaderTestCorporaGetTheIntendedResponse) {
    const std::vector<std::pair<const char*, const char*>> corpora = {
        {"ply", "ply"}, {"pgm", "pgm"}, {"vgf", "vgf"}, {"orbit", "orbit"}};
    for (const auto& [target, dir] : corpora) {
        const Target& t =
            *std::find_if(std::begin(kTargets), std::end(kTargets),
                          [&](const Target& x) { return x.name == std::string(target); });
        // The corpora belong to the readers' tests, which may thin them out.
        const auto files = filesIn(fs::path(ORVALIS_SOURCE_DIR) / "tests" / "corpus" / dir);
        for (const fs::path& file : files) {
            const FuzzResult r = run(t, testsupport::readFile(file));
            expectIntendedKind(t, r, file.string());
        }
    }
}

// A request the allocator refuses ends the process with status 0, which the bodies report.
TEST(FuzzBodies, AllocationFailureIsReportedAsAnEndWithStatusZero) {
    const std::string cube = testsupport::readFile(kFuzzDir / "corpus" / "off" / "cube.off");
    const size_t previous = setMeshAllocLimit(64);
    const FuzzResult r = run(kTargets[0], cube);
    setMeshAllocLimit(previous);
    EXPECT_EQ(r.outcome, FuzzOutcome::Ended);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(run(kTargets[0], cube).outcome, FuzzOutcome::Loaded);
}

} // namespace
