#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Whole-file reading for every reader: regular files only, with a size cap, so that a device, a
// FIFO or a file that keeps growing is never read without end.

// Why a file could not be read.
enum class FileStatus { ok, cannotOpen, notRegular, tooLarge, readError, noMemory };

// The largest file any loader takes in; nothing the system reads has a use for more.
inline constexpr size_t maxInputFileSize = size_t(4) << 30;

// A file opened for reading only when it is a regular file. The open never waits (a FIFO with no
// writer is refused instead of blocking), and size is fixed at open time, so a device posing as
// a file (a link to /dev/zero) or a file that keeps growing is never read without end.
class RegularFile {
public:
    RegularFile() = default;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;
    ~RegularFile();
    // Opens path; files larger than cap bytes are refused with tooLarge.
    FileStatus open(const char* path, size_t cap = maxInputFileSize);
    size_t size() const { return bytes; }
    // Reads up to size() bytes (at most most) into out; returns how many arrived (fewer only on a
    // read error or a file that shrank since it was opened).
    size_t read(char* out, size_t most = SIZE_MAX);

private:
    int fd = -1;
    size_t bytes = 0;
};

// Reads the whole file (a regular file of at most cap bytes) into bytes. On failure bytes is
// empty and the status says why.
FileStatus readFileBytes(const char* path, std::string& bytes, size_t cap = maxInputFileSize);

// Reads a text file to be shown: a malloc'ed, NUL-terminated copy in *text (the caller frees it).
// A file of more than limit bytes is cut after its last line break within the limit (at the limit
// when there is none) and note is put in place of the rest. Never fails with tooLarge.
FileStatus readTextForDisplay(const char* path, size_t limit, const char* note, char** text);

// A short phrase for a failed status ("not a regular file", ...), for messages left open.
const char* fileStatusText(FileStatus status);

// readFileBytes with the answer reduced to success or failure.
bool readWholeFile(const char* path, std::string& bytes);
