#pragma once
#include <filesystem>
#include <string>
#include <vector>

// Binary PGM goodness image: "P5", a comment, width and height, maxval 255, then one byte per
// cell, row-major from the +z pole, each round(goodness * 255) with goodness clamped to 0..1.
std::string pgmBytes(const std::vector<double>& goodness, int width, int height,
                     const std::string& comment);

// VGF gradient image: a text header of exactly 15 bytes ("VGF", width and height, padded with
// spaces, ending in a newline), then per cell gx and gy as little-endian 32-bit floats.
// Throws BakeError when width and height are too long to fit the header.
std::string vgfBytes(const std::vector<float>& gx, const std::vector<float>& gy, int width,
                     int height);

// The names of a list file (white-space separated), in file order.
std::vector<std::string> listNames(const std::string& bytes);

// The list file with every name of add that it lacks appended, one per line, in order; the
// bytes already there are kept as they are.
std::string extendedList(const std::string& bytes, const std::vector<std::string>& add);

// Makes the folder run/ of a new tree, where the viewer is started, and says how to start it.
void makeStartFolder(const std::filesystem::path& root);

// Holds a data tree's bake lock (the file Data/.bake.lock, made if missing) for its lifetime, so
// that one bake at a time reads and rewrites the tree's lists. When another bake holds it, a line
// on standard error says so and the constructor waits. Once the lock is held, whatever a killed
// bake left is put right: an unfinished commit (its journal, Data/.bake-journal) is undone, then
// every hidden temporary or backup file of a bake (".NAME.bake-PID-N", ".NAME.bake-PID-N.old")
// under Data/ is removed; each of the two gets a line when it finds anything. A Data folder made
// only for the lock is removed again with the lock when nothing else was put in it.
class TreeLock {
public:
    explicit TreeLock(const std::filesystem::path& root);
    ~TreeLock();
    TreeLock(const TreeLock&) = delete;
    TreeLock& operator=(const TreeLock&) = delete;

private:
    std::filesystem::path data;
    std::filesystem::path lockPath;
    int fd = -1;
    bool madeData = false;
};

// Writes a set of files into a data tree so that a failure or a kill leaves the tree as it was.
// Every file is first written in full to a temporary file beside its destination, with the mode
// of the file it replaces; a destination that is a symbolic link is written through to its
// target. The commit then writes a journal into the tree's Data folder, keeps each file it will
// replace as a hard-linked backup, and renames the new files into place in the order staged. A
// failed rename puts every replaced file back and removes the new ones; a killed commit is undone
// from its journal by the next TreeLock. Removing the journal is the moment of commit. Folders
// that staging had to create are removed again if the set is abandoned. Nothing is left behind by
// a destroyed, uncommitted set.
//
// Test aid: with the environment variable ORVALIS_BAKE_STOP_AT_STEP=N the process kills itself
// (SIGKILL) at the N-th step of a commit (1: journal written; then each backup, each rename, the
// journal's removal, each backup's removal), so tests can interrupt it at every point.
class TreeTransaction {
public:
    // data: the Data folder of the tree the files go into (it holds the journal).
    explicit TreeTransaction(std::filesystem::path data);
    ~TreeTransaction();
    TreeTransaction(const TreeTransaction&) = delete;
    TreeTransaction& operator=(const TreeTransaction&) = delete;

    // Throws BakeError naming the file when it cannot be written.
    void stage(const std::filesystem::path& destination, const std::string& bytes);
    // Throws BakeError naming the file when it cannot be put in place; the tree is then as it was.
    void commit();
    void abandon();

private:
    struct Staged {
        std::filesystem::path temporary;
        std::filesystem::path destination;
        std::filesystem::path backup; // empty when there is no file to replace
    };
    void writeJournal() const;
    void keepBackups();
    void putInPlace();
    void undo(size_t renamed);
    std::filesystem::path data;
    std::vector<Staged> staged;
    std::vector<std::filesystem::path> createdFolders; // outermost first
};
