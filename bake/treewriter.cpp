#include "treewriter.h"

#include "bakeerror.h"
#include "mapimage.h"
#include "readfile.h"
#include "textscan.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <regex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

std::string pgmBytes(const std::vector<double>& goodness, int width, int height,
                     const std::string& comment) {
    return pgmImageBytes(width, height, goodness, comment);
}

std::string vgfBytes(const std::vector<float>& gx, const std::vector<float>& gy, int width,
                     int height) {
    std::string bytes = vgfImageBytes(width, height, gx, gy);
    if (bytes.empty())
        throw BakeError("a " + std::to_string(width) + "x" + std::to_string(height) +
                        " map does not fit the 15-byte gradient image header");
    return bytes;
}

std::vector<std::string> listNames(const std::string& bytes) {
    std::vector<std::string> names;
    WordScanner words(bytes);
    std::string_view word;
    while (words.next(word))
        names.emplace_back(word);
    return names;
}

std::string extendedList(const std::string& bytes, const std::vector<std::string>& add) {
    std::vector<std::string> names = listNames(bytes);
    std::string out = bytes;
    for (const std::string& name : add) {
        if (std::find(names.begin(), names.end(), name) != names.end()) continue;
        if (!out.empty() && !isTextSpace(out.back())) out += '\n';
        out += name + "\n";
        names.push_back(name);
    }
    return out;
}

