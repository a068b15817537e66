#include "support.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

extern char** environ;

namespace testsupport {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvalis-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary directory");
    root = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + path.string());
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string corpusPath(const std::string& rel) {
    return std::string(ORVALIS_SOURCE_DIR) + "/tests/corpus/" + rel;
}

std::map<std::string, std::string> treeSnapshot(const std::filesystem::path& root) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        out[fs::relative(e.path(), root)] =
            (e.is_regular_file() ? readFile(e.path()) : "/") +
            std::to_string(int(fs::symlink_status(e.path()).permissions()));
    return out;
}

ProcessResult runProcess(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
                         const std::vector<std::string>& extraEnv) {
    std::vector<char*> args, env;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // The extra entries come first, so that they win over inherited ones of the same name.
    for (const auto& e : extraEnv)
        env.push_back(const_cast<char*>(e.c_str()));
    for (char** e = environ; *e; ++e)
        env.push_back(*e);
    env.push_back(nullptr);
    // The streams go to files rather than pipes: nothing to drain while the child runs.
    const TempDir streams;
    const std::filesystem::path out = streams / "out", err = streams / "err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(failed));
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ProcessResult result;
    if (WIFEXITED(status))
        result.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    result.out = readFile(out);
    result.err = readFile(err);
    return result;
}

std::string orvalisBinary() {
    const char* bin = std::getenv("ORVALIS_BIN");
    if (!bin) throw std::runtime_error("ORVALIS_BIN is not set; run the tests through ctest");
    return bin;
}

void copyFixtureTree(const std::filesystem::path& dir) {
    const std::filesystem::path fixture(ORVALIS_FIXTURE_DIR);
    std::filesystem::copy(fixture / "Data", dir / "Data",
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(fixture / "instructions.htm", dir / "instructions.htm",
                               std::filesystem::copy_options::overwrite_existing);
}

} // namespace testsupport
