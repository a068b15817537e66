#pragma once
#include "geom.h"
#include "viewPath.h"

#include <utility>
#include <vector>

// Draws the lit model, the textured view sphere, the flat goodness map, the markers and the
// path and trail overlays. Every call runs inside the view's paint handler with its context
// current.
//
// Besides the sphere radius the renderer keeps vertex buffers of the meshes the view loaded, so
// that a frame submits each mesh with a handful of calls instead of one call per corner. A mesh
// gets a buffer only after meshLoaded() names it; any other mesh is drawn corner by corner, with
// the same result.
//
// Orbit and turntable paths may be as long as a whole recording (a million points). Their
// vertices are worked out once per path and drawn from memory, and a point closer than
// pathThinning (model units; a fifth of a pixel or less at any square size the view takes) to the
// last one kept is left out, so a frame costs about as much as the square can show.
class geometryRenderer {
public:
    explicit geometryRenderer(float radius) : sphereRadius(radius) {}

    // The viewer's four lights, with lighting on. The model-view matrix is reset to the identity,
    // so the positions are in eye coordinates; the baker's pictures use the same lights.
    static void setupLights();
    ~geometryRenderer();
    geometryRenderer(const geometryRenderer&) = delete;
    geometryRenderer& operator=(const geometryRenderer&) = delete;

    void drawScene(const Smesh& model);
    void drawSmesh(const Smesh& mesh);
    void drawSphere(const Smesh& sphere);
    void drawSphereGeometry(const Smesh& sphere);
    void drawTexture();
    void drawCenterIndicator();

    void drawPathOnSphere();
    void drawTurnpathOnSphere();
    void drawPathOnQuad();
    void drawTurnpathOnQuad();
    void drawTexturePositionIndicator();
    void drawThrowPathonSphere();
    void drawStdThrowPathonSphere();
    void drawThrowPathonTexture();
    void drawStdThrowPathonTexture();

    // mesh has just been (re)loaded: buffers built for its earlier contents are dropped, and the
    // next draw builds new ones. Needs the context current.
    void meshLoaded(const Smesh& mesh);
    // Deletes every buffer (needs the context current) / forgets them (their context is gone).
    void releaseBuffers();
    void forgetBuffers();
    // Buffers currently held, for tests.
    int bufferCount() const;

    // Texture coordinate s of a sphere corner, repaired against the first corner s0 of its
    // triangle so that a triangle across the azimuth seam does not sweep the whole map.
    static float seamRepaired(float s0, float s);
    // Height at which the segment (u1, v1)-(u2, v2), taken to cross the left/right seam of a
    // flat map of half side S, meets the edges.
    static float seamCrossingHeight(float u1, float v1, float u2, float v2, float S);

    float sphereRadius;
    // Off: every mesh is drawn corner by corner (for comparisons).
    bool useBuffers = true;

private:
    enum Kind { Lit = 0, Textured = 1 };
    // A mesh named by meshLoaded and the buffers built for it. The lit model is drawn from one
    // vertex per mesh vertex and an index per corner, or from one vertex per corner when its
    // triangles share vertices too rarely for indices to pay; the sphere always needs a vertex
    // per corner, since the seam repair gives one mesh vertex different texture coordinates in
    // different triangles.
    struct LoadedMesh {
        const Smesh* mesh = nullptr;
        const Svertex* verts = nullptr;
        const Striangle* tris = nullptr;
        int nverts = 0;
        int ntris = 0;
        unsigned int buffer[2] = {0, 0}; // GL buffer names per Kind, 0 until built
        unsigned int indices = 0;        // corner indices of buffer[Lit], 0 when not indexed
        bool failed[2] = {false, false}; // no buffer could be made: draw corner by corner
        int mapWidth = 0; // map size the texture coordinates of buffer[Textured] were made for
        int mapHeight = 0;
        bool matches(const Smesh& m) const {
            return mesh == &m && verts == m.verts && tris == m.tris && nverts == m.nverts &&
                   ntris == m.ntris;
        }
    };
    static constexpr int maxLoaded = 4;
    LoadedMesh loaded[maxLoaded];
    int nextLoaded = 0;

    // The entry of mesh with its buffer of kind built if needed; null when the mesh must be
    // drawn corner by corner.
    LoadedMesh* buffersFor(const Smesh& mesh, Kind kind);
    bool buildLit(LoadedMesh& entry, const Smesh& mesh);
    bool buildTextured(LoadedMesh& entry, const Smesh& mesh);
    void dropBuffers(LoadedMesh& entry);

    // The line strips of one path overlay, with the path and the radius or half side they were
    // made for.
    struct PathStrips {
        std::vector<PathPoint> source;
        float scale = 0;
        std::vector<float> xyz;                  // 3 per vertex
        std::vector<std::pair<int, int>> strips; // first vertex, vertex count
        bool hasSkipped = false;                 // the latest point was left out
        float skipped[3] = {0, 0, 0};
        void clear();
        void begin();
        // Adds a vertex to the current strip; unless kept, one too close to the last is left out.
        void add(float x, float y, float z, bool kept = false);
        void end();
    };
    static constexpr float pathThinning = 0.005f;
    PathStrips pathCache[2][2]; // [on the flat map][turntable]

    // The strips of the path, made again only when the path or the scale changed.
    static bool current(PathStrips& cache, const std::vector<PathPoint>& points, float scale);
    static void drawStrips(const PathStrips& strips);
    void drawPathOnSphere(bool turntable);
    void drawPathOnQuad(bool turntable);
    void drawTrailOnSphere(bool real);
    void drawTrailOnTexture(bool real);
};
