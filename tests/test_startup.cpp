// Start-up failures of the real program: each missing or broken list or instruction file gives
// its one line and exit status before any window is used.
#include "support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#include <sys/stat.h>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

class Startup : public testing::Test {
protected:
    void SetUp() override {
        copyFixtureTree(tree.path());
        fs::create_directories(tree / "run");
    }
    ProcessResult run() { return runProcess({orvalisBinary()}, tree / "run"); }
    TempDir tree;
};

const std::string attributes = "cannot open the file (../Data/Attributes/attributeList.txt) that "
                               "specify the list of attributes\n",
                  noModels =
                      "cannot open the file (modelList.txt) that specify the list of models\n";

bool haveDisplay() {
    return std::getenv("DISPLAY") != nullptr;
}

} // namespace

// Each case breaks files of a fresh tree (nullptr: removed) and gives the status and the line,
// whole, its end, or a part of it (of a single line).
TEST_F(Startup, EachMissingOrBrokenFileEndsWithItsOneLineAndStatus) {
    const std::string models = "../Data/Models/modelList.txt", torus = "../Data/Models/torus.off";
    const std::string tooLong = "front " + std::string(49, 'a') + "\n" + std::string(50, 'b');
    const char *attrList = "Data/Attributes/attributeList.txt",
               *modelList = "Data/Models/modelList.txt";
    enum Match { Whole, Ends, Within, OneLineWithin };
    struct Case {
        std::vector<std::pair<const char*, const char*>> files;
        bool needsDisplay;
        int status;
        Match match;
        std::string err;
    };
    const std::string long49 = "entry 3 of the list (../Data/Attributes/attributeList.txt) is "
                               "longer than 49 characters\n";
    const char *noTorus = "Data/Models/torus.off",
               *badFace = "OFF 3 1 0 0 0 0 1 0 0 0 1 0 3 0 1 7\n";
    const Case cases[] = {
        {{{attrList, nullptr}}, false, 255, Whole, attributes},
        {{{modelList, nullptr}}, false, 255, Whole, noModels},
        {{{modelList, nullptr}, {attrList, nullptr}}, false, 255, Whole, attributes},
        {{{modelList, ""}}, false, 255, OneLineWithin, models},
        {{{modelList, "\n\n  \t\n"}}, false, 255, OneLineWithin, models},
        {{{attrList, ""}}, false, 255, Within, "../Data/Attributes/attributeList.txt"},
        {{{attrList, tooLong.c_str()}}, false, 255, Whole, long49},
        {{{"instructions.htm", nullptr}}, true, 1, Ends, "File error"},
        // The model is read when the viewer first draws.
        {{{noTorus, nullptr}},
         true,
         255,
         Within,
         "read_model(): can't open input file " + torus + "\n"},
        {{{noTorus, badFace}}, true, 255, Within, torus},
    };
    for (const Case& c : cases) {
        if (c.needsDisplay && !haveDisplay()) continue;
        TempDir t;
        copyFixtureTree(t.path());
        fs::create_directories(t / "run");
        for (const auto& [file, bytes] : c.files)
            bytes ? writeFile(t / file, bytes) : (void)fs::remove(t / file);
        const ProcessResult r = runProcess({orvalisBinary()}, t / "run");
        SCOPED_TRACE(std::string(c.files[0].first) + (c.files[0].second ? " broken" : " missing"));
        EXPECT_TRUE(r.signal == 0 && r.exitStatus == c.status) << r.signal << " " << r.exitStatus;
        EXPECT_TRUE(c.match == Whole  ? r.err == c.err
                    : c.match == Ends ? r.err.ends_with(c.err)
                                      : r.err.find(c.err) != std::string::npos)
            << r.err;
        EXPECT_TRUE(c.match != OneLineWithin || std::count(r.err.begin(), r.err.end(), '\n') == 1)
            << r.err;
    }
}

// A list or instruction file that is a FIFO without a writer, a link to a device or a folder
// ends the process as a missing one does, instead of waiting or reading without end.
TEST_F(Startup, SpecialFilesInPlaceOfTheListsAndInstructionsAreRefused) {
    const std::pair<const char*, std::string> files[] = {
        {"Data/Attributes/attributeList.txt", attributes},
        {"Data/Models/modelList.txt", noModels},
        {"instructions.htm", "File error"}};
    for (const auto& [file, message] : files)
        for (int kind = 0; kind < 3 && (message != "File error" || haveDisplay()); ++kind) {
            fs::remove(tree / file);
            kind == 0   ? (void)mkfifo((tree / file).c_str(), 0600)
            : kind == 1 ? fs::create_symlink("/dev/zero", tree / file)
                        : (void)fs::create_directory(tree / file);
            const ProcessResult r = run();
            EXPECT_EQ(r.exitStatus, message == "File error" ? 1 : 255) << file << " " << kind;
            EXPECT_TRUE(r.err.ends_with(message)) << r.err;
            fs::remove(tree / file);
            fs::copy_file(std::string(ORVALIS_FIXTURE_DIR) + "/" + file, tree / file);
        }
}
