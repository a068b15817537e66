#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "readfile.h"
#include "readresult.h"

// File names and the one way the process ends on bad input.

// Base name of path: the last component up to its first '.'. Also prints
// "ProgName : %s\n". out must hold the component plus two bytes per '.' in it.
void getProgName(char* out, const char* path);

// Characters after the last '.' of the last path component; empty when there is none.
// out must hold the component.
void getExtension(char* out, const char* path);

// Ends the process with status after flushing the standard streams; no static destructor runs.
// A fatal-input handler installed by a test or fuzz target sees the status first; it may throw to
// unwind back to its caller instead, and every reader keeps its partial results in owning objects
// so nothing leaks when it does.
[[noreturn]] void endProcess(int status);
using EndProcessHandler = void (*)(int status);
// Installs handler (nullptr restores the plain end). Returns the previous one.
EndProcessHandler setEndProcessHandler(EndProcessHandler handler);

// Prints a refused file's line on its stream (see ReadResult).
void printFault(const ReadResult& result);
// Prints it and ends the process with its status: the fate of a file the viewer cannot run
// without.
[[noreturn]] void endOnFault(const ReadResult& result);
// Runs body, which builds mesh data; an allocation that fails in it ends the process as a
// refused file does.
template <class Body> void endOnAllocationFailure(Body&& body) {
    try {
        std::forward<Body>(body)();
    } catch (const MeshAllocError& error) {
        endOnFault(allocationFailure(error));
    }
}

// What a reader's end of the process becomes while a ReaderExitTrap lives.
struct ReaderEnded {
    int status;
};

// While it lives, a reader that would end the process throws ReaderEnded instead, so that a
// program reading a file of the user's (the baker, the viewer's File > Open) can report the file
// and carry on. The previous handler comes back when it goes.
class ReaderExitTrap {
public:
    ReaderExitTrap();
    ~ReaderExitTrap();
    ReaderExitTrap(const ReaderExitTrap&) = delete;
    ReaderExitTrap& operator=(const ReaderExitTrap&) = delete;

private:
    EndProcessHandler previous;
};
