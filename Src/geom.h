#pragma once
#include <cstddef>

// Triangle meshes as plain records with free functions. Records point into the owning mesh's
// arrays, which are allocated once at their final size and never moved while those pointers
// live. Counts are 32-bit signed; coordinates are floats.

struct Sedge;
struct Striangle;

struct Svertex {
    float pos[3];
    float normal[3]; // unit vertex normal, (0, 0, 0) where undefined
    int index;       // own position in the mesh's verts
    Sedge** edges;   // owned: incident edges, in creation order
    int nedges;
    Striangle** tris; // owned: incident triangles, ascending triangle order
    int ntris;
    float area; // a third of every incident triangle's area
};

struct Striangle {
    Svertex* verts[3]; // corners in file order; the order fixes the normal's direction
    float normal[3];
    unsigned char color[3];
    float area;
    int index; // own position in the mesh's tris
};

struct Sedge {
    Svertex* verts[2];   // the first has the lower position in the vertex array
    Striangle* tris[2];  // the second is null on a boundary edge
};

struct Smesh {
    char* name; // owned; base name of the file read
    Svertex* verts;
    int nverts;
    Striangle* tris;
    int ntris;
    Sedge* edges;
    int nedges;
    float center[3];
    float extent; // largest half side of the bounding box
};

void resetSmesh(Smesh* mesh);
void resetSvertex(Svertex* v);
void freeVertNeighbors(Smesh* mesh);
void freeSmesh(Smesh* mesh);
void computeVertNeighbors(Smesh* mesh);
void computeEdges(Smesh* mesh);
void computeTriNormals(Smesh* mesh);
void computeTriangleArea(Striangle* t);
void computeTriangleAreas(Smesh* mesh);
void computeVertexAreas(Smesh* mesh);
void computeSmeshAreas(Smesh* mesh);
void computeVertNormals(Smesh* mesh);
void computeNormals(Smesh* mesh);

// Axis-aligned bounds of float positions, accumulated in double. The mesh readers start from
// 8e300 / -8e300 (the OBJ conversion from 8e30 / -8e30).
struct MeshBounds {
    double lo[3];
    double hi[3];
    explicit MeshBounds(double start = 8e300) {
        for (int k = 0; k < 3; ++k) {
            lo[k] = start;
            hi[k] = -start;
        }
    }
    void extend(const float p[3]) {
        for (int k = 0; k < 3; ++k) {
            if (p[k] < lo[k])
                lo[k] = p[k];
            if (p[k] > hi[k])
                hi[k] = p[k];
        }
    }
    // center = per-axis mid-point, extent = greatest half side, both stored as floats.
    void store(Smesh* mesh) const;
};

// Allocates count records of size bytes for a mesh array. On an overflowing size or a failed
// allocation prints "Memory allocation error for \"<what>\" %.3f MB\n" (stdout) and ends the
// process with status 0. count 0 returns nullptr without failing.
void* meshAlloc(size_t count, size_t size, const char* what);
