#include "file.h"

#include <cstdio>
#include <cstdlib>

static bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

void getProgName(char* out, const char* path) {
    int k = 0;
    for (const char* p = path; *p; ++p) {
        if (isSeparator(*p)) {
            // The character after a separator starts the name and is taken unexamined.
            if (p[1] == '\0') {
                k = 0;
                break;
            }
            out[0] = p[1];
            k = 1;
            ++p;
        } else if (*p == '.') {
            out[k] = '\0';
            out[k + 1] = '.';
            k += 2;
        } else {
            out[k++] = *p;
        }
    }
    out[k] = '\0';
    std::printf("ProgName : %s\n", out);
}

void getExtension(char* out, const char* path) {
    int k = -1;
    for (const char* p = path; *p; ++p) {
        if (isSeparator(*p)) {
            k = -1;
            if (p[1] == '\0') break;
            ++p;
        } else if (*p == '.') {
            if (p[1] == '\0') {
                k = 0;
                break;
            }
            out[0] = p[1];
            k = 1;
            ++p;
        } else if (k >= 0) {
            out[k++] = *p;
        }
    }
    out[k >= 0 ? k : 0] = '\0';
}

bool readWholeFile(const char* path, std::string& bytes) {
    bytes.clear();
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    char chunk[1 << 16];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.append(chunk, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    if (!ok) bytes.clear();
    return ok;
}

static EndProcessHandler endHandler = nullptr;

EndProcessHandler setEndProcessHandler(EndProcessHandler handler) {
    EndProcessHandler previous = endHandler;
    endHandler = handler;
    return previous;
}

void endProcess(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
    if (endHandler) endHandler(status);
    // The process may end from deep inside the GUI (a model read in a paint handler, the
    // instruction text in the window's constructor) while Qt and the GL context are alive. Static
    // destructors would then tear down singletons around a live toolkit, so nothing runs after
    // the streams are flushed.
    std::_Exit(status);
}
