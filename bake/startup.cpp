#include "startup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Plain arrays: they need no constructor, so they hold their values before any static object of
// the program is built.
int startFolder = -1;
char scratch[4096];

bool joined(char* out, const char* tail) {
    return std::snprintf(out, sizeof scratch, "%s%s", scratch, tail) < int(sizeof scratch);
}

bool makeFolder(const char* tail) {
    char path[sizeof scratch];
    return joined(path, tail) && mkdir(path, 0700) == 0;
}

bool writeStub(const char* tail) {
    char path[sizeof scratch];
    if (!joined(path, tail)) return false;
    std::FILE* f = std::fopen(path, "w");
    if (!f) return false;
    const bool ok = std::fputs("none\n", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

void removeScratch() {
    if (scratch[0]) {
        std::error_code ignored;
        std::filesystem::remove_all(scratch, ignored);
        scratch[0] = '\0';
    }
}

// Runs before the default-priority static constructors of every object file linked in.
__attribute__((constructor(101))) void enterScratchTree() {
    startFolder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (startFolder < 0) return;
    const char* tmp = std::getenv("TMPDIR");
    const int n = std::snprintf(scratch, sizeof scratch, "%s/orvalis-bake-start-XXXXXX",
                                tmp && *tmp ? tmp : "/tmp");
    if (n <= 0 || n >= int(sizeof scratch) || !mkdtemp(scratch)) {
        scratch[0] = '\0';
        return;
    }
    char run[sizeof scratch];
    const bool ready = makeFolder("/Data") && makeFolder("/Data/Models") &&
                       makeFolder("/Data/Attributes") && makeFolder("/run") &&
                       writeStub("/Data/Models/modelList.txt") &&
                       writeStub("/Data/Attributes/attributeList.txt") && joined(run, "/run");
    if (!ready || chdir(run) != 0) removeScratch();
}

} // namespace

bool leaveScratchTree() {
    bool ok = true;
    if (startFolder >= 0) {
        if (fchdir(startFolder) != 0) {
            std::fprintf(stderr,
                         "orvalis-bake: cannot return to the folder it was started in: %s\n",
                         std::strerror(errno));
            ok = false;
        }
        close(startFolder);
        startFolder = -1;
    }
    removeScratch();
    return ok;
}
