// Every seed of the fuzz targets and every input that ever broke one, run through the same
// target bodies in the ordinary build. The bodies check what came out (mesh corners inside the
// vertex array, maps and paths untouched after a refusal, ...) and abort when a check fails.
//
// The bodies are compiled into this test so that it needs no library of its own.
#include "../fuzz/fuzz_targets.cpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
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
};

const Target kTargets[] = {
    {"off", fuzzOff, true},      {"smf", fuzzSmf, true},      {"obj", fuzzObj, true},
    {"ply", fuzzPly, true},      {"pgm", fuzzPgm, false},     {"vgf", fuzzVgf, false},
    {"orbit", fuzzOrbit, false}, {"lists", fuzzLists, false},
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

std::string readBytes(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

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
    switch (o) {
    case FuzzOutcome::Loaded:
        return "loaded";
    case FuzzOutcome::Refused:
        return "refused";
    case FuzzOutcome::Ended:
        return "ended";
    }
    return "?";
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
            const FuzzResult r = run(t, readBytes(seed));
            EXPECT_EQ(r.outcome, FuzzOutcome::Loaded)
                << seed << " was " << outcomeName(r.outcome) << " (status " << r.status << ")";
        }
}

// Every prefix of every seed: the readers meet a file cut at each byte.
TEST(FuzzSeeds, TruncatedSeedsGetTheIntendedResponse) {
    for (const Target& t : kTargets)
        for (const fs::path& seed : filesIn(kFuzzDir / "corpus" / t.name)) {
            const std::string bytes = readBytes(seed);
            for (size_t n = 0; n < bytes.size(); ++n) {
                const FuzzResult r = run(t, bytes.substr(0, n));
                expectIntendedKind(t, r, seed.string() + " cut to " + std::to_string(n));
                if (r.outcome == FuzzOutcome::Ended) {
                    EXPECT_EQ(r.status, -1) << seed << " cut to " << n;
                }
            }
        }
}

// Cutting the header of a model file or a map always loses something the reader needs.
TEST(FuzzSeeds, CutHeadersAreNotLoaded) {
    const std::vector<std::pair<const char*, const char*>> seeds = {
        {"off", "cube.off"},
        {"ply", "tetra_binary_little_endian.ply"},
        {"pgm", "map_4x2.pgm"},
        {"vgf", "map_4x2.vgf"}};
    for (const auto& [name, file] : seeds) {
        const Target& t =
            *std::find_if(std::begin(kTargets), std::end(kTargets),
                          [&](const Target& x) { return x.name == std::string(name); });
        const std::string bytes = readBytes(kFuzzDir / "corpus" / name / file);
        for (size_t n = 0; n < 6; ++n)
            EXPECT_NE(run(t, bytes.substr(0, n)).outcome, FuzzOutcome::Loaded) << file << " " << n;
    }
}

TEST(FuzzRegressions, EverySavedInputHasItsIntendedOutcome) {
    int seen = 0;
    for (const Target& t : kTargets)
        for (const fs::path& input : filesIn(kFuzzDir / "regressions" / t.name)) {
            const std::string key = std::string(t.name) + "/" + input.filename().string();
            const auto expected = kRegressions.find(key);
            ASSERT_NE(expected, kRegressions.end()) << key << " has no expected outcome here";
            const FuzzResult r = run(t, readBytes(input));
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
            const FuzzResult r = run(t, readBytes(file));
            expectIntendedKind(t, r, file.string());
        }
    }
}

// A request the allocator refuses ends the process with status 0, which the bodies report.
TEST(FuzzBodies, AllocationFailureIsReportedAsAnEndWithStatusZero) {
    const std::string cube = readBytes(kFuzzDir / "corpus" / "off" / "cube.off");
    const size_t previous = setMeshAllocLimit(64);
    const FuzzResult r = run(kTargets[0], cube);
    setMeshAllocLimit(previous);
    EXPECT_EQ(r.outcome, FuzzOutcome::Ended);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(run(kTargets[0], cube).outcome, FuzzOutcome::Loaded);
}

// Hand-made inputs whose outcome is plain from the format alone.
TEST(FuzzBodies, OutcomesOfHandMadeInputs) {
    const auto runText = [](Body body, const std::string& s) {
        return body(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    };
    EXPECT_EQ(runText(fuzzOff, "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 5\n").outcome,
              FuzzOutcome::Ended);
    EXPECT_EQ(runText(fuzzOff, "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n").outcome,
              FuzzOutcome::Loaded);
    EXPECT_EQ(runText(fuzzSmf, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n").outcome, FuzzOutcome::Ended);
    EXPECT_EQ(runText(fuzzObj, "v 0 0 0\nv 1 0 0\nf 1 2 3\n").outcome, FuzzOutcome::Ended);
    EXPECT_EQ(runText(fuzzObj, "v 0 0 0\nv 1 0 0\nv 0 1 0\nmtllib m.mtl\nusemtl a\nf 1 2 3\n" +
                                   std::string(objMtlSeparator) + "newmtl a\nKd 1 0 0\n")
                  .outcome,
              FuzzOutcome::Loaded);
    EXPECT_EQ(runText(fuzzPly, "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n"
                               "end_header\n")
                  .outcome,
              FuzzOutcome::Ended);
    EXPECT_EQ(runText(fuzzPgm, "P5\n2 2\n255\nabc").outcome, FuzzOutcome::Refused);
    EXPECT_EQ(runText(fuzzPgm, "P5\n2 2\n255\nabcd").outcome, FuzzOutcome::Loaded);
    // A 1 x 1 gradient needs 15 + 8 bytes; the map is sized from its header.
    std::string vgf = "VGF 1 1";
    vgf.resize(15, ' ');
    EXPECT_EQ(runText(fuzzVgf, vgf + std::string(7, '\0')).outcome, FuzzOutcome::Refused);
    EXPECT_EQ(runText(fuzzVgf, vgf + std::string(8, '\0')).outcome, FuzzOutcome::Loaded);
    EXPECT_EQ(runText(fuzzVgf, "VGF").outcome, FuzzOutcome::Refused);
    EXPECT_EQ(runText(fuzzOrbit, "1 2 3").outcome, FuzzOutcome::Refused);
    EXPECT_EQ(runText(fuzzOrbit, "").outcome, FuzzOutcome::Refused);
    EXPECT_EQ(runText(fuzzOrbit, "1 2 3 4").outcome, FuzzOutcome::Loaded);
    EXPECT_EQ(runText(fuzzLists, "a b " + std::string(50, 'x') + " c").outcome,
              FuzzOutcome::Refused);
    EXPECT_EQ(runText(fuzzLists, "a b " + std::string(49, 'x') + " c").outcome,
              FuzzOutcome::Loaded);
}

} // namespace
