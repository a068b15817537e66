#include "readfile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RegularFile::~RegularFile() {
    if (fd >= 0) close(fd);
}

FileStatus RegularFile::open(const char* path, size_t cap) {
    if (fd >= 0) close(fd);
    fd = -1;
    bytes = 0;
    // O_NONBLOCK: opening a FIFO that has no writer would otherwise wait for one forever.
    const int f = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (f < 0) return FileStatus::cannotOpen;
    struct stat st;
    if (fstat(f, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(f);
        return FileStatus::notRegular;
    }
    if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > cap) {
        close(f);
        return FileStatus::tooLarge;
    }
    // Reads of a regular file never return EAGAIN, but leave the descriptor as a plain one.
    const int flags = fcntl(f, F_GETFL);
    if (flags >= 0) fcntl(f, F_SETFL, flags & ~O_NONBLOCK);
    fd = f;
    bytes = static_cast<size_t>(st.st_size);
    return FileStatus::ok;
}

size_t RegularFile::read(char* out, size_t most) {
    const size_t wanted = bytes < most ? bytes : most;
    size_t got = 0;
    while (fd >= 0 && got < wanted) {
        const ssize_t n = ::read(fd, out + got, wanted - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    return got;
}

FileStatus readFileBytes(const char* path, std::string& bytes, size_t cap) {
    bytes.clear();
    RegularFile file;
    const FileStatus status = file.open(path, cap);
    if (status != FileStatus::ok) return status;
    bytes.resize(file.size());
    if (file.read(bytes.data()) != bytes.size()) {
        bytes.clear();
        return FileStatus::readError;
    }
    return FileStatus::ok;
}

FileStatus readTextForDisplay(const char* path, size_t limit, const char* note, char** text) {
    *text = nullptr;
    RegularFile file;
    const FileStatus status = file.open(path);
    if (status != FileStatus::ok) return status;
    const bool cut = file.size() > limit;
    const size_t size = cut ? limit : file.size();
    const size_t noteSize = cut ? std::strlen(note) : 0;
    char* buffer = static_cast<char*>(std::malloc(size + noteSize + 1));
    if (!buffer) return FileStatus::noMemory;
    if (file.read(buffer, size) != size) {
        std::free(buffer);
        return FileStatus::readError;
    }
    size_t kept = size;
    if (cut) {
        // Ending at a line break splits no tag and no multi-byte character.
        while (kept > 0 && buffer[kept - 1] != '\n')
            --kept;
        if (kept == 0) kept = size;
        std::memcpy(buffer + kept, note, noteSize);
        kept += noteSize;
    }
    buffer[kept] = '\0';
    *text = buffer;
    return FileStatus::ok;
}

const char* fileStatusText(FileStatus status) {
    switch (status) {
    case FileStatus::ok:
        return "read";
    case FileStatus::cannotOpen:
        return "cannot be opened";
    case FileStatus::notRegular:
        return "not a regular file";
    case FileStatus::tooLarge:
        return "too large to read";
    case FileStatus::readError:
        return "read error";
    case FileStatus::noMemory:
        return "out of memory";
    }
    return "unreadable";
}

bool readWholeFile(const char* path, std::string& bytes) {
    return readFileBytes(path, bytes) == FileStatus::ok;
}
