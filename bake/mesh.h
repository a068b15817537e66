#pragma once
#include <string>
#include <vector>

// A triangle mesh as the baker renders and measures it: flat float positions and corner indices.
struct BakeMesh {
    std::vector<float> pos; // x, y, z per vertex
    std::vector<int> tris; // three vertex indices per triangle, counter-clockwise seen from outside

    int vertexCount() const { return static_cast<int>(pos.size() / 3); }
    int triangleCount() const { return static_cast<int>(tris.size() / 3); }
    // Largest half side of the axis-aligned bounding box (0 for an empty mesh).
    float extent() const;
};

// The half size of the largest model that the viewer's camera shows whole; OFF models smaller
// than this are scaled up to it when the viewer loads them.
constexpr float viewerModelSize = 10.9f;

// Reads a mesh file with the viewer's own readers (extension dispatch and normalisation of
// Geometry::readModel). Throws BakeError with one line naming the file when it cannot be read,
// has an unsupported extension, has no triangle, has no area or holds non-finite coordinates.
BakeMesh readMeshFile(const std::string& path);

// Reads OFF text through the viewer's OFF reader, exactly as the viewer will load the written
// model file, normalisation included. label names the model in messages.
BakeMesh readOffText(const std::string& text, const std::string& label);

// The OFF file of a mesh; positions are printed so that they read back to the same floats.
std::string offText(const BakeMesh& mesh);

// The radius of the largest sphere about the origin that the viewer's camera (30 units away, a
// 50 degree field) shows whole from every direction, 30 sin 25 = 12.68, less a margin of 6% so
// that the model never touches the edges of the picture.
constexpr float viewerFitRadius = 11.9f;

// Moves the mesh's bounding box centre to the origin and scales it so that its farthest vertex
// lies viewerFitRadius from there: whole in the view from every direction. The viewer scales up
// any OFF model whose box is smaller than viewerModelSize, so when the fitted box is smaller two
// guard vertices that no triangle uses are added at (0, 0, +-11): they hold the box open and the
// viewer shows the model at the fitted size.
void fitIntoView(BakeMesh& mesh);

// The viewer shows a model with its +z axis up on the screen. A mesh made with another axis up
// is turned rigidly (a proper rotation, so faces keep their outward side) so that up becomes +z.
// up is one of "x", "y", "z", "-x", "-y", "-z"; "z" leaves the mesh as it is.
bool isUpAxis(const std::string& up);
void turnUpToZ(BakeMesh& mesh, const std::string& up);

// The model name of a mesh file: its last path component up to the first '.'.
std::string modelNameOf(const std::string& path);

// Checks a model name for the list files and paths of the data tree: 1 to 49 characters, letters,
// digits, '_', '-' and '+' only. Throws BakeError otherwise.
void checkModelName(const std::string& name, const std::string& source);
