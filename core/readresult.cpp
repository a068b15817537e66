#include "readresult.h"

#include <cstdarg>
#include <cstdio>

ReadResult readFailure(const char* file, long line, int status, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    ReadResult result;
    result.ok = false;
    result.file = file ? file : "";
    result.line = line;
    result.status = status;
    if (length > 0) {
        result.message.resize(static_cast<size_t>(length));
        std::vsnprintf(result.message.data(), result.message.size() + 1, format, again);
    }
    va_end(again);
    return result;
}

ReadResult allocationFailure(const MeshAllocError& error) {
    ReadResult result = readFailure(nullptr, 0, 0, "Memory allocation error for \"%s\" %.3f MB",
                                    error.what, error.megabytes);
    result.toStdout = true;
    return result;
}

void abortRead(ReadResult result) {
    throw ReadAbort{std::move(result)};
}
