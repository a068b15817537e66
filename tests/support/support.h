#pragma once
#include <filesystem>
#include <map>
#include <string>
#include <vector>

// Helpers shared by the test binaries.

namespace testsupport {

// A fresh directory under the system temp folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return root; }
    std::filesystem::path operator/(const std::string& rel) const { return root / rel; }

private:
    std::filesystem::path root;
};

void writeFile(const std::filesystem::path& path, const std::string& bytes);
std::string readFile(const std::filesystem::path& path);
// A file of the readers' test corpora, by its path below tests/corpus.
std::string corpusPath(const std::string& rel);
// Every file of a tree with its bytes and mode, and every folder, by path below root.
std::map<std::string, std::string> treeSnapshot(const std::filesystem::path& root);

struct ProcessResult {
    int exitStatus = -1; // as the parent sees it (0..255); -1 when killed by a signal
    int signal = 0;      // the signal that ended it, 0 if none
    std::string out;
    std::string err;
};

// Runs argv[0] with the arguments in cwd, standard input closed, and collects both streams.
// Extra environment entries "NAME=value" are added to the current environment.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
                         const std::vector<std::string>& extraEnv = {});

// The orvalis executable under test.
std::string orvalisBinary();

// Copies the fixture data tree (Data/ and instructions.htm) into dir, so that a test can break
// one file of it.
void copyFixtureTree(const std::filesystem::path& dir);

} // namespace testsupport
