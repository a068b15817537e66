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

static EndProcessHandler endHandler = nullptr;

EndProcessHandler setEndProcessHandler(EndProcessHandler handler) {
    EndProcessHandler previous = endHandler;
    endHandler = handler;
    return previous;
}

static void throwReaderEnded(int status) {
    throw ReaderEnded{status};
}

ReaderExitTrap::ReaderExitTrap() : previous(setEndProcessHandler(throwReaderEnded)) {}

ReaderExitTrap::~ReaderExitTrap() {
    setEndProcessHandler(previous);
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

void printFault(const ReadResult& result) {
    std::FILE* stream = result.toStdout ? stdout : stderr;
    std::fprintf(stream, "%s\n", result.message.c_str());
}

void endOnFault(const ReadResult& result) {
    printFault(result);
    endProcess(result.status);
}