namespace {

constexpr char journalName[] = ".bake-journal";

std::string errorText() {
    return std::strerror(errno);
}

// ".NAME.bake-PID-N" or the same with ".old": what a bake writes beside a destination.
bool isBakeLeftover(const std::string& name) {
    static const std::regex pattern(R"(\..+\.bake-[0-9]+-[0-9]+(\.old)?)");
    return std::regex_match(name, pattern);
}

void syncFolder(const fs::path& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

bool isPresent(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

void removeQuietly(const fs::path& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
}

// The commit steps a test asks to be interrupted at (see the header).
void checkpoint() {
    static const char* const stop = std::getenv("ORVALIS_BAKE_STOP_AT_STEP");
    static long step = 0;
    if (stop && std::atol(stop) == ++step) raise(SIGKILL);
}

// Undoes the commit recorded in the journal of data (see TreeTransaction::writeJournal).
// Returns false when there is no journal.
bool undoJournal(const fs::path& data) {
    const fs::path journal = data / journalName;
    if (!isPresent(journal)) return false;
    std::string bytes;
    const FileStatus status = readFileBytes(journal.c_str(), bytes);
    if (status != FileStatus::ok)
        throw BakeError("cannot read the journal " + journal.string() +
                        " of an interrupted bake (" + fileStatusText(status) + ")");
    std::vector<std::string> fields;
    for (size_t k = 0, end; k < bytes.size(); k = end + 1) {
        end = bytes.find('\0', k);
        if (end == std::string::npos) end = bytes.size();
        fields.push_back(bytes.substr(k, end - k));
    }
    std::vector<fs::path> folders;
    struct Entry {
        fs::path temporary, backup, destination;
    };
    std::vector<Entry> entries;
    for (size_t k = 0; k < fields.size();) {
        if (fields[k] == "F" && k + 3 < fields.size()) {
            entries.push_back({data / fields[k + 1],
                               fields[k + 2].empty() ? fs::path() : data / fields[k + 2],
                               data / fields[k + 3]});
            k += 4;
        } else if (fields[k] == "D" && k + 1 < fields.size()) {
            folders.push_back(data / fields[k + 1]);
            k += 2;
        } else {
            throw BakeError("the journal " + journal.string() +
                            " of an interrupted bake is damaged; remove it by hand after checking "
                            "the files it names");
        }
    }
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        std::error_code ec;
        if (!it->backup.empty() && isPresent(it->backup))
            fs::rename(it->backup, it->destination, ec);
        else if (it->backup.empty() && !isPresent(it->temporary))
            fs::remove(it->destination, ec);
        if (ec)
            throw BakeError("cannot restore " + it->destination.string() +
                            " after an interrupted bake: " + ec.message());
        // A backup never replaced its file is a second link to it, which rename leaves alone.
        if (!it->backup.empty()) removeQuietly(it->backup);
        removeQuietly(it->temporary);
    }
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        removeQuietly(*it);
    std::error_code ec;
    fs::remove(journal, ec);
    if (ec) throw BakeError("cannot remove " + journal.string() + ": " + ec.message());
    syncFolder(data);
    return true;
}

int removeLeftovers(const fs::path& data) {
    int removed = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(data, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        if (!it->is_directory(ec) && isBakeLeftover(it->path().filename().string())) {
            std::error_code gone;
            if (fs::remove(it->path(), gone)) ++removed;
        }
    }
    return removed;
}

} // namespace

TreeLock::TreeLock(const fs::path& root) : data(root / "Data"), lockPath(data / ".bake.lock") {
    bool told = false;
    for (;;) {
        // A bake that made Data only for its lock removes it again as it lets go.
        std::error_code ec;
        if (!isPresent(data)) {
            madeData = fs::create_directory(data, ec);
            if (ec)
                throw BakeError("cannot create the folder " + data.string() + ": " + ec.message());
        }
        fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            throw BakeError("cannot make the lock file " + lockPath.string() + ": " + errorText());
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (!told)
                std::fprintf(stderr,
                             "orvalis-bake: another bake is writing into %s; waiting for it to "
                             "finish\n",
                             root.c_str());
            told = true;
            while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
        // The previous holder removes the file as it lets go; a lock on that removed file guards
        // nothing, so take the one now at the path.
        struct stat held, current;
        if (fstat(fd, &held) == 0 && stat(lockPath.c_str(), &current) == 0 &&
            held.st_ino == current.st_ino && held.st_dev == current.st_dev)
            break;
        close(fd);
    }
    try {
        if (undoJournal(data))
            std::fprintf(stderr,
                         "orvalis-bake: undid the unfinished commit of an interrupted "
                         "bake in %s\n",
                         data.c_str());
        if (const int n = removeLeftovers(data))
            std::fprintf(stderr,
                         "orvalis-bake: removed %d file%s left in %s by an interrupted bake\n", n,
                         n == 1 ? "" : "s", data.c_str());
    } catch (...) {
        unlink(lockPath.c_str());
        close(fd);
        throw;
    }
}

TreeLock::~TreeLock() {
    unlink(lockPath.c_str());
    close(fd);
    if (madeData) rmdir(data.c_str());
}

TreeTransaction::TreeTransaction(fs::path dataFolder) : data(std::move(dataFolder)) {}

TreeTransaction::~TreeTransaction() {
    abandon();
}

void TreeTransaction::stage(const fs::path& requested, const std::string& bytes) {
    std::error_code ec;
    // A list kept as a link to a shared file is rewritten where the link points.
    const bool link = fs::is_symlink(fs::symlink_status(requested, ec));
    ec.clear();
    const fs::path destination = link ? fs::weakly_canonical(requested, ec) : requested;
    if (ec) throw BakeError("cannot follow the link " + requested.string() + ": " + ec.message());
    const fs::path folder = destination.parent_path();
    std::vector<fs::path> missing;
    for (fs::path p = folder; !p.empty(); p = p.parent_path()) {
        if (fs::exists(p, ec)) break;
        missing.push_back(p);
        if (p == p.parent_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!fs::create_directory(*it, ec) || ec)
            throw BakeError("cannot create the folder " + it->string() + ": " +
                            (ec ? ec.message() : std::string("it exists already")));
        createdFolders.push_back(*it);
    }
    if (!fs::is_directory(folder.empty() ? fs::path(".") : folder, ec))
        throw BakeError("cannot write " + destination.string() + ": " + folder.string() +
                        " is not a folder");

    static unsigned serial = 0;
    const fs::path temporary = folder / ("." + destination.filename().string() + ".bake-" +
                                         std::to_string(getpid()) + "-" + std::to_string(++serial));
    std::FILE* f = std::fopen(temporary.c_str(), "wb");
    if (!f) throw BakeError("cannot write " + destination.string() + ": " + errorText());
    staged.push_back({temporary, destination, {}});
    struct stat previous;
    const bool modeKept = stat(destination.c_str(), &previous) != 0 || !S_ISREG(previous.st_mode) ||
                          fchmod(fileno(f), previous.st_mode & 07777) == 0;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool flushed = std::fflush(f) == 0 && fsync(fileno(f)) == 0;
    const int closeStatus = std::fclose(f);
    if (!modeKept || !written || !flushed || closeStatus != 0)
        throw BakeError("cannot write " + destination.string() + ": " + errorText());
}

// The journal lists, NUL-separated and relative to the Data folder, every staged file ("F",
// temporary, backup or empty, destination) and every folder staging made ("D", folder): all the
// next bake needs to undo this commit if the process dies before the journal is removed.
void TreeTransaction::writeJournal() const {
    const fs::path base = fs::absolute(data);
    auto relative = [&](const fs::path& p) {
        return p.empty() ? std::string() : fs::absolute(p).lexically_relative(base).string();
    };
    std::string bytes;
    for (const Staged& s : staged)
        for (const std::string& field :
             {std::string("F"), relative(s.temporary), relative(s.backup), relative(s.destination)})
            bytes += field + '\0';
    for (const fs::path& folder : createdFolders)
        bytes += "D" + std::string(1, '\0') + relative(folder) + '\0';
    const fs::path temporary =
        data / (std::string(journalName) + ".bake-" + std::to_string(getpid()) + "-0");
    std::FILE* f = std::fopen(temporary.c_str(), "wb");
    bool ok = f != nullptr;
    ok = ok && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = ok && std::fflush(f) == 0 && fsync(fileno(f)) == 0;
    if (f && std::fclose(f) != 0) ok = false;
    if (ok && std::rename(temporary.c_str(), (data / journalName).c_str()) == 0) {
        syncFolder(data);
        return;
    }
    const std::string why = errorText();
    removeQuietly(temporary);
    throw BakeError("cannot write the journal " + (data / journalName).string() + ": " + why);
}

void TreeTransaction::keepBackups() {
    for (Staged& s : staged) {
        if (!isPresent(s.destination)) continue;
        s.backup = s.temporary.string() + ".old";
    }
    writeJournal();
    checkpoint();
    for (const Staged& s : staged) {
        if (s.backup.empty()) continue;
        if (link(s.destination.c_str(), s.backup.c_str()) != 0) {
            const std::string message = "cannot keep a copy of " + s.destination.string() +
                                        " while replacing it: " + errorText() +
                                        "; the tree is as it was";
            undo(0);
            throw BakeError(message);
        }
        checkpoint();
    }
}

void TreeTransaction::putInPlace() {
    for (size_t k = 0; k < staged.size(); ++k) {
        if (std::rename(staged[k].temporary.c_str(), staged[k].destination.c_str()) != 0) {
            const std::string message = "cannot put " + staged[k].destination.string() +
                                        " in place: " + errorText() + "; the tree is as it was";
            undo(k);
            throw BakeError(message);
        }
        checkpoint();
    }
}

void TreeTransaction::commit() {
    for (const Staged& s : staged) {
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(s.destination, ec);
        if (fs::exists(status) && !fs::is_regular_file(status))
            throw BakeError("cannot put " + s.destination.string() +
                            " in place: something other than a file is in the way");
    }
    keepBackups();
    putInPlace();
    std::error_code ec;
    fs::remove(data / journalName, ec);
    if (ec) {
        undo(staged.size());
        throw BakeError("cannot finish the commit: " + ec.message() + "; the tree is as it was");
    }
    syncFolder(data);
    checkpoint();
    for (const Staged& s : staged) {
        if (s.backup.empty()) continue;
        removeQuietly(s.backup);
        checkpoint();
    }
    staged.clear();
    createdFolders.clear();
}

// Puts back the files the first renamed entries replaced, removes the new ones and everything
// staged, and drops the journal; created folders go with abandon().
void TreeTransaction::undo(size_t renamed) {
    for (size_t k = renamed; k-- > 0;) {
        const Staged& s = staged[k];
        if (!s.backup.empty())
            std::rename(s.backup.c_str(), s.destination.c_str());
        else
            removeQuietly(s.destination);
    }
    for (const Staged& s : staged) {
        removeQuietly(s.temporary);
        if (!s.backup.empty()) removeQuietly(s.backup);
    }
    staged.clear();
    removeQuietly(data / journalName);
    syncFolder(data);
}

void TreeTransaction::abandon() {
    for (const Staged& s : staged) {
        removeQuietly(s.temporary);
        if (!s.backup.empty()) removeQuietly(s.backup);
    }
    staged.clear();
    for (auto it = createdFolders.rbegin(); it != createdFolders.rend(); ++it)
        removeQuietly(*it);
    createdFolders.clear();
}

void makeStartFolder(const fs::path& root) {
    const fs::path run = root / "run";
    std::error_code ec;
    if (fs::exists(run, ec)) return;
    if (!fs::create_directory(run, ec) || ec) {
        std::fprintf(stderr,
                     "orvalis-bake: note: cannot make %s (%s); the viewer starts one "
                     "level below the tree\n",
                     run.c_str(), ec.message().c_str());
        return;
    }
    std::printf("orvalis-bake: made %s; the viewer reads the tree from the folder above the one "
                "it starts in, so start it there: cd %s && orvalis\n",
                run.c_str(), run.c_str());
}
