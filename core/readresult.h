#pragma once
#include <cstddef>
#include <string>
#include <utility>

// What a reader makes of input it refuses: the one line naming the file and the first problem,
// and the exit status of a viewer that cannot run without the file. The readers return it
// instead of printing it, so the viewer, its File > Open, the baker and the tests each decide
// what follows (end the process, keep the previous data, report and go on).
struct ReadResult {
    bool ok = true;
    std::string file;      // as the caller named it
    long line = 0;         // 1-based line to blame; 0 when no one line is
    std::string message;   // the whole line as the viewer prints it, without the line feed
    int status = 0;        // the viewer's exit status for it
    bool toStdout = false; // the out-of-memory line goes to standard output, the rest to stderr
    explicit operator bool() const { return ok; }
};

// A refused file with a message built like printf's.
ReadResult readFailure(const char* file, long line, int status, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// A mesh array that could not be allocated (or whose size overflows): what it was for and the
// megabytes asked for. Thrown by meshAlloc.
struct MeshAllocError {
    const char* what;
    double megabytes;
};
// "Memory allocation error for \"<what>\" <MB> MB" on standard output, status 0.
ReadResult allocationFailure(const MeshAllocError& error);

// Inside the core, a reader's step that meets the first problem throws this to the reader's entry
// point, which returns the result; the public readers never let it out.
struct ReadAbort {
    ReadResult result;
};
[[noreturn]] void abortRead(ReadResult result);

// Runs a reader's body and turns the first problem into its result.
template <class Body> ReadResult guardedRead(Body&& body) {
    try {
        std::forward<Body>(body)();
        return {};
    } catch (ReadAbort& abort) {
        return std::move(abort.result);
    } catch (const MeshAllocError& error) {
        return allocationFailure(error);
    }
}
