// Start-up failures of the real program: each missing or broken list or instruction file gives
// its one line and exit status before any window is used.
#include "support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
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

bool haveDisplay() {
    return std::getenv("DISPLAY") != nullptr;
}

} // namespace

TEST_F(Startup, MissingAttributeListEndsWithItsFullPath) {
    fs::remove(tree / "Data/Attributes/attributeList.txt");
    ProcessResult r = run();
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_EQ(r.err, "cannot open the file (../Data/Attributes/attributeList.txt) that specify the "
                     "list of attributes\n");
}

TEST_F(Startup, MissingModelListEndsWithItsName) {
    fs::remove(tree / "Data/Models/modelList.txt");
    ProcessResult r = run();
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_EQ(r.err, "cannot open the file (modelList.txt) that specify the list of models\n");
}

TEST_F(Startup, BothListsMissingReportsTheAttributeListFirst) {
    fs::remove(tree / "Data/Models/modelList.txt");
    fs::remove(tree / "Data/Attributes/attributeList.txt");
    ProcessResult r = run();
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_EQ(r.err, "cannot open the file (../Data/Attributes/attributeList.txt) that specify the "
                     "list of attributes\n");
}

TEST_F(Startup, EmptyListsLeaveNoSelectionAndEndTheProcess) {
    for (const char* content : {"", "\n\n  \t\n"}) {
        writeFile(tree / "Data/Models/modelList.txt", content);
        ProcessResult r = run();
        EXPECT_EQ(r.exitStatus, 255);
        EXPECT_NE(r.err.find("../Data/Models/modelList.txt"), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    writeFile(tree / "Data/Models/modelList.txt", "torus\n");
    writeFile(tree / "Data/Attributes/attributeList.txt", "");
    ProcessResult r = run();
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_NE(r.err.find("../Data/Attributes/attributeList.txt"), std::string::npos) << r.err;
}

TEST_F(Startup, NameLongerThanItsBufferIsRejectedWithItsPosition) {
    const std::string fortyNine(49, 'a');
    const std::string fifty(50, 'b');
    writeFile(tree / "Data/Attributes/attributeList.txt",
              "front " + fortyNine + "\n" + fifty + "\n");
    ProcessResult r = run();
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_EQ(r.err, "entry 3 of the list (../Data/Attributes/attributeList.txt) is longer than 49 "
                     "characters\n");
}

TEST_F(Startup, MissingInstructionTextSaysFileErrorWithoutNewline) {
    if (!haveDisplay()) GTEST_SKIP() << "needs an X display (the test command provides Xvfb)";
    fs::remove(tree / "instructions.htm");
    ProcessResult r = run();
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitStatus, 1);
    ASSERT_GE(r.err.size(), 10u);
    EXPECT_EQ(r.err.substr(r.err.size() - 10), "File error") << r.err;
}

TEST_F(Startup, MissingModelFileEndsTheViewerWhenItFirstDraws) {
    if (!haveDisplay()) GTEST_SKIP() << "needs an X display (the test command provides Xvfb)";
    fs::remove(tree / "Data/Models/torus.off");
    ProcessResult r = run();
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_NE(r.err.find("read_model(): can't open input file ../Data/Models/torus.off\n"),
              std::string::npos)
        << r.err;
}

TEST_F(Startup, MalformedModelFileEndsTheViewerWithOneLine) {
    if (!haveDisplay()) GTEST_SKIP() << "needs an X display (the test command provides Xvfb)";
    writeFile(tree / "Data/Models/torus.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 7\n");
    ProcessResult r = run();
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_NE(r.err.find("../Data/Models/torus.off"), std::string::npos) << r.err;
}

// A list or instruction file that is a FIFO without a writer, a link to a device or a folder
// ends the process as a missing one does, instead of waiting or reading without end.
TEST_F(Startup, SpecialFilesInPlaceOfTheListsAndInstructionsAreRefused) {
    const std::pair<const char*, std::string> files[] = {
        {"Data/Attributes/attributeList.txt",
         "cannot open the file (../Data/Attributes/attributeList.txt) that specify the list of "
         "attributes\n"},
        {"Data/Models/modelList.txt",
         "cannot open the file (modelList.txt) that specify the list of models\n"},
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
