#pragma once
#include <string>

// File names, whole-file reading and the one way the process ends on bad input.

// Base name of path: the last component up to its first '.'. Also prints
// "ProgName : %s\n". out must hold the component plus two bytes per '.' in it.
void getProgName(char* out, const char* path);

// Characters after the last '.' of the last path component; empty when there is none.
// out must hold the component.
void getExtension(char* out, const char* path);

// Reads the whole file into bytes. Returns false when it cannot be opened or read;
// bytes is then empty.
bool readWholeFile(const char* path, std::string& bytes);

// Ends the process with status after flushing the standard streams; no static destructor runs.
// A fatal-input handler installed by a test or fuzz target sees the status first; it may throw to
// unwind back to its caller instead, and every reader keeps its partial results in owning objects
// so nothing leaks when it does.
[[noreturn]] void endProcess(int status);
using EndProcessHandler = void (*)(int status);
// Installs handler (nullptr restores the plain end). Returns the previous one.
EndProcessHandler setEndProcessHandler(EndProcessHandler handler);
