#pragma once
#include <string>
#include <string_view>

// What a model's maps were made from, kept beside them so that opening the same file again finds
// the maps already made instead of baking them a second time. The baker writes the stamp with
// the maps (in the same all-or-nothing set of files); the viewer reads it before deciding to bake.

// Raised whenever the baker's maps change for the same input (measures, spreading, gradients,
// orbit), so that maps of an older baker are made again.
constexpr int bakerRevision = 1;

// XXH3 128-bit hash of the bytes, as 32 lower-case hexadecimal digits.
std::string contentHash(std::string_view bytes);

struct MeshStamp {
    std::string hash; // contentHash of the mesh file's bytes
    int revision = 0; // bakerRevision of the baker that made the maps
    std::string up;   // the up axis the mesh was baked with ("x", "-y", ...)

    bool operator==(const MeshStamp&) const = default;
};

// The stamp file's text: three "key value" lines.
std::string stampText(const MeshStamp& stamp);

// Parses stampText; false (stamp untouched) for anything else.
bool parseStamp(std::string_view text, MeshStamp& stamp);

// The stamp's path relative to the data root: Data/Attributes/<model>/<model>.source
std::string stampPath(const std::string& model);
