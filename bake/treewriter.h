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

// Writes a set of files into a data tree so that a failure leaves the tree as it was: every file
// is first written in full to a temporary file beside its destination, and only when all are
// written are they renamed into place, in the order staged. Folders that staging had to create
// are removed again if the set is abandoned. Nothing is left behind by a destroyed, uncommitted
// set.
class TreeTransaction {
public:
    TreeTransaction() = default;
    ~TreeTransaction();
    TreeTransaction(const TreeTransaction&) = delete;
    TreeTransaction& operator=(const TreeTransaction&) = delete;

    // Throws BakeError naming the file when it cannot be written.
    void stage(const std::filesystem::path& destination, const std::string& bytes);
    // Throws BakeError naming the file when a rename fails; the files renamed before stay.
    void commit();
    void abandon();

private:
    struct Staged {
        std::filesystem::path temporary;
        std::filesystem::path destination;
    };
    std::vector<Staged> staged;
    std::vector<std::filesystem::path> createdFolders; // outermost first
};
